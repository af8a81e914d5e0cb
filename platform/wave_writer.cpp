#include "platform/wave_writer.h"

#include "util/file_io.h"

#include <sndfile.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace qx375 {

// libsndfile writes through these calls, so that every failure is kept.
struct WaveWriter::Sink {
    int fd;
    int error = 0;
    SNDFILE* file = nullptr;

    void fail(int e) {
        if (error == 0) {
            error = e;
        }
    }
};

namespace {

using Sink = WaveWriter::Sink;

sf_count_t sink_length(void* user) {
    struct stat info;
    return ::fstat(static_cast<Sink*>(user)->fd, &info) == 0 ? info.st_size : 0;
}

sf_count_t sink_seek(sf_count_t offset, int whence, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const off_t at = ::lseek(sink->fd, offset, whence);
    if (at < 0) {
        sink->fail(errno);
    }
    return at;
}

sf_count_t sink_read(void* data, sf_count_t count, void* user) {
    const ssize_t n = ::read(static_cast<Sink*>(user)->fd, data, static_cast<std::size_t>(count));
    return n < 0 ? 0 : n;
}

sf_count_t sink_write(const void* data, sf_count_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    if (sink->error != 0) {
        return 0;
    }
    sink->fail(write_all(sink->fd, data, static_cast<std::size_t>(count)));
    return sink->error == 0 ? count : 0;
}

sf_count_t sink_tell(void* user) {
    return ::lseek(static_cast<Sink*>(user)->fd, 0, SEEK_CUR);
}

SF_VIRTUAL_IO io{sink_length, sink_seek, sink_read, sink_write, sink_tell};

int format_of(WaveWriter::Samples samples) {
    switch (samples) {
    case WaveWriter::Samples::pcm24:
        return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    case WaveWriter::Samples::float32:
        return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    case WaveWriter::Samples::pcm16:
        break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

} // namespace

WaveWriter::WaveWriter(int fd, std::uint32_t rate, Samples samples)
    : sink_(std::make_unique<Sink>()) {
    sink_->fd = fd;
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = format_of(samples);
    sink_->file = sf_open_virtual(&io, SFM_WRITE, &info, sink_.get());
    if (sink_->file == nullptr) {
        sink_->fail(EIO);
        return;
    }
    sf_command(sink_->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

WaveWriter::~WaveWriter() {
    close();
}

bool WaveWriter::write(std::span<const float> stereo) {
    if (sink_->file == nullptr || sink_->error != 0) {
        return false;
    }
    const auto frames = static_cast<sf_count_t>(stereo.size() / 2);
    if (sf_writef_float(sink_->file, stereo.data(), frames) != frames) {
        sink_->fail(EIO);
    }
    return sink_->error == 0;
}

int WaveWriter::close() {
    if (sink_->file != nullptr) {
        if (sf_close(sink_->file) != 0) {
            sink_->fail(EIO);
        }
        sink_->file = nullptr;
    }
    return sink_->error;
}

} // namespace qx375
