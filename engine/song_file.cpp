#include "engine/patern.h"
#include "util/error.h"
#include "util/file_io.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <span>
#include <string_view>
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

// Reads the file's bytes the way the writer's format describes them. Each
// read answers cut_short when the bytes run out instead of inventing any, and
// not_a_song for bytes the writer cannot have written there.
class SongReader {
public:
    explicit SongReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    bool at_end() const { return at_ >= bytes_.size(); }

    FileFault byte(std::uint8_t& out) {
        if (at_end()) {
            return FileFault::cut_short;
        }
        out = bytes_[at_++];
        return FileFault::none;
    }

    FileFault bytes(std::span<std::uint8_t> out) {
        if (bytes_.size() - at_ < out.size()) {
            return FileFault::cut_short;
        }
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), out.size(), out.begin());
        at_ += out.size();
        return FileFault::none;
    }

    // As scanf's "%ul", which reads like strtoul: white space skipped, an
    // optional sign, digits, then one letter l taken if it is there. A number
    // too large gives all bits set whatever its sign; a negative one is
    // negated in unsigned arithmetic, so "-600" is the 32 bits of -600.
    // Without digits there is no number, and so no song.
    FileFault number(std::uint32_t& out) {
        while (!at_end() && is_space(bytes_[at_])) {
            ++at_;
        }
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
            return at_end() ? FileFault::cut_short : FileFault::not_a_song;
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
        return FileFault::none;
    }

    // One line without its line end, a line feed or a carriage return and a
    // line feed; false when nothing is left at all. The last line may lack
    // its line feed.
    bool line(std::string_view& out) {
        if (at_end()) {
            return false;
        }
        const auto* begin = reinterpret_cast<const char*>(bytes_.data() + at_);
        const std::string_view rest(begin, bytes_.size() - at_);
        const std::size_t feed = rest.find('\n');
        out = rest.substr(0, feed);
        at_ += out.size();
        if (feed != std::string_view::npos) {
            ++at_;
            if (out.ends_with('\r')) {
                out.remove_suffix(1);
            }
        }
        return true;
    }

private:
    static bool is_space(std::uint8_t c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    }

    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
};

FileFault read_pattern(SongReader& in, pattern_record& p, std::int32_t& song_entry) {
    std::uint8_t tempo, size, entry;
    for (std::uint8_t* field : {&tempo, &size, &entry}) {
        if (const FileFault fault = in.byte(*field); fault != FileFault::none) {
            return fault;
        }
    }
    p.tempo = tempo;
    p.size = is_pattern_size(size) ? size : 24;
    song_entry = entry;
    bool any_cell = false;
    for (int j = 0; j < kTracks; ++j) {
        std::uint32_t volume, pan, frequency;
        for (std::uint32_t* field : {&volume, &pan, &frequency}) {
            if (const FileFault fault = in.number(*field); fault != FileFault::none) {
                return fault;
            }
        }
        if (const FileFault fault = in.bytes(p.steps[j]); fault != FileFault::none) {
            return fault;
        }
        p.volume[j] = std::clamp(static_cast<std::int32_t>(volume), DSBVOLUME_MIN, DSBVOLUME_MAX);
        // The pan travels as a signed number too: "-600l" is far left, not far right.
        p.pan[j] = static_cast<std::int32_t>(std::clamp<std::int64_t>(
            std::int64_t{static_cast<std::int32_t>(pan)} - 10000, DSBPAN_LEFT, DSBPAN_RIGHT));
        p.frequency[j] = static_cast<std::int32_t>(frequency);
        if (p.frequency[j] < 100 || p.frequency[j] > 100000) {
            p.frequency[j] = 0;
        }
        for (std::uint8_t& cell : p.steps[j]) {
            cell = cell != 0 ? 1 : 0;
            any_cell = any_cell || cell != 0;
        }
    }
    if (any_cell) {
        p.empty = 0;
    }
    return FileFault::none;
}

// A pattern as a song file holds it: a size it knows, and every mix value
// within its range.
pattern_record normalised(pattern_record p) {
    if (!is_pattern_size(p.size)) {
        p.size = 24;
    }
    for (int j = 0; j < kTracks; ++j) {
        p.volume[j] = std::clamp(p.volume[j], DSBVOLUME_MIN, DSBVOLUME_MAX);
        p.pan[j] = std::clamp(p.pan[j], DSBPAN_LEFT, DSBPAN_RIGHT);
        if (p.frequency[j] < 100 || p.frequency[j] > 100000) {
            p.frequency[j] = 0;
        }
    }
    return p;
}

} // namespace

FileStatus matrice::save_drm(const std::string& path) {
    for (pattern_record& p : patterns) {
        p = normalised(p);
    }
    return replace_file(path, song_image());
}

std::string matrice::song_image() const {
    std::string out;
    out.reserve(kPatterns * (3 + kTracks * (10 + kSteps)) + kSounds * 64);
    for (int i = 0; i < kPatterns; ++i) {
        const pattern_record p = normalised(patterns[i]);
        out.push_back(static_cast<char>(p.tempo & 0xFF));
        out.push_back(static_cast<char>(p.size));
        out.push_back(static_cast<char>(song[i] & 0xFF));
        for (int j = 0; j < kTracks; ++j) {
            put_number(out, static_cast<std::uint32_t>(p.volume[j]));
            put_number(out, static_cast<std::uint32_t>(p.pan[j] + 10000));
            put_number(out, static_cast<std::uint32_t>(p.frequency[j]));
            out.append(p.steps[j].begin(), p.steps[j].end());
        }
    }
    out.push_back('\n');
    for (int k = 0; k < kSounds; ++k) {
        out += sample_file[k];
        out.push_back('\n');
    }
    return out;
}

FileStatus matrice::load_drm(const std::string& path, Samples samples) {
    // The song in memory is only replaced by a file that was read whole and
    // is a song: any other leaves the user's unsaved work exactly as it was.
    const FileContent file = read_file(path, kMaxSongBytes);
    if (!file.status) {
        return file.status;
    }
    SongReader in(file.bytes);
    auto bank = std::make_unique<std::array<pattern_record, kPatterns>>(patterns);
    std::array<std::int32_t, kMeasures> order = song;
    for (int i = 0; i < kPatterns; ++i) {
        if (const FileFault fault = read_pattern(in, (*bank)[i], order[i]);
            fault != FileFault::none) {
            return {fault, 0};
        }
    }
    std::uint8_t separator;
    if (const FileFault fault = in.byte(separator); fault != FileFault::none) {
        return {fault, 0};
    }
    if (separator != '\n') {
        return {FileFault::not_a_song, 0};
    }
    // A name the program could not have written, or could not keep, is no
    // sample of a song.
    std::vector<std::string_view> names;
    for (std::string_view name; names.size() < kSounds && in.line(name);) {
        if (!sample_name_status(name)) {
            return {FileFault::not_a_song, 0};
        }
        names.push_back(name);
    }

    patterns = *bank;
    song = order;

    // A sample that will not load costs that sound only; the rest of the song
    // is still worth having. The sounds that failed are kept, for whoever
    // opened the song to name them.
    unloaded_sounds_.clear();
    for (std::size_t k = 0; k < names.size(); ++k) {
        bool loaded = false;
        if (samples == Samples::names_only) {
            sample_file[k] = std::string(names[k].substr(0, kMaxNameLength));
        } else {
            try {
                loaded = assign_sample(static_cast<int>(k), names[k]);
            } catch (const Error&) {
            }
        }
        if (!loaded) {
            unloaded_sounds_.push_back(static_cast<int>(k));
        }
    }
    return {};
}

} // namespace qx375
