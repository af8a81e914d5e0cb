#include "engine_rig.h"
#include "support/file_size_limit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::string_literals;

constexpr std::size_t kRecordBytes = 3 + kTracks * (10 + kSteps);

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> files_in(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class SongFileTest : public ::testing::Test, public EngineRig {
protected:
    SongFileTest() {
        open_with_all_sounds();
        song.clear_song();
    }

    std::string path(const std::string& name) const { return (dir.path() / name).string(); }

    // A song with something in every part of the file.
    void make_song() {
        for (int i = 0; i < kPatterns; ++i) {
            song.song[i] = (i * 7) % 256;
            pattern_record& p = song.patterns[i];
            p.tempo = 40 + i;
            p.size = i % 2 ? 16 : 21;
            p.volume[i % kTracks] = -(i * 39);
            p.pan[(i + 3) % kTracks] = i * 78 - 10000;
            p.frequency[(i + 5) % kTracks] = 100 + i * 390;
            p.steps[i % kTracks][i % kSteps] = 1;
        }
    }
};

TEST_F(SongFileTest, AClearedSongHasTheKnownLayout) {
    ASSERT_TRUE(song.save_drm(path("clear.drm")));
    const std::string file = read_all(path("clear.drm"));
    std::string record = "\xB4\x18";
    record.push_back('\0');
    for (int t = 0; t < kTracks; ++t) {
        record += "0l10000l0l" + std::string(kSteps, '\0');
    }
    ASSERT_EQ(record.size(), kRecordBytes);
    std::string expected;
    for (int i = 0; i < kPatterns; ++i) {
        expected += record;
    }
    ASSERT_EQ(expected.size(), 279296u);
    expected += "\n";
    for (int k = 0; k < kSounds; ++k) {
        expected += sample(k) + "\n";
    }
    EXPECT_EQ(file, expected);
}

TEST_F(SongFileTest, SavingWritesNumbersUnsignedAndNormalisesTheSong) {
    pattern_record& p = song.patterns[0];
    p.volume[0] = -10000;
    p.pan[0] = -10000;
    p.frequency[0] = 44100;
    p.frequency[1] = 50;
    p.volume[2] = -20000;
    p.pan[2] = 12345;
    p.size = 17;
    p.tempo = 360;
    ASSERT_TRUE(song.save_drm(path("n.drm")));
    const std::string file = read_all(path("n.drm"));
    EXPECT_EQ(file.substr(0, 2), "\x68\x18") << "tempo 360 keeps its low byte, size 17 is 24";
    EXPECT_EQ(file.substr(3, 19), "4294957296l0l44100l");
    EXPECT_EQ(file.substr(3 + 19 + 24, 10), "0l10000l0l") << "frequency 50 is written as 0";
    EXPECT_EQ(file.substr(3 + 19 + 24 + 34, 19), "4294957296l20000l0l");
    EXPECT_EQ(p.size, 24);
    EXPECT_EQ(p.frequency[1], 0);
    EXPECT_EQ(p.volume[2], -10000);
    EXPECT_EQ(p.pan[2], 10000);

    p.tempo = 0;
    ASSERT_TRUE(song.load_drm(path("n.drm")));
    EXPECT_EQ(p.tempo, 104);
    EXPECT_EQ(p.volume[0], -10000);
    EXPECT_EQ(p.pan[0], -10000);
    EXPECT_EQ(p.frequency[0], 44100);
}

TEST_F(SongFileTest, RoundTripIsByteIdentical) {
    make_song();
    song.set_sample_file(4, "s4.wav");
    dir.write("kit dir/a snare.wav", simple_wav(ramp(8)));
    song.set_sample_file(2, "kit dir/a snare.wav");
    ASSERT_TRUE(song.save_drm(path("a.drm")));
    const auto saved = song.patterns;

    song.clear_song();
    song.set_sample_file(2, "s0.wav");
    ASSERT_TRUE(song.load_drm(path("a.drm")));
    EXPECT_EQ(song.get_sample_file(2), "kit dir/a snare.wav");
    for (int i = 0; i < kPatterns; ++i) {
        EXPECT_EQ(song.song[i], (i * 7) % 256);
        EXPECT_EQ(song.patterns[i].steps, saved[i].steps);
        EXPECT_EQ(song.patterns[i].volume, saved[i].volume);
        EXPECT_EQ(song.patterns[i].pan, saved[i].pan);
        EXPECT_EQ(song.patterns[i].frequency, saved[i].frequency);
    }
    ASSERT_TRUE(song.save_drm(path("b.drm")));
    EXPECT_EQ(read_all(path("a.drm")), read_all(path("b.drm")));
    EXPECT_THAT(notifier.shown, IsEmpty());
}

TEST_F(SongFileTest, ReaderCorrectsWhatItReads) {
    ASSERT_TRUE(song.save_drm(path("c.drm")));
    std::string file = read_all(path("c.drm"));
    file[1] = 17;     // size
    file[3 + 10] = 2; // first cell of track 0
    // The volume of the very last track is no number. Like scanf, the reader
    // then fails on the pan and the frequency too and takes the bad bytes as
    // cells, so the damage is put where nothing else follows.
    const std::size_t last_track = 255 * kRecordBytes + 3 + 31 * 34;
    file.replace(last_track, 2, "x1");
    dir.write_text("c.drm", file);
    song.patterns[255].volume[31] = -300;
    song.patterns[0].empty = 1;
    song.patterns[1].empty = 1;
    ASSERT_TRUE(song.load_drm(path("c.drm")));
    const pattern_record& p = song.patterns[0];
    EXPECT_EQ(p.size, 24);
    EXPECT_EQ(p.steps[0][0], 1);
    EXPECT_EQ(p.empty, 0) << "a set cell marks the pattern used";
    EXPECT_EQ(song.patterns[1].empty, 1) << "a pattern without cells keeps its flag";
    EXPECT_EQ(song.patterns[255].volume[31], -300) << "an unreadable number keeps the volume";
    EXPECT_EQ(song.patterns[255].pan[31], -10000) << "and makes the pan hard left";
}

// Numbers are read as strtoul reads them: a sign is taken, and a negative
// number wraps to the same 32 bits a signed field gives back.
TEST_F(SongFileTest, SignedNumbersReadAsTheCLibraryReadsThem) {
    song.patterns[0].steps[4][3] = 1;
    ASSERT_TRUE(song.save_drm(path("signs.drm")));
    std::string file = read_all(path("signs.drm"));
    const std::string tracks[] = {
        "-600l+5l+22050l",       // volume, pan and frequency with their signs
        "+0l-600l-100l",         // a negative pan is hard left; a negative frequency is 0
        " \t-50l10000l0l",       // white space before the sign
        "-99999999999l10000l0l", // too large: all bits set, whatever the sign
    };
    // From the last track back, so the earlier offsets still hold.
    for (std::size_t j = std::size(tracks); j-- > 0;) {
        file.replace(3 + j * 34, 10, tracks[j]);
    }
    dir.write_text("signs.drm", file);
    pattern_record& p = song.patterns[0];
    p.volume[1] = -300;
    p.pan[1] = 5000;
    ASSERT_TRUE(song.load_drm(path("signs.drm")));
    EXPECT_EQ(p.volume[0], -600);
    EXPECT_EQ(p.pan[0], -9995);
    EXPECT_EQ(p.frequency[0], 22050);
    EXPECT_EQ(p.volume[1], 0) << "+0 is a number";
    EXPECT_EQ(p.pan[1], -10000);
    EXPECT_EQ(p.frequency[1], 0);
    EXPECT_EQ(p.volume[2], -50);
    EXPECT_EQ(p.volume[3], -1);
    EXPECT_EQ(p.frequency[3], 0);
    EXPECT_EQ(p.steps[4][3], 1) << "the tracks after them read as before";
    EXPECT_EQ(std::count(p.steps[3].begin(), p.steps[3].end(), 1), 0);
}

TEST_F(SongFileTest, ASignWithoutDigitsIsNoNumberAndStaysUnread) {
    ASSERT_TRUE(song.save_drm(path("sign.drm")));
    std::string file = read_all(path("sign.drm"));
    const std::size_t last_track = 255 * kRecordBytes + 3 + 31 * 34;
    file.replace(last_track, 2, "-l");
    dir.write_text("sign.drm", file);
    song.patterns[255].volume[31] = -300;
    ASSERT_TRUE(song.load_drm(path("sign.drm")));
    const pattern_record& p = song.patterns[255];
    EXPECT_EQ(p.volume[31], -300);
    EXPECT_EQ(p.pan[31], -10000);
    // Every number failed on the sign, so the cells start with it: the whole
    // text "-l10000l0l" became cells.
    EXPECT_EQ(std::count(p.steps[31].begin(), p.steps[31].end(), 1), 10);
}

TEST_F(SongFileTest, ASampleNameEndsAtANulByte) {
    ASSERT_TRUE(song.save_drm(path("nul.drm")));
    std::string file = read_all(path("nul.drm"));
    file.resize(279296 + 1);
    file += "s9.wav\0junk\ns8.wav\0\n"s;
    dir.write_text("nul.drm", file);
    notifier.shown.clear();
    ASSERT_TRUE(song.load_drm(path("nul.drm")));
    EXPECT_EQ(song.get_sample_file(0), "s9.wav");
    EXPECT_EQ(song.get_sample_file(1), "s8.wav");
    EXPECT_EQ(song.get_sample_file(2), "s2.wav") << "a name without a line keeps the old one";
    EXPECT_THAT(notifier.shown, IsEmpty());
}

// Names are bytes, whatever their encoding. One longer than a name may be is
// cut to 255 bytes; the sound whose file that no longer names is named, and
// keeps the sample it had.
TEST_F(SongFileTest, SampleNamesAreBytesOfAtMost255) {
    const std::string latin = "caf\xE9 \x92.wav";
    const std::string too_long = std::string(300, 'n') + ".wav";
    dir.write(latin, simple_wav(ramp(8)));
    ASSERT_TRUE(song.save_drm(path("n.drm")));
    std::string file = read_all(path("n.drm"));
    file.resize(279296 + 1);
    dir.write_text("n.drm", file + latin + "\n" + too_long + "\n");
    notifier.shown.clear();
    ASSERT_TRUE(song.load_drm(path("n.drm")));
    EXPECT_EQ(song.get_sample_file(0), latin);
    EXPECT_EQ(song.get_sample_file(1), too_long.substr(0, 255));
    EXPECT_EQ(song.get_sample_file(2), "s2.wav");
    EXPECT_THAT(notifier.shown, ElementsAre("Sons non chargés :\n2 : " + too_long.substr(0, 255)));
    ASSERT_TRUE(song.save_drm(path("again.drm")));
    EXPECT_NE(read_all(path("again.drm")).find("\n" + latin + "\n"), std::string::npos);
}

TEST_F(SongFileTest, FilesThatCannotBeReadWholeLeaveTheSongAsItWas) {
    make_song();
    song.set_sample_file(3, "s5.wav");
    ASSERT_TRUE(song.save_drm(path("good.drm")));
    const std::string good = read_all(path("good.drm"));
    const auto patterns = song.patterns;
    const auto order = song.song;
    const std::string huge = dir.write_text("huge.drm", good);
    std::filesystem::resize_file(huge, (std::uintmax_t{64} << 20) + 1);
    const std::vector<std::string> bad = {
        huge,
        "missing.drm",
        dir.write_text("empty.drm", ""),
        dir.write_text("short.drm", good.substr(0, 279296 / 2)),
        dir.write_text("cut.drm", good.substr(0, 279296 - 5)),
        dir.write_text("garbage.drm", std::string(5000, 'Z')),
    };
    for (const std::string& file : bad) {
        EXPECT_FALSE(song.load_drm(file)) << file;
        EXPECT_EQ(song.patterns, patterns) << file;
        EXPECT_EQ(song.song, order) << file;
        EXPECT_EQ(song.get_sample_file(3), "s5.wav") << file;
    }
    EXPECT_FALSE(song.load_drm(dir.path().string())) << "a folder";
}

TEST_F(SongFileTest, ShortNameListKeepsTheOtherNamesAndFailedSamplesAreNamed) {
    ASSERT_TRUE(song.save_drm(path("names.drm")));
    std::string file = read_all(path("names.drm"));
    file.resize(279296 + 1);
    file += "s9.wav\nnowhere.wav\ns7.wav";
    dir.write_text("names.drm", file);
    dir.write_text("s7.wav", "not a wave");
    notifier.shown.clear();
    ASSERT_TRUE(song.load_drm(path("names.drm")));
    EXPECT_EQ(song.get_sample_file(0), "s9.wav");
    EXPECT_EQ(song.get_sample_file(1), "nowhere.wav");
    EXPECT_EQ(song.get_sample_file(2), "s7.wav");
    EXPECT_EQ(song.get_sample_file(3), "s3.wav");
    EXPECT_EQ(song.get_sample_file(15), "s15.wav");
    EXPECT_THAT(notifier.shown, ElementsAre("paramètre invalide",
                                            "Sons non chargés :\n2 : nowhere.wav\n3 : s7.wav"));
}

TEST_F(SongFileTest, FailedSavesKeepTheOldFile) {
    ASSERT_TRUE(song.save_drm(path("keep.drm")));
    const std::string before = read_all(path("keep.drm"));
    make_song();
    EXPECT_FALSE(song.save_drm(path("no such folder/x.drm")));
    EXPECT_FALSE(song.save_drm("/dev/full")) << "a device with no room";

    // A disk that fills up half way through the file.
    {
        const FileSizeLimit full(100000);
        EXPECT_FALSE(song.save_drm(path("keep.drm")));
    }
    EXPECT_EQ(read_all(path("keep.drm")), before);
    EXPECT_EQ(files_in(dir.path()).size(), kSounds + 1u) << "no temporary file left";

    if (geteuid() != 0) {
        std::filesystem::create_directory(path("ro"));
        std::filesystem::permissions(path("ro"), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
        EXPECT_FALSE(song.save_drm(path("ro/x.drm")));
    }
}

TEST_F(SongFileTest, SavingThroughALinkUpdatesTheFileItNames) {
    ASSERT_TRUE(song.save_drm(path("real.drm")));
    std::filesystem::create_symlink(path("real.drm"), path("link.drm"));
    make_song();
    ASSERT_TRUE(song.save_drm(path("link.drm")));
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.drm")));
    EXPECT_EQ(read_all(path("real.drm")), read_all(path("link.drm")));
}

} // namespace
} // namespace qx375::test
