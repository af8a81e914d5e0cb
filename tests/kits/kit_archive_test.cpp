#include "kit_rig.h"
#include "kits/kit_archive.h"

#include <gtest/gtest.h>

#include <random>

namespace qx375::test {
namespace {

using kits::KitFault;
using Kind = Member::Kind;

const std::string kEscape = "qx375-kit-escape.wav";

std::string sample_bytes(std::size_t size = 8) {
    const Bytes wav = simple_wav(ramp(size));
    return {wav.begin(), wav.end()};
}

const std::string& kit_text() {
    static const std::string text = drumkit_xml("Packed", instrument("Kick", 36, "kick.wav") +
                                                              instrument("Snare", 38, "snare.wav"));
    return text;
}

std::vector<Member> kit_members(const std::string& top) {
    return {{top + "drumkit.xml", kit_text()},
            {top + "kick.wav", sample_bytes()},
            {top + "snare.wav", sample_bytes()}};
}

class KitArchiveTest : public ::testing::Test, public KitRig {
protected:
    fs::path archive(const std::vector<Member>& members, const std::string& name = "kit.h2drumkit",
                     bool gzip = true) const {
        const fs::path file = dir.path() / name;
        write_archive(file, members, gzip);
        return file;
    }

    // Whatever an archive held, nothing of it landed beside the scratch
    // folder, above it, or at an absolute path it named.
    void expect_nothing_escaped() const {
        for (const fs::path& folder : {dir.path(), dir.path().parent_path(), fs::path("/tmp")}) {
            EXPECT_FALSE(fs::exists(folder / kEscape)) << folder;
        }
    }
};

struct ArchiveName {
    const char* name;
    bool gzip;
};

class KitArchiveNameTest : public KitArchiveTest,
                           public ::testing::WithParamInterface<ArchiveName> {};

TEST_P(KitArchiveNameTest, ReadsTheKitInItsTopFolder) {
    const kits::KitReading reading =
        read(archive(kit_members("Packed/"), GetParam().name, GetParam().gzip));
    ASSERT_TRUE(reading) << reading.detail;
    const fs::path folder = fs::canonical(scratch / "Packed");
    EXPECT_EQ(reading.kit.name, "Packed");
    EXPECT_EQ(reading.kit.folder, folder);
    ASSERT_EQ(reading.kit.instruments.size(), 2u);
    EXPECT_EQ(reading.kit.instruments[0].sample, folder / "kick.wav");
    EXPECT_EQ(reading.kit.instruments[1].sample, folder / "snare.wav");
}

INSTANTIATE_TEST_SUITE_P(Names, KitArchiveNameTest,
                         ::testing::Values(ArchiveName{"Packed.h2drumkit", true},
                                           ArchiveName{"Packed.TAR.GZ", true},
                                           ArchiveName{"Packed.tgz", true},
                                           ArchiveName{"Packed.tar", false}));

TEST_F(KitArchiveTest, AKitMayLieAtTheTopOfItsArchive) {
    const kits::KitReading reading = read(archive(kit_members("./")));
    ASSERT_TRUE(reading) << reading.detail;
    EXPECT_EQ(reading.kit.folder, fs::canonical(scratch));
    EXPECT_EQ(reading.kit.instruments.size(), 2u);
}

struct Hostile {
    const char* what;
    std::vector<Member> members;
    KitFault fault;
    std::string detail;
};

void PrintTo(const Hostile& hostile, std::ostream* out) {
    *out << hostile.what;
}

class HostileArchiveTest : public KitArchiveTest, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileArchiveTest, IsRefusedAndWritesNothingOutsideScratch) {
    std::vector<Member> members = kit_members("Kit/");
    members.insert(members.end(), GetParam().members.begin(), GetParam().members.end());
    const kits::KitReading reading = read(archive(members));
    EXPECT_EQ(reading.fault, GetParam().fault);
    EXPECT_EQ(reading.detail, GetParam().detail);
    EXPECT_TRUE(reading.kit.instruments.empty());
    expect_nothing_escaped();
}

INSTANTIATE_TEST_SUITE_P(
    Members, HostileArchiveTest,
    ::testing::Values(
        Hostile{"parent", {{"../../" + kEscape, "x"}}, KitFault::unsafe_member, "../../" + kEscape},
        Hostile{"parent within",
                {{"Kit/../../" + kEscape, "x"}},
                KitFault::unsafe_member,
                "Kit/../../" + kEscape},
        Hostile{"absolute", {{"/tmp/" + kEscape, "x"}}, KitFault::unsafe_member, "/tmp/" + kEscape},
        Hostile{"symbolic link",
                {{"Kit/hat.wav", "", Kind::symbolic_link, "/etc/passwd"}},
                KitFault::unsafe_member,
                "Kit/hat.wav"},
        Hostile{"file through a linked folder",
                {{"Kit/out", "", Kind::symbolic_link, ".."}, {"Kit/out/" + kEscape, "x"}},
                KitFault::unsafe_member,
                "Kit/out"},
        Hostile{"hard link",
                {{"Kit/hat.wav", "", Kind::hard_link, "Kit/kick.wav"}},
                KitFault::unsafe_member,
                "Kit/hat.wav"},
        Hostile{
            "device", {{"Kit/hat.wav", "", Kind::device}}, KitFault::unsafe_member, "Kit/hat.wav"},
        Hostile{"long name shown in part",
                {{"../" + std::string(1000, 'a'), "x"}},
                KitFault::unsafe_member,
                "../" + std::string(197, 'a')},
        Hostile{"second kit", kit_members("Other/"), KitFault::not_a_kit, "kit.h2drumkit"}));

TEST_F(KitArchiveTest, EntriesPastTheLimitAreRefused) {
    std::vector<Member> members = kit_members("Kit/");
    for (int i = 0; members.size() <= kits::ArchiveLimits{}.entries; ++i) {
        members.push_back(
            {"Kit/empty/" + std::to_string(i), "", i == 0 ? Kind::folder : Kind::file});
    }
    const kits::KitReading reading = read(archive(members));
    EXPECT_EQ(reading.fault, KitFault::too_many_entries);
    EXPECT_EQ(reading.detail, members.back().path);
}

TEST_F(KitArchiveTest, AMemberClaimingATerabyteIsRefusedAtItsHeader) {
    const fs::path file = dir.path() / "huge.h2drumkit";
    GzipWriter out(file);
    out.write(tar_header("Kit/huge.wav", std::int64_t{1} << 40));
    out.write(std::string(1 << 16, 'x'));
    out.finish();
    const kits::KitReading reading = read(file);
    EXPECT_EQ(reading.fault, KitFault::too_large);
    EXPECT_EQ(reading.detail, "Kit/huge.wav");
    EXPECT_EQ(bytes_below(scratch), 0u);
}

// Two gigabytes of zeros in a file of two megabytes: refused before they
// are unpacked, and the kit's file before them kept only in scratch.
TEST_F(KitArchiveTest, GigabytesOfZerosAreRefused) {
    const fs::path file = dir.path() / "bomb.h2drumkit";
    GzipWriter out(file);
    out.write(tar_header("Kit/drumkit.xml", static_cast<std::int64_t>(kit_text().size())));
    out.write(kit_text() + std::string((512 - kit_text().size() % 512) % 512, '\0'));
    out.write(tar_header("Kit/zeros.wav", std::int64_t{2} << 30));
    out.zeros(1 << 20, 2048);
    out.write(std::string(1024, '\0'));
    out.finish();
    ASSERT_LT(fs::file_size(file), 8u << 20);

    const kits::KitReading reading = read(file);
    EXPECT_EQ(reading.fault, KitFault::too_large);
    EXPECT_EQ(reading.detail, "Kit/zeros.wav");
    EXPECT_EQ(bytes_below(scratch), kit_text().size());
}

// The bytes are counted as they are decompressed: the member that passes
// the total stops there, and its part is not kept.
TEST_F(KitArchiveTest, UnpackingStopsAtTheByteThatPassesTheTotal) {
    std::vector<Member> members;
    for (const char* name : {"Kit/a.wav", "Kit/b.wav", "Kit/c.wav", "Kit/d.wav"}) {
        members.push_back({name, std::string(300 << 10, '\0')});
    }
    const fs::path file = archive(members);
    const kits::ArchiveLimits limits{.member_bytes = 1 << 20, .total_bytes = 1 << 20};
    const kits::Unpacking unpacked = kits::unpack_archive(file, scratch, limits);
    EXPECT_EQ(unpacked.fault, KitFault::too_large);
    EXPECT_EQ(unpacked.detail, "Kit/d.wav");
    EXPECT_EQ(bytes_below(scratch), 3u * (300 << 10));
    EXPECT_FALSE(fs::exists(scratch / "Kit/d.wav"));

    const kits::Unpacking one = kits::unpack_archive(file, scratch, {.member_bytes = 200 << 10});
    EXPECT_EQ(one.fault, KitFault::too_large);
    EXPECT_EQ(one.detail, "Kit/a.wav");
}

TEST_F(KitArchiveTest, ABrokenArchiveIsRefused) {
    const fs::path junk = dir.write_text("junk.h2drumkit", "not an archive at all");
    EXPECT_EQ(read(junk).fault, KitFault::not_a_kit);
    EXPECT_EQ(read(junk).detail, "junk.h2drumkit");

    // Cut short within a sample that does not compress.
    std::vector<Member> members = kit_members("Kit/");
    std::minstd_rand random;
    std::string noise(1 << 20, '\0');
    for (char& byte : noise) {
        byte = static_cast<char>(random() >> 7);
    }
    members.push_back({"Kit/noise.wav", noise});
    const fs::path cut = archive(members);
    fs::resize_file(cut, fs::file_size(cut) / 2);
    const kits::KitReading reading = read(cut);
    EXPECT_EQ(reading.fault, KitFault::unreadable);
    EXPECT_EQ(reading.detail, "Kit/noise.wav");
}

} // namespace
} // namespace qx375::test
