// The caller's floating-point state, saved on entry to an export of geomprim or numkit and
// given back on exit, so that the libraries compute alike whatever that state is and leave it
// as they found it.
//
// On entry the x87 control word and status word and MXCSR are read, and both units are set to
// the state the libraries compute in: every exception masked, round to nearest, 64-bit x87
// precision, no flush-to-zero or denormals-are-zero. So a comparison with a NaN or an
// overflowing sum raises only a flag, never a trap, even for a caller that has unmasked invalid
// operation or overflow.
//
// On exit MXCSR is given back whole (controls and flags), and the x87 control word. When the
// work raised an x87 flag the caller did not have (inexact, as a rule), the caller's flags come
// back too: a caller without any (one computing with SSE) gets them cleared; otherwise (or when
// the caller had an exception pending) the environment is stored, its control word and the
// flag bits of its status word are replaced by the caller's, and it is loaded again. So a flag
// raised inside neither traps later under the caller's unmasked exceptions nor shows in its
// status, and a flag the caller had stays. The tag word, the stack top and the registers are
// the current ones throughout. Storing and loading the environment is slow; the usual call
// (no new flag, or a caller without flags) costs a few control-word reads and loads.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace fpu {

#if defined(__i386__) || defined(__x86_64__)

constexpr std::uint16_t kComputeX87Control = 0x037F;  // all masked, 64-bit, nearest
constexpr std::uint32_t kComputeMxcsr = 0x1F80;       // all masked, nearest, no FTZ/DAZ
constexpr std::uint32_t kMxcsrFlags = 0x003F;
// The status word's exception flags, stack fault, error summary and busy bits: the part of the
// caller's state that the work may change and that is given back.
constexpr std::uint16_t kX87FlagBits = 0x80FF;
constexpr std::uint16_t kX87ErrorSummary = 0x0080;
// fnstenv's image (the 28-byte protected-mode layout): the control word, then the status word,
// each in the low half of a 32-bit slot.
constexpr std::size_t kX87EnvBytes = 28;
constexpr std::size_t kX87EnvControlAt = 0;
constexpr std::size_t kX87EnvStatusAt = 4;

struct FpuState {
  std::uint16_t FX87Control;
  std::uint16_t FX87Status;
  std::uint32_t FMxcsr;
};

// Loading MXCSR with control bits other than the ones it holds costs tens of nanoseconds on
// current processors, so on entry it is loaded only when they have to change: the work runs
// with the caller's MXCSR flags still raised (flags do not change results), and a caller
// already in the compute state (all masked, nearest, no FTZ/DAZ, the usual one) costs one store
// and no load. On exit it is loaded whatever it holds: a load that changes flags alone, or
// nothing, costs less than reading MXCSR to see whether the work changed it. The reads of MXCSR
// and of the status word are what the usual call costs (bench_geomprim); MXCSR is read first,
// so that its read overlaps the x87's, and the status word on exit goes straight to a register
// for the comparison that follows.
inline void Enter(FpuState& s) {
  const std::uint16_t control = kComputeX87Control;
  asm volatile("stmxcsr %0" : "=m"(s.FMxcsr) : : "memory");
  asm volatile("fnstcw %0\n\tfnstsw %1" : "=m"(s.FX87Control), "=m"(s.FX87Status) : : "memory");
  // An exception the caller left pending would be raised by the first x87 instruction here.
  if (s.FX87Status & kX87ErrorSummary) asm volatile("fnclex" : : : "memory");
  if (s.FX87Control != control) asm volatile("fldcw %0" : : "m"(control) : "memory");
  const std::uint32_t mxcsr = kComputeMxcsr | (s.FMxcsr & kMxcsrFlags);
  if (s.FMxcsr != mxcsr) asm volatile("ldmxcsr %0" : : "m"(mxcsr) : "memory");
}

inline void Leave(const FpuState& s) {
  std::uint16_t status;
  asm volatile("fnstsw %0" : "=a"(status) : : "memory");
  if (((status ^ s.FX87Status) & kX87FlagBits) == 0) {
    if (s.FX87Control != kComputeX87Control) asm volatile("fldcw %0" : : "m"(s.FX87Control) : "memory");
  } else if ((s.FX87Status & kX87FlagBits) == 0) {
    asm volatile("fnclex\n\tfldcw %0" : : "m"(s.FX87Control) : "memory");
  } else {
    unsigned char env[kX87EnvBytes];
    asm volatile("fnstenv %0" : "=m"(env) : : "memory");
    std::uint16_t flags;
    std::memcpy(&flags, env + kX87EnvStatusAt, sizeof flags);
    flags = static_cast<std::uint16_t>((flags & ~kX87FlagBits) | (s.FX87Status & kX87FlagBits));
    std::memcpy(env + kX87EnvStatusAt, &flags, sizeof flags);
    std::memcpy(env + kX87EnvControlAt, &s.FX87Control, sizeof s.FX87Control);
    asm volatile("fldenv %0" : : "m"(env) : "memory");
  }
  asm volatile("ldmxcsr %0" : : "m"(s.FMxcsr) : "memory");
}

#else
#error "geomprim and numkit compute on x86 floating-point units only"
#endif

// Runs f with the compute state and gives the caller's state back before the result goes to
// the caller's registers. f is a call of a function kept out of line (noinline), so that none
// of its arithmetic is moved across the switch, and must not throw. A number passes through
// memory, so that a floating result has left the x87 register it came in before the state
// changes back; a value type is written to memory by f.
template <class F>
auto Guarded(F f) {
  using Result = decltype(f());
  FpuState s;
  Enter(s);
  if constexpr (std::is_void_v<Result>) {
    f();
    Leave(s);
  } else if constexpr (std::is_arithmetic_v<Result>) {
    volatile Result result = f();
    Leave(s);
    return static_cast<Result>(result);
  } else {
    Result result = f();
    Leave(s);
    return result;
  }
}

}  // namespace fpu
