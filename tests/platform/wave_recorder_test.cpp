#include "audio_rig.h"
#include "platform/wave_recorder.h"
#include "support/file_size_limit.h"
#include "support/wav_builder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <thread>

namespace qx375 {
namespace {

using test::TempDir;
using testing::AudioRig;
using testing::format_record;
using ::testing::HasSubstr;

namespace fs = std::filesystem;
using test::FileSizeLimit;

constexpr std::size_t kBlock = AudioOutput::kBlockFrames;

// 16-bit mono PCM bytes of the given sample values.
std::vector<std::uint8_t> pcm(const std::vector<std::int16_t>& values) {
    std::vector<std::uint8_t> bytes;
    for (std::int16_t v : values) {
        bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
    return bytes;
}

// A sequence that walks the whole 16-bit range, so a frame out of place shows.
std::vector<std::int16_t> pattern(std::size_t frames) {
    std::vector<std::int16_t> v(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        v[i] = static_cast<std::int16_t>(static_cast<int>(i * 97 % 65536) - 32768);
    }
    return v;
}

// A WAV file as libsndfile reads it.
struct Wave {
    bool opened = false;
    SF_INFO info{};
    std::vector<short> samples; // interleaved
};

Wave read_wave(const std::string& path) {
    Wave wave;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &wave.info);
    if (file == nullptr) {
        return wave;
    }
    wave.opened = true;
    wave.samples.resize(static_cast<std::size_t>(wave.info.frames * wave.info.channels));
    sf_readf_short(file, wave.samples.data(), wave.info.frames);
    sf_close(file);
    return wave;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Points TMPDIR elsewhere for the life of the object.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const fs::path& folder) {
        if (const char* old = std::getenv("TMPDIR")) {
            old_ = old;
        }
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolder() {
        if (old_) {
            ::setenv("TMPDIR", old_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

private:
    std::optional<std::string> old_;
};

class RecorderTest : public ::testing::Test {
protected:
    AudioRig rig;
    WaveRecorder recorder{rig.output.capture(), AudioOutput::kRate};
    TempDir dir;

    std::string path(const std::string& name) const { return (dir.path() / name).string(); }

    // A new recording of the next `frames` frames of output.
    void record(std::size_t frames) {
        ASSERT_TRUE(recorder.open().ok());
        ASSERT_TRUE(recorder.record().ok());
        rig.render(frames);
    }
};

class RecordedMix : public RecorderTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(RecordedMix, IsSavedSampleForSampleIn16BitStereoClippedAtFullScale) {
    rig.output.set_volume(GetParam());
    const auto a = pattern(4000);
    const std::vector<std::int16_t> up(1000, 20000);
    const std::vector<std::int16_t> down(1000, -20000);
    const auto format = format_record(1, 1, AudioOutput::kRate, 2, 16);
    auto sa = rig.buffer(format, pcm(a));
    auto sb = rig.buffer(format, pcm(up));
    auto sc = rig.buffer(format, pcm(down));
    rig.render(2 * kBlock);

    ASSERT_TRUE(recorder.open().ok());
    recorder.set_file_name(path("mix.wav"));
    ASSERT_TRUE(recorder.record().ok());
    // Starts inside the recording, overlapping so that the sum clips.
    const std::size_t at_a = 2 * kBlock + 100;
    const std::size_t at_b = at_a + 2000;
    const std::size_t at_c = at_a + 3500;
    rig.device->set_target_frame(at_a);
    sa->Play(0, 0, 0);
    rig.device->set_target_frame(at_b);
    sb->Play(0, 0, 0);
    rig.device->set_target_frame(at_c);
    sc->Play(0, 0, 0);
    rig.render(32 * kBlock);
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_EQ(recorder.first_frame(), 2 * kBlock);

    const Wave wave = read_wave(path("mix.wav"));
    ASSERT_TRUE(wave.opened);
    EXPECT_EQ(wave.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(wave.info.channels, 2);
    EXPECT_EQ(wave.info.samplerate, 44100);
    ASSERT_EQ(wave.info.frames, static_cast<sf_count_t>(32 * kBlock));
    auto part = [](const std::vector<std::int16_t>& v, std::size_t start, std::size_t frame) {
        return frame >= start && frame - start < v.size() ? v[frame - start] : 0;
    };
    for (std::size_t k = 0; k < 32 * kBlock; ++k) {
        const std::size_t frame = 2 * kBlock + k;
        const int sum = part(a, at_a, frame) + part(up, at_b, frame) + part(down, at_c, frame);
        const int expected = std::clamp(sum, -32768, 32767);
        ASSERT_EQ(wave.samples[2 * k], expected) << "frame " << frame;
        ASSERT_EQ(wave.samples[2 * k + 1], expected) << "frame " << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(MasterVolume, RecordedMix, ::testing::Values(0xFFFFFFFFu, 0u, 0x0000FFFFu),
                         [](const auto& info) {
                             switch (info.param) {
                             case 0xFFFFFFFFu:
                                 return "Full";
                             case 0u:
                                 return "Silent";
                             default:
                                 return "LeftOnly";
                             }
                         });

TEST_F(RecorderTest, FirstFrameIsTheOutputFrameTheRecordingBeginsWith) {
    EXPECT_FALSE(recorder.first_frame());
    rig.render(3 * kBlock);
    ASSERT_TRUE(recorder.open().ok());
    ASSERT_TRUE(recorder.record().ok());
    EXPECT_FALSE(recorder.first_frame()) << "no block captured yet";
    rig.render(2 * kBlock);
    recorder.stop();
    EXPECT_EQ(recorder.first_frame(), 3 * kBlock);

    // Recording again after a stop goes on at the end of the same recording;
    // the output in between is not in it.
    rig.render(kBlock);
    ASSERT_TRUE(recorder.record().ok());
    rig.render(kBlock);
    recorder.stop();
    EXPECT_EQ(recorder.first_frame(), 3 * kBlock);
    EXPECT_EQ(recorder.recorded_frames(), 3 * kBlock);

    ASSERT_TRUE(recorder.open().ok());
    EXPECT_FALSE(recorder.first_frame());
    EXPECT_EQ(recorder.recorded_frames(), 0u);
}

TEST_F(RecorderTest, StopAndSaveWaitForEveryCapturedFrame) {
    for (int round = 0; round < 3; ++round) {
        for (std::size_t blocks = 1; blocks <= 256; blocks *= 4) {
            record(blocks * kBlock);
            recorder.stop();
            EXPECT_FALSE(recorder.recording());
            EXPECT_EQ(recorder.recorded_frames(), blocks * kBlock);
            rig.render(kBlock);
            EXPECT_EQ(recorder.recorded_frames(), blocks * kBlock) << "nothing after the stop";
        }
    }
    record(10 * kBlock);
    recorder.set_file_name(path("running.wav"));
    ASSERT_TRUE(recorder.save().ok()) << "saving a running recording stops it first";
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(read_wave(path("running.wav")).info.frames, static_cast<sf_count_t>(10 * kBlock));
}

TEST_F(RecorderTest, DrainsWhileRecording) {
    record(40 * kBlock);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (recorder.recorded_frames() < 40 * kBlock &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(recorder.recording());
    EXPECT_EQ(recorder.recorded_frames(), 40 * kBlock);
}

TEST_F(RecorderTest, OpenDropsTheEarlierRecording) {
    auto loud = rig.buffer(format_record(1, 1, AudioOutput::kRate, 2, 16),
                           pcm(std::vector<std::int16_t>(20 * kBlock, 12345)));
    ASSERT_TRUE(recorder.open().ok());
    ASSERT_TRUE(recorder.record().ok());
    loud->Play(0, 0, 0);
    rig.render(4 * kBlock);
    recorder.stop();
    recorder.set_file_name(path("take.wav"));
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_EQ(read_wave(path("take.wav")).samples.at(0), 12345);

    // Opened again while recording: the running recording stops and is gone.
    ASSERT_TRUE(recorder.record().ok());
    rig.render(4 * kBlock);
    ASSERT_TRUE(recorder.open().ok());
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(recorder.recorded_frames(), 0u);
    rig.render(4 * kBlock);
    EXPECT_EQ(recorder.recorded_frames(), 0u) << "opening does not start recording";

    loud->Stop();
    rig.render(kBlock);
    ASSERT_TRUE(recorder.record().ok());
    rig.render(kBlock);
    ASSERT_TRUE(recorder.save().ok());
    const Wave wave = read_wave(path("take.wav"));
    EXPECT_EQ(wave.info.frames, static_cast<sf_count_t>(kBlock));
    EXPECT_TRUE(
        std::all_of(wave.samples.begin(), wave.samples.end(), [](short s) { return s == 0; }));
}

TEST_F(RecorderTest, AnEmptyNameWritesNothing) {
    test::CurrentDir here(dir.path());
    record(4 * kBlock);
    EXPECT_TRUE(recorder.save().ok()) << "no name given yet";
    recorder.set_file_name("");
    EXPECT_TRUE(recorder.save().ok());
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(RecorderTest, NothingToRecordOrSaveBeforeOpening) {
    EXPECT_THAT(recorder.record().error, HasSubstr("not open"));
    recorder.set_file_name(path("never.wav"));
    const RecorderResult saved = recorder.save();
    EXPECT_THAT(saved.error, HasSubstr("nothing has been recorded"));
    EXPECT_FALSE(fs::exists(path("never.wav")));
}

TEST_F(RecorderTest, TheRecordingLivesInTheTemporaryFolderAndLeavesNothingThere) {
    {
        TemporaryFolder missing(dir.path() / "gone");
        const RecorderResult opened = recorder.open();
        EXPECT_THAT(opened.error, HasSubstr("temporary recording file"));
        EXPECT_FALSE(recorder.is_open());
        EXPECT_FALSE(recorder.record().ok());
    }
    TempDir temporary;
    TemporaryFolder folder(temporary.path());
    record(4 * kBlock);
    EXPECT_TRUE(fs::is_empty(temporary.path())) << "nameless while recording";
    recorder.set_file_name(path("out.wav"));
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_TRUE(fs::is_empty(temporary.path()));
}

TEST_F(RecorderTest, ReplacesAFileThroughItsLinkKeepingItsPermissions) {
    dir.write_text("real.wav", "an older file");
    fs::permissions(path("real.wav"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(path("real.wav"), path("link.wav"));
    record(8 * kBlock);
    recorder.set_file_name(path("link.wav"));
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_TRUE(fs::is_symlink(path("link.wav")));
    EXPECT_EQ(read_wave(path("real.wav")).info.frames, static_cast<sf_count_t>(8 * kBlock));
    EXPECT_EQ(fs::status(path("real.wav")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST_F(RecorderTest, FailedSavesSayWhyAndKeepTheOldFile) {
    const std::string old = "the export of yesterday";
    dir.write_text("keep.wav", old);
    record(400 * kBlock); // about 400 KB as a WAV file

    struct Case {
        std::string name;
        std::string why;
    };
    const Case cases[] = {
        {path("no such folder/x.wav"), "No such file or directory"},
        {"/dev/full", "No space left on device"},
        {dir.path().string(), "Is a directory"},
    };
    for (const Case& c : cases) {
        recorder.set_file_name(c.name);
        const RecorderResult saved = recorder.save();
        EXPECT_THAT(saved.error, HasSubstr(c.name));
        EXPECT_THAT(saved.error, HasSubstr(c.why));
    }
    EXPECT_FALSE(fs::exists(path("no such folder")));

    recorder.set_file_name(path("keep.wav"));
    RecorderResult saved;
    {
        FileSizeLimit full_disk(100000);
        saved = recorder.save();
    }
    EXPECT_THAT(saved.error, HasSubstr("File too large"));
    EXPECT_EQ(contents(path("keep.wav")), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "no temporary file left beside it";

    ASSERT_TRUE(recorder.save().ok()) << "the recording survives a failed save";
    EXPECT_EQ(read_wave(path("keep.wav")).info.frames, static_cast<sf_count_t>(400 * kBlock));
}

TEST_F(RecorderTest, AFullTemporaryFolderLosesTheRecordingAndSaysSo) {
    {
        FileSizeLimit full_disk(100000);
        record(400 * kBlock);
        recorder.stop();
    }
    EXPECT_LT(recorder.recorded_frames(), 400 * kBlock);
    recorder.set_file_name(path("lost.wav"));
    EXPECT_THAT(recorder.save().error, HasSubstr("File too large"));
    EXPECT_FALSE(fs::exists(path("lost.wav")));

    record(4 * kBlock);
    EXPECT_TRUE(recorder.save().ok()) << "a new recording starts afresh";
}

TEST_F(RecorderTest, AFolderThatTakesNoNewFileGetsTheFileRewrittenInPlace) {
    fs::create_directory(path("locked"));
    dir.write_text("locked/song.wav", "an older file");
    fs::permissions(path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(path("locked/probe")).is_open()) {
        fs::permissions(path("locked"), fs::perms::owner_all);
        GTEST_SKIP() << "this user may write into any folder";
    }
    record(8 * kBlock);
    recorder.set_file_name(path("locked/song.wav"));
    const RecorderResult saved = recorder.save();
    fs::permissions(path("locked"), fs::perms::owner_all);
    ASSERT_TRUE(saved.ok()) << saved.error;
    EXPECT_EQ(read_wave(path("locked/song.wav")).info.frames, static_cast<sf_count_t>(8 * kBlock));
}

// Through the real-time clock, for three times what the tap holds: the
// drain keeps up, and every frame of a long sound is where it belongs.
TEST(WaveRecorder, LongRecordingThroughTheRealTimeClockLosesNoFrame) {
    AudioRig rig(AudioBackendKind::null_clock);
    ASSERT_EQ(rig.output.backend(), AudioBackendKind::null_clock);
    WaveRecorder recorder(rig.output.capture(), AudioOutput::kRate);
    TempDir dir;
    constexpr std::size_t kFrames = 3 * (1 << 18) + AudioOutput::kRate;
    const auto sound = pattern(kFrames);
    auto buffer = rig.buffer(format_record(1, 1, AudioOutput::kRate, 2, 16), pcm(sound));

    ASSERT_TRUE(recorder.open().ok());
    ASSERT_TRUE(recorder.record().ok());
    const std::uint64_t start =
        rig.output.clock().read().frame_at(std::chrono::steady_clock::now(), AudioOutput::kRate) +
        AudioOutput::kRate / 10;
    rig.device->set_target_frame(start);
    buffer->Play(0, 0, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!recorder.first_frame() ||
           *recorder.first_frame() + recorder.recorded_frames() < start + kFrames) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    recorder.set_file_name((dir.path() / "long.wav").string());
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_EQ(recorder.overrun_frames(), 0u);

    const Wave wave = read_wave((dir.path() / "long.wav").string());
    ASSERT_EQ(wave.info.frames, static_cast<sf_count_t>(recorder.recorded_frames()));
    const std::uint64_t first = *recorder.first_frame();
    ASSERT_LE(first, start);
    for (std::size_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(wave.samples[2 * (start - first + i)], sound[i]) << "frame " << start + i;
    }
}

} // namespace
} // namespace qx375
