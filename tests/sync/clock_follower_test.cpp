#include "midi/clock.h"
#include "sync/clock_follower.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace qx375::sync {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr double kSecond = kRate;

// A sender of MIDI clock: Start, Stop and clocks at a tempo, each stamped
// with the frame it reaches the follower at, up to `jitter` frames either
// side of where it falls.
struct Sender {
    explicit Sender(ClockFollower& to, int jitter_frames = 0)
        : follower(to), jitter(jitter_frames) {}

    ClockFollower& follower;
    int jitter;
    double frame = kSecond; // where the next clock falls
    std::vector<std::uint64_t> stamps;
    std::mt19937 random{375};

    void send(std::uint8_t status, std::uint8_t data1 = 0, std::uint8_t data2 = 0) {
        follower.receive(status, data1, data2, static_cast<std::uint64_t>(frame));
    }
    void clocks(int count, double bpm) {
        std::uniform_int_distribution<int> off(-jitter, jitter);
        for (int i = 0; i < count; ++i) {
            const auto stamp = static_cast<std::uint64_t>(std::llround(frame) + off(random));
            follower.receive(midi::kClock, 0, 0, stamp);
            stamps.push_back(stamp);
            frame += 60.0 * kRate / (bpm * midi::kClocksPerBeat);
        }
    }
    void song_position(int sixteenths) {
        const auto bytes = midi::song_position(sixteenths);
        send(bytes[0], bytes[1], bytes[2]);
    }
};

ClockFollower follower_at(std::uint32_t rate) {
    ClockFollower follower;
    follower.set_rate(rate);
    return follower;
}

std::vector<ClockCommand> commands(ClockFollower& follower) {
    std::vector<ClockCommand> all;
    while (auto command = follower.next_command()) {
        all.push_back(*command);
    }
    return all;
}

double beat_of_clock(std::size_t clock) {
    return static_cast<double>(clock) / midi::kClocksPerBeat;
}

TEST(ClockFollower, PlacesBeatsOnTheClocksOfAJitteryClockAndTakesItsTempo) {
    ClockFollower follower = follower_at(kRate);
    Sender sender{follower, kRate / 1000}; // ±1 ms
    sender.send(midi::kStart);
    sender.clocks(8 * midi::kClocksPerBeat, 120.0);

    for (std::size_t clock = 0; clock < sender.stamps.size(); ++clock) {
        ASSERT_EQ(follower.frame_of_beat(beat_of_clock(clock)),
                  static_cast<double>(sender.stamps[clock]))
            << "clock " << clock;
    }
    // Every 16-step pattern's step is on a clock; 14 steps fall between.
    for (int step = 0; step < 32; ++step) {
        EXPECT_EQ(follower.frame_of_beat(step / 4.0), static_cast<double>(sender.stamps[6 * step]));
    }
    double previous = 0;
    for (int step = 0; step < 28; ++step) {
        const auto frame = follower.frame_of_beat(step * 4.0 / 14);
        ASSERT_TRUE(frame.has_value());
        const std::size_t before = step * 96 / 14;
        EXPECT_GE(*frame, static_cast<double>(sender.stamps[before]));
        EXPECT_LT(*frame, static_cast<double>(sender.stamps[before + 1]));
        EXPECT_GT(*frame, previous);
        previous = *frame;
    }
    EXPECT_NEAR(*follower.bpm(), 120.0, 0.6);
    EXPECT_EQ(follower.clocks(), 192u);
    EXPECT_DOUBLE_EQ(*follower.last_beat(), 191.0 / 24);
    EXPECT_FALSE(follower.frame_of_beat(*follower.last_beat() + 0.01)) << "not received yet";
    EXPECT_EQ(follower.state(sender.stamps.back() + 100), ClockState::running);
}

