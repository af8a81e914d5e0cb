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
// Not a vector, so that loading a sample does not zero-fill what the decoder
// writes over at once.
struct SampleData {
    std::unique_ptr<float[]> samples; // (frames + 1) * channels values
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
    enum class Op : std::uint8_t {
        attach,
        detach,
        stop,
        position,
        play,
        gains,
        rate,
        bind,      // sound `sound` plays on `voice`, choking the others of its `group`
        start,     // starts sound `sound`, from its beginning when `rewind`
        map_note,  // incoming note `value` plays sound `sound` (kNoSound: none)
        out_note,  // sound `sound` goes out as note `value` (kNoNote: none)
        notes_off, // every note sent out ends here
        midi_out,  // message `value` goes out whole (midi_out_value)
    };
    Op op = Op::stop;
    VoiceId voice;
    // Position in frames, rate in Hz (0: the sample's own), a note, or a
    // message to send.
    std::uint32_t value = 0;
    float left = 1;
    float right = 1;
    SampleData* data = nullptr; // attach only; the mixer hands it back when done
    std::uint64_t frame = 0;    // output frame to act on; 0: as soon as possible
    std::uint64_t order = 0;    // keeps the commands of one frame in the order given
    std::uint8_t sound = 0;
    std::uint8_t group = 0;      // bind: 0 chokes nothing
    std::uint8_t velocity = 127; // start: the hit's loudness, as a MIDI velocity
    bool rewind = true;
    bool send_out = true; // start: the hit also goes out as a note
};

// The `value` of a midi_out command: the message's bytes, 1 to 3, from the
// lowest byte up, and its length in the top byte.
constexpr std::uint32_t midi_out_value(std::span<const std::uint8_t> message) {
    std::uint32_t value = static_cast<std::uint32_t>(message.size()) << 24;
    for (std::size_t i = 0; i < message.size() && i < 3; ++i) {
        value |= std::uint32_t{message[i]} << (8 * i);
    }
    return value;
}

// What goes out as MIDI from the block the mixer just rendered: a hit it
// started, the end of every note (velocity 0, note kAllNotes), or a message
// given whole (size 1 to 3 of `bytes`; note and velocity unused).
struct StartedNote {
    std::uint32_t offset = 0; // frames into the block
    std::uint8_t note = 0;
    std::uint8_t velocity = 0;
    std::uint8_t size = 0; // of a message given whole; 0 for a note
    std::array<std::uint8_t, 3> bytes{};
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
    static constexpr std::size_t kSounds = 16;
    static constexpr std::uint8_t kNoSound = 0xFF;
    static constexpr std::uint8_t kNoNote = 0xFF;
    static constexpr std::uint8_t kAllNotes = 0xFF;
    static constexpr std::size_t kStartedCapacity = 512;
    // How far a recording may fall behind the mix: about six seconds at
    // 44.1 kHz.
    static constexpr std::size_t kCaptureFrames = 1 << 18;

    explicit Mixer(std::uint32_t rate, std::size_t capture_frames = kCaptureFrames);
    ~Mixer(); // only once no thread renders any more
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    std::uint32_t rate() const { return rate_.load(std::memory_order_relaxed); }
    // The largest block a render may be asked for.
    std::uint32_t largest_block() const { return largest_block_; }

    // While no thread renders: the output that is about to start plays at
    // this rate, in blocks of at most `largest_block` frames. Every voice
    // keeps playing its sample at the sample's own pitch.
    void prepare(std::uint32_t rate, std::uint32_t largest_block);

    // Control thread.
    std::optional<VoiceId> acquire_voice();
    void release_voice(VoiceId voice);
    // False when the command ring is full; an attach's data then stays the caller's.
    bool submit(MixerCommand command);
    // Frees the sample memory the audio thread has let go of.
    void collect_retired();

