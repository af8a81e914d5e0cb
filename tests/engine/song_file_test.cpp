#include "engine_rig.h"
#include "support/file_size_limit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
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

    // Where the volume of a track starts in the file of a cleared song, whose
    // every track is "0l10000l0l" and 24 cells.
    static std::size_t cleared_track(int pattern, int track) {
        return static_cast<std::size_t>(pattern) * kRecordBytes + 3 +
               static_cast<std::size_t>(track) * 34;
    }

    // Loading the file fails for `status` and changes nothing: not a pattern,
    // not the song order, not a sample name, not a sound.
    void expect_refused(const std::string& file, const FileStatus& status) {
        const auto patterns = std::make_unique<std::array<pattern_record, kPatterns>>(song.bank());
        const auto order = song.song_order();
        const auto names = song.sample_names();
        log.calls.clear();
        notifier.shown.clear();
        EXPECT_EQ(song.load_drm(file), status);
        EXPECT_TRUE(song.bank() == *patterns);
        EXPECT_EQ(song.song_order(), order);
        EXPECT_EQ(song.sample_names(), names);
        EXPECT_THAT(log.calls, IsEmpty());
        EXPECT_THAT(notifier.shown, IsEmpty());
    }

    // A song with something in every part of the file.
    void make_song() {
        for (int i = 0; i < kPatterns; ++i) {
            song.set_song_entry(i, (i * 7) % 256);
            song.change_pattern(i, [&](pattern_record& p) {
                p.tempo = 40 + i;
                p.size = i % 2 ? 16 : 21;
                p.volume[i % kTracks] = -(i * 39);
                p.pan[(i + 3) % kTracks] = i * 78 - 10000;
                p.frequency[(i + 5) % kTracks] = 100 + i * 390;
                p.steps[i % kTracks][i % kSteps] = 1;
            });
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
    song.change_pattern(0, [](pattern_record& p) {
        p.volume[0] = -10000;
        p.pan[0] = -10000;
        p.frequency[0] = 44100;
        p.frequency[1] = 50;
        p.volume[2] = -20000;
        p.pan[2] = 12345;
        p.size = 17;
        p.tempo = 360;
    });
    const pattern_record& p = song.pattern(0);
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

    song.change_pattern(0, [](pattern_record& r) { r.tempo = 0; });
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
    const auto saved = song.bank();

    song.clear_song();
    song.set_sample_file(2, "s0.wav");
    ASSERT_TRUE(song.load_drm(path("a.drm")));
    EXPECT_EQ(song.get_sample_file(2), "kit dir/a snare.wav");
    for (int i = 0; i < kPatterns; ++i) {
        EXPECT_EQ(song.get_song_entry(i), (i * 7) % 256);
        EXPECT_EQ(song.pattern(i).steps, saved[i].steps);
        EXPECT_EQ(song.pattern(i).volume, saved[i].volume);
        EXPECT_EQ(song.pattern(i).pan, saved[i].pan);
        EXPECT_EQ(song.pattern(i).frequency, saved[i].frequency);
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
    // Mix values outside their ranges, from the last track back so that the
    // earlier offsets still hold.
    file.replace(cleared_track(0, 2), 10, "4294957000l0l50l");
    file.replace(cleared_track(0, 1), 10, "5l30000l200000l");
    dir.write_text("c.drm", file);
    song.change_pattern(0, [&](pattern_record& p) { p.empty = 1; });
    song.change_pattern(1, [&](pattern_record& p) { p.empty = 1; });
    ASSERT_TRUE(song.load_drm(path("c.drm")));
    const pattern_record& p = song.pattern(0);
    EXPECT_EQ(p.size, 24);
    EXPECT_EQ(p.steps[0][0], 1);
    EXPECT_EQ(p.empty, 0) << "a set cell marks the pattern used";
    EXPECT_EQ(song.pattern(1).empty, 1) << "a pattern without cells keeps its flag";
    EXPECT_EQ(p.volume[1], 0);
    EXPECT_EQ(p.pan[1], 10000);
    EXPECT_EQ(p.frequency[1], 0);
    EXPECT_EQ(p.volume[2], -10000);
    EXPECT_EQ(p.pan[2], -10000);
    EXPECT_EQ(p.frequency[2], 0);
}

// Numbers are read as strtoul reads them: a sign is taken, and a negative
// number wraps to the same 32 bits a signed field gives back.
TEST_F(SongFileTest, SignedNumbersReadAsTheCLibraryReadsThem) {
    song.change_pattern(0, [&](pattern_record& p) { p.steps[4][3] = 1; });
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
    song.change_pattern(0, [](pattern_record& p) {
        p.volume[1] = -300;
        p.pan[1] = 5000;
    });
    const pattern_record& p = song.pattern(0);
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

// Names are bytes, whatever their encoding, of at most 255; a name that is
// not a file here is kept and its sound named.
TEST_F(SongFileTest, SampleNamesAreBytesOfAtMost255) {
    const std::string latin = "caf\xE9 \x92.wav";
    const std::string longest = std::string(251, 'n') + ".wav";
    dir.write(latin, simple_wav(ramp(8)));
    ASSERT_TRUE(song.save_drm(path("n.drm")));
    std::string file = read_all(path("n.drm"));
    file.resize(279296 + 1);
    dir.write_text("n.drm", file + latin + "\n" + longest + "\n");
    notifier.shown.clear();
    ASSERT_TRUE(song.load_drm(path("n.drm")));
    EXPECT_EQ(song.get_sample_file(0), latin);
    EXPECT_EQ(song.get_sample_file(1), longest);
    EXPECT_EQ(song.get_sample_file(2), "s2.wav");
    EXPECT_THAT(song.unloaded_sounds(), ElementsAre(1));
    EXPECT_THAT(notifier.shown, IsEmpty());
    ASSERT_TRUE(song.save_drm(path("again.drm")));
    EXPECT_NE(read_all(path("again.drm")).find("\n" + latin + "\n" + longest + "\n"),
              std::string::npos);
}

// A name line may end as on Windows; what follows the sixteenth name is not
// read.
TEST_F(SongFileTest, NameLinesEndWithALineFeedOrACarriageReturnAndALineFeed) {
    ASSERT_TRUE(song.save_drm(path("w.drm")));
    std::string file = read_all(path("w.drm"));
    file.resize(279296 + 1);
    for (int k = 0; k < kSounds; ++k) {
        file += sample(15 - k) + (k % 2 ? "\r\n" : "\n");
    }
    dir.write_text("w.drm", file + "\x01 anything \n\x7F");
    notifier.shown.clear();
    ASSERT_TRUE(song.load_drm(path("w.drm")));
    for (int k = 0; k < kSounds; ++k) {
        EXPECT_EQ(song.get_sample_file(k), sample(15 - k));
    }
    EXPECT_THAT(notifier.shown, IsEmpty());
}

TEST_F(SongFileTest, FilesThatCannotBeReadWholeLeaveTheSongAsItWas) {
    make_song();
    song.set_sample_file(3, "s5.wav");
    ASSERT_TRUE(song.save_drm(path("good.drm")));
    const std::string good = read_all(path("good.drm"));
    std::size_t pattern_bytes = good.size() - 1;
    for (int k = 0; k < kSounds; ++k) {
        pattern_bytes -= song.get_sample_file(k).size() + 1;
    }
    ASSERT_EQ(good.substr(pattern_bytes - 1, 2), "\0\n"s) << "the line feed ends the patterns";
    const std::string huge = dir.write_text("huge.drm", good);
    std::filesystem::resize_file(huge, (std::uintmax_t{64} << 20) + 1);
    const FileStatus cut_short{FileFault::cut_short, 0};
    const std::pair<std::string, FileStatus> bad[] = {
        {huge, {FileFault::too_large, 0}},
        {"missing.drm", {FileFault::no_such_file, ENOENT}},
        {path("gone/missing.drm"), {FileFault::no_such_folder, ENOENT}},
        {dir.path().string(), {FileFault::is_folder, EISDIR}},
        {dir.write_text("empty.drm", ""), cut_short},
        {dir.write_text("short.drm", good.substr(0, 279296 / 2)), cut_short},
        {dir.write_text("cut.drm", good.substr(0, 279296 - 5)), cut_short},
        {dir.write_text("in a number.drm", good.substr(0, pattern_bytes - 24 - 1)), cut_short},
        {dir.write_text("a sign.drm", good.substr(0, pattern_bytes - 24 - 2) + " -"), cut_short},
        {dir.write_text("no separator.drm", good.substr(0, pattern_bytes)), cut_short},
        {dir.write_text("garbage.drm", std::string(5000, 'Z')), {FileFault::not_a_song, 0}},
    };
    for (const auto& [file, status] : bad) {
        SCOPED_TRACE(file);
        expect_refused(file, status);
    }
    EXPECT_EQ(song.get_sample_file(3), "s5.wav");

    if (geteuid() != 0) {
        const std::string locked = dir.write_text("locked.drm", good);
        std::filesystem::permissions(locked, std::filesystem::perms::none);
        expect_refused(locked, {FileFault::permission, EACCES});
    }
}

// Bytes that the writer cannot have put where they are: a number without
// digits, anything but a line feed after the last pattern, a sample name
// that holds a control character or is longer than a name may be.
TEST_F(SongFileTest, FilesThatCannotBeASongAreRefusedAndChangeNothing) {
    ASSERT_TRUE(song.save_drm(path("cleared.drm")));
    const std::string cleared = read_all(path("cleared.drm"));
    const std::string patterns = cleared.substr(0, 279296);
    const auto edited = [&](std::size_t at, std::size_t length, const std::string& text) {
        std::string file = cleared;
        file.replace(at, length, text);
        return file;
    };
    const auto named = [&](const std::string& lines) { return patterns + "\n" + lines; };
    const std::pair<const char*, std::string> files[] = {
        {"a volume without digits", edited(cleared_track(0, 0), 1, "x")},
        {"a pan that is only its letter", edited(cleared_track(3, 5) + 2, 5, "")},
        {"a frequency that is a sign alone", edited(cleared_track(255, 31) + 8, 1, "-")},
        {"a sign before a letter", edited(cleared_track(255, 31), 2, "-l")},
        {"a letter before the digits", edited(cleared_track(255, 31), 2, "x1")},
        {"a sign before a space", edited(cleared_track(17, 9), 1, "+ 0")},
        {"no separator before the names", patterns + cleared.substr(279296 + 1)},
        {"a Windows line end as the separator", patterns + "\r" + cleared.substr(279296)},
        {"a NUL byte in a name", named("s9.wav\0junk\ns8.wav\0\n"s)},
        {"a tab in a name", named("s1.wav\ns\t2.wav\n")},
        {"an escape in a name", named("\x1B[2Js1.wav\n")},
        {"a DEL in a name", named("s1.wav\x7F\n")},
        {"a carriage return inside a name", named("s1\r.wav\n")},
        {"two carriage returns before the line feed", named("s1.wav\r\r\n")},
        {"a carriage return ending the file", named("s0.wav\ns1.wav\r")},
        {"a control byte in the sixteenth name", edited(cleared.size() - 2, 0, "\x02")},
        {"a name of 256 bytes", named(std::string(252, 'n') + ".wav\n")},
        {"a name of 304 bytes", named(std::string(300, 'n') + ".wav\ns1.wav\n")},
    };
    make_song();
    song.set_sample_file(3, "s5.wav");
    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        expect_refused(dir.write_text("bad.drm", bytes), {FileFault::not_a_song, 0});
    }
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
    EXPECT_THAT(notifier.shown, ElementsAre("paramètre invalide"));
    EXPECT_THAT(song.unloaded_sounds(), ElementsAre(1, 2));
}

TEST_F(SongFileTest, FailedSavesSayWhyAndKeepTheOldFile) {
    ASSERT_TRUE(song.save_drm(path("keep.drm")));
    const std::string before = read_all(path("keep.drm"));
    make_song();
    EXPECT_EQ(song.save_drm(path("no such folder/x.drm")),
              (FileStatus{FileFault::no_such_folder, ENOENT}));
    EXPECT_EQ(song.save_drm("/dev/full"), (FileStatus{FileFault::disk_full, ENOSPC}))
        << "a device with no room";
    EXPECT_EQ(song.save_drm(dir.path().string()), (FileStatus{FileFault::is_folder, EISDIR}));

    // A disk that fills up half way through the file.
    {
        const FileSizeLimit full(100000);
        EXPECT_EQ(song.save_drm(path("keep.drm")), (FileStatus{FileFault::disk_full, EFBIG}));
    }
    EXPECT_EQ(read_all(path("keep.drm")), before);
    EXPECT_EQ(files_in(dir.path()).size(), kSounds + 1u) << "no temporary file left";

    if (geteuid() != 0) {
        std::filesystem::create_directory(path("ro"));
        std::filesystem::permissions(path("ro"), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
        EXPECT_EQ(song.save_drm(path("ro/x.drm")), (FileStatus{FileFault::permission, EACCES}));
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
