// The program keeping time with others through a JACK server of the test's
// own: the MIDI clock it leads, the clock it follows, and the transport.

#include "sync_rig.h"

#include <QCheckBox>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
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
// A tick later than its look-ahead moves the grid once, as it should, and a
// period the server drops loses what was sent in it: on a machine too busy
// to keep the window's thread or the server that close to time, the run is
// tried again, up to three times.
TEST_P(ClockOut, ClocksStartAndStopLandOnTheStepsFrames) {
    const auto [size, rate] = GetParam();
    std::unique_ptr<SyncRig> tried;
    for (int attempt = 0; attempt < 3; ++attempt) {
        // One server and its clients at a time: libjack keeps state of its
        // own for the whole process.
        tried.reset();
        tried = std::make_unique<SyncRig>(JackSettings{.period = 256, .rate = rate});
        SyncRig& run = *tried;
        ASSERT_TRUE(run.ready()) << run.server.failure();
        run.hits_on_every_step(size);
        run.window().findChild<QCheckBox*>("CheckBoxLoop")->setChecked(true);
        run.window().findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
        run.set_tempo(120);
        run.choose("SyncMidi1");
        run.choose("SyncLead1");
        const int xruns = run.xruns();
        run.press("BitBtnAction");
        QTest::qWait(2500);
        run.press("BitBtnAction");
        QTest::qWait(300);
        if (run.xruns() == xruns &&
            run.window().timer().lateness().worst() <= SequencerTimer::kTickLateness) {
            break;
        }
    }
    SyncRig& rig = *tried;

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

struct ClockInCase {
    double from;
    double to;
    int jitter_frames;
};

class ClockIn : public ::testing::TestWithParam<ClockInCase> {};

// Following, each step sounds a fixed delay after the very clock it falls
// on: the first on the Start's own beat, none lost, none doubled, and no
// more jitter than the clock's own.
TEST_P(ClockIn, EveryStepSoundsAFixedDelayAfterItsClock) {
    const auto [from, to, jitter] = GetParam();
    SyncRig rig;
    ASSERT_TRUE(rig.ready()) << rig.server.failure();
    four_bars(rig, true);
    rig.choose("SyncFollow1");
    rig.choose("SyncMidi1");

    const std::uint32_t rate = rig.peer->rate();
    const jack_nframes_t lead_in = rig.peer->frame_time() + rate / 2;
    // A beat of clock before the Start, as a DAW sends while stopped, for
    // the tempo; then Start and two bars.
    auto before = clock_frames(lead_in, rate, 24, from, from, jitter);
    const jack_nframes_t first =
        before.back() + static_cast<jack_nframes_t>(60.0 * rate / (24 * from));
    const auto clocks = clock_frames(first, rate, 2 * 96, from, to, jitter);
    std::vector<MidiEvent> events = as_clocks(before);
    events.push_back(midi(first - 10, {0xFA}));
    for (const MidiEvent& e : as_clocks(clocks)) {
        events.push_back(e);
    }
    events.push_back(midi(clocks.back() + 500, {0xFC}));
    ASSERT_TRUE(rig.peer->send(events));
    rig.wait_until(clocks.back() + rate);
    ASSERT_EQ(rig.peer->late_events(), 0);

    const auto notes = rig.frames_of(kNoteOn);
    ASSERT_EQ(notes.size(), 2u * 16u);
    const jack_nframes_t delay = notes[0] - clocks[0];
    for (std::size_t k = 0; k < notes.size(); ++k) {
        ASSERT_EQ(notes[k] - clocks[6 * k], delay) << "step " << k;
    }
    EXPECT_LT(delay, rate / 10);
    EXPECT_FALSE(rig.window().findChild<QCheckBox*>("CheckBoxBeat")->isChecked());
}

INSTANTIATE_TEST_SUITE_P(SteadyJitteryAndRamped, ClockIn,
                         ::testing::Values(ClockInCase{120, 120, 0}, ClockInCase{120, 120, 48},
                                           ClockInCase{100, 140, 0}));

// A clock that stops mid-bar is said; nothing plays while it is away, and
// when it comes back each step sounds after its own clock again. One a
// thousand BPM fast is said and not followed.
TEST(ClockInBadInput, AStoppedClockAndAWildOneAreSaidAndNoStepsBurst) {
    SyncRig rig;
    ASSERT_TRUE(rig.ready()) << rig.server.failure();
    four_bars(rig, true);
    rig.choose("SyncFollow1");
    rig.choose("SyncMidi1");
    const std::uint32_t rate = rig.peer->rate();
    const jack_nframes_t first = rig.peer->frame_time() + rate / 2;
    auto clocks = clock_frames(first, rate, 40, 120, 120, 0);
    const auto resumed = clock_frames(clocks.back() + 2 * rate, rate, 56, 120, 120, 0);
    std::vector<MidiEvent> events{midi(first - 10, {0xFA})};
    for (const MidiEvent& e : as_clocks(clocks)) {
        events.push_back(e);
    }
    ASSERT_TRUE(rig.peer->send(events));
    // Lost after two beats without a clock: a second at 120 BPM.
    rig.wait_until(clocks.back() + 3 * rate / 2);
    EXPECT_TRUE(rig.window().windowTitle().contains("MIDI clock lost"))
        << rig.window().windowTitle().toStdString();
    EXPECT_EQ(rig.frames_of(kNoteOn).size(), 7u); // clocks 0, 6, .. 36
    ASSERT_TRUE(rig.peer->send(as_clocks(resumed)));
    rig.wait_until(resumed.back() + rate / 2);
    const auto notes = rig.frames_of(kNoteOn);
    ASSERT_GE(notes.size(), 7u + 9u);
    for (std::size_t k = 1; k < notes.size(); ++k) {
        EXPECT_GE(notes[k] - notes[k - 1], 6 * 1000u - 1) << "a burst at note " << k;
    }
    EXPECT_FALSE(rig.window().windowTitle().contains("lost"));

    // A thousand BPM: 120 frames a clock at 48 kHz.
    const std::size_t before = notes.size();
    const jack_nframes_t wild = rig.peer->frame_time() + rate / 4;
    ASSERT_TRUE(rig.peer->send(as_clocks(clock_frames(wild, rate, 400, 1000, 1000, 0))));
    rig.wait_until(wild + rate);
    EXPECT_TRUE(rig.window().windowTitle().contains("faster than 300"))
        << rig.window().windowTitle().toStdString();
    EXPECT_LE(rig.frames_of(kNoteOn).size(), before + 1);
}

// A Song Position Pointer beyond the song moves it to its last measure and
// says so.
TEST(ClockInBadInput, ASongPositionBeyondTheSongIsSaid) {
    SyncRig rig;
    ASSERT_TRUE(rig.ready()) << rig.server.failure();
    four_bars(rig, false);
    rig.choose("SyncFollow1");
    rig.choose("SyncMidi1");
    const jack_nframes_t at = rig.peer->frame_time() + rig.peer->rate() / 4;
    ASSERT_TRUE(rig.peer->send(std::vector{midi(at, {0xF2, 0x7F, 0x7F})}));
    rig.wait_until(at + rig.peer->rate() / 4);
    EXPECT_EQ(rig.song().get_measure(), 4);
    EXPECT_TRUE(rig.window().windowTitle().contains("beyond the song"))
        << rig.window().windowTitle().toStdString();
}

// Following the transport: starts, and relocations while rolling, to bars
// all over the song. Each one's first step sounds once, the same delay
// after the transport reached it, the delay our ports report as latency,
// and nothing of the old position plays after it.
TEST(Transport, HundredStartsAndRelocationsNeverLoseOrDoubleTheFirstBeat) {
    SyncRig rig(
        SyncRig::kServer,
        TestClientPorts{.midi_input = true, .midi_events = 16384, .transport_cycles = 60000});
    ASSERT_TRUE(rig.ready()) << rig.server.failure();
    four_bars(rig, true);
    rig.choose("SyncFollow1");
    rig.choose("SyncJack1");
    const jack_nframes_t bar = 16 * 135 * 48; // frames at the program's own tempo
    const jack_nframes_t delay = rig.peer->latency("qx375:out_L", JackCaptureLatency).max;
    ASSERT_GT(delay, 0u);

    std::mt19937 random(19);
    int checked = 0;
    for (int i = 0; i < 50; ++i) {
        for (const bool relocate : {false, true}) {
            const jack_nframes_t target = bar * static_cast<jack_nframes_t>(random() % 6);
            const jack_nframes_t asked = rig.peer->frame_time();
            const std::size_t notes_before = rig.frames_of(kNoteOn).size();
            rig.peer->transport_locate(target);
            if (!relocate) {
                rig.peer->transport_start();
            }
            std::optional<jack_nframes_t> rolled;
            for (int wait = 0; wait < 100 && !rolled; ++wait) {
                QTest::qWait(5);
                rolled = rolled_from(rig.peer->transport_cycles(), asked, target);
            }
            ASSERT_TRUE(rolled) << "event " << checked;
            rig.wait_until(*rolled + delay + 6480 + 1024); // its first two steps
            const auto notes = rig.frames_of(kNoteOn);
            const auto first = std::find(notes.begin() + static_cast<std::ptrdiff_t>(notes_before),
                                         notes.end(), *rolled + delay);
            ASSERT_NE(first, notes.end())
                << "event " << checked << ": its first beat is lost" << [&] {
                       std::string seen;
                       for (std::size_t n = notes_before; n < notes.size(); ++n) {
                           seen += " " + std::to_string(static_cast<std::int64_t>(notes[n]) -
                                                        static_cast<std::int64_t>(*rolled + delay));
                       }
                       return seen + " target " + std::to_string(target) +
                              (relocate ? " relocated" : " started");
                   }();
            ASSERT_EQ(std::count(notes.begin(), notes.end(), *rolled + delay), 1);
            for (auto n = first + 1; n != notes.end(); ++n) {
                ASSERT_EQ((*n - *first) % 6480, 0u) << "event " << checked << ": off the grid";
            }
            for (auto n = notes.begin() + static_cast<std::ptrdiff_t>(notes_before); n != first;
                 ++n) {
                ASSERT_LT(*n, *rolled + delay) << "event " << checked << ": the old position";
            }
            ++checked;
        }
        rig.peer->transport_stop();
        QTest::qWait(40);
    }
    EXPECT_EQ(checked, 100);
}

// A relocation far beyond the song: said, and the song plays its last bar.
TEST(Transport, ARelocationBeyondTheSongIsSaid) {
    SyncRig rig;
    ASSERT_TRUE(rig.ready()) << rig.server.failure();
    four_bars(rig, false);
    rig.choose("SyncFollow1");
    rig.choose("SyncJack1");
    rig.peer->transport_locate(16 * 135 * 48 * 9999);
    rig.peer->transport_start();
    QTest::qWait(400);
    EXPECT_TRUE(rig.window().windowTitle().contains("bar 10000 lies beyond"))
        << rig.window().windowTitle().toStdString();
    EXPECT_EQ(rig.song().get_measure(), 4);
    rig.peer->transport_stop();
    QTest::qWait(100);
    EXPECT_FALSE(rig.window().findChild<QCheckBox*>("CheckBoxBeat")->isChecked());
}

// Leading, the program publishes its bars, beats and ticks, and its play
// button moves the transport.
TEST(Transport, LeadingPublishesBarBeatTickAndTempo) {
    SyncRig rig;
    ASSERT_TRUE(rig.ready()) << rig.server.failure();
    four_bars(rig, true);
    rig.choose("SyncLead1");
    rig.choose("SyncJack1");
    rig.press("BitBtnAction");
    QTest::qWait(300);
    TransportState state = rig.peer->transport_query();
    EXPECT_EQ(state.state, JackTransportRolling);
    ASSERT_TRUE(state.bbt);
    EXPECT_NEAR(state.bpm, 240000.0 / (16 * 135), 1e-6);
    EXPECT_EQ(state.beats_per_bar, 4);
    const double frames_per_beat = 60.0 * 48000 / state.bpm;
    const auto beats = static_cast<std::int64_t>(state.frame / frames_per_beat);
    EXPECT_EQ(state.bar, beats / 4 + 1);
    EXPECT_EQ(state.beat, beats % 4 + 1);
    EXPECT_GT(rig.frames_of(kNoteOn).size(), 0u);
    rig.press("BitBtnAction");
    QTest::qWait(200);
    EXPECT_EQ(rig.peer->transport_query().state, JackTransportStopped);
    EXPECT_FALSE(rig.window().findChild<QCheckBox*>("CheckBoxBeat")->isChecked());
}

} // namespace
} // namespace qx375::test
