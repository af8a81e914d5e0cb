#pragma once

// A JACK client of the tests' own, beside the program under test: it records
// what reaches its audio and MIDI inputs and plays MIDI events the test
// schedules, each on the absolute JACK frame it belongs to, so that a test
// can tell on which frame the program made or heard a sound.
//
// Its process callback allocates nothing, takes no lock and logs nothing:
// everything it fills is allocated before the client is activated, and it
// hands its results to the test's thread through atomic counts.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <jack/jack.h>
#include <jack/transport.h>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qx375::test {

// A MIDI message on an absolute frame. A received message longer than
// `bytes` keeps its first bytes there and its whole length in `size`.
struct MidiEvent {
    jack_nframes_t frame = 0;
    std::size_t size = 0;
    std::array<std::uint8_t, 16> bytes{};

    bool operator==(const MidiEvent&) const = default;
};

// Builds a message of up to 16 bytes.
MidiEvent midi(jack_nframes_t frame, std::initializer_list<std::uint8_t> bytes);

// The transport as a client reads it; the bar, beat and tick only when
// `bbt` says the timebase master gave them.
struct TransportState {
    jack_transport_state_t state = JackTransportStopped;
    jack_nframes_t frame = 0;
    bool bbt = false;
    std::int32_t bar = 0;
    std::int32_t beat = 0;
    std::int32_t tick = 0;
    double bar_start_tick = 0;
    float beats_per_bar = 0;
    float beat_type = 0;
    double ticks_per_beat = 0;
    double bpm = 0;
};

// One of the client's cycles: the server's frame it started on, and the
// transport's state and frame then.
struct TransportCycle {
    jack_nframes_t start = 0;
    jack_transport_state_t state = JackTransportStopped;
    jack_nframes_t frame = 0;
};

struct TestClientPorts {
    int audio_inputs = 0;
    bool midi_output = false;
    bool midi_input = false;
    double seconds = 20;              // of audio the inputs keep, from activation on
    std::size_t midi_events = 4096;   // events each way
    std::size_t transport_cycles = 0; // cycles whose transport it keeps, from activation on
};

class TestClient {
public:
    // Connects to the server so named under `name` exactly, registers the
    // ports and activates; throws std::runtime_error when it cannot.
    TestClient(const std::string& server, const std::string& name, TestClientPorts ports = {});
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    // Full port names, "client:port".
    std::string audio_input(int i) const;
    std::string midi_output() const;
    std::string midi_input() const;

    // Connects an output port to an input port; true when they are connected.
    bool connect(const std::string& from, const std::string& to);
    // The server's ports whose names match the regular expression `pattern`.
    std::vector<std::string> ports(const std::string& pattern = "", const char* type = nullptr,
                                   unsigned long flags = 0) const;

    jack_nframes_t period() const;
    jack_nframes_t rate() const;
    // The frame the server's clock estimates for now.
    jack_nframes_t frame_time() const;
    int xruns() const { return xruns_.load(std::memory_order_relaxed); }

    // Whether the server shut the client down, as it does when it quits or dies.
    bool server_gone() const { return gone_.load(std::memory_order_acquire); }
    bool wait_server_gone(std::chrono::milliseconds timeout) const;

    // The recording of the audio inputs: frames recorded so far end before
    // recorded_until(); a period the client missed, or one past its capacity,
    // is not there.
    jack_nframes_t recorded_until() const;
    bool wait_recorded(jack_nframes_t until, std::chrono::milliseconds timeout) const;
    std::optional<float> sample(int port, jack_nframes_t frame) const;
    // The first recorded frame from `from` on whose magnitude exceeds `threshold`.
    std::optional<jack_nframes_t> onset(int port, jack_nframes_t from, float threshold) const;
    int periods_dropped() const { return periods_dropped_.load(std::memory_order_relaxed); }

    // Hands events, of 16 bytes at most, to the MIDI output, in frame order
    // and after those handed before; false, sending none of them, when they
    // are out of order or do not fit. Each goes out in the period that holds
    // its frame; one whose period has passed goes out at once and counts as
    // late.
    bool send(std::span<const MidiEvent> events);
    int late_events() const { return late_.load(std::memory_order_relaxed); }
    int unsent_events() const { return unsent_.load(std::memory_order_relaxed); }

    // The events the MIDI input received, in order.
    std::vector<MidiEvent> received() const;
    bool wait_received(std::size_t count, std::chrono::milliseconds timeout) const;
    int events_dropped() const { return events_dropped_.load(std::memory_order_relaxed); }

    // The server's transport, which any client may move.
    void transport_start();
    void transport_stop();
    bool transport_locate(jack_nframes_t frame);
    TransportState transport_query() const;
    // The transport in each cycle the client kept, in order.
    std::vector<TransportCycle> transport_cycles() const;

    // The latency a port of the server, "client:port", reports; {0, 0} when
    // there is no such port.
    jack_latency_range_t latency(const std::string& port, jack_latency_callback_mode_t mode) const;

private:
    struct Period {
        jack_nframes_t start;
        jack_nframes_t frames;
        std::size_t offset; // into each input's recording
    };

    static int on_process(jack_nframes_t frames, void* self);
    static int on_xrun(void* self);
    static void on_shutdown(jack_status_t, const char*, void* self);
    void record_audio(jack_nframes_t start, jack_nframes_t frames);
    void write_midi(jack_nframes_t start, jack_nframes_t frames);
    void read_midi(jack_nframes_t start, jack_nframes_t frames);
    void keep_transport(jack_nframes_t start);
    // The recorded period that holds `frame`, or the first after it.
    std::size_t period_from(jack_nframes_t frame, std::size_t count) const;

    jack_client_t* client_ = nullptr;
    std::vector<jack_port_t*> audio_in_;
    jack_port_t* midi_out_ = nullptr;
    jack_port_t* midi_in_ = nullptr;

    std::vector<std::vector<float>> audio_;
    std::vector<Period> periods_;
    std::size_t audio_used_ = 0; // the process callback's own
    std::atomic<std::size_t> periods_recorded_{0};
    std::atomic<int> periods_dropped_{0};

    std::vector<MidiEvent> outgoing_;
    std::atomic<std::size_t> outgoing_count_{0};
    std::size_t next_outgoing_ = 0; // the process callback's own
    std::atomic<int> late_{0};
    std::atomic<int> unsent_{0};

    std::vector<MidiEvent> incoming_;
    std::atomic<std::size_t> incoming_count_{0};
    std::atomic<int> events_dropped_{0};

    std::vector<TransportCycle> cycles_;
    std::atomic<std::size_t> cycles_count_{0};

    std::atomic<int> xruns_{0};
    std::atomic<bool> gone_{false};
};

} // namespace qx375::test
