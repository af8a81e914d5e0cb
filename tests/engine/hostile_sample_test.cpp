// Damaged and hostile sample files, given to a sound through the real sound
// output: what the user is shown, and that the song and the other sounds
// lose nothing.
#include "engine/patern.h"
#include "platform/audio_output.h"
#include "support/fake_sound_system.h"
#include "support/print_file_status.h"
#include "support/wav_builder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <vector>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kSound = 4;
constexpr int kOther = 3;

enum class Verdict {
    plays,      // the sound plays what the file holds
    not_a_wav,  // the loader finds no format the device can read
    no_samples, // the loader finds a format but no samples
    refused,    // the device refuses the format it found
};

struct HostileSample {
    const char* what;
    Bytes file;
    Verdict verdict;
    const char* reason = ""; // shown before the buffer error when refused
};

void PrintTo(const HostileSample& s, std::ostream* out) {
    *out << s.what;
}

// What the instrument panel is told of the file.
FileStatus panel_status(Verdict verdict) {
    switch (verdict) {
    case Verdict::plays:
        return {};
    case Verdict::refused:
        return {FileFault::unplayable, 0};
    default:
        return {FileFault::not_a_wave, 0};
    }
}

Bytes cut(const Bytes& file, std::size_t size) {
    return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes with_format(const Bytes& format) {
    return WavBuilder().chunk("fmt ", format).chunk("data", ramp(64, 0x40)).build();
}

Bytes huge_floats() {
    Bytes samples;
    for (int frame = 0; frame < 32; ++frame) {
        const float v = (frame % 2 ? -1 : 1) * std::numeric_limits<float>::max();
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        for (int side = 0; side < 2; ++side) {
            samples.insert(samples.end(), p, p + 4);
        }
    }
    return WavBuilder().chunk("fmt ", pcm_format(2, 44100, 32, 3)).chunk("data", samples).build();
}

Bytes garbage() {
    Bytes out;
    for (std::uint32_t i = 0, x = 7; i < 3000; ++i) {
        x = x * 1103515245u + 12345u;
        out.push_back(static_cast<std::uint8_t>(x >> 16));
    }
    return out;
}

Bytes extensible_of_unknown_kind() {
    Bytes format = pcm_format(2, 44100, 16, 0xFFFE);
    append16(format, 22);
    append16(format, 16);
    append32(format, 3);
    const Bytes unknown(16, 0x5A);
    format.insert(format.end(), unknown.begin(), unknown.end());
    return with_format(format);
}

Bytes no_channels(std::uint16_t block_align) {
    Bytes format = pcm_format(0, 44100, 16);
    format[12] = static_cast<std::uint8_t>(block_align);
    return with_format(format);
}

const Bytes kGood = simple_wav(ramp(400));

// Every sound playing "good.wav", heard through a real mixer.
class SoundOutputTest : public ::testing::Test {
protected:
    SoundOutputTest() {
        dir.write("good.wav", simple_wav(Bytes(4000, 0x40)));
        song.open_sound(1);
        for (int k = 0; k < kSounds; ++k) {
            song.set_sample_file(k, "good.wav");
        }
        notifier.shown.clear();
    }

    // The loudest value heard when the sound plays from its start.
    float peak_of(int sound) {
        sound_.rewind(sound);
        song.play_sound(sound);
        std::vector<float> block(2 * AudioOutput::kBlockFrames);
        output.pull(block);
        float peak = 0;
        for (const float v : block) {
            EXPECT_TRUE(std::isfinite(v));
            peak = std::max(peak, std::fabs(v));
        }
        return peak;
    }

    TempDir dir;
    CurrentDir here{dir.path()};
    AudioOutput output{AudioBackendKind::manual};
    RecordingNotifier notifier;
    DirectSound sound_{output, notifier};
    matrice song{sound_, notifier};
};

// Names are bytes: one in Windows-1252 is taken; one longer than a name may
// be is refused, and the sound keeps its file.
TEST_F(SoundOutputTest, TheInstrumentPanelTakesNamesAsBytesOfAtMost255) {
    const std::string latin = "caf\xE9 \x92.wav";
    dir.write(latin, simple_wav(Bytes(400, 0x20)));
    EXPECT_TRUE(song.replace_sample(kSound, latin));
    EXPECT_EQ(song.get_sample_file(kSound), latin);

    std::string deep;
    while (deep.size() < 250) {
        deep += std::string(60, 'd') + "/";
    }
    dir.write(deep + "long.wav", simple_wav(Bytes(400, 0x20)));
    const std::string too_long = (dir.path() / deep).string() + "long.wav";
    ASSERT_GT(too_long.size(), kMaxNameLength);
    EXPECT_EQ(song.replace_sample(kOther, too_long), (FileStatus{FileFault::name_too_long, 0}));
    EXPECT_EQ(song.get_sample_file(kOther), "good.wav");
    EXPECT_NEAR(peak_of(kOther), 0.5f, 0.01f);
    EXPECT_THAT(notifier.shown, IsEmpty());
}

// A kit's samples read at once: each comes back with its own outcome, the
// device's refusals among them, and no message box is shown for any; every
// sound plays on what it played until the caller puts the samples in.
TEST_F(SoundOutputTest, SamplesReadTogetherTellEachOutcomeAndShowNoBox) {
    dir.write("loud.wav", simple_wav(Bytes(3000, 0x60)));
    dir.write("twelve.wav", with_format(pcm_format(2, 44100, 12)));
    dir.write("noise.wav", garbage());
    std::vector<sample_reading> readings;
    readings.emplace_back(0, "loud.wav");
    readings.emplace_back(1, "twelve.wav");
    readings.emplace_back(2, "noise.wav");
    readings.emplace_back(3, "missing.wav");
    song.read_samples(readings);

    EXPECT_TRUE(readings[0].status);
    EXPECT_EQ(readings[0].read.name, "loud.wav");
    EXPECT_EQ(readings[1].status, (FileStatus{FileFault::unplayable, 0}));
    EXPECT_EQ(readings[1].refusal, "format incorrect");
    EXPECT_EQ(readings[2].status, (FileStatus{FileFault::not_a_wave, 0}));
    EXPECT_EQ(readings[3].status.fault, FileFault::no_such_file);
    EXPECT_THAT(notifier.shown, IsEmpty());
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(song.get_sample_file(k), "good.wav");
        EXPECT_EQ(sound_.channel(k).sample_bytes, 4000u) << "sound " << k;
    }

    song.swap_sample(0, readings[0].read);
    EXPECT_EQ(song.get_sample_file(0), "loud.wav");
    EXPECT_EQ(sound_.channel(0).sample_bytes, 3000u);
    EXPECT_GT(peak_of(0), 0.7f);
}