TEST(ClockFollower, NeverGoesBackOnStampsOutOfOrder) {
    ClockFollower follower = follower_at(kRate);
    follower.receive(midi::kStart, 0, 0, 0);
    for (std::uint64_t stamp : {1000, 2000, 1990, 3000, 3990, 4000, 5000}) {
        follower.receive(midi::kClock, 0, 0, stamp);
    }
    double previous = 0;
    for (double beat = 0; beat <= 6.0 / 24; beat += 1.0 / 240) {
        if (const auto frame = follower.frame_of_beat(beat)) {
            EXPECT_GE(*frame, previous) << "beat " << beat;
            previous = *frame;
        }
    }
    EXPECT_EQ(follower.frame_of_beat(6.0 / 24), 5000.0);
}

TEST(ClockFollower, FollowsATempoRamp) {
    ClockFollower follower = follower_at(kRate);
    Sender sender{follower, kRate / 1000};
    sender.send(midi::kStart);
    for (int beat = 0; beat < 16; ++beat) {
        for (int clock = 0; clock < midi::kClocksPerBeat; ++clock) {
            sender.clocks(1, 100.0 + 40.0 * (beat * 24 + clock) / (16 * 24));
        }
        // Over the last beat: the tempo half a beat back.
        EXPECT_NEAR(*follower.bpm(), 100.0 + 40.0 * (beat + 0.5) / 16, 0.8) << "beat " << beat;
        EXPECT_EQ(follower.state(sender.stamps.back()), ClockState::running);
    }
    for (std::size_t clock = 0; clock < sender.stamps.size(); ++clock) {
        ASSERT_EQ(follower.frame_of_beat(beat_of_clock(clock)),
                  static_cast<double>(sender.stamps[clock]));
    }
}

TEST(ClockFollower, StartsOnTheFirstClockAfterStartAndClocksBeforeGiveOnlyTheTempo) {
    ClockFollower follower = follower_at(kRate);
    Sender sender{follower};
    sender.clocks(48, 120.0);
    EXPECT_NEAR(*follower.bpm(), 120.0, 1e-9);
    EXPECT_EQ(follower.clocks(), 0u);
    EXPECT_FALSE(follower.frame_of_beat(0.0));
    EXPECT_EQ(follower.state(static_cast<std::uint64_t>(sender.frame)), ClockState::stopped);

    sender.frame += 300; // the Start comes between two clocks
    sender.send(midi::kStart);
    const auto start = static_cast<std::uint64_t>(sender.frame);
    EXPECT_FALSE(follower.frame_of_beat(0.0)) << "wait for the clock";
    EXPECT_EQ(follower.state(start + 100), ClockState::running);
    sender.frame += 700;
    sender.clocks(2, 120.0);
    EXPECT_EQ(follower.frame_of_beat(0.0), static_cast<double>(sender.stamps[48]));
    EXPECT_EQ(follower.frame_of_beat(1.0 / 48), (sender.stamps[48] + sender.stamps[49]) / 2.0);

    const auto all = commands(follower);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].kind, ClockCommand::Kind::start);
    EXPECT_EQ(all[0].beat, 0.0);
    EXPECT_EQ(all[0].frame, start);
}

