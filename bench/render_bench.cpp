// How fast qx375-render renders, and how much memory it takes: the longest
// song there is (255 measures of four sounds) and a dense one (64 measures,
// all sixteen sounds on every step, each with its own mix), rendered from
// the staged program directory, and a song of one bar, whose time is nearly
// all the renderer's start-up. The median of a few runs. The files go to
// memory (/dev/shm) where there is one, so that the figure is the render's
// and not the disk's; the longest song is rendered onto the disk too, in a
// folder of the current one, where flushing the file adds its own time.
//   render_bench RENDERER STAGE_DIR [RUNS]
#include "bench_songs.h"
#include "child_process.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace qx375;
namespace fs = std::filesystem;

namespace {

struct Run {
    double seconds = 0; // wall time of the render
    double music = 0;   // length of the file it wrote
    long peak_kib = 0;  // the renderer's largest resident size
};

Run render(const std::string& renderer, const fs::path& dir, const std::string& song,
           const std::vector<std::string>& options) {
    std::vector<std::string> args = {renderer};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(song);
    args.push_back("out.wav");
    const auto start = std::chrono::steady_clock::now();
    rusage usage{};
    const int status = bench::run_in(dir, args, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peak_kib = usage.ru_maxrss;
    SF_INFO info{};
    if (SNDFILE* file = sf_open((dir / "out.wav").c_str(), SFM_READ, &info)) {
        run.music = static_cast<double>(info.frames) / info.samplerate;
        sf_close(file);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "render_bench: %s failed\n", song.c_str());
    }
    return run;
}

Run median(std::vector<Run> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: render_bench RENDERER STAGE_DIR [RUNS]\n");
        return 2;
    }
    const std::string renderer = fs::absolute(argv[1]);
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const fs::path memory = "/dev/shm";
    const std::string folder = "qx375-render-bench-" + std::to_string(::getpid());
    const fs::path in_memory =
        (fs::is_directory(memory) ? memory : fs::temp_directory_path()) / folder;
    const fs::path on_disk = fs::current_path() / folder;
    for (const fs::path& dir : {in_memory, on_disk}) {
        fs::create_directories(dir);
        for (const auto& entry : fs::directory_iterator(argv[2])) {
            if (entry.is_regular_file()) {
                fs::copy_file(entry.path(), dir / entry.path().filename());
            }
        }
        bench::write_long_song((dir / "long.drm").string());
        bench::write_dense_song((dir / "dense.drm").string());
        bench::write_groove((dir / "bar.drm").string(), 1);
    }

    struct Case {
        const char* what;
        const fs::path& dir;
        const char* song;
        std::vector<std::string> options;
    };
    const std::vector<std::string> long_song = {"--speed", "120", "--max-measures", "255"};
    const Case cases[] = {
        {"render, 4 sounds, 255 measures", in_memory, "long.drm", long_song},
        {"render, 4 sounds, 255 measures, on disk", on_disk, "long.drm", long_song},
        {"render, 16 sounds on every step, 64 measures",
         in_memory,
         "dense.drm",
         {"--speed", "120"}},
    };
    long peak = 0;
    for (const Case& c : cases) {
        std::vector<Run> results;
        for (int i = 0; i < runs; ++i) {
            results.push_back(render(renderer, c.dir, c.song, c.options));
        }
        const Run m = median(results);
        peak = std::max(peak, m.peak_kib);
        std::printf("FIGURE|%s|%.0fx real time (%.0f s of sound in %.2f s)\n", c.what,
                    m.music / m.seconds, m.music, m.seconds);
    }
    std::vector<Run> bars;
    for (int i = 0; i < std::max(runs, 9); ++i) {
        bars.push_back(render(renderer, in_memory, "bar.drm", {"--speed", "120"}));
    }
    const Run bar = median(bars);
    peak = std::max(peak, bar.peak_kib);
    std::printf("FIGURE|render, one bar (start-up and all)|%.0f ms, peak %.1f MiB\n",
                bar.seconds * 1000, static_cast<double>(bar.peak_kib) / 1024);
    std::printf("FIGURE|render, peak resident memory|%.1f MiB\n", static_cast<double>(peak) / 1024);
    fs::remove_all(in_memory);
    fs::remove_all(on_disk);
    return 0;
}
