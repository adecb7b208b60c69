// A program of the suite's kind, built apart from the libraries: it sees geomprim and numkit
// only through their headers and import libraries and computes with the x87 (-mfpmath=387)
// while the libraries use SSE. It calls every export of both once across the DLL boundary and
// checks each answer; an exception thrown inside geomprim.dll is caught here. Prints each
// failed check and exits with 1 when any failed.
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "FPointArray.h"
#include "GeomPrim.h"
#include "NumKit.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}
#define CHECK(expr) Check((expr), #expr)

bool Is(const BCFPoint& p, float x, float y, float eps) { return p.x == x && p.y == y && p.eps == eps; }
bool Is(const BCFRect& r, float l, float t, float ri, float b) {
  return r.left == l && r.top == t && r.right == ri && r.bottom == b && r.eps == 0;
}
bool Is(const System::Types::TRect& r, int l, int t, int ri, int b) {
  return r.Left == l && r.Top == t && r.Right == ri && r.Bottom == b;
}

void CallGeomPrimValueTypes() {
  BCFPoint zero;
  BCFPoint p(1, 2, 0.5f);
  BCFPoint copy(p);
  BCFPoint plain(TFPoint{3, 4});
  zero = p;
  CHECK(Is(zero, 1, 2, 0.5f) && Is(copy, 1, 2, 0.5f) && Is(plain, 3, 4, 0));
  CHECK(p == BCFPoint(1.5f, 1.5f, 0));
  CHECK(p != BCFPoint(2, 2, 0));
  CHECK(Is(p + plain, 4, 6, 0));

  TCFCrvPoint c0;
  TCFCrvPoint c1(1, 2, 7);
  TCFCrvPoint c2(c1);
  c0 = c1;
  CHECK(c0.code == 8 && c2.code == 8);
  CHECK(c1 == c2 && !(c1 != c2));
  CHECK(TCFCrvPoint(0, 0, 0) < TCFCrvPoint(1e-6f, 0, 0));
  CHECK(c1 | TCFCrvPoint(1, 50, 0));
  CHECK(TCFCrvPoint::GetPrecision() == 1e-6f);
  c1.SetPointIndicator(true);
  CHECK(c1.IsBadPoint() && c1.GetIdent() == 7);
  c1.SetIdent(5);
  CHECK(c1.code == -6);
  CHECK(Is(c2.GetAsFPoint(), 1, 2, 1e-6f));
  TCFCrvPointEx e0;
  TCFCrvPointEx e1(1, 2, 3, 4);
  TCFCrvPointEx e2(e1);
  e0 = e2;
  CHECK(e0.z == 3 && e0.code == 5 && e1 == e2);

  BCFRect r0;
  BCFRect r1(BCFPoint(0, 10, 0), BCFPoint(10, 0, 0));
  BCFRect r2(0, 10, 10, 0);
  BCFRect r3(r2);
  CHECK(Is(r0, 0, 0, 0, 0) && Is(r1, 0, 10, 10, 0) && Is(r3, 0, 10, 10, 0));
  CHECK(Is(BCFRect::GetEmpty(), 0, 0, 0, 0));
  CHECK(r1 == r2 && !(r1 != r2));
  CHECK(r2.Width() == 10 && r2.Height() == 10 && r2.IsNormal());
  CHECK(Is(r2.GetTopLeft(), 0, 10, 0) && Is(r2.GetBotRight(), 10, 0, 0));
  CHECK(Is(r2.GetTopRight(), 10, 10, 0) && Is(r2.GetBotLeft(), 0, 0, 0));
  CHECK(!r2.IsEmpty() && BCFRect(0, 10, 0.000004f, 0).IsEmpty());
  CHECK(r2.Inside(BCFPoint(5, 5, 0)) && r2.PInside(BCFPoint(10.5f, 5, 0), 0.5));
  CHECK(r2.Contains(BCFRect(1, 9, 9, 1)) && r2.PContains(r2));
  BCFRect moved(r2);
  moved.Move(BCFPoint(1, 2, 0));
  CHECK(Is(moved, 1, 12, 11, 2));
  BCFRect flipped(10, 0, 0, 10);
  flipped.Normalize();
  CHECK(Is(flipped, 0, 10, 10, 0));
  BCFRect grown(r2);
  grown.Inflate(1);
  CHECK(Is(grown, -1, 11, 11, -1));
  grown = r2;
  grown.InflateRel(0.5f);
  CHECK(Is(grown, -5, 15, 15, -5));
  CHECK(Is(r2.InflateR(0.5f), -5, 15, 15, -5));
  BCFRect shrunk(r2);
  CHECK(shrunk.Deflate(1) && Is(shrunk, 1, 9, 9, 1));
  shrunk = r2;
  CHECK(shrunk.DeflateRel(0.25f) && Is(shrunk, 2.5f, 7.5f, 7.5f, 2.5f));
  CHECK(Is(r2.DeflateR(0.25f), 2.5f, 7.5f, 7.5f, 2.5f));
  BCFRect emptied(r2);
  emptied.Empty();
  CHECK(Is(emptied, 0, 10, 0, 10));

  TCFCrvPoint source(3, 4, 0);
  CHECK(Is(FPoint(1, 2), 1, 2, 0) && Is(FPoint(source), 3, 4, 0));
  CHECK(FDistance(BCFPoint(0, 0, 0), BCFPoint(3, 4, 0)) == 5);
  CHECK(Is(FRect(1, 2, 3, 4), 1, 2, 3, 4) && Is(FRect(BCFPoint(1, 2, 0), BCFPoint(3, 4, 0)), 1, 2, 3, 4));
  BCFRect other(5, 20, 20, 5);
  CHECK(Is(FRectIntersect(r2, other), 5, 10, 10, 5) && Is(r2 * other, 5, 10, 10, 5));
  CHECK((BCFPoint(0, 0, 0) & r2) && !(BCFPoint(0, 0, 0) && r2));
  CHECK((r2 & r2) && !(r2 && r2));

  using System::Types::TPoint;
  using System::Types::TRect;
  TPoint sum = TPoint{1, 2} + TPoint{3, 4};
  CHECK(sum.X == 4 && sum.Y == 6);
  CHECK((TPoint{5, 5} & TRect{0, 0, 10, 10}) && (TPoint{5, 5} && TRect{0, 10, 10, 0}));
  CHECK(Is(TRect{0, 0, 10, 10} * TRect{5, 5, 20, 20}, 5, 5, 10, 10));
  CHECK(Is(TRect{0, 10, 10, 0} % TRect{5, 20, 20, 5}, 5, 10, 10, 5));
  int tolerance = 0;
  CHECK(IsEmpty(TRect{0, 0, 0, 10}, tolerance) && !IsEmpty(TRect{0, 0, 10, 10}, tolerance));
}

