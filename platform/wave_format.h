#pragma once

#include "platform/sound_device.h"

#include <cstdint>
#include <span>

namespace qx375 {

enum class SampleEncoding : std::uint8_t { pcm_u8, pcm_s16, pcm_s24, pcm_s32, float32 };

// What the device makes of a wave format record. The channel count comes from
// the block alignment, not from the record's channel field, so a one-channel
// file whose record was rewritten to claim two channels still plays, centred.
struct SampleLayout {
    SampleEncoding encoding = SampleEncoding::pcm_s16;
    std::uint16_t channels = 0;
    std::uint16_t block_align = 0;
    std::uint32_t rate = 0;
};

// DS_OK and the layout for a playable record; DSERR_INVALIDPARAM for a missing
// or short record; DSERR_BADFORMAT for anything the mixer cannot play.
DsResult parse_wave_format(FormatBytes record, SampleLayout& layout);

// Converts the whole frames of sample bytes to floats in -1..1, interleaved as
// the layout's channels; the bytes of a partial last frame are left out. Writes
// at most out.size() values; the rest of `out` is made silent.
void decode_samples(const SampleLayout& layout, std::span<const std::uint8_t> bytes,
                    std::span<float> out);

} // namespace qx375
