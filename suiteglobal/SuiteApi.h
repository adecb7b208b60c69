// Calling convention of the exports of suiteglobal and ctlaid.
//
// Every export (free functions, constructors and members alike) uses the register convention of
// the suite's programs on 32-bit x86, as geomprim's do (see GeomPrimApi.h): the first three
// integer or pointer arguments in EAX, EDX and ECX, the rest on the stack, removed by the
// callee. Names are this toolchain's C++ names with the "@<bytes>" suffix of the convention.
#pragma once

#if defined(__i386__)
#define SUITE_CALL __attribute__((regparm(3), stdcall))
#else
#define SUITE_CALL
#endif
