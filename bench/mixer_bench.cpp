// Mixer throughput: 16 voices of mixed formats and playback rates rendered in
// the output's 256-frame blocks, as the audio callback does.
#include "platform/audio_output.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace qx375 {
namespace {

constexpr int kVoices = 16;
constexpr std::uint32_t kBlock = AudioOutput::kBlockFrames;

std::unique_ptr<SoundBuffer> make_voice(SoundDevice& device, int k) {
    const std::uint16_t channels = k % 2 == 0 ? 2 : 1;
    const std::uint32_t rates[] = {22050, 44100, 48000, 32000};
    const std::uint32_t rate = rates[k % 4];
    const std::uint32_t frames = rate * 3;
    std::vector<std::uint8_t> fmt(16);
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            fmt[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    put(0, 1, 2);
    put(2, 2, 2);
    put(4, rate, 4);
    put(8, rate * 2 * channels, 4);
    put(12, 2 * channels, 2);
    put(14, 16, 2);
    BufferDesc desc;
    desc.size = kBufferDescSize;
    desc.flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    desc.buffer_bytes = frames * 2 * channels;
    desc.format = fmt;
    std::unique_ptr<SoundBuffer> buffer;
    device.CreateSoundBuffer(desc, buffer);
    LockedRegions r;
    buffer->Lock(0, desc.buffer_bytes, r, 0);
    for (std::size_t i = 0; i + 1 < r.first.size(); i += 2) {
        const auto v = static_cast<std::int16_t>(8000 * std::sin(0.01 * static_cast<double>(i)));
        r.first[i] = static_cast<std::uint8_t>(v & 0xFF);
        r.first[i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
    buffer->Unlock(r);
    buffer->SetVolume(-300 * (k % 5));
    buffer->SetPan(1000 * (k % 7) - 3000);
    // Half the voices resampled away from their own rate.
    buffer->SetFrequency(k % 2 == 0 ? 0 : 30000 + 3000 * k);
    return buffer;
}

void BM_MixBlock16Voices(benchmark::State& state) {
    AudioOutput output(AudioBackendKind::manual);
    std::unique_ptr<SoundDevice> device;
    output.create_device(device);
    std::vector<std::unique_ptr<SoundBuffer>> voices;
    for (int k = 0; k < kVoices; ++k) {
        voices.push_back(make_voice(*device, k));
    }
    std::vector<float> block(2 * kBlock);
    std::int64_t blocks = 0;
    for (auto _ : state) {
        if (blocks++ % 256 == 0) {
            // Restart every voice well before the shortest one ends.
            for (auto& v : voices) {
                v->Stop();
                v->SetCurrentPosition(0);
                v->Play(0, 0, 0);
            }
        }
        output.pull(block);
        benchmark::DoNotOptimize(block.data());
    }
    const double audio_seconds =
        static_cast<double>(state.iterations()) * kBlock / AudioOutput::kRate;
    state.counters["frames_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock, benchmark::Counter::kIsRate);
    state.counters["voices_per_core"] =
        benchmark::Counter(audio_seconds * kVoices, benchmark::Counter::kIsRate);
    state.counters["callback_core_pct"] = benchmark::Counter(
        audio_seconds / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MixBlock16Voices)->MinTime(2.0);

} // namespace
} // namespace qx375

BENCHMARK_MAIN();
