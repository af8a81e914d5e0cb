#include "app/tmain.h"

#include <QSlider>

namespace qx375 {
namespace {

const FileDialog kSoundDialog{"*.wav", "*.wav *.WAV", "wav", ""};

} // namespace

// The sample file dialog, offering the name it held last.
std::optional<std::string> Tmain::choose_sound_file() {
    FileDialog dialog = kSoundDialog;
    dialog.initial_name = sound_file_name_;
    const std::optional<std::string> chosen = prompts_.open_file(dialog);
    if (chosen) {
        sound_file_name_ = *chosen;
    }
    return chosen;
}

// A sample file for the sound of a row. A file that cannot be read, or that
// the sound device will not play, changes nothing: the sound keeps playing
// what it played, and the song never names a sample nobody heard.
void Tmain::takesound_at_chanel(int sound) {
    sound_file_name_ = song_.get_sample_file(sound);
    const std::optional<std::string> chosen = choose_sound_file();
    if (!chosen) {
        return;
    }
    if (!song_.replace_sample(sound, *chosen)) {
        prompts_.show_message("Cannot use the sound file \"" + *chosen +
                              "\": it cannot be read or is not a WAV file the sound device "
                              "can play.");
        return;
    }
    song_.mark_used();
    modified = true;
}

void Tmain::MixButtonClick(int sound) {
    if (FormSetup != nullptr) {
        FormSetup->set_sound_index(sound);
        prompts_.exec(*FormSetup);
    }
}

void Tmain::ButtonF1ContextPopup() {
    prompts_.show_message("pas maintenant ;-)");
}

// The top of the slider is full volume; both sides get the same level.
void Tmain::TrackBarVolumeChange() {
    const auto level = static_cast<std::uint32_t>(65535 - TrackBarVolume->value());
    output_.set_volume(level | level << 16);
}

} // namespace qx375
