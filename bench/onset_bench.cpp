// Onset accuracy: starts stamped with a target frame, issued from a thread that
// wakes up late and irregularly like a GUI timer, through the real-time null
// clock. Every click is found in the captured mix and compared with its stamp.
#include "platform/audio_output.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace qx375;

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    AudioOutput output(AudioBackendKind::null_clock);
    std::unique_ptr<SoundDevice> device;
    output.create_device(device);

    // A click: a few frames of signal, then silence, shorter than any gap.
    const std::uint8_t format[16] = {1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0};
    std::vector<std::uint8_t> click(2 * 64, 0);
    for (int i = 0; i < 16; ++i) {
        click[2 * i + 1] = 0x40;
    }
    BufferDesc desc;
    desc.size = kBufferDescSize;
    desc.flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    desc.buffer_bytes = static_cast<std::uint32_t>(click.size());
    desc.format = format;
    std::unique_ptr<SoundBuffer> buffer;
    device->CreateSoundBuffer(desc, buffer);
    LockedRegions r;
    buffer->Lock(0, desc.buffer_bytes, r, 0);
    std::copy(click.begin(), click.end(), r.first.begin());
    buffer->Unlock(r);

    CaptureTap& tap = output.capture();
    tap.start();
    while (!tap.started()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // 23 ms apart (the fastest tempo), 30 ms of look-ahead, ticks woken up to 8 ms late.
    using Clock = std::chrono::steady_clock;
    const std::uint32_t rate = AudioOutput::kRate;
    const double interval_ms = 23.0;
    const std::uint64_t lookahead = rate * 30 / 1000;
    const std::uint64_t start_frame =
        output.clock().read().frame_at(Clock::now(), rate) + lookahead;
    const Clock::time_point t0 = Clock::now();
    std::vector<std::uint64_t> stamps;
    std::uint64_t late = 0;
    std::vector<float> captured;
    std::vector<float> chunk(2 * 4096);
    auto drain = [&] {
        for (std::size_t got; (got = tap.read(chunk)) > 0;) {
            captured.insert(captured.end(), chunk.begin(), chunk.begin() + 2 * got);
        }
    };
    std::srand(375);
    for (std::uint64_t n = 0; n * interval_ms < seconds * 1000; ++n) {
        const auto due = t0 + std::chrono::microseconds(
                                  static_cast<long>(n * interval_ms * 1000 + std::rand() % 8000));
        std::this_thread::sleep_until(due);
        const std::uint64_t stamp =
            start_frame + static_cast<std::uint64_t>(n * interval_ms * rate / 1000);
        if (output.clock().read().frame_at(Clock::now(), rate) >= stamp) {
            ++late;
        }
        device->set_target_frame(stamp);
        buffer->Stop();
        buffer->SetCurrentPosition(0);
        buffer->Play(0, 0, 0);
        stamps.push_back(stamp);
        drain();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    drain();
    tap.stop();
    std::vector<std::uint64_t> onsets;
    for (std::size_t i = 0; i < captured.size() / 2; ++i) {
        const bool on = captured[2 * i] != 0.0f;
        const bool was_on = i > 0 && captured[2 * i - 2] != 0.0f;
        if (on && !was_on) {
            onsets.push_back(tap.first_frame() + i);
        }
    }
    std::int64_t worst = 0;
    std::size_t exact = 0;
    for (std::size_t i = 0; i < std::min(onsets.size(), stamps.size()); ++i) {
        const auto error = static_cast<std::int64_t>(onsets[i] - stamps[i]);
        worst = std::max(worst, std::abs(error));
        exact += error == 0;
    }
    std::printf("backend: %s\n", std::string(output.backend_name()).c_str());
    std::printf("stamped starts: %zu, onsets found: %zu, on their exact frame: %zu\n",
                stamps.size(), onsets.size(), exact);
    std::printf("largest distance from the stamp: %lld frames\n", static_cast<long long>(worst));
    std::printf("starts issued after their frame had played: %llu\n",
                static_cast<unsigned long long>(late));
    std::printf("capture overruns: %llu frames\n",
                static_cast<unsigned long long>(tap.overrun_frames()));
    return onsets.size() == stamps.size() && exact == stamps.size() ? 0 : 1;
}
