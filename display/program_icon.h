#pragma once

#include <QColor>
#include <QImage>

#include <vector>

namespace qx375 {

// The program's icon: a step grid in the window's cyan with a few hits lit
// in red, drawn on a square of kIconUnits units. The windows show it, and
// icongen draws it for the desktop's icon theme.
inline constexpr double kIconUnits = 32;

// One rounded box of the picture, in units, painted in order.
struct IconBox {
    double x0, y0, x1, y1, radius;
    QColor colour;
};

std::vector<IconBox> program_icon_boxes();

// The picture at `size` pixels square, its edges on whole pixels so that
// the small sizes stay sharp.
QImage program_icon(int size);

} // namespace qx375
