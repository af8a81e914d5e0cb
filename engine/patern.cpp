#include "engine/patern.h"

#include "util/error.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace qx375 {
namespace {

bool is_sound(int k) {
    return k >= 0 && k < kSounds;
}
bool is_track(int t) {
    return t >= 0 && t < kTracks;
}
bool is_step(int s) {
    return s >= 0 && s < kSteps;
}

} // namespace

bool is_pattern_size(std::int32_t size) {
    return std::find(kPatternSizes.begin(), kPatternSizes.end(), size) != kPatternSizes.end();
}

FileStatus sample_name_status(std::string_view name) {
    if (name.size() > kMaxNameLength) {
        return {FileFault::name_too_long, 0};
    }
    const bool control = std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
    return control ? FileStatus{FileFault::bad_name, 0} : FileStatus{};
}

matrice::matrice(DirectSound& sound, Notifier& notifier) : sound_(sound), notifier_(notifier) {
    for (int k = 0; k < kSounds; ++k) {
        sample_file[k] = kSoundSlots[k].song_file;
    }
    apply_choke_groups();
}

void matrice::open_sound(WindowHandle window) {
    sound_.open_device(window);
    for (int k = 0; k < kStartupSounds; ++k) {
        set_volume(k, 0);
        set_pan(k, 0);
        set_frequency(k, 0);
    }
    for (int i = 0; i < kEndMarker; ++i) {
        patterns[i].empty = 1;
    }
}

void matrice::clear_song() {
    for (pattern_record& p : patterns) {
        p = pattern_record{};
        p.tempo = 180;
        p.empty = 1;
    }
    song.fill(0);
}

void matrice::set_sample_file(int sound, std::string_view name) {
    assign_sample(sound, name);
}

bool matrice::assign_sample(int sound, std::string_view name) {
    if (!is_sound(sound)) {
        return false;
    }
    sample_file[sound] = std::string(name.substr(0, kMaxNameLength));
    const bool read = static_cast<bool>(sound_.load_wave(sample_file[sound], sound));
    sound_.make_buffer(sound);
    return read;
}

FileStatus matrice::replace_sample(int sound, std::string_view name, kept_sample* replaced) {
    if (!is_sound(sound)) {
        return {FileFault::other, EINVAL};
    }
    if (const FileStatus status = sample_name_status(name); !status) {
        return status;
    }
    sound_channel* channel = replaced != nullptr ? &replaced->channel : nullptr;
    if (const FileStatus status = sound_.replace_sample(name, sound, channel); !status) {
        return status;
    }
    std::string previous = std::exchange(sample_file[sound], std::string(name));
    if (replaced != nullptr) {
        replaced->name = std::move(previous);
    }
    apply_mix_to(sound);
    return {};
}

void matrice::swap_sample(int sound, kept_sample& other) {
    if (!is_sound(sound)) {
        return;
    }
    sound_.swap_sample(sound, other.channel);
    std::swap(sample_file[sound], other.name);
    apply_mix_to(sound);
}

FileStatus matrice::read_sample(int sound, std::string_view name, kept_sample& read) {
    return read_sample(sound, name, read, nullptr);
}

FileStatus matrice::read_sample(int sound, std::string_view name, kept_sample& read,
                                std::string* refusal) {
    if (!is_sound(sound)) {
        return {FileFault::other, EINVAL};
    }
    if (const FileStatus status = sample_name_status(name); !status) {
        return status;
    }
    if (const FileStatus status = sound_.replace_sample(name, sound, &read.channel, refusal);
        !status) {
        return status;
    }
    read.name = std::string(name);
    // The sound plays on what it played; the sample read is kept aside.
    sound_.swap_sample(sound, read.channel);
    apply_mix_to(sound);
    return {};
}

void matrice::read_samples(std::span<sample_reading> readings) {
    for (sample_reading& r : readings) {
        r.refusal.clear();
        r.status = read_sample(r.sound, r.name, r.read, &r.refusal);
    }
}

// A new buffer starts at full volume, centre and the sample's own rate.
void matrice::apply_mix_to(int sound) {
    set_volume(sound, get_volume(sound));
    set_pan(sound, get_pan(sound));
    set_frequency(sound, get_frequency(sound));
}

const std::string& matrice::get_sample_file(int sound) const {
    static const std::string none;
    return is_sound(sound) ? sample_file[sound] : none;
}

