#include "kit_rig.h"
#include "kits/kit_map.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qx375::test {
namespace {

using kits::KitFault;

class ReadKitTest : public ::testing::Test, public KitRig {
protected:
    ReadKitTest() { wav("kick.wav"); }
    void write_kit(const std::string& file = "drumkit.xml") const {
        text(file, drumkit_xml("Folder kit", instrument("Kick", 36, "kick.wav")));
    }
};

TEST_F(ReadKitTest, AKitIsReadFromItsFolderOrItsFile) {
    write_kit();
    for (const fs::path& path : {kit, fs::path(kit.string() + "/"), kit / "drumkit.xml",
                                 fs::relative(kit / "drumkit.xml")}) {
        const kits::KitReading reading = read(path);
        ASSERT_TRUE(reading) << path << ": " << reading.detail;
        EXPECT_EQ(reading.kit.name, "Folder kit") << path;
        EXPECT_EQ(reading.kit.folder, fs::canonical(kit)) << path;
    }
    EXPECT_TRUE(fs::is_empty(scratch));
}

TEST_F(ReadKitTest, AFolderIsReadByItsDrumkitXmlWhateverItsCaseThenItsOneSfz) {
    write_kit("DrumKit.XML");
    text("other.sfz", "<region> sample=kick.wav key=36");
    EXPECT_EQ(read(kit).kit.name, "Folder kit");
    fs::remove(kit / "DrumKit.XML");
    EXPECT_EQ(read(kit).kit.name, "other");
    text("second.SFZ", "<region> sample=kick.wav key=36");
    EXPECT_EQ(read(kit).fault, KitFault::not_a_kit);
    EXPECT_EQ(read(kit).detail, "kit");
}

TEST_F(ReadKitTest, WhatHoldsNoKitIsRefused) {
    EXPECT_EQ(read(kit).fault, KitFault::not_a_kit);
    EXPECT_EQ(read(dir.write_text("kit.zip", "PK")).fault, KitFault::not_a_kit);
    EXPECT_EQ(read("/dev/null").fault, KitFault::not_a_kit);
    const kits::KitReading missing = read(dir.path() / "missing.h2drumkit");
    EXPECT_EQ(missing.fault, KitFault::unreadable);
    EXPECT_EQ(missing.detail, "missing.h2drumkit");
}

// Debian's hydrogen-drumkits, where installed: every kit reads, each of its
// samples lies inside it, and some of its drums find a sound.
TEST(DebianKitsTest, EveryInstalledKitReads) {
    const fs::path kits_folder = "/usr/share/hydrogen/data/drumkits";
    std::error_code ec;
    if (!fs::is_directory(kits_folder, ec)) {
        GTEST_SKIP() << "hydrogen-drumkits is not installed";
    }
    TempDir scratch;
    int read_kits = 0;
    for (const auto& entry : fs::directory_iterator(kits_folder)) {
        if (!fs::exists(entry.path() / "drumkit.xml")) {
            continue;
        }
        const kits::KitReading reading = kits::read_kit(entry.path(), scratch.path());
        ASSERT_TRUE(reading) << entry.path() << ": " << static_cast<int>(reading.fault) << " "
                             << reading.detail;
        EXPECT_FALSE(reading.kit.instruments.empty()) << entry.path();
        for (const kits::KitInstrument& drum : reading.kit.instruments) {
            EXPECT_TRUE(fs::is_regular_file(drum.sample)) << drum.sample;
            EXPECT_FALSE(drum.sample.lexically_relative(reading.kit.folder).begin()->string() ==
                         "..")
                << drum.sample;
        }
        const std::array<int, kSounds> mapped = kits::map_kit(reading.kit);
        EXPECT_TRUE(std::ranges::any_of(mapped, [](int drum) { return drum >= 0; }))
            << entry.path();
        ++read_kits;
    }
    EXPECT_GT(read_kits, 0);
}

} // namespace
} // namespace qx375::test
