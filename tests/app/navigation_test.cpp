#include "ui_rig.h"

#include <QClipboard>
#include <QKeyEvent>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;

class NavigationTest : public ::testing::Test, public UiRig {
protected:
    QLineEdit* box() const { return edit("EditNumPattern"); }
};

TEST_F(NavigationTest, KeypadDigitsRollInFromTheRight) {
    const std::pair<int, const char*> steps[] = {{1, "1"}, {2, "12"}, {5, "125"}, {9, "End"}};
    for (const auto& [digit, shown] : steps) {
        window.ButtonPClick(digit);
        EXPECT_EQ(box()->text(), shown);
    }
    EXPECT_EQ(song.get_song_entry(), kEndMarker);
    EXPECT_FALSE(song.pattern(125).empty) << "each number was stored, and started, in turn";
    EXPECT_FALSE(song.pattern(12).empty);

    window.ButtonPClick(5);
    EXPECT_EQ(box()->text(), "0") << "a digit after the End caption";
    box()->setText("");
    window.ButtonPClick(3);
    EXPECT_EQ(box()->text(), "0") << "a digit on an empty box";
}

TEST_F(NavigationTest, PlusAndMinusStopAtTheEnds) {
    window.ButtonEndSongClick();
    press("ButtonPatternPlus");
    EXPECT_EQ(box()->text(), "End");
    press("ButtonPatternMoins");
    EXPECT_EQ(box()->text(), "254");
    press("ButtonPatternPlus");
    EXPECT_EQ(song.get_song_entry(), kEndMarker);
    box()->setText("0");
    window.modified = false;
    press("ButtonPatternMoins");
    EXPECT_EQ(box()->text(), "0");
    EXPECT_TRUE(window.modified);
    EXPECT_TRUE(notifier.shown.empty());

    box()->setText("x");
    press("ButtonPatternPlus");
    EXPECT_THAT(notifier.shown, ElementsAre("'x' is not a valid integer value"));
}

// A number the box already shows is not set again: the selection and the
// cursor stay where the user left them.
TEST_F(NavigationTest, TheKeysLeaveTheTextAloneWhenItStaysTheSame) {
    box()->setText("0");
    box()->selectAll();
    press("ButtonPatternMoins");
    EXPECT_TRUE(box()->hasSelectedText());
    box()->setText("12");
    box()->selectAll();
    window.ButtonPClick(5);
    EXPECT_EQ(box()->text(), "125");
    EXPECT_FALSE(box()->hasSelectedText()) << "a new number is set";
}

TEST_F(NavigationTest, NumberBoxStoresWhatItShows) {
    box()->setText("-5");
    EXPECT_EQ(song.get_song_entry(), 0) << "a negative number counts as 0";
    box()->setText("300");
    EXPECT_EQ(song.get_song_entry(), kEndMarker);
    EXPECT_EQ(box()->text(), "End");
    box()->setText("nd5");
    EXPECT_EQ(song.get_song_entry(), 0);
}

// Whatever the grid shows is the pattern its clicks edit, from the moment a
// number is typed into the box: typing "50" after "5" never leaves pattern 5
// on the grid with pattern 50 at the measure.
TEST_F(NavigationTest, ATypedNumberShowsItsPatternAtOnceAndEveryClickGoesThere) {
    hit(5, 4, 4);
    hit(50, 0, 2);
    window.ButtonPClick(5);
    ASSERT_TRUE(cell(5, 5)->isChecked());
    box()->end(false);
    QTest::keyClick(box(), Qt::Key_0);
    EXPECT_EQ(song.get_song_entry(), 50);
    EXPECT_FALSE(cell(5, 5)->isChecked()) << "the grid shows pattern 50";
    EXPECT_EQ(hihat(3)->item_index(), 0);

    cell(7, 9)->setChecked(true);
    hihat(4)->item(1)->setChecked(true);
    EXPECT_EQ(song.pattern(50).steps[8][6], 1);
    EXPECT_EQ(song.pattern(50).steps[1][3], 1);
    for (int other : {5, 51, 53}) {
        EXPECT_EQ(song.pattern(other).steps[8][6], 0) << other;
        EXPECT_EQ(song.pattern(other).steps[1][3], 0) << other;
    }
    EXPECT_EQ(song.pattern(5).steps[4][4], 1) << "pattern 5 keeps its own hits";

    box()->setText("nd5");
    EXPECT_EQ(song.get_song_entry(), 0);
    EXPECT_EQ(box()->text(), "0") << "what counts as 0 shows as 0";
}

// A never-used pattern starts from the one the measure held; one edited on
// the grid is never wiped by the steps of playback.
TEST_F(NavigationTest, OnlyANewlyChosenUnusedPatternStartsAfresh) {
    song.change_pattern(0, [&](pattern_record& p) { p.size = 20; });
    window.getpatern();
    cell(3, 4)->setChecked(true);
    ASSERT_TRUE(song.is_empty());
    for (int i = 0; i < 3; ++i) {
        window.SpeedButtonNextStepClick();
    }
    EXPECT_EQ(song.get_cell(3, 2), 1);

    window.ButtonPClick(8);
    EXPECT_EQ(song.get_song_entry(), 8);
    EXPECT_EQ(song.get_size(), 20);
    EXPECT_FALSE(song.is_empty());
    EXPECT_EQ(song.get_cell(3, 2), 0);
}

