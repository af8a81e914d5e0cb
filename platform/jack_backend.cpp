#include "midi/note_offs.h"
#include "midi/parser.h"
#include "platform/audio_output.h"
#include "platform/seqlock.h"
#include "platform/spsc_ring.h"
#include "platform/transport.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/transport.h>
#include <limits>

namespace qx375 {
namespace {

using Clock = std::chrono::steady_clock;

// A note sent out sounds this long, unless the same note comes again first.
constexpr std::uint32_t kNoteMilliseconds = 100;
// The mixer renders a period in pieces of at most this many frames, so that
// a server whose period grows never needs more memory.
constexpr std::uint32_t kChunkFrames = 1024;
constexpr std::size_t kMidiEventsCapacity = 1024;
// Clocks come 24 to the beat: at 300 BPM this holds over eight seconds of them.
constexpr std::size_t kSyncEventsCapacity = 1024;

// Without a server, libjack would print its failed connection on stderr.
void quiet(const char*) {}

class JackBackend : public AudioBackend {
public:
    explicit JackBackend(Mixer& mixer)
        : mixer_(mixer), events_(kMidiEventsCapacity), sync_events_(kSyncEventsCapacity) {}

    ~JackBackend() override {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }

    bool open() {
        jack_set_error_function(quiet);
        jack_set_info_function(quiet);
        jack_status_t status{};
        client_ = jack_client_open("qx375", JackNoStartServer, &status);
        if (client_ == nullptr) {
            return false;
        }
        out_left_ =
            jack_port_register(client_, "out_L", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        out_right_ =
            jack_port_register(client_, "out_R", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        midi_in_ =
            jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        midi_out_ =
            jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        if (out_left_ == nullptr || out_right_ == nullptr || midi_in_ == nullptr ||
            midi_out_ == nullptr) {
            return false;
        }
        rate_ = jack_get_sample_rate(client_);
        period_ = jack_get_buffer_size(client_);
        offs_.set_length(rate_ * kNoteMilliseconds / 1000);
        timebase_grid_ = {2.0 * rate_, 120}; // 120 BPM until told otherwise
        grid_.publish(timebase_grid_);
        jack_set_process_callback(client_, &JackBackend::process, this);
        jack_set_latency_callback(client_, &JackBackend::latency, this);
        jack_set_buffer_size_callback(client_, &JackBackend::period_changed, this);
        jack_set_xrun_callback(client_, &JackBackend::xrun, this);
        jack_on_info_shutdown(client_, &JackBackend::shutdown, this);
        return rate_ != 0;
    }

    AudioBackendKind kind() const override { return AudioBackendKind::jack; }

    void start() override {
        if (jack_activate(client_) != 0) {
            lost_ = true;
            return;
        }
        connect_to_playback();
    }

    std::uint32_t block_frames() const override { return period_.load(); }
    std::uint32_t largest_block() const override { return kChunkFrames; }
    std::uint32_t rate() const override { return rate_; }

    OutputStatus status() const override {
        jack_latency_range_t range{};
        jack_port_get_latency_range(out_left_, JackPlaybackLatency, &range);
        const std::uint32_t period = period_.load();
        return {rate_, period, period + range.max, xruns_.load(), jack_cpu_load(client_), true};
    }

    bool lost() const override { return lost_.load(); }

    bool next_midi_event(MidiEvent& event) override { return events_.pop(event); }
    bool next_sync_event(MidiEvent& event) override { return sync_events_.pop(event); }

    bool transport(TransportReading& reading) const override { return transport_.read(reading); }
    void transport_start() override { jack_transport_start(client_); }
    void transport_stop() override { jack_transport_stop(client_); }
    bool transport_locate(std::uint64_t frame) override {
        return frame <= std::numeric_limits<jack_nframes_t>::max() &&
               jack_transport_locate(client_, static_cast<jack_nframes_t>(frame)) == 0;
    }

    bool lead_timebase(bool lead) override {
        if (lead) {
            return jack_set_timebase_callback(client_, 0, &JackBackend::timebase, this) == 0;
        }
        return jack_release_timebase(client_) == 0;
    }
    void set_timebase(const TimebaseGrid& grid) override {
        if (grid.valid()) {
            grid_.publish(grid);
        }
    }

    void set_extra_latency(std::uint32_t frames) override {
        extra_latency_.store(frames, std::memory_order_relaxed);
        jack_recompute_total_latencies(client_);
    }

private:
    // Out to the first two physical playback ports, as a program that makes
    // sound is expected to; the user's patchbay can change it afterwards.
    void connect_to_playback() {
        const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsPhysical | JackPortIsInput);
        if (ports == nullptr) {
            return;
        }
        if (ports[0] != nullptr) {
            jack_connect(client_, jack_port_name(out_left_), ports[0]);
            jack_connect(client_, jack_port_name(out_right_),
                         ports[1] != nullptr ? ports[1] : ports[0]);
        }
        jack_free(ports);
    }

    static int process(jack_nframes_t frames, void* self) noexcept {
        static_cast<JackBackend*>(self)->run(frames);
        return 0;
    }

    static int period_changed(jack_nframes_t frames, void* self) noexcept {
        static_cast<JackBackend*>(self)->period_.store(frames);
        return 0;
    }

    static int xrun(void* self) noexcept {
        ++static_cast<JackBackend*>(self)->xruns_;
        return 0;
    }

    static void shutdown(jack_status_t, const char*, void* self) noexcept {
        static_cast<JackBackend*>(self)->lost_ = true;
    }

    static void timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* pos, int,
                         void* self) noexcept {
        static_cast<JackBackend*>(self)->fill_bbt(*pos);
    }

