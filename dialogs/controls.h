#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QStyle>

#include <functional>

class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace qx375 {

// The controls the windows are built of, made the same way in each: named
// as the tests and the language file find them, placed, with their hint.
template <typename W>
W* make(QWidget* parent, const char* name, QRect place, const QString& hint = {}) {
    auto* w = new W(parent);
    w->setObjectName(name);
    w->setGeometry(place);
    if (!hint.isEmpty()) {
        w->setToolTip(hint);
    }
    return w;
}

// A push button that a click does not take the focus to, so that Enter
// still reaches the window's own handling, and that is never a dialog's
// default.
QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect place,
                    const QString& hint = {});

// Runs `action` as the widget is first shown, before its window is painted:
// what only a window on the screen needs is never made for one that is not.
void on_first_show(QWidget* widget, std::function<void()> action);

// A flat picture button, its glyph the style's, decoded when it is first shown.
QToolButton* speed_button(QWidget* parent, const char* name, QRect place, const QString& hint,
                          QStyle::StandardPixmap glyph);

// Fills the widget's background with the colour.
void paint(QWidget* w, const QColor& colour);

// Shows a text in a box only when it differs from what the box shows: Qt
// throws away the selection, the cursor and the undo history even when the
// text set is the one already there.
void show_text(QLineEdit* box, const QString& text);

// The user types at most `length` characters into the box; a text the
// program shows there, such as a long End caption, is never cut (Qt's own
// length limit would cut both).
void limit_typing(QLineEdit* box, int length);

} // namespace qx375
