#include "engine_rig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ModelTest : public ::testing::Test, public EngineRig {};

TEST_F(ModelTest, StartsAsTheProgramExpects) {
    EXPECT_FALSE(song.in_song_mode());
    EXPECT_EQ(song.get_step(), 0);
    EXPECT_EQ(song.get_measure(), 1);
    EXPECT_FALSE(song.has_clipboard());
    EXPECT_EQ(song.get_saved_measure(), 0);
    for (int i = 0; i < kPatterns; ++i) {
        EXPECT_EQ(song.get_song_entry(i), 0);
        EXPECT_EQ(song.pattern(i).tempo, 120);
        EXPECT_EQ(song.pattern(i).size, 24);
        EXPECT_EQ(song.pattern(i).empty, 0);
    }
    EXPECT_EQ(song.get_sample_file(8), "CYMBALEst.wav");
    EXPECT_EQ(song.get_sample_file(11), "CLAPst.WAV");
    EXPECT_EQ(song.get_sample_file(15), "STRTURNst.wav");
}

TEST_F(ModelTest, OpeningTheSoundMarksEveryPatternButTheEndMarkerUnused) {
    song.open_sound(1);
    for (int i = 0; i < kEndMarker; ++i) {
        song.set_song_entry(1, i);
        ASSERT_TRUE(song.is_empty()) << i;
    }
    song.set_song_entry(1, kEndMarker);
    EXPECT_FALSE(song.is_empty());
    song.clear_song();
    EXPECT_TRUE(song.is_empty());
    EXPECT_EQ(song.pattern(255).tempo, 180);
}

TEST_F(ModelTest, MeasuresStayWithinTheSongAndModesRememberTheirPlace) {
    song.go_to_measure(255);
    song.next_measure();
    EXPECT_EQ(song.get_measure(), 255);
    song.go_to_measure(0);
    song.previous_measure();
    EXPECT_EQ(song.get_measure(), 0);

    song.enter_song_mode();
    EXPECT_EQ(song.get_measure(), 1) << "no measure remembered yet";
    song.go_to_measure(7);
    song.set_song_entry(7, 42);
    song.enter_pattern_mode();
    EXPECT_EQ(song.get_measure(), 0);
    EXPECT_EQ(song.get_song_entry(), 42);
    song.rewind_song();
    EXPECT_EQ(song.get_measure(), 0);
    song.enter_song_mode();
    EXPECT_EQ(song.get_measure(), 7);
    song.rewind_song();
    EXPECT_EQ(song.get_measure(), 1);
    song.go_to_measure(9);
    song.take_pattern_slot();
    EXPECT_EQ(song.get_song_entry(), 42);
}

TEST_F(ModelTest, AdvancePlaysTheStepThenWrapsAtThePatternSize) {
    open_with_all_sounds();
    song.set_size(16);
    song.set_cell(4, 15, 1);
    song.set_cell(5, 0, 1);
    song.go_to_step(15);
    EXPECT_EQ(song.advance(1), 0);
    EXPECT_EQ(song.advance(-1), 15);
    EXPECT_EQ(song.advance(0), 15);
    EXPECT_THAT(log.calls, ElementsAre("b5.Stop", "b5.SetCurrentPosition(0)", "b5.Play(0,0,0)",
                                       "b6.Stop", "b6.SetCurrentPosition(0)", "b6.Play(0,0,0)",
                                       "b5.Stop", "b5.SetCurrentPosition(0)", "b5.Play(0,0,0)"));
}

TEST_F(ModelTest, PanIsClampedAndStoredOnlyWhenTheChannelTakesIt) {
    open_with_all_sounds();
    song.set_pan(3, 15000);
    EXPECT_EQ(song.get_pan(3), 10000);
    EXPECT_THAT(log.calls, ElementsAre("b4.SetPan(10000)"));

    log.refuse["SetPan"] = DSERR_INVALIDPARAM;
    song.set_pan(3, -200);
    EXPECT_EQ(song.get_pan(3), 10000);
    log.refuse["SetPan"] = DSERR_PRIOLEVELNEEDED;
    song.set_pan(3, -200);
    log.refuse["SetPan"] = DSERR_OUTOFMEMORY;
    song.set_pan(3, -200);
    EXPECT_EQ(song.get_pan(3), 10000);
    EXPECT_THAT(notifier.shown, ElementsAre("DSERR_INVALIDPARAM", "DSERR_PRIOLEVELNEEDED"));
}

TEST_F(ModelTest, VolumeAndFrequencyAreStoredWhateverTheChannelSays) {
    open_with_all_sounds();
    log.refuse["SetFrequency"] = DSERR_INVALIDPARAM;
    log.refuse["SetVolume"] = DSERR_INVALIDPARAM;
    song.set_frequency(2, 50);
    song.set_volume(2, -20000);
    EXPECT_EQ(song.get_frequency(2), 50);
    EXPECT_EQ(song.get_volume(2), -20000);
    EXPECT_THAT(notifier.shown, IsEmpty());
}

TEST_F(ModelTest, ApplyMixSendsTheCurrentPatternsMixOfTheFirstTwelveSounds) {
    open_with_all_sounds();
    song.set_song_entry(2, 6);
    song.go_to_measure(2);
    for (int k = 0; k < kSounds; ++k) {
        song.set_volume(k, -100 * k);
    }
    song.go_to_measure(1);
    log.calls.clear();
    song.go_to_measure(2);
    song.apply_mix();
    ASSERT_EQ(log.calls.size(), 36u);
    EXPECT_EQ(log.calls[0], "b1.SetVolume(0)");
    EXPECT_EQ(log.calls[33], "b12.SetVolume(-1100)");
    EXPECT_EQ(log.calls[35], "b12.SetFrequency(0)");
}

