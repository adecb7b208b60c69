#!/usr/bin/python3
"""numkit against an independent reference.

Computes numkit's routines with numpy straight from their definitions (each window sorted or
summed on its own, each least-squares fit from the sums of the deviations from the means, each
interpolation from the bisection) and compares the results of the driver program (refdriver,
run natively or under Wine) bit for bit, on random arrays and on adversarial ones: ties, signed
zeros, NaN, infinities, n = 1 and 2, windows wider than the array, tolerance edges, abscissas
far from zero.

Arithmetic: IEEE single (np.float32) or double (np.float64) as numkit uses SSE; extended
(np.longdouble, the x87 format on x86) where numkit computes in extended. Inputs with a NaN hold
the one quiet NaN 0x7ff8000000000000 (0x7fc00000) and no infinities, so that no sum meets two
different NaNs, whose payload would depend on operand order.

Usage: numkit_reference.py [--emulator wine] DRIVER
"""
import argparse
from fractions import Fraction
import subprocess
import sys

import numpy as np

F32, F64, EXT = np.float32, np.float64, np.longdouble
assert np.finfo(EXT).nmant == 63, "needs the x87 extended format for long double"

MARK = {F64: "7ff8deadbeef0001", F32: "7fc0dead"}
FLOAT_TABLE_TOL = F64(F32(10) / F32(2 ** 23))
DOUBLE_TABLE_TOL = F64(21) * F64(2.0 ** -53)
INT_MAX = 2 ** 31 - 1


def hexbits(v, t):
    if t is F64:
        return "%016x" % int(np.array(v, dtype=F64).view(np.uint64))
    return "%08x" % int(np.array(v, dtype=F32).view(np.uint32))


def hexext(v):
    return np.array(v, dtype=EXT).tobytes()[:10][::-1].hex()


def code(t):
    return "d" if t is F64 else "f"


# ---- The order of the median: ascending, -0 before +0, NaNs last (by payload, then sign).

def order_key(v, t):
    width = 64 if t is F64 else 32
    b = int(np.array(v, dtype=t).view(np.uint64 if t is F64 else np.uint32))
    sign = 1 << (width - 1)
    full = (1 << width) - 1
    expo = 0x7FF0000000000000 if t is F64 else 0x7F800000
    if (b & expo) == expo and (b & ~(sign | expo) & full):
        k = b | sign  # above +inf
    elif b & sign:
        k = ~b & full
    else:
        k = b | sign
    return (k, b)


def window(i, n, h):
    lo = max(i - h, 0)
    hi = min(i + h, n - 1)
    return lo, hi


def midpoint(t, a, b):
    """(a + b) * 0.5, or, where that sum of two finite values overflows, the exact midpoint
    (computed in Python's integers and fractions) rounded to t."""
    s = a + b
    if np.isfinite(s) or not (np.isfinite(a) and np.isfinite(b)):
        return s * t(0.5)
    return t(float((Fraction(float(a)) + Fraction(float(b))) / 2))


def ref_smooth(t, a, n, h, median):
    if h < 1 or n < 2:
        return "0" + " " .join([""] + [MARK[t]] * n)
    keys = [order_key(v, t) for v in a]
    out = []
    for i in range(n):
        lo, hi = window(i, n, h)
        if median:
            w = [a[j] for j in sorted(range(lo, hi + 1), key=lambda j: keys[j])]
            m = len(w)
            k = m // 2
            if m % 2:
                r = w[k]
            elif np.isnan(w[k]):  # NaNs sort last: the sum is the NaN of copy[k]
                r = w[k] * t(0.5)
            else:
                r = midpoint(t, w[k], w[k - 1])
        else:  # summed in double, the quotient rounded to t
            s = F64(0)
            for j in range(lo, hi + 1):
                s = s + F64(a[j])
            r = t(s / F64(hi - lo + 1))
        out.append(hexbits(r, t))
    return "1 " + " ".join(out)


def ref_lsq(x, y, n):
    """The line through the deviations from the means (their sums included), moved back by the
    means; no line when all x are equal."""
    if n < 2:
        return None
    s0 = F64(n)
    mx = my = F64(0)
    for i in range(n):
        mx = mx + F64(x[i])
        my = my + F64(y[i])
    if all(F64(x[i]) == F64(x[0]) for i in range(n)):
        return None
    mx = mx / s0
    my = my / s0
    sx = sy = sxy = sxx = F64(0)
    for i in range(n):
        dx, dy = F64(x[i]) - mx, F64(y[i]) - my
        sx = sx + dx
        sy = sy + dy
        sxy = sxy + dx * dy
        sxx = sxx + dx * dx
    d = sx * sx - s0 * sxx
    if d == 0:
        return None
    a = (sx * sy - sxy * s0) / d
    shifted = (sx * sxy - sxx * sy) / d
    b = (my - a * mx) + shifted
    s = F64(0)
    for i in range(n):
        r = (F64(y[i]) - my) - a * (F64(x[i]) - mx) - shifted
        s = s + r * r
    rms = np.sqrt(s / s0)
    if not (np.isfinite(a) and np.isfinite(b) and np.isfinite(rms)):
        return None
    return a, b, rms


