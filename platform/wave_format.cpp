#include "platform/wave_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace qx375 {
namespace {

static_assert(std::endian::native == std::endian::little, "samples are decoded in place");

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::size_t kRecordBytes = 16;
constexpr std::size_t kExtensibleBytes = 40;
constexpr std::uint32_t kMinRate = 100;
constexpr std::uint32_t kMaxRate = 200000;

// The bytes a sub-format GUID shares after its first two (the format tag).
constexpr std::array<std::uint8_t, 14> kGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                    0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t u16(FormatBytes b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t u32(FormatBytes b, std::size_t at) {
    return static_cast<std::uint32_t>(u16(b, at)) | static_cast<std::uint32_t>(u16(b, at + 2))
                                                        << 16;
}

bool encoding_for(std::uint16_t tag, std::uint16_t bits, SampleEncoding& encoding) {
    if (tag == kTagFloat) {
        encoding = SampleEncoding::float32;
        return bits == 32;
    }
    switch (bits) {
    case 8:
        encoding = SampleEncoding::pcm_u8;
        return true;
    case 16:
        encoding = SampleEncoding::pcm_s16;
        return true;
    case 24:
        encoding = SampleEncoding::pcm_s24;
        return true;
    case 32:
        encoding = SampleEncoding::pcm_s32;
        return true;
    default:
        return false;
    }
}

std::int32_t s24(const std::uint8_t* p) {
    const std::uint32_t v = p[0] | p[1] << 8 | static_cast<std::uint32_t>(p[2]) << 16;
    return static_cast<std::int32_t>(v << 8) >> 8;
}

} // namespace

DsResult parse_wave_format(FormatBytes record, SampleLayout& layout) {
    if (record.size() < kRecordBytes) {
        return DSERR_INVALIDPARAM;
    }
    std::uint16_t tag = u16(record, 0);
    const std::uint32_t rate = u32(record, 4);
    const std::uint16_t block_align = u16(record, 12);
    const std::uint16_t bits = u16(record, 14);
    if (tag == kTagExtensible) {
        if (record.size() < kExtensibleBytes || u16(record, 16) < kExtensibleBytes - 18) {
            return DSERR_INVALIDPARAM;
        }
        if (std::memcmp(record.data() + 26, kGuidTail.data(), kGuidTail.size()) != 0) {
            return DSERR_BADFORMAT;
        }
        tag = u16(record, 24);
    }
    SampleEncoding encoding{};
    if ((tag != kTagPcm && tag != kTagFloat) || !encoding_for(tag, bits, encoding)) {
        return DSERR_BADFORMAT;
    }
    const std::uint16_t sample_bytes = bits / 8;
    if (block_align == 0 || block_align % sample_bytes != 0) {
        return DSERR_BADFORMAT;
    }
    const auto channels = static_cast<std::uint16_t>(block_align / sample_bytes);
    if (channels > 2 || rate < kMinRate || rate > kMaxRate) {
        return DSERR_BADFORMAT;
    }
    layout = {encoding, channels, block_align, rate};
    return DS_OK;
}

void decode_samples(const SampleLayout& layout, std::span<const std::uint8_t> bytes,
                    std::span<float> out) {
    const std::size_t width = layout.block_align / layout.channels;
    // A file cut inside its last frame keeps only its whole frames: the bytes
    // of the partial one would otherwise land in the silent frame after it.
    const std::size_t whole_frames = bytes.size() / layout.block_align;
    const std::size_t count = std::min(out.size(), whole_frames * layout.channels);
    const std::uint8_t* p = bytes.data();
    for (std::size_t i = 0; i < count; ++i, p += width) {
        float v = 0;
        switch (layout.encoding) {
        case SampleEncoding::pcm_u8:
            v = (static_cast<int>(*p) - 128) / 128.0f;
            break;
        case SampleEncoding::pcm_s16:
            v = static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0f;
            break;
        case SampleEncoding::pcm_s24:
            v = static_cast<float>(s24(p) / 8388608.0);
            break;
        case SampleEncoding::pcm_s32: {
            std::int32_t s;
            std::memcpy(&s, p, 4);
            v = static_cast<float>(s / 2147483648.0);
            break;
        }
        case SampleEncoding::float32:
            std::memcpy(&v, p, 4);
            // A hostile file must not poison the whole mix with NaN or
            // infinity, nor with values so large that interpolating between
            // them overflows.
            v = std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f;
            break;
        }
        out[i] = v;
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(count), out.end(), 0.0f);
}

} // namespace qx375
