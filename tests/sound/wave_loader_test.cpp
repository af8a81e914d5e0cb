#include "sound/direct_sound.h"
#include "support/fake_sound_system.h"
#include "support/print_file_status.h"
#include "support/wav_builder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace qx375::test {
namespace {

constexpr int kChannel = 3;

class WaveLoaderTest : public ::testing::Test {
protected:
    const sound_channel& ch() const { return sound.channels[kChannel]; }

    bool load(const Bytes& bytes, const std::string& name = "sample.wav") {
        return static_cast<bool>(sound.load_wave(dir.write(name, bytes), kChannel));
    }

    // The sample bytes the channel points at, as the device would receive them.
    Bytes samples() const {
        const auto at = ch().sample_data.value();
        return Bytes(ch().file_image.begin() + static_cast<std::ptrdiff_t>(at),
                     ch().file_image.begin() + static_cast<std::ptrdiff_t>(at + ch().sample_bytes));
    }

    TempDir dir;
    FakeLog log;
    FakeSystem system{log};
    RecordingNotifier notifier;
    DirectSound sound{system, notifier};
};

// Layouts that load.

TEST_F(WaveLoaderTest, StandardFileHasFormatAt20AndSamplesAt44) {
    const Bytes file = simple_wav(ramp(8));
    ASSERT_TRUE(load(file));
    EXPECT_EQ(ch().file_image, file);
    EXPECT_EQ(ch().format, 20u);
    EXPECT_EQ(ch().format_bytes, 16u);
    EXPECT_EQ(ch().sample_data, 44u);
    EXPECT_EQ(ch().sample_bytes, 8u);
    EXPECT_EQ(samples(), ramp(8));
    EXPECT_FALSE(ch().loaded) << "only a built buffer makes the channel loaded";
}

TEST_F(WaveLoaderTest, OddChunkIsSteppedOverWithItsPadByte) {
    const Bytes file = WavBuilder()
                           .chunk("fmt ", pcm_format(2, 44100, 16))
                           .chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'x'})
                           .chunk("data", ramp(6))
                           .build();
    ASSERT_TRUE(load(file));
    EXPECT_EQ(ch().sample_data, 20u + 16 + 8 + 5 + 1 + 8);
    EXPECT_EQ(samples(), ramp(6));
}

TEST_F(WaveLoaderTest, OddDataChunkBeforeFormatIsPadded) {
    const Bytes file =
        WavBuilder().chunk("data", ramp(3)).chunk("fmt ", pcm_format(1, 8000, 8)).build();
    ASSERT_TRUE(load(file));
    EXPECT_EQ(ch().sample_data, 20u);
    EXPECT_EQ(ch().sample_bytes, 3u);
    EXPECT_EQ(ch().format, 20u + 3 + 1 + 8);
}

TEST_F(WaveLoaderTest, MonoRecordIsDeclaredTwoChannelKeepingItsAlignment) {
    ASSERT_TRUE(load(simple_wav(ramp(4), 1)));
    const Bytes& image = ch().file_image;
    EXPECT_EQ(read16(image, 20 + 2), 2u);
    EXPECT_EQ(read32(image, 20 + 8), 88200u) << "byte rate as the file has it";
    EXPECT_EQ(read16(image, 20 + 12), 2u) << "block alignment as the file has it";
}

TEST_F(WaveLoaderTest, LastFormatBeforeDataWinsAndLaterChunksAreNotRead) {
    const Bytes file = WavBuilder()
                           .chunk("fmt ", pcm_format(1, 11025, 8))
                           .chunk("fmt ", pcm_format(1, 22050, 16))
                           .chunk("data", ramp(4))
                           .chunk("fmt ", pcm_format(1, 48000, 16))
                           .build();
    ASSERT_TRUE(load(file));
    EXPECT_EQ(ch().format, 20u + 16 + 8);
    EXPECT_EQ(read32(ch().file_image, *ch().format + 4), 22050u);
    EXPECT_EQ(read16(ch().file_image, 20 + 2), 2u) << "every format met is forced";
    const std::size_t late = 20u + 16 + 8 + 16 + 8 + 4 + 8;
    EXPECT_EQ(read16(ch().file_image, late + 2), 1u) << "the walk ends once both are found";
}

TEST_F(WaveLoaderTest, DataCutShortKeepsTheBytesPresent) {
    Bytes file = simple_wav(ramp(1000));
    file.resize(44 + 10);
    ASSERT_TRUE(load(file));
    EXPECT_EQ(ch().sample_bytes, 10u);
    EXPECT_EQ(samples(), ramp(10));
}

