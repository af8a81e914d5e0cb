#include "app/sync_control.h"

#include "app/sequencer_timer.h"
#include "midi/clock.h"
#include "platform/transport.h"
#include "sync/link_session.h"
#include "util/ini_file.h"

#include <QActionGroup>
#include <QMenu>

#include <algorithm>
#include <cmath>

namespace qx375 {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::array<const char*, 4> kSourceKeys{"none", "jack", "midi", "link"};
constexpr std::array<const char*, 4> kSourceItems{"SyncNone1", "SyncJack1", "SyncMidi1",
                                                  "SyncLink1"};
constexpr std::array<const char*, 4> kSourceCaptions{"None", "JACK transport", "MIDI clock",
                                                     "Ableton Link"};
// One bar of the program is four beats: Link's quantum.
constexpr double kQuantum = midi::kBeatsPerBar;
// A start asked of a Link session lies this far ahead, so that its first
// step can still be placed when the session starts it at once.
constexpr std::chrono::milliseconds kLinkStartAhead{100};

Clock::duration seconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

} // namespace

SyncControl::SyncControl(AudioOutput& output, SequencerTimer& timer, SyncHost& host,
                         const Texts& texts)
    : output_(output), timer_(timer), host_(host), texts_(texts) {
    poll_.setInterval(kPoll);
    QObject::connect(&poll_, &QTimer::timeout, [this] { poll(); });
}

SyncControl::~SyncControl() = default;

void SyncControl::build_menu(QMenu& special) {
    QMenu* menu = special.addMenu("Sync");
    menu->setObjectName("Sync1");
    auto* sources = new QActionGroup(menu);
    for (std::size_t i = 0; i < kSourceItems.size(); ++i) {
        QAction* item = menu->addAction(kSourceCaptions[i]);
        item->setObjectName(kSourceItems[i]);
        item->setCheckable(true);
        sources->addAction(item);
        source_items_[i] = item;
        QObject::connect(item, &QAction::triggered,
                         [this, i] { choose(static_cast<SyncSource>(i), role_); });
    }
    menu->addSeparator();
    auto* roles = new QActionGroup(menu);
    const std::array<std::pair<const char*, const char*>, 2> role_items{
        {{"SyncLead1", "Lead"}, {"SyncFollow1", "Follow"}}};
    for (std::size_t i = 0; i < role_items.size(); ++i) {
        QAction* item = menu->addAction(role_items[i].second);
        item->setObjectName(role_items[i].first);
        item->setCheckable(true);
        roles->addAction(item);
        role_items_[i] = item;
        QObject::connect(item, &QAction::triggered,
                         [this, i] { choose(source_, static_cast<SyncRole>(i)); });
    }
    source_items_[static_cast<std::size_t>(source_)]->setChecked(true);
    role_items_[static_cast<std::size_t>(role_)]->setChecked(true);
}

void SyncControl::read(const IniFile& ini) {
    const std::string source = ini.read_string("sync", "source", "none");
    const std::string role = ini.read_string("sync", "role", "lead");
    const auto found = std::find(kSourceKeys.begin(), kSourceKeys.end(), source);
    choose(found == kSourceKeys.end() ? SyncSource::none
                                      : static_cast<SyncSource>(found - kSourceKeys.begin()),
           role == "follow" ? SyncRole::follow : SyncRole::lead);
}

void SyncControl::write(IniFile& ini) const {
    ini.write("sync", "source", kSourceKeys[static_cast<std::size_t>(source_)]);
    ini.write("sync", "role", role_ == SyncRole::follow ? "follow" : "lead");
}

void SyncControl::choose(SyncSource source, SyncRole role) {
    if (host_.sync_playing()) {
        host_.sync_stop();
    }
    poll_.stop();
    timer_.lead();
    if (source_ == SyncSource::jack && role_ == SyncRole::lead) {
        output_.lead_timebase(false);
    }
    output_.set_extra_latency(0);
    link_.reset();
    transport_rolling_ = false;
    source_ = source;
    role_ = role;
    if (source_items_[0] != nullptr) {
        source_items_[static_cast<std::size_t>(source)]->setChecked(true);
        role_items_[static_cast<std::size_t>(role)]->setChecked(true);
    }
    host_.sync_say({});
    said_ = Msg::count;
    apply_choice();
}

