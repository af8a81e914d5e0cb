#include "app/close_on_signal.h"
#include "app/qt_prompts.h"
#include "app/tmain.h"
#include "dialogs/about_box.h"
#include "platform/audio_output.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
    using namespace qx375;
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    QFont font;
    font.setFamilies({"MS Sans Serif", "Nimbus Sans", "DejaVu Sans"});
    // 11 pixels at 96 dpi, and in proportion on a desktop set to another DPI.
    font.setPointSizeF(8.25);
    QApplication::setFont(font);

    AudioOutput output;
    QtPrompts prompts;
    DirectSound sound(output, prompts);
    matrice song(sound, prompts);
    WaveRecorder recorder(output.capture(), AudioOutput::kRate);
    Tmain window(song, sound, output, recorder, prompts);
    TFormSetup setup(song, sound, prompts, window.setup_host(), &window);
    TAboutBox about(&window);
    TFormLangues langues(window.langues_host(), prompts, &window);
    window.attach(about, setup, langues);
    prompts.set_parent(&window);
    CloseOnSignal close_on_signal(window);
    window.show();
    return QApplication::exec();
}
