#include "platform/audio_file_writer.h"
#include "support/file_size_limit.h"
#include "support/wav_builder.h"
#include "util/file_io.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace qx375 {
namespace {

TEST(ExportFormat, TheExtensionGivesTheTypeAndOnlyMeaningfulSamplesAreTaken) {
    using Bits = std::optional<SampleBits>;
    const struct {
        const char* name;
        Bits bits;
        std::optional<ExportFormat> format;
    } cases[] = {
        {"take.wav", {}, ExportFormat::wav16},
        {"TAKE.WAV", SampleBits::pcm24, ExportFormat::wav24},
        {"take.wav", SampleBits::float32, ExportFormat::wav_float},
        {"take", {}, ExportFormat::wav16},
        {"take.mp3", SampleBits::pcm24, ExportFormat::wav24},
        {"takes.flac/one", {}, ExportFormat::wav16},
        {"/home/me/take.Flac", {}, ExportFormat::flac16},
        {"take.flac", SampleBits::pcm24, ExportFormat::flac24},
        {"take.flac", SampleBits::float32, std::nullopt},
        {"take.ogg", {}, ExportFormat::ogg_vorbis},
        {"take.OGA", {}, ExportFormat::ogg_vorbis},
        {"take.ogg", SampleBits::pcm16, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(export_format_for(c.name, c.bits), c.format);
    }
    for (const ExportFormat format :
         {ExportFormat::wav16, ExportFormat::wav24, ExportFormat::wav_float, ExportFormat::flac16,
          ExportFormat::flac24, ExportFormat::ogg_vorbis}) {
        const FileType type = file_type(format);
        EXPECT_EQ(file_type_of("x" + std::string(file_extension(type))), type);
    }
}

struct Written {
    ExportFormat format;
    int sndfile_format;
    float tolerance; // of every sample; below 0 for a lossy format
    float peak;      // what a sample of 1.5 comes back as
};

class AudioFileWriterTest : public ::testing::TestWithParam<Written> {
protected:
    test::TempDir dir;
    std::string path = (dir.path() / "take").string();
};

// Half a second of two tones, a burst beyond full scale on the left.
std::vector<float> signal() {
    constexpr std::size_t kFrames = 22050;
    std::vector<float> s(2 * kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / 44100;
        s[2 * i] = static_cast<float>(0.6 * std::sin(2 * M_PI * 441 * t));
        s[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * 882 * t));
    }
    for (std::size_t i = 10000; i < 10010; ++i) {
        s[2 * i] = 1.5f;
    }
    return s;
}

TEST_P(AudioFileWriterTest, WritesEveryBlockInItsFormatAndClipsIntegers) {
    const std::vector<float> sent = signal();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    {
        AudioFileWriter writer(fd, 44100, GetParam().format);
        // Blocks of every size the callers use, and odd ones.
        const std::size_t sizes[] = {1, 7, 256, 4096, 4093};
        for (std::size_t at = 0, k = 0; at < sent.size(); ++k) {
            const std::size_t n = std::min(2 * sizes[k % std::size(sizes)], sent.size() - at);
            ASSERT_TRUE(writer.write(std::span(sent).subspan(at, n)));
            at += n;
        }
        EXPECT_EQ(writer.close(), 0);
        EXPECT_EQ(writer.close(), 0) << "closing again changes nothing";
        EXPECT_FALSE(writer.write(sent)) << "nothing after the close";
    }
    ::close(fd);

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> got(sent.size());
    EXPECT_EQ(sf_readf_float(file, got.data(), info.frames), info.frames);
    sf_close(file);
    EXPECT_EQ(info.format, GetParam().sndfile_format);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.frames, static_cast<sf_count_t>(sent.size() / 2));
    double error = 0;
    double power = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] > 1) {
            if (GetParam().tolerance >= 0) {
                ASSERT_NEAR(got[i], GetParam().peak, 1e-4f) << "sample " << i;
            }
            continue;
        }
        if (GetParam().tolerance >= 0) {
            ASSERT_NEAR(got[i], sent[i], GetParam().tolerance) << "sample " << i;
        }
        error += (got[i] - sent[i]) * (got[i] - sent[i]);
        power += sent[i] * sent[i];
    }
    EXPECT_LT(10 * std::log10(error / power), -20) << "dB of error against the signal";
}

// A take long enough that the disk is asked for it while it is written,
// three times: every sample comes back as it went in.
TEST(AudioFileWriterLong, AFileHandedToTheDiskAsItIsWrittenComesBackWhole) {
    test::TempDir dir;
    const std::string path = (dir.path() / "long.wav").string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    constexpr std::size_t kBlockFrames = 4096;
    constexpr std::size_t kBlocks = 900; // 84 s of stereo float, 29 MB
    std::vector<float> block(2 * kBlockFrames);
    {
        AudioFileWriter writer(fd, 44100, ExportFormat::wav_float);
        for (std::size_t b = 0; b < kBlocks; ++b) {
            for (std::size_t i = 0; i < block.size(); ++i) {
                block[i] = static_cast<float>((b * block.size() + i) % 1000) / 1000.0f - 0.5f;
            }
            ASSERT_TRUE(writer.write(block));
        }
        EXPECT_EQ(writer.close(), 0);
    }
    ::close(fd);
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(info.frames, static_cast<sf_count_t>(kBlocks * kBlockFrames));
    for (std::size_t b = 0; b < kBlocks; ++b) {
        ASSERT_EQ(sf_readf_float(file, block.data(), kBlockFrames),
                  static_cast<sf_count_t>(kBlockFrames));
        for (std::size_t i = 0; i < block.size(); ++i) {
            ASSERT_EQ(block[i], static_cast<float>((b * block.size() + i) % 1000) / 1000.0f - 0.5f)
                << "block " << b << ", sample " << i;
        }
    }
    sf_close(file);
}

