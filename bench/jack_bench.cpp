// The program through JACK, on a private server with the dummy driver:
//   jack_bench midi PERIOD [NOTES]
//       notes sent to midi_in at random frames: where their sounds start
//       against the notes' own frames (latency and jitter, in frames)
//   jack_bench flood SECONDS
//       ten thousand MIDI messages a second to midi_in (notes in and out of
//       the map, running status, SysEx, clock bytes) for SECONDS, against as
//       many quiet seconds before: the server's xruns in each
//   jack_bench watch PERIOD WHAT COMMAND...
//       runs COMMAND against a real-time server (the program's program_bench,
//       say, or one of JACK's own example clients to compare), while a client
//       of ours counts the server's xruns and samples its DSP load, from the
//       third second to the end of the command
// Each prints FIGURE lines for bench/all.sh.
#include "platform/audio_output.h"
#include "support/jack_client.h"
#include "support/jack_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <jack/jack.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace qx375;
using namespace std::chrono_literals;

namespace {

constexpr float kLevel = 0.5f;

std::vector<std::uint8_t> pcm16_pulse(std::size_t frames) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < frames; ++i) {
        bytes.push_back(0x00);
        bytes.push_back(0x40); // 0.5
    }
    return bytes;
}

// A 44.1 kHz mono sound of `frames` frames at half scale, on sound 2.
std::unique_ptr<SoundBuffer> bind_pulse(SoundDevice& device) {
    const std::vector<std::uint8_t> format = {1,    0,    1, 0, 0x44, 0xAC, 0,  0,
                                              0x88, 0x58, 1, 0, 2,    0,    16, 0};
    const std::vector<std::uint8_t> bytes = pcm16_pulse(100);
    BufferDesc desc;
    desc.size = kBufferDescSize;
    desc.flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    desc.buffer_bytes = static_cast<std::uint32_t>(bytes.size());
    desc.format = format;
    std::unique_ptr<SoundBuffer> buffer;
    if (device.CreateSoundBuffer(desc, buffer) != DS_OK) {
        return nullptr;
    }
    LockedRegions regions;
    buffer->Lock(0, desc.buffer_bytes, regions, 0);
    std::copy(bytes.begin(), bytes.end(), regions.first.begin());
    buffer->Unlock(regions);
    device.bind_sound(2, buffer.get(), 0);
    return buffer;
}

// The program's output on the default server, its sound 2 the pulse and
// notes played by the General MIDI map.
struct Player {
    AudioOutput output{AudioBackendKind::jack};
    std::unique_ptr<SoundDevice> device;
    std::unique_ptr<SoundBuffer> pulse;

    Player() {
        output.create_device(device);
        pulse = bind_pulse(*device);
        output.set_note_map(midi::NoteMap::general_midi());
    }
};

int midi_latency(std::uint32_t period, int notes) {
    test::JackServer server({period, 44100});
    if (!server.failure().empty()) {
        std::fprintf(stderr, "%s\n", server.failure().c_str());
        return 1;
    }
    test::DefaultJackServer uses(server);
    Player player;
    test::TestClient pads(server.name(), "pads", {.midi_output = true, .midi_events = 8192});
    test::TestClient recorder(server.name(), "recorder",
                              {.audio_inputs = 1, .seconds = 2.0 + notes * 0.05});
    pads.connect(pads.midi_output(), "qx375:midi_in");
    recorder.connect("qx375:out_L", recorder.audio_input(0));

    std::mt19937 random(375);
    std::uniform_int_distribution<jack_nframes_t> gap(1000, 3000);
    std::vector<test::MidiEvent> sent;
    jack_nframes_t at = pads.frame_time() + pads.rate() / 5;
    for (int i = 0; i < notes; ++i) {
        at += gap(random);
        sent.push_back(test::midi(at, {0x99, 38, 127}));
    }
    pads.send(sent);
    recorder.wait_recorded(at + pads.rate() / 2, 60s);

    long worst = 0;
    long least = 0;
    long found = 0;
    jack_nframes_t from = sent.front().frame - period;
    for (const test::MidiEvent& note : sent) {
        const auto onset = recorder.onset(0, from, 1e-7f);
        if (!onset) {
            break;
        }
        const long late = static_cast<long>(*onset) - static_cast<long>(note.frame);
        worst = found == 0 ? late : std::max(worst, late);
        least = found == 0 ? late : std::min(least, late);
        ++found;
        from = *onset + 500;
    }
    std::printf("FIGURE|MIDI in to sound, %u-frame period: onset against the note's own frame|"
                "%+ld frames (jitter %ld frames) over %ld of %d notes; heard one period "
                "(%.2f ms) after the note came in\n",
                period, least, worst - least, found, notes, 1000.0 * period / 44100);
    return found == notes ? 0 : 1;
}

