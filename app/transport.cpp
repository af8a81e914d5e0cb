#include "app/tmain.h"
#include "util/error.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

namespace qx375 {
namespace {

// Sounds started while this lives land on the given output frame.
class ScheduledAt {
public:
    ScheduledAt(DirectSound& sound, std::uint64_t frame) : sound_(sound) {
        sound_.schedule_at(frame);
    }
    ~ScheduledAt() { sound_.schedule_at(0); }
    ScheduledAt(const ScheduledAt&) = delete;
    ScheduledAt& operator=(const ScheduledAt&) = delete;

private:
    DirectSound& sound_;
};

} // namespace

void Tmain::TimerZicmuTimer() {
    const int step = song_.get_step();
    const int size = song_.get_size();
    execute(1, TimerZicmu.sender());
    sync_.ticked(step, size);
}

void Tmain::execute(int count, QObject* sender) {
    const bool was_modified = modified;
    // A tick's sounds go on its point of the timer's grid; a step played by
    // hand sounds at once.
    const std::uint64_t frame = sender == TimerZicmu.sender() ? TimerZicmu.tick_frame() : 0;
    ScheduledAt at(sound_, frame);
    show_playing_column(song_.get_step());
    const int step = song_.advance(count, frame);
    ProgressTime->setValue(std::clamp(step, ProgressTime->minimum(), ProgressTime->maximum()));
    show_text(EditStep, QString::number(ProgressTime->value()));
    if (step != 0 || !TimerZicmu.isEnabled()) {
        modified = was_modified;
        return;
    }
    if (song_.in_song_mode()) {
        song_.set_song_entry(current_pattern);
    }
    if (RadioGroupPlay->item_index() == 1) {
        song_.next_measure();
        current_pattern = song_.get_song_entry();
        if (current_pattern >= kEndMarker) {
            if (!CheckBoxLoop->isChecked() || exporting) {
                TimerZicmu.setEnabled(false);
                CheckBoxBeat->setChecked(false);
            }
            song_.rewind_song();
            current_pattern = song_.get_song_entry();
        }
    }
    getpatern();
    if (FormSetup != nullptr) {
        FormSetup->refresh();
    }
    modified = was_modified;
}

void Tmain::TrackBarBPMChange() {
    const int position = TrackBarBPM->value();
    show_text(EditBPM, QString::number(14400 / position));
    const int tempo = EditBPM->text().toInt();
    if (user_change()) {
        const int gesture = TrackBarBPM->isSliderDown() ? tempo_gestures_ : 0;
        record(std::make_unique<TempoCommand>(edit(), place(), tempo, tempo_position_, position,
                                              gesture));
    } else {
        song_.set_tempo(tempo);
    }
    apply_tempo_position();
    modified = true;
}

// The step interval and everyone who follows the tempo, from the slider.
void Tmain::apply_tempo_position() {
    tempo_position_ = TrackBarBPM->value();
    show_tempo();
    TimerZicmu.setInterval(tempo_position_ * 18 / song_.get_size());
    sync_.tempo_changed();
}

// A tempo typed into the box, then Enter, moves the slider as the user
// would; anything else shows the tempo in force again.
void Tmain::EditBPMEnter() {
    bool number = false;
    const int typed = EditBPM->text().toInt(&number);
    if (number && typed > 0) {
        TrackBarBPM->setValue(14400 / typed);
    }
    show_tempo();
}

void Tmain::show_tempo() {
    show_text(EditBPM, QString::number(14400 / TrackBarBPM->value()));
}

void Tmain::CheckBoxBeatClick() {
    const bool on = CheckBoxBeat->isChecked();
    // Keeping time with others, the user's start or stop may go to whoever
    // leads; playback then starts or stops when they do.
    if (on != TimerZicmu.isEnabled() && (on ? sync_.take_start() : sync_.take_stop())) {
        const QSignalBlocker block(CheckBoxBeat);
        CheckBoxBeat->setChecked(!on);
        return;
    }
    if (!on) {
        // However playback stops, at the end of the song or by hand, in song
        // or pattern mode, a running export ends and is saved, before a
        // picture that cannot be read can stop anything.
        if (exporting) {
            finish_export();
        }
        load_glyph("go2.bmp");
    } else {
        if (song_.get_song_entry() == kEndMarker) {
            SpeedButtonBeginSongClick();
        }
        load_glyph("stop2.bmp");
    }
    ProgressTime->setValue(0);
    show_text(EditStep, QString::number(ProgressTime->value()));
    if (on && !TimerZicmu.isEnabled()) {
        device_watch_.before_start();
        TimerZicmu.set_output(output_.rate(), output_.render_lead_frames());
        sync_.started(song_.get_step() == 0 && (!song_.in_song_mode() || song_.get_measure() == 1));
    }
    if (!on) {
        sync_.stopping();
        sound_.end_notes(0);
        PlayingColumn->hide();
    }
    TimerZicmu.setEnabled(on);
    device_watch_.follow(on);
}

void Tmain::BitBtnActionClick() {
    CheckBoxBeat->setChecked(!CheckBoxBeat->isChecked());
    CheckBoxBeatClick();
}

void Tmain::RadioGroupPlayClick() {
    if (RadioGroupPlay->item_index() == 0) {
        EditNumMesure->setStyleSheet("background: black; color: white;");
        song_.enter_pattern_mode();
        return;
    }
    if (EditNumMesure->text().toInt() <= 0) {
        SpeedButtonBeginSongClick();
        SpeedButtonForwardPatternClick();
    }
    EditNumMesure->setStyleSheet("background: rgb(0, 128, 255); color: yellow;");
    song_.enter_song_mode();
    current_pattern = song_.get_song_entry();
    getpatern();
}

void Tmain::CheckBoxLoopClick() {
    if (user_change()) {
        record(std::make_unique<LoopCommand>(edit(), place(), CheckBoxLoop->isChecked()));
    }
    modified = true;
}

// The pictures are fixed names of the program directory, found whatever
// their letter case, as its other files are.
void Tmain::load_glyph(const char* file) {
    const std::string path = program_file(file);
    const QPixmap glyph(QString::fromStdString(path));
    if (glyph.isNull()) {
        throw Error(texts.with(Msg::picture_failed, path));
    }
    BitBtnAction->setIcon(glyph);
}

} // namespace qx375
