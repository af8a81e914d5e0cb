#include "sound/direct_sound.h"
#include "support/fake_sound_system.h"
#include "support/print_file_status.h"
#include "support/wav_builder.h"
#include "util/error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <utility>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr WindowHandle kWindow = 77;

// Start-up sample k holds 4 * (k + 1) bytes of value k, so every buffer shows
// which file it was built from.
Bytes startup_samples_of(int k) {
    return Bytes(static_cast<std::size_t>(4 * (k + 1)), static_cast<std::uint8_t>(k));
}

std::vector<std::string> channel_build(const std::string& buffer, int k) {
    const std::string bytes = std::to_string(4 * (k + 1));
    return {"CreateSoundBuffer(e0," + bytes + ",16)", buffer + ".Lock(0," + bytes + ",0)",
            buffer + ".Unlock(" + bytes + ",0)"};
}

template <typename T>
void expect_error(T&& action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "expected Error \"" << message << "\"";
    } catch (const Error& e) {
        EXPECT_EQ(e.what(), message);
    }
}

class DirectSoundTest : public ::testing::Test {
protected:
    DirectSoundTest() : here_(dir.path()) {}

    void install_startup_samples() const {
        for (int k = 0; k < kStartupSounds; ++k) {
            dir.write(std::string(kSoundSlots[static_cast<std::size_t>(k)].startup_file),
                      simple_wav(startup_samples_of(k)));
        }
    }

    // Channel 3 with a fresh sample of its own, built on an open device that
    // had no start-up samples.
    void open_with_channel3(const Bytes& samples = ramp(10)) {
        sound.open_device(kWindow);
        ASSERT_TRUE(sound.load_wave(dir.write("own.wav", simple_wav(samples)), 3));
        sound.make_buffer(3);
        log.calls.clear();
    }

    const FakeBuffer* buffer(int k) const {
        return dynamic_cast<const FakeBuffer*>(sound.channel(k).buffer.get());
    }

    TempDir dir;
    FakeLog log;
    FakeSystem system{log};
    RecordingNotifier notifier;
    DirectSound sound{system, notifier};

private:
    CurrentDir here_;
};

// Opening the device.

TEST_F(DirectSoundTest, OpenDeviceCallsInOrderAndPreparesStartupChannels) {
    install_startup_samples();
    sound.open_device(kWindow);

    std::vector<std::string> expected = {
        "DirectSoundCreate", "CreateSoundBuffer(primary)", "SetCooperativeLevel(77,2)",
        "primary.SetFormat(0100020044ac000010b10200040010000000)", "SetSpeakerConfig(1)"};
    for (int k = 0; k < kStartupSounds; ++k) {
        const auto build = channel_build("b" + std::to_string(k + 1), k);
        expected.insert(expected.end(), build.begin(), build.end());
    }
    EXPECT_EQ(log.calls, expected);
    EXPECT_THAT(notifier.shown, IsEmpty());

    const CreatedBuffer& primary = log.created.front();
    EXPECT_EQ(primary.size, 36u);
    EXPECT_EQ(primary.flags, DSBCAPS_PRIMARYBUFFER);
    EXPECT_EQ(primary.buffer_bytes, 0u);
    EXPECT_TRUE(primary.format.empty());

    for (int k = 0; k < 16; ++k) {
        if (k < kStartupSounds) {
            ASSERT_NE(buffer(k), nullptr) << k;
            EXPECT_EQ(buffer(k)->memory(), startup_samples_of(k));
            EXPECT_TRUE(sound.channel(k).loaded);
        } else {
            EXPECT_EQ(buffer(k), nullptr) << k;
            EXPECT_FALSE(sound.channel(k).loaded);
        }
    }
}

TEST_F(DirectSoundTest, ChannelBufferIsDescribedByTheImageItself) {
    install_startup_samples();
    sound.open_device(kWindow);
    const CreatedBuffer& desc = log.created.at(1 + 4);
    const sound_channel& ch = sound.channel(4);
    EXPECT_EQ(desc.size, kBufferDescSize);
    EXPECT_EQ(desc.flags, 0xE0u);
    EXPECT_EQ(desc.buffer_bytes, 20u);
    EXPECT_EQ(desc.reserved, 0u);
    EXPECT_TRUE(desc.algorithm_zero);
    EXPECT_EQ(desc.format_data, ch.file_image.data() + 20) << "the record is not copied out";
    EXPECT_EQ(desc.format, Bytes(ch.file_image.begin() + 20, ch.file_image.begin() + 36));
}

