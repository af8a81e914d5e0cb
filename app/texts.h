#pragma once

#include "util/file_status.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace qx375 {

class IniFile;

// The messages and dialog titles the program shows of its own, beyond the
// captions, hints and three messages of the windows' language rows. Each has
// a key of the language file's "main" section and a built-in English text.
// A "%1" or "%2" in a text stands for what the program fills in.
enum class Msg : std::size_t {
    save_failed,    // Save could not write the song
    save_as_failed, // Save as could not write the song
    overwrite_song, // %1 the song file
    sound_failed,   // the sample file and the reason follow
    samples_failed, // the song's samples that did not load, listed after it
    picture_failed, // %1 the picture
    help_failed,    // %1 the help file
    device_lost,
    device_not_opened,
    export_busy,
    export_failed,
    export_lost,  // %1 the file, %2 the milliseconds lost
    export_quit,  // %1 the file
    recovery,     // %1 the song, or the unnamed_song text
    unnamed_song, //
    open_title,
    save_as_title,
    export_title,
    sound_title,
    no_such_file,
    no_such_folder,
    permission,
    disk_full,
    is_folder,
    name_too_long,
    bad_name,
    not_a_song,
    cut_short,
    too_large,
    not_a_wave,
    unplayable,
    output_in_use,  // %1 the output's name
    output_silent,  // the name of the output that plays in silence
    output_midi,    //
    output_no_midi, //
    learn_note,     //
    learn_sound,    // %1 the note
    sync_no_jack,
    sync_wait_master,
    sync_link_peers, // %1 how many
    sync_clock_lost,
    sync_clock_fast,
    sync_clock_slow,
    sync_rejoined, // %1 the bar
    sync_beyond,   // %1 the bar asked for, %2 the bar played
    undo,
    redo,
    undo_cell,
    undo_hihat,
    undo_size,
    undo_entry,
    undo_end,
    undo_tempo,
    undo_paste,
    undo_clear,
    undo_loop,
    undo_volume,
    undo_pan,
    undo_pitch,
    undo_sample,
    untitled,
    undo_kit,
    kit_open_title,
    kit_title, // %1 the kit
    kit_keep,
    kit_apply,
    kit_cancel,
    kit_failed,         // the kit and the reason follow
    kit_unreadable,     // %1 the file
    kit_not_a_kit,      // %1 the file
    kit_bad_xml,        // %1 the line
    kit_unsafe,         // %1 the member
    kit_too_large,      // %1 the file
    kit_too_many_files, // %1 the member
    kit_too_many_drums, // %1 the line
    kit_outside,        // %1 the sample
    kit_no_samples,
    kit_samples_failed, // listed after it
    midi_title,
    count
};

class Texts {
public:
    Texts();

    const std::string& operator[](Msg message) const {
        return texts_[static_cast<std::size_t>(message)];
    }
    // The text with "%1" and "%2" replaced.
    std::string with(Msg message, std::string_view first, std::string_view second = {}) const;
    // Why a file failed, as the user reads it.
    std::string reason(FileStatus status) const;
    // The message on its first line, and the file and the reason on the
    // second: "DRM File Failure\n/home/me/song.drm: permission denied".
    std::string failure(std::string_view message, std::string_view file, FileStatus status) const;

    void read(const IniFile& file);
    void write(IniFile& file) const;

private:
    std::array<std::string, static_cast<std::size_t>(Msg::count)> texts_;
};

} // namespace qx375
