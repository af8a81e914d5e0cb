// Plays a short groove on the start-up kit through the real sound layer, so a
// newcomer hears the sound output work before the window exists.
#include "platform/audio_output.h"
#include "sound/direct_sound.h"
#include "util/error.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace qx375;

namespace {

class ConsoleNotifier : public Notifier {
public:
    void show_message(std::string_view text) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
};

enum Sound {
    closed_hat,
    open_hat,
    snare,
    kick,
    high_tom,
    mid_tom,
    low_tom,
    rim,
    crash,
    ride,
    clang,
    bell
};

// One row per sound, one character per sixteenth: 'x' strikes it.
struct Row {
    Sound sound;
    const char* steps;
};

constexpr Row kGroove[] = {
    {kick, "x.....x...x.....x.....x...x...x.x.....x...x.....x.....x...x.x..."},
    {snare, "....x.......x.......x.......x.......x.......x.......x......x.xxx"},
    {closed_hat, "x.x.x.x.x.x.x.x.x.x.x.x.x.x.x...x.x.x.x.x.x.x.x.x.x.x.x.x......."},
    {open_hat, "..............................x...............................x."},
    {rim, "...........x...............x...........x...............x......."},
    {clang, ".......................................x.......x................"},
    {high_tom, "........................................................x......."},
    {mid_tom, ".........................................................x......"},
    {low_tom, "..........................................................x....."},
    {bell, "..x.............................................................."},
    {ride, "................................x...x...x...x..................."},
    {crash, "x..............................................................."},
};

} // namespace

int main() {
    AudioOutput output;
    ConsoleNotifier notifier;
    DirectSound sound(output, notifier);
    try {
        sound.open_device(1);
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("QX375: the start-up kit through the %s output\n",
                std::string(output.backend_name()).c_str());
    if (output.backend() == AudioBackendKind::null_clock) {
        std::printf("No sound card answered, so the groove plays in silence.\n");
    }

    using Clock = std::chrono::steady_clock;
    const std::uint32_t rate = AudioOutput::kRate;
    const double step_seconds = 60.0 / 120 / 4; // sixteenths at 120 BPM
    const std::uint64_t start =
        output.clock().read().frame_at(Clock::now(), rate) + rate * 30 / 1000;
    const Clock::time_point t0 = Clock::now();
    const int steps = 64;
    // One step past the end plays the first again: the closing downbeat.
    for (int n = 0; n <= steps; ++n) {
        std::this_thread::sleep_until(t0 + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(n * step_seconds)));
        sound.schedule_at(start + static_cast<std::uint64_t>(n * step_seconds * rate));
        for (const Row& row : kGroove) {
            if (row.steps[n % steps] != 'x') {
                continue;
            }
            // The two hi-hats choke each other, as on the machine.
            if (row.sound == closed_hat || row.sound == open_hat) {
                sound.stop(closed_hat);
                sound.stop(open_hat);
            }
            sound.stop(row.sound);
            sound.rewind(row.sound);
            sound.play(row.sound);
        }
    }
    sound.schedule_at(0);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    return 0;
}
