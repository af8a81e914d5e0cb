#include "sound/decoded_sample.h"
#include "sound/direct_sound.h"
#include "util/file_io.h"
#include "util/file_lookup.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace qx375 {

namespace {

// Samples are a few hundred kilobytes; anything this big is not one, and
// reading it would only exhaust memory.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

constexpr std::size_t kChunkHeaderBytes = 8;

// The file as named, or else the one the portable lookup finds; when neither
// can be read, why the one looked at last could not.
FileContent read_sample_file(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) {
        return {{}, {FileFault::bad_name, 0}};
    }
    const std::string given(name);
    FileContent file = read_file(given, kMaxFileBytes);
    if (file.status) {
        return file;
    }
    const std::string found = find_file(name, ".");
    return found != given ? read_file(found, kMaxFileBytes) : file;
}

bool has_id(const std::vector<std::uint8_t>& image, std::size_t at, const char (&id)[5]) {
    return std::memcmp(image.data() + at, id, 4) == 0;
}

std::uint32_t le32(const std::vector<std::uint8_t>& image, std::size_t at) {
    return static_cast<std::uint32_t>(image[at]) | static_cast<std::uint32_t>(image[at + 1]) << 8 |
           static_cast<std::uint32_t>(image[at + 2]) << 16 |
           static_cast<std::uint32_t>(image[at + 3]) << 24;
}

} // namespace

FileStatus DirectSound::load_wave(std::string_view file_name, int channel) {
    if (channel < 0 || channel >= channel_count) {
        return {FileFault::other, EINVAL};
    }
    FileContent file = read_sample_file(file_name);
    if (channel < kStartupSounds) {
        std::string& deferred = deferred_startup_[static_cast<std::size_t>(channel)];
        if (!file.status && !deferred.empty()) {
            // The channel keeps what it had: the start-up sample.
            load_deferred_startup_sample(channel);
        }
        deferred.clear();
    }
    if (!file.status) {
        return file.status;
    }
    FileStatus decoding;
    if (is_decoded_sample(file.bytes)) {
        DecodedSample decoded = decode_sample(file.bytes, kMaxFileBytes);
        decoding = decoded.status;
        if (decoding) {
            file.bytes = std::move(decoded.wave_image);
        }
    }
    // A file that does not decode is kept as it was read, as any other that
    // is no WAV file: the channel then has neither format nor samples.
    channels[static_cast<std::size_t>(channel)].file_image = std::move(file.bytes);
    if (!decoding) {
        parse_wave(channel);
        return decoding;
    }
    return parse_wave(channel) ? FileStatus{} : FileStatus{FileFault::not_a_wave, 0};
}

bool DirectSound::parse_wave(int channel) {
    if (channel < 0 || channel >= channel_count) {
        return false;
    }
    sound_channel& ch = channels[static_cast<std::size_t>(channel)];
    ch.format.reset();
    ch.format_bytes = 0;
    ch.sample_data.reset();

    std::vector<std::uint8_t>& image = ch.file_image;
    const std::uint64_t size = image.size();
    if (size < 12 || !has_id(image, 0, "RIFF") || !has_id(image, 8, "WAVE")) {
        ch.loaded = false;
        return false;
    }

    // Offsets are 64-bit so that a chunk size near 4 GiB cannot wrap around
    // and send the walk back into the image.
    const std::uint64_t end = std::min<std::uint64_t>(size, std::uint64_t{8} + le32(image, 4));
    std::uint64_t pos = 12;
    while (pos + kChunkHeaderBytes <= end) {
        const auto at = static_cast<std::size_t>(pos);
        const std::uint32_t body_size = le32(image, at + 4);
        const std::uint64_t body = pos + kChunkHeaderBytes;
        const std::uint64_t present = std::min<std::uint64_t>(body_size, size - body);
        if (has_id(image, at, "fmt ")) {
            ch.format = static_cast<std::size_t>(body);
            ch.format_bytes = static_cast<std::size_t>(present);
            // Every sample is declared two-channel; the block alignment still
            // tells the mixer how many channels the bytes really hold.
            if (present >= 4) {
                image[static_cast<std::size_t>(body) + 2] = 2;
                image[static_cast<std::size_t>(body) + 3] = 0;
            }
        } else if (has_id(image, at, "data")) {
            ch.sample_data = static_cast<std::size_t>(body);
            ch.sample_bytes = static_cast<std::uint32_t>(present);
        }
        if (ch.format && ch.sample_data) {
            return true;
        }
        pos = body + body_size + (body_size & 1u);
    }
    ch.loaded = false;
    return false;
}

} // namespace qx375
