#include "app/sequencer_timer.h"

#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
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

struct Stamp {
    std::uint64_t frame;
    std::chrono::steady_clock::time_point at;
};

// The frames the ticks of a 10 ms timer stamped during `ms`, and when they
// ran, with `during_tick` run inside each tick.
std::vector<Stamp> stamps(const AudioClock& clock, int ms,
                          const std::function<void(std::size_t)>& during_tick = {}) {
    std::vector<Stamp> ticks;
    std::unique_ptr<SequencerTimer> timer;
    timer = std::make_unique<SequencerTimer>(clock, kRate, kLead, [&] {
        ticks.push_back({timer->tick_frame(), std::chrono::steady_clock::now()});
        if (during_tick) {
            during_tick(ticks.size());
        }
    });
    timer->setInterval(10);
    timer->setEnabled(true);
    QTest::qWait(ms);
    timer->setEnabled(false);
    EXPECT_LE(timer->lateness().percentile(0.5), SequencerTimer::kTickLateness);
    return ticks;
}

// Whether the GUI thread stood still just before tick k: one of the last few
// ticks, from tick `first` on, came 25 ms or more after the one before it. A
// busy machine does that now and then, and the grid then rightly moves;
// anywhere else a move is a fault of the timer.
bool stalled_before(const std::vector<Stamp>& ticks, std::size_t k, std::size_t first = 1) {
    for (std::size_t j = k; j >= first && j + 5 > k; --j) {
        if (ticks[j].at - ticks[j - 1].at >= std::chrono::milliseconds(25)) {
            return true;
        }
    }
    return false;
}

// A sound card a little off its rate must not pull the beat apart from the
// ticks: they follow its clock, so the grid never has to move.
TEST(SequencerTimerTest, TicksFollowAnOutputClockThatRunsFastOrSlow) {
    for (double speed : {1.05, 0.95}) {
        SkewedOutput output(speed);
        const auto ticks = stamps(output.clock, 1500);
        ASSERT_GT(ticks.size(), 100u) << speed;
        for (std::size_t k = 1; k < ticks.size(); ++k) {
            if (!stalled_before(ticks, k)) {
                ASSERT_EQ(ticks[k].frame - ticks[k - 1].frame, kTenMs)
                    << "speed " << speed << ", tick " << k;
            }
        }
    }
}

