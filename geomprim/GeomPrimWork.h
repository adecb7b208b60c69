// The work of geomprim's guarded exports, without the guard: GeomPrim.cpp runs each of these
// under fpu::Guarded (FpuState.h), and the benchmark of the guard calls them bare beside the
// exports. Each is kept out of line (GEOMPRIM_WORK), so that none of its arithmetic moves
// across the switch of the floating-point state.
#pragma once

#include <algorithm>
#include <cmath>

#include "GeomPrim.h"

#define GEOMPRIM_WORK [[gnu::noinline]]

namespace geomprim {

// Comparisons are made in the x87's extended format on the stored floats.
using Extended = long double;

// The smallest width or height that IsEmpty does not treat as empty, beyond eps.
constexpr double kEmptyMargin = 5e-6;

// |a - b| taken in extended precision and rounded to double.
inline double AbsDiff(float a, float b) {
  return static_cast<double>(std::fabs(static_cast<Extended>(a) - static_cast<Extended>(b)));
}

// (hi - lo) * f in extended precision, rounded to float.
inline float Scaled(float hi, float lo, float f) {
  return static_cast<float>((static_cast<Extended>(hi) - static_cast<Extended>(lo)) *
                            static_cast<Extended>(f));
}

constexpr float kCrvPrecision = 1e-6f;

// ---- The work of the guarded exports

GEOMPRIM_WORK inline bool PointEqual(const BCFPoint& a, const BCFPoint& b) {
  return AbsDiff(a.x, b.x) <= a.eps && AbsDiff(a.y, b.y) <= a.eps;
}

GEOMPRIM_WORK inline BCFPoint PointSum(const BCFPoint& a, const BCFPoint& b) {
  return BCFPoint(a.x + b.x, a.y + b.y, 0);
}

GEOMPRIM_WORK inline bool CurvePointEqual(const TCFCrvPoint& a, const TCFCrvPoint& b) {
  return AbsDiff(a.x, b.x) < kCrvPrecision && AbsDiff(a.y, b.y) < kCrvPrecision;
}

GEOMPRIM_WORK inline bool CurvePointBefore(const TCFCrvPoint& a, const TCFCrvPoint& b) {
  return static_cast<Extended>(a.x) <= static_cast<Extended>(b.x) - static_cast<Extended>(kCrvPrecision);
}

GEOMPRIM_WORK inline bool SameAbscissa(const TCFCrvPoint& a, const TCFCrvPoint& b) {
  return AbsDiff(a.x, b.x) < kCrvPrecision;
}

GEOMPRIM_WORK inline bool RectEqual(const BCFRect& a, const BCFRect& b) {
  return AbsDiff(a.left, b.left) <= a.eps && AbsDiff(a.top, b.top) <= a.eps &&
         AbsDiff(a.right, b.right) <= a.eps && AbsDiff(a.bottom, b.bottom) <= a.eps;
}

GEOMPRIM_WORK inline float RectWidth(const BCFRect& r) { return r.right - r.left; }
GEOMPRIM_WORK inline float RectHeight(const BCFRect& r) { return r.top - r.bottom; }

inline bool IsNormalRect(const BCFRect& r) { return r.left < r.right && r.top > r.bottom; }

GEOMPRIM_WORK inline bool RectIsNormal(const BCFRect& r) { return IsNormalRect(r); }

inline bool RectIsEmpty(const BCFRect& r) {
  Extended limit = static_cast<Extended>(r.eps) + static_cast<Extended>(kEmptyMargin);
  return AbsDiff(r.left, r.right) <= limit || AbsDiff(r.top, r.bottom) <= limit;
}

GEOMPRIM_WORK inline bool RectIsEmptyWork(const BCFRect& r) { return RectIsEmpty(r); }

GEOMPRIM_WORK inline bool RectInside(const BCFRect& r, const BCFPoint& p) {
  if (RectIsEmpty(r)) return false;
  return r.left <= p.x && p.x <= r.right && r.bottom <= p.y && p.y <= r.top;
}

GEOMPRIM_WORK inline bool RectPInside(const BCFRect& r, const BCFPoint& p, double tol) {
  if (RectIsEmpty(r)) return false;
  Extended t = tol == 0 ? static_cast<Extended>(static_cast<double>(p.eps)) : tol;
  Extended px = p.x, py = p.y;
  return r.left - t <= px && r.right + t >= px && r.top + t >= py && r.bottom - t <= py;
}

GEOMPRIM_WORK inline bool RectContains(const BCFRect& r, const BCFRect& o) {
  return r.left <= o.left && r.right >= o.right && r.bottom <= o.bottom && r.top >= o.top;
}

GEOMPRIM_WORK inline bool RectPContains(const BCFRect& r, const BCFRect& o) {
  Extended e = r.eps;
  return r.left - e <= o.left && r.right + e >= o.right && r.bottom - e <= o.bottom && r.top + e >= o.top;
}

GEOMPRIM_WORK inline void RectMove(BCFRect& r, const BCFPoint& p) {
  float width = r.right - r.left;
  float height = r.top - r.bottom;
  r.left += p.x;
  r.top += p.y;
  r.right = r.left + width;
  r.bottom = r.top - height;
}

// Every new edge is chosen from the old four.
GEOMPRIM_WORK inline void RectNormalize(BCFRect& r) {
  const float l = r.left, t = r.top, ri = r.right, b = r.bottom;
  r.left = std::min(l, ri);
  r.right = std::max(l, ri);
  r.top = std::max(t, b);
  r.bottom = std::min(t, b);
}

inline bool ResizeAllowed(const BCFRect& r, float amount) {
  return r.left <= r.right && r.top >= r.bottom && amount >= 0;
}

inline void Grow(BCFRect& r, float dx, float dy) {
  r.left -= dx;
  r.right += dx;
  r.top += dy;
  r.bottom -= dy;
}

inline void Shrink(BCFRect& r, float dx, float dy) {
  r.left += dx;
  r.right -= dx;
  r.top -= dy;
  r.bottom += dy;
}

GEOMPRIM_WORK inline void RectInflate(BCFRect& r, float d) {
  if (ResizeAllowed(r, d)) Grow(r, d, d);
}

inline void InflateRelative(BCFRect& r, float f) {
  if (ResizeAllowed(r, f)) Grow(r, Scaled(r.right, r.left, f), Scaled(r.top, r.bottom, f));
}

GEOMPRIM_WORK inline void RectInflateRel(BCFRect& r, float f) { InflateRelative(r, f); }

GEOMPRIM_WORK inline BCFRect RectInflateR(const BCFRect& r, float f) {
  BCFRect inflated(r);
  InflateRelative(inflated, f);
  return inflated;
}

GEOMPRIM_WORK inline bool RectDeflate(BCFRect& r, float d) {
  if (!ResizeAllowed(r, d)) return true;
  Shrink(r, d, d);
  return IsNormalRect(r);
}

inline bool DeflateRelative(BCFRect& r, float f) {
  if (!ResizeAllowed(r, f)) return true;
  Shrink(r, Scaled(r.right, r.left, f), Scaled(r.top, r.bottom, f));
  return IsNormalRect(r);
}

GEOMPRIM_WORK inline bool RectDeflateRel(BCFRect& r, float f) { return DeflateRelative(r, f); }

GEOMPRIM_WORK inline BCFRect RectDeflateR(const BCFRect& r, float f) {
  BCFRect deflated(r);
  DeflateRelative(deflated, f);
  return deflated;
}

GEOMPRIM_WORK inline double Distance(const BCFPoint& a, const BCFPoint& b) {
  double dx = static_cast<double>(static_cast<Extended>(a.x) - static_cast<Extended>(b.x));
  double dy = static_cast<double>(static_cast<Extended>(a.y) - static_cast<Extended>(b.y));
  return std::sqrt(dx * dx + dy * dy);
}

GEOMPRIM_WORK inline BCFRect Intersection(const BCFRect& a, const BCFRect& b) {
  BCFRect r(std::max(a.left, b.left), std::min(a.top, b.top), std::min(a.right, b.right),
            std::max(a.bottom, b.bottom));
  if (r.left < r.right && r.bottom < r.top) return r;
  return BCFRect();
}

GEOMPRIM_WORK inline bool StrictlyInside(const BCFPoint& p, const BCFRect& r) {
  return r.left < p.x && p.x < r.right && r.bottom < p.y && p.y < r.top;
}

GEOMPRIM_WORK inline bool RectWithin(const BCFRect& a, const BCFRect& b) {
  return a.left >= b.left && a.right <= b.right && a.bottom >= b.bottom && a.top <= b.top;
}

GEOMPRIM_WORK inline bool RectStrictlyWithin(const BCFRect& a, const BCFRect& b) {
  return a.left > b.left && a.right < b.right && a.bottom > b.bottom && a.top < b.top;
}

}  // namespace geomprim
