#include "ui_rig.h"

#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <functional>

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

// What the live program is given: the real mixer on the null clock, and
// scripted prompts.
struct LiveScratch {
    TempDir dir;
    CurrentDir here{dir.path()};
    AudioOutput output{AudioBackendKind::null_clock};
    RecordingNotifier notifier;
    ScriptedPrompts prompts{notifier};
};

// The whole way: the real mixer on the null clock, the window's timer, the
// recorder and libsndfile reading the file back.
struct LiveRig : LiveScratch, Program {
    // `prepare` runs in the program directory before the program starts.
    explicit LiveRig(const std::function<void(LiveRig&)>& prepare = {}) : Program(output, prompts) {
        QImage(8, 8, QImage::Format_RGB32).save("go2.bmp");
        QImage(8, 8, QImage::Format_RGB32).save("stop2.bmp");
        Bytes click; // 16 stereo frames at half scale
        for (int i = 0; i < 32; ++i) {
            click.insert(click.end(), {0x00, 0x40});
        }
        dir.write("click.wav", simple_wav(click));
        if (prepare) {
            prepare(*this);
        }
        window.FormActivate();
        song.set_sample_file(2, "click.wav");
        notifier.shown.clear();
    }

    void export_song(const std::string& name) {
        prompts.files.push_back(name);
        window.Export1Click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window.exporting; }, 10000));
        ASSERT_TRUE(notifier.shown.empty()) << notifier.shown.front();
    }
};

// The first frame of every click, from the start of a file.
std::vector<long> onsets_in(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path;
    std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    std::vector<long> onsets;
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        if (samples[2 * i] != 0 && (i == 0 || samples[2 * i - 2] == 0)) {
            onsets.push_back(static_cast<long>(i));
        }
    }
    return onsets;
}

// A live run whose GUI thread the machine held up beyond what the look-ahead
// absorbs moves the grid, as it should, and proves nothing about where hits
// land: `check` runs on the first of three runs that kept its ticks in time.
void on_a_run_in_time(const std::function<void(LiveRig&)>& prepare,
                      const std::function<void(LiveRig&)>& run,
                      const std::function<void(LiveRig&)>& check) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        LiveRig rig(prepare);
        run(rig);
        if (rig.window.timer().lateness().worst() <= SequencerTimer::kTickLateness) {
            check(rig);
            return;
        }
    }
    GTEST_SKIP() << "the machine held up every run's ticks beyond the look-ahead";
}

TEST(ExportLive, TheFileHoldsTheSongFromItsFirstStepToItsEndWithEveryHitOnTheGrid) {
    double step = 0;
    on_a_run_in_time(
        {},
        [&](LiveRig& rig) {
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
            step = rig.window.timer().interval() * 44.1;
            ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.window.exporting; }, 5000));
            ASSERT_TRUE(rig.notifier.shown.empty()) << rig.notifier.shown.front();
        },
        [&](LiveRig&) {
            SF_INFO info{};
            SNDFILE* file = sf_open("song.WAV", SFM_READ, &info);
            ASSERT_NE(file, nullptr);
            sf_close(file);
            EXPECT_EQ(info.channels, 2);
            EXPECT_NEAR(static_cast<double>(info.frames), 32 * step, step) << "32 steps";
            const std::vector<long> onsets = onsets_in("song.WAV");
            ASSERT_EQ(onsets.size(), 32u);
            for (std::size_t k = 0; k < onsets.size(); ++k) {
                EXPECT_NEAR(onsets[k], static_cast<double>(k) * step, 1.0) << "hit " << k;
            }
        });
}

// The renderer runs the same window on its own clock: a song rendered
// offline has its hits where the live export has them, across patterns of
// two sizes and both interval rules.
TEST(ExportLive, TheRendererPlacesEveryHitWhereTheLiveExportHasIt) {
    const auto prepare = [](LiveRig& r) {
        r.song.set_sample_file(2, "click.wav");
        r.song.song[1] = r.song.song[3] = 1;
        r.song.song[2] = 2;
        r.song.song[4] = kEndMarker;
        r.song.patterns[1].size = 16;
        r.song.patterns[1].steps[2].fill(1);
        r.song.patterns[2].size = 24;
        for (int s = 0; s < 24; s += 2) {
            r.song.patterns[2].steps[2][static_cast<std::size_t>(s)] = 1;
        }
        r.song.save_drm("song.drm");
        r.dir.write_text("qx375.ini", "[setup]\nPatternMode=1\nSpeed=40\n"
                                      "autoload_0=song.drm\n[main]\nfirstuse=0\n");
    };
    on_a_run_in_time(
        prepare, [](LiveRig& rig) { rig.export_song("live"); },
        [](LiveRig&) {
            const std::string command = std::string("\"") + QX375_RENDER_PATH +
                                        "\" --no-tail song.drm offline.wav 2>/dev/null";
            ASSERT_EQ(std::system(command.c_str()), 0);
            const std::vector<long> live = onsets_in("live.WAV");
            const std::vector<long> offline = onsets_in("offline.wav");
            ASSERT_EQ(live.size(), 16u + 12u + 16u);
            ASSERT_EQ(offline.size(), live.size());
            for (std::size_t k = 0; k < live.size(); ++k) {
                EXPECT_NEAR(offline[k], live[k], 1) << "hit " << k;
            }
        });
}

} // namespace
} // namespace qx375::test
