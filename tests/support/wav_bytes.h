#pragma once

// WAV images assembled byte by byte, for the tests and the fuzz seeds.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qx375::test {

using Bytes = std::vector<std::uint8_t>;

inline void append16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void append32(Bytes& out, std::uint32_t v) {
    append16(out, static_cast<std::uint16_t>(v));
    append16(out, static_cast<std::uint16_t>(v >> 16));
}

inline std::uint16_t read16(const Bytes& in, std::size_t at) {
    return static_cast<std::uint16_t>(in.at(at) | in.at(at + 1) << 8);
}

inline std::uint32_t read32(const Bytes& in, std::size_t at) {
    return static_cast<std::uint32_t>(read16(in, at)) |
           static_cast<std::uint32_t>(read16(in, at + 2)) << 16;
}

// A "fmt " body of 16 bytes.
inline Bytes pcm_format(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                        std::uint16_t tag = 1) {
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    Bytes body;
    append16(body, tag);
    append16(body, channels);
    append32(body, rate);
    append32(body, rate * align);
    append16(body, align);
    append16(body, bits);
    return body;
}

inline Bytes ramp(std::size_t n, std::uint8_t first = 1) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(first + i);
    }
    return out;
}

// Chunks appended in order after "RIFF" <size> "WAVE". The RIFF size is the
// true one unless overridden.
class WavBuilder {
public:
    WavBuilder& chunk(std::string_view id, const Bytes& body) {
        return chunk_with_size(id, static_cast<std::uint32_t>(body.size()), body);
    }
    // A header that declares declared_size whatever body follows; odd bodies
    // get their pad byte.
    WavBuilder& chunk_with_size(std::string_view id, std::uint32_t declared_size,
                                const Bytes& body) {
        raw(id);
        append32(chunks_, declared_size);
        chunks_.insert(chunks_.end(), body.begin(), body.end());
        if (body.size() % 2 == 1) {
            chunks_.push_back(0);
        }
        return *this;
    }
    WavBuilder& raw(std::string_view text) {
        chunks_.insert(chunks_.end(), text.begin(), text.end());
        return *this;
    }
    WavBuilder& raw(const Bytes& bytes) {
        chunks_.insert(chunks_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    WavBuilder& riff_size(std::uint32_t size) {
        riff_size_ = size;
        return *this;
    }
    Bytes build() const {
        Bytes out{'R', 'I', 'F', 'F'};
        append32(out, riff_size_.value_or(static_cast<std::uint32_t>(4 + chunks_.size())));
        out.insert(out.end(), {'W', 'A', 'V', 'E'});
        out.insert(out.end(), chunks_.begin(), chunks_.end());
        return out;
    }

private:
    Bytes chunks_;
    std::optional<std::uint32_t> riff_size_;
};

// A standard file: "fmt " then "data".
inline Bytes simple_wav(const Bytes& samples, std::uint16_t channels = 2) {
    return WavBuilder()
        .chunk("fmt ", pcm_format(channels, 44100, 16))
        .chunk("data", samples)
        .build();
}

} // namespace qx375::test
