// The AVX-512 VBMI2 set: 64-byte vectors, every block taken without a
// branch. dos_to_unix keeps the non-CR bytes (units) of 64 with vpcompress;
// unix_to_dos places a block's bytes (units) among CRs with vpexpand, a
// part at a time.
#include <immintrin.h>

#include "converter/kernels_blocks.h"

namespace {

// Where a part's items go among its output slots. Each input item (byte or
// unit) has two slots, a CR slot taken only when the item is LF and its
// own; `m` holds the LFs, and the taken slots packed down (a bit extract)
// are the answer: a set bit for each item's own slot, a clear one for a CR.
std::uint32_t placed(std::uint32_t m) { return _pext_u32(0xAAAAAAAAu, _pdep_u32(m, 0x55555555u) | 0xAAAAAAAAu); }

// A part of the block, with LF mask `m`, into `o`: its bytes expanded to
// their places over a vector of CRs. 64-bit code takes 32 bytes a part;
// 32-bit code, whose bit deposits and extracts are 32 bits wide, 16.
#if defined(__x86_64__)
constexpr unsigned part = 32;
unsigned char *expand_part(const unsigned char *in, std::uint32_t m, unsigned char *o) {
    const std::uint64_t places = _pext_u64(0xAAAAAAAAAAAAAAAAull, _pdep_u64(m, 0x5555555555555555ull) | 0xAAAAAAAAAAAAAAAAull);
    _mm512_storeu_si512(o, _mm512_mask_expandloadu_epi8(_mm512_set1_epi8(cr), places, in));
    return o + part + __builtin_popcount(m);
}
#else
constexpr unsigned part = 16;
unsigned char *expand_part(const unsigned char *in, std::uint32_t m, unsigned char *o) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(o), _mm256_mask_expandloadu_epi8(_mm256_set1_epi8(cr), placed(m), in));
    return o + part + __builtin_popcount(m);
}
#endif

struct avx512 {
    static constexpr std::size_t width = 64;
    static constexpr unsigned dense_from = 1;
    using reg = __m512i;
    static reg load(const unsigned char *p) { return _mm512_loadu_si512(p); }
    static void store(unsigned char *p, reg v) { _mm512_storeu_si512(p, v); }
    static reg splat(std::uint16_t pattern) { return _mm512_set1_epi16(static_cast<short>(pattern)); }
    static std::uint64_t equal(reg v, reg pattern) { return _mm512_cmpeq_epi8_mask(v, pattern); }
    // unit_starts and first complete the contract; this set's own ways
    // below take every block, so the shared stores that use them never run.
    static std::uint64_t unit_starts(std::uint64_t m) { return m & (m >> 1) & 0x5555555555555555ull; }
    static std::size_t first(std::uint64_t m) { return m != 0 ? static_cast<std::size_t>(__builtin_ctzll(m)) : width; }
    template <bool ToDos>
    static unsigned char *dense(const unsigned char *b, reg v, std::uint64_t m, unsigned char *o) {
        if constexpr (ToDos) {
            for (unsigned k = 0; k < width / part; ++k)
                o = expand_part(b + part * k, static_cast<std::uint32_t>(m >> (part * k)) & ((2u << (part - 1)) - 1), o);
            return o;
        } else {
            _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(~m, v));
            return o + 64 - __builtin_popcountll(m);
        }
    }
    // UTF-16 the same way, a unit for a byte: 16 units a part (their slots
    // fill 32 bits), the CR unit the vector expanded over.
    template <bool ToDos>
    static unsigned char *dense_units(const unsigned char *, reg v, reg wanted, std::uint16_t cr_unit, unsigned char *o) {
        const std::uint32_t units = _mm512_cmpeq_epi16_mask(v, wanted);
        if constexpr (ToDos) {
            const __m512i crs = _mm512_set1_epi16(static_cast<short>(cr_unit));
            for (unsigned k = 0; k < 2; ++k) {
                const std::uint32_t part_units = (units >> (16 * k)) & 0xFFFF;
                const __m256i half = k == 0 ? _mm512_castsi512_si256(v) : _mm512_extracti64x4_epi64(v, 1);
                _mm512_storeu_si512(o, _mm512_mask_expand_epi16(crs, placed(part_units), _mm512_castsi256_si512(half)));
                o += 32 + 2 * __builtin_popcount(part_units);
            }
            return o;
        } else {
            _mm512_storeu_si512(o, _mm512_maskz_compress_epi16(~units, v));
            return o + 64 - 2 * __builtin_popcount(units);
        }
    }
};

} // namespace

const kernel_set avx512_kernels = make_kernel_set<avx512>("avx512vbmi2", cpu_has_avx512_vbmi2);