// A stall longer than the look-ahead moves the grid once; the ticks after it
// keep the beat and none is played in a burst.
TEST(SequencerTimerTest, AStallMovesTheGridOnce) {
    SkewedOutput output(1.0);
    const auto ticks = stamps(output.clock, 800, [](std::size_t tick) {
        if (tick == 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    });
    ASSERT_GT(ticks.size(), 40u);
    for (std::size_t k = 1; k < ticks.size(); ++k) {
        const std::uint64_t step = ticks[k].frame - ticks[k - 1].frame;
        if (k == 20) {
            EXPECT_GT(step, kTenMs) << "the tick after the stall";
        } else if (!stalled_before(ticks, k, k > 20 ? 21 : 1)) {
            EXPECT_EQ(step, kTenMs) << "tick " << k;
        }
    }
}

// The ticks counted from a lateness on, to its millisecond, and beyond the
// last millisecond the histogram keeps.
TEST(LatenessHistogramTest, CountsTheTicksThatRanAtLeastSoLate) {
    using std::chrono::milliseconds;
    LatenessHistogram late;
    for (const int us : {-5, 0, 29'999, 30'000, 30'500, 2'000'000}) {
        late.add(std::chrono::microseconds(us));
    }
    EXPECT_EQ(late.at_least(milliseconds(-1)), 6u);
    EXPECT_EQ(late.at_least(milliseconds(0)), 6u);
    EXPECT_EQ(late.at_least(SequencerTimer::kTickLateness), 3u);
    EXPECT_EQ(late.at_least(milliseconds(31)), 1u);
    EXPECT_EQ(late.at_least(std::chrono::seconds(5)), 1u);
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

// Following a shared timeline, tick n sounds on the frame the timeline gives
// its beat, a step waits for a beat not placed yet, and a beat too late to
// land on is handed back instead of played.
struct Followed {
    SkewedOutput output{1.0};
    std::vector<std::uint64_t> frames;
    int behind = 0;
    std::unique_ptr<SequencerTimer> timer;
    double known_until = 1e9; // beats past this are not placed yet
    double base = 0;          // the frame of beat 0
    static constexpr double kFramesPerBeat = 22050;

    Followed() {
        timer = std::make_unique<SequencerTimer>(output.clock, kRate, kLead,
                                                 [this] { frames.push_back(timer->tick_frame()); });
        timer->follow(
            [this](double beat) -> std::optional<double> {
                if (beat > known_until) {
                    return std::nullopt;
                }
                return base + beat * kFramesPerBeat;
            },
            [this] {
                ++behind;
                timer->setEnabled(false);
            });
        timer->set_beats_per_step(0.25);
    }
    // A frame this far from the output's clock now.
    double ahead(std::chrono::milliseconds by) const {
        const auto now = std::chrono::steady_clock::now();
        return static_cast<double>(output.clock.read().frame_at(now, kRate) +
                                   static_cast<std::uint64_t>(by.count()) * kRate / 1000);
    }
    std::uint64_t frame_of(double beat) const {
        return static_cast<std::uint64_t>(std::round(base + beat * kFramesPerBeat));
    }
};

TEST(SequencerTimerTest, FollowingTicksLandOnTheTimelinesFrames) {
    Followed f;
    QTest::qWait(30);
    f.base = f.ahead(std::chrono::milliseconds(100)) - 2 * Followed::kFramesPerBeat;
    f.timer->set_first_beat(2.0);
    f.timer->setEnabled(true);
    QTest::qWait(700);
    f.timer->setEnabled(false);
    ASSERT_GE(f.frames.size(), 4u); // 125 ms a step
    for (std::size_t k = 0; k < f.frames.size(); ++k) {
        ASSERT_EQ(f.frames[k], f.frame_of(2.0 + 0.25 * k)) << "tick " << k;
    }
    EXPECT_EQ(f.behind, 0);
}

TEST(SequencerTimerTest, AFollowedStepWaitsForItsBeatAndLateOnesAreHandedBack) {
    Followed f;
    QTest::qWait(30);
    f.base = f.ahead(std::chrono::milliseconds(100));
    f.known_until = 0.5; // three steps, then the clock stops coming
    f.timer->set_first_beat(0);
    f.timer->setEnabled(true);
    QTest::qWait(500);
    ASSERT_EQ(f.frames.size(), 3u);
    // The clock comes back, its next beat 100 ms from now.
    f.base = f.ahead(std::chrono::milliseconds(100)) - 0.75 * Followed::kFramesPerBeat;
    f.known_until = 1e9;
    QTest::qWait(300);
    ASSERT_GT(f.frames.size(), 3u);
    EXPECT_EQ(f.frames[3], f.frame_of(0.75));
    EXPECT_EQ(f.behind, 0);
    // The timeline jumps back a second: no tick plays its past frames.
    const std::size_t before = f.frames.size();
    f.base -= kRate;
    QTest::qWait(200);
    EXPECT_EQ(f.behind, 1);
    EXPECT_FALSE(f.timer->isEnabled());
    EXPECT_LE(f.frames.size(), before + 1);
}

// On its own grid, the clock of a step lands on the frame the grid gives
// that fraction of the step: a whole step later is the next tick's frame.
TEST(SequencerTimerTest, FramesWithinATickFollowTheGridExactly) {
    AudioClock clock;
    std::uint64_t frame = 0;
    SequencerTimer timer(clock, kRate, kLead, [] {});
    timer.run_offline([&] {
        return std::chrono::steady_clock::time_point(std::chrono::hours(1)) +
               std::chrono::microseconds(frame * 1'000'000 / kRate);
    });
    timer.setInterval(135);
    timer.setEnabled(true);
    for (int k = 0; k < 500; ++k) {
        frame = timer.due_frame();
        timer.tick();
        const std::uint64_t next = timer.next_tick_frame();
        ASSERT_EQ(timer.frame_after_tick(0, 96), timer.tick_frame());
        ASSERT_EQ(timer.frame_after_tick(96, 96), next);
        ASSERT_LE(timer.frame_after_tick(16, 96), timer.frame_after_tick(17, 96));
    }
}

} // namespace
} // namespace qx375::test
