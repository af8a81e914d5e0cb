// Saving and loading a full song: 256 patterns with cells and mix everywhere,
// and sixteen one-second stereo samples reloaded into the real sound layer.
#include "bench_files.h"
#include "engine/patern.h"
#include "platform/audio_output.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace qx375 {
namespace {

void write_sample(const std::string& path, int k) {
    std::vector<std::int16_t> samples(44100 * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>((i * (k + 3)) % 20000);
    }
    bench::write_wav(path, samples, 2);
}

struct SongRig {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "qx375-song-bench";
    AudioOutput output{AudioBackendKind::manual};
    bench::SilentNotifier notifier;
    DirectSound sound{output, notifier};
    matrice song{sound, notifier};
    std::vector<float> block = std::vector<float>(2 * AudioOutput::kBlockFrames);

    SongRig() {
        std::filesystem::create_directories(dir);
        sound.open_device(1);
        for (int k = 0; k < kSounds; ++k) {
            const std::string name = (dir / ("sample" + std::to_string(k) + ".wav")).string();
            write_sample(name, k);
            song.set_sample_file(k, name);
        }
        for (int i = 0; i < kPatterns; ++i) {
            song.change_pattern(i, [&](pattern_record& p) {
                p.size = 16;
                for (int t = 0; t < kTracks; ++t) {
                    p.volume[t] = -(i * 37 + t) % 10000;
                    p.pan[t] = (i * 91 + t * 13) % 20001 - 10000;
                    p.frequency[t] = 22050 + i * t;
                    for (int s = 0; s < kSteps; ++s) {
                        p.steps[t][s] = (i + t + s) % 3 == 0;
                    }
                }
            });
            song.set_song_entry(i, i);
        }
    }
    ~SongRig() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string file() const { return (dir / "song.drm").string(); }
};

void BM_SaveSong(benchmark::State& state) {
    SongRig rig;
    for (auto _ : state) {
        if (!rig.song.save_drm(rig.file())) {
            state.SkipWithError("save failed");
        }
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(rig.file()));
}
BENCHMARK(BM_SaveSong)->Unit(benchmark::kMillisecond);

void BM_LoadSongWith16Samples(benchmark::State& state) {
    SongRig rig;
    rig.song.save_drm(rig.file());
    for (auto _ : state) {
        if (!rig.song.load_drm(rig.file())) {
            state.SkipWithError("load failed");
        }
        // The audio thread's share: take the new buffers, hand back the old.
        state.PauseTiming();
        rig.output.pull(rig.block);
        rig.output.mixer().collect_retired();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadSongWith16Samples)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace qx375

BENCHMARK_MAIN();
