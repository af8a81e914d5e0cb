#include "midi/midi_file.h"

#include "midi/note_offs.h"

#include <algorithm>
#include <string_view>

namespace qx375::midi {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kMaxTempo = 0xFFFFFF;

void put_be(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A variable-length quantity: seven bits a byte, the first byte highest.
void put_vlq(Bytes& out, std::uint32_t value) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n-- > 1) {
        out.push_back(static_cast<std::uint8_t>(groups[n] | 0x80));
    }
    out.push_back(groups[0]);
}

// A track's events as they are written: the delta time before each one
// is taken from the tick of the one before.
class Track {
public:
    void at(std::uint32_t tick) {
        put_vlq(bytes_, tick - last_);
        last_ = tick;
    }
    void meta(std::uint32_t tick, std::uint8_t type, std::string_view data) {
        at(tick);
        bytes_.insert(bytes_.end(), {0xFF, type});
        put_vlq(bytes_, static_cast<std::uint32_t>(data.size()));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
    }
    void message(std::uint32_t tick, std::uint8_t status, std::uint8_t note,
                 std::uint8_t velocity) {
        at(tick);
        bytes_.insert(bytes_.end(), {status, note, velocity});
    }
    // The end of track, then the chunk around it all.
    void finish(std::uint32_t tick, Bytes& out) {
        meta(std::max(tick, last_), 0x2F, {});
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        put_be(out, static_cast<std::uint32_t>(bytes_.size()), 4);
        out.insert(out.end(), bytes_.begin(), bytes_.end());
    }

private:
    Bytes bytes_;
    std::uint32_t last_ = 0;
};

std::string tempo_bytes(std::uint32_t microseconds) {
    const std::uint32_t value = std::clamp<std::uint32_t>(microseconds, 1, kMaxTempo);
    return {static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

void write_conductor(const MidiFile& file, Bytes& out) {
    Track track;
    if (!file.title.empty()) {
        track.meta(0, 0x03, file.title);
    }
    // Four quarters a bar, a metronome click every quarter (24 clocks).
    track.meta(0, 0x58, std::string_view("\x04\x02\x18\x08", 4));
    std::vector<FileTempo> tempi = file.tempi;
    std::stable_sort(tempi.begin(), tempi.end(),
                     [](const FileTempo& a, const FileTempo& b) { return a.tick < b.tick; });
    for (const FileTempo& tempo : tempi) {
        track.meta(tempo.tick, 0x51, tempo_bytes(tempo.microseconds_per_quarter));
    }
    track.finish(file.end_tick, out);
}

struct Event {
    std::uint32_t tick;
    bool on; // at one tick the notes ending go before those starting
    std::uint8_t note;
    std::uint8_t velocity;
};

void write_notes(const MidiFile& file, const FileTrack& given, Bytes& out) {
    std::vector<FileNote> notes = given.notes;
    for (FileNote& n : notes) {
        n.note &= 0x7F;
        n.velocity = std::clamp<std::uint8_t>(n.velocity, 1, 127);
    }
    std::stable_sort(notes.begin(), notes.end(), [](const FileNote& a, const FileNote& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.note < b.note;
    });
    std::vector<FileNote> hits;
    for (const FileNote& n : notes) {
        if (!hits.empty() && hits.back().tick == n.tick && hits.back().note == n.note) {
            hits.back().velocity = std::max(hits.back().velocity, n.velocity);
        } else {
            hits.push_back(n);
        }
    }
    const std::uint32_t length = std::max<std::uint32_t>(file.note_ticks, 1);
    std::vector<Event> events;
    for (std::size_t i = 0; i < hits.size(); ++i) {
        std::uint32_t end = hits[i].tick + length;
        for (std::size_t j = i + 1; j < hits.size() && hits[j].tick < end; ++j) {
            if (hits[j].note == hits[i].note) {
                end = hits[j].tick;
            }
        }
        events.push_back({hits[i].tick, true, hits[i].note, hits[i].velocity});
        events.push_back({end, false, hits[i].note, 0});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.on < b.on;
    });
    Track track;
    track.meta(0, 0x03, given.name);
    for (const Event& e : events) {
        track.message(e.tick, e.on ? kNoteOn : kNoteOff, e.note, e.velocity);
    }
    track.finish(file.end_tick, out);
}

} // namespace

std::vector<std::uint8_t> standard_midi_file(const MidiFile& file) {
    Bytes out = {'M', 'T', 'h', 'd'};
    put_be(out, 6, 4);
    put_be(out, 1, 2);
    const std::size_t tracks = std::min<std::size_t>(file.tracks.size(), 0xFFFE);
    put_be(out, static_cast<std::uint32_t>(tracks + 1), 2);
    put_be(out, std::clamp<std::uint16_t>(file.ticks_per_quarter, 1, 0x7FFF), 2);
    write_conductor(file, out);
    for (std::size_t t = 0; t < tracks; ++t) {
        write_notes(file, file.tracks[t], out);
    }
    return out;
}

} // namespace qx375::midi
