// A caller's floating-point state, for the tests of libraries that must compute alike whatever
// that state is and leave it as they found it (x86 only): the x87 control word and exception
// flags, and MXCSR with its flags.
#pragma once

#include <cstdint>

struct CallerFpu {
    std::uint16_t x87Control;
    std::uint16_t x87Flags;   // the six exception flags of the status word
    std::uint32_t mxcsr;

    bool operator==(const CallerFpu&) const = default;
};

// The x87's exception flags (invalid, denormal, zero divide, overflow, underflow, precision).
constexpr std::uint16_t kX87ExceptionFlags = 0x003F;
// Invalid operation, zero divide and overflow unmasked, 64-bit precision, rounding to nearest.
constexpr std::uint16_t kX87TrappingControl = 0x1332;
// MXCSR with invalid operation, zero divide and overflow unmasked, rounding to nearest.
constexpr std::uint32_t kMxcsrTrappingControl = 0x1900;

inline CallerFpu ReadCallerFpu()
{
    CallerFpu s;
    std::uint16_t status;
    asm volatile("fnstcw %0" : "=m"(s.x87Control));
    asm volatile("fnstsw %0" : "=m"(status));
    asm volatile("stmxcsr %0" : "=m"(s.mxcsr));
    s.x87Flags = status & kX87ExceptionFlags;
    return s;
}

// Clears the x87's exception flags and loads both control words (MXCSR's flags with it).
inline void LoadCallerFpu(std::uint16_t x87Control, std::uint32_t mxcsr)
{
    asm volatile("fnclex\n\tfldcw %0" : : "m"(x87Control) : "memory");
    asm volatile("ldmxcsr %0" : : "m"(mxcsr) : "memory");
}
