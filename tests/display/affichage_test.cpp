#include "display/affichage.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <ostream>
#include <string>

// Readable failures.
void PrintTo(const QRect& r, std::ostream* out) {
    *out << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}

namespace qx375::test {
namespace {

// An 800 x 600 screen under the 1071 x 705 window.
constexpr double kFx800 = 792.0 / 1063.0;
constexpr double kFy600 = 592.0 / 697.0;

QFont points(double size) {
    QFont font("DejaVu Sans");
    font.setPointSizeF(size);
    return font;
}

QFont pixels(int size) {
    QFont font("DejaVu Sans");
    font.setPixelSize(size);
    return font;
}

TEST(ScreenFactors, LeaveTheFrameOutOfTheRatio) {
    struct Case {
        QSize screen;
        double fx;
        double fy;
    };
    for (const Case& c : {Case{{1600, 1000}, 1.0, 1.0}, Case{{1071, 705}, 1.0, 1.0},
                          Case{{800, 600}, kFx800, kFy600}, Case{{800, 1000}, kFx800, 1.0},
                          // No screen to speak of: nothing to take a ratio of.
                          Case{{0, 0}, 1.0, 1.0}, Case{{8, -1}, 1.0, 1.0}}) {
        SCOPED_TRACE(std::to_string(c.screen.width()) + "x" + std::to_string(c.screen.height()));
        const ScaleFactors f = screen_factors(c.screen, {1071, 705});
        EXPECT_DOUBLE_EQ(f.fx, c.fx);
        EXPECT_DOUBLE_EQ(f.fy, c.fy);
    }
    const ScaleFactors no_window = screen_factors({800, 600}, {8, 0});
    EXPECT_EQ(no_window.fx, 1.0);
    EXPECT_EQ(no_window.fy, 1.0);
}

// --- One control -----------------------------------------------------------

template <typename W>
QWidget* make(QWidget* parent) {
    return new W(parent);
}

QWidget* picture(QWidget* parent) {
    auto* label = new QLabel(parent);
    QPixmap pixmap(6, 6);
    pixmap.fill(Qt::white);
    label->setPixmap(pixmap);
    return label;
}

QWidget* radio_group(QWidget* parent) {
    auto* group = new QGroupBox(parent);
    mark_radio_group(*group);
    return group;
}

struct ControlCase {
    const char* name;
    QWidget* (*make)(QWidget*);
    bool font_scaled;
    int extra_width = 0;
};

void PrintTo(const ControlCase& c, std::ostream* out) {
    *out << c.name;
}

class ScaleControlTest : public ::testing::TestWithParam<ControlCase> {
protected:
    ScaleControlTest() : w(GetParam().make(&form)) {
        w->setGeometry(40, 50, 100, 30);
        w->setFont(points(10));
    }

