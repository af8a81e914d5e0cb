// The JACK transport against a private server: what another client does to
// it is read on the frames it falls on, the bars and beats we lead are the
// grid's, and the latency we add shows on our ports.

#include "audio_rig.h"
#include "support/jack_client.h"
#include "support/jack_server.h"
#include "support/wait_for.h"
#include "support/without_xruns.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <vector>
#include <thread>

namespace qx375::test {
namespace {

using namespace std::chrono_literals;
using qx375::testing::AudioRig;

constexpr jack_nframes_t kRate = 44100;
constexpr double kFramesPerBar = 88200; // 120 BPM

// The program's output on the server, and another client that sends it MIDI
// and keeps the transport of its cycles.
struct TransportRig {
    JackServer server;
    DefaultJackServer uses{server};
    AudioRig rig{AudioBackendKind::jack};
    std::unique_ptr<TestClient> other;

    TransportRig() : server(JackSettings{256, kRate}) {
        if (!server.failure().empty() || rig.output.backend() != AudioBackendKind::jack) {
            return;
        }
        other = std::make_unique<TestClient>(
            server.name(), "other", TestClientPorts{.midi_output = true, .transport_cycles = 4000});
        other->connect(other->midi_output(), "qx375:midi_in");
    }

    bool ready() const { return other != nullptr; }
    // The periods the server dropped so far, for the program or the other
    // client: in one the program's timebase was not asked for its bars.
    int xruns() const { return rig.output.status().xruns + other->xruns(); }

    TransportReading reading() const {
        TransportReading r;
        EXPECT_TRUE(rig.output.transport(r));
        return r;
    }

