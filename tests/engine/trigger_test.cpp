#include "engine_rig.h"
#include "util/error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TriggerTest : public ::testing::Test, public EngineRig {
protected:
    TriggerTest() { open_with_all_sounds(); }
};

TEST_F(TriggerTest, EachSetCellRestartsItsSoundLowestTrackFirst) {
    song.set_cell(7, 4, 1);
    song.set_cell(3, 4, 1);
    song.set_cell(20, 4, 1); // kept, never played
    song.play_step(4);
    EXPECT_THAT(log.calls, ElementsAre("b4.Stop", "b4.SetCurrentPosition(0)", "b4.Play(0,0,0)",
                                       "b8.Stop", "b8.SetCurrentPosition(0)", "b8.Play(0,0,0)"));
}

TEST_F(TriggerTest, StepsWithoutHitsAndCellsOtherThanOneMakeNoCall) {
    song.set_cell(5, 2, 2);
    song.set_cell(6, 2, 255);
    song.play_step(2);
    song.play_step(3);
    song.play_step(24);
    song.play_step(-1);
    EXPECT_THAT(log.calls, IsEmpty());
}

TEST_F(TriggerTest, EitherHiHatSilencesBoth) {
    song.set_cell(0, 0, 1);
    song.set_cell(1, 2, 1);
    song.play_step(0);
    song.play_step(2);
    const std::vector<std::string> choke = {"b1.Stop", "b1.SetCurrentPosition(0)", "b2.Stop",
                                            "b2.SetCurrentPosition(0)"};
    std::vector<std::string> expected = choke;
    expected.push_back("b1.Play(0,0,0)");
    expected.insert(expected.end(), choke.begin(), choke.end());
    expected.push_back("b2.Play(0,0,0)");
    EXPECT_EQ(log.calls, expected);
}

TEST_F(TriggerTest, RefusedPlayStopsTheStepWhereItFailed) {
    song.set_size(16);
    song.set_cell(2, 6, 1);
    song.set_cell(5, 6, 1);
    song.set_cell(9, 6, 1);
    song.go_to_step(6);
    log.refuse["b6.Play"] = DSERR_GENERIC;
    try {
        song.advance(1);
        FAIL() << "the refusal must be raised";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Erreur sur Play canal 5");
    }
    EXPECT_THAT(log.calls, ElementsAre("b3.Stop", "b3.SetCurrentPosition(0)", "b3.Play(0,0,0)",
                                       "b6.Stop", "b6.SetCurrentPosition(0)", "b6.Play(0,0,0)"));
    EXPECT_EQ(song.get_step(), 6) << "the next tick tries the same step again";
}

TEST_F(TriggerTest, AuditionStopsAndPlaysWithoutRewinding) {
    song.play_sound(12);
    EXPECT_THAT(log.calls, ElementsAre("b13.Stop", "b13.Play(0,0,0)"));
    log.refuse["Play"] = DSERR_GENERIC;
    try {
        song.play_sound(3);
        FAIL() << "the refusal must be raised";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Erreur sur Play");
    }
}

} // namespace
} // namespace qx375::test
