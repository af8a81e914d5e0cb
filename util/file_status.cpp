#include "util/file_status.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace qx375 {

FileStatus status_of_error(int error, const std::string& path) {
    switch (error) {
    case 0:
        return {};
    case ENOENT: {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        const bool folder_there = folder.empty() || std::filesystem::is_directory(folder, ec);
        return {folder_there ? FileFault::no_such_file : FileFault::no_such_folder, error};
    }
    case ENOTDIR:
        return {FileFault::no_such_folder, error};
    case EACCES:
    case EPERM:
    case EROFS:
        return {FileFault::permission, error};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return {FileFault::disk_full, error};
    case EISDIR:
        return {FileFault::is_folder, error};
    default:
        return {FileFault::other, error};
    }
}

} // namespace qx375
