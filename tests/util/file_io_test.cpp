#include "support/file_size_limit.h"
#include "support/print_file_status.h"
#include "support/wav_builder.h"
#include "util/file_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qx375 {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

const std::string kOld(1000, 'o');
const std::string kNew = "the new song";

std::string read_all(const std::string& path) {
    const FileContent file = read_file(path, 1 << 20);
    return file.status ? std::string(file.bytes.begin(), file.bytes.end()) : "(unreadable)";
}

struct stat status(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

std::vector<std::string> names_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The id of a process that has ended.
pid_t ended_process() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(ReadFileTest, GivesTheWholeFileOrSaysWhyItCannot) {
    TempDir dir;
    const std::string song = dir.write_text("song.drm", kOld);
    const FileContent read = read_file(song, kOld.size());
    EXPECT_TRUE(read.status);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), kOld);
    EXPECT_TRUE(read_file(dir.write_text("empty.drm", ""), 0).status);

    const std::string pipe = (dir.path() / "pipe").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::pair<std::string, FileStatus> failures[] = {
        {(dir.path() / "absent.drm").string(), {FileFault::no_such_file, ENOENT}},
        {(dir.path() / "gone" / "song.drm").string(), {FileFault::no_such_folder, ENOENT}},
        {song + "/inside", {FileFault::no_such_folder, ENOTDIR}},
        {dir.path().string(), {FileFault::is_folder, EISDIR}},
        {pipe, {FileFault::other, ENOTSUP}},
        {"/dev/zero", {FileFault::other, ENOTSUP}},
        {std::string(5000, 'n'), {FileFault::other, ENAMETOOLONG}},
    };
    for (const auto& [path, status] : failures) {
        const FileContent failed = read_file(path, 1 << 20);
        EXPECT_EQ(failed.status, status) << path;
        EXPECT_TRUE(failed.bytes.empty()) << path;
    }
    EXPECT_EQ(read_file(song, kOld.size() - 1).status, (FileStatus{FileFault::too_large, 0}));

    if (geteuid() != 0) {
        ::chmod(song.c_str(), 0);
        EXPECT_EQ(read_file(song, 1 << 20).status, (FileStatus{FileFault::permission, EACCES}));
    }
}

class ReplaceFileTest : public ::testing::Test {
protected:
    // A song of the old bytes, readable by its owner and group only.
    std::string old_song(const std::string& name) const {
        const std::string file = dir.write_text(name, kOld);
        ::chmod(file.c_str(), 0640);
        return file;
    }

    // The file got the new bytes, kept its mode and left nothing beside it.
    void expect_replaced(const std::string& file, const std::vector<std::string>& names) const {
        EXPECT_EQ(read_all(file), kNew);
        EXPECT_EQ(status(file).st_mode & 07777, 0640u);
        EXPECT_EQ(names_in(fs::path(file).parent_path()), names) << "no temporary file left";
    }

    // As above, and the file is still the same file: same inode, same names.
    void expect_written_in_place(const std::string& file, const struct stat& before,
                                 const std::vector<std::string>& names) const {
        expect_replaced(file, names);
        const struct stat after = status(file);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_nlink, before.st_nlink);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
    }

    TempDir dir;
};

TEST_F(ReplaceFileTest, SwapsInACompleteNewFileThatKeepsTheMode) {
    const std::string file = old_song("song.drm");
    const ino_t old_inode = status(file).st_ino;
    ASSERT_TRUE(replace_file(file, kNew));
    expect_replaced(file, {"song.drm"});
    EXPECT_NE(status(file).st_ino, old_inode) << "renamed over the old file";

    const std::string fresh = (dir.path() / "fresh.drm").string();
    ASSERT_TRUE(replace_file(fresh, kNew));
    EXPECT_EQ(read_all(fresh), kNew);
}

// The longest name a folder takes leaves no room for a temporary name beside
// it; the song is written all the same, whether it is new or not.
TEST_F(ReplaceFileTest, WritesInPlaceWhenNoTemporaryNameFits) {
    const std::string name = std::string(251, 'n') + ".drm";
    const std::string file = old_song(name);
    const struct stat before = status(file);
    ASSERT_TRUE(replace_file(file, kNew));
    expect_written_in_place(file, before, {name});

    fs::remove(file);
    ASSERT_TRUE(replace_file(file, kNew));
    EXPECT_EQ(read_all(file), kNew);
}

TEST_F(ReplaceFileTest, WritesInPlaceToKeepHardLinks) {
    const std::string file = old_song("song.drm");
    const std::string other = (dir.path() / "other name.drm").string();
    fs::create_hard_link(file, other);
    const struct stat before = status(file);
    ASSERT_TRUE(replace_file(file, kNew));
    expect_written_in_place(file, before, {"other name.drm", "song.drm"});
    EXPECT_EQ(read_all(other), kNew);
}

