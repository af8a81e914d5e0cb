#pragma once

#include "platform/audio_clock.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

namespace qx375 {

// The sequencer's timer. It keeps an interval in whole milliseconds and runs
// its ticks on the GUI thread like a window timer, but counts them on a grid:
// tick n of a run is due n intervals after the start, and the sounds it starts
// land on the output frame of that grid point, a little ahead of time. A tick
// that runs late still sounds on time, the grid never drifts, and after a
// stall the grid moves once rather than catching up in a burst.
class SequencerTimer {
public:
    using Clock = std::chrono::steady_clock;

    SequencerTimer(const AudioClock& clock, std::uint32_t rate, std::function<void()> on_timer);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    int interval() const { return interval_ms_; }
    void setInterval(int ms);

    // The output frame on which the sounds of the running tick start.
    std::uint64_t tick_frame() const { return tick_frame_; }

    // How far ahead of the clock a tick's sounds are placed.
    static constexpr std::chrono::milliseconds kLookahead{30};

    QObject* sender() { return &timer_; }

private:
    std::uint64_t now_frame(Clock::time_point now) const;
    std::uint64_t grid_frame(std::uint64_t n) const;
    Clock::time_point grid_time(std::uint64_t n) const;
    void rebase();
    void arm();
    void fire();

    const AudioClock& clock_;
    const std::uint32_t rate_;
    std::function<void()> on_timer_;
    QTimer timer_;
    bool enabled_ = false;
    bool in_tick_ = false;
    int interval_ms_ = 97;

    // The grid of the current run: tick n is due at start_ + n intervals and
    // sounds on frame start_frame_ + n intervals.
    Clock::time_point start_{};
    std::uint64_t start_frame_ = 0;
    std::uint64_t ticks_ = 0;
    std::uint64_t tick_frame_ = 0;
};

} // namespace qx375
