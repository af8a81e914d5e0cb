#include "midi/clock.h"
#include "sync/clock_follower.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace qx375::sync {
namespace {

constexpr double kRate = 48000;
using Kind = ClockCommand::Kind;

// Sends clock at a tempo, each stamped with the frame it arrives at, up to
// `jitter` frames either side of where it falls; keeps the stamps.
struct Sender {
    explicit Sender(int jitter_frames = 0) : jitter(jitter_frames) { follower.set_rate(kRate); }

    void send(std::uint8_t status, int sixteenths = 0) {
        const auto bytes = midi::song_position(sixteenths);
        follower.receive(status, bytes[1], bytes[2], static_cast<std::uint64_t>(frame));
    }
    void clocks(int count, double bpm) {
        for (int i = 0; i < count; ++i) {
            stamps.push_back(std::llround(frame) +
                             std::uniform_int_distribution(-jitter, jitter)(random));
            follower.receive(midi::kClock, 0, 0, stamps.back());
            frame += 60 * kRate / (bpm * midi::kClocksPerBeat);
        }
    }
    std::optional<double> at_clock(double clock) const {
        return follower.frame_of_beat(clock / midi::kClocksPerBeat);
    }
    double stamp(std::size_t clock) const { return static_cast<double>(stamps[clock]); }
    ClockState state_after(double seconds) const {
        return follower.state(stamps.back() + static_cast<std::uint64_t>(seconds * kRate));
    }

    ClockFollower follower;
    int jitter;
    double frame = kRate;
    std::vector<std::uint64_t> stamps;
    std::mt19937 random{375};
};

TEST(ClockFollower, PlacesBeatsOnTheClocksReceivedAndTakesTheirTempo) {
    Sender sender(kRate / 1000); // ±1 ms
    sender.send(midi::kStart);
    sender.clocks(192, 120.0);
    for (std::size_t clock = 0; clock < 192; ++clock) {
        ASSERT_EQ(sender.at_clock(clock), sender.stamp(clock)) << clock; // 16-step steps among them
    }
    double previous = 0;
    for (int step = 0; step < 28; ++step) { // 14 steps fall between clocks
        const double clock = step * 96.0 / 14;
        const double frame = sender.at_clock(clock).value();
        EXPECT_GE(frame, sender.stamp(std::size_t(clock)));
        EXPECT_LT(frame, sender.stamp(std::size_t(clock) + 1));
        EXPECT_GT(frame, previous);
        previous = frame;
    }
    EXPECT_NEAR(sender.follower.bpm().value(), 120.0, 0.6);
    EXPECT_EQ(sender.follower.last_beat(), 191.0 / 24);
    EXPECT_FALSE(sender.at_clock(191.5)) << "not received yet";
    EXPECT_EQ(sender.state_after(0.5), ClockState::running);
    EXPECT_EQ(sender.state_after(1.01), ClockState::lost) << "two beats at 120 BPM";

    // Back three seconds later: the beats of the gap are not placed in a
    // burst, those after it are.
    sender.frame += 3 * kRate;
    sender.clocks(3, 120.0);
    for (int tenth = 1; tenth < 10; ++tenth) {
        EXPECT_FALSE(sender.at_clock(191 + tenth / 10.0)) << tenth;
    }
    EXPECT_EQ(sender.at_clock(192.5), (sender.stamp(192) + sender.stamp(193)) / 2);
    EXPECT_EQ(sender.state_after(0), ClockState::running);
}

TEST(ClockFollower, FollowsATempoRampAndStampsOutOfOrder) {
    Sender sender(kRate / 1000);
    sender.send(midi::kStart);
    for (int clock = 0; clock < 16 * 24; ++clock) {
        sender.clocks(1, 100.0 + 40.0 * clock / (16 * 24));
        if (clock % 24 == 23) { // over the last beat: the tempo half a beat back
            EXPECT_NEAR(sender.follower.bpm().value(), 100.0 + 40.0 * (clock - 11.5) / 384, 0.8);
        }
        ASSERT_EQ(sender.state_after(0), ClockState::running);
        ASSERT_EQ(sender.at_clock(clock), sender.stamp(clock));
    }
    ClockFollower follower;
    follower.receive(midi::kStart, 0, 0, 0);
    for (std::uint64_t stamp : {1000, 2000, 1990, 3000, 3990, 4000, 5000}) {
        follower.receive(midi::kClock, 0, 0, stamp);
    }
    double previous = 0;
    for (double beat = 0; beat <= 6.0 / 24; beat += 1.0 / 240) {
        EXPECT_GE(follower.frame_of_beat(beat).value_or(previous), previous) << beat;
        previous = follower.frame_of_beat(beat).value_or(previous);
    }
}

TEST(ClockFollower, StartContinueStopAndSongPosition) {
    Sender sender;
    sender.clocks(48, 120.0); // while stopped: the tempo only
    EXPECT_NEAR(sender.follower.bpm().value(), 120.0, 1e-9);
    EXPECT_EQ(sender.follower.clocks(), 0u);
    sender.frame -= 500; // between two clocks
    sender.send(midi::kStart);
    EXPECT_FALSE(sender.follower.frame_of_beat(0)) << "the first clock after it is beat 0";
    sender.frame += 500;
    sender.clocks(30, 120.0);
    EXPECT_EQ(sender.follower.frame_of_beat(0), sender.stamp(48));
    sender.send(midi::kStop);
    sender.send(midi::kStop);
    sender.send(midi::kContinue);
    sender.clocks(1, 120.0);
    EXPECT_EQ(sender.follower.frame_of_beat(1.25), sender.stamp(78)) << "where it stopped";
    sender.send(midi::kSongPosition, 64); // while playing: not followed
    sender.send(midi::kStop);
    sender.send(midi::kSongPosition, midi::song_position_of_measure(3));
    sender.send(midi::kContinue);
    sender.clocks(7, 120.0);
    EXPECT_EQ(sender.follower.frame_of_beat(8.25), sender.stamp(85));
    EXPECT_FALSE(sender.follower.frame_of_beat(7.99)) << "before this play";
    sender.send(midi::kStart); // while playing: from the top
    EXPECT_FALSE(sender.follower.frame_of_beat(8.0));
    sender.clocks(1, 120.0);
    EXPECT_EQ(sender.follower.frame_of_beat(0), sender.stamp(86));

    std::vector<std::pair<Kind, double>> seen;
    while (const auto command = sender.follower.next_command()) {
        seen.emplace_back(command->kind, command->beat);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<Kind, double>>{{Kind::start, 0.0},
                                                          {Kind::stop, 1.25},
                                                          {Kind::start, 1.25},
                                                          {Kind::stop, 1.25 + 1.0 / 24},
                                                          {Kind::position, 8.0},
                                                          {Kind::start, 8.0},
                                                          {Kind::start, 0.0}}));
}

