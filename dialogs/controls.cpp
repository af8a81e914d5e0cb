#include "dialogs/controls.h"

#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>

namespace qx375 {
namespace {

// Gives a speed button its style glyph as the button is first shown, before
// its window is painted or runs its own show handlers. A window that is never
// shown, as the renderer's, never decodes the style's pictures, which were a
// good part of its start.
class GlyphOnShow : public QObject {
public:
    GlyphOnShow(QToolButton* button, QStyle::StandardPixmap glyph)
        : QObject(button), glyph_(glyph) {
        button->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            auto* button = static_cast<QToolButton*>(watched);
            button->removeEventFilter(this);
            button->setIcon(button->style()->standardIcon(glyph_));
        }
        return false;
    }

private:
    QStyle::StandardPixmap glyph_;
};

} // namespace

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
    new GlyphOnShow(b, glyph);
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
