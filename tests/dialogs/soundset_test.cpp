#include "dialogs/soundset.h"
#include "engine/engine_rig.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The main window as the dialog sees it: the measure buttons move through
// the song and bring the grid, and with it the mix, in line.
struct FakeHost : SetupHost {
    explicit FakeHost(matrice& song) : song(song) {}

    int current_pattern() const override { return song.get_song_entry(); }
    bool playing() const override { return running; }
    void mark_modified() override { ++marks; }
    void previous_measure() override {
        song.previous_measure();
        song.apply_mix();
    }
    void next_measure() override {
        song.next_measure();
        song.apply_mix();
    }
    bool choose_sample(int sound) override {
        return chosen && static_cast<bool>(song.replace_sample(sound, *chosen));
    }
    QString sound_name(int sound) const override { return QString("S%1").arg(sound + 1); }
    void set_mix(MixPart part, int sound, int value, int gesture) override {
        gestures.push_back(gesture);
        switch (part) {
        case MixPart::volume:
            song.set_volume(sound, value);
            break;
        case MixPart::pan:
            song.set_pan(sound, value);
            break;
        case MixPart::pitch:
            song.set_frequency(sound, value);
            break;
        }
    }

    matrice& song;
    std::vector<int> gestures; // of every value given, in turn
    bool running = false;
    int marks = 0;
    std::optional<std::string> chosen;
};

class SoundSetupTest : public ::testing::Test, public EngineRig {
protected:
    SoundSetupTest() {
        open_with_all_sounds();
        song.set_song_entry(2, 5);
    }

    // Opens the dialog on a sound, as the instrument panel does.
    void open_on(int sound) {
        form.set_sound_index(sound);
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&form, &activate);
    }

    // Stores a mix straight in a pattern, as a loaded song may hold it.
    void store_mix(int pattern, int sound, int volume, int pan, int frequency) {
        song.change_pattern(pattern, [&](pattern_record& p) {
            p.volume[sound] = volume;
            p.pan[sound] = pan;
            p.frequency[sound] = frequency;
        });
    }

    template <typename W>
    W* find(const char* name) const {
        W* w = form.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QSlider* slider(const char* name) const { return find<QSlider>(name); }
    QString text(const char* name) const { return find<QLineEdit>(name)->text(); }
    QComboBox* channels() const { return find<QComboBox>("ComboBoxCanal"); }
    void press(const char* name) const { find<QAbstractButton>(name)->click(); }

    struct Display {
        int volume, pan, pitch;
        QString vol_text, pan_text, pitch_text;
        bool operator==(const Display&) const = default;
    };
    Display display() const {
        return {slider("TrackBarVol")->value(),
                slider("TrackBarPan")->value(),
                slider("TrackBarPitch")->value(),
                text("EditVol"),
                text("EditPan"),
                text("EditPitch")};
    }

    FakeHost host{song};
    TFormSetup form{song, sound, notifier, host};
};

// Showing a sound.

struct Shown {
    const char* name;
    int volume, pan, frequency;
    int vol_position, pan_position, pitch_position;
    const char *vol_text, *pan_text, *pitch_text;
};

void PrintTo(const Shown& s, std::ostream* out) {
    *out << s.name;
}

class ShowingTest : public SoundSetupTest, public ::testing::WithParamInterface<Shown> {};

TEST_P(ShowingTest, ShowsTheStoredMixAndLeavesItAsItWas) {
    const Shown& s = GetParam();
    // The sliders stand elsewhere first, so that showing the sound moves them.
    store_mix(0, 2, -100, -100, 22050);
    open_on(2);
    store_mix(0, 3, s.volume, s.pan, s.frequency);
    const pattern_record before = song.pattern(0);
    log.calls.clear();

    open_on(3);
    EXPECT_EQ(display(), (Display{s.vol_position, s.pan_position, s.pitch_position, s.vol_text,
                                  s.pan_text, s.pitch_text}));
    EXPECT_EQ(song.pattern(0), before);
    EXPECT_THAT(log.calls, IsEmpty()) << "nothing is sent to the sound";
    EXPECT_EQ(host.marks, 0);
    EXPECT_EQ(channels()->currentText(), "4");
}

constexpr int kMin = std::numeric_limits<int>::min();
constexpr int kMax = std::numeric_limits<int>::max();

