#include <QColor>
#include <QFile>
#include <QImage>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace qx375 {
namespace {

namespace fs = std::filesystem;

const QColor kHit(200, 0, 0);
const QColor kCell(204, 255, 255);
const QColor kPanel(0, 206, 206);

// The exit status of icongen run with these arguments.
int run_icongen(const std::string& arguments) {
    const std::string command =
        std::string("\"") + ICONGEN_PATH + "\" " + arguments + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path draw(const std::string& name, const std::string& sizes) {
    const fs::path dir = fs::path(::testing::TempDir()) / name;
    fs::remove_all(dir);
    EXPECT_EQ(run_icongen("\"" + dir.string() + "\" " + sizes), 0);
    return dir;
}

QImage load(const fs::path& dir, int size) {
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    return QImage(QString::fromStdString((dir / name / "apps" / "qx375.png").string()));
}

// The grid has four sounds by four steps, each cell centred on 7 + 6k of the
// icon's 32 units.
QColor cell_colour(const QImage& image, int row, int step) {
    const double unit = image.width() / 32.0;
    return image.pixelColor(static_cast<int>((7 + 6 * step) * unit),
                            static_cast<int>((7 + 6 * row) * unit));
}

int count_hits(const QImage& image) {
    int hits = 0;
    for (int row = 0; row < 4; ++row) {
        for (int step = 0; step < 4; ++step) {
            hits += cell_colour(image, row, step) == kHit;
        }
    }
    return hits;
}

class IconSize : public ::testing::TestWithParam<int> {};

// A step grid with a few hits on a transparent ground, as wide on the left as
// on the right, with the panel showing between two neighbouring cells at every
// size, so that the small sizes do not blur into a block.
TEST_P(IconSize, ShowsAStepGridWithItsCellsApartOnATransparentGround) {
    const int size = GetParam();
    const QImage image = load(draw("icongen_" + std::to_string(size), std::to_string(size)), size);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), size);
    EXPECT_EQ(image.height(), size);
    EXPECT_TRUE(image.hasAlphaChannel());
    for (const auto& [x, y] :
         {std::pair{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}}) {
        EXPECT_LT(image.pixelColor(x, y).alpha(), 32) << "corner " << x << "," << y;
    }
    int cells = 0;
    for (int row = 0; row < 4; ++row) {
        for (int step = 0; step < 4; ++step) {
            cells += cell_colour(image, row, step) == kCell;
        }
    }
    const int hits = count_hits(image);
    EXPECT_EQ(hits + cells, 16) << "a cell of neither colour";
    EXPECT_GE(hits, 3);
    EXPECT_LE(hits, 8);

    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size / 2; ++x) {
            ASSERT_NEAR(image.pixelColor(x, y).alpha(), image.pixelColor(size - 1 - x, y).alpha(),
                        2)
                << "at " << x << "," << y;
        }
    }
    const double unit = size / 32.0;
    const int y = static_cast<int>(7 * unit);
    for (int gap = 0; gap < 3; ++gap) {
        bool panel = false;
        for (int x = static_cast<int>((9 + 6 * gap) * unit); x < (11 + 6 * gap) * unit; ++x) {
            panel = panel || image.pixelColor(x, y) == kPanel;
        }
        EXPECT_TRUE(panel) << "no panel between step " << gap << " and the next";
    }
}

INSTANTIATE_TEST_SUITE_P(ThemeSizes, IconSize, ::testing::Values(16, 32, 48, 64, 128, 256));

TEST(Icongen, WritesEverySizeAskedForAndTheScalableIcon) {
    const fs::path dir = draw("icongen_all", "16 24 256");
    for (int size : {16, 24, 256}) {
        EXPECT_EQ(load(dir, size).width(), size);
    }
    EXPECT_FALSE(fs::exists(dir / "32x32"));

    QFile file(QString::fromStdString((dir / "scalable" / "apps" / "qx375.svg").string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader svg(&file);
    ASSERT_TRUE(svg.readNextStartElement());
    EXPECT_EQ(svg.name(), QStringLiteral("svg"));
    EXPECT_EQ(svg.attributes().value("viewBox"), QStringLiteral("0 0 32 32"));
    int rects = 0;
    int hits = 0;
    while (svg.readNextStartElement()) {
        ASSERT_EQ(svg.name(), QStringLiteral("rect"));
        const QXmlStreamAttributes a = svg.attributes();
        EXPECT_GE(a.value("x").toDouble(), 0);
        EXPECT_LE(a.value("x").toDouble() + a.value("width").toDouble(), 32);
        EXPECT_LE(a.value("y").toDouble() + a.value("height").toDouble(), 32);
        hits += QColor(a.value("fill")) == kHit;
        ++rects;
        svg.skipCurrentElement();
    }
    EXPECT_FALSE(svg.hasError()) << svg.errorString().toStdString();
    EXPECT_EQ(rects, 2 + 16) << "the body, its panel and the cells";
    EXPECT_EQ(hits, count_hits(load(dir, 256))) << "not the hits of the PNG icons";
}

TEST(Icongen, RefusesBadArgumentsAndAFolderItCannotWrite) {
    const fs::path dir = fs::path(::testing::TempDir()) / "icongen_refused";
    fs::remove_all(dir);
    const std::string out = "\"" + dir.string() + "\"";
    EXPECT_EQ(run_icongen(""), 2);
    EXPECT_EQ(run_icongen(out), 2) << "no size";
    for (const char* size : {"abc", "16px", "8", "2000", "-16", ""}) {
        EXPECT_EQ(run_icongen(out + " \"" + size + "\""), 2) << '"' << size << '"';
    }
    EXPECT_FALSE(fs::exists(dir)) << "written before the arguments were checked";

    fs::create_directories(dir);
    std::ofstream(dir / "file") << "a file, not a folder";
    EXPECT_EQ(run_icongen("\"" + (dir / "file").string() + "\" 16"), 1);
}

} // namespace
} // namespace qx375
