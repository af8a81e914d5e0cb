// The program's JACK client against a private server: hits on their stamped
// frames at any period and rate, notes in at their own frame, notes out on
// the frame of their sound, clocks out and in on theirs, and a server that
// goes away.

#include "audio_rig.h"
#include "midi/note_offs.h"
#include "midi/velocity.h"
#include "support/jack_client.h"
#include "support/jack_server.h"
#include "support/without_xruns.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

namespace qx375::test {
namespace {

using namespace std::chrono_literals;
using qx375::testing::AudioRig;

constexpr float kLevel = 0.5f;
constexpr std::uint8_t kSnare = 2;
constexpr std::uint8_t kSnareNote = 38;

// The program's output on the server, its sound 2 a short pulse, and a
// client that records its audio and its MIDI out.
struct JackRig {
    JackServer server;
    DefaultJackServer uses{server};
    AudioRig rig{AudioBackendKind::jack};
    std::unique_ptr<SoundBuffer> pulse;
    std::unique_ptr<TestClient> recorder;

    explicit JackRig(JackSettings settings, std::uint32_t pulse_frames = 100) : server(settings) {
        if (!server.failure().empty() || rig.output.backend() != AudioBackendKind::jack) {
            return;
        }
        pulse = rig.mono(std::vector<float>(pulse_frames, kLevel));
        rig.device->bind_sound(kSnare, pulse.get(), 0);
        rig.output.set_note_map(midi::NoteMap::general_midi());
        recorder = std::make_unique<TestClient>(
            server.name(), "recorder", TestClientPorts{.audio_inputs = 1, .midi_input = true});
        recorder->connect("qx375:out_L", recorder->audio_input(0));
        recorder->connect("qx375:midi_out", recorder->midi_input());
    }

    bool ready() const { return recorder != nullptr; }
    // The periods the server dropped so far, for the program or the recorder.
    int xruns() const { return rig.output.status().xruns + recorder->xruns(); }
    Mixer& mixer() { return rig.output.mixer(); }

    // A mixer frame safely ahead of what the output has mixed.
    std::uint64_t ahead() const {
        const std::uint32_t rate = rig.output.rate();
        return rig.output.clock().read().frame_at(std::chrono::steady_clock::now(), rate) +
               rig.output.render_lead_frames() + rate / 5;
    }

    // The onsets the recorder heard from `from` on, a pulse apart at least.
    std::vector<jack_nframes_t> onsets(jack_nframes_t from, std::size_t count) const {
        std::vector<jack_nframes_t> found;
        while (found.size() < count) {
            const auto at = recorder->onset(0, from, 1e-7f);
            if (!at) {
                break;
            }
            found.push_back(*at);
            from = *at + 600;
        }
        return found;
    }

