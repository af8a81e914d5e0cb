#include "engine/patern.h"
#include "util/error.h"

#include <string>

namespace qx375 {

void matrice::play_step(int step_index) {
    if (step_index < 0 || step_index >= kSteps) {
        return;
    }
    const pattern_record& p = current();
    for (int k = 0; k < kSounds; ++k) {
        if (p.steps[k][step_index] != 1) {
            continue;
        }
        // The closed and the open hi-hat are one instrument: either one
        // silences both before it sounds.
        if (k == 0 || k == 1) {
            sound_.stop(0);
            sound_.rewind(0);
            sound_.stop(1);
            sound_.rewind(1);
        } else {
            sound_.stop(k);
            sound_.rewind(k);
        }
        if (sound_.play(k) != DS_OK) {
            throw Error("Erreur sur Play canal " + std::to_string(k));
        }
    }
}

void matrice::play_sound(int sound) {
    if (sound < 0 || sound >= kSounds) {
        return;
    }
    sound_.stop(sound);
    if (sound_.play(sound) != DS_OK) {
        throw Error("Erreur sur Play");
    }
}

} // namespace qx375
