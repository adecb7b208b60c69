// The caller's floating-point state, saved on entry to an export and given back on exit.
//
// On entry the x87 environment (control, status and tag words) and MXCSR are stored, the
// status flags cleared, and both units set to the state numkit computes in: every exception
// masked, round to nearest, 64-bit x87 precision, no flush-to-zero or denormals-are-zero. On
// exit the caller's environment is loaded back, status flags included, so that a flag raised
// inside (a division by zero in a least-squares fit, say) neither traps later under the
// caller's unmasked exceptions nor shows in its status.
//
// Loading the saved environment also loads the caller's tag word, which marks every x87
// register empty: no x87 value may be live across Leave. A result of type long double is
// therefore passed through memory (see Guarded).
#pragma once

#include <cstdint>

namespace numkit {

struct FpuState {
  unsigned char FX87Env[28];  // 32-bit protected-mode layout of fnstenv
  std::uint32_t FMxcsr;
};

#if defined(__i386__) || defined(__x86_64__)

constexpr std::uint16_t kComputeX87Control = 0x037F;  // all masked, 64-bit, nearest
constexpr std::uint32_t kComputeMxcsr = 0x1F80;       // all masked, nearest, no FTZ/DAZ

inline void Enter(FpuState& s) {
  const std::uint16_t control = kComputeX87Control;
  const std::uint32_t mxcsr = kComputeMxcsr;
  asm volatile("fnstenv %0\n\tfnclex\n\tfldcw %1" : "=m"(s.FX87Env) : "m"(control) : "memory");
  asm volatile("stmxcsr %0\n\tldmxcsr %1" : "=m"(s.FMxcsr) : "m"(mxcsr) : "memory");
}

inline void Leave(const FpuState& s) {
  asm volatile("fnclex\n\tfldenv %0"
               :
               : "m"(s.FX87Env)
               : "memory", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");
  asm volatile("ldmxcsr %0" : : "m"(s.FMxcsr) : "memory");
}

#else
#error "numkit computes on x86 floating-point units only"
#endif

// Runs f with the compute state and gives the caller's state back before the result goes to
// the caller's registers.
template <class F>
auto Guarded(F f) {
  FpuState s;
  Enter(s);
  volatile auto result = f();
  Leave(s);
  return static_cast<decltype(f())>(result);
}

}  // namespace numkit
