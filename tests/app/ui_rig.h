#pragma once

#include "app/program.h"
#include "scripted_prompts.h"
#include "support/scratch_rig.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <string>

namespace qx375::test {

// What the program is given in the app tests: an output that plays only when
// a test pulls it, and prompts that a test scripts, whose messages go to the
// scratch rig's notifier.
struct UiScratch : ScratchRig {
    AudioOutput output{AudioBackendKind::manual};
    ScriptedPrompts prompts{notifier};
};

// The main window over sound channels that log every call, set up in a
// scratch program directory as at its first activation. Sound k plays
// through buffer "b<k+1>".
struct UiRig : UiScratch, Program {
    UiRig() : Program(output, prompts, system) {
        QImage glyph(16, 16, QImage::Format_RGB32);
        glyph.fill(Qt::green);
        glyph.save("go2.bmp");
        glyph.save("stop2.bmp");
        window.FormActivate();
        prompts.shown_dialogs.clear();
        assign_all_sounds(song);
    }

    template <typename W>
    W* find(const QString& name) const {
        W* w = window.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }

    QCheckBox* cell(int column, int row) const {
        return find<QCheckBox>(QString("CheckBox%1_%2").arg(column).arg(row));
    }
    RadioGroup* hihat(int column) const {
        return find<RadioGroup>(QString("RadioGroup%1").arg(column));
    }
    RadioGroup* sizes() const { return find<RadioGroup>("RadioGroup2432"); }
    RadioGroup* play_mode() const { return find<RadioGroup>("RadioGroupPlay"); }
    QLineEdit* edit(const char* name) const { return find<QLineEdit>(name); }
    QCheckBox* check(const char* name) const { return find<QCheckBox>(name); }
    QSlider* slider(const char* name) const { return find<QSlider>(name); }
    void press(const char* name) const {
        if (auto* b = window.findChild<QAbstractButton*>(name)) {
            b->click();
        } else {
            ADD_FAILURE() << "no button " << name;
        }
    }

    // The buffers started since the last look, in order.
    std::vector<std::string> played() {
        std::vector<std::string> started;
        for (const std::string& call : log.calls) {
            if (call.find(".Play(") != std::string::npos) {
                started.push_back(call.substr(0, call.find('.')));
            }
        }
        log.calls.clear();
        return started;
    }

    // Puts a pattern at a measure of the song.
    void place(int measure, int pattern) { song.set_song_entry(measure, pattern); }

    // Sets a cell of a pattern straight in the bank.
    void hit(int pattern, int track, int step) {
        song.change_pattern(pattern, [&](pattern_record& p) { p.steps[track][step] = 1; });
    }
};

} // namespace qx375::test
