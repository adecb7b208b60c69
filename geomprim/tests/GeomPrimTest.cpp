#include "GeomPrim.h"

#include "tests/support/CallerFpu.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

namespace {

using System::Types::TPoint;
using System::Types::TRect;

const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kFloatEps = std::ldexp(1.0f, -23);  // 2^-23

struct PointEqualCase {
  BCFPoint a, b;
  bool equal;
};

// The left operand's eps is the tolerance; differences are exact in extended precision and then
// rounded to double.
TEST(BCFPoint, EqualityUsesLeftToleranceOnExtendedDifferences) {
  const PointEqualCase cases[] = {
      {BCFPoint(0, 0, 0.5f), BCFPoint(0.5f, -0.5f, 0), true},
      {BCFPoint(0.5f, -0.5f, 0), BCFPoint(0, 0, 0.5f), false},
      {BCFPoint(1, 2, 0), BCFPoint(1, 2, 0), true},
      {BCFPoint(1 + kFloatEps, 0, kFloatEps), BCFPoint(1, 0, 0), true},   // at the edge
      {BCFPoint(1 + kFloatEps, 0, kFloatEps / 2), BCFPoint(1, 0, 0), false},
      // 1 + 2^-23 - (2^-24 + 2^-26) is above 1 exactly, though a float subtraction gives 1.
      {BCFPoint(1 + kFloatEps, 0, 1), BCFPoint(std::ldexp(1.0f, -24) + std::ldexp(1.0f, -26), 0, 0), false},
      // 1 - (-2^-60) is 1 + 2^-60 in extended precision and 1 once rounded to double.
      {BCFPoint(1, 0, 1), BCFPoint(-std::ldexp(1.0f, -60), 0, 0), true},
      {BCFPoint(kNan, 0, 1), BCFPoint(kNan, 0, 0), false},
      {BCFPoint(0, 0, kNan), BCFPoint(0, 0, 0), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a.x << "," << c.a.y << " eps " << c.a.eps << " vs " << c.b.x << "," << c.b.y);
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.a != c.b, !c.equal);
  }
}

TEST(BCFPoint, ConstructionCopyAndSum) {
  BCFPoint p(1, 2, 0.25f);
  BCFPoint copy(p);
  EXPECT_EQ(copy.eps, 0.25f);
  BCFPoint assigned;
  EXPECT_EQ(assigned.x, 0.0f);
  assigned = p;
  EXPECT_EQ(assigned.eps, 0.25f);
  BCFPoint fromPlain(TFPoint{3, 4});
  EXPECT_EQ(fromPlain.x, 3.0f);
  EXPECT_EQ(fromPlain.eps, 0.0f);
  BCFPoint sum = p + BCFPoint(10, 20, 7);
  EXPECT_EQ(sum.x, 11.0f);
  EXPECT_EQ(sum.y, 22.0f);
  EXPECT_EQ(sum.eps, 0.0f);
  EXPECT_EQ(FDistance(BCFPoint(0, 0, 0), BCFPoint(3, -4, 0)), 5.0);
}

struct CrvCompareCase {
  float ax, bx, by;
  bool equal, less, sameAbscissa;
};

TEST(TCFCrvPoint, ComparisonsWithPrecision) {
  const float prec = TCFCrvPoint::GetPrecision();
  EXPECT_EQ(prec, 1e-6f);
  const CrvCompareCase cases[] = {
      {0, 1e-6f, 0, false, true, false},  // strict ==; 0 <= 1e-6 - 1e-6
      {0, 5e-7f, 0, true, false, true},
      {0, 5e-7f, 1e-6f, false, false, true},  // | looks at x only
      {1e-6f, 0, 0, false, false, false},
      {0, -1e-6f, 0, false, false, false},
      {kNan, 0, 0, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ax << " vs " << c.bx << "," << c.by);
    TCFCrvPoint a(c.ax, 0, 0), b(c.bx, c.by, 1);
    EXPECT_EQ(a == b, c.equal);
    EXPECT_EQ(a != b, !c.equal);
    EXPECT_EQ(a < b, c.less);
    EXPECT_EQ(a | b, c.sameAbscissa);
  }
}

