// Draws the program's icon: a step grid in the window's cyan with a few hits
// lit in red, as PNG files at the sizes an icon theme asks for and as SVG.
//   icongen OUT_DIR SIZE...
// writes OUT_DIR/<SIZE>x<SIZE>/apps/qx375.png for each size and
// OUT_DIR/scalable/apps/qx375.svg.
#include "display/program_icon.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qx375::IconBox;

bool write_png(const fs::path& path, int size) {
    return qx375::program_icon(size).save(QString::fromStdString(path.string()), "PNG");
}

bool write_svg(const fs::path& path) {
    std::ofstream out(path);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << qx375::kIconUnits
        << "\" height=\"" << qx375::kIconUnits << "\" viewBox=\"0 0 " << qx375::kIconUnits << ' '
        << qx375::kIconUnits << "\">\n";
    for (const IconBox& b : qx375::program_icon_boxes()) {
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
