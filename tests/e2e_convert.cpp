// The tool end to end: real files, real exit statuses, every byte compared.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/tool_run.h"

namespace {

// The diagnostic from `source` is all of `err` (with `alone`), or its start.
void expect_diagnostic(const std::string &err, const std::string &source, const std::string &message,
                       bool alone = true) {
    EXPECT_TRUE(contains_match(err, "^" + diagnostic(message, source) + (alone ? "$" : ""))) << testing::PrintToString(err);
}

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

TEST_F(Convert, AnOutputThatIsTheToolsOwnStandardOutputOrErrorIsAFailedTry) {
    // The messages would be mixed into the converted lines, or replace them.
    write_file(dir / "a.txt", "one\ntwo\n");
    std::filesystem::create_symlink("/proc/self/fd/1", dir / "fd1");
    struct {
        std::string redirect, out, kept; // what o.txt starts with afterwards ("": it is empty)
    } cases[] = {{"> o.txt", "o.txt", ""}, {"2>> o.txt", "o.txt", "log\n\n"}, {"", "fd1", "log\n"}};
    for (const auto &c : cases) {
        if (under_runner() && c.out == "fd1")
            continue; // Wine's server, not the tool, would open /proc/self
        write_file(dir / "o.txt", "log\n");
        auto r = run_tool_redirected(c.redirect, {"a.txt", c.out}, dir.path);
        EXPECT_EQ(r.status, 1) << c.redirect;
        const std::string err = c.redirect.starts_with("2") ? read_file(dir / "o.txt") : r.err;
        EXPECT_TRUE(contains_match(err, diagnostic_chain({"error opening output file " + c.out,
                                                          "no output file can be chosen"}, false)))
            << c.redirect << err;
        const std::string now = read_file(dir / "o.txt");
        EXPECT_TRUE(c.kept.empty() ? now.empty() : now.starts_with(c.kept)) << c.redirect << now;
        EXPECT_EQ(r.out, "") << c.redirect;
    }
    // As the input it would take the percentages (>>), or lose its start (<>).
    for (const std::string redirect : {">> a.txt", "1<> a.txt", "2>> a.txt"}) {
        auto r = run_tool_redirected(redirect, {"a.txt", "o.txt"}, dir.path);
        EXPECT_EQ(r.status, 1) << redirect;
        const std::string in = read_file(dir / "a.txt");
        EXPECT_TRUE(in.starts_with("one\ntwo\n")) << redirect << in;
        EXPECT_TRUE(has_diagnostic(redirect.starts_with("2") ? in : r.err, "Can't open input file a.txt, BYE"))
            << redirect << r.err;
        write_file(dir / "a.txt", "one\ntwo\n");
    }
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

TEST_F(Convert, AnOutputWithoutAReaderIsAFailedTryAndOneWhoseReaderQuitsAWriteError) {
    if (under_runner())
        GTEST_SKIP() << "Wine opens the output itself, for reading too: a FIFO there is its business";
    write_file(dir / "big.txt", text_lines(40000, "\n")); // about 2 MB: more than a pipe holds
    ASSERT_EQ(mkfifo((dir / "f").c_str(), 0600), 0);
    run_options quick;
    quick.timeout_ms = 20000;
    // Nobody reading at all: a failed try at once, not a wait for ever.
    auto none = run_tool({"big.txt", "f"}, dir.path, "", quick);
    EXPECT_EQ(none.status, 1);
    expect_diagnostic(none.err, "INCLUDE1/GENERICW.cpp", "error opening output file f", false);
    // The reader is there before the tool opens the FIFO (it does not wait for one).
    const int fd = open((dir / "f").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); // not the tool's
    ASSERT_GE(fd, 0);
    fcntl(fd, F_SETFL, 0);
    std::thread reader([&] {
        char ten[10];
        std::size_t got = 0;
        // Until the tool has opened it, a read finds the end at once.
        for (int i = 0; i < 1000 && got < sizeof ten; ++i) {
            const ssize_t n = read(fd, ten + got, sizeof ten - got);
            if (n > 0)
                got += static_cast<std::size_t>(n);
            else
                usleep(10000);
        }
        EXPECT_EQ(got, sizeof ten);
        close(fd);
    });
    auto r = run_tool({"big.txt", "f"}, dir.path, "", quick);
    reader.join();
    EXPECT_EQ(r.status, 1);
    expect_diagnostic(r.err, "converter/convert_loop.cpp", "error writing output file f");
}

TEST_F(Convert, AWriteOnlyFileCanBeTheOutput) {
    if (under_runner())
        GTEST_SKIP() << "the Windows tool opens its output for reading and writing, as Windows asks";
    std::filesystem::permissions(dir.path, std::filesystem::perms::all);
    write_file(dir / "a.txt", "a\nb\n");
    write_file(dir / "w.txt", "old\n");
    std::filesystem::permissions(dir / "w.txt", std::filesystem::perms::owner_write |
                                                    std::filesystem::perms::group_write |
                                                    std::filesystem::perms::others_write);
    run_options as_user;
    as_user.as_nobody = true; // root could read it anyway
    auto r = run_tool({"a.txt", "w.txt"}, dir.path, "", as_user);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "w.txt"), "a\r\nb\r\n");
}

