#include "midi/clock.h"

#include <cmath>

namespace qx375::midi {

int nearest_position(double bpm, int size) {
    if (!(bpm > 0.0)) {
        return kMaxPosition;
    }
    if (std::isinf(bpm)) {
        return kMinPosition;
    }
    const int steps = size < 1 ? 1 : size > kClocksPerBar ? kClocksPerBar : size;
    int best = kMinPosition;
    double best_distance = INFINITY;
    // Slower positions give longer intervals, and many positions share one:
    // going up from the fastest, a strictly nearer tempo is needed to move on,
    // so a tie keeps the lower position.
    for (int position = kMinPosition; position <= kMaxPosition; ++position) {
        const double distance = std::fabs(bpm_of(steps, position * 18 / steps) - bpm);
        if (distance < best_distance) {
            best = position;
            best_distance = distance;
        }
    }
    return best;
}

StepClocks step_clocks(int size, int step) {
    StepClocks clocks;
    if (size < 1 || size > kClocksPerBar || step < 0 || step >= size) {
        return clocks;
    }
    // The first clock at or after the step's start: ceil(96 * step / size).
    const int first = (kClocksPerBar * step + size - 1) / size;
    for (int clock = first; clock * size < kClocksPerBar * (step + 1); ++clock) {
        clocks.push_back({clock, static_cast<std::uint32_t>(clock * size - kClocksPerBar * step)});
    }
    return clocks;
}

} // namespace qx375::midi
