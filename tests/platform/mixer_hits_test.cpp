#include "audio_rig.h"
#include "midi/note_map.h"
#include "platform/mixer_device.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375 {
namespace {

using testing::AudioRig;
using ::testing::ElementsAre;

constexpr float kTol = 2e-4f;
constexpr float kLevel = 0.5f;

bool sounds(const std::vector<float>& out, std::size_t frame) {
    return out[2 * frame] != 0.0f;
}

// Two hi-hats of one choke group and a snare, as the program binds them, in
// a mixer whose every render the test sees with its started notes.
struct HitRig : AudioRig {
    std::unique_ptr<SoundBuffer> closed = mono(std::vector<float>(20000, kLevel));
    std::unique_ptr<SoundBuffer> open = mono(std::vector<float>(20000, kLevel));
    std::unique_ptr<SoundBuffer> snare = mono(std::vector<float>(20000, kLevel));
    std::vector<StartedNote> notes; // with offsets from frame 0

    HitRig() {
        device->bind_sound(0, closed.get(), 1);
        device->bind_sound(1, open.get(), 1);
        device->bind_sound(2, snare.get(), 0);
        output.set_note_map(midi::NoteMap::general_midi());
    }

    Mixer& mixer() { return output.mixer(); }

    std::vector<float> play(std::size_t frames) {
        std::vector<float> out(2 * frames);
        for (std::size_t done = 0; done < frames; done += AudioOutput::kBlockFrames) {
            const std::uint64_t start = mixer().frame();
            output.pull(std::span<float>(out).subspan(2 * done, 2 * AudioOutput::kBlockFrames));
            for (StartedNote n : mixer().started_notes()) {
                n.offset += static_cast<std::uint32_t>(start);
                notes.push_back(n);
            }
        }
        return out;
    }
};

TEST(MixerHits, AHitStartsOnItsFrameAndAClosedHiHatCutsTheOpenOne) {
    HitRig rig;
    ASSERT_EQ(rig.device->start_sound(1, 100, true), DS_OK);
    ASSERT_EQ(rig.device->start_sound(2, 130, true), DS_OK);
    ASSERT_EQ(rig.device->start_sound(0, 300, true), DS_OK);
    const auto out = rig.play(512);
    EXPECT_FALSE(sounds(out, 99));
    EXPECT_NEAR(out[2 * 100], kLevel, kTol) << "the open hi-hat alone";
    EXPECT_NEAR(out[2 * 299], 2 * kLevel, kTol) << "open hi-hat and snare";
    EXPECT_NEAR(out[2 * 300], 2 * kLevel, kTol) << "the closed one replaces the open one";
    EXPECT_EQ(rig.mixer().sounding_voices(), 2u);
    EXPECT_THAT(rig.notes,
                ElementsAre(::testing::FieldsAre(100, 46, 127), ::testing::FieldsAre(130, 38, 127),
                            ::testing::FieldsAre(300, 42, 127)));
}

TEST(MixerHits, AnAuditionGoesOnFromWhereTheSoundStopped) {
    HitRig rig;
    auto ramp_buffer = rig.mono(testing::ramp(1000));
    rig.device->bind_sound(5, ramp_buffer.get(), 0);
    rig.device->start_sound(5, 0, true);
    rig.play(256);
    ramp_buffer->Stop();
    rig.device->start_sound(5, 0, false);
    const auto out = rig.play(256);
    EXPECT_NEAR(out[0], 256.0f / 1000.0f, 2e-3f);
}

TEST(MixerHits, ANoteFromOutsidePlaysAtItsVelocityAndDoesNotGoOutAgain) {
    HitRig rig;
    rig.play(256); // the bindings and the map are in place
    for (const auto [velocity, frame] : {std::pair(127, 300), std::pair(64, 400)}) {
        ASSERT_TRUE(rig.mixer().start_at(2, frame, static_cast<std::uint8_t>(velocity)));
    }
    const auto out = rig.play(256);
    EXPECT_NEAR(out[2 * (300 - 256)], kLevel, kTol);
    EXPECT_NEAR(out[2 * (400 - 256)], kLevel * (64.0f / 127) * (64.0f / 127), kTol)
        << "velocity 64 plays about 11.9 dB down, and restarts the sound";
    EXPECT_TRUE(rig.notes.empty());
    EXPECT_EQ(rig.mixer().sound_of_note(38), 2);
    EXPECT_EQ(rig.mixer().sound_of_note(99), Mixer::kNoSound);
}

TEST(MixerHits, EndingTheNotesIsReportedOnItsFrame) {
    HitRig rig;
    rig.device->start_sound(2, 10, true);
    rig.device->end_notes(600);
    rig.play(768);
    EXPECT_THAT(rig.notes, ElementsAre(::testing::FieldsAre(10, 38, 127),
                                       ::testing::FieldsAre(600, Mixer::kAllNotes, 0)));
}

TEST(MixerHits, APreparedRateKeepsEverySampleAtItsOwnPitch) {
    for (const std::uint32_t rate : {44100u, 48000u, 96000u}) {
        HitRig rig;
        rig.mixer().prepare(rate, 4096);
        auto click = rig.mono(std::vector<float>(441, kLevel)); // 10 ms at 44.1 kHz
        rig.device->bind_sound(3, click.get(), 0);
        rig.device->start_sound(3, 0, true);
        const auto out = rig.play(2048);
        const std::size_t last = rate / 100 - 1;
        EXPECT_TRUE(sounds(out, last)) << rate;
        EXPECT_FALSE(sounds(out, last + 2)) << rate << ": 10 ms, whatever the output's rate";
    }
}

TEST(MixerHits, CommandsNamingNoSoundVoiceOrNoteAreIgnored) {
    HitRig rig;
    MixerCommand bad;
    for (const MixerCommand::Op op :
         {MixerCommand::Op::stop, MixerCommand::Op::play, MixerCommand::Op::gains,
          MixerCommand::Op::bind, MixerCommand::Op::start, MixerCommand::Op::map_note,
          MixerCommand::Op::out_note}) {
        bad.op = op;
        bad.voice = {0xFFFF, 1};
        bad.sound = 200;
        bad.value = 100000;
        EXPECT_TRUE(rig.mixer().submit(bad));
    }
    EXPECT_FALSE(rig.mixer().start_at(16, 0, 127));
    rig.device->bind_sound(4, nullptr, 0);
    EXPECT_EQ(rig.device->start_sound(4, 0, true), DS_OK) << "a sound without a sample";
    const auto out = rig.play(512);
    EXPECT_FALSE(sounds(out, 10));
    EXPECT_TRUE(rig.notes.empty());
}

} // namespace
} // namespace qx375
