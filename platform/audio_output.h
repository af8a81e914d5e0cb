#pragma once

#include "platform/mixer.h"
#include "platform/sound_device.h"

#include <memory>
#include <span>
#include <string_view>

namespace qx375 {

enum class AudioBackendKind {
    automatic,  // the sound card through SDL, or the null clock when there is none
    sdl,        // the sound card through SDL; the null clock when it cannot open
    null_clock, // no sound card: a thread renders in real time and throws the sound away
    manual,     // nothing runs by itself; pull() renders (tests)
};

// Something that calls Mixer::render in real time. It runs from construction
// to destruction.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    // The frames of one render, as the output really asks for them.
    virtual std::uint32_t block_frames() const = 0;
};

std::unique_ptr<AudioBackend> open_sdl_backend(Mixer& mixer, std::uint32_t block_frames);
std::unique_ptr<AudioBackend> open_null_backend(Mixer& mixer, std::uint32_t block_frames);

// The sound output of the program: the mixer and what drives it. Devices made
// by create_device all play through it.
class AudioOutput : public SoundSystem {
public:
    static constexpr std::uint32_t kRate = 44100;
    // The mixer renders 5.8 ms at a time; what keeps a busy desktop's sound
    // server from running dry is the queue it keeps (sdl_backend.cpp).
    static constexpr std::uint32_t kBlockFrames = 256;

    explicit AudioOutput(AudioBackendKind kind = AudioBackendKind::automatic,
                         std::uint32_t block_frames = kBlockFrames);
    ~AudioOutput() override;

    // The backend that actually runs.
    AudioBackendKind backend() const { return kind_; }
    std::string_view backend_name() const;

    // How many frames the output may have rendered beyond the frame its clock
    // says is playing: a command stamped closer than this to the clock may
    // find its frame already mixed. Two blocks, since a server that fell
    // behind asks for blocks back to back.
    std::uint32_t render_lead_frames() const { return 2 * block_frames_; }
    std::uint32_t block_frames() const { return block_frames_; }

    DsResult create_device(std::unique_ptr<SoundDevice>& device) override;

    Mixer& mixer() { return mixer_; }
    const AudioClock& clock() const { return mixer_.clock(); }
    CaptureTap& capture() { return mixer_.capture(); }

    // The wave-out volume: left level in the low 16 bits, right in the high.
    std::uint32_t volume() const { return mixer_.master_volume(); }
    void set_volume(std::uint32_t levels) { mixer_.set_master_volume(levels); }

    // Manual backend only: renders interleaved stereo frames now.
    void pull(std::span<float> stereo);

private:
    Mixer mixer_;
    AudioBackendKind kind_;
    std::uint32_t block_frames_;
    std::unique_ptr<AudioBackend> backend_;
};

} // namespace qx375
