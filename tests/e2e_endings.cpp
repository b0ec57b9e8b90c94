// How runs end early: the usage screen and the self-check.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/tool_run.h"

namespace {

const std::string check_failed = "lfswap: the program file failed its integrity check\n";

std::string golden(const std::string &name) { return read_file(std::string(LFSWAP_GOLDEN_DIR) + "/" + name); }

// The word size `exe` was built for, from its ELF or PE header: the banner
// says it.
int word_bits(const std::string &exe) {
    const std::string h = read_file(exe).substr(0, 4096);
    if (h.starts_with("\x7f" "ELF"))
        return h[4] == 2 ? 64 : 32;
    const auto at = static_cast<std::size_t>(static_cast<unsigned char>(h[0x3C]) | static_cast<unsigned char>(h[0x3D]) << 8);
    return h.compare(at + 4, 2, "\x64\x86") == 0 ? 64 : 32; // the machine: AMD64, else i386
}

// A copy of the tool under test with one byte changed at `offset` (from the
// end when negative), away from the stamp.
std::string damaged_copy(const scratch_dir &dir, long offset) {
    std::string exe = read_file(tool_exe());
    std::size_t at = offset >= 0 ? std::size_t(offset) : exe.size() - std::size_t(-offset);
    exe[at] = static_cast<char>(exe[at] ^ 0x01);
    std::string path = dir / "damaged.exe";
    write_file(path, exe);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

struct Endings : testing::Test {
    scratch_dir dir;
    bool folder_empty() const { return std::filesystem::is_empty(dir.path); }
};

} // namespace

TEST_F(Endings, TooFewWordsShowTheBannerAndUsage) {
    for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"one.txt"}}) {
        auto r = run_tool(args, dir.path);
        EXPECT_EQ(r.status, 6);
        EXPECT_EQ(r.out, golden("usage.txt"));
        ASSERT_EQ(r.err.size(), 29 + 5 * 79u);
        EXPECT_EQ(r.err.substr(0, 29), std::string(29, '\n'));
        for (int i = 0; i < 5; ++i) {
            std::string line = r.err.substr(29 + 79 * i, 79);
            EXPECT_EQ(line.substr(0, 2), "  ");
            EXPECT_EQ(line.back(), '\n');
            EXPECT_EQ(line.find('\n'), 78u);
        }
        EXPECT_TRUE(folder_empty());
    }
}

TEST_F(Endings, BannerOfAFixedDateBuildIsByteForByteKnown) {
    auto r = run_program(fixed_date_exe(), {"one.txt"}, dir.path);
    EXPECT_EQ(r.status, 6);
    EXPECT_EQ(r.err, golden("banner-2002-02-05-" + std::to_string(word_bits(fixed_date_exe())) + ".bin"));
    EXPECT_EQ(r.out, golden("usage.txt"));
}

TEST_F(Endings, ADamagedExecutableStopsBeforeDoingAnything) {
    write_file(dir / "a.txt", "a\n");
    std::string exe = read_file(tool_exe());
    for (long offset : {100L, long(exe.size() / 2), -1L}) {
        auto r = run_program(damaged_copy(dir, offset), {"a.txt", "b.txt"}, dir.path);
        EXPECT_EQ(r.status, 1) << offset;
        EXPECT_EQ(r.out, check_failed);
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(file_exists(dir / "b.txt"));
    }
}

TEST_F(Endings, AnUnstampedBuildFailsItsCheckAndAnIntactCopyPasses) {
    write_file(dir / "a.txt", "a\n");
    auto r = run_program(unstamped_exe(), {"a.txt", "b.txt"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, check_failed);
    EXPECT_FALSE(file_exists(dir / "b.txt"));

    // Also from a folder whose name the ANSI code page cannot hold: the
    // Windows tool's own path, in ANSI, would hold "?" and open nothing.
    for (const std::string folder : {".", "\xD0\x94\xD0\xBE\xD0\xBA\xD1\x83\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\xD1\x8B"}) {
        std::filesystem::create_directories(dir / folder);
        std::filesystem::copy_file(tool_exe(), dir / (folder + "/copy.exe"));
        auto ok = run_program(dir / (folder + "/copy.exe"), {"a.txt", "b.txt"}, dir.path);
        EXPECT_EQ(ok.status, 0) << folder << ok.out;
        EXPECT_EQ(read_file(dir / "b.txt"), "a\r\n");
    }
    if (!under_runner())
        return;
    // Releases on Windows are signed: what signing adds (the PE checksum,
    // the certificate table's entry, the certificates) is left out of the
    // check, as the Authenticode hash leaves it out; the rest still counts.
    run_options plain;
    plain.no_runner = true;
    auto signing = run_program("/bin/sh", {"-c", "command -v osslsigncode && command -v openssl"}, dir.path, "", plain);
    if (signing.status != 0)
        GTEST_SKIP() << "missing: osslsigncode and openssl, to sign a copy";
    auto made = run_program(
        "/bin/sh",
        {"-c", "openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj /CN=lfswap-test "
               "&& osslsigncode sign -certs cert.pem -key key.pem -in \"$0\" -out signed.exe",
         tool_exe()},
        dir.path, "", plain);
    ASSERT_EQ(made.status, 0) << made.err;
    auto passed = run_program(dir / "signed.exe", {"a.txt", "s.txt"}, dir.path);
    EXPECT_EQ(passed.status, 0) << passed.out;
    std::string damaged = read_file(dir / "signed.exe");
    damaged[100] = static_cast<char>(damaged[100] ^ 0x01);
    write_file(dir / "signed.exe", damaged);
    auto failed = run_program(dir / "signed.exe", {"a.txt", "t.txt"}, dir.path);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, check_failed);
}

TEST_F(Endings, AnIntactProgramPassesItsCheckHoweverItIsStarted) {
    if (under_runner())
        GTEST_SKIP() << "the dynamic loader and execute-only files are POSIX matters";
    write_file(dir / "a.txt", "a\n");
    run_options plain;
    plain.no_runner = true;
    // Through the dynamic loader, /proc/self/exe names the loader.
    const std::string loader = "/lib64/ld-linux-x86-64.so.2";
    if (std::filesystem::exists(loader)) {
        auto r = run_program(loader, {tool_exe(), "a.txt", "b.txt"}, dir.path, "", plain);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(read_file(dir / "b.txt"), "a\r\n");
    }
    // An execute-only copy, run by another user, cannot be read: the check
    // says so, and says nothing of damage.
    std::filesystem::permissions(dir.path, std::filesystem::perms::all);
    // Another user cannot open /proc/self/map_files: the path the mapping
    // records is used, a newline in it written there as \012.
    plain.as_nobody = true;
    std::filesystem::create_directory(dir / "new\nline");
    std::filesystem::copy_file(tool_exe(), dir / "new\nline/copy");
    auto odd = run_program(dir / "new\nline/copy", {"a.txt", "d.txt"}, dir.path, "", plain);
    EXPECT_EQ(odd.status, 0) << odd.out;
    EXPECT_EQ(read_file(dir / "d.txt"), "a\r\n");
    std::filesystem::copy_file(tool_exe(), dir / "x-only");
    std::filesystem::permissions(dir / "x-only", std::filesystem::perms::owner_exec |
                                                     std::filesystem::perms::group_exec |
                                                     std::filesystem::perms::others_exec);
    auto r = run_program(dir / "x-only", {"a.txt", "c.txt"}, dir.path, "", plain);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "lfswap: the program file cannot be read for its integrity check\n");
    EXPECT_FALSE(file_exists(dir / "c.txt"));
}
