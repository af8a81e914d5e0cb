#include "platform/wave_recorder.h"

#include "platform/wave_writer.h"
#include "util/file_io.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace qx375 {
namespace {

// Often enough that the tap's ring (seconds of sound) never fills, seldom
// enough to cost nothing.
constexpr auto kDrainInterval = std::chrono::milliseconds(20);
constexpr std::size_t kChunkFrames = 8192;
constexpr std::size_t kFrameBytes = 2 * sizeof(float);

std::string reason(int error) {
    return std::generic_category().message(error);
}

// The error number of the failure, or 0; a file shorter than asked is EIO.
int read_all(int fd, void* data, std::size_t size, off_t at) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        p += n;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

// Writes frames [from, from + frames) of the recording into `fd` as a 16-bit
// stereo WAV file, clipped at full scale; 0, or the error number of the failure.
int write_wave(int fd, int recording, std::uint64_t from, std::uint64_t frames,
               std::uint32_t rate) {
    WaveWriter wave(fd, rate, WaveWriter::Samples::pcm16);
    std::vector<float> chunk(2 * kChunkFrames);
    for (std::uint64_t done = 0; done < frames;) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunkFrames, frames - done));
        if (const int e = read_all(recording, chunk.data(), n * kFrameBytes,
                                   static_cast<off_t>((from + done) * kFrameBytes));
            e != 0) {
            wave.close();
            return e;
        }
        if (!wave.write(std::span(chunk).first(2 * n))) {
            break;
        }
        done += n;
    }
    return wave.close();
}

} // namespace

WaveRecorder::WaveRecorder(CaptureTap& tap, std::uint32_t rate) : tap_(tap), rate_(rate) {}

WaveRecorder::~WaveRecorder() {
    close();
}

RecorderResult WaveRecorder::open() {
    close();
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
        return {"Cannot create the temporary recording file: " + ec.message()};
    }
    std::string name = (folder / "qx375-recording-XXXXXX").string();
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return {"Cannot create the temporary recording file in " + folder.string() + ": " +
                reason(errno)};
    }
    // The recording lives as long as its descriptor, and not a moment longer,
    // whatever way the program ends.
    ::unlink(name.c_str());
    fd_ = fd;
    return {};
}

RecorderResult WaveRecorder::record() {
    if (!is_open()) {
        return {"The recorder is not open."};
    }
    if (recording()) {
        return {};
    }
    tap_.start();
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    try {
        drain_ = std::thread([this] { drain_loop(); });
    } catch (const std::system_error& e) {
        tap_.stop();
        return {std::string("Cannot start the recording: ") + e.what()};
    }
    return {};
}

void WaveRecorder::stop() {
    if (!recording()) {
        return;
    }
    // After the tap's stop nothing more arrives, so the drain's last round,
    // which begins after it, takes everything.
    tap_.stop();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    drain_.join();
    earlier_overruns_ += tap_.overrun_frames();
}

void WaveRecorder::stop_at(std::uint64_t frame, std::chrono::milliseconds patience) {
    const auto give_up = std::chrono::steady_clock::now() + patience;
    while (recording() && std::chrono::steady_clock::now() < give_up) {
        const std::optional<std::uint64_t> first = first_frame();
        if (first && *first + recorded_frames() >= frame) {
            break;
        }
        std::this_thread::sleep_for(kDrainInterval / 4);
    }
    stop();
    end_ = frame;
}

RecorderResult WaveRecorder::save() {
    stop();
    if (file_name_.empty()) {
        return {};
    }
    const auto fail = [&](const std::string& why) {
        return RecorderResult{"Cannot save the recording as " + file_name_ + ": " + why};
    };
    if (!is_open()) {
        return fail("nothing has been recorded.");
    }
    if (write_errno_ != 0) {
        return fail("the recording could not be kept in the temporary folder: " +
                    reason(write_errno_));
    }
    // The frames of the recording from its beginning to its end, as far as
    // they were captured.
    const std::uint64_t first = first_frame().value_or(0);
    const std::uint64_t frames = recorded_frames();
    const std::uint64_t from = std::min(frames, begin_ > first ? begin_ - first : 0);
    const std::uint64_t to =
        std::clamp(end_ ? (*end_ > first ? *end_ - first : 0) : frames, from, frames);
    const FileStatus written = replace_file_with(
        file_name_, [&](int fd) { return write_wave(fd, fd_, from, to - from, rate_); });
    return written ? RecorderResult{} : fail(reason(written.error));
}

std::uint64_t WaveRecorder::overrun_frames() const {
    return earlier_overruns_ + (recording() ? tap_.overrun_frames() : 0);
}

std::optional<std::uint64_t> WaveRecorder::first_frame() const {
    if (!has_first_frame_.load(std::memory_order_acquire)) {
        return std::nullopt;
    }
    return first_frame_.load(std::memory_order_relaxed);
}

void WaveRecorder::close() {
    stop();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    frames_.store(0, std::memory_order_release);
    has_first_frame_.store(false, std::memory_order_release);
    begin_ = 0;
    end_.reset();
    earlier_overruns_ = 0;
    write_errno_ = 0;
}

void WaveRecorder::drain_loop() {
    std::vector<float> chunk(2 * kChunkFrames);
    std::unique_lock lock(mutex_);
    for (;;) {
        const bool last = wake_.wait_for(lock, kDrainInterval, [this] { return stopping_; });
        lock.unlock();
        drain(chunk);
        lock.lock();
        if (last) {
            return;
        }
    }
}

void WaveRecorder::drain(std::vector<float>& chunk) {
    for (std::size_t got; (got = tap_.read(chunk)) > 0;) {
        // Frames read mean the capture has begun, so its first frame is known.
        if (!has_first_frame_.load(std::memory_order_relaxed)) {
            first_frame_.store(tap_.first_frame(), std::memory_order_relaxed);
            has_first_frame_.store(true, std::memory_order_release);
        }
        // After a failed write the recording is lost; what follows is read
        // only to be thrown away.
        if (write_errno_ == 0) {
            write_errno_ = write_all(fd_, chunk.data(), got * kFrameBytes);
            if (write_errno_ == 0) {
                frames_.fetch_add(got, std::memory_order_release);
            }
        }
    }
}

} // namespace qx375
