#include "audio_rig.h"

#include <gtest/gtest.h>

namespace qx375 {
namespace {

using testing::AudioRig;
using testing::format_record;

BufferDesc secondary(const std::vector<std::uint8_t>& format, std::uint32_t bytes,
                     std::uint32_t flags = 0xE0) {
    BufferDesc desc;
    desc.size = kBufferDescSize;
    desc.flags = flags;
    desc.buffer_bytes = bytes;
    desc.format = format;
    return desc;
}

TEST(MixerDevice, CreateRefusesBadDescriptions) {
    AudioRig rig;
    const auto pcm = format_record(1, 2, 44100, 4, 16);
    std::unique_ptr<SoundBuffer> b;
    auto desc = secondary(pcm, 400);
    desc.size = 40;
    EXPECT_EQ(rig.device->CreateSoundBuffer(desc, b), DSERR_INVALIDPARAM);
    EXPECT_EQ(rig.device->CreateSoundBuffer(secondary({}, 400), b), DSERR_INVALIDPARAM)
        << "no format record";
    EXPECT_EQ(rig.device->CreateSoundBuffer(secondary(pcm, 0), b), DSERR_INVALIDPARAM);
    EXPECT_EQ(rig.device->CreateSoundBuffer(secondary(pcm, DSBSIZE_MAX + 1), b),
              DSERR_INVALIDPARAM);
    EXPECT_EQ(rig.device->CreateSoundBuffer(secondary(format_record(2, 2, 44100, 4, 4), 400), b),
              DSERR_BADFORMAT);
    EXPECT_FALSE(b);

    BufferDesc primary;
    primary.size = kBufferDescSize;
    primary.flags = DSBCAPS_PRIMARYBUFFER;
    ASSERT_EQ(rig.device->CreateSoundBuffer(primary, b), DS_OK);
    EXPECT_EQ(b->SetFormat(pcm), DS_OK);
    EXPECT_EQ(b->SetFormat(format_record(1, 2, 8000, 4, 16)), DSERR_BADFORMAT);
}

TEST(MixerDevice, ControlsCheckTheirCapabilityAndRange) {
    AudioRig rig;
    std::unique_ptr<SoundBuffer> b;
    const auto pcm = format_record(1, 2, 44100, 4, 16);
    ASSERT_EQ(rig.device->CreateSoundBuffer(secondary(pcm, 400, 0), b), DS_OK);
    EXPECT_EQ(b->SetVolume(0), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(b->SetPan(0), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(b->SetFrequency(0), DSERR_CONTROLUNAVAIL);

    ASSERT_EQ(rig.device->CreateSoundBuffer(secondary(pcm, 400), b), DS_OK);
    EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetPan(10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetPan(-10000), DS_OK);
    EXPECT_EQ(b->SetCurrentPosition(399), DS_OK);
    EXPECT_EQ(b->SetCurrentPosition(400), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Play(0, 0, 1), DSERR_UNSUPPORTED) << "looping";
    EXPECT_EQ(b->Play(1, 0, 0), DSERR_INVALIDPARAM);
}

TEST(MixerDevice, LockWrapsAndUnlockTakesOnlyItsOwnRegions) {
    AudioRig rig;
    std::unique_ptr<SoundBuffer> b;
    ASSERT_EQ(rig.device->CreateSoundBuffer(secondary(format_record(1, 2, 44100, 4, 16), 400), b),
              DS_OK);
    LockedRegions r;
    ASSERT_EQ(b->Lock(300, 200, r, 0), DS_OK);
    EXPECT_EQ(r.first.size(), 100u);
    EXPECT_EQ(r.second.size(), 100u);
    EXPECT_EQ(r.first.data(), r.second.data() + 300);
    EXPECT_EQ(b->Lock(400, 4, r, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(0, 401, r, 0), DSERR_INVALIDPARAM);

    std::uint8_t foreign[8];
    EXPECT_EQ(b->Unlock({std::span<std::uint8_t>(foreign), {}}), DSERR_INVALIDPARAM);
}

TEST(MixerDevice, RunsOutOfVoicesWithAnAnswerNotACrash) {
    AudioRig rig;
    const auto pcm = format_record(1, 2, 44100, 4, 16);
    std::vector<std::unique_ptr<SoundBuffer>> buffers(Mixer::kMaxVoices);
    for (auto& b : buffers) {
        ASSERT_EQ(rig.device->CreateSoundBuffer(secondary(pcm, 40), b), DS_OK);
    }
    std::unique_ptr<SoundBuffer> one_more;
    EXPECT_EQ(rig.device->CreateSoundBuffer(secondary(pcm, 40), one_more), DSERR_ALLOCATED);
    buffers.pop_back();
    EXPECT_EQ(rig.device->CreateSoundBuffer(secondary(pcm, 40), one_more), DS_OK);
}

} // namespace
} // namespace qx375
