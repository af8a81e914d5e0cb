// The program keeping time with others, on a private JACK server:
//   sync_bench clock-out SECONDS [SIZE]
//       leads a MIDI clock at the slider's 120 with 16 and 14 steps (or SIZE): each
//       clock's distance from the steps' grid, and the drift of the last
//       clock and the last hit from where the grid puts them
//   sync_bench clock-in SECONDS
//       follows a steady clock and one with ±1 ms of jitter: each hit's
//       distance from its clock plus the constant delay
//   sync_bench transport STARTS
//       follows that many transport starts: the first hit's distance from
//       the frame the transport started on plus the delay the ports report
//   sync_bench link SECONDS
//       two instances in one Link session (run it through
//       tests/support/private_network.sh): how far apart their hits fall
// Each prints FIGURE lines for bench/all.sh.
#include "app/link_rig.h"
#include "app/sync_rig.h"
#include "support/private_network.h"

#include <QApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace qx375::test {
namespace {

void figure(const std::string& what, const std::string& value) {
    std::printf("FIGURE|%s|%s\n", what.c_str(), value.c_str());
    std::fflush(stdout);
}

std::int64_t worst(const std::vector<std::int64_t>& errors) {
    std::int64_t most = 0;
    for (std::int64_t e : errors) {
        most = std::max(most, std::abs(e));
    }
    return most;
}

int clock_out(int seconds, const std::vector<int>& sizes) {
    for (const int size : sizes) {
        // Room for every clock and note of the run, on and off.
        SyncRig rig(JackSettings{.period = 256, .rate = 48000},
                    TestClientPorts{.midi_input = true,
                                    .midi_events = static_cast<std::size_t>(seconds) * 200 + 4096});
        if (!rig.ready()) {
            std::fprintf(stderr, "no JACK server: %s\n", rig.server.failure().c_str());
            return 1;
        }
        rig.hits_on_every_step(size);
        rig.window().findChild<QCheckBox*>("CheckBoxLoop")->setChecked(true);
        rig.window().findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
        rig.set_tempo(120);
        rig.choose("SyncMidi1");
        rig.choose("SyncLead1");
        rig.press("BitBtnAction");
        QTest::qWait(seconds * 1000);
        rig.press("BitBtnAction");
        QTest::qWait(300);
        const std::uint64_t interval = 120 * 18 / size;
        const auto notes = rig.frames_of(kNoteOn);
        const auto clocks = rig.frames_of(kClockByte);
        if (notes.empty() || clocks.empty()) {
            std::fprintf(stderr, "nothing came out\n");
            return 1;
        }
        const std::uint64_t origin = notes[0] - interval * 48;
        const auto grid = [&](std::uint64_t ninety_sixths) {
            return static_cast<std::int64_t>(origin +
                                             (96 + ninety_sixths) * interval * 48000 / 96000);
        };
        std::vector<std::int64_t> clock_errors;
        for (std::size_t k = 0; k < clocks.size(); ++k) {
            clock_errors.push_back(static_cast<std::int64_t>(clocks[k]) - grid(k * size));
        }
        std::vector<std::int64_t> hit_errors;
        for (std::size_t n = 0; n < notes.size(); ++n) {
            hit_errors.push_back(static_cast<std::int64_t>(notes[n]) - grid(96 * n));
        }
        figure("MIDI clock out, " + std::to_string(size) + " steps at 120, " +
                   std::to_string(seconds) + " s: clocks off the steps' grid, most",
               std::to_string(worst(clock_errors)) + " frames over " +
                   std::to_string(clocks.size()) + " clocks; hits " +
                   std::to_string(worst(hit_errors)) + " frames over " +
                   std::to_string(notes.size()));
        // Against the audio: a hit whose step holds a clock has that clock on
        // its own frame, whatever the grid did; a clock interval more than a
        // frame off the grid's is where the grid moved (a tick the server's
        // stalls made late).
        std::size_t apart = 0;
        for (std::size_t n = 0; n < notes.size(); ++n) {
            if (96 * n % size == 0 && !std::binary_search(clocks.begin(), clocks.end(), notes[n])) {
                ++apart;
            }
        }
        std::size_t moves = 0;
        for (std::size_t k = 1; k < clocks.size(); ++k) {
            const auto expected = grid(k * size) - grid((k - 1) * size);
            if (std::abs(static_cast<std::int64_t>(clocks[k] - clocks[k - 1]) - expected) > 1) {
                ++moves;
            }
        }
        figure("MIDI clock out, " + std::to_string(size) +
                   " steps: hits without their clock on the same frame; grid moves",
               std::to_string(apart) + " of " + std::to_string(notes.size()) + "; " +
                   std::to_string(moves));
        figure("MIDI clock out, " + std::to_string(size) +
                   " steps: drift of the last clock and hit",
               std::to_string(clock_errors.back()) + " / " + std::to_string(hit_errors.back()) +
                   " frames; xruns " + std::to_string(rig.peer->xruns()) +
                   ", events the recorder dropped " + std::to_string(rig.peer->events_dropped()));
    }
    return 0;
}

int clock_in(int seconds) {
    for (const int jitter : {0, 48}) {
        SyncRig rig;
        if (!rig.ready()) {
            std::fprintf(stderr, "no JACK server: %s\n", rig.server.failure().c_str());
            return 1;
        }
        four_bars(rig, true);
        rig.choose("SyncFollow1");
        rig.choose("SyncMidi1");
        const jack_nframes_t first = rig.peer->frame_time() + 24000;
        const int count = seconds * 48;
        const auto clocks = clock_frames(first, 48000, count, 120, 120, jitter);
        std::vector<MidiEvent> events{midi(first - 10, {0xFA})};
        for (const MidiEvent& e : as_clocks(clocks)) {
            events.push_back(e);
        }
        events.push_back(midi(clocks.back() + 500, {0xFC}));
        // The client's queue holds a few thousand events: hand them over a
        // second ahead of their frames.
        for (std::size_t from = 0; from < events.size();) {
            const jack_nframes_t horizon = rig.peer->frame_time() + 48000;
            std::size_t to = from;
            while (to < events.size() &&
                   static_cast<std::int32_t>(events[to].frame - horizon) < 0) {
                ++to;
            }
            rig.peer->send(std::span(events).subspan(from, to - from));
            from = to;
            QTest::qWait(100);
        }
        rig.wait_until(clocks.back() + 24000);
        const auto notes = rig.frames_of(kNoteOn);
        std::vector<std::int64_t> errors;
        const std::int64_t delay = static_cast<std::int64_t>(notes.at(0)) - clocks[0];
        for (std::size_t k = 0; k < notes.size() && 6 * k < clocks.size(); ++k) {
            errors.push_back(static_cast<std::int64_t>(notes[k]) - clocks[6 * k] - delay);
        }
        figure("MIDI clock in at 120 BPM" + std::string(jitter ? " with ±1 ms jitter" : "") + ", " +
                   std::to_string(seconds) + " s: hits off their clock plus the delay, most",
               std::to_string(worst(errors)) + " frames over " + std::to_string(notes.size()) +
                   " hits (expected " + std::to_string((clocks.size() + 5) / 6) + "); delay " +
                   std::to_string(delay) + " frames; late sends " +
                   std::to_string(rig.peer->late_events()));
    }
    return 0;
}

int transport(int starts) {
    SyncRig rig(
        SyncRig::kServer,
        TestClientPorts{.midi_input = true, .midi_events = 65536, .transport_cycles = 400000});
    if (!rig.ready()) {
        std::fprintf(stderr, "no JACK server: %s\n", rig.server.failure().c_str());
        return 1;
    }
    four_bars(rig, true);
    rig.choose("SyncFollow1");
    rig.choose("SyncJack1");
    const jack_nframes_t delay = rig.peer->latency("qx375:out_L", JackCaptureLatency).max;
    std::vector<std::int64_t> errors;
    int lost = 0;
    for (int i = 0; i < starts; ++i) {
        const jack_nframes_t target = 16 * 135 * 48 * static_cast<jack_nframes_t>(i % 4);
        const jack_nframes_t asked = rig.peer->frame_time();
        const std::size_t before = rig.frames_of(kNoteOn).size();
        rig.peer->transport_locate(target);
        rig.peer->transport_start();
        std::optional<jack_nframes_t> rolled;
        for (int wait = 0; wait < 100 && !rolled; ++wait) {
            QTest::qWait(5);
            rolled = rolled_from(rig.peer->transport_cycles(), asked, target);
        }
        if (rolled) {
            rig.wait_until(*rolled + delay + 6480);
        }
        const auto notes = rig.frames_of(kNoteOn);
        if (!rolled || notes.size() <= before) {
            ++lost;
        } else {
            errors.push_back(static_cast<std::int64_t>(notes[before]) - (*rolled + delay));
        }
        rig.peer->transport_stop();
        QTest::qWait(40);
    }
    figure("JACK transport followed, " + std::to_string(starts) +
               " starts: first hit off the start plus the ports' latency, most",
           std::to_string(worst(errors)) + " frames; first hits lost " + std::to_string(lost) +
               "; delay " + std::to_string(delay) + " frames (" +
               std::to_string(delay * 1000 / 48000) + " ms)");
    return 0;
}

int link(int seconds) {
    const std::string outside = outside_interfaces();
    if (!outside.empty()) {
        std::fprintf(stderr,
                     "Link would announce itself on %s: run this through "
                     "tests/support/private_network.sh\n",
                     outside.c_str());
        return 1;
    }
    ScratchRig files;
    QImage glyph(16, 16, QImage::Format_RGB32);
    glyph.fill(Qt::green);
    glyph.save("go2.bmp");
    glyph.save("stop2.bmp");
    Instance leader;
    Instance follower;
    leader.choose("SyncLead1");
    leader.choose("SyncLink1");
    follower.choose("SyncFollow1");
    follower.choose("SyncLink1");
    const auto joined = LinkClock::now();
    if (!wait_for([&] { return follower.title().contains("1 other"); }, std::chrono::seconds(10))) {
        std::fprintf(stderr, "the instances did not find each other\n");
        return 1;
    }
    const double found_ms =
        std::chrono::duration<double, std::milli>(LinkClock::now() - joined).count();
    leader.tempo()->setValue(100);
    const auto moved = LinkClock::now();
    wait_for([&] { return follower.tempo()->value() == 100; }, std::chrono::seconds(2));
    const double tempo_ms =
        std::chrono::duration<double, std::milli>(LinkClock::now() - moved).count();
    leader.press_play();
    wait_for([&] { return follower.playing(); }, std::chrono::seconds(3));
    QTest::qWait(seconds * 1000);
    leader.press_play();
    wait_for([&] { return !follower.playing(); }, std::chrono::seconds(3));
    const HitsApart apart = hits_apart(leader.hits(), follower.hits());
    figure("Ableton Link, two instances, " + std::to_string(seconds) + " s: their hits apart, most",
           std::to_string(static_cast<int>(apart.widest_ms * 1000)) + " µs over " +
               std::to_string(apart.matched) + " hits; found each other in " +
               std::to_string(static_cast<int>(found_ms)) + " ms; a tempo change arrived in " +
               std::to_string(static_cast<int>(tempo_ms)) + " ms");
    return 0;
}

} // namespace
} // namespace qx375::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    const int amount = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "clock-out" && amount > 0) {
        const std::vector<int> sizes =
            argc > 3 ? std::vector<int>{std::atoi(argv[3])} : std::vector<int>{16, 14};
        return qx375::test::clock_out(amount, sizes);
    }
    if (mode == "clock-in" && amount > 0) {
        return qx375::test::clock_in(amount);
    }
    if (mode == "transport" && amount > 0) {
        return qx375::test::transport(amount);
    }
    if (mode == "link" && amount > 0) {
        return qx375::test::link(amount);
    }
    std::fprintf(stderr, "usage: sync_bench clock-out SECONDS [SIZE] | clock-in SECONDS | "
                         "transport STARTS | link SECONDS\n");
    return 2;
}
