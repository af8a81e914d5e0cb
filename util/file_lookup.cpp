#include "util/file_lookup.h"

#include "util/text.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace qx375 {

namespace fs = std::filesystem;

namespace {

bool is_file(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool is_dir(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// The entry of dir whose name equals wanted but for ASCII letter case, and
// that is a regular file, or a folder when `folder`. Several can match on a
// case-sensitive file system; the smallest name is taken so the answer does
// not depend on the order the directory lists them in.
std::optional<fs::path> match_in(const fs::path& dir, std::string_view wanted,
                                 bool folder = false) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        return std::nullopt;
    }
    std::optional<std::string> best;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (same_ignoring_case(entry, wanted) &&
            (folder ? is_dir(it->path()) : is_file(it->path())) && (!best || entry < *best)) {
            best = std::move(entry);
        }
    }
    if (!best) {
        return std::nullopt;
    }
    return dir / *best;
}

} // namespace

std::string find_file(std::string_view name, std::string_view base_dir) {
    const std::string given(name);
    if (given.empty() || is_file(given)) {
        return given;
    }

    // Names written on Windows use backslashes; here they separate directories.
    std::string portable = given;
    std::ranges::replace(portable, '\\', '/');

    const std::size_t slash = portable.rfind('/');
    const std::string leaf = slash == std::string::npos ? portable : portable.substr(slash + 1);
    if (leaf.empty()) {
        return given;
    }

    const fs::path base(base_dir);
    fs::path dir = base;
    if (slash != std::string::npos) {
        const fs::path written = portable.substr(0, slash == 0 ? 1 : slash);
        dir = written.is_absolute() ? written : base / written;
    }

    std::optional<fs::path> found;
    if (is_dir(dir)) {
        found = match_in(dir, leaf);
    } else {
        // A directory of another machine (a drive letter, a server share):
        // the file is expected beside the program.
        found = match_in(base, leaf);
    }
    return found ? found->string() : given;
}

std::optional<std::string> find_under(std::string_view base, std::string_view relative) {
    fs::path at(base);
    std::string_view rest = relative;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        const bool last = slash == std::string_view::npos;
        rest = last ? std::string_view() : rest.substr(slash + 1);
        if (part.empty()) {
            continue;
        }
        const fs::path exact = at / std::string(part);
        if (last ? is_file(exact) : is_dir(exact)) {
            at = exact;
        } else if (const std::optional<fs::path> found = match_in(at, part, !last)) {
            at = *found;
        } else {
            return std::nullopt;
        }
    }
    return is_file(at) ? std::optional<std::string>(at.string()) : std::nullopt;
}

} // namespace qx375
