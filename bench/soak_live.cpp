// Plays a looped song of clicks in real time through the real window on the
// null clock for 10 minutes (or the minutes given), capturing the mix, while
// the window's thread stalls at random moments for 100 to 300 ms. Every click
// must lie on the frame its tick was stamped for, the stamps on the ideal grid
// apart from one shift at most per tick that ran later than the look-ahead
// allows (the stalls' and any the machine delayed), and the capture must lose
// no frame.
//   soak_live [MINUTES [STALLS [SEED]]]
#include "soak_rig.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

using namespace qx375;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 10;
    const int stalls = argc > 2 ? std::atoi(argv[2]) : 6 * minutes;
    const auto seed = static_cast<unsigned>(argc > 3 ? std::atoi(argv[3]) : 375);
    if (minutes < 1 || minutes > 1440 || stalls < 0 || stalls > 60 * minutes) {
        std::fputs("usage: soak_live [MINUTES [STALLS [SEED]]]   (MINUTES 1 to 1440, default "
                   "10; STALLS up to one a second, default 6 a minute)\n",
                   stderr);
        return 2;
    }

    const soak::LiveFigures f = soak::run_live(std::chrono::minutes(minutes), stalls, seed);
    for (const std::string& message : f.messages) {
        std::printf("message: %s\n", message.c_str());
    }
    std::printf("sound output: %s; %.1f s played, %d stalls of the window's thread\n",
                f.backend.c_str(), f.seconds, f.stalls);
    std::printf("ticks: %llu, %llu of them late; shifts of the grid %llu\n",
                static_cast<unsigned long long>(f.ticks),
                static_cast<unsigned long long>(f.late_ticks),
                static_cast<unsigned long long>(f.grid_shifts));
    std::printf("clicks found on their stamped frame: %llu; missed %llu, off their frame %llu "
                "(largest distance %llu frames)\n",
                static_cast<unsigned long long>(f.clicks),
                static_cast<unsigned long long>(f.missed), static_cast<unsigned long long>(f.stray),
                static_cast<unsigned long long>(f.onset_distance));
    std::printf("capture: %llu frames, the clock ran %llu (within %llu of them), %llu frames "
                "overrun\n",
                static_cast<unsigned long long>(f.captured_frames),
                static_cast<unsigned long long>(f.elapsed_frames),
                static_cast<unsigned long long>(f.clock_slack),
                static_cast<unsigned long long>(f.overrun_frames));
    const bool whole = f.overrun_frames == 0 &&
                       f.elapsed_frames <= f.captured_frames + f.clock_slack &&
                       f.captured_frames <= f.elapsed_frames + f.clock_slack;
    const bool exact =
        f.grid_shifts <= f.late_ticks && f.missed == 0 && f.stray == 0 && f.clicks > 0;
    std::printf("%s\n", exact && whole ? "on the grid, nothing lost" : "FAILED");
    return exact && whole ? 0 : 1;
}
