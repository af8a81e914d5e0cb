// Reading a drum kit and giving its drums to the sixteen sounds: the largest
// of Debian's hydrogen-drumkits where installed, read alone and loaded whole,
// and a generated archive of sixteen drums of one-second stereo samples,
// unpacked afresh every time.
#include "engine/patern.h"
#include "kits/kit.h"
#include "kits/kit_map.h"
#include "platform/audio_output.h"
#include "support/wav_bytes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace qx375 {
namespace {

namespace fs = std::filesystem;

std::uint64_t bytes_below(const fs::path& folder) {
    std::uint64_t total = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec)) {
            total += it->file_size(ec);
        }
    }
    return total;
}

// The installed kit with the most bytes of samples.
std::optional<fs::path> largest_debian_kit() {
    std::optional<fs::path> largest;
    std::uint64_t most = 0;
    std::error_code ec;
    for (fs::directory_iterator it("/usr/share/hydrogen/data/drumkits", ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::uint64_t bytes = bytes_below(it->path());
        if (fs::exists(it->path() / "drumkit.xml", ec) && bytes > most) {
            most = bytes;
            largest = it->path();
        }
    }
    return largest;
}

int sounds_mapped(const kits::Kit& kit) {
    const std::array<int, kSounds> mapped = kits::map_kit(kit);
    benchmark::DoNotOptimize(mapped);
    return static_cast<int>(std::ranges::count_if(mapped, [](int drum) { return drum >= 0; }));
}

class Scratch {
public:
    explicit Scratch(const std::string& name) : path_(fs::temp_directory_path() / name) { renew(); }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    void renew() const {
        std::error_code ec;
        fs::remove_all(path_, ec);
        fs::create_directories(path_);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void BM_ReadLargestDebianKit(benchmark::State& state) {
    const std::optional<fs::path> kit = largest_debian_kit();
    if (!kit) {
        state.SkipWithError("hydrogen-drumkits is not installed");
        return;
    }
    const Scratch scratch("qx375-kit-bench-debian");
    kits::KitReading reading;
    int mapped = 0;
    for (auto _ : state) {
        reading = kits::read_kit(*kit, scratch.path());
        if (!reading) {
            state.SkipWithError("the kit was refused");
            break;
        }
        mapped = sounds_mapped(reading.kit);
    }
    state.SetLabel(kit->filename().string());
    state.counters["drums"] = static_cast<double>(reading.kit.instruments.size());
    state.counters["sounds_mapped"] = mapped;
}
BENCHMARK(BM_ReadLargestDebianKit)->Unit(benchmark::kMillisecond);

struct Silent : Notifier {
    void show_message(std::string_view) override {}
};

// The whole load a user waits for: the kit read and mapped, and the sixteen
// samples it gives read, decoded and made into buffers of a running output.
void BM_LoadLargestDebianKit(benchmark::State& state) {
    const std::optional<fs::path> kit = largest_debian_kit();
    if (!kit) {
        state.SkipWithError("hydrogen-drumkits is not installed");
        return;
    }
    const Scratch scratch("qx375-kit-bench-load");
    AudioOutput output(AudioBackendKind::manual);
    Silent notifier;
    DirectSound sound(output, notifier);
    matrice song(sound, notifier);
    song.open_sound(0);
    std::size_t taken = 0;
    for (auto _ : state) {
        const kits::KitReading reading = kits::read_kit(*kit, scratch.path());
        const std::array<int, kSounds> mapped = kits::map_kit(reading.kit);
        std::vector<sample_reading> readings;
        for (int k = 0; k < kSounds; ++k) {
            if (mapped[k] >= 0) {
                readings.emplace_back(k, reading.kit.instruments[mapped[k]].sample);
            }
        }
        song.read_samples(readings);
        taken = static_cast<std::size_t>(std::ranges::count_if(
            readings, [](const sample_reading& r) { return bool(r.status); }));
    }
    state.SetLabel(kit->filename().string());
    state.counters["samples_taken"] = static_cast<double>(taken);
}
BENCHMARK(BM_LoadLargestDebianKit)->Unit(benchmark::kMillisecond);

// One second of a decaying tone, different for each drum, so that gzip has
// real work.
std::string drum_sample(int drum) {
    test::Bytes samples;
    for (int i = 0; i < 44100; ++i) {
        const double decay = std::exp(-i / (2000.0 + 300.0 * drum));
        const auto value =
            static_cast<std::int16_t>(20000 * decay * std::sin(i * (0.01 + 0.003 * drum)));
        for (int channel = 0; channel < 2; ++channel) {
            test::append16(samples, static_cast<std::uint16_t>(value));
        }
    }
    const test::Bytes wav = test::simple_wav(samples);
    return {wav.begin(), wav.end()};
}

void add_member(archive* out, const std::string& path, const std::string& data) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, path.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
    archive_write_header(out, entry);
    archive_write_data(out, data.data(), data.size());
    archive_entry_free(entry);
}

// A kit archive of one drum per sound, named and noted as General MIDI kits are.
void write_kit_archive(const fs::path& file) {
    std::string drums;
    archive* out = archive_write_new();
    archive_write_set_format_pax_restricted(out);
    archive_write_add_filter_gzip(out);
    archive_write_open_filename(out, file.c_str());
    for (int k = 0; k < kSounds; ++k) {
        const std::string sample = "drum" + std::to_string(k) + ".wav";
        drums += "<instrument><name>" + std::string(kSoundSlots[k].caption) +
                 "</name><midiOutNote>" + std::to_string(kSoundSlots[k].notes[0]) +
                 "</midiOutNote><layer><filename>" + sample +
                 "</filename><max>1</max></layer></instrument>\n";
        add_member(out, "Generated/" + sample, drum_sample(k));
    }
    add_member(out, "Generated/drumkit.xml",
               "<drumkit_info><name>Generated</name><instrumentList>\n" + drums +
                   "</instrumentList></drumkit_info>\n");
    archive_write_close(out);
    archive_write_free(out);
}

void BM_ReadGeneratedArchive(benchmark::State& state) {
    const Scratch folder("qx375-kit-bench-archive");
    const Scratch scratch("qx375-kit-bench-scratch");
    const fs::path file = folder.path() / "Generated.h2drumkit";
    write_kit_archive(file);
    int mapped = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scratch.renew();
        state.ResumeTiming();
        const kits::KitReading reading = kits::read_kit(file, scratch.path());
        if (!reading) {
            state.SkipWithError("the kit was refused");
            break;
        }
        mapped = sounds_mapped(reading.kit);
    }
    const std::uint64_t unpacked = bytes_below(scratch.path());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * unpacked));
    state.counters["archive_bytes"] = static_cast<double>(fs::file_size(file));
    state.counters["unpacked_bytes"] = static_cast<double>(unpacked);
    state.counters["sounds_mapped"] = mapped;
}
BENCHMARK(BM_ReadGeneratedArchive)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace qx375

BENCHMARK_MAIN();
