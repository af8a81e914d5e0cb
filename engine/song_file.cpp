#include "engine/patern.h"
#include "util/error.h"
#include "util/file_io.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

namespace qx375 {
namespace {

// A song file is about 300 KB; anything far larger is not one.
constexpr std::size_t kMaxSongBytes = std::size_t{64} << 20;

// Numbers travel as "%ul": unsigned decimal digits, then the letter l.
void put_number(std::string& out, std::uint32_t value) {
    char digits[10];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
    out.push_back('l');
}

// Reads the file's bytes the way the writer's format describes them, and
// says when the bytes run out instead of inventing any.
class SongReader {
public:
    explicit SongReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    bool at_end() const { return at_ >= bytes_.size(); }

    void skip(std::uint8_t expected) {
        if (!at_end() && bytes_[at_] == expected) {
            ++at_;
        }
    }

    bool byte(std::uint8_t& out) {
        if (at_end()) {
            return false;
        }
        out = bytes_[at_++];
        return true;
    }

    bool bytes(std::span<std::uint8_t> out) {
        if (bytes_.size() - at_ < out.size()) {
            return false;
        }
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), out.size(), out.begin());
        at_ += out.size();
        return true;
    }

    // As scanf's "%ul", which reads like strtoul: white space skipped, an
    // optional sign, digits, then one letter l taken if it is there. A number
    // too large gives all bits set whatever its sign; a negative one is
    // negated in unsigned arithmetic, so "-600" is the 32 bits of -600.
    // Without digits it answers false and leaves the offending byte, a lone
    // sign included, to whatever reads next.
    bool number(std::uint32_t& out) {
        while (!at_end() && is_space(bytes_[at_])) {
            ++at_;
        }
        const std::size_t start = at_;
        const bool negative = !at_end() && bytes_[at_] == '-';
        if (!at_end() && (bytes_[at_] == '-' || bytes_[at_] == '+')) {
            ++at_;
        }
        constexpr std::uint64_t kTooLarge = std::uint64_t{1} << 32;
        std::uint64_t value = 0;
        const std::size_t first = at_;
        for (; !at_end() && bytes_[at_] >= '0' && bytes_[at_] <= '9'; ++at_) {
            value = std::min(value * 10 + (bytes_[at_] - '0'), kTooLarge);
        }
        if (at_ == first) {
            at_ = start;
            return false;
        }
        if (!at_end() && bytes_[at_] == 'l') {
            ++at_;
        }
        if (value == kTooLarge) {
            out = 0xFFFFFFFF;
        } else {
            out = static_cast<std::uint32_t>(value);
            out = negative ? 0u - out : out;
        }
        return true;
    }

    // One line without its line feed; false when nothing is left at all. The
    // text ends at a NUL byte, as a line read into a C string does.
    bool line(std::string& out) {
        if (at_end()) {
            return false;
        }
        const auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(at_);
        const auto end = std::find(begin, bytes_.end(), std::uint8_t{'\n'});
        out.assign(begin, std::find(begin, end, std::uint8_t{0}));
        at_ += static_cast<std::size_t>(end - begin) + (end != bytes_.end() ? 1 : 0);
        return true;
    }

private:
    static bool is_space(std::uint8_t c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    }

    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
};

