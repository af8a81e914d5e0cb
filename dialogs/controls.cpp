#include "dialogs/controls.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>

namespace qx375 {

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect place,
                    const QString& hint) {
    auto* b = make<QPushButton>(parent, name, place, hint);
    b->setText(caption);
    b->setFocusPolicy(Qt::TabFocus);
    b->setAutoDefault(false);
    return b;
}

QToolButton* speed_button(QWidget* parent, const char* name, QRect place, const QString& hint,
                          QStyle::StandardPixmap glyph) {
    auto* b = make<QToolButton>(parent, name, place, hint);
    b->setIcon(parent->style()->standardIcon(glyph));
    b->setAutoRaise(true);
    return b;
}

void paint(QWidget* w, const QColor& colour) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, colour);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
}

void show_text(QLineEdit* box, const QString& text) {
    if (box->text() != text) {
        box->setText(text);
    }
}

void limit_typing(QLineEdit* box, int length) {
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QString(".{0,%1}").arg(length)), box));
}

} // namespace qx375
