#pragma once

#include "platform/capture_tap.h"
#include "platform/export_format.h"
#include "util/file_status.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace qx375 {

// What became of a take: the status of its file, and the frames it lost
// where that kept it from being written.
struct [[nodiscard]] RecorderResult {
    FileStatus status;
    std::uint64_t lost_frames = 0;

    bool ok() const { return status && lost_frames == 0; }
};

// The wave-audio recorder of the song export. It records the program's own
// mix from the mixer's capture tap: record() starts a thread that drains the
// tap every 20 ms into an unnamed file beside the target, so neither the
// audio thread nor the window thread ever writes to disk while the song
// plays; the end of the take turns it into a stereo file, by default a
// 16-bit WAV file.
//
// The verbs are called from one thread (the window's); each first waits for
// a running finish_at(). A take is held from open() to the next open(), a
// discard() or the end of the recorder, written or not.
class WaveRecorder {
public:
    WaveRecorder(CaptureTap& tap, std::uint32_t rate);
    // Ends the capture and drops the take; the target stays as it is.
    ~WaveRecorder();
    WaveRecorder(const WaveRecorder&) = delete;
    WaveRecorder& operator=(const WaveRecorder&) = delete;

    // Prepares a new, empty take to be written to `target`, dropping the one
    // held so far as discard() does. It checks at once that the target can be
    // written: a missing target is created, empty; an existing one is opened
    // for writing and keeps its content until the take is written. The take's
    // data goes to an unnamed file in the target's folder, whose free space is
    // what the take needs; to the system's temporary folder where that folder
    // lets no new file be made, or where the target is a device or a pipe. On
    // failure the recorder holds nothing and nothing is left behind.
    RecorderResult open(const std::string& target);
    // Starts capturing with the next output block and returns at once. After
    // a stop it goes on at the end of the same take.
    RecorderResult record();
    // Ends the capture; returns once every captured frame is in the take.
    void stop();
    // The take begins with this output frame, the one the first sound of the
    // song was stamped for: what was mixed before it is left out.
    void begin_at(std::uint64_t frame);
    // The rate the take is written at: the output's, which a sound server
    // chooses when the output opens.
    void set_rate(std::uint32_t rate) { rate_ = rate; }
    // The format the take is written in; a 16-bit WAV file unless told.
    void set_format(ExportFormat format) { format_ = format; }

    // Returns at once. On a thread of the recorder it waits until the output
    // has mixed everything up to `frame`, where the song's last step ends, but
    // no longer than `patience`; ends the capture at that frame; and writes
    // the take as save() does.
    void finish_at(std::uint64_t frame, std::chrono::milliseconds patience);
    bool finishing() const { return finishing_.load(std::memory_order_acquire); }
    // Nothing while a finish runs or when none has run; once it is done, its
    // outcome, once. A later open(), save() or discard() drops an outcome not
    // taken.
    std::optional<RecorderResult> take_outcome();

    // Ends the capture and writes the take now, on the calling thread, in
    // the format set. A take that lost frames (the drain fell behind,
    // or the output did not reach the end frame in time) is written only with
    // `keep_lost`, and then counts as whole; otherwise the result counts the
    // frames and nothing is written. The file appears complete or not at all:
    // an existing file is replaced only by a finished one, except in a folder
    // that lets no new file be made beside it, where the file is rewritten in
    // place. A failed write keeps the take, which can then be saved again or
    // discarded.
    RecorderResult save(bool keep_lost = false);
    // Ends the capture and drops the take. A target that open() created is
    // removed, unless something has been written to it since.
    void discard();

    const std::string& file_name() const { return file_name_; }
    bool is_open() const { return fd_ >= 0; }
    bool recording() const { return capturing_.load(std::memory_order_acquire); }
    // Frames in the take so far.
    std::uint64_t recorded_frames() const { return frames_.load(std::memory_order_acquire); }
    // Frames the audio thread dropped because the drain fell behind; each one
    // is missing from the take.
    std::uint64_t overrun_frames() const;
    // The output frame the take begins with, once its first block is in.
    std::optional<std::uint64_t> first_frame() const;

private:
    // The file open() made for the take, as it was made.
    struct CreatedFile {
        std::string path;
        dev_t device;
        ino_t inode;
    };

    void wait_for_finish();
    void end_capture();
    void close(bool remove_created);
    // The output frame the capture has come to, counting dropped frames.
    std::optional<std::uint64_t> reached_frame() const;
    RecorderResult finish(std::uint64_t frame, std::chrono::milliseconds patience);
    RecorderResult write(bool keep_lost);
    void drain_loop();
    void drain(std::vector<float>& chunk);

    CaptureTap& tap_;
    std::uint32_t rate_;
    ExportFormat format_ = ExportFormat::wav16;
    std::string file_name_;
    std::optional<CreatedFile> created_;
    int fd_ = -1; // the take: raw interleaved floats, unnamed

    std::thread drain_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;              // guarded by mutex_
    std::uint64_t earlier_overruns_ = 0; // of the captures stopped so far; guarded by mutex_
    std::atomic<bool> capturing_{false};

    std::thread finisher_;
    std::atomic<bool> finishing_{false};
    std::optional<RecorderResult> outcome_; // the finisher's, read once it has ended

    std::atomic<std::uint64_t> frames_{0};
    std::atomic<bool> has_first_frame_{false};
    std::atomic<std::uint64_t> first_frame_{0};
    std::uint64_t begin_ = 0; // output frames of the written part
    std::optional<std::uint64_t> end_;
    int write_errno_ = 0; // set by the drain thread; read once it has ended
};

} // namespace qx375
