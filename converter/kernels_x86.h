// What the SSE2 and AVX2 sets' vectors have in common: their intrinsics
// differ only in prefix and width (_mm_..._si128, _mm256_..._si256), so the
// members the block algorithm needs are written here once. `PREFIX` is _mm
// or _mm256, `BITS` 128 or 256, `MASK` the movemask's type.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#define LFSWAP_X86_VECTOR(PREFIX, BITS, MASK)                                                                \
    static constexpr std::size_t width = (BITS) / 8;                                                         \
    using reg = __m##BITS##i;                                                                                \
    using mask = MASK;                                                                                       \
    static reg load(const unsigned char *p) { return PREFIX##_loadu_si##BITS(reinterpret_cast<const reg *>(p)); } \
    static void store(unsigned char *p, reg v) { PREFIX##_storeu_si##BITS(reinterpret_cast<reg *>(p), v); }    \
    static reg splat(std::uint16_t pattern) { return PREFIX##_set1_epi16(static_cast<short>(pattern)); }       \
    static mask equal(reg v, reg pattern) {                                                                  \
        return static_cast<mask>(static_cast<unsigned>(PREFIX##_movemask_epi8(PREFIX##_cmpeq_epi8(v, pattern)))); \
    }                                                                                                        \
    static mask unit_starts(mask m) { return m & (m >> 1) & static_cast<mask>(0x55555555u); }
