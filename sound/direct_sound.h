#pragma once

#include "platform/notifier.h"
#include "platform/sound_device.h"
#include "util/file_status.h"
#include "util/sound_slots.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx375 {

// A wave format record as the program builds it itself (the primary format).
struct WaveFormatRecord {
    std::uint16_t format_tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samples_per_sec = 0;
    std::uint32_t avg_bytes_per_sec = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0;
    std::uint16_t extra_size = 0;

    // The 18 bytes of the record, little-endian, as a device reads them.
    std::array<std::uint8_t, 18> bytes() const;
};

// One sound: the whole WAV file it was read from, where its format record and
// sample bytes lie in that image, and the buffer built from them.
struct sound_channel {
    bool loaded = false;
    std::vector<std::uint8_t> file_image;
    std::optional<std::size_t> format;      // offset of the "fmt " body
    std::size_t format_bytes = 0;           // how much of that body the image holds
    std::optional<std::size_t> sample_data; // offset of the "data" body
    std::uint32_t sample_bytes = 0;
    std::unique_ptr<SoundBuffer> buffer;
};

// The program's sound output: the device and one channel per sound.
class DirectSound {
public:
    static constexpr int channel_count = 32;

    DirectSound(SoundSystem& system, Notifier& notifier);
    ~DirectSound();
    DirectSound(const DirectSound&) = delete;
    DirectSound& operator=(const DirectSound&) = delete;

    // Opens the device for the window and prepares channels 0..11 with the
    // start-up samples. Raises Error on a device failure.
    void open_device(WindowHandle window);

    // For a song loaded as soon as the device is open, over the start-up
    // samples (a render): the next open_device only finds their files, and
    // a start-up sample is read once it would be heard. That is when a file
    // read into its channel cannot be read, which leaves the channel with the
    // sample it had, when the channel's sample is replaced or swapped, and at
    // load_deferred_startup_sample. A file that was read in place of one
    // makes it unneeded. The channels end as if open_device had read them
    // all, without reading what a song replaces or never plays.
    void defer_startup_samples();
    // The channel's start-up sample, when it is still to be read, read and
    // given its buffer.
    void load_deferred_startup_sample(int channel);

    // Reads a WAV file whole into the channel; a FLAC, Ogg Vorbis or AIFF
    // file is decoded once into the WAV image it stands for. Fails with the read's
    // fault, when the file cannot be read, or with not_a_wave when the image
    // lacks its format or its samples (or does not decode).
    FileStatus load_wave(std::string_view file_name, int channel);
    bool parse_wave(int channel);

    // Builds the channel's buffer from its sample. Shows the device's reason
    // and raises Error when the device refuses.
    void make_buffer(int channel);

    // Reads a WAV file into the channel and builds its buffer from it, but
    // only keeps it when both succeed; otherwise the channel's previous
    // sample, image and buffer stay exactly as they were, and the status is
    // the fault of load_wave, or unplayable when the device refuses the
    // sample (it has then shown its own reason). Without an open device a
    // file that reads as a WAV is kept and stays silent, as every channel is
    // until the device opens.
    // The channel's previous sample goes to `replaced` when given, and the
    // device's reason for a refusal to `refusal` instead of a message box.
    FileStatus replace_sample(std::string_view file_name, int channel,
                              sound_channel* replaced = nullptr, std::string* refusal = nullptr);
    // Puts another sample, image and buffer, in the channel, and the
    // channel's own in its place; nothing is read or copied.
    void swap_sample(int channel, sound_channel& other);

    std::uint32_t output_rate() const;

    // Releases every buffer, then the device. Safe to run more than once.
    void teardown();

    // Channel buffer operations; on a channel without a buffer they do nothing
    // and answer DS_OK.
    DsResult stop(int channel);
    DsResult rewind(int channel);
    DsResult play(int channel);
    DsResult set_volume(int channel, std::int32_t volume);
    DsResult set_pan(int channel, std::int32_t pan);
    DsResult set_frequency(int channel, std::int32_t frequency);

    // Buffer calls from now on sound on this output frame (0: at once).
    void schedule_at(std::uint64_t frame);

    // Sounds of one nonzero group silence each other when one starts.
    void set_choke_group(int channel, int group);
    // A hit: the channel's choke group stops, then the channel plays on the
    // output frame (0: at once), from its beginning when `rewind`.
    DsResult start(int channel, std::uint64_t frame, bool rewind);
    // Every note sent out for the sounds ends on the output frame (0: at once).
    void end_notes(std::uint64_t frame);

    const sound_channel& channel(int k) const;

    std::array<sound_channel, channel_count> channels;
    BufferDesc buffer_desc;
    WaveFormatRecord primary_format;
    std::unique_ptr<SoundDevice> device;
    std::unique_ptr<SoundBuffer> primary_buffer;

private:
    void make_buffer(int channel, std::string* refusal);
    SoundBuffer* buffer_of(int channel) const;
    void bind(int channel);

    std::array<int, channel_count> choke_groups_{};
    bool defer_startup_ = false;
    // The start-up files not read yet, by channel; empty for none.
    std::array<std::string, kStartupSounds> deferred_startup_;
    SoundSystem& system_;
    Notifier& notifier_;
};

} // namespace qx375
