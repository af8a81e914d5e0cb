// The whole program, as a user starts it, in a program directory made from
// the stage (headless: QT_QPA_PLATFORM=offscreen; sound on the null clock
// unless a card is there):
//   program_bench STAGE_DIR startup [RUNS]  time from start to the window
//                                           shown and set up, a fresh
//                                           process each run (median)
//   program_bench STAGE_DIR playing [SECONDS [OUTPUT]] CPU and memory while
//                                           the dense song loops, on the
//                                           output named (default: null clock)
//   program_bench STAGE_DIR idle [SECONDS]  CPU and memory with the window
//                                           open and stopped
#include "app/program.h"
#include "app/tmain.h"
#include "bench_songs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace qx375;
namespace fs = std::filesystem;

namespace {

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long resident_kib(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) {
            return std::atol(line.c_str() + std::char_traits<char>::length(field));
        }
    }
    return 0;
}

// A program directory as the launcher makes one, with the dense song as the
// most recent one, looping in song mode, and no language question.
fs::path program_directory(const fs::path& stage) {
    const fs::path dir =
        fs::temp_directory_path() / ("qx375-program-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy(stage, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    bench::write_dense_song((dir / "dense.drm").string());
    std::ofstream(dir / "qx375.ini") << "[setup]\nPatternMode=1\nLoopMode=1\nSpeed=120\n"
                                        "autoload_0=dense.drm\n[main]\nfirstuse=0\n";
    return dir;
}

// Runs the program; once it is set up, `measure` gets it.
int run(int argc, char** argv, const std::function<void(Tmain&)>& measure) {
    return run_program(argc, argv, measure);
}

int startup(int argc, char** argv, const fs::path& dir, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ready[0]);
            if (::chdir(dir.c_str()) != 0) {
                ::_exit(1);
            }
            return run(argc, argv, [&](Tmain&) {
                const char byte = 1;
                [[maybe_unused]] const auto n = ::write(ready[1], &byte, 1);
                ::_exit(0);
            });
        }
        ::close(ready[1]);
        char byte = 0;
        const bool shown = ::read(ready[0], &byte, 1) == 1;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ::close(ready[0]);
        ::waitpid(child, nullptr, 0);
        if (shown) {
            times.push_back(seconds);
        }
    }
    if (times.empty()) {
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("FIGURE|start to the main window shown and set up, offscreen|%.0f ms\n",
                times[times.size() / 2] * 1000);
    return 0;
}

int running(int argc, char** argv, const fs::path& dir, bool playing, int seconds,
            const std::string& output) {
    if (::chdir(dir.c_str()) != 0) {
        return 1;
    }
    double cpu = 0;
    long rss = 0;
    long shared = 0;
    const int status = run(argc, argv, [&](Tmain& window) {
        if (playing) {
            window.findChild<QAbstractButton*>("BitBtnAction")->click();
        }
        // Measured after the first seconds, once every pattern start has been seen.
        QTimer::singleShot(2000, &window, [&, seconds] {
            const double before = cpu_seconds();
            QTimer::singleShot(seconds * 1000, &window, [&, before, seconds] {
                cpu = (cpu_seconds() - before) / seconds;
                rss = resident_kib("VmRSS:");
                shared = resident_kib("RssShmem:");
                window.modified = false;
                window.close();
            });
        });
    });
    const std::string what =
        playing ? "playing the dense song live, " + output : "window open, stopped";
    std::printf("FIGURE|%s|%.2f %% of a core, %.0f MiB resident, %.0f MiB of it shared memory\n",
                what.c_str(), 100 * cpu, static_cast<double>(rss) / 1024,
                static_cast<double>(shared) / 1024);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: program_bench STAGE_DIR startup|playing|idle [N]\n");
        return 2;
    }
    const std::string mode = argv[2];
    const int n = argc > 3 ? std::atoi(argv[3]) : (mode == "startup" ? 11 : 20);
    const fs::path dir = program_directory(argv[1]);
    int qt_argc = 1;
    const int status = mode == "startup" ? startup(qt_argc, argv, dir, n)
                                         : running(qt_argc, argv, dir, mode == "playing", n,
                                                   argc > 4 ? argv[4] : "null clock");
    fs::remove_all(dir);
    return status;
}
