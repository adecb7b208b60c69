// What the floating-point guard costs geomprim's exports: each guarded export (through the
// DLL in the Windows build) beside the same work under the guard compiled here (fpu::Guarded of
// this build's FpuState.h) and the same work bare, without the guard (GeomPrimWork.h), in ns per
// call, for callers in four floating-point states: the compute state with no flag raised, the
// compute state with inexact raised in both units (as after any arithmetic), invalid operation,
// zero divide and overflow unmasked on the x87 (a program of the suite's kind) and unmasked on
// the x87 and in MXCSR. The operands are ordinary finite values (no NaN, nothing overflows), so
// that the bare work raises no exception in any of these states.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "FpuState.h"
#include "GeomPrim.h"
#include "GeomPrimWork.h"
#include "tests/support/CallerFpu.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOperands = 1024;
constexpr int kRepeats = 200;
constexpr int kRuns = 7;

struct CallerState {
  const char* name;
  std::uint16_t x87Control;
  std::uint32_t mxcsr;
  bool inexactRaised;  // x87 inexact raised (MXCSR's is part of mxcsr)
};

const CallerState kStates[] = {
    {"compute state, no flag raised", 0x037F, 0x1F80, false},
    {"compute state, inexact raised in both units", 0x037F, 0x1FA0, true},
    {"x87 exceptions unmasked", kX87TrappingControl, 0x1F80, false},
    {"x87 and SSE exceptions unmasked", kX87TrappingControl, kMxcsrTrappingControl, false},
};

void LoadState(const CallerState& state) {
  LoadCallerFpu(state.x87Control, state.mxcsr);
  if (state.inexactRaised) {
    volatile long double one = 1;
    volatile long double third = one / 3;
    (void)third;
  }
}

struct Operands {
  std::vector<BCFPoint> points, others;
  std::vector<TCFCrvPoint> curvePoints, otherCurvePoints;
  std::vector<BCFRect> rects, otherRects;
};

Operands MakeOperands() {
  Operands o;
  std::uint32_t s = 2463534242u;
  auto next = [&s] {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return static_cast<float>(s % 100000) / 100.0f;  // 0 .. 999.99
  };
  for (int i = 0; i < kOperands; ++i) {
    const float x = next(), y = next();
    o.points.emplace_back(x, y, 0.5f);
    o.others.emplace_back(x + (next() - 500) / 500, y + (next() - 500) / 500, 0.5f);
    o.curvePoints.emplace_back(x, y, i);
    o.otherCurvePoints.emplace_back(o.others.back().x, o.others.back().y, i);
    const float w = next() / 4, h = next() / 4;
    o.rects.emplace_back(x - w, y + h, x + w, y - h);
    o.otherRects.emplace_back(x - h, y + w, x + h, y - w);
  }
  return o;
}

volatile double gSink;  // the results, so that no call is left out

// The best time of kRuns runs of kRepeats passes over the operands, in ns per call, each run
// in the caller's state.
template <class Call>
double NsPerCall(const CallerState& state, Call call) {
  double best = 1e300;
  double sink = 0;
  for (int run = 0; run < kRuns; ++run) {
    const CallerFpu saved = ReadCallerFpu();
    LoadState(state);
    const auto start = Clock::now();
    for (int r = 0; r < kRepeats; ++r)
      for (int i = 0; i < kOperands; ++i) sink += call(i);
    const auto spent = Clock::now() - start;
    LoadCallerFpu(saved.x87Control, saved.mxcsr);
    best = std::min(best, std::chrono::duration<double, std::nano>(spent).count() / (kRepeats * kOperands));
  }
  gSink = sink;
  return best;
}

// One operation three ways: the export, the work under the guard here, the work bare.
template <class Exported, class GuardedHere, class Bare>
void Measure(const char* name, const CallerState& state, Exported exported, GuardedHere guardedHere, Bare bare) {
  const double e = NsPerCall(state, exported), g = NsPerCall(state, guardedHere), w = NsPerCall(state, bare);
  std::printf("  %-16s %10.2f %14.2f %10.2f %14.2f\n", name, e, g, w, e - w);
  std::fflush(stdout);
}

#define GEOMPRIM_BENCH_OP(name, exportCall, workCall)                                        \
  Measure(                                                                                   \
      name, state, [&](int i) -> double { return exportCall; },                              \
      [&](int i) -> double { return fpu::Guarded([&] { return workCall; }); },               \
      [&](int i) -> double { return workCall; })

void MeasureAll(const CallerState& state, const Operands& o) {
  GEOMPRIM_BENCH_OP("point ==", o.points[i] == o.others[i], geomprim::PointEqual(o.points[i], o.others[i]));
  GEOMPRIM_BENCH_OP("point +", (o.points[i] + o.others[i]).x, geomprim::PointSum(o.points[i], o.others[i]).x);
  GEOMPRIM_BENCH_OP("curve point ==", o.curvePoints[i] == o.otherCurvePoints[i],
                    geomprim::CurvePointEqual(o.curvePoints[i], o.otherCurvePoints[i]));
  GEOMPRIM_BENCH_OP("curve point <", o.curvePoints[i] < o.otherCurvePoints[i],
                    geomprim::CurvePointBefore(o.curvePoints[i], o.otherCurvePoints[i]));
  GEOMPRIM_BENCH_OP("rectangle ==", o.rects[i] == o.otherRects[i], geomprim::RectEqual(o.rects[i], o.otherRects[i]));
  GEOMPRIM_BENCH_OP("IsEmpty", o.rects[i].IsEmpty(), geomprim::RectIsEmptyWork(o.rects[i]));
  GEOMPRIM_BENCH_OP("Inside", o.rects[i].Inside(o.others[i]), geomprim::RectInside(o.rects[i], o.others[i]));
  GEOMPRIM_BENCH_OP("PInside", o.rects[i].PInside(o.others[i], 0.25),
                    geomprim::RectPInside(o.rects[i], o.others[i], 0.25));
  GEOMPRIM_BENCH_OP("Width", o.rects[i].Width(), geomprim::RectWidth(o.rects[i]));
  GEOMPRIM_BENCH_OP("FDistance", FDistance(o.points[i], o.others[i]), geomprim::Distance(o.points[i], o.others[i]));
  GEOMPRIM_BENCH_OP("FRectIntersect", FRectIntersect(o.rects[i], o.otherRects[i]).left,
                    geomprim::Intersection(o.rects[i], o.otherRects[i]).left);
  // Inflate changes its rectangle: each call inflates a copy.
  Measure(
      "Inflate", state,
      [&](int i) {
        BCFRect r = o.rects[i];
        r.Inflate(1.5f);
        return r.right;
      },
      [&](int i) {
        BCFRect r = o.rects[i];
        fpu::Guarded([&] { geomprim::RectInflate(r, 1.5f); });
        return r.right;
      },
      [&](int i) {
        BCFRect r = o.rects[i];
        geomprim::RectInflate(r, 1.5f);
        return r.right;
      });
}

}  // namespace

int main() {
  const Operands operands = MakeOperands();
  std::printf("geomprim: the floating-point guard's cost (ns per call, best of %d runs of %d calls)\n", kRuns,
              kRepeats * kOperands);
  for (const CallerState& state : kStates) {
    std::printf("\ncaller: %s (x87 control %04x, MXCSR %04x)\n", state.name, state.x87Control,
                static_cast<unsigned>(state.mxcsr));
    std::printf("  %-16s %10s %14s %10s %14s\n", "operation", "export", "guarded here", "bare work", "export - bare");
    MeasureAll(state, operands);
  }
  return 0;
}
