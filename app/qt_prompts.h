#pragma once

#include "app/prompts.h"
#include "app/texts.h"

class QWidget;

namespace qx375 {

class HelpViewer;

// The program's prompts: Qt's message boxes and its own file dialogs, over
// the main window.
class QtPrompts : public Prompts {
public:
    // The message boxes go over the window; the help opens in its viewer,
    // and says in the window's language when it cannot.
    void set_parent(QWidget* parent, HelpViewer& help, const Texts& texts) {
        parent_ = parent;
        help_ = &help;
        texts_ = &texts;
    }

    void show_message(std::string_view text) override;
    Answer ask(std::string_view text, Question buttons) override;
    std::optional<std::string> open_file(const FileDialog& dialog) override;
    std::optional<std::string> save_file(const FileDialog& dialog) override;
    int exec(QDialog& dialog) override;
    void show_help(const std::string& path) override;

private:
    std::optional<std::string> choose_file(const FileDialog& dialog, bool saving);

    QWidget* parent_ = nullptr;
    HelpViewer* help_ = nullptr;
    const Texts* texts_ = nullptr;
};

} // namespace qx375