def ref_deriv(t, x, y, n, h):
    if h < 1 or n < 2:
        return "0" + " ".join([""] + [MARK[t]] * n)
    out = []
    for i in range(n):
        lo, hi = window(i, n, h)
        fit = ref_lsq(x[lo:hi + 1], y[lo:hi + 1], hi - lo + 1)
        out.append(hexbits(t(fit[0]) if fit else t(0), t))
    return "1 " + " ".join(out)


def bracket(t, n, x, v):
    if n < 1:
        return -2
    if v < F64(x[0]):
        return -1
    if v > F64(x[n - 1]):
        return n
    if v == F64(x[n - 1]):
        return n - 1
    lo, hi = 0, n
    while hi - lo > 1 and v != F64(x[lo]):
        mid = (lo + hi) // 2
        if (v >= F64(x[mid])) if t is F32 else (v > F64(x[mid])):
            lo = mid
        else:
            hi = mid
    return lo


def ref_lintval(t, n, x, y, v):
    """(code, result or None)"""
    tol = FLOAT_TABLE_TOL if t is F32 else DOUBLE_TABLE_TOL
    v = F64(v)
    if n < 2:
        return -1, None
    if np.isnan(v):
        return 1, None
    if v < F64(x[0]) - tol or v > F64(x[n - 1]) + tol:
        return 1, None
    if v < F64(x[0]):
        v = F64(x[0])
    if v > F64(x[n - 1]):
        v = F64(x[n - 1])
    lo = bracket(t, n, x, v)
    if lo < 0 or lo > n - 1:
        return 1, None
    if lo == n - 1:
        return 0, F64(y[n - 1])
    w = F64(EXT(x[lo + 1]) - EXT(x[lo]))
    if w < tol:
        return 1, None
    y0, y1 = EXT(y[lo]), EXT(y[lo + 1])
    return 0, F64(y0 + (y1 - y0) * (EXT(v) - EXT(x[lo])) / EXT(w))


# ---- Cases: (driver line, expected answer)

def arr(values, t):
    return " ".join(hexbits(v, t) for v in values)


def case_smooth(t, a, h, median):
    n = len(a)
    a = np.asarray(a, dtype=t)
    line = "smooth %s %d %d %d %s" % (code(t), n, h, int(median), arr(a, t))
    return line, ref_smooth(t, a, n, h, median)


def case_deriv(t, x, y, h):
    x, y = np.asarray(x, dtype=t), np.asarray(y, dtype=t)
    n = len(x)
    return "deriv %s %d %d %s %s" % (code(t), n, h, arr(x, t), arr(y, t)), ref_deriv(t, x, y, n, h)


def case_lsq(t, x, y):
    x, y = np.asarray(x, dtype=t), np.asarray(y, dtype=t)
    n = len(x)
    fit = ref_lsq(x, y, n)
    want = ("1 " + " ".join(hexbits(v, F64) for v in fit)) if fit else "0" + (" " + MARK[F64]) * 3
    cases = [("lsq %s %d %s %s" % (code(t), n, arr(x, t), arr(y, t)), want)]
    if t is F32:
        want = ("1 " + " ".join(hexbits(F32(v), F32) for v in fit)) if fit else "0" + (" " + MARK[F32]) * 3
        cases.append(("lsqv %d %s %s" % (n, arr(x, t), arr(y, t)), want))
    return cases


def case_lintval(t, x, y, v):
    x, y = np.asarray(x, dtype=t), np.asarray(y, dtype=t)
    n = len(x)
    c, r = ref_lintval(t, n, x, y, v)
    want = "%d %s" % (c, hexbits(r, F64) if r is not None else MARK[F64])
    return "lintval %s %d %s %s %s" % (code(t), n, hexbits(v, F64), arr(x, t), arr(y, t)), want


def case_linttab(t, x, y, vs):
    x, y, vs = np.asarray(x, dtype=t), np.asarray(y, dtype=t), np.asarray(vs, dtype=t)
    n, m = len(x), len(vs)
    results = [MARK[t]] * m
    c = -1 if n < 2 or m <= 0 else 0
    if c == 0:
        for i, v in enumerate(vs):
            c, r = ref_lintval(t, n, x, y, F64(v))
            if c:
                break
            results[i] = hexbits(t(r), t)
    want = " ".join([str(c)] + results)
    return "linttab %s %d %d %s %s %s" % (code(t), n, m, arr(x, t), arr(y, t), arr(vs, t)), want