struct OpenFailure {
    const char* refused_call;
    const char* message;
    std::vector<std::string> calls;
};

void PrintTo(const OpenFailure& f, std::ostream* out) {
    *out << f.refused_call;
}

class OpenDeviceFailureTest : public DirectSoundTest,
                              public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenDeviceFailureTest, RaisesAndPreparesNoChannel) {
    install_startup_samples();
    log.refuse[GetParam().refused_call] = DSERR_GENERIC;
    expect_error([&] { sound.open_device(kWindow); }, GetParam().message);
    EXPECT_EQ(log.calls, GetParam().calls);
    EXPECT_THAT(notifier.shown, IsEmpty());
    for (int k = 0; k < DirectSound::channel_count; ++k) {
        EXPECT_EQ(buffer(k), nullptr);
    }
    EXPECT_EQ(sound.channel(0).sample_data, 44u) << "the start-up files were read first";
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, OpenDeviceFailureTest,
    ::testing::Values(
        OpenFailure{"DirectSoundCreate", "Erreur sur DirectSound Create", {"DirectSoundCreate"}},
        OpenFailure{"CreateSoundBuffer",
                    "Erreur sur création du buffer primaire",
                    {"DirectSoundCreate", "CreateSoundBuffer(primary)"}},
        OpenFailure{
            "SetCooperativeLevel",
            "Erreur sur SetCooperativeLevel",
            {"DirectSoundCreate", "CreateSoundBuffer(primary)", "SetCooperativeLevel(77,2)"}}));

TEST_F(DirectSoundTest, RefusedPrimaryFormatAndSpeakerSettingAreIgnored) {
    install_startup_samples();
    log.refuse["SetFormat"] = DSERR_BADFORMAT;
    log.refuse["SetSpeakerConfig"] = DSERR_UNSUPPORTED;
    sound.open_device(kWindow);
    EXPECT_THAT(notifier.shown, IsEmpty());
    EXPECT_NE(buffer(11), nullptr);
    EXPECT_EQ(sound.output_rate(), 44100u);
}

TEST_F(DirectSoundTest, OutputRateIs44100BeforeAndAfterOpening) {
    EXPECT_EQ(sound.output_rate(), 44100u);
    sound.open_device(kWindow);
    EXPECT_EQ(sound.output_rate(), 44100u);
}

TEST_F(DirectSoundTest, UnreadableStartupSamplesLeaveOnlyTheirChannelsSilent) {
    install_startup_samples();
    std::filesystem::remove(dir.path() / "SNR_C05st.WAV");
    dir.write_text("ridest.wav", "not a sample");
    sound.open_device(kWindow);
    EXPECT_THAT(notifier.shown, IsEmpty());
    for (int k = 0; k < kStartupSounds; ++k) {
        const bool silent = k == 2 || k == 9;
        EXPECT_EQ(buffer(k) == nullptr, silent) << k;
        EXPECT_EQ(sound.channel(k).loaded, !silent) << k;
    }
}

TEST_F(DirectSoundTest, StartupSampleRefusedByTheDeviceStopsTheOpening) {
    install_startup_samples();
    dir.write(
        "rimst.wav",
        WavBuilder().chunk("fmt ", pcm_format(2, 44100, 16, 0x55)).chunk("data", ramp(4)).build());
    log.judge_format = [](const BufferDesc& desc) {
        return desc.format[0] == 0x55 ? DSERR_BADFORMAT : DS_OK;
    };
    expect_error([&] { sound.open_device(kWindow); }, "Erreur sur CreateSoundBuffer");
    EXPECT_THAT(notifier.shown, ElementsAre("format incorrect"));
    for (int k = 0; k < kStartupSounds; ++k) {
        EXPECT_EQ(buffer(k) != nullptr, k < 7) << k;
    }
}

// After a failed set-up the next activation opens again: a new device takes
// the old one's place and the start-up channels are prepared anew.
TEST_F(DirectSoundTest, OpeningAgainReplacesTheDevice) {
    install_startup_samples();
    log.refuse["SetCooperativeLevel"] = DSERR_GENERIC;
    EXPECT_THROW(sound.open_device(kWindow), Error);
    log.refuse.clear();
    log.calls.clear();
    sound.open_device(kWindow);
    EXPECT_THAT(std::vector<std::string>(log.calls.begin(), log.calls.begin() + 4),
                ElementsAre("primary.Release", "DirectSoundCreate", "device1.Release",
                            "CreateSoundBuffer(primary)"));
    EXPECT_NE(buffer(11), nullptr);
}

