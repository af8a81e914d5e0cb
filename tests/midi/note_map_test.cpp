#include "midi/note_map.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qx375::midi {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

TEST(NoteMap, StartsWithTheGeneralMidiDrumNotesEachPlayingOneSound) {
    const std::vector<std::vector<int>> expected = {
        {42},     {46, 44}, {38, 40}, {36, 35}, {50, 48}, {47, 45}, {43, 41}, {37},
        {49, 57}, {51, 59}, {56},     {53},     {39},     {55},     {52},     {76, 77},
    };
    const NoteMap map = NoteMap::general_midi();
    std::vector<int> owner(kNotes, -1);
    for (int k = 0; k < kSounds; ++k) {
        EXPECT_THAT(map.notes(k), ElementsAreArray(expected[k])) << "sound " << k;
        EXPECT_EQ(map.out_note(k), expected[k][0]) << "sound " << k;
        for (int note : expected[k]) {
            EXPECT_EQ(owner[note], -1) << "note " << note;
            owner[note] = k;
        }
    }
    const auto table = map.table();
    for (int note = 0; note < kNotes; ++note) {
        EXPECT_EQ(map.sound_of(note), owner[note]) << "note " << note;
        EXPECT_EQ(table[note], owner[note]) << "note " << note;
    }
    EXPECT_EQ(map.sound_of(-1), -1);
    EXPECT_EQ(map.sound_of(128), -1);
    EXPECT_EQ(map.out_note(16), -1);
}

TEST(NoteMap, LearnedNoteIsTheSoundsOnlyOneAndLeavesItsFormerSound) {
    NoteMap map = NoteMap::general_midi();
    map.learn(44, 3);
    EXPECT_THAT(map.notes(3), ElementsAre(44));
    EXPECT_THAT(map.notes(1), ElementsAre(46));
    EXPECT_EQ(map.sound_of(36), -1) << "the bass drum's own notes are let go";
    map.learn(42, 2);
    EXPECT_EQ(map.out_note(0), -1);
    EXPECT_EQ(map.table()[42], 2);

    const NoteMap before = map;
    map.learn(128, 0);
    map.learn(60, 16);
    EXPECT_EQ(map, before);
}

TEST(NoteMapText, ReadsBackEverySoundAndTakesNotesFromOthers) {
    const NoteMap gm = NoteMap::general_midi();
    EXPECT_EQ(gm.notes_text(1), "46 44");
    EXPECT_EQ(NoteMap::key(15), "sound15");
    NoteMap map;
    for (int k = 0; k < kSounds; ++k) {
        EXPECT_TRUE(map.set_notes_text(k, gm.notes_text(k))) << gm.notes_text(k);
    }
    EXPECT_EQ(map, gm);

    EXPECT_TRUE(map.set_notes_text(2, " 38,40 , 38  36,"));
    EXPECT_THAT(map.notes(2), ElementsAre(38, 40, 36));
    EXPECT_THAT(map.notes(3), ElementsAre(35)) << "the key read last wins";
    EXPECT_TRUE(map.set_notes_text(0, "0 127 007 1 2 3 4 5 5"));
    EXPECT_THAT(map.notes(0), ElementsAre(0, 127, 7, 1, 2, 3, 4, 5));
    EXPECT_TRUE(map.set_notes_text(0, ""));
    EXPECT_THAT(map.notes(0), IsEmpty());
}

TEST(NoteMapText, RefusesMalformedTextAndKeepsTheMap) {
    NoteMap map = NoteMap::general_midi();
    const NoteMap before = map;
    const std::vector<std::string> texts = {"-1",
                                            "+5",
                                            "128",
                                            "256",
                                            "4294967338",
                                            "99999999999999999999",
                                            "1.5",
                                            "0x10",
                                            "36;38",
                                            "36\t38",
                                            "36 x",
                                            "1 2 3 4 5 6 7 8 9",
                                            std::string("3\0"
                                                        "6",
                                                        3),
                                            std::string(10000, '9'),
                                            std::string(10000, '#'),
                                            std::string(5000, '1') + " -"};
    for (const std::string& text : texts) {
        EXPECT_FALSE(map.set_notes_text(1, text)) << text.substr(0, 40);
        EXPECT_EQ(map, before) << text.substr(0, 40);
    }
    EXPECT_FALSE(map.set_notes_text(16, "60"));
    EXPECT_EQ(map, before);
}

} // namespace
} // namespace qx375::midi