TEST_F(WaveLoaderTest, BareNameIsFoundInCurrentDirectoryWhateverItsCase) {
    dir.write("kick.wav", simple_wav(ramp(4)));
    const CurrentDir here(dir.path());
    EXPECT_TRUE(sound.load_wave("KICK.WAV", kChannel));
    EXPECT_TRUE(sound.load_wave("C:\\kits\\Kick.wav", kChannel + 1));
}

// Files that cannot be opened leave the channel exactly as it was.

class UnopenableFileTest : public WaveLoaderTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(load(simple_wav(ramp(8))));
        sound.channels[kChannel].loaded = true;
        before_ = ch().file_image;
    }
    void expect_unchanged() const {
        EXPECT_EQ(ch().file_image, before_);
        EXPECT_EQ(ch().format, 20u);
        EXPECT_EQ(ch().format_bytes, 16u);
        EXPECT_EQ(ch().sample_data, 44u);
        EXPECT_EQ(ch().sample_bytes, 8u);
        EXPECT_TRUE(ch().loaded);
    }

private:
    Bytes before_;
};

TEST_F(UnopenableFileTest, MissingFile) {
    EXPECT_FALSE(sound.load_wave((dir.path() / "absent.wav").string(), kChannel));
    expect_unchanged();
}

TEST_F(UnopenableFileTest, Directory) {
    std::filesystem::create_directory(dir.path() / "folder.wav");
    EXPECT_FALSE(sound.load_wave((dir.path() / "folder.wav").string(), kChannel));
    expect_unchanged();
}

TEST_F(UnopenableFileTest, FileLargerThanAnySample) {
    const std::string huge = dir.write("huge.wav", simple_wav(ramp(8)));
    std::filesystem::resize_file(huge, (std::uintmax_t{1} << 30) + 1);
    EXPECT_FALSE(sound.load_wave(huge, kChannel));
    expect_unchanged();
}

TEST_F(UnopenableFileTest, NameWithEmbeddedNul) {
    const std::string good = (dir.path() / "sample.wav").string();
    EXPECT_FALSE(sound.load_wave(good + std::string(1, '\0') + "x", kChannel));
    expect_unchanged();
}

TEST_F(UnopenableFileTest, ChannelOutOfRange) {
    const std::string good = (dir.path() / "sample.wav").string();
    EXPECT_FALSE(sound.load_wave(good, -1));
    EXPECT_FALSE(sound.load_wave(good, DirectSound::channel_count));
    EXPECT_FALSE(sound.parse_wave(DirectSound::channel_count));
    expect_unchanged();
}

// What the user is told of each file the channel could not take.
TEST_F(UnopenableFileTest, EachFailureSaysWhy) {
    std::filesystem::create_directory(dir.path() / "folder.wav");
    const std::string huge = dir.write("huge.wav", simple_wav(ramp(8)));
    std::filesystem::resize_file(huge, (std::uintmax_t{1} << 30) + 1);
    const std::string good = (dir.path() / "sample.wav").string();
    const std::pair<std::string, FileStatus> failures[] = {
        {(dir.path() / "absent.wav").string(), {FileFault::no_such_file, ENOENT}},
        {(dir.path() / "gone" / "absent.wav").string(), {FileFault::no_such_folder, ENOENT}},
        {"C:\\kits\\absent.wav", {FileFault::no_such_file, ENOENT}},
        {(dir.path() / "folder.wav").string(), {FileFault::is_folder, EISDIR}},
        {huge, {FileFault::too_large, 0}},
        {good + std::string(1, '\0') + "x", {FileFault::bad_name, 0}},
    };
    for (const auto& [name, status] : failures) {
        EXPECT_EQ(sound.load_wave(name, kChannel), status) << name;
        expect_unchanged();
    }
    EXPECT_EQ(sound.load_wave(dir.write_text("notes.wav", "no RIFF"), kChannel),
              (FileStatus{FileFault::not_a_wave, 0}));
}

// Files that open but are not usable: a new image, loaded cleared.

class UnusableFileTest : public WaveLoaderTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(load(simple_wav(ramp(8))));
        sound.channels[kChannel].loaded = true;
    }
};

TEST_F(UnusableFileTest, TextFileHasNeitherFormatNorSamples) {
    const std::string text = "this is not a sound at all\n";
    EXPECT_FALSE(sound.load_wave(dir.write_text("notes.wav", text), kChannel));
    EXPECT_EQ(ch().file_image, Bytes(text.begin(), text.end()));
    EXPECT_FALSE(ch().format);
    EXPECT_FALSE(ch().sample_data);
    EXPECT_EQ(ch().format_bytes, 0u);
    EXPECT_FALSE(ch().loaded);
}

TEST_F(UnusableFileTest, RiffWithoutWave) {
    Bytes file = simple_wav(ramp(4));
    file[8] = 'A';
    EXPECT_FALSE(load(file));
    EXPECT_FALSE(ch().format);
    EXPECT_FALSE(ch().sample_data);
    EXPECT_FALSE(ch().loaded);
}

