// kitgen <output-dir>: synthesises the start-up samples into output-dir as 16-bit stereo
// 44100 Hz WAV files. The output is the same, byte for byte, on every run.

#include "kit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <numeric>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace qx375::kitgen {
namespace {

struct Stereo {
    Mono left, right;
};

// Mid/side spread: the side is the voice through a chain of all-passes, high-passed so
// that the bass stays centred. Left and right sum back to the voice itself.
Stereo widen(const Mono& voice, double width) {
    Stereo out{voice, voice};
    if (width == 0.0) {
        return out;
    }
    Allpass a(57, 0.5), b(127, 0.5), c(211, 0.5);
    Svf bass_cut;
    for (std::size_t i = 0; i < voice.size(); ++i) {
        const double side = width * bass_cut.high(c(b(a(voice[i]))), 400.0, 0.7);
        out.left[i] += side;
        out.right[i] -= side;
    }
    return out;
}

// Raised-cosine fades: in over 0.3 ms so the first sample is silence whatever the voice
// does, out over `seconds` so the last one is.
void fade(Mono& channel, double seconds) {
    const std::size_t in = frames(0.0003);
    const std::size_t out = std::min(frames(seconds), channel.size());
    for (std::size_t i = 0; i < in && i < channel.size(); ++i) {
        channel[i] *= 0.5 - 0.5 * std::cos(pi * static_cast<double>(i) / static_cast<double>(in));
    }
    for (std::size_t i = 0; i < out; ++i) {
        const double x = static_cast<double>(i) / static_cast<double>(out);
        channel[channel.size() - 1 - i] *= 0.5 - 0.5 * std::cos(pi * x);
    }
}

// The output coupling capacitor: a first-order high-pass near 15 Hz takes out the offset a
// struck resonance leaves behind.
Mono block_dc(const Mono& in) {
    const double pole = std::exp(-2.0 * pi * 15.0 / rate);
    Mono out(in.size());
    double previous_in = 0.0;
    double previous_out = 0.0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        previous_out = in[i] - previous_in + pole * previous_out;
        previous_in = in[i];
        out[i] = previous_out;
    }
    return out;
}

double amplitude(double db) {
    return std::pow(10.0, db / 20.0);
}

// Any three samples may start on the same frame at full volume. The three
// loudest levels of the kit set one gain for every sample, so that their peaks
// together stay at this share of full scale and the kit keeps its balance.
constexpr double kThreePeaksCeiling = 0.9;

double kit_headroom(std::span<const Instrument> instruments) {
    std::vector<double> levels;
    for (const Instrument& instrument : instruments) {
        levels.push_back(amplitude(instrument.level_db));
    }
    const auto loudest = levels.begin() + std::min<std::ptrdiff_t>(3, std::ssize(levels));
    std::partial_sort(levels.begin(), loudest, levels.end(), std::greater<>());
    return kThreePeaksCeiling / std::accumulate(levels.begin(), loudest, 0.0);
}

std::vector<std::int16_t> finish(const Instrument& instrument, double headroom) {
    Stereo sound = widen(block_dc(instrument.make()), instrument.width);
    fade(sound.left, instrument.fade);
    fade(sound.right, instrument.fade);
    double peak = 0.0;
    for (const Mono* channel : {&sound.left, &sound.right}) {
        for (const double x : *channel) {
            peak = std::max(peak, std::abs(x));
        }
    }
    const double gain = amplitude(instrument.level_db) * headroom * 32767.0 / peak;
    std::vector<std::int16_t> pcm;
    pcm.reserve(2 * sound.left.size());
    for (std::size_t i = 0; i < sound.left.size(); ++i) {
        pcm.push_back(static_cast<std::int16_t>(std::lround(sound.left[i] * gain)));
        pcm.push_back(static_cast<std::int16_t>(std::lround(sound.right[i] * gain)));
    }
    return pcm;
}

class LittleEndian {
public:
    void tag(const char (&fourcc)[5]) { bytes_.append(fourcc, 4); }
    void u16(std::uint16_t v) { put(v, 2); }
    void u32(std::uint32_t v) { put(v, 4); }
    const std::string& bytes() const { return bytes_; }

private:
    void put(std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i) {
            bytes_.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
        }
    }

    std::string bytes_;
};

bool write_wav(const std::filesystem::path& path, const std::vector<std::int16_t>& pcm) {
    constexpr std::uint16_t channels = 2;
    constexpr std::uint32_t sample_rate = 44100;
    constexpr std::uint16_t block = channels * sizeof(std::int16_t);
    const auto data_bytes = static_cast<std::uint32_t>(pcm.size() * sizeof(std::int16_t));
    LittleEndian w;
    w.tag("RIFF");
    w.u32(36 + data_bytes);
    w.tag("WAVE");
    w.tag("fmt ");
    w.u32(16);
    w.u16(1); // integer PCM
    w.u16(channels);
    w.u32(sample_rate);
    w.u32(sample_rate * block);
    w.u16(block);
    w.u16(16);
    w.tag("data");
    w.u32(data_bytes);
    for (const std::int16_t s : pcm) {
        w.u16(static_cast<std::uint16_t>(s));
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(w.bytes().data(), static_cast<std::streamsize>(w.bytes().size()));
    return static_cast<bool>(file.flush());
}

} // namespace
} // namespace qx375::kitgen

int main(int argc, char** argv) {
    using namespace qx375::kitgen;
    if (argc != 2) {
        std::cerr << "usage: kitgen <output-dir>\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    const double headroom = kit_headroom(kit());
    for (const Instrument& instrument : kit()) {
        const auto path = dir / instrument.file;
        if (!write_wav(path, finish(instrument, headroom))) {
            std::cerr << "kitgen: cannot write " << path.string() << '\n';
            return 1;
        }
    }
    return 0;
}
