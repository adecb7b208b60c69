// geomprim's value types. Every export that compares or computes with floats runs its work (a
// function of the anonymous namespaces below, kept out of line so that no arithmetic moves
// across the switch) under Guarded, which computes with every floating-point exception masked
// and gives the caller's state back afterwards (FpuState.h): a NaN operand makes a comparison
// false and an overflow gives an infinity, whatever the caller unmasked. Exports that only copy
// fields or work on integers need no guard.
#include "GeomPrim.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "FpuState.h"

#define GEOMPRIM_WORK [[gnu::noinline]]

namespace {

using fpu::Guarded;

// Comparisons are made in the x87's extended format on the stored floats.
using Extended = long double;

// The smallest width or height that IsEmpty does not treat as empty, beyond eps.
constexpr double kEmptyMargin = 5e-6;

// |a - b| taken in extended precision and rounded to double.
double AbsDiff(float a, float b) {
  return static_cast<double>(std::fabs(static_cast<Extended>(a) - static_cast<Extended>(b)));
}

// (hi - lo) * f in extended precision, rounded to float.
float Scaled(float hi, float lo, float f) {
  return static_cast<float>((static_cast<Extended>(hi) - static_cast<Extended>(lo)) *
                            static_cast<Extended>(f));
}

// A 64-bit value brought back to 32 bits modulo 2^32.
int Wrap32(std::int64_t v) { return static_cast<int>(static_cast<std::uint32_t>(v)); }

std::int64_t AbsDiff64(int a, int b) {
  std::int64_t d = static_cast<std::int64_t>(a) - b;
  return d < 0 ? -d : d;
}

const float kCrvPrecision = 1e-6f;

// ---- The work of the guarded exports

GEOMPRIM_WORK bool PointEqual(const BCFPoint& a, const BCFPoint& b) {
  return AbsDiff(a.x, b.x) <= a.eps && AbsDiff(a.y, b.y) <= a.eps;
}

GEOMPRIM_WORK BCFPoint PointSum(const BCFPoint& a, const BCFPoint& b) { return BCFPoint(a.x + b.x, a.y + b.y, 0); }

GEOMPRIM_WORK bool CurvePointEqual(const TCFCrvPoint& a, const TCFCrvPoint& b) {
  return AbsDiff(a.x, b.x) < kCrvPrecision && AbsDiff(a.y, b.y) < kCrvPrecision;
}

GEOMPRIM_WORK bool CurvePointBefore(const TCFCrvPoint& a, const TCFCrvPoint& b) {
  return static_cast<Extended>(a.x) <= static_cast<Extended>(b.x) - static_cast<Extended>(kCrvPrecision);
}

GEOMPRIM_WORK bool SameAbscissa(const TCFCrvPoint& a, const TCFCrvPoint& b) {
  return AbsDiff(a.x, b.x) < kCrvPrecision;
}

GEOMPRIM_WORK bool RectEqual(const BCFRect& a, const BCFRect& b) {
  return AbsDiff(a.left, b.left) <= a.eps && AbsDiff(a.top, b.top) <= a.eps &&
         AbsDiff(a.right, b.right) <= a.eps && AbsDiff(a.bottom, b.bottom) <= a.eps;
}

GEOMPRIM_WORK float RectWidth(const BCFRect& r) { return r.right - r.left; }
GEOMPRIM_WORK float RectHeight(const BCFRect& r) { return r.top - r.bottom; }

bool IsNormalRect(const BCFRect& r) { return r.left < r.right && r.top > r.bottom; }

GEOMPRIM_WORK bool RectIsNormal(const BCFRect& r) { return IsNormalRect(r); }

bool RectIsEmpty(const BCFRect& r) {
  Extended limit = static_cast<Extended>(r.eps) + static_cast<Extended>(kEmptyMargin);
  return AbsDiff(r.left, r.right) <= limit || AbsDiff(r.top, r.bottom) <= limit;
}

GEOMPRIM_WORK bool RectIsEmptyWork(const BCFRect& r) { return RectIsEmpty(r); }

GEOMPRIM_WORK bool RectInside(const BCFRect& r, const BCFPoint& p) {
  if (RectIsEmpty(r)) return false;
  return r.left <= p.x && p.x <= r.right && r.bottom <= p.y && p.y <= r.top;
}

GEOMPRIM_WORK bool RectPInside(const BCFRect& r, const BCFPoint& p, double tol) {
  if (RectIsEmpty(r)) return false;
  Extended t = tol == 0 ? static_cast<Extended>(static_cast<double>(p.eps)) : tol;
  Extended px = p.x, py = p.y;
  return r.left - t <= px && r.right + t >= px && r.top + t >= py && r.bottom - t <= py;
}

GEOMPRIM_WORK bool RectContains(const BCFRect& r, const BCFRect& o) {
  return r.left <= o.left && r.right >= o.right && r.bottom <= o.bottom && r.top >= o.top;
}

GEOMPRIM_WORK bool RectPContains(const BCFRect& r, const BCFRect& o) {
  Extended e = r.eps;
  return r.left - e <= o.left && r.right + e >= o.right && r.bottom - e <= o.bottom && r.top + e >= o.top;
}

GEOMPRIM_WORK void RectMove(BCFRect& r, const BCFPoint& p) {
  float width = r.right - r.left;
  float height = r.top - r.bottom;
  r.left += p.x;
  r.top += p.y;
  r.right = r.left + width;
  r.bottom = r.top - height;
}

// Every new edge is chosen from the old four.
GEOMPRIM_WORK void RectNormalize(BCFRect& r) {
  const float l = r.left, t = r.top, ri = r.right, b = r.bottom;
  r.left = std::min(l, ri);
  r.right = std::max(l, ri);
  r.top = std::max(t, b);
  r.bottom = std::min(t, b);
}

bool ResizeAllowed(const BCFRect& r, float amount) {
  return r.left <= r.right && r.top >= r.bottom && amount >= 0;
}

void Grow(BCFRect& r, float dx, float dy) {
  r.left -= dx;
  r.right += dx;
  r.top += dy;
  r.bottom -= dy;
}

void Shrink(BCFRect& r, float dx, float dy) {
  r.left += dx;
  r.right -= dx;
  r.top -= dy;
  r.bottom += dy;
}

GEOMPRIM_WORK void RectInflate(BCFRect& r, float d) {
  if (ResizeAllowed(r, d)) Grow(r, d, d);
}

void InflateRelative(BCFRect& r, float f) {
  if (ResizeAllowed(r, f)) Grow(r, Scaled(r.right, r.left, f), Scaled(r.top, r.bottom, f));
}

GEOMPRIM_WORK void RectInflateRel(BCFRect& r, float f) { InflateRelative(r, f); }

GEOMPRIM_WORK BCFRect RectInflateR(const BCFRect& r, float f) {
  BCFRect inflated(r);
  InflateRelative(inflated, f);
  return inflated;
}

GEOMPRIM_WORK bool RectDeflate(BCFRect& r, float d) {
  if (!ResizeAllowed(r, d)) return true;
  Shrink(r, d, d);
  return IsNormalRect(r);
}

bool DeflateRelative(BCFRect& r, float f) {
  if (!ResizeAllowed(r, f)) return true;
  Shrink(r, Scaled(r.right, r.left, f), Scaled(r.top, r.bottom, f));
  return IsNormalRect(r);
}

GEOMPRIM_WORK bool RectDeflateRel(BCFRect& r, float f) { return DeflateRelative(r, f); }

GEOMPRIM_WORK BCFRect RectDeflateR(const BCFRect& r, float f) {
  BCFRect deflated(r);
  DeflateRelative(deflated, f);
  return deflated;
}

GEOMPRIM_WORK double Distance(const BCFPoint& a, const BCFPoint& b) {
  double dx = static_cast<double>(static_cast<Extended>(a.x) - static_cast<Extended>(b.x));
  double dy = static_cast<double>(static_cast<Extended>(a.y) - static_cast<Extended>(b.y));
  return std::sqrt(dx * dx + dy * dy);
}

GEOMPRIM_WORK BCFRect Intersection(const BCFRect& a, const BCFRect& b) {
  BCFRect r(std::max(a.left, b.left), std::min(a.top, b.top), std::min(a.right, b.right),
            std::max(a.bottom, b.bottom));
  if (r.left < r.right && r.bottom < r.top) return r;
  return BCFRect();
}

GEOMPRIM_WORK bool StrictlyInside(const BCFPoint& p, const BCFRect& r) {
  return r.left < p.x && p.x < r.right && r.bottom < p.y && p.y < r.top;
}

GEOMPRIM_WORK bool RectWithin(const BCFRect& a, const BCFRect& b) {
  return a.left >= b.left && a.right <= b.right && a.bottom >= b.bottom && a.top <= b.top;
}

GEOMPRIM_WORK bool RectStrictlyWithin(const BCFRect& a, const BCFRect& b) {
  return a.left > b.left && a.right < b.right && a.bottom > b.bottom && a.top < b.top;
}

}  // namespace

