#include "platform/spsc_ring.h"

#include <gtest/gtest.h>

#include <thread>

namespace qx375 {
namespace {

TEST(SpscRing, KeepsOrderAcrossThreadsAndWrapAround) {
    SpscRing<std::uint64_t> ring(64);
    constexpr std::uint64_t kCount = 200000;
    std::thread producer([&] {
        for (std::uint64_t i = 0; i < kCount;) {
            if (ring.push(i)) {
                ++i;
            }
        }
    });
    std::uint64_t expected = 0;
    while (expected < kCount) {
        std::uint64_t got;
        if (ring.pop(got)) {
            ASSERT_EQ(got, expected);
            ++expected;
        }
    }
    producer.join();
    EXPECT_EQ(ring.size(), 0u);
}

TEST(SpscRing, WritesOnlyWhatFits) {
    SpscRing<int> ring(5);
    EXPECT_EQ(ring.capacity(), 8u);
    const int items[10] = {};
    EXPECT_EQ(ring.write(items), 8u);
    EXPECT_FALSE(ring.push(1));
    int out[3];
    EXPECT_EQ(ring.read(out), 3u);
    EXPECT_EQ(ring.free_space(), 3u);
    ring.discard();
    EXPECT_EQ(ring.size(), 0u);
}

} // namespace
} // namespace qx375
