#pragma once

#include <QProxyStyle>

namespace qx375 {

// Group boxes as the window's layout was drawn for: the title stands on the
// frame's top line, which stops short of it, and the controls begin just
// below the title. The style Qt draws with otherwise puts the title above
// the frame, and the controls a title's height lower than the layout places
// them.
class GroupBoxStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override;
    // The frame itself, a thin line round the frame's rectangle.
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
};

} // namespace qx375
