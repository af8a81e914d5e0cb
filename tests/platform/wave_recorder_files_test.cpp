// Where a take goes: a target the user may not write, a file that exists
// already, a folder that takes no new file, a link, a full disk.
#include "recorder_rig.h"
#include "support/file_size_limit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace qx375 {
namespace {

using namespace recorder_test;

TEST_F(RecorderTest, OpenFailsAtOnceSayingWhyAndLeavesNothing) {
    dir.write_text("file.wav", "a file, not a folder");
    const struct {
        std::string target;
        FileFault fault;
    } cases[] = {
        {path("no such folder/x.wav"), FileFault::no_such_folder},
        {path("file.wav/x.wav"), FileFault::no_such_folder},
        {dir.path().string(), FileFault::is_folder},
        {"", FileFault::no_such_file},
    };
    // A take that could not be opened drops the one held before.
    record(kBlock, path("earlier.wav"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const RecorderResult opened = recorder.open(c.target);
        EXPECT_EQ(opened.status.fault, c.fault);
        EXPECT_FALSE(opened.ok());
        EXPECT_FALSE(recorder.is_open());
        EXPECT_FALSE(recorder.recording());
        EXPECT_FALSE(recorder.record().ok());
        EXPECT_THAT(listing(dir.path()), ElementsAre("file.wav"));
        EXPECT_EQ(unnamed_files_in(dir.path()), 0);
    }
    EXPECT_EQ(contents(path("file.wav")), "a file, not a folder");
}

TEST_F(RecorderTest, OpenFailsAtOnceWhereTheUserMayNotWrite) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into any folder and any file";
    }
    fs::create_directory(path("locked"));
    fs::permissions(path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    dir.write_text("read-only.wav", "kept as it is");
    fs::permissions(path("read-only.wav"), fs::perms::owner_read);
    for (const std::string& target : {path("locked/new.wav"), path("read-only.wav")}) {
        SCOPED_TRACE(target);
        const RecorderResult opened = recorder.open(target);
        EXPECT_EQ(opened.status.fault, FileFault::permission);
        EXPECT_FALSE(recorder.is_open());
        EXPECT_THAT(listing(dir.path()), ElementsAre("locked", "read-only.wav"));
        EXPECT_EQ(unnamed_files_in(dir.path()), 0);
    }
    EXPECT_EQ(contents(path("read-only.wav")), "kept as it is");
    fs::permissions(path("locked"), fs::perms::owner_all);
}

TEST_F(RecorderTest, ATargetMadeByOpenIsEmptyDuringTheTakeAndGoesWithADiscard) {
    record(8 * kBlock, path("new.wav"));
    EXPECT_THAT(listing(dir.path()), ElementsAre("new.wav")) << "made at once, and alone";
    EXPECT_EQ(fs::file_size(path("new.wav")), 0u);
    recorder.discard();
    EXPECT_FALSE(recorder.is_open());
    EXPECT_FALSE(recorder.recording());
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_EQ(unnamed_files_in(dir.path()), 0);

    // Opening another target drops the take as a discard does.
    ASSERT_TRUE(recorder.open(path("first.wav")).ok());
    ASSERT_TRUE(recorder.open(path("second.wav")).ok());
    EXPECT_THAT(listing(dir.path()), ElementsAre("second.wav"));

    // What was written to it since is someone's data.
    dir.write_text("second.wav", "written by hand");
    recorder.discard();
    EXPECT_EQ(contents(path("second.wav")), "written by hand");

    // So is a written take.
    record(kBlock, path("third.wav"));
    ASSERT_TRUE(recorder.save().ok());
    recorder.discard();
    EXPECT_EQ(read_wave(path("third.wav")).info.frames, static_cast<sf_count_t>(kBlock));

    // The end of the recorder leaves the target as it is.
    {
        WaveRecorder other(rig.output.capture(), AudioOutput::kRate);
        ASSERT_TRUE(other.open(path("left.wav")).ok());
    }
    EXPECT_TRUE(fs::exists(path("left.wav")));
}

TEST_F(RecorderTest, AnExistingTargetKeepsItsBytesUntilTheTakeIsWritten) {
    const std::string old = "the export of yesterday";
    dir.write_text("song.wav", old);
    record(8 * kBlock, path("song.wav"));
    EXPECT_EQ(contents(path("song.wav")), old) << "opened without being truncated";
    recorder.discard();
    EXPECT_EQ(contents(path("song.wav")), old);

    record(8 * kBlock, path("song.wav"));
    EXPECT_EQ(contents(path("song.wav")), old);
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_EQ(read_wave(path("song.wav")).info.frames, static_cast<sf_count_t>(8 * kBlock));
    EXPECT_THAT(listing(dir.path()), ElementsAre("song.wav"));
}

TEST_F(RecorderTest, TheTakeSitsUnnamedInTheTargetsFolder) {
    TempDir system_temporary;
    fs::create_directory(path("songs"));
    {
        TemporaryFolder temporary(system_temporary.path());
        record(4 * kBlock, path("songs/take.wav"));
        EXPECT_EQ(unnamed_files_in(path("songs")), 1);
        EXPECT_EQ(unnamed_files_in(system_temporary.path()), 0);
        EXPECT_THAT(listing(dir.path()), ElementsAre("songs", "songs/take.wav"));
        ASSERT_TRUE(recorder.save().ok());
        recorder.discard();
        EXPECT_EQ(unnamed_files_in(path("songs")), 0);
        EXPECT_TRUE(fs::is_empty(system_temporary.path()));
    }
    // So a system temporary folder that is not there does not matter.
    TemporaryFolder missing(dir.path() / "gone");
    record(4 * kBlock, path("songs/other.wav"));
    EXPECT_TRUE(recorder.save().ok());
}

TEST_F(RecorderTest, AFolderThatTakesNoNewFileKeepsTheTakeInTheSystemsTemporaryFolder) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root makes files in a read-only folder all the same";
    }
    TempDir system_temporary;
    TemporaryFolder temporary(system_temporary.path());
    fs::create_directory(path("locked"));
    dir.write_text("locked/song.wav", "an older file");
    fs::permissions(path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    const RecorderResult opened = recorder.open(path("locked/song.wav"));
    EXPECT_EQ(unnamed_files_in(system_temporary.path()), 1);
    EXPECT_EQ(contents(path("locked/song.wav")), "an older file");
    ASSERT_TRUE(recorder.record().ok());
    rig.render(8 * kBlock);
    const RecorderResult saved = recorder.save();
    fs::permissions(path("locked"), fs::perms::owner_all);
    ASSERT_TRUE(opened.ok()) << opened.status.error;
    ASSERT_TRUE(saved.ok()) << saved.status.error;
    EXPECT_EQ(read_wave(path("locked/song.wav")).info.frames, static_cast<sf_count_t>(8 * kBlock));
}

