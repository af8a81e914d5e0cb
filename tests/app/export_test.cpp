#include "support/smf_reader.h"
#include "ui_rig.h"

#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

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
        recorder.discard();
        window.exporting = false;
    }
    EXPECT_EQ(prompts.file_dialogs[0].initial_name, "untitled");
    EXPECT_EQ(prompts.file_dialogs[1].initial_name, "mix.WAV") << "the dialog keeps its name";
    EXPECT_EQ(prompts.file_dialogs[0].title, "Export the song to a wave file");
}

// A song with a name is exported beside it under that name, until the user
// chose another for it.
TEST_F(ExportTest, TheDialogProposesTheSongsNameInItsFolder) {
    const std::string folder = (dir.path() / "songs").string();
    std::filesystem::create_directory(folder);
    song.save_drm(folder + "/groove.drm");
    prompts.files.push_back(folder + "/groove.drm");
    window.OuvrirClick();
    start(folder + "/take one.wav");
    recorder.discard();
    window.exporting = false;
    start(folder + "/again.wav");
    recorder.discard();
    window.exporting = false;
    EXPECT_EQ(prompts.file_dialogs[1].initial_name, "groove.wav");
    EXPECT_EQ(prompts.file_dialogs[1].folder, folder);
    EXPECT_EQ(prompts.file_dialogs[2].initial_name, folder + "/take one.wav");
}

// Only Yes goes on to overwrite; No also forgets the name, as the dialog
// always did. Nothing is touched until then.
TEST_F(ExportTest, AnExistingFileIsReplacedOnlyOnYes) {
    dir.write_text("take.wav", "old");
    for (Answer answer : {Answer::cancel, Answer::no}) {
        prompts.answers.push_back(answer);
        start("take.wav");
        EXPECT_FALSE(window.exporting);
        EXPECT_FALSE(recorder.is_open());
    }
    EXPECT_EQ(prompts.file_dialogs.back().initial_name, "take.wav") << "kept after Cancel";
    prompts.answers.push_back(Answer::yes);
    start("take.wav");
    EXPECT_EQ(prompts.file_dialogs.back().initial_name, "") << "forgotten after No";
    EXPECT_TRUE(window.exporting);
    EXPECT_EQ(prompts.asked.size(), 3u);
    EXPECT_EQ(prompts.asked.front(), "replace existing file ?");
    std::ifstream in("take.wav");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old") << "until the take ends";
}

// A folder that cannot take the file is found before anything plays.
TEST_F(ExportTest, ATargetThatCannotBeWrittenIsToldBeforeAnythingPlays) {
    check("CheckBoxLoop")->setChecked(true);
    const std::string target = (dir.path() / "missing" / "take.wav").string();
    start(target);
    EXPECT_FALSE(window.exporting);
    EXPECT_TRUE(check("CheckBoxLoop")->isChecked());
    EXPECT_FALSE(check("CheckBoxBeat")->isChecked());
    EXPECT_FALSE(button()->isChecked());
    EXPECT_THAT(notifier.shown, ElementsAre("The song cannot be exported.\n" + target +
                                            ": its folder does not exist"));
    start("take.wav");
    EXPECT_TRUE(window.exporting) << "a later export is not refused";
}

// The program on a virtual clock: nothing plays by itself. Blocks of the
// output are rendered as fast as the recorder takes them, the ticks due run
// between them, and so do the window's own events: every run comes out the
// same, however loaded the machine.
struct VirtualScratch {
    TempDir dir;
    CurrentDir here{dir.path()};
    AudioOutput output{AudioBackendKind::manual};
    RecordingNotifier notifier;
    ScriptedPrompts prompts{notifier};
};

struct VirtualRig : VirtualScratch, Program {
    static constexpr std::uint64_t kBlock = AudioOutput::kBlockFrames;

