#pragma once

#include "platform/notifier.h"

class QWidget;

namespace qx375 {

// Plain message boxes with one OK button, over the main window.
class MessageBoxes : public Notifier {
public:
    void set_parent(QWidget* parent) { parent_ = parent; }
    void show_message(std::string_view text) override;

private:
    QWidget* parent_ = nullptr;
};

} // namespace qx375
