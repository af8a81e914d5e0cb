#include "platform/mixer_device.h"

#include "platform/wave_format.h"

#include <cmath>
#include <memory>
#include <new>
#include <span>
#include <vector>

namespace qx375 {
namespace {

constexpr std::uint32_t kLockFromWriteCursor = 0x1;
constexpr std::uint32_t kLockEntireBuffer = 0x2;

float attenuation(std::int32_t hundredths_db) {
    return hundredths_db <= DSBVOLUME_MIN
               ? 0.0f
               : static_cast<float>(std::pow(10.0, hundredths_db / 2000.0));
}

// The device's own primary buffer: it only takes a format, which changes
// nothing, since the output runs in the mixer's format.
class PrimaryBuffer : public SoundBuffer {
public:
    explicit PrimaryBuffer(std::uint32_t rate) : rate_(rate) {}

    DsResult Stop() override { return DSERR_INVALIDCALL; }
    DsResult SetCurrentPosition(std::uint32_t) override { return DSERR_INVALIDCALL; }
    DsResult Play(std::uint32_t, std::uint32_t, std::uint32_t) override {
        return DSERR_INVALIDCALL;
    }
    DsResult SetVolume(std::int32_t) override { return DSERR_CONTROLUNAVAIL; }
    DsResult SetPan(std::int32_t) override { return DSERR_CONTROLUNAVAIL; }
    DsResult SetFrequency(std::uint32_t) override { return DSERR_CONTROLUNAVAIL; }
    DsResult Lock(std::uint32_t, std::uint32_t, LockedRegions&, std::uint32_t) override {
        return DSERR_INVALIDCALL;
    }
    DsResult Unlock(const LockedRegions&) override { return DSERR_INVALIDCALL; }
    DsResult SetFormat(FormatBytes format) override {
        SampleLayout layout;
        const DsResult result = parse_wave_format(format, layout);
        if (failed(result)) {
            return result;
        }
        return layout.rate == rate_ && layout.channels == 2 &&
                       layout.encoding == SampleEncoding::pcm_s16
                   ? DS_OK
                   : DSERR_BADFORMAT;
    }

private:
    std::uint32_t rate_;
};

class MixerBuffer : public SoundBuffer {
public:
    MixerBuffer(Mixer& mixer, const std::uint64_t& frame, VoiceId voice, std::uint32_t flags,
                const SampleLayout& layout, std::uint32_t bytes)
        : mixer_(mixer), frame_(frame), voice_(voice), flags_(flags), layout_(layout),
          bytes_(bytes) {}

    VoiceId voice() const { return voice_; }

    ~MixerBuffer() override { mixer_.release_voice(voice_); }

    DsResult Stop() override { return send(MixerCommand::Op::stop); }

    DsResult SetCurrentPosition(std::uint32_t bytes) override {
        if (bytes >= bytes_.size()) {
            return DSERR_INVALIDPARAM;
        }
        return send(MixerCommand::Op::position, bytes / layout_.block_align);
    }

    DsResult Play(std::uint32_t reserved, std::uint32_t priority, std::uint32_t flags) override {
        if (reserved != 0 || priority != 0) {
            return DSERR_INVALIDPARAM;
        }
        if (flags != 0) {
            return DSERR_UNSUPPORTED; // these buffers play once, never looped
        }
        return send(MixerCommand::Op::play);
    }

    DsResult SetVolume(std::int32_t volume) override {
        if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) {
            return DSERR_CONTROLUNAVAIL;
        }
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) {
            return DSERR_INVALIDPARAM;
        }
        volume_ = volume;
        return send_gains();
    }

    DsResult SetPan(std::int32_t pan) override {
        if ((flags_ & DSBCAPS_CTRLPAN) == 0) {
            return DSERR_CONTROLUNAVAIL;
        }
        if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) {
            return DSERR_INVALIDPARAM;
        }
        pan_ = pan;
        return send_gains();
    }

    DsResult SetFrequency(std::uint32_t hz) override {
        if ((flags_ & DSBCAPS_CTRLFREQUENCY) == 0) {
            return DSERR_CONTROLUNAVAIL;
        }
        if (hz != DSBFREQUENCY_ORIGINAL && (hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX)) {
            return DSERR_INVALIDPARAM;
        }
        frequency_ = hz;
        return send(MixerCommand::Op::rate, hz);
    }

    DsResult Lock(std::uint32_t offset, std::uint32_t bytes, LockedRegions& regions,
                  std::uint32_t flags) override {
        const std::size_t size = bytes_.size();
        if (flags & kLockEntireBuffer) {
            offset = 0;
            bytes = static_cast<std::uint32_t>(size);
        } else if (flags & kLockFromWriteCursor) {
            offset = 0;
        }
        if (bytes == 0 || bytes > size || offset >= size) {
            return DSERR_INVALIDPARAM;
        }
        const std::size_t first = std::min<std::size_t>(bytes, size - offset);
        regions.first = std::span<std::uint8_t>(bytes_).subspan(offset, first);
        regions.second = std::span<std::uint8_t>(bytes_).first(bytes - first);
        return DS_OK;
    }

    DsResult Unlock(const LockedRegions& regions) override {
        if (!inside(regions.first) || !inside(regions.second)) {
            return DSERR_INVALIDPARAM;
        }
        try {
            auto data = std::make_unique<SampleData>();
            data->frames = static_cast<std::uint32_t>(bytes_.size() / layout_.block_align);
            data->channels = layout_.channels;
            data->rate = layout_.rate;
            const std::size_t values = (std::size_t{data->frames} + 1) * layout_.channels;
            data->samples = std::make_unique_for_overwrite<float[]>(values);
            decode_samples(layout_, bytes_, std::span<float>(data->samples.get(), values));
            MixerCommand attach = command(MixerCommand::Op::attach, frequency_);
            attach.data = data.get();
            if (!mixer_.submit(attach)) {
                return DSERR_GENERIC;
            }
            data.release(); // the mixer owns it now and hands it back when done
        } catch (const std::bad_alloc&) {
            return DSERR_OUTOFMEMORY;
        }
        return DS_OK;
    }

    DsResult SetFormat(FormatBytes) override { return DSERR_INVALIDCALL; }

