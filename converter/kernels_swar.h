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

// A word with a hit goes byte by byte without branches: each byte is stored
// with its CR already in front as one 16-bit store, and the next place
// depends on the one before only through a single add.
inline unsigned char *unix_to_dos_word(const unsigned char *in, unsigned char *o) {
    std::uint64_t w;
    std::memcpy(&w, in, 8);
    if (byte_flags(w, lf) == 0) {
        std::memcpy(o, in, 8);
        return o + 8;
    }
    for (unsigned i = 0; i < 8; ++i) {
        auto c = static_cast<unsigned char>(w >> (8 * i));
        bool is_lf = c == lf;
        // Little-endian: CR then LF; for any other byte the second half is
        // overwritten by the next store.
        auto pair = static_cast<std::uint16_t>(is_lf ? (lf << 8 | cr) : c);
        std::memcpy(o, &pair, 2);
        o += 1 + is_lf;
    }
    return o;
}

// Every byte is stored; the place moves on only past a kept one.
inline unsigned char *dos_to_unix_word(const unsigned char *in, unsigned char *o) {
    std::uint64_t w;
    std::memcpy(&w, in, 8);
    if (byte_flags(w, cr) == 0) {
        std::memcpy(o, in, 8);
        return o + 8;
    }
    for (unsigned i = 0; i < 8; ++i) {
        auto c = static_cast<unsigned char>(w >> (8 * i));
        *o = c;
        o += c != cr;
    }
    return o;
}
