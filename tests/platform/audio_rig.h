#pragma once

#include "platform/audio_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qx375::testing {

// Bytes of a wave format record.
inline std::vector<std::uint8_t> format_record(std::uint16_t tag, std::uint16_t channels,
                                               std::uint32_t rate, std::uint16_t block_align,
                                               std::uint16_t bits) {
    std::vector<std::uint8_t> r(16);
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            r[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    put(0, tag, 2);
    put(2, channels, 2);
    put(4, rate, 4);
    put(8, rate * block_align, 4);
    put(12, block_align, 2);
    put(14, bits, 2);
    return r;
}

// 16-bit PCM bytes of the given samples (already interleaved).
inline std::vector<std::uint8_t> pcm16(const std::vector<float>& samples) {
    std::vector<std::uint8_t> bytes;
    for (float s : samples) {
        const auto v = static_cast<std::int16_t>(std::lround(s * 32767.0f));
        bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
    return bytes;
}

// A sound output with one device on it; by default it renders only when asked.
struct AudioRig {
    AudioOutput output;
    std::unique_ptr<SoundDevice> device;

    explicit AudioRig(AudioBackendKind kind = AudioBackendKind::manual) : output(kind) {
        output.create_device(device);
    }
    explicit AudioRig(CardOpener open_card) : output(std::move(open_card)) {
        output.create_device(device);
    }

    // A static buffer filled with `bytes`, as the program builds its channels.
    std::unique_ptr<SoundBuffer> buffer(const std::vector<std::uint8_t>& format,
                                        const std::vector<std::uint8_t>& bytes) {
        BufferDesc desc;
        desc.size = kBufferDescSize;
        desc.flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
        desc.buffer_bytes = static_cast<std::uint32_t>(bytes.size());
        desc.format = format;
        std::unique_ptr<SoundBuffer> buffer;
        EXPECT_EQ(device->CreateSoundBuffer(desc, buffer), DS_OK);
        if (!buffer) {
            return buffer;
        }
        LockedRegions regions;
        EXPECT_EQ(buffer->Lock(0, desc.buffer_bytes, regions, 0), DS_OK);
        std::memcpy(regions.first.data(), bytes.data(), regions.first.size());
        EXPECT_EQ(buffer->Unlock(regions), DS_OK);
        return buffer;
    }

    // A 44.1 kHz 16-bit mono buffer of the given samples.
    std::unique_ptr<SoundBuffer> mono(const std::vector<float>& samples,
                                      std::uint32_t rate = AudioOutput::kRate) {
        return buffer(format_record(1, 1, rate, 2, 16), pcm16(samples));
    }

    // Renders `frames` stereo frames in the output's block size.
    std::vector<float> render(std::size_t frames) {
        std::vector<float> out(2 * frames);
        for (std::size_t done = 0; done < frames; done += AudioOutput::kBlockFrames) {
            const std::size_t n = std::min<std::size_t>(AudioOutput::kBlockFrames, frames - done);
            output.pull(std::span<float>(out).subspan(2 * done, 2 * n));
        }
        return out;
    }
};

// A rising ramp, so the value heard tells the position played.
inline std::vector<float> ramp(std::size_t frames) {
    std::vector<float> v(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        v[i] = static_cast<float>(i) / static_cast<float>(frames);
    }
    return v;
}

} // namespace qx375::testing