    // `prepare` runs in the program directory before the program starts.
    explicit VirtualRig(const std::function<void(VirtualRig&)>& prepare = {})
        : Program(output, prompts) {
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
        // The time is always that of the last block rendered: the output
        // stands exactly where its clock says.
        window.timer().run_offline([this] {
            const ClockReading reading = output.clock().read();
            return reading.time == std::chrono::steady_clock::time_point{}
                       ? std::chrono::steady_clock::now()
                       : reading.time;
        });
        window.FormActivate();
        song.set_sample_file(2, "click.wav");
        notifier.shown.clear();
    }

    // Renders until `done`, at most a minute of sound. The take is written
    // away from the window's thread, in real time: a minute of silence may
    // render before it is, so its end is waited for as it comes.
    void run_until(const std::function<bool()>& done) {
        std::vector<float> block(2 * kBlock);
        SequencerTimer& timer = window.timer();
        for (std::uint64_t frames = 0; !done() && frames < 60 * output.rate(); frames += kBlock) {
            while (timer.isEnabled() && timer.due_frame() < output.mixer().frame() + kBlock) {
                timer.tick();
            }
            output.pull(block);
            keep_pace_with_the_recorder();
            QCoreApplication::processEvents();
        }
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && !timer.isEnabled() && std::chrono::steady_clock::now() < give_up) {
            output.pull(block);
            QTest::qWait(5);
        }
    }

    void export_song(const std::string& name) {
        prompts.files.push_back(name);
        window.Export1Click();
        run_until([&] { return !window.exporting; });
        ASSERT_FALSE(window.exporting);
    }

private:
    // The capture keeps seconds of sound for the recorder, which drains it
    // every few milliseconds of real time; the render waits for it rather
    // than overrun it.
    void keep_pace_with_the_recorder() {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            const CaptureTap& capture = output.capture();
            const std::uint64_t first =
                capture.started() ? capture.first_frame() : output.mixer().frame();
            if (!recorder.recording() ||
                first + recorder.recorded_frames() + output.rate() >= output.mixer().frame() ||
                std::chrono::steady_clock::now() > give_up) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
};

// Every sample of a stereo file, interleaved.
std::vector<short> samples_in(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path;
    std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

// The first frame of every click, from the start of a file.
std::vector<long> onsets_in(const std::string& path) {
    const std::vector<short> samples = samples_in(path);
    std::vector<long> onsets;
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        if (samples[2 * i] != 0 && (i == 0 || samples[2 * i - 2] == 0)) {
            onsets.push_back(static_cast<long>(i));
        }
    }
    return onsets;
}

// Two measures of pattern 1, sixteen steps of clicks, at the slowest tempo.
void two_measures(VirtualRig& rig) {
    for (int m : {1, 2}) {
        rig.song.set_song_entry(m, 1);
    }
    rig.song.set_song_entry(3, kEndMarker);
    rig.song.change_pattern(1, [&](pattern_record& p) {
        p.size = 16;
        p.steps[2].fill(1);
    });
    rig.window.findChild<QSlider*>("TrackBarBPM")->setValue(40);
    rig.window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
}

TEST(ExportVirtual, TheFileHoldsTheSongFromItsFirstStepToItsEndWithEveryHitOnTheGrid) {
    VirtualRig rig;
    two_measures(rig);
    rig.export_song("song");
    ASSERT_TRUE(rig.notifier.shown.empty()) << rig.notifier.shown.front();
    // Tick n sounds n intervals after the start of the run, to the frame
    // below; the file begins with the first.
    const auto tick = [&](std::uint64_t n) {
        return static_cast<long>(n * rig.window.timer().interval() * AudioOutput::kRate / 1000);
    };
    SF_INFO info{};
    SNDFILE* file = sf_open("song.WAV", SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    sf_close(file);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.frames, tick(32) + tick(1) - tick(1)) << "32 steps, to the frame";
    const std::vector<long> onsets = onsets_in("song.WAV");
    ASSERT_EQ(onsets.size(), 32u);
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        EXPECT_EQ(onsets[k], tick(k + 1) - tick(1)) << "hit " << k;
    }
    EXPECT_FALSE(rig.window.findChild<QToolButton*>("SpeedButtonExport")->isChecked());
}

