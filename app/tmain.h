#pragma once

#include "app/device_watch.h"
#include "app/midi_learn.h"
#include "app/modified_flag.h"
#include "app/prompts.h"
#include "app/radio_group.h"
#include "app/sequencer_timer.h"
#include "app/sync_control.h"
#include "app/texts.h"
#include "app/undo_commands.h"
#include "dialogs/controls.h"
#include "dialogs/langues.h"
#include "dialogs/soundset.h"
#include "engine/patern.h"
#include "platform/audio_output.h"
#include "platform/wave_recorder.h"

#include <QMainWindow>
#include <QTimer>
#include <QUndoStack>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QToolButton;

namespace qx375 {
namespace kits {
enum class KitFault;
}

class TAboutBox;

inline constexpr int kColumns = 24;
inline constexpr int kRecentFiles = 5;
inline constexpr int kFirstRow = 3; // rows 1 and 2 are the hi-hat pair
inline constexpr int kLastRow = 16;

// The main window: the step grid of the current pattern, the transport, the
// navigation through patterns, measures and steps, the song files, the
// instrument panel, and the program's start and end. It holds no pattern
// data of its own; every edit goes to the song model as a change of its
// history, which can be undone.
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
    ModifiedFlag modified{[this](bool on) { setWindowModified(on); }};
    bool exporting = false;
    bool saved_loop = false;
    bool first_activation = true;
    bool first_use = true;
    std::string program_directory;
    std::array<std::string, kRecentFiles> recent_files;
    std::string save_changes_text = "Save changes ?";
    std::string load_failure_text = "DRM File Failure";
    std::string replace_file_text = "replace existing file ?";
    Texts texts;

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
    void EditBPMEnter();
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

    // Undo and redo. A history step marks the song changed unless it brings
    // back the song as last opened or saved.
    void Undo1Click();
    void Redo1Click();
    const QUndoStack& history() const { return history_; }

    // The window's caption as the language file gives it; the title adds
    // the song's name to it.
    QString caption() const { return caption_; }
    void set_caption(const QString& caption);
    // What the window tells beside its caption (empty for nothing).
    void say(const QString& text);

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
    bool may_quit();
    void Apropos1Click();
    void Aide1Click();
    void Langues1Click();
    void SoundOutput1Click();
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
    // The song as a Standard MIDI File.
    void ExportMidi1Click();
    void OpenKit1Click();
    // Why a kit was refused, as the user reads it.
    std::string kit_reason(kits::KitFault fault, const std::string& detail) const;
    // Reads the kit at `path` and offers its drums to the sounds.
    void open_kit(const std::string& path);
    void SpeedButtonExportClick();

    SequencerTimer& timer() { return TimerZicmu; }

    // Ending the program on a signal: a close that asks its questions first,
    // whether such a question waits for its answer, and stopping without
    // one, the unsaved changes kept for the next start.
    bool close_on_signal();
    bool closing() const { return closing_; }
    void stop_now();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class SetupLink : public SetupHost {
    public:
        explicit SetupLink(Tmain& window) : window_(window) {}
        int current_pattern() const override { return window_.current_pattern; }
        bool playing() const override { return window_.TimerZicmu.isEnabled(); }
        void mark_modified() override { window_.modified = true; }
        void set_mix(MixPart part, int sound, int value, int gesture) override {
            window_.set_mix(part, sound, value, gesture);
        }
        void previous_measure() override { window_.SpeedButtonBackPatternClick(); }
        void next_measure() override { window_.SpeedButtonForwardPatternClick(); }
        bool choose_sample(int sound) override { return window_.choose_sample(sound); }
        QString sound_name(int sound) const override;

    private:
        Tmain& window_;
    };

    class SyncLink : public SyncHost {
    public:
        explicit SyncLink(Tmain& window) : window_(window) {}
        void sync_play(double beat) override { window_.sync_play(beat); }
        void sync_stop() override { window_.sync_stop(); }
        void sync_locate(double beat) override { window_.sync_locate(beat); }
        void sync_show_bpm(double bpm) override { window_.sync_show_bpm(bpm); }
        void sync_say(const QString& text) override { window_.sync_say(text); }
        bool sync_playing() const override { return window_.TimerZicmu.isEnabled(); }
        double sync_position() const override { return window_.sync_position(); }
        double sync_bpm() const override { return window_.sync_bpm(); }

    private:
        Tmain& window_;
    };

    class UndoLink : public UndoHost {
    public:
        explicit UndoLink(Tmain& window) : window_(window) {}
        void show_change(const SongPlace& place) override { window_.show_change(place); }
        void show_tempo(int position) override { window_.show_tempo_position(position); }
        void show_loop(bool on) override { window_.show_loop(on); }

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
    QSize window_frame() const;
    void build_menus();
    void build_action_groups();
    void build_navigation_groups();
    void build_sounds_group();
    void build_grid();
    void connect_handlers();
    void apply_layout(int size, int progress_width);
    void load_glyph(const char* file);
    int strict_pattern_number() const;
    void show_tempo();
    bool shows_end_marker() const;

