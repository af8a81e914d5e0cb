#include "kits/kit_archive.h"

#include "kits/kit_file.h"
#include "util/file_io.h"

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qx375::kits {
namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

struct ArchiveFree {
    void operator()(archive* a) const { archive_read_free(a); }
};

Unpacking refused(KitFault fault, std::string name) {
    return {fault, short_detail(std::move(name))};
}

// The folders and the name a member's path leads through, or nothing when it
// could lead out of the folder it is unpacked in.
std::optional<std::vector<std::string>> parts_of(std::string_view path) {
    if (path.empty() || path.front() == '/') {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        if (part == "..") {
            return std::nullopt;
        }
        if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return parts;
}

// The folder `name` in `parent`, made if need be and never reached through
// a symbolic link; so nothing written below it can land elsewhere.
Fd open_folder(int parent, const std::string& name) {
    if (::mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST) {
        return Fd(-1);
    }
    return Fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

class Unpacker {
public:
    Unpacker(archive* reader, int root, const ArchiveLimits& limits)
        : reader_(reader), root_(root), limits_(limits), buffer_(64 << 10) {}

    Unpacking member(archive_entry* entry) {
        const char* raw_name = archive_entry_pathname(entry);
        std::string name = raw_name != nullptr ? raw_name : "";
        if (++entries_ > limits_.entries) {
            return refused(KitFault::too_many_entries, std::move(name));
        }
        const auto type = archive_entry_filetype(entry);
        const std::optional<std::vector<std::string>> parts = parts_of(name);
        if (raw_name == nullptr || !parts || archive_entry_hardlink(entry) != nullptr ||
            (type != AE_IFREG && type != AE_IFDIR) || (type == AE_IFREG && parts->empty())) {
            return refused(KitFault::unsafe_member, std::move(name));
        }
        const la_int64_t declared =
            archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
        if (declared < 0 || static_cast<std::uint64_t>(declared) > limits_.member_bytes) {
            return refused(KitFault::too_large, std::move(name));
        }

        const std::size_t folders = type == AE_IFDIR ? parts->size() : parts->size() - 1;
        Fd folder(::dup(root_));
        for (std::size_t i = 0; i < folders && folder.get() >= 0; ++i) {
            folder = open_folder(folder.get(), (*parts)[i]);
        }
        if (folder.get() < 0) {
            return refused(KitFault::unreadable, std::move(name));
        }
        if (type == AE_IFDIR) {
            return {};
        }
        return file(folder.get(), parts->back(), std::move(name));
    }

private:
    // Copies the member's bytes into the new file `leaf` of `folder`,
    // stopping before any byte past a limit is written.
    Unpacking file(int folder, const std::string& leaf, std::string name) {
        Fd out(::openat(folder, leaf.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                        0644));
        if (out.get() < 0) {
            return refused(KitFault::unreadable, std::move(name));
        }
        std::uint64_t bytes = 0;
        for (;;) {
            const la_ssize_t got = archive_read_data(reader_, buffer_.data(), buffer_.size());
            if (got == 0) {
                break;
            }
            if (got < 0) {
                return refused(KitFault::unreadable, std::move(name));
            }
            const auto size = static_cast<std::size_t>(got);
            bytes += size;
            total_ += size;
            if (bytes > limits_.member_bytes || total_ > limits_.total_bytes) {
                out.close();
                ::unlinkat(folder, leaf.c_str(), 0);
                return refused(KitFault::too_large, std::move(name));
            }
            if (write_all(out.get(), buffer_.data(), size) != 0) {
                return refused(KitFault::unreadable, std::move(name));
            }
        }
        if (!out.close()) {
            return refused(KitFault::unreadable, std::move(name));
        }
        return {};
    }

    archive* reader_;
    int root_;
    const ArchiveLimits& limits_;
    std::vector<char> buffer_;
    std::uint64_t entries_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace

Unpacking unpack_archive(const std::filesystem::path& archive_file,
                         const std::filesystem::path& scratch, const ArchiveLimits& limits) {
    const std::string archive_name = archive_file.filename().string();
    // Not blocking, so that a pipe cannot keep the open waiting for a writer.
    const Fd in(::open(archive_file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat file {};
    if (in.get() < 0 || ::fstat(in.get(), &file) != 0) {
        return refused(KitFault::unreadable, archive_name);
    }
    const std::unique_ptr<archive, ArchiveFree> reader(archive_read_new());
    if (!reader) {
        return refused(KitFault::unreadable, archive_name);
    }
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    // A pipe or a device would keep the reader waiting, or reading forever.
    if (!S_ISREG(file.st_mode) ||
        archive_read_open_fd(reader.get(), in.get(), 64 << 10) != ARCHIVE_OK) {
        return refused(KitFault::not_a_kit, archive_name);
    }
    const Fd root(::open(scratch.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.get() < 0) {
        return refused(KitFault::unreadable, scratch.filename().string());
    }
    Unpacker unpacker(reader.get(), root.get(), limits);
    for (bool first = true;; first = false) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            return {};
        }
        // A file that fails at its first header is no tar archive at all.
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            return refused(first ? KitFault::not_a_kit : KitFault::unreadable, archive_name);
        }
        if (Unpacking unpacked = unpacker.member(entry); unpacked.fault != KitFault::none) {
            return unpacked;
        }
    }
}

} // namespace qx375::kits
