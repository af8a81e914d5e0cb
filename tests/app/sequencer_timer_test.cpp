#include "app/sequencer_timer.h"

#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
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

// Offline, on a clock that never lags: every tick lands on the start plus the
// sum of the intervals so far, however often the interval changes. Sizes that
// alternate at every pattern must not lose a fraction of a frame at each
// change, or a long song drifts away from its tempo.
TEST(SequencerTimerTest, ChangedIntervalsAddUpWithoutDrift) {
    const std::pair<int, int> pairs[] = {{106, 160}, {97, 91}, {10, 11}};
    for (const auto& [first, second] : pairs) {
        AudioClock clock;
        std::uint64_t frame = 0;
        std::unique_ptr<SequencerTimer> timer;
        int ticks = 0;
        timer = std::make_unique<SequencerTimer>(clock, kRate, kLead, [&] {
            if (++ticks % 16 == 0) {
                timer->setInterval(ticks / 16 % 2 == 0 ? first : second);
            }
        });
        timer->run_offline([&] {
            return std::chrono::steady_clock::time_point(std::chrono::hours(1)) +
                   std::chrono::microseconds(frame * 1'000'000 / kRate);
        });
        timer->setInterval(first);
        timer->setEnabled(true);
        // The run starts one interval before its first tick.
        const std::uint64_t start = timer->next_tick_frame() - first * kRate / 1000;
        std::uint64_t elapsed_ms = static_cast<std::uint64_t>(first);
        for (int k = 0; k < 3200; ++k) {
            frame = timer->due_frame();
            timer->tick();
            ASSERT_EQ(timer->tick_frame(), start + elapsed_ms * kRate / 1000)
                << first << "/" << second << " ms, tick " << k;
            elapsed_ms += static_cast<std::uint64_t>(timer->interval());
        }
    }
}

} // namespace
} // namespace qx375::test
