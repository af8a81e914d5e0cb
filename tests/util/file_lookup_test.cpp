#include "util/file_lookup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace qx375 {
namespace {

namespace fs = std::filesystem;

class FindFileTest : public ::testing::Test {
protected:
    FindFileTest() {
        std::string pattern = (fs::temp_directory_path() / "qx375-lookup-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot create a scratch directory";
        }
        base = pattern;
    }
    ~FindFileTest() override {
        std::error_code ec;
        fs::remove_all(base, ec);
    }

    std::string touch(const fs::path& relative) const {
        const fs::path file = base / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "x";
        return file.string();
    }
    std::string at(const fs::path& relative) const { return (base / relative).string(); }

    fs::path base;
};

TEST_F(FindFileTest, NameAsGivenWins) {
    const std::string exact = touch("Kick.WAV");
    touch("kick.wav");
    EXPECT_EQ(find_file(exact, base.string()), exact);
}

TEST_F(FindFileTest, LastComponentMatchesWhateverTheCase) {
    touch("kick.wav");
    EXPECT_EQ(find_file("KICK.WAV", base.string()), at("kick.wav"));
    EXPECT_EQ(find_file(at("Kick.Wav"), base.string()), at("kick.wav"));
}

TEST_F(FindFileTest, SeveralMatchesGiveTheSmallestName) {
    touch("snare.wav");
    touch("SNARE.wav");
    touch("Snare.WAV");
    EXPECT_EQ(find_file("sNaRe.WaV", base.string()), at("SNARE.wav"));
}

TEST_F(FindFileTest, DirectoriesAreNotFiles) {
    fs::create_directory(base / "hat.wav");
    const std::string file = touch("HAT.WAV");
    EXPECT_EQ(find_file(at("hat.wav"), base.string()), file);
    EXPECT_EQ(find_file("Hat.wav", base.string()), file);
}

TEST_F(FindFileTest, BackslashesSeparateDirectories) {
    touch("kits/rock/Snare.wav");
    EXPECT_EQ(find_file("kits\\rock\\SNARE.WAV", base.string()), at("kits/rock/Snare.wav"));
    EXPECT_EQ(find_file(base.string() + "\\kits\\rock\\snare.wav", "/nonexistent"),
              at("kits/rock/Snare.wav"));
}

TEST_F(FindFileTest, WindowsDirectoryFallsBackToTheBareNameInBase) {
    touch("kick.wav");
    EXPECT_EQ(find_file("C:\\kits\\Kick.WAV", base.string()), at("kick.wav"));
    EXPECT_EQ(find_file("\\\\server\\share\\KICK.wav", base.string()), at("kick.wav"));
    EXPECT_EQ(find_file("Other\\Kick.WAV", base.string()), at("kick.wav"));
}

TEST_F(FindFileTest, ExistingDirectoryWithoutTheFileFindsNothing) {
    touch("kick.wav");
    fs::create_directory(base / "kits");
    EXPECT_EQ(find_file("kits\\kick.wav", base.string()), "kits\\kick.wav");
}

TEST_F(FindFileTest, NothingFoundGivesTheNameUnchanged) {
    EXPECT_EQ(find_file("C:\\kits\\Missing.WAV", base.string()), "C:\\kits\\Missing.WAV");
    EXPECT_EQ(find_file("missing.wav", base.string()), "missing.wav");
    EXPECT_EQ(find_file("kits\\", base.string()), "kits\\");
    EXPECT_EQ(find_file("", base.string()), "");
    EXPECT_EQ(find_file("kick.wav", (base / "nowhere").string()), "kick.wav");
}

TEST_F(FindFileTest, BareNameIsLookedUpInTheCurrentDirectoryByDefault) {
    touch("clap.wav");
    const fs::path previous = fs::current_path();
    fs::current_path(base);
    const std::string found = find_file("CLAP.WAV");
    fs::current_path(previous);
    EXPECT_TRUE(std::ifstream(base / found).good()) << found;
    EXPECT_EQ(fs::path(found).filename(), "clap.wav");
}

// A file of the program's own folders is found in its folder only, whatever
// the letter case of the folders and the file; never elsewhere.
TEST_F(FindFileTest, UnderAFolderEachPartMatchesWhateverItsCase) {
    touch("Langues/Francais/QX375.LNG");
    touch("qx375.lng");
    const std::string folder = base.string();
    EXPECT_EQ(find_under(folder, "langues/francais/qx375.lng"), at("Langues/Francais/QX375.LNG"));
    EXPECT_EQ(find_under(folder, "Langues/Francais/QX375.LNG"), at("Langues/Francais/QX375.LNG"));
    EXPECT_EQ(find_under(folder, "langues/anglais/qx375.lng"), std::nullopt)
        << "a missing folder, though the file is in the base";
    EXPECT_EQ(find_under(folder, "langues/francais"), std::nullopt) << "a folder is no file";
    EXPECT_EQ(find_under(folder, "langues/francais/qx375.hlp"), std::nullopt);
    EXPECT_EQ(find_under((base / "nowhere").string(), "qx375.lng"), std::nullopt);
}

} // namespace
} // namespace qx375
