#include "app/tmain.h"
#include "util/file_lookup.h"
#include "util/file_ops.h"
#include "util/ini_file.h"

#include <QAction>
#include <QLineEdit>

#include <filesystem>

namespace qx375 {
namespace {

// A name chosen without the song extension gets it; ".DRM" counts as one.
std::string with_song_extension(std::string path) {
    const std::string last = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    if (last != ".drm" && last != ".DRM") {
        path += ".drm";
    }
    return path;
}

// Menu captions take "&" for an accelerator; a path shows its own.
QString menu_caption(const std::string& path) {
    return QString::fromStdString(path).replace("&", "&&");
}

} // namespace

// The song dialogs open in the song's folder.
FileDialog Tmain::song_dialog(Msg title) const {
    FileDialog dialog{"*.drm", "*.drm *.DRM"};
    dialog.title = texts[title];
    dialog.folder = song_folder();
    return dialog;
}

// The folder of the song's file; the program directory for a song without
// one.
std::string Tmain::song_folder() const {
    const std::filesystem::path name = EditFileName->text().toStdString();
    if (name.empty() || !name.has_parent_path()) {
        return program_directory;
    }
    return name.is_absolute()
               ? name.parent_path().string()
               : (std::filesystem::path(program_directory) / name.parent_path()).string();
}

// A file of the program directory, whatever the letter case it was
// installed with; the name as given when there is none yet.
std::string Tmain::program_file(const std::string& name) const {
    return find_file(program_directory + "/" + name, program_directory);
}

// Before the song in memory gives way to another, or the program ends:
// unsaved changes are saved, let go or the command abandoned, as the user
// answers. True when it may go on.
bool Tmain::may_replace_song() {
    if (!modified) {
        return true;
    }
    switch (prompts_.ask(save_changes_text, Question::yes_no_cancel)) {
    case Answer::yes:
        return save_song();
    case Answer::no:
        return true;
    default:
        return false;
    }
}

void Tmain::Nouveau1Click() {
    if (!may_replace_song()) {
        return;
    }
    modified = false;
    EditFileName->setText("");
    song_.clear_song();
    SpeedButtonBeginSongClick();
    getpatern();
    // A new song has nothing to save, whatever the refresh rewrote.
    start_history();
    mark_saved();
}

void Tmain::OuvrirClick() {
    if (!may_replace_song()) {
        return;
    }
    FileDialog dialog = song_dialog(Msg::open_title);
    dialog.completed_by_command = true;
    const std::optional<std::string> chosen = prompts_.open_file(dialog);
    if (!chosen) {
        return;
    }
    open_song(with_song_extension(*chosen));
}

// The song of the file, in place of the one in memory, once the user has had
// the question.
void Tmain::open_song(const std::string& path) {
    if (!read_song(path)) {
        return;
    }
    EditFileName->setText(QString::fromStdString(path));
    song_.reset_step();
    show_loaded_song(path);
}

// Reads a song file into the model; the user hears why a file cannot be
// read, and which of its sounds stay silent.
bool Tmain::read_song(const std::string& path) {
    if (const FileStatus status = song_.load_drm(path); !status) {
        prompts_.show_message(texts.failure(load_failure_text, path, status));
        return false;
    }
    if (!song_.unloaded_sounds().empty()) {
        std::string text = texts[Msg::samples_failed];
        for (int k : song_.unloaded_sounds()) {
            text += "\n" + std::to_string(k + 1) + " : " + song_.get_sample_file(k);
        }
        prompts_.show_message(text);
    }
    return true;
}

// The song just read, from its first measure, and its name at the top of
// the recent list.
void Tmain::show_loaded_song(const std::string& name) {
    song_.rewind_song();
    current_pattern = song_.get_song_entry();
    song_.set_song_entry(current_pattern);
    getpatern();
    add_recent_file(name);
    write_recent_files();
    start_history();
    mark_saved();
}

// The song of the item clicked, taken before the save question: saving
// the song in memory puts it at the top of the list, moving the others.
void Tmain::fichierClick(int entry) {
    if (entry < 0 || entry >= kRecentFiles) {
        return;
    }
    const std::string name = recent_files[static_cast<std::size_t>(entry)];
    if (may_replace_song()) {
        load_recent_song(name);
    }
}

// A name without a directory is a song of the program directory; on Linux
// any name that is not absolute is taken from there.
bool Tmain::load_recent_song(const std::string& entry) {
    const std::string path = entry.empty() || std::filesystem::path(entry).is_absolute()
                                 ? entry
                                 : program_directory + "/" + entry;
    if (entry.empty()) {
        prompts_.show_message(load_failure_text);
        return false;
    }
    if (!read_song(path)) {
        return false;
    }
    EditFileName->setText(QString::fromStdString(entry));
    show_loaded_song(entry);
    return true;
}

void Tmain::EnregistrerClick() {
    save_song();
}

void Tmain::SauverSousClick() {
    save_song_as();
}

// True once the song is on disk under its name.
bool Tmain::save_song() {
    const std::string name = EditFileName->text().toStdString();
    if (name.empty()) {
        return save_song_as();
    }
    if (const FileStatus status = song_.save_drm(name); !status) {
        prompts_.show_message(texts.failure(texts[Msg::save_failed], name, status));
        return false;
    }
    add_recent_file(name);
    write_recent_files();
    mark_saved();
    return true;
}

// A save that fails, or an overwrite the user refuses, writes nothing and
// changes nothing: the song stays marked as changed and its name stays out
// of the recent list.
bool Tmain::save_song_as() {
    const std::optional<std::string> chosen = prompts_.save_file(song_dialog(Msg::save_as_title));
    if (!chosen) {
        return false;
    }
    const std::string path = with_song_extension(*chosen);
    if (file_exists(path) &&
        prompts_.ask(texts.with(Msg::overwrite_song, path), Question::ok_cancel) != Answer::ok) {
        return false;
    }
    if (const FileStatus status = song_.save_drm(path); !status) {
        prompts_.show_message(texts.failure(texts[Msg::save_as_failed], path, status));
        return false;
    }
    EditFileName->setText(QString::fromStdString(path));
    add_recent_file(path);
    write_recent_files();
    mark_saved();
    return true;
}

void Tmain::add_recent_file(const std::string& name) {
    auto& entry = recent_files;
    int count = 0;
    int found = -1;
    for (int i = 0; i < kRecentFiles; ++i) {
        count += entry[i].empty() ? 0 : 1;
        if (entry[i] == name) {
            found = i;
        }
    }
    if (found < 0) {
        ++count;
    }
    count = std::min(count, kRecentFiles - 1);
    if (found < 0) {
        for (int k = count - 1; k >= 0; --k) {
            entry[k + 1] = entry[k];
        }
        entry[0] = name;
    } else if (found > 0) {
        const std::string kept = entry[found];
        for (int k = found - 1; k >= 0; --k) {
            entry[k + 1] = entry[k];
        }
        entry[0] = kept;
    }
    // Entries too short to be a song's path are dropped, in one pass.
    for (int j = 0; j < kRecentFiles; ++j) {
        if (entry[j].size() < 5) {
            for (int k = j; k < count; ++k) {
                entry[k] = entry[k + 1];
            }
            entry[count] = "";
        }
    }
    for (int i = 0; i < kRecentFiles; ++i) {
        if (!entry[i].empty()) {
            recent_items[i]->setVisible(true);
            recent_items[i]->setText(menu_caption(entry[i]));
        }
    }
}

void Tmain::write_recent_files() {
    IniFile ini(program_file("qx375.ini"));
    for (int i = 0; i < kRecentFiles; ++i) {
        ini.write("setup", "autoload_" + std::to_string(i), recent_files[i]);
    }
    ini.save();
}

} // namespace qx375