TEST(ClockFollower, ClocksBeyondTheTempoLimitsAreNotFollowed) {
    for (double bpm : {1000.0, 310.0, 19.0, 1.0}) {
        Sender sender;
        sender.clocks(48, 120.0);
        sender.send(midi::kStart);
        sender.clocks(48, bpm);
        EXPECT_EQ(sender.state_after(0), bpm > 300 ? ClockState::too_fast : ClockState::too_slow);
        EXPECT_NEAR(sender.follower.bpm().value(), 120.0, 1e-9) << bpm;
        EXPECT_EQ(sender.at_clock(0), sender.stamp(48));
        for (double clock = 0.5; clock < 48; clock += 0.5) {
            ASSERT_FALSE(sender.at_clock(clock)) << bpm << " " << clock;
        }
        EXPECT_NE(sender.state_after(1.5 * 60 / bpm / 24), ClockState::lost) << "still coming";
        EXPECT_EQ(sender.state_after(6), ClockState::lost);
        sender.clocks(2, 120.0);
        EXPECT_EQ(sender.state_after(0), ClockState::running) << bpm;
        EXPECT_TRUE(sender.at_clock(48.5));
    }
    for (double bpm : {290.0, 22.0}) { // just inside, with ±1 ms
        Sender sender(kRate / 1000);
        sender.send(midi::kStart);
        for (int clock = 0; clock < 96; ++clock) {
            if (clock == 48) {
                sender.frame += kRate; // held up once; the tempo is still the same
            }
            sender.clocks(1, bpm);
            ASSERT_EQ(sender.state_after(0),
                      clock == 48 ? ClockState::too_slow : ClockState::running)
                << bpm << " " << clock;
        }
        for (int clock = 0; clock < 96; ++clock) {
            ASSERT_EQ(sender.at_clock(clock), sender.stamp(clock)) << bpm << " " << clock;
        }
    }
}

TEST(ClockFollower, PositionsPastTheSongAndFloodsHaveAClearEnd) {
    Sender sender;
    sender.send(midi::kSongPosition, midi::kMaxSongPosition);
    EXPECT_EQ(sender.follower.next_command()->beat, 4095.75) << "no limit yet";
    sender.follower.set_song_beats(32.0);
    sender.send(midi::kSongPosition, 200);
    EXPECT_EQ(sender.follower.next_command()->beat, 32.0);
    EXPECT_EQ(sender.follower.state(0), ClockState::beyond_song);
    sender.send(midi::kSongPosition, 64);
    EXPECT_EQ(sender.follower.state(0), ClockState::stopped);

    for (int i = 0; i < 1000; ++i) {
        sender.follower.receive(i % 2 ? midi::kStop : midi::kStart, 0, 0, i);
        sender.follower.receive(static_cast<std::uint8_t>(i), 0xFF, 0xFF, i);
    }
    int kept = 0;
    while (const auto command = sender.follower.next_command()) {
        EXPECT_GE(command->frame, 1000u - ClockFollower::kKeptCommands) << "the newest are kept";
        ++kept;
    }
    EXPECT_EQ(kept, int(ClockFollower::kKeptCommands));
    sender.send(midi::kStart);
    sender.clocks(1000, 120.0);
    EXPECT_FALSE(sender.at_clock(999 - ClockFollower::kKeptClocks)) << "too old";
    EXPECT_EQ(sender.at_clock(1000 - ClockFollower::kKeptClocks), sender.stamp(1000 - 384));
    EXPECT_FALSE(sender.follower.frame_of_beat(NAN));
    sender.follower.set_rate(44100); // another output's frames
    EXPECT_FALSE(sender.follower.bpm());
    EXPECT_FALSE(sender.at_clock(999));
}

} // namespace
} // namespace qx375::sync
