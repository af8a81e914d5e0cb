#pragma once

// A JACK server of the test's own: jackd on its dummy driver, which needs no
// sound card and no privilege, under a name no other server has, so that the
// test neither meets the user's server nor leaves one behind.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <sys/types.h>

namespace qx375::test {

struct JackSettings {
    std::uint32_t period = 256; // frames per cycle
    std::uint32_t rate = 48000;
    bool realtime = false; // as a musician runs it; a container may refuse it
};

inline void PrintTo(const JackSettings& settings, std::ostream* out) {
    *out << settings.period << " frames at " << settings.rate << " Hz";
}

class JackServer {
public:
    // Starts the server and waits, up to five seconds, until a client can
    // connect to it; failure() tells why it did not.
    explicit JackServer(JackSettings settings = {});
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    const std::string& name() const { return name_; }
    const JackSettings& settings() const { return settings_; }
    // Whether the server process still lives.
    bool running();
    // Empty once the server answers a client; otherwise what went wrong, with
    // the end of the server's log.
    const std::string& failure() const { return failure_; }
    // What the server printed so far.
    std::string log() const;

    // Asks the server to quit, as a user would, and kills it if it does not
    // within a few seconds.
    void stop();
    // Kills the server at once, as a crash would, then clears what it left
    // behind.
    void kill_now();

    // Why no JACK server can run on this machine, or empty when one can.
    static std::string unavailable();

private:
    bool wait_until_ready();

    JackSettings settings_;
    std::filesystem::path jackd_;
    std::string name_;
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::string failure_;
};

// Sets an environment variable for the life of the object, or removes it when
// `value` is empty, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Points every client this process opens without naming a server, as the
// program does, at `server`, and keeps such clients from starting a server
// of their own when it is gone.
class DefaultJackServer {
public:
    explicit DefaultJackServer(const JackServer& server)
        : server_("JACK_DEFAULT_SERVER", server.name()), no_start_("JACK_NO_START_SERVER", "1") {}

private:
    ScopedEnv server_;
    ScopedEnv no_start_;
};

} // namespace qx375::test
