#pragma once

#include <chrono>

namespace qx375::sync {

// Link keeps time in microseconds of its own clock, CLOCK_MONOTONIC_RAW; the
// program keeps it on steady_clock (CLOCK_MONOTONIC), as its audio clock does.
// These carry a moment from one to the other. Times more than a year from now
// are taken as a year from now, so that a wild time cannot overflow.
std::chrono::microseconds to_link_time(std::chrono::steady_clock::time_point time);
std::chrono::steady_clock::time_point from_link_time(std::chrono::microseconds time);

} // namespace qx375::sync
