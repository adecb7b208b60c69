#!/usr/bin/python3
"""M_Smooth's median beside scipy.ndimage.median_filter, on one set of 10^6 doubles.

Runs bench_numkit (natively, or under Wine with --emulator wine) on data made here, reads its
median results, times scipy's median filter for the same windows (size 2h + 1) and compares the
results bit for bit on every window that lies wholly inside the array (at the ends numkit's
windows are clipped, scipy's are padded).

Usage: numkit_median.py [--emulator wine] BENCH_NUMKIT
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import scipy
import scipy.ndimage

N = 1000000
HALF_WIDTHS = [1, 10, 100, 1000]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--emulator", default="")
    parser.add_argument("bench")
    args = parser.parse_args()
    rng = np.random.default_rng(7)
    data = np.round(rng.uniform(0, 100, N), 3)  # three decimals: ties occur
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "in.bin")
        data.astype("<f8").tofile(path)
        command = ([args.emulator] if args.emulator else []) + [args.bench, "--in", path, "--out", tmp]
        run = subprocess.run(command, capture_output=True, text=True)
        sys.stdout.write(run.stdout)
        if run.returncode:
            sys.stdout.write(run.stderr)
            return 1
        print("\nscipy %s median_filter on the same data (ms), numpy %s" % (scipy.__version__, np.__version__))
        print("%6s %12s %12s %10s %s" % ("h", "numkit", "scipy", "ratio", "equal inside"))
        numkit_ms = {}
        for line in run.stdout.splitlines():
            parts = line.split()
            if len(parts) == 8 and parts[0].isdigit():
                numkit_ms[int(parts[0])] = float(parts[1])
        ok = True
        for h in HALF_WIDTHS:
            mine = np.fromfile(os.path.join(tmp, "median_h%d.bin" % h), dtype="<f8")
            best = None
            for _ in range(3 if h <= 10 else 1):
                t0 = time.perf_counter()
                theirs = scipy.ndimage.median_filter(data, size=2 * h + 1, mode="nearest")
                spent = time.perf_counter() - t0
                best = spent if best is None else min(best, spent)
            inside = slice(h, N - h)
            equal = np.array_equal(mine[inside].view(np.uint64), theirs[inside].view(np.uint64))
            ok = ok and equal
            ratio = best * 1e3 / numkit_ms[h] if numkit_ms.get(h) else float("nan")
            print("%6d %12.1f %12.1f %9.1fx %s" % (h, numkit_ms.get(h, float("nan")), best * 1e3, ratio,
                                                  "yes" if equal else "NO"))
            sys.stdout.flush()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
