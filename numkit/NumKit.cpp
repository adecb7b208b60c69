// numkit's exports. Each one runs its work (a function of the anonymous namespace below, kept
// out of line so no arithmetic moves across the switch) under Guarded, which gives the caller's
// floating-point state back afterwards (FpuState.h). Nothing here throws: scratch memory comes
// from the non-throwing allocator and a failed allocation answers false.
#include "NumKit.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "FpuState.h"
#include "MedianWindow.h"
#include "Scratch.h"

#define NUMKIT_WORK [[gnu::noinline]]

namespace {

using fpu::Guarded;
using Extended = long double;

constexpr float kZeroTolerance = 1.0f / (1 << 23);          // 2^-23
constexpr float kFloatTableTolerance = 10.0f / (1 << 23);   // ten float epsilons
constexpr double kDoubleTableTolerance = 21.0 / 9007199254740992.0;  // 21 * 2^-53

// ---- Scratch memory

using numkit::Scratch;

// Whether two arrays share memory; the ends are computed in 64 bits, so that no count wraps.
template <class A, class B>
bool Overlap(const A* a, std::size_t aCount, const B* b, std::size_t bCount) {
  std::uint64_t a0 = reinterpret_cast<std::uintptr_t>(a), b0 = reinterpret_cast<std::uintptr_t>(b);
  return a0 < b0 + std::uint64_t(bCount) * sizeof(B) && b0 < a0 + std::uint64_t(aCount) * sizeof(A);
}

// The input to read: `in` itself, or a copy in `snapshot` when the output overlaps it. Null when
// the copy cannot be made.
template <class T>
const T* Readable(const T* in, std::size_t n, const T* out, Scratch<T>& snapshot) {
  if (!Overlap(in, n, out, n)) return in;
  if (!snapshot.Get()) return nullptr;
  std::memcpy(snapshot.Get(), in, n * sizeof(T));
  return snapshot.Get();
}

// ---- Least squares

// The sums are taken over the values less their means: over raw values far from zero (grid
// northings, epoch seconds) the determinant Sx^2 - n Sxx cancels, over the deviations it does
// not. The first pass takes the means, the second the sums of the deviations, their plain sums
// included (not exactly 0 once the means are rounded), so that the formulas are the usual ones
// for the shifted line; its offset is then moved back by the means. The determinant is 0, and
// the fit fails, exactly when all x are equal, which the first pass sees.
template <class T>
NUMKIT_WORK bool LinLsq(const T* x, const T* y, int n, double& a, double& b, double& rms) {
  if (n < 2) return false;  // the determinant of fewer than two points is 0
  const double s0 = n;
  double mx = 0, my = 0;
  bool sameX = true;
  for (int i = 0; i < n; ++i) {
    mx += static_cast<double>(x[i]);
    my += static_cast<double>(y[i]);
    sameX = sameX && x[i] == x[0];
  }
  if (sameX) return false;
  mx /= s0;
  my /= s0;
  double sx = 0, sy = 0, sxy = 0, sxx = 0;
  for (int i = 0; i < n; ++i) {
    const double dx = static_cast<double>(x[i]) - mx, dy = static_cast<double>(y[i]) - my;
    sx += dx;
    sy += dy;
    sxy += dx * dy;
    sxx += dx * dx;
  }
  const double d = sx * sx - s0 * sxx;
  if (d == 0) return false;
  const double slope = (sx * sy - sxy * s0) / d;
  const double shifted = (sx * sxy - sxx * sy) / d;  // the offset of the line through the deviations
  const double offset = (my - slope * mx) + shifted;
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    const double dx = static_cast<double>(x[i]) - mx, dy = static_cast<double>(y[i]) - my;
    const double r = dy - slope * dx - shifted;
    sum += r * r;
  }
  const double root = std::sqrt(sum / s0);
  if (!std::isfinite(slope) || !std::isfinite(offset) || !std::isfinite(root)) return false;
  a = slope;
  b = offset;
  rms = root;
  return true;
}

NUMKIT_WORK bool LinLsqToFloat(const float* x, const float* y, int n, float& a, float& b, float& rms) {
  double da, db, drms;
  if (!LinLsq(x, y, n, da, db, drms)) return false;
  a = static_cast<float>(da);
  b = static_cast<float>(db);
  rms = static_cast<float>(drms);
  return true;
}

// ---- Windows

// The window of i: [max(i - h, 0), min(i + h, n - 1)], in 64 bits.
struct Window {
  std::size_t lo, count;
};
Window WindowOf(std::size_t i, std::size_t n, std::size_t h) {
  std::size_t lo = i >= h ? i - h : 0;
  std::size_t hi = static_cast<std::uint64_t>(i) + h >= n ? n - 1 : i + h;
  return Window{lo, hi - lo + 1};
}

