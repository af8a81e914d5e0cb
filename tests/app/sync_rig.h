#pragma once

#include "app/program.h"
#include "scripted_prompts.h"
#include "support/jack_client.h"
#include "support/jack_server.h"
#include "support/scratch_rig.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace qx375::test {

inline constexpr std::uint8_t kNoteOn = 0x99;
inline constexpr std::uint8_t kClockByte = 0xF8;

// The whole program on a JACK server of the test's own, its sounds in the
// mixer, and a peer client that sends to its midi_in and records its
// midi_out: what a synthesizer or a DAW beside it would see.
struct SyncRig : ScratchRig {
    JackServer server;
    DefaultJackServer uses{server};
    AudioOutput output{AudioBackendKind::jack};
    ScriptedPrompts prompts{notifier};
    std::unique_ptr<Program> program;
    std::unique_ptr<TestClient> peer;

    // A period long enough that the server, which runs without real-time
    // scheduling here, keeps its cycles on a busy machine.
    static constexpr JackSettings kServer{.period = 1024, .rate = 48000};

    static constexpr TestClientPorts kPeer{.midi_output = true, .midi_input = true};

    explicit SyncRig(JackSettings settings = kServer, TestClientPorts peer_ports = kPeer)
        : server(settings) {
        if (!server.failure().empty() || output.backend() != AudioBackendKind::jack) {
            return;
        }
        QImage glyph(16, 16, QImage::Format_RGB32);
        glyph.fill(Qt::green);
        glyph.save("go2.bmp");
        glyph.save("stop2.bmp");
        program = std::make_unique<Program>(output, prompts);
        program->window.FormActivate();
        assign_all_sounds(program->song);
        peer = std::make_unique<TestClient>(server.name(), "peer", peer_ports);
        if (peer_ports.midi_input) {
            peer->connect("qx375:midi_out", peer->midi_input());
        }
        if (peer_ports.midi_output) {
            peer->connect(peer->midi_output(), "qx375:midi_in");
        }
    }

    bool ready() const { return peer != nullptr; }
    // The periods the server dropped, on our side or the peer's.
    int xruns() const { return static_cast<int>(output.status().xruns) + peer->xruns(); }
    Tmain& window() { return program->window; }
    matrice& song() { return program->song; }

    // Chooses an item of the Sync menu.
    void choose(const char* item) {
        auto* action = window().findChild<QAction*>(item);
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }
    void press(const char* name) {
        auto* button = window().findChild<QAbstractButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }
    void set_tempo(int position) {
        window().findChild<QSlider*>("TrackBarBPM")->setValue(position);
    }

    // A hit of sound 3 on every step of pattern 1, the song's only measure.
    void hits_on_every_step(int size) {
        song().set_song_entry(1, 1);
        song().set_song_entry(2, kEndMarker);
        song().change_pattern(1, [&](pattern_record& p) { p.size = size; });
        for (int s = 0; s < size; ++s) {
            song().change_pattern(1, [&](pattern_record& p) { p.steps[3][s] = 1; });
        }
        song().change_pattern(1, [&](pattern_record& p) { p.empty = 0; });
    }

    // What came out of midi_out with this status byte.
    std::vector<jack_nframes_t> frames_of(std::uint8_t status) const {
        std::vector<jack_nframes_t> frames;
        for (const MidiEvent& e : peer->received()) {
            if (e.size > 0 && e.bytes[0] == status) {
                frames.push_back(e.frame);
            }
        }
        return frames;
    }

    // Waits in the event loop until the server's clock passes `frame`.
    void wait_until(jack_nframes_t frame) {
        while (static_cast<std::int32_t>(peer->frame_time() - frame) < 0) {
            QTest::qWait(5);
        }
    }
};

// A song of four measures of pattern 1, hits on all 16 steps, in song mode,
// at the slider's 120: 135 ms a step, 111.1 BPM to the outside.
inline void four_bars(SyncRig& rig, bool loop) {
    rig.hits_on_every_step(16);
    for (int m = 1; m <= 4; ++m) {
        rig.song().set_song_entry(m, 1);
    }
    rig.song().set_song_entry(5, kEndMarker);
    rig.window().findChild<QCheckBox*>("CheckBoxLoop")->setChecked(loop);
    rig.window().findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
    rig.set_tempo(120);
}

// The frames of clocks at a tempo that moves from `from` to `to` BPM over
// `count` clocks, each off by up to `jitter` frames.
inline std::vector<jack_nframes_t> clock_frames(jack_nframes_t first, std::uint32_t rate, int count,
                                                double from, double to, int jitter) {
    std::mt19937 random(375);
    std::uniform_int_distribution<int> off(-jitter, jitter);
    std::vector<jack_nframes_t> frames;
    double at = first;
    for (int k = 0; k < count; ++k) {
        frames.push_back(static_cast<jack_nframes_t>(std::lround(at) + (k == 0 ? 0 : off(random))));
        const double bpm = from + (to - from) * k / count;
        at += 60.0 * rate / (24 * bpm);
    }
    return frames;
}

inline std::vector<MidiEvent> as_clocks(const std::vector<jack_nframes_t>& frames) {
    std::vector<MidiEvent> events;
    for (jack_nframes_t f : frames) {
        events.push_back(midi(f, {kClockByte}));
    }
    return events;
}

// The first cycle, from `from` on, in which the transport rolled from
// `frame`: where that frame fell on the server's clock.
inline std::optional<jack_nframes_t> rolled_from(const std::vector<TransportCycle>& cycles,
                                                 jack_nframes_t from, jack_nframes_t frame) {
    for (const TransportCycle& c : cycles) {
        if (static_cast<std::int32_t>(c.start - from) >= 0 && c.state == JackTransportRolling &&
            c.frame == frame) {
            return c.start;
        }
    }
    return std::nullopt;
}

} // namespace qx375::test
