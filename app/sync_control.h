#pragma once

#include "app/texts.h"
#include "platform/audio_output.h"
#include "sync/clock_follower.h"
#include "sync/timeline.h"

#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

class QAction;
class QMenu;

namespace qx375 {

class IniFile;
class SequencerTimer;

namespace sync {
class LinkSession;
}

// Whom the program keeps time with: nobody (its own tempo), a JACK
// transport, a MIDI clock or an Ableton Link session; leading or following.
enum class SyncSource { none, jack, midi, link };
enum class SyncRole { lead, follow };

// What the sync asks of the window: the song's place, and playback.
class SyncHost {
public:
    virtual ~SyncHost() = default;
    // Plays from the first step at or after `beat` of the song (beat 0 is
    // its first step, a bar is four beats); its ticks follow the timer's
    // beat placer.
    virtual void sync_play(double beat) = 0;
    virtual void sync_stop() = 0;
    // While stopped: to the bar that holds `beat`.
    virtual void sync_locate(double beat) = 0;
    // The tempo of whom the program follows, shown on the tempo controls.
    virtual void sync_show_bpm(double bpm) = 0;
    // Tells the user what the sync did; an empty text clears it.
    virtual void sync_say(const QString& text) = 0;
    virtual bool sync_playing() const = 0;
    // Where the song stands: the beat of its current bar and step.
    virtual double sync_position() const = 0;
    // The program's own tempo as the outside world counts it.
    virtual double sync_bpm() const = 0;
};

// The sync's menu, its setting in qx375.ini, and the work of each source:
// reading what comes in, placing the steps on the shared timeline and
// sending what a follower needs. Polls while a source is chosen, never
// otherwise, so a program that keeps its own time does as it always did.
class SyncControl {
public:
    static constexpr std::chrono::milliseconds kPoll{5};

    SyncControl(AudioOutput& output, SequencerTimer& timer, SyncHost& host, const Texts& texts);
    ~SyncControl();

    // Adds the Sync submenu to the special menu.
    void build_menu(QMenu& special);
    void read(const IniFile& ini);
    void write(IniFile& ini) const;

    void choose(SyncSource source, SyncRole role);
    SyncSource source() const { return source_; }
    SyncRole role() const { return role_; }

    // The window's hooks. The user asked to start or stop: true when the
    // source takes the request (the window then waits for it).
    bool take_start();
    bool take_stop();
    // Playback starts or stops, whoever asked.
    void started(bool from_song_start);
    void stopping();
    // The tick played step `step` of a bar of `size` steps.
    void ticked(int step, int size);
    // While stopped, the song moved to another bar.
    void moved();
    // The user moved the tempo.
    void tempo_changed();

private:
    void poll();
    void drain_midi();
    void poll_midi();
    void poll_jack();
    void poll_link();
    std::optional<double> place(double beat);
    void behind();
    void follow_from(double beat);
    void stop_following();
    void say(Msg message, const QString& detail = {});
    void apply_choice();
    void send(std::uint64_t frame, std::initializer_list<std::uint8_t> bytes);
    std::uint64_t output_frame_now() const;
    // Frames from a frame's render to its sound at the listener's ear.
    double heard_after() const;
    // The frames a hit placed from an incoming clock or transport waits
    // after it: the timer's look-ahead, so the first beat is never lost.
    // Worked out once when the source is chosen, as the ports report it; the
    // ticks only read it.
    std::uint64_t follow_delay() const;
    std::uint64_t follow_delay_ = 0;

    AudioOutput& output_;
    SequencerTimer& timer_;
    SyncHost& host_;
    const Texts& texts_;
    SyncSource source_ = SyncSource::none;
    SyncRole role_ = SyncRole::lead;
    QTimer poll_;
    // The sync itself starts or stops playback: the window's hooks let it.
    bool driving_ = false;

    std::array<QAction*, 4> source_items_{};
    std::array<QAction*, 2> role_items_{};

    // MIDI clock.
    sync::ClockFollower follower_;
    bool send_first_ = false;        // the next tick begins the clock
    bool send_start_ = false;        // with Start, else with Continue
    double start_position_ = 0;      // the beat playback started from
    bool clock_running_ = false;     // a Start or Continue went out, and no Stop yet
    bool waiting_for_clock_ = false; // stopped for a clock that could not be followed

    // JACK transport.
    bool transport_rolling_ = false;
    std::uint64_t roll_output_frame_ = 0; // where the roll followed began
    std::uint64_t stopped_frame_ = 0;     // where the transport last stood still
    sync::Timeline transport_line_;

    // Ableton Link.
    std::unique_ptr<sync::LinkSession> link_;
    bool link_playing_ = false;
    std::uint64_t link_changes_ = 0;
    std::size_t link_peers_ = 0;

    Msg said_ = Msg::count;
};

} // namespace qx375
