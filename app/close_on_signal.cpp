#include "app/close_on_signal.h"

#include "app/tmain.h"

#include <QCoreApplication>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace qx375 {
namespace {

constexpr std::array kSignals = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can reach nothing but this.
int wake_fds[2] = {-1, -1};

void on_signal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_fds[1], &byte, 1);
    errno = saved;
}

void handle_signals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace

CloseOnSignal::CloseOnSignal(Tmain& window) {
    if (::pipe2(wake_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // the signals keep their default: they end the program
    }
    notifier_ = std::make_unique<QSocketNotifier>(wake_fds[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &window, [&window] {
        char bytes[16];
        while (::read(wake_fds[0], bytes, sizeof bytes) > 0) {
        }
        if (window.closing()) {
            window.stop_now();
            QCoreApplication::exit(kStoppedStatus);
            return;
        }
        // A modal dialog open over the window would keep the program
        // running once the window has closed.
        if (window.close_on_signal()) {
            QCoreApplication::quit();
        }
    });
    handle_signals(on_signal);
}

CloseOnSignal::~CloseOnSignal() {
    if (!notifier_) {
        return;
    }
    handle_signals(SIG_DFL);
    notifier_.reset();
    ::close(wake_fds[0]);
    ::close(wake_fds[1]);
    wake_fds[0] = wake_fds[1] = -1;
}

} // namespace qx375
