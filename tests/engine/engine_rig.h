#pragma once

#include "engine/patern.h"
#include "support/fake_sound_system.h"
#include "support/print_file_status.h"
#include "support/wav_builder.h"

#include <string>

namespace qx375::test {

// The song model over sound channels that log every call. Run in a scratch
// directory that holds a small WAV file per sound, "s0.wav" .. "s15.wav".
struct EngineRig {
    TempDir dir;
    CurrentDir here{dir.path()};
    FakeLog log;
    FakeSystem system{log};
    RecordingNotifier notifier;
    DirectSound sound{system, notifier};
    matrice song{sound, notifier};

    EngineRig() {
        for (int k = 0; k < kSounds; ++k) {
            dir.write(sample(k), simple_wav(ramp(8)));
        }
    }

    static std::string sample(int k) { return "s" + std::to_string(k) + ".wav"; }

    // Gives sound k of an open sound output the buffer "b<k+1>".
    void assign_all_sounds() {
        for (int k = 0; k < kSounds; ++k) {
            song.set_sample_file(k, sample(k));
        }
        log.calls.clear();
        notifier.shown.clear();
    }

    void open_with_all_sounds() {
        song.open_sound(1);
        assign_all_sounds();
    }
};

} // namespace qx375::test
