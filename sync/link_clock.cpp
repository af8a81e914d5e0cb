#include "sync/link_clock.h"

#include <algorithm>
#include <ctime>

namespace qx375::sync {
namespace {

using std::chrono::microseconds;
using std::chrono::nanoseconds;
using Clock = std::chrono::steady_clock;

nanoseconds link_clock_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return std::chrono::seconds(now.tv_sec) + nanoseconds(now.tv_nsec);
}

// The same moment on both clocks. Link keeps time on CLOCK_MONOTONIC_RAW, the
// program on steady_clock, which is CLOCK_MONOTONIC: NTP slews the one and
// not the other, by up to half a millisecond a second, so their difference is
// measured afresh at each conversion rather than once. A reading of Link's
// clock between two readings of the steady clock happened within that
// bracket; the narrowest of a few brackets is the one a preemption or an
// interrupt did not widen, and its middle is the steady time of the reading.
struct ClockPair {
    Clock::time_point steady;
    nanoseconds link;
};

ClockPair sample_clocks() {
    ClockPair best{};
    auto narrowest = Clock::duration::max();
    for (int i = 0; i < 3; ++i) {
        const auto before = Clock::now();
        const auto link = link_clock_now();
        const auto after = Clock::now();
        if (after - before < narrowest) {
            narrowest = after - before;
            best = {before + narrowest / 2, link};
        }
    }
    return best;
}

// No use of the program looks further than this into the past or future; the
// bound keeps the arithmetic of a wild time in range.
constexpr auto kReach = std::chrono::hours(24 * 366);

} // namespace

microseconds to_link_time(Clock::time_point time) {
    const ClockPair now = sample_clocks();
    const auto reached = std::clamp(time, now.steady - kReach, now.steady + kReach);
    return std::chrono::round<microseconds>(now.link + (reached - now.steady));
}

Clock::time_point from_link_time(microseconds time) {
    const ClockPair now = sample_clocks();
    // In microseconds: the farthest of them would overflow as nanoseconds.
    const auto link = std::chrono::floor<microseconds>(now.link);
    const auto reached = std::clamp<microseconds>(time, link - kReach, link + kReach);
    return now.steady + std::chrono::duration_cast<Clock::duration>(reached - now.link);
}

} // namespace qx375::sync
