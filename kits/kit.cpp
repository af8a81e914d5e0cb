#include "kits/kit.h"

#include "kits/drumkit_xml.h"
#include "kits/kit_archive.h"
#include "kits/sfz.h"
#include "util/file_lookup.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <system_error>

namespace qx375::kits {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string text) {
    std::ranges::transform(text, text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

bool ends_with_any(const std::string& name, std::initializer_list<std::string_view> endings) {
    return std::ranges::any_of(endings,
                               [&name](std::string_view end) { return name.ends_with(end); });
}

KitReading refused(KitFault fault, const fs::path& at) {
    return {{}, fault, at.filename().string()};
}

// The kit file of a folder: its drumkit.xml, else its one SFZ file; nothing
// when it has neither, or several SFZ files to choose from.
std::optional<fs::path> kit_file_in(const fs::path& folder) {
    if (const std::optional<std::string> xml = find_under(folder.string(), "drumkit.xml")) {
        return fs::path(*xml);
    }
    std::optional<fs::path> sfz;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (lower(it->path().filename().string()).ends_with(".sfz") && it->is_regular_file(ec)) {
            if (sfz) {
                return std::nullopt;
            }
            sfz = it->path();
        }
    }
    return sfz;
}

KitReading read_file(const fs::path& file) {
    if (lower(file.filename().string()).ends_with(".sfz")) {
        return read_sfz(file);
    }
    return read_drumkit_xml(file);
}

// An archive holds the kit at its top or, as kit archives are made, in one
// folder there.
KitReading read_archive(const fs::path& archive, const fs::path& scratch) {
    const Unpacking unpacked = unpack_archive(archive, scratch);
    if (unpacked.fault != KitFault::none) {
        return {{}, unpacked.fault, unpacked.detail};
    }
    std::optional<fs::path> kit_file = kit_file_in(scratch);
    if (!kit_file) {
        std::error_code ec;
        for (fs::directory_iterator it(scratch, ec), end; !ec && it != end; it.increment(ec)) {
            if (!it->is_directory(ec)) {
                continue;
            }
            if (std::optional<fs::path> found = kit_file_in(it->path())) {
                if (kit_file) {
                    return refused(KitFault::not_a_kit, archive);
                }
                kit_file = std::move(found);
            }
        }
    }
    if (!kit_file) {
        return refused(KitFault::not_a_kit, archive);
    }
    return read_file(*kit_file);
}

} // namespace

KitReading read_kit(const fs::path& path, const fs::path& scratch) {
    std::error_code ec;
    fs::path at = fs::absolute(path, ec).lexically_normal();
    if (!at.has_filename()) {
        at = at.parent_path();
    }
    const fs::file_status status = fs::status(at, ec);
    if (ec || !fs::exists(status)) {
        return refused(KitFault::unreadable, at);
    }
    if (fs::is_directory(status)) {
        const std::optional<fs::path> kit_file = kit_file_in(at);
        return kit_file ? read_file(*kit_file) : refused(KitFault::not_a_kit, at);
    }
    const std::string name = lower(at.filename().string());
    if (!fs::is_regular_file(status)) {
        return refused(KitFault::not_a_kit, at);
    }
    if (ends_with_any(name, {".xml", ".sfz"})) {
        return read_file(at);
    }
    if (ends_with_any(name, {".h2drumkit", ".tar.gz", ".tgz", ".tar"})) {
        return read_archive(at, scratch);
    }
    return refused(KitFault::not_a_kit, at);
}

} // namespace qx375::kits
