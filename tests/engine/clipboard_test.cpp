#include "engine_rig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;

class ClipboardTest : public ::testing::Test, public EngineRig {
protected:
    ClipboardTest() { song.open_sound(1); }

    void show(int pattern) { song.set_song_entry(song.get_measure(), pattern); }
};

TEST_F(ClipboardTest, PasteBeforeAnyCopyChangesNothing) {
    song.set_cell(4, 4, 1);
    const pattern_record before = song.pattern(0);
    song.paste_pattern();
    EXPECT_THAT(notifier.shown, ElementsAre("Nothing to paste"));
    EXPECT_EQ(before, song.pattern(0));
}

TEST_F(ClipboardTest, PasteBringsThePatternAsItWasWhenCopied) {
    show(3);
    song.mark_used();
    song.set_size(16);
    song.set_tempo(99);
    song.set_volume(5, -700);
    song.set_cell(2, 3, 1);
    song.copy_pattern();
    song.set_cell(2, 3, 0);
    song.set_cell(6, 9, 1);

    show(8);
    song.paste_pattern();
    EXPECT_EQ(song.get_size(), 16);
    EXPECT_EQ(song.pattern(8).tempo, 99);
    EXPECT_EQ(song.get_volume(5), -700);
    EXPECT_EQ(song.get_cell(2, 3), 1);
    EXPECT_EQ(song.get_cell(6, 9), 0);
    EXPECT_FALSE(song.is_empty());
}

TEST_F(ClipboardTest, PastingANeverUsedPatternMakesTheTargetNeverUsed) {
    show(40);
    song.copy_pattern();
    show(3);
    song.mark_used();
    song.paste_pattern();
    EXPECT_TRUE(song.is_empty());
}

TEST_F(ClipboardTest, ClearEmptiesEveryCellAndKeepsTheRest) {
    song.set_size(20);
    song.set_pan(7, 300);
    song.set_cell(0, 1, 1);
    song.set_cell(9, 23, 1);
    song.set_cell(31, 0, 1);
    song.clear_pattern();
    for (int t = 0; t < kTracks; ++t) {
        for (int s = 0; s < kSteps; ++s) {
            ASSERT_EQ(song.get_cell(t, s), 0);
        }
    }
    EXPECT_EQ(song.get_size(), 20);
    EXPECT_EQ(song.get_pan(7), 300);
}

TEST_F(ClipboardTest, CopyFromStartsAPatternFromAnotherWithoutItsCells) {
    show(4);
    song.set_size(20);
    song.set_tempo(133);
    song.set_frequency(1, 22050);
    song.set_cell(3, 3, 1);
    show(12);
    ASSERT_TRUE(song.is_empty());
    song.copy_from(4);
    song.mark_used();
    EXPECT_EQ(song.get_size(), 20);
    EXPECT_EQ(song.pattern(12).tempo, 133);
    EXPECT_EQ(song.get_frequency(1), 22050);
    EXPECT_EQ(song.get_cell(3, 3), 0);
    EXPECT_FALSE(song.is_empty());
    EXPECT_EQ(song.pattern(4).steps[3][3], 1);
}

} // namespace
} // namespace qx375::test
