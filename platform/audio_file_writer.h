#pragma once

#include "platform/export_format.h"

#include <cstdint>
#include <memory>
#include <span>

namespace qx375 {

// A stereo audio file written through libsndfile into an open descriptor,
// which stays open: WAV, FLAC or Ogg Vorbis, block by block as the sound
// comes. Every failure of the disk is seen, the header it rewrites on
// closing included; integer samples are clipped at full scale.
class AudioFileWriter {
public:
    AudioFileWriter(int fd, std::uint32_t rate, ExportFormat format);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Appends interleaved stereo frames; false once anything has failed.
    bool write(std::span<const float> stereo);
    // Finishes the file: 0, or the error number of the first failure.
    int close();

    // Where libsndfile's writes go.
    struct Sink;

private:
    std::unique_ptr<Sink> sink_;
};

} // namespace qx375