// Stopped by hand, in pattern mode, where the song never ends by itself:
// the take ends with the last step played, and the loop box comes back.
TEST(ExportVirtual, StoppingByHandEndsTheTakeAndASecondExportIsRefusedMeanwhile) {
    VirtualRig rig;
    auto* loop = rig.window.findChild<QCheckBox*>("CheckBoxLoop");
    auto* beat = rig.window.findChild<QCheckBox*>("CheckBoxBeat");
    auto* export_button = rig.window.findChild<QToolButton*>("SpeedButtonExport");
    loop->setChecked(true);
    rig.prompts.files.push_back("take");
    export_button->click();
    EXPECT_TRUE(export_button->isChecked());
    EXPECT_FALSE(loop->isChecked());
    EXPECT_TRUE(beat->isChecked());
    EXPECT_TRUE(rig.recorder.recording());
    EXPECT_TRUE(std::filesystem::exists("take.WAV")) << "made before anything plays";
    export_button->click();
    EXPECT_THAT(rig.notifier.shown, ElementsAre(::testing::HasSubstr("recording already")));
    EXPECT_TRUE(export_button->isChecked());

    rig.run_until([&] { return rig.song.get_step() == 5; });
    beat->setChecked(false);
    EXPECT_TRUE(rig.window.exporting) << "the take is written away from the window's thread";
    rig.run_until([&] { return !rig.window.exporting; });
    EXPECT_FALSE(export_button->isChecked());
    EXPECT_TRUE(loop->isChecked());
    EXPECT_EQ(onsets_in("take.WAV").size(), 0u) << "pattern 0 holds no hit";
    SF_INFO info{};
    sf_close(sf_open("take.WAV", SFM_READ, &info));
    EXPECT_EQ(info.frames, static_cast<sf_count_t>(5 * rig.window.timer().interval() *
                                                   AudioOutput::kRate / 1000));
}

// The last frame of a file that is not silence, -1 for none.
long last_sound_in(const std::string& path) {
    const std::vector<short> samples = samples_in(path);
    for (long i = static_cast<long>(samples.size() / 2) - 1; i >= 0; --i) {
        if (samples[2 * static_cast<std::size_t>(i)] != 0) {
            return i;
        }
    }
    return -1;
}

// Chosen in the File menu, the take goes on after the last step until the
// last sound has rung out; by default it ends with the step, cutting it.
TEST(ExportVirtual, TheTailLetsTheLastSoundRingOutWhereTheDefaultCutsIt) {
    constexpr long kRing = 13230; // 0.3 s, beyond the last step's 45 ms
    for (const bool tail : {false, true}) {
        VirtualRig rig([](VirtualRig& r) {
            Bytes ring;
            for (long i = 0; i < kRing; ++i) {
                ring.insert(ring.end(), {0x00, 0x20, 0x00, 0x20});
            }
            r.dir.write("ring.wav", simple_wav(ring));
        });
        two_measures(rig);
        rig.song.set_sample_file(2, "ring.wav");
        rig.window.findChild<QAction*>("ExportTail1")->setChecked(tail);
        rig.export_song("take.wav");
        const auto tick = [&](std::uint64_t n) {
            return static_cast<long>(n * rig.window.timer().interval() * AudioOutput::kRate / 1000);
        };
        const long last_hit = tick(32) - tick(1);
        SF_INFO info{};
        sf_close(sf_open("take.wav", SFM_READ, &info));
        if (tail) {
            EXPECT_EQ(last_sound_in("take.wav"), last_hit + kRing - 1) << "rung out whole";
            // The take ends when the window's timer sees the last voice end,
            // and this rig renders seconds ahead of the window's timers on a
            // busy machine: the end is checked against the 30 s a tail may last.
            EXPECT_LT(info.frames, last_hit + kRing + 10 * AudioOutput::kRate)
                << "ended after the last voice, not at the longest tail";
        } else {
            EXPECT_EQ(info.frames, tick(32)) << "cut with the last step";
        }
    }
}

