#pragma once

#include <string_view>

namespace qx375 {

// Shows a plain message box with one OK button. The window layer provides the
// real one; tests record what would have been shown.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void show_message(std::string_view text) = 0;
};

} // namespace qx375
