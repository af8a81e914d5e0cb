// The JACK server and client the JACK backend's tests stand on: each must be
// right to the frame before it can judge the backend.

#include "support/jack_client.h"
#include "support/jack_server.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <jack/midiport.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qx375::test {
namespace {

using namespace std::chrono_literals;

// A client whose one output port the test fills in its process callback,
// given the port's buffer, the period's first absolute frame and its length.
class ScriptedClient {
public:
    using Process = std::function<void(void* buffer, jack_nframes_t start, jack_nframes_t frames)>;

    ScriptedClient(const JackServer& server, const char* name, const char* type, Process process)
        : process_(std::move(process)) {
        jack_status_t status;
        const auto options = static_cast<jack_options_t>(JackNoStartServer | JackServerName);
        client_ = jack_client_open(name, options, &status, server.name().c_str());
        if (client_ == nullptr) {
            throw std::runtime_error("cannot open the scripted client");
        }
        port_ = jack_port_register(client_, "out", type, JackPortIsOutput, 0);
        jack_set_process_callback(client_, on_process, this);
        if (port_ == nullptr || jack_activate(client_) != 0) {
            jack_client_close(client_);
            throw std::runtime_error("cannot set up the scripted client");
        }
    }
    ~ScriptedClient() { jack_client_close(client_); }
    ScriptedClient(const ScriptedClient&) = delete;
    ScriptedClient& operator=(const ScriptedClient&) = delete;

    std::string output() const { return jack_port_name(port_); }

private:
    static int on_process(jack_nframes_t frames, void* self) {
        auto& client = *static_cast<ScriptedClient*>(self);
        client.process_(jack_port_get_buffer(client.port_, frames),
                        jack_last_frame_time(client.client_), frames);
        return 0;
    }

    Process process_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
};

// A frame far enough ahead that the test's thread, however slow, hands its
// events over before the server reaches it, and `align` frames past the
// start of a period.
jack_nframes_t ahead(const TestClient& client, jack_nframes_t align = 0) {
    const jack_nframes_t later = client.frame_time() + client.rate() / 5;
    return later - later % client.period() + client.period() + align;
}

class JackSupport : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = JackServer::unavailable(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
    }
};

class JackPeriods : public JackSupport, public ::testing::WithParamInterface<JackSettings> {};

TEST_P(JackPeriods, ClientsSeeTheServersPeriodAndRateAndItsClockRuns) {
    JackServer server(GetParam());
    ASSERT_EQ(server.failure(), "");
    TestClient client(server.name(), "probe");
    EXPECT_EQ(client.period(), GetParam().period);
    EXPECT_EQ(client.rate(), GetParam().rate);
    // The dummy driver's cards: two capture and two playback ports.
    EXPECT_EQ(client.ports("^system:", JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical).size(), 4u);

    const jack_nframes_t before = client.frame_time();
    std::this_thread::sleep_for(100ms);
    const jack_nframes_t elapsed = client.frame_time() - before;
    EXPECT_GT(elapsed, GetParam().rate / 20);
    EXPECT_LT(elapsed, GetParam().rate);
}

INSTANTIATE_TEST_SUITE_P(Settings, JackPeriods,
                         ::testing::Values(JackSettings{64, 48000}, JackSettings{128, 44100},
                                           JackSettings{1024, 96000}),
                         [](const auto& info) {
                             return "period" + std::to_string(info.param.period) + "_rate" +
                                    std::to_string(info.param.rate);
                         });

// libjack keeps one set of shared state per process: while a client of one
// server is open, a client the process opens on another sees the first
// server. So the clients here take turns.
TEST_F(JackSupport, ServersStandApartAndStopCleanly) {
    auto first = std::make_unique<JackServer>(JackSettings{.period = 128});
    JackServer second({.period = 512});
    ASSERT_EQ(first->failure(), "");
    ASSERT_EQ(second.failure(), "");
    EXPECT_NE(first->name(), second.name());
    EXPECT_NE(first->log().find("non-realtime"), std::string::npos) << first->log();
    EXPECT_EQ(TestClient(first->name(), "a").period(), 128u);
    EXPECT_EQ(TestClient(second.name(), "a").period(), 512u);

    const std::string name = first->name();
    first->stop();
    EXPECT_FALSE(first->running());
    EXPECT_THROW(TestClient(name, "late"), std::runtime_error);
    first.reset();
    EXPECT_TRUE(second.running());
    EXPECT_EQ(TestClient(second.name(), "still").period(), 512u);
}

