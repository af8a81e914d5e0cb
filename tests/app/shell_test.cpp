#include "app/close_on_signal.h"
#include "ui_rig.h"

#include <QScreen>
#include <QTest>
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

} // namespace
} // namespace qx375::test
