// The tool end to end: real files, real exit statuses, every byte compared.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/console_cases.h"

namespace {

struct Convert : testing::Test {
    scratch_dir dir;
};

} // namespace

TEST_F(Convert, UnixFileBecomesDosWithAPercentagePerChunk) {
    std::string input = text_lines(5000, "\n");
    input.resize(100000);
    write_file(dir / "a.txt", input);
    auto r = run_tool({"a.txt", "b.txt"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // Reads of 49,440, 49,440 and 1,120 bytes.
    EXPECT_EQ(r.out, announcement("a.txt", "b.txt") + percent_fields({49, 98, 100}));
    EXPECT_EQ(read_file(dir / "b.txt"), to_dos(input));
}

TEST_F(Convert, DosFileBecomesUnix) {
    std::string input = text_lines(3000, "\r\n");
    write_file(dir / "d.txt", input);
    auto r = run_tool({"d.txt", "u.txt"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), announcement("d.txt", "u.txt", true));
    EXPECT_EQ(read_file(dir / "u.txt"), to_unix(input));
}

TEST_F(Convert, AFullDosChunkEndingInCrLeavesItForTheNextChunk) {
    struct {
        std::size_t size;
        std::string tail; // the last bytes; byte 49,439 is the CR
        std::vector<int> fields;
    } cases[] = {
        {49441, "\r\n", {99, 100}}, // passes of 49,439 and 2 bytes
        {49440, "\r", {99, 100}},   // passes of 49,439 and 1: the CR alone
    };
    for (const auto &c : cases) {
        std::string input = text_lines(2000, "\r\n");
        input.resize(c.size - c.tail.size(), 'y');
        input += c.tail;
        ASSERT_EQ(input[49439], '\r');
        write_file(dir / "d.txt", input);
        auto r = run_tool({"d.txt", "u.txt"}, dir.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, announcement("d.txt", "u.txt", true) + percent_fields(c.fields))
            << c.size;
        EXPECT_EQ(read_file(dir / "u.txt"), to_unix(input));
    }
}

TEST_F(Convert, ForcingWordDecidesByItsSecondCharacter) {
    const std::string dos_input = "a\r\nb\n";  // detected DOS
    const std::string unix_input = "a\rb\n"; // detected UNIX: a lone CR is no evidence
    struct {
        std::string input;
        std::vector<std::string> extra;
        bool as_dos;
    } cases[] = {
        {dos_input, {"-u"}, false}, {dos_input, {"/u"}, false}, {dos_input, {"xu"}, false},
        {dos_input, {"-U"}, false}, {unix_input, {"-d"}, true}, {unix_input, {"/D"}, true},
        {dos_input, {"-a"}, true},  {unix_input, {"-a"}, false}, {unix_input, {"d"}, false},
        {unix_input, {""}, false},  {unix_input, {"-d", "more"}, false}, {dos_input, {"-u", "-u"}, true},
    };
    for (const auto &c : cases) {
        write_file(dir / "in.txt", c.input);
        std::vector<std::string> args = {"in.txt", "out.txt"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        auto r = run_tool(args, dir.path);
        std::string label = testing::PrintToString(c.extra) + " on " + testing::PrintToString(c.input);
        EXPECT_EQ(r.status, 0) << label;
        EXPECT_EQ(r.out, announcement("in.txt", "out.txt", c.as_dos) +
                             percent_fields({100}))
            << label;
        EXPECT_EQ(read_file(dir / "out.txt"), c.as_dos ? to_unix(c.input) : to_dos(c.input)) << label;
    }
}

TEST_F(Convert, Utf16WithAByteOrderMarkIsConvertedInItsOwnUnits) {
    // The CR unit after it ends the first chunk (bytes 49,438 and 49,439).
    const std::string long_line = "a\r\n" + std::string(24715, 'x');
    struct {
        std::string text;
        bool big;
        std::vector<std::string> forcing;
        bool as_dos;
    } cases[] = {
        {"Hello\r\nWorld\r\n", false, {}, true}, {"Hello\nWorld\n", false, {}, false},
        {"Hello\r\nWorld\r\n", true, {}, true},  {"Hello\nWorld\n", true, {}, false},
        {"Hello\r\nWorld\r\n", false, {"-u"}, false}, {"a\nb\r", true, {"-d"}, true},
        {long_line + "\r\nend\r\n", false, {}, true}, {text_lines(6000, "\r\n"), true, {}, true},
    };
    for (const auto &c : cases) {
        const std::string in = utf16(c.text, c.big) + (c.forcing.empty() ? "" : "!"); // forced: an odd last byte
        write_file(dir / "in.txt", in);
        std::vector<std::string> args = {"in.txt", "out.txt"};
        args.insert(args.end(), c.forcing.begin(), c.forcing.end());
        auto r = run_tool(args, dir.path);
        const std::string label = testing::PrintToString(c.text.substr(0, 16)) + (c.big ? " BE" : " LE");
        EXPECT_EQ(r.status, 0) << label << r.err;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), announcement("in.txt", "out.txt", c.as_dos)) << label;
        EXPECT_TRUE(read_file(dir / "out.txt") == converted(in, !c.as_dos, 2, c.big)) << label;
    }
    // UTF-32 would be corrupted either way: refused before the output is touched.
    for (const std::string mark : {std::string("\xFF\xFE\0\0", 4), std::string("\0\0\xFE\xFF", 4)}) {
        write_file(dir / "in.txt", mark + std::string("a\0\0\0\n\0\0\0", 8));
        write_file(dir / "out.txt", "keep\n");
        auto r = run_tool({"in.txt", "out.txt"}, dir.path);
        EXPECT_EQ(r.status, 1);
        expect_diagnostic(r.err, "converter/lfswap.cpp", "input file in.txt is UTF-32 text, which is not converted");
        EXPECT_EQ(read_file(dir / "out.txt"), "keep\n");
    }
}

TEST_F(Convert, EmptyInputWritesAnEmptyOutputAndNoPercentage) {
    write_file(dir / "e.txt", "");
    write_file(dir / "out.txt", "old content\n");
    auto r = run_tool({"e.txt", "out.txt"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, announcement("e.txt", "out.txt"));
    EXPECT_EQ(read_file(dir / "out.txt"), ""); // named directly: emptied without a question
}

TEST_F(Convert, EveryByteValuePassesThrough) {
    std::string input;
    for (int i = 0; i < 4096; ++i)
        input += static_cast<char>(i * 7 % 256);
    write_file(dir / "bin", input);
    auto r = run_tool({"bin", "out", "-u"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir / "out"), to_dos(input));
}

TEST_F(Convert, MissingInputIsReportedAndTheOutputLeftAlone) {
    write_file(dir / "out.txt", "keep me\r\n");
    auto r = run_tool({"nothere.txt", "out.txt"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    expect_diagnostic(r.err, "converter/lfswap.cpp", "Can't open input file nothere.txt, BYE");
    EXPECT_EQ(read_file(dir / "out.txt"), "keep me\r\n");

    auto r2 = run_tool({"nothere.txt", "new.txt"}, dir.path);
    EXPECT_EQ(r2.status, 1);
    EXPECT_FALSE(file_exists(dir / "new.txt"));
}

TEST_F(Convert, AnInputThatIsNotARegularFileIsRefusedBeforeTheOutputIsTouched) {
    // Detection and conversion both read from the start, and the run must
    // end: a folder, a pipe, a FIFO (even one without a writer) or an endless
    // device is refused at once, and an existing output keeps its content.
    struct {
        std::string in, stdin_bytes;
    } cases[] = {{".", ""}, {"sub", ""}, {"/dev/stdin", "a\nb\n"}, {"zero", ""}, {"/dev/urandom", ""}, {"fifo", ""}};
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink("/dev/zero", dir / "zero");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    run_options quick;
    quick.timeout_ms = 20000;
    quick.file_size_limit = 1 << 20; // what an endless input would fill otherwise
    for (const auto &c : cases) {
        if (under_runner() && c.in == "/dev/stdin")
            continue; // no such Windows path
        write_file(dir / "o", "keep\n");
        auto r = run_tool({c.in, "o"}, dir.path, c.stdin_bytes, quick);
        EXPECT_EQ(r.status, 1) << c.in;
        EXPECT_EQ(r.out, "") << c.in;
        const bool folder = c.in == "." || c.in == "sub";
        expect_diagnostic(r.err, "converter/lfswap.cpp",
                          "input file " + c.in + (folder ? " is a folder" : " is not a regular file"));
        EXPECT_EQ(read_file(dir / "o"), "keep\n") << c.in;
    }
    if (under_runner())
        return;
    // A /proc file is a regular file of size 0: it converts.
    auto r = run_tool({"/proc/version", "o"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "o"), to_dos(read_file("/proc/version")));
}

TEST_F(Convert, AWordAfterTheOutputThatNamesAFileEndsTheRunBeforeAnythingIsOpened) {
    // `lfswap *.txt` in a folder of a.txt, b.txt and c.txt (or -d.txt,
    // which a UTF-8 locale sorts last). A forcing word as typed is at most
    // two characters, and stays one even where a file has its name.
    for (const char *name : {"a.txt", "b.txt", "c.txt", "-d.txt", "-u"})
        write_file(dir / name, std::string(name) + "\n");
    std::filesystem::create_directory(dir / "sub");
    const std::vector<std::string> cases[] = {{"c.txt"}, {"-u", "c.txt"}, {"sub"},    {"c.txt", "-u"},
                                              {"-d.txt"}, {dir.path}};
    for (const auto &extra : cases) {
        std::vector<std::string> args = {"a.txt", "b.txt"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto r = run_tool(args, dir.path);
        const std::string named = extra[0] == "-u" ? extra[1] : extra[0];
        EXPECT_EQ(r.status, 6) << named;
        EXPECT_EQ(r.out, "");
        const bool folder = named == "sub" || named == dir.path;
        expect_diagnostic(r.err, "converter/lfswap.cpp",
                          named + (folder ? " names a folder" : " names a file") + ": give one input file and one output file");
        EXPECT_EQ(read_file(dir / "b.txt"), "b.txt\n");
    }
    auto forced = run_tool({"a.txt", "b.txt", "-u"}, dir.path);
    EXPECT_EQ(forced.status, 0) << forced.err;
}

TEST_F(Convert, ADosFileWithAFirstLineLongerThanTheWindowIsDos) {
    const std::string input = std::string(2500, 'h') + "\r\nline2\r\n";
    write_file(dir / "d.txt", input);
    auto r = run_tool({"d.txt", "u.txt"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, announcement("d.txt", "u.txt", true) + percent_fields({100}));
    EXPECT_EQ(read_file(dir / "u.txt"), to_unix(input));
}

TEST_F(Convert, ClosedStandardDescriptorsNeverTakeTheFilesPlace) {
    // Started without stdin, stdout or stderr, the tool must not read its
    // input as the keyboard nor write its messages into its output.
    // 20 MB: over 400 percentages, more than the 4 KiB that stdout buffers
    // before it writes.
    std::string input;
    for (int i = 0; i < 20 << 16; ++i)
        input += "fifteen bytes\n";
    write_file(dir / "a.txt", input);
    const std::vector<int> closings[] = {{0, 1}, {1}, {1, 2}, {0, 1, 2}};
    for (const auto &closed : closings) {
        // Wine's loader puts its own descriptors (its folder, its server
        // socket) at 0 and 1 when they are closed, before the program runs.
        if (under_runner() && closed[0] == 0)
            continue;
        run_options o;
        o.closed_fds = closed;
        auto r = run_tool({"a.txt", "b.txt"}, dir.path, "", o);
        const std::string label = testing::PrintToString(closed);
        EXPECT_EQ(r.status, 0) << label;
        const std::string out = read_file(dir / "b.txt");
        EXPECT_EQ(out.size(), 2 * input.size() - input.size() / 14 * 13) << label; // one CR per line
        EXPECT_TRUE(out == to_dos(input)) << label;
    }
}

TEST_F(Convert, TheInputDialogFallbackWithoutADialogEndsAfterThreeTries) {
    auto r = run_program(probe_exe(), {"missing.txt"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    expect_diagnostic(r.err, "INCLUDE1/GENERICW.cpp", "Can't open input file (null), BYE");
}