TEST_F(JackSupport, DefaultServerReachesClientsThatNameNone) {
    JackServer server({.period = 128});
    ASSERT_EQ(server.failure(), "");
    ScopedEnv before("JACK_DEFAULT_SERVER", "elsewhere");
    {
        DefaultJackServer here(server);
        EXPECT_STREQ(std::getenv("JACK_NO_START_SERVER"), "1");
        jack_status_t status;
        jack_client_t* client = jack_client_open("unnamed", JackNullOption, &status);
        ASSERT_NE(client, nullptr) << status;
        EXPECT_EQ(jack_get_buffer_size(client), 128u);
        jack_client_close(client);
    }
    EXPECT_STREQ(std::getenv("JACK_DEFAULT_SERVER"), "elsewhere");
    EXPECT_EQ(std::getenv("JACK_NO_START_SERVER"), nullptr);
}

TEST_F(JackSupport, UnavailableNamesAMissingJackd) {
    ScopedEnv path("PATH", "/nonexistent");
    EXPECT_NE(JackServer::unavailable().find("jackd is not installed"), std::string::npos);
    JackServer server;
    EXPECT_FALSE(server.running());
    EXPECT_NE(server.failure(), "");
}

TEST_F(JackSupport, MidiArrivesOnTheFramesItWasSentFor) {
    JackServer server({.period = 128});
    ASSERT_EQ(server.failure(), "");
    TestClient sender(server.name(), "sender", {.midi_output = true});
    TestClient receiver(server.name(), "receiver", {.midi_input = true});
    ASSERT_TRUE(sender.connect(sender.midi_output(), receiver.midi_input()));

    // The edges of periods, two events on one frame, a period left empty.
    const jack_nframes_t base = ahead(sender);
    const std::vector<MidiEvent> events = {
        midi(base, {0x90, 36, 100}),       midi(base + 1, {0x80, 36, 0}),
        midi(base + 127, {0x90, 38, 90}),  midi(base + 128, {0x90, 42, 80}),
        midi(base + 191, {0x99, 44, 1}),   midi(base + 191, {0x89, 44, 0}),
        midi(base + 3 * 128 + 17, {0xF8}), midi(base + 3 * 128 + 18, {0xB0, 7, 127}),
    };
    ASSERT_TRUE(sender.send(std::span(events).first(4)));
    ASSERT_TRUE(sender.send(std::span(events).subspan(4)));

    ASSERT_TRUE(receiver.wait_received(events.size(), 3s));
    EXPECT_EQ(receiver.received(), events);
    EXPECT_EQ(sender.late_events(), 0);
    EXPECT_EQ(sender.unsent_events(), 0);
    EXPECT_EQ(receiver.events_dropped(), 0);
}

