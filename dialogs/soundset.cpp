#include "dialogs/soundset.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace qx375 {
namespace {

constexpr int kChannels = 12; // the list names sounds 0..11 only

const QColor kDialogColour(4, 115, 181);

template <typename W>
W* make(QWidget* parent, const char* name, QRect place, const char* hint = nullptr) {
    auto* w = new W(parent);
    w->setObjectName(name);
    w->setGeometry(place);
    if (hint != nullptr) {
        w->setToolTip(hint);
    }
    return w;
}

QLabel* label(QWidget* parent, const char* name, const char* caption, QRect place,
              const char* colour) {
    auto* l = make<QLabel>(parent, name, place);
    l->setText(caption);
    QFont font = l->font();
    font.setBold(true);
    l->setFont(font);
    l->setStyleSheet(QString("color: %1;").arg(colour));
    return l;
}

// A field that only shows a number; typing into it changes nothing.
QLineEdit* field(QWidget* parent, const char* name, QRect place, const char* hint) {
    auto* f = make<QLineEdit>(parent, name, place, hint);
    f->setReadOnly(true);
    return f;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, QRect place,
                    const char* hint) {
    auto* b = make<QPushButton>(parent, name, place, hint);
    b->setText(caption);
    b->setAutoDefault(false);
    return b;
}

QToolButton* speed_button(QWidget* parent, const char* name, QRect place, const char* hint,
                          QStyle::StandardPixmap glyph) {
    auto* b = make<QToolButton>(parent, name, place, hint);
    b->setIcon(parent->style()->standardIcon(glyph));
    return b;
}

// The minimum at the top, and keys that move the handle the way their arrows
// point.
QSlider* vertical_slider(QWidget* parent, const char* name, QRect place, const char* hint) {
    auto* s = make<QSlider>(parent, name, place, hint);
    s->setOrientation(Qt::Vertical);
    s->setInvertedAppearance(true);
    s->setInvertedControls(true);
    return s;
}

// A preset: it never stays shown as chosen, so it needs no exclusive group.
QRadioButton* preset_button(QWidget* parent, const char* name, QRect place, const char* hint) {
    auto* b = make<QRadioButton>(parent, name, place, hint);
    b->setAutoExclusive(false);
    return b;
}

void show_text(QLineEdit* box, const QString& text) {
    if (box->text() != text) {
        box->setText(text);
    }
}

// Moves a slider without running its change handling; a position outside
// its range goes to the nearest end. Wide arithmetic keeps a hostile song's
// extreme values from overflowing.
void show_position(QSlider* slider, long long position) {
    const QSignalBlocker hold(slider);
    slider->setValue(
        static_cast<int>(std::clamp<long long>(position, slider->minimum(), slider->maximum())));
}

} // namespace

TFormSetup::TFormSetup(matrice& song, DirectSound& sound, Notifier& notifier, SetupHost& host,
                       QWidget* parent)
    : QDialog(parent), song_(song), sound_(sound), notifier_(notifier), host_(host) {
    setObjectName("FormSetup");
    setWindowTitle("Sound Setup");
    setFixedSize(199, 386);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kDialogColour);
    setPalette(palette);
    setAutoFillBackground(true);
    build_controls();
    connect_handlers();
}

