#include "util/file_ops.h"

#include "util/file_io.h"

#include <sys/stat.h>

namespace qx375 {
namespace {

// Language and help files hold kilobytes; the copy goes through memory.
constexpr std::size_t kMaxCopyBytes = 256 * 1024 * 1024;

} // namespace

bool file_exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool has_directory(std::string_view path) {
    return path.find_first_of("/\\") != std::string_view::npos;
}

bool copy_file(const std::string& source, const std::string& destination) {
    const FileContent file = read_file(source, kMaxCopyBytes);
    return file.status &&
           replace_file(destination,
                        std::string_view(reinterpret_cast<const char*>(file.bytes.data()),
                                         file.bytes.size()));
}

} // namespace qx375