INSTANTIATE_TEST_SUITE_P(
    Values, ShowingTest,
    ::testing::Values(
        Shown{"Ordinary", -3000, 4000, 32000, 3000, 14000, 3200, "7000", "4000", "32000"},
        Shown{"OwnRateShownAsTheOutputs", 0, 0, 0, 0, 10000, 4410, "10000", "0", "44100"},
        Shown{"RateNotAMultipleOfTen", -10000, -10000, 11025, 10000, 0, 1102, "0", "-10000",
              "11025"},
        Shown{"HighestRate", -1, 10000, 100000, 1, 20000, 10000, "9999", "10000", "100000"},
        Shown{"OutsideTheRanges", 500, 12000, 50, 0, 20000, 10, "10500", "12000", "50"},
        Shown{"Extremes", kMin, kMax, kMin, 10000, 20000, 10, "-2147473648", "2147483647",
              "-2147483648"}));

TEST_F(SoundSetupTest, ShowsTheMeasureAndThePatternItEdits) {
    song.go_to_measure(2);
    open_on(0);
    EXPECT_EQ(text("EditMesure"), "2");
    EXPECT_EQ(text("EditNumPattern"), "5");
}

// Follows the music: the tick refreshes the dialog when a new pattern starts.
TEST_F(SoundSetupTest, FollowsTheMixOfEachNewMeasure) {
    store_mix(0, 6, -1000, 2000, 30000);
    store_mix(5, 6, -4000, -3000, 0);
    open_on(6);
    const Display first = display();

    song.next_measure();
    song.apply_mix();
    form.refresh();
    EXPECT_EQ(display(), (Display{4000, 7000, 4410, "6000", "-3000", "44100"}));
    EXPECT_EQ(text("EditMesure"), "2");
    EXPECT_EQ(text("EditNumPattern"), "5");
    EXPECT_EQ(song.pattern(5).frequency[6], 0);

    press("SpeedButtonBackPattern");
    EXPECT_EQ(display(), first);
    EXPECT_EQ(text("EditMesure"), "1");
    press("SpeedButtonForwardPattern");
    EXPECT_EQ(text("EditNumPattern"), "5");
    EXPECT_EQ(display().volume, 4000);
    EXPECT_EQ(host.marks, 0) << "moving through the song changes nothing";
}

// Editing with the sliders.

struct Move {
    const char* slider;
    int position;
    const char* call;
    int (matrice::*read)(int) const;
    int stored;
};

void PrintTo(const Move& m, std::ostream* out) {
    *out << m.slider;
}

class SliderMoveTest : public SoundSetupTest, public ::testing::WithParamInterface<Move> {};

TEST_P(SliderMoveTest, WritesTheSoundsMixAndMarksTheSongEvenWhilePlaying) {
    const Move& m = GetParam();
    open_on(3);
    host.running = true;
    log.calls.clear();
    slider(m.slider)->setValue(m.position);
    EXPECT_EQ((song.*m.read)(3), m.stored);
    EXPECT_THAT(log.calls, ElementsAre(m.call));
    EXPECT_EQ(host.marks, 1);
    EXPECT_EQ(slider(m.slider)->value(), m.position);
}

INSTANTIATE_TEST_SUITE_P(
    EachSlider, SliderMoveTest,
    ::testing::Values(Move{"TrackBarVol", 2500, "b4.SetVolume(-2500)", &matrice::get_volume, -2500},
                      Move{"TrackBarPan", 5000, "b4.SetPan(-5000)", &matrice::get_pan, -5000},
                      Move{"TrackBarPitch", 2205, "b4.SetFrequency(22050)", &matrice::get_frequency,
                           22050}));

TEST_F(SoundSetupTest, RefusedPanIsReportedAndTheStoredOneShownAgain) {
    store_mix(0, 3, 0, 2000, 0);
    open_on(3);
    log.refuse["SetPan"] = DSERR_INVALIDPARAM;
    slider("TrackBarPan")->setValue(3000);
    EXPECT_THAT(notifier.shown, ElementsAre("DSERR_INVALIDPARAM"));
    EXPECT_EQ(song.get_pan(3), 2000);
    EXPECT_EQ(slider("TrackBarPan")->value(), 12000);
    EXPECT_EQ(text("EditPan"), "2000");
}

// Presets.

struct Preset {
    const char* button;
    const char* slider;
    int position;
    const char* call;
    int (matrice::*read)(int) const;
    int stored;
};

void PrintTo(const Preset& p, std::ostream* out) {
    *out << p.button;
}

class PresetTest : public SoundSetupTest, public ::testing::WithParamInterface<Preset> {};

