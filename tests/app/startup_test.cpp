#include "ui_rig.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QToolButton>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class StartupTest : public ::testing::Test, public UiRig {
protected:
    std::string ini() const {
        std::ifstream in(dir.path() / "qx375.ini");
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void activate(QEvent::Type type) {
        QEvent event(type);
        QApplication::sendEvent(&window, &event);
    }
};

// The rig's window went through its first activation in an empty folder.
TEST_F(StartupTest, AFirstStartWithoutSettingsTakesTheDefaults) {
    EXPECT_EQ(play_mode()->item_index(), 0);
    EXPECT_FALSE(check("CheckBoxLoop")->isChecked());
    EXPECT_EQ(slider("TrackBarBPM")->value(), 160);
    EXPECT_TRUE(window.first_use);
    EXPECT_FALSE(window.modified);
    EXPECT_EQ(window.program_directory, std::filesystem::current_path().string());
}

// The language choice comes up at a first start, and not once the user has
// asked for it no more.
TEST_F(StartupTest, AFirstStartAsksForTheLanguage) {
    for (const char* ini : {"", "[main]\nfirstuse=0\n"}) {
        dir.write_text("qx375.ini", ini);
        Program fresh(output, prompts, system);
        prompts.shown_dialogs.clear();
        fresh.window.FormActivate();
        if (*ini == '\0') {
            EXPECT_THAT(prompts.shown_dialogs, ElementsAre("FormLangues"));
        } else {
            EXPECT_THAT(prompts.shown_dialogs, ::testing::IsEmpty());
        }
    }
}

TEST_F(StartupTest, SettingsAreReadWithTheirChainedDefaultsAndWrittenBack) {
    dir.write_text("qx375.ini",
                   "[Setup]\r\nautoload_0=first.drm\r\nAUTOLOAD_2=third.drm\r\n"
                   "speed=90\r\nLoopMode=1\r\nPattern#=12\r\n[main]\r\nfirstuse=0\r\n");
    window.read_recent_files();
    EXPECT_THAT(window.recent_files,
                ElementsAre("first.drm", "first.drm", "third.drm", "third.drm", "third.drm"));
    EXPECT_FALSE(window.first_use);
    window.loadiniconf();
    EXPECT_EQ(slider("TrackBarBPM")->value(), 90);
    EXPECT_TRUE(check("CheckBoxLoop")->isChecked());
    EXPECT_EQ(edit("EditNumMesure")->text(), "12");
    EXPECT_FALSE(window.modified);

    window.ButtonEndSongClick();
    window.first_use = true;
    window.saveiniconf();
    EXPECT_THAT(ini(), HasSubstr("Pattern#=255\r\n"));
    EXPECT_THAT(ini(), HasSubstr("speed=90\r\n")) << "the file's own spelling";
    EXPECT_THAT(ini(), HasSubstr("firstuse=1\r\n"));
}

// The language choice at the first start may untick "firstuse"; the settings
// read after it keep that choice, and a window closed before the settings
// were read leaves the file alone.
TEST_F(StartupTest, TheFirstStartKeepsTheUsersChoicesAndNeverWritesDefaultsOverThem) {
    dir.write_text("qx375.ini", "[setup]\nSpeed=90\n[main]\nfirstuse=1\n");
    Program program(output, prompts, system);
    Tmain& fresh = program.window;
    prompts.on_exec = [&](QDialog& dialog) {
        if (dialog.objectName() == "FormLangues") {
            fresh.close(); // Ctrl+C while the choice is open
            program.langues.findChild<QCheckBox*>("CheckBoxNoMore")->click();
        }
        return QDialog::Accepted;
    };
    fresh.FormActivate();
    EXPECT_THAT(ini(), HasSubstr("Speed=90\n"));
    EXPECT_FALSE(fresh.first_use);
    fresh.saveiniconf();
    EXPECT_THAT(ini(), HasSubstr("firstuse=0\n"));
}

