// Line-ending detection and the two converters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "converter/run_context.h"

inline constexpr int type_unix = 1; // lines end in LF
inline constexpr int type_dos = 2;  // lines end in CR LF

inline constexpr unsigned char cr = 0x0D;
inline constexpr unsigned char lf = 0x0A;

// The bytes of one unit of text: 2 in UTF-16, 1 otherwise.
inline std::size_t unit_bytes(text_encoding e) {
    return e == text_encoding::utf16le || e == text_encoding::utf16be ? 2 : 1;
}

// The unit at `p`: a byte, or a UTF-16 unit in its byte order.
inline unsigned unit_at(const unsigned char *p, text_encoding e) {
    switch (e) {
    case text_encoding::utf16le: return p[0] | unsigned(p[1]) << 8;
    case text_encoding::utf16be: return unsigned(p[0]) << 8 | p[1];
    default: return p[0];
    }
}

// What the first bytes say: FF FE is UTF-16LE and FE FF UTF-16BE, except
// FF FE 00 00 and 00 00 FE FF, which are UTF-32; anything else is bytes.
text_encoding encoding_of(const unsigned char *bytes, std::size_t n);

// Reads one chunk from run.in_handle into run.in_buf, sets run.encoding,
// and answers type_dos when a CR LF pair starts in its first 2,000 bytes
// (or anywhere in the chunk when those 2,000 bytes hold no LF at all),
// type_unix otherwise; in UTF-16 the CR, the LF and the pair are units.
// The input's position is left after what was read.
int detect_type();
int detect_type_of(const unsigned char *bytes, std::size_t n, text_encoding encoding = text_encoding::bytes);

// Convert the first `length` bytes of run.in_buf into run.out_buf, add to
// run.out_count (which the caller has zeroed) and write the result to
// run.out_handle. Byte text is converted byte by byte, UTF-16 text unit by
// unit (run.encoding says which; never UTF-32). Return what write_chunk returns.
std::uint32_t unix_to_dos(std::int32_t length);
std::uint32_t dos_to_unix(std::int32_t length);