TEST(TCFCrvPoint, IdentifierAndBadPointFlag) {
  TCFCrvPoint p;
  EXPECT_EQ(p.code, 1);
  p.SetPointIndicator(true);
  EXPECT_EQ(p.code, -1);
  EXPECT_TRUE(p.IsBadPoint());
  EXPECT_EQ(p.GetIdent(), 0u);
  p.SetIdent(5);
  EXPECT_EQ(p.code, -6);
  TCFCrvPoint copy(p), assigned(1, 1, 9);
  assigned = p;
  EXPECT_EQ(copy.code, -6);
  EXPECT_EQ(assigned.code, -6);
  p.SetPointIndicator(false);
  EXPECT_EQ(p.code, 6);
  EXPECT_EQ(p.GetIdent(), 5u);

  TCFCrvPoint largest(0, 0, 2147483646u);  // 2^31 - 2, the largest identifier
  EXPECT_EQ(largest.code, INT_MAX);
  largest.SetPointIndicator(true);
  EXPECT_EQ(largest.code, -INT_MAX);
  EXPECT_EQ(largest.GetIdent(), 2147483646u);

  // Beyond the representable identifiers the code wraps, without overflow.
  TCFCrvPoint beyond(0, 0, 2147483647u);
  EXPECT_EQ(beyond.code, INT_MIN);
  beyond.SetPointIndicator(true);
  beyond.SetPointIndicator(false);
  EXPECT_EQ(beyond.GetIdent(), 2147483647u);
  beyond.SetIdent(0xFFFFFFFFu);
  EXPECT_EQ(beyond.code, 0);

  BCFPoint asPoint = TCFCrvPoint(2, 3, 0).GetAsFPoint();
  EXPECT_EQ(asPoint.eps, 1e-6f);
  TCFCrvPoint source(2, 3, 0);
  EXPECT_EQ(FPoint(source).eps, 0.0f);
}

TEST(TCFCrvPointEx, CopiesZAndComparesWithoutIt) {
  TCFCrvPointEx a(1, 2, 3, 4), b;
  EXPECT_EQ(b.code, 1);
  EXPECT_EQ(b.z, 0.0f);
  a.SetPointIndicator(true);
  b = a;
  TCFCrvPointEx c(a);
  EXPECT_EQ(b.z, 3.0f);
  EXPECT_EQ(c.code, -5);
  c.z = 99;
  EXPECT_TRUE(c == a);
}

// Copy construction (returns by value included) resets a BCFRect's eps, so tests give a
// rectangle its tolerance in place.
BCFRect& WithEps(BCFRect& r, float eps) {
  r.eps = eps;
  return r;
}

TEST(BCFRect, ConstructorsLeaveEpsZero) {
  BCFRect r(0, 10, 10, 0);
  r.eps = 3;
  EXPECT_EQ(BCFRect(r).eps, 0.0f);
  BCFRect assigned;
  assigned = r;  // assignment keeps it
  EXPECT_EQ(assigned.eps, 3.0f);
  BCFRect fromPoints(BCFPoint(1, 2, 5), BCFPoint(3, 4, 5));
  EXPECT_EQ(fromPoints.left, 1.0f);
  EXPECT_EQ(fromPoints.bottom, 4.0f);
  EXPECT_EQ(fromPoints.eps, 0.0f);
  BCFRect empty = BCFRect::GetEmpty();
  EXPECT_EQ(empty.right, 0.0f);
  EXPECT_EQ(FRect(1, 2, 3, 4).top, 2.0f);
  EXPECT_EQ(FRect(BCFPoint(1, 2, 0), BCFPoint(3, 4, 0)).right, 3.0f);
}

TEST(BCFRect, MeasuresAndCornersWithYUp) {
  BCFRect r(1, 10, 5, 2);
  EXPECT_EQ(r.Width(), 4.0f);
  EXPECT_EQ(r.Height(), 8.0f);
  EXPECT_TRUE(r.IsNormal());
  EXPECT_FALSE(BCFRect(1, 2, 5, 10).IsNormal());
  EXPECT_TRUE(r.GetTopLeft() == BCFPoint(1, 10, 0));
  EXPECT_TRUE(r.GetBotRight() == BCFPoint(5, 2, 0));
  EXPECT_TRUE(r.GetTopRight() == BCFPoint(5, 10, 0));
  EXPECT_TRUE(r.GetBotLeft() == BCFPoint(1, 2, 0));
  BCFRect tolerant(r);
  EXPECT_TRUE(WithEps(tolerant, 0.5f) == BCFRect(1.5f, 10, 5, 2.5f));
  EXPECT_FALSE(r == BCFRect(1.5f, 10, 5, 2));
  EXPECT_TRUE(r != BCFRect(1.5f, 10, 5, 2));
  r.Empty();
  EXPECT_EQ(r.right, 1.0f);
  EXPECT_EQ(r.bottom, 10.0f);
}