// Exit and the close box never end the program with changes the user
// wanted to keep and that were not saved.
TEST_F(StartupTest, ClosingKeepsTheProgramOpenUnlessTheChangesAreSafe) {
    window.show();
    struct Case {
        Answer answer;
        bool stays_open;
    };
    for (const Case& c :
         {Case{Answer::cancel, true}, Case{Answer::yes, true}, Case{Answer::no, false}}) {
        window.show();
        window.modified = true;
        prompts.answers.push_back(c.answer);
        if (c.answer == Answer::yes) {
            prompts.files.push_back(std::nullopt); // Save as, cancelled
        }
        window.close();
        EXPECT_EQ(window.isVisible(), c.stays_open) << static_cast<int>(c.answer);
    }
    edit("EditFileName")->setText((dir.path() / "gone/song.drm").c_str());
    window.show();
    window.modified = true;
    prompts.answers.push_back(Answer::yes);
    window.BitBtnQuitterClick();
    EXPECT_TRUE(window.isVisible()) << "a save that failed";
    EXPECT_THAT(notifier.shown,
                ElementsAre("DRM Save File Error\n" + (dir.path() / "gone/song.drm").string() +
                            ": its folder does not exist"));
    EXPECT_TRUE(window.modified);
}

// A set-up step that fails is reported once: closing the report activates
// the window again, which must not bring it back, nor reload the song.
TEST_F(StartupTest, AFailedSetUpStepIsReportedOnceAndRetriedWhenTheUserComesBack) {
    UiRig other;
    std::filesystem::remove("go2.bmp");
    notifier.shown.clear();
    Program program(output, prompts, system);
    Tmain& fresh = program.window;
    fresh.FormActivate();
    EXPECT_EQ(std::count_if(notifier.shown.begin(), notifier.shown.end(),
                            [](const std::string& m) { return m.find("go2.bmp") != m.npos; }),
              1);
    notifier.shown.clear();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&fresh, &activate);
    EXPECT_TRUE(notifier.shown.empty()) << "the activation that closing the box brings";

    QImage(8, 8, QImage::Format_RGB32).save("go2.bmp");
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&fresh, &deactivate);
    QApplication::sendEvent(&fresh, &activate);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_FALSE(fresh.findChild<QPushButton*>("BitBtnAction")->icon().isNull());
}

TEST_F(StartupTest, TheAboutBoxShowsTheProgramsOwnIcon) {
    use_program_look();
    about.show();
    const QPixmap shown = about.findChild<QLabel*>("ProgramIcon")->pixmap();
    EXPECT_EQ(shown.toImage(), QApplication::windowIcon().pixmap(48, 48).toImage());
    EXPECT_FALSE(shown.isNull());
    about.hide();
}

// The style's glyphs and the grid's picture are decoded only for a window
// that is shown, and are there before its first paint.
TEST_F(StartupTest, PicturesAreMadeAsTheirWindowIsShown) {
    const QList<QToolButton*> buttons =
        window.findChildren<QToolButton*>(QRegularExpression("^(SpeedButton|MixButton)"));
    ASSERT_GE(buttons.size(), 40);
    EXPECT_TRUE(std::all_of(buttons.begin(), buttons.end(),
                            [](const QToolButton* b) { return b->icon().isNull(); }));
    const auto* grid = window.findChild<QLabel*>("ImagePattern");
    EXPECT_TRUE(grid->pixmap().isNull());
    QImage picture(716, 430, QImage::Format_RGB32);
    picture.fill(Qt::darkGray);
    ASSERT_TRUE(picture.save(QString::fromStdString((dir.path() / "grille.bmp").string())));
    window.show();
    for (const QToolButton* b : buttons) {
        EXPECT_EQ(!b->icon().isNull(), b->isVisible()) << b->objectName().toStdString();
    }
    EXPECT_EQ(grid->pixmap().size(), QSize(716, 430));
    window.hide();
}

TEST_F(StartupTest, HelpOpensTheHelpFileWhateverItsLetterCase) {
    dir.write_text("QX375.HLP", "<html></html>");
    press("SpeedButtonHelp");
    window.findChild<QAction*>("Aide1")->trigger();
    EXPECT_THAT(prompts.help, ElementsAre(HasSubstr("QX375.HLP"), HasSubstr("QX375.HLP")));
}

} // namespace
} // namespace qx375::test
