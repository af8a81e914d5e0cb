#include "dialogs/controls.h"

#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>

#include <utility>

namespace qx375 {
namespace {

// Runs an action as the widget is first shown, before its window is painted
// or runs its own show handlers.
class OnFirstShow : public QObject {
public:
    OnFirstShow(QWidget* widget, std::function<void()> action)
        : QObject(widget), action_(std::move(action)) {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            action_();
        }
        return false;
    }

private:
    std::function<void()> action_;
};

} // namespace

void on_first_show(QWidget* widget, std::function<void()> action) {
    new OnFirstShow(widget, std::move(action));
}

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
    // A window that is never shown, as the renderer's, never decodes the
    // style's pictures, which were a good part of its start.
    on_first_show(b, [b, glyph] { b->setIcon(b->style()->standardIcon(glyph)); });
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
