#include "audio_rig.h"
#include "midi/note_map.h"
#include "platform/mixer_device.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375 {
namespace {

using ::testing::_;
using testing::AudioRig;
using ::testing::ElementsAre;
using ::testing::FieldsAre;

constexpr float kTol = 2e-4f;
constexpr float kLevel = 0.5f;

bool sounds(const std::vector<float>& out, std::size_t frame) {
    return out[2 * frame] != 0.0f;
}

// A note that goes out on `frame`, not a message given whole.
auto note_at(std::uint32_t frame, int note, int velocity) {
    return FieldsAre(frame, note, velocity, 0, _);
}

auto message_at(std::uint32_t frame, std::array<std::uint8_t, 3> bytes, int size) {
    return FieldsAre(frame, _, _, size, bytes);
}

// Two hi-hats of one choke group and a snare, as the program binds them, in
// a mixer whose every render the test sees with its started notes.
struct HitRig : AudioRig {
    std::unique_ptr<SoundBuffer> closed = mono(std::vector<float>(20000, kLevel));
    std::unique_ptr<SoundBuffer> open = mono(std::vector<float>(20000, kLevel));
    std::unique_ptr<SoundBuffer> snare = mono(std::vector<float>(20000, kLevel));
    std::vector<StartedNote> notes; // with offsets from frame 0, and the messages given

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
                ElementsAre(note_at(100, 46, 127), note_at(130, 38, 127), note_at(300, 42, 127)));
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
    for (const auto& [velocity, frame] : {std::pair(127, 300), std::pair(64, 400)}) {
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
    EXPECT_THAT(rig.notes, ElementsAre(note_at(10, 38, 127), note_at(600, Mixer::kAllNotes, 0)));
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
          MixerCommand::Op::out_note, MixerCommand::Op::midi_out}) {
        bad.op = op;
        bad.voice = {0xFFFF, 1};
        bad.sound = 200;
        bad.value = 100000;
        EXPECT_TRUE(rig.mixer().submit(bad));
    }
    MixerCommand too_long;
    too_long.op = MixerCommand::Op::midi_out;
    too_long.value = 4u << 24 | 0xF8F8F8;
    EXPECT_TRUE(rig.mixer().submit(too_long));
    EXPECT_FALSE(rig.mixer().start_at(16, 0, 127));
    rig.device->bind_sound(4, nullptr, 0);
    EXPECT_EQ(rig.device->start_sound(4, 0, true), DS_OK) << "a sound without a sample";
    const auto out = rig.play(512);
    EXPECT_FALSE(sounds(out, 10));
    EXPECT_TRUE(rig.notes.empty());
}

TEST(MixerMessages, GoOutOnTheirFrameInOrderWithTheHitsOfTheirBlock) {
    HitRig rig;
    const std::uint8_t clock[] = {0xF8};
    const std::uint8_t start[] = {0xFA};
    const std::uint8_t place[] = {0xF2, 0x10, 0x7F};
    ASSERT_TRUE(rig.output.send_midi(0, place)) << "as soon as possible";
    ASSERT_TRUE(rig.output.send_midi(100, clock));
    ASSERT_EQ(rig.device->start_sound(2, 130, true), DS_OK);
    ASSERT_TRUE(rig.output.send_midi(130, start)) << "after the hit given before it";
    ASSERT_TRUE(rig.output.send_midi(255, clock));
    ASSERT_TRUE(rig.output.send_midi(256, clock)) << "the first frame of the next block";
    rig.play(512);
    EXPECT_THAT(rig.notes,
                ElementsAre(message_at(0, {0xF2, 0x10, 0x7F}, 3), message_at(100, {0xF8, 0, 0}, 1),
                            note_at(130, 38, 127), message_at(130, {0xFA, 0, 0}, 1),
                            message_at(255, {0xF8, 0, 0}, 1), message_at(256, {0xF8, 0, 0}, 1)));
}

// Ten seconds of clocks at 300 BPM, 24 to the beat, queued at once with a
// hit on every beat: each goes out on its own frame.
TEST(MixerMessages, ManyClocksQueuedAheadEachGoOutOnItsFrame) {
    HitRig rig;
    const double frames_per_clock = AudioOutput::kRate * 60.0 / 300 / 24;
    const std::uint8_t clock[] = {0xF8};
    std::vector<std::uint32_t> clocks;
    for (int k = 0; k < 1200; ++k) {
        clocks.push_back(static_cast<std::uint32_t>(1000 + k * frames_per_clock));
        ASSERT_TRUE(rig.output.send_midi(clocks.back(), clock)) << k;
        if (k % 24 == 0) {
            ASSERT_EQ(rig.device->start_sound(2, clocks.back(), true), DS_OK);
        }
    }
    rig.play((clocks.back() / AudioOutput::kBlockFrames + 2) * AudioOutput::kBlockFrames);
    std::vector<std::uint32_t> out;
    std::size_t hits = 0;
    std::uint32_t last = 0;
    for (const StartedNote& n : rig.notes) {
        EXPECT_GE(n.offset, last) << "in frame order";
        last = n.offset;
        if (n.size == 0) {
            EXPECT_EQ(n.offset, clocks[24 * hits]) << "hit " << hits;
            ++hits;
        } else {
            out.push_back(n.offset);
        }
    }
    EXPECT_EQ(out, clocks);
    EXPECT_EQ(hits, 50u);
}

TEST(MixerMessages, OnlyOneWholeMessageOfUpToThreeBytesIsSent) {
    HitRig rig;
    const std::vector<std::vector<std::uint8_t>> refused = {
        {},                       // nothing
        {0xF8, 0xF8, 0xF8, 0xF8}, // too long
        {0x26},                   // a data byte with no status
        {0xF8, 0x10},             // a clock and a stray data byte
        {0xF2, 0x10},             // a song position cut short
        {0xF0, 0x01, 0xF7},       // SysEx
        {0x99, 38, 0xC8},         // a note cut by another status
        {0xF4},                   // undefined
    };
    for (const auto& bytes : refused) {
        EXPECT_FALSE(rig.output.send_midi(0, bytes)) << bytes.size() << " bytes";
    }
    const std::vector<std::vector<std::uint8_t>> sent = {
        {0xF8}, {0xFA}, {0xFB}, {0xFC}, {0xF2, 0x00, 0x7F}, {0x99, 38, 100}, {0xC9, 5},
    };
    for (const auto& bytes : sent) {
        EXPECT_TRUE(rig.output.send_midi(0, bytes)) << int(bytes[0]);
    }
    rig.play(256);
    ASSERT_EQ(rig.notes.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(
            std::vector(rig.notes[i].bytes.begin(), rig.notes[i].bytes.begin() + rig.notes[i].size),
            sent[i]);
    }
}

} // namespace
} // namespace qx375
