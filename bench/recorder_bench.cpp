// Saving an exported song: a recording of several minutes of a playing sound,
// made through the capture tap and the recorder's drain thread into a take
// beside the target, then finished as the export finishes it: the time the
// window thread spends in finish_at(), and the time until the 16-bit WAV
// file is written and flushed to disk.
#include "bench_files.h"
#include "platform/audio_output.h"
#include "platform/wave_recorder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace qx375;

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 5.0;
    const std::uint32_t rate = AudioOutput::kRate;
    const auto total = static_cast<std::uint64_t>(minutes * 60 * rate);

    AudioOutput output(AudioBackendKind::manual);
    std::unique_ptr<SoundDevice> device;
    output.create_device(device);

    // One second of a loud chord, started again every second, so the file
    // holds sound and some clipping rather than silence.
    std::vector<std::int16_t> samples(rate);
    for (std::uint32_t i = 0; i < rate; ++i) {
        const double v = 0.6 * std::sin(i * 0.0628) + 0.5 * std::sin(i * 0.0911);
        samples[i] = static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
    }
    const std::unique_ptr<SoundBuffer> buffer = bench::mono_buffer(*device, samples);

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "qx375-recorder-bench";
    std::filesystem::create_directories(dir);
    const std::string target = (dir / "export.wav").string();
    WaveRecorder recorder(output.capture(), rate);
    if (const RecorderResult opened = recorder.open(target); !opened.ok()) {
        std::printf("cannot open %s: %s\n", target.c_str(), std::strerror(opened.status.error));
        return 1;
    }
    (void)recorder.record();
    // Rendered faster than real time, one second at a time, each second
    // drained before the next so that the tap never overflows.
    std::vector<float> block(2 * AudioOutput::kBlockFrames);
    for (std::uint64_t done = 0; done < total;) {
        buffer->Stop();
        buffer->SetCurrentPosition(0);
        buffer->Play(0, 0, 0);
        for (std::uint64_t end = std::min<std::uint64_t>(total, done + rate); done < end;
             done += AudioOutput::kBlockFrames) {
            output.pull(block);
        }
        while (recorder.recorded_frames() < done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    recorder.finish_at(total, std::chrono::seconds(1));
    const double returned = std::chrono::duration<double>(Clock::now() - start).count();
    std::optional<RecorderResult> outcome;
    while (!(outcome = recorder.take_outcome())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const RecorderResult saved = *outcome;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const auto file_bytes = saved.ok() ? std::filesystem::file_size(target) : 0;
    const std::uint64_t frames = recorder.recorded_frames();
    const std::uint64_t overrun = recorder.overrun_frames();
    recorder.discard();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    if (!saved.ok()) {
        std::printf("cannot save %s: %s, %llu frames lost\n", target.c_str(),
                    std::strerror(saved.status.error),
                    static_cast<unsigned long long>(saved.lost_frames));
        return 1;
    }
    std::printf("recording: %.1f minutes, %llu frames, %llu overrun\n", minutes,
                static_cast<unsigned long long>(frames), static_cast<unsigned long long>(overrun));
    std::printf("finish_at: returned to the window thread in %.0f us\n", returned * 1e6);
    std::printf("save: %.1f MB WAV file written and flushed in %.0f ms (%.0f MB/s)\n",
                file_bytes / 1e6, seconds * 1000, file_bytes / 1e6 / seconds);
    return 0;
}
