// Draws the pictures installed beside the program: the start and stop glyphs
// of the transport button and the background of the step grid.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

class Picture {
public:
    Picture(int width, int height, Rgb fill)
        : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height), fill) {}

    void set(int x, int y, Rgb c) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) {
            pixels_[static_cast<std::size_t>(y * width_ + x)] = c;
        }
    }

    void rect(int x0, int y0, int x1, int y1, Rgb c) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                set(x, y, c);
            }
        }
    }

    // Every pixel whose centre passes the test takes the colour.
    template <typename Inside>
    void shape(Rgb c, Inside inside) {
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                if (inside(x + 0.5, y + 0.5)) {
                    set(x, y, c);
                }
            }
        }
    }

    // 24-bit uncompressed BMP, bottom-up rows padded to four bytes.
    bool save(const std::string& path) const {
        const int row = (width_ * 3 + 3) & ~3;
        const std::uint32_t data = static_cast<std::uint32_t>(row * height_);
        std::vector<std::uint8_t> out;
        auto put = [&](std::uint32_t v, int n) {
            for (int i = 0; i < n; ++i) {
                out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
            }
        };
        out.push_back('B');
        out.push_back('M');
        put(54 + data, 4);
        put(0, 4);
        put(54, 4);
        put(40, 4);
        put(static_cast<std::uint32_t>(width_), 4);
        put(static_cast<std::uint32_t>(height_), 4);
        put(1, 2);
        put(24, 2);
        put(0, 4);
        put(data, 4);
        put(3780, 4);
        put(3780, 4);
        put(0, 4);
        put(0, 4);
        for (int y = height_ - 1; y >= 0; --y) {
            for (int x = 0; x < width_; ++x) {
                const Rgb c = pixels_[static_cast<std::size_t>(y * width_ + x)];
                out.insert(out.end(), {c.b, c.g, c.r});
            }
            out.resize(out.size() + static_cast<std::size_t>(row - width_ * 3), 0);
        }
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(out.data()),
                   static_cast<std::streamsize>(out.size()));
        return static_cast<bool>(file);
    }

private:
    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

constexpr Rgb kFace{212, 208, 200};
constexpr Rgb kShadow{128, 128, 128};

Picture start_glyph() {
    Picture p(32, 32, kFace);
    p.shape(kShadow, [](double x, double y) {
        return x >= 10 && x - 10 <= 1.0 * (y - 5) && x - 10 <= 1.0 * (27 - y);
    });
    p.shape(Rgb{0, 160, 0}, [](double x, double y) {
        return x >= 9 && x - 9 <= 0.95 * (y - 4) && x - 9 <= 0.95 * (26 - y);
    });
    return p;
}

Picture stop_glyph() {
    Picture p(32, 32, kFace);
    p.rect(9, 9, 26, 26, kShadow);
    p.rect(8, 8, 24, 24, Rgb{200, 0, 0});
    return p;
}

// The grid background in design coordinates, stretched over the step grid:
// a band per beat of four steps, a line between steps and between sounds.
Picture grid_background() {
    constexpr int kLeft = 319;
    constexpr int kTop = 201;
    constexpr std::array<int, 24> columns = {331, 361, 390, 420, 447, 476, 508, 538,
                                             569, 597, 626, 657, 684, 715, 745, 773,
                                             801, 832, 860, 890, 921, 950, 980, 1010};
    constexpr std::array<int, 14> rows = {209, 238, 267, 297, 326, 356, 385,
                                          415, 443, 473, 500, 529, 558, 587};
    Picture p(716, 430, Rgb{230, 250, 250});
    for (int s = 0; s < 24; s += 8) {
        const int x0 = s == 0 ? 0 : (columns[s - 1] + 17 + columns[s]) / 2 - kLeft;
        const int x1 = (columns[s + 3] + 17 + columns[s + 4]) / 2 - kLeft;
        p.rect(x0, 0, x1, 430, Rgb{200, 235, 240});
    }
    for (int s = 1; s < 24; ++s) {
        const int x = (columns[s - 1] + 17 + columns[s]) / 2 - kLeft;
        p.rect(x, 0, x + 1, 430, s % 4 == 0 ? Rgb{0, 110, 130} : Rgb{150, 200, 205});
    }
    for (int r = 1; r < 14; ++r) {
        const int y = (rows[r - 1] + 17 + rows[r]) / 2 - kTop;
        p.rect(0, y, 716, y + 1, Rgb{150, 200, 205});
    }
    return p;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen <program directory>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = start_glyph().save(dir + "/go2.bmp") && stop_glyph().save(dir + "/stop2.bmp") &&
                    grid_background().save(dir + "/grille.bmp");
    if (!ok) {
        std::fprintf(stderr, "artgen: cannot write the pictures into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
