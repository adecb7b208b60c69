#include "NumKit.h"

#include "tests/support/CallerFpu.h"
#include "tests/support/NumKitScaleCases.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const float kFloatEps = std::ldexp(1.0f, -23);
const double kFloatTableTol = 10 * std::ldexp(1.0, -23);
const double kDoubleTableTol = 21 * std::ldexp(1.0, -53);

struct ZeroCase {
  float x;
  bool zero;
  int sign;
};

TEST(NumKit, IsZeroAndSignAtTheTolerance) {
  const ZeroCase cases[] = {
      {kFloatEps, true, 0},
      {-kFloatEps, true, 0},
      {std::nextafter(kFloatEps, 1.0f), false, 1},
      {-std::nextafter(kFloatEps, 1.0f), false, -1},
      {1e-7f, true, 0},
      {2e-7f, false, 1},
      {-1e-8f, true, 0},
      {-2, false, -1},
      {static_cast<float>(kNan), false, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(M_IsZero(c.x), c.zero) << c.x;
    EXPECT_EQ(M_Sign(c.x), c.sign) << c.x;
  }
}

TEST(NumKit, NormsInExtendedPrecision) {
  EXPECT_EQ(M_Norm(3, 4, 12), 13.0L);
  // The squares of 1e200 overflow a double but not the extended format.
  long double big = M_Norm(1e200, 1e200, 0);
  EXPECT_TRUE(std::isfinite(big));
  EXPECT_NEAR(static_cast<double>(big / 1e200L), std::sqrt(2.0), 1e-15);
  double v[] = {1e200, 1e200, 3e200, 5e200};
  EXPECT_NEAR(static_cast<double>(M_Norm(4, v) / 1e200L), 6.0, 1e-15);
  EXPECT_EQ(M_Norm(0, v), 0.0L);
  EXPECT_EQ(M_Norm(-3, v), 0.0L);
}

TEST(NumKit, LeastSquaresExampleAndFailures) {
  double x[] = {0, 1, 2}, y[] = {1, 3, 5};
  double a = 0, b = 0, rms = -1;
  ASSERT_TRUE(M_LinLSQ(x, y, 3, a, b, rms));
  EXPECT_EQ(a, 2.0);
  EXPECT_EQ(b, 1.0);
  EXPECT_EQ(rms, 0.0);

  struct Failing {
    const char* name;
    std::vector<double> x, y;
  };
  const Failing failing[] = {
      {"same x", {4, 4}, {1, 2}},
      {"one point", {1}, {1}},
      {"no point", {}, {}},
      {"NaN y", {0, 1, 2}, {1, kNan, 3}},
      {"infinite x", {0, 1, kInf}, {1, 2, 3}},
      {"sums overflow", {0, 1e200, 2e200}, {0, 1, 2}},
  };
  for (const auto& f : failing) {
    std::vector<double> fx = f.x, fy = f.y;
    double fa = 7, fb = 8, frms = 9;
    EXPECT_FALSE(M_LinLSQ(fx.data(), fy.data(), static_cast<int>(fx.size()), fa, fb, frms)) << f.name;
    EXPECT_TRUE(fa == 7 && fb == 8 && frms == 9) << f.name << ": results touched";
    std::vector<float> gx(fx.begin(), fx.end()), gy(fy.begin(), fy.end());
    float ga = 7, gb = 8, grms = 9;
    EXPECT_FALSE(M_LinLSQ(gx, gy, static_cast<int>(gx.size()), ga, gb, grms)) << f.name;
    EXPECT_TRUE(ga == 7 && gb == 8 && grms == 9) << f.name << ": float results touched";
  }

  std::vector<float> vx = {0, 1, 2, 3}, vy = {1, 2, 2, 4};
  double da, db, drms;
  float fa, fb, frms;
  ASSERT_TRUE(M_LinLSQ(vx, vy, 4, da, db, drms));
  ASSERT_TRUE(M_LinLSQ(vx, vy, 4, fa, fb, frms));
  EXPECT_EQ(fa, static_cast<float>(da));
  EXPECT_EQ(fb, static_cast<float>(db));
  EXPECT_EQ(frms, static_cast<float>(drms));
  std::vector<double> wx(vx.begin(), vx.end()), wy(vy.begin(), vy.end());
  double wa, wb, wrms;
  ASSERT_TRUE(M_LinLSQ(wx, wy, 4, wa, wb, wrms));
  EXPECT_EQ(wa, da);
  EXPECT_EQ(wrms, drms);
}

// Exact samples of lines far from zero (grid northings, epoch seconds) fit those lines, in every
// overload and in every window of the derivative.
TEST(NumKit, FitsOfLinesFarFromZero) {
  CheckFarLineFits([](const std::string& failure) { ADD_FAILURE() << failure; });
}

template <class T>
std::vector<T> Smoothed(std::vector<T> in, int h, bool median) {
  std::vector<T> out(in.size(), T(-99));
  EXPECT_TRUE(M_Smooth(in.data(), out.data(), static_cast<int>(in.size()), h, median));
  return out;
}

TEST(NumKit, SmoothExamples) {
  EXPECT_EQ(Smoothed<double>({1, 9, 2, 8, 3}, 1, true), (std::vector<double>{5, 2, 8, 3, 5.5}));
  EXPECT_EQ(Smoothed<float>({1, 9, 2, 8, 3}, 1, true), (std::vector<float>{5, 2, 8, 3, 5.5f}));
  EXPECT_EQ(Smoothed<double>({1, 9, 2, 8, 3}, 1, false), (std::vector<double>{5, 4, 19.0 / 3, 13.0 / 3, 5.5}));
  // Windows wider than the array, up to the largest int (window sizes must not overflow).
  for (int h : {5, 100, INT_MAX}) {
    EXPECT_EQ(Smoothed<double>({1, 9, 2, 8}, h, true), (std::vector<double>{5, 5, 5, 5})) << h;
    EXPECT_EQ(Smoothed<float>({1, 9, 2, 8}, h, false), (std::vector<float>{5, 5, 5, 5})) << h;
  }
  // NaNs sort last; -0 sorts before +0.
  std::vector<double> withNan = Smoothed<double>({kNan, 1, 2}, 1, true);
  EXPECT_TRUE(std::isnan(withNan[0]));
  EXPECT_EQ(withNan[1], 2.0);
  EXPECT_EQ(withNan[2], 1.5);
  std::vector<double> zeros = Smoothed<double>({-0.0, 0.0, -0.0}, 1, true);
  EXPECT_FALSE(std::signbit(zeros[0]));  // (+0 + -0) / 2
  EXPECT_TRUE(std::signbit(zeros[1]));   // -0, -0, +0
}

// Float windows of values near FLT_MAX (a no-data marker) or of many values: each mean of a
// constant array is that constant.
TEST(NumKit, FloatMeansOfLargeAndOfManyValues) {
  CheckFloatMeans([](const std::string& failure) { ADD_FAILURE() << failure; });
}

// The middle pair of an even window is averaged without overflowing, also for the largest
// finite values (a no-data marker of FLT_MAX, say); infinities are kept as they are.
TEST(NumKit, EvenWindowMediansOfLargeValuesStayFinite) {
  const double big = 1e308, bigger = 1.5e308, dmax = std::numeric_limits<double>::max();
  const float fmax = std::numeric_limits<float>::max();
  // The midpoint computed in extended precision, whose range holds the sum, rounded once.
  auto mid = [](auto a, auto b) {
    return static_cast<decltype(a)>((static_cast<long double>(a) + static_cast<long double>(b)) / 2);
  };
  EXPECT_EQ(Smoothed<double>({big, bigger}, 1, true), (std::vector<double>{mid(big, bigger), mid(big, bigger)}));
  EXPECT_EQ(Smoothed<double>({-dmax, -dmax, 1}, 1, true), (std::vector<double>{-dmax, -dmax, mid(-dmax, 1.0)}));
  EXPECT_EQ(Smoothed<float>({fmax, fmax, fmax, 1}, 1, true), (std::vector<float>{fmax, fmax, fmax, mid(fmax, 1.0f)}));
  EXPECT_EQ(Smoothed<float>({fmax, fmax, fmax, 1}, 5, true), (std::vector<float>{fmax, fmax, fmax, fmax}));
  EXPECT_EQ(Smoothed<double>({kInf, dmax}, 1, true), (std::vector<double>{kInf, kInf}));
  std::vector<double> opposite = Smoothed<double>({kInf, -kInf}, 1, true);
  EXPECT_TRUE(std::isnan(opposite[0]) && std::isnan(opposite[1]));
}

TEST(NumKit, BadWindowArgumentsWriteNothing) {
  double in[] = {1, 2, 3}, out[] = {7, 7, 7};
  float fin[] = {1, 2, 3}, fout[] = {7, 7, 7};
  struct Args {
    int n, h;
  };
  for (Args a : {Args{3, 0}, Args{3, -1}, Args{1, 1}, Args{0, 1}, Args{-5, 1}}) {
    for (bool median : {true, false}) {
      EXPECT_FALSE(M_Smooth(in, out, a.n, a.h, median)) << a.n << " " << a.h;
      EXPECT_FALSE(M_Smooth(fin, fout, a.n, a.h, median)) << a.n << " " << a.h;
    }
    EXPECT_FALSE(M_Derivative(in, in, out, a.n, a.h));
    EXPECT_FALSE(M_Derivative(fin, fin, fout, a.n, a.h));
  }
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(out[i] == 7 && fout[i] == 7);
}

// In a 32-bit process no scratch array of 2^31 - 1 doubles can be had: the routines answer false
// (no exception, nothing read or written) before they touch the arrays, whose length they
// take on trust.
TEST(NumKit, FailedScratchAllocationAnswersFalse) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "needs a 32-bit address space";
  double values[] = {1, 2, 3}, out[] = {7, 7, 7};
  // At this length the arrays overlap, so each call first wants a copy of its input.
  EXPECT_FALSE(M_Smooth(values, out, INT_MAX, INT_MAX, true));
  EXPECT_FALSE(M_Smooth(values, values, INT_MAX, 1, false));
  EXPECT_FALSE(M_Derivative(values, values, values, INT_MAX, 1));
  EXPECT_EQ(out[0], 7.0);
  EXPECT_EQ(values[0], 1.0);
}

