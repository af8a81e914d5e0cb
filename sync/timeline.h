#pragma once

#include <cstdint>

namespace qx375::sync {

// A stretch of the shared timeline: where beats fall on the output's frames,
// at one tempo. Beats count from the start of the song (beat 0 = its first
// step); one bar is four beats.
struct Timeline {
    double beat = 0;  // the beat that falls on `frame`
    double frame = 0; // an output frame, with its fraction
    double frames_per_beat = 0;

    double frame_at(double at_beat) const { return frame + (at_beat - beat) * frames_per_beat; }
    double beat_at(double at_frame) const { return beat + (at_frame - frame) / frames_per_beat; }
    double bpm(std::uint32_t rate) const { return 60.0 * rate / frames_per_beat; }
};

} // namespace qx375::sync
