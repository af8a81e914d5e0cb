#include "app/tmain.h"
#include "platform/export_format.h"
#include "util/file_ops.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QToolButton>

#include <filesystem>
#include <thread>

namespace qx375 {
namespace {

// WAV first, as the dialog always offered; the other formats by their
// extension.
const FileDialog kExportDialog{
    .filter = "*.wav",
    .patterns = "*.wav *.WAV",
    .default_suffix = "WAV",
    .more_filters = {"*.flac (*.flac *.FLAC)", "*.ogg (*.ogg *.OGG *.oga)"}};

// How long the end of an export may wait for the output to mix the sounds of
// the song's last step, which were stamped ahead of time.
constexpr std::chrono::milliseconds kLastStepPatience{1000};
// The longest the last sounds of an export may ring on after its last step,
// as in the renderer.
constexpr std::uint64_t kLongestTailSeconds = 30;

// A name of the export keeps its extension when it names a format the export
// writes: .wav or .WAV as always, and FLAC or Ogg Vorbis in any letter case.
bool names_a_format(const std::string& name) {
    const std::optional<FileType> type = file_type_of(name);
    return type && (*type != FileType::wav || name.ends_with(".wav") || name.ends_with(".WAV"));
}

} // namespace

void Tmain::SpeedButtonExportClick() {
    Export1Click();
}

// The name the export's dialog offers: the song's own with ".wav", in its
// folder, unless this song was exported before; a song without a name gets
// the name the dialog held last.
std::string Tmain::export_name_offered() const {
    const std::string song = EditFileName->text().toStdString();
    if (song.empty() || song == exported_song_) {
        return export_file_name_;
    }
    return std::filesystem::path(song).filename().replace_extension(".wav").string();
}

// The song, from its beginning, recorded into a wave file as it plays. The
// file is made at once, so that a folder that cannot take it is found
// before anything plays.
void Tmain::Export1Click() {
    SpeedButtonExport->setChecked(exporting);
    if (exporting) {
        // One recording at a time: a second one would drop the first.
        prompts_.show_message(texts[Msg::export_busy]);
        return;
    }
    FileDialog dialog = kExportDialog;
    dialog.title = texts[Msg::export_title];
    dialog.initial_name = export_name_offered();
    dialog.folder = song_folder();
    const std::optional<std::string> chosen = prompts_.save_file(dialog);
    if (!chosen) {
        return;
    }
    export_file_name_ = names_a_format(*chosen) ? *chosen : *chosen + ".WAV";
    exported_song_ = EditFileName->text().toStdString();
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
    set_export_loop(false);
    RecorderResult started = MediaPlayer1.open(export_file_name_);
    if (started.ok()) {
        SpeedButtonBeginSongClick();
        started = MediaPlayer1.record();
    }
    if (!started.ok()) {
        MediaPlayer1.discard();
        exporting = false;
        set_export_loop(saved_loop);
        prompts_.show_message(
            texts.failure(texts[Msg::export_failed], export_file_name_, started.status));
        return;
    }
    SpeedButtonExport->setChecked(true);
    CheckBoxBeat->setChecked(true);
    // The file begins with the song's first step, without the look-ahead's
    // silence before it.
    MediaPlayer1.set_rate(output_.rate());
    MediaPlayer1.set_format(
        export_format_for(export_file_name_, std::nullopt).value_or(ExportFormat::wav16));
    MediaPlayer1.begin_at(TimerZicmu.next_tick_frame());
}

// Playback has stopped, at the end of the song or by hand: the recording
// ends with the last step played and is written, away from this thread,
// which goes on while the output mixes that step.
void Tmain::finish_export() {
    if (export_done_.isActive() || export_ring_.isActive()) {
        return;
    }
    const std::uint64_t last_step_end =
        TimerZicmu.tick_frame() +
        static_cast<std::uint64_t>(TimerZicmu.interval()) * output_.rate() / 1000;
    if (ExportTail1->isChecked()) {
        ring_from_ = last_step_end;
        export_ring_.start();
    } else {
        end_take_at(last_step_end);
    }
}

// Letting the last sounds ring out: the take ends once the output has played
// past the last step and mixed every sound to its end, or when playback
// starts again, which would otherwise record into the take.
void Tmain::ring_out() {
    const std::uint64_t mixed = output_.clock().read().frame + output_.render_lead_frames();
    const bool rung = output_.mixer().sounding_voices() == 0 ||
                      mixed >= ring_from_ + kLongestTailSeconds * output_.rate();
    if (mixed >= ring_from_ && (rung || TimerZicmu.isEnabled())) {
        export_ring_.stop();
        end_take_at(mixed);
    } else if (TimerZicmu.isEnabled()) {
        export_ring_.stop();
        end_take_at(ring_from_);
    }
}

void Tmain::end_take_at(std::uint64_t frame) {
    MediaPlayer1.finish_at(frame, kLastStepPatience);
    export_done_.start();
}

// The written take, or why there is none. A take that lost sound while it
// was recorded is kept only if the user wants it so.
void Tmain::export_finished(RecorderResult result) {
    export_done_.stop();
    if (result.status && result.lost_frames > 0) {
        const std::string lost = std::to_string(result.lost_frames * 1000 / output_.rate());
        if (prompts_.ask(texts.with(Msg::export_lost, export_file_name_, lost),
                         Question::yes_no_cancel) == Answer::yes) {
            result = MediaPlayer1.save(true);
        } else {
            MediaPlayer1.discard();
            result = {};
        }
    }
    exporting = false;
    set_export_loop(saved_loop);
    SpeedButtonExport->setChecked(false);
    if (!result.ok()) {
        prompts_.show_message(
            texts.failure(texts[Msg::export_failed], export_file_name_, result.status));
    }
}

// Before the program ends during an export: Yes saves what has been
// recorded, No drops it, Cancel stays. A take being written is let finish.
bool Tmain::may_end_export() {
    if (!exporting) {
        return true;
    }
    if (export_ring_.isActive()) {
        export_ring_.stop();
        end_take_at(ring_from_);
    }
    if (export_done_.isActive()) {
        while (MediaPlayer1.finishing()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (const std::optional<RecorderResult> outcome = MediaPlayer1.take_outcome()) {
            export_finished(*outcome);
        }
        return !exporting;
    }
    switch (
        prompts_.ask(texts.with(Msg::export_quit, export_file_name_), Question::yes_no_cancel)) {
    case Answer::yes: {
        const RecorderResult saved = MediaPlayer1.save(true);
        if (!saved.ok()) {
            prompts_.show_message(
                texts.failure(texts[Msg::export_failed], export_file_name_, saved.status));
            return false;
        }
        break;
    }
    case Answer::no:
        MediaPlayer1.discard();
        break;
    default:
        return false;
    }
    exporting = false;
    return true;
}

// Stopped without an answer, the program keeps what was recorded.
void Tmain::keep_export() {
    if (exporting && !export_done_.isActive()) {
        export_ring_.stop();
        (void)MediaPlayer1.save(true);
    }
}

// An export plays the song once: the loop box is off while it records, the
// user's choice back after it, neither a change of the user's.
void Tmain::set_export_loop(bool on) {
    const Refresh export_loop(refreshing_);
    CheckBoxLoop->setChecked(on);
}

} // namespace qx375
