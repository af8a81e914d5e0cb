#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace qx375 {

// A stereo WAV file written through libsndfile into an open descriptor,
// which stays open. Every failure of the disk is seen, the header it
// rewrites on closing included; integer samples are clipped at full scale.
class WaveWriter {
public:
    enum class Samples { pcm16, pcm24, float32 };

    WaveWriter(int fd, std::uint32_t rate, Samples samples);
    ~WaveWriter();
    WaveWriter(const WaveWriter&) = delete;
    WaveWriter& operator=(const WaveWriter&) = delete;

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
