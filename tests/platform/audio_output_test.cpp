#include "audio_rig.h"
#include "support/fake_card.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace qx375 {
namespace {

using test::card_opener;
using test::CardShop;
using testing::AudioRig;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kRate = AudioOutput::kRate;
constexpr std::uint32_t kBlock = AudioOutput::kBlockFrames;

Clock::duration frames_time(std::uint64_t frames) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(frames) / kRate));
}

// How far `later` strays from where `earlier` says its frame plays: what the
// sequencer, extrapolating from `earlier`, would take for a jump.
Clock::duration stray(const ClockReading& earlier, const ClockReading& later) {
    return later.time - (earlier.time + frames_time(later.frame - earlier.frame));
}

// The first reading of a block that starts after `frame`.
ClockReading reading_after(const AudioOutput& output, std::uint64_t frame) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    ClockReading reading = output.clock().read();
    while (reading.frame <= frame && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        reading = output.clock().read();
    }
    EXPECT_GT(reading.frame, frame) << "the clock stands still";
    return reading;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class CardSwitch : public ::testing::Test {
protected:
    // The card plays `blocks` blocks from now on, and goes away.
    ClockReading play_then_lose(AudioOutput& output, int blocks) {
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < blocks; ++i) {
            shop.current->play(t0 + frames_time(static_cast<std::uint64_t>(i) * kBlock));
        }
        shop.current->gone = true;
        return output.clock().read();
    }

    CardShop shop;
};

TEST_F(CardSwitch, LostCardHandsTheClockOnToTheNullClockWithoutAJump) {
    AudioOutput output(card_opener(shop));
    ASSERT_EQ(output.backend(), AudioBackendKind::sdl);
    ASSERT_TRUE(shop.current->started);
    EXPECT_FALSE(output.check_device()) << "a card that plays is kept";
    EXPECT_EQ(shop.released, 0);

    const ClockReading left = play_then_lose(output, 8);
    ASSERT_EQ(left.frame, 7 * kBlock);
    EXPECT_TRUE(output.check_device());
    EXPECT_EQ(shop.released, 1) << "the card is let go before the null clock renders";
    EXPECT_EQ(output.backend(), AudioBackendKind::null_clock);
    EXPECT_EQ(output.card_fault(), CardFault::lost);

    const ClockReading next = reading_after(output, left.frame);
    EXPECT_EQ(next.frame % kBlock, 0u);
    EXPECT_LT(std::chrono::abs(stray(left, next)), std::chrono::microseconds(1));
    EXPECT_FALSE(output.check_device()) << "the loss is told once";
    EXPECT_EQ(shop.asked, 1) << "the card is tried again only when asked";
}

// A card whose renders stopped long before it was seen gone: the null clock
// catches up at once rather than leaving the clock behind the sequencer.
TEST_F(CardSwitch, CardThatStalledBeforeItWentIsCaughtUp) {
    AudioOutput output(card_opener(shop));
    const Clock::time_point long_ago = Clock::now() - std::chrono::seconds(2);
    shop.current->play(long_ago);
    const ClockReading left = output.clock().read();
    shop.current->gone = true;
    ASSERT_TRUE(output.check_device());
    const ClockReading next = reading_after(output, kRate * 2);
    EXPECT_LT(std::chrono::abs(stray(left, next)), std::chrono::microseconds(1));
}

