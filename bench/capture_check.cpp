// Reads a recording of the program's output (a WAV file, say from a sound
// server's monitor) and prints what a listener would notice:
// - dropouts: runs of exact digital silence that cut into a sound, which the
//   output shows when the sound server ran dry;
// - hits: sounds that start after a moment of silence, and how far each lies
//   from the steady beat that the first hits set; a beat jump is a hit whose
//   distance from that beat moved by more than a frame.
//   capture_check FILE.wav [INTERVAL_MS]
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A natural decay reaches silence through values far below this.
constexpr float kCut = 0.01f;
// Silence this long before a sound makes it a hit.
constexpr std::size_t kHitGap = 64;

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: capture_check FILE.wav [INTERVAL_MS]\n");
        return 2;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(argv[1], SFM_READ, &info);
    if (file == nullptr || info.channels < 1) {
        std::fprintf(stderr, "cannot read %s: %s\n", argv[1], sf_strerror(file));
        return 2;
    }
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    const auto channels = static_cast<std::size_t>(info.channels);
    const std::size_t frames = samples.size() / channels;
    auto loudest = [&](std::size_t i) {
        float m = 0;
        for (std::size_t c = 0; c < channels; ++c) {
            m = std::max(m, std::abs(samples[i * channels + c]));
        }
        return m;
    };

    std::size_t dropouts = 0;
    std::size_t dropout_frames = 0;
    std::size_t longest = 0;
    std::vector<std::size_t> hits;
    std::size_t silent = kHitGap; // the recording starts in silence
    for (std::size_t i = 0; i < frames; ++i) {
        const float level = loudest(i);
        if (level == 0.0f) {
            ++silent;
            continue;
        }
        if (silent >= 2 && i > silent && loudest(i - silent - 1) >= kCut) {
            ++dropouts;
            dropout_frames += silent;
            longest = std::max(longest, silent);
            std::printf("dropout at %.3f s: %zu frames\n",
                        static_cast<double>(i - silent) / info.samplerate, silent);
        } else if (silent >= kHitGap) {
            hits.push_back(i);
        }
        silent = 0;
    }

    std::printf("recording: %.1f s at %d Hz\n", static_cast<double>(frames) / info.samplerate,
                info.samplerate);
    std::printf("dropouts: %zu (%zu frames of silence, longest %zu)\n", dropouts, dropout_frames,
                longest);
    std::printf("hits: %zu\n", hits.size());
    if (hits.size() < 3) {
        return dropouts == 0 ? 0 : 1;
    }

    // The beat: hits one step apart; the step in whole milliseconds as the
    // sequencer keeps it, taken from the typical spacing unless given.
    std::vector<std::size_t> gaps;
    for (std::size_t k = 1; k < hits.size(); ++k) {
        gaps.push_back(hits[k] - hits[k - 1]);
    }
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const double rate_khz = info.samplerate / 1000.0;
    const double interval_ms =
        argc > 2 ? std::atof(argv[2])
                 : std::round(static_cast<double>(gaps[gaps.size() / 2]) / rate_khz);
    const double step = interval_ms * rate_khz;
    long long previous = 0;
    long long worst = 0;
    std::size_t jumps = 0;
    for (std::size_t k = 0; k < hits.size(); ++k) {
        const double steps = std::round(static_cast<double>(hits[k] - hits[0]) / step);
        const auto ideal =
            static_cast<long long>(hits[0]) + static_cast<long long>(std::floor(steps * step));
        const long long distance = static_cast<long long>(hits[k]) - ideal;
        if (k > 0 && std::llabs(distance - previous) > 1) {
            ++jumps;
            std::printf("beat jump at %.3f s: %+lld frames\n",
                        static_cast<double>(hits[k]) / info.samplerate, distance - previous);
        }
        worst = std::max(worst, std::llabs(distance));
        previous = distance;
    }
    std::printf("step: %.0f ms; largest distance from the first hit's beat: %lld frames; beat "
                "jumps: %zu\n",
                interval_ms, worst, jumps);
    return dropouts == 0 && jumps == 0 ? 0 : 1;
}
