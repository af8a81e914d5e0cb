#include "audio_rig.h"
#include "platform/mixer_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qx375 {
namespace {

using testing::AudioRig;
using testing::ramp;

constexpr float kTol = 2e-4f;

// First stereo frame whose left or right sample is not silent.
std::size_t first_sound(const std::vector<float>& out) {
    for (std::size_t i = 0; i < out.size() / 2; ++i) {
        if (out[2 * i] != 0.0f || out[2 * i + 1] != 0.0f) {
            return i;
        }
    }
    return out.size() / 2;
}

TEST(Laws, VolumeIsHundredthsOfADecibelAndPanCutsOnlyTheOtherSide) {
    struct Case {
        std::int32_t volume, pan;
        float left, right;
    };
    const Case cases[] = {
        {0, 0, 1.0f, 1.0f},      {-600, 0, 0.501187f, 0.501187f}, {-2000, 0, 0.1f, 0.1f},
        {-10000, 0, 0.0f, 0.0f}, {0, 2000, 0.1f, 1.0f},           {0, -600, 1.0f, 0.501187f},
        {0, 10000, 0.0f, 1.0f},  {0, -10000, 1.0f, 0.0f},         {-2000, -2000, 0.1f, 0.01f},
    };
    for (const Case& c : cases) {
        const StereoGains g = stereo_gains(c.volume, c.pan);
        EXPECT_NEAR(g.left, c.left, 1e-5) << c.volume << " " << c.pan;
        EXPECT_NEAR(g.right, c.right, 1e-5) << c.volume << " " << c.pan;
    }
}

TEST(Mixer, AppliesVolumeAndPanToThePlayingSound) {
    AudioRig rig;
    auto b = rig.mono(std::vector<float>(2000, 0.5f));
    ASSERT_EQ(b->SetVolume(-600), DS_OK);
    ASSERT_EQ(b->SetPan(2000), DS_OK);
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    const auto out = rig.render(256);
    EXPECT_NEAR(out[100], 0.5f * 0.501187f * 0.1f, kTol);
    EXPECT_NEAR(out[101], 0.5f * 0.501187f, kTol);
}

TEST(Mixer, StampedStartLandsOnItsExactFrameInsideABlock) {
    AudioRig rig;
    auto b = rig.mono(std::vector<float>(5000, 0.5f));
    for (std::uint64_t target : {1037u, 1280u, 1535u}) {
        rig.device->set_target_frame(target);
        ASSERT_EQ(b->Stop(), DS_OK);
        ASSERT_EQ(b->SetCurrentPosition(0), DS_OK);
        ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    }
    rig.device->set_target_frame(0);
    const auto out = rig.render(2048);
    EXPECT_EQ(first_sound(out), 1037u);
    EXPECT_NEAR(out[2 * 1037], 0.5f, kTol);
    EXPECT_EQ(rig.output.clock().read().frame, 2048u - AudioOutput::kBlockFrames);
}

TEST(Mixer, RetriggerRestartsStopKeepsTheCursorAndTheEndRewinds) {
    AudioRig rig;
    auto b = rig.mono(ramp(1000));
    b->Play(0, 0, 0);
    rig.render(256);
    b->Stop();
    auto out = rig.render(256);
    EXPECT_EQ(first_sound(out), 256u) << "a stopped buffer is silent";
    b->Play(0, 0, 0);
    out = rig.render(256);
    EXPECT_NEAR(out[0], 256 / 1000.0f, 1e-3) << "play goes on from where it stopped";

    b->Stop();
    b->SetCurrentPosition(0);
    b->Play(0, 0, 0);
    out = rig.render(256);
    EXPECT_NEAR(out[2 * 10], 10 / 1000.0f, 1e-3) << "rewound and started again";

    out = rig.render(1024);
    EXPECT_EQ(out[2 * 1000], 0.0f) << "played once, not looped";
    b->Play(0, 0, 0);
    out = rig.render(256);
    EXPECT_NEAR(out[2 * 5], 5 / 1000.0f, 1e-3) << "after its end the buffer starts over";
}

TEST(Mixer, FrequencySetsThePlaybackRate) {
    AudioRig rig;
    auto b = rig.mono(ramp(40000), 22050);
    auto position_after = [&](std::size_t frames) {
        b->Stop();
        b->SetCurrentPosition(0);
        b->Play(0, 0, 0);
        const auto out = rig.render(frames + 1);
        return out[2 * frames] * 40000.0f;
    };
    ASSERT_EQ(b->SetFrequency(0), DS_OK);
    EXPECT_NEAR(position_after(1000), 500.0f, 2.0f) << "0 plays at the file's own rate";
    ASSERT_EQ(b->SetFrequency(100), DS_OK);
    EXPECT_NEAR(position_after(4410), 10.0f, 2.0f);
    ASSERT_EQ(b->SetFrequency(100000), DS_OK);
    EXPECT_NEAR(position_after(441), 1000.0f, 2.0f);
    EXPECT_EQ(b->SetFrequency(99), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetFrequency(100001), DSERR_INVALIDPARAM);
}

TEST(Mixer, MasterVolumeHasTheLeftLevelInTheLowBits) {
    AudioRig rig;
    auto b = rig.mono(std::vector<float>(2000, 0.5f));
    rig.output.set_volume(0x4000FFFF);
    EXPECT_EQ(rig.output.volume(), 0x4000FFFFu);
    b->Play(0, 0, 0);
    const auto out = rig.render(256);
    EXPECT_NEAR(out[20], 0.5f, kTol);
    EXPECT_NEAR(out[21], 0.5f * 0x4000 / 65535.0f, kTol);
}

TEST(Mixer, ClipsTheSumToFullScale) {
    AudioRig rig;
    auto a = rig.mono(std::vector<float>(500, 0.9f));
    auto b = rig.mono(std::vector<float>(500, 0.9f));
    a->Play(0, 0, 0);
    b->Play(0, 0, 0);
    EXPECT_EQ(rig.render(256)[10], 1.0f);
}

TEST(Mixer, CaptureTapRecordsTheMixFromItsFirstFrameAndCountsOverruns) {
    AudioRig rig;
    CaptureTap& tap = rig.output.capture();
    rig.render(512);
    tap.start();
    auto b = rig.mono(std::vector<float>(300, 0.25f));
    b->Play(0, 0, 0);
    rig.render(256);
    ASSERT_TRUE(tap.started());
    EXPECT_EQ(tap.first_frame(), 512u);
    std::vector<float> got(2 * 256);
    ASSERT_EQ(tap.read(got), 256u);
    EXPECT_NEAR(got[0], 0.25f, kTol);

    rig.render(300000); // more than the tap holds, never read
    EXPECT_GT(tap.overrun_frames(), 0u);
    tap.stop();
}

TEST(Mixer, CaptureTapTakesTheMixBeforeTheMasterVolumeAndTheClipping) {
    AudioRig rig;
    CaptureTap& tap = rig.output.capture();
    tap.start();
    auto a = rig.mono(std::vector<float>(500, 0.75f));
    auto b = rig.mono(std::vector<float>(500, 0.5f));
    a->Play(0, 0, 0);
    b->Play(0, 0, 0);
    rig.output.set_volume(0x0000FFFF);
    const auto out = rig.render(256);
    std::vector<float> got(2 * 256);
    ASSERT_EQ(tap.read(got), 256u);
    tap.stop();
    EXPECT_EQ(out[10], 1.0f);
    EXPECT_EQ(out[11], 0.0f);
    EXPECT_NEAR(got[10], 1.25f, kTol);
    EXPECT_NEAR(got[11], 1.25f, kTol);
}

// Replacing a sound's buffer while it plays, as a sample change during
// playback does, from another thread than the one rendering.
TEST(Mixer, BuffersReplacedWhilePlayingFromAnotherThread) {
    AudioRig rig;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> block(2 * AudioOutput::kBlockFrames);
        while (!done) {
            rig.output.pull(block);
        }
    });
    std::unique_ptr<SoundBuffer> current;
    for (int i = 0; i < 2000; ++i) {
        current = rig.mono(std::vector<float>(64 + i % 500, 0.1f));
        current->Play(0, 0, 0);
        // A busy machine may hold the audio thread back for a while: wait for
        // it now and then, so that the command ring never fills, as it never
        // does with the program's few commands per step.
        if (i % 50 == 49) {
            const std::uint64_t seen = rig.output.clock().read().frame;
            while (rig.output.clock().read().frame == seen) {
                std::this_thread::yield();
            }
        }
    }
    done = true;
    audio.join();
    current.reset();
    rig.render(256);
    rig.output.mixer().collect_retired();
    // Every voice was handed back: all of them can be taken again.
    int voices = 0;
    while (rig.output.mixer().acquire_voice()) {
        ++voices;
    }
    EXPECT_EQ(voices, static_cast<int>(Mixer::kMaxVoices));
}

} // namespace
} // namespace qx375
