#include "app/tmain.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace qx375 {
namespace {

// What a file dropped on the window is to the program.
enum class Dropped { nothing, song, sample, kit };

std::string lower_extension(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

Dropped dropped_kind(const std::filesystem::path& file) {
    const std::string extension = lower_extension(file);
    std::error_code error;
    if (std::filesystem::is_directory(file, error) || file.filename() == "drumkit.xml" ||
        extension == ".h2drumkit" || extension == ".sfz" || extension == ".tgz" ||
        extension == ".tar" || file.filename().string().ends_with(".tar.gz")) {
        return Dropped::kit;
    }
    if (extension == ".drm") {
        return Dropped::song;
    }
    if (extension == ".wav" || extension == ".flac" || extension == ".ogg" || extension == ".oga" ||
        extension == ".aif" || extension == ".aiff") {
        return Dropped::sample;
    }
    return Dropped::nothing;
}

// The one local file a drag brings; several files or none are not taken,
// since it would not be clear which one the user meant.
std::optional<std::filesystem::path> dropped_file(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile()) {
        return std::nullopt;
    }
    return std::filesystem::path(data->urls().front().toLocalFile().toStdString());
}

} // namespace

// The sound whose row lies under a point of the window: from its sample
// button across the grid; -1 for none.
int Tmain::sound_at(QPoint at) const {
    for (int k = 0; k < kSounds; ++k) {
        const QPushButton* button = sample_buttons[static_cast<std::size_t>(k)];
        const QPoint top_left = button->mapTo(this, QPoint(0, 0));
        if (at.x() >= top_left.x() && at.y() >= top_left.y() &&
            at.y() < top_left.y() + button->height()) {
            return k;
        }
    }
    return -1;
}

void Tmain::dragEnterEvent(QDragEnterEvent* event) {
    const std::optional<std::filesystem::path> file = dropped_file(event->mimeData());
    if (file && dropped_kind(*file) != Dropped::nothing) {
        event->acceptProposedAction();
    }
}

// A song dropped opens as the Open command does, its question included; a
// sample dropped on a sound's row is that sound's new sample; a kit, a
// folder or an archive, opens the kit dialog.
void Tmain::dropEvent(QDropEvent* event) {
    const std::optional<std::filesystem::path> file = dropped_file(event->mimeData());
    if (!file) {
        return;
    }
    const int sound = sound_at(event->position().toPoint());
    const Dropped kind = dropped_kind(*file);
    if (kind == Dropped::nothing || (kind == Dropped::sample && sound < 0)) {
        return;
    }
    event->acceptProposedAction();
    guarded([&] {
        if (kind == Dropped::song) {
            if (may_replace_song()) {
                open_song(file->string());
            }
        } else if (kind == Dropped::kit) {
            open_kit(file->string());
        } else if (take_sample(sound, file->string())) {
            song_.mark_used();
            modified = true;
        }
    });
}

} // namespace qx375