// With the input array as the output array, each window still reads the input as it was.
TEST(NumKit, SameArrayInAndOutReadsTheInput) {
  const std::vector<double> input = {4, -1, 7, 7, 2, 9, 0, 3};
  const std::vector<double> xs = {0, 1, 2, 4, 5, 5, 6, 9};
  for (int h : {1, 2, 3}) {
    for (bool median : {true, false}) {
      std::vector<double> inPlace = input;
      ASSERT_TRUE(M_Smooth(inPlace.data(), inPlace.data(), 8, h, median));
      EXPECT_EQ(inPlace, Smoothed(input, h, median)) << "h " << h << " median " << median;
    }
    std::vector<double> x = xs, y = input, expected(8);
    ASSERT_TRUE(M_Derivative(x.data(), y.data(), expected.data(), 8, h));
    ASSERT_TRUE(M_Derivative(x.data(), y.data(), y.data(), 8, h));
    EXPECT_EQ(y, expected) << "out = y, h " << h;
    y = input;
    ASSERT_TRUE(M_Derivative(x.data(), y.data(), x.data(), 8, h));
    EXPECT_EQ(x, expected) << "out = x, h " << h;
  }
}

TEST(NumKit, DerivativeOfALineAndOfEqualAbscissas) {
  double x[] = {0, 1, 2, 3, 4}, y[] = {0, 3, 6, 9, 12}, out[5];
  ASSERT_TRUE(M_Derivative(x, y, out, 5, 1));
  for (double d : out) EXPECT_EQ(d, 3.0);
  float fx[] = {0, 1, 2, 3, 4}, fy[] = {0, 3, 6, 9, 12}, fout[5];
  ASSERT_TRUE(M_Derivative(fx, fy, fout, 5, INT_MAX));
  for (float d : fout) EXPECT_EQ(d, 3.0f);
  double same[] = {1, 1, 1, 2}, vals[] = {5, 6, 7, 8};
  ASSERT_TRUE(M_Derivative(same, vals, out, 4, 1));
  EXPECT_EQ(out[0], 0.0);  // window {1, 1}: no slope
  EXPECT_EQ(out[1], 0.0);
  EXPECT_NE(out[2], 0.0);
}

