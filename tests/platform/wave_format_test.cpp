#include "audio_rig.h"
#include "platform/wave_format.h"

#include <gtest/gtest.h>

namespace qx375 {
namespace {

using testing::AudioRig;
using testing::format_record;

std::vector<std::uint8_t> extensible(std::uint16_t sub_tag, std::uint16_t block_align,
                                     std::uint16_t bits) {
    auto r = format_record(0xFFFE, 2, 44100, block_align, bits);
    const std::uint8_t tail[24] = {22,   0,    static_cast<std::uint8_t>(bits),
                                   0,    3,    0,
                                   0,    0,    static_cast<std::uint8_t>(sub_tag),
                                   0,    0x00, 0x00,
                                   0x00, 0x00, 0x10,
                                   0x00, 0x80, 0x00,
                                   0x00, 0xAA, 0x00,
                                   0x38, 0x9B, 0x71};
    r.resize(40);
    std::copy(std::begin(tail), std::end(tail), r.begin() + 16);
    return r;
}

TEST(WaveFormat, RefusesMissingShortAndUnplayableRecords) {
    SampleLayout layout;
    EXPECT_EQ(parse_wave_format({}, layout), DSERR_INVALIDPARAM);
    auto pcm = format_record(1, 2, 44100, 4, 16);
    EXPECT_EQ(parse_wave_format(FormatBytes(pcm).first(14), layout), DSERR_INVALIDPARAM);
    EXPECT_EQ(parse_wave_format(format_record(2, 2, 44100, 4, 4), layout), DSERR_BADFORMAT)
        << "compressed";
    EXPECT_EQ(parse_wave_format(format_record(1, 2, 44100, 3, 12), layout), DSERR_BADFORMAT);
    EXPECT_EQ(parse_wave_format(format_record(1, 4, 44100, 8, 16), layout), DSERR_BADFORMAT)
        << "four channels";
    EXPECT_EQ(parse_wave_format(format_record(1, 2, 44100, 0, 16), layout), DSERR_BADFORMAT);
    EXPECT_EQ(parse_wave_format(format_record(1, 2, 44100, 5, 16), layout), DSERR_BADFORMAT);
    EXPECT_EQ(parse_wave_format(format_record(1, 2, 0, 4, 16), layout), DSERR_BADFORMAT);
    EXPECT_EQ(parse_wave_format(format_record(3, 2, 44100, 4, 16), layout), DSERR_BADFORMAT)
        << "16-bit float";

    auto ext = extensible(1, 4, 16);
    EXPECT_EQ(parse_wave_format(FormatBytes(ext).first(30), layout), DSERR_INVALIDPARAM);
    ext[30] ^= 0xFF;
    EXPECT_EQ(parse_wave_format(ext, layout), DSERR_BADFORMAT) << "unknown sub-format";
}

TEST(WaveFormat, ChannelsComeFromTheBlockAlignment) {
    SampleLayout layout;
    ASSERT_EQ(parse_wave_format(format_record(1, 2, 22050, 2, 16), layout), DS_OK);
    EXPECT_EQ(layout.channels, 1) << "a mono record rewritten to claim two channels";
    EXPECT_EQ(layout.rate, 22050u);
    ASSERT_EQ(parse_wave_format(extensible(3, 8, 32), layout), DS_OK);
    EXPECT_EQ(layout.encoding, SampleEncoding::float32);
    EXPECT_EQ(layout.channels, 2);
    ASSERT_EQ(parse_wave_format(extensible(1, 6, 24), layout), DS_OK);
    EXPECT_EQ(layout.encoding, SampleEncoding::pcm_s24);
}

// Each encoding decoded to the same half-scale value, heard centred.
TEST(WaveFormat, EverySampleEncodingPlays) {
    struct Case {
        std::uint16_t tag, bits;
        std::vector<std::uint8_t> half;
    };
    const float f = 0.5f;
    std::vector<std::uint8_t> float_bytes(4);
    std::memcpy(float_bytes.data(), &f, 4);
    const Case cases[] = {
        {1, 8, {0xC0}},
        {1, 16, {0x00, 0x40}},
        {1, 24, {0x00, 0x00, 0x40}},
        {1, 32, {0x00, 0x00, 0x00, 0x40}},
        {3, 32, float_bytes},
    };
    for (const Case& c : cases) {
        AudioRig rig;
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < 600; ++i) {
            bytes.insert(bytes.end(), c.half.begin(), c.half.end());
        }
        const auto width = static_cast<std::uint16_t>(c.bits / 8);
        auto b = rig.buffer(format_record(c.tag, 2, 44100, width, c.bits), bytes);
        ASSERT_TRUE(b) << c.bits;
        b->Play(0, 0, 0);
        const auto out = rig.render(256);
        EXPECT_NEAR(out[40], 0.5f, 1e-6) << "tag " << c.tag << " bits " << c.bits;
        EXPECT_EQ(out[40], out[41]);
    }
}

TEST(WaveFormat, NonFiniteFloatSamplesAreSilenced) {
    SampleLayout layout{SampleEncoding::float32, 1, 4, 44100};
    const float values[] = {std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(), 0.25f};
    std::vector<std::uint8_t> bytes(sizeof values);
    std::memcpy(bytes.data(), values, sizeof values);
    std::vector<float> out(3, 9.0f);
    decode_samples(layout, bytes, out);
    EXPECT_EQ(out, (std::vector<float>{0.0f, 0.0f, 0.25f}));
}

TEST(WaveFormat, FloatSamplesBeyondFullScaleAreClipped) {
    SampleLayout layout{SampleEncoding::float32, 1, 4, 44100};
    const float max = std::numeric_limits<float>::max();
    const float values[] = {1.5f, -1.0f, -2.0f, max, -max, 1e-30f};
    std::vector<std::uint8_t> bytes(sizeof values);
    std::memcpy(bytes.data(), values, sizeof values);
    std::vector<float> out(std::size(values));
    decode_samples(layout, bytes, out);
    EXPECT_EQ(out, (std::vector<float>{1.0f, -1.0f, -1.0f, 1.0f, -1.0f, 1e-30f}));
}

// Samples near the largest float overflow when the mixer interpolates between
// them; what comes out must still be a sound, not NaN.
TEST(WaveFormat, AFileOfHugeFloatsPlaysWithinFullScale) {
    AudioRig rig;
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 200; ++i) {
        const float v = (i / 2 % 2 ? -1 : 1) * std::numeric_limits<float>::max();
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        bytes.insert(bytes.end(), p, p + 4);
    }
    auto b = rig.buffer(format_record(3, 2, 44100, 8, 32), bytes);
    ASSERT_TRUE(b);
    ASSERT_EQ(b->SetFrequency(30000), DS_OK);
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    for (const float v : rig.render(256)) {
        ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << v;
    }
}

