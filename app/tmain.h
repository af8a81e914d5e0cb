#pragma once

#include "app/prompts.h"
#include "app/radio_group.h"
#include "app/sequencer_timer.h"
#include "dialogs/langues.h"
#include "dialogs/soundset.h"
#include "engine/patern.h"
#include "platform/audio_output.h"
#include "platform/wave_recorder.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QToolButton;

namespace qx375 {

class TAboutBox;

inline constexpr int kColumns = 24;
inline constexpr int kRecentFiles = 5;
inline constexpr int kFirstRow = 3; // rows 1 and 2 are the hi-hat pair
inline constexpr int kLastRow = 16;

// Shows a text in a box only when it differs from what the box shows: Qt
// throws away the selection, the cursor and the undo history even when the
// text set is the one already there.
void show_text(QLineEdit* box, const QString& text);
void limit_typing(QLineEdit* box, int length);

// The main window: the step grid of the current pattern, the transport, the
// navigation through patterns, measures and steps, the song files, the
// instrument panel, and the program's start and end. It holds no pattern
// data of its own; every edit goes straight to the song model.
class Tmain : public QMainWindow {
public:
    Tmain(matrice& song, DirectSound& sound, AudioOutput& output, WaveRecorder& recorder,
          Prompts& prompts);

    // What the sound setup uses of this window; the program's other windows,
    // made after this one.
    SetupHost& setup_host() { return setup_link_; }
    LanguesHost& langues_host() { return langues_link_; }
    void attach(TAboutBox& about, TFormSetup& setup, TFormLangues& langues);

    // Window state shared by the commands.
    int current_pattern = 0;
    bool modified = false;
    bool exporting = false;
    bool saved_loop = false;
    bool first_activation = true;
    bool first_use = true;
    std::string program_directory;
    std::array<std::string, kRecentFiles> recent_files;
    std::string save_changes_text = "Save changes ?";
    std::string load_failure_text = "DRM File Failure";
    std::string replace_file_text = "replace existing file ?";

    // The step grid.
    void CheckBoxClick(int column, int row);
    void RadioGroupClick(int column);
    void getpatern();

    // Pattern sizes.
    void RadioGroup2432Click();
    void bouton14();
    void bouton15();
    void bouton16();
    void bouton20();
    void bouton21();
    void bouton24();

    // Transport.
    void TimerZicmuTimer();
    void execute(int count, QObject* sender);
    void TrackBarBPMChange();
    void CheckBoxBeatClick();
    void BitBtnActionClick();
    void RadioGroupPlayClick();
    void CheckBoxLoopClick();

    // Navigation.
    void EditNumPatternChange();
    void EditNumPatternKeyPress();
    void envoyer_pattern(char digit);
    void ButtonPClick(int digit);
    void ButtonPatternPlusClick();
    void ButtonPatternMoinsClick();
    void ButtonEndSongClick();
    void SpeedButtonBeginSongClick();
    void SpeedButtonBackPatternClick();
    void SpeedButtonForwardPatternClick();
    void SpeedButtonNextStepClick();
    void SpeedButtonPreviousStepClick();
    void SpeedButtonStepZeroClick();

    // Pattern clipboard.
    void BitBtnCopierClick();
    void BitBtnCollerClick();
    void BitBtnClearClick();

    // Song files and the recent-file list.
    void Nouveau1Click();
    void OuvrirClick();
    void EnregistrerClick();
    void SauverSousClick();
    void fichierClick(int entry);
    bool load_recent_song(const std::string& entry);
    void add_recent_file(const std::string& name);
    void write_recent_files();

    // Start-up, settings and the end of the program.
    void FormActivate();
    void loadiniconf();
    void saveiniconf();
    void read_recent_files();
    bool FormCloseQuery();
    void BitBtnQuitterClick();
    void Apropos1Click();
    void Aide1Click();
    void Langues1Click();
    void centre_on_screen();

    // Instrument panel.
    void takesound_at_chanel(int sound);
    void MixButtonClick(int sound);
    void ButtonF1ContextPopup();
    void TrackBarVolumeChange();

    // Languages.
    void read_language_file();
    void write_language_file();

    // Export to a wave file.
    void Export1Click();
    void SpeedButtonExportClick();