// The sample buttons and the sound setup give a sound a new file only when it
// can be played; the song keeps naming the sample that really sounds.
TEST_F(ModelTest, ReplacedSamplePlaysWithTheCurrentPatternsMix) {
    open_with_all_sounds();
    song.set_volume(13, -3000);
    song.set_pan(13, 4000);
    song.set_frequency(13, 22050);
    log.calls.clear();
    EXPECT_TRUE(song.replace_sample(13, dir.write("new.wav", simple_wav(ramp(6)))));
    EXPECT_EQ(song.get_sample_file(13), (dir.path() / "new.wav").string());
    EXPECT_THAT(log.calls, ElementsAre("CreateSoundBuffer(e0,6,16)", "b17.Lock(0,6,0)",
                                       "b17.Unlock(6,0)", "b14.Release", "b17.SetVolume(-3000)",
                                       "b17.SetPan(4000)", "b17.SetFrequency(22050)"));
}

TEST_F(ModelTest, UnusableSampleKeepsTheSoundAndItsName) {
    open_with_all_sounds();
    dir.write_text("notes.wav", "hello");
    // Longer than a song can name, although the file is there.
    const std::string long_name = std::string(200, 'd') + "/" + std::string(60, 'e') + ".wav";
    dir.write(long_name, simple_wav(ramp(6)));
    for (const std::string& name :
         {std::string("missing.wav"), std::string("notes.wav"), long_name}) {
        EXPECT_FALSE(song.replace_sample(5, name)) << name;
        EXPECT_EQ(song.get_sample_file(5), sample(5));
    }
    EXPECT_FALSE(song.replace_sample(16, sample(1)));
    EXPECT_FALSE(song.replace_sample(-1, sample(1)));
    EXPECT_THAT(log.calls, IsEmpty());
    song.play_sound(5);
    EXPECT_THAT(log.calls, ElementsAre("b6.Stop", "b6.Play(0,0,0)"));
}

// A name a song could not keep is refused before any file is looked at; the
// sound layer then tells why the file cannot be the sound's.
TEST_F(ModelTest, ReplaceSampleSaysWhyTheSoundKeepsItsSample) {
    open_with_all_sounds();
    const std::string name_255 = std::string(251, 'n') + ".wav";
    const std::string name_256 = "n" + name_255;
    dir.write(name_256, simple_wav(ramp(6)));
    dir.write("tab\t.wav", simple_wav(ramp(6)));
    dir.write("del\x7F.wav", simple_wav(ramp(6)));
    dir.write("line\n.wav", simple_wav(ramp(6)));
    dir.write_text("notes.wav", "hello");
    dir.write(
        "odd.wav",
        WavBuilder().chunk("fmt ", pcm_format(2, 44100, 16, 0x55)).chunk("data", ramp(4)).build());
    log.judge_format = [](const BufferDesc& desc) {
        return desc.format[0] == 0x55 ? DSERR_BADFORMAT : DS_OK;
    };
    const std::pair<std::string, FileStatus> refused[] = {
        {name_256, {FileFault::name_too_long, 0}},
        {"tab\t.wav", {FileFault::bad_name, 0}},
        {"del\x7F.wav", {FileFault::bad_name, 0}},
        {"line\n.wav", {FileFault::bad_name, 0}},
        {std::string("s1.wav\0", 7), {FileFault::bad_name, 0}},
        {name_255, {FileFault::no_such_file, ENOENT}}, // the longest name is looked for
        {"gone/absent.wav", {FileFault::no_such_folder, ENOENT}},
        {dir.path().string(), {FileFault::is_folder, EISDIR}},
        {"notes.wav", {FileFault::not_a_wave, 0}},
    };
    for (const auto& [name, status] : refused) {
        EXPECT_EQ(song.replace_sample(5, name), status) << name;
        EXPECT_EQ(song.get_sample_file(5), sample(5));
    }
    EXPECT_THAT(log.calls, IsEmpty());
    EXPECT_THAT(notifier.shown, IsEmpty());

    EXPECT_EQ(song.replace_sample(5, "odd.wav"), (FileStatus{FileFault::unplayable, 0}));
    EXPECT_THAT(notifier.shown, ElementsAre("format incorrect"));
    EXPECT_EQ(song.get_sample_file(5), sample(5));
    log.calls.clear();
    song.play_sound(5);
    EXPECT_THAT(log.calls, ElementsAre("b6.Stop", "b6.Play(0,0,0)"));
}

TEST_F(ModelTest, RefusesIndicesOutsideTheirRanges) {
    const pattern_record before = song.pattern(0);
    song.set_cell(32, 0, 1);
    song.set_cell(0, 24, 1);
    song.set_cell(-1, 0, 1);
    song.set_volume(16, -5);
    song.set_pan(-1, 5);
    song.copy_from(256);
    EXPECT_EQ(song.set_size(25), 24);
    EXPECT_EQ(song.set_size(0), 24);
    EXPECT_EQ(song.get_cell(0, 24), 0);
    EXPECT_EQ(before, song.pattern(0));

    song.set_song_entry(256);
    song.set_song_entry(-1);
    EXPECT_EQ(song.get_song_entry(), 0);

    song.set_sample_file(16, "x.wav");
    EXPECT_EQ(song.get_sample_file(16), "");
    song.set_sample_file(3, std::string(300, 'a'));
    EXPECT_EQ(song.get_sample_file(3), std::string(255, 'a'));
}

} // namespace
} // namespace qx375::test
