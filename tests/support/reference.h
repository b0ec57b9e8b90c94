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

// The type detection gives for the bytes of its one read: 2 (DOS) when a CR
// LF pair starts in the first 2,000 bytes, or anywhere in the read when
// those 2,000 hold no LF; 1 (UNIX) otherwise.
inline int detected_type(const std::string &read) {
    const std::size_t window = read.size() < 2000 ? read.size() : 2000;
    const std::size_t limit = read.substr(0, window).find('\n') == std::string::npos ? read.size() : window;
    for (std::size_t i = 0; i < limit; ++i)
        if (read[i] == '\r' && i + 1 < read.size() && read[i + 1] == '\n')
            return 2;
    return 1;
}
