// A test program for the harness itself: prints a passing test summary, then ends in one of
// the ways a fault of ours can end the wine process by a Unix signal instead of a Windows
// status.
//
//   crash_after_summary MODE [MARKER]
//
// MODE "stack" trashes the stack pointer, "overrun" runs the main thread's stack out inside
// main's own frame. With MARKER it crashes only when the file MARKER does not exist yet (it
// makes the file first), so a second run of the same program passes: the case that a harness
// running a crashed program again would turn into a pass.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

[[noreturn]] void TrashStackPointer()
{
    // The fault is taken with no stack to report it on.
    asm volatile("movl $16, %%esp\n\tpushl %%eax\n\tud2" ::: "memory");
    __builtin_unreachable();
}

[[noreturn]] void OverrunStack()
{
    // Far below the guard page in one step, so the first touch lands past the stack's end.
    asm volatile("subl $0x4000000, %%esp\n\tmovl $0, (%%esp)\n\tud2" ::: "memory");
    __builtin_unreachable();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: crash_after_summary stack|overrun [MARKER]\n");
        return 2;
    }
    std::printf("[==========] 1 test from 1 test suite ran. (0 ms total)\n[  PASSED  ] 1 test.\n");
    std::fflush(stdout);
    if (argc > 2) {
        if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) {
            return 0;
        }
        HANDLE marker = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (marker != INVALID_HANDLE_VALUE) {
            CloseHandle(marker);
        }
    }
    if (std::strcmp(argv[1], "overrun") == 0) {
        OverrunStack();
    }
    TrashStackPointer();
}
