#include "engine/engine_rig.h"
#include "support/file_size_limit.h"
#include "support/smf_reader.h"
#include "util/error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/wait.h>
#include <utility>

namespace qx375::test {
namespace {

// A song in a scratch folder: pattern 1, sixteen steps with a click on each,
// at measures 1 and 2, then the End marker; the click file beside it.
struct RenderRig : EngineRig {
    RenderRig() {
        Bytes click;
        for (int i = 0; i < 32; ++i) {
            click.insert(click.end(), {0x00, 0x40});
        }
        dir.write("click.wav", simple_wav(click));
        song.set_sample_file(2, "click.wav");
        song.set_song_entry(1, 1);
        song.set_song_entry(2, 1);
        song.set_song_entry(3, kEndMarker);
        song.change_pattern(1, [&](pattern_record& p) {
            p.size = 16;
            p.steps[2].fill(1);
        });
        save();
    }
    void save() { song.save_drm((dir.path() / "song.drm").string()); }

    // The renderer's exit code, run from another folder than the song's,
    // which holds `settings` as its qx375.ini and `program_files`; no output
    // file for "". What it said goes to `said`.
    int render(const std::string& options, const std::string& out = "out.wav") {
        const TempDir elsewhere;
        if (!settings.empty()) {
            elsewhere.write_text("qx375.ini", settings);
        }
        for (const auto& [name, bytes] : program_files) {
            elsewhere.write(name, bytes);
        }
        const std::string command = "cd \"" + elsewhere.path().string() + "\" && \"" +
                                    QX375_RENDER_PATH + "\" " + options + " \"" +
                                    (dir.path() / "song.drm").string() + "\" " +
                                    (out.empty() ? "" : at(out)) + " 2>said.txt";
        const int status = std::system(command.c_str());
        std::ifstream in(elsewhere.path() / "said.txt");
        said.assign(std::istreambuf_iterator<char>(in), {});
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // A file of the song's folder, quoted for the command line.
    std::string at(const std::string& name) const { return "\"" + path(name) + "\""; }
    std::string path(const std::string& name) const { return (dir.path() / name).string(); }

    std::string settings;
    std::vector<std::pair<std::string, Bytes>> program_files;
    std::string said;

    SF_INFO info(const std::string& out = "out.wav") {
        SF_INFO i{};
        SNDFILE* file = sf_open((dir.path() / out).c_str(), SFM_READ, &i);
        EXPECT_NE(file, nullptr);
        sf_close(file);
        return i;
    }
};

// Every sample of a stereo file, interleaved.
std::vector<float> samples_of(const std::filesystem::path& file) {
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    EXPECT_NE(sound, nullptr) << file;
    std::vector<float> out(static_cast<std::size_t>(info.frames * info.channels));
    if (sound != nullptr) {
        EXPECT_EQ(sf_readf_float(sound, out.data(), info.frames), info.frames);
        sf_close(sound);
    }
    return out;
}

std::vector<std::string> listing(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return {names.begin(), names.end()};
}

// --speed 40 on a 16-step pattern: the start-up's slider rule, 40 x 18 / 16 ms.
constexpr double kStep = 45 * 44.1;

TEST(Render, WritesTheSongFromItsFirstStepToItsLastOrItsRingOut) {
    RenderRig rig;
    ASSERT_EQ(rig.render("--speed 40 --no-tail"), 0);
    EXPECT_NEAR(static_cast<double>(rig.info().frames), 32 * kStep, 1);
    EXPECT_EQ(rig.info().format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(rig.render("--speed 40 --pattern 1 --repeat 3 --no-tail --bits 24 --rate 48000"), 0);
    EXPECT_NEAR(static_cast<double>(rig.info().frames), 48 * 45 * 48.0, 1);
    EXPECT_EQ(rig.info().format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    ASSERT_EQ(rig.render("--speed 40 --bits 32f"), 0);
    EXPECT_GT(rig.info().frames, 32 * kStep) << "the last click rings out";
    EXPECT_EQ(rig.info().format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
}

TEST(Render, SaysWhatIsWrongWithItsExitCode) {
    RenderRig rig;
    EXPECT_EQ(rig.render("--speed 30"), 1);
    EXPECT_EQ(rig.render("--bits 8"), 1);
    EXPECT_EQ(rig.render("--tempo 3"), 1);
    EXPECT_EQ(rig.render("", "no/such/folder/out.wav"), 3);
    rig.dir.write_text("out.wav", "kept");
    EXPECT_EQ(rig.render("", "out.wav/inside"), 3);
    rig.song.set_song_entry(3, 1);
    rig.save();
    EXPECT_EQ(rig.render("--no-tail --speed 40"), 4) << "no End marker: written, and said so";
    EXPECT_GT(static_cast<double>(rig.info().frames), 255 * 14 * 40 * 44.1) << "all 255 measures";
    EXPECT_EQ(rig.render("--max-measures 2 --no-tail --speed 40"), 0);
    EXPECT_NEAR(static_cast<double>(rig.info().frames), 32 * kStep, 1);
    rig.dir.write_text("song.drm", "not a song");
    EXPECT_EQ(rig.render(""), 2);
}

TEST(Render, RefusesFormatsAndSamplesThatDoNotGoTogether) {
    RenderRig rig;
    EXPECT_EQ(rig.render("--format flac --bits 32f"), 1) << "FLAC holds integers";
    EXPECT_EQ(rig.render("--bits 16", "out.ogg"), 1) << "Ogg Vorbis has no sample size";
    EXPECT_EQ(rig.render("--format ogg --bits 24", "out.wav"), 1);
    EXPECT_EQ(rig.render("--format mp3"), 1);
    EXPECT_EQ(rig.render("", ""), 1) << "no output at all";
    EXPECT_EQ(rig.render("--midi " + rig.at("a.mid") + " " + rig.at("b.wav")), 1)
        << "two outputs besides the MIDI file";
    EXPECT_EQ(rig.render("--stems \"\""), 1) << "a folder without a name";
    EXPECT_FALSE(std::filesystem::exists(rig.path("out.wav")));
}

struct FormatCase {
    const char* options;
    const char* out;
    int format;
};

class RenderFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(RenderFormats, TheExtensionOrTheFormatOptionChoosesWhatIsWritten) {
    RenderRig rig;
    ASSERT_EQ(rig.render(std::string("--speed 40 --no-tail ") + GetParam().options, GetParam().out),
              0);
    const SF_INFO info = rig.info(GetParam().out);
    EXPECT_EQ(info.format, GetParam().format);
    EXPECT_NEAR(static_cast<double>(info.frames), 32 * kStep, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, RenderFormats,
    ::testing::Values(FormatCase{"", "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                      FormatCase{"--bits 24", "out.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                      FormatCase{"", "out.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                      FormatCase{"", "out.take", SF_FORMAT_WAV | SF_FORMAT_PCM_16}));
INSTANTIATE_TEST_SUITE_P(
    Options, RenderFormats,
    ::testing::Values(FormatCase{"--format flac", "out.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                      FormatCase{"--format ogg", "out.wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                      FormatCase{"--format wav --bits 32f", "out.ogg",
                                 SF_FORMAT_WAV | SF_FORMAT_FLOAT}));

// Four sounds of their own mix and a fifth that plays no step, the hi-hats
// choking each other, the snare named with a Windows folder and characters
// some file systems refuse.
struct StemsRig : RenderRig {
    StemsRig() {
        const std::pair<int, const char*> samples[] = {
            {0, "hh.wav"}, {1, "oh.wav"}, {2, "kits\\Sna:re?.wav"}, {3, "BD.WAV"}, {4, "tom.wav"}};
        for (const auto& [k, name] : samples) {
            Bytes sound;
            for (int i = 0; i < 2000 + 1500 * k; ++i) {
                const auto v = static_cast<std::uint16_t>(3000 * (k + 1) + 7 * (i % 100));
                sound.insert(sound.end(),
                             {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
            }
            std::string file = name;
            std::replace(file.begin(), file.end(), '\\', '/');
            dir.write(file, simple_wav(sound, 1));
            song.set_sample_file(k, name);
        }
        song.change_pattern(1, [&](pattern_record& p) {
            p.steps[2].fill(0);
            for (int s = 0; s < 16; ++s) {
                p.steps[s % 2 == 0 ? 0 : 1][static_cast<std::size_t>(s)] = 1;
            }
            p.steps[2][4] = p.steps[2][12] = 1;
            p.steps[3][0] = p.steps[3][10] = 1;
            p.volume[3] = -600;
            p.pan[2] = -1500;
            p.pan[1] = 2500;
            p.frequency[2] = 30000;
            p.frequency[0] = 50000;
        });
        save();
    }
};

TEST(RenderStems, EachSoundThatPlaysHasAFileAndTogetherTheyAreTheMix) {
    StemsRig rig;
    ASSERT_EQ(rig.render("--speed 40 --bits 32f --stems " + rig.at("stems/new"), "mix.wav"), 0);
    const std::filesystem::path stems = rig.dir.path() / "stems/new";
    EXPECT_THAT(listing(stems),
                ::testing::ElementsAre("01 hh.wav", "02 oh.wav", "03 Sna_re_.wav", "04 BD.wav"));
    const std::vector<float> mix = samples_of(rig.path("mix.wav"));
    ASSERT_GT(mix.size(), 64 * kStep);
    std::vector<float> sum(mix.size());
    for (const std::string& name : listing(stems)) {
        SCOPED_TRACE(name);
        const std::vector<float> stem = samples_of(stems / name);
        ASSERT_EQ(stem.size(), mix.size());
        EXPECT_GT(*std::max_element(stem.begin(), stem.end()), 0.05f);
        for (std::size_t i = 0; i < stem.size(); ++i) {
            sum[i] += stem[i];
        }
    }
    for (std::size_t i = 0; i < mix.size(); ++i) {
        ASSERT_NEAR(sum[i], mix[i], 1e-6f) << "sample " << i;
    }

    // In another format, without the mix, into a folder that exists: the
    // same sounds.
    ASSERT_EQ(rig.render("--speed 40 --format flac --stems " + rig.at("stems"), ""), 0);
    EXPECT_THAT(
        listing(stems.parent_path()),
        ::testing::ElementsAre("01 hh.flac", "02 oh.flac", "03 Sna_re_.flac", "04 BD.flac", "new"));
    EXPECT_EQ(rig.info("stems/03 Sna_re_.flac").format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
}

TEST(RenderStems, AFolderThatCannotTakeThemLeavesNoFileClaimingToBeComplete) {
    StemsRig rig;
    rig.dir.write_text("taken", "a file");
    EXPECT_EQ(rig.render("--stems " + rig.at("taken"), ""), 3);
    EXPECT_EQ(rig.render("--stems " + rig.at("taken/stems"), ""), 3);
    rig.dir.write_text("mix.wav", "kept");
    std::filesystem::create_directory(rig.path("stems"));
    {
        const test::FileSizeLimit full(100000); // the renderer inherits it
        EXPECT_EQ(rig.render("--stems " + rig.at("stems"), "mix.wav"), 3);
    }
    EXPECT_TRUE(std::filesystem::is_empty(rig.path("stems")));
    std::ifstream kept(rig.path("mix.wav"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
}

// A song of a 14-step and a 16-step pattern, at two tempi: the snare alone
// on the left, the kick alone on the right, each a short click.
struct MidiRig : RenderRig {
    MidiRig() {
        dir.write("kick.wav", dir_click());
        song.set_sample_file(3, "kick.wav");
        song.change_pattern(1, [&](pattern_record& p) {
            p.size = 14;
            p.steps[3][0] = p.steps[3][4] = p.steps[3][8] = p.steps[3][12] = 1;
            p.pan[2] = -10000;
            p.pan[3] = 10000;
        });
        song.change_pattern(2, [&](pattern_record& p) {
            p.size = 16;
            p.empty = 0;
            for (int s = 0; s < 16; s += 2) {
                p.steps[2][static_cast<std::size_t>(s)] = 1;
            }
            p.steps[3][0] = p.steps[3][8] = 1;
            p.pan[2] = -10000;
            p.pan[3] = 10000;
        });
        song.set_song_entry(2, 2);
        song.set_song_entry(3, 1);
        song.set_song_entry(4, kEndMarker);
        save();
        settings = "[midi]\nsound2=60\n";
    }
    static Bytes dir_click() { return simple_wav(Bytes(64, 0x30)); }
};

// The frames where a channel goes from silence to a click.
std::vector<double> onsets(const std::vector<float>& stereo, std::size_t channel) {
    std::vector<double> out;
    for (std::size_t i = channel; i < stereo.size(); i += 2) {
        if (std::abs(stereo[i]) > 0.1f && (i < 2 || std::abs(stereo[i - 2]) < 0.01f)) {
            out.push_back(static_cast<double>(i / 2));
        }
    }
    return out;
}

class RenderMidi : public ::testing::TestWithParam<int> {};

TEST_P(RenderMidi, EveryNoteFallsWithinAFrameOfItsHitInTheAudio) {
    MidiRig rig;
    ASSERT_EQ(rig.render("--speed " + std::to_string(GetParam()) + " --no-tail --bits 32f --midi " +
                             rig.at("song.mid"),
                         "out.wav"),
              0);
    const std::vector<float> audio = samples_of(rig.path("out.wav"));
    std::ifstream in(rig.path("song.mid"), std::ios::binary);
    const test::Smf smf =
        test::read_smf(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    ASSERT_TRUE(smf.valid);
    EXPECT_EQ(smf.format, 1);
    ASSERT_EQ(smf.tracks.size(), 3u) << "the conductor, the snare and the kick";
    std::set<std::uint32_t> tempi;
    for (const test::SmfEvent& e : smf.tracks[0].events) {
        if (e.type == 0x51) {
            tempi.insert(static_cast<std::uint32_t>(e.data[0] << 16 | e.data[1] << 8 | e.data[2]));
        }
    }
    EXPECT_GE(tempi.size(), 2u);

    const struct {
        std::size_t track;
        const char* name;
        int note;
        std::size_t channel;
        std::size_t hits;
    } sounds[] = {{1, "Snare", 60, 0, 14 + 8 + 14}, {2, "Kick", 36, 1, 4 + 2 + 4}};
    for (const auto& sound : sounds) {
        SCOPED_TRACE(sound.name);
        const test::SmfTrack& track = smf.tracks[sound.track];
        EXPECT_EQ(track.name(), sound.name);
        std::vector<double> notes;
        for (const test::SmfEvent& e : track.channel_messages()) {
            if (e.status == 0x99) {
                EXPECT_EQ(e.data[0], sound.note) << "the note qx375.ini gives, or General MIDI's";
                notes.push_back(smf.seconds_at(e.tick) * 44100);
            }
        }
        const std::vector<double> heard = onsets(audio, sound.channel);
        if (sound.note == 36) {
            // Each pattern a bar of 1680 ticks, whatever its size.
            std::vector<std::uint32_t> ticks;
            for (const test::SmfEvent& e : track.channel_messages()) {
                if (e.status == 0x99) {
                    ticks.push_back(e.tick);
                }
            }
            EXPECT_THAT(ticks, ::testing::ElementsAre(0, 480, 960, 1440, 1680, 2520, 3360, 3840,
                                                      4320, 4800));
        }
        ASSERT_EQ(notes.size(), sound.hits);
        ASSERT_EQ(heard.size(), sound.hits);
        for (std::size_t i = 0; i < notes.size(); ++i) {
            EXPECT_NEAR(notes[i], heard[i], 1.0) << "hit " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tempi, RenderMidi, ::testing::Values(40, 97, 333));

// A sample the song's folder lacks leaves its sound the program's start-up
// sample for its row, as the program plays the song, and not a file of that
// name in the program directory; a sound without a sample of either is said
// to stay silent, but only when a step plays it.
TEST(Render, ASampleMissingBesideTheSongLeavesItsSoundTheStartupSampleOfItsRow) {
    RenderRig rig;
    const auto level = [](std::uint8_t high) {
        Bytes sample;
        for (int i = 0; i < 32; ++i) {
            sample.insert(sample.end(), {0x00, high});
        }
        return simple_wav(sample);
    };
    std::filesystem::remove(rig.path("click.wav"));
    for (const auto& [k, name] : {std::pair{5, "unheard.wav"}, {12, "gone.wav"}}) {
        try {
            rig.song.set_sample_file(k, name); // the name stays, without a sample
        } catch (const Error&) {
        }
    }
    rig.song.change_pattern(1, [](pattern_record& p) { p.steps[12][3] = 1; });
    rig.save();
    rig.program_files = {{std::string(kSoundSlots[2].startup_file), level(0x30)},
                         {"click.wav", level(0x60)}};
    ASSERT_EQ(rig.render("--speed 40 --no-tail --bits 32f"), 0);
    const std::vector<float> mix = samples_of(rig.path("out.wav"));
    ASSERT_FALSE(mix.empty());
    EXPECT_NEAR(*std::max_element(mix.begin(), mix.end()), 0x3000 / 32768.0, 1e-3);
    EXPECT_THAT(rig.said, ::testing::HasSubstr("sound 13, gone.wav, cannot be read"));
    EXPECT_THAT(rig.said, ::testing::Not(::testing::HasSubstr("unheard.wav")));
    EXPECT_THAT(rig.said, ::testing::Not(::testing::HasSubstr("sound 3,")));
}

// --kit gives the sounds the kit's drums before the render, by the kit's
// notes: the snare row plays the kit's snare; a kit that is refused stops the
// render before anything is written.
TEST(Render, AKitGivesTheSoundsItsDrumsFirst) {
    RenderRig rig;
    Bytes loud;
    for (int i = 0; i < 32; ++i) {
        loud.insert(loud.end(), {0x00, 0x70});
    }
    rig.dir.write("garage/snare.wav", simple_wav(loud));
    rig.dir.write_text("garage/drumkit.xml",
                       "<drumkit_info><name>Garage</name><instrumentList><instrument>"
                       "<name>Snare</name><midiOutNote>38</midiOutNote>"
                       "<filename>snare.wav</filename></instrument></instrumentList>"
                       "</drumkit_info>");
    ASSERT_EQ(rig.render("--speed 40 --no-tail --bits 32f --kit " + rig.at("garage")), 0);
    const std::vector<float> with_kit = samples_of(rig.path("out.wav"));
    ASSERT_FALSE(with_kit.empty());
    EXPECT_NEAR(*std::max_element(with_kit.begin(), with_kit.end()), 0x7000 / 32768.0, 1e-3);

    rig.dir.write_text("garage/drumkit.xml", "<!DOCTYPE x [<!ENTITY a \"b\">]><drumkit_info/>");
    std::filesystem::remove(rig.path("out.wav"));
    EXPECT_EQ(rig.render("--kit " + rig.at("garage")), 5);
    EXPECT_FALSE(std::filesystem::exists(rig.path("out.wav")));
}

} // namespace
} // namespace qx375::test
