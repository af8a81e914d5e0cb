#pragma once

#include "dsp.h"

#include <span>
#include <string_view>

namespace qx375::kitgen {

// One start-up sample: its file name, how it is made and how it is finished.
struct Instrument {
    std::string_view file;
    Mono (*make)();
    double width;    // stereo spread of everything above the bass; 0 keeps it centred
    double level_db; // peak level in dB, before the whole kit is lowered to leave headroom
    double fade;     // seconds at the end faded out to silence
};

// Every sample the program expects beside it at start-up.
std::span<const Instrument> kit();

} // namespace qx375::kitgen
