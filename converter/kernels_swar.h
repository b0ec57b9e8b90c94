// Eight bytes at a time in a plain 64-bit register: the portable kernels'
// step, and the vector kernels' way with a block that holds a hit.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "converter/line_endings.h"

static_assert(std::endian::native == std::endian::little, "byte i of a word is bits 8i..8i+7");

inline constexpr std::uint64_t ones = 0x0101010101010101ull;

// 0x01 in every byte of `w` that equals `b`, 0 elsewhere (exact per byte).
inline std::uint64_t byte_flags(std::uint64_t w, unsigned char b) {
    std::uint64_t x = w ^ (ones * b);
    std::uint64_t nonzero = ((x & 0x7F7F7F7F7F7F7F7Full) + 0x7F7F7F7F7F7F7F7Full) | x;
    return (~nonzero >> 7) & ones;
}

// Byte i of the product is the sum of the flags of bytes 0..i. Every byte i
// then goes to its own place, worked out without a chain from the one
// before, so the stores can all be in flight at once.
inline unsigned char *unix_to_dos_word(const unsigned char *in, unsigned char *o) {
    std::uint64_t w;
    std::memcpy(&w, in, 8);
    std::uint64_t h = byte_flags(w, lf);
    if (h == 0) {
        std::memcpy(o, in, 8);
        return o + 8;
    }
    std::uint64_t upto = h * ones;
    for (unsigned i = 0; i < 8; ++i) {
        unsigned at = i + unsigned((upto >> (8 * i)) & 0xFF);
        o[at - unsigned((h >> (8 * i)) & 1)] = cr; // for a non-LF byte, overwritten next
        o[at] = static_cast<unsigned char>(w >> (8 * i));
    }
    return o + 8 + (upto >> 56);
}

// A CR is written at the place of the next kept byte, which overwrites it.
inline unsigned char *dos_to_unix_word(const unsigned char *in, unsigned char *o) {
    std::uint64_t w;
    std::memcpy(&w, in, 8);
    std::uint64_t h = byte_flags(w, cr);
    if (h == 0) {
        std::memcpy(o, in, 8);
        return o + 8;
    }
    std::uint64_t upto = h * ones;
    std::uint64_t before = upto - h; // CRs in bytes 0..i-1
    for (unsigned i = 0; i < 8; ++i)
        o[i - unsigned((before >> (8 * i)) & 0xFF)] = static_cast<unsigned char>(w >> (8 * i));
    return o + 8 - (upto >> 56);
}
