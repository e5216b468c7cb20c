// Instruction sets beyond the build's baseline (SSE2), for the few loops that convert whole arrays of a
// model.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define RW_AVX2_PATHS 1
#define RW_TARGET_AVX2 __attribute__((target("avx2")))

// Asked once; the answer holds for the process.
inline bool _rwCpuHasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif
