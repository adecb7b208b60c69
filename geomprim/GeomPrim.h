// geomprim's value types: a float point with a comparison tolerance (BCFPoint), curve points
// with an identifier and a bad-point flag (TCFCrvPoint, TCFCrvPointEx), a float rectangle whose
// y axis grows upward (BCFRect), and free functions on these and on the platform's integer
// point and rectangle. The calling convention of every export is described in GeomPrimApi.h.
//
// Float comparisons are made in extended precision (long double, the x87's 64-bit mantissa) on
// the stored floats; where an absolute difference is taken, the extended difference is rounded
// to double before it is compared. NaN operands make every comparison false, whatever the
// caller's floating-point control (GeomPrimApi.h).
#pragma once

#include "GeomPrimApi.h"

// The platform's integer point and rectangle, as the suite's programs declare them.
namespace System {
namespace Types {
struct TPoint {
  int X;
  int Y;
};
struct TRect {
  int Left;
  int Top;
  int Right;
  int Bottom;
};
}  // namespace Types
}  // namespace System

// A float point of the callers; only read by one BCFPoint constructor.
struct TFPoint {
  float x;
  float y;
};

class BCFPoint {
 public:
  float x;
  float y;
  float eps;  // tolerance of ==

  GEOMPRIM_API GEOMPRIM_CALL BCFPoint();
  GEOMPRIM_API GEOMPRIM_CALL BCFPoint(float x, float y, float eps = 0);
  GEOMPRIM_API GEOMPRIM_CALL BCFPoint(const BCFPoint& o);
  GEOMPRIM_API GEOMPRIM_CALL BCFPoint(const TFPoint& p);
  GEOMPRIM_API BCFPoint& GEOMPRIM_CALL operator=(const BCFPoint& o);
  // |x - o.x| <= eps and |y - o.y| <= eps, with this point's eps.
  GEOMPRIM_API bool GEOMPRIM_CALL operator==(const BCFPoint& o) const;
  GEOMPRIM_API bool GEOMPRIM_CALL operator!=(const BCFPoint& o) const;
  GEOMPRIM_API BCFPoint GEOMPRIM_CALL operator+(const BCFPoint& o) const;
};

class BCFRect;

// A curve point: code = identifier + 1, negated while the point is flagged bad.
class TCFCrvPoint {
 public:
  float x;
  float y;
  int code;

  GEOMPRIM_API GEOMPRIM_CALL TCFCrvPoint();
  GEOMPRIM_API GEOMPRIM_CALL TCFCrvPoint(float x, float y, unsigned int ident);
  GEOMPRIM_API GEOMPRIM_CALL TCFCrvPoint(const TCFCrvPoint& o);
  GEOMPRIM_API TCFCrvPoint& GEOMPRIM_CALL operator=(const TCFCrvPoint& o);
  // Strict: |x - o.x| < precision and |y - o.y| < precision.
  GEOMPRIM_API bool GEOMPRIM_CALL operator==(const TCFCrvPoint& o) const;
  GEOMPRIM_API bool GEOMPRIM_CALL operator!=(const TCFCrvPoint& o) const;
  // Abscissa only: x <= o.x - precision.
  GEOMPRIM_API bool GEOMPRIM_CALL operator<(const TCFCrvPoint& o) const;
  // Abscissa only: |x - o.x| < precision (the same abscissa).
  GEOMPRIM_API bool GEOMPRIM_CALL operator|(const TCFCrvPoint& o) const;
  // The float nearest to 1e-6.
  GEOMPRIM_API static float GEOMPRIM_CALL GetPrecision();
  GEOMPRIM_API bool GEOMPRIM_CALL IsBadPoint() const;
  GEOMPRIM_API void GEOMPRIM_CALL SetPointIndicator(bool bad);
  GEOMPRIM_API unsigned int GEOMPRIM_CALL GetIdent() const;
  GEOMPRIM_API void GEOMPRIM_CALL SetIdent(unsigned int ident);
  // BCFPoint(x, y, precision).
  GEOMPRIM_API BCFPoint GEOMPRIM_CALL GetAsFPoint();
};

class TCFCrvPointEx : public TCFCrvPoint {
 public:
  float z;

  GEOMPRIM_API GEOMPRIM_CALL TCFCrvPointEx();
  GEOMPRIM_API GEOMPRIM_CALL TCFCrvPointEx(float x, float y, float z, unsigned int ident);
  GEOMPRIM_API GEOMPRIM_CALL TCFCrvPointEx(const TCFCrvPointEx& o);
  GEOMPRIM_API TCFCrvPointEx& GEOMPRIM_CALL operator=(const TCFCrvPointEx& o);
};

// A float rectangle with the y axis upward: a normal rectangle has left < right and
// top > bottom. eps is the tolerance of ==, IsEmpty and PContains; every constructor sets it
// to 0 (the copy constructor too); assignment copies it.
class BCFRect {
 public:
  float left;
  float top;
  float right;
  float bottom;
  float eps;

  GEOMPRIM_API GEOMPRIM_CALL BCFRect();
  GEOMPRIM_API GEOMPRIM_CALL BCFRect(const BCFPoint& topLeft, const BCFPoint& botRight);
  GEOMPRIM_API GEOMPRIM_CALL BCFRect(float left, float top, float right, float bottom);
  GEOMPRIM_API GEOMPRIM_CALL BCFRect(const BCFRect& o);
  BCFRect& operator=(const BCFRect& o) = default;
  GEOMPRIM_API static BCFRect GEOMPRIM_CALL GetEmpty();

