#include "app/tmain.h"

#include <QPushButton>
#include <QSlider>

namespace qx375 {
namespace {

// WAV files first, as the dialog always listed them; the compressed formats
// the sound layer decodes after.
const FileDialog kSoundDialog{
    .filter = "*.wav",
    .patterns = "*.wav *.WAV",
    .default_suffix = "wav",
    .more_filters = {
        "*.wav *.flac *.ogg *.aiff (*.wav *.WAV *.flac *.FLAC *.ogg *.OGG *.oga *.aif *.aiff "
        "*.AIF *.AIFF)"}};

} // namespace

// The sample file dialog, offering the name it held last, and the file
// chosen for the sound. A file that cannot be read, that the sound device
// will not play or whose name a song cannot keep changes nothing: the sound
// keeps playing what it played, the song never names a sample nobody heard,
// and the user is told why.
bool Tmain::choose_sample(int sound) {
    FileDialog dialog = kSoundDialog;
    dialog.title = texts[Msg::sound_title];
    dialog.initial_name = sound_file_name_;
    const std::optional<std::string> chosen = prompts_.open_file(dialog);
    if (!chosen) {
        return false;
    }
    sound_file_name_ = *chosen;
    return take_sample(sound, *chosen);
}

// The file for the sound, as one change, or the reason it is not taken.
bool Tmain::take_sample(int sound, const std::string& file) {
    kept_sample read;
    if (const FileStatus status = song_.read_sample(sound, file, read); !status) {
        prompts_.show_message(texts.failure(texts[Msg::sound_failed], file, status));
        return false;
    }
    record(std::make_unique<SampleCommand>(edit(), place(), sound, std::move(read)));
    return true;
}

// A sample file for the sound of a row, the dialog offering the one it
// plays.
void Tmain::takesound_at_chanel(int sound) {
    sound_file_name_ = song_.get_sample_file(sound);
    if (choose_sample(sound)) {
        song_.mark_used();
        modified = true;
    }
}

// The sound as its row names it.
QString Tmain::SetupLink::sound_name(int sound) const {
    return window_.sample_buttons[static_cast<std::size_t>(sound)]->text();
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
