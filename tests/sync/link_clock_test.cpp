#include "sync/link_clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace qx375::sync {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Link's clock, read as Link reads it.
std::chrono::microseconds link_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::microseconds(now.tv_nsec / 1000);
}

double micros(auto duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

// The two clocks drift apart by NTP's slewing, so that on a machine up for a
// while they differ by far more than the tolerance here.
TEST(LinkClock, CarriesAMomentToLinksClockAndBack) {
    // Each conversion falls between the readings of the clock it converts to
    // taken before and after it, to within Link's microsecond.
    for (int i = 0; i < 100; ++i) {
        const auto before = link_now();
        const auto converted = to_link_time(Clock::now());
        const auto after = link_now();
        EXPECT_GE(micros(converted - before), -2.0);
        EXPECT_LE(micros(converted - after), 2.0);

        const auto steady_before = Clock::now();
        const auto back = from_link_time(link_now());
        const auto steady_after = Clock::now();
        EXPECT_GE(micros(back - steady_before), -2.0);
        EXPECT_LE(micros(back - steady_after), 2.0);
    }
    // There and back measures the clocks twice; a thread put off between
    // its readings widens each measure by a few microseconds.
    const auto now = Clock::now();
    for (const auto time : {now, now + 1234567ns, now - 3s - 777ns, now + 1h + 999ns}) {
        EXPECT_NEAR(micros(from_link_time(to_link_time(time)) - time), 0.0, 10.0);
    }
}

TEST(LinkClock, TakesWildTimesAsAYearAway) {
    const auto year = std::chrono::hours(24 * 366);
    const auto now = Clock::now();
    EXPECT_NEAR(micros(to_link_time(Clock::time_point::max()) - to_link_time(now)), micros(year),
                1e3);
    EXPECT_NEAR(micros(to_link_time(now) - to_link_time(Clock::time_point::min())), micros(year),
                1e3);
    EXPECT_NEAR(micros(from_link_time(std::chrono::microseconds::max()) - now), micros(year), 1e3);
}

} // namespace
} // namespace qx375::sync