// ---- BCFPoint

BCFPoint::BCFPoint() : x(0), y(0), eps(0) {}
BCFPoint::BCFPoint(float x, float y, float eps) : x(x), y(y), eps(eps) {}
BCFPoint::BCFPoint(const BCFPoint& o) : x(o.x), y(o.y), eps(o.eps) {}
BCFPoint::BCFPoint(const TFPoint& p) : x(p.x), y(p.y), eps(0) {}

BCFPoint& BCFPoint::operator=(const BCFPoint& o) {
  x = o.x;
  y = o.y;
  eps = o.eps;
  return *this;
}

bool BCFPoint::operator==(const BCFPoint& o) const {
  return Guarded([&] { return PointEqual(*this, o); });
}

bool BCFPoint::operator!=(const BCFPoint& o) const { return !(*this == o); }

BCFPoint BCFPoint::operator+(const BCFPoint& o) const {
  return Guarded([&] { return PointSum(*this, o); });
}

// ---- TCFCrvPoint

TCFCrvPoint::TCFCrvPoint() : x(0), y(0), code(1) {}
TCFCrvPoint::TCFCrvPoint(float x, float y, unsigned int ident) : x(x), y(y), code(0) {
  SetIdent(ident);
}
TCFCrvPoint::TCFCrvPoint(const TCFCrvPoint& o) : x(o.x), y(o.y), code(o.code) {}

