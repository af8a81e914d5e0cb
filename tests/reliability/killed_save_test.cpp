#include "engine/engine_rig.h"
#include "util/file_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qx375::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Saves one of two versions of a file: 0 or 1.
using Save = std::function<void(int version)>;

// Runs `save` in a child process, which tells through a pipe when it begins
// and when it is done. With a delay, the child is killed that long after it
// began, wherever it stands; without one it saves to the end. Returns the
// time the save took, when the child said so.
std::optional<Clock::duration> save_in_child(const Save& save, int version,
                                             std::optional<Clock::duration> kill_after) {
    int news[2];
    if (::pipe(news) != 0) {
        ADD_FAILURE() << "no pipe";
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(news[0]);
        const char mark = 1;
        if (::write(news[1], &mark, 1) == 1) {
            save(version);
            ::write(news[1], &mark, 1);
        }
        ::_exit(0);
    }
    ::close(news[1]);
    char mark = 0;
    const bool began = child > 0 && ::read(news[0], &mark, 1) == 1;
    const Clock::time_point start = Clock::now();
    std::optional<Clock::duration> took;
    if (began && kill_after) {
        std::this_thread::sleep_for(*kill_after);
        ::kill(child, SIGKILL);
    } else if (began && ::read(news[0], &mark, 1) == 1) {
        took = Clock::now() - start;
    }
    ::close(news[0]);
    if (child > 0) {
        ::waitpid(child, nullptr, 0);
    }
    EXPECT_TRUE(began) << "the saving process did not start";
    return took;
}

std::string contents_of(const std::string& path) {
    const FileContent file = read_file(path, 1 << 24);
    return file.status ? std::string(file.bytes.begin(), file.bytes.end()) : "(unreadable)";
}

class KilledSaveTest : public ::testing::Test, public EngineRig {
protected:
    KilledSaveTest() { fs::create_directory(folder); }

    // Whatever lies beside the file in its folder.
    std::vector<std::string> others() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path() != file) {
                names.push_back(entry.path().filename().string());
            }
        }
        return names;
    }

    // Saves over the file again and again, each time killing the saving
    // process at a random moment between its start and twice the time a
    // save usually takes. The file holds one version; each save writes the
    // other. After every kill the file must hold one of them, whole, with at
    // most one temporary file beside it; the kills must have kept the old
    // version, brought in the new and fallen inside the writing.
    void kill_saves_at_random(const std::array<std::string, 2>& versions, const Save& save,
                              int rounds) {
        int on_disk = 0;
        ASSERT_TRUE(replace_file(file, versions[0]));
        std::vector<Clock::duration> lasted;
        for (int i = 0; i < 5; ++i) {
            on_disk = 1 - on_disk;
            const auto took = save_in_child(save, on_disk, std::nullopt);
            ASSERT_TRUE(took) << "a save that was left to finish did not";
            ASSERT_EQ(contents_of(file), versions[on_disk]) << "a save that ran to its end";
            lasted.push_back(*took);
        }
        std::sort(lasted.begin(), lasted.end());
        const Clock::duration usual = lasted[lasted.size() / 2];

        const unsigned seed = std::random_device{}();
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        std::uniform_int_distribution<Clock::rep> delay(0, 2 * usual.count());
        int old_kept = 0;
        int replaced = 0;
        int inside_the_write = 0;
        for (int round = 0; round < rounds; ++round) {
            const int next = 1 - on_disk;
            save_in_child(save, next, Clock::duration(delay(random)));
            const std::string found = contents_of(file);
            if (found == versions[on_disk]) {
                ++old_kept;
            } else if (found == versions[next]) {
                ++replaced;
                on_disk = next;
            } else {
                FAIL() << "round " << round << ": the file holds " << found.size()
                       << " bytes, neither version";
            }
            const std::size_t left = others().size();
            ASSERT_LE(left, 1u) << "round " << round << ": temporary files pile up";
            inside_the_write += left > 0 ? 1 : 0;
        }
        RecordProperty(
            "save_us",
            static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(usual).count()));
        RecordProperty("old_kept", old_kept);
        RecordProperty("replaced", replaced);
        RecordProperty("inside_the_write", inside_the_write);
        EXPECT_GT(old_kept, 0) << replaced << " replaced";
        EXPECT_GT(replaced, 0) << old_kept << " kept";
        EXPECT_GT(inside_the_write, 0) << "no kill fell inside the writing";

        // A save that finishes leaves the file alone in its folder.
        save(1 - on_disk);
        EXPECT_EQ(contents_of(file), versions[1 - on_disk]);
        EXPECT_TRUE(others().empty()) << others().front();
    }

    const fs::path folder = dir.path() / "songs";
    const std::string file = (folder / "song.drm").string();
};

// Two contents of 400 KB that differ all along, written straight.
TEST_F(KilledSaveTest, AKilledReplacementLeavesTheOldOrTheNewContentWhole) {
    std::array<std::string, 2> versions;
    std::mt19937 random(375);
    for (std::string& content : versions) {
        content.resize(400 * 1024);
        std::generate(content.begin(), content.end(), [&] { return static_cast<char>(random()); });
    }
    kill_saves_at_random(
        versions, [&](int version) { replace_file(file, versions[version]); }, 150);
}

// A song with something in every pattern, and the same song with every hit
// moved one step on.
TEST_F(KilledSaveTest, AKilledSongSaveLeavesTheOldOrTheNewSongWhole) {
    const auto set_version = [&](int version) {
        for (int i = 0; i < kPatterns; ++i) {
            song.set_song_entry(i, (i * 7) % 256);
            song.change_pattern(i, [&](pattern_record& p) {
                p.tempo = 40 + i;
                p.size = 24;
                p.volume[i % kTracks] = -(i * 39);
                for (int track = 0; track < kTracks; ++track) {
                    p.steps[track].fill(0);
                    p.steps[track][(i + track + version) % kSteps] = 1;
                }
            });
        }
    };
    std::array<std::string, 2> versions;
    for (int version : {0, 1}) {
        set_version(version);
        const std::string reference = (dir.path() / "reference.drm").string();
        ASSERT_TRUE(song.save_drm(reference));
        versions[version] = contents_of(reference);
    }
    kill_saves_at_random(
        versions,
        [&](int version) {
            set_version(version);
            song.save_drm(file);
        },
        150);
}

} // namespace
} // namespace qx375::test