// A client that only watches: the xruns the server reports, and its load.
class Observer {
public:
    explicit Observer(const std::string& server) {
        jack_status_t status;
        client_ = jack_client_open("observer",
                                   static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                   &status, server.c_str());
        if (client_ != nullptr) {
            jack_set_xrun_callback(client_, &Observer::xrun, this);
            jack_activate(client_);
        }
    }
    ~Observer() {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }
    float load() const { return client_ != nullptr ? jack_cpu_load(client_) : 0; }
    int xruns() const { return xruns_.load(); }

private:
    static int xrun(void* self) {
        ++static_cast<Observer*>(self)->xruns_;
        return 0;
    }
    jack_client_t* client_ = nullptr;
    std::atomic<int> xruns_{0};
};

int flood(int seconds) {
    test::JackServer server({128, 44100, true});
    if (!server.failure().empty()) {
        std::fprintf(stderr, "%s\n", server.failure().c_str());
        return 1;
    }
    test::DefaultJackServer uses(server);
    Player player;
    AudioOutput& output = player.output;
    const auto per_second = std::size_t{10000};
    test::TestClient pads(server.name(), "pads",
                          {.midi_output = true, .midi_events = per_second * seconds + 16});
    pads.connect(pads.midi_output(), "qx375:midi_in");
    Observer observer(server.name());

    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const int quiet = observer.xruns();
    std::vector<test::MidiEvent> messages;
    const jack_nframes_t first = pads.frame_time() + pads.rate() / 5;
    for (std::size_t i = 0; i < per_second * seconds; ++i) {
        const auto at = static_cast<jack_nframes_t>(first + i * pads.rate() / per_second);
        const auto byte = static_cast<std::uint8_t>(i % 128);
        switch (i % 4) {
        case 0:
            messages.push_back(test::midi(at, {0x99, byte, std::uint8_t(1 + i % 127)}));
            break;
        case 1:
            messages.push_back(test::midi(at, {byte, 0x40}));
            break;
        case 2:
            messages.push_back(test::midi(at, {0xF0, 1, 2, 3, 4, 5, 6, 7, 0xF7}));
            break;
        default:
            messages.push_back(test::midi(at, {0xF8}));
            break;
        }
    }
    pads.send(messages);
    std::this_thread::sleep_for(std::chrono::seconds(seconds) + 500ms);
    std::printf("FIGURE|10,000 MIDI messages a second for %d s, real-time server at 128 frames: "
                "server xruns, against as long without|%d xruns in the flood, %d without; "
                "still on JACK: %s\n",
                seconds, observer.xruns() - quiet, quiet,
                output.backend() == AudioBackendKind::jack && !output.check_device() ? "yes"
                                                                                     : "no");
    return 0;
}

int watch(std::uint32_t period, const char* what, char** command) {
    test::JackServer server({period, 44100, true});
    if (!server.failure().empty()) {
        std::fprintf(stderr, "%s\n", server.failure().c_str());
        return 1;
    }
    test::DefaultJackServer uses(server);
    Observer observer(server.name());
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(command[0], command);
        ::_exit(127);
    }
    double load = 0;
    float peak = 0;
    int samples = 0;
    int status = 0;
    int first_xruns = 0;
    int last_xruns = 0;
    // From the third second on, as program_bench measures: the first two
    // are start-up. The command's own end is left out too.
    for (int second = 0; ::waitpid(child, &status, WNOHANG) == 0; ++second) {
        std::this_thread::sleep_for(1s);
        if (second == 2) {
            first_xruns = observer.xruns();
        }
        if (second >= 3) {
            load += observer.load();
            peak = std::max(peak, observer.load());
            last_xruns = observer.xruns();
            ++samples;
        }
    }
    std::printf("FIGURE|%s, real-time server at %u frames (%.1f ms), %d s: server xruns; DSP "
                "load (the whole graph's share of the period)|%d xruns; load %.1f %% mean, "
                "%.1f %% at most\n",
                what, period, 1000.0 * period / 44100, samples, last_xruns - first_xruns,
                samples > 0 ? load / samples : 0.0, peak);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "midi" && argc >= 3) {
        return midi_latency(std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 200);
    }
    if (mode == "flood" && argc >= 3) {
        return flood(std::atoi(argv[2]));
    }
    if (mode == "watch" && argc >= 5) {
        return watch(std::atoi(argv[2]), argv[3], argv + 4);
    }
    std::fprintf(stderr, "usage: jack_bench midi PERIOD [NOTES]\n"
                         "       jack_bench flood SECONDS\n"
                         "       jack_bench watch PERIOD WHAT COMMAND...\n");
    return 2;
}
