#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qx375::sync {

// One bar of the program is four beats: the quantum every call below is given,
// so that peers line up their bars, not only their beats.
inline constexpr double kBeatsPerBar = 4.0;

// The program's one peer in an Ableton Link session: the shared tempo, where
// beats fall on the steady clock, and, with start/stop sync on, when the
// session starts and stops. Off until enable(true), so that it sends nothing
// on the network until the user asks for it.
//
// Called from the GUI thread. Link's own thread only counts what it sees
// change (peers, tempo, start/stop) in changes(), which the GUI polls.
//
// Out-of-range input has a fixed outcome: a tempo that is not a number leaves
// the tempo as it is (120 BPM to begin with), others are clamped to Link's
// 20..999 BPM; a quantum that
// is not a positive number is taken as one bar; beats are clamped to
// +-kMaxBeat and times to within a year of now.
class LinkSession {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double kMinTempo = 20.0;
    static constexpr double kMaxTempo = 999.0;
    static constexpr double kMaxBeat = 1e9;

    explicit LinkSession(double bpm);
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    void enable(bool on);
    bool enabled() const;
    // Whether starts and stops are shared with the peers that share them too.
    void enable_start_stop_sync(bool on);

    // The other peers in the session, not counting this one.
    std::size_t peers() const;
    double tempo() const;
    // From now on; the session follows when connected.
    void set_tempo(double bpm);

    double beat_at(Clock::time_point time, double quantum) const;
    Clock::time_point time_at(double beat, double quantum) const;
    // In [0, quantum): where in its bar the session is at `time`.
    double phase_at(Clock::time_point time, double quantum) const;

    bool playing() const;
    // Starts at `time` with beat 0 of a bar. In a session the start waits for
    // the session's next bar line after `time`, so that it lands on the grid.
    void start_playing(Clock::time_point time, double quantum);
    void stop_playing(Clock::time_point time);
    // When the last start or stop, ours or a peer's, took effect.
    Clock::time_point time_playing_changed() const;
    // After a peer's start, counts our beats from 0 at that start, as they
    // count on the peer that started: beats agree, not only their phase
    // within the bar. Nothing when stopped.
    void count_from_start(double quantum);

    // Bumped on Link's thread for every change of peers, tempo or start/stop
    // state; the GUI compares it with the value it saw last.
    std::uint64_t changes() const;

private:
    struct Peer;
    std::unique_ptr<Peer> peer_;
};

} // namespace qx375::sync
