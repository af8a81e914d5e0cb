#include "platform/audio_output.h"

#include "platform/mixer_device.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace qx375 {
namespace {

// Renders a block, then sleeps until the moment that block would have ended on
// a real card. Deadlines come from the start time and the frame count, never
// from the previous wake-up, so the clock cannot drift however late the thread
// is woken.
class NullBackend : public AudioBackend {
public:
    NullBackend(Mixer& mixer, std::uint32_t block_frames)
        : mixer_(mixer), block_(2 * block_frames), thread_([this] { run(); }) {}

    ~NullBackend() override {
        running_ = false;
        thread_.join();
    }

    std::uint32_t block_frames() const override {
        return static_cast<std::uint32_t>(block_.size() / 2);
    }

private:
    void run() {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        const std::uint64_t frames = block_.size() / 2;
        for (std::uint64_t rendered = 0; running_; rendered += frames) {
            const auto at =
                start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                            static_cast<double>(rendered) / mixer_.rate()));
            mixer_.render(block_, at);
            std::this_thread::sleep_until(
                at + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                         static_cast<double>(frames) / mixer_.rate())));
        }
    }

    Mixer& mixer_;
    std::vector<float> block_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

} // namespace

std::unique_ptr<AudioBackend> open_null_backend(Mixer& mixer, std::uint32_t block_frames) {
    return std::make_unique<NullBackend>(mixer, block_frames);
}

AudioOutput::AudioOutput(AudioBackendKind kind, std::uint32_t block_frames)
    : mixer_(kRate), kind_(kind), block_frames_(block_frames) {
    if (kind == AudioBackendKind::automatic || kind == AudioBackendKind::sdl) {
        backend_ = open_sdl_backend(mixer_, block_frames);
        kind_ = backend_ ? AudioBackendKind::sdl : AudioBackendKind::null_clock;
    }
    if (kind_ == AudioBackendKind::null_clock) {
        backend_ = open_null_backend(mixer_, block_frames);
    }
    if (backend_) {
        block_frames_ = backend_->block_frames();
    }
}

AudioOutput::~AudioOutput() {
    backend_.reset();
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

} // namespace qx375
