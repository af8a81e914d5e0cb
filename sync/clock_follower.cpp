#include "sync/clock_follower.h"

#include <algorithm>
#include <cmath>

namespace qx375::sync {
namespace {

// A single interval this far out is not a tempo at all but a burst or a gap:
// it is not followed, nor counted when the tempo of the others is judged.
constexpr double kOutlierFastBpm = 2 * ClockFollower::kMaxBpm;
constexpr double kOutlierSlowBpm = ClockFollower::kMinBpm / 2;
// Otherwise the tempo is judged over a sixteenth of clocks, so that a
// millisecond of jitter on each does not take a tempo near a limit past it,
// looking back for them no further than a beat.
constexpr std::uint64_t kJudgedClocks = 6;
constexpr std::uint64_t kJudgedAtMost = 24;
// A beat this close to a clock, in clocks, is on it: beats counted from a
// Continue in the middle of a song do not come back to whole clocks exactly.
constexpr double kOnClock = 1e-6;
// Frames going back further than this started over on a new output.
constexpr double kFramesStartedOver = 0.25; // seconds
constexpr double kLostAfterAtLeast = 0.25;  // seconds
// A clock that has been coming too slowly is not lost until it is twice as
// late as its last interval, or this late.
constexpr double kSlowLostAfterAtMost = 5.0; // seconds

} // namespace

void ClockFollower::set_rate(std::uint32_t rate) {
    if (rate == 0 || rate == rate_) {
        return;
    }
    rate_ = rate;
    forget_clocks();
}

void ClockFollower::set_song_beats(double beats) {
    song_limited_ = std::isfinite(beats);
    song_beats_ = song_limited_ ? std::max(beats, 0.0) : 0.0;
}

void ClockFollower::receive(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                            std::uint64_t frame) {
    switch (status) {
    case midi::kClock:
        clock(frame);
        break;
    case midi::kStart:
        position_ = 0;
        beyond_song_ = false;
        start(0, frame);
        break;
    case midi::kContinue:
        if (!playing_) {
            start(position_, frame);
        }
        break;
    case midi::kStop:
        stop(frame);
        break;
    case midi::kSongPosition:
        if (!playing_) {
            position(midi::sixteenths_of(data1, data2), frame);
        }
        break;
    default:
        break;
    }
}

void ClockFollower::clock(std::uint64_t stamp) {
    const std::uint64_t n = received_;
    double frame = static_cast<double>(stamp);
    Pace pace = Pace::none;
    Pace alone = Pace::none;
    bool outlier = false;
    if (n > history_first_) {
        const double previous = at(n - 1).frame;
        if (frame < previous - kFramesStartedOver * rate_) {
            forget_clocks();
        } else {
            // Stamps a little out of order are taken as simultaneous, so that
            // frames never go back.
            frame = std::max(frame, previous);
            last_interval_ = frame - previous;
            alone = pace_of(last_interval_, kMaxBpm, kMinBpm);
            pace = alone;
            outlier = pace_of(last_interval_, kOutlierFastBpm, kOutlierSlowBpm) != Pace::followed;
            if (!outlier && alone != Pace::followed) {
                pace = judged(n, frame);
            }
        }
    }
    clocks_[n % kKeptClocks] = Clock{frame, pace, alone, outlier};
    received_ = n + 1;
    if (playing_) {
        run_end_ = received_;
    }
}

ClockFollower::Pace ClockFollower::judged(std::uint64_t n, double frame) {
    // Out of range alone, perhaps only by its jitter: the last sixteenth of
    // clocks tells, leaving out the outliers. When they are out of range too,
    // so were the ones of them that looked it.
    double frames = frame - at(n - 1).frame;
    std::uint64_t intervals = 1;
    std::uint64_t oldest = n;
    for (std::uint64_t m = n - 1, looked = 0;
         intervals < kJudgedClocks && looked < kJudgedAtMost && m > history_first_ && kept(m - 1);
         --m, ++looked) {
        if (!at(m).outlier) {
            frames += at(m).frame - at(m - 1).frame;
            ++intervals;
            oldest = m;
        }
    }
    const Pace pace = pace_of(frames / static_cast<double>(intervals), kMaxBpm, kMinBpm);
    for (std::uint64_t m = oldest; pace != Pace::followed && m < n; ++m) {
        Clock& earlier = clocks_[m % kKeptClocks];
        if (!earlier.outlier && earlier.alone != Pace::followed) {
            earlier.pace = earlier.alone;
        }
    }
    return pace;
}

ClockFollower::Pace ClockFollower::pace_of(double interval, double fastest, double slowest) const {
    return interval < clock_frames(fastest)   ? Pace::too_fast
           : interval > clock_frames(slowest) ? Pace::too_slow
                                              : Pace::followed;
}

void ClockFollower::start(double beat, std::uint64_t frame) {
    playing_ = true;
    run_beat_ = beat;
    run_first_ = received_;
    run_end_ = received_;
    run_frame_ = frame;
    push({ClockCommand::Kind::start, beat, frame});
}

void ClockFollower::stop(std::uint64_t frame) {
    if (!playing_) {
        return;
    }
    playing_ = false;
    // The next clock would have been the next 24th of a beat.
    position_ = run_beat_ + static_cast<double>(clocks()) / midi::kClocksPerBeat;
    push({ClockCommand::Kind::stop, position_, frame});
}

void ClockFollower::position(int sixteenths, std::uint64_t frame) {
    double beat = midi::beat_of_song_position(sixteenths);
    beyond_song_ = song_limited_ && beat > song_beats_;
    if (beyond_song_) {
        beat = song_beats_;
    }
    position_ = beat;
    push({ClockCommand::Kind::position, beat, frame});
}

void ClockFollower::push(ClockCommand command) {
    if (command_count_ == kKeptCommands) {
        command_first_ = (command_first_ + 1) % kKeptCommands;
        --command_count_;
    }
    commands_[(command_first_ + command_count_) % kKeptCommands] = command;
    ++command_count_;
}

std::optional<ClockCommand> ClockFollower::next_command() {
    if (command_count_ == 0) {
        return std::nullopt;
    }
    const ClockCommand command = commands_[command_first_];
    command_first_ = (command_first_ + 1) % kKeptCommands;
    --command_count_;
    return command;
}

void ClockFollower::forget_clocks() {
    history_first_ = received_;
}

bool ClockFollower::usable(std::uint64_t n) const {
    if (!kept(n)) {
        return false;
    }
    // The play's first clock is its start beat, however it came; any other
    // needs a followed interval on one side.
    return n == run_first_ || at(n).pace == Pace::followed ||
           (n + 1 < run_end_ && kept(n + 1) && at(n + 1).pace == Pace::followed);
}

std::optional<double> ClockFollower::frame_of_beat(double beat) const {
    if (clocks() == 0 || !(beat >= run_beat_)) {
        return std::nullopt;
    }
    double at_clock = (beat - run_beat_) * midi::kClocksPerBeat;
    if (std::fabs(at_clock - std::round(at_clock)) < kOnClock) {
        at_clock = std::round(at_clock);
    }
    if (at_clock > static_cast<double>(clocks() - 1)) {
        return std::nullopt;
    }
    const double whole = std::floor(at_clock);
    const double fraction = at_clock - whole;
    const std::uint64_t n = run_first_ + static_cast<std::uint64_t>(whole);
    if (fraction == 0) {
        return usable(n) ? std::optional<double>(at(n).frame) : std::nullopt;
    }
    if (!kept(n) || !kept(n + 1) || at(n + 1).pace != Pace::followed) {
        return std::nullopt;
    }
    return at(n).frame + fraction * (at(n + 1).frame - at(n).frame);
}

std::optional<double> ClockFollower::last_beat() const {
    if (clocks() == 0) {
        return std::nullopt;
    }
    return run_beat_ + static_cast<double>(clocks() - 1) / midi::kClocksPerBeat;
}

std::optional<double> ClockFollower::bpm() const {
    double frames = 0;
    int intervals = 0;
    for (std::uint64_t n = received_;
         n > history_first_ + 1 && kept(n - 2) && intervals < midi::kClocksPerBeat; --n) {
        if (at(n - 1).pace == Pace::followed) {
            frames += at(n - 1).frame - at(n - 2).frame;
            ++intervals;
        }
    }
    if (intervals == 0) {
        return std::nullopt;
    }
    return 60.0 * rate_ / (frames / intervals * midi::kClocksPerBeat);
}

double ClockFollower::lost_after() const {
    double frames = kLostAfterAtLeast * rate_;
    if (const auto tempo = bpm()) {
        frames = std::max(frames, 2 * 60.0 * rate_ / *tempo);
    }
    if (received_ > history_first_ && at(received_ - 1).pace == Pace::too_slow) {
        frames = std::max(frames, std::min(2 * last_interval_, kSlowLostAfterAtMost * rate_));
    }
    return frames;
}

ClockState ClockFollower::state(std::uint64_t now_frame) const {
    const bool heard = received_ > history_first_;
    const double last_clock = heard ? at(received_ - 1).frame : 0.0;
    const double now = static_cast<double>(now_frame);
    const double after = lost_after();
    if (playing_) {
        const double since = std::max(static_cast<double>(run_frame_), last_clock);
        if (now - since > after) {
            return ClockState::lost;
        }
    }
    if (heard && (playing_ || now - last_clock <= after)) {
        switch (at(received_ - 1).pace) {
        case Pace::too_fast:
            return ClockState::too_fast;
        case Pace::too_slow:
            return ClockState::too_slow;
        default:
            break;
        }
    }
    if (beyond_song_) {
        return ClockState::beyond_song;
    }
    return playing_ ? ClockState::running : ClockState::stopped;
}

} // namespace qx375::sync
