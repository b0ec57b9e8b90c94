// Failures from outside: full disks, failing reads, files that change while
// they are converted, odd names, huge files, and many runs at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/tool_run.h"

namespace {

// The percentage fields printed after the announcement.
std::vector<int> fields_of(const std::string &out) {
    return percent_values(out.substr(out.find('\n') + 1));
}

void expect_rising_to_at_most_100(const std::vector<int> &fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_LE(fields[i], 100);
        if (i > 0)
            EXPECT_GE(fields[i], fields[i - 1]);
    }
}

struct Faults : testing::Test {
    scratch_dir dir;
    std::string input = text_lines(9000, "\n"); // about 430 KB: nine chunks
    void SetUp() override { write_file(dir / "in.txt", input); }

    // Preloads the fault shim, watching `file` in the scratch folder; the
    // mark of an earlier run is cleared.
    run_options shim(std::vector<std::string> settings, const std::string &file = "in.txt") const {
        std::filesystem::remove(dir / "shim-was-here");
        settings.push_back("LD_PRELOAD=" LFSWAP_FAULT_SHIM_NAME);
        settings.push_back("LD_LIBRARY_PATH=" LFSWAP_FAULT_SHIM_PATH);
        settings.push_back("LFSWAP_FAULT_FILE=" + std::filesystem::canonical(dir / file).string());
        settings.push_back("LFSWAP_FAULT_MARK=" + dir / "shim-was-here");
        settings.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
        run_options o;
        o.env = std::move(settings);
        return o;
    }
    bool shim_was_loaded() const { return std::filesystem::exists(dir / "shim-was-here"); }
};

// Under Wine the reads happen in a Wine process (32-bit for the 32-bit
// tool), which a shim of the wrong word size cannot reach.
#define SKIP_WITHOUT_SHIM()                                                                                  \
    do {                                                                                                       \
        if (under_runner() && std::string(LFSWAP_FAULT_SHIM_32).empty())                                       \
            GTEST_SKIP() << "missing: gcc-multilib (no 32-bit fault shim was built for Wine)";                  \
    } while (0)

// After a run: natively the shim must have acted; a Wine that does not load
// it is reported as a skip with its reason, not as a fault of the tool.
#define ASSERT_SHIM_LOADED()                                                                                 \
    do {                                                                                                       \
        if (!shim_was_loaded() && under_runner())                                                              \
            GTEST_SKIP() << "this Wine does not load the fault shim into the process that reads";              \
        ASSERT_TRUE(shim_was_loaded());                                                                        \
    } while (0)

} // namespace

TEST_F(Faults, AWriteThatFailsPartWayKeepsWhatWasWritten) {
    run_options limited;
    limited.file_size_limit = 100000; // the disk is full after 100,000 bytes; SIGXFSZ as a shell leaves it
    // Wine's loader, a POSIX program, leaves SIGXFSZ at its default, out of
    // the Windows tool's reach; a full disk on Windows is a plain failed write.
    if (under_runner())
        limited.ignored_signals = {SIGXFSZ};
    auto r = run_tool({"in.txt", "out.txt"}, dir.path, "", limited);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has_diagnostic(r.err, "error writing output file out.txt")) << r.err;
    std::string out = read_file(dir / "out.txt");
    EXPECT_EQ(out.size(), 100000u);
    EXPECT_EQ(out, to_dos(input).substr(0, out.size()));
}

TEST_F(Faults, AReadThatFailsPartWayIsReportedAndTheConvertedPartKept) {
    SKIP_WITHOUT_SHIM();
    auto r = run_tool({"in.txt", "out.txt"}, dir.path, "", shim({"LFSWAP_FAULT_EIO_AT=100000"}));
    ASSERT_SHIM_LOADED();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has_diagnostic(r.err, "error reading input file in.txt")) << r.err;
    EXPECT_EQ(read_file(dir / "out.txt"), to_dos(input.substr(0, 100000)));
    const long long size = static_cast<long long>(input.size());
    EXPECT_EQ(fields_of(r.out), (std::vector<int>{int(49440 * 100 / size), int(98880 * 100 / size),
                                                  int(100000 * 100 / size)}));
}

