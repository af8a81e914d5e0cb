#pragma once

#include <string>
#include <string_view>

namespace qx375 {

// True when a regular file of exactly that name exists (through symbolic
// links); false for a directory, a device or a missing file.
bool file_exists(const std::string& path);

// True when the path names a directory part: it holds "/" or "\".
bool has_directory(std::string_view path);

// Copies a whole regular file, byte for byte, and answers whether it did.
// The source is read in full first, so copying a file onto itself leaves it
// intact; the destination is then replaced the safe way util/file_io.h
// replaces files: a failed copy leaves the old destination as it was, or none
// at all. A source that is missing, unreadable, not a regular file or over
// 256 MiB is not copied.
bool copy_file(const std::string& source, const std::string& destination);

} // namespace qx375
