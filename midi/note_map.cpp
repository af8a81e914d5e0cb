#include "midi/note_map.h"

#include <algorithm>

namespace qx375::midi {
namespace {

bool valid_sound(int sound) {
    return sound >= 0 && sound < kSounds;
}

bool valid_note(int note) {
    return note >= 0 && note < kNotes;
}

} // namespace

NoteMap::NoteMap() {
    sound_of_.fill(-1);
}

NoteMap NoteMap::general_midi() {
    NoteMap map;
    for (int k = 0; k < kSounds; ++k) {
        const auto& notes = kSoundSlots[static_cast<std::size_t>(k)].notes;
        map.assign(k, std::span(notes).first(notes[1] == 0 ? 1 : 2));
    }
    return map;
}

int NoteMap::sound_of(int note) const {
    return valid_note(note) ? sound_of_[note] : -1;
}

int NoteMap::out_note(int sound) const {
    return valid_sound(sound) && counts_[sound] > 0 ? notes_[sound][0] : -1;
}

std::span<const std::uint8_t> NoteMap::notes(int sound) const {
    if (!valid_sound(sound)) {
        return {};
    }
    return std::span(notes_[sound]).first(counts_[sound]);
}

void NoteMap::learn(int note, int sound) {
    if (!valid_note(note) || !valid_sound(sound)) {
        return;
    }
    const std::uint8_t only = static_cast<std::uint8_t>(note);
    assign(sound, std::span(&only, 1));
}

std::string NoteMap::key(int sound) {
    return "sound" + std::to_string(sound);
}

std::string NoteMap::notes_text(int sound) const {
    std::string text;
    for (std::uint8_t note : notes(sound)) {
        if (!text.empty()) {
            text += ' ';
        }
        text += std::to_string(note);
    }
    return text;
}

bool NoteMap::set_notes_text(int sound, std::string_view text) {
    if (!valid_sound(sound)) {
        return false;
    }
    std::array<std::uint8_t, kMaxNotesPerSound> read{};
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == ',') {
            ++i;
            continue;
        }
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        int value = 0;
        // Stops as soon as the number leaves the note range, so that no
        // number of digits can overflow it.
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + (text[i] - '0');
            if (value >= kNotes) {
                return false;
            }
            ++i;
        }
        const auto note = static_cast<std::uint8_t>(value);
        if (std::find(read.begin(), read.begin() + count, note) != read.begin() + count) {
            continue;
        }
        if (count == read.size()) {
            return false;
        }
        read[count++] = note;
    }
    assign(sound, std::span(read).first(count));
    return true;
}

void NoteMap::assign(int sound, std::span<const std::uint8_t> chosen) {
    for (std::uint8_t note : notes(sound)) {
        sound_of_[note] = -1;
    }
    notes_[sound].fill(0);
    counts_[sound] = 0;
    for (std::uint8_t note : chosen) {
        const int owner = sound_of_[note];
        if (owner >= 0) {
            // The slots left free are cleared, so that equal maps compare equal.
            auto& theirs = notes_[owner];
            std::fill(std::remove(theirs.begin(), theirs.begin() + counts_[owner], note),
                      theirs.end(), 0);
            --counts_[owner];
        }
        notes_[sound][counts_[sound]++] = note;
        sound_of_[note] = static_cast<std::int8_t>(sound);
    }
}

} // namespace qx375::midi
