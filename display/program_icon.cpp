#include "display/program_icon.h"

#include <QPainter>

#include <array>
#include <cmath>

namespace qx375 {
namespace {

// Edges fall on whole pixels, rounded away from the centre when a unit ends
// half-way through a pixel, so that the picture stays symmetric.
double snap(double units, int size) {
    const double centre = size / 2.0;
    const double at = units * size / kIconUnits - centre;
    return centre + (at >= 0 ? std::floor(at + 0.5) : -std::floor(0.5 - at));
}

} // namespace

// A rounded body with a dark rim, and four sounds by four steps.
std::vector<IconBox> program_icon_boxes() {
    const QColor rim(0, 110, 130);
    const QColor panel(0, 206, 206);
    const QColor cell(204, 255, 255);
    const QColor hit(200, 0, 0);
    constexpr std::array<const char*, 4> beat = {"X.X.", "..X.", ".X.X", "X..."};
    std::vector<IconBox> boxes = {{1, 1, 31, 31, 6, rim}, {3, 3, 29, 29, 4, panel}};
    for (int row = 0; row < 4; ++row) {
        for (int step = 0; step < 4; ++step) {
            const double x = 5 + 6 * step;
            const double y = 5 + 6 * row;
            boxes.push_back({x, y, x + 4, y + 4, 1, beat[row][step] == 'X' ? hit : cell});
        }
    }
    return boxes;
}

QImage program_icon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const IconBox& b : program_icon_boxes()) {
        painter.setBrush(b.colour);
        const QRectF rect(QPointF(snap(b.x0, size), snap(b.y0, size)),
                          QPointF(snap(b.x1, size), snap(b.y1, size)));
        // A corner rounded by less than a pixel would only blur a small cell.
        const double radius = b.radius * size / kIconUnits >= 1 ? b.radius * size / kIconUnits : 0;
        painter.drawRoundedRect(rect, radius, radius);
    }
    painter.end();
    return image;
}

} // namespace qx375
