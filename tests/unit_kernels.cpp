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

#include <sys/mman.h>
#include <unistd.h>

#include "converter/kernels.h"
#include "converter/line_endings.h"
#include "tests/support/reference.h"

// Failure messages name the kernel set rather than dumping its bytes.
void PrintTo(const kernel_set &k, std::ostream *os) { *os << k.name; }

namespace {

using reference_fn = std::size_t (*)(const unsigned char *, std::size_t, unsigned char *);

struct direction {
    const char *name;
    convert_kernel kernel_set::*kernel;
    reference_fn reference;
};
const direction directions[] = {
    {"unix_to_dos", &kernel_set::unix_to_dos, reference_unix_to_dos},
    {"dos_to_unix", &kernel_set::dos_to_unix, reference_dos_to_unix},
};

constexpr unsigned char sentinel = 0xA5;

// Runs `k` over `in` placed at `where` and checks it against the reference,
// and that nothing past the kernel's 2n + 64 bytes of room was written.
void check(convert_kernel k, reference_fn ref, const std::string &in, const unsigned char *where,
           const std::string &label) {
    std::vector<unsigned char> want(2 * in.size() + 1);
    want.resize(ref(where, in.size(), want.data()));
    std::vector<unsigned char> got(2 * in.size() + 64 + 64, sentinel);
    std::size_t n = k(where, in.size(), got.data());
    ASSERT_EQ(n, want.size()) << label;
    ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin())) << label;
    for (std::size_t i = 2 * in.size() + 64; i < got.size(); ++i)
        ASSERT_EQ(got[i], sentinel) << label << ": wrote past its room at " << i;
}

// Input ending right before an inaccessible page: a read past the end faults.
struct guarded_input {
    std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    unsigned char *base;
    guarded_input() {
        base = static_cast<unsigned char *>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                                                 MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(base + page, page, PROT_NONE);
    }
    ~guarded_input() { munmap(base, 2 * page); }
    const unsigned char *place(const std::string &in) {
        unsigned char *at = base + page - in.size();
        std::copy(in.begin(), in.end(), at);
        return at;
    }
};

std::string random_text(std::mt19937 &rng, std::size_t n) {
    std::string s(n, 'x');
    for (auto &c : s) {
        unsigned r = rng() % 100;
        c = r < 8 ? '\n' : r < 14 ? '\r' : r < 16 ? '\0' : static_cast<char>(rng() % 256);
    }
    return s;
}

// Chunks that put CR, LF or a CR LF pair at every block edge of 8, 16, 32, 64.
std::vector<std::string> edge_cases() {
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
    return v;
}

struct Kernels : testing::TestWithParam<kernel_set> {
    void SetUp() override {
        if (!GetParam().supported())
            GTEST_SKIP() << GetParam().name << " needs CPU features this machine lacks";
    }
};

} // namespace

TEST_P(Kernels, EveryLengthAtEveryAlignmentMatchesTheReference) {
    std::mt19937 rng(1);
    std::vector<unsigned char> buf(64 + 300 + 64);
    guarded_input guard;
    for (const auto &d : directions) {
        convert_kernel k = GetParam().*d.kernel;
        for (std::size_t n = 0; n <= 300; ++n) {
            std::string in = random_text(rng, n);
            for (std::size_t offset = 0; offset < 64; ++offset) {
                std::copy(in.begin(), in.end(), buf.begin() + static_cast<long>(offset));
                check(k, d.reference, in, buf.data() + offset,
                      std::string(d.name) + " n=" + std::to_string(n) + " offset=" + std::to_string(offset));
            }
            check(k, d.reference, in, guard.place(in), std::string(d.name) + " guarded n=" + std::to_string(n));
        }
    }
}

TEST_P(Kernels, BlockEdgesAndLongChunksMatchTheReference) {
    std::mt19937 rng(2);
    guarded_input guard;
    std::vector<std::string> inputs = edge_cases();
    inputs.push_back(random_text(rng, 49440)); // a whole chunk
    inputs.push_back(random_text(rng, 49439));
    for (const auto &d : directions)
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const std::string &in = inputs[i];
            std::string label = std::string(d.name) + " case " + std::to_string(i);
            check(GetParam().*d.kernel, d.reference, in, reinterpret_cast<const unsigned char *>(in.data()), label);
            if (in.size() <= guard.page)
                check(GetParam().*d.kernel, d.reference, in, guard.place(in), label + " guarded");
        }
}