struct EmptyCase {
  BCFRect r;
  float eps;
  bool empty;
};

TEST(BCFRect, IsEmptyWithinEpsPlusMargin) {
  const EmptyCase cases[] = {
      {BCFRect(0, 10, 10, 0), 0, false},
      {BCFRect(0, 10, 0.000004f, 0), 0, true},
      {BCFRect(0, 10, 0.000006f, 0), 0, false},
      {BCFRect(0, 10, 10, 9.999996f), 0, true},
      {BCFRect(0, 10, 1, 0), 1, true},
      {BCFRect(0, 10, 1.5f, 0), 1, false},
      {BCFRect(10, 0, 0, 10), 0, false},  // inside out but not empty
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.r.left << " " << c.r.top << " " << c.r.right << " " << c.r.bottom);
    BCFRect r(c.r);
    EXPECT_EQ(WithEps(r, c.eps).IsEmpty(), c.empty);
  }
}

struct InsideCase {
  BCFRect r;
  BCFPoint p;
  double tol;
  bool inside, pInside, strict;
};

TEST(BCFRect, PointTests) {
  const BCFRect r(0, 10, 10, 0);
  const BCFRect thin(0, 10, 0.000004f, 0);  // empty
  const InsideCase cases[] = {
      {r, BCFPoint(5, 5, 0), 0, true, true, true},
      {r, BCFPoint(0, 10, 0), 0, true, true, false},  // corner: closed, not strict
      {r, BCFPoint(10.5f, 5, 0), 0, false, false, false},
      {r, BCFPoint(10.5f, 5, 0), 0.5, false, true, false},
      {r, BCFPoint(10.5f, 5, 0.5f), 0, false, true, false},  // tolerance 0 takes p.eps
      {r, BCFPoint(5, -0.25f, 0), 0.25, false, true, false},
      {r, BCFPoint(5, -0.25f, 0), 0.125, false, false, false},
      {thin, BCFPoint(0.000002f, 5, 1), 1, false, false, true},  // && skips the emptiness test
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.p.x << "," << c.p.y << " tol " << c.tol);
    EXPECT_EQ(c.r.Inside(c.p), c.inside);
    EXPECT_EQ(c.p & c.r, c.inside);
    EXPECT_EQ(c.r.PInside(c.p, c.tol), c.pInside);
    EXPECT_EQ(c.p && c.r, c.strict);
  }
}

struct RectInRectCase {
  BCFRect inner, outer;
  float outerEps;
  bool contains, pContains, within, strictlyWithin;
};

TEST(BCFRect, RectangleContainment) {
  const BCFRect outer(0, 10, 10, 0);
  const RectInRectCase cases[] = {
      {BCFRect(1, 9, 9, 1), outer, 0, true, true, true, true},
      {outer, outer, 0, true, true, true, false},
      {BCFRect(1, 9, 10.5f, 1), outer, 0, false, false, false, false},  // sticks out on the right
      {BCFRect(1, 9, 10.5f, 1), outer, 0.5f, false, true, false, false},
      {BCFRect(1, 11, 9, 1), outer, 0, false, false, false, false},  // above the top
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.inner.left << " " << c.inner.top << " " << c.inner.right << " " << c.inner.bottom);
    EXPECT_EQ(c.outer.Contains(c.inner), c.contains);
    BCFRect outer(c.outer);
    EXPECT_EQ(WithEps(outer, c.outerEps).PContains(c.inner), c.pContains);
    EXPECT_EQ(c.inner & c.outer, c.within);
    EXPECT_EQ(c.inner && c.outer, c.strictlyWithin);
  }
}

