#include "engine/patern.h"

namespace qx375 {

void matrice::copy_pattern() {
    clipboard = current();
    clipboard_full = 1;
}

void matrice::paste_pattern() {
    if (clipboard_full == 0) {
        notifier_.show_message("Nothing to paste");
        return;
    }
    current() = clipboard;
}

void matrice::clear_pattern() {
    for (auto& track : current().steps) {
        track.fill(0);
    }
}

void matrice::copy_from(int pattern) {
    if (pattern < 0 || pattern >= kPatterns) {
        return;
    }
    current() = patterns[pattern];
    clear_pattern();
}

} // namespace qx375
