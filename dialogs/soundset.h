#pragma once

#include "engine/patern.h"
#include "platform/notifier.h"
#include "sound/direct_sound.h"

#include <QDialog>

#include <array>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QToolButton;

namespace qx375 {

enum class MixPart { volume, pan, pitch };

// What the sound setup needs of the main window.
class SetupHost {
public:
    virtual ~SetupHost() = default;
    virtual int current_pattern() const = 0;
    // The sequencer's timer runs.
    virtual bool playing() const = 0;
    virtual void mark_modified() = 0;
    // A value the user gave a sound in the pattern of the current measure.
    // The moves of one gesture (a slider held down) share a number, 0 for
    // none.
    virtual void set_mix(MixPart part, int sound, int value, int gesture) = 0;
    // The main window's previous-measure and next-measure buttons.
    virtual void previous_measure() = 0;
    virtual void next_measure() = 0;
    // Runs the main window's sound file dialog, offering the name it held
    // last, and gives the sound the file chosen, telling the user why a file
    // will not do; true when the sound took it.
    virtual bool choose_sample(int sound) = 0;
    // The name of the sound, as its row in the main window shows it.
    virtual QString sound_name(int sound) const = 0;
};

// The sound setup: volume, pan and pitch of one sound in the pattern of the
// current measure, its sample file and a button to hear it. It always shows
// what the model holds; the user's own actions change it through the main
// window.
class TFormSetup : public QDialog {
public:
    TFormSetup(matrice& song, DirectSound& sound, Notifier& notifier, SetupHost& host,
               QWidget* parent = nullptr);

    // The window's caption as the language file gives it; the title adds the
    // sound and its sample file to it.
    QString caption() const { return caption_; }
    void set_caption(const QString& caption);

    // The sound shown and edited, 0..15; other values are ignored.
    void set_sound_index(int index);
    int sound_index() const { return sound_index_; }

    // Shows the measure, the pattern and the sound's mix as the model holds
    // them. Runs when the dialog is activated, after each change made in it,
    // and from the main window's tick at every pattern start.
    void refresh();

    // Handlers of the controls.
    void TrackBarVolChange();
    void TrackBarPanChange();
    void TrackBarPitchChange();
    void RadioButtonVolMaxClick();
    void RadioButtonVolMidClick();
    void RadioButtonVolMinClick();
    void RadioButtonPanLeftClick();
    void RadioButtonPanCenterClick();
    void RadioButtonPanRightClick();
    void RadioButtonPitchmaxClick();
    void RadioButtonPitchNormClick();
    void RadioButtonPitchMinClick();
    void ComboBoxCanalChange();
    void ButtonChanelPlusClick();
    void ButtonChanelMoinsClick();
    void ButtonTestSoundClick();
    void ButtonFileClick();
    void SpeedButtonBackPatternClick();
    void SpeedButtonForwardPatternClick();
    void ButtonCloseClick();
    // Enter in a value's box: the value typed moves the slider, within its
    // range, as the user would; anything else shows the value again.
    void EditVolEnter();
    void EditPanEnter();
    void EditPitchEnter();

protected:
    bool event(QEvent* event) override;

private:
    void build_controls();
    void connect_handlers();
    int px(int design) const;
    QRect design(int left, int top, int width, int height) const;
    void preset(QSlider* slider, int position, void (TFormSetup::*change)());
    void select_channel(int entry);
    void typed(QLineEdit* box, QSlider* slider, long long (*position)(long long typed));
    void show_title();
    void change(MixPart part, QSlider* slider, int value);

    matrice& song_;
    DirectSound& sound_;
    Notifier& notifier_;
    SetupHost& host_;
    int sound_index_ = 0;
    int gestures_ = 0;     // the sliders' drags so far
    const double density_; // screen pixels per pixel of the 96 dpi design
    QString caption_ = "Sound Setup";
    QWidget* form_; // the controls, in the middle of a window widened for its title

    QLabel* Labelpattern;
    QLineEdit* EditNumPattern;
    QLabel* LabelMesure;
    QLineEdit* EditMesure;
    QToolButton* SpeedButtonBackPattern;
    QToolButton* SpeedButtonForwardPattern;
    QLabel* LabelVolume;
    QLineEdit* EditVol;
    QSlider* TrackBarVol;
    QRadioButton* RadioButtonVolMax;
    QRadioButton* RadioButtonVolMid;
    QRadioButton* RadioButtonVolMin;
    QLabel* LabelPitch;
    QLineEdit* EditPitch;
    QSlider* TrackBarPitch;
    QRadioButton* RadioButtonPitchmax;
    QRadioButton* RadioButtonPitchNorm;
    QRadioButton* RadioButtonPitchMin;
    QPushButton* ButtonFile;
    QToolButton* ButtonTestSound;
    QLabel* Labelchannel;
    QComboBox* ComboBoxCanal;
    QPushButton* ButtonChanelPlus;
    QPushButton* ButtonChanelMoins;
    QLabel* LabelPan;
    QLineEdit* EditPan;
    QSlider* TrackBarPan;
    QRadioButton* RadioButtonPanLeft;
    QRadioButton* RadioButtonPanCenter;
    QRadioButton* RadioButtonPanRight;
    QPushButton* ButtonClose;
    std::array<QRadioButton*, 9> presets_;
};

} // namespace qx375
