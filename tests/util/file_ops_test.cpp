#include "support/file_size_limit.h"
#include "support/wav_builder.h"
#include "util/file_ops.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace qx375::test {
namespace {

namespace fs = std::filesystem;

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class FileOpsTest : public ::testing::Test {
protected:
    std::string at(const std::string& name) const { return (dir.path() / name).string(); }

    TempDir dir;
};

TEST_F(FileOpsTest, FileExistsOnlyForRegularFiles) {
    const std::string file = dir.write_text("song.drm", "x");
    fs::create_directory(at("folder.drm"));
    fs::create_symlink(file, at("link.drm"));
    fs::create_symlink(at("gone.drm"), at("dangling.drm"));

    EXPECT_TRUE(file_exists(file));
    EXPECT_TRUE(file_exists(at("link.drm")));
    EXPECT_FALSE(file_exists(at("SONG.DRM"))) << "exact names only";
    EXPECT_FALSE(file_exists(at("folder.drm")));
    EXPECT_FALSE(file_exists(at("dangling.drm")));
    EXPECT_FALSE(file_exists(at("missing.drm")));
    EXPECT_FALSE(file_exists(at("song.drm/inside")));
    EXPECT_FALSE(file_exists("/dev/null"));
    EXPECT_FALSE(file_exists(""));
}

TEST(HasDirectory, SeesEitherSeparator) {
    for (const char* path : {"/tmp/a.drm", "songs/a.drm", "C:\\songs\\a.drm", "\\a", "a/"}) {
        EXPECT_TRUE(has_directory(path)) << path;
    }
    for (const char* path : {"", "a.drm", "C:a.drm", "qx375.ini"}) {
        EXPECT_FALSE(has_directory(path)) << path;
    }
}

TEST_F(FileOpsTest, CopyGivesAnIdenticalFile) {
    for (const std::size_t size : {0u, 1u, 256u, 70000u, 3000000u}) {
        std::string bytes;
        for (std::size_t i = 0; i < size; ++i) {
            bytes.push_back(static_cast<char>((i * 31 + i / 256) % 256));
        }
        const std::string source = dir.write_text("langues/francais/qx375.lng", bytes);
        dir.write_text("qx375.lng", std::string(size + 5000, 'o'));
        EXPECT_TRUE(copy_file(source, at("qx375.lng")));
        EXPECT_EQ(read_all(at("qx375.lng")), bytes) << size << " bytes over a longer file";
        fs::remove(at("qx375.hlp"));
        EXPECT_TRUE(copy_file(source, at("qx375.hlp")));
        EXPECT_EQ(read_all(at("qx375.hlp")), bytes) << size << " bytes into a new file";
    }
}

TEST_F(FileOpsTest, CopyingAFileOntoItselfKeepsIt) {
    const std::string file = dir.write_text("qx375.lng", "[main]\nmainmenu=QX375\n");
    EXPECT_TRUE(copy_file(file, file));
    EXPECT_TRUE(copy_file(file, dir.path().string() + "/./qx375.lng"));
    EXPECT_EQ(read_all(file), "[main]\nmainmenu=QX375\n");
}

TEST_F(FileOpsTest, ABadSourceCopiesNothing) {
    const std::string old_destination = dir.write_text("qx375.lng", "old");
    fs::create_directory(at("folder"));
    for (const std::string& source :
         {at("missing.lng"), at("folder"), std::string("/dev/zero"), std::string("")}) {
        EXPECT_FALSE(copy_file(source, old_destination)) << source;
        EXPECT_FALSE(copy_file(source, at("new.lng"))) << source;
    }
    EXPECT_EQ(read_all(old_destination), "old");
    EXPECT_FALSE(fs::exists(at("new.lng")));
}

TEST_F(FileOpsTest, ADestinationThatCannotBeWrittenFailsAndKeepsWhatWasThere) {
    const std::string source = dir.write_text("source.lng", std::string(5000, 's'));
    fs::create_directory(at("folder.lng"));
    EXPECT_FALSE(copy_file(source, at("no such folder/qx375.lng")));
    EXPECT_FALSE(copy_file(source, "/dev/full"));
    EXPECT_FALSE(copy_file(source, at("folder.lng")));
    EXPECT_TRUE(fs::is_directory(at("folder.lng")));

    const std::string old_destination = dir.write_text("qx375.lng", "old");
    {
        FileSizeLimit full(1000);
        EXPECT_FALSE(copy_file(source, old_destination));
        EXPECT_FALSE(copy_file(source, at("new.lng")));
    }
    EXPECT_EQ(read_all(old_destination), "old");
    EXPECT_FALSE(fs::exists(at("new.lng")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3) << "no temporary file";
}

} // namespace
} // namespace qx375::test