private:
    bool inside(std::span<std::uint8_t> region) const {
        if (region.empty()) {
            return true;
        }
        const std::uint8_t* begin = bytes_.data();
        return region.data() >= begin && region.data() + region.size() <= begin + bytes_.size();
    }

    MixerCommand command(MixerCommand::Op op, std::uint32_t value = 0) const {
        const StereoGains gains = stereo_gains(volume_, pan_);
        MixerCommand c;
        c.op = op;
        c.voice = voice_;
        c.value = value;
        c.left = gains.left;
        c.right = gains.right;
        c.frame = frame_;
        return c;
    }

    DsResult send(MixerCommand::Op op, std::uint32_t value = 0) {
        return mixer_.submit(command(op, value)) ? DS_OK : DSERR_GENERIC;
    }

    DsResult send_gains() { return send(MixerCommand::Op::gains); }

    Mixer& mixer_;
    const std::uint64_t& frame_; // the device's: where its buffer calls act
    VoiceId voice_;
    std::uint32_t flags_;
    SampleLayout layout_;
    std::vector<std::uint8_t> bytes_;
    std::int32_t volume_ = DSBVOLUME_MAX;
    std::int32_t pan_ = 0;
    std::uint32_t frequency_ = DSBFREQUENCY_ORIGINAL;
};

} // namespace

StereoGains stereo_gains(std::int32_t volume, std::int32_t pan) {
    const float gain = attenuation(volume);
    return {gain * (pan > 0 ? attenuation(-pan) : 1.0f),
            gain * (pan < 0 ? attenuation(pan) : 1.0f)};
}

DsResult MixerDevice::CreateSoundBuffer(const BufferDesc& desc,
                                        std::unique_ptr<SoundBuffer>& buffer) {
    if (desc.size != kBufferDescSize) {
        return DSERR_INVALIDPARAM;
    }
    if (desc.flags & DSBCAPS_PRIMARYBUFFER) {
        if (desc.buffer_bytes != 0 || !desc.format.empty()) {
            return DSERR_INVALIDPARAM;
        }
        buffer = std::make_unique<PrimaryBuffer>(mixer_.rate());
        return DS_OK;
    }
    SampleLayout layout;
    const DsResult result = parse_wave_format(desc.format, layout);
    if (failed(result)) {
        return result;
    }
    if (desc.buffer_bytes < DSBSIZE_MIN || desc.buffer_bytes > DSBSIZE_MAX ||
        desc.buffer_bytes < layout.block_align) {
        return DSERR_INVALIDPARAM;
    }
    const std::optional<VoiceId> voice = mixer_.acquire_voice();
    if (!voice) {
        return DSERR_ALLOCATED;
    }
    try {
        buffer = std::make_unique<MixerBuffer>(mixer_, frame_, *voice, desc.flags, layout,
                                               desc.buffer_bytes);
    } catch (const std::bad_alloc&) {
        mixer_.release_voice(*voice);
        return DSERR_OUTOFMEMORY;
    }
    return DS_OK;
}

DsResult MixerDevice::SetCooperativeLevel(WindowHandle, std::uint32_t level) {
    return level >= DSSCL_NORMAL && level <= DSSCL_WRITEPRIMARY ? DS_OK : DSERR_INVALIDPARAM;
}

DsResult MixerDevice::SetSpeakerConfig(std::uint32_t) {
    return DS_OK;
}

void MixerDevice::bind_sound(int sound, SoundBuffer* buffer, int choke_group) {
    MixerCommand bind;
    bind.op = MixerCommand::Op::bind;
    bind.sound = static_cast<std::uint8_t>(sound);
    bind.group = static_cast<std::uint8_t>(choke_group);
    // Buffers of this device are the mixer's; anything else plays nothing.
    const auto* own = dynamic_cast<const MixerBuffer*>(buffer);
    bind.voice = own != nullptr ? own->voice() : VoiceId{Mixer::kMaxVoices, 0};
    mixer_.submit(bind);
}

DsResult MixerDevice::start_sound(int sound, std::uint64_t frame, bool rewind) {
    MixerCommand start;
    start.op = MixerCommand::Op::start;
    start.sound = static_cast<std::uint8_t>(sound);
    start.frame = frame;
    start.rewind = rewind;
    return mixer_.submit(start) ? DS_OK : DSERR_GENERIC;
}

void MixerDevice::end_notes(std::uint64_t frame) {
    MixerCommand end;
    end.op = MixerCommand::Op::notes_off;
    end.frame = frame;
    mixer_.submit(end);
}

} // namespace qx375
