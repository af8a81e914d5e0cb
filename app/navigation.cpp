#include "app/tmain.h"
#include "util/error.h"
#include "util/text.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace qx375 {

bool Tmain::shows_end_marker() const {
    return EditNumPattern->text() == ButtonEndSong->text();
}

// Plus and minus read the box strictly and refuse anything but a number.
int Tmain::strict_pattern_number() const {
    if (shows_end_marker()) {
        return kEndMarker;
    }
    const std::string text = EditNumPattern->text().toStdString();
    const std::optional<std::int32_t> n = parse_integer(text);
    if (!n) {
        throw Error("'" + text + "' is not a valid integer value");
    }
    return *n;
}

void Tmain::EditNumPatternChange() {
    const int previous = song_.get_song_entry();
    if (shows_end_marker()) {
        current_pattern = kEndMarker;
    } else {
        // Anything that is not a number counts as pattern 0, and so does a
        // negative number: the song holds patterns 0..255 only.
        const auto n = parse_integer(EditNumPattern->text().toStdString());
        current_pattern = std::clamp(n.value_or(0), 0, kEndMarker);
    }
    const bool changed = current_pattern != previous;
    // A pattern chosen for the first time starts from the one the measure
    // held, without its cells. This runs on every step of playback too, so it
    // must only act when the number really changed, and never on a pattern
    // that already has cells (every pattern of a new song counts as unused
    // while it is only edited on the grid). In song mode that choice is a
    // change of the song; in pattern mode it is the way to another pattern.
    if (changed && user_change() && song_.in_song_mode()) {
        record(std::make_unique<PatternEntryCommand>(edit(), place(), current_pattern));
    } else {
        song_.set_song_entry(current_pattern);
        if (changed && song_.is_empty() && !song_.has_cells()) {
            song_.copy_from(previous);
            song_.mark_used();
        }
    }
    if (changed) {
        modified = true;
    }
    if (current_pattern >= kEndMarker) {
        show_text(EditNumPattern, ButtonEndSong->text());
    }
    // Whatever the grid shows is what its clicks edit: a number typed in
    // shows its pattern at once. Only a change of pattern redraws, so the run
    // of this handler on every step of playback costs nothing more.
    if (changed) {
        getpatern();
    }
}

void Tmain::EditNumPatternKeyPress() {
    getpatern();
}

void Tmain::envoyer_pattern(char digit) {
    const QString text = EditNumPattern->text();
    switch (text.size()) {
    case 1:
    case 2:
        show_text(EditNumPattern, text + QChar(digit));
        break;
    case 3:
        show_text(EditNumPattern, text.mid(1) + QChar(digit));
        break;
    default:
        show_text(EditNumPattern, "0");
        break;
    }
}

void Tmain::ButtonPClick(int digit) {
    envoyer_pattern(static_cast<char>('0' + digit));
    getpatern();
}

void Tmain::ButtonPatternPlusClick() {
    const int n = strict_pattern_number();
    show_text(EditNumPattern, QString::number(n < 256 ? n + 1 : n));
    getpatern();
    if (!TimerZicmu.isEnabled()) {
        modified = song_.mark_used();
    }
}

void Tmain::ButtonPatternMoinsClick() {
    modified = song_.mark_used();
    const int n = strict_pattern_number();
    show_text(EditNumPattern, QString::number(n > 0 ? n - 1 : n));
    getpatern();
    if (!TimerZicmu.isEnabled()) {
        modified = song_.mark_used();
    }
}

void Tmain::ButtonEndSongClick() {
    show_text(EditNumPattern, "255");
    getpatern();
}

void Tmain::SpeedButtonBeginSongClick() {
    KeepModified keep(modified);
    song_.rewind_song();
    song_.reset_step();
    current_pattern = song_.get_song_entry();
    song_.set_song_entry(current_pattern);
    getpatern();
    sync_.moved();
}

void Tmain::SpeedButtonBackPatternClick() {
    KeepModified keep(modified);
    song_.previous_measure();
    current_pattern = song_.get_song_entry();
    song_.set_song_entry(current_pattern);
    if (song_.in_song_mode() && song_.get_measure() < 1) {
        SpeedButtonBeginSongClick();
    }
    getpatern();
    sync_.moved();
}

void Tmain::SpeedButtonForwardPatternClick() {
    KeepModified keep(modified);
    if (song_.get_song_entry() < kEndMarker) {
        song_.next_measure();
    } else if (RadioGroupPlay->item_index() == 1) {
        song_.reset_step();
    } else {
        TimerZicmu.setEnabled(false);
    }
    current_pattern = std::min(song_.get_song_entry(), kEndMarker);
    song_.set_song_entry(current_pattern);
    getpatern();
    sync_.moved();
}

void Tmain::SpeedButtonNextStepClick() {
    KeepModified keep(modified);
    execute(1, SpeedButtonNextStep);
}

void Tmain::SpeedButtonPreviousStepClick() {
    KeepModified keep(modified);
    execute(-1, SpeedButtonPreviousStep);
}

void Tmain::SpeedButtonStepZeroClick() {
    KeepModified keep(modified);
    song_.reset_step();
    execute(0, SpeedButtonStepZero);
}

} // namespace qx375
