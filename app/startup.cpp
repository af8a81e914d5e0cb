#include "app/tmain.h"
#include "dialogs/about_box.h"
#include "util/ini_file.h"
#include "util/text.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

namespace qx375 {

// On every activation the master volume slider shows the output's level; the
// first one also sets the program up.
void Tmain::FormActivate() {
    const bool was_modified = modified;
    TrackBarVolume->setValue(65535 - static_cast<int>(output_.volume() & 0xFFFF));
    if (first_activation) {
        run_setup();
        modified = was_modified;
        // What was kept when the program was stopped last time is the user's
        // unsaved work: once taken back it stays marked as changed.
        offer_recovery();
        return;
    }
    if (retry_armed_ && (sound_pending_ || glyph_pending_)) {
        retry_setup();
    }
    modified = was_modified;
}

// A step that fails is reported once and the set-up carries on with the
// rest: closing the report activates the window again, which must not show
// it again, nor read the recent song over what the user has done since.
bool Tmain::setup_step(const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        retry_armed_ = false;
        prompts_.show_message(e.what());
        return false;
    }
}

void Tmain::run_setup() {
    const Refresh setup(refreshing_);
    first_activation = false;
    program_directory = QDir::currentPath().toStdString();
    read_recent_files();
    if (first_use && FormLangues != nullptr) {
        prompts_.exec(*FormLangues);
    }
    read_language_file();
    sound_pending_ = !setup_step([&] { song_.open_sound(winId()); });
    device_watch_.report();
    loadiniconf();
    load_recent_song(recent_files[0]);
    glyph_pending_ = !setup_step([&] { load_glyph("go2.bmp"); });
    RadioGroup2432Click();
    TrackBarBPMChange();
    start_history();
    mark_saved();
}

// What failed at start-up, once the user has been elsewhere and comes back:
// the sound output (the song's own samples then take their channels again)
// and the start/stop picture.
void Tmain::retry_setup() {
    retry_armed_ = false;
    if (sound_pending_) {
        sound_pending_ = !setup_step([&] {
            sound_.open_device(winId());
            for (int k = 0; k < kSounds; ++k) {
                song_.set_sample_file(k, song_.get_sample_file(k));
            }
            song_.apply_mix();
        });
    }
    if (glyph_pending_) {
        glyph_pending_ =
            !setup_step([&] { load_glyph(CheckBoxBeat->isChecked() ? "stop2.bmp" : "go2.bmp"); });
    }
}

// Each entry defaults to the one before it, the first to nothing.
void Tmain::read_recent_files() {
    const IniFile ini(program_file("qx375.ini"));
    std::string previous;
    for (int i = 0; i < kRecentFiles; ++i) {
        previous = ini.read_string("setup", "autoload_" + std::to_string(i), previous);
        recent_files[i] = previous;
    }
    modified = false;
    first_use = ini.read_int("main", "firstuse", 1) != 0;
}

// The "firstuse" key was read before the language choice, whose check box
// may have changed it since; reading it again here would undo the user's
// choice.
void Tmain::loadiniconf() {
    const IniFile ini(program_file("qx375.ini"));
    RadioGroupPlay->set_item_index(ini.read_int("setup", "PatternMode", 0));
    CheckBoxLoop->setChecked(ini.read_int("setup", "LoopMode", 0) != 0);
    EditNumMesure->setText(QString::number(ini.read_int("setup", "Pattern#", 0)));
    TrackBarBPM->setValue(ini.read_int("setup", "Speed", 160));
    ExportTail1->setChecked(ini.read_int("setup", "ExportTail", 0) != 0);
    midi_learn_.read(ini);
    sync_.read(ini);
    settings_loaded_ = true;
    modified = false;
}

// Settings are only written once they were read: a window closed during the
// language choice at the first start would otherwise store the form's own
// values over the user's.
void Tmain::saveiniconf() {
    if (!settings_loaded_) {
        return;
    }
    IniFile ini(program_file("qx375.ini"));
    ini.write_int("setup", "PatternMode", RadioGroupPlay->item_index());
    ini.write_int("setup", "LoopMode", CheckBoxLoop->isChecked() ? 1 : 0);
    ini.write_int("setup", "Pattern#",
                  shows_end_marker()
                      ? kEndMarker
                      : parse_integer(EditNumPattern->text().toStdString()).value_or(0));
    ini.write_int("setup", "Speed", TrackBarBPM->value());
    ini.write_int("setup", "ExportTail", ExportTail1->isChecked() ? 1 : 0);
    ini.write("main", "firstuse", first_use ? "1" : "0");
    sync_.write(ini);
    ini.save();
    modified = false;
}

// Before the program ends: a running export is saved or dropped and the
// song's changes saved or let go, as the user answers; false when the user
// stays, or a save the user asked for did not happen.
bool Tmain::may_quit() {
    closing_ = true;
    const bool quit = may_end_export() && may_replace_song();
    closing_ = false;
    return quit;
}

// The close box, Ctrl+C or kill.
bool Tmain::FormCloseQuery() {
    if (!may_quit()) {
        return false;
    }
    saveiniconf();
    return true;
}

// The Exit command asks the same questions, rewrites the language file in
// every case, Cancel included, and ends the program unless the user stays.
void Tmain::BitBtnQuitterClick() {
    const bool end = may_quit();
    write_language_file();
    if (!end) {
        return;
    }
    exiting_ = true;
    saveiniconf();
    close();
}

void Tmain::Apropos1Click() {
    if (AboutBox != nullptr) {
        prompts_.exec(*AboutBox);
    }
}

void Tmain::Aide1Click() {
    prompts_.show_help(program_file("qx375.hlp"));
}

void Tmain::SoundOutput1Click() {
    prompts_.show_message(device_watch_.describe());
}

void Tmain::Langues1Click() {
    first_use = true;
    if (FormLangues != nullptr) {
        prompts_.exec(*FormLangues);
    }
    read_language_file();
}

} // namespace qx375
