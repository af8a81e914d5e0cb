#pragma once

#include "kits/kit.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace qx375::kits {

// How much an archive may unpack to: more than any kit, little enough for
// any disk. The bytes counted are those decompressed, whatever the headers
// say.
struct ArchiveLimits {
    std::uint64_t member_bytes = std::uint64_t{256} << 20;
    std::uint64_t total_bytes = std::uint64_t{1} << 30;
    std::uint64_t entries = 4096;
};

struct Unpacking {
    KitFault fault = KitFault::none;
    std::string detail;
};

// Unpacks a tar archive, gzip'd or not, into the folder `scratch`, creating
// only folders and regular files there, with permissions of our own. The
// first member that could lead out of it (an absolute path, "..", a link of
// either kind) or that is no file or folder (a device, a pipe) stops the
// unpacking; so does passing a limit, as soon as the byte that passes it is
// decompressed. What was unpacked until then stays in `scratch` for the
// caller to delete.
Unpacking unpack_archive(const std::filesystem::path& archive, const std::filesystem::path& scratch,
                         const ArchiveLimits& limits = {});

} // namespace qx375::kits
