#include "kit_rig.h"
#include "kits/sfz.h"

#include <gtest/gtest.h>

#include <optional>

namespace qx375::test {
namespace {

using kits::KitFault;

struct NoteName {
    const char* text;
    std::optional<int> note;
};

class SfzNoteTest : public ::testing::TestWithParam<NoteName> {};

TEST_P(SfzNoteTest, IsReadAsAMidiNote) {
    EXPECT_EQ(kits::sfz_note(GetParam().text), GetParam().note);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SfzNoteTest,
    ::testing::Values(NoteName{"60", 60}, NoteName{" 36 ", 36}, NoteName{"c4", 60},
                      NoteName{"C4", 60}, NoteName{"c#3", 49}, NoteName{"C#3", 49},
                      NoteName{"db2", 37}, NoteName{"bb3", 58}, NoteName{"b3", 59},
                      NoteName{"c-1", 0}, NoteName{"g9", 127}, NoteName{"g#9", std::nullopt},
                      NoteName{"cb-1", std::nullopt}, NoteName{"128", std::nullopt},
                      NoteName{"-1", std::nullopt}, NoteName{"h4", std::nullopt},
                      NoteName{"c", std::nullopt}, NoteName{"c4x", std::nullopt},
                      NoteName{"", std::nullopt}));

struct Drum {
    std::string name;
    int note;
    std::string sample;
    bool operator==(const Drum&) const = default;
};

void PrintTo(const Drum& drum, std::ostream* out) {
    *out << drum.name << " " << drum.note << " " << drum.sample;
}

struct SfzCase {
    const char* what;
    std::string text;
    std::vector<Drum> drums;
};

void PrintTo(const SfzCase& sfz, std::ostream* out) {
    *out << sfz.what;
}

class SfzTest : public ::testing::TestWithParam<SfzCase>, public KitRig {
protected:
    SfzTest() {
        for (const char* file : {"kick.wav", "snare.wav", "tom.wav", "hat soft.wav", "hat hard.wav",
                                 "Samples/Kick Drum 01.wav"}) {
            wav(file);
        }
    }
};

TEST_P(SfzTest, GivesOneDrumPerKey) {
    const kits::KitReading reading = read(text("Drums.sfz", GetParam().text));
    ASSERT_TRUE(reading) << reading.detail;
    EXPECT_EQ(reading.kit.name, "Drums");
    std::vector<Drum> drums;
    for (const kits::KitInstrument& drum : reading.kit.instruments) {
        drums.push_back(
            {drum.name, drum.note, drum.sample.lexically_relative(reading.kit.folder).string()});
    }
    EXPECT_EQ(drums, GetParam().drums);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SfzTest,
    ::testing::Values(
        SfzCase{"numbers and names",
                "<region> sample=kick.wav key=36\n<region>sample=snare.wav key=d2\n",
                {{"kick", 36, "kick.wav"}, {"snare", 38, "snare.wav"}}},
        SfzCase{
            "a key range", "<region> sample=tom.wav lokey=45 hikey=47", {{"tom", 45, "tom.wav"}}},
        SfzCase{"blanks in a path before an opcode",
                "<region> sample=Samples/Kick Drum 01.wav key=36",
                {{"Kick Drum 01", 36, "Samples/Kick Drum 01.wav"}}},
        SfzCase{"blanks in a path to the end of its line",
                "<region> key=36 sample=Samples\\Kick Drum 01.wav   \r\n",
                {{"Kick Drum 01", 36, "Samples/Kick Drum 01.wav"}}},
        SfzCase{"default path",
                "<control> default_path=Samples\\\n<region> sample=Kick Drum 01.wav key=36",
                {{"Kick Drum 01", 36, "Samples/Kick Drum 01.wav"}}},
        SfzCase{"inherited opcodes",
                "<global> lovel=1 <master> <group> sample=kick.wav\n"
                "<region> key=36\n<region> key=35 sample=snare.wav",
                {{"kick", 36, "kick.wav"}, {"snare", 35, "snare.wav"}}},
        SfzCase{"a new group forgets the last",
                "<group> sample=kick.wav\n<group> key=38\n<region> sample=snare.wav\n<region>",
                {{"snare", 38, "snare.wav"}}},
        SfzCase{"a new global forgets the groups",
                "<group> sample=kick.wav <global> <region> key=36 <region> key=38 sample=snare.wav",
                {{"snare", 38, "snare.wav"}}},
        SfzCase{"comments",
                "// <region> sample=kick.wav key=36\n/* <region> sample=tom.wav\nkey=40 */"
                "<region> sample=snare.wav key=38 // trailing\n/* never closed <region>",
                {{"snare", 38, "snare.wav"}}},
        SfzCase{"loudest velocity layer",
                "<region> sample=hat soft.wav key=42 lovel=1 hivel=64\n"
                "<region> sample=hat hard.wav key=42 lovel=65 hivel=127\n"
                "<region> sample=hat soft.wav key=42 lovel=1 hivel=100\n",
                {{"hat hard", 42, "hat hard.wav"}}},
        SfzCase{
            "velocity up to 127 unless written",
            "<region> sample=hat hard.wav key=42\n<region> sample=hat soft.wav key=42 hivel=126",
            {{"hat hard", 42, "hat hard.wav"}}},
        SfzCase{"regions without keys are skipped",
                "<region> sample=kick.wav\n<region> sample=snare.wav key=38 <region> "
                "sample=tom.wav key=-1",
                {{"snare", 38, "snare.wav"}}},
        SfzCase{"labels name drums",
                "<group> group_label=Bass Drum\n<region> sample=kick.wav key=36\n"
                "<region> region_label=Rim sample=snare.wav key=37",
                {{"Bass Drum", 36, "kick.wav"}, {"Rim", 37, "snare.wav"}}},
        SfzCase{"generated sounds and other headers",
                "<region> sample=*sine key=60 <curve> sample=tom.wav key=40\n"
                "<region> sample=kick.wav key=36 <effect> key=1 sample=tom.wav",
                {{"kick", 36, "kick.wav"}}},
        SfzCase{"directives are not followed",
                "#define $KICK 36\n#include \"other.sfz\"\n<region> sample=kick.wav key=36",
                {{"kick", 36, "kick.wav"}}},
        SfzCase{"garbage around opcodes",
                "stray <region> words = sample=kick.wav key=36 <unclosed\n=x",
                {{"kick", 36, "kick.wav"}}}));

TEST(SfzKitTest, AFileOfNoRegionsIsNoKitAndRegionsOfNoSamplesHaveNone) {
    KitRig rig;
    rig.wav("kick.wav");
    const kits::KitReading none = rig.read(rig.text("none.sfz", "<group> sample=kick.wav key=36"));
    EXPECT_EQ(none.fault, KitFault::not_a_kit);
    EXPECT_EQ(none.detail, "none.sfz");
    const kits::KitReading keyless = rig.read(rig.text("keyless.sfz", "<region> sample=kick.wav"));
    EXPECT_EQ(keyless.fault, KitFault::no_samples);
}

} // namespace
} // namespace qx375::test
