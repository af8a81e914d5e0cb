#pragma once

#include "platform/capture_tap.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qx375 {

// What a recorder verb came to: nothing, or the text to show the user.
struct [[nodiscard]] RecorderResult {
    std::string error;

    bool ok() const { return error.empty(); }
};

// The wave-audio recorder of the song export. It records the program's own
// mix from the mixer's capture tap: record() starts a thread that drains the
// tap every 20 ms into a temporary file, so neither the audio thread nor the
// window thread ever writes to disk while the song plays; save() turns the
// recording into a 16-bit stereo WAV file.
//
// The verbs are called from one thread (the window's). A recording is held
// from open() to the next open() or the end of the recorder, saved or not.
class WaveRecorder {
public:
    WaveRecorder(CaptureTap& tap, std::uint32_t rate);
    ~WaveRecorder();
    WaveRecorder(const WaveRecorder&) = delete;
    WaveRecorder& operator=(const WaveRecorder&) = delete;

    // Prepares a new, empty recording; the one held so far is dropped, and
    // stopped first if it still runs. Fails when the temporary file cannot be
    // created in the system's temporary folder.
    RecorderResult open();
    // Starts capturing with the next output block and returns at once. After
    // a stop it goes on at the end of the same recording.
    RecorderResult record();
    // Ends the capture; returns once every captured frame is in the recording.
    void stop();
    // The recording begins with this output frame, the one the first sound
    // of the song was stamped for: what was mixed before it is left out.
    void begin_at(std::uint64_t frame) { begin_ = frame; }
    // Ends the capture once the output has mixed everything up to `frame`,
    // where the song's last step ends, waiting no longer than `patience`; the
    // recording ends at that frame.
    void stop_at(std::uint64_t frame, std::chrono::milliseconds patience);

    // The name save() writes to; nothing is saved while it is empty.
    void set_file_name(std::string name) { file_name_ = std::move(name); }
    const std::string& file_name() const { return file_name_; }

    // Writes the recording (stopped first if it runs) as a 16-bit stereo WAV
    // file under the file name. The file appears complete or not at all: an
    // existing file of that name is replaced only by a finished one, except
    // in a folder that lets no new file be made beside it, where the file is
    // rewritten in place.
    RecorderResult save();

    bool is_open() const { return fd_ >= 0; }
    bool recording() const { return drain_.joinable(); }
    // Frames in the recording so far.
    std::uint64_t recorded_frames() const { return frames_.load(std::memory_order_acquire); }
    // Frames the audio thread dropped because the drain fell behind; each one
    // is missing from the recording.
    std::uint64_t overrun_frames() const;
    // The output frame the recording begins with, once its first block is in.
    std::optional<std::uint64_t> first_frame() const;

private:
    void close();
    void drain_loop();
    void drain(std::vector<float>& chunk);

    CaptureTap& tap_;
    const std::uint32_t rate_;
    std::string file_name_;
    int fd_ = -1; // the recording: raw interleaved floats, already unlinked

    std::thread drain_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false; // guarded by mutex_

    std::atomic<std::uint64_t> frames_{0};
    std::atomic<bool> has_first_frame_{false};
    std::atomic<std::uint64_t> first_frame_{0};
    std::uint64_t earlier_overruns_ = 0; // of the captures stopped so far
    std::uint64_t begin_ = 0;            // output frames of the saved part
    std::optional<std::uint64_t> end_;
    int write_errno_ = 0; // set by the drain thread; read once it has ended
};

} // namespace qx375
