#include "dialogs/soundset.h"

#include "dialogs/controls.h"

#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace qx375 {
namespace {

constexpr int kChannels = kStartupSounds; // the list names sounds 0..11 only
constexpr int kDesignWidth = 199;
constexpr int kDesignHeight = 386;
// What a title bar takes beside its caption: the icon, the buttons, margins.
constexpr int kTitleBarButtons = 90;
// What a window manager adds around the dialog: its borders and title bar.
constexpr QSize kFrame{8, 32};

const QColor kDialogColour(4, 115, 181);

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

// A box that shows a value; typing a number and Enter sets it.
QLineEdit* field(QWidget* parent, const char* name, QRect place, const char* hint) {
    auto* f = make<QLineEdit>(parent, name, place, hint);
    f->setValidator(new QRegularExpressionValidator(QRegularExpression("-?[0-9]{0,6}"), f));
    return f;
}

// A box that only shows.
QLineEdit* display_field(QWidget* parent, const char* name, QRect place, const char* hint) {
    auto* f = make<QLineEdit>(parent, name, place, hint);
    f->setReadOnly(true);
    return f;
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

// The dialog is drawn at 96 pixels per inch and grows with the desktop's
// DPI, as its fonts do.
double dpi_density(const QWidget& dialog) {
    return dialog.logicalDpiY() > 0 ? dialog.logicalDpiY() / 96.0 : 1.0;
}

// Screen pixels per pixel of the design: as the DPI has it, or less on a
// screen too small for the dialog and the frame a window manager adds.
double screen_density(const QWidget& dialog) {
    const double dpi = dpi_density(dialog);
    const QScreen* screen = dialog.screen();
    if (screen == nullptr) {
        return dpi;
    }
    const QSize area = screen->availableGeometry().size();
    const double fit = std::min({1.0, (area.width() - kFrame.width()) / (kDesignWidth * dpi),
                                 (area.height() - kFrame.height()) / (kDesignHeight * dpi)});
    return fit > 0 ? dpi * fit : dpi;
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
    : QDialog(parent), song_(song), sound_(sound), notifier_(notifier), host_(host),
      density_(screen_density(*this)), form_(new QWidget(this)) {
    setObjectName("FormSetup");
    if (density_ < dpi_density(*this)) {
        QFont smaller = font();
        smaller.setPointSizeF(smaller.pointSizeF() * density_ / dpi_density(*this));
        setFont(smaller);
    }
    paint(this, kDialogColour);
    form_->setObjectName("form");
    form_->resize(px(kDesignWidth), px(kDesignHeight));
    build_controls();
    connect_handlers();
    set_caption(caption_);
}

int TFormSetup::px(int design) const {
    return static_cast<int>(std::lround(design * density_));
}

// Edges rather than sizes are rounded, so that controls that meet in the
// design meet on the screen.
QRect TFormSetup::design(int left, int top, int width, int height) const {
    return QRect(QPoint(px(left), px(top)), QPoint(px(left + width) - 1, px(top + height) - 1));
}

// A window manager cuts a caption that does not fit the title bar: the
// dialog widens to hold it with a sound's name, its controls staying in the
// middle.
void TFormSetup::set_caption(const QString& caption) {
    caption_ = caption;
    QFont title_font = font();
    title_font.setBold(true);
    const int needed =
        QFontMetrics(title_font).horizontalAdvance(caption_ + " - B.Drum") + px(kTitleBarButtons);
    const int width = std::max(form_->width(), needed);
    setFixedSize(width, form_->height());
    form_->move((width - form_->width()) / 2, 0);
    show_title();
}

// The caption, the sound and the file it plays.
void TFormSetup::show_title() {
    const QString file =
        QFileInfo(QString::fromStdString(song_.get_sample_file(sound_index_))).fileName();
    QString title = caption_ + " - " + host_.sound_name(sound_index_);
    if (!file.isEmpty()) {
        title += " (" + file + ")";
    }
    setWindowTitle(title);
}

void TFormSetup::build_controls() {
    Labelpattern = label(form_, "Labelpattern", "Pattern #", design(6, 6, 62, 16), "aqua");
    EditNumPattern =
        display_field(form_, "EditNumPattern", design(6, 24, 40, 22), "Pattern as this step");
    EditNumPattern->setText("0");
    QFont bold = EditNumPattern->font();
    bold.setBold(true);
    EditNumPattern->setFont(bold);
    EditNumPattern->setStyleSheet("background: aqua; color: navy;");
    LabelMesure = label(form_, "LabelMesure", "Measure #", design(80, 6, 76, 16), "white");
    EditMesure =
        display_field(form_, "EditMesure", design(80, 24, 48, 22), "Measure number in song mode");
    EditMesure->setText("0");
    EditMesure->setFont(bold);
    EditMesure->setStyleSheet("background: rgb(0, 128, 255); color: yellow;");
    SpeedButtonBackPattern = speed_button(form_, "SpeedButtonBackPattern", design(80, 49, 24, 22),
                                          "previous measure", QStyle::SP_ArrowLeft);
    SpeedButtonForwardPattern =
        speed_button(form_, "SpeedButtonForwardPattern", design(104, 49, 24, 22), "next measure",
                     QStyle::SP_ArrowRight);

    LabelVolume = label(form_, "LabelVolume", "Volume", design(6, 80, 52, 16), "yellow");
    EditVol = field(form_, "EditVol", design(6, 98, 46, 22), "Volume of the sound");
    TrackBarVol =
        vertical_slider(form_, "TrackBarVol", design(6, 126, 24, 150), "Change the sound volume");
    TrackBarVol->setRange(0, 10000);
    TrackBarVol->setPageStep(1);
    RadioButtonVolMax = preset_button(form_, "RadioButtonVolMax", design(32, 126, 18, 18),
                                      "Maximize instrument's volume");
    RadioButtonVolMid = preset_button(form_, "RadioButtonVolMid", design(32, 192, 18, 18),
                                      "Sets the instrument's volume to average");
    RadioButtonVolMin = preset_button(form_, "RadioButtonVolMin", design(32, 258, 18, 18),
                                      "Minimize instrument's volume");

    LabelPitch = label(form_, "LabelPitch", "Pitch", design(144, 80, 50, 16), "yellow");
    EditPitch = field(form_, "EditPitch", design(144, 98, 50, 22), "Pitch of the sound");
    TrackBarPitch = vertical_slider(form_, "TrackBarPitch", design(144, 126, 24, 150),
                                    "Change the pitch of the sound");
    TrackBarPitch->setRange(10, 10000);
    TrackBarPitch->setValue(100);
    TrackBarPitch->setTickInterval(5);
    TrackBarPitch->setTickPosition(QSlider::TicksRight);
    RadioButtonPitchmax = preset_button(form_, "RadioButtonPitchmax", design(170, 126, 18, 18),
                                        "Sets the pitch to the highest");
    RadioButtonPitchNorm = preset_button(form_, "RadioButtonPitchNorm", design(170, 192, 18, 18),
                                         "Sets the pitch to the original sampling rate");
    RadioButtonPitchMin = preset_button(form_, "RadioButtonPitchMin", design(170, 258, 18, 18),
                                        "Sets pitch to the lowest");

    ButtonFile =
        button(form_, "ButtonFile", "WaveFile", design(60, 80, 78, 26), "Select sound wav file");
    ButtonTestSound = speed_button(form_, "ButtonTestSound", design(60, 110, 78, 26), "Play sound",
                                   QStyle::SP_MediaPlay);
    Labelchannel = label(form_, "Labelchannel", "Channel", design(60, 146, 78, 16), "yellow");
    ComboBoxCanal =
        make<QComboBox>(form_, "ComboBoxCanal", design(60, 164, 54, 26), "Select a channel");
    QFont list_font = ComboBoxCanal->font();
    list_font.setPixelSize(px(16));
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
    ButtonChanelPlus = button(form_, "ButtonChanelPlus", "+", design(116, 164, 22, 13),
                              "increments the channel #");
    ButtonChanelMoins = button(form_, "ButtonChanelMoins", "-", design(116, 177, 22, 13),
                               "decrements the channel #");
    LabelPan = label(form_, "LabelPan", "Pan", design(60, 206, 78, 16), "yellow");
    EditPan = field(form_, "EditPan", design(60, 224, 54, 22), "Pan of the sound");

    TrackBarPan =
        make<QSlider>(form_, "TrackBarPan", design(6, 288, 187, 24), "Change the pan of the sound");
    TrackBarPan->setOrientation(Qt::Horizontal);
    TrackBarPan->setRange(0, 20000);
    TrackBarPan->setValue(10000);
    RadioButtonPanLeft =
        preset_button(form_, "RadioButtonPanLeft", design(6, 314, 18, 18), "sets pan to the left");
    RadioButtonPanCenter =
        preset_button(form_, "RadioButtonPanCenter", design(91, 314, 18, 18), "sets pan to center");
    RadioButtonPanRight = preset_button(form_, "RadioButtonPanRight", design(175, 314, 18, 18),
                                        "sets pan to the right");

    ButtonClose =
        button(form_, "ButtonClose", "Cl&ose", design(60, 346, 78, 28), "Return to main program");

    presets_ = {RadioButtonVolMax,   RadioButtonVolMid,    RadioButtonVolMin,
                RadioButtonPanLeft,  RadioButtonPanCenter, RadioButtonPanRight,
                RadioButtonPitchmax, RadioButtonPitchNorm, RadioButtonPitchMin};
}

void TFormSetup::connect_handlers() {
    auto on = [this](auto* sender, auto signal, void (TFormSetup::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { run_guarded(notifier_, [&] { (this->*handler)(); }); });
    };
    for (QSlider* slider : {TrackBarVol, TrackBarPan, TrackBarPitch}) {
        connect(slider, &QSlider::sliderPressed, this, [this] { ++gestures_; });
    }
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
    on(EditVol, &QLineEdit::returnPressed, &TFormSetup::EditVolEnter);
    on(EditPan, &QLineEdit::returnPressed, &TFormSetup::EditPanEnter);
    on(EditPitch, &QLineEdit::returnPressed, &TFormSetup::EditPitchEnter);
    // Leaving a box without Enter shows its value again.
    for (QLineEdit* box : {EditVol, EditPan, EditPitch}) {
        connect(box, &QLineEdit::editingFinished, this,
                [this] { run_guarded(notifier_, [this] { refresh(); }); });
    }

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
    show_title();
    update();
}

// A move of the user's marks the song changed, whether it plays or not.
void TFormSetup::change(MixPart part, QSlider* slider, int value) {
    host_.set_mix(part, sound_index_, value, slider->isSliderDown() ? gestures_ : 0);
    host_.mark_modified();
    refresh();
}

void TFormSetup::TrackBarVolChange() {
    change(MixPart::volume, TrackBarVol, -TrackBarVol->value());
}

void TFormSetup::TrackBarPanChange() {
    change(MixPart::pan, TrackBarPan, TrackBarPan->value() - 10000);
}

void TFormSetup::TrackBarPitchChange() {
    change(MixPart::pitch, TrackBarPitch, TrackBarPitch->value() * 10);
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
// The sample's own rate, which the model keeps as 0.
void TFormSetup::RadioButtonPitchNormClick() {
    change(MixPart::pitch, TrackBarPitch, 0);
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
    if (host_.choose_sample(sound_index_)) {
        host_.mark_modified();
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

// A typed number goes through the slider, as a move of the user's would; a
// position beyond the slider's range goes to its nearest end. Anything that
// is no number, or a value the slider already shows, shows the value again.
void TFormSetup::typed(QLineEdit* box, QSlider* slider, long long (*position)(long long typed)) {
    bool number = false;
    const long long value = box->text().toLongLong(&number);
    const int wanted = static_cast<int>(std::clamp<long long>(
        number ? position(value) : slider->value(), slider->minimum(), slider->maximum()));
    if (wanted != slider->value()) {
        slider->setValue(wanted);
    }
    refresh();
}

void TFormSetup::EditVolEnter() {
    typed(EditVol, TrackBarVol, [](long long shown) { return 10000 - shown; });
}

void TFormSetup::EditPanEnter() {
    typed(EditPan, TrackBarPan, [](long long pan) { return pan + 10000; });
}

void TFormSetup::EditPitchEnter() {
    typed(EditPitch, TrackBarPitch, [](long long frequency) { return frequency / 10; });
}

void TFormSetup::ButtonCloseClick() {
    if (!host_.playing()) {
        host_.mark_modified();
    }
    accept();
}

} // namespace qx375
