// Plays a looped song through the real window, timer and sound layer on the
// null clock, records the mix with the capture tap, finds every click in it
// and measures how far each lies from the ideal grid of the running interval,
// and how late the timer's ticks ran. Headless by default; with
// QT_QPA_PLATFORM=xcb on an X server the window really paints.
#include "app/program.h"
#include "app/unattended_prompts.h"
#include "bench_files.h"
#include "platform/audio_output.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using namespace qx375;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int position = argc > 2 ? std::atoi(argv[2]) : 40;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QImage glyph(16, 16, QImage::Format_RGB32);
    glyph.save("go2.bmp");
    glyph.save("stop2.bmp");
    bench::write_click("click.wav");

    AudioOutput output(AudioBackendKind::null_clock);
    UnattendedPrompts notifier;
    Program program(output, notifier);
    Tmain& window = program.window;
    matrice& song = program.song;
    window.show();
    window.FormActivate();
    song.set_sample_file(2, "click.wav");

    // Three 16-step patterns with a click on every step; the other cells
    // differ, so every pattern start redraws the grid.
    for (int m = 1; m <= 3; ++m) {
        song.set_song_entry(m, m);
        song.change_pattern(m, [&](pattern_record& p) {
            p.size = 16;
            p.steps[2].fill(1);
        });
        for (int t = 3; t < kSounds; ++t) {
            song.change_pattern(m, [&](pattern_record& p) { p.steps[t].fill((t + m) % 3 == 0); });
        }
    }
    song.set_song_entry(4, kEndMarker);
    window.findChild<QSlider*>("TrackBarBPM")->setValue(position);
    window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
    window.findChild<QCheckBox*>("CheckBoxLoop")->setChecked(true);

    CaptureTap& tap = output.capture();
    tap.start();
    std::vector<float> captured;
    std::vector<float> chunk(2 * 8192);
    auto take = [&] {
        for (std::size_t got; (got = tap.read(chunk)) > 0;) {
            captured.insert(captured.end(), chunk.begin(), chunk.begin() + 2 * got);
        }
    };
    QTimer drain;
    QObject::connect(&drain, &QTimer::timeout, take);
    drain.start(50);
    window.findChild<QCheckBox*>("CheckBoxBeat")->setChecked(true);
    QTimer::singleShot(seconds * 1000, [&] {
        window.findChild<QCheckBox*>("CheckBoxBeat")->setChecked(false);
        QTimer::singleShot(300, &app, &QApplication::quit);
    });
    QApplication::exec();
    take();
    tap.stop();

    std::vector<std::uint64_t> onsets;
    for (std::size_t i = 1; i < captured.size() / 2; ++i) {
        if (captured[2 * i] != 0.0f && captured[2 * i - 2] == 0.0f) {
            onsets.push_back(tap.first_frame() + i);
        }
    }
    const int interval = window.timer().interval();
    const double frames_per_tick = interval * 44.1;
    std::int64_t worst = 0;
    std::int64_t last = 0;
    if (!onsets.empty()) {
        // Tick n of the run sounds on start + floor(n * interval * rate / 1000).
        const auto start =
            static_cast<std::int64_t>(onsets[0]) - static_cast<std::int64_t>(frames_per_tick);
        for (std::size_t n = 0; n < onsets.size(); ++n) {
            const auto ideal =
                start + static_cast<std::int64_t>(static_cast<double>(n + 1) * frames_per_tick);
            last = static_cast<std::int64_t>(onsets[n]) - ideal;
            worst = std::max(worst, std::abs(last));
        }
    }
    for (const std::string& message : notifier.messages) {
        std::printf("message: %s\n", message.c_str());
    }
    std::printf("sound output: %s\n", std::string(output.backend_name()).c_str());
    std::printf("tempo position %d, interval %d ms, %d s played\n", position, interval, seconds);
    std::printf("clicks found: %zu (expected about %d)\n", onsets.size(),
                seconds * 1000 / std::max(interval, 1));
    std::printf("largest distance from the ideal grid: %lld frames\n",
                static_cast<long long>(worst));
    std::printf("distance of the last click (drift): %lld frames\n", static_cast<long long>(last));
    const LatenessHistogram& late = window.timer().lateness();
    std::printf("tick lateness over %llu ticks: median %lld ms, 99th percentile %lld ms, 99.9th "
                "percentile %lld ms, worst %.1f ms; look-ahead %.1f ms\n",
                static_cast<unsigned long long>(late.count()),
                static_cast<long long>(late.percentile(0.5).count()),
                static_cast<long long>(late.percentile(0.99).count()),
                static_cast<long long>(late.percentile(0.999).count()),
                static_cast<double>(late.worst().count()) / 1000.0,
                static_cast<double>(window.timer().lookahead()) * 1000.0 / AudioOutput::kRate);
    std::printf("capture overruns: %llu frames\n",
                static_cast<unsigned long long>(tap.overrun_frames()));
    return worst <= 1 ? 0 : 1;
}
