#include "ui_rig.h"
#include "util/ini_file.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;

const std::filesystem::path kPackages = std::filesystem::path(QX375_DATA_DIR) / "langues";

class LanguageTest : public ::testing::Test, public UiRig {
protected:
    // Every text the language file can hold, as the windows show it now.
    std::string shown() {
        window.write_language_file();
        std::ifstream in(dir.path() / "qx375.lng");
        std::string text{std::istreambuf_iterator<char>(in), {}};
        std::filesystem::remove(dir.path() / "qx375.lng");
        return text;
    }
    void apply(const std::string& lng) {
        dir.write_text("qx375.lng", lng);
        window.read_language_file();
    }
    QString label(QWidget& w, const char* name) { return w.findChild<QLabel*>(name)->text(); }
};

// The English package holds exactly the built-in texts: applying it changes
// nothing, and what the windows show writes back as that file's values.
TEST_F(LanguageTest, TheEnglishPackageIsTheBuiltInTexts) {
    const std::string built_in = shown();
    std::filesystem::copy_file(kPackages / "anglais/qx375.lng", dir.path() / "qx375.lng");
    window.read_language_file();
    std::filesystem::remove(dir.path() / "qx375.lng");
    EXPECT_EQ(shown(), built_in);
    const IniFile package((kPackages / "anglais/qx375.lng").string());
    dir.write_text("ours.lng", built_in);
    const IniFile written((dir.path() / "ours.lng").string());
    for (const char* key : {"mainmenu", "about", "loopc", "looph", "GRPPlay", "Play24", "CodeStopc",
                            "drmfail", "Button1", "canalmix"}) {
        EXPECT_EQ(written.read_string("main", key, "?"), package.read_string("main", key, "!"))
            << key;
    }
    for (const char* key : {"sndmenu", "Closesetupc", "LabelVolume", "chanelplus", "PitchMin"}) {
        EXPECT_EQ(written.read_string("sndsetup", key, "?"),
                  package.read_string("sndsetup", key, "!"))
            << key;
    }
}

TEST_F(LanguageTest, TheFrenchPackageReplacesEveryTextAndFamilyHint) {
    std::filesystem::copy_file(kPackages / "francais/qx375.lng", dir.path() / "qx375.lng");
    window.read_language_file();
    const IniFile french((kPackages / "francais/qx375.lng").string());
    EXPECT_EQ(window.windowTitle().toStdString(), french.read_string("main", "mainmenu", "?"));
    EXPECT_EQ(find<QPushButton>("ButtonF9")->toolTip().toStdString(),
              french.read_string("main", "canalfile", "?"));
    EXPECT_EQ(find<QPushButton>("Button0")->toolTip().toStdString(),
              french.read_string("main", "Button1", "?"));
    EXPECT_EQ(window.save_changes_text, french.read_string("main", "sauvegarder", "?"));
    EXPECT_EQ(label(setup, "LabelMesure"), find<QLabel>("LabelMesure")->text())
        << "the setup's measure label follows the window's";
}

// "About" and "about" are one key: the help button's hint shows the About
// menu's caption without its accelerator, and Exit keeps the caption.
TEST_F(LanguageTest, TheHelpButtonSharesTheAboutMenusKey) {
    apply("[main]\nabout=&A propos\nAbout=About QX375\n");
    EXPECT_EQ(find<QToolButton>("SpeedButtonHelp")->toolTip(), "A propos");
    EXPECT_EQ(window.findChild<QAction*>("Apropos1")->text(), "&A propos");
    window.write_language_file();
    EXPECT_EQ(IniFile((dir.path() / "qx375.lng").string()).read_string("main", "about", "?"),
              "&A propos");
}

TEST_F(LanguageTest, KeysOfOneLabelAndEmptyValues) {
    apply("[sndsetup]\nvoll=Lautstärke\n");
    EXPECT_EQ(label(setup, "LabelVolume"), "Lautstärke");
    apply("[sndsetup]\nvoll=Lautstärke\nLabelVolume=Pegel\n[main]\nmainmenu=\n");
    EXPECT_EQ(label(setup, "LabelVolume"), "Pegel");
    EXPECT_EQ(window.windowTitle(), "");
    std::filesystem::remove(dir.path() / "qx375.lng");
    window.read_language_file();
    EXPECT_EQ(label(setup, "LabelVolume"), "Pegel") << "no file changes nothing";
}