TEST_P(PresetTest, SetsItsValueEachTimeAndMarksTheSong) {
    const Preset& p = GetParam();
    store_mix(0, 3, -3000, 4000, 32000);
    open_on(3);
    log.calls.clear();
    auto* button = find<QRadioButton>(p.button);
    button->click();
    EXPECT_EQ((song.*p.read)(3), p.stored);
    EXPECT_EQ(slider(p.slider)->value(), p.position);
    EXPECT_FALSE(button->isChecked()) << "a preset never stays shown as chosen";
    EXPECT_EQ(host.marks, 1);

    // Again, with the slider already there.
    button->click();
    EXPECT_THAT(log.calls, ElementsAre(p.call, p.call));
    EXPECT_EQ(host.marks, 2);
}

INSTANTIATE_TEST_SUITE_P(
    EachPreset, PresetTest,
    ::testing::Values(
        Preset{"RadioButtonVolMax", "TrackBarVol", 0, "b4.SetVolume(0)", &matrice::get_volume, 0},
        Preset{"RadioButtonVolMid", "TrackBarVol", 5000, "b4.SetVolume(-5000)",
               &matrice::get_volume, -5000},
        Preset{"RadioButtonVolMin", "TrackBarVol", 10000, "b4.SetVolume(-10000)",
               &matrice::get_volume, -10000},
        Preset{"RadioButtonPanLeft", "TrackBarPan", 0, "b4.SetPan(-10000)", &matrice::get_pan,
               -10000},
        Preset{"RadioButtonPanCenter", "TrackBarPan", 10000, "b4.SetPan(0)", &matrice::get_pan, 0},
        Preset{"RadioButtonPanRight", "TrackBarPan", 20000, "b4.SetPan(10000)", &matrice::get_pan,
               10000},
        Preset{"RadioButtonPitchmax", "TrackBarPitch", 10, "b4.SetFrequency(100)",
               &matrice::get_frequency, 100},
        // The sample's own rate, shown as the output's.
        Preset{"RadioButtonPitchNorm", "TrackBarPitch", 4410, "b4.SetFrequency(0)",
               &matrice::get_frequency, 0},
        Preset{"RadioButtonPitchMin", "TrackBarPitch", 10000, "b4.SetFrequency(100000)",
               &matrice::get_frequency, 100000}));

// Choosing the sound.

struct ChannelStep {
    int from;
    const char* button;
    int to;
    const char* entry;
};

void PrintTo(const ChannelStep& c, std::ostream* out) {
    *out << c.from << c.button;
}

class ChannelStepTest : public SoundSetupTest, public ::testing::WithParamInterface<ChannelStep> {};

TEST_P(ChannelStepTest, MovesWithinTheListAndShowsThatSound) {
    const ChannelStep& c = GetParam();
    for (int k = 0; k < kSounds; ++k) {
        store_mix(0, k, -100 * k, 0, 0);
    }
    open_on(c.from);
    press(c.button);
    EXPECT_EQ(form.sound_index(), c.to);
    EXPECT_EQ(channels()->currentText(), c.entry);
    EXPECT_EQ(display().volume, 100 * c.to);
    EXPECT_EQ(host.marks, 0);
}

INSTANTIATE_TEST_SUITE_P(PlusAndMinus, ChannelStepTest,
                         ::testing::Values(ChannelStep{4, "ButtonChanelPlus", 5, "6"},
                                           ChannelStep{4, "ButtonChanelMoins", 3, "4"},
                                           ChannelStep{11, "ButtonChanelPlus", 11, "12"},
                                           ChannelStep{0, "ButtonChanelMoins", 0, "1"},
                                           ChannelStep{13, "ButtonChanelPlus", 0, "1"},
                                           ChannelStep{13, "ButtonChanelMoins", 11, "12"},
                                           ChannelStep{15, "ButtonChanelMoins", 11, "12"}));

TEST_F(SoundSetupTest, SoundsBeyondTheListShowNoEntry) {
    store_mix(0, 13, -1300, 1300, 13000);
    open_on(13);
    EXPECT_EQ(channels()->currentIndex(), -1);
    EXPECT_EQ(channels()->currentText(), "");
    EXPECT_EQ(display(), (Display{1300, 11300, 1300, "8700", "1300", "13000"}));
}

TEST_F(SoundSetupTest, ChoosingAnEntryShowsItsSound) {
    store_mix(0, 7, -700, 0, 0);
    open_on(13);
    channels()->setCurrentIndex(7);
    EXPECT_EQ(form.sound_index(), 7);
    EXPECT_EQ(display().volume, 700);
}

