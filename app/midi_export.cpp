#include "app/offline_pass.h"
#include "app/tmain.h"
#include "util/file_io.h"
#include "util/file_ops.h"

#include <QApplication>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>

#include <cerrno>
#include <filesystem>

namespace qx375 {
namespace {

const FileDialog kMidiDialog{
    .filter = "*.mid", .patterns = "*.mid *.MID *.midi *.MIDI", .default_suffix = "mid"};

bool names_a_midi_file(const std::string& name) {
    const QString extension =
        QString::fromStdString(std::filesystem::path(name).extension().string()).toLower();
    return extension == ".mid" || extension == ".midi";
}

} // namespace

// The song as a DAW imports it: one track a sound, its hits on the notes MIDI
// out sends them as and at the times an export records them, the tempo as
// the slider holds it now.
void Tmain::ExportMidi1Click() {
    FileDialog dialog = kMidiDialog;
    dialog.title = texts[Msg::midi_title];
    const std::filesystem::path song = EditFileName->text().toStdString();
    const std::string title = song.empty() ? texts[Msg::untitled] : song.stem().string();
    dialog.initial_name = title + ".mid";
    dialog.folder = song_folder();
    const std::optional<std::string> chosen = prompts_.save_file(dialog);
    if (!chosen) {
        return;
    }
    const std::string file = names_a_midi_file(*chosen) ? *chosen : *chosen + ".mid";
    if (file_exists(file) &&
        prompts_.ask(replace_file_text, Question::yes_no_cancel) != Answer::yes) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const FileStatus written = write_midi(file, title);
    QApplication::restoreOverrideCursor();
    if (!written) {
        prompts_.show_message(texts.failure(texts[Msg::export_failed], file, written));
    }
}

// Played by a program of its own on the song's bytes as a save writes them,
// so that the window, its position and its playback stay as they are. Its
// samples are found as the window found them, from the same folder.
FileStatus Tmain::write_midi(const std::string& file, const std::string& title) const {
    QTemporaryDir scratch;
    OfflineMachine m(output_.rate());
    m.output.set_note_map(midi_learn_.map());
    if (!scratch.isValid() || !prepare_offline(m, scratch.path(), TrackBarBPM->value())) {
        return {FileFault::other, EIO};
    }
    const std::string image = scratch.filePath("song.drm").toStdString();
    if (const FileStatus saved = replace_file(image, song_.song_image()); !saved) {
        return saved;
    }
    if (const FileStatus loaded = m.song.load_drm(image); !loaded) {
        return loaded;
    }
    const OfflineLength length = choose_offline(m, std::nullopt, 1, std::nullopt);
    midi::Performance performance(m.output.rate());
    if (length.passes > 0) {
        play_offline(m,
                     {.passes = length.passes,
                      .tail = false,
                      .performance = &performance,
                      .map = midi_learn_.map(),
                      .progress = {}},
                     [](const OfflineBlock&) { return true; });
    }
    const std::vector<std::uint8_t> bytes = midi_file_of(performance, title);
    return replace_file(
        file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace qx375
