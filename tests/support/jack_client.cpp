#include "support/jack_client.h"

#include "support/wait_for.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <jack/midiport.h>
#include <stdexcept>
#include <thread>

// A test server's clock starts at frame 0 and would take a day to wrap
// around, so absolute frames compare as plain numbers here.

namespace qx375::test {
namespace {

using namespace std::chrono_literals;

// The fewest frames a JACK period holds.
constexpr std::size_t kMinPeriod = 16;

} // namespace

MidiEvent midi(jack_nframes_t frame, std::initializer_list<std::uint8_t> bytes) {
    MidiEvent event;
    event.frame = frame;
    event.size = std::min(bytes.size(), event.bytes.size());
    std::copy_n(bytes.begin(), event.size, event.bytes.begin());
    return event;
}

TestClient::TestClient(const std::string& server, const std::string& name, TestClientPorts ports) {
    jack_status_t status;
    const auto options =
        static_cast<jack_options_t>(JackNoStartServer | JackServerName | JackUseExactName);
    client_ = jack_client_open(name.c_str(), options, &status, server.c_str());
    if (client_ == nullptr) {
        throw std::runtime_error("cannot open the JACK client " + name + " on the server " +
                                 server + ", status " + std::to_string(status));
    }
    const auto capacity =
        static_cast<std::size_t>(std::ceil(ports.seconds * jack_get_sample_rate(client_)));
    for (int i = 0; i < ports.audio_inputs; ++i) {
        const std::string port = "in_" + std::to_string(i + 1);
        audio_in_.push_back(
            jack_port_register(client_, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
        audio_.emplace_back(capacity);
    }
    if (ports.audio_inputs > 0) {
        periods_.resize(capacity / kMinPeriod + 1);
    }
    if (ports.midi_output) {
        midi_out_ =
            jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        outgoing_.resize(ports.midi_events);
    }
    cycles_.resize(ports.transport_cycles);
    if (ports.midi_input) {
        midi_in_ =
            jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        incoming_.resize(ports.midi_events);
    }
    const bool registered = std::none_of(audio_in_.begin(), audio_in_.end(),
                                         [](jack_port_t* p) { return p == nullptr; }) &&
                            (midi_out_ != nullptr) == ports.midi_output &&
                            (midi_in_ != nullptr) == ports.midi_input;
    jack_set_process_callback(client_, on_process, this);
    jack_set_xrun_callback(client_, on_xrun, this);
    jack_on_info_shutdown(client_, on_shutdown, this);
    if (!registered || jack_activate(client_) != 0) {
        jack_client_close(client_);
        throw std::runtime_error("cannot set up the JACK client " + name);
    }
}

TestClient::~TestClient() {
    jack_client_close(client_);
}

std::string TestClient::audio_input(int i) const {
    return jack_port_name(audio_in_.at(static_cast<std::size_t>(i)));
}
std::string TestClient::midi_output() const {
    return jack_port_name(midi_out_);
}
std::string TestClient::midi_input() const {
    return jack_port_name(midi_in_);
}

bool TestClient::connect(const std::string& from, const std::string& to) {
    const int r = jack_connect(client_, from.c_str(), to.c_str());
    return r == 0 || r == EEXIST;
}

std::vector<std::string> TestClient::ports(const std::string& pattern, const char* type,
                                           unsigned long flags) const {
    std::vector<std::string> names;
    if (const char** found = jack_get_ports(client_, pattern.c_str(), type, flags)) {
        for (const char** p = found; *p != nullptr; ++p) {
            names.emplace_back(*p);
        }
        jack_free(found);
    }
    return names;
}

jack_nframes_t TestClient::period() const {
    return jack_get_buffer_size(client_);
}
jack_nframes_t TestClient::rate() const {
    return jack_get_sample_rate(client_);
}
jack_nframes_t TestClient::frame_time() const {
    return jack_frame_time(client_);
}

bool TestClient::wait_server_gone(std::chrono::milliseconds timeout) const {
    return wait_for(timeout, [this] { return server_gone(); });
}

int TestClient::on_process(jack_nframes_t frames, void* self) {
    auto& client = *static_cast<TestClient*>(self);
    const jack_nframes_t start = jack_last_frame_time(client.client_);
    client.record_audio(start, frames);
    client.write_midi(start, frames);
    client.read_midi(start, frames);
    client.keep_transport(start);
    return 0;
}

int TestClient::on_xrun(void* self) {
    static_cast<TestClient*>(self)->xruns_.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void TestClient::on_shutdown(jack_status_t, const char*, void* self) {
    static_cast<TestClient*>(self)->gone_.store(true, std::memory_order_release);
}

void TestClient::record_audio(jack_nframes_t start, jack_nframes_t frames) {
    if (audio_in_.empty()) {
        return;
    }
    const std::size_t count = periods_recorded_.load(std::memory_order_relaxed);
    if (count == periods_.size() || audio_used_ + frames > audio_[0].size()) {
        periods_dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    for (std::size_t i = 0; i < audio_in_.size(); ++i) {
        const auto* in = static_cast<const float*>(jack_port_get_buffer(audio_in_[i], frames));
        std::copy_n(in, frames, audio_[i].begin() + static_cast<std::ptrdiff_t>(audio_used_));
    }
    periods_[count] = Period{start, frames, audio_used_};
    audio_used_ += frames;
    periods_recorded_.store(count + 1, std::memory_order_release);
}

void TestClient::write_midi(jack_nframes_t start, jack_nframes_t frames) {
    if (midi_out_ == nullptr) {
        return;
    }
    void* buffer = jack_port_get_buffer(midi_out_, frames);
    jack_midi_clear_buffer(buffer);
    const std::size_t count = outgoing_count_.load(std::memory_order_acquire);
    for (; next_outgoing_ < count && outgoing_[next_outgoing_].frame < start + frames;
         ++next_outgoing_) {
        const MidiEvent& event = outgoing_[next_outgoing_];
        jack_nframes_t offset = 0;
        if (event.frame >= start) {
            offset = event.frame - start;
        } else {
            late_.fetch_add(1, std::memory_order_relaxed);
        }
        if (jack_midi_event_write(buffer, offset, event.bytes.data(), event.size) != 0) {
            unsent_.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

void TestClient::read_midi(jack_nframes_t start, jack_nframes_t frames) {
    if (midi_in_ == nullptr) {
        return;
    }
    void* buffer = jack_port_get_buffer(midi_in_, frames);
    std::size_t count = incoming_count_.load(std::memory_order_relaxed);
    const jack_nframes_t events = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < events; ++i) {
        jack_midi_event_t in;
        if (jack_midi_event_get(&in, buffer, i) != 0) {
            continue;
        }
        if (count == incoming_.size()) {
            events_dropped_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        MidiEvent& event = incoming_[count++];
        event.frame = start + in.time;
        event.size = in.size;
        event.bytes = {};
        std::copy_n(in.buffer, std::min(in.size, event.bytes.size()), event.bytes.begin());
    }
    incoming_count_.store(count, std::memory_order_release);
}

void TestClient::keep_transport(jack_nframes_t start) {
    const std::size_t count = cycles_count_.load(std::memory_order_relaxed);
    if (count == cycles_.size()) {
        return;
    }
    jack_position_t pos;
    const jack_transport_state_t state = jack_transport_query(client_, &pos);
    cycles_[count] = TransportCycle{start, state, pos.frame};
    cycles_count_.store(count + 1, std::memory_order_release);
}

void TestClient::transport_start() {
    jack_transport_start(client_);
}

void TestClient::transport_stop() {
    jack_transport_stop(client_);
}

bool TestClient::transport_locate(jack_nframes_t frame) {
    return jack_transport_locate(client_, frame) == 0;
}

TransportState TestClient::transport_query() const {
    jack_position_t pos{};
    TransportState t;
    t.state = jack_transport_query(client_, &pos);
    t.frame = pos.frame;
    t.bbt = (pos.valid & JackPositionBBT) != 0;
    if (t.bbt) {
        t.bar = pos.bar;
        t.beat = pos.beat;
        t.tick = pos.tick;
        t.bar_start_tick = pos.bar_start_tick;
        t.beats_per_bar = pos.beats_per_bar;
        t.beat_type = pos.beat_type;
        t.ticks_per_beat = pos.ticks_per_beat;
        t.bpm = pos.beats_per_minute;
    }
    return t;
}

std::vector<TransportCycle> TestClient::transport_cycles() const {
    const std::size_t count = cycles_count_.load(std::memory_order_acquire);
    return {cycles_.begin(), cycles_.begin() + static_cast<std::ptrdiff_t>(count)};
}

jack_latency_range_t TestClient::latency(const std::string& port,
                                         jack_latency_callback_mode_t mode) const {
    jack_latency_range_t range{0, 0};
    if (jack_port_t* p = jack_port_by_name(client_, port.c_str())) {
        jack_port_get_latency_range(p, mode, &range);
    }
    return range;
}

jack_nframes_t TestClient::recorded_until() const {
    const std::size_t count = periods_recorded_.load(std::memory_order_acquire);
    return count == 0 ? 0 : periods_[count - 1].start + periods_[count - 1].frames;
}

bool TestClient::wait_recorded(jack_nframes_t until, std::chrono::milliseconds timeout) const {
    return wait_for(timeout, [&] { return recorded_until() >= until; });
}

std::size_t TestClient::period_from(jack_nframes_t frame, std::size_t count) const {
    const auto end = periods_.begin() + static_cast<std::ptrdiff_t>(count);
    const auto after =
        std::upper_bound(periods_.begin(), end, frame,
                         [](jack_nframes_t f, const Period& p) { return f < p.start; });
    if (after != periods_.begin()) {
        const Period& before = *(after - 1);
        if (frame < before.start + before.frames) {
            return static_cast<std::size_t>(after - 1 - periods_.begin());
        }
    }
    return static_cast<std::size_t>(after - periods_.begin());
}

std::optional<float> TestClient::sample(int port, jack_nframes_t frame) const {
    const std::size_t count = periods_recorded_.load(std::memory_order_acquire);
    const std::size_t at = period_from(frame, count);
    if (at == count || periods_[at].start > frame) {
        return std::nullopt;
    }
    const Period& p = periods_[at];
    return audio_.at(static_cast<std::size_t>(port))[p.offset + (frame - p.start)];
}

std::optional<jack_nframes_t> TestClient::onset(int port, jack_nframes_t from,
                                                float threshold) const {
    const std::vector<float>& audio = audio_.at(static_cast<std::size_t>(port));
    const std::size_t count = periods_recorded_.load(std::memory_order_acquire);
    for (std::size_t at = period_from(from, count); at < count; ++at) {
        const Period& p = periods_[at];
        for (jack_nframes_t f = std::max(from, p.start); f < p.start + p.frames; ++f) {
            if (std::fabs(audio[p.offset + (f - p.start)]) > threshold) {
                return f;
            }
        }
    }
    return std::nullopt;
}

bool TestClient::send(std::span<const MidiEvent> events) {
    const std::size_t count = outgoing_count_.load(std::memory_order_relaxed);
    if (events.size() > outgoing_.size() - count) {
        return false;
    }
    jack_nframes_t last = count == 0 ? 0 : outgoing_[count - 1].frame;
    for (const MidiEvent& event : events) {
        if (event.frame < last || event.size > event.bytes.size()) {
            return false;
        }
        last = event.frame;
    }
    std::copy(events.begin(), events.end(), outgoing_.begin() + static_cast<std::ptrdiff_t>(count));
    outgoing_count_.store(count + events.size(), std::memory_order_release);
    return true;
}

std::vector<MidiEvent> TestClient::received() const {
    const std::size_t count = incoming_count_.load(std::memory_order_acquire);
    return {incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(count)};
}

bool TestClient::wait_received(std::size_t count, std::chrono::milliseconds timeout) const {
    return wait_for(timeout,
                    [&] { return incoming_count_.load(std::memory_order_acquire) >= count; });
}

} // namespace qx375::test
