// Eight bytes at a time in a plain 64-bit register: the portable set's
// vector, and the SSE2 set's way with dense hits. Internal linkage, like
// everything the sets' files share (see kernels_blocks.h).
#pragma once

#include <cstdint>
#include <cstring>

#include "converter/line_endings.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "byte i of a word is bits 8i..8i+7");

namespace {

constexpr std::uint64_t ones = 0x0101010101010101ull;

// 0x01 in every byte of `x` that is zero, 0 elsewhere (exact per byte).
inline std::uint64_t zero_bytes(std::uint64_t x) {
    std::uint64_t nonzero = ((x & 0x7F7F7F7F7F7F7F7Full) + 0x7F7F7F7F7F7F7F7Full) | x;
    return (~nonzero >> 7) & ones;
}

// 0x01 in every byte of `w` that equals `b`.
inline std::uint64_t byte_flags(std::uint64_t w, unsigned char b) { return zero_bytes(w ^ (ones * b)); }

// A word `w` with hits `lfs` (0x01 per LF byte): every byte's place in the
// output is worked out for all eight at once with one multiply (a running
// count of hits per byte), then the bytes are stored at their places. The
// places go through a volatile word on the stack on purpose: a byte load
// each is cheaper than the shift and mask that would take them out of a
// register, and it keeps the compiler from doing just that.
inline unsigned char *unix_to_dos_hits(std::uint64_t w, std::uint64_t lfs, unsigned char *o) {
    // Sixteen CRs first: every byte then goes to its place (k plus the LFs
    // in bytes 0..k), and the gaps left in front of the LFs are those CRs.
    const std::uint64_t crs = ones * cr;
    std::memcpy(o, &crs, 8);
    std::memcpy(o + 8, &crs, 8);
    std::uint64_t lfs_up_to = lfs * ones; // byte k: LFs in bytes 0..k (at most 8, no carry)
    volatile std::uint64_t places = lfs_up_to + 0x0706050403020100ull;
    const volatile unsigned char *place = reinterpret_cast<const volatile unsigned char *>(&places);
#pragma GCC unroll 8
    for (unsigned k = 0; k < 8; ++k)
        o[place[k]] = static_cast<unsigned char>(w >> (8 * k));
    return o + 8 + (lfs_up_to >> 56);
}

inline unsigned char *dos_to_unix_hits(std::uint64_t w, std::uint64_t crs, unsigned char *o) {
    std::uint64_t kept_up_to = (ones - crs) * ones; // byte k: kept bytes in 0..k
    volatile std::uint64_t places = kept_up_to << 8; // byte k: kept bytes before k
    const volatile unsigned char *place = reinterpret_cast<const volatile unsigned char *>(&places);
    // Each byte pair whose first byte is a CR has its second byte moved
    // down, so a pair goes out as one 16-bit store at its first byte's
    // place; a byte that is not kept there is overwritten by the next store
    // or lies past the end.
    std::uint64_t first_cr = (crs & 0x0001000100010001ull) * 0xFFFF;
    std::uint64_t pairs = (w & ~first_cr) | ((w >> 8) & first_cr & 0x00FF00FF00FF00FFull);
#pragma GCC unroll 4
    for (unsigned j = 0; j < 4; ++j) {
        auto pair = static_cast<std::uint16_t>(pairs >> (16 * j));
        std::memcpy(o + place[2 * j], &pair, 2);
    }
    return o + (kept_up_to >> 56);
}

// Eight bytes of byte text converted into `o`; answers o + the bytes written.
template <bool ToDos>
unsigned char *convert_word(const unsigned char *in, unsigned char *o) {
    std::uint64_t w;
    std::memcpy(&w, in, 8);
    const std::uint64_t hits = byte_flags(w, ToDos ? lf : cr);
    if (hits == 0) {
        std::memcpy(o, in, 8);
        return o + 8;
    }
    return ToDos ? unix_to_dos_hits(w, hits, o) : dos_to_unix_hits(w, hits, o);
}

// The portable set's vector: a 64-bit word, its mask a 0x01 per hit byte.
struct swar {
    static constexpr std::size_t width = 8;
    static constexpr unsigned dense_from = 1;
    using reg = std::uint64_t;
    static reg load(const unsigned char *p) {
        reg w;
        std::memcpy(&w, p, 8);
        return w;
    }
    static void store(unsigned char *p, reg w) { std::memcpy(p, &w, 8); }
    static reg splat(std::uint16_t pattern) { return 0x0001000100010001ull * pattern; }
    static reg equal(reg w, reg pattern) { return zero_bytes(w ^ pattern); }
    static reg unit_starts(reg m) { return m & (m >> 8) & 0x0001000100010001ull; }
    // Hits are bits 8k; bit 63 never is one, and stands for the phantom 8.
    static std::size_t first(reg m) { return static_cast<std::size_t>(__builtin_ctzll(m | 1ull << 63) + 1) >> 3; }
    template <bool ToDos>
    static unsigned char *dense(const unsigned char *b, reg, reg, unsigned char *o) {
        return convert_word<ToDos>(b, o);
    }
};

} // namespace
