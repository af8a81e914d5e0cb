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
#include <sys/socket.h>
#include <sys/un.h>
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

// "qx375-<this process's id>-<count>": a dead test's servers are known by it.
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

std::filesystem::path socket_path(const std::string& name) {
    return kServerDir / ("jack_" + name + "_" + std::to_string(::getuid()) + "_0");
}

// Starts jackd as a child that writes to `log`; -1 when it cannot.
pid_t spawn(const std::filesystem::path& jackd, const std::string& name, JackSettings settings,
            const std::filesystem::path& log) {
    // -r: no real-time scheduling, which an unprivileged container refuses.
    // -p before the driver: room for the ports of a few test clients, and
    // shared memory to match, far less than the default's.
    std::vector<std::string> args = {jackd.string(), "-n",
                                     name,           settings.realtime ? "-R" : "-r",
                                     "-p",           "256",
                                     "-d",           "dummy",
                                     "-r",           std::to_string(settings.rate),
                                     "-p",           std::to_string(settings.period)};
    std::vector<std::string> env = server_environment();
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
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
    return pid;
}

// The child's exit status once it has ended, waiting up to `timeout` for it.
std::optional<int> reap(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(10ms);
    }
}

// Asks a child to quit, and kills it if it does not within a few seconds.
void end(pid_t pid) {
    ::kill(pid, SIGTERM);
    if (!reap(pid, kStopTimeout)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

// Whether a server listens on the socket.
bool answers(const std::filesystem::path& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// A server that dies without quitting keeps its place among the few servers
// jackd lets one user run at once, until a server of the same name starts:
// one that starts and quits under the dead server's name frees the place,
// and with it the dead server's socket and shared memory. The semaphores it
// made for its clients, named after it, only go by hand.
void reclaim(const std::filesystem::path& jackd, const std::string& name) {
    const std::string semaphore = "jack_sem." + std::to_string(::getuid()) + "_" + name + "_";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(kServerDir, ec)) {
        if (entry.path().filename().string().starts_with(semaphore)) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t pid = spawn(jackd, name, JackSettings{}, "/dev/null");
        if (pid < 0) {
            return;
        }
        bool quit = false;
        while (!answers(socket_path(name)) && !quit &&
               std::chrono::steady_clock::now() < deadline) {
            quit = reap(pid, 0ms).has_value();
            std::this_thread::sleep_for(10ms);
        }
        if (!quit) {
            end(pid);
            return;
        }
        // The dead server's process had not quite ended yet.
        std::this_thread::sleep_for(50ms);
    }
}

// Whether the test process whose id a server's name holds is gone.
bool owner_gone(std::string_view name) {
    const auto owner = std::strtol(std::string(name.substr(6)).c_str(), nullptr, 10);
    return owner > 0 && ::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH;
}

// Reclaims the servers of test processes that ended without stopping them,
// as a crash does, and removes their clients' semaphores.
void sweep(const std::filesystem::path& jackd) {
    const std::string uid = std::to_string(::getuid());
    const std::string socket = "jack_qx375-";
    const std::string socket_end = "_" + uid + "_0";
    const std::string semaphore = "jack_sem." + uid + "_qx375-";
    std::vector<std::string> dead;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(kServerDir, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.starts_with(socket) && file.ends_with(socket_end)) {
            std::string name = file.substr(5, file.size() - 5 - socket_end.size());
            if (owner_gone(name)) {
                dead.push_back(std::move(name));
            }
        } else if (file.starts_with(semaphore) &&
                   owner_gone(std::string_view(file).substr(semaphore.size() - 6))) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
    for (const std::string& name : dead) {
        reclaim(jackd, name);
    }
}

} // namespace

JackServer::JackServer(JackSettings settings)
    : settings_(settings), jackd_(find_jackd()), name_(unique_name()) {
    if (jackd_.empty()) {
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
    sweep(jackd_);
    pid_ = spawn(jackd_, name_, settings_, dir_ / "jackd.log");
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
        if (const auto status = reap(pid_, 0ms)) {
            pid_ = -1;
            failure_ =
                "jackd exited with status " + std::to_string(*status) + ":\n" + tail(log(), 20);
            return false;
        }
        // A client tried before the server listens only prints errors.
        if (!answers(socket_path(name_))) {
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
    if (pid_ > 0 && reap(pid_, 0ms)) {
        pid_ = -1;
    }
    return pid_ > 0;
}

std::string JackServer::log() const {
    std::ifstream in(dir_ / "jackd.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void JackServer::stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    if (reap(pid_, kStopTimeout)) {
        pid_ = -1;
    } else {
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
    reclaim(jackd_, name_);
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
