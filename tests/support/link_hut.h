#pragma once

// LinkHut, Link's own example peer, as a second process in the test's
// network: keys go to its standard input as a user would type them, and its
// status line, which it rewrites many times a second, is read back from the
// file its output goes to. It plays through JACK, so it needs a server: the
// caller points the process at one (DefaultJackServer) before starting it.

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace qx375::test {

struct HutStatus {
    bool enabled = false;
    int peers = 0;
    double tempo = 0;
    double beats = 0;
};

class LinkHut {
public:
    static constexpr const char* kPath = "/usr/bin/LinkHut";

    // Starts LinkHut; running() tells whether it did.
    LinkHut();
    // Quits it as a user would, and kills it if it does not go in a few seconds.
    ~LinkHut();
    LinkHut(const LinkHut&) = delete;
    LinkHut& operator=(const LinkHut&) = delete;

    bool running();
    // One key: 'a' turns Link on or off, 'e' and 'w' raise and lower the tempo
    // by one BPM, 'q' quits.
    void press(char key);
    // Its last complete status line, if it printed one yet.
    std::optional<HutStatus> status() const;
    // Quits and waits for it to go; whether it went by itself.
    bool quit();

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    int keys_ = -1;
};

} // namespace qx375::test
