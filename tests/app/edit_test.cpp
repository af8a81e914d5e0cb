// Undo and redo through the real window: every kind of change to the song
// comes back byte for byte, a long run of edits, undos and redos against a
// copy of the states, the menu's captions and keys, the title, Space.
#include "ui_rig.h"

#include <QAction>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace qx375::test {
namespace {

class EditTest : public ::testing::Test, public UiRig {
public:
    EditTest() {
        play_mode()->set_item_index(1); // song mode, measure 1
        hit(0, 5, 2);
        hit(0, 9, 7);
        window.getpatern();
        dir.write("other.wav", simple_wav(ramp(16)));
    }

    std::string image() const { return song.song_image(); }
    // What a song file holds, with what it does not but a step may change:
    // the patterns' used marks and the tempo slider.
    std::string state() const {
        std::string s = image();
        for (const pattern_record& p : song.bank()) {
            s.push_back(static_cast<char>(p.empty));
        }
        return s + std::to_string(slider("TrackBarBPM")->value());
    }
    QAction* action(const char* name) const { return find<QAction>(name); }
    QString caption(const char* name) const { return action(name)->text().remove('&'); }
    void undo() const { action("Undo1")->trigger(); }
    void redo() const { action("Redo1")->trigger(); }
    void setup_slider(const char* name, int value) const {
        setup.findChild<QSlider*>(name)->setValue(value);
    }
};

struct Change {
    const char* name;
    std::function<void(EditTest&)> make;
    std::function<void(EditTest&)> before = [](EditTest&) {};
};

// A song that the change alters; undoing it gives back the very bytes a save
// would have written before it, redoing it those after it, and the menu
// names it both ways.
TEST_F(EditTest, EveryKindOfChangeIsUndoneAndRedoneByteForByte) {
    const Change changes[] = {
        {"Grid Cell", [](EditTest& t) { t.cell(3, 6)->click(); }},
        {"Hi-Hat", [](EditTest& t) { t.hihat(4)->item(1)->click(); }},
        {"Pattern Size", [](EditTest& t) { t.sizes()->item(2)->click(); }},
        {"Pattern Number", [](EditTest& t) { t.press("Button7"); }},
        {"End Marker", [](EditTest& t) { t.press("ButtonEndSong"); }},
        {"Tempo", [](EditTest& t) { t.slider("TrackBarBPM")->setValue(222); }},
        {"Clear Pattern", [](EditTest& t) { t.press("BitBtnClear"); }},
        {"Volume", [](EditTest& t) { t.setup_slider("TrackBarVol", 2500); }},
        {"Pan",
         [](EditTest& t) { t.setup.findChild<QRadioButton*>("RadioButtonPanLeft")->click(); }},
        {"Pitch", [](EditTest& t) { t.setup_slider("TrackBarPitch", 3000); }},
        {"Sample File",
         [](EditTest& t) {
             t.prompts.files.push_back("other.wav");
             t.setup.findChild<QPushButton*>("ButtonFile")->click();
         }},
        {"Paste Pattern", [](EditTest& t) { t.press("BitBtnColler"); },
         [](EditTest& t) {
             t.press("BitBtnCopier");
             t.press("Button4");
         }},
    };
    setup.set_sound_index(4);
    for (const Change& c : changes) {
        SCOPED_TRACE(c.name);
        c.before(*this);
        const std::string before = image();
        c.make(*this);
        const std::string after = image();
        ASSERT_TRUE(after != before);
        EXPECT_EQ(caption("Undo1"), QString("Undo ") + c.name);
        undo();
        EXPECT_TRUE(image() == before);
        EXPECT_EQ(caption("Redo1"), QString("Redo ") + c.name);
        redo();
        EXPECT_TRUE(image() == after);
        undo();
    }
    EXPECT_EQ(song.get_sample_file(4), sample(4));
    EXPECT_EQ(prompts.files.size(), 0u);
}

// The loop box is no part of the song file, but undoing it puts it back.
TEST_F(EditTest, TheLoopBoxIsUndoneToo) {
    check("CheckBoxLoop")->click();
    EXPECT_EQ(caption("Undo1"), "Undo Loop");
    undo();
    EXPECT_FALSE(check("CheckBoxLoop")->isChecked());
    redo();
    EXPECT_TRUE(check("CheckBoxLoop")->isChecked());
}

// Two slider positions can give one tempo (14400 / 400 and / 399 are both
// 36): the move is still a step, and its undo puts the slider back.
TEST_F(EditTest, ATempoMoveThatKeepsTheTempoIsStillAStep) {
    slider("TrackBarBPM")->setValue(400);
    slider("TrackBarBPM")->setValue(399);
    EXPECT_EQ(caption("Undo1"), "Undo Tempo");
    undo();
    EXPECT_EQ(slider("TrackBarBPM")->value(), 400);
}

// One drag of a slider is one step, however many values it passed; two
// drags are two, and so are two presets.
TEST_F(EditTest, OneDragIsOneStep) {
    setup.set_sound_index(2);
    QSlider* volume = setup.findChild<QSlider*>("TrackBarVol");
    const int start = window.history().count();
    for (int drag = 0; drag < 2; ++drag) {
        volume->setSliderDown(true);
        for (int v = 100; v <= 5000; v += 100) {
            volume->setValue(v + drag * 5000);
        }
        volume->setSliderDown(false);
    }
    QSlider* tempo = slider("TrackBarBPM");
    const int position = tempo->value();
    tempo->setSliderDown(true);
    for (int p = 60; p <= 300; p += 7) {
        tempo->setValue(p);
    }
    tempo->setSliderDown(false);
    EXPECT_EQ(window.history().count(), start + 3);
    undo();
    EXPECT_EQ(tempo->value(), position) << "the slider is where the drag began";
    undo();
    EXPECT_EQ(song.get_volume(2), -5000);
    undo();
    EXPECT_EQ(song.get_volume(2), 0);
}

// A refresh writes the grid back through the click handlers; none of that
// is a change anyone could undo.
TEST_F(EditTest, RefreshesAndNavigationLeaveNoSteps) {
    hit(3, 4, 4);
    place(2, 3);
    for (int i = 0; i < 3; ++i) {
        press("SpeedButtonForwardPattern");
        press("SpeedButtonBackPattern");
        press("SpeedButtonNextStep");
    }
    window.getpatern();
    EXPECT_EQ(window.history().count(), 0);
    EXPECT_FALSE(action("Undo1")->isEnabled());
    EXPECT_EQ(caption("Undo1"), "Undo");
}

// Stopped, an undo goes to the measure of the change; playing, it stays
// where playback is, and the change is there for the next step.
TEST_F(EditTest, AnUndoShowsWhereTheChangeWasUnlessTheSongPlays) {
    place(2, 3);
    place(3, 4);
    press("SpeedButtonForwardPattern");
    cell(2, 8)->click();
    press("SpeedButtonForwardPattern");
    cell(5, 8)->click();
    press("SpeedButtonBeginSong");
    undo();
    EXPECT_EQ(song.get_measure(), 3);
    EXPECT_FALSE(cell(5, 8)->isChecked());
    check("CheckBoxBeat")->setChecked(true);
    press("SpeedButtonBackPattern");
    ASSERT_EQ(song.get_measure(), 2);
    press("SpeedButtonForwardPattern");
    undo();
    EXPECT_EQ(song.get_measure(), 3) << "playback stays at its measure";
    EXPECT_EQ(song.pattern(3).steps[7][1], 0);
    redo();
    EXPECT_EQ(song.pattern(3).steps[7][1], 1);
    check("CheckBoxBeat")->setChecked(false);
}

// In pattern mode an undo shows the pattern the change was made on.
TEST_F(EditTest, InPatternModeAnUndoShowsItsPattern) {
    play_mode()->set_item_index(0);
    edit("EditNumPattern")->setText("5");
    cell(6, 9)->click();
    edit("EditNumPattern")->setText("6");
    undo();
    EXPECT_EQ(window.current_pattern, 5);
    EXPECT_EQ(edit("EditNumPattern")->text(), "5");
    EXPECT_EQ(song.pattern(5).steps[8][5], 0);
    EXPECT_FALSE(cell(6, 9)->isChecked());
}

// A thousand steps, all undone: the song as it began.
TEST_F(EditTest, AThousandStepsComeBack) {
    const std::string start = image();
    for (int i = 0; i < 1000; ++i) {
        cell(1 + i % 24, kFirstRow + (i / 24) % 14)->click();
    }
    EXPECT_EQ(window.history().count(), 1000);
    while (window.history().canUndo()) {
        undo();
    }
    EXPECT_TRUE(image() == start);
}

// A long random run of edits, undos, redos and moves through the song,
// against a copy of every state the history should hold.
TEST_F(EditTest, ARandomRunMatchesACopyOfTheStates) {
    std::mt19937 random(375);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    QSlider* tempo = slider("TrackBarBPM");
    std::vector<std::string> states = {state()};
    std::vector<int> entry_at = {-1}; // the measure of the number that made each state
    std::size_t index = 0;
    for (int i = 0; i < 600; ++i) {
        SCOPED_TRACE(i);
        const int what = pick(12);
        if (what == 0 && index > 0) {
            undo();
            --index;
        } else if (what == 1 && index + 1 < states.size()) {
            redo();
            ++index;
        } else if (what == 2) {
            press(pick(2) == 0 ? "SpeedButtonForwardPattern" : "SpeedButtonBackPattern");
        } else if (what <= 5) {
            // A number typed into the measure: numbers typed one after the
            // other into one measure are one step.
            const int measure = song.get_measure();
            press(QString("Button%1").arg(pick(10)).toStdString().c_str());
            const std::string now = state();
            if (now != states[index]) {
                states.resize(index + 1);
                entry_at.resize(index + 1);
                if (index > 0 && entry_at[index] == measure) {
                    states[index] = now;
                    if (states[index] == states[index - 1]) {
                        states.pop_back();
                        entry_at.pop_back();
                        --index;
                    }
                } else {
                    states.push_back(now);
                    entry_at.push_back(measure);
                    ++index;
                }
            }
        } else {
            // Edits that always change something.
            const int size = song.get_size();
            switch (what) {
            case 6:
            case 7:
                cell(1 + pick(size), kFirstRow + pick(14))->click();
                break;
            case 8: {
                const int step = pick(size);
                const int shown = song.get_cell(0, step) ? 0 : song.get_cell(1, step) ? 1 : 2;
                hihat(1 + step)->item((shown + 1 + pick(2)) % 3)->click();
                break;
            }
            case 9:
                sizes()->item((sizes()->item_index() + 1 + pick(5)) % 6)->click();
                break;
            case 10:
                press("BitBtnCopier");
                if (song.has_cells()) {
                    press("BitBtnClear");
                }
                break;
            default:
                tempo->setValue(40 + (tempo->value() - 40 + 1 + pick(360)) % 361);
                break;
            }
            const std::string now = state();
            if (now != states[index]) {
                states.resize(index + 1);
                entry_at.resize(index + 1);
                states.push_back(now);
                entry_at.push_back(-1);
                ++index;
            }
        }
        ASSERT_TRUE(state() == states[index]);
        ASSERT_EQ(window.history().index(), static_cast<int>(index));
    }
}

// The title names the song and marks changes; an undo back to the song as
// saved leaves nothing to save.
TEST_F(EditTest, TheTitleNamesTheSongAndMarksItsChanges) {
    prompts.files.push_back((dir.path() / "demo.drm").string());
    action("SauverSous")->trigger();
    EXPECT_EQ(window.windowTitle(), "demo.drm[*] - QX375");
    EXPECT_FALSE(window.isWindowModified());
    cell(4, 4)->click();
    EXPECT_TRUE(window.isWindowModified());
    undo();
    EXPECT_FALSE(window.modified);
    EXPECT_FALSE(window.isWindowModified());
    redo();
    EXPECT_TRUE(window.modified);
    prompts.answers.push_back(Answer::no);
    action("Nouveau1")->trigger();
    EXPECT_FALSE(action("Undo1")->isEnabled()) << "a new song starts a new history";
}

TEST_F(EditTest, TheKeysAMusicianReachesFor) {
    const std::pair<const char*, const char*> keys[] = {
        {"Nouveau1", "Ctrl+N"},    {"Ouvrir", "Ctrl+O"},
        {"Enregistrer", "Ctrl+S"}, {"SauverSous", "Ctrl+Shift+S"},
        {"Export1", "Ctrl+E"},     {"Quitter1", "Ctrl+Q"},
        {"Aide1", "F1"},           {"Undo1", "Ctrl+Z"},
    };
    for (const auto& [name, key] : keys) {
        EXPECT_EQ(action(name)->shortcut(), QKeySequence(key)) << name;
    }
    EXPECT_EQ(action("Redo1")->shortcuts(),
              QList<QKeySequence>({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));

    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QCheckBox* box = cell(2, 5);
    box->setFocus();
    box->click();
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(box->isChecked()) << "Ctrl+Z undid the click";
    QTest::keyClick(box, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(box->isChecked()) << "Ctrl+Y redid it";
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(check("CheckBoxBeat")->isChecked()) << "Space starts playback";
    EXPECT_TRUE(box->isChecked()) << "and leaves the box it is on";
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_FALSE(check("CheckBoxBeat")->isChecked());
    edit("EditNumPattern")->setFocus();
    QTest::keyClick(edit("EditNumPattern"), Qt::Key_Space);
    EXPECT_FALSE(check("CheckBoxBeat")->isChecked()) << "a box being typed in keeps it";
}

} // namespace
} // namespace qx375::test
