#include "ui_rig.h"

#include <QContextMenuEvent>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;

class InstrumentsTest : public ::testing::Test, public UiRig {};

TEST_F(InstrumentsTest, ASampleChosenForARowPlaysThatRowsSound) {
    dir.write("new.wav", simple_wav(ramp(16)));
    window.modified = false;
    prompts.files.push_back(std::nullopt);
    press("ButtonF13");
    EXPECT_EQ(song.get_sample_file(12), sample(12)) << "cancelled";
    EXPECT_FALSE(window.modified);
    EXPECT_EQ(prompts.file_dialogs.back().initial_name, sample(12));

    prompts.files.push_back("new.wav");
    press("ButtonF13");
    EXPECT_EQ(song.get_sample_file(12), "new.wav");
    EXPECT_TRUE(window.modified);
    log.calls.clear();
    press("SpeedButton13");
    EXPECT_THAT(played(), ElementsAre("b17"));
}

// A file nobody could hear never replaces the sound the user hears.
TEST_F(InstrumentsTest, AFileThatIsNoPlayableWaveChangesNothing) {
    dir.write_text("notes.txt", "not a sound");
    for (const char* name : {"notes.txt", "missing.wav"}) {
        window.modified = false;
        prompts.files.push_back(name);
        press("ButtonF5");
        EXPECT_EQ(song.get_sample_file(4), sample(4)) << name;
        EXPECT_FALSE(window.modified) << name;
        ASSERT_FALSE(notifier.shown.empty());
        EXPECT_THAT(notifier.shown.back(), ::testing::HasSubstr(name));
    }
    EXPECT_THAT(notifier.shown,
                ElementsAre("Cannot use the sound file\nnotes.txt: it is not a WAV file",
                            "Cannot use the sound file\nmissing.wav: there is no such file"));
    EXPECT_EQ(prompts.file_dialogs.back().title, "Choose a wave file");
    log.calls.clear();
    press("SpeedButton5");
    EXPECT_THAT(played(), ElementsAre("b5")) << "the old sound still plays";
}

// A song keeps names of up to 255 bytes: a longer one is refused, and the
// user is told so, not that the file cannot be read.
TEST_F(InstrumentsTest, ANameLongerThanASongKeepsIsRefusedAsSuch) {
    const std::string name = (dir.path() / std::string(250, 'n')).string() + ".wav";
    prompts.files.push_back(name);
    press("ButtonF5");
    EXPECT_THAT(notifier.shown, ElementsAre("Cannot use the sound file\n" + name +
                                            ": a song can only keep names of up to 255 bytes"));
    EXPECT_EQ(song.get_sample_file(4), sample(4));
}

TEST_F(InstrumentsTest, ASetupButtonOpensTheSoundSetupOnItsSound) {
    press("MixButton4");
    EXPECT_THAT(prompts.shown_dialogs, ElementsAre("FormSetup"));
    EXPECT_EQ(setup.sound_index(), 3);
}

TEST_F(InstrumentsTest, TheVolumeSliderIsTheOutputsLevelTopIsLoud) {
    output.set_volume(20000u << 16 | 40000u);
    window.FormActivate();
    EXPECT_EQ(slider("TrackBarVolume")->value(), 25535);
    EXPECT_EQ(output.volume(), 40000u << 16 | 40000u) << "the right side follows the left";
    slider("TrackBarVolume")->setValue(65535);
    EXPECT_EQ(output.volume(), 0u);
}

TEST_F(InstrumentsTest, OnlyTheFirstSampleButtonAnswersARightClick) {
    for (const char* name : {"ButtonF1", "ButtonF2"}) {
        auto* button = find<QPushButton>(name);
        emit button->customContextMenuRequested({1, 1});
    }
    EXPECT_THAT(notifier.shown, ElementsAre("pas maintenant ;-)"));
}

} // namespace
} // namespace qx375::test
