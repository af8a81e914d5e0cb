#include "support/link_hut.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qx375::test {
namespace {

using namespace std::chrono_literals;

std::filesystem::path scratch_dir() {
    std::string dir = (std::filesystem::temp_directory_path() / "qx375-linkhut-XXXXXX").string();
    return ::mkdtemp(dir.data()) != nullptr ? std::filesystem::path(dir) : std::filesystem::path{};
}

// "yes     | 1         | 4       | no  [stopped]   | 120.00  | 5.85    | XXOO"
std::optional<HutStatus> parse(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '|');) {
        fields.push_back(field);
    }
    if (fields.size() != 7) {
        return std::nullopt;
    }
    HutStatus status;
    std::istringstream enabled(fields[0]), peers(fields[1]), tempo(fields[4]), beats(fields[5]);
    std::string word;
    enabled >> word;
    status.enabled = word == "yes";
    if (!(peers >> status.peers) || !(tempo >> status.tempo) || !(beats >> status.beats)) {
        return std::nullopt;
    }
    return status;
}

} // namespace

LinkHut::LinkHut() : dir_(scratch_dir()) {
    int pipe_ends[2];
    if (dir_.empty() || ::pipe2(pipe_ends, O_CLOEXEC) != 0) {
        return;
    }
    const std::string output = (dir_ / "output").string();
    pid_ = ::fork();
    if (pid_ == 0) {
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(pipe_ends[0], STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::execl(kPath, kPath, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipe_ends[0]);
    keys_ = pipe_ends[1];
}

LinkHut::~LinkHut() {
    quit();
    if (keys_ >= 0) {
        ::close(keys_);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

bool LinkHut::running() {
    return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0;
}

void LinkHut::press(char key) {
    if (keys_ >= 0 && ::write(keys_, &key, 1) != 1) {
        ::close(keys_);
        keys_ = -1;
    }
    // It takes in one key per turn of its loop.
    std::this_thread::sleep_for(50ms);
}

std::optional<HutStatus> LinkHut::status() const {
    std::ifstream in(dir_ / "output");
    std::stringstream text;
    text << in.rdbuf();
    // It rewrites its line after a carriage return; the last piece may be
    // half written.
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line, '\r');) {
        lines.push_back(line);
    }
    for (auto at = lines.rbegin() + (lines.empty() ? 0 : 1); at < lines.rend(); ++at) {
        if (auto status = parse(*at)) {
            return status;
        }
    }
    return std::nullopt;
}

bool LinkHut::quit() {
    if (pid_ <= 0) {
        return false;
    }
    press('q');
    for (int i = 0; i < 60; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return false;
}

} // namespace qx375::test