// A song loaded over deferred start-up samples, from a folder of its own,
// leaves every channel as it leaves them over samples read at the opening:
// its own sample where it read one, the start-up sample where its file
// cannot be read or it names none, silence where its file is no sample.
TEST_F(DirectSoundTest, DeferredStartupSamplesEndAsIfReadAtTheOpening) {
    install_startup_samples();
    const std::filesystem::path song = dir.path() / "song";
    std::filesystem::create_directory(song);
    dir.write("song/own.wav", simple_wav(ramp(10)));
    dir.write_text("song/bad.wav", "not a sample");
    FakeLog eager_log;
    FakeSystem eager_system{eager_log};
    DirectSound eager{eager_system, notifier};
    eager.open_device(kWindow);
    sound.defer_startup_samples();
    sound.open_device(kWindow);

    const CurrentDir in_song(song);
    for (DirectSound* s : {&eager, &sound}) {
        for (const auto& [k, name] : {std::pair{0, "own.wav"},
                                      {1, "missing.wav"},
                                      {2, "bad.wav"},
                                      {12, "own.wav"},
                                      {13, "missing.wav"}}) {
            // As a song load gives a sound its sample: the buffer is built
            // whatever the read, and a refusal costs that sound only.
            (void)s->load_wave(name, k);
            try {
                s->make_buffer(k);
            } catch (const Error&) {
            }
        }
        EXPECT_FALSE(s->replace_sample("missing.wav", 3));
        EXPECT_TRUE(s->replace_sample("own.wav", 4));
        sound_channel swapped;
        s->swap_sample(5, swapped);
        s->swap_sample(5, swapped);
    }
    for (int k = 0; k < kSounds; ++k) {
        sound.load_deferred_startup_sample(k);
    }

    const auto memory = [](const DirectSound& s, int k) {
        const auto* b = dynamic_cast<const FakeBuffer*>(s.channel(k).buffer.get());
        return b != nullptr ? std::optional<Bytes>(b->memory()) : std::nullopt;
    };
    for (int k = 0; k < kSounds; ++k) {
        EXPECT_EQ(sound.channel(k).loaded, eager.channel(k).loaded) << k;
        EXPECT_EQ(sound.channel(k).file_image, eager.channel(k).file_image) << k;
        EXPECT_EQ(memory(sound, k), memory(eager, k)) << k;
    }
    EXPECT_EQ(memory(sound, 1), startup_samples_of(1));
    EXPECT_EQ(memory(sound, 2), std::nullopt);
    EXPECT_EQ(memory(sound, 11), startup_samples_of(11));
}

// Building channel buffers.

struct Refusal {
    DsResult code;
    const char* reason;
};

void PrintTo(const Refusal& r, std::ostream* out) {
    *out << std::hex << r.code;
}

class RefusedBufferTest : public DirectSoundTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedBufferTest, ShowsTheReasonThenRaises) {
    open_with_channel3();
    log.refuse["CreateSoundBuffer"] = GetParam().code;
    expect_error([&] { sound.make_buffer(3); }, "Erreur sur CreateSoundBuffer");
    EXPECT_THAT(notifier.shown, ElementsAre(GetParam().reason));
    EXPECT_EQ(buffer(3), nullptr);
    EXPECT_FALSE(sound.channel(3).loaded) << "it held a sample before";
    EXPECT_EQ(sound.play(3), DS_OK);
    EXPECT_THAT(log.calls, ElementsAre("b1.Release", "CreateSoundBuffer(e0,10,16)"));
}

INSTANTIATE_TEST_SUITE_P(
    MessageTable, RefusedBufferTest,
    ::testing::Values(Refusal{DSERR_ALLOCATED, "utilisé par une autre ressource"},
                      Refusal{DSERR_BADFORMAT, "format incorrect"},
                      Refusal{DSERR_INVALIDPARAM, "paramètre invalide"},
                      Refusal{DSERR_NOAGGREGATION, "non reconnu"},
                      Refusal{DSERR_OUTOFMEMORY, "depassement memoire"},
                      Refusal{DSERR_UNINITIALIZED, "non initialisé"},
                      Refusal{DSERR_UNSUPPORTED, "cette version de directx ne peut pas le faire"},
                      Refusal{DSERR_GENERIC, "erreur inconnue"},
                      Refusal{DSERR_CONTROLUNAVAIL, "erreur inconnue"}));