TEST_F(UnusableFileTest, ShorterThanTheRiffHeader) {
    for (const Bytes& file : {Bytes{}, Bytes{'R', 'I', 'F'}, Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0},
                              Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V'}}) {
        EXPECT_FALSE(load(file)) << file.size() << " bytes";
        EXPECT_EQ(ch().file_image, file);
        EXPECT_FALSE(ch().format);
        EXPECT_FALSE(ch().loaded);
    }
}

TEST_F(UnusableFileTest, FormatWithoutDataKeepsFormatAndPreviousLength) {
    EXPECT_FALSE(load(WavBuilder().chunk("fmt ", pcm_format(1, 8000, 8)).build()));
    EXPECT_EQ(ch().format, 20u);
    EXPECT_EQ(read16(ch().file_image, 22), 2u);
    EXPECT_FALSE(ch().sample_data);
    EXPECT_EQ(ch().sample_bytes, 8u) << "only a data chunk writes the length";
    EXPECT_FALSE(ch().loaded);
}

TEST_F(UnusableFileTest, DataBeyondTheRiffBodyIsNotSeen) {
    const Bytes file = WavBuilder()
                           .chunk("fmt ", pcm_format(2, 44100, 16))
                           .chunk("data", ramp(4))
                           .riff_size(4 + 24)
                           .build();
    EXPECT_FALSE(load(file));
    EXPECT_EQ(ch().format, 20u);
    EXPECT_FALSE(ch().sample_data);
}

// Sizes that lie must never lead outside the image (run under a memory
// checker to see it) nor loop.

TEST_F(UnusableFileTest, ChunkClaimingFourGigabytesEndsTheWalk) {
    const Bytes file = WavBuilder()
                           .chunk("fmt ", pcm_format(2, 44100, 16))
                           .chunk_with_size("LIST", 0xFFFFFFFF, ramp(4))
                           .chunk("data", ramp(4))
                           .riff_size(0xFFFFFFFF)
                           .build();
    EXPECT_FALSE(load(file));
    EXPECT_EQ(ch().format, 20u);
    EXPECT_FALSE(ch().sample_data);
}

TEST_F(UnusableFileTest, ChunkSizeThatWouldWrapBackToTheStart) {
    // In 32-bit arithmetic 20 + 0xFFFFFFF8 is 12: the walk would meet this
    // chunk again forever.
    const Bytes file = WavBuilder()
                           .chunk_with_size("junk", 0xFFFFFFF8, Bytes{})
                           .chunk("fmt ", pcm_format(2, 44100, 16))
                           .chunk("data", ramp(4))
                           .riff_size(0xFFFFFFFF)
                           .build();
    EXPECT_FALSE(load(file));
    EXPECT_FALSE(ch().format);
}

TEST_F(UnusableFileTest, ChunkHeaderThatDoesNotFitIsIgnored) {
    const Bytes file = WavBuilder()
                           .chunk("fmt ", pcm_format(2, 44100, 16))
                           .raw("data")
                           .raw(Bytes{8, 0, 0})
                           .build();
    EXPECT_FALSE(load(file));
    EXPECT_FALSE(ch().sample_data);
}

TEST_F(WaveLoaderTest, DataSizeLargerThanTheFileIsCutToTheImage) {
    const Bytes file = WavBuilder()
                           .chunk("fmt ", pcm_format(2, 44100, 16))
                           .chunk_with_size("data", 0xFFFFFFFF, ramp(6))
                           .riff_size(0xFFFFFFFF)
                           .build();
    ASSERT_TRUE(load(file));
    EXPECT_EQ(ch().sample_bytes, 6u);
}

TEST_F(WaveLoaderTest, ShortFormatBodyCountsOnlyTheBytesPresent) {
    const Bytes file =
        WavBuilder().chunk("data", ramp(4)).chunk_with_size("fmt ", 16, Bytes{1, 0, 1}).build();
    // The builder padded the three bytes; drop the pad so the image ends
    // inside the channel-count field.
    Bytes cut(file.begin(), file.end() - 1);
    ASSERT_TRUE(load(cut));
    EXPECT_EQ(ch().format_bytes, 3u);
    EXPECT_EQ(ch().file_image, cut) << "a field cut by the end of the file is not written";
}

TEST_F(WaveLoaderTest, FormatBodyDeclaredShortIsReportedShort) {
    const Bytes file =
        WavBuilder().chunk("fmt ", Bytes{1, 0, 1, 0, 0x44, 0xAC}).chunk("data", ramp(4)).build();
    ASSERT_TRUE(load(file));
    EXPECT_EQ(ch().format_bytes, 6u);
    EXPECT_EQ(read16(ch().file_image, 22), 2u);
}

} // namespace
} // namespace qx375::test