TEST(BCFRect, MoveKeepsSize) {
  BCFRect r(0, 10, 10, 0);
  r.Move(BCFPoint(1, 2, 0));
  EXPECT_TRUE(r == BCFRect(1, 12, 11, 2));
}

// Each new edge comes from the old four: (10, 0, 0, 10) must not end up with right = min.
TEST(BCFRect, NormalizeReadsTheOldEdges) {
  const BCFRect cases[] = {BCFRect(10, 0, 0, 10), BCFRect(0, 0, 10, 10), BCFRect(10, 10, 0, 0), BCFRect(0, 10, 10, 0)};
  for (BCFRect r : cases) {
    r.Normalize();
    EXPECT_TRUE(r == BCFRect(0, 10, 10, 0)) << r.left << " " << r.top << " " << r.right << " " << r.bottom;
  }
}

struct ResizeCase {
  const char* name;
  BCFRect start;
  float amount;
  BCFRect after;
  bool result;  // Deflate's answer
};

TEST(BCFRect, ResizingAndItsGuard) {
  const BCFRect r(0, 10, 10, 0);
  const BCFRect inverted(10, 0, 0, 10);
  // Inflate
  const ResizeCase inflates[] = {
      {"inflate", r, 1, BCFRect(-1, 11, 11, -1), false},
      {"negative amount", r, -1, r, false},
      {"inverted", inverted, 1, inverted, false},
  };
  for (const auto& c : inflates) {
    BCFRect x = c.start;
    x.Inflate(c.amount);
    EXPECT_TRUE(x == c.after) << c.name;
  }
  BCFRect rel(0, 4, 10, 0);
  rel.InflateRel(0.5f);
  EXPECT_TRUE(rel == BCFRect(-5, 6, 15, -2));
  BCFRect source(0, 4, 10, 0);
  BCFRect fresh = WithEps(source, 2).InflateR(0.5f);
  EXPECT_TRUE(fresh == BCFRect(-5, 6, 15, -2));
  EXPECT_EQ(fresh.eps, 0.0f);
  EXPECT_TRUE(inverted.InflateR(0.5f) == inverted);

  const ResizeCase deflates[] = {
      {"deflate", r, 1, BCFRect(1, 9, 9, 1), true},
      {"turned inside out", r, 6, BCFRect(6, 4, 4, 6), false},
      {"negative amount", r, -1, r, true},
      {"inverted", inverted, 1, inverted, true},
  };
  for (const auto& c : deflates) {
    BCFRect x = c.start;
    EXPECT_EQ(x.Deflate(c.amount), c.result) << c.name;
    EXPECT_TRUE(x == c.after) << c.name;
  }
  BCFRect drel(0, 4, 10, 0);
  EXPECT_TRUE(drel.DeflateRel(0.25f));
  EXPECT_TRUE(drel == BCFRect(2.5f, 3, 7.5f, 1));
  EXPECT_FALSE(drel.DeflateRel(1));
  BCFRect dr = BCFRect(0, 4, 10, 0).DeflateR(0.25f);
  EXPECT_TRUE(dr == BCFRect(2.5f, 3, 7.5f, 1));
}

TEST(BCFRect, Intersection) {
  BCFRect a(0, 10, 10, 0), b(5, 20, 20, 5);
  BCFRect i = FRectIntersect(a, b);
  EXPECT_TRUE(i == BCFRect(5, 10, 10, 5));
  EXPECT_EQ(i.eps, 0.0f);
  EXPECT_TRUE(a * b == i);
  const BCFRect noArea[] = {BCFRect(20, 30, 30, 20), BCFRect(10, 10, 20, 0), BCFRect(0, 15, 10, 10)};
  for (const auto& other : noArea) {
    BCFRect none = a * other;
    EXPECT_TRUE(none.left == 0 && none.top == 0 && none.right == 0 && none.bottom == 0);
  }
}

// ---- The caller's floating-point state

const BCFPoint kNanPoint(kNan, 5, 0);
const BCFRect kUnitRect(0, 10, 10, 0);
const BCFRect kNanRect(kNan, 10, 10, 0);
const BCFRect kHugeRect(-FLT_MAX, FLT_MAX, FLT_MAX, -FLT_MAX);
const TCFCrvPoint kNanCurvePoint(kNan, 0, 0);
const TCFCrvPoint kCurvePoint(0, 0, 0);

