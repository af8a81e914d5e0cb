#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qx375::midi {

// Ticks per quarter note of the files written. A bar of four beats is then
// 1680 ticks, which every pattern size divides: a step of 14, 15, 16, 20, 21
// or 24 is 120, 112, 105, 84, 80 or 70 ticks.
inline constexpr std::uint16_t kFileTicksPerQuarter = 420;
inline constexpr std::uint32_t kFileTicksPerBar = 4u * kFileTicksPerQuarter;

struct FileTempo {
    std::uint32_t tick = 0;
    std::uint32_t microseconds_per_quarter = 500000;
};

struct FileNote {
    std::uint32_t tick = 0;
    std::uint8_t note = 0;
    std::uint8_t velocity = 127;
};

struct FileTrack {
    std::string name;
    std::vector<FileNote> notes;
};

// A drum performance as a type 1 Standard MIDI File keeps it.
struct MidiFile {
    std::uint16_t ticks_per_quarter = kFileTicksPerQuarter;
    std::string title;
    std::vector<FileTempo> tempi;
    std::vector<FileTrack> tracks;
    // How long a note sounds: drums need no more than a short one.
    std::uint32_t note_ticks = kFileTicksPerQuarter / 12;
    // Where the music ends; tracks whose notes go on end after them.
    std::uint32_t end_tick = 0;
};

// The bytes of the file: a conductor track holding the title, a 4/4 time
// signature and the tempo changes, then each track, named, its notes on
// channel 10. A note ends note_ticks after it starts, or where the same note
// starts again; of two hits of one note on one tick the louder is kept.
// Events come in tick order whatever the order given; a note or a velocity
// that MIDI cannot carry is brought into range (a hit is never velocity 0,
// which would end the note), as is a tempo.
std::vector<std::uint8_t> standard_midi_file(const MidiFile& file);

} // namespace qx375::midi
