// geomprim's value types. Every export that compares or computes with floats runs its work (a
// function of GeomPrimWork.h, kept out of line so that no arithmetic moves across the switch)
// under Guarded, which computes with every floating-point exception masked and gives the
// caller's state back afterwards (FpuState.h): a NaN operand makes a comparison false and an
// overflow gives an infinity, whatever the caller unmasked. Exports that only copy fields or
// work on integers need no guard.
#include "GeomPrim.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "FpuState.h"
#include "GeomPrimWork.h"

namespace {

using fpu::Guarded;
using namespace geomprim;

// A 64-bit value brought back to 32 bits modulo 2^32.
int Wrap32(std::int64_t v) { return static_cast<int>(static_cast<std::uint32_t>(v)); }

std::int64_t AbsDiff64(int a, int b) {
  std::int64_t d = static_cast<std::int64_t>(a) - b;
  return d < 0 ? -d : d;
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