// 16-bit samples are made before libsndfile sees them: the file must hold
// exactly what libsndfile makes of the same floats when it clips, for the
// edges of rounding and clipping and for floats from all over the range.
TEST(AudioFileWriter16Bit, HoldsByteForByteWhatLibsndfileMakesOfTheSameFloats) {
    std::vector<float> sent = {
        0.0f,     -0.0f,     1.0f,           -1.0f,           0.5f, -0.5f, 0x1p-16f, -0x1p-16f,
        0x3p-16f, -0x3p-16f, 0x1.fffffep-1f, -0x1.fffffep-1f, 1.5f, -1.5f, 0x1p-40f, 0x1p-149f,
        NAN,      -NAN,      INFINITY,       -INFINITY};
    // Every 4099th bit pattern: about a million floats of all signs and sizes.
    for (std::uint64_t bits = 0; bits < (std::uint64_t{1} << 32); bits += 4099) {
        sent.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    }
    // Values a step of 2^-16 either side of the halves between samples.
    for (int k = -70000; k < 70000; k += 7) {
        sent.push_back(std::ldexp(static_cast<float>(k) + 0.5f, -15));
        sent.push_back(std::nextafter(std::ldexp(static_cast<float>(k) + 0.5f, -15), 0.0f));
    }
    sent.resize(sent.size() & ~std::size_t{1});

    test::TempDir dir;
    const std::string ours = (dir.path() / "ours.wav").string();
    const std::string theirs = (dir.path() / "theirs.wav").string();
    const int fd = ::open(ours.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    {
        AudioFileWriter writer(fd, 44100, ExportFormat::wav16);
        for (std::size_t at = 0; at < sent.size(); at += 2 * 4093) {
            ASSERT_TRUE(writer.write(
                std::span(sent).subspan(at, std::min(2 * std::size_t{4093}, sent.size() - at))));
        }
        ASSERT_EQ(writer.close(), 0);
    }
    ::close(fd);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(theirs.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const auto frames = static_cast<sf_count_t>(sent.size() / 2);
    ASSERT_EQ(sf_writef_float(file, sent.data(), frames), frames);
    sf_close(file);

    const std::vector<std::uint8_t> a = read_file(ours, 1 << 24).bytes;
    const std::vector<std::uint8_t> b = read_file(theirs, 1 << 24).bytes;
    ASSERT_GT(a.size(), sent.size());
    ASSERT_EQ(a.size(), b.size());
    const auto differs = std::mismatch(a.begin(), a.end(), b.begin());
    EXPECT_TRUE(differs.first == a.end())
        << "first difference at byte " << differs.first - a.begin() << ", sample "
        << sent[(static_cast<std::size_t>(differs.first - a.begin()) - 44) / 2];
}

// Half a second of noise, which no format makes small.
std::vector<float> noise() {
    std::vector<float> s(44100);
    std::uint32_t state = 375;
    for (float& v : s) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<float>(state >> 8) / static_cast<float>(1u << 24) - 0.5f;
    }
    return s;
}

// Writes until the writer refuses, up to half a minute of noise, more than
// it gathers before it writes in any format.
bool refuses(AudioFileWriter& writer, const std::vector<float>& sound) {
    for (int i = 0; i < 60; ++i) {
        if (!writer.write(sound)) {
            return true;
        }
    }
    return false;
}

TEST_P(AudioFileWriterTest, EveryFailureOfTheDiskIsKept) {
    const std::vector<float> sent = noise();
    {
        // A full disk after a few kilobytes.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const test::FileSizeLimit limit(4096);
        AudioFileWriter writer(fd, 44100, GetParam().format);
        EXPECT_TRUE(refuses(writer, sent));
        EXPECT_EQ(writer.close(), EFBIG);
        ::close(fd);
    }
    {
        // A descriptor that takes no writes at all.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        AudioFileWriter writer(fd, 44100, GetParam().format);
        EXPECT_TRUE(refuses(writer, sent));
        EXPECT_EQ(writer.close(), EBADF);
        ::close(fd);
    }
    {
        // A failure only the close sees: the last bytes, and the header
        // written again.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        AudioFileWriter writer(fd, 44100, GetParam().format);
        ASSERT_TRUE(writer.write(std::span(sent).first(2000)));
        ::close(fd);
        EXPECT_EQ(writer.close(), EBADF);
    }
}

std::string format_name(const ::testing::TestParamInfo<Written>& info) {
    const char* const names[] = {"wav16", "wav24", "wav_float", "flac16", "flac24", "ogg_vorbis"};
    return names[static_cast<int>(info.param.format)];
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AudioFileWriterTest,
    ::testing::Values(Written{ExportFormat::wav16, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 6.1e-5f, 1},
                      Written{ExportFormat::wav24, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1e-6f, 1},
                      Written{ExportFormat::wav_float, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 1.5f},
                      Written{ExportFormat::flac16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 6.1e-5f, 1},
                      Written{ExportFormat::flac24, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1e-6f, 1},
                      Written{ExportFormat::ogg_vorbis, SF_FORMAT_OGG | SF_FORMAT_VORBIS, -1, 0}),
    format_name);

} // namespace
} // namespace qx375
