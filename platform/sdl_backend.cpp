#include "platform/audio_output.h"

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <dlfcn.h>

namespace qx375 {
namespace {

// SDL and the sound and display libraries it brings, loaded when a card is
// opened rather than with the program: a render, a test or a JACK session
// never loads them. Once loaded, they stay for the next card.
class SdlLibrary {
public:
    SdlLibrary() : handle_(::dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
        if (handle_ != nullptr &&
            !(bind(set_hint, "SDL_SetHint") && bind(init_sub_system, "SDL_InitSubSystem") &&
              bind(quit_sub_system, "SDL_QuitSubSystem") &&
              bind(open_audio_device, "SDL_OpenAudioDevice") &&
              bind(close_audio_device, "SDL_CloseAudioDevice") &&
              bind(pause_audio_device, "SDL_PauseAudioDevice") &&
              bind(get_audio_device_status, "SDL_GetAudioDeviceStatus"))) {
            ::dlclose(handle_);
            handle_ = nullptr;
        }
    }
    ~SdlLibrary() {
        if (handle_ != nullptr) {
            ::dlclose(handle_);
        }
    }
    SdlLibrary(const SdlLibrary&) = delete;
    SdlLibrary& operator=(const SdlLibrary&) = delete;

    // False when SDL is not installed: there is no card to open then.
    explicit operator bool() const { return handle_ != nullptr; }

    decltype(&SDL_SetHint) set_hint = nullptr;
    decltype(&SDL_InitSubSystem) init_sub_system = nullptr;
    decltype(&SDL_QuitSubSystem) quit_sub_system = nullptr;
    decltype(&SDL_OpenAudioDevice) open_audio_device = nullptr;
    decltype(&SDL_CloseAudioDevice) close_audio_device = nullptr;
    decltype(&SDL_PauseAudioDevice) pause_audio_device = nullptr;
    decltype(&SDL_GetAudioDeviceStatus) get_audio_device_status = nullptr;

private:
    template <typename Function>
    bool bind(Function& function, const char* name) {
        function = reinterpret_cast<Function>(::dlsym(handle_, name));
        return function != nullptr;
    }

    void* handle_;
};

class SdlBackend : public AudioBackend {
public:
    explicit SdlBackend(Mixer& mixer) : mixer_(mixer) {}

    ~SdlBackend() override {
        if (device_ != 0) {
            sdl_.close_audio_device(device_);
        }
        if (initialised_) {
            sdl_.quit_sub_system(SDL_INIT_AUDIO);
        }
    }

    AudioBackendKind kind() const override { return AudioBackendKind::sdl; }
    void start() override { sdl_.pause_audio_device(device_, 0); }

    std::uint32_t block_frames() const override { return block_frames_; }
    std::uint32_t rate() const override { return rate_; }

    // A device that fails (a sound server that dies, a card unplugged) is
    // stopped by SDL, which still calls back, paced by its own sleeps.
    bool lost() const override {
        return sdl_.get_audio_device_status(device_) == SDL_AUDIO_STOPPED;
    }

    bool open(std::uint32_t block_frames) {
        if (!sdl_) {
            return false;
        }
        sdl_.set_hint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "QX375");
        // The program handles its own signals: Ctrl+C and kill close the window
        // as its close box does, which SDL's handlers would swallow.
        sdl_.set_hint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // PulseAudio, and PipeWire through it, would queue a single block of
        // ours: a mixer woken a few milliseconds late on a busy desktop then
        // runs the server dry, a click that shifts the beat for good. A 20 ms
        // queue forgives 14 ms of lateness and still plays a sound within
        // about 25 ms of the click that asked for it. A user's own setting wins.
        ::setenv("PULSE_LATENCY_MSEC", "20", 0);
        initialised_ = sdl_.init_sub_system(SDL_INIT_AUDIO) == 0;
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
        device_ = sdl_.open_audio_device(nullptr, 0, &want, &have, 0);
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

    SdlLibrary sdl_; // the last to go
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
