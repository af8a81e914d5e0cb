#pragma once

#include "app/radio_group.h"
#include "app/sequencer_timer.h"
#include "engine/patern.h"
#include "platform/audio_output.h"
#include "platform/notifier.h"

#include <QMainWindow>

#include <array>
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

inline constexpr int kColumns = 24;
inline constexpr int kFirstRow = 3; // rows 1 and 2 are the hi-hat pair
inline constexpr int kLastRow = 16;

// Shows a text in a box only when it differs from what the box shows: Qt
// throws away the selection, the cursor and the undo history even when the
// text set is the one already there.
void show_text(QLineEdit* box, const QString& text);

// The main window: the step grid of the current pattern, the transport, and
// the navigation through patterns, measures and steps. It holds no pattern
// data of its own; every edit goes straight to the song model.
class Tmain : public QMainWindow {
public:
    Tmain(matrice& song, DirectSound& sound, AudioOutput& output, Notifier& notifier);

    // Window state shared by the commands.
    int current_pattern = 0;
    bool modified = false;
    bool exporting = false;
    bool saved_loop = false;
    bool first_activation = true;
    std::string program_directory;

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

    // The first activation's set-up.
    void FormActivate();
    void centre_on_screen();

    SequencerTimer& timer() { return TimerZicmu; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs a handler entered from the event loop: an error it raises ends it
    // and is shown in a message box; nothing escapes into Qt.
    template <typename Handler>
    void guarded(Handler&& handler);

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

    matrice& song_;
    DirectSound& sound_;
    Notifier& notifier_;
    SequencerTimer TimerZicmu;

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
    QAction* Copier1;
    QAction* Coller1;
    QAction* Effacer1;
};

template <typename Handler>
void Tmain::guarded(Handler&& handler) {
    run_guarded(notifier_, handler);
}

} // namespace qx375