TEST_F(ReplaceFileTest, WritesInPlaceToKeepAnotherUsersFile) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another user";
    }
    const std::string file = old_song("song.drm");
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    const struct stat before = status(file);
    ASSERT_TRUE(replace_file(file, kNew));
    expect_written_in_place(file, before, {"song.drm"});
    EXPECT_EQ(status(file).st_uid, 65534u);
}

TEST_F(ReplaceFileTest, WritesInPlaceInAReadOnlyFolder) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root creates files in a read-only folder all the same";
    }
    const std::string file = old_song("locked/song.drm");
    const fs::path folder = dir.path() / "locked";
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const struct stat before = status(file);
    const FileStatus replaced = replace_file(file, kNew);
    const FileStatus created = replace_file((folder / "new.drm").string(), kNew);
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_TRUE(replaced);
    expect_written_in_place(file, before, {"song.drm"});
    EXPECT_EQ(created, (FileStatus{FileFault::permission, EACCES}))
        << "a new file still needs a writable folder";
}

// A save that was killed leaves its temporary file; the next save of the
// same file removes it. Anything else that only looks like one stays.
TEST_F(ReplaceFileTest, RemovesTheTemporariesOfKilledSaves) {
    const std::string file = old_song("song.drm");
    const std::string dead = std::to_string(ended_process());
    const std::string alive = std::to_string(::getppid());
    std::vector<std::string> kept = {
        "other.drm.tmp" + dead + "-0", // of another file
        "song.drm.tmp" + alive + "-3", // its process may still rename it
        "song.drm.tmp" + dead,
        "song.drm.tmp" + dead + "-",
        "song.drm.tmp" + dead + "-1x",
        "song.drm.tmp0-1",
        "song.drm.tmp-" + dead + "-1",
        "song.drm.tmp" + dead + "-2 copy",
        "song.drm.tmp99999999999999999999-1",
    };
    for (const std::string& name : kept) {
        dir.write_text(name, kNew);
    }
    fs::create_directory(dir.path() / ("song.drm.tmp" + dead + "-5"));
    kept.push_back("song.drm.tmp" + dead + "-5"); // not a file
    dir.write_text("song.drm.tmp" + dead + "-0", kOld);
    dir.write_text("song.drm.tmp" + dead + "-17", kOld.substr(0, 10));

    ASSERT_TRUE(replace_file(file, kNew));
    kept.push_back("song.drm");
    std::sort(kept.begin(), kept.end());
    expect_replaced(file, kept);
}

// Writing in place cannot keep the old file, but it must not call a short
// write a success.
TEST_F(ReplaceFileTest, InPlaceWritesReportAFullDisk) {
    const std::string file = old_song("song.drm");
    fs::create_hard_link(file, dir.path() / "link.drm");
    {
        const test::FileSizeLimit full(100000);
        EXPECT_FALSE(replace_file(file, std::string(200000, 'x')));
    }
    EXPECT_FALSE(replace_file("/dev/full", kNew)) << "a device with no room";
}

// A failed replacement says why, in terms of the name the caller gave.
TEST_F(ReplaceFileTest, FailuresSayWhy) {
    const std::string folder = (dir.path() / "folder.drm").string();
    fs::create_directory(folder);
    const std::string song = old_song("song.drm");
    EXPECT_EQ(replace_file((dir.path() / "gone" / "x.drm").string(), kNew),
              (FileStatus{FileFault::no_such_folder, ENOENT}));
    EXPECT_EQ(replace_file(song + "/x.drm", kNew),
              (FileStatus{FileFault::no_such_folder, ENOTDIR}));
    EXPECT_EQ(replace_file(folder, kNew), (FileStatus{FileFault::is_folder, EISDIR}));
    EXPECT_EQ(replace_file("/dev/full", kNew), (FileStatus{FileFault::disk_full, ENOSPC}));
    {
        const test::FileSizeLimit full(100);
        EXPECT_EQ(replace_file(song, kOld + kOld), (FileStatus{FileFault::disk_full, EFBIG}));
    }
    EXPECT_EQ(replace_file_with(song, [](int) { return EIO; }), (FileStatus{FileFault::other, EIO}))
        << "the writer's own error";
    EXPECT_EQ(read_all(song), kOld);
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"folder.drm", "song.drm"}));

    if (geteuid() != 0) {
        ::chmod(song.c_str(), 0440);
        EXPECT_EQ(replace_file(song, kNew), (FileStatus{FileFault::permission, EACCES}))
            << "a file the user may not write";
        EXPECT_EQ(read_all(song), kOld);
    }
}

} // namespace
} // namespace qx375
