#include "support/jack_server.h"
#include "support/link_hut.h"
#include "support/private_network.h"
#include "sync/link_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <unistd.h>

namespace qx375::sync {
namespace {

using namespace std::chrono_literals;
using Clock = LinkSession::Clock;

// Polls `done` until it holds or `limit` has passed; whether it held.
template <typename Done>
bool eventually(Done done, std::chrono::duration<double> limit) {
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(limit);
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

double micros_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::micro>(a - b).count();
}

constexpr double kTempoSent = 1e-3;

bool same_tempo(const LinkSession& a, const LinkSession& b) {
    return std::abs(a.tempo() - b.tempo()) < kTempoSent;
}

// Without enable(true): the timeline of a session by itself, and no network.
TEST(LinkSessionAlone, MapsSteadyTimesToBeatsAndBackWithinMicroseconds) {
    const LinkSession session(120.0);
    EXPECT_FALSE(session.enabled());
    const auto now = Clock::now();
    // Odd nanosecond offsets, so that nothing falls on Link's microsecond grid.
    for (const auto time : {now, now + 1234567ns, now - 3s - 777ns, now + 1h + 999ns}) {
        const double beat = session.beat_at(time, kBeatsPerBar);
        EXPECT_NEAR(micros_between(session.time_at(beat, kBeatsPerBar), time), 0.0, 10.0);
    }
    // Half a second a beat at 120 BPM.
    const double one_second =
        session.beat_at(now + 1s, kBeatsPerBar) - session.beat_at(now, kBeatsPerBar);
    EXPECT_NEAR(one_second, 2.0, 1e-5);
}

TEST(LinkSessionAlone, StartsAtOnceOnBeatZeroAndStops) {
    LinkSession session(100.0);
    EXPECT_FALSE(session.playing());
    const auto start = Clock::now() + 10ms;
    session.start_playing(start, kBeatsPerBar);
    EXPECT_TRUE(session.playing());
    EXPECT_NEAR(micros_between(session.time_playing_changed(), start), 0.0, 50.0);
    EXPECT_NEAR(session.beat_at(start, kBeatsPerBar), 0.0, 1e-4);
    EXPECT_NEAR(session.phase_at(start + 3s, kBeatsPerBar), 1.0, 1e-4); // 5 beats on

    const auto stop = start + 2s;
    session.stop_playing(stop);
    EXPECT_FALSE(session.playing());
    EXPECT_NEAR(micros_between(session.time_playing_changed(), stop), 0.0, 50.0);
}

// Link takes in a tempo set on its own thread as well: one set just before
// may still land after it, so each is waited for.
TEST(LinkSessionAlone, OddValuesHaveAFixedOutcome) {
    LinkSession session(std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(session.tempo(), 120.0);
    const auto settles_at = [&](double tempo) {
        return eventually([&] { return session.tempo() == tempo; }, 1s);
    };
    session.set_tempo(5.0);
    EXPECT_TRUE(settles_at(LinkSession::kMinTempo));
    session.set_tempo(1e6);
    EXPECT_TRUE(settles_at(LinkSession::kMaxTempo));
    session.set_tempo(std::numeric_limits<double>::infinity());
    EXPECT_TRUE(settles_at(LinkSession::kMaxTempo));
    session.set_tempo(std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(settles_at(LinkSession::kMaxTempo));

    // Some beats ahead, where a bar's phase differs from a smaller quantum's.
    // Link's thread may still take in one of the tempi above after its own
    // value was read back, so the phases are waited for; each reading measures
    // the two clocks afresh, so they agree within 100 us.
    const auto ahead = Clock::now() + 700ms;
    const double beats_in_100us = LinkSession::kMaxTempo / 60.0 * 1e-4;
    const auto odd_quanta_read_a_bar = [&] {
        return std::ranges::all_of(
            std::array{0.0, -4.0, std::numeric_limits<double>::quiet_NaN()}, [&](double quantum) {
                return std::abs(session.phase_at(ahead, quantum) -
                                session.phase_at(ahead, kBeatsPerBar)) < beats_in_100us;
            });
    };
    EXPECT_TRUE(eventually(odd_quanta_read_a_bar, 1s));
    // Far times and beats stay finite and in order instead of overflowing.
    const double early = session.beat_at(Clock::time_point::min(), kBeatsPerBar);
    const double late = session.beat_at(Clock::time_point::max(), kBeatsPerBar);
    EXPECT_TRUE(std::isfinite(early) && std::isfinite(late));
    EXPECT_LT(early, late);
    EXPECT_LT(session.time_at(-std::numeric_limits<double>::infinity(), kBeatsPerBar),
              session.time_at(std::numeric_limits<double>::infinity(), kBeatsPerBar));
}

// Two peers in one process, on the loopback network of private_network.sh.
class LinkPeers : public testing::Test {
protected:
    void SetUp() override {
        const std::string outside = test::outside_interfaces();
        ASSERT_EQ(outside, "") << "Link would announce itself on the interfaces listed; run "
                                  "this program through tests/support/private_network.sh";
        first = std::make_unique<LinkSession>(120.0);
        second = std::make_unique<LinkSession>(90.0);
    }

    void connect() {
        first->enable(true);
        second->enable(true);
        ASSERT_TRUE(eventually([&] { return first->peers() == 1 && second->peers() == 1; }, 5s))
            << "peers: " << first->peers() << ", " << second->peers();
    }

    std::unique_ptr<LinkSession> first;
    std::unique_ptr<LinkSession> second;
};

TEST_F(LinkPeers, FindEachOtherAndShareATempoChange) {
    const auto seen_before = second->changes();
    ASSERT_NO_FATAL_FAILURE(connect());
    EXPECT_GT(second->changes(), seen_before);
    // The one that joins takes the session's tempo, whichever that was.
    // Link sends a tempo as whole microseconds a beat, so it arrives within a
    // few millionths of a BPM.
    ASSERT_TRUE(eventually([&] { return same_tempo(*first, *second); }, 1s))
        << first->tempo() << " and " << second->tempo();

    const auto seen = second->changes();
    first->set_tempo(133.0);
    EXPECT_TRUE(
        eventually([&] { return std::abs(second->tempo() - 133.0) < kTempoSent; }, 60s / 133.0))
        << "tempo on the other peer: " << second->tempo();
    EXPECT_GT(second->changes(), seen);
}

TEST_F(LinkPeers, StartOnOneStartsTheOtherOnTheSameBeat) {
    first->enable_start_stop_sync(true);
    second->enable_start_stop_sync(true);
    ASSERT_NO_FATAL_FAILURE(connect());

    first->start_playing(Clock::now(), kBeatsPerBar);
    ASSERT_TRUE(eventually([&] { return second->playing(); }, 2s));
    const auto start = first->time_playing_changed();
    // Each peer carries the time through its own reading of the two clocks,
    // which a loaded machine (or a sanitizer) widens to tens of microseconds.
    EXPECT_NEAR(micros_between(second->time_playing_changed(), start), 0.0, 250.0);
    // In a session beat 0 waits for the session's next bar line, up to a bar
    // after the start.
    const auto first_beat = first->time_at(0.0, kBeatsPerBar);
    EXPECT_GE(first_beat, start);
    EXPECT_LT(first_beat, start + 60s * kBeatsPerBar / first->tempo());
    EXPECT_NEAR(std::remainder(second->phase_at(first_beat, kBeatsPerBar), kBeatsPerBar), 0.0,
                5e-4);

    second->count_from_start(kBeatsPerBar);
    const double beats_per_ms = second->tempo() / 60000.0;
    double widest = 0;
    for (const auto at : {start, start + 1s, Clock::now() + 3s}) {
        const double apart = second->beat_at(at, kBeatsPerBar) - first->beat_at(at, kBeatsPerBar);
        EXPECT_NEAR(apart, 0.0, beats_per_ms);
        widest = std::max(widest, std::abs(apart));
    }
    RecordProperty("widest_offset_us", std::to_string(widest / beats_per_ms * 1000.0));

    second->stop_playing(Clock::now());
    EXPECT_TRUE(eventually([&] { return !first->playing(); }, 2s));
}

TEST_F(LinkPeers, APeerThatLeavesLeavesTheSessionGoingOn) {
    ASSERT_NO_FATAL_FAILURE(connect());
    second->set_tempo(140.0);
    ASSERT_TRUE(eventually([&] { return std::abs(first->tempo() - 140.0) < kTempoSent; }, 1s));
    const auto beat = first->beat_at(Clock::now(), kBeatsPerBar);

    second.reset();
    EXPECT_TRUE(eventually([&] { return first->peers() == 0; }, 5s));
    EXPECT_NEAR(first->tempo(), 140.0, kTempoSent);
    EXPECT_TRUE(first->enabled());
    EXPECT_GT(first->beat_at(Clock::now(), kBeatsPerBar), beat);
}

// Link's own example peer in another process: the two find each other, take
// each other's tempo, and agree on where they are in the bar, which they do
// only if both read the same clock for the same moment.
TEST_F(LinkPeers, MeetLinkHutInAnotherProcess) {
    if (::access(test::LinkHut::kPath, X_OK) != 0) {
        GTEST_SKIP() << test::LinkHut::kPath << " is not installed";
    }
    if (const auto why = test::JackServer::unavailable(); !why.empty()) {
        GTEST_SKIP() << "LinkHut plays through JACK: " << why;
    }
    test::JackServer server;
    ASSERT_EQ(server.failure(), "");
    const test::DefaultJackServer uses(server);
    test::LinkHut hut;
    ASSERT_TRUE(eventually([&] { return hut.status().has_value(); }, 5s))
        << "LinkHut printed no status";
    hut.press('a');
    first->enable(true);
    ASSERT_TRUE(eventually([&] { return first->peers() == 1; }, 5s));
    ASSERT_TRUE(eventually([&] { return hut.status()->peers == 1; }, 2s));

    first->set_tempo(100.0);
    EXPECT_TRUE(eventually([&] { return std::abs(hut.status()->tempo - 100.0) < 0.01; }, 2s))
        << "LinkHut's tempo: " << hut.status()->tempo;
    hut.press('e');
    EXPECT_TRUE(eventually([&] { return std::abs(first->tempo() - 101.0) < kTempoSent; }, 2s))
        << "our tempo: " << first->tempo();

    // Its line is a few milliseconds old when read; a tenth of a beat at 101
    // BPM is 60 ms, while the clocks of a machine up for some minutes are
    // often a good part of a beat apart.
    const double theirs = hut.status()->beats;
    const double ours = first->beat_at(Clock::now(), kBeatsPerBar);
    EXPECT_NEAR(std::remainder(ours - theirs, kBeatsPerBar), 0.0, 0.1)
        << "our beat " << ours << ", LinkHut's " << theirs;

    EXPECT_TRUE(hut.quit());
    EXPECT_TRUE(eventually([&] { return first->peers() == 0; }, 5s));
    EXPECT_NEAR(first->tempo(), 101.0, kTempoSent);
}

} // namespace
} // namespace qx375::sync
