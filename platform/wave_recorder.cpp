#include "platform/wave_recorder.h"

#include "platform/audio_file_writer.h"
#include "util/file_io.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qx375 {
namespace {

// Often enough that the tap's ring (seconds of sound) never fills, seldom
// enough to cost nothing.
constexpr auto kDrainInterval = std::chrono::milliseconds(20);
constexpr std::size_t kChunkFrames = 8192;
constexpr std::size_t kFrameBytes = 2 * sizeof(float);

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

// Writes frames [from, from + frames) of the take into `fd` as a stereo file
// of the format, integers clipped at full scale; 0, or the error number of
// the failure.
int write_wave(int fd, int take, std::uint64_t from, std::uint64_t frames, std::uint32_t rate,
               ExportFormat format) {
    AudioFileWriter wave(fd, rate, format);
    std::vector<float> chunk(2 * kChunkFrames);
    for (std::uint64_t done = 0; done < frames;) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunkFrames, frames - done));
        if (const int e = read_all(take, chunk.data(), n * kFrameBytes,
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

std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file `path` finally stands for, through symbolic links, even where the
// last of them points at nothing yet: the take is written where the link
// points, so that is where a missing file is made.
std::string through_links(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        char link[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) == sizeof link) {
            return path;
        }
        const std::string to(link, static_cast<std::size_t>(n));
        path = to.front() == '/' ? to : directory_of(path) + "/" + to;
    }
    return path;
}

// The file a take is to be written to, as open() found it.
struct Target {
    std::string path; // through its links
    bool created = false;
    bool regular = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// Opens the file `name` stands for, for writing, to learn at once whether it
// can be written: an existing file is not truncated; a missing one is
// created, empty. Not blocking, so that a pipe nobody reads refuses instead
// of hanging. 0, or the error number of the failure.
int check_target(const std::string& name, Target& target) {
    target.path = through_links(name);
    const char* path = target.path.c_str();
    // A file made by someone else between the two opens is opened as an
    // existing one on the second round.
    for (int round = 0; round < 2; ++round) {
        int fd = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        target.created = false;
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST) {
                continue;
            }
            target.created = fd >= 0;
        }
        if (fd < 0) {
            return errno;
        }
        struct stat info;
        const int error = ::fstat(fd, &info) == 0 ? 0 : errno;
        ::close(fd);
        if (error != 0) {
            if (target.created) {
                ::unlink(path);
            }
            return error;
        }
        target.regular = S_ISREG(info.st_mode);
        target.device = info.st_dev;
        target.inode = info.st_ino;
        return 0;
    }
    return EEXIST;
}

// A folder that lets no new file be made, where an existing file may still
// be written.
bool refuses_new_files(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG;
}

// A file in `folder` without a name, so that it lives as long as its
// descriptor and not a moment longer, whatever way the program ends. Where
// the file system has no such files, one is named and unlinked at once.
// 0, or the error number of the failure.
int make_unnamed_file(const std::string& folder, int& fd) {
    fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return 0;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return errno;
    }
    std::string name = folder + "/.qx375-recording-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    ::unlink(name.c_str());
    return 0;
}

int make_file_in_system_temporary_folder(int& fd) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    return ec ? ec.value() : make_unnamed_file(folder.string(), fd);
}

} // namespace

WaveRecorder::WaveRecorder(CaptureTap& tap, std::uint32_t rate) : tap_(tap), rate_(rate) {}

WaveRecorder::~WaveRecorder() {
    close(false);
}

RecorderResult WaveRecorder::open(const std::string& target) {
    close(true);
    Target checked;
    if (const int error = check_target(target, checked); error != 0) {
        return {status_of_error(error, target)};
    }
    // A device or a pipe is written in place, so its folder is no better a
    // home for the take than the system's.
    int fd = -1;
    int error = 0;
    if (checked.regular) {
        error = make_unnamed_file(directory_of(checked.path), fd);
    }
    if (!checked.regular || refuses_new_files(error)) {
        error = make_file_in_system_temporary_folder(fd);
    }
    if (error != 0) {
        if (checked.created) {
            ::unlink(checked.path.c_str());
        }
        return {status_of_error(error, target)};
    }
    fd_ = fd;
    file_name_ = target;
    if (checked.created) {
        created_ = CreatedFile{checked.path, checked.device, checked.inode};
    }
    return {};
}

RecorderResult WaveRecorder::record() {
    wait_for_finish();
    if (!is_open()) {
        return {status_of_error(EBADF, file_name_)};
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
        return {status_of_error(e.code().value(), file_name_)};
    }
    capturing_.store(true, std::memory_order_release);
    return {};
}

void WaveRecorder::stop() {
    wait_for_finish();
    end_capture();
}

void WaveRecorder::begin_at(std::uint64_t frame) {
    wait_for_finish();
    begin_ = frame;
}