    // The notes received after the first `since` messages.
    std::vector<MidiEvent> notes_out(std::uint8_t status, std::size_t since = 0) const {
        std::vector<MidiEvent> notes;
        const std::vector<MidiEvent> got = recorder->received();
        for (std::size_t i = since; i < got.size(); ++i) {
            if (got[i].size == 3 && got[i].bytes[0] == status) {
                notes.push_back(got[i]);
            }
        }
        return notes;
    }
};

class JackBackend : public ::testing::TestWithParam<JackSettings> {
protected:
    void SetUp() override {
        if (const std::string reason = JackServer::unavailable(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
    }
};

TEST_P(JackBackend, HitsLandOnTheirStampedFramesAndGoOutAsNotesOnTheSameFrames) {
    JackRig jack(GetParam());
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    EXPECT_EQ(jack.rig.output.rate(), GetParam().rate);
    EXPECT_EQ(jack.rig.output.status().period, GetParam().period);
    EXPECT_TRUE(jack.rig.output.status().midi);

    std::vector<std::uint64_t> stamps;
    std::vector<jack_nframes_t> onsets;
    std::vector<MidiEvent> ons;
    std::vector<MidiEvent> offs;
    without_xruns(jack, [&] {
        const std::size_t since = jack.recorder->received().size();
        const jack_nframes_t heard_from = jack.recorder->frame_time();
        const std::uint64_t first = jack.ahead();
        stamps.clear();
        for (std::uint64_t k = 0; k < 8; ++k) {
            stamps.push_back(first + k * 1013 + (k * k * 37) % 500);
            ASSERT_EQ(jack.rig.device->start_sound(kSnare, stamps.back(), true), DS_OK);
        }
        const auto span = static_cast<jack_nframes_t>(stamps.back() - first) + GetParam().rate;
        ASSERT_TRUE(jack.recorder->wait_recorded(heard_from + span, 10s));
        onsets = jack.onsets(heard_from, stamps.size());
        ons = jack.notes_out(midi::kNoteOn, since);
        offs = jack.notes_out(midi::kNoteOff, since);
    });
    ASSERT_EQ(onsets.size(), stamps.size());
    ASSERT_EQ(ons.size(), stamps.size()) << jack.xruns() << " xruns";
    for (std::size_t k = 0; k < stamps.size(); ++k) {
        EXPECT_EQ(onsets[k] - onsets[0], stamps[k] - stamps[0]) << "hit " << k;
        EXPECT_EQ(ons[k].frame, onsets[k]) << "its note goes out on the frame it sounds";
        EXPECT_EQ(ons[k].bytes[1], kSnareNote);
        EXPECT_EQ(ons[k].bytes[2], 127);
    }
    EXPECT_EQ(offs.size(), stamps.size()) << "no note is left hanging";
}

INSTANTIATE_TEST_SUITE_P(Periods, JackBackend,
                         ::testing::Values(JackSettings{64, 44100}, JackSettings{128, 44100},
                                           JackSettings{1024, 44100}));

class JackServerRates : public JackBackend {};

TEST_P(JackServerRates, SamplesPlayAtTheirOwnRateWhateverTheServers) {
    const JackSettings settings = GetParam();
    JackRig jack(settings, 441); // 10 ms at 44.1 kHz
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    EXPECT_EQ(jack.rig.output.rate(), settings.rate);
    std::optional<jack_nframes_t> onset;
    without_xruns(jack, [&] {
        const jack_nframes_t heard_from = jack.recorder->frame_time();
        jack.rig.device->start_sound(kSnare, jack.ahead(), true);
        ASSERT_TRUE(jack.recorder->wait_recorded(heard_from + settings.rate, 10s));
        onset = jack.recorder->onset(0, heard_from, 1e-7f);
    });
    ASSERT_TRUE(onset);
    const jack_nframes_t last = *onset + settings.rate / 100 - 1;
    EXPECT_NE(jack.recorder->sample(0, last).value_or(0), 0.0f);
    EXPECT_EQ(jack.recorder->sample(0, last + 2).value_or(1), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Rates, JackServerRates,
                         ::testing::Values(JackSettings{256, 48000}, JackSettings{256, 96000},
                                           JackSettings{100, 22050}));

class JackMidiOut : public JackBackend {};

// Two seconds of clocks at 300 BPM, queued at once with a hit on every beat
// and the song's place and start before the first: every message leaves on
// its own frame, and one given before a note of its frame leaves before it.
TEST_P(JackMidiOut, ClocksLeaveOnTheirFramesInOrderWithTheNotes) {
    JackRig jack(GetParam());
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    const jack_nframes_t rate = jack.recorder->rate();
    const double frames_per_clock = rate * 60.0 / 300 / 24;
    const std::uint8_t clock[] = {0xF8};
    const std::uint8_t start[] = {0xFA};
    const std::uint8_t place[] = {0xF2, 0x10, 0x20};
    std::uint64_t first = 0;
    std::vector<std::uint64_t> stamps;
    std::vector<MidiEvent> got;
    without_xruns(jack, [&] {
        const std::size_t since = jack.recorder->received().size();
        const jack_nframes_t heard_from = jack.recorder->frame_time();
        first = jack.ahead();
        ASSERT_TRUE(jack.rig.output.send_midi(first, place));
        ASSERT_TRUE(jack.rig.output.send_midi(first, start));
        stamps.clear();
        for (int k = 0; k < 240; ++k) {
            stamps.push_back(first + static_cast<std::uint64_t>(k * frames_per_clock));
            ASSERT_TRUE(jack.rig.output.send_midi(stamps.back(), clock));
            if (k % 24 == 0) {
                ASSERT_EQ(jack.rig.device->start_sound(kSnare, stamps.back(), true), DS_OK);
            }
        }
        const auto span = static_cast<jack_nframes_t>(stamps.back() - first) + rate;
        ASSERT_TRUE(jack.recorder->wait_recorded(heard_from + span, 10s));
        const std::vector<MidiEvent> all = jack.recorder->received();
        got.assign(all.begin() + static_cast<std::ptrdiff_t>(since), all.end());
    });
    std::vector<std::size_t> clocks;
    std::vector<std::size_t> ons;
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i].size == 1 && got[i].bytes[0] == 0xF8) {
            clocks.push_back(i);
        } else if (got[i].size == 3 && got[i].bytes[0] == midi::kNoteOn) {
            ons.push_back(i);
        }
    }
    ASSERT_EQ(clocks.size(), stamps.size()) << jack.xruns() << " xruns";
    ASSERT_EQ(ons.size(), 10u);
    const jack_nframes_t zero = got[clocks[0]].frame;
    for (std::size_t k = 0; k < stamps.size(); ++k) {
        EXPECT_EQ(got[clocks[k]].frame - zero, stamps[k] - first)
            << "clock " << k << ", " << jack.xruns() << " xruns";
    }
    for (std::size_t j = 0; j < ons.size(); ++j) {
        EXPECT_EQ(got[ons[j]].frame, got[clocks[24 * j]].frame) << "beat " << j;
        EXPECT_LT(clocks[24 * j], ons[j]) << "the clock was given first";
    }
    ASSERT_GE(clocks[0], 2u);
    EXPECT_EQ(got[clocks[0] - 2], midi(zero, {0xF2, 0x10, 0x20}));
    EXPECT_EQ(got[clocks[0] - 1], midi(zero, {0xFA}));

