#include "app/close_on_signal.h"
#include "ui_rig.h"

#include <QScreen>
#include <QTest>
#include <QWindow>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

namespace qx375::test {
namespace {

class ShellTest : public ::testing::Test, public UiRig {};

TEST_F(ShellTest, TheWindowOpensInTheMiddleOfItsScreen) {
    window.show();
    const QRect area = window.screen()->availableGeometry();
    ASSERT_TRUE(area.contains(window.frameGeometry())) << "the test screen holds the window";
    EXPECT_LE((window.frameGeometry().center() - area.center()).manhattanLength(), 2);
}

class SignalTest : public ShellTest, public ::testing::WithParamInterface<int> {};

// Ctrl+C, kill and a lost terminal take the path of the close box.
TEST_P(SignalTest, ClosesTheWindow) {
    CloseOnSignal close_on_signal(window);
    window.show();
    ASSERT_TRUE(window.isVisible());
    std::raise(GetParam());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, 2000));
}

INSTANTIATE_TEST_SUITE_P(Each, SignalTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

// A second signal while the save question waits for its answer stops the
// program: the changes are in a recovery file, which the next start offers.
TEST_F(ShellTest, StoppedBeforeAnAnswerTheChangesComeBackAtTheNextStart) {
    window.show();
    hit(0, 6, 4);
    window.modified = true;
    prompts.while_asking = [&] {
        EXPECT_TRUE(window.closing());
        window.stop_now();
    };
    prompts.answers.push_back(Answer::cancel); // the box that the stop closes
    EXPECT_FALSE(window.close_on_signal());
    prompts.while_asking = nullptr;
    const std::filesystem::path kept = dir.path() / "recovered.drm";
    ASSERT_TRUE(std::filesystem::exists(kept));

    Program next(output, prompts, system);
    prompts.answers.push_back(Answer::yes);
    next.window.FormActivate();
    EXPECT_THAT(prompts.asked.back(), ::testing::HasSubstr("a new song were kept"));
    EXPECT_EQ(next.song.pattern(0).steps[6][4], 1);
    EXPECT_TRUE(next.window.modified) << "still to be saved";
    EXPECT_FALSE(std::filesystem::exists(kept));
}

// Changes kept beside a named song; an answered question drops them.
TEST_F(ShellTest, AnAnsweredQuestionLeavesNoRecoveryFile) {
    edit("EditFileName")->setText((dir.path() / "mine.drm").c_str());
    window.show();
    hit(0, 6, 4);
    window.modified = true;
    bool kept_while_asking = false;
    prompts.while_asking = [&] {
        kept_while_asking = std::filesystem::exists(dir.path() / "mine.recovered.drm");
    };
    prompts.answers.push_back(Answer::no);
    EXPECT_TRUE(window.close_on_signal());
    EXPECT_TRUE(kept_while_asking) << "kept before the question, in case of a kill";
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "mine.recovered.drm"));
}

// The help window is the main window's: Qt does not count a window that
// belongs to another when it asks whether the last one has closed, so
// closing the main window with the help open ends the program.
TEST_F(ShellTest, TheHelpWindowBelongsToTheMainWindow) {
    window.show();
    help.show();
    ASSERT_NE(help.windowHandle(), nullptr);
    EXPECT_EQ(help.windowHandle()->transientParent(), window.windowHandle());
    EXPECT_TRUE(help.isWindow());
}

} // namespace
} // namespace qx375::test
