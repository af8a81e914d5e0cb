#include "app/tmain.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>

namespace qx375 {

void Tmain::build_edit_items(QMenu& edit) {
    Undo1 = edit.addAction("&Undo");
    Undo1->setObjectName("Undo1");
    Undo1->setShortcut(QKeySequence("Ctrl+Z"));
    Redo1 = edit.addAction("&Redo");
    Redo1->setObjectName("Redo1");
    Redo1->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
    edit.addSeparator();
    connect(&history_, &QUndoStack::indexChanged, this, [this] { show_history_items(); });
    show_history_items();
}

// The keys every desktop program answers to. Space starts and stops
// playback as Enter does, but a box being typed in keeps it.
void Tmain::build_shortcuts() {
    Nouveau1->setShortcut(QKeySequence("Ctrl+N"));
    Ouvrir->setShortcut(QKeySequence("Ctrl+O"));
    Enregistrer->setShortcut(QKeySequence("Ctrl+S"));
    SauverSous->setShortcut(QKeySequence("Ctrl+Shift+S"));
    Export1->setShortcut(QKeySequence("Ctrl+E"));
    Quitter1->setShortcut(QKeySequence("Ctrl+Q"));
    Aide1->setShortcut(QKeySequence(Qt::Key_F1));
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, [this] { guarded([&] { BitBtnActionClick(); }); });
}

SongPlace Tmain::place() const {
    return {song_.in_song_mode(), song_.get_measure(), song_.get_song_entry()};
}

// Pushing makes the change; the history owns it only once it is made, and
// deletes at once one that changed nothing. A change that fails is dropped.
void Tmain::record(std::unique_ptr<SongCommand> change) {
    history_.push(change.get());
    static_cast<void>(change.release());
}

void Tmain::set_mix(MixPart part, int sound, int value, int gesture) {
    record(std::make_unique<MixCommand>(edit(), place(), part, sound, value, gesture));
}

// Between two ticks, as every handler runs: a change undone while the song
// plays is heard from the next step on.
void Tmain::Undo1Click() {
    if (history_.canUndo()) {
        history_.undo();
        after_history_step();
    }
}

void Tmain::Redo1Click() {
    if (history_.canRedo()) {
        history_.redo();
        after_history_step();
    }
}

// A step that brings back the song as it was opened or saved, byte for byte,
// leaves nothing to save, however it got there; any other leaves the song
// changed.
void Tmain::after_history_step() {
    modified = song_.song_image() != saved_image_;
}

// Stopped, the window goes where the change was made: in song mode to its
// measure, in pattern mode to its pattern. Playing, it stays where playback
// is. Either way it shows the song as it now is.
void Tmain::show_change(const SongPlace& where) {
    KeepModified keep(modified);
    const int measure = song_.get_measure();
    if (!TimerZicmu.isEnabled()) {
        if (!song_.in_song_mode()) {
            song_.set_song_entry(where.pattern);
        } else if (where.song_mode) {
            song_.go_to_measure(where.measure);
            song_.go_to_step(song_.get_step());
        }
    }
    current_pattern = song_.get_song_entry();
    getpatern();
    if (FormSetup != nullptr) {
        FormSetup->refresh();
    }
    if (song_.get_measure() != measure) {
        sync_.moved();
    }
}

void Tmain::show_tempo_position(int position) {
    {
        const QSignalBlocker block(TrackBarBPM);
        TrackBarBPM->setValue(position);
    }
    apply_tempo_position();
}

void Tmain::show_loop(bool on) {
    const QSignalBlocker block(CheckBoxLoop);
    CheckBoxLoop->setChecked(on);
}

void Tmain::show_history_items() {
    const auto caption = [this](Msg verb, bool can, int index) {
        QString text = QString::fromStdString(texts[verb]);
        if (can) {
            const auto* change = static_cast<const SongCommand*>(history_.command(index));
            text += " " + QString::fromStdString(texts[change->name()]);
        }
        return text;
    };
    Undo1->setText(caption(Msg::undo, history_.canUndo(), history_.index() - 1));
    Undo1->setEnabled(history_.canUndo());
    Redo1->setText(caption(Msg::redo, history_.canRedo(), history_.index()));
    Redo1->setEnabled(history_.canRedo());
}

void Tmain::start_history() {
    history_.clear();
    show_history_items();
}

void Tmain::mark_saved() {
    saved_image_ = song_.song_image();
    modified = false;
}

void Tmain::set_caption(const QString& caption) {
    caption_ = caption;
    show_title();
}

void Tmain::say(const QString& text) {
    status_ = text;
    show_title();
}

// "demo.drm - QX375", with a star while there are changes to save.
void Tmain::show_title() {
    const QString file = QFileInfo(EditFileName->text()).fileName();
    QString title = file.isEmpty() ? QString::fromStdString(texts[Msg::untitled]) : file;
    title += "[*] - " + caption_;
    if (!status_.isEmpty()) {
        title += " - " + status_;
    }
    if (windowTitle() != title) {
        setWindowTitle(title);
    }
}

} // namespace qx375