TCFCrvPoint& TCFCrvPoint::operator=(const TCFCrvPoint& o) {
  x = o.x;
  y = o.y;
  code = o.code;
  return *this;
}

bool TCFCrvPoint::operator==(const TCFCrvPoint& o) const {
  return Guarded([&] { return CurvePointEqual(*this, o); });
}

bool TCFCrvPoint::operator!=(const TCFCrvPoint& o) const { return !(*this == o); }

bool TCFCrvPoint::operator<(const TCFCrvPoint& o) const {
  return Guarded([&] { return CurvePointBefore(*this, o); });
}

bool TCFCrvPoint::operator|(const TCFCrvPoint& o) const {
  return Guarded([&] { return SameAbscissa(*this, o); });
}

float TCFCrvPoint::GetPrecision() { return kCrvPrecision; }

bool TCFCrvPoint::IsBadPoint() const { return code < 0; }

// Magnitudes are taken in 64 bits: an identifier beyond 2^31 - 2 leaves code at INT_MIN, whose
// magnitude is no int; it wraps back like the stored code.
void TCFCrvPoint::SetPointIndicator(bool bad) {
  std::int64_t magnitude = code < 0 ? -static_cast<std::int64_t>(code) : code;
  code = Wrap32(bad ? -magnitude : magnitude);
}

unsigned int TCFCrvPoint::GetIdent() const {
  std::int64_t magnitude = code < 0 ? -static_cast<std::int64_t>(code) : code;
  return static_cast<unsigned int>(magnitude - 1);
}

// Identifiers beyond 2^31 - 2 cannot be stored; they wrap modulo 2^32 like the stored code.
void TCFCrvPoint::SetIdent(unsigned int ident) {
  std::int64_t stored = static_cast<std::int64_t>(ident) + 1;
  code = Wrap32(code < 0 ? -stored : stored);
}

BCFPoint TCFCrvPoint::GetAsFPoint() { return BCFPoint(x, y, kCrvPrecision); }

TCFCrvPointEx::TCFCrvPointEx() : TCFCrvPoint(), z(0) {}
TCFCrvPointEx::TCFCrvPointEx(float x, float y, float z, unsigned int ident)
    : TCFCrvPoint(x, y, ident), z(z) {}
TCFCrvPointEx::TCFCrvPointEx(const TCFCrvPointEx& o) : TCFCrvPoint(o), z(o.z) {}

TCFCrvPointEx& TCFCrvPointEx::operator=(const TCFCrvPointEx& o) {
  TCFCrvPoint::operator=(o);
  z = o.z;
  return *this;
}

// ---- BCFRect

BCFRect::BCFRect() : left(0), top(0), right(0), bottom(0), eps(0) {}
BCFRect::BCFRect(const BCFPoint& topLeft, const BCFPoint& botRight)
    : left(topLeft.x), top(topLeft.y), right(botRight.x), bottom(botRight.y), eps(0) {}
BCFRect::BCFRect(float left, float top, float right, float bottom)
    : left(left), top(top), right(right), bottom(bottom), eps(0) {}
BCFRect::BCFRect(const BCFRect& o)
    : left(o.left), top(o.top), right(o.right), bottom(o.bottom), eps(0) {}

BCFRect BCFRect::GetEmpty() { return BCFRect(); }

bool BCFRect::operator==(const BCFRect& o) const {
  return Guarded([&] { return RectEqual(*this, o); });
}

bool BCFRect::operator!=(const BCFRect& o) const { return !(*this == o); }

float BCFRect::Width() const { return Guarded([&] { return RectWidth(*this); }); }
float BCFRect::Height() const { return Guarded([&] { return RectHeight(*this); }); }