void TFormSetup::build_controls() {
    Labelpattern = label(this, "Labelpattern", "Pattern #", {6, 6, 62, 16}, "aqua");
    EditNumPattern = field(this, "EditNumPattern", {6, 24, 40, 22}, "Pattern as this step");
    EditNumPattern->setText("0");
    QFont bold = EditNumPattern->font();
    bold.setBold(true);
    EditNumPattern->setFont(bold);
    EditNumPattern->setStyleSheet("background: aqua; color: navy;");
    LabelMesure = label(this, "LabelMesure", "Measure #", {80, 6, 76, 16}, "white");
    EditMesure = field(this, "EditMesure", {80, 24, 48, 22}, "Measure number in song mode");
    EditMesure->setText("0");
    EditMesure->setFont(bold);
    EditMesure->setStyleSheet("background: rgb(0, 128, 255); color: yellow;");
    SpeedButtonBackPattern = speed_button(this, "SpeedButtonBackPattern", {80, 49, 24, 22},
                                          "previous measure", QStyle::SP_ArrowLeft);
    SpeedButtonForwardPattern = speed_button(this, "SpeedButtonForwardPattern", {104, 49, 24, 22},
                                             "next measure", QStyle::SP_ArrowRight);

    LabelVolume = label(this, "LabelVolume", "Volume", {6, 80, 52, 16}, "yellow");
    EditVol = field(this, "EditVol", {6, 98, 46, 22}, "Volume of the sound");
    TrackBarVol =
        vertical_slider(this, "TrackBarVol", {6, 126, 24, 150}, "Change the sound volume");
    TrackBarVol->setRange(0, 10000);
    TrackBarVol->setPageStep(1);
    RadioButtonVolMax =
        preset_button(this, "RadioButtonVolMax", {32, 126, 18, 18}, "Maximize instrument's volume");
    RadioButtonVolMid = preset_button(this, "RadioButtonVolMid", {32, 192, 18, 18},
                                      "Sets the instrument's volume to average");
    RadioButtonVolMin =
        preset_button(this, "RadioButtonVolMin", {32, 258, 18, 18}, "Minimize instrument's volume");

    LabelPitch = label(this, "LabelPitch", "Pitch", {144, 80, 50, 16}, "yellow");
    EditPitch = field(this, "EditPitch", {144, 98, 50, 22}, "Pitch of the sound");
    TrackBarPitch = vertical_slider(this, "TrackBarPitch", {144, 126, 24, 150},
                                    "Change the pitch of the sound");
    TrackBarPitch->setRange(10, 10000);
    TrackBarPitch->setValue(100);
    TrackBarPitch->setTickInterval(5);
    RadioButtonPitchmax = preset_button(this, "RadioButtonPitchmax", {170, 126, 18, 18},
                                        "Sets the pitch to the highest");
    RadioButtonPitchNorm = preset_button(this, "RadioButtonPitchNorm", {170, 192, 18, 18},
                                         "Sets the pitch to the original sampling rate");
    RadioButtonPitchMin =
        preset_button(this, "RadioButtonPitchMin", {170, 258, 18, 18}, "Sets pitch to the lowest");

    ButtonFile = button(this, "ButtonFile", "WaveFile", {60, 80, 78, 26}, "Select sound wav file");
    ButtonTestSound = speed_button(this, "ButtonTestSound", {60, 110, 78, 26}, "Play sound",
                                   QStyle::SP_MediaPlay);
    Labelchannel = label(this, "Labelchannel", "Channel", {60, 146, 78, 16}, "yellow");
    ComboBoxCanal = make<QComboBox>(this, "ComboBoxCanal", {60, 164, 54, 26}, "Select a channel");
    QFont list_font = ComboBoxCanal->font();
    list_font.setPixelSize(16);
    list_font.setBold(true);
    ComboBoxCanal->setFont(list_font);
    QPalette list_palette = ComboBoxCanal->palette();
    list_palette.setColor(QPalette::ButtonText, QColor(Qt::darkBlue));
    list_palette.setColor(QPalette::Text, QColor(Qt::darkBlue));
    ComboBoxCanal->setPalette(list_palette);
    // Filled before any handler is connected: the first item added selects
    // itself.
    for (int entry = 1; entry <= kChannels; ++entry) {
        ComboBoxCanal->addItem(QString::number(entry));
    }
    ButtonChanelPlus =
        button(this, "ButtonChanelPlus", "+", {116, 164, 22, 13}, "increments the channel #");
    ButtonChanelMoins =
        button(this, "ButtonChanelMoins", "-", {116, 177, 22, 13}, "decrements the channel #");
    LabelPan = label(this, "LabelPan", "Pan", {60, 206, 78, 16}, "yellow");
    EditPan = field(this, "EditPan", {60, 224, 54, 22}, "Pan of the sound");

    TrackBarPan =
        make<QSlider>(this, "TrackBarPan", {6, 288, 187, 24}, "Change the pan of the sound");
    TrackBarPan->setOrientation(Qt::Horizontal);
    TrackBarPan->setRange(0, 20000);
    TrackBarPan->setValue(10000);
    RadioButtonPanLeft =
        preset_button(this, "RadioButtonPanLeft", {6, 314, 18, 18}, "sets pan to the left");
    RadioButtonPanCenter =
        preset_button(this, "RadioButtonPanCenter", {91, 314, 18, 18}, "sets pan to center");
    RadioButtonPanRight =
        preset_button(this, "RadioButtonPanRight", {175, 314, 18, 18}, "sets pan to the right");

    ButtonClose =
        button(this, "ButtonClose", "Cl&ose", {60, 346, 78, 28}, "Return to main program");

    presets_ = {RadioButtonVolMax,   RadioButtonVolMid,    RadioButtonVolMin,
                RadioButtonPanLeft,  RadioButtonPanCenter, RadioButtonPanRight,
                RadioButtonPitchmax, RadioButtonPitchNorm, RadioButtonPitchMin};
}

