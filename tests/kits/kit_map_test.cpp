#include "kits/kit_map.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qx375::test {
namespace {

// The sounds, in kSoundSlots' order.
enum Sound {
    kClosedHat,
    kOpenHat,
    kSnare,
    kKick,
    kHighTom,
    kMidTom,
    kLowTom,
    kRim,
    kCrash,
    kRide,
    kCowbell,
    kRideBell,
    kClap,
    kSplash,
    kChina,
    kWoodBlock,
};

struct MapCase {
    const char* what;
    std::vector<std::pair<std::string, int>> drums;
    // The drum of each sound that takes one; every other sound takes none.
    std::map<Sound, int> mapped;
};

void PrintTo(const MapCase& map, std::ostream* out) {
    *out << map.what;
}

class KitMapTest : public ::testing::TestWithParam<MapCase> {};

TEST_P(KitMapTest, GivesEachSoundItsDrum) {
    kits::Kit kit{"Test", "/kits/test", {}};
    for (const auto& [name, note] : GetParam().drums) {
        kit.instruments.push_back({name, note, "/kits/test/" + name + ".wav"});
    }
    std::array<int, kSounds> expected;
    expected.fill(-1);
    for (const auto& [sound, drum] : GetParam().mapped) {
        expected[sound] = drum;
    }
    EXPECT_EQ(kits::map_kit(kit), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kits, KitMapTest,
    ::testing::Values(
        MapCase{"General MIDI notes",
                {{"a", 36}, {"b", 38}, {"c", 42}, {"d", 44}, {"e", 46}, {"f", 76}, {"g", 53}},
                {{kKick, 0},
                 {kSnare, 1},
                 {kClosedHat, 2},
                 {kOpenHat, 4},
                 {kWoodBlock, 5},
                 {kRideBell, 6}}},
        MapCase{"the second note of a sound",
                {{"a", 35}, {"b", 40}, {"c", 44}},
                {{kKick, 0}, {kSnare, 1}, {kOpenHat, 2}}},
        MapCase{"notes over names", {{"Snare", 36}, {"Kick", 38}}, {{kKick, 0}, {kSnare, 1}}},
        MapCase{"notes first, names for the drums they leave",
                {{"Kick", 36}, {"Kick 2", 36}, {"Crash", 36}},
                {{kKick, 0}, {kCrash, 2}}},
        MapCase{"names without notes",
                {{"Kick", -1},
                 {"Snare Drum", -1},
                 {"HiHat Closed", -1},
                 {"Open Hi-Hat", -1},
                 {"Tom Low", -1},
                 {"HiTom", -1},
                 {"Ride Bell", -1},
                 {"Ride", -1},
                 {"Crash Cymbal", -1},
                 {"Cowbell", -1},
                 {"Hand Clap", -1},
                 {"Splash", -1},
                 {"China", -1},
                 {"Woodblock", -1},
                 {"Rimshot", -1},
                 {"Tom02", -1}},
                {{kKick, 0},
                 {kSnare, 1},
                 {kClosedHat, 2},
                 {kOpenHat, 3},
                 {kLowTom, 4},
                 {kHighTom, 5},
                 {kRideBell, 6},
                 {kRide, 7},
                 {kCrash, 8},
                 {kCowbell, 9},
                 {kClap, 10},
                 {kSplash, 11},
                 {kChina, 12},
                 {kWoodBlock, 13},
                 {kRim, 14},
                 {kMidTom, 15}}},
        MapCase{"names complete what notes leave",
                {{"Snare", 38}, {"BassDrum", 99}, {"snr", -1}},
                {{kSnare, 0}, {kKick, 1}}},
        MapCase{"one drum for two sounds goes to one", {{"Bell", -1}}, {{kCowbell, 0}}},
        MapCase{"the name that fits closest",
                {{"Snare Rim", -1}, {"Snare", -1}},
                {{kSnare, 1}, {kRim, 0}}},
        MapCase{"the word first in the list",
                {{"Ride Cymbal", -1}, {"Splash Cymbal", -1}, {"Cymbal", -1}},
                {{kRide, 0}, {kSplash, 1}, {kCrash, 2}}},
        MapCase{"short words count whole only",
                {{"Bass Drum 2", -1}, {"Bass Drum 1", -1}},
                {{kKick, 0}}},
        MapCase{"counted notes that mean what they count",
                {{"Hat", 42}, {"Low Tom", 43}, {"Pedal", 44}},
                {{kClosedHat, 0}, {kLowTom, 1}, {kOpenHat, 2}}},
        MapCase{"names over notes that only count the drums",
                {{"Snare", 36}, {"Kick", 37}, {"Ride", 38}},
                {{kSnare, 0}, {kKick, 1}, {kRide, 2}}},
        MapCase{"unknown drums", {{"Tambourine", 54}, {"Shaker", -1}, {"", -1}, {"Conga", 63}}, {}},
        MapCase{"an empty kit", {}, {}}));

} // namespace
} // namespace qx375::test
