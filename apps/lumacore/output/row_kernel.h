// Marks a pixel loop written for the vectoriser: on x86-64 it is built twice, for AVX2 and for
// the baseline, and the processor the program runs on picks one when the program loads. (Not
// under AddressSanitizer or clang, whose builds gain nothing from it.)
#pragma once

#if defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define LUMACORE_ROW_KERNEL [[gnu::target_clones("avx2", "default")]]
#else
#define LUMACORE_ROW_KERNEL
#endif
