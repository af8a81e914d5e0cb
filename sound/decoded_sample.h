#pragma once

#include "util/file_status.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qx375 {

// Whether a file image is in a format the program decodes itself (FLAC, Ogg
// Vorbis, AIFF, as drum kits bring them) rather than a WAV file the loader
// reads as it is.
bool is_decoded_sample(std::span<const std::uint8_t> image);

// Such a sample decoded once, at load, into the WAV file image the
// loader reads, so that it passes the same checks and plays through the same
// buffers as a WAV file: 16 or 24-bit integers where the source has them,
// 32-bit float otherwise, at the source's rate and channel count. Fails with
// not_a_wave when the image does not decode, too_large when its samples
// would take more than `max_bytes`.
struct DecodedSample {
    std::vector<std::uint8_t> wave_image;
    FileStatus status;
};
DecodedSample decode_sample(std::span<const std::uint8_t> image, std::size_t max_bytes);

} // namespace qx375
