#include "support/jack_server.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <jack/jack.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qx375::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 5s;
constexpr auto kStopTimeout = 3s;
// Where jackd keeps its sockets and semaphores on Linux.
const std::filesystem::path kServerDir = "/dev/shm";

std::filesystem::path find_jackd() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const auto file = std::filesystem::path(dir.empty() ? "." : dir) / "jackd";
        if (::access(file.c_str(), X_OK) == 0) {
            return file;
        }
    }
    return {};
}

std::string unique_name() {
    static std::atomic<int> count{0};
    return "qx375-" + std::to_string(::getpid()) + "-" + std::to_string(++count);
}

std::string tail(const std::string& text, int lines) {
    std::size_t at = text.size();
    while (lines-- > 0 && at > 0) {
        at = text.rfind('\n', at - 1);
        if (at == std::string::npos) {
            return text;
        }
    }
    return text.substr(at + (at < text.size() ? 1 : 0));
}

// The environment the server starts with: this process's, less what would
// make it look for a desktop's D-Bus session, which a test machine lacks and
// which could start a bus of its own, or ask D-Bus for the sound card that the
// dummy driver does not use.
std::vector<std::string> server_environment() {
    std::vector<std::string> env;
    for (char** var = environ; *var != nullptr; ++var) {
        const std::string_view entry(*var);
        if (!entry.starts_with("DBUS_SESSION_BUS_ADDRESS=") &&
            !entry.starts_with("JACK_NO_AUDIO_RESERVATION=")) {
            env.emplace_back(entry);
        }
    }
    env.emplace_back("DBUS_SESSION_BUS_ADDRESS=disabled:");
    env.emplace_back("JACK_NO_AUDIO_RESERVATION=1");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) {
        out.push_back(s.data());
    }
    out.push_back(nullptr);
    return out;
}

} // namespace

JackServer::JackServer(JackSettings settings) : settings_(settings), name_(unique_name()) {
    const std::filesystem::path jackd = find_jackd();
    if (jackd.empty()) {
        failure_ = "jackd is not installed (not found on PATH)";
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "qx375-jackd-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        failure_ =
            std::string("cannot create a directory for the server's log: ") + std::strerror(errno);
        return;
    }
    dir_ = pattern;

    // -r: no real-time scheduling, which an unprivileged container refuses.
    // -p before the driver: room for the ports of a few test clients, and
    // shared memory to match, far less than the default's.
    std::vector<std::string> args = {jackd.string(), "-n",
                                     name_,          "-r",
                                     "-p",           "256",
                                     "-d",           "dummy",
                                     "-r",           std::to_string(settings_.rate),
                                     "-p",           std::to_string(settings_.period)};
    std::vector<std::string> env = server_environment();
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);
    const std::string log_file = (dir_ / "jackd.log").string();
    const int out = ::open(log_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();

    pid_ = ::fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on: the test may run threads.
        // The server dies with the test, even when a crash ends the test
        // before the destructor runs.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent || out < 0 || in < 0) {
            ::_exit(127);
        }
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::close_range(3, ~0u, 0);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(in);
    if (pid_ < 0) {
        failure_ = std::string("cannot start jackd: ") + std::strerror(errno);
        return;
    }
    if (!wait_until_ready()) {
        kill_now();
    }
}

JackServer::~JackServer() {
    stop();
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

bool JackServer::wait_until_ready() {
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const auto status = reap(0ms)) {
            failure_ =
                "jackd exited with status " + std::to_string(*status) + ":\n" + tail(log(), 20);
            return false;
        }
        // A client tried before the server's socket is there only prints
        // errors.
        if (!std::filesystem::exists(kServerDir /
                                     ("jack_" + name_ + "_" + std::to_string(::getuid()) + "_0"))) {
            std::this_thread::sleep_for(10ms);
            continue;
        }
        jack_status_t status;
        const auto options = static_cast<jack_options_t>(JackNoStartServer | JackServerName);
        if (jack_client_t* client =
                jack_client_open("qx375-probe", options, &status, name_.c_str())) {
            jack_client_close(client);
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    failure_ = "jackd did not answer within 5 s:\n" + tail(log(), 20);
    return false;
}

bool JackServer::running() {
    return pid_ > 0 && !reap(0ms);
}

std::string JackServer::log() const {
    std::ifstream in(dir_ / "jackd.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<int> JackServer::reap(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(10ms);
    }
}

void JackServer::stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    if (!reap(kStopTimeout)) {
        kill_now();
    }
}

void JackServer::kill_now() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    remove_leftovers();
}

// A killed server leaves its socket and semaphores, named after it; its
// shared memory is reclaimed by the next server that starts.
void JackServer::remove_leftovers() const {
    const std::string socket = "jack_" + name_ + "_";
    const std::string semaphore = "jack_sem." + std::to_string(::getuid()) + "_" + name_ + "_";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(kServerDir, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.starts_with(socket) || file.starts_with(semaphore)) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
}

std::string JackServer::unavailable() {
    if (find_jackd().empty()) {
        return "jackd is not installed (not found on PATH)";
    }
    JackServer probe({.period = 1024, .rate = 48000});
    return probe.failure().empty() ? "" : "jackd cannot run here: " + probe.failure();
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        previous_ = old;
    }
    if (value.empty()) {
        ::unsetenv(name_.c_str());
    } else {
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
}

ScopedEnv::~ScopedEnv() {
    if (previous_) {
        ::setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

} // namespace qx375::test
