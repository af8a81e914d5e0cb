#pragma once

#include "util/file_status.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qx375 {

// The bytes of a file, or why it could not be read: then the bytes are empty.
struct FileContent {
    std::vector<std::uint8_t> bytes;
    FileStatus status;
};

// The whole of a regular file, read with one allocation. It fails with the
// error of the open or the read, with is_folder for a folder, too_large when
// it is larger than max_bytes, and as `other` with ENOTSUP for anything else
// that is no regular file (a device, a pipe). A file that shrinks while it is
// read gives what it still held.
FileContent read_file(const std::string& path, std::size_t max_bytes);

// Writes all of `size` bytes to `fd`; 0, or the error number of the failure.
int write_all(int fd, const void* data, std::size_t size);

// Writes the whole content of a file into the descriptor it is given; 0, or
// the error number of the failure.
using ContentWriter = std::function<int(int fd)>;

// Makes what `write` writes the whole content of the file at `path`,
// creating it if need be; through a symbolic link, the file it names. Where
// it can, the bytes go to a temporary file beside it, flushed to disk and
// renamed over the file, which keeps its mode: a failure then leaves the old
// file as it was. The file is written in place instead (truncated, written,
// flushed) where the folder lets no new file be made (read-only, or a name
// too long for the suffix), where the new file would belong to another user
// or group than the old one, where the file has other hard links, and where
// it is not a regular file (a device, a pipe). A full disk is no reason to
// write in place: that would lose the old file. A file the user may not
// write is left alone. Every write, the flush and the close are checked, the
// status tells the first that failed (as an error on `path`), and no
// temporary file is left behind.
// Where the temporary file is renamed, a process killed while it saves
// leaves the old file or the new one, whole, and at most its temporary file
// beside it, which the next save of that file removes.
FileStatus replace_file_with(const std::string& path, const ContentWriter& write);

// The same with `data` as the content.
FileStatus replace_file(const std::string& path, std::string_view data);

} // namespace qx375
