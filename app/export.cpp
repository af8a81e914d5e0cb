#include "app/tmain.h"
#include "util/file_ops.h"

#include <QCheckBox>
#include <QToolButton>

namespace qx375 {
namespace {

const FileDialog kExportDialog{"*.wav", "*.wav *.WAV", "WAV", ""};

// How long the end of an export may wait for the output to mix the sounds of
// the song's last step, which were stamped ahead of time.
constexpr std::chrono::milliseconds kLastStepPatience{1000};

bool ends_as_wave(const std::string& name) {
    return name.size() >= 4 && (name.ends_with(".wav") || name.ends_with(".WAV"));
}

} // namespace

void Tmain::SpeedButtonExportClick() {
    Export1Click();
}

// The song, from its beginning, recorded into a wave file as it plays.
void Tmain::Export1Click() {
    SpeedButtonExport->setChecked(exporting);
    if (exporting) {
        // One recording at a time: a second one would drop the first.
        prompts_.show_message("An export is recording already; stop playback to end it.");
        return;
    }
    FileDialog dialog = kExportDialog;
    dialog.initial_name = export_file_name_;
    const std::optional<std::string> chosen = prompts_.save_file(dialog);
    if (!chosen) {
        return;
    }
    export_file_name_ = ends_as_wave(*chosen) ? *chosen : *chosen + ".WAV";
    // Only Yes overwrites a file; No and Cancel leave it, and record nothing.
    if (file_exists(export_file_name_)) {
        const Answer answer = prompts_.ask(replace_file_text, Question::yes_no_cancel);
        if (answer == Answer::no) {
            export_file_name_.clear();
        }
        if (answer != Answer::yes) {
            return;
        }
    }
    exporting = true;
    saved_loop = CheckBoxLoop->isChecked();
    CheckBoxLoop->setChecked(false);
    RecorderResult started = MediaPlayer1.open();
    if (started.ok()) {
        MediaPlayer1.set_file_name(export_file_name_);
        SpeedButtonBeginSongClick();
        started = MediaPlayer1.record();
    }
    if (!started.ok()) {
        exporting = false;
        CheckBoxLoop->setChecked(saved_loop);
        prompts_.show_message(started.error);
        return;
    }
    SpeedButtonExport->setChecked(true);
    CheckBoxBeat->setChecked(true);
    // The file begins with the song's first step, without the look-ahead's
    // silence before it.
    MediaPlayer1.begin_at(TimerZicmu.next_tick_frame());
}

// Playback has stopped, at the end of the song or by hand: the recording
// ends with the last step played, and is saved.
void Tmain::finish_export() {
    MediaPlayer1.stop_at(TimerZicmu.tick_frame() +
                             static_cast<std::uint64_t>(TimerZicmu.interval()) *
                                 AudioOutput::kRate / 1000,
                         kLastStepPatience);
    const RecorderResult saved = MediaPlayer1.save();
    exporting = false;
    CheckBoxLoop->setChecked(saved_loop);
    SpeedButtonExport->setChecked(false);
    if (!saved.ok()) {
        prompts_.show_message(saved.error);
    }
}

} // namespace qx375