TEST_F(Faults, AReadErrorWithoutStdoutAndStderrIsNotWrittenIntoTheOutput) {
    SKIP_WITHOUT_SHIM();
    if (under_runner())
        GTEST_SKIP() << "Wine's loader takes closed low descriptors for its own before the program starts";
    // Started with 1 and 2 closed, the input and the output would otherwise
    // take those numbers, and the diagnostic would land in the output.
    run_options o = shim({"LFSWAP_FAULT_EIO_AT=100000"});
    o.closed_fds = {1, 2};
    auto r = run_tool({"in.txt", "out.txt"}, dir.path, "", o);
    ASSERT_SHIM_LOADED();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(dir / "out.txt"), to_dos(input.substr(0, 100000)));
}

TEST_F(Faults, AnInputThatChangesInAnyWayWhileConvertingIsReported) {
    SKIP_WITHOUT_SHIM();
    const std::string same_size = std::to_string(input.size());
    struct {
        std::vector<std::string> shim;
        std::size_t converted;
        bool changed;
    } cases[] = {
        {{"LFSWAP_FAULT_RESIZE_TO=60000", "LFSWAP_FAULT_RESIZE_AT=49440"}, 60000, true},
        {{"LFSWAP_FAULT_RESIZE_TO=2000000", "LFSWAP_FAULT_RESIZE_AT=49440"}, 2000000, true},
        // Rewritten in place at the same size (a log rotated): only the times tell.
        {{"LFSWAP_FAULT_RESIZE_TO=" + same_size, "LFSWAP_FAULT_RESIZE_AT=49440"}, input.size(), true},
        // A pseudo-file that reports more than it holds (sysfs: 4,096 bytes for 23) has not changed.
        {{"LFSWAP_FAULT_END_AT=60000"}, 60000, false},
    };
    for (auto &c : cases) {
        write_file(dir / "in.txt", input);
        auto r = run_tool({"in.txt", "out.txt"}, dir.path, "", shim(c.shim));
        ASSERT_SHIM_LOADED();
        const std::string label = c.shim[0];
        EXPECT_EQ(r.status, c.changed ? 1 : 0) << label;
        EXPECT_EQ(has_diagnostic(r.err, "input file in.txt changed while converting"), c.changed) << label << r.err;
        // What was converted stays written.
        EXPECT_TRUE(read_file(dir / "out.txt") == to_dos(read_file(dir / "in.txt").substr(0, c.converted))) << label;
        expect_rising_to_at_most_100(fields_of(r.out));
    }
}