TEST_F(JackSupport, MidiEventsArePassedOverOnlyInOrderAndWhenTheyFit) {
    JackServer server;
    ASSERT_EQ(server.failure(), "");
    TestClient sender(server.name(), "sender", {.midi_output = true, .midi_events = 3});
    TestClient receiver(server.name(), "receiver", {.midi_input = true, .midi_events = 2});
    ASSERT_TRUE(sender.connect(sender.midi_output(), receiver.midi_input()));

    const jack_nframes_t base = ahead(sender);
    const std::vector<MidiEvent> backwards = {midi(base + 10, {0x90}), midi(base + 5, {0x80})};
    EXPECT_FALSE(sender.send(backwards));
    const std::vector<MidiEvent> first = {midi(base, {0x90, 1, 1}), midi(base + 10, {0x90, 2, 1})};
    ASSERT_TRUE(sender.send(first));
    const std::vector<MidiEvent> earlier = {midi(base + 9, {0x90, 3, 1})};
    EXPECT_FALSE(sender.send(earlier));
    const std::vector<MidiEvent> two_more = {midi(base + 20, {0x90, 3, 1}),
                                             midi(base + 30, {0x90, 4, 1})};
    EXPECT_FALSE(sender.send(two_more));
    ASSERT_TRUE(sender.send(std::span(two_more).first(1)));

    // The receiver keeps what it has room for.
    ASSERT_TRUE(receiver.wait_received(2, 3s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(receiver.received(), first);
    EXPECT_EQ(receiver.events_dropped(), 1);
    EXPECT_EQ(sender.late_events(), 0);
}

TEST_F(JackSupport, LateMidiGoesOutAtOnceAndCounts) {
    JackServer server;
    ASSERT_EQ(server.failure(), "");
    TestClient sender(server.name(), "sender", {.midi_output = true});
    TestClient receiver(server.name(), "receiver", {.midi_input = true});
    ASSERT_TRUE(sender.connect(sender.midi_output(), receiver.midi_input()));

    const std::vector<MidiEvent> past = {midi(sender.frame_time(), {0x90, 1, 1})};
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(sender.send(past));
    ASSERT_TRUE(receiver.wait_received(1, 3s));
    const MidiEvent got = receiver.received()[0];
    EXPECT_GT(got.frame, past[0].frame);
    EXPECT_EQ(got.frame % server.settings().period, 0u);
    EXPECT_EQ(sender.late_events(), 1);
}

TEST_F(JackSupport, LongMidiMessagesKeepTheirLengthAndFirstBytes) {
    JackServer server;
    ASSERT_EQ(server.failure(), "");
    TestClient receiver(server.name(), "receiver", {.midi_input = true});
    std::array<std::uint8_t, 40> sysex{};
    for (std::size_t i = 0; i < sysex.size(); ++i) {
        sysex[i] = static_cast<std::uint8_t>(i);
    }
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    const jack_nframes_t at = ahead(receiver, 33);
    ScriptedClient writer(server, "writer", JACK_DEFAULT_MIDI_TYPE,
                          [&](void* buffer, jack_nframes_t start, jack_nframes_t frames) {
                              jack_midi_clear_buffer(buffer);
                              if (at >= start && at < start + frames) {
                                  jack_midi_event_write(buffer, at - start, sysex.data(),
                                                        sysex.size());
                              }
                          });
    ASSERT_TRUE(receiver.connect(writer.output(), receiver.midi_input()));

    ASSERT_TRUE(receiver.wait_received(1, 3s));
    const MidiEvent got = receiver.received()[0];
    EXPECT_EQ(got.frame, at);
    EXPECT_EQ(got.size, sysex.size());
    EXPECT_TRUE(std::equal(got.bytes.begin(), got.bytes.end(), sysex.begin()));
}

// The tone runs before the recorder in each cycle, since the graph puts a
// port's writer ahead of its readers, so the recorder hears the tone in the
// same cycle: the ramp starts on the very frame it was written for, with no
// period of delay.
TEST_F(JackSupport, RecordsARampOnTheFrameItWasPlayed) {
    JackServer server({.period = 256});
    ASSERT_EQ(server.failure(), "");
    TestClient recorder(server.name(), "recorder", {.audio_inputs = 2, .seconds = 5});
    constexpr jack_nframes_t kLength = 300; // crosses into the next period
    const jack_nframes_t at = ahead(recorder, 200);
    auto ramp = [](jack_nframes_t k) { return 0.25f + static_cast<float>(k) / 1024.0f; };
    ScriptedClient tone(server, "tone", JACK_DEFAULT_AUDIO_TYPE,
                        [&](void* buffer, jack_nframes_t start, jack_nframes_t frames) {
                            auto* out = static_cast<float*>(buffer);
                            for (jack_nframes_t i = 0; i < frames; ++i) {
                                const jack_nframes_t f = start + i;
                                out[i] = f >= at && f < at + kLength ? ramp(f - at) : 0.0f;
                            }
                        });
    ASSERT_TRUE(recorder.connect(tone.output(), recorder.audio_input(0)));

    ASSERT_TRUE(recorder.wait_recorded(at + kLength + 1, 3s));
    EXPECT_EQ(recorder.onset(0, at - 1000, 0.1f), at);
    EXPECT_EQ(recorder.sample(0, at - 1), 0.0f);
    for (jack_nframes_t k : {0u, 1u, 55u, 56u, 57u, 299u}) {
        EXPECT_EQ(recorder.sample(0, at + k), ramp(k)) << "frame " << at + k;
    }
    EXPECT_EQ(recorder.sample(0, at + kLength), 0.0f);
    EXPECT_EQ(recorder.onset(0, at + 1, 0.3f), at + 52);
    EXPECT_EQ(recorder.onset(0, at + 60, 0.1f), at + 60);
    EXPECT_EQ(recorder.onset(1, at - 1000, 0.0f), std::nullopt);
    EXPECT_EQ(recorder.sample(1, at), 0.0f);
    EXPECT_EQ(recorder.sample(0, recorder.recorded_until() + 1), std::nullopt);
    EXPECT_EQ(recorder.periods_dropped(), 0);
}

TEST_F(JackSupport, RecordingStopsWhenFullAndCountsWhatItMissed) {
    JackServer server({.period = 1024});
    ASSERT_EQ(server.failure(), "");
    TestClient recorder(server.name(), "recorder", {.audio_inputs = 1, .seconds = 0.1});
    std::this_thread::sleep_for(300ms);
    // 4800 frames hold four periods of 1024.
    const jack_nframes_t end = recorder.recorded_until();
    EXPECT_EQ(recorder.sample(0, end - 4096), 0.0f);
    EXPECT_EQ(recorder.sample(0, end - 4097), std::nullopt);
    EXPECT_EQ(recorder.sample(0, end), std::nullopt);
    EXPECT_GT(recorder.periods_dropped(), 0);
}

TEST_F(JackSupport, ClientsCountTheCyclesAClientMakesLate) {
    JackServer server({.period = 1024});
    ASSERT_EQ(server.failure(), "");
    TestClient watcher(server.name(), "watcher");
    std::atomic<bool> stall{false};
    ScriptedClient slow(server, "slow", JACK_DEFAULT_AUDIO_TYPE,
                        [&](void*, jack_nframes_t, jack_nframes_t) {
                            if (stall.exchange(false)) {
                                std::this_thread::sleep_for(100ms);
                            }
                        });
    std::this_thread::sleep_for(100ms);
    const int before = watcher.xruns();
    stall = true;
    std::this_thread::sleep_for(500ms);
    EXPECT_GT(watcher.xruns(), before);
}

TEST_F(JackSupport, ClientsNoticeTheServerDyingAndANewOneStarts) {
    auto server = std::make_unique<JackServer>(JackSettings{.period = 128});
    ASSERT_EQ(server->failure(), "");
    auto client = std::make_unique<TestClient>(
        server->name(), "orphan",
        TestClientPorts{.audio_inputs = 1, .midi_output = true, .midi_input = true});
    ASSERT_TRUE(client->connect(client->midi_output(), client->midi_input()));
    EXPECT_FALSE(client->server_gone());

    server->kill_now();
    EXPECT_FALSE(server->running());
    EXPECT_TRUE(client->wait_server_gone(5s));
    client.reset();
    server.reset();

    JackServer next({.period = 128});
    ASSERT_EQ(next.failure(), "");
    TestClient again(next.name(), "orphan");
    EXPECT_FALSE(again.server_gone());
}

// The files in jackd's directory named after a server.
std::vector<std::string> leftovers(const std::string& server) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
        if (entry.path().filename().string().find("_" + server + "_") != std::string::npos) {
            files.push_back(entry.path().filename().string());
        }
    }
    return files;
}