    // Audio thread: renders interleaved stereo frames starting at `time`.
    void render(std::span<float> stereo, std::chrono::steady_clock::time_point time) noexcept;
    // The same offline: the song's own mix, as the capture tap would take it,
    // without the master volume and the output's clipping, and no capture.
    void render_mix(std::span<float> stereo, std::chrono::steady_clock::time_point time) noexcept;
    // The same, and the part of every sound on its own, in one pass so that
    // each hit and each choke lands where it does in the mix: `stems` holds
    // kSounds stereo blocks of the mix's length, sound k's from k *
    // mix.size(). The mix is their sum and that of the voices bound to no
    // sound. Only the stems of the sounds that sounded are written (see
    // stems_sounding); the others are silence, and are left as they were.
    // Stems too short for all sounds are left alone, and only the mix is made.
    void render_stems(std::span<float> mix, std::span<float> stems,
                      std::chrono::steady_clock::time_point time) noexcept;
    // The sounds that sounded in the last render_stems, bit k for sound k.
    std::uint16_t stems_sounding() const { return stems_sounding_; }
    // Audio thread, before the render that covers `frame`: starts a sound
    // played from outside (an incoming note) on that frame. False when too
    // many starts wait already.
    bool start_at(std::uint8_t sound, std::uint64_t frame, std::uint8_t velocity) noexcept;
    // Audio thread: the sound an incoming note plays, or kNoSound.
    std::uint8_t sound_of_note(std::uint8_t note) const noexcept {
        return note < note_sounds_.size() ? note_sounds_[note] : kNoSound;
    }
    // Audio thread: the notes started and the messages given for the last
    // render, in frame order.
    std::span<const StartedNote> started_notes() const {
        return std::span(started_).first(started_count_);
    }
    // Audio thread: the output skipped frames (a server that fell behind);
    // the next render starts at `frame`.
    void skip_to(std::uint64_t frame) noexcept { frame_ = std::max(frame_, frame); }
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
        float hit = 1; // the loudness of the hit that started it
        std::uint32_t rate = 0;
        std::uint16_t generation = 0;
        bool playing = false;
    };
    struct Sound {
        VoiceId voice;
        std::uint8_t group = 0;
        std::uint8_t out_note = kNoNote;
        bool bound = false;
    };

    void mix_block(std::span<float> stereo, std::span<float> stems) noexcept;
    std::uint8_t stem_of(std::size_t voice) const noexcept;
    void finish_block(std::size_t frames, std::chrono::steady_clock::time_point time) noexcept;
    void take_commands(std::uint64_t block_start) noexcept;
    void push_pending(const MixerCommand& command) noexcept;
    void apply(const MixerCommand& command, std::uint64_t at) noexcept;
    void start(const MixerCommand& command, std::uint64_t at) noexcept;
    void restart(const Sound& sound, bool rewind) noexcept;
    void note_started(std::uint64_t at, std::uint8_t note, std::uint8_t velocity) noexcept;
    void message_out(std::uint64_t at, std::uint32_t value) noexcept;
    void retire(SampleData* data) noexcept;
    void update_step(Voice& voice) const noexcept;
    void mix(Voice& voice, float* out, std::size_t frames) noexcept;

    std::atomic<std::uint32_t> rate_;
    std::uint32_t largest_block_ = 4096;

    // Control thread only.
    std::array<std::uint16_t, kMaxVoices> generations_{};
    std::vector<std::uint16_t> free_voices_;
    std::uint64_t next_order_ = 1;

    // Audio thread only.
    std::array<Voice, kMaxVoices> voices_{};
    std::array<Sound, kSounds> sounds_{};
    std::array<std::uint8_t, 128> note_sounds_;
    std::array<StartedNote, kStartedCapacity> started_{};
    std::size_t started_count_ = 0;
    std::uint64_t block_start_ = 0;
    std::array<MixerCommand, kPendingCapacity> pending_{}; // a min-heap by frame, then order
    std::size_t pending_count_ = 0;
    std::uint64_t frame_ = 0;
    std::uint16_t stems_sounding_ = 0;

    SpscRing<MixerCommand> commands_;
    SpscRing<SampleData*> retired_;
    AudioClock clock_;
    CaptureTap capture_;
    std::atomic<std::uint32_t> master_volume_{0xFFFFFFFF};
    std::atomic<std::uint32_t> sounding_{0};
};

} // namespace qx375
