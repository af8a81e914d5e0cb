#include "tools/render/block_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace qx375::render_files {
namespace {

constexpr std::size_t kFrames = 8;

// Block n: the mix's frames are n, stem k's are 100 k + n; the first frame
// is not the take's, and only the even stems sound.
struct Blocks {
    std::vector<float> mix = std::vector<float>(2 * kFrames);
    std::vector<float> stems = std::vector<float>(3 * 2 * kFrames);

    Block make(int n) {
        std::fill(mix.begin(), mix.end(), static_cast<float>(n));
        for (std::size_t k = 0; k < 3; ++k) {
            std::fill_n(stems.begin() + static_cast<std::ptrdiff_t>(k * mix.size()), mix.size(),
                        static_cast<float>(100 * k + n));
        }
        return Block{mix, stems, 0b101, 1, kFrames - 1, static_cast<std::uint64_t>(n)};
    }
};

// Every block arrives once, in order, as it was when it was put, however
// soon the render reuses its buffers; the writer copies what goes out.
TEST(BlockWriter, WritesEveryBlockInOrderAsItWasPut) {
    Blocks blocks;
    std::vector<int> seen;
    bool intact = true;
    BlockWriter writer([&](const Block& b) {
        const auto n = static_cast<float>(b.written);
        seen.push_back(static_cast<int>(b.written));
        intact = intact && b.from == 1 && b.frames == kFrames - 1 && b.sounding == 0b101 &&
                 b.mix.size() == 2 * kFrames && b.stems.size() == 3 * 2 * kFrames;
        for (std::size_t i = 2; i < 2 * kFrames; ++i) {
            intact = intact && b.mix[i] == n && b.stems[i] == n &&
                     b.stems[2 * 2 * kFrames + i] == 200 + n;
        }
        return true;
    });
    for (int n = 0; n < 1000; ++n) {
        ASSERT_TRUE(writer.put(blocks.make(n)));
    }
    EXPECT_TRUE(writer.finish());
    ASSERT_EQ(seen.size(), 1000u);
    for (int n = 0; n < 1000; ++n) {
        EXPECT_EQ(seen[static_cast<std::size_t>(n)], n);
    }
    EXPECT_TRUE(intact);
}

// A render shorter than the writer's batch is written whole when it ends.
TEST(BlockWriter, WritesARenderShorterThanABatchWhole) {
    Blocks blocks;
    std::vector<std::uint64_t> seen;
    BlockWriter writer([&](const Block& b) {
        seen.push_back(b.written);
        return true;
    });
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(writer.put(blocks.make(n)));
    }
    EXPECT_TRUE(writer.finish());
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{0, 1, 2}));
}

// A write that fails takes no more: the render hears of it within a few
// blocks, and the blocks after it are never written.
TEST(BlockWriter, AFailedWriteStopsTheRender) {
    Blocks blocks;
    std::atomic<int> writes = 0;
    BlockWriter writer([&](const Block& b) {
        ++writes;
        return b.written < 10;
    });
    int put = 0;
    while (put < 1000 && writer.put(blocks.make(put))) {
        ++put;
    }
    EXPECT_LT(put, 1000);
    EXPECT_FALSE(writer.finish());
    EXPECT_EQ(writes, 11);
}

} // namespace
} // namespace qx375::render_files
