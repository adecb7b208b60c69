// Calling convention and linkage of geomprim's exports.
//
// Every export of geomprim (free functions, operators, constructors and members alike) uses one
// register convention on 32-bit x86:
//   - the first three integer or pointer arguments go in EAX, EDX and ECX, in that order; for a
//     member the object comes first; further arguments, floats included, go on the stack, the
//     last pushed first, and the callee removes them;
//   - a BCFPoint, BCFRect or System::Types::TRect result is written into a slot the caller
//     provides; this toolchain passes the slot's address as a hidden first argument, so it takes
//     EAX and moves the object and the other arguments one register along;
//   - float and double results come back in the x87 register ST0, booleans in AL, a TPoint in
//     EDX:EAX.
// Names are this toolchain's (Itanium) C++ names; the register convention adds "@<bytes of
// stack arguments>" to each, which the import library carries for the caller.
//
// Floating point: every export that compares or computes with floats saves the caller's x87
// control word and exception flags and MXCSR, computes with all exceptions masked, rounding to
// nearest and 64-bit x87 precision, and gives the caller's state back before it returns. A NaN
// operand makes a comparison false and an overflow gives an infinity, without a trap whatever
// the caller unmasked, and no flag raised inside shows in the caller's status afterwards.
//
// Callers compile against these headers with the same toolchain and link geomprim's import
// library. FPointArray's members throw standard-library exceptions to the caller, so geomprim
// and its callers share the C++ run-time DLLs (libstdc++-6.dll, libgcc_s_dw2-1.dll,
// libwinpthread-1.dll) instead of linking the run-time statically.
//
// Elsewhere (the native test build) the same code compiles with the platform's default
// convention and plain linkage.
#pragma once

#if defined(__i386__)
#define GEOMPRIM_CALL __attribute__((regparm(3), stdcall))
#else
#define GEOMPRIM_CALL
#endif

#if defined(_WIN32) && defined(GEOMPRIM_BUILD_DLL)
#define GEOMPRIM_API __declspec(dllexport)
#elif defined(_WIN32) && !defined(GEOMPRIM_STATIC)
#define GEOMPRIM_API __declspec(dllimport)
#else
#define GEOMPRIM_API
#endif
