#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qx375::kits {

// A drum of a kit and the one sample it plays.
struct KitInstrument {
    std::string name;
    // The General MIDI note the kit gives the drum; -1: none.
    int note = -1;
    // Absolute and canonical, inside the kit's folder.
    std::filesystem::path sample;
};

struct Kit {
    std::string name;
    // Absolute and canonical; every sample lies under it.
    std::filesystem::path folder;
    // In the kit's own order; only drums with a sample that exists.
    std::vector<KitInstrument> instruments;
};

// Why a kit was refused. The windows turn it and the detail into a text of
// the language in use.
enum class KitFault {
    none,
    unreadable,           // detail: the file or archive member that could not be read or written
    not_a_kit,            // detail: the file or folder that holds no kit
    bad_xml,              // detail: the line of drumkit.xml at fault
    unsafe_member,        // detail: the archive member that could lead out of its folder
    too_large,            // detail: the file or archive member over its limit
    too_many_entries,     // detail: the archive member past the limit
    too_many_instruments, // detail: the line of drumkit.xml past the limit
    sample_outside_kit, // detail: a sample, as written, of a kit whose every sample lies outside it
    no_samples,         // no drum has a sample that exists
};

struct KitReading {
    // Empty unless the fault is none.
    Kit kit;
    KitFault fault = KitFault::none;
    std::string detail;

    explicit operator bool() const { return fault == KitFault::none; }
};

// Reads the kit at `path`: a kit folder (its drumkit.xml, or the one .sfz file
// in it), a drumkit.xml or .sfz file, or a kit archive (.h2drumkit, .tar.gz,
// .tgz, .tar). An archive is unpacked into `scratch`, a folder the caller made
// for it and deletes afterwards, which then holds the kit's samples; nothing
// is ever written anywhere else. No sample is decoded: a kit's sounds are only
// named here.
KitReading read_kit(const std::filesystem::path& path, const std::filesystem::path& scratch);

} // namespace qx375::kits
