#include "app/sequencer_timer.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace qx375 {
namespace {

// How often a tick that waits for its beat (an incoming clock not yet there)
// looks again.
constexpr std::chrono::milliseconds kBeatWait{2};

} // namespace

void LatenessHistogram::add(std::chrono::steady_clock::duration late) {
    const auto us = std::max(std::chrono::duration_cast<std::chrono::microseconds>(late),
                             std::chrono::microseconds(0));
    const auto ms = static_cast<std::size_t>(us.count() / 1000);
    ++counts_[std::min(ms, counts_.size() - 1)];
    ++count_;
    worst_ = std::max(worst_, us);
}

std::chrono::milliseconds LatenessHistogram::percentile(double share) const {
    const auto wanted = static_cast<std::uint64_t>(share * static_cast<double>(count_));
    std::uint64_t seen = 0;
    for (std::size_t ms = 0; ms < counts_.size(); ++ms) {
        seen += counts_[ms];
        if (seen >= wanted && seen > 0) {
            return std::chrono::milliseconds(ms + 1);
        }
    }
    return std::chrono::milliseconds(0);
}

std::uint64_t LatenessHistogram::at_least(std::chrono::milliseconds late) const {
    const auto from = std::min(static_cast<std::size_t>(std::max<std::int64_t>(late.count(), 0)),
                               counts_.size() - 1);
    return std::accumulate(counts_.begin() + static_cast<std::ptrdiff_t>(from), counts_.end(),
                           std::uint64_t{0});
}

SequencerTimer::SequencerTimer(const AudioClock& clock, std::uint32_t rate,
                               std::uint32_t render_lead, std::function<void()> on_timer)
    : clock_(clock), on_timer_(std::move(on_timer)) {
    set_output(rate, render_lead);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { due(); });
}

void SequencerTimer::set_output(std::uint32_t rate, std::uint32_t render_lead) {
    rate_ = rate;
    render_lead_ = render_lead;
    lookahead_ = render_lead + rate * kTickLateness.count() / 1000;
}

void SequencerTimer::follow(BeatPlacer place, std::function<void()> behind) {
    place_ = std::move(place);
    behind_ = std::move(behind);
}

void SequencerTimer::lead() {
    place_ = {};
    behind_ = {};
}

void SequencerTimer::set_beats_per_step(double beats) {
    if (following() && enabled_) {
        first_beat_ += static_cast<double>(ticks_) * beats_per_step_;
        ticks_ = 0;
    }
    beats_per_step_ = beats;
}

std::uint64_t SequencerTimer::frame_after_tick(std::uint64_t numerator,
                                               std::uint64_t denominator) const {
    if (following()) {
        const double beat = first_beat_ + (static_cast<double>(ticks_ - 1) +
                                           static_cast<double>(numerator) / denominator) *
                                              beats_per_step_;
        return static_cast<std::uint64_t>(std::max(0.0, std::round(place_(beat).value_or(0))));
    }
    const std::uint64_t per_step = static_cast<std::uint64_t>(interval_ms_) * rate_;
    return start_frame_ + (start_thousandths_ * denominator + ticks_ * denominator * per_step +
                           numerator * per_step) /
                              (1000 * denominator);
}

std::uint64_t SequencerTimer::next_tick_frame() const {
    if (following()) {
        return followed_frame(ticks_ + 1).value_or(tick_frame_);
    }
    return grid_frame(ticks_ + 1);
}

void SequencerTimer::run_offline(std::function<Clock::time_point()> now) {
    offline_ = true;
    now_ = std::move(now);
    timer_.stop();
}

void SequencerTimer::setEnabled(bool enabled) {
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    if (!enabled) {
        timer_.stop();
        return;
    }
    start_ = now_();
    start_frame_ = now_frame(start_) + lookahead_;
    start_thousandths_ = 0;
    ticks_ = 0;
    arm();
}

void SequencerTimer::setInterval(int ms) {
    if (ms == interval_ms_) {
        return;
    }
    // The new interval counts from the last tick, so a change made by a tick
    // (a new pattern size) keeps the beat where it was.
    rebase();
    interval_ms_ = ms;
    // A running tick arms the next one itself when it ends.
    if (enabled_ && !in_tick_) {
        arm();
    }
}

