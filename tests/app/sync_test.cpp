// The program keeping time with others through a JACK server of the test's
// own: the MIDI clock it leads, the clock it follows, and the transport.

#include "sync_rig.h"

#include <QCheckBox>
#include <gtest/gtest.h>

#include <random>

namespace qx375::test {
namespace {

using namespace std::chrono_literals;

struct ClockOutCase {
    int size;
    std::uint32_t rate;
};

class ClockOut : public ::testing::TestWithParam<ClockOutCase> {};

// Leading, the clock is the steps' own grid: 96 clocks a bar on the frames
// the grid gives them, Start on the first hit, Stop where the next step
// would have sounded.
TEST_P(ClockOut, ClocksStartAndStopLandOnTheStepsFrames) {
    const auto [size, rate] = GetParam();
    SyncRig rig(JackSettings{.period = 256, .rate = rate});
    ASSERT_TRUE(rig.ready()) << rig.server.failure();
    rig.hits_on_every_step(size);
    rig.window().findChild<QCheckBox*>("CheckBoxLoop")->setChecked(true);
    rig.window().findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
    rig.set_tempo(120);
    rig.choose("SyncMidi1");
    rig.choose("SyncLead1");
    rig.press("BitBtnAction");
    QTest::qWait(2500);
    rig.press("BitBtnAction");
    QTest::qWait(300);

    const std::uint64_t interval = 120 * 18 / size;
    const auto notes = rig.frames_of(kNoteOn);
    const auto clocks = rig.frames_of(kClockByte);
    const auto starts = rig.frames_of(0xFA);
    const auto stops = rig.frames_of(0xFC);
    ASSERT_GE(notes.size(), 10u);
    ASSERT_EQ(starts.size(), 1u);
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(starts[0], notes[0]);
    // Clock j of the run lies in the step that holds j * size / 96 steps.
    ASSERT_EQ(clocks.size(), (notes.size() * 96 + size - 1) / size);
    // The run's grid starts one interval before its first step, on a whole
    // frame; every point of it is that frame plus a whole number of frames.
    const std::uint64_t origin = notes[0] - interval * rate / 1000;
    const auto at = [&](std::uint64_t ninety_sixths) {
        return origin + (96 + ninety_sixths) * interval * rate / 96000;
    };
    for (std::size_t n = 0; n < notes.size(); ++n) {
        ASSERT_EQ(notes[n], at(96 * n)) << "step " << n;
    }
    for (std::size_t k = 0; k < clocks.size(); ++k) {
        ASSERT_EQ(clocks[k], at(k * size)) << "clock " << k;
    }
    EXPECT_EQ(stops[0], at(96 * notes.size()));
}

INSTANTIATE_TEST_SUITE_P(SizesAndRates, ClockOut,
                         ::testing::Values(ClockOutCase{16, 48000}, ClockOutCase{14, 44100}));

} // namespace
} // namespace qx375::test
