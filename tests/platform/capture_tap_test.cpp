#include "platform/capture_tap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace qx375 {
namespace {

// Large blocks keep the audio thread inside capture() a good part of the
// time, where a capture that starts or stops must wait for it.
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBlock = 32768;

// Floats hold whole numbers exactly below 2^24; frame numbers wrap there.
float sample_of(std::uint64_t frame) {
    return static_cast<float>(frame % (1u << 24));
}

// An audio thread that hands the tap block after block, each sample its own
// output frame number, until it is destroyed.
class AudioThread {
public:
    explicit AudioThread(CaptureTap& tap)
        : thread_([this, &tap] {
              std::vector<float> block(2 * kBlock);
              for (std::uint64_t frame = 0; !done_.load(); frame += kBlock) {
                  for (std::size_t i = 0; i < kBlock; ++i) {
                      block[2 * i] = block[2 * i + 1] = sample_of(frame + i);
                  }
                  tap.capture(block, frame);
                  // Faster than a sound card, yet slow enough for the reader to keep up.
                  std::this_thread::sleep_for(std::chrono::microseconds(50));
              }
          }) {}
    ~AudioThread() {
        done_ = true;
        thread_.join();
    }
    AudioThread(const AudioThread&) = delete;
    AudioThread& operator=(const AudioThread&) = delete;

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Reads everything the tap holds, expecting the frames to follow on from
// `next`, which moves on past them. Where the first frame out of place was
// expected, or nothing.
std::optional<std::uint64_t> read_following(CaptureTap& tap, std::uint64_t& next) {
    std::vector<float> got(2 * 512);
    std::optional<std::uint64_t> misplaced;
    for (std::size_t n; (n = tap.read(got)) > 0;) {
        for (std::size_t i = 0; i < n; ++i, ++next) {
            if (!misplaced &&
                (got[2 * i] != sample_of(next) || got[2 * i + 1] != sample_of(next))) {
                misplaced = next;
            }
        }
    }
    return misplaced;
}

// Captures begin and end while the audio thread keeps writing, some after a
// stop, some straight over the one still running. Each begins with its own
// first frame, never with a frame of the one before, and goes on in order
// unless the reader fell behind; once stopped, nothing more arrives.
TEST(CaptureTap, CapturesStartAndStopCleanlyWhileTheAudioThreadWrites) {
    CaptureTap tap(1 << 20);
    AudioThread audio(tap);
    std::mt19937 random(375);
    std::uniform_int_distribution<int> pause_us(0, 200);
    for (int round = 0; round < 500; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Anywhere in the audio thread's round, not just after a block.
        const auto until = Clock::now() + std::chrono::microseconds(pause_us(random));
        while (Clock::now() < until) {
        }
        tap.start();
        while (!tap.started()) {
            std::this_thread::yield();
        }
        const std::uint64_t first = tap.first_frame();
        std::uint64_t next = first;
        std::optional<std::uint64_t> misplaced;
        while (next == first) {
            misplaced = read_following(tap, next);
        }
        ASSERT_NE(misplaced, first) << "the capture does not begin with its first frame";
        if (round % 2 == 0) {
            tap.stop();
            const std::optional<std::uint64_t> rest = read_following(tap, next);
            misplaced = misplaced ? misplaced : rest;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::vector<float> late(2 * kBlock);
            ASSERT_EQ(tap.read(late), 0u) << "a frame after the stop";
        }
        if (misplaced) {
            ASSERT_GT(tap.overrun_frames(), 0u) << "frame " << *misplaced << " out of place";
        }
    }
    tap.stop();
}

} // namespace
} // namespace qx375