int matrice::advance(int count, std::uint64_t frame) {
    play_step(step, frame);
    step += count;
    if (count > 0 && step >= get_size()) {
        step = 0;
    }
    if (count < 0 && step < 0) {
        step = get_size() - 1;
    }
    return step;
}

void matrice::go_to_step(int to) {
    step = std::clamp(to, 0, std::max(get_size() - 1, 0));
}

void matrice::go_to_measure(int to) {
    measure = std::clamp(to, 0, kMeasures - 1);
}

int matrice::song_length() const {
    const auto end = std::find(song.begin() + 1, song.end(), kEndMarker);
    return static_cast<int>(end - song.begin()) - 1;
}

void matrice::next_measure() {
    if (measure < kMeasures - 1) {
        ++measure;
    }
}

void matrice::previous_measure() {
    if (measure > 0) {
        --measure;
    }
}

void matrice::rewind_song() {
    measure = in_song_mode() ? 1 : 0;
}

void matrice::enter_pattern_mode() {
    song_mode = 0;
    song[0] = song[measure];
    saved_measure = measure;
    measure = 0;
}

void matrice::enter_song_mode() {
    song_mode = 1;
    measure = saved_measure != 0 ? saved_measure : 1;
}

void matrice::set_song_entry(int pattern) {
    if (pattern >= 0 && pattern < kPatterns) {
        song[measure] = pattern;
    }
}

void matrice::set_song_entry(int at, int pattern) {
    if (at >= 0 && at < kMeasures && pattern >= 0 && pattern < kPatterns) {
        song[static_cast<std::size_t>(at)] = pattern;
    }
}

void matrice::take_pattern_slot() {
    song[measure] = song[0];
}

int matrice::set_size(int size) {
    // Steps index the 24 cells of a row, so no other length may get in.
    if (size >= 1 && size <= kSteps) {
        current().size = size;
    }
    return current().size;
}

bool matrice::mark_used() {
    current().empty = 0;
    return true;
}

bool matrice::has_cells() const {
    for (const auto& track : current().steps) {
        for (std::uint8_t cell : track) {
            if (cell != 0) {
                return true;
            }
        }
    }
    return false;
}

int matrice::get_cell(int track, int step_index) const {
    return is_track(track) && is_step(step_index) ? current().steps[track][step_index] : 0;
}

void matrice::set_cell(int track, int step_index, int value) {
    if (is_track(track) && is_step(step_index)) {
        current().steps[track][step_index] = static_cast<std::uint8_t>(value);
    }
}

void matrice::set_volume(int sound, int volume) {
    if (!is_sound(sound)) {
        return;
    }
    current().volume[sound] = volume;
    sound_.set_volume(sound, volume);
}

int matrice::get_volume(int sound) const {
    return is_sound(sound) ? current().volume[sound] : 0;
}

void matrice::set_pan(int sound, int pan) {
    if (!is_sound(sound)) {
        return;
    }
    const int clamped = std::clamp(pan, DSBPAN_LEFT, DSBPAN_RIGHT);
    const DsResult result = sound_.set_pan(sound, clamped);
    switch (result) {
    case DS_OK:
        current().pan[sound] = clamped;
        break;
    case DSERR_GENERIC:
        notifier_.show_message("DSERR_GENERIC");
        break;
    case DSERR_INVALIDPARAM:
        notifier_.show_message("DSERR_INVALIDPARAM");
        break;
    case DSERR_CONTROLUNAVAIL:
        notifier_.show_message("DSERR_CONTROLUNAVAIL");
        break;
    case DSERR_PRIOLEVELNEEDED:
        notifier_.show_message("DSERR_PRIOLEVELNEEDED");
        break;
    default:
        break;
    }
}

int matrice::get_pan(int sound) const {
    return is_sound(sound) ? current().pan[sound] : 0;
}

void matrice::set_frequency(int sound, int frequency) {
    if (!is_sound(sound)) {
        return;
    }
    sound_.set_frequency(sound, frequency);
    current().frequency[sound] = frequency;
}

int matrice::get_frequency(int sound) const {
    return is_sound(sound) ? current().frequency[sound] : 0;
}

void matrice::apply_mix() {
    for (int k = 0; k < kStartupSounds; ++k) {
        set_volume(k, current().volume[k]);
        set_pan(k, current().pan[k]);
        set_frequency(k, current().frequency[k]);
    }
}

} // namespace qx375