// Every way eight bytes can hold line-end bytes (each byte a CR, an LF or
// text), at every position in a block, so every path through a word that
// holds a hit is taken, dense ones included.
TEST_P(Kernels, EveryPatternOfHitsInAWordMatchesTheReference) {
    for (const auto &d : directions)
        for (unsigned pattern = 0; pattern < 6561; ++pattern) { // 3^8
            std::string word(8, 't');
            for (unsigned k = 0, p = pattern; k < 8; ++k, p /= 3)
                word[k] = "t\r\n"[p % 3];
            for (std::size_t at : {0u, 5u, 8u, 27u, 56u}) {
                std::string in = std::string(at, 'a') + word + std::string(70, 'b');
                check(GetParam().*d.kernel, d.reference, in, reinterpret_cast<const unsigned char *>(in.data()),
                      std::string(d.name) + " pattern " + word + " at " + std::to_string(at));
            }
        }
}

// The UTF-16 converters, both byte orders, both directions: every length
// (odd ones end in a lone byte) at every alignment, over units that are CR,
// LF, text, or that hold a CR or LF byte in the wrong half.
TEST(Utf16Kernels, EveryLengthAtEveryAlignmentMatchesTheUnitRule) {
    const direction utf16_directions[] = {
        {"unix_to_dos LE", nullptr, [](const unsigned char *i, std::size_t n, unsigned char *o) { return reference_unix_to_dos_utf16(i, n, o, false); }},
        {"dos_to_unix LE", nullptr, [](const unsigned char *i, std::size_t n, unsigned char *o) { return reference_dos_to_unix_utf16(i, n, o, false); }},
        {"unix_to_dos BE", nullptr, [](const unsigned char *i, std::size_t n, unsigned char *o) { return reference_unix_to_dos_utf16(i, n, o, true); }},
        {"dos_to_unix BE", nullptr, [](const unsigned char *i, std::size_t n, unsigned char *o) { return reference_dos_to_unix_utf16(i, n, o, true); }},
    };
    const convert_kernel kernels[] = {
        [](const unsigned char *i, std::size_t n, unsigned char *o) { return unix_to_dos_utf16(i, n, o, false); },
        [](const unsigned char *i, std::size_t n, unsigned char *o) { return dos_to_unix_utf16(i, n, o, false); },
        [](const unsigned char *i, std::size_t n, unsigned char *o) { return unix_to_dos_utf16(i, n, o, true); },
        [](const unsigned char *i, std::size_t n, unsigned char *o) { return dos_to_unix_utf16(i, n, o, true); },
    };
    const std::string units[] = {std::string("\n\0", 2), std::string("\0\n", 2), std::string("\r\0", 2),
                                 std::string("\0\r", 2), std::string("\n\r", 2), "ab", std::string("\n\n", 2)};
    std::mt19937 rng(3);
    std::vector<unsigned char> buf(8 + 301);
    guarded_input guard;
    for (std::size_t d = 0; d < std::size(kernels); ++d)
        for (std::size_t n = 0; n <= 301; ++n) {
            std::string in;
            while (in.size() < n)
                in += units[rng() % std::size(units)];
            in.resize(n);
            for (std::size_t offset = 0; offset < 8; ++offset) {
                std::copy(in.begin(), in.end(), buf.begin() + static_cast<long>(offset));
                check(kernels[d], utf16_directions[d].reference, in, buf.data() + offset,
                      std::string(utf16_directions[d].name) + " n=" + std::to_string(n) + " offset=" + std::to_string(offset));
            }
            check(kernels[d], utf16_directions[d].reference, in, guard.place(in),
                  std::string(utf16_directions[d].name) + " guarded n=" + std::to_string(n));
        }
}

INSTANTIATE_TEST_SUITE_P(AllBuilt, Kernels, testing::ValuesIn(all_kernel_sets().begin(), all_kernel_sets().end()),
                         [](const testing::TestParamInfo<kernel_set> &info) { return std::string(info.param.name); });

TEST(Kernels, ThePortableSetIsLastAndTheActiveOneIsSupported) {
    EXPECT_STREQ(all_kernel_sets().back().name, "portable");
    EXPECT_TRUE(active_kernels().supported());
    std::cout << "[ INFO     ] converters use the " << active_kernels().name << " kernels\n";
}