TEST_F(SoundSetupTest, SoundIndexStaysAmongTheSounds) {
    form.set_sound_index(9);
    form.set_sound_index(16);
    form.set_sound_index(-1);
    EXPECT_EQ(form.sound_index(), 9);
}

// Hearing the sound and giving it a file.

// Every value goes to the main window, which keeps the song; the values of
// one drag share a number, and so do none of two drags or of the keys.
TEST_F(SoundSetupTest, ValuesGoThroughTheWindowOneDragToAGesture) {
    open_on(3);
    QSlider* volume = slider("TrackBarVol");
    for (int drag = 0; drag < 2; ++drag) {
        volume->setSliderDown(true);
        volume->setValue(1000 + drag * 1000);
        volume->setValue(1500 + drag * 1000);
        volume->setSliderDown(false);
    }
    QTest::keyClick(slider("TrackBarPan"), Qt::Key_Right);
    find<QRadioButton>("RadioButtonPitchNorm")->click();
    ASSERT_EQ(host.gestures.size(), 6u);
    EXPECT_NE(host.gestures[0], 0);
    EXPECT_EQ(host.gestures[0], host.gestures[1]);
    EXPECT_EQ(host.gestures[2], host.gestures[3]);
    EXPECT_NE(host.gestures[1], host.gestures[2]);
    EXPECT_EQ(host.gestures[4], 0);
    EXPECT_EQ(host.gestures[5], 0);
    EXPECT_EQ(song.get_volume(3), -2500);
}

TEST_F(SoundSetupTest, TestButtonPlaysTheSoundAndAFailureIsShown) {
    open_on(13);
    log.calls.clear();
    press("ButtonTestSound");
    EXPECT_THAT(log.calls, ElementsAre("b14.Stop", "b14.Play(0,0,0)"));
    log.refuse["Play"] = DSERR_INVALIDCALL;
    press("ButtonTestSound");
    EXPECT_THAT(notifier.shown, ElementsAre("Erreur sur Play"));
}

TEST_F(SoundSetupTest, ChosenFileBecomesTheSoundsSample) {
    store_mix(0, 3, -3000, 0, 0);
    open_on(3);
    host.chosen = dir.write("kick.wav", simple_wav(ramp(6)));
    press("ButtonFile");
    EXPECT_EQ(song.get_sample_file(3), *host.chosen);
    EXPECT_EQ(sound.channel(3).sample_bytes, 6u);
    EXPECT_EQ(host.marks, 1);
    EXPECT_THAT(notifier.shown, IsEmpty());
    EXPECT_EQ(display().volume, 3000);
}

TEST_F(SoundSetupTest, CancelledFileChoiceChangesNothing) {
    open_on(3);
    log.calls.clear();
    press("ButtonFile");
    EXPECT_EQ(song.get_sample_file(3), sample(3));
    EXPECT_EQ(host.marks, 0);
    EXPECT_THAT(log.calls, IsEmpty());
    EXPECT_THAT(notifier.shown, IsEmpty());
}

TEST_F(SoundSetupTest, AFileTheSoundDoesNotTakeChangesNothing) {
    open_on(3);
    host.chosen = dir.write_text("notes.wav", "not a sample");
    log.calls.clear();
    press("ButtonFile");
    EXPECT_EQ(song.get_sample_file(3), sample(3));
    EXPECT_EQ(host.marks, 0);
    press("ButtonTestSound");
    EXPECT_THAT(log.calls, ElementsAre("b4.Stop", "b4.Play(0,0,0)"));
}

// Typing a value.

struct Typed {
    const char* box;
    const char* text;
    int (matrice::*read)(int) const;
    int stored;
};

void PrintTo(const Typed& t, std::ostream* out) {
    *out << t.box << " " << t.text;
}

class TypingTest : public SoundSetupTest, public ::testing::WithParamInterface<Typed> {};

// Enter takes what was typed through the slider, within its range.
TEST_P(TypingTest, EnterSetsTheValueTypedAsTheSliderWould) {
    const Typed& t = GetParam();
    store_mix(0, 3, -3000, 4000, 32000);
    open_on(3);
    auto* box = find<QLineEdit>(t.box);
    box->setText(t.text);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ((song.*t.read)(3), t.stored);
    EXPECT_EQ(host.marks, 1);
    EXPECT_EQ(display(),
              (Display{-song.get_volume(3), song.get_pan(3) + 10000, song.get_frequency(3) / 10,
                       QString::number(song.get_volume(3) + 10000),
                       QString::number(song.get_pan(3)), QString::number(song.get_frequency(3))}));
}

