// File names as users give them: odd ones, long ones, and ones that the
// Windows code page cannot hold.
#include <gtest/gtest.h>

#include "tests/support/tool_run.h"

namespace {
struct Names : testing::Test {
    scratch_dir dir;
    std::string input = text_lines(9000, "\n");
    void SetUp() override { write_file(dir / "in.txt", input); }
};
} // namespace

TEST_F(Names, OddNamesArePassedUnchanged) {
    const std::string long_name = std::string(4000, 'n');
    // "café.txt": under Wine the name reaches the tool in the ANSI code page,
    // and the file opened must be the one named.
    std::vector<std::string> names = {"-in.txt", "with  two spaces", "x", "caf\xC3\xA9.txt"};
    // Arbitrary bytes cannot pass through code pages; natively they pass as
    // they are.
    if (!under_runner())
        names.push_back("\xC3\xA9 \xFC\x80 name.txt");
    for (const std::string &name : names) {
        write_file(dir / name, "a\nb\n");
        const std::string out = "out " + name; // an output word must not begin with "-"
        auto r = run_tool({name, out}, dir.path);
        EXPECT_EQ(r.status, 0) << name;
        // A Windows program prints its names in the ANSI code page (é: 0xE9).
        auto shown = [](std::string text) {
            for (std::size_t at; under_runner() && (at = text.find("\xC3\xA9")) != std::string::npos;)
                text.replace(at, 2, "\xE9");
            return text;
        };
        EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
                  shown(name + " is a UNIX file " + out + " will be a DOS file\n"));
        EXPECT_EQ(read_file(dir / out), "a\r\nb\r\n") << name;
    }
    // Too long for the file system: the ordinary failed open, either side.
    auto in = run_tool({long_name, "out.txt"}, dir.path);
    EXPECT_EQ(in.status, 1);
    EXPECT_TRUE(has_diagnostic(in.err, "Can't open input file " + long_name + ", BYE"));
    auto out = run_tool({"in.txt", long_name}, dir.path);
    EXPECT_EQ(out.status, 1);
    EXPECT_TRUE(has_diagnostic(out.err, "error opening output file " + long_name));
}

TEST_F(Names, ANameOutsideTheCodePageNeverReachesALookAlike) {
    // A Windows program with narrow arguments gets "Ł" as "L" and a fullwidth
    // solidus as "/" (best fit): the tool refuses such a word there, before
    // anything is opened. Natively the bytes are the name.
    const std::string lodz = "\xC5\x81odz.txt", solidus = "Q1\xEF\xBC\x8FQ2.txt";
    write_file(dir / "Lodz.txt", "victim\n");
    write_file(dir / lodz, "mine\n");
    struct {
        std::vector<std::string> args;
        std::string narrow, made, made_from;
    } cases[] = {
        {{"in.txt", lodz}, "Lodz.txt", lodz, input},
        {{lodz, "o.txt"}, "Lodz.txt", "o.txt", "mine\n"},
        {{"in.txt", solidus}, "Q1/Q2.txt", solidus, input},
        // A fullwidth quote becomes '"' in the ANSI command line (on Windows,
        // which then splits it into other words; Wine's runtime narrows each
        // wide word).
        {{"in.txt", "a\xEF\xBC\x82 b.txt"}, "a\" b.txt", "a\xEF\xBC\x82 b.txt", input},
    };
    for (const auto &c : cases) {
        auto r = run_tool(c.args, dir.path);
        EXPECT_EQ(read_file(dir / "Lodz.txt"), "victim\n") << c.narrow;
        if (under_runner()) {
            EXPECT_EQ(r.status, 1) << c.narrow;
            EXPECT_TRUE(has_diagnostic(r.err, c.narrow + ": this name cannot be written in the system's code page"))
                << r.err;
            EXPECT_TRUE(c.made == lodz ? read_file(dir / lodz) == "mine\n" : !file_exists(dir / c.made)) << c.narrow;
        } else {
            EXPECT_EQ(r.status, 0) << c.narrow << r.err;
            EXPECT_TRUE(read_file(dir / c.made) == to_dos(c.made_from)) << c.narrow;
        }
        write_file(dir / lodz, "mine\n");
    }
}
