#pragma once

// What the soak runs share: the program's own window playing a looped song
// of clicks, the checks of where its clicks land, and the runs themselves,
// offline on a virtual clock and in real time on the null clock.

#include <chrono>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

namespace qx375::soak {

// Finds clicks in a mix handed over block by block: the first frame of the
// left channel that sounds after one that is silent.
class OnsetFinder {
public:
    // Adds the output frames of the onsets in `stereo`, whose first frame is
    // output frame `first`, to `onsets`.
    void feed(std::span<const float> stereo, std::uint64_t first,
              std::vector<std::uint64_t>& onsets);

private:
    bool silent_ = true; // the last frame fed
};

// Follows the frames the ticks were stamped for against the ideal grid: the
// start of the run plus the sum of the timer's intervals since then, in
// frames, counted from the exact milliseconds rather than tick by tick. A tick
// off that grid counts as a shift and starts the grid anew from it.
class GridCheck {
public:
    explicit GridCheck(std::uint32_t rate) : rate_(rate) {}

    // The run's first tick is due on `first`, `interval_ms` after its start.
    // Without it, the grid starts from the first tick.
    void begin(std::uint64_t first, int interval_ms);

    // A tick stamped for `frame`; `interval_ms` is the timer's interval once
    // the tick has run, the time to the next tick.
    void tick(std::uint64_t frame, int interval_ms);

    std::uint64_t ticks() const { return ticks_; }
    std::uint64_t shifts() const { return shifts_; }
    // The largest distance of a tick from the grid, in frames.
    std::uint64_t largest_distance() const { return largest_; }
    // How far the last tick lay from the grid of the whole run, shifts and
    // all, in frames: what the shifts added up to.
    std::int64_t drift() const { return drift_; }

private:
    std::uint32_t rate_;
    std::uint64_t ticks_ = 0;
    std::uint64_t shifts_ = 0;
    std::uint64_t largest_ = 0;
    std::uint64_t origin_ = 0;
    std::uint64_t elapsed_ms_ = 0;
    std::uint64_t run_origin_ = 0;
    std::uint64_t run_elapsed_ms_ = 0;
    std::int64_t drift_ = 0;
    int interval_ms_ = 0;
    bool begun_ = false;
};

// Pairs the clicks found in the mix with the frames the ticks that played
// them were stamped for. Every tick of the soak song plays a click.
class OnsetMatch {
public:
    void stamp(std::uint64_t frame) { stamps_.push_back(frame); }
    void onset(std::uint64_t frame);
    // The mix has been searched up to `frame`: a tick stamped before it whose
    // click was not found is missed.
    void settle(std::uint64_t frame);

    std::uint64_t matched() const { return matched_; }
    std::uint64_t missed() const { return missed_; }
    // Onsets on no stamped frame.
    std::uint64_t stray() const { return stray_; }
    // The largest distance of a stray onset from the nearest stamp, in frames.
    std::uint64_t largest_distance() const { return largest_; }

private:
    std::deque<std::uint64_t> stamps_;
    std::uint64_t last_ = 0; // the last stamp left behind
    bool has_last_ = false;
    std::uint64_t matched_ = 0;
    std::uint64_t missed_ = 0;
    std::uint64_t stray_ = 0;
    std::uint64_t largest_ = 0;
};

// The resident memory of this process, in KiB.
long resident_kib();

struct OfflineFigures {
    double virtual_hours = 0;
    std::uint64_t ticks = 0;
    std::uint64_t grid_shifts = 0;
    std::uint64_t grid_distance = 0; // frames
    std::int64_t drift = 0;          // frames
    std::uint64_t clicks = 0;
    std::uint64_t missed = 0;
    std::uint64_t stray = 0;
    std::uint64_t onset_distance = 0; // frames
    std::vector<long> resident_kib;   // at the end of each sampling period
    double wall_seconds = 0;
    std::vector<std::string> messages; // what the window told its user
};

// Plays the soak song through the window headless, as the renderer does,
// for `length` of virtual time, sampling the resident memory every
// `sample_every`.
OfflineFigures run_offline(std::chrono::seconds length, std::chrono::seconds sample_every);

struct LiveFigures {
    double seconds = 0;
    int stalls = 0;
    std::uint64_t ticks = 0;
    std::uint64_t grid_shifts = 0;
    // Ticks that ran later than the timer's look-ahead allows, stalled ones
    // and any the machine delayed: each may move the grid once.
    std::uint64_t late_ticks = 0;
    std::uint64_t clicks = 0;
    std::uint64_t missed = 0;
    std::uint64_t stray = 0;
    std::uint64_t onset_distance = 0;
    std::uint64_t captured_frames = 0;
    std::uint64_t elapsed_frames = 0; // of the output's clock while the capture ran
    std::uint64_t clock_slack = 0;    // how far the clock may have run beyond the capture
    std::uint64_t overrun_frames = 0;
    std::string backend;
    std::vector<std::string> messages;
};

// Plays the soak song in real time through the window on the null clock for
// `length`, capturing the mix, while the window's thread stalls `stalls`
// times for 100 to 300 ms at random moments (from `seed`).
LiveFigures run_live(std::chrono::seconds length, int stalls, unsigned seed);

} // namespace qx375::soak
