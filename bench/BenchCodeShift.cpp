// Padding in front of the code linked after the inflate benchmark's own decoder, zlib's among
// it: LECTERN_BENCH_CODE_SHIFT bytes (see bench/CMakeLists.txt).
#define BENCH_TEXT(x) #x
#define BENCH_FILL(x) BENCH_TEXT(x)

int BenchCodeShiftBytes()
{
    return LECTERN_BENCH_CODE_SHIFT;
}

#if LECTERN_BENCH_CODE_SHIFT > 0
__asm__(".text\n.fill " BENCH_FILL(LECTERN_BENCH_CODE_SHIFT) ",1,0x90\n");
#endif