void TFormSetup::connect_handlers() {
    auto on = [this](auto* sender, auto signal, void (TFormSetup::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { run_guarded(notifier_, [&] { (this->*handler)(); }); });
    };
    on(TrackBarVol, &QSlider::valueChanged, &TFormSetup::TrackBarVolChange);
    on(TrackBarPan, &QSlider::valueChanged, &TFormSetup::TrackBarPanChange);
    on(TrackBarPitch, &QSlider::valueChanged, &TFormSetup::TrackBarPitchChange);
    on(ComboBoxCanal, &QComboBox::currentIndexChanged, &TFormSetup::ComboBoxCanalChange);
    on(ButtonChanelPlus, &QPushButton::clicked, &TFormSetup::ButtonChanelPlusClick);
    on(ButtonChanelMoins, &QPushButton::clicked, &TFormSetup::ButtonChanelMoinsClick);
    on(ButtonTestSound, &QToolButton::clicked, &TFormSetup::ButtonTestSoundClick);
    on(ButtonFile, &QPushButton::clicked, &TFormSetup::ButtonFileClick);
    on(SpeedButtonBackPattern, &QToolButton::clicked, &TFormSetup::SpeedButtonBackPatternClick);
    on(SpeedButtonForwardPattern, &QToolButton::clicked,
       &TFormSetup::SpeedButtonForwardPatternClick);
    on(ButtonClose, &QPushButton::clicked, &TFormSetup::ButtonCloseClick);

    // A preset acts when it becomes checked; refresh unchecks it again.
    const std::array<void (TFormSetup::*)(), 9> preset_handlers = {
        &TFormSetup::RadioButtonVolMaxClick,    &TFormSetup::RadioButtonVolMidClick,
        &TFormSetup::RadioButtonVolMinClick,    &TFormSetup::RadioButtonPanLeftClick,
        &TFormSetup::RadioButtonPanCenterClick, &TFormSetup::RadioButtonPanRightClick,
        &TFormSetup::RadioButtonPitchmaxClick,  &TFormSetup::RadioButtonPitchNormClick,
        &TFormSetup::RadioButtonPitchMinClick};
    for (std::size_t i = 0; i < presets_.size(); ++i) {
        const auto handler = preset_handlers[i];
        connect(presets_[i], &QRadioButton::toggled, this, [this, handler](bool checked) {
            if (checked) {
                run_guarded(notifier_, [&] { (this->*handler)(); });
            }
        });
    }
}

bool TFormSetup::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        run_guarded(notifier_, [this] { refresh(); });
    }
    return QDialog::event(event);
}

void TFormSetup::set_sound_index(int index) {
    if (index >= 0 && index < kSounds) {
        sound_index_ = index;
    }
}

void TFormSetup::refresh() {
    show_text(EditMesure, QString::number(song_.get_measure()));
    show_text(EditNumPattern, QString::number(host_.current_pattern()));
    {
        const QSignalBlocker hold(ComboBoxCanal);
        ComboBoxCanal->setCurrentIndex(sound_index_ < ComboBoxCanal->count() ? sound_index_ : -1);
    }
    const long long volume = song_.get_volume(sound_index_);
    show_position(TrackBarVol, -volume);
    show_text(EditVol, QString::number(volume + 10000));
    const long long pan = song_.get_pan(sound_index_);
    show_position(TrackBarPan, pan + 10000);
    show_text(EditPan, QString::number(pan));
    // 0 stands for the sample's own rate, shown as the output's.
    long long frequency = song_.get_frequency(sound_index_);
    if (frequency == 0) {
        frequency = sound_.output_rate();
    }
    show_position(TrackBarPitch, frequency / 10);
    show_text(EditPitch, QString::number(frequency));
    for (QRadioButton* b : presets_) {
        b->setChecked(false);
    }
    update();
}

