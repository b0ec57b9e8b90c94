// Vector kernels for x86-64, each compiled for its own target so that one
// executable runs on any x86-64; converter/kernels.cpp lists them and picks
// the best the CPU offers.
#include <immintrin.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "converter/kernels.h"
#include "converter/kernels_swar.h"

namespace x86 {

// ---- SSE2 (every x86-64): skip 16-byte blocks without a hit -------------

std::size_t unix_to_dos_sse2(const unsigned char *in, std::size_t n, unsigned char *out) {
    unsigned char *o = out;
    std::size_t i = 0;
    const __m128i lfs = _mm_set1_epi8(static_cast<char>(lf));
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, lfs)) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o), v);
            o += 16;
        } else {
            o = unix_to_dos_word(in + i + 8, unix_to_dos_word(in + i, o));
        }
    }
    return static_cast<std::size_t>(o - out) + unix_to_dos_portable(in + i, n - i, o);
}

std::size_t dos_to_unix_sse2(const unsigned char *in, std::size_t n, unsigned char *out) {
    unsigned char *o = out;
    std::size_t i = 0;
    const __m128i crs = _mm_set1_epi8(static_cast<char>(cr));
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, crs)) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o), v);
            o += 16;
        } else {
            o = dos_to_unix_word(in + i + 8, dos_to_unix_word(in + i, o));
        }
    }
    return static_cast<std::size_t>(o - out) + dos_to_unix_portable(in + i, n - i, o);
}

bool has_sse2() { return true; }

// ---- AVX2: 32-byte blocks; a block with hits goes 8 bytes at a time ------
// through shuffle tables indexed by the 8-bit hit mask.

struct shuffle_tables {
    // unix_to_dos: source index per output byte (the LF's own index in the
    // CR's slot), and 0x0D - 0x0A at the CR slots to turn that copy into CR.
    alignas(16) std::array<std::array<std::uint8_t, 16>, 256> expand;
    alignas(16) std::array<std::array<std::uint8_t, 16>, 256> expand_fix;
    // dos_to_unix: the kept bytes' indexes, packed to the front.
    alignas(16) std::array<std::array<std::uint8_t, 16>, 256> compact;
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

__attribute__((target("avx2,bmi2,popcnt"))) std::size_t unix_to_dos_avx2(const unsigned char *in, std::size_t n,
                                                                         unsigned char *out) {
    unsigned char *o = out;
    std::size_t i = 0;
    const __m256i lfs = _mm256_set1_epi8(static_cast<char>(lf));
    for (; i + 32 <= n; i += 32) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i));
        auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, lfs)));
        if (mask == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(o), v);
            o += 32;
            continue;
        }
        for (unsigned g = 0; g < 4; ++g) {
            unsigned m = (mask >> (8 * g)) & 0xFF;
            __m128i src = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + i + 8 * g));
            __m128i r = _mm_shuffle_epi8(src, _mm_load_si128(reinterpret_cast<const __m128i *>(tables.expand[m].data())));
            r = _mm_add_epi8(r, _mm_load_si128(reinterpret_cast<const __m128i *>(tables.expand_fix[m].data())));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o), r);
            o += 8 + std::popcount(m);
        }
    }
    return static_cast<std::size_t>(o - out) + unix_to_dos_portable(in + i, n - i, o);
}

__attribute__((target("avx2,bmi2,popcnt"))) std::size_t dos_to_unix_avx2(const unsigned char *in, std::size_t n,
                                                                         unsigned char *out) {
    unsigned char *o = out;
    std::size_t i = 0;
    const __m256i crs = _mm256_set1_epi8(static_cast<char>(cr));
    for (; i + 32 <= n; i += 32) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i));
        auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, crs)));
        if (mask == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(o), v);
            o += 32;
            continue;
        }
        for (unsigned g = 0; g < 4; ++g) {
            unsigned m = (mask >> (8 * g)) & 0xFF;
            __m128i src = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + i + 8 * g));
            __m128i r = _mm_shuffle_epi8(src, _mm_load_si128(reinterpret_cast<const __m128i *>(tables.compact[m].data())));
            _mm_storel_epi64(reinterpret_cast<__m128i *>(o), r);
            o += 8 - std::popcount(m);
        }
    }
    return static_cast<std::size_t>(o - out) + dos_to_unix_portable(in + i, n - i, o);
}

