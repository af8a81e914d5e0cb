#include "platform/audio_output.h"

#include <SDL.h>

#include <chrono>
#include <cstdlib>

namespace qx375 {
namespace {

class SdlBackend : public AudioBackend {
public:
    explicit SdlBackend(Mixer& mixer) : mixer_(mixer) {}

    ~SdlBackend() override {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
        }
        if (initialised_) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }

    AudioBackendKind kind() const override { return AudioBackendKind::sdl; }
    void start() override { SDL_PauseAudioDevice(device_, 0); }

    std::uint32_t block_frames() const override { return block_frames_; }
    std::uint32_t rate() const override { return rate_; }

    // A device that fails (a sound server that dies, a card unplugged) is
    // stopped by SDL, which still calls back, paced by its own sleeps.
    bool lost() const override { return SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED; }

    bool open(std::uint32_t block_frames) {
        SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "QX375");
        // The program handles its own signals: Ctrl+C and kill close the window
        // as its close box does, which SDL's handlers would swallow.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // PulseAudio, and PipeWire through it, would queue a single block of
        // ours: a mixer woken a few milliseconds late on a busy desktop then
        // runs the server dry, a click that shifts the beat for good. A 20 ms
        // queue forgives 14 ms of lateness and still plays a sound within
        // about 25 ms of the click that asked for it. A user's own setting wins.
        ::setenv("PULSE_LATENCY_MSEC", "20", 0);
        initialised_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!initialised_) {
            return false;
        }
        SDL_AudioSpec want{};
        rate_ = mixer_.rate();
        want.freq = static_cast<int>(rate_);
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = static_cast<Uint16>(block_frames);
        want.callback = &SdlBackend::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the card wants, so the
        // mixer always renders stereo float at its own rate in blocks of block_frames.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            return false;
        }
        block_frames_ = have.samples;
        return true;
    }

private:
    static void callback(void* self, Uint8* stream, int bytes) noexcept {
        auto* backend = static_cast<SdlBackend*>(self);
        backend->mixer_.render(
            std::span<float>(reinterpret_cast<float*>(stream), bytes / sizeof(float)),
            std::chrono::steady_clock::now());
    }

    Mixer& mixer_;
    bool initialised_ = false;
    SDL_AudioDeviceID device_ = 0;
    std::uint32_t block_frames_ = 0;
    std::uint32_t rate_ = 0;
};

} // namespace

std::unique_ptr<AudioBackend> open_sdl_backend(Mixer& mixer, std::uint32_t block_frames) {
    auto backend = std::make_unique<SdlBackend>(mixer);
    if (!backend->open(block_frames)) {
        return nullptr;
    }
    return backend;
}

} // namespace qx375