    // Frame 0: the next period.
    const std::uint8_t stop[] = {0xFC};
    const jack_nframes_t now = jack.recorder->frame_time();
    ASSERT_TRUE(jack.rig.output.send_midi(0, stop));
    const std::size_t received = jack.recorder->received().size();
    ASSERT_TRUE(jack.recorder->wait_received(received + 1, 5s));
    const MidiEvent last = jack.recorder->received()[received];
    EXPECT_EQ(last.bytes[0], 0xFC);
    EXPECT_LE(last.frame, now + 2 * GetParam().period) << "as soon as possible";
}

// Not 64 or 128: a server without real-time scheduling drops some of its
// short periods on a busy machine, and a clock with them, over two seconds.
INSTANTIATE_TEST_SUITE_P(Periods, JackMidiOut,
                         ::testing::Values(JackSettings{256, 44100}, JackSettings{1024, 44100}));

class JackMidiIn : public JackBackend {};

// Clocks, start, continue, stop and the song's place come on their own
// queue, on their own frames, even from inside another message; the window
// that learns notes sees the rest and none of them.
TEST_P(JackMidiIn, SyncMessagesComeOnTheirOwnQueueOnTheirFrames) {
    JackRig jack(GetParam());
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    TestClient pads(jack.server.name(), "pads", TestClientPorts{.midi_output = true});
    ASSERT_TRUE(pads.connect(pads.midi_output(), "qx375:midi_in"));

    std::vector<MidiEvent> sync;
    std::vector<qx375::MidiEvent> came;
    std::vector<std::uint8_t> learnt;
    int late = 0;
    without_xruns(
        jack,
        [&] {
            const int late_before = pads.late_events();
            const jack_nframes_t first = pads.frame_time() + pads.rate() / 5;
            sync = {midi(first, {0xF2, 0x10, 0x20}), midi(first + 1, {0xFA})};
            for (jack_nframes_t k = 0; k < 48; ++k) {
                sync.push_back(midi(first + 10 + k * 367, {0xF8}));
            }
            std::vector<MidiEvent> sent = sync;
            sent.push_back(midi(first + 20000, {0x99, 0xF8, 40, 100})); // a clock inside a note
            sent.push_back(midi(first + 20001, {0xFE}));                // active sensing
            sent.push_back(midi(first + 20002, {0xF1, 0x05}));          // time code
            sent.push_back(midi(first + 20003, {0xFB}));
            sent.push_back(midi(first + 20004, {0xFC}));
            ASSERT_TRUE(pads.send(sent));
            sync.push_back(midi(first + 20000, {0xF8}));
            sync.push_back(midi(first + 20003, {0xFB}));
            sync.push_back(midi(first + 20004, {0xFC}));
            ASSERT_TRUE(jack.recorder->wait_recorded(first + 20004 + pads.rate(), 10s));

            came.clear();
            for (qx375::MidiEvent e; jack.rig.output.next_sync_event(e);) {
                came.push_back(e);
            }
            learnt.clear();
            for (qx375::MidiEvent e; jack.rig.output.next_midi_event(e);) {
                learnt.push_back(e.bytes[0]);
            }
            late = pads.late_events() - late_before;
        },
        [&] { return late == 0; });
    ASSERT_EQ(came.size(), sync.size()) << jack.xruns() << " xruns, " << late << " late";
    for (std::size_t i = 0; i < sync.size(); ++i) {
        EXPECT_EQ(came[i].frame - came[0].frame, sync[i].frame - sync[0].frame)
            << i << ", " << late << " sent late";
        EXPECT_EQ(came[i].size, sync[i].size) << i;
        for (std::size_t b = 0; b < came[i].size; ++b) {
            EXPECT_EQ(came[i].bytes[b], sync[i].bytes[b]) << i;
        }
    }
    EXPECT_THAT(learnt, ::testing::ElementsAre(0x99, 0xFE, 0xF1));
    EXPECT_EQ(late, 0);
}

// A note that comes in plays its sound on its own frame within the period,
// at the loudness of its velocity; it does not go out again.
TEST_P(JackMidiIn, NotesPlayOnTheirOwnFrameAtTheirVelocity) {
    JackRig jack(GetParam());
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    TestClient pads(jack.server.name(), "pads", TestClientPorts{.midi_output = true});
    ASSERT_TRUE(pads.connect(pads.midi_output(), "qx375:midi_in"));

    const jack_nframes_t period = pads.period();
    const jack_nframes_t first = pads.frame_time() + pads.rate() / 5;
    const std::uint8_t velocities[] = {127, 64, 1, 127};
    const std::uint8_t notes[] = {kSnareNote, 40, kSnareNote, 40};
    std::vector<MidiEvent> sent;
    for (std::size_t k = 0; k < std::size(velocities); ++k) {
        const auto at = static_cast<jack_nframes_t>(first + k * 2000 + (k * 71) % period);
        sent.push_back(midi(at, {0x99, notes[k], velocities[k]}));
        sent.push_back(midi(at + 1, {0x89, 60, 0}));            // a note outside the map
        sent.push_back(midi(at + 2, {0xF0, 0x7E, 0x7F, 0xF7})); // SysEx
    }
    sent.push_back(midi(first + 9000, {0x99, 70, 100})); // not mapped either
    sent.push_back(midi(first + 9001, {80, 90}));        // and running status
    ASSERT_TRUE(pads.send(sent));
    ASSERT_TRUE(jack.recorder->wait_recorded(first + 9000 + pads.rate(), 10s));

    const std::vector<jack_nframes_t> onsets = jack.onsets(first - period, std::size(velocities));
    ASSERT_EQ(onsets.size(), std::size(velocities));
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        EXPECT_EQ(onsets[k], sent[3 * k].frame) << "note " << k << ": no rounding to the period";
        const float heard = jack.recorder->sample(0, onsets[k]).value_or(0);
        EXPECT_NEAR(heard / kLevel, midi::velocity_gain(velocities[k]), 1e-6f)
            << "velocity " << int(velocities[k]);
    }
    EXPECT_TRUE(jack.notes_out(midi::kNoteOn).empty());
    EXPECT_EQ(pads.late_events(), 0);
}

// Not 64: a busy machine drops too many of its periods for an exchange of
// a second to come through whole.
INSTANTIATE_TEST_SUITE_P(Periods, JackMidiIn,
                         ::testing::Values(JackSettings{256, 44100}, JackSettings{1024, 44100}));

class JackLost : public JackBackend {};

TEST_P(JackLost, AServerThatGoesAwayLeavesTheNullClockPlayingFromTheSameFrame) {
    JackRig jack(GetParam());
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    for (int k = 0; k < 20; ++k) {
        jack.rig.device->start_sound(kSnare, jack.ahead() + k * 2000, true);
    }
    std::this_thread::sleep_for(100ms);
    const std::uint64_t before = jack.rig.output.clock().read().frame;
    jack.recorder.reset();
    jack.server.kill_now();
    bool switched = false;
    for (int i = 0; i < 300 && !switched; ++i) {
        switched = jack.rig.output.check_device();
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(switched);
    EXPECT_EQ(jack.rig.output.backend(), AudioBackendKind::null_clock);
    EXPECT_EQ(jack.rig.output.card_fault(), CardFault::lost);
    EXPECT_FALSE(jack.rig.output.check_device()) << "said once";
    std::this_thread::sleep_for(100ms);
    EXPECT_GT(jack.rig.output.clock().read().frame, before) << "the clock goes on";
    EXPECT_FALSE(jack.rig.output.reopen()) << "no server to go back to";
}

INSTANTIATE_TEST_SUITE_P(Server, JackLost, ::testing::Values(JackSettings{128, 44100}));

class JackFlood : public JackBackend {};

// Ten thousand events a second of everything a controller may send, while
// the sequencer plays: nothing breaks, and every note sent out ends.
TEST_P(JackFlood, AFloodOfMessagesBreaksNothingAndLeavesNoNoteHanging) {
    JackRig jack(GetParam());
    ASSERT_TRUE(jack.ready()) << jack.server.failure();
    TestClient pads(jack.server.name(), "pads",
                    TestClientPorts{.midi_output = true, .midi_events = 40000});
    ASSERT_TRUE(pads.connect(pads.midi_output(), "qx375:midi_in"));
    const jack_nframes_t first = pads.frame_time() + pads.rate() / 5;
    const double seconds = 3;
    std::vector<MidiEvent> flood;
    for (int i = 0; i < 10000 * seconds; ++i) {
        const auto at = static_cast<jack_nframes_t>(first + i * pads.rate() / 10000);
        switch (i % 5) {
        case 0:
            flood.push_back(midi(
                at, {std::uint8_t(0x90 | (i % 16)), std::uint8_t(i % 128), std::uint8_t(i % 128)}));
            break;
        case 1:
            flood.push_back(midi(at, {std::uint8_t(i % 128), 0x40})); // running status
            break;
        case 2:
            flood.push_back(midi(at, {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 0xF7}));
            break;
        case 3:
            flood.push_back(midi(at, {0xF8}));
            break;
        default:
            flood.push_back(midi(at, {0xB0, 123, 0}));
            break;
        }
    }
    ASSERT_TRUE(pads.send(flood));
    for (int k = 0; k < 30; ++k) {
        jack.rig.device->start_sound(kSnare, jack.ahead() + k * 4000, true);
    }
    ASSERT_TRUE(jack.recorder->wait_recorded(
        first + static_cast<jack_nframes_t>(seconds * pads.rate()) + pads.rate(), 20s));
    EXPECT_EQ(jack.rig.output.backend(), AudioBackendKind::jack);
    EXPECT_FALSE(jack.rig.output.check_device());
    EXPECT_EQ(jack.notes_out(midi::kNoteOn).size(), 30u);
    EXPECT_EQ(jack.notes_out(midi::kNoteOff).size(), 30u);
    qx375::MidiEvent event;
    std::size_t passed_on = 0;
    while (jack.rig.output.next_midi_event(event)) {
        ++passed_on;
    }
    EXPECT_GT(passed_on, 0u) << "the window sees what came in, as much as its queue holds";
    std::size_t clocks = 0;
    while (jack.rig.output.next_sync_event(event)) {
        clocks += event.bytes[0] == 0xF8 ? 1 : 0;
    }
    EXPECT_GT(clocks, 0u) << "and the clocks, as much as theirs holds";
}

INSTANTIATE_TEST_SUITE_P(Server, JackFlood, ::testing::Values(JackSettings{128, 44100}));

} // namespace
} // namespace qx375::test