    static void latency(jack_latency_callback_mode_t mode, void* self) noexcept {
        static_cast<JackBackend*>(self)->report_latency(mode);
    }

    void run(jack_nframes_t frames) noexcept {
        const Clock::time_point now = Clock::now();
        follow_server_clock();
        const std::uint64_t block_start = mixer_.frame();
        take_midi_in(frames, block_start);
        publish_transport(block_start, frames);

        auto* left = static_cast<float*>(jack_port_get_buffer(out_left_, frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(out_right_, frames));
        void* midi_out = jack_port_get_buffer(midi_out_, frames);
        jack_midi_clear_buffer(midi_out);
        // A Note Off due in periods the server skipped goes out at the start
        // of this one: late, but the port refuses an event before its
        // period, and a lost Note Off leaves its note hanging.
        const auto send = [&](std::uint64_t frame, std::uint8_t status, std::uint8_t note,
                              std::uint8_t velocity) {
            const std::array<jack_midi_data_t, 3> message{status, note, velocity};
            const auto offset =
                static_cast<jack_nframes_t>(frame > block_start ? frame - block_start : 0);
            jack_midi_event_write(midi_out, offset, message.data(), message.size());
        };

        for (jack_nframes_t done = 0; done < frames;) {
            const jack_nframes_t chunk = std::min<jack_nframes_t>(frames - done, kChunkFrames);
            const std::uint64_t chunk_start = mixer_.frame();
            mixer_.render(std::span(scratch_).first(2 * chunk),
                          now + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(double(done) / rate_)));
            for (jack_nframes_t i = 0; i < chunk; ++i) {
                left[done + i] = scratch_[2 * i];
                right[done + i] = scratch_[2 * i + 1];
            }
            for (const StartedNote& started : mixer_.started_notes()) {
                const std::uint64_t at = chunk_start + started.offset;
                if (started.size != 0) {
                    // The port takes events in frame order only: the note
                    // ends due before it go first.
                    offs_.until(at, send);
                    jack_midi_event_write(midi_out, static_cast<jack_nframes_t>(at - block_start),
                                          started.bytes.data(), started.size);
                } else if (started.velocity == 0) {
                    offs_.end_all(at, send);
                } else {
                    offs_.note_on(at, started.note, started.velocity, send);
                }
            }
            done += chunk;
        }
        offs_.until(block_start + frames, send);
    }

