#pragma once

#include "platform/notifier.h"
#include "sound/direct_sound.h"
#include "util/file_status.h"
#include "util/sound_slots.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx375 {

inline constexpr int kTracks = 32; // tracks 0..15 are the sounds; 16..31 are only kept
inline constexpr int kSteps = 24;
inline constexpr int kPatterns = 256;
inline constexpr int kMeasures = 256;
inline constexpr int kEndMarker = 255;
inline constexpr std::size_t kMaxNameLength = 255;

struct pattern_record {
    std::int32_t tempo = 120;
    std::int32_t size = 24;
    std::uint8_t empty = 0;
    std::array<std::int32_t, kTracks> volume{};
    std::array<std::int32_t, kTracks> pan{};
    std::array<std::int32_t, kTracks> frequency{};
    std::array<std::array<std::uint8_t, kSteps>, kTracks> steps{};

    bool operator==(const pattern_record&) const = default;
};

inline constexpr std::array<std::int32_t, 6> kPatternSizes = {14, 15, 16, 20, 21, 24};

bool is_pattern_size(std::int32_t size);

// Whether a sample name can be kept, saved and read back from a song file:
// name_too_long beyond kMaxNameLength bytes, bad_name when it holds a control
// character. The bytes are taken as they are, whatever their encoding.
FileStatus sample_name_status(std::string_view name);

// A sound's sample taken out of the song whole, name, file image and
// buffer, so that it can be put back without reading or copying anything.
struct kept_sample {
    std::string name;
    sound_channel channel;
};

// One sample of several chosen at once, as a drum kit gives them: the sound,
// the file, and once read, the sample or why it could not be.
struct sample_reading {
    sample_reading() = default;
    sample_reading(int sound, std::string name) : sound(sound), name(std::move(name)) {}

    int sound = 0;
    std::string name;
    kept_sample read;
    FileStatus status;
    // The sound device's own reason when it refused the sample.
    std::string refusal;
};

// The song: the pattern bank, the song order, where playback stands, the
// pattern clipboard and the sample file of every sound. Operations act on the
// current pattern, the one the song order names at the current measure.
// Indices outside their ranges are refused without touching anything.
class matrice {
public:
    matrice(DirectSound& sound, Notifier& notifier);

    // Whole song.
    void open_sound(WindowHandle window);
    void clear_song();
    // Writes the song file; the status of the write. Saving brings every
    // size and mix value of the bank into its range first.
    FileStatus save_drm(const std::string& path);
    // The bytes save_drm writes for the song as it is.
    std::string song_image() const;
    // Reads a song file. A file that cannot be read, ends inside its
    // patterns (cut_short) or cannot be a song (not_a_song: a number without
    // digits, no line feed after the patterns, a sample name the program
    // could not have written) leaves the song in memory exactly as it was.
    // With names_only the sounds only take the names of their samples, and
    // keep what they play, for whoever reads the samples themselves
    // (set_sample_file); all the sounds named then count as unloaded.
    enum class Samples { read, names_only };
    FileStatus load_drm(const std::string& path, Samples samples = Samples::read);
    // The sounds whose samples the last song read could not load, in order.
    const std::vector<int>& unloaded_sounds() const { return unloaded_sounds_; }
    void set_sample_file(int sound, std::string_view name);
    // Gives the sound the named file only when the name can be kept in a
    // song, the file reads as a WAV and the device takes it; otherwise the
    // sound keeps its sample, its buffer and its name, and the status says
    // why (see sample_name_status and DirectSound::replace_sample). The new
    // sample plays with the current pattern's mix.
    // The sample replaced goes to `replaced` when given.
    FileStatus replace_sample(int sound, std::string_view name, kept_sample* replaced = nullptr);
    // Gives the sound the kept sample and keeps its own in its place.
    void swap_sample(int sound, kept_sample& other);
    // Reads and checks a sample as replace_sample does, into `read`; the
    // sound plays on what it played.
    FileStatus read_sample(int sound, std::string_view name, kept_sample& read);
    // Reads every chosen sample as read_sample does; what the device refuses
    // is told in each reading, not in a message box of its own, so that the
    // caller can report them all at once.
    void read_samples(std::span<sample_reading> readings);
    const std::string& get_sample_file(int sound) const;

