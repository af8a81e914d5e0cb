#include "app/tmain.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QSlider>

namespace qx375 {

void Tmain::CheckBoxClick(int column, int row) {
    const int value = cells[column - 1][row - kFirstRow]->isChecked() ? 1 : 0;
    if (user_change()) {
        record(std::make_unique<GridCellCommand>(edit(), place(), row - 1, column - 1, value));
    } else {
        song_.set_cell(row - 1, column - 1, value);
    }
    modified = true;
}

// One choice for the hi-hat pair: closed, open, or neither.
void Tmain::RadioGroupClick(int column) {
    const int item = hihat_groups[column - 1]->item_index();
    const int closed = item == 0 ? 1 : 0;
    const int open = item == 1 ? 1 : 0;
    if (song_.get_cell(0, column - 1) != closed || song_.get_cell(1, column - 1) != open) {
        modified = true;
    }
    if (user_change()) {
        record(std::make_unique<HiHatCommand>(edit(), place(), column - 1, closed, open));
    } else {
        song_.set_cell(0, column - 1, closed);
        song_.set_cell(1, column - 1, open);
    }
}

void Tmain::getpatern() {
    const Refresh refresh(refreshing_);
    // Each selection that picks an item writes both hi-hat cells back through
    // the group's handler before the next cell is read, so a step holding both
    // hi-hats comes out as the closed one alone.
    for (int s = 1; s <= kColumns; ++s) {
        RadioGroup* hihat = hihat_groups[s - 1];
        hihat->set_item_index(-1);
        hihat->set_item_index(song_.get_cell(0, s - 1) - 1);
        hihat->set_item_index(hihat->item_index() + 2 * song_.get_cell(1, s - 1));
    }
    for (int r = kFirstRow; r <= kLastRow; ++r) {
        for (int s = 1; s <= kColumns; ++s) {
            cells[s - 1][r - kFirstRow]->setChecked(song_.get_cell(r - 1, s - 1) == 1);
        }
    }
    const auto size = std::find(kPatternSizes.begin(), kPatternSizes.end(), song_.get_size());
    RadioGroup2432->set_item_index(
        size == kPatternSizes.end() ? -1 : static_cast<int>(size - kPatternSizes.begin()));
    show_text(EditNumMesure, QString::number(song_.get_measure()));
    show_text(EditNumPattern, QString::number(current_pattern));
    song_.apply_mix();
}

void Tmain::RadioGroup2432Click() {
    const int item = RadioGroup2432->item_index();
    const int size = item >= 0 && item < 5 ? kPatternSizes[static_cast<std::size_t>(item)] : 24;
    if (user_change()) {
        record(std::make_unique<PatternSizeCommand>(edit(), place(), size));
    } else {
        song_.set_size(size);
    }
    ProgressTime->setMaximum(size);
    TimerZicmu.setInterval(TrackBarBPM->value());
    switch (size) {
    case 14:
        bouton14();
        break;
    case 15:
        bouton15();
        break;
    case 16:
        bouton16();
        break;
    case 20:
        bouton20();
        break;
    case 21:
        bouton21();
        break;
    default:
        bouton24();
        break;
    }
    // size / 24 is kept as a double and the product taken in extended
    // precision: for 16 steps the factor lies just below 2/3, and positions
    // that are multiples of 3 come out one millisecond short (120 gives 79).
    const double factor = static_cast<double>(song_.get_size() * (1.0L / 24.0L));
    const long double product = static_cast<long double>(TrackBarBPM->value()) * factor;
    TimerZicmu.setInterval(static_cast<int>(product));
    TimerZicmu.set_beats_per_step(4.0 / song_.get_size());
    sync_.tempo_changed();
}

void Tmain::bouton14() {
    apply_layout(14, 330);
}
void Tmain::bouton15() {
    apply_layout(15, 355);
}
void Tmain::bouton16() {
    apply_layout(16, 375);
}
void Tmain::bouton20() {
    apply_layout(20, 475);
}
void Tmain::bouton21() {
    apply_layout(21, 500);
}
void Tmain::bouton24() {
    apply_layout(24, 565);
}

// Columns 1..14 always show; 15..24 show with their hi-hat group and cells
// only within the size. The step labels stay.
void Tmain::apply_layout(int size, int progress_width) {
    ProgressTime->resize(static_cast<int>(progress_width * progress_scale_),
                         ProgressTime->height());
    for (int s = 15; s <= kColumns; ++s) {
        const bool shown = s <= size;
        hihat_groups[s - 1]->setVisible(shown);
        for (QCheckBox* cell : cells[s - 1]) {
            cell->setVisible(shown);
        }
    }
}

void Tmain::BitBtnCopierClick() {
    song_.copy_pattern();
}

void Tmain::BitBtnCollerClick() {
    record(std::make_unique<PastePatternCommand>(edit(), place()));
    getpatern();
}

void Tmain::BitBtnClearClick() {
    record(std::make_unique<ClearPatternCommand>(edit(), place()));
    getpatern();
}

// A frame over the column of the step just played, where the beat is.
void Tmain::show_playing_column(int step) {
    const auto column = static_cast<std::size_t>(step);
    const QRect band = hihat_groups[column]
                           ->geometry()
                           .united(cells[column].front()->geometry())
                           .united(cells[column].back()->geometry());
    if (PlayingColumn->geometry() != band) {
        PlayingColumn->setGeometry(band);
    }
    // Hidden only by a stop: a window not shown (the renderer's) would
    // otherwise show and raise it again at every tick.
    if (PlayingColumn->isHidden()) {
        PlayingColumn->show();
        PlayingColumn->raise();
    }
}

} // namespace qx375