TEST_F(RecorderTest, WritesThroughALinkKeepingTheFilesPermissions) {
    dir.write_text("real.wav", "an older file");
    fs::permissions(path("real.wav"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(path("real.wav"), path("link.wav"));
    record(8 * kBlock, path("link.wav"));
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_TRUE(fs::is_symlink(path("link.wav")));
    EXPECT_EQ(read_wave(path("real.wav")).info.frames, static_cast<sf_count_t>(8 * kBlock));
    EXPECT_EQ(fs::status(path("real.wav")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_THAT(listing(dir.path()), ElementsAre("link.wav", "real.wav"));

    // A link to a file not made yet: the file is made where it points.
    fs::create_symlink("later.wav", path("ahead.wav"));
    record(kBlock, path("ahead.wav"));
    EXPECT_EQ(fs::file_size(path("later.wav")), 0u);
    recorder.discard();
    EXPECT_FALSE(fs::exists(path("later.wav")));
    record(kBlock, path("ahead.wav"));
    ASSERT_TRUE(recorder.save().ok());
    EXPECT_TRUE(fs::is_symlink(path("ahead.wav")));
    EXPECT_EQ(read_wave(path("later.wav")).info.frames, static_cast<sf_count_t>(kBlock));
}

TEST_F(RecorderTest, AFailedSaveSaysWhyAndKeepsTheOldFileAndTheTake) {
    const std::string old = "the export of yesterday";
    dir.write_text("keep.wav", old);
    record(400 * kBlock, path("keep.wav")); // about 400 KB as a WAV file
    recorder.stop();                        // the whole take on disk before the disk fills
    RecorderResult saved;
    {
        FileSizeLimit full_disk(100000);
        saved = recorder.save();
    }
    EXPECT_EQ(saved.status.fault, FileFault::disk_full);
    EXPECT_EQ(saved.lost_frames, 0u);
    EXPECT_EQ(contents(path("keep.wav")), old);
    EXPECT_THAT(listing(dir.path()), ElementsAre("keep.wav")) << "no temporary file left beside it";

    saved = recorder.save();
    ASSERT_TRUE(saved.ok()) << "the take survives a failed save: error " << saved.status.error
                            << ", lost " << saved.lost_frames;
    EXPECT_EQ(read_wave(path("keep.wav")).info.frames, static_cast<sf_count_t>(400 * kBlock));

    // A device is written in place; this one is always full.
    record(kBlock, "/dev/full");
    EXPECT_EQ(recorder.save().status.fault, FileFault::disk_full);
}

TEST_F(RecorderTest, AFullDiskWhileRecordingLosesTheTakeAndSaysSo) {
    {
        FileSizeLimit full_disk(100000);
        record(400 * kBlock, path("lost.wav"));
        recorder.stop();
    }
    EXPECT_LT(recorder.recorded_frames(), 400 * kBlock);
    EXPECT_EQ(recorder.save().status.fault, FileFault::disk_full);
    EXPECT_EQ(recorder.save(true).status.fault, FileFault::disk_full);
    EXPECT_EQ(fs::file_size(path("lost.wav")), 0u);
    recorder.discard();
    EXPECT_TRUE(fs::is_empty(dir.path()));

    record(4 * kBlock, path("next.wav"));
    EXPECT_TRUE(recorder.save().ok()) << "a new take starts afresh";
}

} // namespace
} // namespace qx375