void CallFPointArray() {
  FPointArray a;
  FPointArray b(3);
  CHECK(a.Size() == 0 && b.Size() == 3 && b.Bytes() == 24);
  a.Reserve(4);
  a.Add(1, 2);
  a.Add(BCFPoint(3, 4, 0.5f));
  CHECK(Is(a.Get(1), 3, 4, 0) && Is(a.First(), 1, 2, 0) && Is(a.Last(), 3, 4, 0));
  a.Set(0, BCFPoint(5, 6, 0));
  a.SetX(1, 7);
  a.SetZ(1, 8);
  CHECK(a.GetX(0) == 5 && a.GetZ(1) == 8 && a.Ptr()[2] == 7);
  a.Delete(0);
  CHECK(a.Size() == 1 && a.GetX(0) == 7);
  a.Resize(2);
  CHECK(a.Size() == 2 && a.GetZ(1) == 0);
  a.Clear();
  CHECK(a.Size() == 0);

  bool caught = false;
  try {
    a.Get(0);
  } catch (const std::out_of_range& e) {
    caught = std::string(e.what()) == "invalid vector<T> subscript";
  }
  CHECK(caught);
  caught = false;
  try {
    b.Resize(-1);
  } catch (const std::length_error& e) {
    caught = std::string(e.what()) == "vector<T> too long";
  }
  CHECK(caught);
}

void CallNumKit() {
  CHECK(M_IsZero(1e-7f) && !M_IsZero(2e-7f));
  CHECK(M_Sign(-1e-8f) == 0 && M_Sign(-2) == -1 && M_Sign(3) == 1);
  CHECK(M_Norm(1, 2, 2) == 3);
  double v[] = {3, 4};
  CHECK(M_Norm(2, v) == 5);

  double xd[] = {0, 1, 2}, yd[] = {1, 3, 5};
  float xf[] = {0, 1, 2}, yf[] = {1, 3, 5};
  double a = 0, b = 0, rms = 1;
  CHECK(M_LinLSQ(xd, yd, 3, a, b, rms) && a == 2 && b == 1 && rms == 0);
  a = b = 0;
  CHECK(M_LinLSQ(xf, yf, 3, a, b, rms) && a == 2 && b == 1);
  std::vector<double> vx(xd, xd + 3), vy(yd, yd + 3);
  std::vector<float> fx(xf, xf + 3), fy(yf, yf + 3);
  a = b = 0;
  CHECK(M_LinLSQ(vx, vy, 3, a, b, rms) && a == 2 && b == 1);
  a = b = 0;
  CHECK(M_LinLSQ(fx, fy, 3, a, b, rms) && a == 2 && b == 1);
  float af = 0, bf = 0, rf = 1;
  CHECK(M_LinLSQ(fx, fy, 3, af, bf, rf) && af == 2 && bf == 1 && rf == 0);

  double ind[] = {1, 9, 2, 8, 3}, outd[5];
  float inf[] = {1, 9, 2, 8, 3}, outf[5];
  CHECK(M_Smooth(ind, outd, 5, 1, true) && outd[0] == 5 && outd[4] == 5.5);
  CHECK(M_Smooth(inf, outf, 5, 1, false) && outf[0] == 5);
  double dx[] = {0, 1, 2, 3, 4}, dy[] = {0, 3, 6, 9, 12};
  float fdx[] = {0, 1, 2, 3, 4}, fdy[] = {0, 3, 6, 9, 12};
  CHECK(M_Derivative(dx, dy, outd, 5, 1) && outd[0] == 3 && outd[4] == 3);
  CHECK(M_Derivative(fdx, fdy, outf, 5, 1) && outf[2] == 3);

  float tx[] = {0, 1, 2}, ty[] = {0, 10, 20};
  double tdx[] = {0, 1, 2}, tdy[] = {0, 10, 20};
  double r = 0;
  CHECK(M_lintvalf(3, tx, ty, 0.5, &r) == 0 && r == 5);
  CHECK(M_lintvald(3, tdx, tdy, 2, &r) == 0 && r == 20);
  float vsf[] = {0.5f, 1.5f}, rsf[2];
  double vsd[] = {0.5, 1.5}, rsd[2];
  CHECK(M_linttabf(3, tx, ty, 2, vsf, rsf) == 0 && rsf[1] == 15);
  CHECK(M_linttabd(3, tdx, tdy, 2, vsd, rsd) == 0 && rsd[0] == 5);
}

}  // namespace

int main() {
  CallGeomPrimValueTypes();
  CallFPointArray();
  CallNumKit();
  std::printf("%s: %d failed checks\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
