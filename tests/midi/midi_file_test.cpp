#include "midi/midi_file.h"
#include "midi/performance.h"
#include "support/smf_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string_view>
#include <tuple>
#include <vector>

namespace qx375::midi {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;

// (tick, status, note, velocity) of a track's notes.
std::vector<std::tuple<std::uint32_t, int, int, int>> notes_of(const test::SmfTrack& track) {
    std::vector<std::tuple<std::uint32_t, int, int, int>> out;
    for (const test::SmfEvent& e : track.channel_messages()) {
        out.emplace_back(e.tick, e.status, e.data.at(0), e.data.at(1));
    }
    return out;
}

TEST(MidiFile, IsATypeOneFileWithAConductorAndNamedDrumTracksByteForByte) {
    MidiFile file;
    file.title = "t";
    file.tempi = {{0, 500000}};
    file.tracks = {{"Snare", {{0, 38, 100}, {70, 38, 127}}}};
    file.note_ticks = 35;
    file.end_tick = 210;
    const Bytes expected = {
        'M',  'T',  'h',  'd',  0,    0,    0,    6,        // the header
        0,    1,    0,    2,    0x01, 0xA4,                 // type 1, 2 tracks, 420 ticks a quarter
        'M',  'T',  'r',  'k',  0,    0,    0,    25,       // the conductor
        0,    0xFF, 0x03, 1,    't',                        // title
        0,    0xFF, 0x58, 4,    4,    2,    24,   8,        // 4/4
        0,    0xFF, 0x51, 3,    0x07, 0xA1, 0x20,           // 500000 us a quarter
        0x81, 0x52, 0xFF, 0x2F, 0,                          // ends at 210
        'M',  'T',  'r',  'k',  0,    0,    0,    29,       // the snare
        0,    0xFF, 0x03, 5,    'S',  'n',  'a',  'r', 'e', // its name
        0,    0x99, 38,   100,  35,   0x89, 38,   0,        // channel 10
        35,   0x99, 38,   127,  35,   0x89, 38,   0,        //
        105,  0xFF, 0x2F, 0,                                // ends at 210 too
    };
    EXPECT_THAT(standard_midi_file(file), ElementsAreArray(expected));
}

TEST(MidiFile, NotesEndBeforeTheSameNoteAgainAndComeInTickOrderWhateverIsGiven) {
    MidiFile file;
    file.note_ticks = 35;
    file.tempi = {{100, 0}, {0, 0x2000000}};
    file.tracks = {{"Kit", {{10, 38, 90}, {0, 38, 0}, {10, 38, 120}, {5, 36, 64}, {60, 200, 255}}}};
    const test::Smf smf = test::read_smf(standard_midi_file(file));
    ASSERT_TRUE(smf.valid);
    ASSERT_EQ(smf.tracks.size(), 2u);
    EXPECT_EQ(smf.tracks[1].name(), "Kit");
    EXPECT_THAT(notes_of(smf.tracks[1]),
                ElementsAre(std::tuple(0u, 0x99, 38, 1),    // velocity 0 would end it
                            std::tuple(5u, 0x99, 36, 64),   //
                            std::tuple(10u, 0x89, 38, 0),   // cut by the next hit
                            std::tuple(10u, 0x99, 38, 120), // the louder of two on one tick
                            std::tuple(40u, 0x89, 36, 0),   //
                            std::tuple(45u, 0x89, 38, 0),   //
                            std::tuple(60u, 0x99, 72, 127), // a note MIDI can carry
                            std::tuple(95u, 0x89, 72, 0)));
    // Tempi in tick order, each within the three bytes it has.
    std::vector<std::uint32_t> tempi;
    for (const test::SmfEvent& e : smf.tracks[0].events) {
        if (e.type == 0x51) {
            tempi.push_back(e.tick);
            tempi.push_back(
                static_cast<std::uint32_t>(e.data[0] << 16 | e.data[1] << 8 | e.data[2]));
        }
    }
    EXPECT_THAT(tempi, ElementsAre(0u, 0xFFFFFFu, 100u, 1u));
}

// A rate of 1000 frames a second puts frames and milliseconds on one count.
// Pattern A, 14 steps of 50 ms, then B, 16 steps of 40 ms: the tick of A's
// last step sets B's interval, as the window's does, so that step lasts 40 ms.
Performance two_patterns() {
    Performance played(1000);
    for (int s = 0; s < 14; ++s) {
        played.step(50 * s, s == 13 ? 40 : 50, 14);
    }
    for (int s = 0; s < 16; ++s) {
        played.step(690 + 40 * s, 40, 16);
    }
    played.step(1290, 99, 16); // not later than the step before: ignored
    return played;
}

TEST(Performance, EachPatternIsABarAndEachStepLastsItsIntervalThroughTheTempoMap) {
    Performance played = two_patterns();
    played.hit(0, 2, 38, 127);
    played.hit(650, 0, 42, 127);
    played.hit(690, 2, 38, 100);
    played.hit(1290, 20, 60, 127);
    played.hit(710, 2, 38, 127); // half a step in
    constexpr std::array<std::string_view, 3> names = {"Closed hi-hat", "Open hi-hat", "Snare"};
    const MidiFile file = played.file(names);

    std::vector<std::pair<std::uint32_t, std::uint32_t>> tempi;
    for (const FileTempo& t : file.tempi) {
        tempi.emplace_back(t.tick, t.microseconds_per_quarter);
    }
    EXPECT_THAT(tempi,
                ElementsAre(std::pair(0u, 14u * 50 * 250), std::pair(13u * 120, 14u * 40 * 250),
                            std::pair(1680u, 16u * 40 * 250)));
    EXPECT_EQ(file.end_tick, 2u * 1680);
    ASSERT_EQ(file.tracks.size(), 3u);
    EXPECT_EQ(file.tracks[0].name, "Closed hi-hat");
    EXPECT_EQ(file.tracks[1].name, "Snare");
    EXPECT_EQ(file.tracks[2].name, "Sound 21");
    std::vector<std::uint32_t> snare;
    for (const FileNote& n : file.tracks[1].notes) {
        snare.push_back(n.tick);
    }
    EXPECT_THAT(snare, ElementsAre(0u, 1680u, 1733u)); // 52.5 ticks into the step, rounded

    // Read back, every hit on a step sounds on its frame to the microsecond.
    const test::Smf smf = test::read_smf(standard_midi_file(file));
    ASSERT_TRUE(smf.valid);
    const auto ms_of = [&](std::uint32_t tick) { return smf.seconds_at(tick) * 1000; };
    EXPECT_NEAR(ms_of(13 * 120), 650, 1e-3);
    EXPECT_NEAR(ms_of(1680), 690, 1e-3);
    EXPECT_NEAR(ms_of(1680 + 15 * 105), 1290, 1e-3);
    EXPECT_NEAR(ms_of(1733), 710, 0.5);
}

TEST(Performance, EveryPatternSizeHasItsStepsOnWholeTicks) {
    for (int size : {14, 15, 16, 20, 21, 24}) {
        SCOPED_TRACE(size);
        Performance played(44100);
        const int interval = 400 * 18 / size;
        for (int s = 0; s <= size; ++s) {
            played.step(static_cast<std::uint64_t>(s) * interval * 441 / 10, interval, size);
            played.hit(static_cast<std::uint64_t>(s) * interval * 441 / 10, 3, 36, 127);
        }
        const MidiFile file = played.file({});
        ASSERT_EQ(file.tracks.size(), 1u);
        EXPECT_EQ(file.tracks[0].notes.at(static_cast<std::size_t>(size)).tick, kFileTicksPerBar);
        EXPECT_EQ(file.tempi.size(), 1u);
        EXPECT_EQ(file.tempi[0].microseconds_per_quarter,
                  static_cast<std::uint32_t>(size * interval * 250));
    }
}

} // namespace
} // namespace qx375::midi
