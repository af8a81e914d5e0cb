// The Sync menu and its setting, on an output without JACK: the choice is
// kept, what needs a JACK server says so, and playback goes on as before.

#include "ui_rig.h"
#include "util/ini_file.h"

#include <QAction>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace qx375::test {
namespace {

using ::testing::HasSubstr;

bool checked(UiRig& rig, const char* item) {
    auto* action = rig.window.findChild<QAction*>(item);
    EXPECT_NE(action, nullptr) << item;
    return action != nullptr && action->isChecked();
}

void choose(UiRig& rig, const char* item) {
    auto* action = rig.window.findChild<QAction*>(item);
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
}

TEST(SyncSettings, TheChoiceIsKeptInTheSettingsAndReadBack) {
    UiRig rig;
    EXPECT_TRUE(checked(rig, "SyncNone1")) << "a new program keeps its own time";
    EXPECT_TRUE(checked(rig, "SyncLead1"));
    choose(rig, "SyncFollow1");
    choose(rig, "SyncMidi1");
    EXPECT_TRUE(checked(rig, "SyncMidi1"));
    EXPECT_FALSE(checked(rig, "SyncNone1"));
    // No JACK here: the title says what the choice needs.
    EXPECT_EQ(rig.window.windowTitle().toStdString(),
              "untitled[*] - QX375 - " + rig.window.texts[Msg::sync_no_jack]);
    rig.window.saveiniconf();
    std::ifstream file("qx375.ini");
    const std::string ini{std::istreambuf_iterator<char>(file), {}};
    EXPECT_THAT(ini, HasSubstr("[sync]"));
    EXPECT_THAT(ini, HasSubstr("source=midi"));
    EXPECT_THAT(ini, HasSubstr("role=follow"));

    choose(rig, "SyncNone1");
    EXPECT_EQ(rig.window.windowTitle(), "untitled[*] - QX375");
    rig.window.loadiniconf();
    EXPECT_TRUE(checked(rig, "SyncMidi1"));
    EXPECT_TRUE(checked(rig, "SyncFollow1"));
}

// A setting no program wrote keeps the program's own time.
TEST(SyncSettings, AnUnknownSettingKeepsTheProgramsOwnTime) {
    UiRig rig;
    IniFile ini("qx375.ini");
    ini.write("sync", "source", "carrier pigeon");
    ini.write("sync", "role", "boss");
    ini.save();
    rig.window.loadiniconf();
    EXPECT_TRUE(checked(rig, "SyncNone1"));
    EXPECT_TRUE(checked(rig, "SyncLead1"));
}

// Chosen without JACK, a sync that needs it leaves playback as it was: the
// play button starts and stops the program's own timer.
TEST(SyncSettings, WithoutJackThePlayButtonPlaysAsBefore) {
    for (const char* source : {"SyncJack1", "SyncMidi1"}) {
        for (const char* role : {"SyncLead1", "SyncFollow1"}) {
            UiRig rig;
            choose(rig, role);
            choose(rig, source);
            rig.press("BitBtnAction");
            EXPECT_TRUE(rig.check("CheckBoxBeat")->isChecked()) << source << " " << role;
            EXPECT_TRUE(rig.window.timer().isEnabled()) << source << " " << role;
            rig.press("BitBtnAction");
            EXPECT_FALSE(rig.window.timer().isEnabled()) << source << " " << role;
        }
    }
}

} // namespace
} // namespace qx375::test