std::uint64_t SequencerTimer::now_frame(Clock::time_point now) const {
    const ClockReading reading = clock_.read();
    if (reading.time == Clock::time_point{}) {
        return reading.frame + ClockReading{0, start_}.frame_at(now, rate_);
    }
    return reading.frame_at(now, rate_);
}

// When the output's clock will reach `frame`, as it runs now.
SequencerTimer::Clock::time_point SequencerTimer::time_of(std::uint64_t frame) const {
    const ClockReading reading = clock_.read();
    const Clock::time_point base = reading.time == Clock::time_point{} ? start_ : reading.time;
    const double frames = static_cast<double>(frame) - static_cast<double>(reading.frame);
    return base + std::chrono::duration_cast<Clock::duration>(
                      std::chrono::duration<double>(frames / rate_));
}

std::optional<std::uint64_t> SequencerTimer::followed_frame(std::uint64_t n) const {
    const std::optional<double> frame =
        place_(first_beat_ + static_cast<double>(n - 1) * beats_per_step_);
    if (!frame) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(std::max(0.0, std::round(*frame)));
}

std::uint64_t SequencerTimer::grid_frame(std::uint64_t n) const {
    return start_frame_ +
           (start_thousandths_ + n * static_cast<std::uint64_t>(interval_ms_) * rate_) / 1000;
}

// The part of a frame the last tick lay beyond its whole frame is kept, so
// that runs of different intervals add up to the sum of their milliseconds.
void SequencerTimer::rebase() {
    const std::uint64_t thousandths =
        start_thousandths_ + ticks_ * static_cast<std::uint64_t>(interval_ms_) * rate_;
    start_frame_ += thousandths / 1000;
    start_thousandths_ = thousandths % 1000;
    ticks_ = 0;
}

void SequencerTimer::arm() {
    if (offline_) {
        return;
    }
    if (following()) {
        arm_following();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
        time_of(grid_frame(ticks_ + 1) - lookahead_) - now_());
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}

void SequencerTimer::arm_following() {
    const std::optional<std::uint64_t> frame = followed_frame(ticks_ + 1);
    if (!frame) {
        timer_.start(kBeatWait);
        return;
    }
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(time_of(*frame - lookahead_) - now_());
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}

void SequencerTimer::due() {
    if (!following()) {
        fire();
        return;
    }
    const std::optional<std::uint64_t> frame = followed_frame(ticks_ + 1);
    if (!frame || now_frame(now_()) + lookahead_ < *frame) {
        arm_following();
        return;
    }
    fire();
}

// Following, the timeline says where every tick falls: one too late to land
// on is the caller's to rejoin, never a shift of the grid.
void SequencerTimer::fire() {
    if (following()) {
        const std::uint64_t playing = now_frame(now_());
        const std::uint64_t frame = followed_frame(ticks_ + 1).value_or(0);
        if (frame < playing + render_lead_) {
            behind_();
            return;
        }
        ++ticks_;
        lateness_.add(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
            playing + lookahead_ > frame ? static_cast<double>(playing + lookahead_ - frame) / rate_
                                         : 0.0)));
        tick_frame_ = frame;
        in_tick_ = true;
        on_timer_();
        in_tick_ = false;
        if (enabled_) {
            arm();
        }
        return;
    }
    ++ticks_;
    const std::uint64_t playing = now_frame(now_());
    const std::uint64_t due = grid_frame(ticks_) - lookahead_;
    lateness_.add(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
        playing > due ? static_cast<double>(playing - due) / rate_ : 0.0)));
    // A frame the output may already have mixed is too late to land on: the
    // grid starts again from here, once, instead of playing the missed ticks
    // at once.
    if (grid_frame(ticks_) < playing + render_lead_) {
        start_frame_ = playing + lookahead_;
        start_thousandths_ = 0;
        ticks_ = 0;
    }
    tick_frame_ = grid_frame(ticks_);
    in_tick_ = true;
    on_timer_();
    in_tick_ = false;
    if (enabled_) {
        arm();
    }
}

} // namespace qx375