    // Our output's frames less the server's: a clock sent on a server frame
    // comes in on its output frame.
    std::int64_t output_less_server() {
        const jack_nframes_t at = other->frame_time() + kRate / 10;
        EXPECT_TRUE(other->send(std::vector{midi(at, {0xF8})}));
        qx375::MidiEvent event;
        EXPECT_TRUE(wait_for(5s, [&] { return rig.output.next_sync_event(event); }));
        return static_cast<std::int64_t>(event.frame) - at;
    }
};

class JackTransport : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = JackServer::unavailable(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
    }
};

// Another client locates and starts the transport: each cycle we read puts
// the transport frame on the output frame the server's clock gives it, the
// same for every cycle it rolls; stopped, it stays where it stopped.
TEST_F(JackTransport, WhereAnotherClientMovesItIsReadOnTheFramesItFallsOn) {
    TransportRig jack;
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    const std::int64_t offset = jack.output_less_server();
    EXPECT_FALSE(jack.reading().rolling);

    jack.other->transport_locate(48000);
    jack.other->transport_start();
    ASSERT_TRUE(wait_for(5s, [&] { return jack.reading().rolling; }));
    std::map<std::uint64_t, TransportReading> cycles;
    const auto until = std::chrono::steady_clock::now() + 300ms;
    while (std::chrono::steady_clock::now() < until) {
        const TransportReading r = jack.reading();
        cycles[r.cycle] = r;
    }
    ASSERT_GT(cycles.size(), 20u);

    // The other client's cycles, rolling: the server frame where transport
    // frame 0 would have been.
    std::optional<std::int64_t> server_origin;
    for (const TransportCycle& c : jack.other->transport_cycles()) {
        if (c.state == JackTransportRolling) {
            server_origin = static_cast<std::int64_t>(c.start) - c.frame;
        }
    }
    ASSERT_TRUE(server_origin);
    for (const auto& [cycle, r] : cycles) {
        ASSERT_TRUE(r.rolling) << cycle;
        EXPECT_GE(r.transport_frame, 48000u);
        EXPECT_EQ(static_cast<std::int64_t>(r.output_frame - r.transport_frame),
                  *server_origin + offset)
            << "cycle " << cycle;
    }

    jack.other->transport_stop();
    ASSERT_TRUE(wait_for(5s, [&] { return !jack.reading().rolling; }));
    const TransportReading stopped = jack.reading();
    ASSERT_TRUE(wait_for(5s, [&] { return jack.reading().cycle > stopped.cycle + 4; }));
    EXPECT_EQ(jack.reading().transport_frame, stopped.transport_frame);
    EXPECT_GT(jack.reading().output_frame, stopped.output_frame) << "the output plays on";
}

TEST_F(JackTransport, OurControlsMoveTheServersTransport) {
    TransportRig jack;
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    ASSERT_TRUE(jack.rig.output.transport_locate(96000));
    ASSERT_TRUE(wait_for(5s, [&] { return jack.other->transport_query().frame == 96000; }));
    jack.rig.output.transport_start();
    ASSERT_TRUE(
        wait_for(5s, [&] { return jack.other->transport_query().state == JackTransportRolling; }));
    jack.rig.output.transport_stop();
    ASSERT_TRUE(
        wait_for(5s, [&] { return jack.other->transport_query().state == JackTransportStopped; }));
    EXPECT_GT(jack.other->transport_query().frame, 96000u);
    EXPECT_FALSE(jack.rig.output.transport_locate(std::uint64_t{1} << 32)) << "beyond JACK's count";
}

void expect_on_grid(const TransportState& t, double frames_per_bar, double bpm) {
    const BarBeatTick at = bar_beat_tick(t.frame, {frames_per_bar, bpm});
    ASSERT_TRUE(t.bbt) << "frame " << t.frame;
    EXPECT_EQ(t.bar, at.bar) << "frame " << t.frame;
    EXPECT_EQ(t.beat, at.beat) << "frame " << t.frame;
    EXPECT_EQ(t.tick, at.tick) << "frame " << t.frame;
    EXPECT_EQ(t.bar_start_tick, at.bar_start_tick) << "frame " << t.frame;
    EXPECT_EQ(t.beats_per_bar, 4);
    EXPECT_EQ(t.beat_type, 4);
    EXPECT_EQ(t.ticks_per_beat, 1920);
    EXPECT_EQ(t.bpm, bpm);
}

// Leading the timebase, the bars and beats another client reads for a frame
// are the grid's, stopped or rolling, near the start or ten thousand bars on.
TEST_F(JackTransport, TheBarsAndBeatsWeLeadAreTheGridsForEveryFrame) {
    TransportRig jack;
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    ASSERT_TRUE(jack.rig.output.set_timebase(kFramesPerBar, 120));
    ASSERT_TRUE(jack.rig.output.lead_timebase(true));

    const auto located = [&](jack_nframes_t frame) {
        jack.other->transport_locate(frame);
        return wait_for(5s, [&] {
            const TransportState t = jack.other->transport_query();
            return t.frame == frame && t.bbt;
        });
    };
    ASSERT_TRUE(located(88200 * 9 + 44100));
    TransportState t = jack.other->transport_query();
    EXPECT_EQ(t.bar, 10);
    EXPECT_EQ(t.beat, 3);
    EXPECT_EQ(t.tick, 0);
    expect_on_grid(t, kFramesPerBar, 120);
    ASSERT_TRUE(wait_for(5s, [&] { return jack.reading().bbt_valid; }));
    EXPECT_EQ(jack.reading().bar, 10) << "we read what we lead";
    EXPECT_EQ(jack.reading().beat, 3);

    ASSERT_TRUE(located(88200 * 9999));
    t = jack.other->transport_query();
    EXPECT_EQ(t.bar, 10000);
    EXPECT_EQ(t.beat, 1);
    EXPECT_EQ(t.tick, 0);
    EXPECT_EQ(t.bar_start_tick, 9999.0 * 4 * 1920);
    expect_on_grid(t, kFramesPerBar, 120);

    // A new grid, while rolling: every frame read is on it.
    const double frames_per_bar = kRate * 60.0 / 133 * 4;
    ASSERT_TRUE(jack.rig.output.set_timebase(frames_per_bar, 133));
    jack.other->transport_start();
    ASSERT_TRUE(wait_for(5s, [&] { return jack.other->transport_query().bpm == 133; }));
    std::vector<TransportState> rolled;
    without_xruns(jack, [&] {
        rolled.clear();
        for (int i = 0; i < 50; ++i) {
            rolled.push_back(jack.other->transport_query());
            std::this_thread::sleep_for(5ms);
        }
    });
    for (const TransportState& r : rolled) {
        expect_on_grid(r, frames_per_bar, 133);
    }

    ASSERT_TRUE(jack.rig.output.lead_timebase(false));
    EXPECT_TRUE(wait_for(5s, [&] { return !jack.other->transport_query().bbt; }))
        << "no bars and beats once we let them go";
}

// Hits placed a fixed time after the clock they follow: a client recording
// our outputs reads that much more capture latency on them, and one sending
// us the clock that much more playback latency on our input.
TEST_F(JackTransport, TheLatencyWeAddShowsOnOurPorts) {
    TransportRig jack;
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    TestClient recorder(jack.server.name(), "recorder", TestClientPorts{.audio_inputs = 1});
    ASSERT_TRUE(recorder.connect("qx375:out_L", recorder.audio_input(0)));
    const jack_latency_range_t capture = jack.other->latency("qx375:out_L", JackCaptureLatency);
    const jack_latency_range_t playback = jack.other->latency("qx375:midi_in", JackPlaybackLatency);
    jack.rig.output.set_extra_latency(1000);
    for (const char* port : {"qx375:out_L", "qx375:out_R", "qx375:midi_out"}) {
        EXPECT_TRUE(wait_for(5s, [&] {
            const jack_latency_range_t r = jack.other->latency(port, JackCaptureLatency);
            return r.min == capture.min + 1000 && r.max == capture.max + 1000;
        })) << port;
    }
    EXPECT_TRUE(wait_for(5s, [&] {
        const jack_latency_range_t r = jack.other->latency("qx375:midi_in", JackPlaybackLatency);
        return r.min == playback.min + 1000 && r.max == playback.max + 1000;
    }));
    EXPECT_TRUE(wait_for(5s, [&] {
        return recorder.latency(recorder.audio_input(0), JackCaptureLatency).max ==
               capture.max + 1000;
    })) << "the recorder's input takes it on";
    EXPECT_EQ(jack.rig.output.status().latency,
              jack.rig.output.status().period +
                  jack.other->latency("qx375:out_L", JackPlaybackLatency).max)
        << "the way to the ear is no longer";

    jack.rig.output.set_extra_latency(0);
    EXPECT_TRUE(wait_for(5s, [&] {
        return jack.other->latency("qx375:out_L", JackCaptureLatency).max == capture.max;
    }));
}

} // namespace
} // namespace qx375::test
