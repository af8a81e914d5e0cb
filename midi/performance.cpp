#include "midi/performance.h"

#include "midi/clock.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace qx375::midi {

void Performance::step(std::uint64_t frame, int interval_ms, int size) {
    if (!steps_.empty() && frame <= steps_.back().frame) {
        return;
    }
    // The program's sizes divide the bar; any other gets the nearest whole tick.
    const int steps = std::clamp(size, 1, kClocksPerBar);
    const auto ticks = static_cast<std::uint32_t>(
        std::lround(static_cast<double>(kFileTicksPerBar) / static_cast<double>(steps)));
    const auto interval = static_cast<std::uint64_t>(std::max(interval_ms, 1));
    const std::uint32_t tick = steps_.empty() ? 0 : steps_.back().tick + steps_.back().ticks;
    steps_.push_back(
        {frame, tick, ticks,
         static_cast<std::uint32_t>((interval * 1000 * kFileTicksPerQuarter + ticks / 2) / ticks)});
}

void Performance::hit(std::uint64_t frame, int sound, int note, int velocity) {
    hits_.push_back({frame, sound, note, velocity});
}

// A hit between steps lies as far into its step in ticks as in time.
std::uint32_t Performance::tick_of(std::uint64_t frame) const {
    const auto after = std::upper_bound(steps_.begin(), steps_.end(), frame,
                                        [](std::uint64_t f, const Step& s) { return f < s.frame; });
    if (after == steps_.begin()) {
        return 0;
    }
    const Step& step = *(after - 1);
    const double seconds = static_cast<double>(frame - step.frame) / rate_;
    const double quarters = seconds * 1e6 / step.microseconds_per_quarter;
    return step.tick + static_cast<std::uint32_t>(std::lround(quarters * kFileTicksPerQuarter));
}

MidiFile Performance::file(std::span<const std::string_view> names) const {
    MidiFile file;
    for (const Step& step : steps_) {
        if (file.tempi.empty() ||
            file.tempi.back().microseconds_per_quarter != step.microseconds_per_quarter) {
            file.tempi.push_back({step.tick, step.microseconds_per_quarter});
        }
        file.end_tick = step.tick + step.ticks;
    }
    std::vector<Hit> hits = hits_;
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Hit& a, const Hit& b) { return a.sound < b.sound; });
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const Hit& hit = hits[i];
        if (i == 0 || hits[i - 1].sound != hit.sound) {
            const auto k = static_cast<std::size_t>(hit.sound);
            file.tracks.push_back({hit.sound >= 0 && k < names.size()
                                       ? std::string(names[k])
                                       : "Sound " + std::to_string(hit.sound + 1),
                                   {}});
        }
        file.tracks.back().notes.push_back(
            {tick_of(hit.frame), static_cast<std::uint8_t>(std::clamp(hit.note, 0, 127)),
             static_cast<std::uint8_t>(std::clamp(hit.velocity, 1, 127))});
    }
    return file;
}

} // namespace qx375::midi
