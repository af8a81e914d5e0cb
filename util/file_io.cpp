#include "util/file_io.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace qx375 {
namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name of a temporary file of `target` for this process.
std::string temporary_name(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".tmp" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

// The process that made a temporary file, from what follows ".tmp" in its
// name: "<pid>-<number>"; 0 when the rest is not of that form.
pid_t writer_of(std::string_view rest) {
    const char* end = rest.data() + rest.size();
    pid_t pid = 0;
    auto [p, error] = std::from_chars(rest.data(), end, pid);
    if (error != std::errc{} || pid <= 0 || p == end || *p != '-' || ++p == end) {
        return 0;
    }
    unsigned number = 0;
    const auto [q, number_error] = std::from_chars(p, end, number);
    return number_error == std::errc{} && q == end ? pid : 0;
}

// A save that is killed leaves its temporary file beside the target. The next
// save of the same file removes those of ours whose process has ended, so
// that they never pile up; one whose process still runs may be on its way to
// being renamed, and stays.
void remove_abandoned_temporaries(const std::string& target) {
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(directory_of(target).c_str()),
                                                     ::closedir);
    if (!folder) {
        return;
    }
    const std::string prefix = name_of(target) + ".tmp";
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix)) {
            continue;
        }
        const pid_t writer = writer_of(name.substr(prefix.size()));
        struct stat info;
        if (writer != 0 && writer != ::getpid() && ::kill(writer, 0) != 0 && errno == ESRCH &&
            ::fstatat(::dirfd(folder.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid()) {
            ::unlinkat(::dirfd(folder.get()), entry->d_name, 0);
        }
    }
}

// The file a path finally names, through any symbolic links, so that saving
// through a link updates the file it points to rather than replacing the link.
std::string final_target(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat link;
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
        ::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

// A folder that lets no new file be made, where an existing file may still be
// rewritten.
bool refuses_new_files(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG;
}

// Writes over the file itself, so that it keeps its owner, mode and hard
// links. A failure half way leaves it damaged, and is reported. Not
// blocking, so that a pipe nobody reads refuses instead of hanging.
int write_in_place(const std::string& target, const ContentWriter& write, bool regular) {
    Fd fd(::open(target.c_str(),
                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (regular ? 0 : O_NONBLOCK), 0666));
    if (fd.get() < 0) {
        return errno;
    }
    int error = write(fd.get());
    // Devices and pipes have no disk to flush to.
    if (error == 0 && regular && ::fsync(fd.get()) != 0) {
        error = errno;
    }
    if (!fd.close() && error == 0) {
        error = errno;
    }
    return error;
}

} // namespace

FileContent read_file(const std::string& path, std::size_t max_bytes) {
    const auto failure = [&path](int error) {
        return FileContent{{}, status_of_error(error, path)};
    };
    // Non-blocking, so that a pipe without a writer cannot hang the open.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info;
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        return failure(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return failure(EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        return {{}, {FileFault::other, ENOTSUP}};
    }
    if (static_cast<std::uint64_t>(info.st_size) > max_bytes) {
        return {{}, {FileFault::too_large, 0}};
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return failure(errno);
        }
        if (n == 0) {
            break; // the file shrank while being read: keep what was there
        }
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return {std::move(bytes), {}};
}

int write_all(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

namespace {

// replace_file_with, answering the error number of the first failure, or 0.
int replace_with(const std::string& path, const ContentWriter& write) {
    const std::string target = final_target(path);
    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        return write_in_place(target, write, false);
    }
    // A file the user may not write stays as it is, even where the folder
    // would let us replace it.
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        return errno;
    }
    // A new file in place of one with other names would leave those names
    // on the old bytes.
    if (exists && existing.st_nlink > 1) {
        return write_in_place(target, write, true);
    }
    remove_abandoned_temporaries(target);
    const std::string temporary = temporary_name(target);
    Fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        return refuses_new_files(errno) ? write_in_place(target, write, true) : errno;
    }
    struct stat created;
    if (exists && (::fstat(fd.get(), &created) != 0 || created.st_uid != existing.st_uid ||
                   created.st_gid != existing.st_gid)) {
        // The new file would belong to us, no longer to the file's owner.
        fd.close();
        ::unlink(temporary.c_str());
        return write_in_place(target, write, true);
    }
    int error = write(fd.get());
    if (error == 0 && exists && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) {
        error = errno;
    }
    if (error == 0 && ::fsync(fd.get()) != 0) {
        error = errno;
    }
    if (!fd.close() && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    Fd directory(::open(directory_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        ::fsync(directory.get());
    }
    return 0;
}

} // namespace

FileStatus replace_file_with(const std::string& path, const ContentWriter& write) {
    return status_of_error(replace_with(path, write), path);
}

FileStatus replace_file(const std::string& path, std::string_view data) {
    return replace_file_with(path,
                             [data](int fd) { return write_all(fd, data.data(), data.size()); });
}

} // namespace qx375
