#!/usr/bin/env python3
"""The viewer end to end, under Wine on a screen (Xvfb): lectern.exe with the sample book
appended or named on its command line, seen from outside through lectern-peek (its window, its
debug pane, its dialogs), curl and a headless chromium.

    viewer_test.py --wine WINE --lectern EXE --peek EXE --maker EXE --curl CURL --chromium CHROMIUM
                   [unittest arguments]

Every test runs a copy of lectern.exe of its own name: the single-instance guard and the
remembered placement are per executable.
"""
import argparse
import http.server
import os
import random
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

ARGS = None
TEMP_DIR = None
START_SECONDS = 60
STOP_SECONDS = 15
PLACEMENT_KEY = r"HKCU\Software\Miralobe\Pagewisp\eBooks"
ADDRESS = re.compile(r"http://127\.0\.0\.1:(\d+)(/[^/\s]+/[0-9A-F-]{36}/)")


def wine(*args, timeout=START_SECONDS, check=True):
    done = subprocess.run([ARGS.wine, *args], capture_output=True, timeout=timeout, stdin=subprocess.DEVNULL)
    if check and done.returncode != 0:
        raise AssertionError("%s failed (%d): %s" % (args, done.returncode, done.stderr[-2000:]))
    return done


def winpath(path):
    return subprocess.run(["winepath", "-w", path], capture_output=True, text=True, check=True).stdout.strip()


def peek(*args, timeout=START_SECONDS, window=None):
    """lectern-peek's exit code and output; window: the caption of the viewer's window to look
    at, when several run."""
    where = ("--window", window) if window else ()
    done = wine(ARGS.peek, *where, *args, timeout=timeout, check=False)
    return done.returncode, done.stdout.decode("utf-8", "replace").strip()


def make_exe(name, settings=None, only_settings=False):
    """A copy of lectern.exe with the sample book appended (and extra settings lines, or only
    those)."""
    path = os.path.join(TEMP_DIR, name)
    args = [ARGS.maker, winpath(path), "--exe", winpath(ARGS.lectern)]
    if settings is not None:
        args += ["--settings", settings]
    if only_settings:
        args.append("--only-settings")
    wine(*args)
    return path


def plain_exe(name, folder=None):
    path = os.path.join(folder or TEMP_DIR, name)
    shutil.copy(ARGS.lectern, path)
    return path


def make_book(name, settings=None, folder=None):
    """The sample book as a file of its own (written under an ASCII name, then given its own,
    which may lie outside the code page)."""
    path = os.path.join(folder or TEMP_DIR, name)
    handle, plain = tempfile.mkstemp(suffix=".book", dir=TEMP_DIR)
    os.close(handle)
    args = [ARGS.maker, winpath(plain)]
    if settings is not None:
        args += ["--settings", settings]
    wine(*args)
    os.replace(plain, path)
    return path


def exported_values(key):
    """The string values of a registry key, by name, read from an export of it (UTF-16 text,
    so names outside the code page come back whole)."""
    handle, export = tempfile.mkstemp(suffix=".reg", dir=TEMP_DIR)
    os.close(handle)
    os.remove(export)
    wine("reg", "export", key, winpath(export), "/y", check=False)
    if not os.path.exists(export):
        return {}
    with open(export, "rb") as f:
        text = f.read().decode("utf-16")
    os.remove(export)
    values = {}
    for match in re.finditer(r'^"((?:[^"\\]|\\.)*)"="((?:[^"\\]|\\.)*)"\s*$', text, re.M):
        unescape = lambda t: re.sub(r"\\(.)", r"\1", t)
        values[unescape(match.group(1))] = unescape(match.group(2))
    return values


def listening_ports():
    done = subprocess.run(["ss", "-Hltn"], capture_output=True, text=True, check=True)
    found = re.finditer(r"(?:127\.0\.0\.1|0\.0\.0\.0|\*|\[::\]|\[::1\]):(\d+)", done.stdout)
    return {int(m.group(1)) for m in found}


