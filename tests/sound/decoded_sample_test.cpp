// FLAC and Ogg Vorbis samples decoded once into the WAV image the loader
// reads: lossless sources come back sample for sample at their own depth,
// and nothing that fails to decode, or decodes to too much, is kept.

#include "sound/decoded_sample.h"
#include "sound/direct_sound.h"
#include "support/fake_sound_system.h"
#include "support/print_file_status.h"
#include "support/wav_builder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <fstream>

namespace qx375::test {
namespace {

constexpr int kChannel = 5;
constexpr int kRate = 48000;

// A sine of `frames` frames on each of `channels`, at integer steps of the
// 24-bit scale so that 16 and 24-bit encodings hold it exactly.
std::vector<int> sine(int frames, int channels, int bits) {
    std::vector<int> out;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double x = 0.7 * std::sin(0.05 * i + c);
            const int q = static_cast<int>(std::lround(x * ((1 << (bits - 1)) - 1)));
            out.push_back(q << (32 - bits));
        }
    }
    return out;
}

std::string encode(const std::filesystem::path& path, int format, int channels,
                   const std::vector<int>& samples) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_int(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(file);
    return path.string();
}

class DecodedSampleTest : public ::testing::Test {
protected:
    const sound_channel& ch() const { return sound.channels[kChannel]; }

    std::uint16_t format_field(std::size_t at) const {
        const std::size_t base = ch().format.value() + at;
        return static_cast<std::uint16_t>(ch().file_image[base] | ch().file_image[base + 1] << 8);
    }

    TempDir dir;
    FakeLog log;
    FakeSystem system{log};
    RecordingNotifier notifier;
    DirectSound sound{system, notifier};
};

struct Lossless {
    const char* name;
    int format;
    int bits;
    int channels;
};

class LosslessSample : public DecodedSampleTest, public ::testing::WithParamInterface<Lossless> {};

TEST_P(LosslessSample, ComesBackSampleForSampleAtItsOwnDepthRateAndChannels) {
    const Lossless& p = GetParam();
    const std::vector<int> source = sine(1001, p.channels, p.bits);
    const std::string file = encode(dir.path() / p.name, p.format, p.channels, source);
    ASSERT_TRUE(sound.load_wave(file, kChannel));

    const int bytes = p.bits / 8;
    EXPECT_EQ(format_field(0), 1) << "integer PCM";
    EXPECT_EQ(format_field(2), 2) << "declared two-channel, as every sample is";
    EXPECT_EQ(format_field(4) | format_field(6) << 16, kRate);
    EXPECT_EQ(format_field(12), p.channels * bytes) << "the block tells the real channels";
    EXPECT_EQ(format_field(14), p.bits);
    ASSERT_EQ(ch().sample_bytes, source.size() * static_cast<std::size_t>(bytes));
    const std::uint8_t* data = ch().file_image.data() + ch().sample_data.value();
    for (std::size_t i = 0; i < source.size(); ++i) {
        std::int32_t value = 0;
        std::memcpy(reinterpret_cast<char*>(&value) + (4 - bytes), data + i * bytes, bytes);
        ASSERT_EQ(value, source[i]) << "sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    FlacAndAiff, LosslessSample,
    ::testing::Values(Lossless{"mono16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16, 1},
                      Lossless{"stereo16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16, 2},
                      Lossless{"mono24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 24, 1},
                      Lossless{"stereo24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 24, 2},
                      Lossless{"aiff16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 16, 2},
                      Lossless{"aiff24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 24, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecodedSampleTest, OggVorbisBecomesFloatOfTheSameLengthAndShape) {
    const std::vector<int> source = sine(8000, 2, 16);
    const std::string file =
        encode(dir.path() / "hit.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, source);
    ASSERT_TRUE(sound.load_wave(file, kChannel));
    EXPECT_EQ(format_field(0), 3) << "IEEE float";
    EXPECT_EQ(format_field(14), 32);
    ASSERT_EQ(ch().sample_bytes, source.size() * 4);
    const auto* data = ch().file_image.data() + ch().sample_data.value();
    double error = 0;
    for (std::size_t i = 1000; i < source.size(); ++i) {
        float value;
        std::memcpy(&value, data + 4 * i, 4);
        error = std::max(error, std::abs(value - source[i] / 2147483648.0));
    }
    EXPECT_LT(error, 0.05) << "a lossy copy, but of the same sound";
}

TEST_F(DecodedSampleTest, WhatDoesNotDecodeLeavesNothingAndSaysSo) {
    const std::vector<int> source = sine(20000, 2, 16);
    const std::string flac =
        encode(dir.path() / "whole.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, source);
    std::ifstream in(flac, std::ios::binary);
    const Bytes whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const Bytes magic_only = {'f', 'L', 'a', 'C'};
    Bytes garbage = {'O', 'g', 'g', 'S'};
    garbage.resize(5000, 0x5A);
    for (const Bytes& bad : {magic_only, garbage, Bytes(whole.begin(), whole.begin() + 30)}) {
        // Over a sample read before, as a wave file that is none would be.
        ASSERT_TRUE(sound.load_wave(dir.write("good.wav", simple_wav(ramp(8))), kChannel));
        EXPECT_EQ(sound.load_wave(dir.write("bad.flac", bad), kChannel),
                  (FileStatus{FileFault::not_a_wave, 0}));
        EXPECT_FALSE(ch().format);
    }

    const std::string surround =
        encode(dir.path() / "six.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 6, sine(100, 6, 16));
    EXPECT_EQ(sound.load_wave(surround, kChannel), (FileStatus{FileFault::not_a_wave, 0}))
        << "the mixer plays one or two channels";

    EXPECT_EQ(decode_sample(whole, 1000).status, (FileStatus{FileFault::too_large, 0}))
        << "counted as it decodes, whatever the header claims";
    EXPECT_TRUE(decode_sample(whole, source.size() * 2).status);
}

TEST_F(DecodedSampleTest, AWaveFileIsReadAsItIsNotThroughTheDecoder) {
    const Bytes wav = simple_wav(ramp(8));
    EXPECT_FALSE(is_decoded_sample(wav));
    ASSERT_TRUE(sound.load_wave(dir.write("plain.wav", wav), kChannel));
    EXPECT_EQ(ch().file_image, wav);
}

} // namespace
} // namespace qx375::test
