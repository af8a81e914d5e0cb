#pragma once

#include <QSocketNotifier>

#include <memory>

namespace qx375 {

class Tmain;

// Ctrl+C, kill and a closed terminal (SIGINT, SIGTERM, SIGHUP) ask the window
// to close, the same way its close box does, so that nothing is lost without
// the usual question. Another signal while that question waits for its
// answer stops the program, its unsaved changes kept for the next start.
// The signal handler only writes a byte into a pipe; the GUI thread reads it
// and closes the window.
class CloseOnSignal {
public:
    // What the program ends with when it is stopped before an answer.
    static constexpr int kStoppedStatus = 1;

    explicit CloseOnSignal(Tmain& window);
    ~CloseOnSignal();
    CloseOnSignal(const CloseOnSignal&) = delete;
    CloseOnSignal& operator=(const CloseOnSignal&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace qx375
