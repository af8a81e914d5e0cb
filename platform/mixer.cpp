#include "platform/mixer.h"

#include "midi/velocity.h"

#include <algorithm>

namespace qx375 {
namespace {

constexpr double kFixedOne = 4294967296.0;
constexpr float kFixedScale = 1.0f / 4294967296.0f;

// The heap keeps the earliest frame on top, and among equal frames the
// command given first.
bool later(const MixerCommand& a, const MixerCommand& b) {
    return a.frame != b.frame ? a.frame > b.frame : a.order > b.order;
}

} // namespace

Mixer::Mixer(std::uint32_t rate, std::size_t capture_frames)
    : rate_(rate), commands_(kCommandCapacity),
      // Every retirement follows one command, and the control thread collects
      // before each submit, so this many can never be waiting at once.
      retired_(2 * (kCommandCapacity + kPendingCapacity) + kMaxVoices), capture_(capture_frames) {
    free_voices_.reserve(kMaxVoices);
    for (std::size_t i = kMaxVoices; i-- > 0;) {
        free_voices_.push_back(static_cast<std::uint16_t>(i));
    }
    note_sounds_.fill(kNoSound);
}

void Mixer::prepare(std::uint32_t rate, std::uint32_t largest_block) {
    rate_.store(rate, std::memory_order_relaxed);
    largest_block_ = largest_block;
    for (Voice& voice : voices_) {
        if (voice.data != nullptr) {
            update_step(voice);
        }
    }
}

Mixer::~Mixer() {
    MixerCommand command;
    while (commands_.pop(command)) {
        if (command.op == MixerCommand::Op::attach) {
            delete command.data;
        }
    }
    for (std::size_t i = 0; i < pending_count_; ++i) {
        if (pending_[i].op == MixerCommand::Op::attach) {
            delete pending_[i].data;
        }
    }
    for (Voice& voice : voices_) {
        delete voice.data;
    }
    collect_retired();
}

std::optional<VoiceId> Mixer::acquire_voice() {
    if (free_voices_.empty()) {
        return std::nullopt;
    }
    const std::uint16_t index = free_voices_.back();
    free_voices_.pop_back();
    // Generation 0 is what an idle voice holds, so it is never handed out.
    if (++generations_[index] == 0) {
        generations_[index] = 1;
    }
    return VoiceId{index, generations_[index]};
}

void Mixer::release_voice(VoiceId voice) {
    MixerCommand detach;
    detach.op = MixerCommand::Op::detach;
    detach.voice = voice;
    submit(detach);
    // Commands still waiting for the old generation die with it.
    ++generations_[voice.index];
    free_voices_.push_back(voice.index);
}

bool Mixer::submit(MixerCommand command) {
    collect_retired();
    command.order = next_order_++;
    return commands_.push(command);
}

void Mixer::collect_retired() {
    SampleData* data = nullptr;
    while (retired_.pop(data)) {
        delete data;
    }
}

void Mixer::render(std::span<float> stereo, std::chrono::steady_clock::time_point time) noexcept {
    const std::size_t frames = stereo.size() / 2;
    mix_block(stereo, {});

    // The recording takes the mix as the song made it: the master volume is only
    // the listener's, and the recording clips when it is written as 16-bit.
    capture_.capture(stereo.first(2 * frames), frame_);

    const std::uint32_t levels = master_volume_.load(std::memory_order_relaxed);
    const float left = static_cast<float>(levels & 0xFFFF) / 65535.0f;
    const float right = static_cast<float>(levels >> 16) / 65535.0f;
    for (std::size_t i = 0; i < frames; ++i) {
        stereo[2 * i] = std::clamp(stereo[2 * i] * left, -1.0f, 1.0f);
        stereo[2 * i + 1] = std::clamp(stereo[2 * i + 1] * right, -1.0f, 1.0f);
    }
    finish_block(frames, time);
}

void Mixer::render_mix(std::span<float> stereo,
                       std::chrono::steady_clock::time_point time) noexcept {
    mix_block(stereo, {});
    finish_block(stereo.size() / 2, time);
}

void Mixer::render_stems(std::span<float> mix, std::span<float> stems,
                         std::chrono::steady_clock::time_point time) noexcept {
    stems_sounding_ = 0;
    mix_block(mix, stems.size() >= kSounds * mix.size() ? stems : std::span<float>());
    finish_block(mix.size() / 2, time);
}

bool Mixer::start_at(std::uint8_t sound, std::uint64_t frame, std::uint8_t velocity) noexcept {
    if (pending_count_ >= kPendingCapacity || sound >= kSounds) {
        return false;
    }
    MixerCommand command;
    command.op = MixerCommand::Op::start;
    command.sound = sound;
    command.velocity = velocity;
    // Played from outside: it sounds, but does not go out again as a note.
    command.send_out = false;
    command.frame = std::max(frame, frame_);
    push_pending(command);
    return true;
}

void Mixer::finish_block(std::size_t frames, std::chrono::steady_clock::time_point time) noexcept {
    sounding_.store(static_cast<std::uint32_t>(std::count_if(
                        voices_.begin(), voices_.end(), [](const Voice& v) { return v.playing; })),
                    std::memory_order_relaxed);
    clock_.publish(frame_, time);
    frame_ += frames;
}

void Mixer::mix_block(std::span<float> stereo, std::span<float> stems) noexcept {
    const std::size_t frames = stereo.size() / 2;
    std::fill(stereo.begin(), stereo.end(), 0.0f);
    started_count_ = 0;
    block_start_ = frame_;
    take_commands(frame_);

    std::size_t done = 0;
    while (done < frames) {
        while (pending_count_ > 0 && pending_[0].frame <= frame_ + done) {
            std::pop_heap(pending_.begin(), pending_.begin() + pending_count_, later);
            --pending_count_;
            apply(pending_[pending_count_], frame_ + done);
        }
        std::size_t until = frames;
        if (pending_count_ > 0) {
            until = static_cast<std::size_t>(
                std::min<std::uint64_t>(pending_[0].frame - frame_, frames));
        }
        for (std::size_t v = 0; v < kMaxVoices; ++v) {
            if (!voices_[v].playing) {
                continue;
            }
            float* out = stereo.data() + 2 * done;
            if (const std::uint8_t sound = stems.empty() ? kNoSound : stem_of(v);
                sound != kNoSound) {
                float* stem = stems.data() + sound * stereo.size();
                // Only the stems that sound are cleared: most of a song's
                // sounds are silent most of the time.
                if ((stems_sounding_ >> sound & 1u) == 0) {
                    std::fill(stem, stem + stereo.size(), 0.0f);
                    stems_sounding_ |= static_cast<std::uint16_t>(1u << sound);
                }
                out = stem + 2 * done;
            }
            mix(voices_[v], out, until - done);
        }
        done = until;
    }
    for (std::size_t sound = 0; sound < kSounds && !stems.empty(); ++sound) {
        if ((stems_sounding_ >> sound & 1u) != 0) {
            const float* stem = stems.data() + sound * stereo.size();
            for (std::size_t i = 0; i < stereo.size(); ++i) {
                stereo[i] += stem[i];
            }
        }
    }
}

// The sound bound to this voice, or kNoSound: the voice then plays into the
// mix alone.
std::uint8_t Mixer::stem_of(std::size_t voice) const noexcept {
    for (std::size_t k = 0; k < kSounds; ++k) {
        const Sound& sound = sounds_[k];
        if (sound.bound && sound.voice.index == voice &&
            sound.voice.generation == voices_[voice].generation) {
            return static_cast<std::uint8_t>(k);
        }
    }
    return kNoSound;
}

void Mixer::take_commands(std::uint64_t block_start) noexcept {
    MixerCommand command;
    while (pending_count_ < kPendingCapacity && commands_.pop(command)) {
        // Late commands act at once, still in the order they were given.
        command.frame = std::max(command.frame, block_start);
        push_pending(command);
    }
}

void Mixer::push_pending(const MixerCommand& command) noexcept {
    pending_[pending_count_++] = command;
    std::push_heap(pending_.begin(), pending_.begin() + pending_count_, later);
}

void Mixer::apply(const MixerCommand& command, std::uint64_t at) noexcept {
    switch (command.op) {
    case MixerCommand::Op::bind:
        if (command.sound < kSounds) {
            Sound& sound = sounds_[command.sound];
            sound.voice = command.voice;
            sound.group = command.group;
            sound.bound = command.voice.index < kMaxVoices;
        }
        return;
    case MixerCommand::Op::start:
        start(command, at);
        return;
    case MixerCommand::Op::map_note:
        if (command.value < note_sounds_.size()) {
            note_sounds_[command.value] = command.sound < kSounds ? command.sound : kNoSound;
        }
        return;
    case MixerCommand::Op::out_note:
        if (command.sound < kSounds) {
            sounds_[command.sound].out_note =
                command.value < 128 ? static_cast<std::uint8_t>(command.value) : kNoNote;
        }
        return;
    case MixerCommand::Op::notes_off:
        note_started(at, kAllNotes, 0);
        return;
    case MixerCommand::Op::midi_out:
        message_out(at, command.value);
        return;
    default:
        break;
    }
    // The index comes off a ring another thread wrote: never trusted.
    if (command.voice.index >= kMaxVoices) {
        return;
    }
    Voice& voice = voices_[command.voice.index];
    if (command.op == MixerCommand::Op::attach) {
        retire(voice.data);
        voice = Voice{};
        voice.data = command.data;
        voice.generation = command.voice.generation;
        voice.left = command.left;
        voice.right = command.right;
        voice.rate = command.value;
        update_step(voice);
        return;
    }
    if (voice.generation != command.voice.generation || voice.data == nullptr) {
        return;
    }
    switch (command.op) {
    case MixerCommand::Op::detach:
        retire(voice.data);
        voice = Voice{};
        break;
    case MixerCommand::Op::stop:
        voice.playing = false;
        break;
    case MixerCommand::Op::position:
        voice.position = static_cast<std::uint64_t>(std::min(command.value, voice.data->frames))
                         << 32;
        break;
    case MixerCommand::Op::play:
        voice.playing = (voice.position >> 32) < voice.data->frames;
        voice.hit = 1;
        break;
    case MixerCommand::Op::gains:
        voice.left = command.left;
        voice.right = command.right;
        break;
    case MixerCommand::Op::rate:
        voice.rate = command.value;
        update_step(voice);
        break;
    default:
        break;
    }
}

// A hit: the sound and the others of its choke group stop, then the sound
// plays. The hi-hat pair is such a group, so a closed hi-hat cuts an open one
// whether the grid or a pad played either.
void Mixer::start(const MixerCommand& command, std::uint64_t at) noexcept {
    if (command.sound >= kSounds || !sounds_[command.sound].bound) {
        return;
    }
    const Sound& sound = sounds_[command.sound];
    if (sound.group != 0) {
        for (const Sound& other : sounds_) {
            if (other.bound && other.group == sound.group && &other != &sound) {
                restart(other, true);
            }
        }
    }
    restart(sound, command.rewind);
    Voice& voice = voices_[sound.voice.index];
    if (voice.generation != sound.voice.generation || voice.data == nullptr) {
        return;
    }
    voice.playing = (voice.position >> 32) < voice.data->frames;
    voice.hit = midi::velocity_gain(command.velocity);
    if (command.send_out && voice.playing && sound.out_note != kNoNote) {
        note_started(at, sound.out_note, command.velocity);
    }
}

void Mixer::restart(const Sound& sound, bool rewind) noexcept {
    Voice& voice = voices_[sound.voice.index];
    if (voice.generation != sound.voice.generation || voice.data == nullptr) {
        return;
    }
    voice.playing = false;
    if (rewind) {
        voice.position = 0;
    }
}

void Mixer::note_started(std::uint64_t at, std::uint8_t note, std::uint8_t velocity) noexcept {
    if (started_count_ < started_.size()) {
        started_[started_count_++] = {
            static_cast<std::uint32_t>(at - block_start_), note, velocity, 0, {}};
    }
}

void Mixer::message_out(std::uint64_t at, std::uint32_t value) noexcept {
    const std::uint8_t size = static_cast<std::uint8_t>(value >> 24);
    // Off a ring another thread wrote: a length no message has is dropped.
    if (size == 0 || size > 3 || started_count_ == started_.size()) {
        return;
    }
    StartedNote& out = started_[started_count_++];
    out = {};
    out.offset = static_cast<std::uint32_t>(at - block_start_);
    out.size = size;
    for (std::size_t i = 0; i < size; ++i) {
        out.bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void Mixer::retire(SampleData* data) noexcept {
    if (data != nullptr) {
        // Cannot fail: the ring is sized for every retirement that can wait.
        retired_.push(data);
    }
}

void Mixer::update_step(Voice& voice) const noexcept {
    const std::uint32_t rate = voice.rate != 0 ? voice.rate : voice.data->rate;
    voice.step = static_cast<std::uint64_t>(static_cast<double>(rate) / this->rate() * kFixedOne);
}

void Mixer::mix(Voice& voice, float* out, std::size_t frames) noexcept {
    const SampleData& data = *voice.data;
    const std::uint64_t end = static_cast<std::uint64_t>(data.frames) << 32;
    if (voice.position >= end || voice.step == 0) {
        voice.playing = false;
        voice.position = 0;
        return;
    }
    // Output frames left before the cursor passes the last sample frame.
    const std::uint64_t left_to_play = (end - voice.position + voice.step - 1) / voice.step;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, left_to_play));
    const float* s = data.samples.get();
    const float gl = voice.left * voice.hit;
    const float gr = voice.right * voice.hit;
    std::uint64_t pos = voice.position;
    const std::uint64_t step = voice.step;
    if (data.channels == 1) {
        for (std::size_t i = 0; i < n; ++i, pos += step) {
            const std::size_t at = pos >> 32;
            const float frac = static_cast<float>(pos & 0xFFFFFFFF) * kFixedScale;
            const float v = s[at] + (s[at + 1] - s[at]) * frac;
            out[2 * i] += v * gl;
            out[2 * i + 1] += v * gr;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i, pos += step) {
            const std::size_t at = 2 * (pos >> 32);
            const float frac = static_cast<float>(pos & 0xFFFFFFFF) * kFixedScale;
            out[2 * i] += (s[at] + (s[at + 2] - s[at]) * frac) * gl;
            out[2 * i + 1] += (s[at + 1] + (s[at + 3] - s[at + 1]) * frac) * gr;
        }
    }
    voice.position = pos;
    if (n == left_to_play) {
        // Played to its end: the buffer stops and its cursor goes back to the start.
        voice.playing = false;
        voice.position = 0;
    }
}

} // namespace qx375
