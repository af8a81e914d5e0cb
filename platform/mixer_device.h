#pragma once

#include "platform/mixer.h"
#include "platform/sound_device.h"

namespace qx375 {

// Sound buffers whose samples the mixer plays. Buffers hold on to the mixer,
// not to the device, so they may outlive the device that made them.
class MixerDevice : public SoundDevice {
public:
    explicit MixerDevice(Mixer& mixer) : mixer_(mixer) {}

    DsResult CreateSoundBuffer(const BufferDesc& desc,
                               std::unique_ptr<SoundBuffer>& buffer) override;
    DsResult SetCooperativeLevel(WindowHandle window, std::uint32_t level) override;
    DsResult SetSpeakerConfig(std::uint32_t config) override;
    void set_target_frame(std::uint64_t frame) override { frame_ = frame; }
    void bind_sound(int sound, SoundBuffer* buffer, int choke_group) override;
    DsResult start_sound(int sound, std::uint64_t frame, bool rewind) override;
    void end_notes(std::uint64_t frame) override;

private:
    Mixer& mixer_;
    std::uint64_t frame_ = 0; // the frame buffer calls act on
};

// Volume and pan as the two channel gains: volume in hundredths of a dB on
// both sides, pan as the attenuation of the opposite side only.
struct StereoGains {
    float left = 1;
    float right = 1;
};
StereoGains stereo_gains(std::int32_t volume, std::int32_t pan);

} // namespace qx375