void SyncControl::apply_choice() {
    const auto placer = [this](double beat) { return place(beat); };
    const auto rejoin = [this] { behind(); };
    switch (source_) {
    case SyncSource::none:
        return;
    case SyncSource::jack:
    case SyncSource::midi:
        if (output_.backend() != AudioBackendKind::jack) {
            say(Msg::sync_no_jack);
            return;
        }
        if (source_ == SyncSource::jack) {
            if (role_ == SyncRole::lead) {
                output_.lead_timebase(true);
                tempo_changed();
            }
            follow_delay_ = follow_delay();
            output_.set_extra_latency(static_cast<std::uint32_t>(follow_delay_));
            timer_.follow(placer, rejoin);
        } else if (role_ == SyncRole::follow) {
            follower_.set_rate(output_.rate());
            follow_delay_ = follow_delay();
            output_.set_extra_latency(static_cast<std::uint32_t>(follow_delay_));
            timer_.follow(placer, rejoin);
        }
        break;
    case SyncSource::link:
        link_ = std::make_unique<sync::LinkSession>(host_.sync_bpm());
        link_->enable(true);
        link_->enable_start_stop_sync(true);
        link_playing_ = link_->playing();
        link_changes_ = link_->changes();
        link_peers_ = 0;
        timer_.follow(placer, rejoin);
        say(Msg::sync_link_peers, QString::number(link_->peers()));
        break;
    }
    poll_.start();
}

bool SyncControl::take_start() {
    if (driving_) {
        return false;
    }
    switch (source_) {
    case SyncSource::none:
        return false;
    case SyncSource::midi:
        if (role_ == SyncRole::lead || output_.backend() != AudioBackendKind::jack) {
            return false;
        }
        say(Msg::sync_wait_master);
        return true;
    case SyncSource::jack:
        if (output_.backend() != AudioBackendKind::jack) {
            return false;
        }
        output_.transport_locate(static_cast<std::uint64_t>(
            std::llround(host_.sync_position() * 60.0 * output_.rate() / host_.sync_bpm())));
        output_.transport_start();
        return true;
    case SyncSource::link:
        link_->start_playing(Clock::now() + kLinkStartAhead, kQuantum);
        return true;
    }
    return false;
}

bool SyncControl::take_stop() {
    if (driving_) {
        return false;
    }
    if (source_ == SyncSource::jack && output_.backend() == AudioBackendKind::jack) {
        output_.transport_stop();
        return true;
    }
    if (source_ == SyncSource::link) {
        link_->stop_playing(Clock::now());
        return true;
    }
    return false;
}

void SyncControl::started(bool from_song_start) {
    send_first_ = true;
    send_start_ = from_song_start;
    start_position_ = host_.sync_position();
}

void SyncControl::stopping() {
    if (clock_running_) {
        send(timer_.next_tick_frame(), {midi::kStop});
    }
    clock_running_ = false;
    send_first_ = false;
}

void SyncControl::ticked(int step, int size) {
    if (source_ != SyncSource::midi || role_ != SyncRole::lead) {
        return;
    }
    if (send_first_) {
        send_first_ = false;
        clock_running_ = true;
        if (send_start_) {
            send(timer_.tick_frame(), {midi::kStart});
        } else {
            const auto position = midi::song_position(
                static_cast<int>(std::floor(start_position_ * midi::kSixteenthsPerBeat + 1e-6)));
            send(timer_.tick_frame(), {position[0], position[1], position[2]});
            send(timer_.tick_frame(), {midi::kContinue});
        }
    }
    for (const midi::StepClock& clock : midi::step_clocks(size, step)) {
        send(timer_.frame_after_tick(clock.numerator, midi::kStepClockDenominator), {midi::kClock});
    }
}

void SyncControl::moved() {
    if (host_.sync_playing()) {
        return;
    }
    if (source_ == SyncSource::midi && role_ == SyncRole::lead) {
        const auto position = midi::song_position(
            static_cast<int>(std::floor(host_.sync_position() * midi::kSixteenthsPerBeat + 1e-6)));
        send(0, {position[0], position[1], position[2]});
    } else if (source_ == SyncSource::jack && !driving_) {
        output_.transport_locate(static_cast<std::uint64_t>(
            std::llround(host_.sync_position() * 60.0 * output_.rate() / host_.sync_bpm())));
    }
}

void SyncControl::tempo_changed() {
    if (role_ != SyncRole::lead) {
        return;
    }
    const double bpm = host_.sync_bpm();
    if (source_ == SyncSource::jack) {
        output_.set_timebase(kQuantum * 60.0 * output_.rate() / bpm, bpm);
    } else if (source_ == SyncSource::link && link_) {
        link_->set_tempo(bpm);
    }
}

