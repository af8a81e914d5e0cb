#pragma once

#include "midi/clock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace qx375::sync {

// What the program must do because of the incoming clock.
struct ClockCommand {
    enum class Kind {
        start,    // play from `beat` (a Start: beat 0; a Continue: where it carries on)
        stop,     // stop; `beat` is where a Continue would carry on
        position, // a new song position while stopped: `beat`
    };
    Kind kind = Kind::stop;
    double beat = 0;
    std::uint64_t frame = 0; // the output frame the message arrived at
};

// What the program tells the user about the incoming clock, the first that
// holds in this order: lost, too_fast, too_slow, beyond_song, then running or
// stopped.
enum class ClockState {
    stopped,
    running,
    lost,        // playing, and no clock for longer than two beats (at least 250 ms; one
                 // that came too slowly, for twice its last interval, at most 5 s)
    too_fast,    // the last clock came faster than 300 BPM, and is not followed
    too_slow,    // the last clock came slower than 20 BPM, and is not followed
    beyond_song, // the song position asked for was past the song's end: it is its end
};

// Follows a MIDI clock coming in: the play state its Start, Continue, Stop and
// Song Position Pointer give, and where its beats fall on the output's frames.
// A beat's frame is found only from the clocks received around it, never
// guessed ahead, so that hits placed on it jitter exactly as the clock does,
// and a clock that stops or goes wild places nothing more. Fed and asked on
// one thread; nothing is allocated after construction.
class ClockFollower {
public:
    static constexpr double kMaxBpm = 300.0;
    static constexpr double kMinBpm = 20.0;
    // Clocks kept for placing beats: four bars.
    static constexpr std::size_t kKeptClocks = 384;
    static constexpr std::size_t kKeptCommands = 32;

    // The output's rate; a new one forgets the clocks' frames, which were of
    // another output.
    void set_rate(std::uint32_t rate);
    // The song's length in beats; positions past it are taken as its end.
    // Not a number means no limit; a negative length is taken as 0.
    void set_song_beats(double beats);

    // One message stamped with the output frame it arrived at. Clock, Start,
    // Continue, Stop and Song Position Pointer are followed, anything else is
    // ignored. A Song Position Pointer while playing is ignored, as the
    // senders move only while stopped.
    void receive(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, std::uint64_t frame);

    // What to do, oldest first; when more than kKeptCommands wait, the oldest
    // are dropped.
    std::optional<ClockCommand> next_command();

    // The output frame of a beat of the song, interpolated between the clocks
    // received around it, which must belong to the current play (or to the
    // last one, after a Stop), be among the last kKeptClocks, and have come
    // at a tempo this follows. None for a beat at or after the last clock's:
    // wait for more clocks. None for a beat before it: it never gets a frame,
    // skip it. A later beat never gets an earlier frame.
    std::optional<double> frame_of_beat(double beat) const;

    bool playing() const { return playing_; }
    // Clocks received since the play started (its first one is its start beat).
    std::uint64_t clocks() const { return run_end_ - run_first_; }
    // The beat of the last clock received since the play started.
    std::optional<double> last_beat() const;
    // The tempo over the last beat of clocks followed, playing or not.
    std::optional<double> bpm() const;

    ClockState state(std::uint64_t now_frame) const;

private:
    enum class Pace : std::uint8_t { none, followed, too_fast, too_slow };
    struct Clock {
        double frame = 0;
        Pace pace = Pace::none;  // of the interval that ends at this clock
        Pace alone = Pace::none; // that interval's, judged by itself
        bool outlier = false;    // a burst or a gap rather than a tempo
    };

    void clock(std::uint64_t frame);
    void start(double beat, std::uint64_t frame);
    void stop(std::uint64_t frame);
    void position(int sixteenths, std::uint64_t frame);
    void push(ClockCommand command);
    void forget_clocks();

    bool kept(std::uint64_t n) const { return n >= history_first_ && n + kKeptClocks >= received_; }
    const Clock& at(std::uint64_t n) const { return clocks_[n % kKeptClocks]; }
    double clock_frames(double bpm) const { return 60.0 * rate_ / (bpm * midi::kClocksPerBeat); }
    // Whether an interval between clocks comes at a tempo within these.
    Pace pace_of(double interval, double fastest, double slowest) const;
    // The pace of clock n, at `frame`, whose interval alone is out of range.
    Pace judged(std::uint64_t n, double frame);
    double lost_after() const;
    bool usable(std::uint64_t n) const;

    std::uint32_t rate_ = 48000;
    double song_beats_ = 0;
    bool song_limited_ = false;

    bool playing_ = false;
    bool beyond_song_ = false;
    double position_ = 0;         // where the next play starts, while stopped
    double run_beat_ = 0;         // the beat of the play's first clock
    std::uint64_t run_first_ = 0; // its number among all clocks received
    std::uint64_t run_end_ = 0;   // one past the play's last clock
    std::uint64_t run_frame_ = 0; // where the play started

    std::array<Clock, kKeptClocks> clocks_{};
    std::uint64_t received_ = 0;      // all clocks, playing or not
    std::uint64_t history_first_ = 0; // the first clock whose frame compares with the last's
    double last_interval_ = 0;

    std::array<ClockCommand, kKeptCommands> commands_{};
    std::size_t command_first_ = 0;
    std::size_t command_count_ = 0;
};

} // namespace qx375::sync
