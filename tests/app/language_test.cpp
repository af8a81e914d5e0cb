#include "ui_rig.h"
#include "util/ini_file.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

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

// The English package holds the built-in texts, but for the three the
// window's own resources give in French: applying it changes only those, and
// what the windows show writes back as that file's values.
TEST_F(LanguageTest, TheEnglishPackageIsTheBuiltInTextsInEnglish) {
    const auto without_french = [](std::string text) {
        for (const char* key : {"about=", "abouttitle=", "ecraser="}) {
            const std::size_t at = text.find(std::string("\n") + key);
            EXPECT_NE(at, std::string::npos) << key;
            text.erase(at, text.find('\n', at + 1) - at);
        }
        return text;
    };
    const std::string built_in = shown();
    std::filesystem::copy_file(kPackages / "anglais/qx375.lng", dir.path() / "qx375.lng");
    window.read_language_file();
    std::filesystem::remove(dir.path() / "qx375.lng");
    const std::string english = shown();
    EXPECT_EQ(without_french(english), without_french(built_in));
    EXPECT_EQ(window.findChild<QAction*>("Apropos1")->text(), "&About QX375");
    EXPECT_EQ(about.windowTitle(), "About Pulsomat");
    EXPECT_EQ(window.texts[Msg::overwrite_song], "Replace the file %1 ?");

    const IniFile package((kPackages / "anglais/qx375.lng").string());
    dir.write_text("ours.lng", english);
    const IniFile written((dir.path() / "ours.lng").string());
    for (const char* key : {"mainmenu", "about", "loopc", "looph", "GRPPlay", "Play24", "CodeStopc",
                            "drmfail", "Button1", "canalmix", "ecraser", "errnotsong"}) {
        EXPECT_EQ(written.read_string("main", key, "?"), package.read_string("main", key, "!"))
            << key;
    }
    for (const char* key :
         {"sndmenu", "Closesetupc", "LabelVolume", "chanelplus", "PitchMin", "ButtonFilec"}) {
        EXPECT_EQ(written.read_string("sndsetup", key, "?"),
                  package.read_string("sndsetup", key, "!"))
            << key;
    }
}

// Both packages hold every text the windows show, in the same order.
TEST_F(LanguageTest, BothPackagesHoldEveryKey) {
    const auto keys = [](const std::string& text) {
        std::vector<std::string> found;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            if (const std::size_t equals = line.find('=');
                equals != std::string::npos && !line.starts_with(";")) {
                found.push_back(line.substr(0, equals));
            }
        }
        return found;
    };
    const std::vector<std::string> wanted = keys(shown());
    for (const char* package : {"anglais", "francais"}) {
        std::ifstream in(kPackages / package / "qx375.lng");
        std::vector<std::string> held = keys({std::istreambuf_iterator<char>(in), {}});
        // The help button's hint shares the About menu's key, and is kept.
        std::erase(held, "About");
        EXPECT_EQ(held, wanted) << package;
    }
}

TEST_F(LanguageTest, TheFrenchPackageReplacesEveryTextAndFamilyHint) {
    std::filesystem::copy_file(kPackages / "francais/qx375.lng", dir.path() / "qx375.lng");
    window.read_language_file();
    const IniFile french((kPackages / "francais/qx375.lng").string());
    EXPECT_EQ(window.caption().toStdString(), french.read_string("main", "mainmenu", "?"));
    EXPECT_EQ(window.windowTitle().toStdString(), french.read_string("main", "untitled", "?") +
                                                      "[*] - " +
                                                      french.read_string("main", "mainmenu", "?"));
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
    EXPECT_EQ(window.caption(), "");
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

// A language whose folder is missing is reported, and the language in use
// stays, file and all; one whose names are spelled in another letter case
// installs.
TEST_F(LanguesTest, AMissingPackageIsReportedOverTheInstalledLanguage) {
    install_packages();
    langues.findChild<QPushButton*>("BitBtnFrench")->click();
    const std::string french = file(dir.path() / "qx375.lng");
    std::filesystem::remove_all(dir.path() / "langues" / "anglais");
    notifier.shown.clear();
    langues.findChild<QPushButton*>("BitBtnEnglish")->click();
    EXPECT_THAT(notifier.shown, ElementsAre("missing English language files"));
    EXPECT_EQ(file(dir.path() / "qx375.lng"), french);

    std::filesystem::copy(kPackages / "anglais", dir.path() / "langues" / "Anglais");
    std::filesystem::rename(dir.path() / "langues" / "Anglais" / "qx375.lng",
                            dir.path() / "langues" / "Anglais" / "QX375.LNG");
    notifier.shown.clear();
    langues.findChild<QPushButton*>("BitBtnEnglish")->click();
    EXPECT_THAT(notifier.shown, ::testing::IsEmpty());
    EXPECT_EQ(file(dir.path() / "qx375.lng"), file(kPackages / "anglais" / "qx375.lng"));
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
