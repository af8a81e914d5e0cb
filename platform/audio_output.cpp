#include "platform/audio_output.h"

#include "midi/parser.h"
#include "platform/mixer_device.h"
#include "util/text.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace qx375 {
namespace {

using Clock = std::chrono::steady_clock;

Clock::duration frames_to_time(std::uint64_t frames, std::uint32_t rate) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(frames) / rate));
}

// Renders a block, then sleeps until the moment that block would have ended on
// a real card. Deadlines come from one starting point and the frame count,
// never from the previous wake-up, so the clock cannot drift however late the
// thread is woken.
class NullBackend : public AudioBackend {
public:
    NullBackend(Mixer& mixer, std::uint32_t block_frames)
        : mixer_(mixer), block_(2 * block_frames) {}

    ~NullBackend() override {
        if (thread_.joinable()) {
            running_ = false;
            thread_.join();
        }
    }

    // The frame after the last block rendered plays once that block has: a
    // card that stalled before it went away is caught up at once, so the
    // clock keeps the pace the sequencer has been extrapolating.
    void start() override {
        const ClockReading last = mixer_.clock().read();
        const std::uint64_t first = mixer_.frame();
        const Clock::time_point at =
            last.time == Clock::time_point{}
                ? Clock::now()
                : last.time + frames_to_time(first - last.frame, mixer_.rate());
        thread_ = std::thread([this, at] { run(at); });
    }

    AudioBackendKind kind() const override { return AudioBackendKind::null_clock; }
    std::uint32_t block_frames() const override {
        return static_cast<std::uint32_t>(block_.size() / 2);
    }
    // It goes on at the pace the mixer had.
    std::uint32_t rate() const override { return mixer_.rate(); }

private:
    // Each block is rendered when it starts playing on an imaginary card.
    // While nothing sounds and nothing waits to, nobody can tell when blocks
    // are rendered: the thread then wakes for every fourth block only and
    // catches up on the others, which keeps an idle program idle. A command
    // given meanwhile is stamped well ahead of the clock, so it still lands on
    // its frame.
    void run(Clock::time_point start) {
        const std::uint64_t frames = block_.size() / 2;
        for (std::uint64_t rendered = 0; running_;) {
            mixer_.render(block_, start + frames_to_time(rendered, mixer_.rate()));
            rendered += frames;
            Clock::time_point next = start + frames_to_time(rendered, mixer_.rate());
            if (mixer_.quiet() && next >= Clock::now()) {
                next += frames_to_time(3 * frames, mixer_.rate());
            }
            std::this_thread::sleep_until(next);
        }
    }

    Mixer& mixer_;
    std::vector<float> block_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

std::vector<CardOpener> cards_for(AudioBackendKind kind) {
    switch (kind) {
    case AudioBackendKind::automatic:
        return {open_jack_backend, open_sdl_backend};
    case AudioBackendKind::jack:
        return {open_jack_backend};
    case AudioBackendKind::sdl:
        return {open_sdl_backend};
    case AudioBackendKind::null_clock:
    case AudioBackendKind::manual:
        break;
    }
    return {};
}

} // namespace

AudioBackendKind output_setting(std::string_view setting) {
    if (same_ignoring_case(setting, "jack")) {
        return AudioBackendKind::jack;
    }
    if (same_ignoring_case(setting, "sdl")) {
        return AudioBackendKind::sdl;
    }
    return AudioBackendKind::automatic;
}

std::unique_ptr<AudioBackend> open_null_backend(Mixer& mixer, std::uint32_t block_frames) {
    return std::make_unique<NullBackend>(mixer, block_frames);
}

AudioOutput::AudioOutput(AudioBackendKind kind, std::uint32_t block_frames, std::uint32_t rate,
                         std::size_t capture_frames)
    : AudioOutput(kind, cards_for(kind), block_frames, rate, capture_frames) {}

AudioOutput::AudioOutput(CardOpener open_card, std::uint32_t block_frames)
    : AudioOutput(AudioBackendKind::sdl, std::vector<CardOpener>{std::move(open_card)},
                  block_frames) {}

AudioOutput::AudioOutput(AudioBackendKind kind, std::vector<CardOpener> open_cards,
                         std::uint32_t block_frames, std::uint32_t rate, std::size_t capture_frames)
    : mixer_(rate, capture_frames), kind_(kind), block_frames_(block_frames),
      open_cards_(std::move(open_cards)) {
    if (!open_cards_.empty()) {
        if (auto card = open_card()) {
            run(std::move(card));
            return;
        }
        fault_ = CardFault::not_opened;
    }
    if (kind_ != AudioBackendKind::manual) {
        run(open_null_backend(mixer_, block_frames_));
    }
}

AudioOutput::~AudioOutput() {
    backend_.reset();
}

std::unique_ptr<AudioBackend> AudioOutput::open_card() {
    for (const CardOpener& open : open_cards_) {
        if (auto card = open(mixer_, block_frames_)) {
            return card;
        }
    }
    return nullptr;
}

