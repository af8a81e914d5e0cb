// The windows as they are laid out on the screen the test runs on: ctest
// runs this program on desktops at 96, 120 and 144 dpi and on small screens
// (tests/app/screens). Whatever the screen, nothing the user reads is cut,
// covered or run off the screen.
#include "ui_rig.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QMainWindow>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionGroupBox>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

// What a window manager adds around a window: borders and a title bar.
const QSize kFrame(8, 32);

std::string name_of(const QWidget* w) {
    return w->objectName().toStdString() + " (" + w->metaObject()->className() + ")";
}

QString shown_text(const QWidget* w) {
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        text = label->pixmap().isNull() ? label->text() : QString();
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        text = button->text();
    }
    return text.replace("&&", "\x01").remove('&').replace("\x01", "&");
}

// The room a control's style leaves for its text.
QRect text_room(const QWidget* w) {
    const QStyle* style = w->style();
    if (const auto* box = qobject_cast<const QCheckBox*>(w)) {
        QStyleOptionButton option;
        option.initFrom(box);
        return style->subElementRect(QStyle::SE_CheckBoxContents, &option, w);
    }
    if (const auto* radio = qobject_cast<const QRadioButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        return style->subElementRect(QStyle::SE_RadioButtonContents, &option, w);
    }
    if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        return style->subElementRect(QStyle::SE_PushButtonContents, &option, w);
    }
    return w->rect();
}

// Where the controls of a group box may go: inside its frame, below its
// title.
QRect contents_of(const QGroupBox* group) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (!group->title().isEmpty()) {
        option.subControls |= QStyle::SC_GroupBoxLabel;
    }
    return group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents,
                                          group);
}

// Every visible control of `window` reads whole: its text fits it, it lies
// within the group box that holds it, and it covers none of its neighbours.
// On a screen smaller than the window, whose controls shrink by one factor
// across and another down, and whose fonts shrink to whole points, only the
// places are checked.
void expect_readable(const QWidget& window, const std::set<QString>& backgrounds,
                     bool shrunk = false) {
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window) || w->isWindow() || w->objectName().startsWith("qt_")) {
            continue;
        }
        const QString text = shown_text(w);
        if (!text.isEmpty() && !shrunk) {
            const QFontMetrics metrics(w->font());
            const QRect room = text_room(w);
            EXPECT_LE(metrics.horizontalAdvance(text), room.width())
                << name_of(w) << " \"" << text.toStdString() << "\" is cut";
            EXPECT_LE(metrics.tightBoundingRect(text).height(), room.height())
                << name_of(w) << " is too low for its text";
        }
        if (const auto* group = qobject_cast<const QGroupBox*>(w->parentWidget())) {
            const QRect room = contents_of(group).adjusted(-1, -1, 1, 1);
            EXPECT_TRUE(room.contains(w->geometry()))
                << name_of(w) << " crosses the frame or the title of " << name_of(group) << ": "
                << w->geometry().top() << ".." << w->geometry().bottom() << " in " << room.top()
                << ".." << room.bottom();
        }
        const QWidget* parent = w->parentWidget();
        // A main window lays out its menu bar and form itself.
        if (backgrounds.contains(w->objectName()) || qobject_cast<const QMainWindow*>(parent)) {
            continue;
        }
        for (const QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != w && other->isVisibleTo(&window) && !other->isWindow() &&
                !backgrounds.contains(other->objectName()) && other < w) {
                EXPECT_FALSE(other->geometry().intersects(w->geometry()))
                    << name_of(w) << " and " << name_of(other) << " overlap";
            }
        }
    }
}

void expect_on_the_screen(const QWidget& window) {
    const QSize room = window.screen()->availableGeometry().size();
    EXPECT_LE(window.width() + kFrame.width(), room.width()) << name_of(&window);
    EXPECT_LE(window.height() + kFrame.height(), room.height()) << name_of(&window);
}

// The main window's design, the frame included, is larger than this screen.
bool shrunk(const QWidget& window) {
    const double density = window.logicalDpiY() / 120.0;
    const QSize room = window.screen()->availableGeometry().size();
    return 1071 * density > room.width() || 705 * density > room.height();
}

// The windows drawn as the program draws them.
struct ProgramLook {
    ProgramLook() { use_program_look(); }
};

// Shown, so that the controls that lay out their own parts have done so.
class LayoutTest : public ::testing::Test, public ProgramLook, public UiRig {
protected:
    LayoutTest() {
        window.show();
        setup.show();
        QCoreApplication::processEvents();
    }
};

TEST_F(LayoutTest, TheMainWindowFitsItsScreenAndEveryControlReadsWhole) {
    SCOPED_TRACE(window.screen()->name().toStdString());
    window.RadioGroup2432Click(); // every column of the largest size shown
    expect_on_the_screen(window);
    // The background picture lies under the grid on purpose.
    expect_readable(window, {"ImagePattern"}, shrunk(window));
}

TEST_F(LayoutTest, TheSoundSetupFitsItsScreenAndEveryControlReadsWhole) {
    SCOPED_TRACE(window.screen()->name().toStdString());
    expect_on_the_screen(setup);
    expect_readable(setup, {});
}

TEST_F(LayoutTest, TheHelpWindowKeepsToItsScreen) {
    help.show();
    expect_on_the_screen(help);
}

TEST_F(LayoutTest, TheFrenchTextsReadWholeToo) {
    std::filesystem::copy_file(std::filesystem::path(QX375_DATA_DIR) / "langues/francais/qx375.lng",
                               dir.path() / "qx375.lng");
    window.read_language_file();
    window.RadioGroup2432Click();
    expect_readable(window, {"ImagePattern"}, shrunk(window));
    expect_readable(setup, {}, shrunk(window));
}

} // namespace
} // namespace qx375::test
