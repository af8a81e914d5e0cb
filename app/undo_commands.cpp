#include "app/undo_commands.h"

#include <algorithm>

namespace qx375 {

SongCommand::SongCommand(Msg name, SongEdit edit, SongPlace place)
    : name_(name), edit_(edit), place_(place) {}

void SongCommand::redo() {
    if (!made_) {
        made_ = true;
        make();
        return;
    }
    restore(true);
    show();
}

void SongCommand::undo() {
    restore(false);
    show();
}

PatternCommand::PatternCommand(Msg name, SongEdit edit, SongPlace place)
    : SongCommand(name, edit, place), before_(edit.song.pattern(place.pattern)) {}

void PatternCommand::make() {
    change();
    after_ = song().pattern(place().pattern);
    setObsolete(!changed());
}

void PatternCommand::restore(bool after) {
    song().set_pattern(place().pattern, after ? after_ : before_);
}

GridCellCommand::GridCellCommand(SongEdit edit, SongPlace place, int track, int step, int value)
    : PatternCommand(Msg::undo_cell, edit, place), track_(track), step_(step), value_(value) {}

void GridCellCommand::change() {
    song().set_cell(track_, step_, value_);
}

HiHatCommand::HiHatCommand(SongEdit edit, SongPlace place, int step, int closed, int open)
    : PatternCommand(Msg::undo_hihat, edit, place), step_(step), closed_(closed), open_(open) {}

void HiHatCommand::change() {
    song().set_cell(0, step_, closed_);
    song().set_cell(1, step_, open_);
}

PatternSizeCommand::PatternSizeCommand(SongEdit edit, SongPlace place, int size)
    : PatternCommand(Msg::undo_size, edit, place), size_(size) {}

void PatternSizeCommand::change() {
    song().set_size(size_);
}

PastePatternCommand::PastePatternCommand(SongEdit edit, SongPlace place)
    : PatternCommand(Msg::undo_paste, edit, place) {}

void PastePatternCommand::change() {
    song().paste_pattern();
}

ClearPatternCommand::ClearPatternCommand(SongEdit edit, SongPlace place)
    : PatternCommand(Msg::undo_clear, edit, place) {}

void ClearPatternCommand::change() {
    song().clear_pattern();
}

TempoCommand::TempoCommand(SongEdit edit, SongPlace place, int tempo, int from, int to, int gesture)
    : PatternCommand(Msg::undo_tempo, edit, place), tempo_(tempo), from_(from), to_(to),
      gesture_(gesture) {}

void TempoCommand::change() {
    song().set_tempo(tempo_);
}

void TempoCommand::restore(bool after) {
    PatternCommand::restore(after);
    host().show_tempo(after ? to_ : from_);
}

bool TempoCommand::mergeWith(const QUndoCommand* other) {
    const auto* later = static_cast<const TempoCommand*>(other);
    if (gesture_ == 0 || later->gesture_ != gesture_ || later->place().pattern != place().pattern) {
        return false;
    }
    take_after(*later);
    to_ = later->to_;
    return true;
}

MixCommand::MixCommand(SongEdit edit, SongPlace place, MixPart part, int sound, int value,
                       int gesture)
    : PatternCommand(part == MixPart::volume ? Msg::undo_volume
                     : part == MixPart::pan  ? Msg::undo_pan
                                             : Msg::undo_pitch,
                     edit, place),
      part_(part), sound_(sound), value_(value), gesture_(gesture) {}

void MixCommand::change() {
    apply(value_);
}

void MixCommand::apply(int value) {
    switch (part_) {
    case MixPart::volume:
        song().set_volume(sound_, value);
        break;
    case MixPart::pan:
        song().set_pan(sound_, value);
        break;
    case MixPart::pitch:
        song().set_frequency(sound_, value);
        break;
    }
}

// The pattern that plays hears its sound's new value at once, as the user's
// own move would; another pattern has it when it next plays.
void MixCommand::restore(bool after) {
    PatternCommand::restore(after);
    if (song().get_song_entry() == place().pattern) {
        const pattern_record& now = song().pattern(place().pattern);
        const auto k = static_cast<std::size_t>(sound_);
        apply(part_ == MixPart::volume ? now.volume[k]
              : part_ == MixPart::pan  ? now.pan[k]
                                       : now.frequency[k]);
    }
}

bool MixCommand::mergeWith(const QUndoCommand* other) {
    const auto* later = static_cast<const MixCommand*>(other);
    if (gesture_ == 0 || later->gesture_ != gesture_ || later->part_ != part_ ||
        later->sound_ != sound_ || later->place().pattern != place().pattern) {
        return false;
    }
    take_after(*later);
    return true;
}

PatternEntryCommand::PatternEntryCommand(SongEdit edit, SongPlace place, int pattern)
    : SongCommand(pattern == kEndMarker ? Msg::undo_end : Msg::undo_entry, edit, place),
      before_(place.pattern), after_(pattern) {}

// A pattern chosen for the first time starts from the one the measure held,
// without its cells.
void PatternEntryCommand::make() {
    song().set_song_entry(after_);
    if (song().is_empty() && !song().has_cells()) {
        Started started{after_, song().pattern(after_), {}};
        song().copy_from(before_);
        song().mark_used();
        started.after = song().pattern(after_);
        started_.push_back(started);
    }
}

void PatternEntryCommand::restore(bool after) {
    if (after) {
        for (const Started& s : started_) {
            song().set_pattern(s.pattern, s.after);
        }
    } else {
        for (auto s = started_.rbegin(); s != started_.rend(); ++s) {
            song().set_pattern(s->pattern, s->before);
        }
    }
    song().set_song_entry(place().measure, after ? after_ : before_);
}

bool PatternEntryCommand::mergeWith(const QUndoCommand* other) {
    const auto* later = static_cast<const PatternEntryCommand*>(other);
    if (later->place().measure != place().measure ||
        later->place().song_mode != place().song_mode) {
        return false;
    }
    after_ = later->after_;
    started_.insert(started_.end(), later->started_.begin(), later->started_.end());
    setObsolete(after_ == before_ && started_.empty());
    return true;
}

LoopCommand::LoopCommand(SongEdit edit, SongPlace place, bool on)
    : SongCommand(Msg::undo_loop, edit, place), on_(on) {}

void LoopCommand::restore(bool after) {
    host().show_loop(after ? on_ : !on_);
}

SampleCommand::SampleCommand(SongEdit edit, SongPlace place, int sound, kept_sample chosen)
    : SongCommand(Msg::undo_sample, edit, place), sound_(sound), other_(std::move(chosen)) {}

KitCommand::KitCommand(SongEdit edit, SongPlace place, std::vector<sample_reading> taken)
    : SongCommand(Msg::undo_kit, edit, place), taken_(std::move(taken)) {}

void KitCommand::swap_all() {
    for (sample_reading& r : taken_) {
        song().swap_sample(r.sound, r.read);
    }
}

} // namespace qx375
