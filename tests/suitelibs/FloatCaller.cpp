// A program of the suite's kind that computes with the x87 (-mfpmath=387) under a control word
// of its own: invalid operation, zero divide and overflow unmasked (0x1332), so that any of
// these raised inside a library would stop it with a floating-point exception. It knows
// geomprim and numkit only through their headers and import libraries, and checks across each
// DLL boundary that comparisons with NaN answer false without a trap, that its own control word
// and flags come back unchanged, that the median of large values stays finite, and that fits far
// from zero and float means of large or many values keep their results (NumKitScaleCases.h).
// Prints each failed check and exits non-zero when one fails.
#include "GeomPrim.h"
#include "NumKit.h"

#include "CallerChecks.h"
#include "tests/support/CallerFpu.h"
#include "tests/support/NumKitScaleCases.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// Runs call under the trapping control word (MXCSR as the program had it) and checks that the
// state it gets back is the one it set; answers call's answer.
template <class F>
bool UnderTrappingControl(const char* what, F call)
{
    const CallerFpu saved = ReadCallerFpu();
    LoadCallerFpu(kX87TrappingControl, saved.mxcsr);
    const CallerFpu set = ReadCallerFpu();
    const bool answer = call();
    const CallerFpu after = ReadCallerFpu();
    LoadCallerFpu(saved.x87Control, saved.mxcsr);
    if (!(after == set))
        std::printf("FAILED: %s: control %04x flags %02x afterwards, set %04x flags %02x\n", what,
                    after.x87Control, after.x87Flags, set.x87Control, set.x87Flags);
    gFailures += after == set ? 0 : 1;
    return answer;
}

void CallGeomPrimWithNan()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const BCFRect rect(0, 10, 10, 0);
    const BCFRect nanRect(nan, 10, 10, 0);
    const BCFPoint nanPoint(nan, 5, 0);
    const TCFCrvPoint nanCurvePoint(nan, 0, 0), curvePoint(1, 0, 0);
    Check(!UnderTrappingControl("PInside", [&] { return rect.PInside(nanPoint, 0.5); }), "PInside of a NaN point");
    Check(!UnderTrappingControl("IsEmpty", [&] { return nanRect.IsEmpty(); }), "IsEmpty of a NaN rectangle");
    Check(!UnderTrappingControl("<", [&] { return nanCurvePoint < curvePoint; }), "a NaN curve point < another");
    Check(!UnderTrappingControl("==", [&] { return nanPoint == BCFPoint(0, 5, 1); }), "a NaN point == another");
    Check(UnderTrappingControl("InflateRel", [&] {
              BCFRect huge(-FLT_MAX, FLT_MAX, FLT_MAX, -FLT_MAX);
              huge.InflateRel(2);
              return huge.left == -std::numeric_limits<float>::infinity();
          }),
          "InflateRel overflowing to infinity");
    // And without a NaN, the answers the caller always had.
    Check(UnderTrappingControl("PInside", [&] { return rect.PInside(BCFPoint(10.5f, 5, 0), 0.5); }),
          "PInside within the tolerance");
    Check(UnderTrappingControl("<", [&] { return TCFCrvPoint(0, 0, 0) < TCFCrvPoint(1e-6f, 0, 0); }),
          "0 < 1e-6 between curve points");
}

void CallNumKitWithLargeValues()
{
    double pair[] = {1e308, 1.5e308}, pairOut[2] = {};
    const double mid = static_cast<double>((static_cast<long double>(1e308) + 1.5e308) / 2);
    Check(UnderTrappingControl("M_Smooth", [&] { return M_Smooth(pair, pairOut, 2, 1, true); }) &&
              pairOut[0] == mid && pairOut[1] == mid,
          "median of 1e308 and 1.5e308 is their midpoint");
    float markers[] = {FLT_MAX, FLT_MAX, FLT_MAX, 1}, out[4] = {};
    Check(M_Smooth(markers, out, 4, 1, true) && out[0] == FLT_MAX && out[1] == FLT_MAX && out[3] < FLT_MAX &&
              std::isfinite(out[3]),
          "median of FLT_MAX markers stays finite");
    Check(M_Smooth(markers, out, 4, 5, true) && out[0] == FLT_MAX && out[3] == FLT_MAX,
          "median of the whole window of FLT_MAX markers");
}

// Fits of lines far from zero and float means of large or many values.
void CallNumKitAtLargeScales()
{
    const auto fail = [](const std::string& failure) { Check(false, failure.c_str()); };
    CheckFarLineFits(fail);
    CheckFloatMeans(fail);
}

}  // namespace

int main()
{
    CallNumKitWithLargeValues();
    CallGeomPrimWithNan();
    CallNumKitAtLargeScales();
    std::printf("%s: %d failed checks\n", gFailures ? "FAILED" : "passed", gFailures);
    return gFailures ? 1 : 0;
}
