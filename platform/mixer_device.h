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
    void set_target_frame(std::uint64_t frame) override { mixer_.set_target_frame(frame); }

private:
    Mixer& mixer_;
};

// Volume and pan as the two channel gains: volume in hundredths of a dB on
// both sides, pan as the attenuation of the opposite side only.
struct StereoGains {
    float left = 1;
    float right = 1;
};
StereoGains stereo_gains(std::int32_t volume, std::int32_t pan);

} // namespace qx375
