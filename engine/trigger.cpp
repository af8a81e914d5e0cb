#include "engine/patern.h"
#include "util/error.h"

#include <string>

namespace qx375 {

// Sounds of one instrument, as the closed and the open hi-hat are: either one
// silences the others before it sounds, which the output does as it starts
// the hit.
void matrice::apply_choke_groups() {
    for (int k = 0; k < kSounds; ++k) {
        sound_.set_choke_group(k, kSoundSlots[k].choke_group);
    }
}

void matrice::play_step(int step_index, std::uint64_t frame) {
    if (step_index < 0 || step_index >= kSteps) {
        return;
    }
    const pattern_record& p = current();
    for (int k = 0; k < kSounds; ++k) {
        if (p.steps[k][step_index] != 1) {
            continue;
        }
        if (sound_.start(k, frame, true) != DS_OK) {
            throw Error("Erreur sur Play canal " + std::to_string(k));
        }
    }
}

// An audition plays on from where the sound was stopped.
void matrice::play_sound(int sound) {
    if (sound < 0 || sound >= kSounds) {
        return;
    }
    if (sound_.start(sound, 0, false) != DS_OK) {
        throw Error("Erreur sur Play");
    }
}

} // namespace qx375
