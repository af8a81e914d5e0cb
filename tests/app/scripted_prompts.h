#pragma once

#include "app/prompts.h"
#include "support/fake_sound_system.h"

#include <QDialog>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qx375::test {

// Prompts that give the answers a test queued beforehand and remember what
// was asked. Messages go to the notifier the engine reports through, so a
// test reads every message in one list.
struct ScriptedPrompts : Prompts {
    explicit ScriptedPrompts(RecordingNotifier& messages) : messages(messages) {}

    void show_message(std::string_view text) override { messages.show_message(text); }

    Answer ask(std::string_view text, Question buttons) override {
        asked.emplace_back(text);
        questions.push_back(buttons);
        if (while_asking) {
            while_asking();
        }
        if (answers.empty()) {
            ADD_FAILURE() << "a question nobody expected: " << text;
            return Answer::cancel;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::optional<std::string> open_file(const FileDialog& dialog) override {
        return choose(dialog);
    }
    std::optional<std::string> save_file(const FileDialog& dialog) override {
        return choose(dialog);
    }

    int exec(QDialog& dialog) override {
        shown_dialogs.push_back(dialog.objectName().toStdString());
        return on_exec ? on_exec(dialog) : QDialog::Rejected;
    }

    void show_help(const std::string& path) override { help.push_back(path); }

    RecordingNotifier& messages;
    std::deque<Answer> answers;
    std::vector<std::string> asked;
    std::vector<Question> questions;
    // The names the file dialogs return, in turn; nothing means Cancel.
    std::deque<std::optional<std::string>> files;
    std::vector<FileDialog> file_dialogs;
    std::vector<std::string> shown_dialogs;
    std::function<int(QDialog&)> on_exec;
    // Runs while a question waits for its answer.
    std::function<void()> while_asking;
    std::vector<std::string> help;

private:
    std::optional<std::string> choose(const FileDialog& dialog) {
        file_dialogs.push_back(dialog);
        if (files.empty()) {
            return std::nullopt;
        }
        std::optional<std::string> name = files.front();
        files.pop_front();
        return name;
    }
};

} // namespace qx375::test
