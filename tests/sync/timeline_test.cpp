#include "sync/timeline.h"

#include <gtest/gtest.h>

namespace qx375::sync {
namespace {

TEST(Timeline, MapsBeatsAndFramesBothWaysAtItsTempo) {
    const Timeline line{8.0, 1000.0, 22050.0}; // 120 BPM at 44.1 kHz, beat 8 on frame 1000
    EXPECT_DOUBLE_EQ(line.frame_at(8.0), 1000.0);
    EXPECT_DOUBLE_EQ(line.frame_at(9.5), 1000.0 + 1.5 * 22050.0);
    EXPECT_DOUBLE_EQ(line.beat_at(line.frame_at(123.25)), 123.25);
    EXPECT_DOUBLE_EQ(line.frame_at(7.0), 1000.0 - 22050.0);
    EXPECT_DOUBLE_EQ(line.bpm(44100), 120.0);
}

} // namespace
} // namespace qx375::sync
