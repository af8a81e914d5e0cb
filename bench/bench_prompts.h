#pragma once

// Prompts for the benchmarks that drive the main window: messages are
// printed, the save question answered No, other questions and dialogs
// cancelled.

#include "app/prompts.h"

#include <cstdio>

namespace qx375::bench {

class CancellingPrompts : public Prompts {
public:
    explicit CancellingPrompts(bool print = false) : print_(print) {}

    void show_message(std::string_view text) override {
        if (print_) {
            std::printf("message: %.*s\n", static_cast<int>(text.size()), text.data());
        }
    }
    Answer ask(std::string_view, Question buttons) override {
        return buttons == Question::yes_no_cancel ? Answer::no : Answer::cancel;
    }
    std::optional<std::string> open_file(const FileDialog&) override { return std::nullopt; }
    std::optional<std::string> save_file(const FileDialog&) override { return std::nullopt; }
    int exec(QDialog&) override { return 0; }
    void show_help(const std::string&) override {}

private:
    bool print_;
};

} // namespace qx375::bench
