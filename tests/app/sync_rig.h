#pragma once

#include "app/program.h"
#include "scripted_prompts.h"
#include "support/jack_client.h"
#include "support/jack_server.h"
#include "support/scratch_rig.h"

#include <QAbstractButton>
#include <QAction>
#include <QImage>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
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

    explicit SyncRig(JackSettings settings = {}) : server(settings) {
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
        peer = std::make_unique<TestClient>(
            server.name(), "peer", TestClientPorts{.midi_output = true, .midi_input = true});
        peer->connect("qx375:midi_out", peer->midi_input());
        peer->connect(peer->midi_output(), "qx375:midi_in");
    }

    bool ready() const { return peer != nullptr; }
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
        song().song[1] = 1;
        song().song[2] = kEndMarker;
        song().patterns[1].size = size;
        for (int s = 0; s < size; ++s) {
            song().patterns[1].steps[3][s] = 1;
        }
        song().patterns[1].empty = 0;
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

} // namespace qx375::test
