#include "app/program.h"

#include "app/close_on_signal.h"
#include "app/qt_prompts.h"

#include <QApplication>
#include <QFont>
#include <QTimer>

namespace qx375 {

Program::Program(AudioOutput& output, Prompts& prompts) : Program(output, prompts, output) {}

Program::Program(AudioOutput& output, Prompts& prompts, SoundSystem& system)
    : sound(system, prompts), song(sound, prompts), recorder(output.capture(), output.rate()),
      window(song, sound, output, recorder, prompts),
      setup(song, sound, prompts, window.setup_host(), &window), about(&window),
      langues(window.langues_host(), prompts, &window) {
    window.attach(about, setup, langues);
}

int run_program(int argc, char** argv, const std::function<void(Tmain&)>& ready) {
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    QFont font;
    font.setFamilies({"MS Sans Serif", "Nimbus Sans", "DejaVu Sans"});
    // 11 pixels at 96 dpi, and in proportion on a desktop set to another DPI.
    font.setPointSizeF(8.25);
    QApplication::setFont(font);

    AudioOutput output;
    QtPrompts prompts;
    Program program(output, prompts);
    Tmain& window = program.window;
    prompts.set_parent(&window);
    CloseOnSignal close_on_signal(window);
    window.show();
    if (ready) {
        // After the first activation, which being shown has just queued.
        QTimer::singleShot(0, &window, [&] { ready(window); });
    }
    return QApplication::exec();
}

} // namespace qx375
