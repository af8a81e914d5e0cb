// Exports a song of clicks in real time through the window, its timer, the
// null clock and the recorder, as a user's export runs, and says where every
// click of the file lies against the grid of the song's interval, and how
// late the window's ticks ran. The tests check the same on a virtual clock,
// where the machine's load cannot move anything.
//   export_live [MEASURES]
#include "app/program.h"
#include "app/unattended_prompts.h"
#include "bench_files.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace qx375;

namespace {

// Prompts that choose the export's file and answer nothing else.
class ExportPrompts : public UnattendedPrompts {
public:
    std::optional<std::string> save_file(const FileDialog&) override { return "take.wav"; }
};

std::vector<long> onsets_in(const char* path, long& frames) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    std::vector<long> onsets;
    frames = 0;
    if (file == nullptr) {
        return onsets;
    }
    std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    frames = static_cast<long>(info.frames);
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        if (samples[2 * i] != 0 && (i == 0 || samples[2 * i - 2] == 0)) {
            onsets.push_back(static_cast<long>(i));
        }
    }
    return onsets;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int measures = argc > 1 ? std::max(1, std::min(250, std::atoi(argv[1]))) : 8;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QImage glyph(16, 16, QImage::Format_RGB32);
    glyph.save("go2.bmp");
    glyph.save("stop2.bmp");
    bench::write_click("click.wav");

    AudioOutput output(AudioBackendKind::null_clock);
    ExportPrompts prompts;
    Program program(output, prompts);
    Tmain& window = program.window;
    matrice& song = program.song;
    window.FormActivate();
    song.set_sample_file(2, "click.wav");
    for (int m = 1; m <= measures; ++m) {
        song.set_song_entry(m, 1);
    }
    song.set_song_entry(measures + 1, kEndMarker);
    song.change_pattern(1, [&](pattern_record& p) {
        p.size = 16;
        p.steps[2].fill(1);
    });
    window.findChild<QSlider*>("TrackBarBPM")->setValue(40);
    window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);

    window.Export1Click();
    QTest::qWaitFor([&] { return !window.exporting; }, 600000);

    long frames = 0;
    const std::vector<long> onsets = onsets_in("take.wav", frames);
    const int interval = window.timer().interval();
    const auto tick = [&](long n) { return n * interval * AudioOutput::kRate / 1000; };
    long worst = 0;
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        worst = std::max(worst, std::labs(onsets[k] - (tick(static_cast<long>(k) + 1) - tick(1))));
    }
    for (const std::string& message : prompts.messages) {
        std::printf("message: %s\n", message.c_str());
    }
    std::printf("exported: %d measures of 16 steps, interval %d ms, %ld frames\n", measures,
                interval, frames);
    std::printf("clicks in the file: %zu of %d\n", onsets.size(), 16 * measures);
    std::printf("largest distance of a click from the grid: %ld frames\n", worst);
    std::printf("worst tick lateness: %.1f ms (look-ahead %.1f ms)\n",
                static_cast<double>(window.timer().lateness().worst().count()) / 1000.0,
                static_cast<double>(window.timer().lookahead()) * 1000.0 / AudioOutput::kRate);
    return onsets.size() == static_cast<std::size_t>(16 * measures) && worst == 0 ? 0 : 1;
}
