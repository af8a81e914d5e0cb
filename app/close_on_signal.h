#pragma once

#include <QSocketNotifier>

#include <memory>

class QWidget;

namespace qx375 {

// Ctrl+C, kill and a closed terminal (SIGINT, SIGTERM, SIGHUP) ask the window
// to close, the same way its close box does, so that nothing is lost without
// the usual question. The signal handler only writes a byte into a pipe; the
// GUI thread reads it and closes the window.
class CloseOnSignal {
public:
    explicit CloseOnSignal(QWidget& window);
    ~CloseOnSignal();
    CloseOnSignal(const CloseOnSignal&) = delete;
    CloseOnSignal& operator=(const CloseOnSignal&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace qx375
