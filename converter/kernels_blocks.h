// The one conversion algorithm of every kernel set, written once over the
// set's vector, the text's unit and the direction. Each set's file includes
// it and compiles it for its own instruction set, so everything here has
// internal linkage: a copy built for AVX2 must never stand in for another
// set's (and for the same reason no std:: function is called from here).
//
// A block of V::width input bytes is stored as it is, then its first hit
// is dealt with in place: the run after the hit is copied with one whole
// vector loaded from the input there and stored where the run belongs, and
// the CR is put in front (unix_to_dos) or left out (dos_to_unix). The
// vector stored for the run spills past it, and the next block's store
// overwrites the spill. This takes no branch that depends on the text: a
// hit that is not there is a phantom past the block's end, whose stores
// land where the next block's output will overwrite them, since a
// mispredicted branch per line end costs more than all the rest (a real
// file's line ends cannot be learnt; a benchmark's repeated chunk can).
// Only a block with more than one hit branches: to the set's way with
// dense hits from V::dense_from of them on, else to a loop over its hits.
// (Whether a second hit taken the same way, phantom or not, pays for its
// stores depends on the CPU: the README's speed section has the figures
// that kept one.)
//
// What is shared, then: every set runs the block loop and the tail. The
// SSE2 and AVX2 sets run the stores above for both texts, and take their
// own `dense` only for byte blocks of many hits. The portable set hands
// every byte block to its own `dense` (a word's bytes placed one by one)
// and shares the stores for UTF-16. The AVX-512 set hands every block of
// either text to its own way (vpexpand, vpcompress), which is faster
// there than any store pattern.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "converter/kernels.h"
#include "converter/line_endings.h"

