#include "audio_rig.h"
#include "platform/mixer_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace qx375 {
namespace {

using testing::AudioRig;

constexpr float kLevel = 0.25f;
constexpr std::size_t kBlock = AudioOutput::kBlockFrames;
constexpr std::size_t kStem = 2 * kBlock; // the samples of one sound's block

// Two hi-hats of one choke group and a snare as the program binds them, a
// buffer bound to no sound, and a mix rendered block by block with or
// without stems.
struct StemRig : AudioRig {
    std::unique_ptr<SoundBuffer> closed = mono(std::vector<float>(20000, kLevel));
    std::unique_ptr<SoundBuffer> open = mono(std::vector<float>(20000, 2 * kLevel));
    std::unique_ptr<SoundBuffer> snare = mono(testing::ramp(20000));
    std::unique_ptr<SoundBuffer> unbound = mono(std::vector<float>(20000, kLevel / 2));
    std::vector<float> mix;
    std::vector<float> stems; // every block's stems, one block after the other
    std::vector<std::uint16_t> sounding;

    StemRig() {
        device->bind_sound(0, closed.get(), 1);
        device->bind_sound(1, open.get(), 1);
        device->bind_sound(2, snare.get(), 0);
        snare->SetPan(-600);
        snare->SetFrequency(30000);
        device->start_sound(1, 100, true);
        device->start_sound(2, 130, true);
        device->start_sound(0, 300, true);
        unbound->Play(0, 0, 0);
    }

    Mixer& mixer() { return output.mixer(); }

    void play(std::size_t blocks, bool with_stems) {
        for (std::size_t b = 0; b < blocks; ++b) {
            std::vector<float> block(2 * kBlock);
            std::vector<float> block_stems(Mixer::kSounds * kStem, 7.0f);
            const auto now = std::chrono::steady_clock::now();
            if (with_stems) {
                mixer().render_stems(block, block_stems, now);
            } else {
                mixer().render_mix(block, now);
            }
            mix.insert(mix.end(), block.begin(), block.end());
            stems.insert(stems.end(), block_stems.begin(), block_stems.end());
            sounding.push_back(mixer().stems_sounding());
        }
    }

    // Sample i of the whole render in sound k's stem; one that did not sound
    // in that block is silence.
    float stem(std::size_t k, std::size_t i) const {
        const std::size_t block = i / kStem;
        return (sounding[block] >> k & 1u) != 0
                   ? stems[block * Mixer::kSounds * kStem + k * kStem + i % kStem]
                   : 0.0f;
    }
};

TEST(MixerStems, EachSoundAloneOnItsHitsAndChokesAndTogetherTheMix) {
    StemRig stems;
    StemRig plain;
    stems.play(3, true);
    plain.play(3, false);
    for (std::size_t i = 0; i < stems.mix.size(); ++i) {
        float sum = 0;
        for (std::size_t k = 0; k < Mixer::kSounds; ++k) {
            sum += stems.stem(k, i);
        }
        ASSERT_NEAR(stems.mix[i], sum + kLevel / 2, 1e-6f) << "sample " << i;
        ASSERT_NEAR(stems.mix[i], plain.mix[i], 1e-6f) << "sample " << i;
    }
    EXPECT_EQ(stems.stem(1, 2 * 99), 0.0f);
    EXPECT_NEAR(stems.stem(1, 2 * 100), 2 * kLevel, 1e-4f) << "the open hi-hat";
    EXPECT_NEAR(stems.stem(1, 2 * 299), 2 * kLevel, 1e-4f);
    EXPECT_EQ(stems.stem(1, 2 * 300), 0.0f) << "closed by the closed one";
    EXPECT_EQ(stems.stem(0, 2 * 299), 0.0f);
    EXPECT_NEAR(stems.stem(0, 2 * 300), kLevel, 1e-4f);
    EXPECT_EQ(stems.stem(2, 2 * 129), 0.0f);
    // Its own pan and pitch: the right side 6 dB down, the ramp at 30 kHz.
    const std::size_t later = 2 * (130 + 441);
    EXPECT_NEAR(stems.stem(2, later), 441 * 30000.0f / 44100 / 20000, 1e-3f);
    EXPECT_NEAR(stems.stem(2, later + 1), stems.stem(2, later) * 0.501f, 1e-3f);
    EXPECT_EQ(stems.stem(5, 2 * 400), 0.0f) << "a sound without a sample";
}

TEST(MixerStems, OnlyTheStemsOfSoundsThatSoundAreWritten) {
    StemRig rig;
    rig.play(3, true);
    EXPECT_EQ(rig.sounding[0], 0b110) << "the open hi-hat and the snare";
    EXPECT_EQ(rig.sounding[1], 0b111) << "and the closed hi-hat from frame 300";
    EXPECT_EQ(rig.sounding[2], 0b101) << "which closed the open one";
    const std::size_t third = 2 * Mixer::kSounds * kStem;
    EXPECT_EQ(rig.stems[third + 1 * kStem], 7.0f) << "left as it was";
    EXPECT_EQ(rig.stems[third + 3 * kStem], 7.0f);

    // Stems too short for all sounds: the mix alone, the stems untouched.
    std::vector<float> mix(2 * kBlock);
    std::vector<float> short_stems(Mixer::kSounds * kStem - 1, 7.0f);
    rig.mixer().render_stems(mix, short_stems, std::chrono::steady_clock::now());
    EXPECT_EQ(rig.mixer().stems_sounding(), 0);
    EXPECT_NEAR(mix[0], kLevel + kLevel / 2 + (3.0f * kBlock - 130) * 30000 / 44100 / 20000, 1e-3f);
    EXPECT_TRUE(
        std::all_of(short_stems.begin(), short_stems.end(), [](float s) { return s == 7.0f; }));
}

} // namespace
} // namespace qx375
