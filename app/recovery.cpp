#include "app/tmain.h"
#include "util/file_ops.h"
#include "util/ini_file.h"

#include <QLineEdit>

#include <filesystem>

namespace qx375 {
namespace {

// Where the settings file remembers the changes kept, and for which song.
constexpr const char* kSection = "recovery";

} // namespace

// A signal to end the program (Ctrl+C, kill, a closed terminal) closes the
// window as its close box does. The changes are kept first: a session that
// ends sends its kill and soon after one that cannot be caught, long before
// anyone answers the question.
bool Tmain::close_on_signal() {
    keep_for_recovery();
    return close();
}

// The program is stopped while it waits for an answer: the changes kept
// stay for the next start, and what an export recorded is written.
void Tmain::stop_now() {
    keep_for_recovery();
    keep_export();
    stopped_ = true;
}

// Unsaved changes go beside the song, or into the program directory for a
// song without a name or in a folder that takes no new file.
void Tmain::keep_for_recovery() {
    if (!modified || !recovery_kept_.empty()) {
        return;
    }
    const std::string song = EditFileName->text().toStdString();
    std::vector<std::string> places;
    if (!song.empty()) {
        std::filesystem::path beside = song;
        beside.replace_extension(".recovered.drm");
        places.push_back(beside.is_absolute() ? beside.string()
                                              : program_directory + "/" + beside.string());
    }
    places.push_back(program_directory + "/recovered.drm");
    for (const std::string& place : places) {
        if (song_.save_drm(place)) {
            IniFile ini(program_file("qx375.ini"));
            ini.write(kSection, "file", place);
            ini.write(kSection, "song", song);
            ini.save();
            recovery_kept_ = place;
            return;
        }
    }
}

// The changes kept are back in memory, saved or let go by the user: their
// file has done its work.
void Tmain::drop_recovery() {
    if (recovery_kept_.empty()) {
        return;
    }
    std::error_code ec;
    std::filesystem::remove(recovery_kept_, ec);
    IniFile ini(program_file("qx375.ini"));
    ini.write(kSection, "file", "");
    ini.write(kSection, "song", "");
    ini.save();
    recovery_kept_.clear();
}

// Changes kept when the program was stopped last time: Yes opens them as
// the song they belong to, still unsaved; No lets them go; Cancel asks
// again at the next start.
void Tmain::offer_recovery() {
    const IniFile ini(program_file("qx375.ini"));
    const std::string file = ini.read_string(kSection, "file", "");
    if (file.empty()) {
        return;
    }
    const std::string song = ini.read_string(kSection, "song", "");
    recovery_kept_ = file;
    if (!file_exists(file)) {
        drop_recovery();
        return;
    }
    switch (prompts_.ask(texts.with(Msg::recovery, song.empty() ? texts[Msg::unnamed_song] : song),
                         Question::yes_no_cancel)) {
    case Answer::yes:
        if (!read_song(file)) {
            recovery_kept_.clear();
            return;
        }
        EditFileName->setText(QString::fromStdString(song));
        song_.reset_step();
        song_.rewind_song();
        current_pattern = song_.get_song_entry();
        song_.set_song_entry(current_pattern);
        getpatern();
        start_history();
        modified = true;
        drop_recovery();
        break;
    case Answer::no:
        drop_recovery();
        break;
    default:
        recovery_kept_.clear();
        break;
    }
}

} // namespace qx375
