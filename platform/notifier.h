#pragma once

#include <exception>
#include <string_view>

namespace qx375 {

// Shows a plain message box with one OK button. The window layer provides the
// real one; tests record what would have been shown.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void show_message(std::string_view text) = 0;
};

// Runs a handler entered from the event loop: an error it raises ends it and
// is shown in a message box; nothing escapes into the window toolkit.
template <typename Handler>
void run_guarded(Notifier& notifier, Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        notifier.show_message(e.what());
    }
}

} // namespace qx375
