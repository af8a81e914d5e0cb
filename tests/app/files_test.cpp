#include "support/file_size_limit.h"
#include "ui_rig.h"

#include <QAction>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<fs::path> files_in(const fs::path& folder) {
    std::vector<fs::path> names(fs::directory_iterator(folder), {});
    std::sort(names.begin(), names.end());
    return names;
}

class FilesTest : public ::testing::Test, public UiRig {
protected:
    FilesTest() { notifier.shown.clear(); }

    std::string name_box() const { return edit("EditFileName")->text().toStdString(); }
    std::string song_file(const std::string& name) {
        song.save_drm((dir.path() / name).string());
        return (dir.path() / name).string();
    }
    std::string ini() const {
        std::ifstream in(dir.path() / "qx375.ini");
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void open(const std::string& chosen) {
        prompts.files.push_back(chosen);
        window.OuvrirClick();
    }
};

TEST_F(FilesTest, TheRecentListKeepsFiveSongsMostRecentFirst) {
    struct Case {
        std::array<std::string, 5> before;
        std::string added;
        std::array<std::string, 5> after;
    };
    const Case cases[] = {
        {{"a.drm", "b.drm", "c.drm", "d.drm", "e.drm"},
         "d.drm",
         {"d.drm", "a.drm", "b.drm", "c.drm", "e.drm"}},
        {{"a.drm", "b.drm", "c.drm", "d.drm", "e.drm"},
         "f.drm",
         {"f.drm", "a.drm", "b.drm", "c.drm", "d.drm"}},
        {{"a.drm", "b.drm", "", "", ""}, "a.drm", {"a.drm", "b.drm", "", "", ""}},
        {{"a.drm", "x", "b.drm", "", ""}, "c.drm", {"c.drm", "a.drm", "b.drm", "", ""}},
    };
    for (const Case& c : cases) {
        window.recent_files = c.before;
        window.add_recent_file(c.added);
        EXPECT_THAT(window.recent_files, ElementsAreArray(c.after)) << c.added;
    }
    EXPECT_TRUE(window.findChild<QAction*>("fichier3")->isVisible());
    EXPECT_EQ(window.findChild<QAction*>("fichier3")->text(), "b.drm");
}

TEST_F(FilesTest, OpenAddsTheSongExtensionUnlessTheNameHasOne) {
    const std::string upper = song_file("loud.DRM");
    song_file("soft.Drm.drm");
    open(upper);
    EXPECT_EQ(name_box(), upper);
    open((dir.path() / "soft.Drm").string());
    EXPECT_EQ(name_box(), (dir.path() / "soft.Drm.drm").string());
    // The dialog takes a name typed without its extension, which Open adds.
    EXPECT_TRUE(prompts.file_dialogs.back().completed_by_command);
    EXPECT_EQ(prompts.file_dialogs.back().title, "Open a song");
    EXPECT_THAT(window.recent_files[0], ::testing::EndsWith("soft.Drm.drm"));
    EXPECT_THAT(ini(), ::testing::HasSubstr("autoload_1=" + upper));
    EXPECT_FALSE(window.modified);
}

// What the program could not read leaves the song, the window and the list
// as they were.
TEST_F(FilesTest, AFailedOpenChangesNothing) {
    open(song_file("kept.drm"));
    hit(0, 5, 5);
    window.modified = true;
    prompts.answers.push_back(Answer::no);
    open((dir.path() / "nowhere.drm").string());
    EXPECT_THAT(notifier.shown,
                ElementsAre("DRM File Failure\n" + (dir.path() / "nowhere.drm").string() +
                            ": there is no such file"));
    EXPECT_THAT(name_box(), ::testing::EndsWith("kept.drm"));
    EXPECT_TRUE(window.modified);
    EXPECT_EQ(song.pattern(0).steps[5][5], 1);
    EXPECT_EQ(window.recent_files[1], "");
}

TEST_F(FilesTest, ARecentEntryWithoutAFolderIsASongOfTheProgramDirectory) {
    song_file("demo.drm");
    const TempDir elsewhere;
    CurrentDir away(elsewhere.path());
    EXPECT_TRUE(window.load_recent_song("demo.drm"));
    EXPECT_EQ(name_box(), "demo.drm");
    notifier.shown.clear();
    EXPECT_FALSE(window.load_recent_song(""));
    EXPECT_THAT(notifier.shown, ElementsAre("DRM File Failure"));
}

// Save as writes the song only where the user agreed, and only a written
// song counts as saved.
TEST_F(FilesTest, SaveAsThatWritesNothingKeepsTheSongChanged) {
    const std::string taken = song_file("taken.drm");
    window.modified = true;
    prompts.files.push_back(taken);
    prompts.answers.push_back(Answer::cancel);
    window.SauverSousClick();
    EXPECT_THAT(prompts.asked, ElementsAre("écraser le fichier " + taken + " ?"));
    prompts.files.push_back((dir.path() / "no/such/folder/x").string());
    window.SauverSousClick();
    EXPECT_THAT(notifier.shown, ElementsAre("DRM File Save Error\n" +
                                            (dir.path() / "no/such/folder/x.drm").string() +
                                            ": its folder does not exist"));
    EXPECT_TRUE(window.modified);
    EXPECT_EQ(window.recent_files[0], "");
    EXPECT_EQ(name_box(), "");

    prompts.files.push_back(taken.substr(0, taken.size() - 4));
    prompts.answers.push_back(Answer::ok);
    window.SauverSousClick();
    EXPECT_EQ(name_box(), taken);
    EXPECT_EQ(window.recent_files[0], taken);
    EXPECT_FALSE(window.modified);
}

// A disk that fills up while Save or Save as writes the song shows the error
// and leaves the song on disk as it was, with nothing beside it.
TEST_F(FilesTest, SavingOnAFullDiskShowsTheErrorAndKeepsTheOldFile) {
    const std::string file = song_file("full.drm");
    const std::string before = contents(file);
    open(file);
    hit(0, 6, 3);
    window.modified = true;
    notifier.shown.clear();
    const std::vector<fs::path> folder = files_in(dir.path());
    {
        FileSizeLimit full_disk(before.size() / 2);
        window.EnregistrerClick();
        prompts.files.push_back(file);
        prompts.answers.push_back(Answer::ok);
        window.SauverSousClick();
    }
    EXPECT_THAT(notifier.shown, ElementsAre("DRM Save File Error\n" + file + ": the disk is full",
                                            "DRM File Save Error\n" + file + ": the disk is full"));
    EXPECT_EQ(contents(file), before);
    EXPECT_EQ(files_in(dir.path()), folder);
    EXPECT_TRUE(window.modified);
}

// New, Open and a recent song never throw away unsaved work unasked.
TEST_F(FilesTest, ReplacingAChangedSongAsksFirst) {
    const std::string other = song_file("other.drm");
    window.recent_files[2] = other;
    hit(0, 4, 2);
    struct Case {
        Answer answer;
        std::optional<std::string> save_as; // the name Yes leads to; nothing: cancelled
        bool replaced;
    };
    const Case cases[] = {{Answer::cancel, {}, false},
                          {Answer::yes, {}, false},
                          {Answer::no, {}, true},
                          {Answer::yes, (dir.path() / "kept.drm").string(), true}};
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"New", [&] { window.Nouveau1Click(); }},
        {"Open", [&] { window.OuvrirClick(); }},
        {"a recent entry", [&] { window.fichierClick(2); }},
    };
    for (const auto& [command, run] : commands) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(command) + ", answer " +
                         std::to_string(static_cast<int>(c.answer)));
            window.modified = false;
            window.Nouveau1Click();
            window.recent_files[2] = other;
            song.change_pattern(0, [&](pattern_record& p) { p.steps[4][2] = 1; });
            window.modified = true;
            prompts.asked.clear();
            prompts.answers.push_back(c.answer);
            if (c.answer == Answer::yes) {
                prompts.files.push_back(c.save_as);
            }
            if (c.save_as && fs::exists(*c.save_as)) {
                prompts.answers.push_back(Answer::ok);
            }
            if (c.replaced && std::string(command) == "Open") {
                prompts.files.push_back(other);
            }
            run();
            EXPECT_EQ(song.pattern(0).steps[4][2] == 0, c.replaced);
            EXPECT_EQ(window.modified, !c.replaced);
            EXPECT_EQ(prompts.asked.front(), "Save changes ?");
            prompts.files.clear();
            prompts.answers.clear();
        }
    }
}