struct InterpCase {
  const char* name;
  double v;
  int code;
  double result;  // when code is 0
};

template <class T>
void CheckInterp(const InterpCase& c, int n, T* x, T* y) {
  double result = -12345;
  int code;
  if constexpr (sizeof(T) == sizeof(float)) code = M_lintvalf(n, x, y, c.v, &result);
  else code = M_lintvald(n, x, y, c.v, &result);
  EXPECT_EQ(code, c.code) << c.name;
  if (c.code == 0) EXPECT_EQ(result, c.result) << c.name;
  else EXPECT_EQ(result, -12345) << c.name << ": result written";
}

TEST(NumKit, InterpolationCodesAndToleranceEdges) {
  float fx[] = {0, 1, 2}, fy[] = {0, 10, 20};
  double dx[] = {0, 1, 2}, dy[] = {0, 10, 20};
  const InterpCase common[] = {
      {"middle", 0.5, 0, 5},
      {"last entry", 2, 0, 20},
      {"first entry", 0, 0, 0},
      {"interior entry", 1, 0, 10},
      {"below by 0.1", -0.1, 1, 0},
      {"above by 0.1", 2.1, 1, 0},
      {"NaN", kNan, 1, 0},
      {"-inf", -kInf, 1, 0},
  };
  for (const auto& c : common) {
    CheckInterp(c, 3, fx, fy);
    CheckInterp(c, 3, dx, dy);
  }
  const InterpCase floatEdges[] = {
      {"-1e-7 within", -1e-7, 0, 0},
      {"at -tol", -kFloatTableTol, 0, 0},
      {"beyond -tol", std::nextafter(-kFloatTableTol, -1.0), 1, 0},
      {"at 2 + tol", 2 + kFloatTableTol, 0, 20},
      {"beyond 2 + tol", std::nextafter(2 + kFloatTableTol, 3.0), 1, 0},
  };
  for (const auto& c : floatEdges) CheckInterp(c, 3, fx, fy);
  const InterpCase doubleEdges[] = {
      {"at -tol", -kDoubleTableTol, 0, 0},
      {"beyond -tol", std::nextafter(-kDoubleTableTol, -1.0), 1, 0},
      {"-1e-7 outside", -1e-7, 1, 0},
  };
  for (const auto& c : doubleEdges) CheckInterp(c, 3, dx, dy);
  double result = -12345;
  EXPECT_EQ(M_lintvalf(1, fx, fy, 0, &result), -1);
  EXPECT_EQ(M_lintvald(0, dx, dy, 0, &result), -1);
  EXPECT_EQ(result, -12345);
}