    // The mixer's frames follow the server's: a period the server skipped
    // (an xrun) is skipped by the mixer too, so every stamped start keeps
    // its place against the server's clock.
    void follow_server_clock() noexcept {
        const jack_nframes_t server_frame = jack_last_frame_time(client_);
        if (started_) {
            const jack_nframes_t passed = server_frame - last_server_frame_; // wraps as it should
            mixer_.skip_to(last_block_start_ + passed);
        }
        started_ = true;
        last_server_frame_ = server_frame;
        last_block_start_ = mixer_.frame();
    }

    void publish_transport(std::uint64_t block_start, jack_nframes_t frames) noexcept {
        jack_position_t pos{};
        TransportReading reading;
        reading.rolling = jack_transport_query(client_, &pos) == JackTransportRolling;
        reading.transport_frame = pos.frame;
        reading.output_frame = block_start;
        // A roll starts where the transport starts rolling or moves while it
        // rolls; the frame a follower's first step falls on.
        if (reading.rolling && (!was_rolling_ || pos.frame != next_transport_frame_)) {
            roll_transport_frame_ = pos.frame;
            roll_output_frame_ = block_start;
        }
        was_rolling_ = reading.rolling;
        next_transport_frame_ = static_cast<std::uint64_t>(pos.frame) + frames;
        reading.roll_transport_frame = roll_transport_frame_;
        reading.roll_output_frame = roll_output_frame_;
        reading.bbt_valid = (pos.valid & JackPositionBBT) != 0;
        if (reading.bbt_valid) {
            reading.bar = pos.bar;
            reading.beat = pos.beat;
            reading.tick = pos.tick;
            reading.bar_start_tick = pos.bar_start_tick;
            reading.beats_per_bar = pos.beats_per_bar;
            reading.ticks_per_beat = pos.ticks_per_beat;
            reading.bpm = pos.beats_per_minute;
        }
        reading.cycle = ++cycles_;
        transport_.publish(reading);
    }

    // As the transport's timebase master: the bar, beat and tick of the
    // frame the next cycle starts on. A grid the GUI is writing that very
    // moment waits for the next cycle.
    void fill_bbt(jack_position_t& pos) noexcept {
        if (TimebaseGrid grid; grid_.try_read(grid) && grid.valid()) {
            timebase_grid_ = grid;
        }
        const BarBeatTick at = bar_beat_tick(pos.frame, timebase_grid_);
        pos.valid = JackPositionBBT;
        pos.bar = at.bar;
        pos.beat = at.beat;
        pos.tick = at.tick;
        pos.bar_start_tick = at.bar_start_tick;
        pos.beats_per_bar = static_cast<float>(TimebaseGrid::kBeatsPerBar);
        pos.beat_type = 4;
        pos.ticks_per_beat = TimebaseGrid::kTicksPerBeat;
        pos.beats_per_minute = timebase_grid_.bpm;
    }