// A file cut inside its last frame: the whole frames decode, the bytes of the
// partial one are dropped, and the guard frame after the sound is silent
// whatever the memory held before.
TEST(WaveFormat, APartialLastFrameIsNotDecoded) {
    struct Case {
        SampleEncoding encoding;
        std::uint16_t block_align;
        std::size_t whole_frames;
        std::vector<std::uint8_t> partial;
    };
    const Case cases[] = {
        {SampleEncoding::pcm_u8, 2, 3, {0xFF}},
        {SampleEncoding::pcm_s16, 4, 2, {0xFF, 0x7F}},
        {SampleEncoding::pcm_s16, 4, 2, {0xFF, 0x7F, 0xFF}},
        {SampleEncoding::pcm_s24, 6, 1, {0xFF, 0xFF, 0x7F}},
        {SampleEncoding::pcm_s32, 8, 1, {0xFF, 0xFF, 0xFF, 0x7F}},
        {SampleEncoding::float32, 8, 1, {0x00, 0x00, 0x80, 0x3F}},
    };
    for (const Case& c : cases) {
        const SampleLayout layout{c.encoding, 2, c.block_align, 44100};
        // Whole frames of silence (0x80 is the zero of unsigned 8-bit samples).
        std::vector<std::uint8_t> bytes(c.whole_frames * c.block_align,
                                        c.encoding == SampleEncoding::pcm_u8 ? 0x80 : 0x00);
        bytes.insert(bytes.end(), c.partial.begin(), c.partial.end());
        std::vector<float> out((c.whole_frames + 1) * 2, 9.0f);
        decode_samples(layout, bytes, out);
        EXPECT_EQ(out, std::vector<float>(out.size(), 0.0f))
            << "block " << c.block_align << ", " << c.partial.size() << " stray bytes";
    }
}

TEST(WaveFormat, ATruncatedSoundPlayedSlowerEndsInSilence) {
    AudioRig rig;
    // Two silent 16-bit stereo frames and half of a full-scale third one.
    auto b = rig.buffer(format_record(1, 2, 44100, 4, 16), {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x7F});
    ASSERT_TRUE(b);
    ASSERT_EQ(b->SetFrequency(11025), DS_OK);
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    const auto out = rig.render(64);
    EXPECT_EQ(out, std::vector<float>(out.size(), 0.0f)) << "a click at the end";
}

} // namespace
} // namespace qx375
