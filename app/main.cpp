#include "app/close_on_signal.h"
#include "app/message_boxes.h"
#include "app/tmain.h"
#include "platform/audio_output.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
    using namespace qx375;
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    QFont font;
    font.setFamilies({"MS Sans Serif", "Nimbus Sans", "DejaVu Sans"});
    font.setPixelSize(11);
    QApplication::setFont(font);

    AudioOutput output;
    MessageBoxes message_boxes;
    DirectSound sound(output, message_boxes);
    matrice song(sound, message_boxes);
    Tmain window(song, sound, output, message_boxes);
    message_boxes.set_parent(&window);
    CloseOnSignal close_on_signal(window);
    window.show();
    return QApplication::exec();
}
