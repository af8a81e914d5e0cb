#pragma once

#include "platform/audio_clock.h"
#include "platform/capture_tap.h"
#include "platform/spsc_ring.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace qx375 {

// A buffer's samples as the mixer plays them: floats, one or two channels,
// followed by one silent frame so interpolation never reads past the end.
struct SampleData {
    std::vector<float> samples;
    std::uint32_t frames = 0;
    std::uint16_t channels = 1;
    std::uint32_t rate = 0;
};

// A voice slot and the generation it was handed out in; a command for an
// older generation of the slot is ignored.
struct VoiceId {
    std::uint16_t index = 0;
    std::uint16_t generation = 0;
};

struct MixerCommand {
    enum class Op : std::uint8_t { attach, detach, stop, position, play, gains, rate };
    Op op = Op::stop;
    VoiceId voice;
    std::uint32_t value = 0; // position in frames, or rate in Hz (0: the sample's own)
    float left = 1;
    float right = 1;
    SampleData* data = nullptr; // attach only; the mixer hands it back when done
    std::uint64_t frame = 0;    // output frame to act on; 0: as soon as possible
    std::uint64_t order = 0;    // keeps the commands of one frame in the order given
};

// Mixes the started voices into the output. Two sides: the control thread
// (the GUI) hands out voices and submits commands; the audio thread renders.
// They meet only in lock-free rings, so render() never allocates, frees,
// locks or waits.
class Mixer {
public:
    static constexpr std::size_t kMaxVoices = 256;
    static constexpr std::size_t kCommandCapacity = 4096;
    static constexpr std::size_t kPendingCapacity = 2048;

    explicit Mixer(std::uint32_t rate);
    ~Mixer(); // only once no thread renders any more
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    std::uint32_t rate() const { return rate_; }

    // Control thread.
    std::optional<VoiceId> acquire_voice();
    void release_voice(VoiceId voice);
    // Commands submitted from now on act on this frame (0: as soon as possible).
    void set_target_frame(std::uint64_t frame) { target_frame_ = frame; }
    // False when the command ring is full; an attach's data then stays the caller's.
    bool submit(MixerCommand command);
    // Frees the sample memory the audio thread has let go of.
    void collect_retired();

    // Audio thread: renders interleaved stereo frames starting at `time`.
    void render(std::span<float> stereo, std::chrono::steady_clock::time_point time);
    // The same offline: the song's own mix, as the capture tap would take it,
    // without the master volume and the output's clipping, and no capture.
    void render_mix(std::span<float> stereo, std::chrono::steady_clock::time_point time);
    // The first frame of the next render: for the thread that renders, or for
    // any thread while none does.
    std::uint64_t frame() const { return frame_; }
    // How many voices were still sounding at the end of the last render.
    std::uint32_t sounding_voices() const { return sounding_.load(std::memory_order_relaxed); }
    // Audio thread: nothing sounds, and no command waits to act.
    bool quiet() const {
        return sounding_voices() == 0 && pending_count_ == 0 && commands_.size() == 0;
    }

    // Any thread.
    const AudioClock& clock() const { return clock_; }
    CaptureTap& capture() { return capture_; }
    // The wave-out volume: left level in the low 16 bits, right in the high.
    std::uint32_t master_volume() const { return master_volume_.load(std::memory_order_relaxed); }
    void set_master_volume(std::uint32_t levels) {
        master_volume_.store(levels, std::memory_order_relaxed);
    }

private:
    struct Voice {
        SampleData* data = nullptr;
        std::uint64_t position = 0; // 32.32 fixed point, in frames
        std::uint64_t step = 0;     // 32.32 fixed point, frames per output frame
        float left = 1;
        float right = 1;
        std::uint32_t rate = 0;
        std::uint16_t generation = 0;
        bool playing = false;
    };

    void mix_block(std::span<float> stereo);
    void finish_block(std::size_t frames, std::chrono::steady_clock::time_point time);
    void take_commands(std::uint64_t block_start);
    void apply(const MixerCommand& command);
    void retire(SampleData* data);
    void update_step(Voice& voice) const;
    void mix(Voice& voice, float* out, std::size_t frames);

    const std::uint32_t rate_;

    // Control thread only.
    std::array<std::uint16_t, kMaxVoices> generations_{};
    std::vector<std::uint16_t> free_voices_;
    std::uint64_t target_frame_ = 0;
    std::uint64_t next_order_ = 1;

    // Audio thread only.
    std::array<Voice, kMaxVoices> voices_{};
    std::array<MixerCommand, kPendingCapacity> pending_{}; // a min-heap by frame, then order
    std::size_t pending_count_ = 0;
    std::uint64_t frame_ = 0;

    SpscRing<MixerCommand> commands_;
    SpscRing<SampleData*> retired_;
    AudioClock clock_;
    CaptureTap capture_;
    std::atomic<std::uint32_t> master_volume_{0xFFFFFFFF};
    std::atomic<std::uint32_t> sounding_{0};
};

} // namespace qx375
