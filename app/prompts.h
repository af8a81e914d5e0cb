#pragma once

#include "platform/notifier.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QDialog;

namespace qx375 {

// The buttons of a question box, and the one the user pressed.
enum class Question { ok_cancel, yes_no_cancel };
enum class Answer { ok, cancel, yes, no };

// An open or save file dialog as a command sets it up.
struct FileDialog {
    std::string filter{};         // as the list of types shows it, e.g. "*.drm"
    std::string patterns{};       // the names it lists, e.g. "*.drm *.DRM"
    std::string default_suffix{}; // added to a name typed without one; empty: none
    std::string initial_name{};   // the name it offers
    std::string title{};          // empty: the dialog's own
    std::string folder{};         // where it opens when the name offered has none
    // An open dialog takes a name of no file, which the command completes
    // (a song named without its extension); otherwise only existing files.
    bool completed_by_command = false;
    // Further types the list offers after the first, each as "text
    // (patterns)".
    std::vector<std::string> more_filters{};
};

// Everything that waits for the user: message boxes, questions, file
// dialogs, modal windows and the help viewer. The program shows the real
// ones; tests script the answers and read what was shown.
class Prompts : public Notifier {
public:
    virtual Answer ask(std::string_view text, Question buttons) = 0;
    // The name chosen, or nothing when the dialog was cancelled.
    virtual std::optional<std::string> open_file(const FileDialog& dialog) = 0;
    virtual std::optional<std::string> save_file(const FileDialog& dialog) = 0;
    // Shows a window modally and answers its result.
    virtual int exec(QDialog& dialog) = 0;
    // Opens the help file at its contents.
    virtual void show_help(const std::string& path) = 0;
};

} // namespace qx375