    // What the output plays, and the notes it sends, follow the MIDI that
    // came in by the extra latency on top of the server's: a recorder that
    // lines up its take by the capture latency of our outputs, or a sender
    // that sends early by the playback latency of our input, finds the hits
    // where the clock put them.
    void report_latency(jack_latency_callback_mode_t mode) noexcept {
        const std::uint32_t extra = extra_latency_.load(std::memory_order_relaxed);
        const auto add = [extra](std::uint32_t frames) {
            return frames > std::numeric_limits<std::uint32_t>::max() - extra
                       ? std::numeric_limits<std::uint32_t>::max()
                       : frames + extra;
        };
        jack_latency_range_t range{};
        if (mode == JackCaptureLatency) {
            jack_port_get_latency_range(midi_in_, JackCaptureLatency, &range);
            range = {add(range.min), add(range.max)};
            for (jack_port_t* port : {out_left_, out_right_, midi_out_}) {
                jack_port_set_latency_range(port, JackCaptureLatency, &range);
            }
            return;
        }
        range = {std::numeric_limits<std::uint32_t>::max(), 0};
        for (jack_port_t* port : {out_left_, out_right_, midi_out_}) {
            jack_latency_range_t out{};
            jack_port_get_latency_range(port, JackPlaybackLatency, &out);
            range = {std::min(range.min, out.min), std::max(range.max, out.max)};
        }
        range = {add(range.min), add(range.max)};
        jack_port_set_latency_range(midi_in_, JackPlaybackLatency, &range);
    }

    // Notes that play a sound start it on their own frame within the period;
    // clocks and the song's start, stop and place go to the sync queue; every
    // other message goes to the window, which may be learning a note.
    void take_midi_in(jack_nframes_t frames, std::uint64_t block_start) noexcept {
        void* buffer = jack_port_get_buffer(midi_in_, frames);
        const jack_nframes_t count = jack_midi_get_event_count(buffer);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) {
                continue;
            }
            const std::uint64_t at = block_start + std::min<jack_nframes_t>(event.time, frames - 1);
            parser_.feed(std::span<const std::uint8_t>(event.buffer, event.size),
                         [&](const midi::Message& message) { take(message, at); });
        }
    }

    void take(const midi::Message& message, std::uint64_t at) noexcept {
        if (midi::is_note_on(message)) {
            const std::uint8_t sound = mixer_.sound_of_note(message.data1);
            if (sound != Mixer::kNoSound) {
                mixer_.start_at(sound, at, message.data2);
            }
        }
        MidiEvent event;
        event.frame = at;
        event.bytes = {message.status, message.data1, message.data2};
        event.size = message.size;
        // A window that does not keep up misses messages.
        if (is_sync(message.status)) {
            sync_events_.push(event);
        } else {
            events_.push(event);
        }
    }

    static bool is_sync(std::uint8_t status) noexcept {
        return status == 0xF8 || status == 0xFA || status == 0xFB || status == 0xFC ||
               status == 0xF2;
    }

    Mixer& mixer_;
    jack_client_t* client_ = nullptr;
    jack_port_t* out_left_ = nullptr;
    jack_port_t* out_right_ = nullptr;
    jack_port_t* midi_in_ = nullptr;
    jack_port_t* midi_out_ = nullptr;
    std::uint32_t rate_ = 0;
    std::atomic<std::uint32_t> period_{0};
    std::atomic<std::uint64_t> xruns_{0};
    std::atomic<bool> lost_{false};
    std::atomic<std::uint32_t> extra_latency_{0};
    Seqlock<TimebaseGrid> grid_;
    Seqlock<TransportReading> transport_;

    // Process thread only.
    std::array<float, 2 * kChunkFrames> scratch_{};
    midi::Parser parser_;
    midi::NoteOffs offs_;
    bool started_ = false;
    jack_nframes_t last_server_frame_ = 0;
    bool was_rolling_ = false;
    std::uint64_t next_transport_frame_ = 0;
    std::uint64_t roll_transport_frame_ = 0;
    std::uint64_t roll_output_frame_ = 0;
    std::uint64_t last_block_start_ = 0;
    std::uint64_t cycles_ = 0;
    TimebaseGrid timebase_grid_;

    SpscRing<MidiEvent> events_;
    SpscRing<MidiEvent> sync_events_;
};

} // namespace

std::unique_ptr<AudioBackend> open_jack_backend(Mixer& mixer, std::uint32_t) {
    auto backend = std::make_unique<JackBackend>(mixer);
    if (!backend->open()) {
        return nullptr;
    }
    return backend;
}

} // namespace qx375