// Saving first puts the saved song at the top of the recent list: the item
// clicked still opens the song it showed.
TEST_F(FilesTest, ARecentItemOpensTheSongItShowedEvenWhenSavingFirstMovesTheList) {
    const std::string wanted = song_file("wanted.drm");
    hit(0, 7, 7);
    const std::string current = song_file("current.drm");
    open(current);
    window.recent_files = {current, wanted, "", "", ""};
    hit(0, 7, 7);
    window.modified = true;
    prompts.answers.push_back(Answer::yes);
    edit("EditFileName")->setText((dir.path() / "saved.drm").c_str());
    window.fichierClick(1);
    EXPECT_EQ(name_box(), wanted);
    EXPECT_EQ(window.recent_files[0], wanted);
    EXPECT_TRUE(fs::exists(dir.path() / "saved.drm"));
}

// The sounds whose samples a song names but that cannot be read are named
// together, in the language in use.
TEST_F(FilesTest, TheSoundsThatStaySilentAreNamed) {
    song.set_sample_file(3, "gone.wav");
    song.set_sample_file(9, "also gone.wav");
    const std::string file = song_file("silent.drm");
    notifier.shown.clear();
    open(file);
    EXPECT_THAT(notifier.shown,
                ElementsAre("Sounds not loaded:\n4 : gone.wav\n10 : also gone.wav"));
    EXPECT_EQ(name_box(), file) << "the song is opened all the same";
}

// A file no song could be is refused with the reason, and never offered
// again as a recent song.
TEST_F(FilesTest, RandomBytesAreNoSongAndStayOutOfTheRecentList) {
    std::string noise(300000, '\0');
    std::uint32_t state = 12345;
    for (char& c : noise) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    const std::string file = dir.write_text("noise.drm", noise);
    hit(0, 3, 3);
    window.modified = false;
    open(file);
    EXPECT_THAT(notifier.shown,
                ElementsAre("DRM File Failure\n" + file + ": it is not a song file"));
    EXPECT_EQ(window.recent_files[0], "");
    EXPECT_EQ(song.pattern(0).steps[3][3], 1) << "the song in memory stays";
    EXPECT_EQ(ini().find("noise.drm"), std::string::npos);
}

} // namespace
} // namespace qx375::test
