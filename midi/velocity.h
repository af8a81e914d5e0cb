#pragma once

#include <array>

namespace qx375::midi {

// The gain a hit of this velocity plays its sound at: (v/127)^2, that is
// 40·log10(v/127) dB, the velocity-to-attenuation curve of DLS synthesizers.
// It follows how hard a drummer hits: 127 is the sound as recorded, 64 about
// -11.9 dB, 1 about -84 dB. Velocity 0 and below is silence; above 127 is
// taken as 127.
constexpr float velocity_gain(int velocity) {
    if (velocity <= 0) {
        return 0.0f;
    }
    if (velocity >= 127) {
        return 1.0f;
    }
    const float ratio = static_cast<float>(velocity) / 127.0f;
    return ratio * ratio;
}

// The gain of every velocity 0..127, for the audio thread to look up.
constexpr std::array<float, 128> velocity_gains() {
    std::array<float, 128> gains{};
    for (int v = 0; v < 128; ++v) {
        gains[v] = velocity_gain(v);
    }
    return gains;
}

} // namespace qx375::midi
