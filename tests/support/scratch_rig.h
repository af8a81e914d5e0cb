#pragma once

#include "engine/patern.h"
#include "support/fake_sound_system.h"
#include "support/print_file_status.h"
#include "support/wav_builder.h"

#include <string>

namespace qx375::test {

// A scratch directory, current while the rig lives, that holds a small WAV
// file per sound, "s0.wav" .. "s15.wav"; and a sound system whose every call
// is logged, for the sound channels a rig makes on it.
struct ScratchRig {
    TempDir dir;
    CurrentDir here{dir.path()};
    FakeLog log;
    FakeSystem system{log};
    RecordingNotifier notifier;

    ScratchRig() {
        for (int k = 0; k < kSounds; ++k) {
            dir.write(sample(k), simple_wav(ramp(8)));
        }
    }

    static std::string sample(int k) { return "s" + std::to_string(k) + ".wav"; }

    // Gives sound k of an open sound output the buffer "b<k+1>".
    void assign_all_sounds(matrice& song) {
        for (int k = 0; k < kSounds; ++k) {
            song.set_sample_file(k, sample(k));
        }
        log.calls.clear();
        notifier.shown.clear();
    }
};

} // namespace qx375::test
