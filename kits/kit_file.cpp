#include "kits/kit_file.h"

#include "util/file_io.h"
#include "util/file_lookup.h"

#include <algorithm>
#include <optional>
#include <system_error>

namespace qx375::kits {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxDetail = 200;

enum class Lookup { found, missing, outside };

struct Sample {
    Lookup lookup = Lookup::missing;
    fs::path path;
};

bool inside(const fs::path& path, const fs::path& folder) {
    const fs::path relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

bool absolute_anywhere(const std::string& written) {
    const bool drive =
        written.size() >= 2 && written[1] == ':' &&
        ((written[0] >= 'a' && written[0] <= 'z') || (written[0] >= 'A' && written[0] <= 'Z'));
    return written.front() == '/' || drive;
}

// `folder` is canonical.
Sample look_up(const fs::path& folder, std::string written) {
    std::ranges::replace(written, '\\', '/');
    if (written.empty()) {
        return {};
    }
    if (absolute_anywhere(written)) {
        return {Lookup::outside, {}};
    }
    const fs::path relative = fs::path(written).lexically_normal();
    if (relative.empty() || *relative.begin() == "..") {
        return {Lookup::outside, {}};
    }
    std::error_code ec;
    fs::path at = folder / relative;
    if (!fs::is_regular_file(at, ec)) {
        // Kits made where letter case does not count name their files so.
        const std::optional<std::string> found =
            find_under(folder.string(), relative.generic_string());
        if (!found) {
            return {};
        }
        at = *found;
    }
    // A symbolic link inside the kit may still point out of it.
    const fs::path real = fs::canonical(at, ec);
    if (ec) {
        return {};
    }
    if (!inside(real, folder)) {
        return {Lookup::outside, {}};
    }
    return {Lookup::found, real};
}

} // namespace

KitText read_kit_file(const fs::path& file) {
    FileContent content = read_file(file.string(), kMaxKitFileBytes);
    if (content.status.fault == FileFault::too_large) {
        return {{}, KitFault::too_large, file.filename().string()};
    }
    if (!content.status) {
        return {{}, KitFault::unreadable, file.filename().string()};
    }
    return {std::string(content.bytes.begin(), content.bytes.end()), KitFault::none, {}};
}

std::string short_detail(std::string name) {
    if (name.size() > kMaxDetail) {
        std::size_t cut = kMaxDetail;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name.resize(cut);
    }
    return name;
}

KitReading assemble_kit(std::string name, const fs::path& folder,
                        const std::vector<WrittenDrum>& drums) {
    std::error_code ec;
    const fs::path real_folder = fs::canonical(folder, ec);
    if (ec) {
        return {{}, KitFault::unreadable, folder.filename().string()};
    }
    Kit kit{std::move(name), real_folder, {}};
    std::optional<std::string> outside;
    for (const WrittenDrum& drum : drums) {
        for (const std::string& written : drum.samples) {
            const Sample sample = look_up(real_folder, written);
            if (sample.lookup == Lookup::found) {
                kit.instruments.push_back({drum.name, drum.note, sample.path});
                break;
            }
            if (sample.lookup == Lookup::outside && !outside) {
                outside = written;
            }
        }
    }
    if (kit.instruments.empty()) {
        if (outside) {
            return {{}, KitFault::sample_outside_kit, short_detail(*outside)};
        }
        return {{}, KitFault::no_samples, {}};
    }
    return {std::move(kit), KitFault::none, {}};
}

} // namespace qx375::kits
