#pragma once

#include <array>
#include <cstdint>

namespace qx375 {

// A complete MIDI message that came in, on the output frame it arrived at.
struct MidiEvent {
    std::uint64_t frame = 0;
    std::array<std::uint8_t, 3> bytes{};
    std::uint8_t size = 0;
};

} // namespace qx375