// An abscissa equal to an interior entry takes the interval above it in a float table and the
// one below it in a double table.
TEST(NumKit, InterpolationBracketsInteriorEntriesByPrecision) {
  float fx[] = {0, 1, 1.0000001f, 2}, fy[] = {0, 10, 20, 30};
  double dx[] = {0, 1, 1.0000001f, 2}, dy[] = {0, 10, 20, 30};
  double result = -1;
  EXPECT_EQ(M_lintvalf(4, fx, fy, 1, &result), 1);  // [1, 1.0000001] is narrower than the tolerance
  EXPECT_EQ(M_lintvald(4, dx, dy, 1, &result), 0);  // [0, 1]
  EXPECT_EQ(result, 10);
}

TEST(NumKit, InterpolationTables) {
  float fx[] = {0, 1, 2}, fy[] = {0, 10, 20};
  double dx[] = {0, 1, 2}, dy[] = {0, 10, 20};
  float fvs[] = {0.5f, 5, 1.5f}, fres[] = {-1, -1, -1};
  double dvs[] = {0.5, 5, 1.5}, dres[] = {-1, -1, -1};
  EXPECT_EQ(M_linttabf(3, fx, fy, 0, fvs, fres), -1);
  EXPECT_EQ(M_linttabd(1, dx, dy, 3, dvs, dres), -1);
  EXPECT_EQ(fres[0], -1.0f);
  // The second abscissa is outside: the first result is written, the others are not.
  EXPECT_EQ(M_linttabf(3, fx, fy, 3, fvs, fres), 1);
  EXPECT_EQ(M_linttabd(3, dx, dy, 3, dvs, dres), 1);
  EXPECT_TRUE(fres[0] == 5 && fres[1] == -1 && fres[2] == -1);
  EXPECT_TRUE(dres[0] == 5 && dres[1] == -1 && dres[2] == -1);
  fvs[1] = 1;
  dvs[1] = 1;
  EXPECT_EQ(M_linttabf(3, fx, fy, 3, fvs, fres), 0);
  EXPECT_EQ(M_linttabd(3, dx, dy, 3, dvs, dres), 0);
  EXPECT_TRUE(fres[1] == 10 && fres[2] == 15 && dres[1] == 10 && dres[2] == 15);
}

