#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace qx375 {

// Where the output stands: the frame that started playing at a moment of the
// steady clock. Frames count from 0 when the output starts.
struct ClockReading {
    std::uint64_t frame = 0;
    std::chrono::steady_clock::time_point time{};

    // The frame playing at `when`, extrapolated at `rate` frames per second;
    // before the output has rendered anything, its first frame.
    std::uint64_t frame_at(std::chrono::steady_clock::time_point when, std::uint32_t rate) const {
        if (time == std::chrono::steady_clock::time_point{}) {
            return frame;
        }
        const auto elapsed = std::chrono::duration<double>(when - time).count();
        const double frames = static_cast<double>(frame) + elapsed * rate;
        return frames <= 0 ? 0 : static_cast<std::uint64_t>(frames);
    }
};

// Published by the audio thread after every block, read by anyone: a seqlock,
// so the writer never waits and a reader retries the rare torn read. The
// fields are ordered by release stores and acquire loads rather than fences,
// which ThreadSanitizer cannot follow; on x86 both are plain moves. A reader
// that sees a field of a later publication has also seen that publication's
// odd count, so it cannot find the count unchanged.
class AudioClock {
public:
    void publish(std::uint64_t frame, std::chrono::steady_clock::time_point time) {
        const std::uint32_t seq = seq_.load(std::memory_order_relaxed);
        seq_.store(seq + 1, std::memory_order_relaxed);
        frame_.store(frame, std::memory_order_release);
        nanos_.store(time.time_since_epoch().count(), std::memory_order_release);
        seq_.store(seq + 2, std::memory_order_release);
    }

    ClockReading read() const {
        for (;;) {
            const std::uint32_t before = seq_.load(std::memory_order_acquire);
            const std::uint64_t frame = frame_.load(std::memory_order_acquire);
            const auto nanos = nanos_.load(std::memory_order_acquire);
            if ((before & 1) == 0 && seq_.load(std::memory_order_relaxed) == before) {
                using Clock = std::chrono::steady_clock;
                return {frame, Clock::time_point(Clock::duration(nanos))};
            }
        }
    }

private:
    std::atomic<std::uint32_t> seq_{0};
    std::atomic<std::uint64_t> frame_{0};
    std::atomic<std::chrono::steady_clock::rep> nanos_{0};
};

} // namespace qx375