    QWidget form;
    QWidget* w;
};

TEST_P(ScaleControlTest, FactorsOfOneChangeNothingButTheComboBoxWidth) {
    scale_control(w, 0, 1.0, 1.0);
    EXPECT_EQ(w->geometry(), QRect(40, 50, 100 + GetParam().extra_width, 30));
    EXPECT_EQ(w->font(), points(10));
}

TEST_P(ScaleControlTest, PlaceAndSizeFollowTheFactorsTruncated) {
    scale_control(w, 7, kFx800, kFy600);
    const int width = static_cast<int>((100 + GetParam().extra_width) * kFx800);
    EXPECT_EQ(w->geometry(), QRect(29, 42, width, 25));
}

TEST_P(ScaleControlTest, TextControlsLoseWholePoints) {
    scale_control(w, 0, 1.0, 0.99);
    EXPECT_EQ(w->font().pointSize(), GetParam().font_scaled ? 9 : 10);
}

INSTANTIATE_TEST_SUITE_P(Classes, ScaleControlTest,
                         ::testing::Values(ControlCase{"QPushButton", make<QPushButton>, true},
                                           ControlCase{"QLabel", make<QLabel>, true},
                                           ControlCase{"picture", picture, false},
                                           ControlCase{"QCheckBox", make<QCheckBox>, true},
                                           ControlCase{"QGroupBox", make<QGroupBox>, true},
                                           ControlCase{"QComboBox", make<QComboBox>, true, 6},
                                           ControlCase{"QLineEdit", make<QLineEdit>, true},
                                           ControlCase{"QToolButton", make<QToolButton>, true},
                                           ControlCase{"QRadioButton", make<QRadioButton>, true},
                                           ControlCase{"QProgressBar", make<QProgressBar>, false},
                                           ControlCase{"QSlider", make<QSlider>, false},
                                           ControlCase{"radio_group", radio_group, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScaleControl, AButtonOf100AtLeft40OnAn800PixelScreen) {
    QWidget form;
    QPushButton button(&form);
    button.setGeometry(40, 10, 100, 20);
    scale_control(&button, 0, kFx800, 1.0);
    EXPECT_EQ(button.x(), 29);
    EXPECT_EQ(button.width(), 74);
}

TEST(ScaleControl, FontsKeepTheirUnitAndNeverVanish) {
    struct Case {
        QFont font;
        double fy;
        QFont expected;
    };
    for (const Case& c :
         {Case{pixels(48), 0.99, pixels(47)}, Case{pixels(48), 0.5, pixels(24)},
          // A factor of 1 keeps a desktop font's fraction.
          Case{points(10.5), 1.0, points(10.5)}, Case{points(10.5), 0.99, points(10)},
          Case{points(10), 0.01, points(1)}, Case{pixels(12), 0.01, pixels(1)}}) {
        SCOPED_TRACE(c.font.toString().toStdString() + " at " + std::to_string(c.fy));
        QWidget form;
        QLabel label("Pulsomat", &form);
        label.setFont(c.font);
        scale_control(&label, 0, 1.0, c.fy);
        EXPECT_EQ(label.font(), c.expected);
    }
}

TEST(ScaleControl, LeavesWhatIsNotAControlAsItIs) {
    QWidget form;
    QWidget plain(&form);
    plain.setGeometry(40, 50, 100, 30);
    QMenu menu("&File", &form);
    QAction* action = menu.addAction("&Open");
    action->setFont(points(10));
    QTimer timer;
    timer.setInterval(97);
    for (QObject* component : std::initializer_list<QObject*>{&plain, &menu, action, &timer}) {
        scale_control(component, 0, 0.5, 0.5);
    }
    scale_control(nullptr, 0, 0.5, 0.5);
    EXPECT_EQ(plain.geometry(), QRect(40, 50, 100, 30));
    EXPECT_EQ(action->font(), points(10));
    EXPECT_EQ(timer.interval(), 97);
}

// --- The whole window -------------------------------------------------------

// A window in the manner of the main window: menus, a timer, controls on the
// form and in group boxes, a radio group of items, and a dialog of its own.
struct WindowRig {
    WindowRig() {
        QMenu* file = window.menuBar()->addMenu("&File");
        file->setObjectName("Fichier");
        file->addAction("&Open")->setObjectName("Open1");
        timer = new QTimer(&window);
        timer->setInterval(97);
        auto* form = new QWidget(&window);
        window.setCentralWidget(form);
        window.setFixedSize(850, 550);

        group = place(new QGroupBox("Song", form), {72, 88, 80, 147});
        label = place(new QLabel("Measure #", group), {6, 83, 70, 13});
        play = place(new QGroupBox("Play", group), {5, 14, 71, 50});
        mark_radio_group(*play);
        item = place(new QRadioButton("Pattern", play), {3, 32, 64, 14});
        button = place(new QPushButton("Exit", form), {40, 466, 100, 30});
        spin_box = place(new QSpinBox(form), {200, 20, 60, 24});
        combo_box = place(new QComboBox(form), {200, 60, 80, 24});
        combo_box->setEditable(true);
        dialog = new QDialog(&window);
        place(new QPushButton("OK", dialog), {40, 40, 100, 30});
    }

    template <typename W>
    static W* place(W* w, QRect where) {
        w->setGeometry(where);
        return w;
    }

    std::map<QWidget*, std::pair<QRect, QFont>> snapshot() const {
        std::map<QWidget*, std::pair<QRect, QFont>> all;
        for (QWidget* w : window.findChildren<QWidget*>()) {
            all[w] = {w->geometry(), w->font()};
        }
        return all;
    }

    QMainWindow window;
    QTimer* timer;
    QGroupBox* group;
    QLabel* label;
    QGroupBox* play;
    QRadioButton* item;
    QPushButton* button;
    QSpinBox* spin_box;
    QComboBox* combo_box;
    QDialog* dialog;
};

// No control sets a font of its own: all take the desktop's.
class ScaleWindowTest : public ::testing::Test, public WindowRig {
protected:
    static void SetUpTestSuite() {
        desktop_font = QApplication::font();
        QApplication::setFont(points(10));
    }
    static void TearDownTestSuite() { QApplication::setFont(desktop_font); }

    static inline QFont desktop_font;
};

TEST_F(ScaleWindowTest, FactorsOfOneOnALargeScreenChangeNothing) {
    auto expected = snapshot();
    expected[combo_box].first.setWidth(86); // its 6 pixels, whatever the factor
    scale_window(window, 1.0, 1.0, {1600, 1000});
    EXPECT_EQ(snapshot(), expected);
    EXPECT_EQ(window.size(), QSize(850, 550));
}

TEST_F(ScaleWindowTest, ReachesControlsWhateverTheirParent) {
    scale_window(window, 0.5, 0.5, {1600, 1000});
    EXPECT_EQ(group->geometry(), QRect(36, 44, 40, 73));
    EXPECT_EQ(label->geometry(), QRect(3, 41, 35, 6));
    EXPECT_EQ(play->geometry(), QRect(2, 7, 35, 25));
    EXPECT_EQ(item->geometry(), QRect(3, 32, 64, 14)) << "the group lays out its own items";
    EXPECT_EQ(button->geometry(), QRect(20, 233, 50, 15));
}

// Qt passes a group's font on to the controls inside it: they must not shrink
// once with the group and once more on their own, in whatever order they come.
// A radio group keeps its font, and so do the items it holds.
TEST_F(ScaleWindowTest, EachFontShrinksOnceAndTheRadioGroupKeepsItsOwn) {
    for (bool by_window : {true, false}) {
        WindowRig fresh;
        if (by_window) {
            scale_window(fresh.window, 1.0, 0.8, {1600, 1000});
        } else {
            for (QWidget* w :
                 std::initializer_list<QWidget*>{fresh.play, fresh.label, fresh.group}) {
                scale_control(w, 0, 1.0, 0.8);
            }
        }
        SCOPED_TRACE(by_window ? "by the window" : "inner controls first");
        EXPECT_EQ(fresh.group->font().pointSize(), 8);
        EXPECT_EQ(fresh.label->font().pointSize(), 8);
        EXPECT_EQ(fresh.play->font().pointSize(), 10);
        EXPECT_EQ(fresh.item->font().pointSize(), 10);
    }
}

TEST_F(ScaleWindowTest, MenusTimerDialogsAndTheInsidesOfControlsStayAsTheyAre) {
    auto* spin_edit = spin_box->findChild<QLineEdit*>("qt_spinbox_lineedit");
    ASSERT_NE(spin_edit, nullptr);
    const auto before = snapshot();
    scale_window(window, 0.5, 0.5, {1600, 1000});
    const auto after = snapshot();
    for (QWidget* w :
         std::initializer_list<QWidget*>{window.findChild<QWidget*>("Fichier"), spin_box, spin_edit,
                                         dialog, dialog->findChild<QWidget*>()}) {
        EXPECT_EQ(after.at(w), before.at(w)) << w->metaObject()->className();
    }
    // The combo box's edit box is the combo box's to lay out: it takes the
    // combo box's font and does not shrink once more on its own.
    EXPECT_EQ(combo_box->lineEdit()->font(), combo_box->font());
    EXPECT_EQ(window.findChild<QAction*>("Open1")->text(), "&Open");
    EXPECT_EQ(timer->interval(), 97);
}

TEST_F(ScaleWindowTest, AWindowLargerThanTheScreenIsBroughtWithinIt) {
    const ScaleFactors f = screen_factors({800, 570}, window.size());
    scale_window(window, f.fx, f.fy, {800, 570});
    EXPECT_EQ(window.size(), QSize(800, 550));
    EXPECT_EQ(window.minimumSize(), QSize(800, 550));
    EXPECT_EQ(window.maximumSize(), QSize(800, 550));
    EXPECT_EQ(button->width(), 94);
}

TEST(ScaleWindow, AResizableWindowIsLimitedOnlyWhenItDoesNotFit) {
    QWidget fits;
    fits.resize(800, 500);
    scale_window(fits, 1.0, 1.0, {1024, 740});
    EXPECT_EQ(fits.size(), QSize(800, 500));
    EXPECT_EQ(fits.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

    QWidget too_wide;
    too_wide.resize(1200, 700);
    scale_window(too_wide, 1.0, 1.0, {1024, 740});
    EXPECT_EQ(too_wide.size(), QSize(1024, 700));
    EXPECT_EQ(too_wide.maximumSize(), QSize(1024, 740));
}

// --- Density ----------------------------------------------------------------

TEST(Density, IsTheLogicalDpiOver120) {
    EXPECT_DOUBLE_EQ(density_factor(96), 0.8);
    EXPECT_DOUBLE_EQ(density_factor(120), 1.0);
    EXPECT_DOUBLE_EQ(density_factor(144), 1.2);
    // A screen that reports nothing usable counts as a standard one.
    for (double dpi : {0.0, -96.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        EXPECT_DOUBLE_EQ(density_factor(dpi), 0.8) << dpi;
    }
}

TEST(Density, At96DpiNothingMoves) {
    const double density = density_factor(96);
    for (int design = 0; design <= 1100; ++design) {
        ASSERT_EQ(to_screen(design, density), (design * 4 + 2) / 5) << design;
    }
}

TEST(Density, LargerDesktopsGoToTheNearestPixel) {
    EXPECT_EQ(to_screen(1063, density_factor(120)), 1063);
    EXPECT_EQ(to_screen(60, density_factor(144)), 72);
    EXPECT_EQ(to_screen(1063, density_factor(144)), 1276); // 1275.6
    EXPECT_EQ(to_screen(17, density_factor(144)), 20);     // 20.4
}

} // namespace
} // namespace qx375::test
