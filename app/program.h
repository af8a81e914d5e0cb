#pragma once

#include "app/tmain.h"
#include "dialogs/about_box.h"
#include "dialogs/help_viewer.h"

#include <functional>

namespace qx375 {

// The program's objects, built in the order they need one another and
// attached to the main window: the sound channels, the song model, the
// recorder of the output's mix, the main window, its dialogs and its help
// window. Whoever
// builds it gives the output it plays through and the prompts that answer
// for the user; the sound channels are made on `system`, the output itself
// unless a test gives a system of its own.
class Program {
public:
    Program(AudioOutput& output, Prompts& prompts);
    Program(AudioOutput& output, Prompts& prompts, SoundSystem& system);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DirectSound sound;
    matrice song;
    WaveRecorder recorder;
    Tmain window;
    TFormSetup setup;
    TAboutBox about;
    TFormLangues langues;
    HelpViewer help;
};

// The style, font and icon the program's windows are drawn with; the
// application must exist.
void use_program_look();

// The whole program: builds its objects, shows the main window and runs
// until it closes. `ready` runs once the window is shown and its first
// activation has set it up (a benchmark's hook).
int run_program(int argc, char** argv, const std::function<void(Tmain&)>& ready = {});

} // namespace qx375