// What the export records goes on across the loss: no frame lost, and a
// sound stamped before the loss for a frame after it starts on that frame.
TEST_F(CardSwitch, RecordingGoesOnAcrossTheLossFrameForFrame) {
    AudioRig rig(card_opener(shop));
    CaptureTap& tap = rig.output.capture();
    tap.start();
    auto buffer = rig.mono(std::vector<float>(1000, 0.5f));
    constexpr std::uint64_t kStamped = 10 * kBlock + 77;
    rig.device->set_target_frame(kStamped);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    rig.device->set_target_frame(0);
    play_then_lose(rig.output, 4);
    ASSERT_TRUE(rig.output.check_device());

    std::vector<float> heard(2 * 12 * kBlock);
    std::size_t got = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (got < heard.size() / 2 && Clock::now() < deadline) {
        got += tap.read(std::span<float>(heard).subspan(2 * got));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(got, heard.size() / 2);
    EXPECT_EQ(tap.first_frame(), 0u);
    EXPECT_EQ(tap.overrun_frames(), 0u);
    EXPECT_EQ(heard[2 * (kStamped - 1)], 0.0f);
    EXPECT_NEAR(heard[2 * kStamped], 0.5f, 2e-4f);
}

TEST_F(CardSwitch, NoCardAtStartPlaysOnTheNullClockUntilOneCanBeOpened) {
    shop.available = false;
    AudioOutput output(card_opener(shop));
    EXPECT_EQ(output.backend(), AudioBackendKind::null_clock);
    EXPECT_EQ(output.card_fault(), CardFault::not_opened);
    EXPECT_FALSE(output.check_device());

    const ClockReading before = reading_after(output, 0);
    EXPECT_FALSE(output.reopen());
    EXPECT_EQ(shop.asked, 2);
    const ClockReading after = reading_after(output, before.frame);
    EXPECT_LT(std::chrono::abs(stray(before, after)), std::chrono::microseconds(1))
        << "a card still missing leaves the null clock running as it was";

    shop.available = true;
    std::optional<bool> null_clock_stopped;
    shop.on_start = [&] {
        const ClockReading a = output.clock().read();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        null_clock_stopped = a.frame == output.clock().read().frame;
    };
    ASSERT_TRUE(output.reopen());
    EXPECT_EQ(null_clock_stopped, true) << "two threads rendered at once";
    EXPECT_EQ(output.backend(), AudioBackendKind::sdl);
    EXPECT_EQ(output.card_fault(), CardFault::none);

    const ClockReading last_null = output.clock().read();
    shop.current->play(Clock::now());
    EXPECT_EQ(output.clock().read().frame, last_null.frame + kBlock)
        << "the card carries the frame count on";
    EXPECT_TRUE(output.reopen()) << "a card that plays is kept";
    EXPECT_EQ(shop.asked, 3);
}

// Through SDL itself: its dummy driver plays without a card, as a card that
// never goes away; a driver that does not exist is no card at all.
TEST(SdlCard, OpensWhatTheDriverOffers) {
    struct Case {
        const char* driver;
        AudioBackendKind backend;
        CardFault fault;
    };
    for (const Case& c :
         {Case{"dummy", AudioBackendKind::sdl, CardFault::none},
          Case{"no-such-driver", AudioBackendKind::null_clock, CardFault::not_opened}}) {
        ScopedEnv driver("SDL_AUDIODRIVER", c.driver);
        AudioOutput output(AudioBackendKind::automatic);
        EXPECT_EQ(output.backend(), c.backend) << c.driver;
        EXPECT_EQ(output.card_fault(), c.fault) << c.driver;
        reading_after(output, 4 * kBlock);
        EXPECT_FALSE(output.check_device()) << c.driver;
        EXPECT_EQ(output.reopen(), c.fault == CardFault::none) << c.driver;
    }
}

TEST(AudioOutput, TheSettingForcesJackOrSdlInAnyCaseAndAnythingElseTakesTheFirstThatAnswers) {
    EXPECT_EQ(output_setting("jack"), AudioBackendKind::jack);
    EXPECT_EQ(output_setting("JACK"), AudioBackendKind::jack);
    EXPECT_EQ(output_setting("Sdl"), AudioBackendKind::sdl);
    for (const char* other : {"auto", "", "pulse", "jack2", "sdl "}) {
        EXPECT_EQ(output_setting(other), AudioBackendKind::automatic) << other;
    }
}

} // namespace
} // namespace qx375