TEST_F(DirectSoundTest, RefusedLockRaisesWithoutUnlocking) {
    open_with_channel3();
    log.refuse["Lock"] = DSERR_INVALIDCALL;
    expect_error([&] { sound.make_buffer(3); }, "Erreur sur Lock 1");
    EXPECT_THAT(log.calls,
                ElementsAre("b1.Release", "CreateSoundBuffer(e0,10,16)", "b2.Lock(0,10,0)"));
    EXPECT_FALSE(sound.channel(3).loaded);
    EXPECT_THAT(notifier.shown, IsEmpty());
}

TEST_F(DirectSoundTest, RefusedUnlockRaisesAndLeavesTheChannelNotLoaded) {
    open_with_channel3();
    log.refuse["Unlock"] = DSERR_INVALIDCALL;
    expect_error([&] { sound.make_buffer(3); }, "Erreur sur Unlock");
    EXPECT_FALSE(sound.channel(3).loaded);
}

TEST_F(DirectSoundTest, SamplesFillBothLockedRegions) {
    log.lock_split = 7;
    open_with_channel3(ramp(10, 100));
    EXPECT_EQ(buffer(3)->memory(), ramp(10, 100));
}

TEST_F(DirectSoundTest, StaleLengthWithoutSampleBytesCopiesNothing) {
    open_with_channel3(ramp(10));
    // A format but no data chunk: the length of the previous file remains.
    EXPECT_FALSE(sound.load_wave(
        dir.write("nodata.wav", WavBuilder().chunk("fmt ", pcm_format(2, 44100, 16)).build()), 3));
    sound.make_buffer(3);
    EXPECT_EQ(buffer(3)->memory(), Bytes(10, FakeBuffer::kUntouched));
}

TEST_F(DirectSoundTest, MakeBufferBeforeOpeningLeavesTheChannelSilent) {
    ASSERT_TRUE(sound.load_wave(dir.write("own.wav", simple_wav(ramp(4))), 3));
    sound.make_buffer(3);
    EXPECT_EQ(buffer(3), nullptr);
    EXPECT_FALSE(sound.channel(3).loaded);
    EXPECT_THAT(log.calls, IsEmpty());
    EXPECT_THAT(notifier.shown, IsEmpty());
}

// Assigning samples to a channel.

TEST_F(DirectSoundTest, NewSampleReleasesThePlayingBufferAndWaitsForTheNextStart) {
    open_with_channel3();
    sound.play(3);
    ASSERT_TRUE(sound.load_wave(dir.write("other.wav", simple_wav(ramp(6))), 3));
    sound.make_buffer(3);
    EXPECT_THAT(log.calls, ElementsAre("b1.Play(0,0,0)", "b1.Release", "CreateSoundBuffer(e0,6,16)",
                                       "b2.Lock(0,6,0)", "b2.Unlock(6,0)"));
    EXPECT_EQ(buffer(3)->memory(), ramp(6));
}

TEST_F(DirectSoundTest, MissingFileKeepsThePreviousSample) {
    open_with_channel3(ramp(10, 50));
    EXPECT_FALSE(sound.load_wave("missing.wav", 3));
    sound.make_buffer(3);
    ASSERT_NE(buffer(3), nullptr);
    EXPECT_EQ(buffer(3)->name(), "b2");
    EXPECT_EQ(buffer(3)->memory(), ramp(10, 50));
    EXPECT_TRUE(sound.channel(3).loaded);
    EXPECT_THAT(notifier.shown, IsEmpty());
}

TEST_F(DirectSoundTest, TextFileIsRefusedAndSilencesTheChannel) {
    open_with_channel3();
    EXPECT_FALSE(sound.load_wave(dir.write_text("notes.wav", "hello"), 3));
    expect_error([&] { sound.make_buffer(3); }, "Erreur sur CreateSoundBuffer");
    EXPECT_THAT(notifier.shown, ElementsAre("paramètre invalide"));
    EXPECT_EQ(log.created.back().format.size(), 0u);
    EXPECT_EQ(buffer(3), nullptr);
    log.calls.clear();
    EXPECT_EQ(sound.play(3), DS_OK);
    EXPECT_THAT(log.calls, IsEmpty());
}