void BCFRect::Empty() {
  right = left;
  bottom = top;
}

bool BCFRect::IsNormal() const { return Guarded([&] { return RectIsNormal(*this); }); }

BCFPoint BCFRect::GetTopLeft() const { return FPoint(left, top); }
BCFPoint BCFRect::GetBotRight() const { return FPoint(right, bottom); }
BCFPoint BCFRect::GetTopRight() const { return FPoint(right, top); }
BCFPoint BCFRect::GetBotLeft() const { return FPoint(left, bottom); }

bool BCFRect::IsEmpty() const { return Guarded([&] { return RectIsEmptyWork(*this); }); }

bool BCFRect::Inside(const BCFPoint& p) const {
  return Guarded([&] { return RectInside(*this, p); });
}

bool BCFRect::PInside(const BCFPoint& p, double tol) const {
  return Guarded([&] { return RectPInside(*this, p, tol); });
}

bool BCFRect::Contains(const BCFRect& r) const {
  return Guarded([&] { return RectContains(*this, r); });
}

bool BCFRect::PContains(const BCFRect& r) const {
  return Guarded([&] { return RectPContains(*this, r); });
}

void BCFRect::Move(const BCFPoint& p) {
  Guarded([&] { RectMove(*this, p); });
}

void BCFRect::Normalize() {
  Guarded([&] { RectNormalize(*this); });
}

void BCFRect::Inflate(float d) {
  Guarded([&] { RectInflate(*this, d); });
}

void BCFRect::InflateRel(float f) {
  Guarded([&] { RectInflateRel(*this, f); });
}

BCFRect BCFRect::InflateR(float f) const {
  return Guarded([&] { return RectInflateR(*this, f); });
}

bool BCFRect::Deflate(float d) {
  return Guarded([&] { return RectDeflate(*this, d); });
}

bool BCFRect::DeflateRel(float f) {
  return Guarded([&] { return RectDeflateRel(*this, f); });
}

BCFRect BCFRect::DeflateR(float f) const {
  return Guarded([&] { return RectDeflateR(*this, f); });
}

// ---- Free functions

BCFPoint FPoint(float x, float y) { return BCFPoint(x, y, 0); }
BCFPoint FPoint(TCFCrvPoint& p) { return FPoint(p.x, p.y); }

double FDistance(BCFPoint a, BCFPoint b) {
  return Guarded([&] { return Distance(a, b); });
}

BCFRect FRect(float left, float top, float right, float bottom) {
  return BCFRect(left, top, right, bottom);
}
BCFRect FRect(const BCFPoint& topLeft, const BCFPoint& botRight) {
  return BCFRect(topLeft, botRight);
}

BCFRect FRectIntersect(const BCFRect& a, const BCFRect& b) {
  return Guarded([&] { return Intersection(a, b); });
}

BCFRect operator*(const BCFRect& a, const BCFRect& b) { return FRectIntersect(a, b); }

bool operator&(const BCFPoint& p, const BCFRect& r) { return r.Inside(p); }

bool operator&&(const BCFPoint& p, const BCFRect& r) {
  return Guarded([&] { return StrictlyInside(p, r); });
}

bool operator&(const BCFRect& a, const BCFRect& b) {
  return Guarded([&] { return RectWithin(a, b); });
}

bool operator&&(const BCFRect& a, const BCFRect& b) {
  return Guarded([&] { return RectStrictlyWithin(a, b); });
}

using System::Types::TPoint;
using System::Types::TRect;

TPoint operator+(const TPoint& a, const TPoint& b) {
  return TPoint{Wrap32(static_cast<std::int64_t>(a.X) + b.X),
                Wrap32(static_cast<std::int64_t>(a.Y) + b.Y)};
}

bool operator&(const TPoint& p, const TRect& r) {
  return r.Left <= p.X && p.X <= r.Right && r.Top <= p.Y && p.Y <= r.Bottom;
}

bool operator&&(const TPoint& p, const TRect& r) {
  return r.Left <= p.X && p.X <= r.Right && r.Bottom <= p.Y && p.Y <= r.Top;
}

// The edges are compared as integers: exact at every magnitude.
TRect operator*(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.Left < r.Right && r.Top < r.Bottom) return r;
  return TRect{0, 0, 0, 0};
}

TRect operator%(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::min(a.Top, b.Top), std::min(a.Right, b.Right),
          std::max(a.Bottom, b.Bottom)};
  if (r.Left < r.Right && r.Top > r.Bottom) return r;
  return TRect{0, 0, 0, 0};
}

bool IsEmpty(const TRect& r, const int& tol) {
  return AbsDiff64(r.Right, r.Left) <= tol || AbsDiff64(r.Top, r.Bottom) <= tol;
}
