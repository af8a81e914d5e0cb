#include "display/group_box_style.h"

#include <QPainter>
#include <QStyleOptionComplex>

namespace qx375 {
namespace {

// Pixels between the frame and what lies inside it, and before the title.
constexpr int kMargin = 2;
constexpr int kTitleIndent = 6;

int title_height(const QStyleOptionGroupBox& box) {
    return box.text.isEmpty() ? 0 : box.fontMetrics.height();
}

} // namespace

QRect GroupBoxStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                    SubControl part, const QWidget* widget) const {
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || box == nullptr || (box->subControls & SC_GroupBoxCheckBox) != 0) {
        return QProxyStyle::subControlRect(control, option, part, widget);
    }
    const QRect all = option->rect;
    const int title = title_height(*box);
    switch (part) {
    case SC_GroupBoxFrame:
        return all.adjusted(0, title / 2, 0, 0);
    case SC_GroupBoxContents:
        return all.adjusted(kMargin, std::max(title, kMargin), -kMargin, -kMargin);
    case SC_GroupBoxLabel: {
        const int width = std::min(box->fontMetrics.horizontalAdvance(box->text) + 4,
                                   all.width() - 2 * kTitleIndent);
        return {all.left() + kTitleIndent, all.top(), std::max(width, 0), title};
    }
    default:
        return QProxyStyle::subControlRect(control, option, part, widget);
    }
}

// The frame first, then the title over a patch of the box's own background
// that cuts the frame's top line.
void GroupBoxStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                       QPainter* painter, const QWidget* widget) const {
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || box == nullptr || box->text.isEmpty() ||
        (box->subControls & SC_GroupBoxCheckBox) != 0) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    QStyleOptionGroupBox frame_only = *box;
    frame_only.subControls &= ~SC_GroupBoxLabel;
    QProxyStyle::drawComplexControl(control, &frame_only, painter, widget);
    const QRect title = subControlRect(control, option, SC_GroupBoxLabel, widget);
    painter->fillRect(title, box->palette.window());
    drawItemText(painter, title, Qt::TextShowMnemonic | Qt::AlignHCenter | Qt::AlignVCenter,
                 box->palette, (box->state & State_Enabled) != 0, box->text, QPalette::WindowText);
}

// Drawn here, as the style beneath would move the line a title's height down
// again.
void GroupBoxStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
    if (element != PE_FrameGroupBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(option->palette.color(QPalette::Window).darker(150));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    painter->restore();
}

} // namespace qx375
