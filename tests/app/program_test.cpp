#include "app/program.h"
#include "scripted_prompts.h"
#include "support/wav_builder.h"

#include <QAbstractButton>
#include <QAction>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <vector>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;

// The program over an output of another rate than the usual one, in a
// scratch program directory.
class ProgramTest : public ::testing::Test {
protected:
    TempDir dir;
    CurrentDir here{dir.path()};
    AudioOutput output{AudioBackendKind::manual, AudioOutput::kBlockFrames, 48000};
    RecordingNotifier notifier;
    ScriptedPrompts prompts{notifier};
    Program program{output, prompts};
};

TEST_F(ProgramTest, ItsSoundsPlayThroughTheOutputAndTheRecorderKeepsTheMixAtTheOutputsRate) {
    Bytes click; // 32 stereo frames at half scale
    for (int i = 0; i < 64; ++i) {
        click.insert(click.end(), {0x00, 0x40});
    }
    dir.write("click.wav", simple_wav(click));
    program.song.open_sound(0);
    program.song.set_sample_file(2, "click.wav");
    ASSERT_TRUE(program.sound.channel(2).loaded);

    ASSERT_TRUE(program.recorder.open("mix.wav").ok());
    ASSERT_TRUE(program.recorder.record().ok());
    program.song.play_sound(2);
    std::vector<float> block(2 * AudioOutput::kBlockFrames);
    for (int i = 0; i < 4; ++i) {
        output.pull(block);
    }
    ASSERT_TRUE(program.recorder.save().ok());

    SF_INFO info{};
    SNDFILE* file = sf_open("mix.wav", SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.frames, 4 * AudioOutput::kBlockFrames);
    EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), [](short s) { return s != 0; }))
        << "the click is in the mix";
}

// The window's commands open the dialogs the program built, the language
// choice first, at the first start.
TEST_F(ProgramTest, TheWindowShowsTheProgramsOwnDialogs) {
    std::vector<QDialog*> shown;
    prompts.on_exec = [&](QDialog& dialog) {
        shown.push_back(&dialog);
        return QDialog::Rejected;
    };
    program.window.FormActivate();
    program.window.findChild<QAction*>("Apropos1")->trigger();
    program.window.findChild<QAbstractButton*>("MixButton4")->click();
    EXPECT_THAT(shown, ElementsAre(static_cast<QDialog*>(&program.langues),
                                   static_cast<QDialog*>(&program.about),
                                   static_cast<QDialog*>(&program.setup)));
}

} // namespace
} // namespace qx375::test