    SequencerTimer& timer() { return TimerZicmu; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class SetupLink : public SetupHost {
    public:
        explicit SetupLink(Tmain& window) : window_(window) {}
        int current_pattern() const override { return window_.current_pattern; }
        bool playing() const override { return window_.TimerZicmu.isEnabled(); }
        void mark_modified() override { window_.modified = true; }
        void previous_measure() override { window_.SpeedButtonBackPatternClick(); }
        void next_measure() override { window_.SpeedButtonForwardPatternClick(); }
        std::optional<std::string> choose_sound_file() override {
            return window_.choose_sound_file();
        }

    private:
        Tmain& window_;
    };

    class LanguesLink : public LanguesHost {
    public:
        explicit LanguesLink(Tmain& window) : window_(window) {}
        std::string program_directory() const override { return window_.program_directory; }
        void set_first_use(bool first_use) override { window_.first_use = first_use; }
        void write_recent_files() override { window_.write_recent_files(); }

    private:
        Tmain& window_;
    };

    // Runs a handler entered from the event loop: an error it raises ends it
    // and is shown in a message box; nothing escapes into Qt.
    template <typename Handler>
    void guarded(Handler&& handler);

    int px(int design) const;
    QRect design(int left, int top, int width, int height) const;
    void build_menus();
    void build_action_groups();
    void build_navigation_groups();
    void build_sounds_group();
    void build_grid();
    void connect_handlers();
    void apply_layout(int size, int progress_width);
    void load_glyph(const char* file);
    int strict_pattern_number() const;
    bool shows_end_marker() const;

    // Song files.
    bool save_song();
    bool save_song_as();
    bool may_replace_song();
    void show_loaded_song(const std::string& name);
    std::string program_file(const std::string& name) const;

    // Instrument panel and export.
    std::optional<std::string> choose_sound_file();
    void finish_export();

    // Languages.
    QObject* language_target(bool setup, const char* name);
    std::string* message_buffer(const char* name);

    // Start-up.
    void run_setup();
    void retry_setup();
    bool setup_step(const std::function<void()>& step);

    matrice& song_;
    DirectSound& sound_;
    AudioOutput& output_;
    // Screen pixels per design pixel, and what the progress bar's widths,
    // given in pixels at 96 dpi, are multiplied by on this screen.
    const double density_;
    double progress_scale_ = 1.0;
    WaveRecorder& MediaPlayer1;
    Prompts& prompts_;
    SequencerTimer TimerZicmu;
    SetupLink setup_link_{*this};
    LanguesLink langues_link_{*this};
    TAboutBox* AboutBox = nullptr;
    TFormSetup* FormSetup = nullptr;
    TFormLangues* FormLangues = nullptr;

    // What the set-up could not do yet, tried again when the user comes back
    // to the window from elsewhere.
    bool sound_pending_ = false;
    bool glyph_pending_ = false;
    bool retry_armed_ = false;
    // Exit has asked its question already; the window just closes.
    bool exiting_ = false;
    bool settings_loaded_ = false;
    std::string sound_file_name_;               // what the sample file dialog offers next
    std::string export_file_name_ = "untitled"; // what the export's save dialog offers next

    QLineEdit* EditFileName;
    QLabel* Label4;
    QGroupBox* GroupBoxAction;
    QCheckBox* CheckBoxBeat;
    QLabel* Label1;
    QLineEdit* EditBPM;
    QSlider* TrackBarBPM;
    QGroupBox* GroupBoxVolume;
    QSlider* TrackBarVolume;
    QToolButton* SpeedButtonExport;
    QPushButton* BitBtnAction;
    QGroupBox* GroupBoxStep;
    QLabel* LabelStep;
    QLineEdit* EditStep;
    QToolButton* SpeedButtonStepZero;
    QToolButton* SpeedButtonPreviousStep;
    QToolButton* SpeedButtonNextStep;
    QGroupBox* GroupBoxSong;
    RadioGroup* RadioGroupPlay;
    QCheckBox* CheckBoxLoop;
    QLabel* LabelMesure;
    QLineEdit* EditNumMesure;
    QToolButton* SpeedButtonBeginSong;
    QToolButton* SpeedButtonBackPattern;
    QToolButton* SpeedButtonForwardPattern;
    QGroupBox* GroupBoxPattern;
    QLabel* LabelPattern;
    QLineEdit* EditNumPattern;
    QPushButton* ButtonPatternPlus;
    QPushButton* ButtonPatternMoins;
    std::array<QPushButton*, 10> keypad; // Button0 .. Button9, by digit
    QPushButton* ButtonEndSong;
    RadioGroup* RadioGroup2432;
    QPushButton* BitBtnCopier;
    QPushButton* BitBtnColler;
    QPushButton* BitBtnClear;
    QGroupBox* GroupBoxSon;
    std::array<QPushButton*, kSounds> sample_buttons; // ButtonF1 .. ButtonF16
    std::array<QToolButton*, kSounds> mix_buttons;    // MixButton1 .. MixButton16
    std::array<QToolButton*, kSounds> play_buttons;   // SpeedButton1 .. SpeedButton16
    QLabel* Label8;
    QLabel* ImagePattern;
    QProgressBar* ProgressTime;
    std::array<RadioGroup*, kColumns> hihat_groups; // RadioGroup1 .. RadioGroup24
    // CheckBox<column>_<row>, for rows 3..16.
    std::array<std::array<QCheckBox*, kLastRow - kFirstRow + 1>, kColumns> cells;
    QToolButton* SpeedButtonHelp;
    QPushButton* BitBtnQuitter;
    QAction* Nouveau1;
    QAction* Ouvrir;
    QAction* Enregistrer;
    QAction* SauverSous;
    QAction* Export1;
    QAction* Quitter1;
    std::array<QAction*, kRecentFiles> recent_items; // fichier1 .. fichier5
    QAction* Langues1;
    QAction* Aide1;
    QAction* Apropos1;
    QAction* Copier1;
    QAction* Coller1;
    QAction* Effacer1;
};

template <typename Handler>
void Tmain::guarded(Handler&& handler) {
    run_guarded(prompts_, handler);
}

} // namespace qx375