// The mean sums each window from its first element on, in double also for float arrays (a float
// sum overflows beyond FLT_MAX / m and drifts over wide windows), and rounds the quotient to T.
// Where four consecutive windows have one size (all but the ends), their four sums run side by
// side, each in its own order, so that the additions of one window need not wait for each
// other's results alone.
constexpr std::size_t kMeanLanes = 4;

template <class T>
void RunMean(const T* in, T* out, std::size_t n, std::size_t h) {
  std::size_t i = 0;
  while (i < n) {
    const Window w = WindowOf(i, n, h);
    const double count = static_cast<double>(w.count);
    if (i + kMeanLanes - 1 < n) {
      const Window last = WindowOf(i + kMeanLanes - 1, n, h);
      if (last.count == w.count && last.lo == w.lo + kMeanLanes - 1) {
        // Each element is read (and widened) once: the three that the next lanes add after it
        // move along in registers.
        const T* p = in + w.lo;
        double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        double v0 = p[0], v1 = p[1], v2 = p[2];
        for (std::size_t j = 0; j < w.count; ++j) {
          const double v3 = p[j + 3];
          s0 += v0;
          s1 += v1;
          s2 += v2;
          s3 += v3;
          v0 = v1;
          v1 = v2;
          v2 = v3;
        }
        out[i] = static_cast<T>(s0 / count);
        out[i + 1] = static_cast<T>(s1 / count);
        out[i + 2] = static_cast<T>(s2 / count);
        out[i + 3] = static_cast<T>(s3 / count);
        i += kMeanLanes;
        continue;
      }
    }
    double sum = 0;
    for (std::size_t j = 0; j < w.count; ++j) sum += in[w.lo + j];
    out[i] = static_cast<T>(sum / count);
    ++i;
  }
}

template <class T>
NUMKIT_WORK bool Smooth(const T* in, T* out, int n, int h, bool median) {
  if (h < 1 || n < 2 || !in || !out) return false;
  const std::size_t count = static_cast<std::size_t>(n);
  Scratch<T> snapshot(Overlap(in, count, out, count) ? count : 0);
  const T* source = Readable(in, count, out, snapshot);
  if (!source) return false;
  if (median) return numkit::RunMedian(source, out, count, static_cast<std::size_t>(h));
  RunMean(source, out, count, static_cast<std::size_t>(h));
  return true;
}

template <class T>
NUMKIT_WORK bool Derivative(const T* x, const T* y, T* out, int n, int h) {
  if (h < 1 || n < 2 || !x || !y || !out) return false;
  const std::size_t count = static_cast<std::size_t>(n);
  Scratch<T> xCopy(Overlap(x, count, out, count) ? count : 0);
  Scratch<T> yCopy(Overlap(y, count, out, count) ? count : 0);
  const T* xs = Readable(x, count, out, xCopy);
  const T* ys = Readable(y, count, out, yCopy);
  if (!xs || !ys) return false;
  for (std::size_t i = 0; i < count; ++i) {
    Window w = WindowOf(i, count, static_cast<std::size_t>(h));
    double a, b, rms;
    bool ok = LinLsq(xs + w.lo, ys + w.lo, static_cast<int>(w.count), a, b, rms);
    out[i] = ok ? static_cast<T>(a) : T(0);
  }
  return true;
}

// ---- Interpolation

// The interval of v in the ascending table x[0..n-1]: -2 for an empty table, -1 below it, n
// above it, n - 1 at its last entry, else the lo of the bisection. A float table moves lo up on
// v >= x[mid], a double table on v > x[mid].
template <class T>
int Bracket(int n, const T* x, double v) {
  constexpr bool kUpOnEqual = sizeof(T) == sizeof(float);
  if (n < 1) return -2;
  if (v < x[0]) return -1;
  if (v > x[n - 1]) return n;
  if (v == x[n - 1]) return n - 1;
  int lo = 0, hi = n;
  while (hi - lo > 1 && v != x[lo]) {
    int mid = lo + (hi - lo) / 2;
    if (kUpOnEqual ? v >= x[mid] : v > x[mid])
      lo = mid;
    else
      hi = mid;
  }
  return lo;
}