// Replacing a sample only when the new one is usable.

TEST_F(DirectSoundTest, ReplacedSampleTakesTheChannelAndTheOldBufferGoesAfterwards) {
    open_with_channel3(ramp(10, 50));
    EXPECT_TRUE(sound.replace_sample(dir.write("other.wav", simple_wav(ramp(6, 9))), 3));
    EXPECT_THAT(log.calls, ElementsAre("CreateSoundBuffer(e0,6,16)", "b2.Lock(0,6,0)",
                                       "b2.Unlock(6,0)", "b1.Release"));
    EXPECT_EQ(buffer(3)->memory(), ramp(6, 9));
    EXPECT_TRUE(sound.channel(3).loaded);
    EXPECT_THAT(notifier.shown, IsEmpty());
}

struct Unusable {
    const char* name;
    std::function<std::string(const TempDir&, FakeLog&)> prepare; // the file to offer
    std::vector<std::string> shown;
    FileStatus status; // why the channel keeps its sample
};

void PrintTo(const Unusable& u, std::ostream* out) {
    *out << u.name;
}

class UnusableSampleTest : public DirectSoundTest, public ::testing::WithParamInterface<Unusable> {
protected:
    void SetUp() override { open_with_channel3(ramp(10, 50)); }
};

TEST_P(UnusableSampleTest, LeavesTheChannelExactlyAsItWas) {
    const Bytes image = sound.channel(3).file_image;
    const std::string offered = GetParam().prepare(dir, log);
    EXPECT_EQ(sound.replace_sample(offered, 3), GetParam().status);
    EXPECT_EQ(notifier.shown, GetParam().shown);

    const sound_channel& ch = sound.channel(3);
    EXPECT_EQ(ch.file_image, image);
    EXPECT_EQ(ch.format, 20u);
    EXPECT_EQ(ch.sample_data, 44u);
    EXPECT_EQ(ch.sample_bytes, 10u);
    EXPECT_TRUE(ch.loaded);
    ASSERT_NE(buffer(3), nullptr);
    EXPECT_EQ(buffer(3)->name(), "b1");
    EXPECT_EQ(buffer(3)->memory(), ramp(10, 50));
    log.calls.clear();
    sound.play(3);
    EXPECT_THAT(log.calls, ElementsAre("b1.Play(0,0,0)"));
}

INSTANTIATE_TEST_SUITE_P(
    EachWayOfFailing, UnusableSampleTest,
    ::testing::Values(
        Unusable{"Missing",
                 [](const TempDir&, FakeLog&) { return std::string("missing.wav"); },
                 {},
                 {FileFault::no_such_file, ENOENT}},
        Unusable{"Folder",
                 [](const TempDir& dir, FakeLog&) {
                     std::filesystem::create_directory(dir.path() / "kit.wav");
                     return std::string("kit.wav");
                 },
                 {},
                 {FileFault::is_folder, EISDIR}},
        Unusable{"LargerThanAnySample",
                 [](const TempDir& dir, FakeLog&) {
                     const std::string huge = dir.write("huge.wav", simple_wav(ramp(4)));
                     std::filesystem::resize_file(huge, (std::uintmax_t{1} << 30) + 1);
                     return huge;
                 },
                 {},
                 {FileFault::too_large, 0}},
        Unusable{"TextFile",
                 [](const TempDir& dir, FakeLog&) { return dir.write_text("notes.wav", "hello"); },
                 {},
                 {FileFault::not_a_wave, 0}},
        Unusable{"NoDataChunk",
                 [](const TempDir& dir, FakeLog&) {
                     return dir.write("nodata.wav",
                                      WavBuilder().chunk("fmt ", pcm_format(2, 44100, 16)).build());
                 },
                 {},
                 {FileFault::not_a_wave, 0}},
        Unusable{"FormatTheDeviceRefuses",
                 [](const TempDir& dir, FakeLog& log) {
                     log.judge_format = [](const BufferDesc& desc) {
                         return desc.format[0] == 0x55 ? DSERR_BADFORMAT : DS_OK;
                     };
                     return dir.write("odd.wav", WavBuilder()
                                                     .chunk("fmt ", pcm_format(2, 44100, 16, 0x55))
                                                     .chunk("data", ramp(4))
                                                     .build());
                 },
                 {"format incorrect"},
                 {FileFault::unplayable, 0}},
        Unusable{"UnlockRefused",
                 [](const TempDir& dir, FakeLog& log) {
                     log.refuse["b2.Unlock"] = DSERR_INVALIDCALL;
                     return dir.write("good.wav", simple_wav(ramp(4)));
                 },
                 {},
                 {FileFault::unplayable, 0}}));

