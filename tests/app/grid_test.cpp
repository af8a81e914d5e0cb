#include "ui_rig.h"

#include <QFrame>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

class GridTest : public ::testing::Test, public UiRig {};

void click_indicator(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

TEST_F(GridTest, ClickingACellWritesItAndMarksTheSongModified) {
    window.show();
    place(1, 4);
    window.modified = false;
    click_indicator(cell(7, 12));
    EXPECT_EQ(song.pattern(4).steps[11][6], 1) << "row 12 is track 11, column 7 step 6";
    EXPECT_TRUE(window.modified);
    click_indicator(cell(7, 12));
    EXPECT_EQ(song.pattern(4).steps[11][6], 0);
}

// A choice is an edit of the song; a refresh that shows the same cells is not.
TEST_F(GridTest, HiHatChoiceWritesBothCellsAndMarksTheSong) {
    struct Choice {
        int item, closed, open;
    };
    for (const Choice& c : {Choice{1, 0, 1}, Choice{0, 1, 0}, Choice{2, 0, 0}}) {
        window.modified = false;
        hihat(5)->item(c.item)->click();
        EXPECT_EQ(song.get_cell(0, 4), c.closed) << c.item;
        EXPECT_EQ(song.get_cell(1, 4), c.open) << c.item;
        EXPECT_TRUE(window.modified) << c.item;
    }
    hit(0, 0, 7);
    window.getpatern();
    window.modified = false;
    window.getpatern();
    EXPECT_FALSE(window.modified) << "a refresh that changes no cell";
    EXPECT_EQ(hihat(5)->item_index(), -1) << "neither hi-hat shows no item";
    EXPECT_EQ(hihat(8)->item_index(), 0);
}

TEST_F(GridTest, RefreshShowsThePatternAndKeepsOneHiHatPerStep) {
    place(1, 9);
    hit(9, 0, 2);
    hit(9, 1, 2); // both, as only a song file can hold them
    hit(9, 1, 3);
    hit(9, 5, 20);
    song.change_pattern(9, [&](pattern_record& p) { p.steps[6][1] = 2; }); // not a hit
    window.getpatern();
    EXPECT_EQ(hihat(3)->item_index(), 0);
    EXPECT_EQ(song.pattern(9).steps[1][2], 0) << "the open hi-hat of that step is dropped";
    EXPECT_EQ(hihat(4)->item_index(), 1);
    EXPECT_EQ(hihat(1)->item_index(), -1);
    EXPECT_TRUE(cell(21, 6)->isChecked());
    EXPECT_FALSE(cell(2, 7)->isChecked());
    EXPECT_EQ(edit("EditNumMesure")->text(), "1");
}

TEST_F(GridTest, RefreshMarksTheSongModifiedOnlyWhenABoxChanges) {
    window.getpatern();
    window.modified = false;
    window.getpatern();
    EXPECT_FALSE(window.modified);
    hit(0, 4, 4);
    window.getpatern();
    EXPECT_TRUE(window.modified);
}

TEST_F(GridTest, SizesLayTheGridOutAndKeepHiddenCells) {
    hit(0, 3, 20);
    window.getpatern();
    sizes()->set_item_index(0);
    EXPECT_EQ(song.get_size(), 14);
    EXPECT_TRUE(cell(15, 3)->isHidden());
    EXPECT_TRUE(hihat(24)->isHidden());
    EXPECT_FALSE(cell(14, 16)->isHidden());
    EXPECT_FALSE(find<QLabel>("Label18")->isHidden()) << "the step labels stay";
    auto* progress = find<QProgressBar>("ProgressTime");
    EXPECT_EQ(progress->width(), 330);
    EXPECT_EQ(progress->maximum(), 14);

    sizes()->set_item_index(5);
    EXPECT_FALSE(cell(21, 4)->isHidden());
    EXPECT_EQ(progress->width(), 565);
    EXPECT_EQ(song.get_cell(3, 20), 1);
    EXPECT_TRUE(cell(21, 4)->isChecked());
}

TEST_F(GridTest, ClipboardButtonsAndMenuItems) {
    hit(0, 8, 8);
    song.change_pattern(0, [&](pattern_record& p) { p.size = 16; });
    press("BitBtnCopier");
    place(1, 2);
    window.current_pattern = 2;
    press("BitBtnColler");
    EXPECT_EQ(song.pattern(2).size, 16);
    EXPECT_EQ(sizes()->item_index(), 2);
    EXPECT_TRUE(cell(9, 9)->isChecked());
    window.findChild<QAction*>("Effacer1")->trigger();
    EXPECT_EQ(song.pattern(2).steps[8][8], 0);
    EXPECT_FALSE(cell(9, 9)->isChecked());
}

// A frame lies over the column of the step last played, moved by each step,
// and goes when playback stops; clicks go through it to the cells.
TEST_F(GridTest, AFrameMarksTheColumnPlaying) {
    auto* frame = find<QFrame>("PlayingColumn");
    EXPECT_FALSE(frame->isVisibleTo(&window));
    check("CheckBoxBeat")->setChecked(true);
    for (int step = 0; step < 3; ++step) {
        window.execute(1, window.timer().sender());
        EXPECT_TRUE(frame->isVisibleTo(&window));
        EXPECT_TRUE(frame->geometry().contains(hihat(step + 1)->geometry()));
        EXPECT_TRUE(frame->geometry().contains(cell(step + 1, kFirstRow)->geometry()));
        EXPECT_TRUE(frame->geometry().contains(cell(step + 1, kLastRow)->geometry()));
        EXPECT_FALSE(frame->geometry().contains(cell(step + 2, kLastRow)->geometry()));
    }
    EXPECT_TRUE(frame->testAttribute(Qt::WA_TransparentForMouseEvents));
    check("CheckBoxBeat")->setChecked(false);
    EXPECT_FALSE(frame->isVisibleTo(&window));
}

} // namespace
} // namespace qx375::test
