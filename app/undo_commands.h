#pragma once

#include "app/texts.h"
#include "dialogs/soundset.h"
#include "engine/patern.h"

#include <QUndoCommand>

#include <vector>

namespace qx375 {

// Where a change was made: the mode, the measure and the pattern it showed.
struct SongPlace {
    bool song_mode = false;
    int measure = 0;
    int pattern = 0;
};

// What undoing and redoing a change need of the main window.
class UndoHost {
public:
    virtual ~UndoHost() = default;
    // The change made at `place` was just undone or redone: the window goes
    // there, when it may, and shows the song as it now is.
    virtual void show_change(const SongPlace& place) = 0;
    // The tempo slider at a position, as the song's tempo already is.
    virtual void show_tempo(int position) = 0;
    virtual void show_loop(bool on) = 0;
};

// The song and the window, which every change works with.
struct SongEdit {
    matrice& song;
    UndoHost& host;
};

// One change to the song. Pushing it makes the change, at the place the
// window shows; undoing and redoing it put back the state before or after,
// wherever the window stands then, and show it.
class SongCommand : public QUndoCommand {
public:
    // What the change is called in the Undo and Redo items.
    Msg name() const { return name_; }
    void redo() final;
    void undo() final;

protected:
    SongCommand(Msg name, SongEdit edit, SongPlace place);
    // The change itself, made at the window's place through the model's
    // operations, once.
    virtual void make() = 0;
    // The state after the change, or before it.
    virtual void restore(bool after) = 0;
    virtual void show() { edit_.host.show_change(place_); }

    matrice& song() const { return edit_.song; }
    UndoHost& host() const { return edit_.host; }
    const SongPlace& place() const { return place_; }

private:
    Msg name_;
    SongEdit edit_;
    SongPlace place_;
    bool made_ = false;
};

// A change to the pattern shown: the pattern as it was and as it became are
// kept, about 1.3 KB each, and one that changed nothing leaves no step.
class PatternCommand : public SongCommand {
protected:
    PatternCommand(Msg name, SongEdit edit, SongPlace place);
    void make() final;
    void restore(bool after) override;
    // Changes the current pattern.
    virtual void change() = 0;
    // Whether the change left anything to undo.
    virtual bool changed() const { return after_ != before_; }
    const pattern_record& after() const { return after_; }
    void take_after(const PatternCommand& later) { after_ = later.after_; }

private:
    pattern_record before_;
    pattern_record after_;
};

class GridCellCommand : public PatternCommand {
public:
    GridCellCommand(SongEdit edit, SongPlace place, int track, int step, int value);

private:
    void change() override;
    int track_;
    int step_;
    int value_;
};

// The hi-hat pair of a step: closed, open or neither.
class HiHatCommand : public PatternCommand {
public:
    HiHatCommand(SongEdit edit, SongPlace place, int step, int closed, int open);

private:
    void change() override;
    int step_;
    int closed_;
    int open_;
};

class PatternSizeCommand : public PatternCommand {
public:
    PatternSizeCommand(SongEdit edit, SongPlace place, int size);

private:
    void change() override;
    int size_;
};

class PastePatternCommand : public PatternCommand {
public:
    PastePatternCommand(SongEdit edit, SongPlace place);

private:
    void change() override;
};

class ClearPatternCommand : public PatternCommand {
public:
    ClearPatternCommand(SongEdit edit, SongPlace place);

private:
    void change() override;
};

// A tempo move: the pattern keeps its tempo, the slider shows its position.
// One drag of the slider is one step.
class TempoCommand : public PatternCommand {
public:
    TempoCommand(SongEdit edit, SongPlace place, int tempo, int from, int to, int gesture);
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    void change() override;
    void restore(bool after) override;
    bool changed() const override { return PatternCommand::changed() || from_ != to_; }
    int tempo_;
    int from_;
    int to_;
    int gesture_;
};

// A volume, pan or pitch of a sound in the pattern shown; one drag of a
// slider is one step, a preset one of its own.
class MixCommand : public PatternCommand {
public:
    MixCommand(SongEdit edit, SongPlace place, MixPart part, int sound, int value, int gesture);
    int id() const override { return 2; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    void change() override;
    void restore(bool after) override;
    void apply(int value);
    MixPart part_;
    int sound_;
    int value_;
    int gesture_;
};

// The pattern number of a measure, the End marker among them, with the
// pattern a number chosen for the first time starts from. The numbers
// typed into one measure one after the other are one step.
class PatternEntryCommand : public SongCommand {
public:
    PatternEntryCommand(SongEdit edit, SongPlace place, int pattern);
    int id() const override { return 3; }
    bool mergeWith(const QUndoCommand* other) override;
    int chosen() const { return after_; }

private:
    struct Started {
        int pattern;
        pattern_record before;
        pattern_record after;
    };
    void make() override;
    void restore(bool after) override;
    int before_;
    int after_;
    std::vector<Started> started_;
};

class LoopCommand : public SongCommand {
public:
    LoopCommand(SongEdit edit, SongPlace place, bool on);

private:
    void make() override {}
    void restore(bool after) override;
    void show() override {}
    bool on_;
};

// A sample file for a sound. The sample that is not playing, its file image
// and buffer, is kept here as it was, never read or copied again.
class SampleCommand : public SongCommand {
public:
    // `chosen` holds the sample the sound is to play.
    SampleCommand(SongEdit edit, SongPlace place, int sound, kept_sample chosen);

private:
    void make() override { song().swap_sample(sound_, other_); }
    void restore(bool) override { song().swap_sample(sound_, other_); }
    int sound_;
    kept_sample other_;
};

// Samples a kit gave several sounds at once, as one step.
class KitCommand : public SongCommand {
public:
    // `taken` holds the samples the sounds are to play.
    KitCommand(SongEdit edit, SongPlace place, std::vector<sample_reading> taken);

private:
    void make() override { swap_all(); }
    void restore(bool) override { swap_all(); }
    void swap_all();
    std::vector<sample_reading> taken_;
};

} // namespace qx375
