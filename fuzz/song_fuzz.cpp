// Every input is a song file opened by the song model, over the program's own
// sound output with a sample file for each of its sounds. A file that does
// not load is refused for what its bytes are (cut short, or no song) and
// leaves the song in memory exactly as it was; a file that loads must come
// back identical after it is saved and opened again, and save to the same
// bytes again.
#include "engine/patern.h"
#include "fuzz/property.h"
#include "fuzz/scratch_dir.h"
#include "platform/audio_output.h"
#include "support/wav_bytes.h"
#include "util/file_io.h"

#include <array>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace qx375::fuzz {
namespace {

class SilentNotifier : public Notifier {
public:
    void show_message(std::string_view) override {}
};

// The part of the model a song file holds.
struct Snapshot {
    std::array<pattern_record, kPatterns> patterns;
    std::array<std::int32_t, kMeasures> song;
    std::array<std::string, kSounds> names;

    explicit Snapshot(const matrice& m) : patterns(m.bank()), song(m.song_order()) {
        std::copy_n(m.sample_names().begin(), kSounds, names.begin());
    }
    bool operator==(const Snapshot&) const = default;
};

struct Rig {
    ScratchDir dir;
    AudioOutput output{AudioBackendKind::manual};
    SilentNotifier notifier;
    DirectSound sound{output, notifier};
    matrice model{sound, notifier};
    std::vector<float> block = std::vector<float>(2 * AudioOutput::kBlockFrames);

    Rig() {
        for (int k = 0; k < kSounds; ++k) {
            const auto channels = static_cast<std::uint16_t>(1 + k % 2);
            dir.write(name(k), test::simple_wav(test::ramp(64 + 8 * k), channels));
        }
        model.open_sound(1);
    }

    static std::string name(int k) { return "s" + std::to_string(k) + ".wav"; }

    // The song the user had open before the file was opened.
    void reset() {
        model.clear_song();
        for (int k = 0; k < kSounds; ++k) {
            model.set_sample_file(k, name(k));
        }
        model.change_pattern(7, [&](pattern_record& p) {
            p.steps[3][5] = 1;
            p.volume[2] = -1200;
        });
        model.set_song_entry(1, 7);
    }

    // Lets the mixer take the buffers the load replaced.
    void render() { output.pull(block); }
};

// The sample names of the seeds, "s0.wav" .. "s15.wav", are found in the
// scratch folder, which is the current one while an input runs, as the
// program's folder is. libFuzzer names its files relative to the folder it
// started in, so that one is the current one again afterwards.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& dir)
        : previous_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        check(previous_ >= 0 && ::chdir(dir.c_str()) == 0, "cannot enter the scratch folder");
    }
    ~InFolder() {
        check(::fchdir(previous_) == 0, "cannot leave the scratch folder");
        ::close(previous_);
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    int previous_;
};

std::string contents_of(const std::string& path) {
    const FileContent file = read_file(path, std::size_t{1} << 20);
    check(static_cast<bool>(file.status), "a saved song cannot be read");
    return std::string(file.bytes.begin(), file.bytes.end());
}

Rig& rig() {
    static Rig instance;
    return instance;
}

} // namespace
} // namespace qx375::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx375;
    using namespace qx375::fuzz;
    Rig& r = rig();
    const InFolder here(r.dir.path());
    // As a running output would have, the mixer takes back the buffers and
    // voices of the input before, refused ones included, before new ones.
    r.render();
    r.reset();
    const auto before = std::make_unique<Snapshot>(r.model);
    const std::string input = r.dir.write("input.drm", std::span(data, size));

    if (const FileStatus status = r.model.load_drm(input); !status) {
        check(status.fault == FileFault::cut_short || status.fault == FileFault::not_a_song,
              "a song file was refused for another reason than its bytes");
        check(Snapshot(r.model) == *before, "a failed load changed the song");
        return 0;
    }
    r.render();
    const auto loaded = std::make_unique<Snapshot>(r.model);
    for (const std::string& name : loaded->names) {
        check(name.size() <= kMaxNameLength, "a sample name longer than 255 bytes");
    }
    for (const std::int32_t entry : loaded->song) {
        check(entry >= 0 && entry <= 255, "a song entry out of range");
    }

    const std::string saved = r.dir.file("saved.drm");
    check(static_cast<bool>(r.model.save_drm(saved)), "a loaded song cannot be saved");
    check(Snapshot(r.model) == *loaded, "saving changed a song as loaded");
    r.reset();
    check(static_cast<bool>(r.model.load_drm(saved)), "a saved song does not load");
    r.render();
    check(Snapshot(r.model) == *loaded, "the song changed through a save and a load");
    const std::string again = r.dir.file("again.drm");
    check(static_cast<bool>(r.model.save_drm(again)), "a song loaded again cannot be saved");
    check(contents_of(again) == contents_of(saved), "a song saved twice differs");
    return 0;
}