// Every feature the target string enables is tested.
bool has_avx2() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}

// ---- AVX-512 VBMI2: vpcompressb does the work --------------------------
// dos_to_unix keeps the non-CR bytes of 64. unix_to_dos widens 32 bytes to
// (CR, byte) pairs and keeps each pair's CR only where the byte is LF: the
// keep mask is the LF mask spread to the even bits, every odd bit set.

#define LFSWAP_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi2,popcnt")))

// 32 bytes `v` with LF mask `m` (only `valid` bytes real) into `o`.
LFSWAP_AVX512 inline unsigned char *expand32(__m256i v, std::uint32_t m, std::uint32_t valid, unsigned char *o) {
    __m512i pairs = _mm512_or_si512(_mm512_slli_epi16(_mm512_cvtepu8_epi16(v), 8), _mm512_set1_epi16(cr));
    __mmask64 keep = _pdep_u64(m, 0x5555555555555555ull) | _pdep_u64(valid, 0xAAAAAAAAAAAAAAAAull);
    _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, pairs));
    return o + std::popcount(valid) + std::popcount(m);
}

LFSWAP_AVX512 std::size_t unix_to_dos_avx512(const unsigned char *in, std::size_t n, unsigned char *out) {
    unsigned char *o = out;
    std::size_t i = 0;
    const __m512i lfs = _mm512_set1_epi8(static_cast<char>(lf));
    for (; i + 64 <= n; i += 64) {
        __m512i v = _mm512_loadu_si512(in + i);
        std::uint64_t m = _mm512_cmpeq_epi8_mask(v, lfs);
        if (m == 0) {
            _mm512_storeu_si512(o, v);
            o += 64;
            continue;
        }
        o = expand32(_mm512_castsi512_si256(v), static_cast<std::uint32_t>(m), ~0u, o);
        o = expand32(_mm512_extracti64x4_epi64(v, 1), static_cast<std::uint32_t>(m >> 32), ~0u, o);
    }
    for (; i < n; i += 32) {
        std::size_t left = n - i < 32 ? n - i : 32;
        __mmask32 valid = static_cast<__mmask32>(left == 32 ? ~0u : (1u << left) - 1);
        __m256i v = _mm256_maskz_loadu_epi8(valid, in + i);
        std::uint32_t m = _mm256_mask_cmpeq_epi8_mask(valid, v, _mm512_castsi512_si256(lfs));
        o = expand32(v, m, valid, o);
    }
    return static_cast<std::size_t>(o - out);
}

LFSWAP_AVX512 std::size_t dos_to_unix_avx512(const unsigned char *in, std::size_t n, unsigned char *out) {
    unsigned char *o = out;
    std::size_t i = 0;
    const __m512i crs = _mm512_set1_epi8(static_cast<char>(cr));
    for (; i + 64 <= n; i += 64) {
        __m512i v = _mm512_loadu_si512(in + i);
        __mmask64 keep = _mm512_cmpneq_epi8_mask(v, crs);
        _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, v));
        o += std::popcount(static_cast<std::uint64_t>(keep));
    }
    if (i < n) {
        __mmask64 valid = (1ull << (n - i)) - 1;
        __m512i v = _mm512_maskz_loadu_epi8(valid, in + i);
        __mmask64 keep = _mm512_mask_cmpneq_epi8_mask(valid, v, crs);
        _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, v));
        o += std::popcount(static_cast<std::uint64_t>(keep));
    }
    return static_cast<std::size_t>(o - out);
}

bool has_avx512_vbmi2() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi2") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}

} // namespace x86
