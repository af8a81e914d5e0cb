#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx375 {

// The whole of a regular file, read with one allocation; nothing when it
// cannot be opened or read, is not a regular file or is larger than
// max_bytes. A file that shrinks while it is read gives what it still held.
std::optional<std::vector<std::uint8_t>> read_file(const std::string& path, std::size_t max_bytes);

// Replaces the file with `data` so that it is never left half written: the
// bytes go to a temporary file beside it, which is flushed to disk and then
// renamed over the target. On any failure the old file stays as it was, the
// temporary file is removed, and the answer is false. A target that is not a
// regular file (a device, a pipe) is written in place.
bool write_file_atomically(const std::string& path, std::string_view data);

} // namespace qx375
