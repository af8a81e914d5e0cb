#pragma once

// What the recorder's tests share: a recorder on a rig's output, and ways to
// read what it wrote and where.
#include "audio_rig.h"
#include "platform/wave_recorder.h"
#include "support/file_size_limit.h"
#include "support/wav_builder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qx375::recorder_test {

using test::FileSizeLimit;
using test::TempDir;
using testing::AudioRig;
using ::testing::ElementsAre;
using testing::format_record;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr std::size_t kBlock = AudioOutput::kBlockFrames;

// 16-bit mono PCM bytes of the given sample values.
inline std::vector<std::uint8_t> pcm(const std::vector<std::int16_t>& values) {
    std::vector<std::uint8_t> bytes;
    for (std::int16_t v : values) {
        bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
    return bytes;
}

// A sequence that walks the whole 16-bit range, so a frame out of place shows.
inline std::vector<std::int16_t> pattern(std::size_t frames) {
    std::vector<std::int16_t> v(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        v[i] = static_cast<std::int16_t>(static_cast<int>(i * 97 % 65536) - 32768);
    }
    return v;
}

// A WAV file as libsndfile reads it.
struct Wave {
    bool opened = false;
    SF_INFO info{};
    std::vector<short> samples; // interleaved
};

inline Wave read_wave(const std::string& path) {
    Wave wave;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &wave.info);
    if (file == nullptr) {
        return wave;
    }
    wave.opened = true;
    wave.samples.resize(static_cast<std::size_t>(wave.info.frames * wave.info.channels));
    sf_readf_short(file, wave.samples.data(), wave.info.frames);
    sf_close(file);
    return wave;
}

inline std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Points TMPDIR elsewhere for the life of the object.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const fs::path& folder) {
        if (const char* old = std::getenv("TMPDIR")) {
            old_ = old;
        }
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolder() {
        if (old_) {
            ::setenv("TMPDIR", old_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

private:
    std::optional<std::string> old_;
};

// Every name under `folder`, relative to it, in order.
inline std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(entry.path().lexically_relative(folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Files this process holds open in `folder` that have no name there: where
// an unnamed file lives is whose free space it takes.
inline int unnamed_files_in(const fs::path& folder) {
    const fs::path where = fs::canonical(folder);
    int count = 0;
    for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const fs::path file = fs::read_symlink(fd.path(), ec);
        if (!ec && file.parent_path() == where && file.string().ends_with(" (deleted)")) {
            ++count;
        }
    }
    return count;
}

// The outcome of a finish, once it comes.
inline std::optional<RecorderResult> outcome_of(WaveRecorder& recorder) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    std::optional<RecorderResult> outcome;
    while (!(outcome = recorder.take_outcome()) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    return outcome;
}

class RecorderTest : public ::testing::Test {
protected:
    TempDir dir; // outlives the recorder, which may still be writing into it
    AudioRig rig;
    WaveRecorder recorder{rig.output.capture(), AudioOutput::kRate};

    std::string path(const std::string& name) const { return (dir.path() / name).string(); }

    // A new take of the next `frames` frames of output, for `target`.
    void record(std::size_t frames, const std::string& target) {
        const RecorderResult opened = recorder.open(target);
        ASSERT_TRUE(opened.ok()) << target << ": error " << opened.status.error;
        ASSERT_TRUE(recorder.record().ok());
        rig.render(frames);
    }
};

} // namespace qx375::recorder_test
