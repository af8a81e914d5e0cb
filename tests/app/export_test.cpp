#include "ui_rig.h"

#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;

class ExportTest : public ::testing::Test, public UiRig {
protected:
    QToolButton* button() const { return find<QToolButton>("SpeedButtonExport"); }
    void start(const std::string& chosen) {
        prompts.files.push_back(chosen);
        press("SpeedButtonExport");
    }
};

TEST_F(ExportTest, AWaveNameEndsInDotWavOfEitherCase) {
    const std::pair<const char*, const char*> names[] = {{"mix", "mix.WAV"},
                                                         {"mix.wav", "mix.wav"},
                                                         {"mix.WAV", "mix.WAV"},
                                                         {"mix.Wav", "mix.Wav.WAV"},
                                                         {"wav", "wav.WAV"}};
    for (const auto& [chosen, saved] : names) {
        start(chosen);
        EXPECT_EQ(recorder.file_name(), saved);
        window.exporting = false;
    }
    EXPECT_EQ(prompts.file_dialogs[0].initial_name, "untitled");
    EXPECT_EQ(prompts.file_dialogs[1].initial_name, "mix.WAV") << "the dialog keeps its name";
}

// Only Yes overwrites; No also forgets the name, as the dialog always did.
TEST_F(ExportTest, AnExistingFileIsReplacedOnlyOnYes) {
    dir.write_text("take.wav", "old");
    for (Answer answer : {Answer::cancel, Answer::no}) {
        prompts.answers.push_back(answer);
        start("take.wav");
        EXPECT_FALSE(window.exporting);
    }
    EXPECT_EQ(prompts.file_dialogs.back().initial_name, "take.wav") << "kept after Cancel";
    prompts.answers.push_back(Answer::yes);
    start("take.wav");
    EXPECT_EQ(prompts.file_dialogs.back().initial_name, "") << "forgotten after No";
    EXPECT_TRUE(window.exporting);
    EXPECT_EQ(prompts.asked.size(), 3u);
    EXPECT_EQ(prompts.asked.front(), "replace existing file ?");
}

TEST_F(ExportTest, WhileItRecordsTheButtonStaysDownAndASecondExportIsRefused) {
    check("CheckBoxLoop")->setChecked(true);
    start("take");
    EXPECT_TRUE(button()->isChecked());
    EXPECT_FALSE(check("CheckBoxLoop")->isChecked());
    EXPECT_TRUE(check("CheckBoxBeat")->isChecked());
    EXPECT_TRUE(recorder.recording());
    press("SpeedButtonExport");
    EXPECT_THAT(notifier.shown, ElementsAre(::testing::HasSubstr("recording already")));
    EXPECT_TRUE(button()->isChecked());

    // Stopped by hand, in pattern mode, where the song never ends by itself.
    check("CheckBoxBeat")->setChecked(false);
    EXPECT_FALSE(window.exporting);
    EXPECT_FALSE(button()->isChecked());
    EXPECT_TRUE(check("CheckBoxLoop")->isChecked());
    EXPECT_TRUE(std::filesystem::exists("take.WAV"));
}

TEST_F(ExportTest, ARecorderThatCannotOpenRestoresEverythingAtOnce) {
    const std::string kept = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", (dir.path() / "missing").c_str(), 1);
    check("CheckBoxLoop")->setChecked(true);
    start("take");
    kept.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", kept.c_str(), 1);
    EXPECT_FALSE(window.exporting);
    EXPECT_TRUE(check("CheckBoxLoop")->isChecked());
    EXPECT_FALSE(check("CheckBoxBeat")->isChecked());
    EXPECT_THAT(notifier.shown, ElementsAre(::testing::HasSubstr("temporary")));
}

// The whole way: the real mixer on the null clock, the window's timer, the
// recorder and libsndfile reading the file back.
struct LiveRig {
    TempDir dir;
    CurrentDir here{dir.path()};
    AudioOutput output{AudioBackendKind::null_clock};
    RecordingNotifier notifier;
    ScriptedPrompts prompts{notifier};
    DirectSound sound{output, prompts};
    matrice song{sound, prompts};
    WaveRecorder recorder{output.capture(), AudioOutput::kRate};
    Tmain window{song, sound, output, recorder, prompts};
    TFormSetup setup{song, sound, prompts, window.setup_host(), &window};
    TAboutBox about{&window};
    TFormLangues langues{window.langues_host(), prompts, &window};

    LiveRig() {
        window.attach(about, setup, langues);
        QImage(8, 8, QImage::Format_RGB32).save("go2.bmp");
        QImage(8, 8, QImage::Format_RGB32).save("stop2.bmp");
        Bytes click; // 16 stereo frames at half scale
        for (int i = 0; i < 32; ++i) {
            click.insert(click.end(), {0x00, 0x40});
        }
        dir.write("click.wav", simple_wav(click));
        window.FormActivate();
        song.set_sample_file(2, "click.wav");
    }
};

TEST(ExportLive, TheFileHoldsTheSongFromItsFirstStepToItsEndWithEveryHitOnTheGrid) {
    LiveRig rig;
    rig.notifier.shown.clear();
    for (int m : {1, 2}) {
        rig.song.song[m] = 1;
    }
    rig.song.song[3] = kEndMarker;
    rig.song.patterns[1].size = 16;
    rig.song.patterns[1].steps[2].fill(1);
    rig.window.findChild<QSlider*>("TrackBarBPM")->setValue(40);
    rig.window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
    rig.prompts.files.push_back("song");
    rig.window.Export1Click();
    const double step = rig.window.timer().interval() * 44.1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.window.exporting; }, 5000));
    ASSERT_TRUE(rig.notifier.shown.empty()) << rig.notifier.shown.front();

    SF_INFO info{};
    SNDFILE* file = sf_open("song.WAV", SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(static_cast<double>(info.frames), 32 * step, step) << "32 steps";
    std::vector<long> onsets;
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        if (samples[2 * i] != 0 && (i == 0 || samples[2 * i - 2] == 0)) {
            onsets.push_back(static_cast<long>(i));
        }
    }
    ASSERT_EQ(onsets.size(), 32u);
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        EXPECT_NEAR(onsets[k], static_cast<double>(k) * step, 1.0) << "hit " << k;
    }
}

} // namespace
} // namespace qx375::test