template <class T>
NUMKIT_WORK int LintVal(int n, const T* x, const T* y, double v, double* result, double tol) {
  if (n < 2 || !x || !y || !result) return -1;
  if (std::isnan(v)) return 1;
  if (v < x[0] - tol || v > x[n - 1] + tol) return 1;
  if (v < x[0]) v = x[0];
  if (v > x[n - 1]) v = x[n - 1];
  int lo = Bracket(n, x, v);
  if (lo < 0 || lo > n - 1) return 1;
  if (lo == n - 1) {
    *result = y[n - 1];
    return 0;
  }
  const double w = static_cast<double>(static_cast<Extended>(x[lo + 1]) - static_cast<Extended>(x[lo]));
  if (w < tol) return 1;
  const Extended y0 = y[lo], y1 = y[lo + 1];
  *result = static_cast<double>(y0 + (y1 - y0) * (static_cast<Extended>(v) - static_cast<Extended>(x[lo])) /
                                         static_cast<Extended>(w));
  return 0;
}

template <class T>
NUMKIT_WORK int LintTab(int n, const T* x, const T* y, int m, const T* vs, T* results, double tol) {
  if (n < 2 || m <= 0 || !vs || !results) return -1;
  for (int i = 0; i < m; ++i) {
    double value;
    int code = LintVal(n, x, y, static_cast<double>(vs[i]), &value, tol);
    if (code != 0) return code;
    results[i] = static_cast<T>(value);
  }
  return 0;
}

NUMKIT_WORK bool IsZero(float x) { return std::fabs(x) <= kZeroTolerance; }

NUMKIT_WORK char Sign(float x) {
  if (IsZero(x)) return 0;
  return x > 0 ? 1 : -1;
}

NUMKIT_WORK Extended Norm3(double x, double y, double z) {
  Extended ex = x, ey = y, ez = z;
  return std::sqrt(ex * ex + ey * ey + ez * ez);
}

NUMKIT_WORK Extended NormN(int n, const double* v) {
  if (n <= 0 || !v) return 0;
  Extended sum = 0;
  for (int i = 0; i < n; ++i) {
    Extended e = v[i];
    sum += e * e;
  }
  return std::sqrt(sum);
}

}  // namespace

bool M_IsZero(const float x) {
  return Guarded([&] { return IsZero(x); });
}

char M_Sign(const float x) {
  return Guarded([&] { return Sign(x); });
}

long double M_Norm(double x, double y, double z) {
  return Guarded([&] { return Norm3(x, y, z); });
}

long double M_Norm(int n, double* v) {
  return Guarded([&] { return NormN(n, v); });
}

bool M_LinLSQ(double* x, double* y, int n, double& a, double& b, double& rms) {
  return Guarded([&] { return LinLsq(x, y, n, a, b, rms); });
}

bool M_LinLSQ(float* x, float* y, int n, double& a, double& b, double& rms) {
  return Guarded([&] { return LinLsq(x, y, n, a, b, rms); });
}

bool M_LinLSQ(std::vector<double>& x, std::vector<double>& y, int n, double& a, double& b, double& rms) {
  return Guarded([&] { return LinLsq(x.data(), y.data(), n, a, b, rms); });
}

bool M_LinLSQ(std::vector<float>& x, std::vector<float>& y, int n, double& a, double& b, double& rms) {
  return Guarded([&] { return LinLsq(x.data(), y.data(), n, a, b, rms); });
}

bool M_LinLSQ(std::vector<float>& x, std::vector<float>& y, int n, float& a, float& b, float& rms) {
  return Guarded([&] { return LinLsqToFloat(x.data(), y.data(), n, a, b, rms); });
}

bool M_Smooth(double* in, double* out, int n, int h, bool median) {
  return Guarded([&] { return Smooth(in, out, n, h, median); });
}

bool M_Smooth(float* in, float* out, int n, int h, bool median) {
  return Guarded([&] { return Smooth(in, out, n, h, median); });
}

bool M_Derivative(double* x, double* y, double* out, int n, int h) {
  return Guarded([&] { return Derivative(x, y, out, n, h); });
}

bool M_Derivative(float* x, float* y, float* out, int n, int h) {
  return Guarded([&] { return Derivative(x, y, out, n, h); });
}

int M_lintvalf(int n, float* x, float* y, double v, double* result) {
  return Guarded([&] { return LintVal(n, x, y, v, result, kFloatTableTolerance); });
}

int M_lintvald(int n, double* x, double* y, double v, double* result) {
  return Guarded([&] { return LintVal(n, x, y, v, result, kDoubleTableTolerance); });
}

int M_linttabf(int n, float* x, float* y, int m, float* vs, float* results) {
  return Guarded([&] { return LintTab(n, x, y, m, vs, results, kFloatTableTolerance); });
}

int M_linttabd(int n, double* x, double* y, int m, double* vs, double* results) {
  return Guarded([&] { return LintTab(n, x, y, m, vs, results, kDoubleTableTolerance); });
}
