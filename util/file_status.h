#pragma once

#include <string>

namespace qx375 {

// Why a file could not be read, written or used, in terms the user can act
// on. The windows turn it into a text of the language in use.
enum class FileFault {
    none,
    no_such_file,
    no_such_folder,
    permission,
    disk_full,
    is_folder,
    name_too_long, // longer than the 255 bytes a song keeps of a name
    bad_name,      // holds control characters
    not_a_song,
    cut_short,
    too_large,
    not_a_wave,
    unplayable, // a WAV file the sound device will not play
    other,      // the error number tells
};

// What became of an operation on a file: no fault, or the fault and the
// error number behind it (0 where there is none).
struct FileStatus {
    FileFault fault = FileFault::none;
    int error = 0;

    explicit operator bool() const { return fault == FileFault::none; }
    bool operator==(const FileStatus&) const = default;
};

// The status of a system call on `path` that failed with `error`. A missing
// folder is told from a missing file, since the user fixes them differently.
FileStatus status_of_error(int error, const std::string& path);

} // namespace qx375
