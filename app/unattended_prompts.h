#pragma once

#include "app/prompts.h"

#include <string>
#include <vector>

namespace qx375 {

// Prompts for the window when nobody is there to answer (the offline
// renderer, benchmarks): messages are kept for whoever runs it, the save
// question gets No, other questions and every dialog are cancelled.
class UnattendedPrompts : public Prompts {
public:
    void show_message(std::string_view text) override { messages.emplace_back(text); }
    Answer ask(std::string_view, Question buttons) override {
        return buttons == Question::yes_no_cancel ? Answer::no : Answer::cancel;
    }
    std::optional<std::string> open_file(const FileDialog&) override { return std::nullopt; }
    std::optional<std::string> save_file(const FileDialog&) override { return std::nullopt; }
    int exec(QDialog&) override { return 0; }
    void show_help(const std::string&) override {}

    std::vector<std::string> messages;
};

} // namespace qx375