    // Song files, and the changes kept when the program is stopped.
    bool save_song();
    bool save_song_as();
    bool may_replace_song();
    bool read_song(const std::string& path);
    void open_song(const std::string& path);
    void show_loaded_song(const std::string& name);
    std::string program_file(const std::string& name) const;
    std::string song_folder() const;
    FileDialog song_dialog(Msg title) const;
    void keep_for_recovery();
    void drop_recovery();
    void offer_recovery();

    // Instrument panel and export.
    bool choose_sample(int sound);
    bool take_sample(int sound, const std::string& file);
    void take_kit_samples(std::vector<sample_reading> readings);
    // The song, played offline from its first measure, written to `file` as
    // a Standard MIDI File named `title`.
    FileStatus write_midi(const std::string& file, const std::string& title) const;
    int sound_at(QPoint at) const;
    std::string export_name_offered() const;
    void finish_export();
    void ring_out();
    void end_take_at(std::uint64_t frame);
    void export_finished(RecorderResult result);
    bool may_end_export();
    void keep_export();
    void set_export_loop(bool on);

    // Languages.
    std::string* message_buffer(const char* name);

    // The history of changes, and what the window shows of it.
    SongPlace place() const;
    SongEdit edit() { return {song_, undo_link_}; }
    // A change of the user's; the write-backs of a refresh are none.
    bool user_change() const { return refreshing_ == 0; }
    void record(std::unique_ptr<SongCommand> change);
    void set_mix(MixPart part, int sound, int value, int gesture);
    void after_history_step();
    void show_change(const SongPlace& place);
    void show_tempo_position(int position);
    void apply_tempo_position();
    void show_loop(bool on);
    void show_history_items();
    // The song just opened, saved or started anew: a fresh history, and what
    // a step of it compares the song with.
    void start_history();
    void mark_saved();
    void show_title();
    void build_edit_items(QMenu& edit);
    void build_shortcuts();
    void show_playing_column(int step);

    // Keeping time with other programs.
    void sync_play(double beat);
    void sync_stop();
    void sync_locate(double beat);
    void sync_show_bpm(double bpm);
    void sync_say(const QString& text);
    double sync_position() const;
    double sync_bpm() const;

    // Start-up.
    void run_setup();
    void retry_setup();
    bool setup_step(const std::function<void()>& step);

    // While it lives, what the controls' handlers write is the window showing
    // the song again, not a change of the user's.
    class Refresh {
    public:
        explicit Refresh(int& depth) : depth_(depth) { ++depth_; }
        ~Refresh() { --depth_; }
        Refresh(const Refresh&) = delete;
        Refresh& operator=(const Refresh&) = delete;

    private:
        int& depth_;
    };

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
    DeviceWatch device_watch_;
    MidiLearn midi_learn_;
    SyncLink sync_link_{*this};
    SyncControl sync_;
    SetupLink setup_link_{*this};
    LanguesLink langues_link_{*this};
    UndoLink undo_link_{*this};
    QUndoStack history_;
    int refreshing_ = 0;      // grid refreshes under way
    int tempo_gestures_ = 0;  // drags of the tempo slider so far
    int tempo_position_ = 0;  // the slider's position the song's tempo came from
    std::string saved_image_; // the song as last opened or saved, byte for byte
    QString caption_ = "QX375";
    QString status_;
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
    // The questions before the program ends wait for their answers.
    bool closing_ = false;
    // The program was stopped without an answer.
    bool stopped_ = false;
    std::string recovery_kept_; // the file that holds the changes kept, if any
    bool settings_loaded_ = false;
    std::string sound_file_name_;               // what the sample file dialog offers next
    std::string export_file_name_ = "untitled"; // what the export's save dialog offers next
    std::string exported_song_;                 // the song the last export was made of
    QTimer export_done_;                        // looks for the end of a take being written
    std::string kit_folder_;                    // where the kit dialog opened last
    QTimer export_ring_;                        // waits for the last sounds of a take to end
    std::uint64_t ring_from_ = 0;               // where the last step of the take ends

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
    QAction* OpenKit1;
    QAction* ExportTail1; // an export lets the last sounds ring out
    QAction* ExportMidi1;
    QAction* Quitter1;
    std::array<QAction*, kRecentFiles> recent_items; // fichier1 .. fichier5
    QAction* Langues1;
    QAction* SoundOutput1;
    QAction* MidiLearn1;
    QAction* Aide1;
    QAction* Apropos1;
    QAction* Undo1;
    QAction* Redo1;
    QAction* Copier1;
    QAction* Coller1;
    QAction* Effacer1;
    QFrame* PlayingColumn; // over the column of the step last played
};

template <typename Handler>
void Tmain::guarded(Handler&& handler) {
    run_guarded(prompts_, handler);
}

} // namespace qx375
