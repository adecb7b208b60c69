#include "GeomPrim.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

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
  return AbsDiff(x, o.x) <= eps && AbsDiff(y, o.y) <= eps;
}

bool BCFPoint::operator!=(const BCFPoint& o) const { return !(*this == o); }

BCFPoint BCFPoint::operator+(const BCFPoint& o) const { return FPoint(x + o.x, y + o.y); }

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
  return AbsDiff(x, o.x) < kCrvPrecision && AbsDiff(y, o.y) < kCrvPrecision;
}

bool TCFCrvPoint::operator!=(const TCFCrvPoint& o) const { return !(*this == o); }

bool TCFCrvPoint::operator<(const TCFCrvPoint& o) const {
  return static_cast<Extended>(x) <= static_cast<Extended>(o.x) - static_cast<Extended>(kCrvPrecision);
}

bool TCFCrvPoint::operator|(const TCFCrvPoint& o) const { return AbsDiff(x, o.x) < kCrvPrecision; }

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
  return AbsDiff(left, o.left) <= eps && AbsDiff(top, o.top) <= eps &&
         AbsDiff(right, o.right) <= eps && AbsDiff(bottom, o.bottom) <= eps;
}

bool BCFRect::operator!=(const BCFRect& o) const { return !(*this == o); }

float BCFRect::Width() const { return right - left; }
float BCFRect::Height() const { return top - bottom; }

void BCFRect::Empty() {
  right = left;
  bottom = top;
}

bool BCFRect::IsNormal() const { return left < right && top > bottom; }

BCFPoint BCFRect::GetTopLeft() const { return FPoint(left, top); }
BCFPoint BCFRect::GetBotRight() const { return FPoint(right, bottom); }
BCFPoint BCFRect::GetTopRight() const { return FPoint(right, top); }
BCFPoint BCFRect::GetBotLeft() const { return FPoint(left, bottom); }

bool BCFRect::IsEmpty() const {
  Extended limit = static_cast<Extended>(eps) + static_cast<Extended>(kEmptyMargin);
  return AbsDiff(left, right) <= limit || AbsDiff(top, bottom) <= limit;
}

bool BCFRect::Inside(const BCFPoint& p) const {
  if (IsEmpty()) return false;
  return left <= p.x && p.x <= right && bottom <= p.y && p.y <= top;
}

bool BCFRect::PInside(const BCFPoint& p, double tol) const {
  if (IsEmpty()) return false;
  Extended t = tol == 0 ? static_cast<Extended>(static_cast<double>(p.eps)) : tol;
  Extended px = p.x, py = p.y;
  return left - t <= px && right + t >= px && top + t >= py && bottom - t <= py;
}

bool BCFRect::Contains(const BCFRect& r) const {
  return left <= r.left && right >= r.right && bottom <= r.bottom && top >= r.top;
}

bool BCFRect::PContains(const BCFRect& r) const {
  Extended e = eps;
  return left - e <= r.left && right + e >= r.right && bottom - e <= r.bottom && top + e >= r.top;
}

void BCFRect::Move(const BCFPoint& p) {
  float width = Width();
  float height = Height();
  left += p.x;
  top += p.y;
  right = left + width;
  bottom = top - height;
}

// Every new edge is chosen from the old four.
void BCFRect::Normalize() {
  const float l = left, t = top, r = right, b = bottom;
  left = std::min(l, r);
  right = std::max(l, r);
  top = std::max(t, b);
  bottom = std::min(t, b);
}

namespace {

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

}  // namespace

void BCFRect::Inflate(float d) {
  if (ResizeAllowed(*this, d)) Grow(*this, d, d);
}

void BCFRect::InflateRel(float f) {
  if (ResizeAllowed(*this, f)) Grow(*this, Scaled(right, left, f), Scaled(top, bottom, f));
}

BCFRect BCFRect::InflateR(float f) const {
  BCFRect r(*this);
  r.InflateRel(f);
  return r;
}

bool BCFRect::Deflate(float d) {
  if (!ResizeAllowed(*this, d)) return true;
  Shrink(*this, d, d);
  return IsNormal();
}

bool BCFRect::DeflateRel(float f) {
  if (!ResizeAllowed(*this, f)) return true;
  Shrink(*this, Scaled(right, left, f), Scaled(top, bottom, f));
  return IsNormal();
}

BCFRect BCFRect::DeflateR(float f) const {
  BCFRect r(*this);
  r.DeflateRel(f);
  return r;
}

// ---- Free functions

BCFPoint FPoint(float x, float y) { return BCFPoint(x, y, 0); }
BCFPoint FPoint(TCFCrvPoint& p) { return FPoint(p.x, p.y); }

double FDistance(BCFPoint a, BCFPoint b) {
  double dx = static_cast<double>(static_cast<Extended>(a.x) - static_cast<Extended>(b.x));
  double dy = static_cast<double>(static_cast<Extended>(a.y) - static_cast<Extended>(b.y));
  return std::sqrt(dx * dx + dy * dy);
}

BCFRect FRect(float left, float top, float right, float bottom) {
  return BCFRect(left, top, right, bottom);
}
BCFRect FRect(const BCFPoint& topLeft, const BCFPoint& botRight) {
  return BCFRect(topLeft, botRight);
}

BCFRect FRectIntersect(const BCFRect& a, const BCFRect& b) {
  BCFRect r(std::max(a.left, b.left), std::min(a.top, b.top), std::min(a.right, b.right),
            std::max(a.bottom, b.bottom));
  if (r.left < r.right && r.bottom < r.top) return r;
  return BCFRect();
}

BCFRect operator*(const BCFRect& a, const BCFRect& b) { return FRectIntersect(a, b); }

bool operator&(const BCFPoint& p, const BCFRect& r) { return r.Inside(p); }

bool operator&&(const BCFPoint& p, const BCFRect& r) {
  return r.left < p.x && p.x < r.right && r.bottom < p.y && p.y < r.top;
}

bool operator&(const BCFRect& a, const BCFRect& b) {
  return a.left >= b.left && a.right <= b.right && a.bottom >= b.bottom && a.top <= b.top;
}

bool operator&&(const BCFRect& a, const BCFRect& b) {
  return a.left > b.left && a.right < b.right && a.bottom > b.bottom && a.top < b.top;
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
