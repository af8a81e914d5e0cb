#pragma once

#include "support/scratch_rig.h"

namespace qx375::test {

// The song model over sound channels that log every call, in a scratch
// directory with a sample per sound.
struct EngineRig : ScratchRig {
    DirectSound sound{system, notifier};
    matrice song{sound, notifier};

    // Gives sound k of an open sound output the buffer "b<k+1>".
    void assign_all_sounds() { ScratchRig::assign_all_sounds(song); }

    void open_with_all_sounds() {
        song.open_sound(1);
        assign_all_sounds();
    }
};

} // namespace qx375::test