namespace {

// A unit of text: a byte, or a UTF-16 unit in either byte order.
template <unsigned Bytes, bool Big>
struct text_unit {
    static constexpr unsigned bytes = Bytes;
    // The unit holding `code`, read as a little-endian number: two copies
    // of it for byte text, so that a V can compare bytes against either.
    static constexpr std::uint16_t pattern(unsigned char code) {
        return static_cast<std::uint16_t>(Bytes == 1 ? code * 0x0101u : Big ? code << 8 : code);
    }
    static unsigned code_at(const unsigned char *p) {
        return Bytes == 1 ? p[0] : Big ? p[1] | p[0] << 8 : p[0] | p[1] << 8;
    }
    static void put(unsigned char *p, unsigned char code) {
        if constexpr (Bytes == 1) {
            p[0] = code;
        } else {
            const std::uint16_t unit = pattern(code);
            std::memcpy(p, &unit, 2);
        }
    }
};

// Fewer than two blocks are left: unit by unit, then an odd last byte.
template <class U, bool ToDos>
unsigned char *convert_tail(const unsigned char *in, std::size_t n, unsigned char *o) {
    std::size_t i = 0;
    for (; i + U::bytes <= n; i += U::bytes) {
        const unsigned code = U::code_at(in + i);
        if (ToDos && code == lf) {
            U::put(o, cr);
            o += U::bytes;
        }
        if (ToDos || code != cr) {
            std::memcpy(o, in + i, U::bytes);
            o += U::bytes;
        }
    }
    if (i < n)
        *o++ = in[i];
    return o;
}

// Has `m` at least `k` bits set? Cheaper than a count without POPCNT.
template <unsigned k, class M>
bool at_least(M m) {
    for (unsigned i = 1; i < k; ++i)
        m &= m - 1;
    return m != 0;
}

// What a set's vector V supplies: width; reg; load(p) and store(p, v),
// unaligned; splat(p), the 16-bit pattern p in every two bytes; equal(v,
// pattern), a mask of the bytes of v equal to the pattern's byte in their
// place; unit_starts(m), the hits of m whose unit's two bytes both hit;
// first(m), the byte index of the lowest hit or, without a branch, w when m
// has none (a phantom: its stores land past the block's output, its loads
// within the two blocks and two units read ahead); and dense_from (1: every
// block of byte text; k: blocks with k hits or more) with dense<ToDos>(block,
// v, m, o), which answers o + the bytes written.
template <class V>
concept block_vector = requires(const unsigned char *in, unsigned char *o, typename V::reg v, std::uint16_t p) {
    requires V::width >= 8 && V::dense_from >= 1;
    { V::load(in) } -> std::same_as<typename V::reg>;
    V::store(o, v);
    { V::splat(p) } -> std::same_as<typename V::reg>;
    { V::unit_starts(V::equal(v, v)) } -> std::same_as<decltype(V::equal(v, v))>;
    { V::first(V::equal(v, v)) } -> std::same_as<std::size_t>;
    { V::template dense<true>(in, v, V::equal(v, v), o) } -> std::same_as<unsigned char *>;
    { V::template dense<false>(in, v, V::equal(v, v), o) } -> std::same_as<unsigned char *>;
};

// A set may also take every block of UTF-16 text its own way:
// dense_units<ToDos>(block, v, wanted, cr_unit, o), given the unit it looks
// for in every unit of a vector (as V::splat makes it) and the CR unit (as
// U::pattern gives it).
template <class V, bool ToDos>
concept dense_units = requires(const unsigned char *in, unsigned char *o, typename V::reg v, std::uint16_t p) {
    { V::template dense_units<ToDos>(in, v, v, p, o) } -> std::same_as<unsigned char *>;
};

template <block_vector V, class U, bool ToDos>
std::size_t convert_blocks(const unsigned char *in, std::size_t n, unsigned char *out) {
    constexpr std::size_t w = V::width, u = U::bytes;
    constexpr bool dense_text = U::bytes == 1;
    const auto wanted = V::splat(U::pattern(ToDos ? lf : cr));
    unsigned char *o = out;
    const unsigned char *b = in;
    // Every block that has two blocks and two units after it to read.
    const std::size_t blocks = n >= 2 * w + 2 * u ? (n - 2 * w - 2 * u) / w + 1 : 0;
    for (const unsigned char *const end = in + blocks * w; b != end; b += w) {
        const typename V::reg v = V::load(b);
        if constexpr (dense_text && V::dense_from == 1) { // every block to the set's own way
            o = V::template dense<ToDos>(b, v, V::equal(v, wanted), o);
            continue;
        } else if constexpr (!dense_text && dense_units<V, ToDos>) {
            o = V::template dense_units<ToDos>(b, v, wanted, U::pattern(cr), o);
            continue;
        }
        auto m = V::equal(v, wanted);
        if constexpr (u == 2)
            m = V::unit_starts(m);
        V::store(o, v);
        std::ptrdiff_t shift = 0; // output place minus input place, for the run after the hit
        if (at_least<2>(m)) {
            if constexpr (dense_text)
                if (at_least<V::dense_from>(m)) {
                    o = V::template dense<ToDos>(b, v, m, o);
                    continue;
                }
            do {
                const std::size_t j = V::first(m);
                m &= m - 1;
                if constexpr (ToDos) {
                    U::put(o + static_cast<std::ptrdiff_t>(j) + shift, cr);
                    shift += u;
                    V::store(o + static_cast<std::ptrdiff_t>(j) + shift, V::load(b + j));
                } else {
                    shift -= u;
                    V::store(o + static_cast<std::ptrdiff_t>(j + u) + shift, V::load(b + j + u));
                }
            } while (m != 0);
        } else {
            const std::size_t j = V::first(m); // w for a phantom
            const std::ptrdiff_t real = static_cast<std::ptrdiff_t>(m != 0) * static_cast<std::ptrdiff_t>(u);
            if constexpr (ToDos) {
                U::put(o + static_cast<std::ptrdiff_t>(j), cr);
                V::store(o + static_cast<std::ptrdiff_t>(j + u), V::load(b + j));
                shift = real;
            } else {
                // The run after the CR goes where the CR was; a phantom's
                // lands where the next block's store overwrites it.
                V::store(o + static_cast<std::ptrdiff_t>(j), V::load(b + j + u));
                shift = -real;
            }
        }
        o += static_cast<std::ptrdiff_t>(w) + shift;
    }
    return static_cast<std::size_t>(convert_tail<U, ToDos>(b, n - static_cast<std::size_t>(b - in), o) - out);
}

// A set's table: the algorithm for each text and direction.
template <block_vector V>
constexpr kernel_set make_kernel_set(const char *name, bool (*supported)()) {
    using bytes = text_unit<1, false>;
    using le = text_unit<2, false>;
    using be = text_unit<2, true>;
    return {name,
            supported,
            {convert_blocks<V, bytes, true>, convert_blocks<V, le, true>, convert_blocks<V, be, true>},
            {convert_blocks<V, bytes, false>, convert_blocks<V, le, false>, convert_blocks<V, be, false>}};
}

} // namespace
