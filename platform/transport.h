#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qx375 {

// Where the JACK transport stood at the start of one process cycle: its
// frame `transport_frame` falls on the output's frame `output_frame`, the
// frame the mixer rendered first in that cycle. The bar, beat and tick are
// the timebase master's, when there is one (bbt_valid); bar and beat count
// from 1. `cycle` counts the cycles the output has read the transport in.
// While rolling, the roll's frames say where it began: the transport's frame
// in the first cycle since it started or last moved, and that cycle's first
// output frame.
struct TransportReading {
    bool rolling = false;
    std::uint64_t transport_frame = 0;
    std::uint64_t output_frame = 0;
    std::uint64_t roll_transport_frame = 0;
    std::uint64_t roll_output_frame = 0;
    bool bbt_valid = false;
    std::int32_t bar = 0;
    std::int32_t beat = 0;
    std::int32_t tick = 0;
    double bar_start_tick = 0;
    double beats_per_bar = 0;
    double ticks_per_beat = 0;
    double bpm = 0;
    std::uint64_t cycle = 0;
};

// The grid the output gives the transport when it leads it: four beats to
// the bar, each of kTicksPerBeat ticks.
struct TimebaseGrid {
    static constexpr double kBeatsPerBar = 4;
    static constexpr double kTicksPerBeat = 1920;
    double frames_per_bar = 0;
    double bpm = 0;

    // Only a grid whose bars take time and whose tempo is a tempo.
    bool valid() const {
        return std::isfinite(frames_per_bar) && frames_per_bar >= 1 && std::isfinite(bpm) &&
               bpm > 0;
    }
};

struct BarBeatTick {
    std::int32_t bar = 1;  // from 1
    std::int32_t beat = 1; // from 1
    std::int32_t tick = 0;
    double bar_start_tick = 0;
};

// Where a transport frame falls on a valid grid. Rounding never puts a frame
// on a fifth beat or a tick past the beat's last, and a bar number too large
// for JACK's field stops at the largest it holds.
inline BarBeatTick bar_beat_tick(std::uint64_t frame, const TimebaseGrid& grid) {
    const double bars = std::floor(static_cast<double>(frame) / grid.frames_per_bar);
    const double frames_per_beat = grid.frames_per_bar / TimebaseGrid::kBeatsPerBar;
    const double into_bar = std::max(0.0, static_cast<double>(frame) - bars * grid.frames_per_bar);
    const double beats =
        std::clamp(std::floor(into_bar / frames_per_beat), 0.0, TimebaseGrid::kBeatsPerBar - 1);
    const double into_beat = std::max(0.0, into_bar - beats * frames_per_beat);
    const double ticks =
        std::clamp(std::floor(into_beat / frames_per_beat * TimebaseGrid::kTicksPerBeat), 0.0,
                   TimebaseGrid::kTicksPerBeat - 1);
    const double counted = std::min(bars, 2147483646.0);
    BarBeatTick at;
    at.bar = static_cast<std::int32_t>(counted) + 1;
    at.beat = static_cast<std::int32_t>(beats) + 1;
    at.tick = static_cast<std::int32_t>(ticks);
    at.bar_start_tick = counted * TimebaseGrid::kBeatsPerBar * TimebaseGrid::kTicksPerBeat;
    return at;
}

} // namespace qx375
