#pragma once
// Marks a hot loop function to be built twice, for AVX2 and for the baseline, with the machine
// picking one when the program loads. The loops use only operations that IEEE 754 defines exactly
// (no fused multiply-add: AVX2 does not include it and contraction is off), so both builds give the
// same bits; only the number of values per instruction differs.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) &&                 \
    !defined(VELMORAN_NO_SIMD_CLONES)
#define VELMORAN_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELMORAN_SIMD_CLONES
#endif
