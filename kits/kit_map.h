#pragma once

#include "kits/kit.h"
#include "util/sound_slots.h"

#include <array>

namespace qx375::kits {

// For each of the sixteen sounds, the index of the kit's drum it takes, or -1.
// General MIDI notes decide first (kSoundSlots' notes, the first before the
// second), unless they only count the drums from 36 in the kit's order, then
// names (kSoundSlots' words, whole words before parts of a word); a drum goes
// to one sound at most.
std::array<int, kSounds> map_kit(const Kit& kit);

} // namespace qx375::kits
