#include "kit_rig.h"
#include "kits/drumkit_xml.h"

#include <gtest/gtest.h>

namespace qx375::test {
namespace {

using kits::KitFault;

class DrumkitXmlTest : public ::testing::Test, public KitRig {
protected:
    kits::KitReading read_text(std::string_view text) const {
        return read(this->text("drumkit.xml", text));
    }
};

// A kit as newer versions write it: namespaces, components, velocity layers
// and elements of no concern to us; the drums of old kits beside them.
TEST_F(DrumkitXmlTest, ReadsNamesNotesAndTheLoudestLayers) {
    for (const char* file : {"kick soft.wav", "kick hard.wav", "snare.wav", "old.wav"}) {
        wav(file);
    }
    const kits::KitReading reading = read_text(R"(<?xml version="1.0" encoding="UTF-8"?>
<drumkit_info xmlns="http://www.hydrogen-music.org/drumkit">
 <name>Layered</name>
 <author>Someone</author>
 <info>&lt;p&gt;Notes&lt;/p&gt;</info>
 <componentList><drumkitComponent><id>0</id><name>Main</name></drumkitComponent></componentList>
 <instrumentList>
  <instrument>
   <id>0</id><name>Kick &amp; Co</name><volume>1</volume><midiOutNote>36</midiOutNote>
   <instrumentComponent><component_id>0</component_id><gain>0.2</gain>
    <layer><filename>kick soft.wav</filename><min>0</min><max>0.5</max><gain>1</gain></layer>
    <layer><filename>kick hard.wav</filename><min>0.5</min><max>1</max><gain>1</gain></layer>
   </instrumentComponent>
  </instrument>
  <instrument><name>Snare</name><midiOutNote>loud</midiOutNote>
   <layer><filename>snare.wav</filename></layer></instrument>
  <instrument><name>Silent</name><midiOutNote>40</midiOutNote></instrument>
  <instrument><name>Gone</name><filename>missing.wav</filename></instrument>
  <instrument><name>Old</name><midiOutNote>200</midiOutNote><filename>old.wav</filename></instrument>
 </instrumentList>
</drumkit_info>
)");
    ASSERT_TRUE(reading) << reading.detail;
    EXPECT_EQ(reading.kit.name, "Layered");
    EXPECT_EQ(reading.kit.folder, fs::canonical(kit));
    ASSERT_EQ(reading.kit.instruments.size(), 3u);
    const auto& drums = reading.kit.instruments;
    EXPECT_EQ(drums[0].name, "Kick & Co");
    EXPECT_EQ(drums[0].note, 36);
    EXPECT_EQ(drums[0].sample, reading.kit.folder / "kick hard.wav");
    EXPECT_EQ(drums[1].name, "Snare");
    EXPECT_EQ(drums[1].note, -1);
    EXPECT_EQ(drums[1].sample, reading.kit.folder / "snare.wav");
    EXPECT_EQ(drums[2].name, "Old");
    EXPECT_EQ(drums[2].note, -1);
    EXPECT_EQ(drums[2].sample, reading.kit.folder / "old.wav");
}

TEST_F(DrumkitXmlTest, AKitWithoutANameTakesItsFolders) {
    wav("kick.wav");
    const kits::KitReading reading = read_text(drumkit_xml("", instrument("Kick", 36, "kick.wav")));
    ASSERT_TRUE(reading) << reading.detail;
    EXPECT_EQ(reading.kit.name, "kit");
}

struct LayerCase {
    const char* what;
    std::string layers;
    const char* loudest;
};

void PrintTo(const LayerCase& layers, std::ostream* out) {
    *out << layers.what;
}

std::string layer(std::string_view file, std::string_view max, std::string_view gain) {
    std::string out = "<layer><filename>" + std::string(file) + "</filename>";
    if (!max.empty()) {
        out += "<min>0</min><max>" + std::string(max) + "</max>";
    }
    if (!gain.empty()) {
        out += "<gain>" + std::string(gain) + "</gain>";
    }
    return out + "</layer>";
}

class LoudestLayerTest : public DrumkitXmlTest, public ::testing::WithParamInterface<LayerCase> {};

TEST_P(LoudestLayerTest, IsTheSampleOfTheDrum) {
    for (const char* file : {"a.wav", "b.wav", "c.wav"}) {
        wav(file);
    }
    const kits::KitReading reading = read_text(drumkit_xml(
        "Layers", "<instrument><name>Hat</name>" + GetParam().layers + "</instrument>"));
    ASSERT_TRUE(reading) << reading.detail;
    ASSERT_EQ(reading.kit.instruments.size(), 1u);
    EXPECT_EQ(reading.kit.instruments[0].sample.filename(), GetParam().loudest);
}

INSTANTIATE_TEST_SUITE_P(
    Layers, LoudestLayerTest,
    ::testing::Values(LayerCase{"highest velocity",
                                layer("a.wav", "0.3", "1") + layer("b.wav", "1", "0.5") +
                                    layer("c.wav", "0.6", "2"),
                                "b.wav"},
                      LayerCase{"then highest gain",
                                layer("a.wav", "1", "0.5") + layer("b.wav", "1", "0.9"), "b.wav"},
                      LayerCase{"first of equals",
                                layer("a.wav", "1", "1") + layer("b.wav", "1.0", "1"), "a.wav"},
                      LayerCase{"unwritten velocity is full",
                                layer("a.wav", "", "") + layer("b.wav", "0.7", "3"), "a.wav"},
                      LayerCase{"unreadable numbers are full",
                                layer("a.wav", "0.9", "1") + layer("b.wav", "nan", "x"), "b.wav"},
                      LayerCase{"loudest that exists",
                                layer("gone.wav", "1", "1") + layer("c.wav", "0.2", "1"),
                                "c.wav"}));

struct SamplePath {
    std::string written;
    KitFault fault;
    // The sample taken, relative to the kit's folder; else the detail.
    std::string expected;
};

void PrintTo(const SamplePath& path, std::ostream* out) {
    *out << path.written;
}

class SamplePathTest : public DrumkitXmlTest, public ::testing::WithParamInterface<SamplePath> {
protected:
    SamplePathTest() {
        wav("Samples/Kick.wav");
        dir.write("outside.wav", simple_wav(ramp(8)));
        fs::create_symlink(dir.path() / "outside.wav", kit / "out.wav");
        fs::create_symlink(kit / "Samples", kit / "Linked");
    }
};

TEST_P(SamplePathTest, LiesInsideTheKitOrIsRefused) {
    std::string written = GetParam().written;
    if (written.starts_with("<dir>")) {
        written.replace(0, 5, dir.path().string());
    }
    const kits::KitReading reading =
        read_text(drumkit_xml("Paths", instrument("Kick", 36, written)));
    EXPECT_EQ(reading.fault, GetParam().fault);
    if (GetParam().fault == KitFault::none) {
        ASSERT_EQ(reading.kit.instruments.size(), 1u);
        EXPECT_EQ(reading.kit.instruments[0].sample, fs::canonical(kit) / GetParam().expected);
    } else {
        EXPECT_EQ(reading.detail, GetParam().fault == KitFault::no_samples ? "" : written);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SamplePathTest,
    ::testing::Values(SamplePath{"Samples/Kick.wav", KitFault::none, "Samples/Kick.wav"},
                      SamplePath{"Samples\\Kick.wav", KitFault::none, "Samples/Kick.wav"},
                      SamplePath{"samples/KICK.WAV", KitFault::none, "Samples/Kick.wav"},
                      SamplePath{"./Samples/../Samples/Kick.wav", KitFault::none,
                                 "Samples/Kick.wav"},
                      SamplePath{"Linked/Kick.wav", KitFault::none, "Samples/Kick.wav"},
                      SamplePath{"../outside.wav", KitFault::sample_outside_kit, ""},
                      SamplePath{"Samples\\..\\..\\outside.wav", KitFault::sample_outside_kit, ""},
                      SamplePath{"<dir>/outside.wav", KitFault::sample_outside_kit, ""},
                      SamplePath{"C:\\Drums\\Kick.wav", KitFault::sample_outside_kit, ""},
                      SamplePath{"out.wav", KitFault::sample_outside_kit, ""},
                      SamplePath{"Samples/Snare.wav", KitFault::no_samples, ""},
                      SamplePath{"Samples", KitFault::no_samples, ""},
                      SamplePath{"", KitFault::no_samples, ""}));

TEST_F(DrumkitXmlTest, ADrumOutsideTheKitIsDroppedAndTheRestKept) {
    wav("kick.wav");
    dir.write("outside.wav", simple_wav(ramp(8)));
    const kits::KitReading reading = read_text(drumkit_xml(
        "Mixed", instrument("Out", 38, "../outside.wav") + instrument("Kick", 36, "kick.wav")));
    ASSERT_TRUE(reading) << reading.detail;
    ASSERT_EQ(reading.kit.instruments.size(), 1u);
    EXPECT_EQ(reading.kit.instruments[0].name, "Kick");
}

struct HostileXml {
    const char* what;
    std::string text;
    KitFault fault;
    std::string detail;
};

void PrintTo(const HostileXml& xml, std::ostream* out) {
    *out << xml.what;
}

class HostileXmlTest : public DrumkitXmlTest, public ::testing::WithParamInterface<HostileXml> {};

TEST_P(HostileXmlTest, IsRefused) {
    wav("kick.wav");
    const kits::KitReading reading = read_text(GetParam().text);
    EXPECT_EQ(reading.fault, GetParam().fault);
    EXPECT_EQ(reading.detail, GetParam().detail);
    EXPECT_TRUE(reading.kit.instruments.empty());
}

std::string billion_laughs() {
    std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE drumkit_info [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        text += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) {
            text += "&l" + std::to_string(i - 1) + ";";
        }
        text += "\">";
    }
    return text + "]>\n<drumkit_info><name>&l9;</name></drumkit_info>\n";
}

std::string many_drums(int count) {
    std::string drums;
    for (int i = 0; i < count; ++i) {
        drums += "<instrument/>\n";
    }
    return drumkit_xml("Many", drums);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, HostileXmlTest,
    ::testing::Values(
        HostileXml{"entities expanding a billion times", billion_laughs(), KitFault::bad_xml, "2"},
        HostileXml{"external entity",
                   "<?xml version=\"1.0\"?>\n"
                   "<!DOCTYPE drumkit_info [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
                   "<drumkit_info><name>&x;</name></drumkit_info>\n",
                   KitFault::bad_xml, "2"},
        HostileXml{"undeclared entity", drumkit_xml("&x;", ""), KitFault::bad_xml, "3"},
        HostileXml{"mismatched tags", "<drumkit_info>\n<name>x</nam>\n</drumkit_info>",
                   KitFault::bad_xml, "2"},
        HostileXml{"cut short",
                   drumkit_xml("Kit", instrument("Kick", 36, "kick.wav")).substr(0, 90),
                   KitFault::bad_xml, "5"},
        HostileXml{"empty", "", KitFault::bad_xml, "1"},
        HostileXml{"another document", "<song><name>x</name></song>", KitFault::not_a_kit,
                   "drumkit.xml"},
        HostileXml{"a hundred thousand drums", many_drums(100'000), KitFault::too_many_instruments,
                   std::to_string(5 + kits::kMaxKitDrums)},
        HostileXml{"over four megabytes",
                   drumkit_xml("Big", instrument("Kick", 36, "kick.wav")) + "<!--" +
                       std::string(4 << 20, ' ') + "-->",
                   KitFault::too_large, "drumkit.xml"}));

TEST_F(DrumkitXmlTest, AsManyDrumsAsTheLimitAreRead) {
    wav("kick.wav");
    std::string drums;
    for (std::size_t i = 0; i < kits::kMaxKitDrums; ++i) {
        drums += instrument("Kick", 36, "kick.wav");
    }
    const kits::KitReading reading = read_text(drumkit_xml("Full", drums));
    ASSERT_TRUE(reading) << reading.detail;
    EXPECT_EQ(reading.kit.instruments.size(), kits::kMaxKitDrums);
}

} // namespace
} // namespace qx375::test
