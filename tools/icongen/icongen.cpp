// Draws the program's icon: a step grid in the window's cyan with a few hits
// lit in red, as PNG files at the sizes an icon theme asks for and as SVG.
//   icongen OUT_DIR SIZE...
// writes OUT_DIR/<SIZE>x<SIZE>/apps/qx375.png for each size and
// OUT_DIR/scalable/apps/qx375.svg.
#include <QColor>
#include <QImage>
#include <QPainter>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The icon is laid out on a square of this many units.
constexpr double kUnits = 32;

struct Box {
    double x0, y0, x1, y1, radius;
    QColor colour;
};

// A rounded body with a dark rim, and four sounds by four steps.
std::vector<Box> picture() {
    const QColor rim(0, 110, 130);
    const QColor panel(0, 206, 206);
    const QColor cell(204, 255, 255);
    const QColor hit(200, 0, 0);
    constexpr std::array<const char*, 4> beat = {"X.X.", "..X.", ".X.X", "X..."};
    std::vector<Box> boxes = {{1, 1, 31, 31, 6, rim}, {3, 3, 29, 29, 4, panel}};
    for (int row = 0; row < 4; ++row) {
        for (int step = 0; step < 4; ++step) {
            const double x = 5 + 6 * step;
            const double y = 5 + 6 * row;
            boxes.push_back({x, y, x + 4, y + 4, 1, beat[row][step] == 'X' ? hit : cell});
        }
    }
    return boxes;
}

// Edges fall on whole pixels, rounded away from the centre when a unit ends
// half-way through a pixel, so that the small sizes stay sharp and the
// picture stays symmetric.
double snap(double units, int size) {
    const double centre = size / 2.0;
    const double at = units * size / kUnits - centre;
    return centre + (at >= 0 ? std::floor(at + 0.5) : -std::floor(0.5 - at));
}

bool write_png(const fs::path& path, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const Box& b : picture()) {
        painter.setBrush(b.colour);
        const QRectF rect(QPointF(snap(b.x0, size), snap(b.y0, size)),
                          QPointF(snap(b.x1, size), snap(b.y1, size)));
        // A corner rounded by less than a pixel would only blur a small cell.
        const double radius = b.radius * size / kUnits >= 1 ? b.radius * size / kUnits : 0;
        painter.drawRoundedRect(rect, radius, radius);
    }
    painter.end();
    return image.save(QString::fromStdString(path.string()), "PNG");
}

bool write_svg(const fs::path& path) {
    std::ofstream out(path);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kUnits << "\" height=\""
        << kUnits << "\" viewBox=\"0 0 " << kUnits << ' ' << kUnits << "\">\n";
    for (const Box& b : picture()) {
        out << "  <rect x=\"" << b.x0 << "\" y=\"" << b.y0 << "\" width=\"" << b.x1 - b.x0
            << "\" height=\"" << b.y1 - b.y0 << "\" rx=\"" << b.radius << "\" fill=\""
            << b.colour.name().toStdString() << "\"/>\n";
    }
    out << "</svg>\n";
    return static_cast<bool>(out);
}

std::optional<int> parse_size(const std::string& text) {
    std::size_t used = 0;
    try {
        const int size = std::stoi(text, &used);
        if (used == text.size() && size >= 16 && size <= 1024) {
            return size;
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

bool make_folder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    return fs::is_directory(folder, error);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) {
        const std::optional<int> size = parse_size(argv[i]);
        if (!size) {
            std::fprintf(stderr, "icongen: not a size from 16 to 1024: %s\n", argv[i]);
            return 2;
        }
        sizes.push_back(*size);
    }
    if (sizes.empty()) {
        std::fprintf(stderr, "usage: icongen OUT_DIR SIZE...\n");
        return 2;
    }
    const fs::path out = argv[1];
    for (int size : sizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const fs::path folder = out / name / "apps";
        if (!make_folder(folder) || !write_png(folder / "qx375.png", size)) {
            std::fprintf(stderr, "icongen: cannot write the %s icon into %s\n", name.c_str(),
                         folder.c_str());
            return 1;
        }
    }
    const fs::path folder = out / "scalable" / "apps";
    if (!make_folder(folder) || !write_svg(folder / "qx375.svg")) {
        std::fprintf(stderr, "icongen: cannot write the scalable icon into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
