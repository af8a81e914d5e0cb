#pragma once

#include "app/prompts.h"

#include <memory>

class QWidget;

namespace qx375 {

class HelpViewer;

// The program's prompts: Qt's message boxes and its own file dialogs, over
// the main window.
class QtPrompts : public Prompts {
public:
    QtPrompts();
    ~QtPrompts() override;

    void set_parent(QWidget* parent) { parent_ = parent; }

    void show_message(std::string_view text) override;
    Answer ask(std::string_view text, Question buttons) override;
    std::optional<std::string> open_file(const FileDialog& dialog) override;
    std::optional<std::string> save_file(const FileDialog& dialog) override;
    int exec(QDialog& dialog) override;
    void show_help(const std::string& path) override;

private:
    std::optional<std::string> choose_file(const FileDialog& dialog, bool saving);

    QWidget* parent_ = nullptr;
    std::unique_ptr<HelpViewer> help_;
};

} // namespace qx375
