#pragma once

#include "midi/midi_file.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qx375::midi {

// What the sequencer played, on output frames, turned into a MIDI file that
// plays each hit when the audio does. On the program's grid a pattern is a
// bar whatever its size, so a step is 1680 / size ticks, and a tempo change
// on every step whose interval or size differs from the one before makes each
// step last its interval: size * interval * 250 microseconds a quarter.
class Performance {
public:
    explicit Performance(std::uint32_t rate) : rate_(rate == 0 ? 1 : rate) {}

    // The step starting on `frame`, of a pattern of `size` steps, lasting
    // `interval_ms` up to the next one. The first step given is the file's
    // start; a step not later than the one before is ignored.
    void step(std::uint64_t frame, int interval_ms, int size);
    // `sound` hit on `frame`, going out as `note` at `velocity`.
    void hit(std::uint64_t frame, int sound, int note, int velocity);

    // The file: a track per sound that was hit, in sound order, named by
    // `names` (a sound beyond them is "Sound N", counted from 1).
    MidiFile file(std::span<const std::string_view> names) const;

private:
    struct Step {
        std::uint64_t frame;
        std::uint32_t tick;
        std::uint32_t ticks; // up to the next step
        std::uint32_t microseconds_per_quarter;
    };
    struct Hit {
        std::uint64_t frame;
        int sound;
        int note;
        int velocity;
    };

    std::uint32_t tick_of(std::uint64_t frame) const;

    std::uint32_t rate_;
    std::vector<Step> steps_;
    std::vector<Hit> hits_;
};

} // namespace qx375::midi
