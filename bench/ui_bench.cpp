// The GUI's share of playback: a grid refresh, and a sequencer tick at the
// fastest tempo, on a real window (offscreen) over the real sound layer; and
// what the editing history costs.
#include "app/tmain.h"
#include "app/unattended_prompts.h"
#include "bench_files.h"
#include "platform/audio_output.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QSlider>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <malloc.h>

namespace qx375 {
namespace {

// A song of two full patterns and two empty ones, so that every pattern
// start changes all 360 controls of the grid.
struct Rig {
    QTemporaryDir dir;
    AudioOutput output{AudioBackendKind::manual};
    std::vector<float> block = std::vector<float>(2 * AudioOutput::kBlockFrames);
    UnattendedPrompts notifier;
    DirectSound sound{output, notifier};
    matrice song{sound, notifier};
    WaveRecorder recorder{output.capture(), AudioOutput::kRate};
    std::unique_ptr<Tmain> window;

    Rig() {
        QDir::setCurrent(dir.path());
        QImage glyph(16, 16, QImage::Format_RGB32);
        glyph.save("go2.bmp");
        glyph.save("stop2.bmp");
        window = std::make_unique<Tmain>(song, sound, output, recorder, notifier);
        window->FormActivate();
        for (int k = 0; k < kSounds; ++k) {
            const std::string name = "s" + std::to_string(k) + ".wav";
            bench::write_click(name);
            song.set_sample_file(k, name);
        }
        for (int m = 1; m <= 4; ++m) {
            song.set_song_entry(m, m);
            song.change_pattern(m, [&](pattern_record& p) { p.size = 14; });
        }
        song.set_song_entry(5, kEndMarker);
    }

    // The audio thread's share, outside the timing: take the commands.
    void render() {
        for (int i = 0; i < 4; ++i) {
            output.pull(block);
        }
        for (int m : {1, 3}) {
            for (int t = 0; t < kSounds; ++t) {
                song.change_pattern(m, [&](pattern_record& p) { p.steps[t].fill(t == 1 ? 0 : 1); });
            }
        }
    }
};

void BM_GridRefresh(benchmark::State& state) {
    Rig rig;
    for (auto _ : state) {
        state.PauseTiming();
        rig.render();
        state.ResumeTiming();
        rig.song.go_to_measure(rig.song.get_measure() == 1 ? 2 : 1);
        rig.window->current_pattern = rig.song.get_song_entry();
        rig.window->getpatern();
    }
}
BENCHMARK(BM_GridRefresh)->Unit(benchmark::kMillisecond);

// Ticks at the fastest tempo (position 40, 14 steps: 23 ms), each sounding all
// sixteen instruments. A tick that starts a pattern also refreshes the grid:
// "refresh" counts those, "step" the others.
void BM_Tick(benchmark::State& state) {
    Rig rig;
    rig.window->findChild<QSlider*>("TrackBarBPM")->setValue(40);
    rig.window->findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
    rig.window->findChild<QCheckBox*>("CheckBoxLoop")->setChecked(true);
    rig.window->findChild<QCheckBox*>("CheckBoxBeat")->setChecked(true);
    QObject* timer = rig.window->timer().sender();
    const bool refresh = state.range(0) == 1;
    for (auto _ : state) {
        state.PauseTiming();
        while ((rig.song.get_step() == rig.song.get_size() - 1) != refresh) {
            rig.window->execute(1, timer);
            rig.render();
        }
        rig.render();
        state.ResumeTiming();
        rig.window->execute(1, timer);
    }
    state.counters["interval_ms"] = rig.window->timer().interval();
}
BENCHMARK(BM_Tick)->Arg(0)->Arg(1)->ArgNames({"refresh"})->Unit(benchmark::kMicrosecond);

// A thousand grid clicks, each a step of the history, then all undone: the
// time of a click and an undo, and what the history holds per step.
void BM_EditHistory(benchmark::State& state) {
    Rig rig;
    QAction* undo = rig.window->findChild<QAction*>("Undo1");
    std::vector<QCheckBox*> cells;
    for (int s = 1; s <= kColumns; ++s) {
        for (int r = kFirstRow; r <= kLastRow; ++r) {
            cells.push_back(
                rig.window->findChild<QCheckBox*>(QString("CheckBox%1_%2").arg(s).arg(r)));
        }
    }
    constexpr int kSteps = 1000;
    double bytes = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        for (int i = 0; i < kSteps; ++i) {
            cells[static_cast<std::size_t>(i) % cells.size()]->click();
        }
        // Later rounds replace the steps undone by the round before.
        if (bytes == 0) {
            bytes = static_cast<double>(mallinfo2().uordblks - before) / kSteps;
        }
        for (int i = 0; i < kSteps; ++i) {
            undo->trigger();
        }
    }
    state.counters["bytes_per_step"] = bytes;
    state.counters["steps"] = rig.window->history().count();
}
BENCHMARK(BM_EditHistory)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace qx375

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
