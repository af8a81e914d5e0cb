#pragma once

#include "util/sound_slots.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qx375::midi {

using qx375::kSounds;
constexpr int kNotes = 128;
// A sound answers to a few notes at most: its own and the neighbours a drum
// kit or a keyboard sends for the same instrument.
constexpr int kMaxNotesPerSound = 8;

// Which incoming MIDI notes play which of the 16 sounds, on any channel. Each
// sound keeps its notes in order; the first is the one it sends on MIDI out.
// A note belongs to one sound at most, so a hit never plays two pads.
class NoteMap {
public:
    // No note plays anything.
    NoteMap();

    // The General MIDI drum notes, the map a new program starts with.
    static NoteMap general_midi();

    // -1 when the note plays nothing or is not a MIDI note.
    int sound_of(int note) const;
    // -1 when the sound has no note.
    int out_note(int sound) const;
    // Empty for a sound out of range.
    std::span<const std::uint8_t> notes(int sound) const;

    // The note becomes the sound's only note, taken away from any other
    // sound: a pad learned from a key answers to that key alone. Ignored when
    // either is out of range.
    void learn(int note, int sound);

    // Note -> sound, or -1: a copy the audio thread looks hits up in.
    std::array<std::int8_t, kNotes> table() const { return sound_of_; }

    // The settings file keeps one key per sound, "sound0".."sound15", holding
    // its notes in decimal, separated by spaces: "46 44", or "" for none.
    static std::string key(int sound);
    std::string notes_text(int sound) const;
    // Reads such a text; commas may separate the notes too. Duplicates are
    // dropped, and a note another sound holds is taken from it, so that the
    // key read last wins. False, leaving the map as it was, for a sound out
    // of range or a text that is not up to 8 notes 0..127.
    bool set_notes_text(int sound, std::string_view text);

    friend bool operator==(const NoteMap&, const NoteMap&) = default;

private:
    void assign(int sound, std::span<const std::uint8_t> chosen);

    std::array<std::array<std::uint8_t, kMaxNotesPerSound>, kSounds> notes_{};
    std::array<std::uint8_t, kSounds> counts_{};
    std::array<std::int8_t, kNotes> sound_of_;
};

} // namespace qx375::midi
