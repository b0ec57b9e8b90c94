// The AVX-512 VBMI2 set: 64-byte vectors; vpcompressb takes dense hits.
// dos_to_unix keeps the non-CR bytes of 64. unix_to_dos widens 32 bytes to
// (CR, byte) pairs and keeps each pair's CR only where the byte is LF: the
// keep mask is the LF mask spread to the even bits, every odd bit set.
#include <immintrin.h>

#include "converter/kernels_blocks.h"

namespace {

// The bits of `m` placed, lowest first, at the bits set in `to` (16 in each
// half): two 32-bit deposits, which 32-bit builds have too.
std::uint64_t spread(std::uint32_t m, std::uint64_t to) {
    return _pdep_u32(m & 0xFFFF, static_cast<std::uint32_t>(to)) |
           std::uint64_t{_pdep_u32(m >> 16, static_cast<std::uint32_t>(to >> 32))} << 32;
}

// 32 bytes `v` with LF mask `m` into `o`.
unsigned char *expand32(__m256i v, std::uint32_t m, unsigned char *o) {
    const __m512i pairs = _mm512_or_si512(_mm512_slli_epi16(_mm512_cvtepu8_epi16(v), 8), _mm512_set1_epi16(cr));
    const __mmask64 keep = spread(m, 0x5555555555555555ull) | 0xAAAAAAAAAAAAAAAAull;
    _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, pairs));
    return o + 32 + __builtin_popcount(m);
}

struct avx512 {
    static constexpr std::size_t width = 64;
    static constexpr unsigned dense_from = 1;
    using reg = __m512i;
    static reg load(const unsigned char *p) { return _mm512_loadu_si512(p); }
    static void store(unsigned char *p, reg v) { _mm512_storeu_si512(p, v); }
    static reg splat(std::uint16_t pattern) { return _mm512_set1_epi16(static_cast<short>(pattern)); }
    static std::uint64_t equal(reg v, reg pattern) { return _mm512_cmpeq_epi8_mask(v, pattern); }
    static std::uint64_t unit_starts(std::uint64_t m) { return m & (m >> 1) & 0x5555555555555555ull; }
    static std::size_t first(std::uint64_t m) {
#if defined(__x86_64__)
        return _tzcnt_u64(m);
#else
        const unsigned low = _tzcnt_u32(static_cast<std::uint32_t>(m)); // 32 when none
        return low + (_tzcnt_u32(static_cast<std::uint32_t>(m >> 32)) & (0u - (low >> 5)));
#endif
    }
    template <bool ToDos>
    static unsigned char *dense(const unsigned char *, reg v, std::uint64_t m, unsigned char *o) {
        if constexpr (ToDos) {
            o = expand32(_mm512_castsi512_si256(v), static_cast<std::uint32_t>(m), o);
            return expand32(_mm512_extracti64x4_epi64(v, 1), static_cast<std::uint32_t>(m >> 32), o);
        } else {
            _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(~m, v));
            return o + 64 - __builtin_popcountll(m);
        }
    }
};

} // namespace

const kernel_set avx512_kernels = make_kernel_set<avx512>("avx512vbmi2", cpu_has_avx512_vbmi2);
