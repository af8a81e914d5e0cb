#include "sound/direct_sound.h"

#include "util/error.h"
#include "util/file_lookup.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace qx375 {

namespace {

constexpr WaveFormatRecord kPrimaryFormat{
    .format_tag = 1,
    .channels = 2,
    .samples_per_sec = 44100,
    .avg_bytes_per_sec = 176400,
    .block_align = 4,
    .bits_per_sample = 16,
    .extra_size = 0,
};

// The channels that are the drum machine's sounds, and so play hits.
constexpr int kBoundSounds = 16;

constexpr std::uint32_t kChannelBufferFlags =
    DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;

// The reason shown to the user when the device refuses a channel buffer.
std::string_view refusal_reason(DsResult result) {
    switch (result) {
    case DSERR_ALLOCATED:
        return "utilisé par une autre ressource";
    case DSERR_BADFORMAT:
        return "format incorrect";
    case DSERR_INVALIDPARAM:
        return "paramètre invalide";
    case DSERR_NOAGGREGATION:
        return "non reconnu";
    case DSERR_OUTOFMEMORY:
        return "depassement memoire";
    case DSERR_UNINITIALIZED:
        return "non initialisé";
    case DSERR_UNSUPPORTED:
        return "cette version de directx ne peut pas le faire";
    default:
        return "erreur inconnue";
    }
}

void put16(std::uint8_t* out, std::uint16_t v) {
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v));
    put16(out + 2, static_cast<std::uint16_t>(v >> 16));
}

bool valid_channel(int k) {
    return k >= 0 && k < DirectSound::channel_count;
}

} // namespace

std::array<std::uint8_t, 18> WaveFormatRecord::bytes() const {
    std::array<std::uint8_t, 18> out{};
    put16(&out[0], format_tag);
    put16(&out[2], channels);
    put32(&out[4], samples_per_sec);
    put32(&out[8], avg_bytes_per_sec);
    put16(&out[12], block_align);
    put16(&out[14], bits_per_sample);
    put16(&out[16], extra_size);
    return out;
}

DirectSound::DirectSound(SoundSystem& system, Notifier& notifier)
    : primary_format(kPrimaryFormat), system_(system), notifier_(notifier) {}

DirectSound::~DirectSound() {
    teardown();
}

void DirectSound::open_device(WindowHandle window) {
    primary_format = kPrimaryFormat;

    buffer_desc = BufferDesc{};
    buffer_desc.size = kBufferDescSize;
    buffer_desc.flags = DSBCAPS_PRIMARYBUFFER;
    buffer_desc.buffer_bytes = 0;
    primary_buffer.reset();

    std::array<bool, kStartupSounds> readable{};
    for (int k = 0; k < kStartupSounds; ++k) {
        const std::string_view name = kSoundSlots[static_cast<std::size_t>(k)].startup_file;
        std::string& deferred = deferred_startup_[static_cast<std::size_t>(k)];
        deferred.clear();
        if (defer_startup_) {
            // Found now, as the folder they are found in may not be current
            // once they are read.
            std::error_code ec;
            deferred = std::filesystem::absolute(find_file(name, "."), ec).string();
        } else {
            readable[static_cast<std::size_t>(k)] = static_cast<bool>(load_wave(name, k));
        }
    }
    defer_startup_ = false;

    if (failed(system_.create_device(device)) || !device) {
        throw Error("Erreur sur DirectSound Create");
    }
    if (failed(device->CreateSoundBuffer(buffer_desc, primary_buffer)) || !primary_buffer) {
        throw Error("Erreur sur création du buffer primaire");
    }
    if (failed(device->SetCooperativeLevel(window, DSSCL_PRIORITY))) {
        throw Error("Erreur sur SetCooperativeLevel");
    }
    const auto primary_bytes = primary_format.bytes();
    primary_buffer->SetFormat(primary_bytes);
    device->SetSpeakerConfig(DSSPEAKER_HEADPHONE);

    for (int k = 0; k < kStartupSounds; ++k) {
        if (readable[static_cast<std::size_t>(k)]) {
            make_buffer(k);
        } else {
            // A start-up sample missing from the installation is not worth an
            // error: raising here would leave every later channel silent and
            // fail the whole start-up again at each activation of the window.
            // The channel stays silent until the user gives it a sample.
            sound_channel& ch = channels[static_cast<std::size_t>(k)];
            ch.buffer.reset();
            ch.loaded = false;
        }
    }
}

void DirectSound::defer_startup_samples() {
    defer_startup_ = true;
}

void DirectSound::load_deferred_startup_sample(int channel) {
    if (channel < 0 || channel >= kStartupSounds) {
        return;
    }
    const std::string file =
        std::exchange(deferred_startup_[static_cast<std::size_t>(channel)], {});
    if (!file.empty() && load_wave(file, channel)) {
        make_buffer(channel);
    }
}

void DirectSound::make_buffer(int channel) {
    make_buffer(channel, nullptr);
}

