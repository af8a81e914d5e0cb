#include "app/midi_learn.h"
#include "support/fake_card.h"
#include "ui_rig.h"
#include "util/ini_file.h"

#include <QAction>
#include <QTest>
#include <QWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

using ::testing::HasSubstr;

qx375::MidiEvent note_on(std::uint8_t note, std::uint8_t velocity = 100) {
    return {0, {0x99, note, velocity}, 3};
}

struct LearnRig {
    CardShop shop;
    AudioOutput output{card_opener(shop)};
    Texts texts;
    std::vector<std::string> saved; // sound 5's notes, at each save
    std::string said = "?";         // what learning last told the user
    MidiLearn learn{output, [this](const QString& text) { said = text.toStdString(); }, texts,
                    [this](const MidiLearn& l) { saved.push_back(l.map().notes_text(5)); }};
};

TEST(MidiLearn, TheLastNotePlayedGoesToTheSoundWhoseButtonIsClicked) {
    LearnRig rig;
    EXPECT_FALSE(rig.learn.sound_chosen(5)) << "not learning: the button plays its sound";
    rig.shop.current->midi_in.push_back(note_on(60)); // before the user asked
    rig.learn.start();
    EXPECT_EQ(rig.said, rig.texts[Msg::learn_note]);
    rig.shop.current->midi_in.push_back(note_on(61));
    rig.shop.current->midi_in.push_back({0, {0x89, 61, 0}, 3});
    rig.shop.current->midi_in.push_back(note_on(62));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.said.find("62") != std::string::npos; }));
    EXPECT_EQ(rig.said, rig.texts.with(Msg::learn_sound, "62"));

    EXPECT_TRUE(rig.learn.sound_chosen(5));
    EXPECT_EQ(rig.said, "") << "done, it has nothing more to say";
    EXPECT_FALSE(rig.learn.learning());
    EXPECT_THAT(rig.saved, ::testing::ElementsAre("62"));
    EXPECT_EQ(rig.learn.map().sound_of(62), 5);
    EXPECT_EQ(rig.learn.map().sound_of(47), -1) << "the pad is that note alone now";
    rig.shop.current->play(std::chrono::steady_clock::now());
    EXPECT_EQ(rig.output.mixer().sound_of_note(62), 5) << "the output plays by the new map";
}

TEST(MidiLearn, TheMapIsReadFromItsKeysAndBadKeysKeepTheDefault) {
    const std::string path = ::testing::TempDir() + "midi_learn.ini";
    {
        IniFile ini(path);
        ini.write("midi", "sound2", "60, 61");
        ini.write("midi", "sound3", "36 x");
        ini.write("midi", "sound4", "400");
        ASSERT_TRUE(ini.save());
    }
    LearnRig rig;
    rig.learn.read(IniFile(path));
    EXPECT_EQ(rig.learn.map().notes_text(2), "60 61");
    EXPECT_EQ(rig.learn.map().notes_text(3), "36 35");
    EXPECT_EQ(rig.learn.map().notes_text(4), "50 48");
    IniFile written(path);
    rig.learn.write(written);
    EXPECT_EQ(written.read_string("midi", "sound3", ""), "36 35");
    LearnRig again;
    again.learn.read(written);
    EXPECT_EQ(again.learn.map(), rig.learn.map());
}

TEST(MidiLearn, TheSpecialMenuShowsTheOutputAndLearnsThroughTheWindow) {
    UiRig rig;
    auto* output = rig.find<QAction>("SoundOutput1");
    auto* learn = rig.find<QAction>("MidiLearn1");
    output->trigger();
    ASSERT_FALSE(rig.notifier.shown.empty());
    EXPECT_THAT(rig.notifier.shown.back(), HasSubstr("Sound output: none, playing silently"));
    EXPECT_THAT(rig.notifier.shown.back(), HasSubstr("44100 Hz"));
    EXPECT_THAT(rig.notifier.shown.back(), HasSubstr("No MIDI"));
    const QString title = rig.window.windowTitle();
    learn->trigger();
    EXPECT_TRUE(learn->isChecked());
    EXPECT_NE(rig.window.windowTitle(), title);
    learn->trigger();
    EXPECT_FALSE(learn->isChecked());
    EXPECT_EQ(rig.window.windowTitle(), title) << "unchecked, it gives up";
}

} // namespace
} // namespace qx375::test
