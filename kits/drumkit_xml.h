#pragma once

#include "kits/kit.h"

#include <cstddef>
#include <filesystem>

namespace qx375::kits {

// Far more drums than any kit has, few enough to list in a window.
inline constexpr std::size_t kMaxKitDrums = 1000;

// Reads a drumkit.xml file: the kit's name and its drums, each with its
// General MIDI note and the sample of its loudest velocity layer. Elements it
// does not know are passed over; a document type declaration or an entity
// reference other than the five of XML itself is refused.
KitReading read_drumkit_xml(const std::filesystem::path& file);

} // namespace qx375::kits
