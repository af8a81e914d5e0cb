#include "app/tmain.h"

#include "dialogs/controls.h"
#include "display/affichage.h"
#include "util/ini_file.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace qx375 {
namespace {

constexpr std::array<int, kColumns> kCellLeft = {331, 361, 390, 420, 447, 476, 508, 538,
                                                 569, 597, 626, 657, 684, 715, 745, 773,
                                                 801, 832, 860, 890, 921, 950, 980, 1010};
constexpr std::array<int, kColumns> kHiHatLeft = {318, 347, 377, 406, 436, 465, 495, 524,
                                                  554, 583, 613, 642, 671, 700, 730, 759,
                                                  789, 818, 848, 878, 907, 937, 966, 996};
constexpr std::array<int, kColumns> kLabelLeft = {324, 353, 383, 412, 442, 471, 500, 529,
                                                  559, 588, 618, 647, 677, 706, 736, 766,
                                                  795, 825, 853, 882, 912, 942, 971, 1001};
constexpr std::array<int, kLastRow - kFirstRow + 1> kRowTop = {209, 238, 267, 297, 326, 356, 385,
                                                               415, 443, 473, 500, 529, 558, 587};
constexpr std::array<const char*, kColumns> kStepLabelNames = {
    "Label2",  "Label3",  "Label5",  "Label6",  "Label7",  "Label9",  "Label10", "Label11",
    "Label12", "Label13", "Label14", "Label15", "Label16", "Label17", "Label18", "Label19",
    "Label20", "Label21", "Label22", "Label23", "Label24", "Label25", "Label26", "Label27"};
constexpr std::array<const char*, kSounds> kSampleCaptions = {
    "CLHH 1", "OPHH2", "Snare", "B.Drum", "HT ",  "MT",   "LT",   "Rim",
    "S 9",    "S 10",  "S 11",  "S 12",   "S 13", "S 14", "S 15", "S 16"};
constexpr std::array<int, kSounds> kSoundRowTop = {21,  46,  97,  126, 156, 186, 215, 245,
                                                   273, 302, 331, 359, 388, 417, 446, 474};

// The window's outer size in the design, and that of its form.
constexpr int kOuterWidth = 1071;
constexpr int kOuterHeight = 705;
constexpr int kFormWidth = 1063;
constexpr int kFormHeight = 650;

// Borders and a title bar, in screen pixels.
const QSize kLeastFrame(8, 32);

const QColor kWindowColour(204, 255, 255);
const QColor kPanelColour(0, 206, 206);

QGroupBox* group(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* box = make<QGroupBox>(parent, name, place);
    box->setTitle(caption);
    return box;
}

QLabel* label(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* l = make<QLabel>(parent, name, place);
    l->setText(caption);
    return l;
}

QFont font_of(std::initializer_list<QString> families, int pixels, bool bold = false,
              bool italic = false) {
    QFont font;
    font.setFamilies(QStringList(families));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

} // namespace

// The form is drawn at 120 pixels per inch; its design coordinates reach the
// screen at the desktop's logical DPI / 120 (0.8 of their size at 96 dpi).
int Tmain::px(int design) const {
    return to_screen(design, density_);
}

// Edges rather than sizes are rounded, so that controls that meet in the
// design meet on the screen, whatever the DPI.
QRect Tmain::design(int left, int top, int width, int height) const {
    return QRect(QPoint(px(left), px(top)), QPoint(px(left + width) - 1, px(top + height) - 1));
}

Tmain::Tmain(matrice& song, DirectSound& sound, AudioOutput& output, WaveRecorder& recorder,
             Prompts& prompts)
    : song_(song), sound_(sound), output_(output),
      density_(density_factor(QGuiApplication::primaryScreen()->logicalDotsPerInch())),
      MediaPlayer1(recorder), prompts_(prompts),
      TimerZicmu(output.clock(), output.rate(), output.render_lead_frames(),
                 [this] { guarded([&] { TimerZicmuTimer(); }); }),
      device_watch_(output, prompts, texts),
      midi_learn_(
          output, [this](const QString& text) { say(text); }, texts,
          [this](const MidiLearn& learned) {
              IniFile ini(program_file("qx375.ini"));
              learned.write(ini);
              ini.save();
          }),
      sync_(output, TimerZicmu, sync_link_, texts) {
    setObjectName("main");
    auto* form = new QWidget(this);
    form->setObjectName("form");
    paint(form, kWindowColour);
    setCentralWidget(form);
    build_menus();
    // The form keeps the client size of the design: its outer size less the
    // frame, the caption and the menu bar, which sits above it here.
    setFixedSize(px(kFormWidth), px(kFormHeight) + menuBar()->sizeHint().height());

    EditFileName =
        make<QLineEdit>(form, "EditFileName", design(15, 15, 300, 24), "Select a drumkit project");
    EditFileName->setReadOnly(true);
    Label4 = label(form, "Label4", "Pulsomat 375 A  ", design(430, 0, 631, 64));
    Label4->setFont(font_of({"Mekanik LET", "URW Gothic", "DejaVu Sans"}, px(60), true, true));
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label4->setStyleSheet("color: red; background: transparent;");

    build_action_groups();
    build_navigation_groups();
    build_sounds_group();
    build_grid();

    SpeedButtonHelp = speed_button(form, "SpeedButtonHelp", design(53, 583, 37, 38), "About QX375",
                                   QStyle::SP_MessageBoxQuestion);
    BitBtnQuitter = button(form, "BitBtnQuitter", "Exit", design(6, 583, 46, 38), "Exit qx375");

    TimerZicmu.setInterval(97);
    export_done_.setInterval(20);
    export_ring_.setInterval(20);
    connect_handlers();
    show_title();
    setAcceptDrops(true);

    // On a screen smaller than the window, every control shrinks with it. The
    // factors compare the screen with the window's outer size, its frame and
    // caption included; what is left for the window inside them is what it
    // may take.
    const QSize area = screen()->availableGeometry().size();
    const QSize outer = size() + window_frame();
    const ScaleFactors factors = screen_factors(area, outer);
    scale_window(*this, factors.fx, factors.fy, area - (outer - size()));
    progress_scale_ = density_ / density_factor(96) * factors.fx;
}

// What a window manager adds around the window: the design's frame and
// caption, and no less than a common desktop's.
QSize Tmain::window_frame() const {
    return QSize(px(kOuterWidth), px(kOuterHeight)).expandedTo(size() + kLeastFrame) - size();
}

void Tmain::attach(TAboutBox& about, TFormSetup& setup, TFormLangues& langues) {
    AboutBox = &about;
    FormSetup = &setup;
    FormLangues = &langues;
}

void Tmain::build_menus() {
    auto menu = [this](const char* name, const char* caption) {
        QMenu* m = menuBar()->addMenu(caption);
        m->setObjectName(name);
        return m;
    };
    auto item = [](QMenu* m, const char* name, const char* caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    QMenu* file = menu("Fichier", "&File");
    Nouveau1 = item(file, "Nouveau1", "&New");
    Ouvrir = item(file, "Ouvrir", "&Open");
    Enregistrer = item(file, "Enregistrer", "&Save");
    SauverSous = item(file, "SauverSous", "&Save as...");
    Export1 = item(file, "Export1", "&Export");
    ExportTail1 = item(file, "ExportTail1", "Let the sounds ring out after an export");
    ExportMidi1 = item(file, "ExportMidi1", "Export MIDI...");
    OpenKit1 = item(file, "OpenKit1", "Open kit...");
    ExportTail1->setCheckable(true);
    file->addSeparator();
    for (int i = 0; i < kRecentFiles; ++i) {
        const std::string n = std::to_string(i + 1);
        recent_items[i] = item(file, ("fichier" + n).c_str(), n.c_str());
        recent_items[i]->setVisible(false);
    }
    file->addSeparator();
    Quitter1 = item(file, "Quitter1", "&Exit");
    QMenu* edit = menu("Edition", "&Edit");
    build_edit_items(*edit);
    Copier1 = item(edit, "Copier1", "&Copy pattern");
    Coller1 = item(edit, "Coller1", "&Paste pattern");
    Effacer1 = item(edit, "Effacer1", "&Clear pattern");
    QMenu* special = menu("special", "special");
    Langues1 = item(special, "Langues1", "Language");
    SoundOutput1 = item(special, "SoundOutput1", "Sound output...");
    MidiLearn1 = item(special, "MidiLearn1", "MIDI learn");
    sync_.build_menu(*special);
    QMenu* help = menu("Aide", "&?");
    Aide1 = item(help, "Aide1", "&Help");
    Apropos1 = item(help, "Apropos1", "&A propos");
}

void Tmain::build_action_groups() {
    QWidget* form = centralWidget();
    GroupBoxAction = group(form, "GroupBoxAction", "Action", design(12, 53, 78, 285));
    CheckBoxBeat =
        make<QCheckBox>(GroupBoxAction, "CheckBoxBeat", design(10, 22, 60, 17), "Start / Stop");
    CheckBoxBeat->setText("ON ");
    Label1 = label(GroupBoxAction, "Label1", "BPM", design(10, 46, 40, 16));
    EditBPM = make<QLineEdit>(GroupBoxAction, "EditBPM", design(10, 62, 56, 24), "Music tempo");
    EditBPM->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,4}"), EditBPM));
    TrackBarBPM = make<QSlider>(GroupBoxAction, "TrackBarBPM", design(22, 94, 32, 184),
                                "Select music tempo (bpm)");
    TrackBarBPM->setOrientation(Qt::Vertical);
    // The minimum, the fastest tempo, at the top; keys move the handle the way
    // their arrows point, as the mouse wheel does.
    TrackBarBPM->setInvertedAppearance(true);
    TrackBarBPM->setInvertedControls(true);
    TrackBarBPM->setRange(40, 400);
    TrackBarBPM->setValue(100);

    GroupBoxVolume = group(form, "GroupBoxVolume", "Volume", design(12, 338, 79, 245));
    GroupBoxVolume->setToolTip("Export the song to a stereo wave file");
    TrackBarVolume = make<QSlider>(GroupBoxVolume, "TrackBarVolume", design(23, 21, 24, 107),
                                   "Output volume control");
    TrackBarVolume->setOrientation(Qt::Vertical);
    TrackBarVolume->setInvertedAppearance(true);
    TrackBarVolume->setInvertedControls(true);
    TrackBarVolume->setRange(0, 65535);
    SpeedButtonExport =
        speed_button(GroupBoxVolume, "SpeedButtonExport", design(5, 129, 57, 53),
                     "Export the project to a wave file", QStyle::SP_DialogSaveButton);
    // Down for as long as an export records.
    SpeedButtonExport->setCheckable(true);
    BitBtnAction =
        button(GroupBoxVolume, "BitBtnAction", "", design(5, 183, 57, 53), "Start / Stop");
    BitBtnAction->setIconSize(QSize(px(40), px(40)));
}

void Tmain::build_navigation_groups() {
    QWidget* form = centralWidget();
    GroupBoxStep = group(form, "GroupBoxStep", "Step", design(91, 53, 227, 57));
    LabelStep = label(GroupBoxStep, "LabelStep", "Step #", design(8, 26, 44, 16));
    EditStep = make<QLineEdit>(GroupBoxStep, "EditStep", design(56, 22, 36, 24), "Step");
    limit_typing(EditStep, 2);
    EditStep->setText("0");
    SpeedButtonStepZero = speed_button(GroupBoxStep, "SpeedButtonStepZero", design(110, 20, 30, 28),
                                       "Pattern begin", QStyle::SP_MediaSkipBackward);
    SpeedButtonPreviousStep =
        speed_button(GroupBoxStep, "SpeedButtonPreviousStep", design(145, 20, 30, 28),
                     "previous step", QStyle::SP_MediaSeekBackward);
    SpeedButtonNextStep = speed_button(GroupBoxStep, "SpeedButtonNextStep", design(180, 20, 30, 28),
                                       "Next step", QStyle::SP_MediaSeekForward);

    GroupBoxSong = group(form, "GroupBoxSong", "Song", design(91, 111, 101, 182));
    RadioGroupPlay = new RadioGroup("Play", {"Pattern", "Song"}, GroupBoxSong);
    RadioGroupPlay->setObjectName("RadioGroupPlay");
    RadioGroupPlay->setGeometry(design(6, 21, 89, 62));
    RadioGroupPlay->setToolTip("Plays the song or the pattern");
    RadioGroupPlay->set_item_index(0);
    CheckBoxLoop = make<QCheckBox>(GroupBoxSong, "CheckBoxLoop", design(10, 86, 80, 17),
                                   "Play pattern or song looped");
    CheckBoxLoop->setText("Loop");
    LabelMesure = label(GroupBoxSong, "LabelMesure", "Measure #", design(8, 105, 88, 16));
    EditNumMesure = make<QLineEdit>(GroupBoxSong, "EditNumMesure", design(8, 122, 56, 24),
                                    "Measure number in song mode");
    EditNumMesure->setText("0");
    EditNumMesure->setStyleSheet("background: rgb(0, 128, 255); color: yellow;");
    SpeedButtonBeginSong =
        speed_button(GroupBoxSong, "SpeedButtonBeginSong", design(6, 150, 28, 28),
                     "Retun to the song begin", QStyle::SP_MediaSkipBackward);
    SpeedButtonBackPattern =
        speed_button(GroupBoxSong, "SpeedButtonBackPattern", design(36, 150, 28, 28),
                     "previous measure", QStyle::SP_ArrowLeft);
    SpeedButtonForwardPattern =
        speed_button(GroupBoxSong, "SpeedButtonForwardPattern", design(66, 150, 28, 28),
                     "next measure", QStyle::SP_ArrowRight);

    GroupBoxPattern = group(form, "GroupBoxPattern", "Pattern", design(91, 293, 101, 338));
    LabelPattern = label(GroupBoxPattern, "LabelPattern", "Pattern #", design(8, 20, 80, 13));
    EditNumPattern = make<QLineEdit>(GroupBoxPattern, "EditNumPattern", design(8, 34, 50, 26),
                                     "Pattern number at his mesure");
    limit_typing(EditNumPattern, 3);
    EditNumPattern->setText("0");
    ButtonPatternPlus =
        button(GroupBoxPattern, "ButtonPatternPlus", "+", design(60, 34, 18, 13), "Pattern +");
    ButtonPatternMoins =
        button(GroupBoxPattern, "ButtonPatternMoins", "-", design(60, 47, 18, 13), "Pattern -");
    for (int digit = 0; digit <= 9; ++digit) {
        const int slot = digit == 0 ? 9 : digit - 1; // 1 2 3 / 4 5 6 / 7 8 9 / 0
        const std::string name = "Button" + std::to_string(digit);
        const std::string caption = std::to_string(digit);
        keypad[digit] =
            button(GroupBoxPattern, name.c_str(), caption.c_str(),
                   design(8 + 29 * (slot % 3), 64 + 20 * (slot / 3), 27, 18), "Select a pattern");
    }
    ButtonEndSong = button(GroupBoxPattern, "ButtonEndSong", "End", design(37, 124, 43, 17),
                           "Select a pattern");
    RadioGroup2432 = new RadioGroup("Size", {"14", "15", "16", "20", "21", "24 "}, GroupBoxPattern);
    RadioGroup2432->setObjectName("RadioGroup2432");
    RadioGroup2432->setGeometry(design(18, 148, 60, 122));
    RadioGroup2432->setToolTip("Sets the size in beats of the pattern");
    BitBtnCopier = button(GroupBoxPattern, "BitBtnCopier", "Copy pattern", design(6, 272, 89, 20),
                          "Sets the viewable pattern in a temporary memory");
    BitBtnColler = button(GroupBoxPattern, "BitBtnColler", "Paste Pattern", design(6, 293, 89, 20),
                          "Paste a copied pattern");
    BitBtnClear = button(GroupBoxPattern, "BitBtnClear", "Clear Pattern", design(6, 314, 89, 20),
                         "erase the viewable pattern");
}

void Tmain::build_sounds_group() {
    GroupBoxSon = group(centralWidget(), "GroupBoxSon", "Sounds", design(192, 110, 124, 521));
    paint(GroupBoxSon, kPanelColour);
    const QFont caption_font =
        font_of({"Sydnie", "Nimbus Sans Narrow", "DejaVu Sans Condensed"}, px(15));
    for (int k = 0; k < kSounds; ++k) {
        const int top = kSoundRowTop[k];
        const std::string n = std::to_string(k + 1);
        sample_buttons[k] = button(GroupBoxSon, ("ButtonF" + n).c_str(), kSampleCaptions[k],
                                   design(6, top, 50, 25), "Select wave file");
        sample_buttons[k]->setFont(caption_font);
        mix_buttons[k] =
            speed_button(GroupBoxSon, ("MixButton" + n).c_str(), design(59, top, 25, 25),
                         "Sound Setup", QStyle::SP_FileDialogDetailedView);
        play_buttons[k] = speed_button(GroupBoxSon, ("SpeedButton" + n).c_str(),
                                       design(89, top, 24, 25), "Play Sound", QStyle::SP_MediaPlay);
    }
    Label8 = label(GroupBoxSon, "Label8", "OFF", design(6, 74, 50, 20));
    Label8->setFont(caption_font);
}

void Tmain::build_grid() {
    QWidget* form = centralWidget();
    ImagePattern = make<QLabel>(form, "ImagePattern", design(319, 201, 716, 430),
                                "Each checked point Play a beat");
    ImagePattern->setScaledContents(true);
    on_first_show(ImagePattern, [this] { ImagePattern->setPixmap(QPixmap("grille.bmp")); });
    ImagePattern->lower();

    ProgressTime = make<QProgressBar>(form, "ProgressTime", design(321, 66, 740, 21));
    ProgressTime->setRange(0, 32);
    ProgressTime->setValue(0);
    ProgressTime->setTextVisible(false);

    PlayingColumn = make<QFrame>(form, "PlayingColumn", QRect());
    PlayingColumn->setAttribute(Qt::WA_TransparentForMouseEvents);
    PlayingColumn->setStyleSheet(
        "background: rgba(255, 255, 255, 48); border: 2px solid rgba(255, 140, 0, 220);");
    PlayingColumn->hide();

    const QFont step_font = font_of({"MS Sans Serif", "Nimbus Sans", "DejaVu Sans"}, px(17), true);
    for (int s = 1; s <= kColumns; ++s) {
        QLabel* l = label(form, kStepLabelNames[s - 1], std::to_string(s).c_str(),
                          design(kLabelLeft[s - 1], 89, 22, 19));
        l->setFont(step_font);

        const int width = s < kColumns ? kHiHatLeft[s] - kHiHatLeft[s - 1] : 34;
        auto* hihat = new RadioGroup("", {"", "", ""}, form);
        hihat->setObjectName(QString("RadioGroup%1").arg(s));
        // Edge to edge with the next column's, whatever the rounding.
        const int left = px(kHiHatLeft[s - 1]);
        hihat->setGeometry(left, px(110), px(kHiHatLeft[s - 1] + width) - left, px(92));
        // Level with the closed hi-hat, open hi-hat and "OFF" lines of the
        // Sounds group, which name the three choices.
        hihat->set_item_rows(px(kSoundRowTop[0] - 2), px(kSoundRowTop[1] - kSoundRowTop[0] - 1));
        paint(hihat, kPanelColour);
        hihat_groups[s - 1] = hihat;

        for (int r = kFirstRow; r <= kLastRow; ++r) {
            const std::string name = "CheckBox" + std::to_string(s) + "_" + std::to_string(r);
            cells[s - 1][r - kFirstRow] = make<QCheckBox>(
                form, name.c_str(), design(kCellLeft[s - 1], kRowTop[r - kFirstRow], 17, 17),
                " pattern Beat on  / off");
        }
    }
}

void Tmain::connect_handlers() {
    auto on = [this](auto* sender, auto signal, auto handler) {
        connect(sender, signal, this, [this, handler] { guarded(handler); });
    };
    for (int s = 1; s <= kColumns; ++s) {
        hihat_groups[s - 1]->on_click = [this, s] { guarded([&] { RadioGroupClick(s); }); };
        for (int r = kFirstRow; r <= kLastRow; ++r) {
            on(cells[s - 1][r - kFirstRow], &QCheckBox::toggled,
               [this, s, r] { CheckBoxClick(s, r); });
        }
    }
    RadioGroup2432->on_click = [this] { guarded([&] { RadioGroup2432Click(); }); };
    RadioGroupPlay->on_click = [this] { guarded([&] { RadioGroupPlayClick(); }); };

    tempo_position_ = TrackBarBPM->value();
    connect(TrackBarBPM, &QSlider::sliderPressed, this, [this] { ++tempo_gestures_; });
    on(TrackBarBPM, &QSlider::valueChanged, [this] { TrackBarBPMChange(); });
    on(EditBPM, &QLineEdit::returnPressed, [this] { EditBPMEnter(); });
    on(EditBPM, &QLineEdit::editingFinished, [this] { show_tempo(); });
    EditBPM->installEventFilter(this);
    on(CheckBoxBeat, &QCheckBox::toggled, [this] { CheckBoxBeatClick(); });
    on(BitBtnAction, &QPushButton::clicked, [this] { BitBtnActionClick(); });
    on(CheckBoxLoop, &QCheckBox::toggled, [this] { CheckBoxLoopClick(); });

    on(EditNumPattern, &QLineEdit::textChanged, [this] { EditNumPatternChange(); });
    on(EditStep, &QLineEdit::textChanged, [this] { EditNumPatternChange(); });
    EditNumPattern->installEventFilter(this);
    for (int digit = 0; digit <= 9; ++digit) {
        on(keypad[digit], &QPushButton::clicked, [this, digit] { ButtonPClick(digit); });
    }
    on(ButtonPatternPlus, &QPushButton::clicked, [this] { ButtonPatternPlusClick(); });
    on(ButtonPatternMoins, &QPushButton::clicked, [this] { ButtonPatternMoinsClick(); });
    on(ButtonEndSong, &QPushButton::clicked, [this] { ButtonEndSongClick(); });
    on(SpeedButtonBeginSong, &QToolButton::clicked, [this] { SpeedButtonBeginSongClick(); });
    on(SpeedButtonBackPattern, &QToolButton::clicked, [this] { SpeedButtonBackPatternClick(); });
    on(SpeedButtonForwardPattern, &QToolButton::clicked,
       [this] { SpeedButtonForwardPatternClick(); });
    on(SpeedButtonNextStep, &QToolButton::clicked, [this] { SpeedButtonNextStepClick(); });
    on(SpeedButtonPreviousStep, &QToolButton::clicked, [this] { SpeedButtonPreviousStepClick(); });
    on(SpeedButtonStepZero, &QToolButton::clicked, [this] { SpeedButtonStepZeroClick(); });

    on(BitBtnCopier, &QPushButton::clicked, [this] { BitBtnCopierClick(); });
    on(BitBtnColler, &QPushButton::clicked, [this] { BitBtnCollerClick(); });
    on(BitBtnClear, &QPushButton::clicked, [this] { BitBtnClearClick(); });
    on(Nouveau1, &QAction::triggered, [this] { Nouveau1Click(); });
    on(Ouvrir, &QAction::triggered, [this] { OuvrirClick(); });
    on(Enregistrer, &QAction::triggered, [this] { EnregistrerClick(); });
    on(SauverSous, &QAction::triggered, [this] { SauverSousClick(); });
    for (int i = 0; i < kRecentFiles; ++i) {
        on(recent_items[i], &QAction::triggered, [this, i] { fichierClick(i); });
    }
    on(Export1, &QAction::triggered, [this] { Export1Click(); });
    on(OpenKit1, &QAction::triggered, [this] { OpenKit1Click(); });
    on(ExportMidi1, &QAction::triggered, [this] { ExportMidi1Click(); });
    on(&export_ring_, &QTimer::timeout, [this] { ring_out(); });
    on(&export_done_, &QTimer::timeout, [this] {
        if (const std::optional<RecorderResult> outcome = MediaPlayer1.take_outcome()) {
            export_finished(*outcome);
        }
    });
    on(SpeedButtonExport, &QToolButton::clicked, [this] { SpeedButtonExportClick(); });
    on(Quitter1, &QAction::triggered, [this] { BitBtnQuitterClick(); });
    on(BitBtnQuitter, &QPushButton::clicked, [this] { BitBtnQuitterClick(); });
    on(Apropos1, &QAction::triggered, [this] { Apropos1Click(); });
    on(Aide1, &QAction::triggered, [this] { Aide1Click(); });
    on(SpeedButtonHelp, &QToolButton::clicked, [this] { Aide1Click(); });
    on(Langues1, &QAction::triggered, [this] { Langues1Click(); });
    on(SoundOutput1, &QAction::triggered, [this] { SoundOutput1Click(); });
    midi_learn_.follow(*MidiLearn1);
    on(Undo1, &QAction::triggered, [this] { Undo1Click(); });
    on(Redo1, &QAction::triggered, [this] { Redo1Click(); });
    on(EditFileName, &QLineEdit::textChanged, [this] { show_title(); });
    build_shortcuts();
    on(Copier1, &QAction::triggered, [this] { BitBtnCopierClick(); });
    on(Coller1, &QAction::triggered, [this] { BitBtnCollerClick(); });
    on(Effacer1, &QAction::triggered, [this] { BitBtnClearClick(); });
    for (int k = 0; k < kSounds; ++k) {
        on(sample_buttons[k], &QPushButton::clicked, [this, k] { takesound_at_chanel(k); });
        on(mix_buttons[k], &QToolButton::clicked, [this, k] { MixButtonClick(k); });
        on(play_buttons[k], &QToolButton::clicked, [this, k] {
            if (!midi_learn_.sound_chosen(k)) {
                song_.play_sound(k);
            }
        });
    }
    sample_buttons[0]->setContextMenuPolicy(Qt::CustomContextMenu);
    on(sample_buttons[0], &QWidget::customContextMenuRequested, [this] { ButtonF1ContextPopup(); });
    on(TrackBarVolume, &QSlider::valueChanged, [this] { TrackBarVolumeChange(); });

    // Enter anywhere in the window presses the start/stop button, the form's
    // default button; it never reaches the pattern box.
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this,
                [this] { guarded([&] { BitBtnActionClick(); }); });
    }
}

} // namespace qx375
