#include "soak_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace qx375::test {
namespace {

using soak::GridCheck;
using soak::OnsetFinder;
using soak::OnsetMatch;

constexpr std::uint32_t kRate = 44100;

// Clicks of 16 frames at the given frames of a silent stereo mix.
std::vector<float> clicks_at(const std::vector<std::uint64_t>& frames, std::size_t length) {
    std::vector<float> mix(2 * length, 0.0f);
    for (std::uint64_t f : frames) {
        for (std::uint64_t i = f; i < std::min<std::uint64_t>(f + 16, length); ++i) {
            mix[2 * i] = 0.5f;
        }
    }
    return mix;
}

class OnsetFinderTest : public ::testing::TestWithParam<std::size_t> {};

// Wherever the blocks split a click, it is found once, on its first frame.
TEST_P(OnsetFinderTest, FindsEachClickOnceAcrossBlocks) {
    // At the very start, across block boundaries, and one silent frame after
    // the end of another.
    const std::vector<std::uint64_t> clicks = {0, 40, 57, 4090, 4107, 5000};
    std::vector<float> mix = clicks_at(clicks, 6000);
    mix[2 * 5005] = 0.0f; // a silent frame inside a click begins a new onset
    const std::size_t block = GetParam();
    OnsetFinder finder;
    std::vector<std::uint64_t> onsets;
    for (std::size_t at = 0; at < 6000; at += block) {
        const std::size_t n = std::min(block, 6000 - at);
        finder.feed(std::span(mix).subspan(2 * at, 2 * n), 1000 + at, onsets);
    }
    EXPECT_EQ(onsets, (std::vector<std::uint64_t>{1000, 1040, 1057, 5090, 5107, 6000, 6006}));
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, OnsetFinderTest, ::testing::Values(1, 7, 16, 256, 4096));

// Ticks of alternating intervals, stamped as `frame_of` places tick n given
// the intervals so far; the check follows them as a soak does.
template <typename FrameOf>
GridCheck follow(FrameOf frame_of, int ticks) {
    GridCheck grid(kRate);
    std::vector<int> intervals;
    for (int n = 0; n <= ticks; ++n) {
        intervals.push_back(n / 16 % 2 == 0 ? 67 : 91);
    }
    grid.begin(frame_of(intervals, 1), intervals[0]);
    for (int n = 1; n <= ticks; ++n) {
        grid.tick(frame_of(intervals, n), intervals[static_cast<std::size_t>(n)]);
    }
    return grid;
}

// Tick n on the start plus the sum of the first n intervals.
std::uint64_t exact(const std::vector<int>& intervals, int n) {
    std::uint64_t ms = 0;
    for (int k = 0; k < n; ++k) {
        ms += static_cast<std::uint64_t>(intervals[static_cast<std::size_t>(k)]);
    }
    return 1000 + ms * kRate / 1000;
}

TEST(GridCheckTest, TicksOnTheSumOfTheirIntervalsStayOnTheGrid) {
    const GridCheck grid = follow(exact, 3200);
    EXPECT_EQ(grid.ticks(), 3200u);
    EXPECT_EQ(grid.shifts(), 0u);
    EXPECT_EQ(grid.drift(), 0);
}

// As a grid that starts again from the last tick's whole frame at every
// change of interval places tick n.
std::uint64_t truncated(const std::vector<int>& intervals, int n) {
    std::uint64_t start = 1000;
    std::uint64_t counted = 0;
    for (int k = 0; k < n; ++k) {
        const auto i = static_cast<std::size_t>(k);
        if (k > 0 && intervals[i] != intervals[i - 1]) {
            start += counted * static_cast<std::uint64_t>(intervals[i - 1]) * kRate / 1000;
            counted = 0;
        }
        ++counted;
    }
    return start + counted *
                       static_cast<std::uint64_t>(intervals[static_cast<std::size_t>(n - 1)]) *
                       kRate / 1000;
}

// Such a grid loses a fraction of a frame at each change: slow drift, one
// frame at a time, which a check of each tick against the last would miss.
TEST(GridCheckTest, AFractionLostAtEachIntervalChangeIsCaught) {
    const GridCheck grid = follow(truncated, 3200);
    EXPECT_GT(grid.shifts(), 50u);
    EXPECT_EQ(grid.largest_distance(), 1u);
    EXPECT_LT(grid.drift(), -50);
}

// A late tick moves the grid once; the ticks after it keep the beat from
// there.
TEST(GridCheckTest, AGridMovedOnceIsOneShift) {
    const GridCheck grid = follow(
        [](const std::vector<int>& intervals, int n) {
            if (n < 100) {
                return exact(intervals, n);
            }
            std::uint64_t ms = 0;
            for (int k = 100; k < n; ++k) {
                ms += static_cast<std::uint64_t>(intervals[static_cast<std::size_t>(k)]);
            }
            return exact(intervals, 100) + 5000 + ms * kRate / 1000;
        },
        400);
    EXPECT_EQ(grid.shifts(), 1u);
    EXPECT_EQ(grid.largest_distance(), 5000u);
}

struct MatchCase {
    const char* name;
    std::vector<std::uint64_t> onsets;
    std::uint64_t matched, missed, stray, distance;
};

class OnsetMatchTest : public ::testing::TestWithParam<MatchCase> {};

// Ticks stamped for frames 100, 200, 300 and 900; the mix searched up to 400.
TEST_P(OnsetMatchTest, CountsEachClickAgainstTheStamps) {
    const MatchCase& c = GetParam();
    OnsetMatch match;
    for (std::uint64_t frame : {100, 200, 300, 900}) {
        match.stamp(frame);
    }
    for (std::uint64_t onset : c.onsets) {
        match.onset(onset);
    }
    match.settle(400);
    EXPECT_EQ(match.matched(), c.matched);
    EXPECT_EQ(match.missed(), c.missed) << "the click due on 900 is not missed yet";
    EXPECT_EQ(match.stray(), c.stray);
    EXPECT_EQ(match.largest_distance(), c.distance);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, OnsetMatchTest,
    ::testing::Values(MatchCase{"all_on_their_frames", {100, 200, 300}, 3, 0, 0, 0},
                      MatchCase{"one_missing", {100, 300}, 2, 1, 0, 0},
                      MatchCase{"one_a_frame_late", {100, 201, 300}, 2, 1, 1, 1},
                      MatchCase{"one_a_frame_early", {99, 200, 300}, 2, 1, 1, 1},
                      MatchCase{"one_too_many", {100, 150, 200, 300}, 3, 0, 1, 50}),
    [](const ::testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

// The soak runs themselves, short: any drift, any click off its frame or
// missing fails them.
TEST(SoakTest, TenVirtualMinutesOfTheLoopedSongStayOnTheGrid) {
    const soak::OfflineFigures f =
        soak::run_offline(std::chrono::minutes(10), std::chrono::minutes(5));
    EXPECT_TRUE(f.messages.empty()) << f.messages.front();
    EXPECT_GT(f.ticks, 12000u);
    EXPECT_EQ(f.grid_shifts, 0u);
    EXPECT_EQ(f.drift, 0);
    EXPECT_GT(f.clicks + 5, f.ticks);
    EXPECT_EQ(f.missed, 0u);
    EXPECT_EQ(f.stray, 0u);
    EXPECT_EQ(f.resident_kib.size(), 2u);
}

// A busy machine may delay a tick beyond the look-ahead besides the stalls
// made here: that one moves the grid once as well.
TEST(SoakTest, TwentySecondsWithThreeStallsShiftTheGridOncePerStallAndLoseNothing) {
    const soak::LiveFigures f = soak::run_live(std::chrono::seconds(20), 3, 375);
    EXPECT_TRUE(f.messages.empty()) << f.messages.front();
    EXPECT_EQ(f.stalls, 3);
    EXPECT_LE(f.grid_shifts, f.late_ticks);
    EXPECT_GT(f.clicks, 300u);
    EXPECT_EQ(f.missed, 0u);
    EXPECT_EQ(f.stray, 0u);
    EXPECT_EQ(f.overrun_frames, 0u);
    EXPECT_LE(f.elapsed_frames, f.captured_frames + f.clock_slack);
    EXPECT_LE(f.captured_frames, f.elapsed_frames + f.clock_slack);
}

} // namespace
} // namespace qx375::test