TEST_F(Faults, AnOutputCutOrRemovedByAnotherProgramIsReported) {
    // Locks on POSIX are advisory. On Windows the share mode keeps other
    // Windows programs out, not a Unix one beside Wine (the shim acts as
    // one): a cut must show there too, not be filled with zeros by the next
    // write at the old place.
    for (const char *cut : {"LFSWAP_FAULT_RESIZE_TO=0", "LFSWAP_FAULT_RESIZE_TO=100"}) {
        auto r = run_tool({"in.txt", "out.txt"}, dir.path, "",
                          shim({"LFSWAP_FAULT_RESIZE_AT=98880", "LFSWAP_FAULT_RESIZE_PATH=" + dir / "out.txt", cut}));
        ASSERT_SHIM_LOADED();
        EXPECT_EQ(r.status, 1) << cut;
        EXPECT_TRUE(has_diagnostic(r.err, "output file out.txt changed while converting")) << cut << r.err;
    }
    auto r = run_tool({"in.txt", "out.txt"}, dir.path, "",
                      shim({"LFSWAP_FAULT_RESIZE_AT=98880", "LFSWAP_FAULT_RESIZE_PATH=" + dir / "out.txt"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has_diagnostic(r.err, "output file out.txt changed while converting")) << r.err;
    EXPECT_FALSE(file_exists(dir / "out.txt"));
}

TEST_F(Faults, NothingOnTheInputSideThatFailsTouchesTheOutput) {
    SKIP_WITHOUT_SHIM();
    // The output is opened, and so emptied, only after the buffers are held
    // and the first read has been done.
    struct {
        std::string in;
        run_options options;
        std::string message;
    } cases[] = {
        {"in.txt", shim({"LFSWAP_FAULT_EIO_AT=0"}), "error reading input file in.txt"},
        {"/proc/self/mem", {}, "error reading input file /proc/self/mem"},
        {"in.txt", shim({"LFSWAP_FAULT_MALLOC_OVER=5000"}), "not enough memory for buffers"},
    };
    for (auto &c : cases) {
        if (under_runner() && c.in != "in.txt")
            continue; // no such Windows file
        if (under_runner() && c.message.starts_with("not enough"))
            continue; // Windows' heap is not the C library's malloc
        write_file(dir / "out.txt", "keep me\n");
        auto r = run_tool({c.in, "out.txt"}, dir.path, "", c.options);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_TRUE(has_diagnostic(r.err, c.message)) << r.err;
        EXPECT_EQ(r.out, "") << c.message;
        EXPECT_EQ(read_file(dir / "out.txt"), "keep me\n") << c.message;
    }
}

// Where a file system refuses the share locks, the table of this process's
// own opens still keeps the input from being its output; and an output that
// cannot be emptied is a failed open that leaves it as it was.
TEST_F(Faults, WithoutLocksTheInputIsStillNotTheOutputAndAFailedEmptyingKeepsTheFile) {
    if (under_runner())
        GTEST_SKIP() << "Windows shares files itself";
    write_file(dir / "out.txt", "keep me\n");
    struct {
        std::string out;
        run_options options;
        int status;
        std::string kept; // in the output afterwards
    } cases[] = {
        {"in.txt", shim({"LFSWAP_FAULT_NO_LOCKS=1"}), 1, input},
        {"new.txt", shim({"LFSWAP_FAULT_NO_LOCKS=1"}), 0, to_dos(input)},
        {"out.txt", shim({"LFSWAP_FAULT_NO_TRUNCATE=1"}, "out.txt"), 1, "keep me\n"},
    };
    for (auto &c : cases) {
        auto r = run_tool({"in.txt", c.out}, dir.path, "", c.options);
        EXPECT_EQ(r.status, c.status) << c.out << r.err;
        if (c.status != 0)
            EXPECT_TRUE(has_diagnostic(r.err, "error opening output file " + c.out)) << r.err;
        EXPECT_EQ(read_file(dir / c.out), c.kept) << c.out;
        EXPECT_TRUE(shim_was_loaded() || c.out == "out.txt") << c.out;
    }
}

TEST_F(Faults, AnInputPast4GiBConvertsWithEveryByteCounted) {
    // Sparse zeros with a few LFs far apart; the output goes to a pipe that
    // this test counts, so nothing of it lands on disk.
    const std::uintmax_t size = (std::uintmax_t(4) << 30) + 12345;
    const std::uintmax_t lfs_at[] = {0, 49439, 49440, std::uintmax_t(2) << 30, (std::uintmax_t(4) << 30) + 1, size - 1};
    {
        std::ofstream f(dir / "big", std::ios::binary);
        for (auto at : lfs_at) {
            f.seekp(static_cast<std::streamoff>(at));
            f.put('\n');
        }
    }
    ASSERT_EQ(std::filesystem::file_size(dir / "big"), size);
    // Under Wine a FIFO is a pipe, which the Windows tool refuses as its
    // output: there the bytes go to NUL, uncounted.
    const bool counted_here = !under_runner();
    std::uintmax_t counted = 0, crs = 0;
    std::thread counter;
    int sink = -1;
    if (counted_here) {
        // The reader is there before the tool starts: a FIFO without one is
        // a failed try. Opened without waiting, it reads nothing until a
        // writer has come (poll), then to that writer's end.
        ASSERT_EQ(mkfifo((dir / "sink").c_str(), 0600), 0);
        sink = open((dir / "sink").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(sink, 0);
        counter = std::thread([&] {
            std::vector<char> buf(1 << 20);
            for (pollfd p{sink, POLLIN, 0}; poll(&p, 1, -1) > 0;) {
                const ssize_t n = read(sink, buf.data(), buf.size());
                if (n == 0 || (n < 0 && errno != EAGAIN))
                    break;
                counted += static_cast<std::uintmax_t>(std::max<ssize_t>(n, 0));
                crs += static_cast<std::uintmax_t>(std::count(buf.begin(), buf.begin() + std::max<ssize_t>(n, 0), '\r'));
            }
            close(sink);
        });
    }
    auto r = run_tool({"big", counted_here ? "sink" : "NUL"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    if (counted_here) {
        // A writer of our own that ends at once, so that the reader ends
        // even if the tool never wrote.
        close(open((dir / "sink").c_str(), O_WRONLY | O_NONBLOCK));
        counter.join();
        EXPECT_EQ(counted, size + std::size(lfs_at));
        EXPECT_EQ(crs, std::size(lfs_at));
    }
    std::vector<int> fields = fields_of(r.out);
    expect_rising_to_at_most_100(fields);
    EXPECT_EQ(fields.size(), (size + 49439) / 49440);
    ASSERT_FALSE(fields.empty());
    EXPECT_EQ(fields.back(), 100);
}

TEST_F(Faults, OfEightRunsOnOneOutputExactlyOneWins) {
    SKIP_WITHOUT_SHIM();
    constexpr int runs = 8;
    std::vector<tool_result> results(runs);
    std::vector<std::thread> threads;
    for (int i = 0; i < runs; ++i) {
        write_file(dir / ("in" + std::to_string(i)), text_lines(9000 + i, "\n") + std::to_string(i) + "\n");
        // Slow reads keep the winner on its output while the others try.
        run_options slow = shim({"LFSWAP_FAULT_SLOW_MS=40"}, "in" + std::to_string(i));
        threads.emplace_back([&, i, slow] { results[i] = run_tool({"in" + std::to_string(i), "out.txt"}, dir.path, "", slow); });
    }
    for (auto &t : threads)
        t.join();
    ASSERT_SHIM_LOADED();
    int winners = 0, winner = -1;
    for (int i = 0; i < runs; ++i) {
        if (results[i].status == 0) {
            ++winners;
            winner = i;
        } else {
            EXPECT_EQ(results[i].status, 1);
            EXPECT_TRUE(has_diagnostic(results[i].err, "error opening output file out.txt")) << results[i].err;
        }
    }
    ASSERT_EQ(winners, 1);
    EXPECT_EQ(read_file(dir / "out.txt"), to_dos(read_file(dir / ("in" + std::to_string(winner)))));
}

// Natively valgrind, which also counts the blocks left; under Wine its heap
// checker (WINEDEBUG=+heap), which checks every block's tail as it goes.
TEST_F(Faults, AMemoryCheckerFindsNoErrorAndOnlyTheKeptBuffersReachable) {
#ifdef LFSWAP_SANITIZED
    GTEST_SKIP() << "memory checkers do not run sanitized executables";
#endif
    if (!under_runner() && system("valgrind --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "missing: valgrind";
    write_file(dir / "dos.txt", text_lines(3000, "\r\n"));
    std::filesystem::create_symlink("/dev/full", dir / "full");
    // Blocks kept on purpose: the two chunk buffers; the banner's three
    // lines and its stamp.
    struct {
        std::vector<std::string> args;
        int status;
        int kept_blocks;
    } cases[] = {
        {{"in.txt", "a.out"}, 0, 2}, {{"dos.txt", "b.out"}, 0, 2}, {{}, 6, 4},
        {{"missing", "c.out"}, 1, 0}, {{"in.txt", "full"}, 1, 2},
    };
    for (const auto &c : cases) {
        const std::string label = testing::PrintToString(c.args);
        if (under_runner()) {
            run_options checked;
            checked.env = {"WINEDEBUG=-all,+heap"};
            auto r = run_tool(c.args, dir.path, "", checked);
            EXPECT_EQ(r.status, c.status) << label;
            EXPECT_TRUE(std::regex_search(r.err, std::regex("trace:heap"))) << label << ": the checker did not run";
            EXPECT_FALSE(std::regex_search(r.err, std::regex("err:heap|Unhandled exception"))) << label << r.err;
            continue;
        }
        std::vector<std::string> args = {"--error-exitcode=99", "--leak-check=full",
                                         "--errors-for-leak-kinds=definite,indirect,possible", tool_exe()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        run_options native;
        native.no_runner = true;
        auto r = run_program("valgrind", args, dir.path, "", native);
        EXPECT_EQ(r.status, c.status) << label << r.err;
        EXPECT_NE(r.err.find("ERROR SUMMARY: 0 errors"), std::string::npos) << r.err;
        std::smatch m;
        int kept = std::regex_search(r.err, m, std::regex("still reachable: [0-9,]+ bytes in ([0-9,]+) blocks"))
                       ? std::stoi(m[1].str())
                       : 0;
        EXPECT_EQ(kept, c.kept_blocks) << label << r.err;
    }
}
