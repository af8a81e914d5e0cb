#pragma once

#include <array>
#include <cstdint>

namespace qx375::midi {

// Drum hits go out on channel 10.
inline constexpr std::uint8_t kNoteOn = 0x99;
inline constexpr std::uint8_t kNoteOff = 0x89;

// The notes sent out that still sound, and when each ends: a fixed time
// after it started, at once when the same note starts again, or where every
// note ends (playback stopped). Nothing is allocated and nothing can fail, so
// it runs in the audio callback; every Note On it passes on gets its Note Off.
class NoteOffs {
public:
    static constexpr std::uint64_t kSilent = 0;

    // How long a note sounds, in frames (at least one).
    void set_length(std::uint32_t frames) { length_ = frames == 0 ? 1 : frames; }
    std::uint32_t length() const { return length_; }
    bool sounding(std::uint8_t note) const { return ends_[note & 0x7F] != kSilent; }

    // `send(frame, status, note, velocity)` is called for each message, in
    // frame order, as long as the caller's frames never go back.
    template <class Send>
    void note_on(std::uint64_t frame, std::uint8_t note, std::uint8_t velocity, Send&& send) {
        note &= 0x7F;
        until(frame, send);
        if (sounding(note)) {
            send(frame, kNoteOff, note, 0);
        }
        send(frame, kNoteOn, note, velocity);
        ends_[note] = frame + length_;
    }

    template <class Send>
    void end_all(std::uint64_t frame, Send&& send) {
        until(frame, send);
        for (std::size_t note = 0; note < ends_.size(); ++note) {
            if (ends_[note] != kSilent) {
                send(frame, kNoteOff, static_cast<std::uint8_t>(note), 0);
                ends_[note] = kSilent;
            }
        }
    }

    // Sends the Note Offs due before `frame`, earliest first.
    template <class Send>
    void until(std::uint64_t frame, Send&& send) {
        for (;;) {
            std::size_t first = ends_.size();
            for (std::size_t note = 0; note < ends_.size(); ++note) {
                if (ends_[note] != kSilent && ends_[note] < frame &&
                    (first == ends_.size() || ends_[note] < ends_[first])) {
                    first = note;
                }
            }
            if (first == ends_.size()) {
                return;
            }
            send(ends_[first], kNoteOff, static_cast<std::uint8_t>(first), 0);
            ends_[first] = kSilent;
        }
    }

private:
    std::array<std::uint64_t, 128> ends_{};
    std::uint32_t length_ = 1;
};

} // namespace qx375::midi
