#include "app/tmain.h"
#include "dialogs/about_box.h"
#include "util/ini_file.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

namespace qx375 {
namespace {

enum class Window { main, setup, about };
enum class Part { caption, hint, plain_hint, item, message, copy };

// One text of the language file, in the order the file is applied. A hint
// with a family goes to every control named `family` + n, n = first..last.
struct Row {
    const char* section;
    const char* key;
    Window window;
    const char* name;
    Part part;
    int index = 0;
    const char* family = nullptr;
    int first = 0;
    int last = 0;
};

constexpr Row rows[] = {
    {"main", "mainmenu", Window::main, "main", Part::caption},
    {"main", "Fichier", Window::main, "Fichier", Part::caption},
    {"main", "Edition", Window::main, "Edition", Part::caption},
    {"main", "Aide", Window::main, "Aide", Part::caption},
    {"main", "filenew", Window::main, "Nouveau1", Part::caption},
    {"main", "Ouvrir", Window::main, "Ouvrir", Part::caption},
    {"main", "save", Window::main, "Enregistrer", Part::caption},
    {"main", "saveas", Window::main, "SauverSous", Part::caption},
    {"main", "Export", Window::main, "Export1", Part::caption},
    {"main", "MenuQuitter", Window::main, "Quitter1", Part::caption},
    {"main", "MenuCopier", Window::main, "Copier1", Part::caption},
    {"main", "MenuColler", Window::main, "Coller1", Part::caption},
    {"main", "MenuEffacer", Window::main, "Effacer1", Part::caption},
    {"main", "about", Window::main, "Apropos1", Part::caption},
    {"main", "CursVolume", Window::main, "TrackBarVolume", Part::hint},
    {"main", "CursBPM", Window::main, "TrackBarBPM", Part::hint},
    {"main", "Action", Window::main, "BitBtnAction", Part::hint},
    {"main", "Exit", Window::main, "BitBtnQuitter", Part::hint},
    {"main", "About", Window::main, "SpeedButtonHelp", Part::plain_hint},
    {"main", "step0", Window::main, "SpeedButtonStepZero", Part::hint},
    {"main", "prevstep", Window::main, "SpeedButtonPreviousStep", Part::hint},
    {"main", "nextstep", Window::main, "SpeedButtonNextStep", Part::hint},
    {"main", "homesong", Window::main, "SpeedButtonBeginSong", Part::hint},
    {"main", "prevpattern", Window::main, "SpeedButtonBackPattern", Part::hint},
    {"main", "nextpattern", Window::main, "SpeedButtonForwardPattern", Part::hint},
    {"main", "patternplus", Window::main, "ButtonPatternPlus", Part::hint},
    {"main", "patternmoins", Window::main, "ButtonPatternMoins", Part::hint},
    {"main", "loopc", Window::main, "CheckBoxLoop", Part::caption},
    {"main", "looph", Window::main, "CheckBoxLoop", Part::hint},
    {"main", "editBPM", Window::main, "EditBPM", Part::hint},
    {"main", "editstep", Window::main, "EditStep", Part::hint},
    {"main", "drmfile", Window::main, "EditFileName", Part::hint},
    {"main", "RGPlay", Window::main, "RadioGroupPlay", Part::caption},
    {"main", "PlayPattern", Window::main, "RadioGroupPlay", Part::item, 0},
    {"main", "PlaySong", Window::main, "RadioGroupPlay", Part::item, 1},
    {"main", "RG24_32", Window::main, "RadioGroup2432", Part::caption},
    {"main", "Play14", Window::main, "RadioGroup2432", Part::item, 0},
    {"main", "Play15", Window::main, "RadioGroup2432", Part::item, 1},
    {"main", "Play16", Window::main, "RadioGroup2432", Part::item, 2},
    {"main", "Play20", Window::main, "RadioGroup2432", Part::item, 3},
    {"main", "Play21", Window::main, "RadioGroup2432", Part::item, 4},
    {"main", "Play24", Window::main, "RadioGroup2432", Part::item, 5},
    {"main", "mesure", Window::main, "LabelMesure", Part::caption},
    {"main", "lStep", Window::main, "LabelStep", Part::caption},
    {"main", "Action", Window::main, "GroupBoxAction", Part::caption},
    {"main", "Step", Window::main, "GroupBoxStep", Part::caption},
    {"main", "Song", Window::main, "GroupBoxSong", Part::caption},
    {"main", "Volume", Window::main, "GroupBoxVolume", Part::caption},
    {"main", "CodeStoph", Window::main, "ButtonEndSong", Part::hint},
    {"main", "CodeStopc", Window::main, "ButtonEndSong", Part::caption},
    {"main", "BOXAction", Window::main, "GroupBoxAction", Part::caption},
    {"main", "BOXPattern", Window::main, "GroupBoxPattern", Part::caption},
    {"main", "IMGPattern", Window::main, "ImagePattern", Part::hint},
    {"main", "copier", Window::main, "BitBtnCopier", Part::caption},
    {"main", "coller", Window::main, "BitBtnColler", Part::caption},
    {"main", "effacer", Window::main, "BitBtnClear", Part::caption},
    {"main", "BOXSon", Window::main, "GroupBoxSon", Part::caption},
    {"main", "lPattern", Window::main, "LabelPattern", Part::caption},
    {"main", "Start", Window::main, "CheckBoxBeat", Part::hint},
    {"main", "Mesureh", Window::main, "EditNumMesure", Part::hint},
    {"main", "ptnh", Window::main, "EditNumPattern", Part::hint},
    {"main", "GRPPlay", Window::main, "RadioGroupPlay", Part::hint},
    {"main", "GRP2432h", Window::main, "RadioGroup2432", Part::hint},
    {"main", "BtnCopier", Window::main, "BitBtnCopier", Part::hint},
    {"main", "BtnColler", Window::main, "BitBtnColler", Part::hint},
    {"main", "BtnClear", Window::main, "BitBtnClear", Part::hint},
    {"main", "Exporth", Window::main, "SpeedButtonExport", Part::hint},
    {"main", "canalfile", Window::main, "ButtonF1", Part::hint, 0, "ButtonF", 2, 16},
    {"main", "canalmix", Window::main, "MixButton1", Part::hint, 0, "MixButton", 2, 16},
    {"main", "jouerson", Window::main, "SpeedButton1", Part::hint, 0, "SpeedButton", 2, 16},
    {"main", "Button1", Window::main, "Button1", Part::hint, 0, "Button", 0, 9},
    {"main", "sauvegarder", Window::main, "save_changes_text", Part::message},
    {"main", "remplacer", Window::main, "replace_file_text", Part::message},
    {"main", "drmfail", Window::main, "load_failure_text", Part::message},
    {"sndsetup", "sndmenu", Window::setup, "FormSetup", Part::caption},
    {"sndsetup", "chnselect", Window::setup, "ComboBoxCanal", Part::hint},
    {"sndsetup", "canalvol", Window::setup, "TrackBarVol", Part::hint},
    {"sndsetup", "canalpan", Window::setup, "TrackBarPan", Part::hint},
    {"sndsetup", "Canalpit", Window::setup, "TrackBarPitch", Part::hint},
    {"sndsetup", "Canalplay", Window::setup, "ButtonTestSound", Part::hint},
    {"sndsetup", "Canalfile", Window::setup, "ButtonFile", Part::hint},
    {"sndsetup", "Closesetupc", Window::setup, "ButtonClose", Part::caption},
    {"sndsetup", "Closesetuph", Window::setup, "ButtonClose", Part::hint},
    {"sndsetup", "stppattern", Window::setup, "EditNumPattern", Part::hint},
    {"sndsetup", "stpmesure", Window::setup, "EditMesure", Part::hint},
    {"sndsetup", "editvol", Window::setup, "EditVol", Part::hint},
    {"sndsetup", "editpitch", Window::setup, "EditPitch", Part::hint},
    {"sndsetup", "chanelplus", Window::setup, "ButtonChanelPlus", Part::hint},
    {"sndsetup", "chanelmoins", Window::setup, "ButtonChanelMoins", Part::hint},
    {"sndsetup", "lptn", Window::setup, "Labelpattern", Part::caption},
    {"sndsetup", "voll", Window::setup, "LabelVolume", Part::caption},
    {"sndsetup", "pitchl", Window::setup, "LabelPitch", Part::caption},
    {"sndsetup", "panl", Window::setup, "LabelPan", Part::caption},
    {"sndsetup", "panh", Window::setup, "EditPan", Part::hint},
    {"sndsetup", "VolMax", Window::setup, "RadioButtonVolMax", Part::hint},
    {"sndsetup", "VolMid", Window::setup, "RadioButtonVolMid", Part::hint},
    {"sndsetup", "VolMin", Window::setup, "RadioButtonVolMin", Part::hint},
    {"sndsetup", "PitchMax", Window::setup, "RadioButtonPitchmax", Part::hint},
    {"sndsetup", "PitchNorm", Window::setup, "RadioButtonPitchNorm", Part::hint},
    {"sndsetup", "PitchMin", Window::setup, "RadioButtonPitchMin", Part::hint},
    {"sndsetup", "PanLeft", Window::setup, "RadioButtonPanLeft", Part::hint},
    {"sndsetup", "PanCenter", Window::setup, "RadioButtonPanCenter", Part::hint},
    {"sndsetup", "PanRight", Window::setup, "RadioButtonPanRight", Part::hint},
    {"sndsetup", "stpbckptn", Window::setup, "SpeedButtonBackPattern", Part::hint},
    {"sndsetup", "stpnxtptn", Window::setup, "SpeedButtonForwardPattern", Part::hint},
    {"sndsetup", "chanelplus", Window::setup, "ButtonChanelPlus", Part::hint},
    {"sndsetup", "chanelmoins", Window::setup, "ButtonChanelMoins", Part::hint},
    {nullptr, nullptr, Window::setup, "LabelMesure", Part::copy},
    {"sndsetup", "LabelPitch", Window::setup, "LabelPitch", Part::caption},
    {"sndsetup", "LabelVolume", Window::setup, "LabelVolume", Part::caption},
    {"sndsetup", "LabelPan", Window::setup, "LabelPan", Part::caption},
    {"sndsetup", "Labelchannel", Window::setup, "Labelchannel", Part::caption},
    // Texts every window shows that older language files do not hold yet.
    {"main", "Quitterc", Window::main, "BitBtnQuitter", Part::caption},
    {"main", "MenuSpecial", Window::main, "special", Part::caption},
    {"main", "MenuLangue", Window::main, "Langues1", Part::caption},
    {"main", "MenuAide", Window::main, "Aide1", Part::caption},
    {"main", "helpcontents", Window::main, "HelpContents", Part::caption},
    {"main", "helpback", Window::main, "HelpBack", Part::caption},
    {"main", "helpclose", Window::main, "HelpClose", Part::caption},
    {"main", "abouttitle", Window::about, "AboutBox", Part::caption},
    {"main", "aboutcredits", Window::about, "Comments", Part::caption},
    {"sndsetup", "ButtonFilec", Window::setup, "ButtonFile", Part::caption},
    {"main", "MenuOutput", Window::main, "SoundOutput1", Part::caption},
    {"main", "MenuLearn", Window::main, "MidiLearn1", Part::caption},
    {"main", "MenuSync", Window::main, "Sync1", Part::caption},
    {"main", "MenuSyncNone", Window::main, "SyncNone1", Part::caption},
    {"main", "MenuSyncJack", Window::main, "SyncJack1", Part::caption},
    {"main", "MenuSyncMidi", Window::main, "SyncMidi1", Part::caption},
    {"main", "MenuSyncLink", Window::main, "SyncLink1", Part::caption},
    {"main", "MenuSyncLead", Window::main, "SyncLead1", Part::caption},
    {"main", "MenuSyncFollow", Window::main, "SyncFollow1", Part::caption},
    {"main", "MenuExportTail", Window::main, "ExportTail1", Part::caption},
    {"main", "MenuKit", Window::main, "OpenKit1", Part::caption},
    {"main", "MenuExportMidi", Window::main, "ExportMidi1", Part::caption},
};

QString caption_of(QObject* object) {
    if (auto* setup = dynamic_cast<TFormSetup*>(object)) {
        return setup->caption();
    }
    if (auto* main = dynamic_cast<Tmain*>(object)) {
        return main->caption();
    }
    if (auto* group = qobject_cast<QGroupBox*>(object)) {
        return group->title();
    }
    if (auto* label = qobject_cast<QLabel*>(object)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        return button->text();
    }
    if (auto* menu = qobject_cast<QMenu*>(object)) {
        return menu->title();
    }
    if (auto* action = qobject_cast<QAction*>(object)) {
        return action->text();
    }
    return qobject_cast<QWidget*>(object)->windowTitle();
}

void put_caption(QObject* object, const QString& text) {
    if (auto* setup = dynamic_cast<TFormSetup*>(object)) {
        setup->set_caption(text);
    } else if (auto* main = dynamic_cast<Tmain*>(object)) {
        main->set_caption(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
        group->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(object)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        button->setText(text);
    } else if (auto* menu = qobject_cast<QMenu*>(object)) {
        menu->setTitle(text);
    } else if (auto* action = qobject_cast<QAction*>(object)) {
        action->setText(text);
    } else {
        qobject_cast<QWidget*>(object)->setWindowTitle(text);
    }
}

// The windows by Window: the main window, the sound setup, the about box.
using Windows = std::array<QWidget*, 3>;

QObject* target_of(const Windows& windows, const Row& row) {
    QWidget* window = windows[static_cast<std::size_t>(row.window)];
    if (window == nullptr) {
        return nullptr;
    }
    return window->objectName() == row.name ? window : window->findChild<QObject*>(row.name);
}

} // namespace

std::string* Tmain::message_buffer(const char* name) {
    const std::string_view which(name);
    return which == "save_changes_text"   ? &save_changes_text
           : which == "replace_file_text" ? &replace_file_text
                                          : &load_failure_text;
}

// Every text of the windows, and three messages, from qx375.lng: a key that
// is absent leaves its text as it is, one present but empty empties it.
void Tmain::read_language_file() {
    if (FormSetup == nullptr) {
        return;
    }
    const IniFile file(program_file("qx375.lng"));
    const Windows windows = {this, FormSetup, AboutBox};
    // The pattern box names the End marker by the End button's caption, so
    // a new caption must show there too, or the next reading of the box
    // would take the old one for no number and store pattern 0.
    const bool end_shown = shows_end_marker();
    for (const Row& row : rows) {
        QObject* target = target_of(windows, row);
        if (target == nullptr && row.part != Part::message) {
            continue;
        }
        const auto read = [&](const QString& current) {
            return QString::fromStdString(
                file.read_string(row.section, row.key, current.toStdString()));
        };
        switch (row.part) {
        case Part::caption:
            put_caption(target, read(caption_of(target)));
            break;
        case Part::hint: {
            auto* control = qobject_cast<QWidget*>(target);
            control->setToolTip(read(control->toolTip()));
            for (int n = row.first; row.family != nullptr && n <= row.last; ++n) {
                const std::string sibling = row.family + std::to_string(n);
                if (auto* other = findChild<QWidget*>(sibling.c_str())) {
                    other->setToolTip(control->toolTip());
                }
            }
            break;
        }
        case Part::plain_hint: {
            // "About" and the About menu's "about" are one key to a settings
            // file, which ignores letter case: the hint gets the menu's
            // caption, shown without its accelerator marks.
            auto* control = qobject_cast<QWidget*>(target);
            QString text = read(control->toolTip());
            control->setToolTip(text.replace("&&", "\x01").remove('&').replace("\x01", "&"));
            break;
        }
        case Part::item: {
            QRadioButton* item = static_cast<RadioGroup*>(target)->item(row.index);
            item->setText(read(item->text()));
            break;
        }
        case Part::message: {
            std::string& text = *message_buffer(row.name);
            text = file.read_string(row.section, row.key, text);
            break;
        }
        case Part::copy:
            put_caption(target, LabelMesure->text());
            break;
        }
    }
    texts.read(file);
    if (end_shown) {
        show_text(EditNumPattern, ButtonEndSong->text());
    }
    show_history_items();
    show_title();
}

// The texts the windows show now, into qx375.lng; a key given twice keeps
// the later text.
void Tmain::write_language_file() {
    if (FormSetup == nullptr) {
        return;
    }
    IniFile file(program_file("qx375.lng"));
    const Windows windows = {this, FormSetup, AboutBox};
    for (const Row& row : rows) {
        // The help button's hint would overwrite the About menu's caption,
        // which holds the same key.
        if (row.part == Part::copy || row.part == Part::plain_hint) {
            continue;
        }
        QObject* target = target_of(windows, row);
        if (target == nullptr && row.part != Part::message) {
            continue;
        }
        QString text;
        switch (row.part) {
        case Part::caption:
            text = caption_of(target);
            break;
        case Part::hint:
            text = qobject_cast<QWidget*>(target)->toolTip();
            break;
        case Part::item:
            text = static_cast<RadioGroup*>(target)->item(row.index)->text();
            break;
        case Part::message:
            text = QString::fromStdString(*message_buffer(row.name));
            break;
        case Part::copy:
        case Part::plain_hint:
            break;
        }
        file.write(row.section, row.key, text.toStdString());
    }
    texts.write(file);
    file.save();
}

} // namespace qx375
