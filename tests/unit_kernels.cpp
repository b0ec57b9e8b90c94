// Every conversion kernel this CPU can run, against the byte-by-byte
// reference: every length 0..300 at every alignment 0..63, random text,
// every pattern of hits in a word and chunks built to hit block edges.
// Kernels the CPU cannot run are skipped by name, so the test list says
// which ones ran.
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "converter/kernels.h"
#include "converter/line_endings.h"
#include "tests/support/reference.h"

// Failure messages name the kernel set rather than dumping its bytes.
void PrintTo(const kernel_set *k, std::ostream *os) { *os << k->name; }

namespace {

// Every kernel of a set: a direction over a text (0 bytes, 1 UTF-16LE, 2
// UTF-16BE), which the oracle converts the same way.
struct direction {
    const char *name;
    convert_kernel const (kernel_set::*kernels)[kernel_texts];
    int text;
    std::string reference(const std::string &in) const {
        return converted(in, kernels == &kernel_set::unix_to_dos, text == 0 ? 1 : 2, text == 2);
    }
};
const direction directions[] = {
    {"unix_to_dos", &kernel_set::unix_to_dos, 0},    {"dos_to_unix", &kernel_set::dos_to_unix, 0},
    {"unix_to_dos LE", &kernel_set::unix_to_dos, 1}, {"dos_to_unix LE", &kernel_set::dos_to_unix, 1},
    {"unix_to_dos BE", &kernel_set::unix_to_dos, 2}, {"dos_to_unix BE", &kernel_set::dos_to_unix, 2},
};
convert_kernel kernel_of(const kernel_set *k, const direction &d) { return (k->*d.kernels)[d.text]; }

constexpr unsigned char sentinel = 0xA5;

// Runs the set's kernel for `d` over `in` placed at `where` and checks it
// against the reference, and that nothing past the kernel's 2n + 64 bytes of
// room was written. Called through CHECK_KERNEL, which ends the case at the
// first wrong result: one broken kernel would otherwise fail thousands of
// times over.
void check(const kernel_set *set, const direction &d, const std::string &in, const unsigned char *where,
           const std::string &label) {
    const std::string want = d.reference(in);
    std::vector<unsigned char> got(2 * in.size() + 64 + 64, sentinel);
    std::size_t n = kernel_of(set, d)(where, in.size(), got.data());
    ASSERT_EQ(n, want.size()) << label;
    ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin(), [](char a, unsigned char b) {
        return static_cast<unsigned char>(a) == b;
    })) << label;
    for (std::size_t i = 2 * in.size() + 64; i < got.size(); ++i)
        ASSERT_EQ(got[i], sentinel) << label << ": wrote past its room at " << i;
}
#define CHECK_KERNEL(d, in, where, label) ASSERT_NO_FATAL_FAILURE(check(GetParam(), d, in, where, label))

// Input ending right before an inaccessible page: a read past the end faults.
struct guarded_input {
#ifdef _WIN32
    std::size_t page = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return static_cast<std::size_t>(info.dwPageSize);
    }();
    unsigned char *base = static_cast<unsigned char *>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    guarded_input() {
        DWORD was;
        VirtualProtect(base + page, page, PAGE_NOACCESS, &was);
    }
    ~guarded_input() { VirtualFree(base, 0, MEM_RELEASE); }
#else
    std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    unsigned char *base = static_cast<unsigned char *>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    guarded_input() { mprotect(base + page, page, PROT_NONE); }
    ~guarded_input() { munmap(base, 2 * page); }
#endif
    const unsigned char *place(const std::string &in) {
        unsigned char *at = base + page - in.size();
        std::copy(in.begin(), in.end(), at);
        return at;
    }
};

// Bytes, or for UTF-16 (`text` 1 or 2) units that are CR, LF, text, or
// that hold a CR or LF byte in the wrong half; the length may be odd.
std::string random_text(std::mt19937 &rng, std::size_t n, int text = 0) {
    static const std::string units[] = {std::string("\n\0", 2), std::string("\0\n", 2), std::string("\r\0", 2),
                                        std::string("\0\r", 2), std::string("\n\r", 2), "ab", std::string("\n\n", 2)};
    std::string s;
    while (s.size() < n) {
        unsigned r = rng() % 100;
        s += text != 0 ? units[r % std::size(units)]
                       : std::string(1, r < 8 ? '\n' : r < 14 ? '\r' : r < 16 ? '\0' : static_cast<char>(rng() % 256));
    }
    s.resize(n);
    return s;
}

