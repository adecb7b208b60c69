#include "lectern/app/ValidateWinpos.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowOnMonitor, MovedWhenCornerOrCentreIsOff)
{
    const TWindowBounds monitor{0, 0, 1920, 1080};
    const TWindowBounds left{-1920, 0, 1920, 1080};
    struct Case {
        TWindowFit window;
        TWindowBounds monitor;
        bool centre;
        bool moved;
        TWindowBounds bounds;
    };
    const Case cases[] = {
        {{{100, 100, 800, 600}}, monitor, false, false, {100, 100, 800, 600}},
        {{{1600, 100, 800, 600}}, monitor, false, true, {0, 0, 800, 600}},          // centre off
        {{{-4, -4, 1928, 1088}, true}, monitor, false, false, {-4, -4, 1928, 1088}},  // maximized, overhang
        {{{-8, -8, 1936, 1096}, true}, monitor, false, true, {-4, -4, 1936, 1096}},  // beyond the overhang
        {{{-4, -4, 1928, 1088}}, monitor, false, true, {0, 0, 1928, 1088}},          // normal: no overhang
        {{{-100, 0, 3000, 600}, false, false}, monitor, false, true, {0, 0, 3000, 600}},  // fixed: not shrunk
        {{{-100, 0, 3000, 600}, false, true}, monitor, false, true, {0, 0, 1920, 600}},   // sizeable: shrunk
        {{{1920, 0, 800, 600}}, monitor, false, true, {0, 0, 800, 600}},             // right edge outside
        {{{1900, 1000, 800, 600}}, left, true, true, {-1360, 240, 800, 600}},
        {{{-1700, 50, 800, 600}}, left, false, false, {-1700, 50, 800, 600}},
        {{{5000, 5000, 3000, 3000}, false, true, 0, 0, 2500, 1000}, monitor, false, true, {0, 0, 1920, 1000}},
        {{{5000, 5000, 300, 200}, false, true, 640, 480}, monitor, true, true, {640, 300, 640, 480}},
    };
    int i = 0;
    for (const Case& c : cases) {
        const TWindowFitResult r = FitWindowToMonitor(c.window, c.monitor, c.centre);
        EXPECT_EQ(r.Moved, c.moved) << "case " << i;
        EXPECT_EQ(r.Bounds, c.bounds) << "case " << i;
        ++i;
    }
}

}  // namespace
