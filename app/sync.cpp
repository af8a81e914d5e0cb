#include "app/tmain.h"
#include "midi/clock.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>

namespace qx375 {
namespace {

constexpr double kBeatsPerBar = midi::kBeatsPerBar;
// A beat this close to a bar or a step counts as on it: a master's bars,
// beats and ticks are whole ticks, and frames whole frames.
constexpr double kBeatSlack = 1e-3;

int bar_of(double beat) {
    return std::max(static_cast<int>(std::floor((beat + kBeatSlack) / kBeatsPerBar)), 0);
}

} // namespace

// A bar of the shared timeline is a measure of the song. The timer keeps the
// timeline's own beats, so a song that ends or loops before the master's bar
// still places its steps on the master's beat.
void Tmain::sync_play(double beat) {
    const int bar = bar_of(beat);
    if (RadioGroupPlay->item_index() == 1) {
        const int length = song_.song_length();
        if (length <= 0) {
            return;
        }
        int measure = bar;
        if (bar >= length) {
            measure = CheckBoxLoop->isChecked() ? bar % length : length - 1;
            sync_say(QString::fromStdString(texts.with(Msg::sync_beyond, std::to_string(bar + 1),
                                                       std::to_string(measure + 1))));
        }
        song_.go_to_measure(measure + 1);
        current_pattern = song_.get_song_entry();
        getpatern();
    }
    const int size = song_.get_size();
    const double into_bar = beat - bar * kBeatsPerBar;
    // The first step at or after the beat; a beat a hair past a step still
    // counts as that step.
    const int step =
        std::max(static_cast<int>(std::ceil((into_bar - kBeatSlack) * size / kBeatsPerBar)), 0);
    if (step >= size) {
        sync_play((bar + 1) * kBeatsPerBar);
        return;
    }
    song_.go_to_step(step);
    TimerZicmu.set_beats_per_step(kBeatsPerBar / size);
    TimerZicmu.set_first_beat(bar * kBeatsPerBar + step * kBeatsPerBar / size);
    CheckBoxBeat->setChecked(true);
}

void Tmain::sync_stop() {
    CheckBoxBeat->setChecked(false);
}

void Tmain::sync_locate(double beat) {
    if (RadioGroupPlay->item_index() != 1) {
        return;
    }
    const int length = song_.song_length();
    const int bar = bar_of(beat);
    if (length <= 0) {
        return;
    }
    if (bar >= length) {
        sync_say(QString::fromStdString(
            texts.with(Msg::sync_beyond, std::to_string(bar + 1), std::to_string(length))));
    }
    const bool was_modified = modified;
    song_.go_to_measure(std::clamp(bar, 0, length - 1) + 1);
    song_.reset_step();
    current_pattern = song_.get_song_entry();
    getpatern();
    modified = was_modified;
}

// The slider shows the position nearest the tempo followed, without telling
// the song: only the user's own move changes its tempo.
void Tmain::sync_show_bpm(double bpm) {
    const int position = midi::nearest_position(bpm, song_.get_size());
    if (position != TrackBarBPM->value()) {
        const QSignalBlocker block(TrackBarBPM);
        TrackBarBPM->setValue(position);
        show_tempo();
    }
}

void Tmain::sync_say(const QString& text) {
    say(text);
}

double Tmain::sync_position() const {
    const int bar = song_.in_song_mode() ? std::max(song_.get_measure() - 1, 0) : 0;
    return bar * kBeatsPerBar + song_.get_step() * kBeatsPerBar / song_.get_size();
}

double Tmain::sync_bpm() const {
    return midi::bpm_of(song_.get_size(), std::max(TimerZicmu.interval(), 1));
}

} // namespace qx375