// A move of the user's marks the song changed, whether it plays or not.
void TFormSetup::TrackBarVolChange() {
    song_.set_volume(sound_index_, -TrackBarVol->value());
    host_.mark_modified();
    refresh();
}

void TFormSetup::TrackBarPanChange() {
    song_.set_pan(sound_index_, TrackBarPan->value() - 10000);
    host_.mark_modified();
    refresh();
}

void TFormSetup::TrackBarPitchChange() {
    song_.set_frequency(sound_index_, TrackBarPitch->value() * 10);
    host_.mark_modified();
    refresh();
}

// A preset writes its value even when the slider already stands there.
void TFormSetup::preset(QSlider* slider, int position, void (TFormSetup::*change)()) {
    show_position(slider, position);
    (this->*change)();
}

void TFormSetup::RadioButtonVolMaxClick() {
    preset(TrackBarVol, 0, &TFormSetup::TrackBarVolChange);
}
void TFormSetup::RadioButtonVolMidClick() {
    preset(TrackBarVol, 5000, &TFormSetup::TrackBarVolChange);
}
void TFormSetup::RadioButtonVolMinClick() {
    preset(TrackBarVol, 10000, &TFormSetup::TrackBarVolChange);
}
void TFormSetup::RadioButtonPanLeftClick() {
    preset(TrackBarPan, 0, &TFormSetup::TrackBarPanChange);
}
void TFormSetup::RadioButtonPanCenterClick() {
    preset(TrackBarPan, 10000, &TFormSetup::TrackBarPanChange);
}
void TFormSetup::RadioButtonPanRightClick() {
    preset(TrackBarPan, 20000, &TFormSetup::TrackBarPanChange);
}
// The upper button sets the top of the slider, its lowest rate.
void TFormSetup::RadioButtonPitchmaxClick() {
    preset(TrackBarPitch, 0, &TFormSetup::TrackBarPitchChange);
}
void TFormSetup::RadioButtonPitchNormClick() {
    preset(TrackBarPitch, 5000, &TFormSetup::TrackBarPitchChange);
}
void TFormSetup::RadioButtonPitchMinClick() {
    preset(TrackBarPitch, 10000, &TFormSetup::TrackBarPitchChange);
}

void TFormSetup::ComboBoxCanalChange() {
    set_sound_index(ComboBoxCanal->currentIndex());
    refresh();
}

void TFormSetup::select_channel(int entry) {
    {
        const QSignalBlocker hold(ComboBoxCanal);
        ComboBoxCanal->setCurrentIndex(entry);
    }
    ComboBoxCanalChange();
}

// From a sound beyond the list (12..15) "+" goes to the first channel.
void TFormSetup::ButtonChanelPlusClick() {
    select_channel(std::min(ComboBoxCanal->currentIndex() + 1, ComboBoxCanal->count() - 1));
}

// From a sound beyond the list (12..15) "-" goes to the last channel, the
// nearest one below it.
void TFormSetup::ButtonChanelMoinsClick() {
    const int entry = ComboBoxCanal->currentIndex();
    select_channel(entry < 0 ? ComboBoxCanal->count() - 1 : std::max(entry - 1, 0));
}

void TFormSetup::ButtonTestSoundClick() {
    song_.play_sound(sound_index_);
}

void TFormSetup::ButtonFileClick() {
    const std::optional<std::string> name = host_.choose_sound_file();
    if (!name) {
        return;
    }
    if (song_.replace_sample(sound_index_, *name)) {
        host_.mark_modified();
    } else {
        notifier_.show_message("Cannot use the sound file \"" + *name +
                               "\": it cannot be read or is not a WAV file the sound device "
                               "can play.");
    }
    refresh();
}

void TFormSetup::SpeedButtonBackPatternClick() {
    host_.previous_measure();
    refresh();
}

void TFormSetup::SpeedButtonForwardPatternClick() {
    host_.next_measure();
    refresh();
}

void TFormSetup::ButtonCloseClick() {
    if (!host_.playing()) {
        host_.mark_modified();
    }
    accept();
}

} // namespace qx375
