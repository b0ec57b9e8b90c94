// The tool's meaning unit by unit, the one oracle every test compares with:
// slow and obvious on purpose, and written from the rules, not from the
// tool's loops.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The units of `text` from its start: bytes (`unit` 1), or UTF-16 units of
// two bytes, the first the low one unless `big`. An odd last byte of UTF-16
// text is no unit (rest: it passes alone).
inline std::vector<unsigned> units_of(const std::string &text, unsigned unit, bool big, std::string *rest = nullptr) {
    std::vector<unsigned> u;
    std::size_t i = 0;
    for (; i + unit <= text.size(); i += unit) {
        const auto a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(text[i + unit - 1]);
        u.push_back(unit == 1 ? a : big ? a << 8 | b : b << 8 | a);
    }
    if (rest != nullptr)
        *rest = text.substr(i);
    return u;
}

// `text` converted: toward DOS a CR unit goes before every LF unit, toward
// UNIX every CR unit is dropped; all else passes as it is.
inline std::string converted(const std::string &text, bool toward_dos, unsigned unit = 1, bool big = false) {
    std::string rest, out;
    const auto put = [&](unsigned code) {
        if (unit == 1)
            out += static_cast<char>(code);
        else
            out += big ? std::string{char(code >> 8), char(code & 0xFF)} : std::string{char(code & 0xFF), char(code >> 8)};
    };
    for (unsigned code : units_of(text, unit, big, &rest)) {
        if (toward_dos && code == '\n')
            put('\r');
        if (toward_dos || code != '\r')
            put(code);
    }
    return out + rest;
}
inline std::string to_dos(const std::string &s) { return converted(s, true); }
inline std::string to_unix(const std::string &s) { return converted(s, false); }

// The type that detection gives for the bytes of its one read, in units as
// above: 2 (DOS) when a CR LF pair starts in the first 2,000 bytes, or
// anywhere in the read when those 2,000 hold no LF; 1 (UNIX) otherwise.
inline int detected_type(const std::string &read, unsigned unit = 1, bool big = false) {
    const std::vector<unsigned> u = units_of(read, unit, big);
    bool lf_in_window = false, pair_in_window = false, pair_anywhere = false;
    for (std::size_t k = 0; k < u.size(); ++k) {
        const std::size_t at = k * unit;
        const bool pair = u[k] == '\r' && k + 1 < u.size() && u[k + 1] == '\n';
        lf_in_window = lf_in_window || (u[k] == '\n' && at + unit <= 2000);
        pair_in_window = pair_in_window || (pair && at < 2000);
        pair_anywhere = pair_anywhere || pair;
    }
    return pair_in_window || (pair_anywhere && !lf_in_window) ? 2 : 1;
}

// ASCII `text` as UTF-16 with its byte-order mark.
inline std::string utf16(const std::string &text, bool big) {
    std::string r = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text)
        r += big ? std::string{'\0', c} : std::string{c, '\0'};
    return r;
}
