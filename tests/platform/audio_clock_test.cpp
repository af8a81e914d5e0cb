#include "platform/audio_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qx375 {
namespace {

using Clock = std::chrono::steady_clock;

// The time the audio thread gives each frame it publishes; frame 0 has the
// time of a clock that has published nothing yet.
Clock::time_point time_of(std::uint64_t frame) {
    return Clock::time_point(std::chrono::nanoseconds(frame * 22676));
}

// The audio thread publishes after every block while the window thread reads:
// a reading is always one publication, never the frame of one with the time
// of another, and the clock never goes back.
TEST(AudioClock, ReadersSeeWholePublicationsInOrder) {
    constexpr std::uint64_t kBlock = 256;
    constexpr std::uint64_t kLastFrame = 1000000 * kBlock;
    AudioClock clock;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (std::uint64_t frame = kBlock; !done.load(std::memory_order_relaxed); frame += kBlock) {
            clock.publish(frame, time_of(frame));
        }
    });
    int torn = 0;
    int backwards = 0;
    for (std::uint64_t last = 0; last < kLastFrame;) {
        const ClockReading reading = clock.read();
        torn += reading.time != time_of(reading.frame) ? 1 : 0;
        backwards += reading.frame < last ? 1 : 0;
        last = reading.frame;
    }
    done = true;
    audio.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(backwards, 0);
}

} // namespace
} // namespace qx375