// ---- The caller's floating-point state

// A caller with division by zero and invalid operations unmasked (they would trap), 24-bit x87
// precision, rounding toward zero and flush-to-zero/denormals-are-zero gets the results of the
// documented state, and gets its own state back.
TEST(NumKit, CallerFloatingPointStateIsMaskedAndRestored) {
  const std::uint16_t hostileX87 = 0x0C7A;  // IM, ZM unmasked; 24-bit; toward zero
  const std::uint32_t hostileMxcsr = 0x1D00 | 0x6000 | 0x8040;  // IM, ZM unmasked; toward zero; FTZ, DAZ
  double sameX[] = {2, 2, 2}, ys[] = {1, 2, 3};
  double lx[] = {0, 1, 2}, ly[] = {1, 2, 4};
  float tiny[] = {1e-40f, 1e-40f, 1e-40f};  // subnormal floats
  double values[] = {1, 1e-10, 3};
  const long double normWanted = M_Norm(3, values);
  double a0, b0, r0;
  ASSERT_TRUE(M_LinLSQ(lx, ly, 3, a0, b0, r0));

  const CallerFpu before = ReadCallerFpu();
  LoadCallerFpu(hostileX87, hostileMxcsr);
  const CallerFpu set = ReadCallerFpu();
  double a = 0, b = 0, rms = 0;
  bool degenerate = M_LinLSQ(sameX, ys, 3, a, b, rms);  // divides by zero
  bool fitted = M_LinLSQ(lx, ly, 3, a, b, rms);
  float smooth[3];
  bool smoothed = M_Smooth(tiny, smooth, 3, 1, false);
  long double norm = M_Norm(3, values);
  const CallerFpu after = ReadCallerFpu();
  LoadCallerFpu(before.x87Control, before.mxcsr);

  EXPECT_EQ(set.x87Control & 0x0F3F, hostileX87 & 0x0F3F);
  EXPECT_EQ(after.x87Control & 0x0F3F, set.x87Control & 0x0F3F);
  EXPECT_EQ(after.x87Flags, set.x87Flags);
  EXPECT_EQ(after.mxcsr, set.mxcsr);
  EXPECT_FALSE(degenerate);
  ASSERT_TRUE(fitted);
  EXPECT_EQ(a, a0);
  EXPECT_EQ(b, b0);
  EXPECT_EQ(rms, r0);
  ASSERT_TRUE(smoothed);
  EXPECT_EQ(smooth[1], 1e-40f);  // not flushed to zero
  EXPECT_EQ(std::memcmp(&norm, &normWanted, 10), 0);  // extended, not rounded to 24 bits
}

}  // namespace
