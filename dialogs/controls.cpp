#include "dialogs/controls.h"

#include <QApplication>
#include <QIconEngine>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>

namespace qx375 {
namespace {

// A glyph of the style, decoded the first time it is drawn: a window that is
// never shown, as the renderer's, never decodes the style's pictures.
class StyleGlyph : public QIconEngine {
public:
    explicit StyleGlyph(QStyle::StandardPixmap glyph) : glyph_(glyph) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    QIconEngine* clone() const override { return new StyleGlyph(glyph_); }

private:
    const QIcon& icon() {
        if (icon_.isNull()) {
            icon_ = QApplication::style()->standardIcon(glyph_);
        }
        return icon_;
    }

    QStyle::StandardPixmap glyph_;
    QIcon icon_;
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
    b->setIcon(QIcon(new StyleGlyph(glyph)));
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
