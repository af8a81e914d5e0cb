// The recorder: the mix saved sample for sample at its rate, from the frame
// the take begins with, every captured frame waited for, and the finish that
// runs off the window's thread.
#include "recorder_rig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace qx375 {
namespace {

using namespace recorder_test;

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

    ASSERT_TRUE(recorder.open(path("mix.wav")).ok());
    EXPECT_EQ(recorder.file_name(), path("mix.wav"));
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

// An output whose server runs at another rate records at that rate.
TEST_F(RecorderTest, TheTakeIsWrittenAtTheRateItIsGiven) {
    recorder.set_rate(96000);
    record(kBlock, path("fast.wav"));
    ASSERT_TRUE(recorder.save().ok());
    const Wave wave = read_wave(path("fast.wav"));
    ASSERT_TRUE(wave.opened);
    EXPECT_EQ(wave.info.samplerate, 96000);
    EXPECT_EQ(wave.info.frames, static_cast<sf_count_t>(kBlock));
}

TEST_F(RecorderTest, FirstFrameIsTheOutputFrameTheRecordingBeginsWith) {
    EXPECT_FALSE(recorder.first_frame());
    rig.render(3 * kBlock);
    ASSERT_TRUE(recorder.open(path("a.wav")).ok());
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

    ASSERT_TRUE(recorder.open(path("b.wav")).ok());
    EXPECT_FALSE(recorder.first_frame());
    EXPECT_EQ(recorder.recorded_frames(), 0u);
}

TEST_F(RecorderTest, StopAndSaveWaitForEveryCapturedFrame) {
    for (int round = 0; round < 3; ++round) {
        for (std::size_t blocks = 1; blocks <= 256; blocks *= 4) {
            record(blocks * kBlock, path("take.wav"));
            recorder.stop();
            EXPECT_FALSE(recorder.recording());
            EXPECT_EQ(recorder.recorded_frames(), blocks * kBlock);
            rig.render(kBlock);
            EXPECT_EQ(recorder.recorded_frames(), blocks * kBlock) << "nothing after the stop";
        }
    }
    record(10 * kBlock, path("running.wav"));
    ASSERT_TRUE(recorder.save().ok()) << "saving a running recording stops it first";
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(read_wave(path("running.wav")).info.frames, static_cast<sf_count_t>(10 * kBlock));
}

TEST_F(RecorderTest, DrainsWhileRecording) {
    record(40 * kBlock, path("take.wav"));
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
    ASSERT_TRUE(recorder.open(path("take.wav")).ok());
    ASSERT_TRUE(recorder.record().ok());
    loud->Play(0, 0, 0);
    rig.render(4 * kBlock);
    recorder.stop();
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_EQ(read_wave(path("take.wav")).samples.at(0), 12345);

    // Opened again while recording: the running recording stops and is gone.
    ASSERT_TRUE(recorder.record().ok());
    rig.render(4 * kBlock);
    ASSERT_TRUE(recorder.open(path("take.wav")).ok());
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

TEST_F(RecorderTest, NothingToRecordOrSaveBeforeOpening) {
    EXPECT_FALSE(recorder.record().ok());
    EXPECT_FALSE(recorder.save().ok());
    recorder.finish_at(0, 0ms);
    const std::optional<RecorderResult> finished = outcome_of(recorder);
    ASSERT_TRUE(finished);
    EXPECT_FALSE(finished->ok());
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// A level for each output frame, so that a frame out of place shows in the
// file: frame % 256 / 512 of full scale.
float level(std::uint64_t frame) {
    return static_cast<float>(frame % 256) / 512.0f;
}

// Hands the tap output frames [from, from + frames) in one block, as the
// audio thread would.
void feed(CaptureTap& tap, std::uint64_t from, std::size_t frames) {
    std::vector<float> block(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        block[2 * i] = block[2 * i + 1] = level(from + i);
    }
    tap.capture(block, from);
}

// Whether the file holds output frames [from, from + frames), each in its place.
void expect_frames(const std::string& path, std::uint64_t from, std::size_t frames) {
    const Wave wave = read_wave(path);
    ASSERT_EQ(wave.info.frames, static_cast<sf_count_t>(frames));
    for (std::size_t k = 0; k < frames; ++k) {
        const float expected = level(from + k) * 32767.0f;
        ASSERT_NEAR(wave.samples[2 * k], expected, 1.0) << "frame " << from + k;
    }
}

// A recorder on a tap the test feeds itself, so the test says when the
// output has mixed a frame.
class FedRecorderTest : public ::testing::Test {
protected:
    TempDir dir;
    CaptureTap tap{1 << 16};
    WaveRecorder recorder{tap, AudioOutput::kRate};

    std::string path(const std::string& name) const { return (dir.path() / name).string(); }
};

TEST_F(FedRecorderTest, FinishAtReturnsAtOnceAndGivesTheOutcomeOnce) {
    ASSERT_TRUE(recorder.open(path("song.wav")).ok());
    ASSERT_TRUE(recorder.record().ok());
    feed(tap, 0, 1000);
    recorder.begin_at(200);
    // Returns although the frames it waits for have not been mixed yet.
    recorder.finish_at(3000, 60s);
    EXPECT_TRUE(recorder.finishing());
    EXPECT_FALSE(recorder.take_outcome());
    EXPECT_EQ(fs::file_size(path("song.wav")), 0u);

    feed(tap, 1000, 1500);
    feed(tap, 2500, 1500); // goes past the end
    const std::optional<RecorderResult> outcome = outcome_of(recorder);
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->ok()) << "error " << outcome->status.error << ", lost "
                               << outcome->lost_frames;
    EXPECT_FALSE(recorder.finishing());
    EXPECT_FALSE(recorder.recording());
    EXPECT_FALSE(recorder.take_outcome()) << "given once";
    expect_frames(path("song.wav"), 200, 2800);
}

TEST_F(FedRecorderTest, VerbsWaitForARunningFinishAndDropItsOutcome) {
    ASSERT_TRUE(recorder.open(path("song.wav")).ok());
    ASSERT_TRUE(recorder.record().ok());
    feed(tap, 0, 1000);
    // The output never gets there: the finish gives up, and the frames it
    // did not get are lost.
    recorder.finish_at(5000, 100ms);
    const RecorderResult saved = recorder.save();
    EXPECT_FALSE(recorder.finishing());
    EXPECT_TRUE(saved.status);
    EXPECT_EQ(saved.lost_frames, 4000u);
    EXPECT_FALSE(recorder.take_outcome()) << "dropped by the save";
    EXPECT_EQ(fs::file_size(path("song.wav")), 0u);
    ASSERT_TRUE(recorder.save(true).ok());
    expect_frames(path("song.wav"), 0, 1000);

    ASSERT_TRUE(recorder.open(path("other.wav")).ok());
    ASSERT_TRUE(recorder.record().ok());
    feed(tap, 0, 1000);
    recorder.finish_at(5000, 100ms);
    recorder.discard();
    EXPECT_FALSE(recorder.take_outcome());
    EXPECT_FALSE(fs::exists(path("other.wav"))) << "nothing was written to it";
}

TEST(WaveRecorderLosingFrames, ATakeThatLostFramesIsWrittenOnlyWhenKept) {
    TempDir dir;
    CaptureTap tap(256); // smaller than a block
    WaveRecorder recorder(tap, AudioOutput::kRate);
    const std::string target = dir.write_text("song.wav", "the take before");

    ASSERT_TRUE(recorder.open(target).ok());
    ASSERT_TRUE(recorder.record().ok());
    feed(tap, 0, 1024);
    RecorderResult ended = recorder.save();
    EXPECT_TRUE(ended.status);
    EXPECT_EQ(ended.lost_frames, 768u);
    EXPECT_EQ(recorder.overrun_frames(), 768u);
    EXPECT_FALSE(ended.ok());
    EXPECT_EQ(contents(target), "the take before");
    ASSERT_TRUE(recorder.save(true).ok());
    expect_frames(target, 0, 256);

    // The same at the end of a finish.
    dir.write_text("song.wav", "the take before");
    ASSERT_TRUE(recorder.open(target).ok());
    ASSERT_TRUE(recorder.record().ok());
    feed(tap, 0, 1024);
    recorder.finish_at(1024, 60s);
    const std::optional<RecorderResult> outcome = outcome_of(recorder);
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->status);
    EXPECT_EQ(outcome->lost_frames, 768u);
    EXPECT_EQ(contents(target), "the take before");
    ASSERT_TRUE(recorder.save(true).ok());
    expect_frames(target, 0, 256);
}

// Through the real-time clock, for three times what the tap holds: the
// drain keeps up, and every frame of a long sound is where it belongs.
TEST(WaveRecorder, LongRecordingThroughTheRealTimeClockLosesNoFrame) {
    AudioRig rig(AudioBackendKind::null_clock);
    ASSERT_EQ(rig.output.backend(), AudioBackendKind::null_clock);
    WaveRecorder recorder(rig.output.capture(), AudioOutput::kRate);
    TempDir dir;
    const std::string target = (dir.path() / "long.wav").string();
    constexpr std::size_t kFrames = 3 * (1 << 18) + AudioOutput::kRate;
    const auto sound = pattern(kFrames);
    auto buffer = rig.buffer(format_record(1, 1, AudioOutput::kRate, 2, 16), pcm(sound));

    ASSERT_TRUE(recorder.open(target).ok());
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
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_EQ(recorder.overrun_frames(), 0u);

    const Wave wave = read_wave(target);
    ASSERT_EQ(wave.info.frames, static_cast<sf_count_t>(recorder.recorded_frames()));
    const std::uint64_t first = *recorder.first_frame();
    ASSERT_LE(first, start);
    for (std::size_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(wave.samples[2 * (start - first + i)], sound[i]) << "frame " << start + i;
    }
}

} // namespace
} // namespace qx375