    // Position and mode.
    int get_step() const { return step; }
    void reset_step() { step = 0; }
    // To a step of the current pattern, within its size.
    void go_to_step(int to);
    // Plays the step (its sounds start on the output frame, 0: at once),
    // then moves by count steps.
    int advance(int count, std::uint64_t frame = 0);
    int get_measure() const { return measure; }
    // To a measure of the song, within its 256.
    void go_to_measure(int to);
    // How many measures of the song mode come before its End marker.
    int song_length() const;
    void next_measure();
    void previous_measure();
    void rewind_song();
    void enter_pattern_mode();
    void enter_song_mode();
    bool in_song_mode() const { return song_mode != 0; }
    int get_song_entry() const { return song[measure]; }
    void set_song_entry(int pattern);
    void take_pattern_slot();

    // Current pattern.
    int get_size() const { return current().size; }
    int set_size(int size);
    void set_tempo(int tempo) { current().tempo = tempo; }
    bool is_empty() const { return current().empty != 0; }
    bool has_cells() const;
    bool mark_used();
    int get_cell(int track, int step) const;
    void set_cell(int track, int step, int value);

    // Pattern clipboard.
    void copy_from(int pattern);
    void copy_pattern();
    void paste_pattern();
    void clear_pattern();

    // Mix of a sound in the current pattern.
    void set_volume(int sound, int volume);
    int get_volume(int sound) const;
    void set_pan(int sound, int pan);
    int get_pan(int sound) const;
    void set_frequency(int sound, int frequency);
    int get_frequency(int sound) const;
    void apply_mix();

    // Sound triggering; both raise Error when a channel refuses to play.
    void play_step(int step, std::uint64_t frame = 0);
    void play_sound(int sound);

    // The bank and the song order as a whole, for saving, showing and the
    // changes that are undone: a pattern or a song entry is replaced whole.
    const pattern_record& pattern(int number) const { return patterns[number & 0xFF]; }
    void set_pattern(int number, const pattern_record& record) { patterns[number & 0xFF] = record; }
    // Changes a copy of the pattern, then puts it in the bank.
    template <typename Change>
    void change_pattern(int number, Change&& change) {
        pattern_record record = pattern(number);
        change(record);
        set_pattern(number, record);
    }
    int get_song_entry(int at) const { return song[static_cast<std::size_t>(at) & 0xFF]; }
    void set_song_entry(int at, int pattern);
    const std::array<std::int32_t, kMeasures>& song_order() const { return song; }
    const std::array<pattern_record, kPatterns>& bank() const { return patterns; }
    const std::array<std::string, kTracks>& sample_names() const { return sample_file; }
    bool has_clipboard() const { return clipboard_full != 0; }
    int get_saved_measure() const { return saved_measure; }

private:
    FileStatus read_sample(int sound, std::string_view name, kept_sample& read,
                           std::string* refusal);

    std::uint8_t song_mode = 0;
    std::int32_t step = 0;
    std::int32_t measure = 1;
    std::uint8_t clipboard_full = 0;
    std::int32_t saved_measure = 0;
    std::array<std::string, kTracks> sample_file;
    std::array<std::int32_t, kMeasures> song{};
    pattern_record clipboard;
    std::array<pattern_record, kPatterns> patterns;

    void apply_choke_groups();
    void apply_mix_to(int sound);
    // Names the sound's sample and builds its channel; true when the file was
    // read as a WAV. Raises Error when the device refuses the sample.
    bool assign_sample(int sound, std::string_view name);
    pattern_record& current() { return patterns[song[measure]]; }
    const pattern_record& current() const { return patterns[song[measure]]; }

    DirectSound& sound_;
    Notifier& notifier_;
    std::vector<int> unloaded_sounds_;
};

} // namespace qx375