// The name's extension chooses the format: FLAC keeps every hit where the
// WAV file has it; a name of no format the export writes is still a WAV.
TEST(ExportVirtual, TheNamesExtensionChoosesFlacOrOggVorbis) {
    const struct {
        const char* chosen;
        const char* written;
        int format;
    } cases[] = {{"take.flac", "take.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                 {"take.OGG", "take.OGG", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                 {"take.mp3", "take.mp3.WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_16}};
    for (const auto& c : cases) {
        VirtualRig rig;
        two_measures(rig);
        rig.export_song(c.chosen);
        SF_INFO info{};
        sf_close(sf_open(c.written, SFM_READ, &info));
        EXPECT_EQ(info.format, c.format) << c.chosen;
        if (info.format == (SF_FORMAT_FLAC | SF_FORMAT_PCM_16)) {
            EXPECT_EQ(onsets_in(c.written).size(), 32u);
        }
    }
}

TEST(ExportVirtual, YesOverwritesTheOldFileAndNoKeepsIt) {
    for (Answer answer : {Answer::no, Answer::yes}) {
        VirtualRig rig;
        two_measures(rig);
        rig.dir.write_text("take.wav", "old");
        rig.prompts.answers.push_back(answer);
        rig.export_song("take.wav");
        std::ifstream in("take.wav", std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        if (answer == Answer::no) {
            EXPECT_EQ(bytes, "old");
        } else {
            EXPECT_EQ(bytes.substr(0, 4), "RIFF");
            EXPECT_EQ(onsets_in("take.wav").size(), 32u);
        }
    }
}

// The renderer runs the same window on its own clock: a song rendered
// offline has its hits where the export has them, across patterns of two
// sizes and both interval rules.
TEST(ExportVirtual, TheRendererPlacesEveryHitWhereTheExportHasIt) {
    VirtualRig rig([](VirtualRig& r) {
        r.song.set_sample_file(2, "click.wav");
        r.song.set_song_entry(1, 1);
        r.song.set_song_entry(3, 1);
        r.song.set_song_entry(2, 2);
        r.song.set_song_entry(4, kEndMarker);
        r.song.change_pattern(1, [&](pattern_record& p) {
            p.size = 16;
            p.steps[2].fill(1);
        });
        r.song.change_pattern(2, [&](pattern_record& p) { p.size = 24; });
        for (int s = 0; s < 24; s += 2) {
            r.song.change_pattern(
                2, [&](pattern_record& p) { p.steps[2][static_cast<std::size_t>(s)] = 1; });
        }
        (void)r.song.save_drm("song.drm");
        r.dir.write_text("qx375.ini", "[setup]\nPatternMode=1\nSpeed=40\n"
                                      "autoload_0=song.drm\n[main]\nfirstuse=0\n");
    });
    rig.export_song("live");
    ASSERT_TRUE(rig.notifier.shown.empty()) << rig.notifier.shown.front();
    const std::string command =
        std::string("\"") + QX375_RENDER_PATH + "\" --no-tail song.drm offline.wav 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<long> live = onsets_in("live.WAV");
    const std::vector<long> offline = onsets_in("offline.wav");
    ASSERT_EQ(live.size(), 16u + 12u + 16u);
    EXPECT_EQ(offline, live);
}

Bytes file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The window's MIDI file is the renderer's of the song as it stands, its
// unsaved changes included, and the window is left where it was.
TEST(ExportVirtual, TheMidiExportIsTheRenderersFileOfTheSongAsItStands) {
    VirtualRig rig([](VirtualRig& r) {
        r.song.set_sample_file(2, "click.wav");
        r.song.set_song_entry(1, 1);
        r.song.set_song_entry(2, 2);
        r.song.set_song_entry(3, kEndMarker);
        r.song.change_pattern(1, [&](pattern_record& p) {
            p.size = 16;
            p.steps[2].fill(1);
        });
        r.song.change_pattern(2, [&](pattern_record& p) {
            p.size = 24;
            p.steps[2][5] = 1;
        });
        (void)r.song.save_drm("song.drm");
        r.dir.write_text("qx375.ini", "[setup]\nPatternMode=1\nSpeed=90\n"
                                      "autoload_0=song.drm\n[main]\nfirstuse=0\n");
    });
    rig.song.change_pattern(2, [&](pattern_record& p) { p.steps[2][17] = 1; });
    rig.window.SpeedButtonForwardPatternClick();
    const QString measure = rig.window.findChild<QLineEdit*>("EditNumMesure")->text();
    const bool modified = rig.window.modified;

    rig.prompts.files.push_back("window");
    rig.window.ExportMidi1Click();
    ASSERT_TRUE(rig.notifier.shown.empty()) << rig.notifier.shown.front();
    EXPECT_EQ(rig.prompts.file_dialogs[0].title, "Export the song to a MIDI file");
    EXPECT_EQ(rig.prompts.file_dialogs[0].initial_name, "song.mid");
    EXPECT_EQ(rig.window.findChild<QLineEdit*>("EditNumMesure")->text(), measure);
    EXPECT_FALSE(rig.window.timer().isEnabled());
    EXPECT_EQ(rig.window.modified, modified);

    std::filesystem::create_directory("copy");
    std::ofstream("copy/song.drm", std::ios::binary) << rig.song.song_image();
    const std::string command =
        std::string("\"") + QX375_RENDER_PATH + "\" --speed " +
        std::to_string(rig.window.findChild<QSlider*>("TrackBarBPM")->value()) + " --rate " +
        std::to_string(rig.output.rate()) + " --midi offline.mid copy/song.drm 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes written = file_bytes("window.mid");
    EXPECT_EQ(written, file_bytes("offline.mid"));
    const test::Smf smf = test::read_smf(written);
    ASSERT_TRUE(smf.valid);
    ASSERT_EQ(smf.tracks.size(), 2u) << "the conductor and the one sound that plays";
    std::size_t notes = 0;
    for (const test::SmfEvent& e : smf.tracks[1].channel_messages()) {
        notes += e.status == 0x99 && e.data[1] > 0;
    }
    EXPECT_EQ(notes, 16u + 2u);
}

// Whatever the window plays, the file holds the song from its first measure:
// in pattern play, the song's patterns and not the one shown; a song that
// ends before its first measure is a file with no note at all.
TEST(ExportVirtual, TheMidiExportWritesTheSongWhateverIsPlayedAndAnEmptySongHasNoNote) {
    const auto notes_in = [](const std::string& file) {
        const test::Smf smf = test::read_smf(file_bytes(file));
        EXPECT_TRUE(smf.valid) << file;
        std::size_t notes = 0;
        for (const test::SmfTrack& track : smf.tracks) {
            for (const test::SmfEvent& e : track.channel_messages()) {
                notes += e.status == 0x99 && e.data[1] > 0;
            }
        }
        return notes;
    };
    VirtualRig rig;
    rig.song.change_pattern(1, [&](pattern_record& p) {
        p.size = 16;
        p.steps[2][0] = p.steps[2][8] = 1;
    });
    rig.song.change_pattern(7, [&](pattern_record& p) {
        p.size = 16;
        p.steps[2].fill(1);
    });
    rig.window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(0);
    rig.window.findChild<QLineEdit*>("EditNumPattern")->setText("7");
    rig.song.set_song_entry(1, 1);
    rig.song.set_song_entry(2, 1);
    rig.song.set_song_entry(3, kEndMarker);

    rig.prompts.files = {"song.mid", "empty.mid"};
    rig.window.ExportMidi1Click();
    EXPECT_EQ(notes_in("song.mid"), 2u * 2u) << "two measures of pattern 1";
    rig.song.set_song_entry(1, kEndMarker);
    rig.window.ExportMidi1Click();
    EXPECT_EQ(notes_in("empty.mid"), 0u);
    EXPECT_TRUE(rig.notifier.shown.empty()) << rig.notifier.shown.front();
    EXPECT_EQ(rig.window.findChild<QLineEdit*>("EditNumPattern")->text(), "7");
}

// A name without the extension gets ".mid"; a file there is replaced only
// on Yes; a folder that cannot take the file is told with its reason.
TEST(ExportVirtual, TheMidiExportNamesReplacesAndFailsAsTheExportDoes) {
    VirtualRig rig;
    rig.dir.write_text("kept.MIDI", "old");
    rig.prompts.files = {"groove", "kept.MIDI", "missing/take.mid"};
    rig.prompts.answers.push_back(Answer::no);
    for (int i = 0; i < 3; ++i) {
        rig.window.ExportMidi1Click();
    }
    EXPECT_TRUE(test::read_smf(file_bytes("groove.mid")).valid);
    EXPECT_EQ(rig.prompts.file_dialogs[0].initial_name, "untitled.mid");
    EXPECT_EQ(file_bytes("kept.MIDI"), Bytes({'o', 'l', 'd'}));
    EXPECT_THAT(rig.notifier.shown, ElementsAre("The song cannot be exported.\nmissing/take.mid: "
                                                "its folder does not exist"));
    EXPECT_FALSE(std::filesystem::exists("missing"));
}

// A take that lost sound is never written as if whole: here the output
// stops before it has mixed the last step, and the user keeps the take or
// lets it go.
TEST(ExportVirtual, ATakeThatLostSoundIsKeptOnlyIfTheUserSaysSo) {
    for (Answer answer : {Answer::no, Answer::yes}) {
        VirtualRig rig;
        two_measures(rig);
        rig.prompts.files.push_back("gaps.wav");
        rig.window.Export1Click();
        rig.run_until([&] { return rig.song.get_step() == 3; });
        rig.prompts.answers.push_back(answer);
        rig.window.findChild<QCheckBox*>("CheckBoxBeat")->setChecked(false);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.window.exporting; }, 5000));
        ASSERT_EQ(rig.prompts.asked.size(), 1u);
        EXPECT_THAT(rig.prompts.asked[0], ::testing::StartsWith("The export to gaps.wav lost "));
        EXPECT_EQ(std::filesystem::exists("gaps.wav"), answer == Answer::yes)
            << "the empty file made at the start goes with the take";
        if (answer == Answer::yes) {
            // What the output mixed of the three steps played, no more.
            const std::size_t hits = onsets_in("gaps.wav").size();
            EXPECT_GE(hits, 1u);
            EXPECT_LT(hits, 3u);
        }
        EXPECT_TRUE(rig.notifier.shown.empty());
    }
}