void AudioOutput::run(std::unique_ptr<AudioBackend> backend) {
    backend_.reset();
    backend_ = std::move(backend);
    kind_ = backend_->kind();
    block_frames_ = backend_->block_frames();
    mixer_.prepare(backend_->rate(), backend_->largest_block());
    if (grid_.valid()) {
        backend_->set_timebase(grid_);
    }
    backend_->set_extra_latency(extra_latency_);
    backend_->start();
    if (leading_) {
        backend_->lead_timebase(true);
    }
}

bool AudioOutput::check_device() {
    if (!on_card() || !backend_->lost()) {
        return false;
    }
    fault_ = CardFault::lost;
    run(open_null_backend(mixer_, block_frames_));
    return true;
}

bool AudioOutput::reopen() {
    if (on_card()) {
        return true;
    }
    // The null clock plays on while the card opens, which it does paused.
    auto card = open_card();
    if (!card) {
        return false;
    }
    fault_ = CardFault::none;
    run(std::move(card));
    return true;
}

OutputStatus AudioOutput::status() const {
    if (!backend_) {
        return {rate(), block_frames_, 0, 0, 0, false};
    }
    return backend_->status();
}

void AudioOutput::set_note_map(const midi::NoteMap& map) {
    const auto table = map.table();
    for (std::size_t note = 0; note < table.size(); ++note) {
        MixerCommand command;
        command.op = MixerCommand::Op::map_note;
        command.value = static_cast<std::uint32_t>(note);
        command.sound = table[note] < 0 ? Mixer::kNoSound : static_cast<std::uint8_t>(table[note]);
        mixer_.submit(command);
    }
    for (int sound = 0; sound < midi::kSounds; ++sound) {
        MixerCommand command;
        command.op = MixerCommand::Op::out_note;
        command.sound = static_cast<std::uint8_t>(sound);
        const int note = map.out_note(sound);
        command.value = note < 0 ? Mixer::kNoNote : static_cast<std::uint32_t>(note);
        mixer_.submit(command);
    }
}

bool AudioOutput::next_midi_event(MidiEvent& event) {
    return backend_ && backend_->next_midi_event(event);
}

bool AudioOutput::next_sync_event(MidiEvent& event) {
    return backend_ && backend_->next_sync_event(event);
}

bool AudioOutput::send_midi(std::uint64_t frame, std::span<const std::uint8_t> bytes) {
    // One message and nothing else: the parser, from scratch, completes one
    // with the last byte, of every byte given.
    if (bytes.empty() || bytes.size() > 3) {
        return false;
    }
    midi::Parser parser;
    midi::Message message;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (parser.push(bytes[i], message)) {
            return false;
        }
    }
    if (!parser.push(bytes.back(), message) || message.size != bytes.size()) {
        return false;
    }
    MixerCommand command;
    command.op = MixerCommand::Op::midi_out;
    command.frame = frame;
    command.value = midi_out_value(bytes);
    return mixer_.submit(command);
}

bool AudioOutput::transport(TransportReading& reading) const {
    return backend_ && backend_->transport(reading);
}

void AudioOutput::transport_start() {
    if (backend_) {
        backend_->transport_start();
    }
}

void AudioOutput::transport_stop() {
    if (backend_) {
        backend_->transport_stop();
    }
}

bool AudioOutput::transport_locate(std::uint64_t transport_frame) {
    return backend_ && backend_->transport_locate(transport_frame);
}

bool AudioOutput::lead_timebase(bool lead) {
    leading_ = lead;
    return backend_ && backend_->lead_timebase(lead);
}

bool AudioOutput::set_timebase(double frames_per_bar, double bpm) {
    const TimebaseGrid grid{frames_per_bar, bpm};
    if (!grid.valid()) {
        return false;
    }
    grid_ = grid;
    if (backend_) {
        backend_->set_timebase(grid);
    }
    return true;
}

void AudioOutput::set_extra_latency(std::uint32_t frames) {
    extra_latency_ = frames;
    if (backend_) {
        backend_->set_extra_latency(frames);
    }
}

std::string_view AudioOutput::backend_name() const {
    switch (kind_) {
    case AudioBackendKind::jack:
        return "JACK";
    case AudioBackendKind::sdl:
        return "SDL";
    case AudioBackendKind::null_clock:
        return "null clock";
    case AudioBackendKind::manual:
        return "manual";
    case AudioBackendKind::automatic:
        break;
    }
    return "none";
}

DsResult AudioOutput::create_device(std::unique_ptr<SoundDevice>& device) {
    device = std::make_unique<MixerDevice>(mixer_);
    return DS_OK;
}

void AudioOutput::pull(std::span<float> stereo) {
    if (kind_ == AudioBackendKind::manual) {
        mixer_.render(stereo, std::chrono::steady_clock::now());
    }
}

void AudioOutput::pull_mix(std::span<float> stereo, std::chrono::steady_clock::time_point time) {
    if (kind_ == AudioBackendKind::manual) {
        mixer_.render_mix(stereo, time);
    }
}

} // namespace qx375
