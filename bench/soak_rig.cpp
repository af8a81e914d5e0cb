#include "soak_rig.h"

#include "app/offline_pass.h"
#include "app/program.h"
#include "app/unattended_prompts.h"
#include "bench_files.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <limits>
#include <random>
#include <thread>
#include <unistd.h>

namespace qx375::soak {

void OnsetFinder::feed(std::span<const float> stereo, std::uint64_t first,
                       std::vector<std::uint64_t>& onsets) {
    for (std::size_t i = 0; i + 1 < stereo.size(); i += 2) {
        const bool silent = stereo[i] == 0.0f;
        if (silent_ && !silent) {
            onsets.push_back(first + i / 2);
        }
        silent_ = silent;
    }
}

void GridCheck::begin(std::uint64_t first, int interval_ms) {
    origin_ = first - static_cast<std::uint64_t>(interval_ms) * rate_ / 1000;
    elapsed_ms_ = 0;
    run_origin_ = origin_;
    run_elapsed_ms_ = 0;
    interval_ms_ = interval_ms;
    begun_ = true;
}

void GridCheck::tick(std::uint64_t frame, int interval_ms) {
    ++ticks_;
    if (begun_) {
        elapsed_ms_ += static_cast<std::uint64_t>(interval_ms_);
        run_elapsed_ms_ += static_cast<std::uint64_t>(interval_ms_);
        drift_ = static_cast<std::int64_t>(frame - run_origin_) -
                 static_cast<std::int64_t>(run_elapsed_ms_ * rate_ / 1000);
        const std::uint64_t ideal = origin_ + elapsed_ms_ * rate_ / 1000;
        if (frame != ideal) {
            ++shifts_;
            largest_ = std::max(largest_, frame > ideal ? frame - ideal : ideal - frame);
            origin_ = frame;
            elapsed_ms_ = 0;
        }
    } else {
        origin_ = run_origin_ = frame;
        begun_ = true;
    }
    interval_ms_ = interval_ms;
}

void OnsetMatch::onset(std::uint64_t frame) {
    settle(frame);
    if (!stamps_.empty() && stamps_.front() == frame) {
        ++matched_;
        last_ = frame;
        has_last_ = true;
        stamps_.pop_front();
        return;
    }
    ++stray_;
    std::uint64_t distance = std::numeric_limits<std::uint64_t>::max();
    if (has_last_) {
        distance = frame - last_;
    }
    if (!stamps_.empty()) {
        distance = std::min(distance, stamps_.front() - frame);
    }
    if (has_last_ || !stamps_.empty()) {
        largest_ = std::max(largest_, distance);
    }
}

void OnsetMatch::settle(std::uint64_t frame) {
    while (!stamps_.empty() && stamps_.front() < frame) {
        ++missed_;
        last_ = stamps_.front();
        has_last_ = true;
        stamps_.pop_front();
    }
}

long resident_kib() {
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

namespace {

// A program directory of the soak's own, current while the machine lives,
// and prompts nobody answers.
struct Scratch {
    const QString here = QDir::currentPath();
    QTemporaryDir dir;
    UnattendedPrompts console;
};

// The program's objects, as main() builds them, in that directory, which
// holds the start and stop pictures and a click.
struct Machine : Scratch, Program {
    explicit Machine(AudioOutput& output) : Program(output, console) {
        QDir::setCurrent(dir.path());
        QImage glyph(16, 16, QImage::Format_RGB32);
        glyph.fill(Qt::black);
        glyph.save("go2.bmp");
        glyph.save("stop2.bmp");
        bench::write_click("click.wav");
        window.program_directory = dir.path().toStdString();
    }

    // Four patterns of 16, 24, 14 and 21 steps, so that the interval changes
    // at every pattern, each with a click on every step; song mode, looped.
    void prepare_song() {
        song.set_sample_file(2, "click.wav");
        constexpr int kPatternSizes[] = {16, 24, 14, 21};
        for (int m = 1; m <= 4; ++m) {
            song.set_song_entry(m, m);
            song.change_pattern(m, [&](pattern_record& p) {
                p.size = kPatternSizes[m - 1];
                p.steps[2].fill(1);
            });
        }
        song.set_song_entry(5, kEndMarker);
        window.findChild<QSlider*>("TrackBarBPM")->setValue(60);
        window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
        window.findChild<QCheckBox*>("CheckBoxLoop")->setChecked(true);
        window.SpeedButtonBeginSongClick();
        window.getpatern();
        window.RadioGroup2432Click();
        window.TrackBarBPMChange();
    }

    void play(bool on) { window.findChild<QCheckBox*>("CheckBoxBeat")->setChecked(on); }

    ~Machine() { QDir::setCurrent(here); }
};

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

OfflineFigures run_offline(std::chrono::seconds length, std::chrono::seconds sample_every) {
    constexpr std::uint32_t kBlock = 4096;
    const auto wall = std::chrono::steady_clock::now();
    AudioOutput output(AudioBackendKind::manual, kBlock, AudioOutput::kRate);
    Machine m(output);
    SequencerTimer& timer = m.window.timer();
    Mixer& mixer = output.mixer();
    const std::uint32_t rate = output.rate();
    const auto now = mixed_time(mixer);
    timer.run_offline(now);
    m.song.open_sound(0);
    m.prepare_song();
    m.play(true);

    GridCheck grid(rate);
    grid.begin(timer.next_tick_frame(), timer.interval());
    OnsetMatch match;
    OnsetFinder finder;
    std::vector<std::uint64_t> onsets;
    std::vector<float> block(2 * kBlock);
    OfflineFigures figures;
    const auto end = static_cast<std::uint64_t>(length.count()) * rate;
    const auto period = static_cast<std::uint64_t>(sample_every.count()) * rate;
    std::uint64_t next_sample = period;
    while (mixer.frame() < end && timer.isEnabled()) {
        while (timer.due_frame() < mixer.frame() + kBlock) {
            timer.tick();
            grid.tick(timer.tick_frame(), timer.interval());
            match.stamp(timer.tick_frame());
        }
        const std::uint64_t at = mixer.frame();
        output.pull_mix(block, now());
        onsets.clear();
        finder.feed(block, at, onsets);
        for (std::uint64_t onset : onsets) {
            match.onset(onset);
        }
        match.settle(at + kBlock);
        if (mixer.frame() >= next_sample) {
            figures.resident_kib.push_back(resident_kib());
            next_sample += period;
        }
    }
    figures.virtual_hours = static_cast<double>(mixer.frame()) / rate / 3600.0;
    figures.ticks = grid.ticks();
    figures.grid_shifts = grid.shifts();
    figures.grid_distance = grid.largest_distance();
    figures.drift = grid.drift();
    figures.clicks = match.matched();
    figures.missed = match.missed();
    figures.stray = match.stray();
    figures.onset_distance = match.largest_distance();
    figures.messages = m.console.messages;
    figures.wall_seconds = seconds_since(wall);
    return figures;
}

LiveFigures run_live(std::chrono::seconds length, int stalls, unsigned seed) {
    AudioOutput output(AudioBackendKind::null_clock);
    Machine m(output);
    m.window.show();
    m.window.FormActivate();
    // The start looks for the last song of a program directory that has none.
    m.console.messages.clear();
    m.prepare_song();

    SequencerTimer& timer = m.window.timer();
    GridCheck grid(output.rate());
    OnsetMatch match;
    // Connected after the timer's own tick, so the stamp is the new one.
    QObject::connect(qobject_cast<QTimer*>(timer.sender()), &QTimer::timeout, [&] {
        grid.tick(timer.tick_frame(), timer.interval());
        match.stamp(timer.tick_frame());
    });

    CaptureTap& tap = output.capture();
    OnsetFinder finder;
    std::vector<std::uint64_t> onsets;
    std::vector<float> chunk(2 * 8192);
    LiveFigures figures;
    auto take = [&] {
        for (std::size_t got; (got = tap.read(chunk)) > 0;) {
            const std::uint64_t at = tap.first_frame() + figures.captured_frames;
            onsets.clear();
            finder.feed(std::span(chunk).first(2 * got), at, onsets);
            for (std::uint64_t onset : onsets) {
                match.onset(onset);
            }
            figures.captured_frames += got;
            match.settle(at + got);
        }
    };
    QTimer drain;
    QObject::connect(&drain, &QTimer::timeout, take);

    // Each stall falls at a random moment of its own share of the run.
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> stall_ms(100, 300);
    std::uniform_real_distribution<double> moment(0.2, 0.8);
    const double share = static_cast<double>(length.count()) * 1000.0 / std::max(stalls, 1);
    for (int k = 0; k < stalls; ++k) {
        const auto at = static_cast<int>(share * (k + moment(random)));
        const int ms = stall_ms(random);
        QTimer::singleShot(at, [&figures, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            ++figures.stalls;
        });
    }

    const auto wall = std::chrono::steady_clock::now();
    tap.start();
    drain.start(50);
    m.play(true);
    grid.begin(timer.next_tick_frame(), timer.interval());
    std::uint64_t clock_at_stop = 0;
    QTimer::singleShot(static_cast<int>(length.count() * 1000), [&] {
        m.play(false);
        // The last click rings out before the capture ends.
        QTimer::singleShot(300, [&] {
            tap.stop();
            clock_at_stop = output.clock().read().frame;
            QApplication::quit();
        });
    });
    QApplication::exec();
    take();

    figures.seconds = seconds_since(wall);
    figures.ticks = grid.ticks();
    figures.grid_shifts = grid.shifts();
    figures.late_ticks = timer.lateness().at_least(SequencerTimer::kTickLateness);
    figures.clicks = match.matched();
    figures.missed = match.missed();
    figures.stray = match.stray();
    figures.onset_distance = match.largest_distance();
    figures.elapsed_frames = clock_at_stop - tap.first_frame();
    figures.clock_slack = output.render_lead_frames();
    figures.overrun_frames = tap.overrun_frames();
    figures.backend = std::string(output.backend_name());
    figures.messages = m.console.messages;
    return figures;
}

} // namespace qx375::soak
