#include "engine/engine_rig.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>

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

    // The renderer's exit code, run from another folder than the song's.
    int render(const std::string& options, const std::string& out = "out.wav") {
        const TempDir elsewhere;
        const std::string command = "cd \"" + elsewhere.path().string() + "\" && \"" +
                                    QX375_RENDER_PATH + "\" " + options + " \"" +
                                    (dir.path() / "song.drm").string() + "\" \"" +
                                    (dir.path() / out).string() + "\" 2>/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    SF_INFO info(const std::string& out = "out.wav") {
        SF_INFO i{};
        SNDFILE* file = sf_open((dir.path() / out).c_str(), SFM_READ, &i);
        EXPECT_NE(file, nullptr);
        sf_close(file);
        return i;
    }
};

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

} // namespace
} // namespace qx375::test
