#include "audio_rig.h"
#include "platform/seqlock.h"
#include "platform/transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

namespace qx375 {
namespace {

using testing::AudioRig;

// Two bars a second at 44.1 kHz: 120 BPM.
const TimebaseGrid kGrid{88200, 120};

void expect_at(std::uint64_t frame, const TimebaseGrid& grid, std::int32_t bar, std::int32_t beat,
               std::int32_t tick) {
    const BarBeatTick at = bar_beat_tick(frame, grid);
    EXPECT_EQ(at.bar, bar) << "frame " << frame;
    EXPECT_EQ(at.beat, beat) << "frame " << frame;
    EXPECT_EQ(at.tick, tick) << "frame " << frame;
    EXPECT_EQ(at.bar_start_tick, (bar - 1) * 4.0 * 1920) << "frame " << frame;
}

TEST(Timebase, BarsAndBeatsCountFromOneAndTicksFromNothing) {
    expect_at(0, kGrid, 1, 1, 0);
    expect_at(88200 * 9 + 44100, kGrid, 10, 3, 0);
    expect_at(88200 * 9 + 44100 + 11025, kGrid, 10, 3, 960);
    expect_at(88200 - 1, kGrid, 1, 4, 1919);
    expect_at(88200 * 9999ull, kGrid, 10000, 1, 0);
}

// A tempo whose bars are no whole number of frames: no frame falls on a
// fifth beat or a tick beyond the beat, and the count never goes back.
TEST(Timebase, FramesOnAnUnevenGridStayInsideTheirBarAndBeat) {
    const TimebaseGrid grid{44100 * 60.0 / 133 * 4, 133};
    BarBeatTick last = bar_beat_tick(0, grid);
    for (std::uint64_t frame = 1; frame < 44100 * 30; ++frame) {
        const BarBeatTick at = bar_beat_tick(frame, grid);
        ASSERT_TRUE(at.beat >= 1 && at.beat <= 4 && at.tick >= 0 && at.tick < 1920) << frame;
        const double before = last.bar_start_tick + (last.beat - 1) * 1920.0 + last.tick;
        const double now = at.bar_start_tick + (at.beat - 1) * 1920.0 + at.tick;
        ASSERT_GE(now, before) << frame;
        last = at;
    }
    EXPECT_EQ(last.bar, 1 + static_cast<int>(44100 * 30 / grid.frames_per_bar));
}

TEST(Timebase, ABarCountBeyondJacksFieldStopsAtItsLargest) {
    const BarBeatTick at = bar_beat_tick(std::numeric_limits<std::uint64_t>::max(), {1, 120});
    EXPECT_EQ(at.bar, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(at.bar_start_tick, (at.bar - 1) * 4.0 * 1920);
}

TEST(Timebase, OnlyAGridOfBarsThatTakeTimeAtATempoIsTaken) {
    AudioRig rig;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [frames, bpm] :
         {std::pair(0.0, 120.0), std::pair(-88200.0, 120.0), std::pair(nan, 120.0),
          std::pair(inf, 120.0), std::pair(88200.0, 0.0), std::pair(88200.0, nan)}) {
        EXPECT_FALSE(rig.output.set_timebase(frames, bpm)) << frames << " " << bpm;
    }
    EXPECT_TRUE(rig.output.set_timebase(88200, 120));
}

// Away from JACK there is no transport to read or move, and no message to
// read; messages sent go nowhere and break nothing.
TEST(Transport, OtherOutputsHaveNone) {
    AudioRig rig;
    TransportReading reading;
    EXPECT_FALSE(rig.output.transport(reading));
    EXPECT_FALSE(rig.output.transport_locate(1000));
    rig.output.transport_start();
    rig.output.transport_stop();
    EXPECT_FALSE(rig.output.lead_timebase(true));
    rig.output.set_extra_latency(512);
    const std::uint8_t clock[] = {0xF8};
    EXPECT_TRUE(rig.output.send_midi(10, clock));
    rig.render(512);
    MidiEvent event;
    EXPECT_FALSE(rig.output.next_sync_event(event));
}

// A reading the audio thread publishes every cycle while the window reads:
// always one publication whole, never parts of two, never an older one.
TEST(Seqlock, ReadersSeeWholePublicationsInOrder) {
    Seqlock<TransportReading> lock;
    TransportReading reading;
    EXPECT_FALSE(lock.read(reading)) << "nothing published yet";
    std::atomic<bool> done{false};
    std::thread audio([&] {
        TransportReading r;
        for (std::uint64_t cycle = 1; !done.load(std::memory_order_relaxed); ++cycle) {
            r.cycle = cycle;
            r.transport_frame = cycle * 256;
            r.output_frame = cycle * 256 + 77;
            r.bpm = static_cast<double>(cycle);
            r.tick = static_cast<std::int32_t>(cycle % 1920);
            lock.publish(r);
        }
    });
    int torn = 0;
    int backwards = 0;
    for (std::uint64_t last = 0; last < 2000000;) {
        if (!lock.read(reading)) {
            continue;
        }
        torn += reading.transport_frame != reading.cycle * 256 ||
                        reading.output_frame != reading.transport_frame + 77 ||
                        reading.bpm != static_cast<double>(reading.cycle) ||
                        reading.tick != static_cast<std::int32_t>(reading.cycle % 1920)
                    ? 1
                    : 0;
        backwards += reading.cycle < last ? 1 : 0;
        last = reading.cycle;
    }
    done = true;
    audio.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(backwards, 0);
}

} // namespace
} // namespace qx375