void SyncControl::poll() {
    switch (source_) {
    case SyncSource::none:
        return;
    case SyncSource::jack:
        poll_jack();
        return;
    case SyncSource::midi:
        poll_midi();
        return;
    case SyncSource::link:
        poll_link();
        return;
    }
}

void SyncControl::drain_midi() {
    MidiEvent event;
    while (output_.next_sync_event(event)) {
        if (role_ == SyncRole::follow) {
            follower_.receive(event.bytes[0], event.bytes[1], event.bytes[2], event.frame);
        }
    }
}

void SyncControl::poll_midi() {
    drain_midi();
    if (role_ != SyncRole::follow) {
        return;
    }
    while (const std::optional<sync::ClockCommand> command = follower_.next_command()) {
        waiting_for_clock_ = false;
        switch (command->kind) {
        case sync::ClockCommand::Kind::start:
            follow_from(command->beat);
            break;
        case sync::ClockCommand::Kind::stop:
            stop_following();
            break;
        case sync::ClockCommand::Kind::position:
            host_.sync_locate(command->beat);
            break;
        }
    }
    const sync::ClockState state = follower_.state(output_frame_now());
    if (waiting_for_clock_ && state == sync::ClockState::running && follower_.playing()) {
        waiting_for_clock_ = false;
        follow_from(follower_.last_beat().value_or(0));
    }
    switch (state) {
    case sync::ClockState::lost:
        say(Msg::sync_clock_lost);
        break;
    case sync::ClockState::too_fast:
        say(Msg::sync_clock_fast);
        break;
    case sync::ClockState::too_slow:
        say(Msg::sync_clock_slow);
        break;
    default:
        if (said_ == Msg::sync_clock_lost || said_ == Msg::sync_clock_fast ||
            said_ == Msg::sync_clock_slow) {
            host_.sync_say({});
            said_ = Msg::count;
        }
        break;
    }
    if (const std::optional<double> bpm = follower_.bpm()) {
        host_.sync_show_bpm(*bpm);
    }
}

// The transport's position as a place on the song's timeline. A bar of
// whoever publishes bars is a bar of the song; without one, the program's
// own tempo says where the bars fall.
void SyncControl::poll_jack() {
    TransportReading reading;
    if (!output_.transport(reading)) {
        return;
    }
    sync::Timeline line;
    line.frame = static_cast<double>(reading.output_frame);
    // Leading, the bars are the program's own, and its frames say exactly
    // where they fall; another master's come in whole ticks.
    const bool bars = role_ == SyncRole::follow && reading.bbt_valid && reading.bpm > 0 &&
                      reading.beats_per_bar > 0 && reading.ticks_per_beat > 0;
    if (bars) {
        line.frames_per_beat =
            reading.beats_per_bar * 60.0 * output_.rate() / reading.bpm / kQuantum;
        line.beat =
            (reading.bar - 1 +
             (reading.beat - 1 + reading.tick / reading.ticks_per_beat) / reading.beats_per_bar) *
            kQuantum;
        if (role_ == SyncRole::follow) {
            host_.sync_show_bpm(reading.bpm * kQuantum / reading.beats_per_bar);
        }
    } else {
        line.frames_per_beat = 60.0 * output_.rate() / host_.sync_bpm();
        line.beat = static_cast<double>(reading.transport_frame) / line.frames_per_beat;
    }
    const bool was_rolling = transport_rolling_;
    transport_rolling_ = reading.rolling;
    if (reading.rolling) {
        // Steps count from where the roll began, which the reading may
        // already be a few cycles past.
        line.beat -= static_cast<double>(reading.transport_frame - reading.roll_transport_frame) /
                     line.frames_per_beat;
        line.frame = static_cast<double>(reading.roll_output_frame);
        transport_line_ = line;
        if (!was_rolling || reading.roll_output_frame != roll_output_frame_) {
            roll_output_frame_ = reading.roll_output_frame;
            follow_from(line.beat);
        }
        return;
    }
    if (was_rolling) {
        stop_following();
    }
    if (reading.transport_frame != stopped_frame_ && !host_.sync_playing()) {
        stopped_frame_ = reading.transport_frame;
        driving_ = true;
        host_.sync_locate(line.beat);
        driving_ = false;
    }
}

