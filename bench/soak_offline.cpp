// Plays a looped song of clicks through the real window, headless, on the
// renderer's virtual clock for 24 hours of music (or the hours given), as
// fast as it goes. Every click found in the mix must lie on the frame its
// tick was stamped for, every stamp on the ideal grid (the first tick plus the
// sum of the intervals), and the resident memory must not grow.
//   soak_offline [HOURS]
#include "soak_rig.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace qx375;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    const int hours = argc > 1 ? std::atoi(argv[1]) : 24;
    if (hours < 1 || hours > 1000) {
        std::fputs("usage: soak_offline [HOURS]   (1 to 1000, default 24)\n", stderr);
        return 2;
    }
    // Memory growth up to this much is the allocator's noise.
    constexpr long kNoiseKib = 1024;

    const soak::OfflineFigures f =
        soak::run_offline(std::chrono::hours(hours), std::chrono::hours(1));
    for (const std::string& message : f.messages) {
        std::printf("message: %s\n", message.c_str());
    }
    std::printf("virtual time: %.2f hours, in %.0f s of wall time (%.0f times real time)\n",
                f.virtual_hours, f.wall_seconds, f.virtual_hours * 3600.0 / f.wall_seconds);
    std::printf("ticks checked against the ideal grid: %llu; shifts %llu, largest distance %llu "
                "frames, drift of the last tick %lld frames\n",
                static_cast<unsigned long long>(f.ticks),
                static_cast<unsigned long long>(f.grid_shifts),
                static_cast<unsigned long long>(f.grid_distance), static_cast<long long>(f.drift));
    std::printf("clicks found on their stamped frame: %llu; missed %llu, off their frame %llu "
                "(largest distance %llu frames)\n",
                static_cast<unsigned long long>(f.clicks),
                static_cast<unsigned long long>(f.missed), static_cast<unsigned long long>(f.stray),
                static_cast<unsigned long long>(f.onset_distance));
    long growth = 0;
    if (!f.resident_kib.empty()) {
        const auto [low, high] = std::minmax_element(f.resident_kib.begin(), f.resident_kib.end());
        growth = f.resident_kib.back() - f.resident_kib.front();
        std::printf("resident memory: %ld KiB at hour 1, %ld KiB at hour %zu (least %ld, most "
                    "%ld)\n",
                    f.resident_kib.front(), f.resident_kib.back(), f.resident_kib.size(), *low,
                    *high);
    }
    const bool exact = f.grid_shifts == 0 && f.missed == 0 && f.stray == 0 && f.clicks > 0;
    std::printf("%s\n", exact && growth <= kNoiseKib ? "no drift, no growth" : "FAILED");
    return exact && growth <= kNoiseKib ? 0 : 1;
}
