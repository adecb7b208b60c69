// numkit's fits and means at scales where sums over the raw values lose the result, for its
// unit tests and for the separately built caller: straight lines far from zero (grid northings,
// epoch seconds), and float windows of values near FLT_MAX (a no-data marker) or of many
// values. Each check reports what it found wrong through `fail`, one message a failure.
#pragma once

#include "NumKit.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

// The line y = 2 (x - x0) + 3, sampled exactly at x = x0 + k step, k = 0 .. n - 1.
struct FarLineCase {
    const char* name;
    double x0;
    double step;
    int n;
};

constexpr FarLineCase kFarLineCases[] = {
    {"grid northings near 5e6", 5e6, 1, 10},
    {"abscissas near 1e8", 1e8, 1, 10},
    {"epoch seconds near 1.7e9", 1.7e9, 1, 10},
    {"three points near 1e9", 1e9, 1, 3},
    // Steps that floats hold at these magnitudes, for the float overloads as well.
    {"a float grid near 1e8", 1e8, 8, 21},
    {"float epoch seconds near 1.7e9", 1.7e9, 128, 21},
    {"three float points near 1e9", 1e9, 64, 3},
};

constexpr double kFarLineSlope = 2;

inline std::string FarLineFailure(const FarLineCase& c, const char* form, bool ok, double a, double b,
                                  double rms)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s, %s: answered %s, a %.17g, b %.17g, rms %.3g (want a 2, b %.17g, rms 0)",
                  c.name, form, ok ? "true" : "false", a, b, rms, 3 - kFarLineSlope * c.x0);
    return text;
}

inline std::string FarSlopeFailure(const FarLineCase& c, const char* form, bool ok, double slope)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s, %s: answered %s, a slope of %.17g (want 2)", c.name, form,
                  ok ? "true" : "false", slope);
    return text;
}

// The fit of a line through exact samples is that line: the slope to 1e-12, the offset to the
// relative precision given (its own rounding), the residuals 0.
inline bool FitsFarLine(const FarLineCase& c, double a, double b, double rms, double offsetPrecision = 1e-15)
{
    const double offset = 3 - kFarLineSlope * c.x0;
    return std::fabs(a - kFarLineSlope) <= 1e-12 && std::fabs(b - offset) <= offsetPrecision * std::fabs(offset) &&
           rms <= 1e-9;
}

template <class Fail>
void CheckFarLineFits(Fail fail)
{
    for (const FarLineCase& c : kFarLineCases) {
        std::vector<double> x(c.n), y(c.n);
        bool floatsHoldIt = true;
        for (int k = 0; k < c.n; ++k) {
            x[k] = c.x0 + k * c.step;
            y[k] = kFarLineSlope * k * c.step + 3;
            floatsHoldIt = floatsHoldIt && static_cast<float>(x[k]) == x[k] && static_cast<float>(y[k]) == y[k];
        }
        double a = 0, b = 0, rms = -1;
        bool ok = M_LinLSQ(x.data(), y.data(), c.n, a, b, rms);
        if (!ok || !FitsFarLine(c, a, b, rms)) fail(FarLineFailure(c, "M_LinLSQ of doubles", ok, a, b, rms));
        ok = M_LinLSQ(x, y, c.n, a, b, rms);
        if (!ok || !FitsFarLine(c, a, b, rms)) fail(FarLineFailure(c, "M_LinLSQ of double vectors", ok, a, b, rms));
        // Slopes over windows of 2 to 5 points; the first wrong one is reported.
        for (int h : {1, 2}) {
            std::vector<double> slopes(c.n, -1);
            ok = M_Derivative(x.data(), y.data(), slopes.data(), c.n, h);
            const char* form = h == 1 ? "M_Derivative of doubles, h 1" : "M_Derivative of doubles, h 2";
            for (double slope : slopes)
                if (!ok || std::fabs(slope - kFarLineSlope) > 1e-12) {
                    fail(FarSlopeFailure(c, form, ok, slope));
                    break;
                }
        }
        if (!floatsHoldIt) continue;

        std::vector<float> fx(x.begin(), x.end()), fy(y.begin(), y.end());
        ok = M_LinLSQ(fx.data(), fy.data(), c.n, a, b, rms);
        if (!ok || !FitsFarLine(c, a, b, rms)) fail(FarLineFailure(c, "M_LinLSQ of floats", ok, a, b, rms));
        ok = M_LinLSQ(fx, fy, c.n, a, b, rms);
        if (!ok || !FitsFarLine(c, a, b, rms)) fail(FarLineFailure(c, "M_LinLSQ of float vectors", ok, a, b, rms));
        float fa = 0, fb = 0, frms = -1;
        ok = M_LinLSQ(fx, fy, c.n, fa, fb, frms);
        // Float results: the offset to a float's rounding.
        if (!ok || !FitsFarLine(c, fa, fb, frms, 6e-8))
            fail(FarLineFailure(c, "M_LinLSQ of float vectors, float results", ok, fa, fb, frms));
        // Slopes over windows of 11 to 21 points: over fewer, the raw sums of these floats are exact.
        std::vector<float> fslopes(c.n, -1);
        ok = M_Derivative(fx.data(), fy.data(), fslopes.data(), c.n, 10);
        for (float slope : fslopes)
            if (!ok || slope != static_cast<float>(kFarLineSlope)) {
                fail(FarSlopeFailure(c, "M_Derivative of floats, h 10", ok, slope));
                break;
            }
    }
}

// A float array holding one value throughout: every window's mean is that value.
struct FloatMeanCase {
    const char* name;
    float value;
    int n;
    int h;
};

constexpr FloatMeanCase kFloatMeanCases[] = {
    {"the no-data marker 1.70141e38, h 5", 1.70141e38f, 30, 5},
    {"the no-data marker 1.70141e38, h 50", 1.70141e38f, 200, 50},
    {"FLT_MAX, h 1", FLT_MAX, 4, 1},
    {"0.1 over windows up to 20001 wide", 0.1f, 20001, 10000},
    {"-3e37, h 7", -3e37f, 16, 7},
};

template <class Fail>
void CheckFloatMeans(Fail fail)
{
    for (const FloatMeanCase& c : kFloatMeanCases) {
        std::vector<float> in(c.n, c.value), out(c.n, -1);
        const bool ok = M_Smooth(in.data(), out.data(), c.n, c.h, false);
        int wrong = 0, first = -1;
        for (int i = 0; i < c.n; ++i)
            if (out[i] != c.value && wrong++ == 0) first = i;
        if (!ok || wrong) {
            char text[256];
            std::snprintf(text, sizeof text, "float mean of %s: answered %s, %d of %d means wrong, out[%d] = %.9g",
                          c.name, ok ? "true" : "false", wrong, c.n, first < 0 ? 0 : first,
                          first < 0 ? 0.0 : out[first]);
            fail(text);
        }
    }
}
