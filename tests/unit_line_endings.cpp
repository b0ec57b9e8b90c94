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

TEST(Detect, AByteOrderMarkMakesUtf16AndItsUnitsAreLookedAt) {
    const std::string le_pair("\r\0\n\0", 4), be_pair("\0\r\0\n", 4);
    struct {
        std::string input;
        text_encoding encoding;
        int type;
    } cases[] = {
        {"", text_encoding::bytes, type_unix},
        {"\xFF", text_encoding::bytes, type_unix},
        {"\xFF\xFE", text_encoding::utf16le, type_unix},
        {"\xFF\xFE" + le_pair, text_encoding::utf16le, type_dos},
        {"\xFE\xFF" + be_pair, text_encoding::utf16be, type_dos},
        {"\xFE\xFF" + le_pair, text_encoding::utf16be, type_unix},     // the other order's pair: no units CR, LF
        {"\xFF\xFE" + std::string("x") + le_pair, text_encoding::utf16le, type_unix}, // pair off the unit grid
        {"\xFF\xFE" + std::string("\r\n", 2), text_encoding::utf16le, type_unix},   // a unit, not a pair
        {"\xFF\xFE\0", text_encoding::utf16le, type_unix},
        {std::string("\xFF\xFE\0\0", 4), text_encoding::utf32, type_unix},
        {std::string("\0\0\xFE\xFF", 4), text_encoding::utf32, type_unix},
        // A first line longer than the window, in units.
        {utf16(std::string(1500, 'x') + "\r\n", false), text_encoding::utf16le, type_dos},
        {utf16("\n" + std::string(999, 'x') + "\r\n", true), text_encoding::utf16be, type_unix}, // pair at byte 2,002
        {utf16("\n" + std::string(997, 'x') + "\r\n", true), text_encoding::utf16be, type_dos},  // pair at byte 1,998
    };
    for (const auto &c : cases) {
        const auto e = encoding_of(bytes(c.input), c.input.size());
        const std::string label = testing::PrintToString(c.input.substr(0, 8));
        EXPECT_EQ(e, c.encoding) << label;
        EXPECT_EQ(detect_type_of(bytes(c.input), c.input.size(), e), c.type) << label;
        if (e == text_encoding::utf16le || e == text_encoding::utf16be)
            EXPECT_EQ(detected_type(c.input, 2, e == text_encoding::utf16be), c.type) << "the reference, " << label;
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
        for (bool big : {false, true}) { // the same text in UTF-16 units, an odd last byte passing alone
            const std::string in = utf16(c.in, big).substr(2) + "\r";
            EXPECT_EQ(converted(in, true, 2, big), utf16(c.dos, big).substr(2) + "\r") << testing::PrintToString(c.in);
            EXPECT_EQ(converted(in, false, 2, big), utf16(c.unix_text, big).substr(2) + "\r") << testing::PrintToString(c.in);
        }
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
