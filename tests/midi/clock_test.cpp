#include "midi/clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace qx375::midi {
namespace {

using ::testing::ElementsAre;

TEST(Tempo, SliderPositionsAndTemposBothWays) {
    EXPECT_NEAR(bpm_of(16, 120 * 18 / 16), 111.111111, 1e-6); // 135 ms
    EXPECT_DOUBLE_EQ(bpm_of(24, 100), 100.0);
    EXPECT_DOUBLE_EQ(bpm_of(0, 100) + bpm_of(16, 0), 0.0);
    // Each position comes back as the first one giving its interval.
    for (int size : {14, 15, 16, 20, 21, 24}) {
        for (int position = kMinPosition; position <= kMaxPosition; ++position) {
            int first = position;
            while (first > kMinPosition && (first - 1) * 18 / size == position * 18 / size) {
                --first;
            }
            ASSERT_EQ(nearest_position(bpm_of(size, position * 18 / size), size), first);
        }
    }
    // No position gives 16 steps the 125 ms of 120 BPM: 124 ms is 120.97 BPM,
    // 126 ms (position 112) 119.05, a little nearer.
    EXPECT_EQ(nearest_position(120.0, 16), 112);
    EXPECT_EQ(nearest_position(120.0, 24), 111); // 83 ms, 120.48 BPM
    for (double fast : {1000.0, double(INFINITY)}) {
        EXPECT_EQ(nearest_position(fast, 16), kMinPosition);
    }
    for (double slow : {1.0, 0.0, -120.0, double(-INFINITY), double(NAN)}) {
        EXPECT_EQ(nearest_position(slow, 16), kMaxPosition);
    }
}

TEST(SongPosition, FourteenBitsOfSixteenthsAndMeasuresOfSixteen) {
    EXPECT_THAT(song_position(200), ElementsAre(0xF2, 72, 1));
    EXPECT_THAT(song_position(kMaxSongPosition + 1), ElementsAre(0xF2, 0x7F, 0x7F));
    EXPECT_THAT(song_position(-1), ElementsAre(0xF2, 0x00, 0x00));
    for (int sixteenths = 0; sixteenths <= kMaxSongPosition; ++sixteenths) {
        const auto bytes = song_position(sixteenths);
        ASSERT_EQ(sixteenths_of(bytes[1], bytes[2]), sixteenths);
        ASSERT_LT(bytes[1] | bytes[2], 0x80);
    }
    EXPECT_EQ(sixteenths_of(0xFF, 0xFF), kMaxSongPosition) << "a data byte has seven bits";
    EXPECT_EQ(song_position_of_measure(2), 16);
    EXPECT_EQ(song_position_of_measure(kMaxMeasure + 1), 16368);
    EXPECT_EQ(song_position_of_measure(-7), 0);
    EXPECT_DOUBLE_EQ(beat_of_song_position(song_position_of_measure(3)), 8.0);
    EXPECT_DOUBLE_EQ(beat_of_song_position(6), 1.5);
}

TEST(StepClocks, EverySizeSharesOutTheBarsNinetySixClocksExactly) {
    for (int size : {14, 15, 16, 20, 21, 24, 1, 96}) {
        int next = 0;
        for (int step = 0; step < size; ++step) {
            const StepClocks clocks = step_clocks(size, step);
            ASSERT_LE(clocks.size(), size >= 14 ? 7u : 96u);
            for (const StepClock& c : clocks) {
                ASSERT_EQ(c.clock, next++) << "size " << size << ", step " << step;
                ASSERT_EQ(96 * step + static_cast<int>(c.numerator), c.clock * size);
                ASSERT_LT(c.numerator, kStepClockDenominator);
            }
            if (size == 16) {
                ASSERT_EQ(clocks[0], (StepClock{6 * step, 0})) << "every 6th clock on a step";
            }
        }
        EXPECT_EQ(next, kClocksPerBar) << "size " << size;
    }
    const StepClocks second = step_clocks(14, 1);
    EXPECT_THAT(std::vector<StepClock>(second.begin(), second.end()),
                ElementsAre(StepClock{7, 2}, StepClock{8, 16}, StepClock{9, 30}, StepClock{10, 44},
                            StepClock{11, 58}, StepClock{12, 72}, StepClock{13, 86}));
    for (auto [size, step] : {std::pair{0, 0}, {97, 0}, {-16, 0}, {16, -1}, {16, 16}}) {
        EXPECT_TRUE(step_clocks(size, step).empty()) << size << " " << step;
    }
}

} // namespace
} // namespace qx375::midi
