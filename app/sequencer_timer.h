#pragma once

#include "platform/audio_clock.h"

#include <QTimer>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace qx375 {

// How late the ticks of a timer ran after their grid points, kept in 1 ms
// steps: what the look-ahead has to cover.
class LatenessHistogram {
public:
    void add(std::chrono::steady_clock::duration late);
    std::uint64_t count() const { return count_; }
    // The lateness this share of the ticks stayed within (0.999: the 99.9th
    // percentile), to the next whole millisecond.
    std::chrono::milliseconds percentile(double share) const;
    // How many ran `late` or later, to the millisecond; a second or more
    // counts as 999 ms.
    std::uint64_t at_least(std::chrono::milliseconds late) const;
    std::chrono::microseconds worst() const { return worst_; }

private:
    std::array<std::uint64_t, 1000> counts_{}; // the last one holds everything later
    std::uint64_t count_ = 0;
    std::chrono::microseconds worst_{0};
};

// The sequencer's timer. It keeps an interval in whole milliseconds and runs
// its ticks on the GUI thread like a window timer, but counts them on a grid
// of output frames: tick n of a run sounds on frame start + n intervals and
// is run a look-ahead before the output's clock reaches that frame. The
// look-ahead covers what the output may already have mixed beyond the frame
// its clock shows, plus the usual lateness of the GUI thread, so a tick that
// runs late still sounds on its frame. Since ticks follow the output's own
// clock, a sound card running a little fast or slow never pulls the beat
// apart from the ticks. A tick later than the look-ahead allows moves the
// grid once, rather than catching up in a burst.
class SequencerTimer {
public:
    using Clock = std::chrono::steady_clock;

    // How late a tick may run and still sound on its frame: the redraw at a
    // pattern start, painted on a busy desktop, rarely delays one by more.
    static constexpr std::chrono::milliseconds kTickLateness{30};

    // `render_lead` is how many frames the output may have mixed beyond the
    // frame its clock shows.
    SequencerTimer(const AudioClock& clock, std::uint32_t rate, std::uint32_t render_lead,
                   std::function<void()> on_timer);

    // The output the next run plays on: its rate, and how many frames it
    // may have mixed beyond the frame its clock shows.
    void set_output(std::uint32_t rate, std::uint32_t render_lead);

    // Where the beat of a shared timeline falls on the output, in frames;
    // nothing while it is not known yet (an incoming clock that has not come).
    using BeatPlacer = std::function<std::optional<double>(double beat)>;

    // From the next run on, tick n sounds on the frame `place` gives beat
    // first_beat + (n - 1) * beats_per_step, instead of on the interval. A
    // tick whose beat is not placed yet waits for it; one whose frame is too
    // late to land on calls `behind` instead of running, so the caller can
    // rejoin the timeline rather than play missed steps in a burst.
    void follow(BeatPlacer place, std::function<void()> behind);
    // The run's first step falls on this beat; each step lasts so many beats.
    void set_first_beat(double beat) { first_beat_ = beat; }
    void set_beats_per_step(double beats);
    // Back to the timer's own interval.
    void lead();
    bool following() const { return static_cast<bool>(place_); }

    // On the timer's own grid: the frame that lies `numerator / denominator`
    // of a step after the running tick's frame, exact to the frame the grid
    // would give at that point.
    std::uint64_t frame_after_tick(std::uint64_t numerator, std::uint64_t denominator) const;

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    int interval() const { return interval_ms_; }
    void setInterval(int ms);

    // The output frame on which the sounds of the running tick start, and
    // those of the next one.
    std::uint64_t tick_frame() const { return tick_frame_; }
    std::uint64_t next_tick_frame() const;
    // How far ahead of the clock a tick's sounds are placed, in frames.
    std::uint64_t lookahead() const { return lookahead_; }
    const LatenessHistogram& lateness() const { return lateness_; }

    // Offline, as a render runs faster than real time: no window timer is
    // armed, `now` tells the time of the output's clock, and the caller runs
    // each tick with tick() once the output has mixed up to due_frame().
    void run_offline(std::function<Clock::time_point()> now);
    std::uint64_t due_frame() const { return grid_frame(ticks_ + 1) - lookahead_; }
    void tick() { fire(); }

    QObject* sender() { return &timer_; }

private:
    std::uint64_t now_frame(Clock::time_point now) const;
    Clock::time_point time_of(std::uint64_t frame) const;
    std::uint64_t grid_frame(std::uint64_t n) const;
    std::optional<std::uint64_t> followed_frame(std::uint64_t n) const;
    void rebase();
    void arm();
    void arm_following();
    void due();
    void fire();

    const AudioClock& clock_;
    std::uint32_t rate_;
    std::uint64_t render_lead_;
    std::uint64_t lookahead_;
    std::function<void()> on_timer_;
    std::function<Clock::time_point()> now_ = [] { return Clock::now(); };
    bool offline_ = false;
    QTimer timer_;
    bool enabled_ = false;
    bool in_tick_ = false;
    int interval_ms_ = 97;
    LatenessHistogram lateness_;

    // The grid of the current run: tick n sounds on frame start_frame_ + n
    // intervals, counted from start_thousandths_ thousandths of a frame past
    // it. An output that has not rendered yet has a clock that stands
    // still; the steady clock stands in for it from start_, when the run began.
    Clock::time_point start_{};
    std::uint64_t start_frame_ = 0;
    std::uint64_t start_thousandths_ = 0;
    std::uint64_t ticks_ = 0;
    std::uint64_t tick_frame_ = 0;

    // Following a shared timeline.
    BeatPlacer place_;
    std::function<void()> behind_;
    double first_beat_ = 0;
    double beats_per_step_ = 0.25;
};

} // namespace qx375
