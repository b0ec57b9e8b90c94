#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "converter/line_endings.h"
#include "converter/run_context.h"

namespace {

// Fails the allocations whose ordinal (from 0) is in `failing`.
std::vector<int> failing;
std::vector<std::size_t> asked;
void *scripted_alloc(std::size_t n) {
    int call = static_cast<int>(asked.size());
    asked.push_back(n);
    for (int f : failing)
        if (f == call)
            return nullptr;
    return std::malloc(n);
}

struct Buffers : testing::Test {
    void SetUp() override {
        run = {};
        asked.clear();
        buffer_alloc = scripted_alloc;
    }
    void TearDown() override {
        std::free(run.in_buf);
        std::free(run.out_buf);
        run = {};
        buffer_alloc = std::malloc;
    }
};

} // namespace

TEST_F(Buffers, SizesShrinkBySixThousandUntilBothFit) {
    struct {
        std::vector<int> fail;
        std::int32_t chunk_len;
        std::vector<std::size_t> asked;
    } cases[] = {
        {{}, 49440, {197760, 245760}},
        {{0}, 43440, {197760, 173760, 221760}},            // first in_buf refused
        {{1}, 43440, {197760, 245760, 173760, 221760}},    // first out_buf refused
        {{0, 2}, 37440, {197760, 173760, 221760, 149760, 197760}},
    };
    for (const auto &c : cases) {
        SetUp();
        failing = c.fail;
        get_buffers(default_base_size);
        EXPECT_EQ(run.chunk_len, c.chunk_len);
        EXPECT_EQ(asked, c.asked);
        EXPECT_NE(run.in_buf, nullptr);
        EXPECT_NE(run.out_buf, nullptr);
        TearDown();
    }
}

TEST_F(Buffers, GivesUpBelowTheSmallestChunkWithADiagnostic) {
    failing.clear();
    for (int i = 0; i < 100; ++i)
        failing.push_back(i);
    EXPECT_EXIT(get_buffers(default_base_size), testing::ExitedWithCode(1),
                "^\n[^\n]*converter/run_context\\.cpp\n[0-9]+\nnot enough memory for buffers\n$");
}

TEST_F(Buffers, TheLastTryIsAChunkOf1440) {
    // Eight refused in_bufs, N = 61,440 down to 19,440; 13,440 is the last N.
    failing.clear();
    for (int i = 0; i < 8; ++i)
        failing.push_back(i);
    get_buffers(default_base_size);
    EXPECT_EQ(run.chunk_len, 1440);
}

TEST(ReadChunk, EndOfFileAndFailureBothGiveZeroButOnlyFailureIsFlagged) {
    run = {};
    auto path = std::filesystem::temp_directory_path() / "lfswap-unit-empty";
    std::ofstream(path).close();
    io_handle h = file_open(path.c_str(), access_read, share_read, open_existing, attr_normal);
    ASSERT_NE(h, invalid_handle);
    unsigned char buf[16];
    EXPECT_EQ(read_chunk(h, buf, sizeof buf), 0u);
    EXPECT_FALSE(run.read_failed);
    file_close(h);
    std::filesystem::remove(path);

    EXPECT_EQ(read_chunk(invalid_handle, buf, sizeof buf), 0u);
    EXPECT_TRUE(run.read_failed);
    run = {};
    EXPECT_EQ(read_chunk(no_handle, buf, sizeof buf), 0u);
    EXPECT_TRUE(run.read_failed);
    run = {};
}