// Quitting while an export records asks what becomes of the take.
TEST(ExportVirtual, QuittingDuringAnExportSavesTheTakeDropsItOrStays) {
    for (Answer answer : {Answer::cancel, Answer::no, Answer::yes}) {
        VirtualRig rig;
        two_measures(rig);
        rig.window.show();
        rig.prompts.files.push_back("quit.wav");
        rig.window.Export1Click();
        rig.run_until([&] { return rig.song.get_step() == 3; });
        rig.prompts.answers.push_back(answer);
        if (answer != Answer::cancel) {
            rig.prompts.answers.push_back(Answer::no); // the song's own changes
        }
        rig.window.close();
        EXPECT_EQ(rig.prompts.asked.front(),
                  "The song is being exported to quit.wav. Save what has been recorded so far?");
        EXPECT_EQ(rig.prompts.asked.size(), answer == Answer::cancel ? 1u : 2u);
        EXPECT_EQ(rig.window.isVisible(), answer == Answer::cancel);
        EXPECT_EQ(std::filesystem::exists("quit.wav"), answer != Answer::no);
        if (answer == Answer::yes) {
            EXPECT_FALSE(onsets_in("quit.wav").empty());
        }
        if (answer == Answer::cancel) {
            EXPECT_TRUE(rig.window.exporting);
            EXPECT_TRUE(rig.recorder.recording());
        }
    }
}

} // namespace
} // namespace qx375::test
