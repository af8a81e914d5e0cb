#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qx375 {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// The names the program looks for beside it at start-up.
const char* const startup_samples[] = {
    "HH_CL03st.WAV", "HH_OP03st.WAV", "SNR_C05st.WAV", "BDRUM03st.WAV", "ht375st.wav",
    "mt375st.wav",   "lt375st.wav",   "rimst.wav",     "CYMBALEst.WAV", "ridest.wav",
    "clangst.wav",   "BELL001st.WAV", "CLAPst.WAV",    "KAPOWst.wav",   "CLASHst.wav",
    "BOISst.wav",    "STRTURNst.wav",
};

fs::path run_kitgen(const std::string& name) {
    const fs::path dir = fs::path(::testing::TempDir()) / name;
    fs::remove_all(dir);
    const std::string command = std::string("\"") + KITGEN_PATH + "\" \"" + dir.string() + "\"";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return dir;
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t le(const Bytes& b, std::size_t at, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) {
        v = (v << 8) | b[at + i];
    }
    return v;
}

std::string tag(const Bytes& b, std::size_t at) {
    return std::string(b.begin() + at, b.begin() + at + 4);
}

TEST(Kitgen, WritesEveryStartupSampleAsCleanStereoPcm) {
    const fs::path dir = run_kitgen("kitgen_clean");
    EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})),
              std::size(startup_samples));
    for (const char* name : startup_samples) {
        SCOPED_TRACE(name);
        const Bytes b = read_file(dir / name);
        ASSERT_GT(b.size(), 44u + 4 * 4410) << "missing, or shorter than 0.1 s";
        EXPECT_EQ(tag(b, 0), "RIFF");
        EXPECT_EQ(le(b, 4, 4), b.size() - 8);
        EXPECT_EQ(tag(b, 8), "WAVE");
        EXPECT_EQ(tag(b, 12), "fmt ");
        EXPECT_EQ(le(b, 16, 4), 16u);
        EXPECT_EQ(le(b, 20, 2), 1u) << "integer PCM";
        EXPECT_EQ(le(b, 22, 2), 2u) << "channels";
        EXPECT_EQ(le(b, 24, 4), 44100u);
        EXPECT_EQ(le(b, 28, 4), 44100u * 4);
        EXPECT_EQ(le(b, 32, 2), 4u) << "block align";
        EXPECT_EQ(le(b, 34, 2), 16u) << "bits";
        EXPECT_EQ(tag(b, 36), "data");
        ASSERT_EQ(le(b, 40, 4), b.size() - 44);
        ASSERT_EQ(b.size() % 4, 0u);

        std::vector<int> samples;
        for (std::size_t at = 44; at < b.size(); at += 2) {
            samples.push_back(static_cast<std::int16_t>(le(b, at, 2)));
        }
        EXPECT_EQ(samples[0], 0);
        EXPECT_EQ(samples[1], 0);
        EXPECT_EQ(samples[samples.size() - 2], 0);
        EXPECT_EQ(samples.back(), 0);
        int peak = 0;
        for (const int s : samples) {
            peak = std::max(peak, std::abs(s));
        }
        EXPECT_LT(peak, 32000) << "touches full scale";
        EXPECT_GT(peak, 6538) << "quieter than -14 dBFS";
    }
}

// The largest value of each channel, left and right.
std::array<int, 2> channel_peaks(const Bytes& wav) {
    std::array<int, 2> peaks{};
    for (std::size_t at = 44; at + 1 < wav.size(); at += 2) {
        const int s = static_cast<std::int16_t>(le(wav, at, 2));
        int& peak = peaks[(at - 44) / 2 % 2];
        peak = std::max(peak, std::abs(s));
    }
    return peaks;
}

// Any three samples started together at full volume, centred, stay below full
// scale: even the three loudest peaks of a channel, summed, do.
TEST(Kitgen, AnyThreeSamplesTogetherStayBelowFullScale) {
    const fs::path dir = run_kitgen("kitgen_headroom");
    std::array<std::vector<int>, 2> peaks;
    for (const char* name : startup_samples) {
        const auto p = channel_peaks(read_file(dir / name));
        peaks[0].push_back(p[0]);
        peaks[1].push_back(p[1]);
    }
    for (std::vector<int>& channel : peaks) {
        std::sort(channel.rbegin(), channel.rend());
        EXPECT_LT(channel[0] + channel[1] + channel[2], 32767);
    }

    // The kit keeps its balance: the drums still stand above the bell.
    const int bell = channel_peaks(read_file(dir / "BELL001st.WAV"))[0];
    EXPECT_GT(channel_peaks(read_file(dir / "BDRUM03st.WAV"))[0], bell);
    EXPECT_GT(channel_peaks(read_file(dir / "SNR_C05st.WAV"))[0], bell);
}

TEST(Kitgen, WritesTheSameBytesOnEveryRun) {
    const fs::path first = run_kitgen("kitgen_first");
    const fs::path second = run_kitgen("kitgen_second");
    for (const char* name : startup_samples) {
        const Bytes a = read_file(first / name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == read_file(second / name)) << name;
    }
}

} // namespace
} // namespace qx375