TEST_F(NavigationTest, MeasureKeysStayInsideTheSong) {
    play_mode()->set_item_index(1);
    song.go_to_measure(255);
    place(255, 4);
    press("SpeedButtonForwardPattern");
    EXPECT_EQ(song.get_measure(), 255);

    song.go_to_measure(1);
    song.go_to_step(5);
    press("SpeedButtonBackPattern");
    EXPECT_EQ(song.get_measure(), 1);
    EXPECT_EQ(song.get_step(), 0);

    place(6, kEndMarker);
    song.go_to_measure(6);
    song.go_to_step(5);
    press("SpeedButtonForwardPattern");
    EXPECT_EQ(song.get_measure(), 6) << "the End marker holds the song";
    EXPECT_EQ(song.get_step(), 0);

    press("SpeedButtonBeginSong");
    EXPECT_EQ(song.get_measure(), 1);
    play_mode()->set_item_index(0);
    press("SpeedButtonBeginSong");
    EXPECT_EQ(song.get_measure(), 0);
    press("SpeedButtonBackPattern");
    EXPECT_EQ(song.get_measure(), 0);
}

TEST_F(NavigationTest, NextMeasureOnTheEndMarkerStopsPatternPlayback) {
    press("BitBtnAction");
    place(song.get_measure(), kEndMarker);
    press("SpeedButtonForwardPattern");
    EXPECT_FALSE(window.timer().isEnabled());
    EXPECT_TRUE(check("CheckBoxBeat")->isChecked()) << "the ON box is left as it is";
}

TEST_F(NavigationTest, MeasureAndStepKeysNeverMarkTheSong) {
    play_mode()->set_item_index(1);
    place(2, 7);
    hit(7, 9, 0);
    for (const char* key :
         {"SpeedButtonForwardPattern", "SpeedButtonBackPattern", "SpeedButtonBeginSong",
          "SpeedButtonNextStep", "SpeedButtonPreviousStep", "SpeedButtonStepZero"}) {
        window.modified = false;
        press("SpeedButtonForwardPattern");
        window.modified = false;
        press(key);
        EXPECT_FALSE(window.modified) << key;
    }
}

TEST_F(NavigationTest, StepKeysPlayAndMoveWithoutChangingTheMeasure) {
    song.change_pattern(0, [&](pattern_record& p) { p.size = 16; });
    window.getpatern();
    hit(0, 4, 15);
    hit(0, 5, 0);
    song.go_to_step(15);
    window.SpeedButtonNextStepClick();
    EXPECT_EQ(song.get_step(), 0);
    EXPECT_EQ(edit("EditStep")->text(), "0");
    window.SpeedButtonPreviousStepClick();
    EXPECT_EQ(song.get_step(), 15);
    window.SpeedButtonStepZeroClick();
    EXPECT_EQ(song.get_step(), 0);
    EXPECT_THAT(played(), ElementsAre("b5", "b6", "b6"));
    EXPECT_EQ(song.get_measure(), 1);
}

TEST_F(NavigationTest, StepZeroWhilePlayingASongMovesToTheNextMeasure) {
    play_mode()->set_item_index(1);
    place(1, 2);
    place(2, 3);
    check("CheckBoxBeat")->setChecked(true);
    window.SpeedButtonStepZeroClick();
    EXPECT_EQ(song.get_measure(), 2);
    EXPECT_EQ(window.current_pattern, 3);
}

// The refresh that every key runs first must not disturb what the user has
// selected in the box.
TEST_F(NavigationTest, TypingOverASelectedNumberReplacesItAndCopyingItWorks) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    box()->setText("125");
    box()->setFocus();
    box()->selectAll();
    QTest::keyClick(box(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "125");
    QTest::keyClick(box(), Qt::Key_7);
    EXPECT_EQ(box()->text(), "7");
    EXPECT_EQ(song.get_song_entry(), 7);
}

// A number that changes the song's order is an edit; showing the same number
// again is not.
TEST_F(NavigationTest, ANumberThatChangesTheMeasureMarksTheSong) {
    window.modified = false;
    box()->setText("9");
    EXPECT_TRUE(window.modified);
    window.modified = false;
    box()->setText("09");
    EXPECT_FALSE(window.modified) << "the same pattern";
    for (const char* text : {"$A", "0x1F"}) {
        box()->setText(text);
        EXPECT_EQ(song.get_song_entry(), 0) << text << " is no decimal number";
    }
}

TEST_F(NavigationTest, EnterPressesStartStop) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    box()->setFocus();
    QTest::keyClick(box(), Qt::Key_Return);
    EXPECT_TRUE(check("CheckBoxBeat")->isChecked());
}

} // namespace
} // namespace qx375::test