void DirectSound::make_buffer(int channel, std::string* refusal) {
    if (!valid_channel(channel)) {
        return;
    }
    sound_channel& ch = channels[static_cast<std::size_t>(channel)];
    // The old buffer goes first; the channel counts as loaded again only once
    // a new one is filled, whatever the device refuses on the way.
    ch.buffer.reset();
    ch.loaded = false;
    if (!device) {
        return;
    }
    bind(channel);

    const std::span<const std::uint8_t> image(ch.file_image);
    buffer_desc = BufferDesc{};
    buffer_desc.size = kBufferDescSize;
    buffer_desc.flags = kChannelBufferFlags;
    buffer_desc.buffer_bytes = ch.sample_bytes;
    if (ch.format) {
        buffer_desc.format = image.subspan(*ch.format, ch.format_bytes);
    }

    const DsResult created = device->CreateSoundBuffer(buffer_desc, ch.buffer);
    if (failed(created) || !ch.buffer) {
        ch.buffer.reset();
        if (refusal != nullptr) {
            *refusal = refusal_reason(created);
        } else {
            notifier_.show_message(refusal_reason(created));
        }
        throw Error("Erreur sur CreateSoundBuffer");
    }

    LockedRegions regions;
    if (failed(ch.buffer->Lock(0, ch.sample_bytes, regions, 0))) {
        throw Error("Erreur sur Lock 1");
    }

    // After a failed read the length may belong to an earlier file while the
    // sample bytes are gone; only bytes present in the image are copied.
    std::span<const std::uint8_t> source;
    if (ch.sample_data) {
        source = image.subspan(*ch.sample_data);
        source = source.first(std::min<std::size_t>(source.size(), ch.sample_bytes));
    }
    const std::size_t to_first = std::min(regions.first.size(), source.size());
    std::copy_n(source.begin(), to_first, regions.first.begin());
    source = source.subspan(to_first);
    std::copy_n(source.begin(), std::min(regions.second.size(), source.size()),
                regions.second.begin());

    if (failed(ch.buffer->Unlock(regions))) {
        throw Error("Erreur sur Unlock");
    }
    ch.loaded = true;
    bind(channel);
}

void DirectSound::bind(int channel) {
    if (device && channel < kBoundSounds) {
        device->bind_sound(channel, buffer_of(channel),
                           choke_groups_[static_cast<std::size_t>(channel)]);
    }
}

FileStatus DirectSound::replace_sample(std::string_view file_name, int channel,
                                       sound_channel* replaced, std::string* refusal) {
    if (!valid_channel(channel)) {
        return {FileFault::other, EINVAL};
    }
    load_deferred_startup_sample(channel);
    sound_channel& ch = channels[static_cast<std::size_t>(channel)];
    // The old buffer lives on beside the new one until the new one is
    // complete, so a refusal can put everything back.
    sound_channel previous = std::move(ch);
    ch = sound_channel{};
    FileStatus status;
    try {
        status = load_wave(file_name, channel);
        if (status) {
            make_buffer(channel, refusal);
        }
    } catch (const Error&) {
        // The device refused the sample and has shown its reason.
        status = {FileFault::unplayable, 0};
    } catch (...) {
        ch = std::move(previous);
        throw;
    }
    if (!status) {
        ch = std::move(previous);
        bind(channel);
    } else if (replaced != nullptr) {
        *replaced = std::move(previous);
    }
    return status;
}

void DirectSound::swap_sample(int channel, sound_channel& other) {
    if (!valid_channel(channel)) {
        return;
    }
    load_deferred_startup_sample(channel);
    std::swap(channels[static_cast<std::size_t>(channel)], other);
    bind(channel);
}

std::uint32_t DirectSound::output_rate() const {
    return primary_format.samples_per_sec;
}

void DirectSound::teardown() {
    // Every buffer goes, not only those of loaded channels: a buffer left by
    // a failed fill is released before its device as well.
    for (sound_channel& ch : channels) {
        ch.buffer.reset();
        ch.loaded = false;
    }
    primary_buffer.reset();
    device.reset();
}

SoundBuffer* DirectSound::buffer_of(int channel) const {
    return valid_channel(channel) ? channels[static_cast<std::size_t>(channel)].buffer.get()
                                  : nullptr;
}

DsResult DirectSound::stop(int channel) {
    SoundBuffer* buffer = buffer_of(channel);
    return buffer ? buffer->Stop() : DS_OK;
}

DsResult DirectSound::rewind(int channel) {
    SoundBuffer* buffer = buffer_of(channel);
    return buffer ? buffer->SetCurrentPosition(0) : DS_OK;
}

DsResult DirectSound::play(int channel) {
    SoundBuffer* buffer = buffer_of(channel);
    return buffer ? buffer->Play(0, 0, 0) : DS_OK;
}

DsResult DirectSound::set_volume(int channel, std::int32_t volume) {
    SoundBuffer* buffer = buffer_of(channel);
    return buffer ? buffer->SetVolume(volume) : DS_OK;
}

DsResult DirectSound::set_pan(int channel, std::int32_t pan) {
    SoundBuffer* buffer = buffer_of(channel);
    return buffer ? buffer->SetPan(pan) : DS_OK;
}

DsResult DirectSound::set_frequency(int channel, std::int32_t frequency) {
    SoundBuffer* buffer = buffer_of(channel);
    return buffer ? buffer->SetFrequency(static_cast<std::uint32_t>(frequency)) : DS_OK;
}

void DirectSound::schedule_at(std::uint64_t frame) {
    if (device) {
        device->set_target_frame(frame);
    }
}

void DirectSound::set_choke_group(int channel, int group) {
    if (valid_channel(channel)) {
        choke_groups_[static_cast<std::size_t>(channel)] = group;
        bind(channel);
    }
}

DsResult DirectSound::start(int channel, std::uint64_t frame, bool rewind) {
    if (!device || buffer_of(channel) == nullptr) {
        return DS_OK;
    }
    return device->start_sound(channel, frame, rewind);
}

void DirectSound::end_notes(std::uint64_t frame) {
    if (device) {
        device->end_notes(frame);
    }
}

const sound_channel& DirectSound::channel(int k) const {
    return channels.at(static_cast<std::size_t>(k));
}

} // namespace qx375
