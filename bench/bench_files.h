#pragma once

// What the benchmarks share: WAV files written on the spot, sound buffers
// filled on the spot, and message boxes that show nothing.

#include "platform/notifier.h"
#include "platform/sound_device.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace qx375::bench {

class SilentNotifier : public Notifier {
public:
    void show_message(std::string_view) override {}
};

// A 44.1 kHz 16-bit PCM file of the given interleaved samples.
inline void write_wav(const std::string& path, const std::vector<std::int16_t>& samples,
                      std::uint16_t channels) {
    const auto data = static_cast<std::uint32_t>(samples.size() * 2);
    const std::uint32_t rate = 44100;
    const auto align = static_cast<std::uint16_t>(2 * channels);
    std::vector<std::uint8_t> out;
    auto text = [&](const char* s) { out.insert(out.end(), s, s + 4); };
    auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    text("RIFF");
    put(36 + data, 4);
    text("WAVE");
    text("fmt ");
    put(16, 4);
    put(1, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * align, 4);
    put(align, 2);
    put(16, 2);
    text("data");
    put(data, 4);
    for (std::int16_t s : samples) {
        put(static_cast<std::uint16_t>(s), 2);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
}

// A click: a few frames of signal, then silence.
inline void write_click(const std::string& path) {
    std::vector<std::int16_t> samples(256, 0);
    for (int i = 0; i < 16; ++i) {
        samples[i] = 16000;
    }
    write_wav(path, samples, 1);
}

// A static buffer of 44.1 kHz 16-bit mono samples, made and filled as the
// program makes its channels.
inline std::unique_ptr<SoundBuffer> mono_buffer(SoundDevice& device,
                                                const std::vector<std::int16_t>& samples) {
    const std::uint8_t format[16] = {1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0};
    BufferDesc desc;
    desc.size = kBufferDescSize;
    desc.flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    desc.buffer_bytes = static_cast<std::uint32_t>(2 * samples.size());
    desc.format = format;
    std::unique_ptr<SoundBuffer> buffer;
    device.CreateSoundBuffer(desc, buffer);
    LockedRegions regions;
    buffer->Lock(0, desc.buffer_bytes, regions, 0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto s = static_cast<std::uint16_t>(samples[i]);
        regions.first[2 * i] = static_cast<std::uint8_t>(s & 0xFF);
        regions.first[2 * i + 1] = static_cast<std::uint8_t>(s >> 8);
    }
    buffer->Unlock(regions);
    return buffer;
}

} // namespace qx375::bench
