#pragma once

#include "kits/kit.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qx375::kits {

// Larger than any drumkit.xml or SFZ file of a real kit, small enough to read
// whole.
inline constexpr std::size_t kMaxKitFileBytes = 4 << 20;

// The bytes of a kit file, or why it could not be read (the text then empty).
struct KitText {
    std::string text;
    KitFault fault = KitFault::none;
    std::string detail;
};

// Reads a drumkit.xml or SFZ file of at most kMaxKitFileBytes.
KitText read_kit_file(const std::filesystem::path& file);

// A name from a kit cut to a length a message can show, at a character's
// start.
std::string short_detail(std::string name);

// A drum as a kit file describes it, before its samples are looked up.
struct WrittenDrum {
    std::string name;
    int note = -1;
    // Sample paths as the file writes them, relative to the kit's folder,
    // the one to play first: the loudest velocity layer leads.
    std::vector<std::string> samples;
};

// The kit of the drums a file in `folder` describes: each drum keeps the
// first of its samples that exists inside the folder, and a drum left with
// none is dropped. Backslashes separate folders; a name that does not exist
// as written is matched whatever its letter case. A sample outside the
// folder (absolute, through "..", through a symbolic link) is never taken.
KitReading assemble_kit(std::string name, const std::filesystem::path& folder,
                        const std::vector<WrittenDrum>& drums);

} // namespace qx375::kits
