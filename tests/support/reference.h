// The tool's meaning byte by byte, the one oracle every test compares with:
// slow and obvious on purpose.
#pragma once

#include <cstddef>
#include <string>

// A CR before every LF; `out` holds 2 x n bytes.
inline std::size_t reference_unix_to_dos(const unsigned char *in, std::size_t n, unsigned char *out) {
    std::size_t used = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (in[i] == '\n')
            out[used++] = '\r';
        out[used++] = in[i];
    }
    return used;
}

// Every CR dropped.
inline std::size_t reference_dos_to_unix(const unsigned char *in, std::size_t n, unsigned char *out) {
    std::size_t used = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (in[i] != '\r')
            out[used++] = in[i];
    return used;
}

// UTF-16 text, unit by unit: each two bytes from the start are a unit (the
// first is the low byte unless `big`); an odd last byte passes alone.
inline unsigned reference_unit(const unsigned char *p, bool big) { return big ? p[0] << 8 | p[1] : p[1] << 8 | p[0]; }

// A CR unit before every LF unit; `out` holds 2 x n bytes.
inline std::size_t reference_unix_to_dos_utf16(const unsigned char *in, std::size_t n, unsigned char *out, bool big) {
    std::size_t used = 0, i = 0;
    for (; i + 1 < n; i += 2) {
        if (reference_unit(in + i, big) == '\n') {
            out[used++] = big ? 0 : '\r';
            out[used++] = big ? '\r' : 0;
        }
        out[used++] = in[i];
        out[used++] = in[i + 1];
    }
    if (i < n)
        out[used++] = in[i];
    return used;
}

// Every CR unit dropped.
inline std::size_t reference_dos_to_unix_utf16(const unsigned char *in, std::size_t n, unsigned char *out, bool big) {
    std::size_t used = 0, i = 0;
    for (; i + 1 < n; i += 2)
        if (reference_unit(in + i, big) != '\r') {
            out[used++] = in[i];
            out[used++] = in[i + 1];
        }
    if (i < n)
        out[used++] = in[i];
    return used;
}

// The UTF-16 rule over a whole text, toward DOS or toward UNIX.
inline std::string converted_utf16(const std::string &s, bool big, bool toward_dos) {
    std::string r(2 * s.size(), '\0');
    const auto *in = reinterpret_cast<const unsigned char *>(s.data());
    auto *out = reinterpret_cast<unsigned char *>(r.data());
    r.resize(toward_dos ? reference_unix_to_dos_utf16(in, s.size(), out, big)
                        : reference_dos_to_unix_utf16(in, s.size(), out, big));
    return r;
}

// ASCII `text` as UTF-16 with its byte-order mark.
inline std::string utf16(const std::string &text, bool big) {
    std::string r = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text)
        r += big ? std::string{'\0', c} : std::string{c, '\0'};
    return r;
}

inline std::string to_dos(const std::string &s) {
    std::string r;
    for (char c : s) {
        if (c == '\n')
            r += '\r';
        r += c;
    }
    return r;
}

inline std::string to_unix(const std::string &s) {
    std::string r;
    for (char c : s)
        if (c != '\r')
            r += c;
    return r;
}

// The type detection gives for the bytes of its one read (or, in UTF-16,
// for its units): 2 (DOS) when a CR
// LF pair starts in the first 2,000 bytes, or anywhere in the read when
// those 2,000 hold no LF; 1 (UNIX) otherwise.
inline int detected_type_utf16(const std::string &read, bool big) {
    const auto *p = reinterpret_cast<const unsigned char *>(read.data());
    const std::size_t window = read.size() < 2000 ? read.size() : 2000;
    std::size_t limit = read.size();
    for (std::size_t i = 0; i + 2 <= window; i += 2)
        if (reference_unit(p + i, big) == '\n')
            limit = window;
    for (std::size_t i = 0; i < limit && i + 4 <= read.size(); i += 2)
        if (reference_unit(p + i, big) == '\r' && reference_unit(p + i + 2, big) == '\n')
            return 2;
    return 1;
}

inline int detected_type(const std::string &read) {
    const std::size_t window = read.size() < 2000 ? read.size() : 2000;
    const std::size_t limit = read.substr(0, window).find('\n') == std::string::npos ? read.size() : window;
    for (std::size_t i = 0; i < limit; ++i)
        if (read[i] == '\r' && i + 1 < read.size() && read[i + 1] == '\n')
            return 2;
    return 1;
}
