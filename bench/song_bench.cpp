// Saving and loading a full song: 256 patterns with cells and mix everywhere,
// and sixteen one-second stereo samples reloaded into the real sound layer.
#include "engine/patern.h"
#include "platform/audio_output.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qx375 {
namespace {

class SilentNotifier : public Notifier {
public:
    void show_message(std::string_view) override {}
};

void write_sample(const std::string& path, int k) {
    const std::uint32_t frames = 44100;
    const std::uint32_t bytes = frames * 4;
    std::vector<std::uint8_t> wav = {'R', 'I', 'F', 'F', 0,    0,    0,   0,   'W',  'A',
                                     'V', 'E', 'f', 'm', 't',  ' ',  16,  0,   0,    0,
                                     1,   0,   2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1,
                                     2,   0,   4,   0,   16,   0,    'd', 'a', 't',  'a'};
    for (int i = 0; i < 4; ++i) {
        wav.push_back(static_cast<std::uint8_t>(bytes >> (8 * i)));
    }
    for (std::uint32_t i = 0; i < bytes; ++i) {
        wav.push_back(static_cast<std::uint8_t>((i * (k + 3)) & 0xFF));
    }
    const std::uint32_t riff = static_cast<std::uint32_t>(wav.size() - 8);
    for (int i = 0; i < 4; ++i) {
        wav[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
}

struct SongRig {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "qx375-song-bench";
    AudioOutput output{AudioBackendKind::manual};
    SilentNotifier notifier;
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
            pattern_record& p = song.patterns[i];
            p.size = 16;
            for (int t = 0; t < kTracks; ++t) {
                p.volume[t] = -(i * 37 + t) % 10000;
                p.pan[t] = (i * 91 + t * 13) % 20001 - 10000;
                p.frequency[t] = 22050 + i * t;
                for (int s = 0; s < kSteps; ++s) {
                    p.steps[t][s] = (i + t + s) % 3 == 0;
                }
            }
            song.song[i] = i;
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
