#include "midi/note_offs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace qx375::midi {
namespace {

using ::testing::ElementsAre;
using Sent = std::tuple<std::uint64_t, std::uint8_t, std::uint8_t, std::uint8_t>;

struct Wire {
    std::vector<Sent> sent;
    void operator()(std::uint64_t frame, std::uint8_t status, std::uint8_t note,
                    std::uint8_t velocity) {
        sent.emplace_back(frame, status, note, velocity);
    }
};

TEST(NoteOffs, EveryNoteEndsAFixedTimeLaterEarliestFirst) {
    NoteOffs offs;
    offs.set_length(100);
    Wire wire;
    offs.note_on(10, 36, 127, wire);
    offs.note_on(50, 38, 90, wire);
    offs.note_on(300, 42, 1, wire);
    offs.until(400, wire);
    EXPECT_THAT(wire.sent, ElementsAre(Sent{10, kNoteOn, 36, 127}, Sent{50, kNoteOn, 38, 90},
                                       Sent{110, kNoteOff, 36, 0}, Sent{150, kNoteOff, 38, 0},
                                       Sent{300, kNoteOn, 42, 1}));
    EXPECT_TRUE(offs.sounding(42)) << "it ends at 400, not before";
}

TEST(NoteOffs, ANoteAgainEndsTheOneBeforeAndStoppingEndsThemAll) {
    NoteOffs offs;
    offs.set_length(1000);
    Wire wire;
    offs.note_on(0, 36, 100, wire);
    offs.note_on(20, 36, 110, wire);
    offs.note_on(30, 46, 120, wire);
    offs.end_all(40, wire);
    offs.until(5000, wire);
    EXPECT_THAT(wire.sent, ElementsAre(Sent{0, kNoteOn, 36, 100}, Sent{20, kNoteOff, 36, 0},
                                       Sent{20, kNoteOn, 36, 110}, Sent{30, kNoteOn, 46, 120},
                                       Sent{40, kNoteOff, 36, 0}, Sent{40, kNoteOff, 46, 0}));
}

} // namespace
} // namespace qx375::midi
