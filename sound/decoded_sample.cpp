#include "sound/decoded_sample.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace qx375 {
namespace {

bool starts_with(std::span<const std::uint8_t> image, const char (&magic)[5]) {
    return image.size() >= 4 && std::memcmp(image.data(), magic, 4) == 0;
}

// libsndfile reads the image in memory through these calls.
struct Source {
    std::span<const std::uint8_t> image;
    sf_count_t at = 0;
};

sf_count_t source_length(void* user) {
    return static_cast<sf_count_t>(static_cast<Source*>(user)->image.size());
}

sf_count_t source_seek(sf_count_t offset, int whence, void* user) {
    auto* source = static_cast<Source*>(user);
    const sf_count_t size = source_length(user);
    const sf_count_t base = whence == SEEK_CUR ? source->at : whence == SEEK_END ? size : 0;
    const sf_count_t to = base + offset;
    if (to < 0 || to > size) {
        return -1;
    }
    source->at = to;
    return to;
}

sf_count_t source_read(void* data, sf_count_t count, void* user) {
    auto* source = static_cast<Source*>(user);
    const sf_count_t n = std::clamp<sf_count_t>(source_length(user) - source->at, 0, count);
    std::memcpy(data, source->image.data() + source->at, static_cast<std::size_t>(n));
    source->at += n;
    return n;
}

sf_count_t source_write(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t source_tell(void* user) {
    return static_cast<Source*>(user)->at;
}

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void put_id(std::vector<std::uint8_t>& out, const char (&id)[5]) {
    out.insert(out.end(), id, id + 4);
}

// The header of a WAV image whose data chunk is filled in afterwards.
std::vector<std::uint8_t> wave_header(int channels, int rate, bool is_float, int bytes) {
    std::vector<std::uint8_t> out;
    const auto block = static_cast<std::uint32_t>(channels * bytes);
    put_id(out, "RIFF");
    put(out, 0, 4);
    put_id(out, "WAVE");
    put_id(out, "fmt ");
    put(out, 16, 4);
    put(out, is_float ? 3 : 1, 2);
    put(out, static_cast<std::uint32_t>(channels), 2);
    put(out, static_cast<std::uint32_t>(rate), 4);
    put(out, static_cast<std::uint32_t>(rate) * block, 4);
    put(out, block, 2);
    put(out, static_cast<std::uint32_t>(8 * bytes), 2);
    put_id(out, "data");
    put(out, 0, 4);
    return out;
}

void set32(std::vector<std::uint8_t>& out, std::size_t at, std::size_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

} // namespace

bool is_decoded_sample(std::span<const std::uint8_t> image) {
    const bool aiff = starts_with(image, "FORM") && image.size() >= 12 &&
                      (std::memcmp(image.data() + 8, "AIFF", 4) == 0 ||
                       std::memcmp(image.data() + 8, "AIFC", 4) == 0);
    return aiff || starts_with(image, "fLaC") || starts_with(image, "OggS");
}

DecodedSample decode_sample(std::span<const std::uint8_t> image, std::size_t max_bytes) {
    DecodedSample decoded;
    decoded.status = {FileFault::not_a_wave, 0};
    SF_VIRTUAL_IO io{source_length, source_seek, source_read, source_write, source_tell};
    Source source{image};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &source);
    if (file == nullptr) {
        return decoded;
    }
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    const int bytes = subtype == SF_FORMAT_PCM_24 ? 3 : subtype == SF_FORMAT_PCM_16 ? 2 : 4;
    const bool is_float = bytes == 4;
    // A sample's length is read as it decodes: the count a hostile header
    // gives is not trusted.
    if (info.channels >= 1 && info.channels <= 2 && info.samplerate > 0) {
        std::vector<std::uint8_t> out =
            wave_header(info.channels, info.samplerate, is_float, bytes);
        const std::size_t header = out.size();
        std::vector<int> whole(4096 * static_cast<std::size_t>(info.channels));
        std::vector<float> real(whole.size());
        decoded.status = {};
        for (;;) {
            const sf_count_t frames = is_float ? sf_readf_float(file, real.data(), 4096)
                                               : sf_readf_int(file, whole.data(), 4096);
            if (frames <= 0) {
                break;
            }
            const auto values =
                static_cast<std::size_t>(frames) * static_cast<std::size_t>(info.channels);
            if (out.size() - header + values * static_cast<std::size_t>(bytes) > max_bytes) {
                decoded.status = {FileFault::too_large, 0};
                break;
            }
            for (std::size_t i = 0; i < values; ++i) {
                if (is_float) {
                    std::uint32_t bits;
                    std::memcpy(&bits, &real[i], 4);
                    put(out, bits, 4);
                } else {
                    // libsndfile gives integers scaled to 32 bits.
                    put(out, static_cast<std::uint32_t>(whole[i]) >> (32 - 8 * bytes), bytes);
                }
            }
        }
        if (sf_error(file) != SF_ERR_NO_ERROR) {
            decoded.status = {FileFault::not_a_wave, 0};
        }
        if (decoded.status) {
            set32(out, 4, out.size() - 8);
            set32(out, header - 4, out.size() - header);
            decoded.wave_image = std::move(out);
        }
    }
    sf_close(file);
    return decoded;
}

} // namespace qx375
