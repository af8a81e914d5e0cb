// Files written by libsndfile, an independent WAV writer and reader: the loader
// must find exactly the format record and the sample bytes libsndfile sees.

#include "support/fake_sound_system.h"
#include "sound/direct_sound.h"
#include "support/wav_builder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <memory>

namespace qx375::test {
namespace {

struct Case {
    const char* name;
    int format;
    int channels;
    std::uint16_t tag;
    std::uint16_t bits;
    bool with_title;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

constexpr int kFrames = 1001; // odd, so 8-bit mono data gets a pad byte
constexpr int kRate = 22050;

void write_with_libsndfile(const std::string& path, const Case& c) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = c.channels;
    info.format = c.format;
    Sndfile file(sf_open(path.c_str(), SFM_WRITE, &info));
    ASSERT_TRUE(file) << sf_strerror(nullptr);
    if (c.with_title) {
        sf_set_string(file.get(), SF_STR_TITLE, "qx375 test");
    }
    std::vector<double> frames(static_cast<std::size_t>(kFrames * c.channels));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = 0.8 * std::sin(static_cast<double>(i) * 0.37);
    }
    ASSERT_EQ(sf_writef_double(file.get(), frames.data(), kFrames), kFrames);
}

class LibsndfileCompareTest : public ::testing::TestWithParam<Case> {
protected:
    TempDir dir;
    FakeLog log;
    FakeSystem system{log};
    RecordingNotifier notifier;
    DirectSound sound{system, notifier};
};

TEST_P(LibsndfileCompareTest, LoaderSeesWhatLibsndfileSees) {
    const Case& c = GetParam();
    const std::string path = (dir.path() / (std::string(c.name) + ".wav")).string();
    write_with_libsndfile(path, c);

    SF_INFO info{};
    Sndfile reader(sf_open(path.c_str(), SFM_READ, &info));
    ASSERT_TRUE(reader);
    ASSERT_EQ(info.frames, kFrames);
    const std::uint16_t align = static_cast<std::uint16_t>(c.channels * c.bits / 8);
    // Asked for more, libsndfile's raw read also hands out the pad byte of an
    // odd data chunk; its frame count is what it takes for the samples.
    Bytes raw(static_cast<std::size_t>(info.frames) * align);
    ASSERT_EQ(sf_read_raw(reader.get(), raw.data(), static_cast<sf_count_t>(raw.size())),
              static_cast<sf_count_t>(raw.size()));

    ASSERT_TRUE(sound.load_wave(path, 0));
    const sound_channel& ch = sound.channel(0);
    const Bytes& image = ch.file_image;
    const std::size_t fmt = ch.format.value();
    ASSERT_GE(ch.format_bytes, 16u);
    EXPECT_EQ(read16(image, fmt), c.tag);
    EXPECT_EQ(read16(image, fmt + 2), 2u);
    EXPECT_EQ(read32(image, fmt + 4), static_cast<std::uint32_t>(info.samplerate));
    EXPECT_EQ(read32(image, fmt + 8), static_cast<std::uint32_t>(info.samplerate) * align);
    EXPECT_EQ(read16(image, fmt + 12), align);
    EXPECT_EQ(read16(image, fmt + 14), c.bits);

    ASSERT_EQ(ch.sample_bytes, raw.size());
    const auto start = image.begin() + static_cast<std::ptrdiff_t>(ch.sample_data.value());
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), start));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LibsndfileCompareTest,
    ::testing::Values(
        Case{"pcm16_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 1, 16, false},
        Case{"pcm16_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 1, 16, false},
        Case{"pcm16_titled", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 1, 16, true},
        Case{"u8_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 1, 8, false},
        Case{"u8_mono_titled", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 1, 8, true},
        Case{"u8_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2, 1, 8, false},
        Case{"pcm24_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 1, 24, false},
        Case{"pcm24_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 1, 24, false},
        Case{"float_mono", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 3, 32, false},
        Case{"float_stereo", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 3, 32, true},
        Case{"wavex_pcm16_stereo", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, 0xFFFE, 16, false},
        Case{"wavex_pcm24_mono", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 1, 0xFFFE, 24, false},
        Case{"wavex_float_stereo", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 2, 0xFFFE, 32, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
} // namespace qx375::test