def case_norm3(x, y, z):
    x, y, z = EXT(F64(x)), EXT(F64(y)), EXT(F64(z))
    want = hexext(np.sqrt(x * x + y * y + z * z))
    return "norm3 %s %s %s" % (hexbits(x, F64), hexbits(y, F64), hexbits(z, F64)), want


def case_normn(v, n=None):
    v = np.asarray(v, dtype=F64)
    n = len(v) if n is None else n
    s = EXT(0)
    for e in v[:max(n, 0)]:
        s = s + EXT(e) * EXT(e)
    want = hexext(np.sqrt(s) if n > 0 else EXT(0))
    return "normn %d %s" % (n, arr(v[:max(n, 0)], F64)), want


def case_zero(x):
    x = F32(x)
    iszero = bool(abs(x) <= F32(2.0 ** -23))
    sign = 0 if iszero else (1 if x > 0 else -1)
    return "zero %s" % hexbits(x, F32), "%d %d" % (int(iszero), sign)


def build_cases():
    rng = np.random.default_rng(20261210)
    nan, inf = float("nan"), float("inf")
    cases = []
    add = cases.append

    eps = 2.0 ** -23
    for v in [eps, -eps, np.nextafter(F32(eps), F32(1)), np.nextafter(F32(eps), F32(0)), 1e-7, 2e-7,
              -1e-8, -2, 0.0, -0.0, nan, inf, -inf, 1]:
        add(case_zero(v))

    for x, y, z in [(1, 2, 2), (3, 4, 12), (1e200, 1e200, 1e200), (1e-200, 1e-200, 0),
                    (0.1, 0.2, 0.3), (inf, 1, 0), (nan, 0, 0), (-0.0, 0, 0)]:
        add(case_norm3(x, y, z))
    for _ in range(20):
        add(case_norm3(*rng.normal(size=3) * 10.0 ** rng.integers(-5, 5)))
    for n in [0, 1, 2, 7, 40]:
        add(case_normn(rng.normal(size=n) * 1e3))
    add(case_normn([1e300, 1e300, 3e300]))
    add(case_normn([1.0], n=-1))

    # Least squares: the example, degenerate inputs, and random lines with noise.
    for t in (F64, F32):
        for x, y in [([0, 1, 2], [1, 3, 5]), ([1, 1], [2, 3]), ([5], [1]), ([], []),
                     ([0, 1, 2], [1, nan, 5]), ([0, 1e200, 2e200], [0, 1, 2]), ([0, 1, inf], [1, 2, 3]),
                     ([2, 2, 2, 2], [1, 2, 3, 4]), ([-0.0, 0.0], [1, 1])]:
            cases.extend(case_lsq(t, x, y))
        for n in [2, 3, 10, 57]:
            x = np.sort(rng.uniform(-100, 100, n))
            y = 0.37 * x - 5 + rng.normal(size=n)
            cases.extend(case_lsq(t, x, y))

    # Smoothing: values with many ties, signed zeros, NaN, infinities, and random ones; window
    # widths from 0 to beyond the array and the largest int.
    def arrays(n):
        yield rng.normal(size=n)
        yield rng.integers(0, 4, n).astype(float)
        yield np.where(rng.random(n) < 0.5, -0.0, 0.0)
        a = rng.integers(-3, 4, n).astype(float)
        a[rng.random(n) < 0.2] = nan
        yield a
        a = rng.normal(size=n)
        a[rng.random(n) < 0.1] = inf
        a[rng.random(n) < 0.1] = -inf
        yield a
        yield np.sort(rng.normal(size=n))[::-1]
        yield rng.normal(size=n) * 1e-310  # subnormal doubles, zeros as floats

    for t in (F64, F32):
        for n in [1, 2, 3, 5, 9, 30]:
            for a in arrays(n):
                for h in sorted({0, 1, 2, 3, n - 1, n, n + 5, INT_MAX}):
                    for median in (True, False):
                        add(case_smooth(t, a, h, median))
        add(case_smooth(t, [1, 9, 2, 8, 3], 1, True))
        for a in arrays(400):
            for h in [1, 7, 31, 32, 33, 90, 200, 399]:
                add(case_smooth(t, a, h, True))
            add(case_smooth(t, a, 50, False))

    # Near the largest finite value (a no-data marker of FLT_MAX, say), where the sum of a middle
    # pair overflows, and so would the sum of a float window; with infinities beside them. Its own
    # generator, so that the arrays above stay as they were.
    big = np.random.default_rng(20260126)
    for t in (F64, F32):
        top = np.finfo(t).max
        for n in [2, 3, 4, 9, 30, 400]:
            for _ in range(3):
                a = np.where(big.random(n) < 0.7, top, 1.0) * big.choice([1, 1, 0.75, 0.5000001, -1, -0.9], n)
                a[big.random(n) < 0.05] = inf
                for h in sorted({1, 2, 3, n - 1, n, 200} - {0}):
                    add(case_smooth(t, a.astype(t), h, True))
                    add(case_smooth(t, a.astype(t), h, False))
        add(case_smooth(t, [top, top, top, 1], 1, True))
    add(case_smooth(F32, [1.70141e38] * 30, 5, False))

    # Derivatives: ascending x with runs of equal x (no slope there), noisy lines, NaN.
    for t in (F64, F32):
        add(case_deriv(t, [0, 1, 2, 3, 4], [0, 3, 6, 9, 12], 1))
        add(case_deriv(t, [1, 1, 1, 2, 3], [1, 2, 3, 4, 5], 1))
        add(case_deriv(t, [0, 1], [5, 7], 0))
        add(case_deriv(t, [0, 1, 2, 3], [1, nan, 3, 4], 1))
        for n in [2, 3, 8, 40]:
            x = np.sort(rng.integers(0, n, n)).astype(float)
            y = 2 * x + rng.normal(size=n)
            for h in [1, 2, 5, n, INT_MAX]:
                add(case_deriv(t, x, y, h))

    # Abscissas far from zero (grid northings, epoch seconds): noisy lines, their fits and their
    # slopes. Their own generator, so that the arrays above and below stay as they were.
    far = np.random.default_rng(20261211)
    for t in (F64, F32):
        for x0 in [5e6, 1e8, 1.7e9]:
            for n in [2, 3, 10, 40]:
                x = x0 + np.sort(far.uniform(0, 50 * n, n))
                y = 0.37 * (x - x0) - 5 + far.normal(size=n)
                cases.extend(case_lsq(t, x, y))
                add(case_deriv(t, x, y, 3))

    # Interpolation: the tables of the examples, tolerance edges, table ends, interior entries,
    # narrow intervals, NaN, and random tables.
    for t in (F32, F64):
        tol = FLOAT_TABLE_TOL if t is F32 else DOUBLE_TABLE_TOL
        x, y = [0, 1, 2], [0, 10, 20]
        for v in [0.5, 2, 0, 1, -1e-7, -0.1, 2.1, -tol, np.nextafter(-tol, -1), 2 + tol, 2 + 4 * tol,
                  1e-300, nan, inf, -inf]:
            add(case_lintval(t, x, y, v))
        add(case_lintval(t, [0], [5], 0))
        add(case_lintval(t, [], [], 0))
        add(case_lintval(t, [0, 1, 1.0000001, 2], [0, 10, 20, 30], 1))
        add(case_lintval(t, [0, 1, 1, 2], [0, 10, 20, 30], 1))
        add(case_lintval(t, [0, 1, 1 + 2.0 ** -52, 2], [0, 10, 20, 30], 1))
        for n in [2, 5, 33]:
            tx = np.cumsum(rng.uniform(0.001, 3, n)) - 10
            ty = rng.normal(size=n) * 100
            probes = list(rng.uniform(tx[0] - 1, tx[-1] + 1, 12)) + [F64(t(e)) for e in tx]
            for v in probes:
                add(case_lintval(t, tx, ty, v))
            add(case_linttab(t, tx, ty, rng.uniform(tx[0], tx[-1], 6)))
            add(case_linttab(t, tx, ty, [tx[0], tx[-1] + 5, tx[1]]))  # stops at the second
        add(case_linttab(t, x, y, []))
        add(case_linttab(t, [0], [1], [0]))
    return cases


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--emulator", default="")
    parser.add_argument("driver")
    args = parser.parse_args()
    with np.errstate(all="ignore"):
        cases = build_cases()
    command = ([args.emulator] if args.emulator else []) + [args.driver]
    run = subprocess.run(command, input="\n".join(line for line, _ in cases) + "\n",
                         capture_output=True, text=True, timeout=300)
    if run.returncode != 0:
        print("driver failed with code %d:\n%s" % (run.returncode, run.stderr[-2000:]))
        return 1
    answers = [a.strip() for a in run.stdout.splitlines() if a.strip()]
    if len(answers) != len(cases):
        print("expected %d answers, got %d" % (len(cases), len(answers)))
        return 1
    bad = 0
    for (line, want), got in zip(cases, answers):
        if got != want:
            bad += 1
            if bad <= 10:
                print("MISMATCH\n  case: %s\n  want: %s\n  got:  %s" % (line[:300], want[:300], got[:300]))
    print("%d cases, %d mismatches" % (len(cases), bad))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
