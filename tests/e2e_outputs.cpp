// Where the converted text goes: the tool's own streams, FIFOs, write-only
// files, modes, full disks, device names, missing folders, the input itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/console_cases.h"

namespace {
struct Outputs : testing::Test {
    scratch_dir dir;
};
} // namespace

TEST_F(Outputs, AnOutputThatIsTheToolsOwnStandardOutputOrErrorIsAFailedTry) {
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

TEST_F(Outputs, AnOutputWithoutAReaderIsAFailedTryAndOneWhoseReaderQuitsAWriteError) {
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

TEST_F(Outputs, AWriteOnlyFileCanBeTheOutput) {
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
TEST_F(Outputs, ANewOutputHasTheInputsModeLessTheUmaskAndAnOldOneKeepsItsOwn) {
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

TEST_F(Outputs, FullDiskIsAWriteError) {
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

TEST_F(Outputs, OnWindowsADeviceNameIsNoOutputButNulThrowsItAway) {
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

TEST_F(Outputs, OutputInAMissingFolderIsReportedWithItsSourcePlace) {
    write_file(dir / "a.txt", "a\n");
    auto r = run_tool({"a.txt", "no/such/dir/b.txt"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    // The retries that follow are the console tests' business.
    expect_diagnostic(r.err, "INCLUDE1/GENERICW.cpp", "error opening output file no/such/dir/b.txt", false);
}

TEST_F(Outputs, TheInputCannotBeTheOutputAndWithoutADialogNothingWaits) {
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