// Byte text as is; for UTF-16 (`text` 1 or 2) each byte made a unit.
std::string as_text(const std::string &bytes, int text) { return text == 0 ? bytes : utf16(bytes, text == 2).substr(2); }

// Chunks that put CR, LF or a CR LF pair at every block edge of 8, 16, 32,
// 64 (of 16 to 128 bytes in UTF-16).
std::vector<std::string> edge_cases(int text) {
    std::vector<std::string> v;
    for (std::string fill : {"\n", "\r", "\r\n", "\n\r", "a"})
        v.push_back([&] {
            std::string s;
            while (s.size() < 1000)
                s += fill;
            return s;
        }());
    for (unsigned block : {8u, 16u, 32u, 64u})
        for (std::string hit : {"\n", "\r", "\r\n"})
            for (int shift : {-1, 0, 1}) {
                std::string s(700, 'q');
                for (std::size_t at = block; at + 2 < s.size(); at += block)
                    s.replace(static_cast<std::size_t>(static_cast<long>(at) + shift), hit.size(), hit);
                v.push_back(s);
            }
    v.push_back(std::string(300, '\r') + "\n" + std::string(300, '\r'));
    for (auto &s : v)
        s = as_text(s, text);
    return v;
}

struct Kernels : testing::TestWithParam<const kernel_set *> {
    void SetUp() override {
        if (!GetParam()->supported())
            GTEST_SKIP() << GetParam()->name << " needs CPU features this machine lacks";
    }
};

} // namespace

TEST_P(Kernels, EveryLengthAtEveryAlignmentMatchesTheReference) {
    std::mt19937 rng(1);
    std::vector<unsigned char> buf(64 + 300 + 64);
    guarded_input guard;
    for (const auto &d : directions) {
        for (std::size_t n = 0; n <= 300; ++n) {
            std::string in = random_text(rng, n, d.text);
            for (std::size_t offset = 0; offset < 64; ++offset) {
                std::copy(in.begin(), in.end(), buf.begin() + static_cast<long>(offset));
                CHECK_KERNEL(d, in, buf.data() + offset,
                             std::string(d.name) + " n=" + std::to_string(n) + " offset=" + std::to_string(offset));
            }
            CHECK_KERNEL(d, in, guard.place(in), std::string(d.name) + " guarded n=" + std::to_string(n));
        }
    }
}

TEST_P(Kernels, BlockEdgesAndLongChunksMatchTheReference) {
    std::mt19937 rng(2);
    guarded_input guard;
    for (const auto &d : directions) {
        std::vector<std::string> inputs = edge_cases(d.text);
        inputs.push_back(random_text(rng, 49440, d.text)); // a whole chunk
        inputs.push_back(random_text(rng, 49439, d.text));
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const std::string &in = inputs[i];
            std::string label = std::string(d.name) + " case " + std::to_string(i);
            CHECK_KERNEL(d, in, reinterpret_cast<const unsigned char *>(in.data()), label);
            if (in.size() <= guard.page)
                CHECK_KERNEL(d, in, guard.place(in), label + " guarded");
        }
    }
}

// Every way eight bytes (or UTF-16 units) can hold line ends (each a CR, an
// LF or text), at every position in a block, so every path through a block
// that holds a hit is taken, dense ones included; the text after the word
// is long enough for two blocks of 64.
TEST_P(Kernels, EveryPatternOfHitsInAWordMatchesTheReference) {
    for (const auto &d : directions)
        for (unsigned pattern = 0; pattern < 6561; ++pattern) { // 3^8
            std::string word(8, 't');
            for (unsigned k = 0, p = pattern; k < 8; ++k, p /= 3)
                word[k] = "t\r\n"[p % 3];
            for (std::size_t at : {0u, 5u, 8u, 27u, 56u}) {
                std::string in = as_text(std::string(at, 'a') + word + std::string(140, 'b'), d.text);
                CHECK_KERNEL(d, in, reinterpret_cast<const unsigned char *>(in.data()),
                             std::string(d.name) + " pattern " + word + " at " + std::to_string(at));
            }
        }
}

INSTANTIATE_TEST_SUITE_P(AllBuilt, Kernels, testing::ValuesIn(all_kernel_sets().begin(), all_kernel_sets().end()),
                         [](const testing::TestParamInfo<const kernel_set *> &info) { return std::string(info.param->name); });

TEST(Kernels, ThePortableSetIsLastAndTheActiveOneIsSupported) {
    EXPECT_STREQ(all_kernel_sets().back()->name, "portable");
    EXPECT_TRUE(active_kernels().supported());
    std::cout << "[ INFO     ] converters use the " << active_kernels().name << " kernels\n";
}
