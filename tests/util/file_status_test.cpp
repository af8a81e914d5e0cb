#include "support/wav_builder.h"
#include "util/file_status.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace qx375::test {
namespace {

TEST(FileStatusTest, AMissingFolderIsToldFromAMissingFile) {
    TempDir dir;
    const std::string here = (dir.path() / "song.drm").string();
    const std::string nowhere = (dir.path() / "gone" / "song.drm").string();
    EXPECT_EQ(status_of_error(ENOENT, here).fault, FileFault::no_such_file);
    EXPECT_EQ(status_of_error(ENOENT, nowhere).fault, FileFault::no_such_folder);
    EXPECT_EQ(status_of_error(ENOENT, "song.drm").fault, FileFault::no_such_file)
        << "a bare name is in the current folder, which exists";
    EXPECT_EQ(status_of_error(ENOTDIR, here).fault, FileFault::no_such_folder);
}

TEST(FileStatusTest, ErrorNumbersBecomeWhatTheUserCanActOn) {
    EXPECT_FALSE(status_of_error(EACCES, "x")) << "a fault is false";
    EXPECT_TRUE(status_of_error(0, "x"));
    for (int e : {EACCES, EPERM, EROFS}) {
        EXPECT_EQ(status_of_error(e, "x").fault, FileFault::permission) << e;
    }
    for (int e : {ENOSPC, EDQUOT, EFBIG}) {
        EXPECT_EQ(status_of_error(e, "x").fault, FileFault::disk_full) << e;
    }
    EXPECT_EQ(status_of_error(EISDIR, "x").fault, FileFault::is_folder);
    EXPECT_EQ(status_of_error(EIO, "x"), (FileStatus{FileFault::other, EIO}));
}

} // namespace
} // namespace qx375::test
