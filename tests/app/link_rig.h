#pragma once

// Instances of the program for Link sessions: each on its own null-clock
// output, with sound channels that log the frame of every start.

#include "app/program.h"
#include "scripted_prompts.h"
#include "support/scratch_rig.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <vector>

namespace qx375::test {

using LinkClock = std::chrono::steady_clock;

inline constexpr int kLinkedSound = 3;

// One instance: its own output on the null clock, and sound channels that
// log the frame of every start.
struct Instance {
    FakeLog log;
    FakeSystem system{log};
    RecordingNotifier notifier;
    AudioOutput output{AudioBackendKind::null_clock};
    ScriptedPrompts prompts{notifier};
    Program program{output, prompts, system};

    Instance() {
        program.window.FormActivate();
        for (int k = 0; k < kSounds; ++k) {
            program.song.set_sample_file(k, ScratchRig::sample(k));
        }
        matrice& song = program.song;
        song.set_song_entry(1, 1);
        song.set_song_entry(2, kEndMarker);
        song.change_pattern(1, [&](pattern_record& p) {
            p.size = 16;
            p.empty = 0;
        });
        for (int s = 0; s < 16; s += 2) {
            song.change_pattern(1, [&](pattern_record& p) { p.steps[kLinkedSound][s] = 1; });
        }
        program.window.findChild<QCheckBox*>("CheckBoxLoop")->setChecked(true);
        program.window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
        log.starts.clear();
    }

    void choose(const char* item) {
        auto* action = program.window.findChild<QAction*>(item);
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }
    void press_play() { program.window.findChild<QAbstractButton*>("BitBtnAction")->click(); }
    bool playing() const {
        return program.window.findChild<QCheckBox*>("CheckBoxBeat")->isChecked();
    }
    QSlider* tempo() const { return program.window.findChild<QSlider*>("TrackBarBPM"); }
    QString title() const { return program.window.windowTitle(); }

    // When each hit of the sound was heard, by the output's clock.
    std::vector<LinkClock::time_point> hits() const {
        const ClockReading reading = output.clock().read();
        std::vector<LinkClock::time_point> times;
        for (const auto& [sound, frame] : log.starts) {
            if (sound == kLinkedSound) {
                const double after =
                    (static_cast<double>(frame) - static_cast<double>(reading.frame)) /
                    output.rate();
                times.push_back(reading.time + std::chrono::duration_cast<LinkClock::duration>(
                                                   std::chrono::duration<double>(after)));
            }
        }
        return times;
    }
};

inline bool wait_for(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto until = LinkClock::now() + timeout;
    while (!done()) {
        if (LinkClock::now() > until) {
            return false;
        }
        QTest::qWait(10);
    }
    return true;
}

// How far apart two instances' hits fell, in milliseconds: each of the
// first's against the nearest of the second's; hits without one within
// 100 ms are not counted.
struct HitsApart {
    std::size_t matched = 0;
    double widest_ms = 0;
};

inline HitsApart hits_apart(const std::vector<std::chrono::steady_clock::time_point>& first,
                            const std::vector<std::chrono::steady_clock::time_point>& second) {
    HitsApart apart;
    for (const auto hit : first) {
        const auto nearest = std::min_element(second.begin(), second.end(), [&](auto a, auto b) {
            return std::chrono::abs(a - hit) < std::chrono::abs(b - hit);
        });
        if (nearest == second.end()) {
            break;
        }
        const double ms = std::chrono::duration<double, std::milli>(*nearest - hit).count();
        if (std::abs(ms) < 100) {
            ++apart.matched;
            apart.widest_ms = std::max(apart.widest_ms, std::abs(ms));
        }
    }
    return apart;
}

} // namespace qx375::test
