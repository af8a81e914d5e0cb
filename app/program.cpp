#include "app/program.h"

#include "app/close_on_signal.h"
#include "app/qt_prompts.h"
#include "display/group_box_style.h"
#include "display/program_icon.h"
#include "util/file_lookup.h"
#include "util/ini_file.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QStyleFactory>
#include <QTimer>

namespace qx375 {

Program::Program(AudioOutput& output, Prompts& prompts) : Program(output, prompts, output) {}

Program::Program(AudioOutput& output, Prompts& prompts, SoundSystem& system)
    : sound(system, prompts), song(sound, prompts), recorder(output.capture(), output.rate()),
      window(song, sound, output, recorder, prompts),
      setup(song, sound, prompts, window.setup_host(), &window), about(&window),
      langues(window.langues_host(), prompts, &window), help(&window) {
    window.attach(about, setup, langues);
}

namespace {

QtMessageHandler qt_messages = nullptr;

// Qt says on the terminal each time it draws a script that needs OpenType
// features (Devanagari in a file's name, say) in a font that has none, as no
// installed font may; it then draws what it can. That warning tells the
// user nothing and floods the terminal; every other message goes on.
void quiet_font_fallback(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
    if (type == QtWarningMsg && message.contains("OpenType support missing for")) {
        return;
    }
    qt_messages(type, context, message);
}

} // namespace

void use_program_look() {
    QApplication::setStyle(new GroupBoxStyle(QStyleFactory::create("Fusion")));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(program_icon(256))));
    QFont font;
    font.setFamilies({"MS Sans Serif", "Nimbus Sans", "DejaVu Sans"});
    // 11 pixels at 96 dpi, and in proportion on a desktop set to another DPI.
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
}

int run_program(int argc, char** argv, const std::function<void(Tmain&)>& ready) {
    qt_messages = qInstallMessageHandler(quiet_font_fallback);
    QApplication app(argc, argv);
    use_program_look();

    // The settings of the program directory, where the program starts, say
    // which output to play on.
    const std::string folder = QDir::currentPath().toStdString();
    const IniFile settings(find_file(folder + "/qx375.ini", folder));
    AudioOutput output(output_setting(settings.read_string("sound", "output", "auto")));
    QtPrompts prompts;
    Program program(output, prompts);
    Tmain& window = program.window;
    prompts.set_parent(&window, program.help, window.texts);
    CloseOnSignal close_on_signal(window);
    window.show();
    if (ready) {
        // After the first activation, which being shown has just queued.
        QTimer::singleShot(0, &window, [&] { ready(window); });
    }
    return QApplication::exec();
}

} // namespace qx375
