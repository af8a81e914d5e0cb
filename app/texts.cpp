#include "app/texts.h"

#include "util/ini_file.h"

#include <cstring>

namespace qx375 {
namespace {

struct Entry {
    Msg message;
    const char* key;
    const char* built_in;
};

// In the order the keys go into the language file, after the windows' own.
constexpr Entry kEntries[] = {
    {Msg::save_failed, "drmsavefail", "DRM Save File Error"},
    {Msg::save_as_failed, "drmsaveasfail", "DRM File Save Error"},
    {Msg::overwrite_song, "ecraser", "écraser le fichier %1 ?"},
    {Msg::sound_failed, "soundfail", "Cannot use the sound file"},
    {Msg::samples_failed, "samplesfail", "Sounds not loaded:"},
    {Msg::picture_failed, "picturefail", "Cannot open file %1"},
    {Msg::help_failed, "helpfail", "The help file %1 cannot be read."},
    {Msg::device_lost, "devicelost",
     "The sound device was lost; playing on silently. Stop and start playback to try it again."},
    {Msg::device_not_opened, "devicenone",
     "No sound device could be opened; playing silently. Start playback to try again."},
    {Msg::export_busy, "exportbusy", "An export is recording already; stop playback to end it."},
    {Msg::export_failed, "exportfail", "The song cannot be exported."},
    {Msg::export_lost, "exportlost",
     "The export to %1 lost %2 ms of sound while it was recorded. Keep it anyway?"},
    {Msg::export_quit, "exportquit",
     "The song is being exported to %1. Save what has been recorded so far?"},
    {Msg::recovery, "recovery",
     "Unsaved changes to %1 were kept when the program was stopped. Open them?"},
    {Msg::unnamed_song, "recoveryunnamed", "a new song"},
    {Msg::open_title, "opentitle", "Open a song"},
    {Msg::save_as_title, "saveastitle", "Save the song as"},
    {Msg::export_title, "exporttitle", "Export the song to a wave file"},
    {Msg::sound_title, "soundtitle", "Choose a wave file"},
    {Msg::no_such_file, "errnofile", "there is no such file"},
    {Msg::no_such_folder, "errnofolder", "its folder does not exist"},
    {Msg::permission, "errdenied", "permission denied"},
    {Msg::disk_full, "errfull", "the disk is full"},
    {Msg::is_folder, "errfolder", "it is a folder"},
    {Msg::name_too_long, "errlongname", "a song can only keep names of up to 255 bytes"},
    {Msg::bad_name, "errbadname", "a song cannot keep a name with control characters"},
    {Msg::not_a_song, "errnotsong", "it is not a song file"},
    {Msg::cut_short, "errshort", "the file is cut short"},
    {Msg::too_large, "errlarge", "the file is too large"},
    {Msg::not_a_wave, "errnotwave", "it is not a WAV file"},
    {Msg::unplayable, "errunplayable", "the sound device cannot play it"},
    {Msg::output_in_use, "outputinuse", "Sound output: %1"},
    {Msg::output_silent, "outputsilent", "none, playing silently"},
    {Msg::output_midi, "outputmidi", "MIDI in and out: the JACK ports midi_in and midi_out"},
    {Msg::output_no_midi, "outputnomidi", "No MIDI: it needs a JACK server"},
    {Msg::learn_note, "learnnote", "MIDI learn: play a note on your pads"},
    {Msg::learn_sound, "learnsound", "MIDI learn: note %1, now click the button of its sound"},
    {Msg::sync_no_jack, "syncnojack",
     "Sync: it needs a JACK server; playing on the program's own tempo"},
    {Msg::sync_wait_master, "syncwait", "Sync: following, playback starts when the master starts"},
    {Msg::sync_link_peers, "synclinkpeers", "Ableton Link: %1 other programs in the session"},
    {Msg::sync_clock_lost, "syncclocklost", "MIDI clock lost: waiting for it to come back"},
    {Msg::sync_clock_fast, "syncclockfast", "MIDI clock faster than 300 BPM: ignored"},
    {Msg::sync_clock_slow, "syncclockslow", "MIDI clock slower than 20 BPM: ignored"},
    {Msg::sync_rejoined, "syncrejoined",
     "Sync: fell behind the shared beat, rejoined it at bar %1"},
    {Msg::sync_beyond, "syncbeyond", "Sync: bar %1 lies beyond the song; playing from bar %2"},
    {Msg::undo, "undo", "&Undo"},
    {Msg::redo, "redo", "&Redo"},
    {Msg::undo_cell, "undocell", "Grid Cell"},
    {Msg::undo_hihat, "undohihat", "Hi-Hat"},
    {Msg::undo_size, "undosize", "Pattern Size"},
    {Msg::undo_entry, "undoentry", "Pattern Number"},
    {Msg::undo_end, "undoend", "End Marker"},
    {Msg::undo_tempo, "undotempo", "Tempo"},
    {Msg::undo_paste, "undopaste", "Paste Pattern"},
    {Msg::undo_clear, "undoclear", "Clear Pattern"},
    {Msg::undo_loop, "undoloop", "Loop"},
    {Msg::undo_volume, "undovolume", "Volume"},
    {Msg::undo_pan, "undopan", "Pan"},
    {Msg::undo_pitch, "undopitch", "Pitch"},
    {Msg::undo_sample, "undosample", "Sample File"},
    {Msg::untitled, "untitled", "untitled"},
    {Msg::undo_kit, "undokit", "Drum Kit"},
    {Msg::kit_open_title, "kitopen", "Open a drum kit"},
    {Msg::kit_title, "kittitle", "Drum kit %1"},
    {Msg::kit_keep, "kitkeep", "(keeps its sample)"},
    {Msg::kit_apply, "kitapply", "Apply"},
    {Msg::kit_cancel, "kitcancel", "Cancel"},
    {Msg::kit_failed, "kitfail", "Cannot open the drum kit"},
    {Msg::kit_unreadable, "kitunreadable", "%1 cannot be read"},
    {Msg::kit_not_a_kit, "kitnotakit", "%1 holds no drum kit"},
    {Msg::kit_bad_xml, "kitbadxml", "its drumkit.xml is not well formed at line %1"},
    {Msg::kit_unsafe, "kitunsafe", "its member %1 would be written outside the kit's folder"},
    {Msg::kit_too_large, "kittoolarge", "%1 is too large"},
    {Msg::kit_too_many_files, "kittoomanyfiles", "it holds too many files (from %1 on)"},
    {Msg::kit_too_many_drums, "kittoomanydrums", "it has too many drums (from line %1 on)"},
    {Msg::kit_outside, "kitoutside", "its sample %1 lies outside the kit's folder"},
    {Msg::kit_no_samples, "kitnosamples", "none of its drums has a sample that can be found"},
    {Msg::kit_samples_failed, "kitsamplesfail", "Sounds the kit could not give:"},
    {Msg::midi_title, "midititle", "Export the song to a MIDI file"},
};
static_assert(std::size(kEntries) == static_cast<std::size_t>(Msg::count));

void replace_all(std::string& text, std::string_view mark, std::string_view by) {
    for (std::size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + by.size())) {
        text.replace(at, mark.size(), by);
    }
}

} // namespace

