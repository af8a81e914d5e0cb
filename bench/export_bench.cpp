// What the export formats cost. The dense song of render_bench (64 measures,
// all sixteen sounds on every step) rendered by qx375-render as a 16-bit WAV,
// a 16-bit FLAC, an Ogg Vorbis file, as stems (a 16-bit WAV per sound) and
// as stems, mix and MIDI file at once, each against the WAV; its long song
// (four sounds, 255 measures) as a WAV and as stems; and the writer alone in
// each format, block by block, for what a write costs. The files go
// to memory (/dev/shm) where there is one, so that the figures are the
// encoders' and not the disk's.
//   export_bench RENDERER STAGE_DIR [benchmark options]
#include "bench_songs.h"
#include "child_process.h"
#include "platform/audio_file_writer.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qx375 {
namespace {

namespace fs = std::filesystem;

std::string renderer;
fs::path scratch;

bool run_renderer(const std::vector<std::string>& options) {
    std::vector<std::string> args = {renderer};
    args.insert(args.end(), options.begin(), options.end());
    const int status = bench::run_in(scratch, args);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct RenderCase {
    const char* name;
    const char* song;
    std::vector<std::string> options;
};

// Each song's 16-bit WAV first: the others are measured against it.
const RenderCase kRenderCases[] = {
    {"wav16", "dense.drm", {"--speed", "120", "dense.drm", "out.wav"}},
    {"flac16", "dense.drm", {"--speed", "120", "dense.drm", "out.flac"}},
    {"ogg", "dense.drm", {"--speed", "120", "dense.drm", "out.ogg"}},
    {"stems", "dense.drm", {"--speed", "120", "--stems", "stems", "dense.drm"}},
    {"stems, mix and MIDI",
     "dense.drm",
     {"--speed", "120", "--stems", "stems", "--midi", "out.mid", "dense.drm", "mix.wav"}},
    {"wav16", "long.drm", {"--speed", "120", "--max-measures", "255", "long.drm", "out.wav"}},
    {"stems",
     "long.drm",
     {"--speed", "120", "--max-measures", "255", "--stems", "stems", "long.drm"}},
};

struct Measured {
    double seconds = 0; // mean wall time
    double music = 0;   // seconds of sound in the WAV
};
std::map<std::string, Measured> measured; // by song, then case

std::string key(const RenderCase& c) {
    return std::string(c.song) + ": " + c.name;
}

void BM_Render(benchmark::State& state) {
    const RenderCase& c = kRenderCases[state.range(0)];
    state.SetLabel(key(c));
    double total = 0;
    for (auto _ : state) {
        fs::remove_all(scratch / "stems");
        const auto start = std::chrono::steady_clock::now();
        if (!run_renderer(c.options)) {
            state.SkipWithError("the renderer failed");
            return;
        }
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Measured& m = measured[key(c)];
    m.seconds = total / static_cast<double>(state.iterations());
    const Measured& wav = measured[std::string(c.song) + ": wav16"];
    if (&m == &wav) {
        SF_INFO info{};
        if (SNDFILE* file = sf_open((scratch / "out.wav").c_str(), SFM_READ, &info)) {
            m.music = static_cast<double>(info.frames) / info.samplerate;
            sf_close(file);
        }
    }
    state.counters["x_real_time"] = wav.music / m.seconds;
    if (wav.seconds > 0) {
        state.counters["vs_wav16"] = m.seconds / wav.seconds;
    }
}
BENCHMARK(BM_Render)
    ->DenseRange(0, std::size(kRenderCases) - 1)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Thirty seconds of a busy drum mix: decaying noise bursts, one every 60 ms.
const std::vector<float>& drum_signal() {
    static const std::vector<float> signal = [] {
        constexpr std::size_t kFrames = 30 * 44100;
        std::vector<float> s(2 * kFrames);
        std::mt19937 noise(375);
        std::uniform_real_distribution<float> level(-0.8f, 0.8f);
        for (std::size_t i = 0; i < kFrames; ++i) {
            const float envelope = std::exp(-static_cast<float>(i % 2646) / 400.0f);
            s[2 * i] = level(noise) * envelope;
            s[2 * i + 1] = level(noise) * envelope;
        }
        return s;
    }();
    return signal;
}

const ExportFormat kFormats[] = {ExportFormat::wav16, ExportFormat::wav_float, ExportFormat::flac16,
                                 ExportFormat::flac24, ExportFormat::ogg_vorbis};
const char* const kFormatNames[] = {"wav16", "wav32f", "flac16", "flac24", "ogg"};
double writer_speed[std::size(kFormats)] = {}; // seconds of sound a second, in 4096-frame blocks

void BM_Writer(benchmark::State& state) {
    const auto format = static_cast<std::size_t>(state.range(0));
    const auto block = static_cast<std::size_t>(state.range(1));
    state.SetLabel(kFormatNames[format]);
    const std::vector<float>& signal = drum_signal();
    const fs::path path = scratch / "writer.out";
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        AudioFileWriter writer(fd, 44100, kFormats[format]);
        for (std::size_t at = 0; at < signal.size(); at += 2 * block) {
            writer.write(std::span(signal).subspan(at, std::min(2 * block, signal.size() - at)));
        }
        if (writer.close() != 0) {
            state.SkipWithError("the write failed");
        }
        ::close(fd);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double frames = static_cast<double>(signal.size() / 2);
    state.counters["x_real_time"] = benchmark::Counter(
        frames / 44100 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["writes"] = std::ceil(frames / static_cast<double>(block));
    if (block == 4096 && state.iterations() > 0) {
        writer_speed[format] = frames / 44100 / (total / static_cast<double>(state.iterations()));
    }
}
BENCHMARK(BM_Writer)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {256, 4096, 65536}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace qx375

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: export_bench RENDERER STAGE_DIR [benchmark options]\n");
        return 2;
    }
    using namespace qx375;
    renderer = fs::absolute(argv[1]);
    const fs::path memory = "/dev/shm";
    scratch = (fs::is_directory(memory) ? memory : fs::temp_directory_path()) /
              ("qx375-export-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    for (const auto& entry : fs::directory_iterator(argv[2])) {
        if (entry.is_regular_file()) {
            fs::copy_file(entry.path(), scratch / entry.path().filename());
        }
    }
    bench::write_dense_song((scratch / "dense.drm").string());
    bench::write_long_song((scratch / "long.drm").string());
    benchmark::RunSpecifiedBenchmarks();
    for (const RenderCase& c : kRenderCases) {
        const Measured& m = measured[key(c)];
        const Measured& wav = measured[std::string(c.song) + ": wav16"];
        if (m.seconds > 0 && wav.seconds > 0) {
            std::printf("FIGURE|export of %s (%.0f s of sound), %s|%.2f s, %.2fx the 16-bit WAV\n",
                        c.song, wav.music, c.name, m.seconds, m.seconds / wav.seconds);
        }
    }
    std::string speeds;
    for (std::size_t f = 0; f < std::size(kFormats); ++f) {
        if (writer_speed[f] > 0) {
            char figure[64];
            std::snprintf(figure, sizeof figure, "%s%s %.0fx", speeds.empty() ? "" : ", ",
                          kFormatNames[f], writer_speed[f]);
            speeds += figure;
        }
    }
    if (!speeds.empty()) {
        std::printf("FIGURE|the file writer alone, a drum mix in 4096-frame blocks|%s real time\n",
                    speeds.c_str());
    }
    benchmark::Shutdown();
    fs::remove_all(scratch);
    return 0;
}
