#pragma once
// Marks a hot loop for an extra AVX2 build chosen at load time, so the baseline x86-64 binary still
// vectorises wide on machines that have it. Only where the compiler supports it reliably.

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define LUMORA_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LUMORA_SIMD_CLONES
#endif
