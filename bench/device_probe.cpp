// Follows the sound card for a while as the window does while playing: it
// checks the card every 250 ms and, while the output is silent for want of
// one, tries it again every second, as a start of playback would. It prints
// what each switch cost the GUI thread and how far the clock strayed across
// it from where the sequencer would extrapolate it. Without a card it
// measures what trying one costs a start of playback.
//   device_probe [SECONDS]
#include "platform/audio_output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace qx375;
using Clock = std::chrono::steady_clock;

namespace {

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// How far the clock's next reading strays from `before`, extrapolated:
// positive when it is late, as a stall would make it.
double stray_ms(const AudioOutput& output, const ClockReading& before) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    ClockReading after = output.clock().read();
    while (after.frame <= before.frame && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        after = output.clock().read();
    }
    const double frames = static_cast<double>(after.frame) - static_cast<double>(before.frame);
    return std::chrono::duration<double, std::milli>(after.time - before.time).count() -
           frames * 1000.0 / AudioOutput::kRate;
}

const char* fault_name(CardFault fault) {
    switch (fault) {
    case CardFault::none:
        return "none";
    case CardFault::not_opened:
        return "no card could be opened";
    case CardFault::lost:
        return "the card was lost";
    }
    return "?";
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const Clock::time_point begin = Clock::now();
    AudioOutput output;
    std::printf("%6.2f s  output opened in %.1f ms: %s (%s)\n", 0.0, ms_since(begin),
                std::string(output.backend_name()).c_str(), fault_name(output.card_fault()));

    std::vector<double> failed_tries;
    for (int poll = 1; ms_since(begin) < seconds * 1000; ++poll) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        const double at = ms_since(begin) / 1000;
        ClockReading before = output.clock().read();
        Clock::time_point start = Clock::now();
        if (output.check_device()) {
            const double took = ms_since(start);
            std::printf("%6.2f s  card lost: null clock in %.1f ms, clock strayed %.3f ms\n", at,
                        took, stray_ms(output, before));
        }
        if (output.card_fault() == CardFault::none || poll % 4 != 0) {
            continue;
        }
        before = output.clock().read();
        start = Clock::now();
        if (output.reopen()) {
            const double took = ms_since(start);
            std::printf("%6.2f s  card back in %.1f ms, clock strayed %.3f ms\n", at, took,
                        stray_ms(output, before));
        } else {
            failed_tries.push_back(ms_since(start));
        }
    }

    if (!failed_tries.empty()) {
        std::sort(failed_tries.begin(), failed_tries.end());
        const auto slow = std::count_if(failed_tries.begin(), failed_tries.end(),
                                        [](double ms) { return ms > 50; });
        std::printf("trying a card that is not there: median %.1f ms, largest %.1f ms, "
                    "%td of %zu tries over 50 ms\n",
                    failed_tries[failed_tries.size() / 2], failed_tries.back(), slow,
                    failed_tries.size());
    }
    std::printf("%6.2f s  output at the end: %s (%s)\n", ms_since(begin) / 1000,
                std::string(output.backend_name()).c_str(), fault_name(output.card_fault()));
    return 0;
}
