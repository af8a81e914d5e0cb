#include "app/sequencer_timer.h"

namespace qx375 {

SequencerTimer::SequencerTimer(const AudioClock& clock, std::uint32_t rate,
                               std::function<void()> on_timer)
    : clock_(clock), rate_(rate), on_timer_(std::move(on_timer)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
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
    start_ = Clock::now();
    start_frame_ = now_frame(start_) + rate_ * kLookahead.count() / 1000;
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
    return clock_.read().frame_at(now, rate_);
}

std::uint64_t SequencerTimer::grid_frame(std::uint64_t n) const {
    return start_frame_ + n * static_cast<std::uint64_t>(interval_ms_) * rate_ / 1000;
}

SequencerTimer::Clock::time_point SequencerTimer::grid_time(std::uint64_t n) const {
    return start_ + std::chrono::milliseconds(static_cast<std::int64_t>(n) * interval_ms_);
}

void SequencerTimer::rebase() {
    start_frame_ = grid_frame(ticks_);
    start_ = grid_time(ticks_);
    ticks_ = 0;
}

void SequencerTimer::arm() {
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(grid_time(ticks_ + 1) - Clock::now());
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}

void SequencerTimer::fire() {
    ++ticks_;
    const Clock::time_point now = Clock::now();
    const std::uint64_t playing = now_frame(now);
    // Less than a block of the output ahead is too late to land on time: the
    // grid moves to here, once, instead of playing the missed ticks at once.
    constexpr std::uint64_t kMargin = 256;
    if (grid_frame(ticks_) < playing + kMargin) {
        const std::uint64_t lookahead = rate_ * kLookahead.count() / 1000;
        start_frame_ = playing + lookahead - (grid_frame(ticks_) - start_frame_);
        start_ = now - (grid_time(ticks_) - start_);
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