struct TrapCase {
  const char* name;
  bool (*op)();
  bool answer;
};

// Comparisons with NaN operands answer false, and results that overflow are infinite, under a
// caller that unmasks invalid operation, zero divide and overflow on the x87 and in MXCSR (where
// a signalling compare or an overflow would stop the program), and leave that state as it was.
TEST(GeomPrim, NoFloatingPointTrapsAndTheCallersStateKept) {
  const TrapCase cases[] = {
      {"point ==", [] { return BCFPoint(0, 5, 1) == kNanPoint; }, false},
      {"point !=", [] { return BCFPoint(0, 5, 1) != kNanPoint; }, true},
      {"curve point ==", [] { return kNanCurvePoint == kCurvePoint; }, false},
      {"curve point !=", [] { return kNanCurvePoint != kCurvePoint; }, true},
      {"curve point <", [] { return kNanCurvePoint < kCurvePoint; }, false},
      {"curve point < NaN", [] { return kCurvePoint < kNanCurvePoint; }, false},
      {"curve point |", [] { return kCurvePoint | kNanCurvePoint; }, false},
      {"rectangle ==", [] { return kUnitRect == kNanRect; }, false},
      {"rectangle !=", [] { return kUnitRect != kNanRect; }, true},
      {"IsNormal", [] { return kNanRect.IsNormal(); }, false},
      {"IsEmpty", [] { return kNanRect.IsEmpty(); }, false},
      {"Inside", [] { return kUnitRect.Inside(kNanPoint); }, false},
      {"PInside", [] { return kUnitRect.PInside(kNanPoint, 0.5); }, false},
      {"PInside, NaN tolerance", [] { return kUnitRect.PInside(BCFPoint(5, 5, 0), std::nan("")); }, false},
      {"Contains", [] { return kUnitRect.Contains(kNanRect); }, false},
      {"PContains", [] { return kUnitRect.PContains(kNanRect); }, false},
      {"point & rectangle", [] { return kNanPoint & kUnitRect; }, false},
      {"point && rectangle", [] { return kNanPoint && kUnitRect; }, false},
      {"rectangle & rectangle", [] { return kNanRect & kUnitRect; }, false},
      {"rectangle && rectangle", [] { return kNanRect && kUnitRect; }, false},
      {"Deflate's guard", [] { BCFRect r(kNanRect); return r.Deflate(1); }, true},
      {"Normalize", [] { BCFRect r(kNanRect); r.Normalize(); return r.top == 10; }, true},
      {"FDistance", [] { return std::isnan(FDistance(kNanPoint, BCFPoint())); }, true},
      {"Width", [] { return std::isnan(kNanRect.Width()); }, true},
      {"FRectIntersect", [] { return FRectIntersect(kNanRect, kUnitRect) == BCFRect(); }, true},
      {"point sum overflow", [] { return std::isinf((BCFPoint(FLT_MAX, 0) + BCFPoint(FLT_MAX, 0)).x); }, true},
      {"Inflate overflow", [] { BCFRect r(kHugeRect); r.Inflate(FLT_MAX); return std::isinf(r.right); }, true},
      {"InflateRel overflow", [] { BCFRect r(kHugeRect); r.InflateRel(2); return std::isinf(r.left); }, true},
      {"Move overflow", [] { BCFRect r(kHugeRect); r.Move(BCFPoint(FLT_MAX, 0)); return std::isinf(r.right); }, true},
  };
  // MXCSR masked (a caller that computes on the x87 alone), then trapping too, then with flags
  // the caller had raised before (inexact, 0x20, in either unit), which must stay raised.
  struct CallerState {
    std::uint32_t mxcsr;
    bool x87Inexact;
  };
  const CallerState states[] = {
      {0x1F80, false}, {kMxcsrTrappingControl, false}, {kMxcsrTrappingControl | 0x20, true}};
  const CallerFpu saved = ReadCallerFpu();
  for (const CallerState& state : states) {
    for (const auto& c : cases) {
      LoadCallerFpu(kX87TrappingControl, state.mxcsr);
      if (state.x87Inexact) {
        volatile long double one = 1;
        volatile long double third = one / 3;
        (void)third;
      }
      const CallerFpu set = ReadCallerFpu();
      const bool answer = c.op();
      const CallerFpu after = ReadCallerFpu();
      LoadCallerFpu(saved.x87Control, saved.mxcsr);
      EXPECT_EQ(answer, c.answer) << c.name;
      EXPECT_TRUE(after == set) << c.name << ": x87 control " << std::hex << after.x87Control << ", flags "
                                << after.x87Flags << " (were " << set.x87Flags << "), MXCSR " << after.mxcsr
                                << " (was " << set.mxcsr << ")";
      EXPECT_EQ(set.x87Flags, state.x87Inexact ? 0x20 : 0);
    }
  }
}

