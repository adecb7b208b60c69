// numkit: a zero test and a sign with a fixed tolerance, Euclidean norms, a least-squares
// straight line, windowed smoothing (median or mean), windowed derivatives and linear
// interpolation in an ascending table, for float and double arrays.
//
// Linkage and conventions:
//   - every export is cdecl (arguments on the stack, the last pushed first, the caller removes
//     them) with this toolchain's C++ names; booleans and the sign come back in AL, integers in
//     EAX, floating results in the x87 register ST0;
//   - numkit links its C++ run-time statically and no exception ever leaves an export: bad
//     arguments and failed scratch allocations answer false or -1;
//   - each export saves the caller's floating-point state (the x87 control word and exception
//     flags, and MXCSR), computes with all exceptions masked, rounding to nearest, no
//     flush-to-zero and 64-bit x87 precision, and restores the caller's state before it
//     returns, so the results do not depend on how the caller set its floating-point unit and
//     no flag raised inside shows or traps afterwards (fpu/FpuState.h);
//   - arithmetic is IEEE single or double (SSE) unless noted; "extended" below is long double on
//     the x87 (64-bit mantissa), used where a routine says so.
//
// Arrays are a pointer to their first element plus a count; nothing is allocated for the
// caller. Input and output may be the same array: the routine then reads a copy of the input.
#pragma once

#include <vector>

#if defined(__i386__)
#define NUMKIT_CALL __attribute__((cdecl))
#else
#define NUMKIT_CALL
#endif

#if defined(_WIN32) && defined(NUMKIT_BUILD_DLL)
#define NUMKIT_API __declspec(dllexport)
#elif defined(_WIN32) && !defined(NUMKIT_STATIC)
#define NUMKIT_API __declspec(dllimport)
#else
#define NUMKIT_API
#endif

// |x| <= 2^-23.
NUMKIT_API bool NUMKIT_CALL M_IsZero(const float x);
// 0 when M_IsZero(x), 1 when x > 0, else -1.
NUMKIT_API char NUMKIT_CALL M_Sign(const float x);
// sqrt(x^2 + y^2 + z^2) in extended precision, returned as extended.
NUMKIT_API long double NUMKIT_CALL M_Norm(double x, double y, double z);
// sqrt of the sum of v[i]^2 for i < n, squared and summed in extended precision; 0 for n <= 0.
NUMKIT_API long double NUMKIT_CALL M_Norm(int n, double* v);

// Least-squares line y = a*x + b through n points and the root mean square of the residuals,
// from sums in double of the points' deviations from their means (so that abscissas far from
// zero keep their precision). False, leaving a, b and rms untouched, when the determinant is 0 (n < 2 or all
// x equal) or a result is not finite. The vector forms take n from the caller and pass the
// vectors' storage on without comparing n with their sizes; the float-result form stores its
// results rounded to float.
NUMKIT_API bool NUMKIT_CALL M_LinLSQ(double* x, double* y, int n, double& a, double& b,
                                     double& rms);
NUMKIT_API bool NUMKIT_CALL M_LinLSQ(float* x, float* y, int n, double& a, double& b,
                                     double& rms);
NUMKIT_API bool NUMKIT_CALL M_LinLSQ(std::vector<double>& x, std::vector<double>& y, int n,
                                     double& a, double& b, double& rms);
NUMKIT_API bool NUMKIT_CALL M_LinLSQ(std::vector<float>& x, std::vector<float>& y, int n,
                                     double& a, double& b, double& rms);
NUMKIT_API bool NUMKIT_CALL M_LinLSQ(std::vector<float>& x, std::vector<float>& y, int n,
                                     float& a, float& b, float& rms);

// out[i] = the median (or the mean) of in[max(i - h, 0) .. min(i + h, n - 1)]. The median of an
// even count is the mean of the two middle values; the order is ascending with -0 before +0 and
// NaNs last. The mean sums in double, also for float arrays, and rounds the quotient to the
// array's type. False, writing nothing, when h < 1 or n < 2.
NUMKIT_API bool NUMKIT_CALL M_Smooth(double* in, double* out, int n, int h, bool median);
NUMKIT_API bool NUMKIT_CALL M_Smooth(float* in, float* out, int n, int h, bool median);

// out[i] = the slope of the least-squares line through the window of M_Smooth, 0 where it has
// none. False, writing nothing, when h < 1 or n < 2.
NUMKIT_API bool NUMKIT_CALL M_Derivative(double* x, double* y, double* out, int n, int h);
NUMKIT_API bool NUMKIT_CALL M_Derivative(float* x, float* y, float* out, int n, int h);

// Linear interpolation at v in the ascending table x[0..n-1] -> y[0..n-1]. Codes: 0 success
// (*result written), -1 invalid arguments (n < 2), 1 v lies outside the table beyond the
// tolerance, is NaN, or falls into an interval narrower than the tolerance. The tolerance is
// 10 * 2^-23 for float tables and 21 * 2^-53 for double tables. An abscissa equal to an interior
// entry x[k] uses [x[k], x[k+1]] in a float table and [x[k-1], x[k]] in a double table. The
// value is computed in extended precision and rounded to double.
NUMKIT_API int NUMKIT_CALL M_lintvalf(int n, float* x, float* y, double v, double* result);
NUMKIT_API int NUMKIT_CALL M_lintvald(int n, double* x, double* y, double v, double* result);
// The same for vs[0..m-1]; -1 when n < 2 or m <= 0; stops at the first non-zero code, having
// written the results before it.
NUMKIT_API int NUMKIT_CALL M_linttabf(int n, float* x, float* y, int m, float* vs,
                                      float* results);
NUMKIT_API int NUMKIT_CALL M_linttabd(int n, double* x, double* y, int m, double* vs,
                                      double* results);
