#include "platform/audio_output.h"

#include "platform/mixer_device.h"

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

    std::uint32_t block_frames() const override {
        return static_cast<std::uint32_t>(block_.size() / 2);
    }

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

CardOpener card_for(AudioBackendKind kind) {
    if (kind == AudioBackendKind::automatic || kind == AudioBackendKind::sdl) {
        return open_sdl_backend;
    }
    return {};
}

} // namespace

std::unique_ptr<AudioBackend> open_null_backend(Mixer& mixer, std::uint32_t block_frames) {
    return std::make_unique<NullBackend>(mixer, block_frames);
}

AudioOutput::AudioOutput(AudioBackendKind kind, std::uint32_t block_frames, std::uint32_t rate)
    : AudioOutput(kind, card_for(kind), block_frames, rate) {}

AudioOutput::AudioOutput(CardOpener open_card, std::uint32_t block_frames)
    : AudioOutput(AudioBackendKind::sdl, std::move(open_card), block_frames) {}

AudioOutput::AudioOutput(AudioBackendKind kind, CardOpener open_card, std::uint32_t block_frames,
                         std::uint32_t rate)
    : mixer_(rate), kind_(kind), block_frames_(block_frames), open_card_(std::move(open_card)) {
    if (open_card_) {
        if (auto card = open_card_(mixer_, block_frames_)) {
            run(std::move(card), AudioBackendKind::sdl);
            return;
        }
        fault_ = CardFault::not_opened;
    }
    if (kind_ != AudioBackendKind::manual) {
        run(open_null_backend(mixer_, block_frames_), AudioBackendKind::null_clock);
    }
}

AudioOutput::~AudioOutput() {
    backend_.reset();
}

void AudioOutput::run(std::unique_ptr<AudioBackend> backend, AudioBackendKind kind) {
    backend_.reset();
    backend_ = std::move(backend);
    kind_ = kind;
    block_frames_ = backend_->block_frames();
    backend_->start();
}

bool AudioOutput::check_device() {
    if (kind_ != AudioBackendKind::sdl || !backend_->lost()) {
        return false;
    }
    fault_ = CardFault::lost;
    run(open_null_backend(mixer_, block_frames_), AudioBackendKind::null_clock);
    return true;
}

bool AudioOutput::reopen() {
    if (kind_ == AudioBackendKind::sdl) {
        return true;
    }
    if (!open_card_) {
        return false;
    }
    // The null clock plays on while the card opens, which it does paused.
    auto card = open_card_(mixer_, block_frames_);
    if (!card) {
        return false;
    }
    fault_ = CardFault::none;
    run(std::move(card), AudioBackendKind::sdl);
    return true;
}

std::string_view AudioOutput::backend_name() const {
    switch (kind_) {
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