// A new output takes the input's permission bits less the umask, as a
// copy does (`lfswap f f.new && mv f.new f` keeps a script runnable); an
// output that exists keeps its own.
TEST_F(Convert, ANewOutputHasTheInputsModeLessTheUmaskAndAnOldOneKeepsItsOwn) {
    if (under_runner())
        GTEST_SKIP() << "Windows copies no attributes";
    using std::filesystem::perms;
    struct {
        perms in;
        mode_t umask_bits;
        std::optional<perms> out; // the mode of an output that exists
        perms want;
    } cases[] = {
        {perms(0750), 022, {}, perms(0750)},
        {perms(0755), 077, {}, perms(0700)},
        {perms(0604), 0, {}, perms(0604)},
        {perms(0755), 022, perms(0600), perms(0600)},
    };
    for (const auto &c : cases) {
        const std::string out = dir / "script.new";
        write_file(dir / "script.sh", "#!/bin/sh\necho hi\n");
        std::filesystem::permissions(dir / "script.sh", c.in);
        std::filesystem::remove(out);
        if (c.out) {
            write_file(out, "old\n");
            std::filesystem::permissions(out, *c.out);
        }
        const mode_t before = umask(c.umask_bits); // the child starts with it
        const auto r = run_tool({"script.sh", "script.new"}, dir.path);
        umask(before);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_file(out), "#!/bin/sh\r\necho hi\r\n");
        EXPECT_EQ(std::filesystem::status(out).permissions(), c.want)
            << std::oct << int(c.in) << " umask " << c.umask_bits;
    }
}

TEST_F(Convert, FullDiskIsAWriteError) {
    if (under_runner())
        GTEST_SKIP() << "under Wine /dev/full is a device, no output for the Windows tool; "
                        "AWriteThatFailsPartWayKeepsWhatWasWritten fills the disk there";
    // By a relative name: an output word beginning with "/" asks for the dialog.
    write_file(dir / "a.txt", "a\nb\n");
    std::filesystem::create_symlink("/dev/full", dir / "full");
    // Both streams to one pipe, as `2>&1` in a log: the diagnostic follows
    // the announcement it concerns, not the buffered text before it.
    auto r = run_tool_redirected("2>&1", {"a.txt", "full"}, dir.path);
    EXPECT_EQ(r.status, 1);
    const std::string shown = announcement("a.txt", "full");
    ASSERT_TRUE(r.out.starts_with(shown)) << r.out;
    expect_diagnostic(r.out.substr(shown.size()), "converter/convert_loop.cpp", "error writing output file full");
}

TEST_F(Convert, OnWindowsADeviceNameIsNoOutputButNulThrowsItAway) {
    // Up to Windows 10 these names open devices (a serial port for COM1 and
    // AUX): the run wrote no file and ended with status 0. Natively they are
    // plain names.
    write_file(dir / "a.txt", "a\nb\n");
    for (const std::string name : {"nul.txt", "aux.log", "COM1.txt", "COM1", "AUX", "NUL"}) {
        auto r = run_tool({"a.txt", name}, dir.path);
        if (under_runner() && name != "NUL") {
            EXPECT_EQ(r.status, 1) << name;
            EXPECT_TRUE(contains_match(r.err, diagnostic_chain({"error opening output file " + name,
                                                                "no output file can be chosen"})))
                << r.err;
        } else {
            EXPECT_EQ(r.status, 0) << name << r.err;
            if (!under_runner())
                EXPECT_EQ(read_file(dir / name), "a\r\nb\r\n");
        }
    }
}

TEST_F(Convert, OutputInAMissingFolderIsReportedWithItsSourcePlace) {
    write_file(dir / "a.txt", "a\n");
    auto r = run_tool({"a.txt", "no/such/dir/b.txt"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    // The retries that follow are the console tests' business.
    expect_diagnostic(r.err, "INCLUDE1/GENERICW.cpp", "error opening output file no/such/dir/b.txt", false);
}

TEST_F(Convert, TheInputCannotBeTheOutputAndWithoutADialogNothingWaits) {
    // The input is held with read sharing only, so the first try fails; with
    // no terminal no other name can be chosen, so the run ends at once, even
    // with a standard input that never ends (nothing would answer a wait).
    write_file(dir / "a.txt", "one\ntwo\n");
    std::filesystem::create_symlink("a.txt", dir / "link.txt");
    std::filesystem::create_hard_link(dir / "a.txt", dir / "hard.txt");
    run_options open_stdin;
    open_stdin.hold_stdin = true;
    open_stdin.timeout_ms = 20000;
    for (const std::string &spelling : {"a.txt", "./a.txt", "link.txt", "hard.txt"}) {
        auto r = run_tool({"a.txt", spelling}, dir.path, "", open_stdin);
        EXPECT_EQ(r.status, 1) << spelling;
        EXPECT_TRUE(contains_match(r.err, diagnostic_chain({"error opening output file " + spelling,
                                                            "no output file can be chosen"})))
            << r.err;
        EXPECT_EQ(read_file(dir / "a.txt"), "one\ntwo\n") << spelling;
    }
}

TEST_F(Convert, TheInputDialogFallbackWithoutADialogEndsAfterThreeTries) {
    auto r = run_program(probe_exe(), {"missing.txt"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    expect_diagnostic(r.err, "INCLUDE1/GENERICW.cpp", "Can't open input file (null), BYE");
}