TEST_F(DirectSoundTest, WithoutADeviceAReadableWavIsKeptSilent) {
    EXPECT_FALSE(sound.replace_sample("missing.wav", 3));
    EXPECT_TRUE(sound.replace_sample(dir.write("own.wav", simple_wav(ramp(4))), 3));
    EXPECT_EQ(sound.channel(3).sample_bytes, 4u);
    EXPECT_EQ(buffer(3), nullptr);
    EXPECT_THAT(log.calls, IsEmpty());
    EXPECT_FALSE(sound.replace_sample(dir.write("own.wav", simple_wav(ramp(4))), 32));
}

// Channel operations.

TEST_F(DirectSoundTest, OperationsReachTheChannelBufferAndAnswerItsResult) {
    open_with_channel3();
    log.refuse["Play"] = DSERR_PRIOLEVELNEEDED;
    EXPECT_EQ(sound.stop(3), DS_OK);
    EXPECT_EQ(sound.rewind(3), DS_OK);
    EXPECT_EQ(sound.play(3), DSERR_PRIOLEVELNEEDED);
    sound.set_volume(3, -500);
    sound.set_pan(3, 2500);
    sound.set_frequency(3, 22050);
    sound.set_frequency(3, -1);
    EXPECT_THAT(log.calls, ElementsAre("b1.Stop", "b1.SetCurrentPosition(0)", "b1.Play(0,0,0)",
                                       "b1.SetVolume(-500)", "b1.SetPan(2500)",
                                       "b1.SetFrequency(22050)", "b1.SetFrequency(4294967295)"));
}

TEST_F(DirectSoundTest, ChannelsWithoutBufferDoNothing) {
    install_startup_samples();
    sound.open_device(kWindow);
    log.calls.clear();
    for (int k : {12, 13, 14, 15, 31, 32, -1}) {
        EXPECT_EQ(sound.stop(k), DS_OK);
        EXPECT_EQ(sound.rewind(k), DS_OK);
        EXPECT_EQ(sound.play(k), DS_OK);
        EXPECT_EQ(sound.set_volume(k, -100), DS_OK);
        EXPECT_EQ(sound.set_pan(k, 100), DS_OK);
        EXPECT_EQ(sound.set_frequency(k, 100), DS_OK);
    }
    sound.make_buffer(32);
    EXPECT_THAT(log.calls, IsEmpty());
    EXPECT_THAT(notifier.shown, IsEmpty());
}

TEST_F(DirectSoundTest, ScheduleReachesTheDeviceOnceItExists) {
    sound.schedule_at(5);
    EXPECT_THAT(log.calls, IsEmpty());
    sound.open_device(kWindow);
    log.calls.clear();
    sound.schedule_at(48000);
    EXPECT_THAT(log.calls, ElementsAre("set_target_frame(48000)"));
}

// Teardown.

TEST_F(DirectSoundTest, TeardownWithoutOpeningReleasesNothing) {
    sound.teardown();
    sound.teardown();
    EXPECT_THAT(log.calls, IsEmpty());
}

TEST_F(DirectSoundTest, TeardownReleasesBuffersThenPrimaryThenDevice) {
    open_with_channel3();
    sound.teardown();
    EXPECT_THAT(log.calls, ElementsAre("b1.Release", "primary.Release", "device1.Release"));
    EXPECT_FALSE(sound.channel(3).loaded);
    sound.teardown();
    EXPECT_EQ(log.calls.size(), 3u);
    EXPECT_EQ(sound.play(3), DS_OK);
}

TEST_F(DirectSoundTest, DestructionTearsDown) {
    {
        DirectSound other(system, notifier);
        other.open_device(kWindow);
        log.calls.clear();
    }
    EXPECT_THAT(log.calls, ElementsAre("primary.Release", "device1.Release"));
}

} // namespace
} // namespace qx375::test
