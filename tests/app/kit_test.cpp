// Drum kits opened from the window: the dialog shows what the kit's drums
// would give each sound, the sounds it lets them take change as one step,
// and an archive's kit is kept where the song can find its samples again.

#include "dialogs/kit_dialog.h"
#include "kits/kit_rig.h"
#include "ui_rig.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr int kClosedHat = 0;
constexpr int kSnare = 2;
constexpr int kKick = 3;
constexpr int kRide = 9;

class KitTest : public ::testing::Test, public UiRig {
protected:
    KitTest() {
        notifier.shown.clear();
        fs::create_directories(kit);
        dir.write(kit_file("kick.wav"), simple_wav(ramp(20)));
        dir.write(kit_file("snare.wav"), simple_wav(ramp(30)));
        dir.write(kit_file("hat.wav"), simple_wav(ramp(40)));
        dir.write_text(kit_file("drumkit.xml"),
                       drumkit_xml("Garage", instrument("Kick", 36, "kick.wav") +
                                                 instrument("Snare", 38, "snare.wav") +
                                                 instrument("Closed Hat", -1, "hat.wav")));
    }

    static std::string kit_file(const std::string& name) { return "garage/" + name; }

    // Opens the kit through the menu; the dialog's lists as they were offered,
    // and its answer after `change` ran on it.
    std::array<int, kSounds> open(const fs::path& path, int answer,
                                  const std::function<void(KitDialog&)>& change = {}) {
        std::array<int, kSounds> offered{};
        prompts.on_exec = [&](QDialog& dialog) {
            auto& kit_dialog = dynamic_cast<KitDialog&>(dialog);
            offered = kit_dialog.choice();
            if (change) {
                change(kit_dialog);
            }
            return answer;
        };
        prompts.files.push_back(path.string());
        window.findChild<QAction*>("OpenKit1")->trigger();
        prompts.on_exec = nullptr;
        return offered;
    }

    fs::path kit = dir.path() / "garage";
};

TEST_F(KitTest, TheDialogOffersTheDrumsTheirSoundsAndApplyIsOneStep) {
    window.modified = false;
    const std::string before = song.song_image();
    const auto offered =
        open(kit / "drumkit.xml", QDialog::Accepted, [](KitDialog& d) { d.choose(kRide, 1); });
    EXPECT_EQ(prompts.shown_dialogs, std::vector<std::string>{"FormKit"});
    std::array<int, kSounds> suggested;
    suggested.fill(-1);
    suggested[kKick] = 0;
    suggested[kSnare] = 1;
    suggested[kClosedHat] = 2;
    EXPECT_EQ(offered, suggested);

    const std::string real = fs::canonical(kit).string();
    EXPECT_EQ(song.get_sample_file(kKick), real + "/kick.wav") << "used in place";
    EXPECT_EQ(song.get_sample_file(kSnare), real + "/snare.wav");
    EXPECT_EQ(song.get_sample_file(kClosedHat), real + "/hat.wav");
    EXPECT_EQ(song.get_sample_file(kRide), real + "/snare.wav");
    EXPECT_EQ(song.get_sample_file(5), sample(5)) << "kept";
    EXPECT_TRUE(window.modified);
    EXPECT_THAT(notifier.shown, IsEmpty());

    QAction* undo = window.findChild<QAction*>("Undo1");
    EXPECT_EQ(undo->text().remove('&'), "Undo Drum Kit");
    undo->trigger();
    EXPECT_EQ(song.song_image(), before) << "one step undoes every sound";
    window.findChild<QAction*>("Redo1")->trigger();
    EXPECT_EQ(song.get_sample_file(kRide), real + "/snare.wav");
}

TEST_F(KitTest, CancelChangesNothing) {
    const std::string before = song.song_image();
    open(kit / "drumkit.xml", QDialog::Rejected);
    EXPECT_EQ(song.song_image(), before);
    EXPECT_FALSE(window.findChild<QAction*>("Undo1")->isEnabled());
}

// An archive's kit is kept in the program directory under its own name,
// only once the user applies it; nothing is left of a kit cancelled.
TEST_F(KitTest, AnArchivesKitIsKeptInTheProgramDirectoryOnceApplied) {
    const fs::path archive = dir.path() / "Garage.h2drumkit";
    write_archive(
        archive, {{"Garage/drumkit.xml", drumkit_xml("Garage", instrument("Kick", 36, "kick.wav"))},
                  {"Garage/kick.wav", [] {
                       const Bytes wav = simple_wav(ramp(20));
                       return std::string(wav.begin(), wav.end());
                   }()}});
    const fs::path kits = fs::path(window.program_directory) / "kits";
    open(archive, QDialog::Rejected);
    EXPECT_TRUE(!fs::exists(kits) || fs::is_empty(kits));

    open(archive, QDialog::Accepted);
    open(archive, QDialog::Accepted);
    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(kits)) {
        kept.push_back(entry.path().filename().string());
    }
    std::sort(kept.begin(), kept.end());
    EXPECT_THAT(kept, ElementsAre("Garage", "Garage 2")) << "no unpacking left behind";
    EXPECT_EQ(song.get_sample_file(kKick),
              (fs::canonical(kits) / "Garage 2" / "Garage" / "kick.wav").string());
    EXPECT_TRUE(sound.channel(kKick).loaded);
}

TEST_F(KitTest, AHostileArchiveIsRefusedWithItsReasonAndWritesNothingOutside) {
    const fs::path archive = dir.path() / "evil.h2drumkit";
    write_archive(archive, {{"Evil/drumkit.xml", drumkit_xml("Evil", "")}, {"../../x", "boo"}});
    const std::string before = song.song_image();
    open(archive, QDialog::Accepted);
    EXPECT_THAT(prompts.shown_dialogs, IsEmpty());
    EXPECT_THAT(notifier.shown,
                ElementsAre("Cannot open the drum kit\n" + archive.string() +
                            ": its member ../../x would be written outside the kit's folder"));
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "x"));
    EXPECT_FALSE(fs::exists(fs::path(window.program_directory).parent_path() / "x"));
    EXPECT_EQ(song.song_image(), before);
}

// The samples that cannot be played are told in one message, after the
// others were taken.
TEST_F(KitTest, SamplesThatDoNotPlayAreToldInOneMessage) {
    dir.write_text(kit_file("snare.wav"), "no sound");
    dir.write_text(kit_file("hat.wav"), "no sound either");
    open(kit / "drumkit.xml", QDialog::Accepted);
    const std::string real = fs::canonical(kit).string();
    EXPECT_EQ(song.get_sample_file(kKick), real + "/kick.wav");
    EXPECT_EQ(song.get_sample_file(kSnare), sample(kSnare));
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown.front(), "Sounds the kit could not give:\n1 : " + real +
                                          "/hat.wav: it is not a WAV file\n3 : " + real +
                                          "/snare.wav: it is not a WAV file");
}

TEST_F(KitTest, AKitFolderDroppedOnTheWindowOpensTheDialog) {
    prompts.on_exec = [](QDialog&) { return QDialog::Rejected; };
    auto data = std::make_unique<QMimeData>();
    data->setUrls({QUrl::fromLocalFile(QString::fromStdString(kit.string()))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPoint(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    EXPECT_EQ(prompts.shown_dialogs, std::vector<std::string>{"FormKit"});
}

} // namespace
} // namespace qx375::test