// The End marker keeps its meaning through a new caption.
TEST_F(LanguageTest, TheEndMarkerShowsItsNewCaption) {
    window.ButtonEndSongClick();
    apply("[main]\nCodeStopc=Schluss\n");
    EXPECT_EQ(edit("EditNumPattern")->text(), "Schluss") << "longer than the box takes typed";
    EXPECT_EQ(song.get_song_entry(), kEndMarker);
    window.SpeedButtonNextStepClick();
    EXPECT_EQ(song.get_song_entry(), kEndMarker);
    window.saveiniconf();
    EXPECT_EQ(IniFile((dir.path() / "qx375.ini").string()).read_int("setup", "Pattern#", 0), 255);
}

TEST_F(LanguageTest, AWindows1252FrenchFileReadsRight) {
    apply(std::string("[main]\nsauvegarder=Enregistrer les modifications \x92") +
          "\xe9t\xe9 ?\nloopc=Boucl\xe9\n");
    EXPECT_EQ(window.save_changes_text, "Enregistrer les modifications ’été ?");
    EXPECT_EQ(check("CheckBoxLoop")->text(), "Bouclé");
}

// After Exit the file holds what was shown; "Action" was written last by the
// Action group, so a restart gives the start button that hint.
TEST_F(LanguageTest, ExitWritesTheShownTextsBackEvenWhenCancelled) {
    find<QGroupBox>("GroupBoxAction")->setTitle("Aktion");
    window.modified = true;
    prompts.answers.push_back(Answer::cancel);
    window.BitBtnQuitterClick();
    window.read_language_file();
    EXPECT_EQ(find<QPushButton>("BitBtnAction")->toolTip(), "Aktion");
}

class LanguesTest : public LanguageTest {
protected:
    void install_packages() {
        std::filesystem::copy(kPackages, dir.path() / "langues",
                              std::filesystem::copy_options::recursive);
    }
    std::string file(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

TEST_F(LanguesTest, EachButtonInstallsItsLanguageOrSaysTheFilesAreMissing) {
    langues.findChild<QPushButton*>("BitBtnFrench")->click();
    langues.findChild<QPushButton*>("BitBtnEnglish")->click();
    EXPECT_THAT(notifier.shown,
                ElementsAre("Fichiers langue française absent", "missing English language files"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "qx375.lng"));

    install_packages();
    langues.findChild<QPushButton*>("BitBtnFrench")->click();
    for (const char* name : {"qx375.lng", "qx375.hlp"}) {
        EXPECT_EQ(file(dir.path() / name), file(kPackages / "francais" / name)) << name;
    }
    EXPECT_NE(file(dir.path() / "qx375.ini").find("autoload_4="), std::string::npos);
}

TEST_F(LanguesTest, AHelpFileThatCannotBeWrittenIsReportedAndTheIniLeftAlone) {
    install_packages();
    std::filesystem::create_directory(dir.path() / "qx375.hlp");
    langues.findChild<QPushButton*>("BitBtnEnglish")->click();
    EXPECT_THAT(notifier.shown, ElementsAre("missing English language files"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "qx375.ini"));
}

TEST_F(LanguesTest, TheCheckBoxDecidesWhetherTheDialogComesBack) {
    auto* box = langues.findChild<QCheckBox*>("CheckBoxNoMore");
    box->click();
    EXPECT_FALSE(window.first_use);
    box->click();
    EXPECT_TRUE(window.first_use);
    box->click();
    prompts.on_exec = [](QDialog&) { return QDialog::Accepted; };
    window.findChild<QAction*>("Langues1")->trigger();
    EXPECT_TRUE(window.first_use) << "the menu asks again, the box left as it was";
    EXPECT_THAT(prompts.shown_dialogs, ElementsAre("FormLangues"));
}

} // namespace
} // namespace qx375::test
