#include "app/sequencer_timer.h"

#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace qx375::test {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kLead = 512;
constexpr std::uint64_t kTenMs = 441;

// An output that publishes its clock as a sound card does, block by block,
// running `speed` times as fast as the steady clock says it should.
class SkewedOutput {
public:
    explicit SkewedOutput(double speed)
        : thread_([this, speed] {
              const auto start = std::chrono::steady_clock::now();
              while (running_) {
                  const auto now = std::chrono::steady_clock::now();
                  const double elapsed = std::chrono::duration<double>(now - start).count();
                  const auto frame = static_cast<std::uint64_t>(elapsed * kRate * speed);
                  clock.publish(frame / 256 * 256, now);
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
          }) {}
    ~SkewedOutput() {
        running_ = false;
        thread_.join();
    }

    AudioClock clock;

private:
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// The frames the ticks of a 10 ms timer stamped during `ms`, with
// `during_tick` run inside each tick.
std::vector<std::uint64_t> stamps(const AudioClock& clock, int ms,
                                  const std::function<void(std::size_t)>& during_tick = {}) {
    std::vector<std::uint64_t> frames;
    std::unique_ptr<SequencerTimer> timer;
    timer = std::make_unique<SequencerTimer>(clock, kRate, kLead, [&] {
        frames.push_back(timer->tick_frame());
        if (during_tick) {
            during_tick(frames.size());
        }
    });
    timer->setInterval(10);
    timer->setEnabled(true);
    QTest::qWait(ms);
    timer->setEnabled(false);
    EXPECT_LE(timer->lateness().percentile(0.5), SequencerTimer::kTickLateness);
    return frames;
}

// A sound card a little off its rate must not pull the beat apart from the
// ticks: they follow its clock, so the grid never has to move.
TEST(SequencerTimerTest, TicksFollowAnOutputClockThatRunsFastOrSlow) {
    for (double speed : {1.05, 0.95}) {
        SkewedOutput output(speed);
        const auto frames = stamps(output.clock, 1500);
        ASSERT_GT(frames.size(), 100u) << speed;
        for (std::size_t k = 1; k < frames.size(); ++k) {
            ASSERT_EQ(frames[k] - frames[k - 1], kTenMs) << "speed " << speed << ", tick " << k;
        }
    }
}

// A stall longer than the look-ahead moves the grid once; the ticks after it
// keep the beat and none is played in a burst.
TEST(SequencerTimerTest, AStallMovesTheGridOnce) {
    SkewedOutput output(1.0);
    const auto frames = stamps(output.clock, 800, [](std::size_t tick) {
        if (tick == 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    });
    ASSERT_GT(frames.size(), 40u);
    int moves = 0;
    for (std::size_t k = 1; k < frames.size(); ++k) {
        if (frames[k] - frames[k - 1] != kTenMs) {
            ++moves;
            EXPECT_EQ(k, 20u) << "the tick after the stall";
            EXPECT_GT(frames[k] - frames[k - 1], kTenMs);
        }
    }
    EXPECT_EQ(moves, 1);
}

} // namespace
} // namespace qx375::test