TEST(ClockFollower, ContinuesFromTheSongPositionOrFromWhereItStopped) {
    ClockFollower follower = follower_at(kRate);
    Sender sender{follower};
    sender.send(midi::kStart);
    sender.clocks(30, 120.0);
    sender.send(midi::kStop);
    sender.send(midi::kStop);
    sender.send(midi::kContinue);
    sender.clocks(1, 120.0);
    EXPECT_EQ(follower.frame_of_beat(1.25), static_cast<double>(sender.stamps[30]));
    sender.song_position(64); // while playing: not followed
    sender.send(midi::kStop);
    sender.song_position(midi::song_position_of_measure(3));
    sender.send(midi::kContinue);
    EXPECT_FALSE(follower.frame_of_beat(8.0));
    sender.clocks(7, 120.0);
    EXPECT_EQ(follower.frame_of_beat(8.0), static_cast<double>(sender.stamps[31]));
    EXPECT_EQ(follower.frame_of_beat(8.25), static_cast<double>(sender.stamps[37]));
    EXPECT_FALSE(follower.frame_of_beat(7.99)) << "before this play";
    EXPECT_DOUBLE_EQ(*follower.last_beat(), 8.25);

    using Kind = ClockCommand::Kind;
    std::vector<std::pair<Kind, double>> seen;
    for (const ClockCommand& c : commands(follower)) {
        seen.emplace_back(c.kind, c.beat);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<Kind, double>>{{Kind::start, 0.0},
                                                          {Kind::stop, 1.25},
                                                          {Kind::start, 1.25},
                                                          {Kind::stop, 1.25 + 1.0 / 24},
                                                          {Kind::position, 8.0},
                                                          {Kind::start, 8.0}}));
}

TEST(ClockFollower, AClockThatStopsIsLostAndPlacesNothingAfterItsLastBeat) {
    ClockFollower follower = follower_at(kRate);
    Sender sender{follower};
    sender.send(midi::kStart);
    sender.clocks(60, 120.0); // two and a half beats
    const std::uint64_t last = sender.stamps.back();
    EXPECT_EQ(follower.state(last + kSecond / 2), ClockState::running);
    EXPECT_EQ(follower.state(last + kSecond + 100), ClockState::lost) << "two beats at 120 BPM";
    EXPECT_FALSE(follower.frame_of_beat(2.5));

    // It comes back three seconds later: the beats of the gap are not placed
    // in a burst, the clocks after it are.
    sender.frame = static_cast<double>(last) + 3 * kSecond;
    sender.clocks(3, 120.0);
    for (double beat = 59.5 / 24; beat < 60.0 / 24; beat += 0.1 / 24) {
        EXPECT_FALSE(follower.frame_of_beat(beat)) << beat;
    }
    EXPECT_EQ(follower.frame_of_beat(60.0 / 24), static_cast<double>(sender.stamps[60]));
    EXPECT_EQ(follower.frame_of_beat(61.5 / 24), (sender.stamps[61] + sender.stamps[62]) / 2.0);
    EXPECT_EQ(follower.state(sender.stamps.back()), ClockState::running);
}

TEST(ClockFollower, ClocksFasterThan300OrSlowerThan20BpmAreNotFollowed) {
    for (double bpm : {1000.0, 310.0, 19.0, 1.0}) {
        ClockFollower follower = follower_at(kRate);
        Sender sender{follower};
        sender.clocks(48, 120.0); // a tempo before, while stopped
        sender.send(midi::kStart);
        sender.clocks(48, bpm);
        const auto last = sender.stamps.back();
        EXPECT_EQ(follower.state(last), bpm > 300 ? ClockState::too_fast : ClockState::too_slow)
            << bpm;
        EXPECT_NEAR(*follower.bpm(), 120.0, 1e-9) << bpm;
        EXPECT_EQ(follower.frame_of_beat(0.0), static_cast<double>(sender.stamps[48]));
        for (int clock = 1; clock < 48; ++clock) {
            ASSERT_FALSE(follower.frame_of_beat(beat_of_clock(clock))) << bpm << " " << clock;
        }
        // Not lost while it keeps coming, however slowly.
        EXPECT_NE(follower.state(last + static_cast<std::uint64_t>(kSecond * 60 / bpm / 24 * 1.5)),
                  ClockState::lost);
        EXPECT_EQ(follower.state(last + static_cast<std::uint64_t>(6 * kSecond)), ClockState::lost);
        sender.clocks(12, 120.0);
        EXPECT_EQ(follower.state(sender.stamps.back()), ClockState::running) << bpm;
        EXPECT_TRUE(follower.frame_of_beat(beat_of_clock(58)));
    }
}