void WaveRecorder::finish_at(std::uint64_t frame, std::chrono::milliseconds patience) {
    wait_for_finish();
    outcome_.reset();
    finishing_.store(true, std::memory_order_release);
    try {
        finisher_ = std::thread([this, frame, patience] {
            outcome_ = finish(frame, patience);
            finishing_.store(false, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        // Without a thread of its own the finish runs here: late, but the
        // take is not lost.
        outcome_ = finish(frame, patience);
        finishing_.store(false, std::memory_order_release);
    }
}

std::optional<RecorderResult> WaveRecorder::take_outcome() {
    if (finishing()) {
        return std::nullopt;
    }
    wait_for_finish();
    return std::exchange(outcome_, std::nullopt);
}

RecorderResult WaveRecorder::save(bool keep_lost) {
    wait_for_finish();
    outcome_.reset();
    end_capture();
    return write(keep_lost);
}

void WaveRecorder::discard() {
    close(true);
}

std::uint64_t WaveRecorder::overrun_frames() const {
    std::lock_guard lock(mutex_);
    return earlier_overruns_ + (recording() ? tap_.overrun_frames() : 0);
}

std::optional<std::uint64_t> WaveRecorder::first_frame() const {
    if (!has_first_frame_.load(std::memory_order_acquire)) {
        return std::nullopt;
    }
    return first_frame_.load(std::memory_order_relaxed);
}

void WaveRecorder::wait_for_finish() {
    if (finisher_.joinable()) {
        finisher_.join();
    }
}

void WaveRecorder::end_capture() {
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
    std::lock_guard lock(mutex_);
    earlier_overruns_ += tap_.overrun_frames();
    capturing_.store(false, std::memory_order_release);
}

void WaveRecorder::close(bool remove_created) {
    wait_for_finish();
    end_capture();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    // Only an empty file that is still the one made by open(): anything else
    // at that name is someone's data.
    struct stat info;
    if (remove_created && created_ && ::lstat(created_->path.c_str(), &info) == 0 &&
        S_ISREG(info.st_mode) && info.st_dev == created_->device &&
        info.st_ino == created_->inode && info.st_size == 0) {
        ::unlink(created_->path.c_str());
    }
    created_.reset();
    file_name_.clear();
    outcome_.reset();
    frames_.store(0, std::memory_order_release);
    has_first_frame_.store(false, std::memory_order_release);
    begin_ = 0;
    end_.reset();
    {
        std::lock_guard lock(mutex_);
        earlier_overruns_ = 0;
    }
    write_errno_ = 0;
}

std::optional<std::uint64_t> WaveRecorder::reached_frame() const {
    const std::optional<std::uint64_t> first = first_frame();
    if (!first) {
        return std::nullopt;
    }
    return *first + recorded_frames() + overrun_frames();
}

RecorderResult WaveRecorder::finish(std::uint64_t frame, std::chrono::milliseconds patience) {
    const auto give_up = std::chrono::steady_clock::now() + patience;
    while (recording() && std::chrono::steady_clock::now() < give_up) {
        if (reached_frame().value_or(0) >= frame) {
            break;
        }
        std::this_thread::sleep_for(kDrainInterval / 4);
    }
    end_capture();
    end_ = frame;
    return write(false);
}

RecorderResult WaveRecorder::write(bool keep_lost) {
    if (!is_open()) {
        return {status_of_error(EBADF, file_name_)};
    }
    if (write_errno_ != 0) {
        return {status_of_error(write_errno_, file_name_)};
    }
    // Frames dropped on the way, and those the output never reached before
    // the capture ended.
    std::uint64_t lost = overrun_frames();
    if (end_) {
        const std::uint64_t reached = std::max(begin_, reached_frame().value_or(begin_));
        lost += *end_ > reached ? *end_ - reached : 0;
    }
    if (lost > 0 && !keep_lost) {
        return {{}, lost};
    }
    // The frames of the take from its beginning to its end, as far as they
    // were captured.
    const std::uint64_t first = first_frame().value_or(0);
    const std::uint64_t frames = recorded_frames();
    const std::uint64_t from = std::min(frames, begin_ > first ? begin_ - first : 0);
    const std::uint64_t to =
        std::clamp(end_ ? (*end_ > first ? *end_ - first : 0) : frames, from, frames);
    const FileStatus status = replace_file_with(
        file_name_, [&](int fd) { return write_wave(fd, fd_, from, to - from, rate_, format_); });
    if (status) {
        created_.reset(); // it holds the take now
    }
    return {status};
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
        // After a failed write the take is lost; what follows is read only to
        // be thrown away.
        if (write_errno_ == 0) {
            write_errno_ = write_all(fd_, chunk.data(), got * kFrameBytes);
            if (write_errno_ == 0) {
                frames_.fetch_add(got, std::memory_order_release);
            }
        }
    }
}

} // namespace qx375
