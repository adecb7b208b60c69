#!/usr/bin/env python3
"""Start-up time of the viewer under Wine: from the start of the process to the first page
served (the debug pane's "Ok: index.html", which the page server writes once the browser's
request for the start page has been answered), for the sample book with 10 entries and with
10,000 entries, appended to lectern.exe.

    startup.py --wine WINE --lectern EXE --peek EXE --maker EXE [--runs N]

Needs a display (Xvfb) and a prefix that draws through X11. A watcher (lectern-peek wait,
polling every 2 ms) is started before the viewer; the time is taken from the viewer's start to
the watcher's exit. Wine's own process start is measured as the run time of lectern-peek doing
nothing much (one window look-up) and reported beside it.
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time


def run(args):
    subprocess.run(args, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def winpath(path):
    return subprocess.run(["winepath", "-w", path], capture_output=True, text=True, check=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser()
    for name in ["--wine", "--lectern", "--peek", "--maker"]:
        parser.add_argument(name, required=True)
    parser.add_argument("--runs", type=int, default=5)
    a = parser.parse_args()
    temp = tempfile.mkdtemp(prefix="viewer-startup-")
    sample_entries = 9  # the sample book's own entries, #SYSTEM and #MAP included

    idle = []
    for _ in range(a.runs):
        t0 = time.monotonic()
        subprocess.run([a.wine, a.peek, "state"], stdin=subprocess.DEVNULL, capture_output=True)
        idle.append(time.monotonic() - t0)
    base = statistics.median(idle) * 1000
    print("Wine process start and end (lectern-peek state): median %.0f ms" % base)

    for entries in (10, 10000):
        exe = os.path.join(temp, "startup-%d.exe" % entries)
        run([a.wine, a.maker, winpath(exe), "--exe", winpath(a.lectern), "--entries", str(entries - sample_entries)])
        times = []
        for _ in range(a.runs):
            watcher = subprocess.Popen([a.wine, a.peek, "wait", "Ok: index.html", "60"], stdin=subprocess.DEVNULL)
            time.sleep(0.5)  # the watcher is running and polling
            t0 = time.monotonic()
            viewer = subprocess.Popen([a.wine, exe], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            code = watcher.wait(timeout=90)
            elapsed = time.monotonic() - t0
            subprocess.run([a.wine, a.peek, "close"], stdin=subprocess.DEVNULL, capture_output=True)
            viewer.wait(timeout=30)
            if code != 0:
                raise SystemExit("the first page was not served within 60 s")
            times.append(elapsed * 1000)
        median = statistics.median(times)
        print("book of %5d entries: first page served after median %.0f ms (min %.0f, max %.0f); "
              "%.0f ms beyond Wine's process start" % (entries, median, min(times), max(times), median - base))


if __name__ == "__main__":
    main()
