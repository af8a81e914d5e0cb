// Every input is a drum kit: its first byte says whether the rest is a
// drumkit.xml, an SFZ file or a kit archive, beside two samples the kit may
// name. Whatever it holds, reading it ends with a kit or a fault; a kit's
// every sample exists inside the kit's folder; and nothing is ever written
// outside the folder archives are unpacked into.
#include "fuzz/property.h"
#include "fuzz/scratch_dir.h"
#include "kits/kit.h"
#include "kits/kit_map.h"
#include "support/wav_bytes.h"

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>

namespace qx375::fuzz {
namespace {

namespace fs = std::filesystem;

// Names and sizes of everything below `folder`.
std::string listing(const fs::path& folder) {
    std::string out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        out += it->path().string() + "\n";
    }
    return out;
}

bool inside(const fs::path& file, const fs::path& folder) {
    const std::string f = file.string();
    const std::string d = folder.string() + "/";
    return f.compare(0, d.size(), d) == 0;
}

} // namespace
} // namespace qx375::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx375;
    using namespace qx375::fuzz;
    static const ScratchDir dir;
    if (size == 0) {
        return 0;
    }
    const fs::path kit = dir.path() / "kit";
    const fs::path scratch = dir.path() / "scratch";
    std::error_code ec;
    fs::remove_all(kit, ec);
    fs::remove_all(scratch, ec);
    fs::create_directories(kit);
    fs::create_directories(scratch);
    const test::Bytes wav = test::simple_wav(test::ramp(8));
    dir.write("kit/kick.wav", wav);
    dir.write("kit/Snare 1.wav", wav);
    const char* const names[] = {"kit/drumkit.xml", "kit/drums.sfz", "kit/drums.h2drumkit"};
    const std::string file = dir.write(names[data[0] % 3], std::span(data + 1, size - 1));
    const std::string before = listing(kit);

    const kits::KitReading reading = kits::read_kit(file, scratch);
    check(listing(kit) == before, "the kit's folder is left as it was");
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path())) {
        const fs::path name = entry.path().filename();
        check(name == "kit" || name == "scratch", "nothing is written beside the two folders");
    }
    if (!reading) {
        check(reading.kit.instruments.empty(), "a refused kit names no drum");
        return 0;
    }
    for (const kits::KitInstrument& drum : reading.kit.instruments) {
        check(inside(drum.sample, reading.kit.folder), "every sample lies inside the kit");
        check(fs::is_regular_file(drum.sample, ec), "every sample exists");
    }
    const std::array<int, kSounds> mapped = kits::map_kit(reading.kit);
    for (std::size_t k = 0; k < mapped.size(); ++k) {
        check(mapped[k] < static_cast<int>(reading.kit.instruments.size()), "a drum of the kit");
        for (std::size_t j = k + 1; j < mapped.size(); ++j) {
            check(mapped[k] < 0 || mapped[k] != mapped[j], "no drum for two sounds");
        }
    }
    return 0;
}
