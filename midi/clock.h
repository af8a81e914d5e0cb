#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qx375::midi {

// The musical grid MIDI clock runs on. Whatever its size, one pattern is one
// bar of four beats, so a bar always has 96 clocks and a pattern's steps fall
// between them unless its size divides 96.
inline constexpr int kClocksPerBeat = 24;
inline constexpr int kBeatsPerBar = 4;
inline constexpr int kClocksPerBar = kClocksPerBeat * kBeatsPerBar;
// Song Position Pointer counts sixteenth notes, 6 clocks each, in 14 bits.
inline constexpr int kSixteenthsPerBeat = 4;
inline constexpr int kSixteenthsPerBar = kSixteenthsPerBeat * kBeatsPerBar;
inline constexpr int kMaxSongPosition = 0x3FFF;
// The last measure whose first sixteenth a Song Position Pointer can name.
inline constexpr int kMaxMeasure = kMaxSongPosition / kSixteenthsPerBar + 1;

inline constexpr std::uint8_t kClock = 0xF8;
inline constexpr std::uint8_t kStart = 0xFA;
inline constexpr std::uint8_t kContinue = 0xFB;
inline constexpr std::uint8_t kStop = 0xFC;
inline constexpr std::uint8_t kSongPosition = 0xF2;

// The tempo slider's positions, fastest first: the step interval in
// milliseconds is position * 18 / size.
inline constexpr int kMinPosition = 40;
inline constexpr int kMaxPosition = 400;

// The tempo of a pattern of `size` steps played one step every `interval_ms`;
// 0 when either is not positive.
constexpr double bpm_of(int size, int interval_ms) {
    if (size <= 0 || interval_ms <= 0) {
        return 0.0;
    }
    return 60000.0 * kBeatsPerBar / (static_cast<double>(size) * interval_ms);
}

// The slider position whose interval comes nearest to `bpm` for a pattern of
// `size` steps (taken as 1..96), the lower position on a tie. Tempos beyond
// what the slider reaches give its ends; one that is not a positive number
// gives the slowest.
int nearest_position(double bpm, int size);

// The three bytes of a Song Position Pointer to `sixteenths` (taken as
// 0..16383), and back from its two data bytes (their high bits ignored).
constexpr std::array<std::uint8_t, 3> song_position(int sixteenths) {
    const int value = sixteenths < 0                  ? 0
                      : sixteenths > kMaxSongPosition ? kMaxSongPosition
                                                      : sixteenths;
    return {kSongPosition, static_cast<std::uint8_t>(value & 0x7F),
            static_cast<std::uint8_t>(value >> 7)};
}
constexpr int sixteenths_of(std::uint8_t lsb, std::uint8_t msb) {
    return (lsb & 0x7F) | (msb & 0x7F) << 7;
}

// The first sixteenth of a measure counted from 1 (taken as 1..kMaxMeasure),
// and the beat, counted from the song's start, a position names.
constexpr int song_position_of_measure(int measure) {
    const int m = measure < 1 ? 1 : measure > kMaxMeasure ? kMaxMeasure : measure;
    return (m - 1) * kSixteenthsPerBar;
}
constexpr double beat_of_song_position(int sixteenths) {
    return static_cast<double>(sixteenths) / kSixteenthsPerBeat;
}

// A clock that falls within a step: its number in the bar (0..95) and how far
// into the step it lies, numerator / 96 of a step. Kept as a fraction so that
// a clock placed at step + numerator / 96 on an integer frame grid lands where
// the step's own frames put it: a clock that falls on a step lands exactly on
// that step's frame.
struct StepClock {
    int clock = 0;
    std::uint32_t numerator = 0;

    friend bool operator==(const StepClock&, const StepClock&) = default;
};
inline constexpr std::uint32_t kStepClockDenominator = kClocksPerBar;

// The clocks of one step, in order. A step of a one-step pattern holds the
// whole bar, so it has room for all of it.
class StepClocks {
public:
    static constexpr std::size_t kCapacity = kClocksPerBar;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const StepClock& operator[](std::size_t i) const { return clocks_[i]; }
    const StepClock* begin() const { return clocks_.data(); }
    const StepClock* end() const { return clocks_.data() + size_; }

    void push_back(StepClock clock) {
        if (size_ < kCapacity) {
            clocks_[size_++] = clock;
        }
    }

private:
    std::array<StepClock, kCapacity> clocks_{};
    std::size_t size_ = 0;
};

// The clocks j of the bar with 96 * step <= j * size < 96 * (step + 1): those
// from the start of step `step` (0-based) of a `size`-step pattern up to the
// next. None for a size outside 1..96 or a step outside the pattern.
StepClocks step_clocks(int size, int step);

} // namespace qx375::midi