INSTANTIATE_TEST_SUITE_P(
    EachBox, TypingTest,
    ::testing::Values(Typed{"EditVol", "2500", &matrice::get_volume, -7500},
                      Typed{"EditVol", "12000", &matrice::get_volume, 0},
                      Typed{"EditVol", "-5", &matrice::get_volume, -10000},
                      Typed{"EditPan", "-2500", &matrice::get_pan, -2500},
                      Typed{"EditPan", "30000", &matrice::get_pan, 10000},
                      Typed{"EditPitch", "11025", &matrice::get_frequency, 11020},
                      Typed{"EditPitch", "999999", &matrice::get_frequency, 100000},
                      Typed{"EditPitch", "5", &matrice::get_frequency, 100}));

TEST_F(SoundSetupTest, AnythingButANumberAndEnterShowsTheValueAgain) {
    store_mix(0, 3, -3000, 4000, 32000);
    open_on(3);
    const Display before = display();
    auto* box = find<QLineEdit>("EditVol");
    box->setText("");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(display(), before) << "nothing typed";
    box->setText("7000");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(display(), before) << "the value it holds";
    box->setText("123");
    box->editingFinished();
    EXPECT_EQ(display(), before) << "left without Enter";
    EXPECT_EQ(song.get_volume(3), -3000);
    EXPECT_EQ(host.marks, 0);
    EXPECT_TRUE(find<QLineEdit>("EditNumPattern")->isReadOnly());
    EXPECT_TRUE(find<QLineEdit>("EditMesure")->isReadOnly());
}

// Look.

TEST_F(SoundSetupTest, TheTitleNamesTheSoundAndItsFile) {
    dir.write("kits/snare 2.wav", simple_wav(ramp(6)));
    song.set_sample_file(2, (dir.path() / "kits/snare 2.wav").string());
    open_on(2);
    EXPECT_EQ(form.windowTitle(), "Sound Setup - S3 (snare 2.wav)");
    form.set_caption("Réglages du son");
    EXPECT_EQ(form.caption(), "Réglages du son");
    EXPECT_EQ(form.windowTitle(), "Réglages du son - S3 (snare 2.wav)");
    press("ButtonChanelPlus");
    EXPECT_EQ(form.windowTitle(), "Réglages du son - S4 (s3.wav)");
}

TEST_F(SoundSetupTest, ALongCaptionWidensTheWindowAroundItsControls) {
    const int narrow = form.width();
    form.set_caption("Réglages du son de cet instrument, pattern par pattern");
    EXPECT_GT(form.width(), narrow);
    const QWidget* controls = find<QWidget>("form");
    EXPECT_NEAR(controls->geometry().center().x(), form.width() / 2, 1);
}

TEST_F(SoundSetupTest, ThePitchSliderDrawsItsTicks) {
    EXPECT_NE(slider("TrackBarPitch")->tickPosition(), QSlider::NoTicks);
    EXPECT_EQ(slider("TrackBarPitch")->tickInterval(), 5);
}

// Closing.

TEST_F(SoundSetupTest, ClosingWhileStoppedMarksTheSongAndWhilePlayingLeavesIt) {
    open_on(3);
    form.show();
    host.running = true;
    press("ButtonClose");
    EXPECT_EQ(host.marks, 0);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);

    form.show();
    host.running = false;
    press("ButtonClose");
    EXPECT_EQ(host.marks, 1);
    EXPECT_FALSE(form.isVisible());
}

// Look.

TEST_F(SoundSetupTest, ControlsLieInsideTheWindowWithoutOverlapping) {
    const QWidget* controls_form = find<QWidget>("form");
    const QRect window(QPoint(0, 0), controls_form->size());
    EXPECT_EQ(controls_form->size(), QSize(199, 386)) << "at 96 dpi";
    EXPECT_EQ(form.height(), 386);
    EXPECT_TRUE(QRect(QPoint(0, 0), form.size()).contains(controls_form->geometry()));
    const QList<QWidget*> controls =
        controls_form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        EXPECT_TRUE(window.contains(controls[i]->geometry()))
            << controls[i]->objectName().toStdString();
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << controls[i]->objectName().toStdString() << " and "
                << controls[j]->objectName().toStdString();
        }
    }
}

} // namespace
} // namespace qx375::test
