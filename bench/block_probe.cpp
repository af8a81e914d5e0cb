// Plays an unbroken tone through the sound card for a while, so that a
// recording of the output shows every dropout of the chosen block size.
//   block_probe BLOCK_FRAMES SECONDS
#include "bench_files.h"
#include "platform/audio_output.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace qx375;

int main(int argc, char** argv) {
    const auto block = static_cast<std::uint32_t>(argc > 1 ? std::atoi(argv[1]) : 256);
    const double seconds = argc > 2 ? std::atof(argv[2]) : 20.0;
    AudioOutput output(AudioBackendKind::sdl, block);
    std::printf("sound output: %s, block asked %u, obtained %u frames\n",
                std::string(output.backend_name()).c_str(), block, output.block_frames());
    std::unique_ptr<SoundDevice> device;
    output.create_device(device);

    // One second of a 441 Hz sine: a whole number of periods, so that back to
    // back starts join without a seam.
    const std::uint32_t rate = AudioOutput::kRate;
    std::vector<std::int16_t> samples(rate);
    for (std::uint32_t i = 0; i < rate; ++i) {
        samples[i] = static_cast<std::int16_t>(16000 * std::sin(2 * M_PI * 441 * i / rate));
    }
    const std::unique_ptr<SoundBuffer> buffer = bench::mono_buffer(*device, samples);

    // How far the renders run ahead of where the clock, extrapolated from the
    // render before, says the output stands: what a stamped start must clear.
    std::atomic<bool> done{false};
    std::vector<std::int64_t> leads;
    std::thread watch([&] {
        ClockReading last = output.clock().read();
        while (!done) {
            const ClockReading now = output.clock().read();
            if (now.frame != last.frame && last.time != std::chrono::steady_clock::time_point{}) {
                const auto expected = static_cast<std::int64_t>(last.frame_at(now.time, rate));
                leads.push_back(static_cast<std::int64_t>(now.frame + output.block_frames()) -
                                expected);
            }
            last = now;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    using Clock = std::chrono::steady_clock;
    const std::uint64_t start = output.clock().read().frame_at(Clock::now(), rate) + rate / 2;
    const auto seconds_played = static_cast<std::uint64_t>(seconds);
    for (std::uint64_t n = 0; n < seconds_played; ++n) {
        device->set_target_frame(start + n * rate);
        buffer->Play(0, 0, 0);
        // Each start is handed over half a second ahead of its frame.
        while (output.clock().read().frame_at(Clock::now(), rate) + rate / 2 < start + n * rate) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(1.6));
    done = true;
    watch.join();
    std::sort(leads.begin(), leads.end());
    if (!leads.empty()) {
        auto at = [&](double share) {
            return leads[static_cast<std::size_t>(share * static_cast<double>(leads.size() - 1))];
        };
        std::printf("render lead over the clock (frames): median %lld, 99.9th percentile %lld, "
                    "largest %lld, over %zu renders\n",
                    static_cast<long long>(at(0.5)), static_cast<long long>(at(0.999)),
                    static_cast<long long>(leads.back()), leads.size());
    }
    return 0;
}