void SyncControl::poll_link() {
    const std::uint64_t changes = link_->changes();
    if (changes == link_changes_) {
        return;
    }
    link_changes_ = changes;
    if (link_->peers() != link_peers_) {
        link_peers_ = link_->peers();
        say(Msg::sync_link_peers, QString::number(link_peers_));
    }
    // Hits fall on the session's beat whoever leads, so its tempo is shown.
    host_.sync_show_bpm(link_->tempo());
    const bool playing = link_->playing();
    if (playing == link_playing_) {
        return;
    }
    link_playing_ = playing;
    if (playing) {
        // Link shares where the bar stands, not how many beats have passed:
        // the session's start is the song's first beat, for whoever started it.
        link_->count_from_start(kQuantum);
        follow_from(0);
    } else {
        stop_following();
    }
}

std::optional<double> SyncControl::place(double beat) {
    switch (source_) {
    case SyncSource::none:
        return std::nullopt;
    case SyncSource::midi: {
        drain_midi();
        const std::optional<double> frame = follower_.frame_of_beat(beat);
        if (!frame) {
            // A beat the clock has passed without placing it (lost, or too
            // fast to follow) never gets a frame: a long past one makes the
            // timer rejoin instead of waiting for it.
            const std::optional<double> last = follower_.last_beat();
            if (last && beat < *last) {
                return 0.0;
            }
            return std::nullopt;
        }
        return *frame + static_cast<double>(follow_delay_);
    }
    case SyncSource::jack:
        if (!transport_rolling_) {
            return std::nullopt;
        }
        return transport_line_.frame_at(beat) + static_cast<double>(follow_delay_);
    case SyncSource::link: {
        const ClockReading reading = output_.clock().read();
        if (reading.time == Clock::time_point{}) {
            return std::nullopt;
        }
        const Clock::time_point heard = link_->time_at(beat, kQuantum);
        return static_cast<double>(reading.frame) +
               std::chrono::duration<double>(heard - reading.time).count() * output_.rate() -
               heard_after();
    }
    }
    return std::nullopt;
}

// The timer found a step too late to land on (the window stalled, or the
// timeline jumped): the song rejoins the timeline at the first step it can
// still place, rather than play the missed ones at once.
void SyncControl::behind() {
    const double ahead = static_cast<double>(timer_.lookahead() + output_.render_lead_frames());
    double beat = host_.sync_position();
    switch (source_) {
    case SyncSource::none:
        return;
    case SyncSource::midi:
        beat = follower_.last_beat().value_or(beat);
        // A clock that cannot be followed is said as such; playback waits
        // for one that can, and then rejoins it.
        if (follower_.state(output_frame_now()) != sync::ClockState::running) {
            waiting_for_clock_ = true;
            stop_following();
            return;
        }
        break;
    case SyncSource::jack:
        beat = transport_line_.beat_at(static_cast<double>(output_frame_now()) + ahead -
                                       static_cast<double>(follow_delay_));
        break;
    case SyncSource::link:
        beat = link_->beat_at(Clock::now() + seconds((ahead + heard_after()) / output_.rate()),
                              kQuantum);
        break;
    }
    say(Msg::sync_rejoined, QString::number(static_cast<int>(std::floor(beat / kQuantum)) + 1));
    follow_from(std::max(beat, 0.0));
}

void SyncControl::follow_from(double beat) {
    driving_ = true;
    if (host_.sync_playing()) {
        host_.sync_stop();
    }
    host_.sync_play(beat);
    driving_ = false;
}

void SyncControl::stop_following() {
    if (!host_.sync_playing()) {
        return;
    }
    driving_ = true;
    host_.sync_stop();
    driving_ = false;
}

void SyncControl::say(Msg message, const QString& detail) {
    said_ = message;
    QString text = QString::fromStdString(texts_[message]);
    host_.sync_say(text.replace("%1", detail));
}

void SyncControl::send(std::uint64_t frame, std::initializer_list<std::uint8_t> bytes) {
    output_.send_midi(frame, std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
}

std::uint64_t SyncControl::output_frame_now() const {
    return output_.clock().read().frame_at(Clock::now(), output_.rate());
}

double SyncControl::heard_after() const {
    return static_cast<double>(output_.status().latency);
}

std::uint64_t SyncControl::follow_delay() const {
    if (source_ != SyncSource::jack) {
        return timer_.lookahead();
    }
    // A step of the transport's timeline is ticked this long after the
    // transport reached it: time to see a relocation or a stop that came
    // first (two cycles to read it, and the window's usual lateness to take
    // it), so that no step of the old position plays after it.
    const std::uint64_t notice =
        2 * output_.status().period + output_.rate() * SequencerTimer::kTickLateness.count() / 1000;
    return timer_.lookahead() + notice;
}

} // namespace qx375