class HostileSampleTest : public SoundOutputTest,
                          public ::testing::WithParamInterface<HostileSample> {
protected:
    void SetUp() override { dir.write("hostile.wav", GetParam().file); }
};

// The instrument panel takes a file only when it plays; otherwise the sound
// keeps its file and goes on sounding it.
TEST_P(HostileSampleTest, TheInstrumentPanelKeepsThePreviousSampleUnlessTheFilePlays) {
    const HostileSample& s = GetParam();
    const bool plays = s.verdict == Verdict::plays;
    EXPECT_EQ(song.replace_sample(kSound, "hostile.wav"), panel_status(s.verdict));
    if (s.verdict == Verdict::refused) {
        EXPECT_THAT(notifier.shown, ElementsAre(s.reason));
    } else {
        EXPECT_THAT(notifier.shown, IsEmpty());
    }
    EXPECT_EQ(song.get_sample_file(kSound), plays ? "hostile.wav" : "good.wav");
    const float peak = peak_of(kSound);
    EXPECT_LE(peak, 1.0f);
    if (!plays) {
        EXPECT_NEAR(peak, 0.5f, 0.01f) << "the previous sample still sounds";
    }
}

// A song naming the file loads whole; the sound that cannot play the file is
// named in one message and stays silent, every other sound keeps playing.
TEST_P(HostileSampleTest, ASongNamingTheFileLoadsAndNamesTheSilentSound) {
    const HostileSample& s = GetParam();
    song.clear_song();
    song.change_pattern(9, [&](pattern_record& p) {
        p.steps[kSound][2] = 1;
        p.empty = 0;
    });
    song.set_song_entry(1, 9);
    // Named while the file still plays; the song then meets what it became.
    dir.write("hostile.wav", simple_wav(Bytes(4000, 0x40)));
    song.set_sample_file(kSound, "hostile.wav");
    dir.write("hostile.wav", s.file);
    ASSERT_TRUE(song.save_drm((dir.path() / "song.drm").string()));
    const auto saved = song.bank();
    song.clear_song();

    ASSERT_TRUE(song.load_drm((dir.path() / "song.drm").string()));
    EXPECT_TRUE(song.bank() == saved);
    EXPECT_EQ(song.get_song_entry(1), 9);
    EXPECT_EQ(song.get_sample_file(kSound), "hostile.wav");
    if (s.verdict == Verdict::plays) {
        EXPECT_THAT(notifier.shown, IsEmpty());
        EXPECT_THAT(song.unloaded_sounds(), IsEmpty());
        EXPECT_LE(peak_of(kSound), 1.0f);
    } else if (s.verdict == Verdict::no_samples) {
        // The buffer is built to the length of the previous file, silent.
        EXPECT_THAT(notifier.shown, IsEmpty());
        EXPECT_THAT(song.unloaded_sounds(), ElementsAre(kSound));
        EXPECT_EQ(peak_of(kSound), 0.0f);
    } else {
        const char* reason = s.verdict == Verdict::refused ? s.reason : "paramètre invalide";
        EXPECT_THAT(notifier.shown, ElementsAre(reason));
        EXPECT_THAT(song.unloaded_sounds(), ElementsAre(kSound));
        EXPECT_EQ(peak_of(kSound), 0.0f);
    }
    EXPECT_NEAR(peak_of(kOther), 0.5f, 0.01f);
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileSampleTest,
    ::testing::Values(
        HostileSample{"RIFF header cut short", cut(kGood, 10), Verdict::not_a_wav},
        HostileSample{"format record cut short", cut(kGood, 30), Verdict::not_a_wav},
        HostileSample{"data cut short", cut(kGood, 44 + 101), Verdict::plays},
        HostileSample{"no data chunk", WavBuilder().chunk("fmt ", pcm_format(2, 44100, 16)).build(),
                      Verdict::no_samples},
        HostileSample{"data size of 4 GiB",
                      WavBuilder()
                          .chunk("fmt ", pcm_format(2, 44100, 16))
                          .chunk_with_size("data", 0xFFFFFFFF, ramp(64))
                          .riff_size(0xFFFFFFFF)
                          .build(),
                      Verdict::plays},
        HostileSample{"chunk size that wraps around",
                      WavBuilder()
                          .chunk_with_size("junk", 0xFFFFFFF8, Bytes{})
                          .chunk("fmt ", pcm_format(2, 44100, 16))
                          .chunk("data", ramp(64))
                          .riff_size(0xFFFFFFFF)
                          .build(),
                      Verdict::not_a_wav},
        HostileSample{"format record declared short",
                      WavBuilder()
                          .chunk("fmt ", Bytes{1, 0, 2, 0, 0x44, 0xAC})
                          .chunk("data", ramp(64))
                          .build(),
                      Verdict::refused, "paramètre invalide"},
        HostileSample{
            "zero-length data chunk",
            WavBuilder().chunk("fmt ", pcm_format(2, 44100, 16)).chunk("data", {}).build(),
            Verdict::refused, "paramètre invalide"},
        HostileSample{"zero-length chunk before the format",
                      WavBuilder()
                          .chunk("junk", {})
                          .chunk("fmt ", pcm_format(2, 44100, 16))
                          .chunk("data", ramp(64))
                          .build(),
                      Verdict::plays},
        HostileSample{"odd chunk with its pad byte",
                      WavBuilder()
                          .chunk("fmt ", pcm_format(2, 44100, 16))
                          .chunk("LIST", ramp(5))
                          .chunk("data", ramp(64))
                          .build(),
                      Verdict::plays},
        HostileSample{"odd chunk without its pad byte",
                      WavBuilder()
                          .chunk("fmt ", pcm_format(2, 44100, 16))
                          .raw("LIST")
                          .raw(Bytes{5, 0, 0, 0, 1, 2, 3, 4, 5})
                          .chunk("data", ramp(64))
                          .build(),
                      Verdict::no_samples},
        HostileSample{
            "odd data chunk before the format",
            WavBuilder().chunk("data", ramp(65)).chunk("fmt ", pcm_format(1, 8000, 8)).build(),
            Verdict::plays},
        HostileSample{"format tag 2 (ADPCM)", with_format(pcm_format(2, 44100, 4, 2)),
                      Verdict::refused, "format incorrect"},
        HostileSample{"format tag 0", with_format(pcm_format(2, 44100, 16, 0)), Verdict::refused,
                      "format incorrect"},
        HostileSample{"extensible of an unknown kind", extensible_of_unknown_kind(),
                      Verdict::refused, "format incorrect"},
        HostileSample{"12-bit samples", with_format(pcm_format(2, 44100, 12)), Verdict::refused,
                      "format incorrect"},
        HostileSample{"0 channels, no block alignment", no_channels(0), Verdict::refused,
                      "format incorrect"},
        HostileSample{"0 channels, the alignment of one sample", no_channels(2), Verdict::plays},
        HostileSample{"rate 4294967295 Hz", with_format(pcm_format(2, 0xFFFFFFFF, 16)),
                      Verdict::refused, "format incorrect"},
        HostileSample{"rate 0 Hz", with_format(pcm_format(2, 0, 16)), Verdict::refused,
                      "format incorrect"},
        HostileSample{"float samples of the largest value", huge_floats(), Verdict::plays},
        HostileSample{"binary garbage", garbage(), Verdict::not_a_wav},
        HostileSample{"an empty file", Bytes{}, Verdict::not_a_wav}),
    [](const ::testing::TestParamInfo<HostileSample>& info) {
        std::string name;
        for (const char c : std::string_view(info.param.what)) {
            if (std::isalnum(static_cast<unsigned char>(c))) {
                name += c;
            }
        }
        return name;
    });

} // namespace
} // namespace qx375::test
