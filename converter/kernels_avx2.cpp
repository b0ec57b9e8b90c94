// The AVX2 set: 32-byte vectors; dense hits go 8 bytes at a time through
// shuffle tables indexed by the 8-bit hit mask.
#include "converter/kernels_blocks.h"
#include "converter/kernels_x86.h"

namespace {

struct shuffle_tables {
    // unix_to_dos: source index per output byte, 15 in a CR's slot (the
    // source holds 8 bytes and a CR in byte 15).
    alignas(16) std::uint8_t expand[256][16];
    // dos_to_unix: the kept bytes' indexes, packed to the front.
    alignas(16) std::uint8_t compact[256][16];
};

constexpr shuffle_tables make_tables() {
    shuffle_tables t{};
    for (unsigned m = 0; m < 256; ++m) {
        unsigned at = 0, kept = 0;
        for (unsigned i = 0; i < 8; ++i) {
            if (m & (1u << i)) {
                t.expand[m][at++] = 15;
            } else {
                t.compact[m][kept++] = static_cast<std::uint8_t>(i);
            }
            t.expand[m][at++] = static_cast<std::uint8_t>(i);
        }
    }
    return t;
}

constexpr shuffle_tables tables = make_tables();

__m128i row(const std::uint8_t (&r)[16]) { return _mm_load_si128(reinterpret_cast<const __m128i *>(r)); }

struct avx2 {
    LFSWAP_X86_VECTOR(_mm256, 256, std::uint32_t)
    static constexpr unsigned dense_from = 4;
    static std::size_t first(mask m) { return _tzcnt_u32(m); }
    template <bool ToDos>
    static unsigned char *dense(const unsigned char *b, reg, mask hits, unsigned char *o) {
        // Each group's place from the hits before it, not from the group
        // before it: four independent stores, one add on the carried chain.
        const __m128i cr_at_15 = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, cr);
        const int before[4] = {0, __builtin_popcount(hits & 0xFFu), __builtin_popcount(hits & 0xFFFFu),
                               __builtin_popcount(hits & 0xFFFFFFu)};
#pragma GCC unroll 4
        for (unsigned g = 0; g < 4; ++g) {
            const unsigned m = (hits >> (8 * g)) & 0xFF;
            const __m128i src = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(b + 8 * g));
            if constexpr (ToDos) {
                const __m128i r = _mm_shuffle_epi8(_mm_or_si128(src, cr_at_15), row(tables.expand[m]));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 8 * g + before[g]), r);
            } else {
                _mm_storel_epi64(reinterpret_cast<__m128i *>(o + 8 * g - before[g]), _mm_shuffle_epi8(src, row(tables.compact[m])));
            }
        }
        const int all = __builtin_popcount(hits);
        return ToDos ? o + 32 + all : o + 32 - all;
    }
};

} // namespace

const kernel_set avx2_kernels = make_kernel_set<avx2>("avx2", cpu_has_avx2);