def hold_port(port):
    """A Linux listener on the port, or None when somebody listens on it (connections that
    linger after their end do not count: the viewer may bind beside them)."""
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        s.bind(("127.0.0.1", port))
        s.listen(1)
        return s
    except OSError:
        s.close()
        return None


def hold_first_free_port():
    """A Linux listener on the first port from 8000 that nobody listens on, and its port."""
    for port in range(8000, 8100):
        s = hold_port(port)
        if s:
            return s, port
    raise AssertionError("no free port from 8000")


class Viewer:
    def __init__(self, exe, *args, window=None):
        """window: the caption of its window, for the peeks, when several viewers run."""
        self.exe = exe
        self.window = window
        self.process = subprocess.Popen([ARGS.wine, exe, *args], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def peek(self, *args, timeout=START_SECONDS):
        return peek(*args, timeout=timeout, window=self.window)

    def wait_in_pane(self, text, seconds=20):
        """Whether the debug pane comes to hold text within seconds."""
        return self.peek("wait", text, str(seconds), timeout=seconds + 30)[0] == 0

    def pane(self, seconds=START_SECONDS):
        code, text = self.peek("pane", str(seconds), timeout=seconds + 30)
        return text

    def address(self):
        """(port, base address) read from the debug pane."""
        text = self.pane()
        match = ADDRESS.search(text)
        if not match:
            box = peek("msgbox", "1")[1]  # a message box instead of the window?
            raise AssertionError("no address in the debug pane: %r (running: %s, message box: %r)"
                                 % (text, self.process.poll() is None, box))
        return int(match.group(1)), "http://127.0.0.1:%s%s" % (match.group(1), match.group(2))

    def ended(self, seconds=STOP_SECONDS):
        try:
            return self.process.wait(timeout=seconds) is not None
        except subprocess.TimeoutExpired:
            return False

    def close(self):
        if self.process.poll() is None:
            self.peek("close")
            if not self.ended():
                self.process.kill()
                self.process.wait()
                raise AssertionError("the viewer did not end after WM_CLOSE")
            # Its shut-down (the form, then the units in their order) ends cleanly.
            if self.process.returncode != 0:
                raise AssertionError("the viewer ended with %d after WM_CLOSE" % self.process.returncode)


def appears(path, seconds):
    """Whether the file exists within seconds."""
    deadline = time.monotonic() + seconds
    while not os.path.exists(path) and time.monotonic() < deadline:
        time.sleep(0.2)
    return os.path.exists(path)


def screenshot_path(name):
    """Where a screenshot goes: the folder LECTERN_SCREENSHOTS names (kept for a look), else
    the test's temporary folder."""
    folder = os.environ.get("LECTERN_SCREENSHOTS") or TEMP_DIR
    os.makedirs(folder, exist_ok=True)
    return os.path.join(folder, name)


def settled(*args, expected, seconds=5):
    """What peek answers once it answers expected, or its last answer after seconds."""
    deadline = time.monotonic() + seconds
    while True:
        answer = peek(*args)[1]
        if answer == expected or time.monotonic() > deadline:
            return answer
        time.sleep(0.2)


def read_png(path):
    """(width, height, rows of RGBA bytes) of a PNG as lectern-peek writes it (8-bit RGBA, no
    interlace, filter 0 on every row)."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat = 8, b""
    while pos < len(data):
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + size]
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + size
    raw = zlib.decompress(idat)
    stride = width * 4 + 1
    return width, height, [raw[y * stride + 1:(y + 1) * stride] for y in range(height)]


def count_pixels(rows, x0, y0, x1, y1, test):
    found = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            r, g, b = rows[y][x * 4:x * 4 + 3]
            found += bool(test(r, g, b))
    return found


def curl(url):
    done = subprocess.run([ARGS.curl, "-s", "-S", "-o", "-", "-w", "\n%{http_code} %{content_type}", url],
                          capture_output=True, timeout=30)
    body, _, status = done.stdout.rpartition(b"\n")
    return done.returncode, status.decode(), body


class ViewerTestCase(unittest.TestCase):
    def start(self, exe, *args, window=None):
        viewer = Viewer(exe, *args, window=window)
        self.addCleanup(viewer.close)
        return viewer


class Start(ViewerTestCase):
    def test_appended_book_serves_its_pages(self):
        viewer = self.start(make_exe("appended.exe"))
        pane = viewer.pane()
        self.assertIn("Server ready", pane)
        port, base = viewer.address()
        self.assertTrue(base.startswith("http://127.0.0.1:%d/sample.press/" % port), base)
        self.assertIn("Load page: " + base + "index.html", pane)  # the first navigation: the start page
        # The browser's request for it reached the viewer's own server.
        deadline = time.monotonic() + 20
        while "Ok: index.html" not in pane and time.monotonic() < deadline:
            time.sleep(0.2)
            pane = viewer.pane(5)
        self.assertIn("Ok: index.html", pane)
        self.assertEqual(peek("caption")[1], "Sample book")

        # The caption bar shows the toolbar: the application-menu tab (orange) at the left, the
        # round back and forward buttons (grey while there is no history) after it.
        shot = os.path.join(TEMP_DIR, "appended.png")
        self.assertEqual(peek("shot", winpath(shot))[0], 0)
        width, height, rows = read_png(shot)
        orange = count_pixels(rows, 0, 0, 110, 22, lambda r, g, b: r > 150 and 40 < g < 160 and b < 90)
        self.assertGreater(orange, 96 * 12, "no application-menu tab in the caption bar")
        grey_discs = count_pixels(rows, 105, 0, 300, 22, lambda r, g, b: abs(r - g) < 8 and abs(g - b) < 8 and 150 < r < 200)
        self.assertGreater(grey_discs, 100, "no back and forward buttons in the caption bar")
        below = count_pixels(rows, 0, 40, 110, 62, lambda r, g, b: r > 150 and 40 < g < 160 and b < 90)
        self.assertEqual(below, 0)

        for path, status in [("index.html", "200 text/html"), ("pages/chapter1.html", "200 text/html"),
                             ("style.css", "200 text/css"), ("missing.html", "404 ")]:
            with self.subTest(path=path):
                code, got, body = curl(base + path)
                self.assertEqual(code, 0)
                self.assertEqual(got.split(";")[0], status)
        code, got, body = curl(base + "images/logo.png")
        self.assertTrue(got.startswith("200 image/"), got)
        self.assertEqual(body[:8], b"\x89PNG\r\n\x1a\n")

        # A real browser renders the start page from the viewer's server.
        profile = tempfile.mkdtemp(prefix="chromium-", dir=TEMP_DIR)
        done = subprocess.run(
            [ARGS.chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--no-first-run", "--user-data-dir=" + profile, "--virtual-time-budget=5000", "--dump-dom",
             base + "index.html"], stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr[-2000:])
        dom = done.stdout.decode("utf-8", "replace")
        self.assertIn('<p id="scripted">Written by the book script</p>', dom)
        self.assertIn('<span id="seen-style">rgb(32, 96, 160)</span>', dom)
        self.assertIn('<span id="seen-picture">120x40</span>', dom)

    def test_book_named_on_the_command_line(self):
        book = os.path.join(TEMP_DIR, "named.book")
        wine(ARGS.maker, winpath(book))
        viewer = self.start(plain_exe("named.exe"), winpath(book))
        port, base = viewer.address()
        code, status, body = curl(base + "pages/chapter2.html")
        self.assertEqual(status, "200 text/html")
        self.assertIn(b"<h1>Chapter 2</h1>", body)

class StartFailures(ViewerTestCase):
    """A start that fails ends the process with a status of its own (the README's run section
    lists them); the Password and Ports tests check theirs."""
    INVALID_BOOK = 2
    PASSWORD_REFUSED = 3
    NO_SERVER_PORT = 4

    def test_invalid_data(self):
        with open(make_book("whole.book"), "rb") as f:
            whole = f.read()
        contents = {
            "notes.txt": b"not a book\n",
            "truncated.book": whole[:len(whole) // 2],
            "random.book": random.Random(32).randbytes(len(whole)),
            "empty.book": b"",
        }
        cases = [("no book", ()), ("a missing file", (winpath(os.path.join(TEMP_DIR, "missing.book")),))]
        for name, data in contents.items():
            path = os.path.join(TEMP_DIR, name)
            with open(path, "wb") as f:
                f.write(data)
            cases.append((name, (winpath(path),)))
        folder = os.path.join(TEMP_DIR, "a-folder.book")
        os.makedirs(folder, exist_ok=True)
        cases.append(("a folder", (winpath(folder),)))
        exe = plain_exe("nobook.exe")
        for what, args in cases:
            with self.subTest(what):
                viewer = self.start(exe, *args)
                self.assertEqual(peek("msgbox", "30"), (0, "Invalid data"))
                self.assertTrue(viewer.ended())
                self.assertEqual(viewer.process.returncode, self.INVALID_BOOK)


class Settings(ViewerTestCase):
    def test_a_book_without_settings(self):
        # A single border without maximize button, the layout's client size (965 x 541), no
        # toolbar, no debug pane.
        viewer = self.start(make_exe("bare.exe", "", only_settings=True))
        self.assertEqual(settled("style", expected="caption"), "caption")
        left, top, right, bottom = map(int, peek("rect")[1].split())
        shot = os.path.join(TEMP_DIR, "bare.png")
        self.assertEqual(peek("shot", winpath(shot))[0], 0)
        width, height, rows = read_png(shot)
        self.assertEqual((width, height), (right - left, bottom - top))
        self.assertGreater(width, 965)
        self.assertLess(width, 965 + 20)
        # (The window's own icon holds a few such pixels; the tab, over a thousand.)
        self.assertLess(count_pixels(rows, 0, 0, 110, 22, lambda r, g, b: r > 150 and 40 < g < 160 and b < 90), 50)
        self.assertEqual(peek("pane", "1")[0], 1)

    def test_kiosk_mode(self):
        # No border, on top of other windows, maximized; no toolbar, no title, no password.
        viewer = self.start(make_exe("kiosk.exe", "KioskMode=1\nUserPassword=never asked"))
        viewer.address()
        self.assertEqual(settled("state", expected="maximized"), "maximized")
        self.assertEqual(peek("style")[1], "popup topmost")


class Password(ViewerTestCase):
    SETTINGS = "UserPassword=open sesame\nUserPasswordPrompt=The book's password:"

    def test_right_password_opens_the_book(self):
        viewer = self.start(make_exe("pw-right.exe", self.SETTINGS))
        self.assertEqual(peek("password", "wrong")[0], 0)
        self.assertEqual(peek("password", "open sesame")[0], 0)
        viewer.address()

    def test_a_remembered_password_survives_a_close(self):
        # The viewer never writes the password itself: whatever follows the 25 placement
        # characters in the book's value is kept when the close writes the placement.
        exe = make_exe("pw-remembered.exe", self.SETTINGS)
        wine("reg", "add", PLACEMENT_KEY, "/v", winpath(exe), "/d", "00002800001E0002BC0001F40open sesame", "/f")
        self.addCleanup(wine, "reg", "delete", PLACEMENT_KEY, "/v", winpath(exe), "/f", check=False)
        for start in range(2):
            with self.subTest(start=start):
                viewer = self.start(exe)
                viewer.address()  # no password dialog stood in the way
                self.assertEqual(peek("password-cancel", "1")[0], 1)
                viewer.close()
                saved = Placement.saved(exe)
                self.assertIsNotNone(saved)
                self.assertEqual(len(saved), 25 + len("open sesame"), saved)
                self.assertTrue(saved.endswith("open sesame"), saved)

    def test_three_wrong_entries_or_cancel_end_the_program(self):
        exe = make_exe("pw-wrong.exe", self.SETTINGS)
        for answers in [["password", "a"], ["password", "b"], ["password", "c"]], [["password-cancel"]]:
            with self.subTest(answers=answers):
                viewer = self.start(exe)
                for answer in answers:
                    self.assertEqual(peek(*answer)[0], 0)
                self.assertTrue(viewer.ended())
                self.assertEqual(peek("caption")[0], 1)  # no main window came up
                self.assertEqual(viewer.process.returncode, StartFailures.PASSWORD_REFUSED)


class Ports(ViewerTestCase):
    def test_probe_moves_past_a_port_held_by_a_linux_listener(self):
        held, held_port = hold_first_free_port()
        self.addCleanup(held.close)
        viewer = self.start(make_exe("ports.exe"))
        port, base = viewer.address()
        taken = listening_ports()
        # The first port after the held one that nobody else listens on: the viewer's own.
        self.assertGreater(port, held_port)
        self.assertEqual([p for p in range(held_port + 1, port) if p not in taken], [], sorted(taken))
        self.assertEqual(curl(base + "index.html")[1], "200 text/html")

    def test_no_free_port(self):
        # Every port of the range that nobody listens on is held by a Linux listener.
        taken = [s for s in map(hold_port, range(8000, 8100)) if s]
        try:
            viewer = self.start(make_exe("noport.exe"))
            self.assertEqual(peek("msgbox", "60"), (0, "Unable to activate data server"))
            self.assertTrue(viewer.ended())
        finally:
            for s in taken:
                s.close()
        self.assertEqual(viewer.process.returncode, StartFailures.NO_SERVER_PORT)


class Placement(ViewerTestCase):
    @staticmethod
    def saved(exe):
        done = wine("reg", "query", PLACEMENT_KEY, "/v", winpath(exe), check=False)
        match = re.search(r"REG_SZ\s+(.+?)\s*$", done.stdout.decode("utf-8", "replace"), re.M)
        return match.group(1) if match else None

    def test_a_damaged_size_gives_the_books_size(self):
        # Width 0, or all F (which reads as -1): the sample's 900 x 600, saved again as such. A
        # value shorter than the 25 characters of a placement (here its height cut to "0002")
        # is damaged as a whole: the sample's size, centred, as with nothing remembered.
        exe = make_exe("placement-damaged.exe")
        self.addCleanup(wine, "reg", "delete", PLACEMENT_KEY, "/v", winpath(exe), "/f", check=False)
        centred = (62, 84)
        for value, position in [("0000280000320000000002580", (40, 50)), ("FFFFFFFFFFFFFFFFFFFFFFFFF", None),
                                ("0000640000320003200002", centred), ("00006400003200032000025", centred)]:
            with self.subTest(value=value):
                wine("reg", "add", PLACEMENT_KEY, "/v", winpath(exe), "/d", value, "/f")
                viewer = self.start(exe)
                viewer.address()
                left, top, right, bottom = map(int, peek("rect")[1].split())
                self.assertEqual((right - left, bottom - top), (900, 600))
                if position:
                    self.assertEqual((left, top), position)
                viewer.close()
                saved = self.saved(exe)
                self.assertEqual(len(saved), 25, saved)
                self.assertEqual(saved[12:24], "000384" "000258")

    def test_written_at_close_and_restored(self):
        exe = make_exe("placement.exe", "Maximized=1")
        wine("reg", "delete", PLACEMENT_KEY, "/v", winpath(exe), "/f", check=False)

        # Nothing remembered: Maximized=1 starts maximized; the close saves the restored bounds
        # (the centred 900 x 600 of the sample) and the state.
        viewer = self.start(exe)
        viewer.address()
        self.assertEqual(settled("state", expected="maximized"), "maximized")
        viewer.close()
        self.assertEqual(self.saved(exe), "00003E" "000054" "000384" "000258" "1")

        viewer = self.start(exe)
        viewer.address()
        self.assertEqual(settled("state", expected="maximized"), "maximized")
        peek("move", "40", "30", "700", "500")
        self.assertEqual(settled("rect", expected="40 30 740 530"), "40 30 740 530")
        viewer.close()
        self.assertEqual(self.saved(exe), "000028" "00001E" "0002BC" "0001F4" "0")

        # A remembered normal window stays normal even with Maximized=1.
        viewer = self.start(exe)
        viewer.address()
        self.assertEqual(peek("state")[1], "normal")
        self.assertEqual(settled("rect", expected="40 30 740 530"), "40 30 740 530")


class BrowserUnits(ViewerTestCase):
    def test_the_wheel_over_the_page_view_takes_the_focus_there(self):
        # The browser units' wheel hook: a wheel turn over the page view while the debug pane
        # has the focus moves the focus to the browser's window under the cursor.
        viewer = self.start(make_exe("wheel.exe"))
        viewer.address()
        self.assertEqual(peek("click", "pane")[0], 0)
        self.assertEqual(settled("focus", expected="Edit"), "Edit")
        self.assertEqual(peek("wheel", "page")[0], 0)
        self.assertEqual(settled("focus", expected="Shell DocObject View"), "Shell DocObject View")

    def test_the_browsers_dialogs_are_closed(self):
        # A window of the browser's dialog class that takes the activation from the form: a
        # script error is clicked away; any other (a plain alert) is closed because the page
        # view disables every dialog, which only its own settings say.
        viewer = self.start(make_exe("dialogs.exe"))
        viewer.address()
        for caption in ["Script Error", "Microsoft Internet Explorer"]:
            with self.subTest(caption=caption):
                self.assertEqual(peek("dialog", caption), (0, "closed"))


class Toolbar(ViewerTestCase):
    TITLE = "A rather long title of a sample book that goes on and on to the right"

    def caption_band(self, exe_name, title):
        viewer = self.start(make_exe(exe_name, "UserPrint=0\nTitle=" + title))
        viewer.address()
        shot = os.path.join(TEMP_DIR, exe_name + ".png")
        self.assertEqual(peek("shot", winpath(shot))[0], 0)
        viewer.close()
        return read_png(shot)

    def test_the_title_stays_clear_of_the_buttons_without_print(self):
        # Print, the last button, is hidden when the book disallows printing. The buttons end
        # where the ink in the caption bar of a window without a title ends; the title is the
        # ink a window with one has more. Between them the toolbar leaves at least the small
        # icon's width (16).
        width, height, blank = self.caption_band("title-blank.exe", " ")
        _, _, titled = self.caption_band("title-long.exe", self.TITLE)
        band = range(2, 22)
        right_end = width - 100  # short of the system buttons

        def ink(rows, x, y):
            return min(rows[y][x * 4:x * 4 + 3]) < 160

        buttons_right = max(x for y in band for x in range(right_end) if ink(blank, x, y))
        title = [x for y in band for x in range(right_end) if ink(titled, x, y) and not ink(blank, x, y)]
        self.assertTrue(title, "no title in the caption bar")
        self.assertGreaterEqual(min(title), buttons_right + 16,
                                "the title (from x %d) runs into the buttons (to x %d)" % (min(title), buttons_right))


class SingleInstance(ViewerTestCase):
    def test_second_start_hands_its_parameter_to_the_first(self):
        exe = make_exe("single.exe")
        first = self.start(exe)
        port, base = first.address()
        second = Viewer(exe, "2")  # topic 2 of the map: pages/chapter2.html
        self.assertTrue(second.ended(30), "the second instance did not end")
        self.assertEqual(second.process.returncode, 0)
        deadline = time.monotonic() + 20
        page = "Load page: " + base + "pages/chapter2.html"
        while page not in first.pane(5) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertIn(page, first.pane(5))

    def test_second_start_restores_and_fronts_a_minimised_first(self):
        exe = make_exe("front.exe")
        first = self.start(exe)
        port, base = first.address()
        self.assertEqual(peek("minimize")[0], 0)
        self.assertEqual(settled("state", expected="minimized"), "minimized")
        # Another program's window in front.
        other = subprocess.Popen([ARGS.wine, "notepad"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        self.addCleanup(other.wait)
        self.addCleanup(other.kill)
        self.assertEqual(settled("foreground", expected="Notepad", seconds=30), "Notepad")

        second = Viewer(exe, "2")  # topic 2 of the map: pages/chapter2.html
        self.assertTrue(second.ended(30), "the second instance did not end")
        self.assertEqual(settled("state", expected="normal"), "normal")
        self.assertEqual(settled("foreground", expected="TFrmVevIvaruvMain"), "TFrmVevIvaruvMain")
        order = peek("zorder")[1].split()
        self.assertLess(order.index("TFrmVevIvaruvMain"), order.index("Notepad"), order)
        self.assertTrue(first.wait_in_pane("Load page: " + base + "pages/chapter2.html"))

    def test_another_book_opens_a_viewer_of_its_own(self):
        # The same program with another book named on its command line: a viewer of its own,
        # with its own server, and the first keeps its page.
        exe = plain_exe("two-books.exe")
        first_book = make_book("first.book", "Title=First book")
        second_book = make_book("second.book", "Title=Second book")
        first = self.start(exe, winpath(first_book), window="First book")
        first_port, first_base = first.address()
        self.assertTrue(first.wait_in_pane("Ok: index.html"))

        second = self.start(exe, winpath(second_book), window="Second book")
        second_port, second_base = second.address()
        self.assertNotEqual(second_port, first_port)
        self.assertEqual(second.peek("caption"), (0, "Second book"))
        self.assertIn(b"<h1>Chapter 1</h1>", curl(second_base + "pages/chapter1.html")[2])
        # Its window: the caption bar with the application-menu tab, the page view below.
        shot = screenshot_path("second-book.png")
        self.assertEqual(second.peek("shot", winpath(shot))[0], 0)
        width, height, rows = read_png(shot)
        orange = count_pixels(rows, 0, 0, 110, 22, lambda r, g, b: r > 150 and 40 < g < 160 and b < 90)
        self.assertGreater(orange, 96 * 12, "no application-menu tab in the second book's caption bar")

        self.assertIsNone(first.process.poll())
        pane = first.pane(5)
        self.assertNotIn("second.book", pane)
        self.assertNotIn("NOT found", pane)
        self.assertEqual(first.peek("caption"), (0, "First book"))
        self.assertEqual(curl(first_base + "index.html")[1], "200 text/html")

    def test_the_same_book_again_hands_over_what_follows_it(self):
        exe = plain_exe("same-book.exe")
        book = make_book("same.book")
        first = self.start(exe, winpath(book))
        port, base = first.address()
        # The same file by another spelling of its path, then topic 2 of the map (chapter 2).
        second = Viewer(exe, winpath(book).upper(), "2")
        self.assertTrue(second.ended(30), "the second instance did not end")
        self.assertEqual(second.process.returncode, 0)
        self.assertTrue(first.wait_in_pane("Load page: " + base + "pages/chapter2.html"), first.pane(5)[-800:])
        self.assertNotIn("NOT found", first.pane(5))


class OutsideTheCodePage(ViewerTestCase):
    """Paths with characters the system code page (1252 in the test prefix) lacks."""
    NAME = "книга-本"

    def test_a_book_named_outside_the_code_page(self):
        # The book opens; a file it runs by a bare name is looked for in its folder.
        folder = os.path.join(TEMP_DIR, "полка-本")
        os.makedirs(folder, exist_ok=True)
        marker = os.path.join(TEMP_DIR, "ran-beside-the-book.txt")
        with open(os.path.join(folder, "beside.bat"), "w") as f:
            f.write("echo ran > \"%s\"\r\n" % winpath(marker))
        book = make_book(self.NAME + ".lb", "[ContextMenu]\n1 4 Run\tbeside.bat\n\n", folder=folder)
        viewer = self.start(plain_exe("wide-book.exe"), winpath(book))
        port, base = viewer.address()
        code, status, body = curl(base + "pages/chapter2.html")
        self.assertEqual(status, "200 text/html")
        self.assertIn(b"<h1>Chapter 2</h1>", body)
        self.assertTrue(viewer.wait_in_pane("Ok: index.html"))
        self.assertEqual(viewer.peek("menu-pick", "1")[0], 0)
        self.assertTrue(appears(marker, 20), "the file beside the book did not run")

    def test_a_program_in_a_folder_outside_the_code_page(self):
        # Its appended book opens, and its placement is remembered under its own path.
        folder = os.path.join(TEMP_DIR, "программы-本")
        os.makedirs(folder, exist_ok=True)
        exe = os.path.join(folder, "appended.exe")
        os.replace(make_exe("wide-folder.exe"), exe)
        self.addCleanup(wine, "reg", "delete", PLACEMENT_KEY, "/v", winpath(exe), "/f", check=False)
        viewer = self.start(exe)
        viewer.address()
        peek("move", "40", "30", "700", "500")
        self.assertEqual(settled("rect", expected="40 30 740 530"), "40 30 740 530")
        viewer.close()
        values = exported_values(PLACEMENT_KEY)
        self.assertEqual(values.get(winpath(exe)), "000028" "00001E" "0002BC" "0001F4" "0", sorted(values))
        viewer = self.start(exe)
        viewer.address()
        self.assertEqual(settled("rect", expected="40 30 740 530"), "40 30 740 530")


class OutsideServer:
    """A web server of its own beside the viewer's (a port the system picks), answering every
    path with a small page."""

    def __init__(self):
        self.served = served = threading.Event()

        class Page(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                body = b"<html><head><title>Elsewhere</title></head><body>Not the book</body></html>"
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                served.set()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Page)
        self.address = "http://127.0.0.1:%d/" % self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class Links(ViewerTestCase):
    def test_the_books_own_items_reach_the_shell_whatever_page_shows(self):
        # A context menu whose items navigate to a batch file, by its file URL and by its drive
        # path. They are the viewer's own navigations, the book's, whether the book's page or
        # an outside one is showing: the shell runs the file each time. (What a page starts is
        # judged by its frame; Wine's browser has no HTML engine to start anything, so the
        # decision tables and the fake control's tests hold that.)
        marker = os.path.join(TEMP_DIR, "shell-ran.txt")
        batch = os.path.join(TEMP_DIR, "shell-run.bat")
        with open(batch, "w") as f:
            f.write("echo ran > \"%s\"\r\n" % winpath(marker))
        file_url = "file:///" + winpath(batch).replace("\\", "/")
        menu = "[ContextMenu]\n1 3 By URL\t%s\n1 3 By path\t%s\n\n" % (file_url, winpath(batch))
        exe = make_exe("links.exe", menu)
        outside = OutsideServer()
        self.addCleanup(outside.close)

        viewer = self.start(exe)
        port, base = viewer.address()
        self.assertTrue(viewer.wait_in_pane("Ok: index.html"))
        for showing in ["the book's page", "an outside page"]:
            if showing == "an outside page":
                # Opened by a second start with its address (Commandline=1).
                second = Viewer(exe, outside.address + "elsewhere.html")
                self.assertTrue(second.ended(30))
                self.assertTrue(viewer.wait_in_pane("Load page: " + outside.address + "elsewhere.html"))
                self.assertTrue(outside.served.wait(20))
                time.sleep(2)  # the page view takes the outside page as its own
            for item in ["1", "2"]:
                with self.subTest(showing=showing, item=item):
                    self.assertEqual(viewer.peek("menu-pick", item)[0], 0)
                    self.assertTrue(appears(marker, 20), viewer.pane(5)[-800:])
                    os.remove(marker)
        self.assertNotIn("Refused", viewer.pane(5))


def main():
    global ARGS, TEMP_DIR
    parser = argparse.ArgumentParser()
    for name in ["--wine", "--lectern", "--peek", "--maker", "--curl", "--chromium"]:
        parser.add_argument(name, required=True)
    ARGS, rest = parser.parse_known_args()
    TEMP_DIR = tempfile.mkdtemp(prefix="viewer-test-")
    # Wine's background processes start here, with their output away from the test's pipes.
    subprocess.run(["wineserver", "-p"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([ARGS.wine, "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    try:
        unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
    finally:
        shutil.rmtree(TEMP_DIR, ignore_errors=True)


if __name__ == "__main__":
    main()
