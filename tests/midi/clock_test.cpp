#include "midi/clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace qx375::midi {
namespace {

using ::testing::ElementsAre;

int slider_interval(int position, int size) {
    return position * 18 / size;
}

std::vector<StepClock> listed(const StepClocks& clocks) {
    return {clocks.begin(), clocks.end()};
}

TEST(Tempo, APatternIsABarOfFourBeatsWhateverItsSize) {
    EXPECT_EQ(slider_interval(120, 16), 135);
    EXPECT_NEAR(bpm_of(16, 135), 111.111111, 1e-6);
    EXPECT_DOUBLE_EQ(bpm_of(24, 100), 100.0);
    EXPECT_DOUBLE_EQ(bpm_of(16, 125), 120.0);
    EXPECT_DOUBLE_EQ(bpm_of(0, 100), 0.0);
    EXPECT_DOUBLE_EQ(bpm_of(16, 0), 0.0);
    EXPECT_DOUBLE_EQ(bpm_of(-16, -125), 0.0);
}

TEST(Tempo, EveryPositionComesBackAsTheFirstPositionOfItsInterval) {
    for (int size : {14, 15, 16, 20, 21, 24}) {
        for (int position = kMinPosition; position <= kMaxPosition; ++position) {
            const int interval = slider_interval(position, size);
            int first = position;
            while (first > kMinPosition && slider_interval(first - 1, size) == interval) {
                --first;
            }
            ASSERT_EQ(nearest_position(bpm_of(size, interval), size), first)
                << "size " << size << ", position " << position;
        }
    }
}

TEST(Tempo, ATempoBetweenPositionsGoesToTheNearerOne) {
    // Size 16: 120 gives 135 ms (111.11 BPM), 121 gives 136 ms (110.29 BPM).
    EXPECT_EQ(nearest_position(111.0, 16), 120);
    EXPECT_EQ(nearest_position(110.5, 16), 121);
    // No position gives 16 steps the 125 ms of 120 BPM: 111 gives 124 ms
    // (120.97 BPM), 112 gives 126 ms (119.05 BPM), a little nearer.
    EXPECT_EQ(nearest_position(120.0, 16), 112);
    EXPECT_EQ(nearest_position(120.0, 24), 111); // 83 ms, 120.48 BPM
}

TEST(Tempo, TemposTheSliderCannotReachGiveItsEnds) {
    EXPECT_EQ(nearest_position(1000.0, 16), kMinPosition);
    EXPECT_EQ(nearest_position(INFINITY, 16), kMinPosition);
    EXPECT_EQ(nearest_position(1.0, 16), kMaxPosition);
    EXPECT_EQ(nearest_position(0.0, 16), kMaxPosition);
    EXPECT_EQ(nearest_position(-120.0, 16), kMaxPosition);
    EXPECT_EQ(nearest_position(-INFINITY, 16), kMaxPosition);
    EXPECT_EQ(nearest_position(NAN, 16), kMaxPosition);
    // Sizes no pattern has are taken as the nearest one the grid allows.
    EXPECT_EQ(nearest_position(bpm_of(1, 720), 0), kMinPosition);
    EXPECT_EQ(nearest_position(bpm_of(96, 75), 1000), kMaxPosition);
}

TEST(SongPosition, FourteenBitsOfSixteenthsBothWays) {
    EXPECT_THAT(song_position(0), ElementsAre(0xF2, 0x00, 0x00));
    EXPECT_THAT(song_position(200), ElementsAre(0xF2, 72, 1));
    EXPECT_THAT(song_position(kMaxSongPosition), ElementsAre(0xF2, 0x7F, 0x7F));
    EXPECT_THAT(song_position(kMaxSongPosition + 1), ElementsAre(0xF2, 0x7F, 0x7F));
    EXPECT_THAT(song_position(-1), ElementsAre(0xF2, 0x00, 0x00));
    for (int sixteenths = 0; sixteenths <= kMaxSongPosition; ++sixteenths) {
        const auto bytes = song_position(sixteenths);
        ASSERT_LT(bytes[1], 0x80);
        ASSERT_LT(bytes[2], 0x80);
        ASSERT_EQ(sixteenths_of(bytes[1], bytes[2]), sixteenths);
    }
    EXPECT_EQ(sixteenths_of(0xFF, 0xFF), kMaxSongPosition) << "a data byte has seven bits";
}

TEST(SongPosition, MeasuresAreSixteenSixteenthsAndASixteenthIsAQuarterBeat) {
    EXPECT_EQ(song_position_of_measure(1), 0);
    EXPECT_EQ(song_position_of_measure(2), 16);
    EXPECT_EQ(song_position_of_measure(kMaxMeasure), 16368);
    EXPECT_EQ(song_position_of_measure(kMaxMeasure + 1), 16368);
    EXPECT_EQ(song_position_of_measure(0), 0);
    EXPECT_EQ(song_position_of_measure(-7), 0);
    EXPECT_DOUBLE_EQ(beat_of_song_position(song_position_of_measure(3)), 8.0);
    EXPECT_DOUBLE_EQ(beat_of_song_position(6), 1.5);
    EXPECT_DOUBLE_EQ(beat_of_song_position(kMaxSongPosition), 4095.75);
}

TEST(StepClocks, EveryPatternSizeSharesOutTheBarsNinetySixClocksExactly) {
    for (int size : {14, 15, 16, 20, 21, 24}) {
        int next = 0;
        for (int step = 0; step < size; ++step) {
            const StepClocks clocks = step_clocks(size, step);
            ASSERT_LE(clocks.size(), 7u);
            ASSERT_GE(clocks.size(), 4u);
            for (const StepClock& c : clocks) {
                ASSERT_EQ(c.clock, next++) << "size " << size << ", step " << step;
                // Where the clock falls on the bar, in 96ths of a step, from
                // the step's start and from the clock's own place.
                ASSERT_EQ(96 * step + static_cast<int>(c.numerator), c.clock * size);
                ASSERT_LT(c.numerator, kStepClockDenominator);
            }
            ASSERT_LT(clocks[0].numerator, static_cast<std::uint32_t>(size))
                << "the step's first clock is the first one after its start";
        }
        EXPECT_EQ(next, kClocksPerBar) << "size " << size;
    }
}

TEST(StepClocks, SixteenStepsHaveAClockOnEveryStepAndFourteenFallBetween) {
    for (int step = 0; step < 16; ++step) {
        const StepClocks clocks = step_clocks(16, step);
        ASSERT_EQ(clocks.size(), 6u);
        for (std::size_t i = 0; i < clocks.size(); ++i) {
            EXPECT_EQ(clocks[i], (StepClock{6 * step + static_cast<int>(i),
                                            16 * static_cast<std::uint32_t>(i)}));
        }
    }
    EXPECT_THAT(listed(step_clocks(14, 1)),
                ElementsAre(StepClock{7, 2}, StepClock{8, 16}, StepClock{9, 30}, StepClock{10, 44},
                            StepClock{11, 58}, StepClock{12, 72}, StepClock{13, 86}));
    EXPECT_THAT(listed(step_clocks(20, 19)), ElementsAre(StepClock{92, 16}, StepClock{93, 36},
                                                         StepClock{94, 56}, StepClock{95, 76}));
}

TEST(StepClocks, OddSizesAndStepsGetWhatTheGridAllows) {
    const StepClocks whole_bar = step_clocks(1, 0);
    ASSERT_EQ(whole_bar.size(), 96u);
    EXPECT_EQ(whole_bar[95], (StepClock{95, 95}));
    for (int step = 0; step < 96; ++step) {
        ASSERT_EQ(step_clocks(96, step).size(), 1u);
        EXPECT_EQ(step_clocks(96, step)[0], (StepClock{step, 0}));
    }
    EXPECT_TRUE(step_clocks(0, 0).empty());
    EXPECT_TRUE(step_clocks(97, 0).empty());
    EXPECT_TRUE(step_clocks(-16, 0).empty());
    EXPECT_TRUE(step_clocks(16, -1).empty());
    EXPECT_TRUE(step_clocks(16, 16).empty());
}

} // namespace
} // namespace qx375::midi