TEST(IntegerTypes, PointSumWrapsWithoutOverflow) {
  TPoint s = TPoint{INT_MAX, INT_MIN} + TPoint{1, -1};
  EXPECT_EQ(s.X, INT_MIN);
  EXPECT_EQ(s.Y, INT_MAX);
  TPoint t = TPoint{2, 3} + TPoint{-5, 7};
  EXPECT_EQ(t.X, -3);
  EXPECT_EQ(t.Y, 10);
}

struct IntPointCase {
  TPoint p;
  bool yDown, yUp;
};

TEST(IntegerTypes, PointInRectangleByAxisDirection) {
  const TRect down{0, 0, 10, 20};  // Top <= Bottom
  const TRect up{0, 20, 10, 0};    // Bottom <= Top
  const IntPointCase cases[] = {{{0, 0}, true, true}, {{10, 20}, true, true}, {{5, 21}, false, false}, {{-1, 5}, false, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.p & down, c.yDown) << c.p.X << "," << c.p.Y;
    EXPECT_FALSE(c.p & up);
    EXPECT_EQ(c.p && up, c.yUp) << c.p.X << "," << c.p.Y;
    EXPECT_FALSE(c.p && down);
  }
}

bool Same(const TRect& a, const TRect& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

struct IntersectCase {
  const char* name;
  TRect a, b, result;
};

// Intersections are exact at every magnitude, also beyond 2^24 where floats skip integers.
TEST(IntegerTypes, Intersections) {
  const TRect zero{0, 0, 0, 0};
  const IntersectCase yDown[] = {
      {"overlap", {0, 0, 10, 10}, {5, 5, 20, 20}, {5, 5, 10, 10}},
      {"disjoint", {0, 0, 10, 10}, {20, 20, 30, 30}, zero},
      {"line", {0, 0, 10, 10}, {10, 0, 20, 10}, zero},
      {"beyond 2^24", {0, 0, 10, 16777217}, {0, 0, 10, 16777219}, {0, 0, 10, 16777217}},
      {"extremes", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {-1, -1, 1, 1}, {-1, -1, 1, 1}},
  };
  for (const auto& c : yDown) EXPECT_TRUE(Same(c.a * c.b, c.result)) << c.name;
  const IntersectCase yUp[] = {
      {"overlap", {0, 10, 10, 0}, {5, 20, 20, 5}, {5, 10, 10, 5}},
      {"disjoint", {0, 10, 10, 0}, {20, 30, 30, 20}, zero},
      {"line", {0, 10, 10, 0}, {0, 20, 10, 10}, zero},
      {"beyond 2^24", {0, 16777219, 10, 16777217}, {0, 16777300, 10, 0}, {0, 16777219, 10, 16777217}},
  };
  for (const auto& c : yUp) EXPECT_TRUE(Same(c.a % c.b, c.result)) << c.name;
}

struct IntEmptyCase {
  TRect r;
  int tol;
  bool empty;
};

TEST(IntegerTypes, IsEmptyWithTolerance) {
  const IntEmptyCase cases[] = {
      {{0, 0, 10, 10}, 0, false},
      {{0, 0, 10, 10}, 10, true},
      {{0, 0, 0, 10}, 0, true},
      {{10, 10, 0, 0}, 9, false},
      // Differences of 2^32 - 1 would wrap to -1 in 32 bits.
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 1, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsEmpty(c.r, c.tol), c.empty) << c.r.Left << " " << c.r.Right << " tol " << c.tol;
}

}  // namespace