  GEOMPRIM_API bool GEOMPRIM_CALL operator==(const BCFRect& o) const;
  GEOMPRIM_API bool GEOMPRIM_CALL operator!=(const BCFRect& o) const;
  GEOMPRIM_API float GEOMPRIM_CALL Width() const;
  GEOMPRIM_API float GEOMPRIM_CALL Height() const;
  // Collapses onto the top-left corner.
  GEOMPRIM_API void GEOMPRIM_CALL Empty();
  GEOMPRIM_API bool GEOMPRIM_CALL IsNormal() const;
  GEOMPRIM_API BCFPoint GEOMPRIM_CALL GetTopLeft() const;
  GEOMPRIM_API BCFPoint GEOMPRIM_CALL GetBotRight() const;
  GEOMPRIM_API BCFPoint GEOMPRIM_CALL GetTopRight() const;
  GEOMPRIM_API BCFPoint GEOMPRIM_CALL GetBotLeft() const;
  // A width or height within eps + 5e-6.
  GEOMPRIM_API bool GEOMPRIM_CALL IsEmpty() const;
  // Closed, no tolerance; false for an empty rectangle.
  GEOMPRIM_API bool GEOMPRIM_CALL Inside(const BCFPoint& p) const;
  // Closed with the tolerance tol, or p.eps when tol is exactly 0; false for an empty rectangle.
  GEOMPRIM_API bool GEOMPRIM_CALL PInside(const BCFPoint& p, double tol) const;
  GEOMPRIM_API bool GEOMPRIM_CALL Contains(const BCFRect& r) const;
  GEOMPRIM_API bool GEOMPRIM_CALL PContains(const BCFRect& r) const;
  GEOMPRIM_API void GEOMPRIM_CALL Move(const BCFPoint& p);
  GEOMPRIM_API void GEOMPRIM_CALL Normalize();

  // Resizing: nothing changes unless left <= right, top >= bottom and the amount >= 0.
  GEOMPRIM_API void GEOMPRIM_CALL Inflate(float d);
  GEOMPRIM_API void GEOMPRIM_CALL InflateRel(float f);
  GEOMPRIM_API BCFRect GEOMPRIM_CALL InflateR(float f) const;
  // True when the guard fails (nothing changed), else IsNormal() after the change.
  GEOMPRIM_API bool GEOMPRIM_CALL Deflate(float d);
  GEOMPRIM_API bool GEOMPRIM_CALL DeflateRel(float f);
  GEOMPRIM_API BCFRect GEOMPRIM_CALL DeflateR(float f) const;
};

GEOMPRIM_API BCFPoint GEOMPRIM_CALL FPoint(float x, float y);
GEOMPRIM_API BCFPoint GEOMPRIM_CALL FPoint(TCFCrvPoint& p);
// sqrt(dx^2 + dy^2) in double.
GEOMPRIM_API double GEOMPRIM_CALL FDistance(BCFPoint a, BCFPoint b);
GEOMPRIM_API BCFRect GEOMPRIM_CALL FRect(float left, float top, float right, float bottom);
GEOMPRIM_API BCFRect GEOMPRIM_CALL FRect(const BCFPoint& topLeft, const BCFPoint& botRight);
// Intersection (y upward); the all-zero rectangle when it has no area.
GEOMPRIM_API BCFRect GEOMPRIM_CALL FRectIntersect(const BCFRect& a, const BCFRect& b);
GEOMPRIM_API BCFRect GEOMPRIM_CALL operator*(const BCFRect& a, const BCFRect& b);
// p lies in r: closed (r.Inside(p)) and strictly (&&, no emptiness test).
GEOMPRIM_API bool GEOMPRIM_CALL operator&(const BCFPoint& p, const BCFRect& r);
GEOMPRIM_API bool GEOMPRIM_CALL operator&&(const BCFPoint& p, const BCFRect& r);
// a lies within b: closed (&) and strictly (&&).
GEOMPRIM_API bool GEOMPRIM_CALL operator&(const BCFRect& a, const BCFRect& b);
GEOMPRIM_API bool GEOMPRIM_CALL operator&&(const BCFRect& a, const BCFRect& b);

// Integer types. Sums wrap modulo 2^32; every difference is taken in 64 bits.
GEOMPRIM_API System::Types::TPoint GEOMPRIM_CALL operator+(const System::Types::TPoint& a,
                                                           const System::Types::TPoint& b);
// p in r with y downward (Top <= Y <= Bottom), closed.
GEOMPRIM_API bool GEOMPRIM_CALL operator&(const System::Types::TPoint& p,
                                          const System::Types::TRect& r);
// p in r with y upward (Bottom <= Y <= Top), closed.
GEOMPRIM_API bool GEOMPRIM_CALL operator&&(const System::Types::TPoint& p,
                                           const System::Types::TRect& r);
// Intersection with y downward; TRect(0, 0, 0, 0) when it has no area.
GEOMPRIM_API System::Types::TRect GEOMPRIM_CALL operator*(const System::Types::TRect& a,
                                                          const System::Types::TRect& b);
// Intersection with y upward; TRect(0, 0, 0, 0) when it has no area.
GEOMPRIM_API System::Types::TRect GEOMPRIM_CALL operator%(const System::Types::TRect& a,
                                                          const System::Types::TRect& b);
// |Right - Left| <= tol or |Top - Bottom| <= tol.
GEOMPRIM_API bool GEOMPRIM_CALL IsEmpty(const System::Types::TRect& r, const int& tol);
