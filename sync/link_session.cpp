#include "sync/link_session.h"

#include "sync/link_clock.h"

#include <ableton/Link.hpp>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <type_traits>

namespace qx375::sync {
namespace {

using Clock = LinkSession::Clock;

// link_clock.cpp reads Link's clock itself, with nanoseconds rather than the
// microseconds Link rounds to; it must be the clock Link reads.
static_assert(std::is_same_v<ableton::Link::Clock, ableton::platforms::linux::ClockMonotonicRaw>,
              "Link no longer keeps time on CLOCK_MONOTONIC_RAW");

double checked_quantum(double quantum) {
    return std::isfinite(quantum) && quantum > 0 ? quantum : kBeatsPerBar;
}

double checked_beat(double beat) {
    return std::isnan(beat) ? 0.0 : std::clamp(beat, -LinkSession::kMaxBeat, LinkSession::kMaxBeat);
}

double checked_tempo(double bpm, double otherwise) {
    return std::isnan(bpm) ? otherwise
                           : std::clamp(bpm, LinkSession::kMinTempo, LinkSession::kMaxTempo);
}

} // namespace

struct LinkSession::Peer {
    explicit Peer(double bpm) : link(bpm) {}

    // Before `link`, so that Link's thread, which bumps it, ends first.
    std::atomic<std::uint64_t> changes{0};
    ableton::Link link;
};

LinkSession::LinkSession(double bpm) : peer_(std::make_unique<Peer>(checked_tempo(bpm, 120.0))) {
    auto& changes = peer_->changes;
    const auto bump = [&changes] { changes.fetch_add(1, std::memory_order_relaxed); };
    peer_->link.setNumPeersCallback([bump](std::size_t) { bump(); });
    peer_->link.setTempoCallback([bump](double) { bump(); });
    peer_->link.setStartStopCallback([bump](bool) { bump(); });
}

LinkSession::~LinkSession() = default;

void LinkSession::enable(bool on) {
    peer_->link.enable(on);
}

bool LinkSession::enabled() const {
    return peer_->link.isEnabled();
}

void LinkSession::enable_start_stop_sync(bool on) {
    peer_->link.enableStartStopSync(on);
}

std::size_t LinkSession::peers() const {
    return peer_->link.numPeers();
}

double LinkSession::tempo() const {
    return peer_->link.captureAppSessionState().tempo();
}

void LinkSession::set_tempo(double bpm) {
    auto state = peer_->link.captureAppSessionState();
    state.setTempo(checked_tempo(bpm, state.tempo()), to_link_time(Clock::now()));
    peer_->link.commitAppSessionState(state);
}

double LinkSession::beat_at(Clock::time_point time, double quantum) const {
    return peer_->link.captureAppSessionState().beatAtTime(to_link_time(time),
                                                           checked_quantum(quantum));
}

Clock::time_point LinkSession::time_at(double beat, double quantum) const {
    return from_link_time(peer_->link.captureAppSessionState().timeAtBeat(
        checked_beat(beat), checked_quantum(quantum)));
}

double LinkSession::phase_at(Clock::time_point time, double quantum) const {
    return peer_->link.captureAppSessionState().phaseAtTime(to_link_time(time),
                                                            checked_quantum(quantum));
}

bool LinkSession::playing() const {
    return peer_->link.captureAppSessionState().isPlaying();
}

void LinkSession::start_playing(Clock::time_point time, double quantum) {
    auto state = peer_->link.captureAppSessionState();
    state.setIsPlayingAndRequestBeatAtTime(true, to_link_time(time), 0.0, checked_quantum(quantum));
    peer_->link.commitAppSessionState(state);
}

void LinkSession::stop_playing(Clock::time_point time) {
    auto state = peer_->link.captureAppSessionState();
    state.setIsPlaying(false, to_link_time(time));
    peer_->link.commitAppSessionState(state);
}

Clock::time_point LinkSession::time_playing_changed() const {
    return from_link_time(peer_->link.captureAppSessionState().timeForIsPlaying());
}

void LinkSession::count_from_start(double quantum) {
    auto state = peer_->link.captureAppSessionState();
    state.requestBeatAtStartPlayingTime(0.0, checked_quantum(quantum));
    peer_->link.commitAppSessionState(state);
}

std::uint64_t LinkSession::changes() const {
    return peer_->changes.load(std::memory_order_relaxed);
}

} // namespace qx375::sync
