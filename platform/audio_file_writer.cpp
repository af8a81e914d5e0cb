#include "platform/audio_file_writer.h"

#include "util/file_io.h"

#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qx375 {

namespace {

// libsndfile hands its writes over a few kilobytes at a time; gathered, they
// cost a tenth of the system calls.
constexpr std::size_t kGathered = std::size_t{1} << 18;
// A long file goes to the disk as it is written rather than all at the
// flush that ends its save, so that the disk works while the sound is made.
constexpr std::size_t kWriteBehind = std::size_t{8} << 20;

} // namespace

// libsndfile writes through these calls, so that every failure is kept.
struct AudioFileWriter::Sink {
    int fd;
    int error = 0;
    SNDFILE* file = nullptr;
    std::vector<std::uint8_t> pending; // written by libsndfile, not yet to the file
    std::size_t unsynced = 0;          // written since the disk was last asked to take it
    bool pcm16 = false;                // samples go to libsndfile as 16-bit integers
    std::vector<std::int16_t> shorts;  // the block being written, as 16-bit integers

    void fail(int e) {
        if (error == 0) {
            error = e;
        }
    }
    void write(const void* data, std::size_t size) {
        fail(write_all(fd, data, size));
        unsynced += size;
        if (unsynced >= kWriteBehind) {
            // Only a hint: a file system that cannot take it loses nothing.
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            unsynced = 0;
        }
    }
    // Before anything that looks at the file or moves in it.
    void flush() {
        if (!pending.empty() && error == 0) {
            write(pending.data(), pending.size());
        }
        pending.clear();
    }
};

namespace {

using Sink = AudioFileWriter::Sink;

// About 160 kbit/s for a stereo mix at 44.1 kHz: drums keep their attack.
constexpr double kVorbisQuality = 0.5;

sf_count_t sink_length(void* user) {
    auto* sink = static_cast<Sink*>(user);
    sink->flush();
    struct stat info;
    return ::fstat(sink->fd, &info) == 0 ? info.st_size : 0;
}

sf_count_t sink_seek(sf_count_t offset, int whence, void* user) {
    auto* sink = static_cast<Sink*>(user);
    sink->flush();
    const off_t at = ::lseek(sink->fd, offset, whence);
    if (at < 0) {
        sink->fail(errno);
    }
    return at;
}

sf_count_t sink_read(void* data, sf_count_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    sink->flush();
    const ssize_t n = ::read(sink->fd, data, static_cast<std::size_t>(count));
    return n < 0 ? 0 : n;
}

sf_count_t sink_write(const void* data, sf_count_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const auto size = static_cast<std::size_t>(count);
    if (sink->pending.size() + size > kGathered) {
        sink->flush();
    }
    if (sink->error != 0) {
        return 0;
    }
    if (size >= kGathered) {
        sink->write(data, size);
    } else {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        sink->pending.insert(sink->pending.end(), bytes, bytes + size);
    }
    return sink->error == 0 ? count : 0;
}

sf_count_t sink_tell(void* user) {
    auto* sink = static_cast<Sink*>(user);
    const off_t at = ::lseek(sink->fd, 0, SEEK_CUR);
    return at < 0 ? at : at + static_cast<off_t>(sink->pending.size());
}

SF_VIRTUAL_IO io{sink_length, sink_seek, sink_read, sink_write, sink_tell};

int sndfile_format(ExportFormat format) {
    switch (format) {
    case ExportFormat::wav24:
        return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    case ExportFormat::wav_float:
        return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    case ExportFormat::flac16:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case ExportFormat::flac24:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    case ExportFormat::ogg_vorbis:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case ExportFormat::wav16:
        break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

// Samples as libsndfile makes 16-bit ones of them when it clips: scaled to
// 32 bits, rounded to the nearest (ties to even), the upper half kept, NaN
// as the lowest. Done here, without a branch so that the compiler makes the
// loop wide, it costs a small part of libsndfile's own per-sample loop, and
// the files stay byte for byte what libsndfile would write.
void to_pcm16(std::span<const float> samples, std::int16_t* out) {
    constexpr float kFull = 2147483648.0f;      // 2^31
    constexpr float kBelowFull = 2147483520.0f; // the float next below it
    constexpr float kWhole = 8388608.0f;        // 2^23: from here on a float is whole
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float scaled = samples[i] * kFull;
        // Adding 2^23 of the same sign leaves no bits below the point, so the
        // sum rounds as the (nearest) rounding mode does.
        const float magic = std::fabs(scaled) < kWhole ? std::copysign(kWhole, scaled) : 0.0f;
        float v = (scaled + magic) - magic;
        v = v > -kFull ? v : -kFull;
        v = v < kBelowFull ? v : kBelowFull;
        out[i] = static_cast<std::int16_t>(static_cast<std::int32_t>(v) >> 16);
    }
}

} // namespace

AudioFileWriter::AudioFileWriter(int fd, std::uint32_t rate, ExportFormat format)
    : sink_(std::make_unique<Sink>()) {
    sink_->fd = fd;
    sink_->pending.reserve(kGathered);
    sink_->pcm16 = format == ExportFormat::wav16;
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = sndfile_format(format);
    sink_->file = sf_open_virtual(&io, SFM_WRITE, &info, sink_.get());
    if (sink_->file == nullptr) {
        sink_->fail(EIO);
        return;
    }
    sf_command(sink_->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (format == ExportFormat::ogg_vorbis) {
        double quality = kVorbisQuality;
        sf_command(sink_->file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
}

AudioFileWriter::~AudioFileWriter() {
    close();
}

bool AudioFileWriter::write(std::span<const float> stereo) {
    if (sink_->file == nullptr || sink_->error != 0) {
        return false;
    }
    const auto frames = static_cast<sf_count_t>(stereo.size() / 2);
    sf_count_t written = 0;
    if (sink_->pcm16) {
        std::vector<std::int16_t>& shorts = sink_->shorts;
        shorts.resize(stereo.size());
        to_pcm16(stereo, shorts.data());
        written = sf_writef_short(sink_->file, shorts.data(), frames);
    } else {
        written = sf_writef_float(sink_->file, stereo.data(), frames);
    }
    if (written != frames) {
        sink_->fail(EIO);
    }
    return sink_->error == 0;
}

int AudioFileWriter::close() {
    if (sink_->file != nullptr) {
        if (sf_close(sink_->file) != 0) {
            sink_->fail(EIO);
        }
        sink_->file = nullptr;
        sink_->flush();
    }
    return sink_->error;
}

} // namespace qx375
