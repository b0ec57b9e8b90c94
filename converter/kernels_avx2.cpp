// The AVX2 set: 32-byte vectors; dense hits go 8 bytes at a time through
// shuffle tables indexed by the 8-bit hit mask.
#include "converter/kernels_blocks.h"
#include "converter/kernels_x86.h"

namespace {

struct shuffle_tables {
    // unix_to_dos: source index per output byte (the LF's own index in the
    // CR's slot), and 0x0D - 0x0A at the CR slots to turn that copy into CR.
    alignas(16) std::uint8_t expand[256][16];
    alignas(16) std::uint8_t expand_fix[256][16];
    // dos_to_unix: the kept bytes' indexes, packed to the front.
    alignas(16) std::uint8_t compact[256][16];
};

constexpr shuffle_tables make_tables() {
    shuffle_tables t{};
    for (unsigned m = 0; m < 256; ++m) {
        unsigned at = 0, kept = 0;
        for (unsigned i = 0; i < 8; ++i) {
            if (m & (1u << i)) {
                t.expand[m][at] = static_cast<std::uint8_t>(i);
                t.expand_fix[m][at++] = cr - lf;
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
        for (unsigned g = 0; g < 4; ++g) {
            const unsigned m = (hits >> (8 * g)) & 0xFF;
            const int in_group = __builtin_popcount(m);
            const __m128i src = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(b + 8 * g));
            if constexpr (ToDos) {
                const __m128i r = _mm_add_epi8(_mm_shuffle_epi8(src, row(tables.expand[m])), row(tables.expand_fix[m]));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o), r);
                o += 8 + in_group;
            } else {
                _mm_storel_epi64(reinterpret_cast<__m128i *>(o), _mm_shuffle_epi8(src, row(tables.compact[m])));
                o += 8 - in_group;
            }
        }
        return o;
    }
};

} // namespace

const kernel_set avx2_kernels = make_kernel_set<avx2>("avx2", cpu_has_avx2);