Texts::Texts() {
    for (const Entry& e : kEntries) {
        texts_[static_cast<std::size_t>(e.message)] = e.built_in;
    }
}

std::string Texts::with(Msg message, std::string_view first, std::string_view second) const {
    std::string text = (*this)[message];
    replace_all(text, "%2", second);
    replace_all(text, "%1", first);
    return text;
}

std::string Texts::reason(FileStatus status) const {
    switch (status.fault) {
    case FileFault::none:
        return {};
    case FileFault::no_such_file:
        return (*this)[Msg::no_such_file];
    case FileFault::no_such_folder:
        return (*this)[Msg::no_such_folder];
    case FileFault::permission:
        return (*this)[Msg::permission];
    case FileFault::disk_full:
        return (*this)[Msg::disk_full];
    case FileFault::is_folder:
        return (*this)[Msg::is_folder];
    case FileFault::name_too_long:
        return (*this)[Msg::name_too_long];
    case FileFault::bad_name:
        return (*this)[Msg::bad_name];
    case FileFault::not_a_song:
        return (*this)[Msg::not_a_song];
    case FileFault::cut_short:
        return (*this)[Msg::cut_short];
    case FileFault::too_large:
        return (*this)[Msg::too_large];
    case FileFault::not_a_wave:
        return (*this)[Msg::not_a_wave];
    case FileFault::unplayable:
        return (*this)[Msg::unplayable];
    case FileFault::other:
        break;
    }
    return std::strerror(status.error);
}

std::string Texts::failure(std::string_view message, std::string_view file,
                           FileStatus status) const {
    std::string text(message);
    text += '\n';
    text += file;
    text += ": ";
    text += reason(status);
    return text;
}

void Texts::read(const IniFile& file) {
    for (const Entry& e : kEntries) {
        std::string& text = texts_[static_cast<std::size_t>(e.message)];
        text = file.read_string("main", e.key, text);
    }
}

void Texts::write(IniFile& file) const {
    for (const Entry& e : kEntries) {
        file.write("main", e.key, (*this)[e.message]);
    }
}

} // namespace qx375
