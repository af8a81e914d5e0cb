#pragma once

#include "kits/kit.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace qx375::kits {

// Reads an SFZ file as a drum kit named after the file: one drum per key,
// playing the sample of its loudest region (the highest hivel). Regions
// inherit the opcodes of their <group>, <master> and <global>; <control>'s
// default_path leads the samples' paths. A region with no key, or with a
// generated sound ("*sine") for its sample, is passed over; #include and
// #define lines are not followed.
KitReading read_sfz(const std::filesystem::path& file);

// The MIDI note of an SFZ key: a number 0..127 or a name whose octave 4
// holds middle C (c4 = 60, c#3, db2, c-1 = 0).
std::optional<int> sfz_note(std::string_view text);

} // namespace qx375::kits
