#pragma once

// Test helpers: WAV images assembled byte by byte (wav_bytes.h), and a
// scratch directory that disappears with the test.

#include "support/wav_bytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace qx375::test {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qx375-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot create a scratch directory";
        }
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    std::string write(const std::string& name, const Bytes& bytes) const {
        const auto file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }
    std::string write_text(const std::string& name, std::string_view text) const {
        return write(name, Bytes(text.begin(), text.end()));
    }

private:
    std::filesystem::path path_;
};

// Makes a directory the current one for the life of the object.
class CurrentDir {
public:
    explicit CurrentDir(const std::filesystem::path& dir)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDir() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;

private:
    std::filesystem::path previous_;
};

} // namespace qx375::test