bool read_pattern(SongReader& in, pattern_record& p, std::int32_t& song_entry) {
    std::uint8_t tempo, size, entry;
    if (!in.byte(tempo) || !in.byte(size) || !in.byte(entry)) {
        return false;
    }
    p.tempo = tempo;
    p.size = is_pattern_size(size) ? size : 24;
    song_entry = entry;
    bool any_cell = false;
    for (int j = 0; j < kTracks; ++j) {
        std::uint32_t n;
        if (in.number(n)) {
            p.volume[j] = static_cast<std::int32_t>(n);
        }
        p.volume[j] = std::clamp(p.volume[j], DSBVOLUME_MIN, DSBVOLUME_MAX);
        std::uint32_t pan = 0;
        in.number(pan);
        // The pan travels as a signed number too: "-600l" is far left, not far right.
        p.pan[j] = static_cast<std::int32_t>(std::clamp<std::int64_t>(
            std::int64_t{static_cast<std::int32_t>(pan)} - 10000, DSBPAN_LEFT, DSBPAN_RIGHT));
        if (in.number(n)) {
            p.frequency[j] = static_cast<std::int32_t>(n);
        }
        if (p.frequency[j] < 100 || p.frequency[j] > 100000) {
            p.frequency[j] = 0;
        }
        if (in.at_end() || !in.bytes(p.steps[j])) {
            return false;
        }
        for (std::uint8_t& cell : p.steps[j]) {
            cell = cell != 0 ? 1 : 0;
            any_cell = any_cell || cell != 0;
        }
    }
    if (any_cell) {
        p.empty = 0;
    }
    return true;
}

} // namespace

bool matrice::save_drm(const std::string& path) {
    std::string out;
    out.reserve(kPatterns * (3 + kTracks * (10 + kSteps)) + kSounds * 64);
    for (int i = 0; i < kPatterns; ++i) {
        pattern_record& p = patterns[i];
        if (!is_pattern_size(p.size)) {
            p.size = 24;
        }
        out.push_back(static_cast<char>(p.tempo & 0xFF));
        out.push_back(static_cast<char>(p.size));
        out.push_back(static_cast<char>(song[i] & 0xFF));
        for (int j = 0; j < kTracks; ++j) {
            p.volume[j] = std::clamp(p.volume[j], DSBVOLUME_MIN, DSBVOLUME_MAX);
            put_number(out, static_cast<std::uint32_t>(p.volume[j]));
            p.pan[j] = std::clamp(p.pan[j], DSBPAN_LEFT, DSBPAN_RIGHT);
            put_number(out, static_cast<std::uint32_t>(p.pan[j] + 10000));
            if (p.frequency[j] < 100 || p.frequency[j] > 100000) {
                p.frequency[j] = 0;
            }
            put_number(out, static_cast<std::uint32_t>(p.frequency[j]));
            out.append(p.steps[j].begin(), p.steps[j].end());
        }
    }
    out.push_back('\n');
    for (int k = 0; k < kSounds; ++k) {
        out += sample_file[k];
        out.push_back('\n');
    }
    return replace_file(path, out);
}

bool matrice::load_drm(const std::string& path) {
    // The song in memory is only replaced by a file that was read whole: a
    // file that cannot be opened, or ends inside its patterns, leaves the
    // user's unsaved work exactly as it was.
    const auto bytes = read_file(path, kMaxSongBytes);
    if (!bytes) {
        return false;
    }
    SongReader in(*bytes);
    auto bank = std::make_unique<std::array<pattern_record, kPatterns>>(patterns);
    std::array<std::int32_t, kMeasures> order = song;
    for (int i = 0; i < kPatterns; ++i) {
        if (!read_pattern(in, (*bank)[i], order[i])) {
            return false;
        }
    }
    in.skip('\n');
    std::vector<std::string> names;
    for (std::string name; names.size() < kSounds && in.line(name);) {
        names.push_back(std::move(name));
    }

    patterns = *bank;
    song = order;

    // A sample that will not load costs that sound only; the rest of the song
    // is still worth having. The sounds that failed are named together.
    std::string failed;
    for (std::size_t k = 0; k < names.size(); ++k) {
        std::string& name = names[k];
        if (!name.empty() && name.back() == '\r') {
            name.pop_back();
        }
        bool loaded = false;
        try {
            loaded = assign_sample(static_cast<int>(k), name);
        } catch (const Error&) {
        }
        if (!loaded) {
            failed += "\n" + std::to_string(k + 1) + " : " + sample_file[k];
        }
    }
    if (!failed.empty()) {
        notifier_.show_message("Sons non chargés :" + failed);
    }
    return true;
}

} // namespace qx375
