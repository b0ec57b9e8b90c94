#include <gtest/gtest.h>

#include <string>

#include "converter/line_endings.h"
#include "tests/support/reference.h"

namespace {

const unsigned char *bytes(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

int detect(const std::string &s) { return detect_type_of(bytes(s), s.size()); }

// `n` filler bytes, then `tail`.
std::string at_offset(std::size_t n, const std::string &tail) { return std::string(n, 'x') + tail; }

} // namespace

TEST(Detect, OnlyAnExactCrLfPairInTheWindowMeansDos) {
    struct {
        std::string input;
        int type;
    } cases[] = {
        {"", type_unix},
        {"abc\r\n", type_dos},
        {"abc\n", type_unix},
        {"abc\r", type_unix},
        {"abc\n\r", type_unix},
        {"\r\r\r", type_unix},
        {"a\nb\nc\r\nd\n", type_dos},           // mixed: one pair is enough
        // With an LF in the window, only a pair that starts inside it counts.
        {"\n" + at_offset(1998, "\r\n"), type_dos},  // LF is byte 2,000, just past the window
        {"\n" + at_offset(1999, "\r\n"), type_unix}, // pair starts outside the window
        {"\n" + at_offset(5000, "\r\n") + "\r\n", type_unix},
        {at_offset(1999, "\r"), type_unix},           // CR last byte read: no partner
        // A first line longer than the window: the first pair anywhere in the read.
        {at_offset(2000, "\r\n"), type_dos},
        {at_offset(2500, "\r\nline2\r\n"), type_dos},
        {at_offset(2500, "\nline2\r\n"), type_dos},
        {at_offset(2500, "\rx\n\r"), type_unix},    // a lone CR, then LF CR: no evidence
        {at_offset(3000, ""), type_unix},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(detect(c.input), c.type) << testing::PrintToString(c.input.substr(0, 20));
        EXPECT_EQ(detected_type(c.input), c.type) << "the reference, on " << testing::PrintToString(c.input.substr(0, 20));
    }
}

// The reference itself, against cases worked out by hand: UNIX to DOS puts
// a CR before every LF (an existing CR is not looked at), DOS to UNIX drops
// every CR.
TEST(Reference, ConvertsAsWorkedOutByHand) {
    struct {
        std::string in, dos, unix_text;
    } cases[] = {
        {"", "", ""},
        {"a\nb\n", "a\r\nb\r\n", "a\nb\n"},
        {"a\r\nb", "a\r\r\nb", "a\nb"},
        {"abc", "abc", "abc"},
        {"\r", "\r", ""},
        {"a\rb", "a\rb", "ab"},
        {"\n\n\n", "\r\n\r\n\r\n", "\n\n\n"},
        {"\r\r\n", "\r\r\r\n", "\n"},
        {"a\n\r", "a\r\n\r", "a\n"},
        {std::string("\0\x1a\x80\xff\r\n", 6), std::string("\0\x1a\x80\xff\r\r\n", 7),
         std::string("\0\x1a\x80\xff\n", 5)},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(to_dos(c.in), c.dos) << testing::PrintToString(c.in);
        EXPECT_EQ(to_unix(c.in), c.unix_text) << testing::PrintToString(c.in);
    }
}

TEST(Reference, EveryByteOtherThanCrAndLfPassesUnchanged) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            all += static_cast<char>(b);
    EXPECT_EQ(to_dos(all), all);
    EXPECT_EQ(to_unix(all), all);
}
