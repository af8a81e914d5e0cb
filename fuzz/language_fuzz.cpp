// Every input is a language file, qx375.lng in the program directory of the
// real main window and sound setup dialog (headless). The window applies it,
// writes what it shows back into the file, and applies the file again, once
// over the texts it shows and once over its built-in texts:
//  - every text shown after either reading is the text shown after the
//    first, apart from the action button's hint, whose key the Action box's
//    caption shares and, coming later, fills when the file is written (and
//    only the texts in ASCII when the file's guessed encoding changed);
//  - a pattern box that showed the End button's caption shows the new
//    caption, and one that showed a number still shows it.
#include "app/program.h"
#include "app/unattended_prompts.h"
#include "fuzz/property.h"
#include "fuzz/scratch_dir.h"
#include "util/encoding.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qx375::fuzz {
namespace {

// What the harness gives the program: a scratch program directory, prompts
// nobody answers and an output that never plays.
struct Seams {
    ScratchDir scratch;
    UnattendedPrompts console;
    AudioOutput output{AudioBackendKind::manual};
};

// The program's objects, as main() builds them, over those.
struct Machine : Seams, Program {
    Machine() : Program(output, console) {
        // The program directory is the current one when the window starts;
        // libFuzzer names its inputs relative to the one it was started in.
        const std::filesystem::path here = std::filesystem::current_path();
        std::filesystem::current_path(scratch.path());
        window.FormActivate();
        std::filesystem::current_path(here);
        window.write_language_file();
        built_in = contents();
    }

    std::string file() const { return scratch.file("qx375.lng"); }
    std::string contents() const {
        std::ifstream in(file(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void apply(const std::string& text) {
        scratch.write(file(), {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
        window.read_language_file();
    }

    std::string built_in; // the language file of the built-in texts
};

struct Text {
    QObject* object;
    const char* what;
    QString text;
};

void add(std::vector<Text>& texts, QObject* object) {
    if (auto* widget = qobject_cast<QWidget*>(object)) {
        texts.push_back({object, "hint", widget->toolTip()});
        if (widget->isWindow()) {
            texts.push_back({object, "title", widget->windowTitle()});
        }
    }
    if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        texts.push_back({object, "caption", button->text()});
    } else if (auto* label = qobject_cast<QLabel*>(object)) {
        texts.push_back({object, "caption", label->text()});
    } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
        texts.push_back({object, "caption", group->title()});
    } else if (auto* edit = qobject_cast<QLineEdit*>(object)) {
        texts.push_back({object, "text", edit->text()});
    } else if (auto* menu = qobject_cast<QMenu*>(object)) {
        texts.push_back({object, "caption", menu->title()});
    } else if (auto* action = qobject_cast<QAction*>(object)) {
        texts.push_back({object, "caption", action->text()});
    }
}

// Every text both windows show, and the messages the language file sets.
std::vector<Text> shown(Machine& m) {
    std::vector<Text> texts;
    for (QWidget* window : {static_cast<QWidget*>(&m.window), static_cast<QWidget*>(&m.setup)}) {
        add(texts, window);
        for (QObject* child : window->findChildren<QObject*>()) {
            add(texts, child);
        }
    }
    for (const std::string* message :
         {&m.window.save_changes_text, &m.window.replace_file_text, &m.window.load_failure_text}) {
        texts.push_back({nullptr, "message", QString::fromStdString(*message)});
    }
    return texts;
}

// How a file reads: UTF-8, or Windows-1252 when it is not valid UTF-8.
bool windows1252(std::string_view bytes) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (bytes.starts_with(kByteOrderMark)) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    return !is_utf8(bytes);
}

bool ascii(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// The encoding of a file is guessed anew from its bytes: a Windows-1252 file
// whose characters beyond ASCII all lay in the lines rewritten, and whose
// other bytes beyond ASCII happen to form UTF-8, reads as UTF-8 afterwards.
// Its bytes are kept, but they spell other text; then only the texts in ASCII
// must read as before.
void check_same(const std::vector<Text>& first, const std::vector<Text>& again,
                const QObject* shared_hint, bool same_encoding, const char* what) {
    check(first.size() == again.size(), what);
    for (std::size_t i = 0; i < first.size(); ++i) {
        if ((first[i].object == shared_hint && std::string_view(first[i].what) == "hint") ||
            (!same_encoding && !ascii(first[i].text))) {
            continue;
        }
        if (first[i].text != again[i].text) {
            std::fprintf(stderr, "%s %s of %s: \"%s\", then \"%s\"\n", what, first[i].what,
                         first[i].object ? qPrintable(first[i].object->objectName()) : "window",
                         qPrintable(first[i].text), qPrintable(again[i].text));
            fail(what);
        }
    }
}

Machine& machine() {
    static int argc = 1;
    static char name[] = "language_fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    static Machine m;
    return m;
}

} // namespace
} // namespace qx375::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qx375::fuzz::machine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx375;
    using namespace qx375::fuzz;
    Machine& m = machine();
    m.apply(m.built_in);
    auto* box = m.window.findChild<QLineEdit*>("EditNumPattern");
    auto* end = m.window.findChild<QPushButton*>("ButtonEndSong");
    // Half the inputs find the End marker in the pattern box.
    if (size % 2 == 1) {
        end->click();
    } else {
        m.window.SpeedButtonBeginSongClick();
    }
    const bool end_shown = box->text() == end->text();
    const QString number = box->text();

    const std::string input(reinterpret_cast<const char*>(data), size);
    m.apply(input);
    check(end_shown ? box->text() == end->text() : box->text() == number,
          "the pattern box shows the End button's caption exactly when it did");
    const std::vector<Text> first = shown(m);
    const QObject* shared_hint = m.window.findChild<QObject*>("BitBtnAction");

    m.window.write_language_file();
    const std::string written = m.contents();
    const bool same_encoding = windows1252(input) == windows1252(written);
    m.window.read_language_file();
    check_same(first, shown(m), shared_hint, same_encoding, "the file written reads back as shown");

    m.apply(m.built_in);
    m.apply(written);
    check_same(first, shown(m), shared_hint, same_encoding,
               "the file written holds every text shown");
    return 0;
}