// jackd lets one user run only eight servers at once, and one that dies
// without quitting keeps its place.
TEST_F(JackSupport, KilledServersAndThoseOfCrashedTestsGiveBackTheirPlaces) {
    for (int i = 0; i < 10; ++i) {
        JackServer server;
        ASSERT_EQ(server.failure(), "") << "server " << i;
        TestClient client(server.name(), "orphan");
        server.kill_now();
        EXPECT_EQ(leftovers(server.name()), std::vector<std::string>{});
    }

    // A test process that ends without stopping its server, as a crash does.
    // The server, left without its parent, comes to this process, which
    // reaps it at once rather than leave it to whenever the system does.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int names[2];
    ASSERT_EQ(::pipe(names), 0);
    const pid_t test = ::fork();
    if (test == 0) {
        JackServer server;
        const std::string name = server.name();
        const bool written =
            ::write(names[1], name.data(), name.size()) == static_cast<ssize_t>(name.size());
        ::_exit(written && server.failure().empty() ? 0 : 1);
    }
    ::close(names[1]);
    std::string crashed(64, '\0');
    crashed.resize(static_cast<std::size_t>(
        std::max<ssize_t>(::read(names[0], crashed.data(), crashed.size()), 0)));
    ::close(names[0]);
    int status = 0;
    ::waitpid(test, &status, 0);
    while (::waitpid(-1, nullptr, 0) > 0) {
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(leftovers(crashed), std::vector<std::string>{});

    JackServer next;
    ASSERT_EQ(next.failure(), "");
    EXPECT_EQ(leftovers(crashed), std::vector<std::string>{});
}

} // namespace
} // namespace qx375::test