TEST(ClockFollower, TemposJustInsideTheLimitsAreFollowedThroughJitter) {
    for (double bpm : {290.0, 22.0}) {
        ClockFollower follower = follower_at(kRate);
        Sender sender{follower, kRate / 1000};
        sender.send(midi::kStart);
        for (int clock = 0; clock < 96; ++clock) {
            sender.clocks(1, bpm);
            ASSERT_EQ(follower.state(sender.stamps.back()), ClockState::running) << bpm;
            ASSERT_EQ(follower.frame_of_beat(beat_of_clock(clock)),
                      static_cast<double>(sender.stamps[clock]));
        }
        EXPECT_NEAR(*follower.bpm(), bpm, bpm * 0.02);
    }
}

TEST(ClockFollower, APositionPastTheSongIsItsEnd) {
    ClockFollower follower = follower_at(kRate);
    Sender sender{follower};
    sender.song_position(midi::kMaxSongPosition);
    EXPECT_EQ(follower.next_command()->beat, 4095.75) << "no limit yet";
    follower.set_song_beats(32.0);
    sender.song_position(200);
    EXPECT_EQ(follower.next_command()->beat, 32.0);
    EXPECT_EQ(follower.state(0), ClockState::beyond_song);
    sender.send(midi::kContinue);
    sender.clocks(1, 120.0);
    EXPECT_EQ(follower.frame_of_beat(32.0), static_cast<double>(sender.stamps[0]));
    EXPECT_EQ(follower.state(sender.stamps[0]), ClockState::beyond_song);
    sender.send(midi::kStop);
    sender.song_position(64);
    EXPECT_EQ(follower.state(sender.stamps[0]), ClockState::stopped);
}

TEST(ClockFollower, StartWhilePlayingStartsOver) {
    ClockFollower follower = follower_at(kRate);
    Sender sender{follower};
    sender.send(midi::kStart);
    sender.clocks(50, 120.0);
    sender.send(midi::kStart);
    EXPECT_EQ(follower.clocks(), 0u);
    EXPECT_FALSE(follower.frame_of_beat(1.0)) << "the last play's clocks are not this one's";
    sender.clocks(25, 120.0);
    EXPECT_EQ(follower.frame_of_beat(0.0), static_cast<double>(sender.stamps[50]));
    EXPECT_EQ(follower.frame_of_beat(1.0), static_cast<double>(sender.stamps[74]));
    EXPECT_EQ(commands(follower).size(), 2u);
}

TEST(ClockFollower, FloodsAndOddInputHaveAnEnd) {
    ClockFollower follower = follower_at(kRate);
    for (std::uint64_t frame = 0; frame < 1000; ++frame) {
        follower.receive(frame % 2 ? midi::kStop : midi::kStart, 0, 0, frame);
        follower.receive(static_cast<std::uint8_t>(frame), 0xFF, 0xFF, frame);
    }
    const auto all = commands(follower);
    ASSERT_EQ(all.size(), ClockFollower::kKeptCommands);
    EXPECT_EQ(all.back().frame, 999u) << "the newest are kept";
    EXPECT_FALSE(follower.frame_of_beat(NAN));
    EXPECT_FALSE(follower.frame_of_beat(-1.0));

    // Clocks more than a few bars back are forgotten.
    Sender sender{follower};
    sender.send(midi::kStart);
    sender.clocks(1000, 120.0);
    EXPECT_FALSE(follower.frame_of_beat(1.0));
    EXPECT_EQ(follower.frame_of_beat(beat_of_clock(999 - ClockFollower::kKeptClocks + 1)),
              static_cast<double>(sender.stamps[999 - ClockFollower::kKeptClocks + 1]));
    // A new output's frames start over, and are not compared with the old.
    follower.set_rate(44100);
    EXPECT_FALSE(follower.bpm());
    EXPECT_FALSE(follower.frame_of_beat(beat_of_clock(999)));
}

} // namespace
} // namespace qx375::sync
