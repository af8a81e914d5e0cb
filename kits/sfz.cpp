#include "kits/sfz.h"

#include "kits/kit_file.h"
#include "util/text.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

namespace qx375::kits {
namespace {

namespace fs = std::filesystem;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The text with its comments, "//" to the end of the line and "/* */",
// turned into blanks; lines stay where they were.
std::string without_comments(std::string text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '/' || (text[i + 1] != '/' && text[i + 1] != '*')) {
            continue;
        }
        const bool to_line_end = text[i + 1] == '/';
        std::size_t end = to_line_end ? text.find('\n', i) : text.find("*/", i + 2);
        end = end == std::string::npos ? text.size() : to_line_end ? end : end + 2;
        for (std::size_t k = i; k < end; ++k) {
            if (text[k] != '\n') {
                text[k] = ' ';
            }
        }
        i = end - 1;
    }
    return text;
}

// Whether an opcode ("name=") starts at `at`.
bool opcode_at(std::string_view text, std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && is_name_char(text[end])) {
        ++end;
    }
    return end > at && end < text.size() && text[end] == '=';
}

// Where the value that starts at `from` ends: at the end of its line, at a
// header, or before the next opcode, so that a sample's name keeps its blanks.
std::size_t value_end(std::string_view text, std::size_t from) {
    for (std::size_t at = from; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\n' || c == '\r' || c == '<' || (is_blank(c) && opcode_at(text, at + 1))) {
            return at;
        }
    }
    return text.size();
}

// The opcodes of a header that a drum needs; every other one is passed over.
enum Opcode { kSample, kKey, kLokey, kHikey, kHivel, kLabel, kOpcodes };

std::optional<Opcode> opcode_named(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, Opcode>, 9> kNames = {{
        {"sample", kSample},
        {"key", kKey},
        {"lokey", kLokey},
        {"hikey", kHikey},
        {"hivel", kHivel},
        {"region_label", kLabel},
        {"group_label", kLabel},
        {"master_label", kLabel},
        {"global_label", kLabel},
    }};
    for (const auto& [text, opcode] : kNames) {
        if (text == name) {
            return opcode;
        }
    }
    return std::nullopt;
}

// What one header sets; a later opcode of the same name replaces an earlier.
using Level = std::array<std::optional<std::string>, kOpcodes>;

struct Candidate {
    std::string name;
    std::string sample;
    int hivel = 127;
};

class SfzKit {
public:
    void header(std::string_view name) {
        end_region();
        section_ = Section::ignored;
        if (name == "control") {
            section_ = Section::control;
        } else if (name == "global") {
            levels_[kGlobal] = {};
            levels_[kMaster] = {};
            levels_[kGroup] = {};
            section_ = Section::global;
        } else if (name == "master") {
            levels_[kMaster] = {};
            levels_[kGroup] = {};
            section_ = Section::master;
        } else if (name == "group") {
            levels_[kGroup] = {};
            section_ = Section::group;
        } else if (name == "region") {
            levels_[kRegion] = {};
            section_ = Section::region;
            any_region_ = true;
        }
    }

    void opcode(std::string_view name, std::string_view value) {
        if (section_ == Section::control) {
            if (name == "default_path") {
                default_path_ = value;
            }
            return;
        }
        const std::optional<Opcode> opcode = opcode_named(name);
        if (!opcode) {
            return;
        }
        switch (section_) {
        case Section::global:
            levels_[kGlobal][*opcode] = value;
            break;
        case Section::master:
            levels_[kMaster][*opcode] = value;
            break;
        case Section::group:
            levels_[kGroup][*opcode] = value;
            break;
        case Section::region:
            levels_[kRegion][*opcode] = value;
            break;
        default:
            break;
        }
    }

    void end() { end_region(); }

    bool any_region() const { return any_region_; }

    // One drum per key, in the order the keys first appear.
    std::vector<WrittenDrum> drums() const {
        std::vector<WrittenDrum> out;
        for (const int note : order_) {
            const Candidate& best = *best_[static_cast<std::size_t>(note)];
            out.push_back({best.name, note, {best.sample}});
        }
        return out;
    }

private:
    enum class Section { ignored, control, global, master, group, region };
    // The levels a region's opcodes come from, the nearest first.
    static constexpr std::size_t kRegion = 0, kGroup = 1, kMaster = 2, kGlobal = 3;

    const std::optional<std::string>& inherited(Opcode opcode) const {
        static const std::optional<std::string> kUnset;
        for (const Level& level : levels_) {
            if (level[opcode]) {
                return level[opcode];
            }
        }
        return kUnset;
    }

    // The key of the nearest level that sets one: key, else lokey, else hikey.
    std::optional<int> key() const {
        for (const Level& level : levels_) {
            for (const Opcode opcode : {kKey, kLokey, kHikey}) {
                if (level[opcode]) {
                    return sfz_note(*level[opcode]);
                }
            }
        }
        return std::nullopt;
    }

    // A label the file gives the region, else the sample's name.
    std::string label(const std::string& sample) const {
        if (const std::optional<std::string>& label = inherited(kLabel); label && !label->empty()) {
            return *label;
        }
        std::string name = sample;
        std::ranges::replace(name, '\\', '/');
        return fs::path(name).stem().string();
    }

    void end_region() {
        if (section_ != Section::region) {
            return;
        }
        section_ = Section::ignored;
        const std::optional<std::string>& sample = inherited(kSample);
        const std::optional<int> note = key();
        if (!sample || sample->empty() || sample->front() == '*' || !note) {
            return;
        }
        const std::optional<std::string>& hivel_text = inherited(kHivel);
        const std::optional<std::int32_t> hivel =
            hivel_text ? parse_integer(*hivel_text) : std::nullopt;
        Candidate candidate{label(*sample), default_path_ + *sample, hivel.value_or(127)};
        std::optional<Candidate>& best = best_[static_cast<std::size_t>(*note)];
        if (!best) {
            order_.push_back(*note);
            best = std::move(candidate);
        } else if (candidate.hivel > best->hivel) {
            best = std::move(candidate);
        }
    }

    Section section_ = Section::ignored;
    std::array<Level, 4> levels_;
    std::string default_path_;
    bool any_region_ = false;
    std::array<std::optional<Candidate>, 128> best_;
    std::vector<int> order_;
};

void parse(std::string_view text, SfzKit& kit) {
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (is_blank(c)) {
            ++at;
        } else if (c == '<') {
            std::size_t end = at + 1;
            while (end < text.size() && text[end] != '>' && text[end] != '<' && text[end] != '\n') {
                ++end;
            }
            if (end < text.size() && text[end] == '>') {
                kit.header(text.substr(at + 1, end - at - 1));
                ++end;
            }
            at = end;
        } else if (c == '#') {
            const std::size_t end = text.find('\n', at);
            at = end == std::string_view::npos ? text.size() : end;
        } else if (opcode_at(text, at)) {
            const std::size_t equals = text.find('=', at);
            const std::size_t end = value_end(text, equals + 1);
            kit.opcode(text.substr(at, equals - at),
                       trimmed(text.substr(equals + 1, end - equals - 1)));
            at = end;
        } else {
            while (at < text.size() && !is_blank(text[at]) && text[at] != '<') {
                ++at;
            }
        }
    }
    kit.end();
}

} // namespace

std::optional<int> sfz_note(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) {
        return std::nullopt;
    }
    int note = 0;
    const char letter = static_cast<char>(text.front() | 0x20);
    if (letter >= 'a' && letter <= 'g') {
        static constexpr std::array<int, 7> kSemitones = {9, 11, 0, 2, 4, 5, 7}; // a..g
        int semitone = kSemitones[static_cast<std::size_t>(letter - 'a')];
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '#' || text.front() == 'b')) {
            semitone += text.front() == '#' ? 1 : -1;
            text.remove_prefix(1);
        }
        const std::optional<std::int32_t> octave = parse_integer(text);
        if (!octave || *octave < -1 || *octave > 9) {
            return std::nullopt;
        }
        note = (*octave + 1) * 12 + semitone;
    } else {
        const std::optional<std::int32_t> number = parse_integer(text);
        if (!number) {
            return std::nullopt;
        }
        note = *number;
    }
    if (note < 0 || note > 127) {
        return std::nullopt;
    }
    return note;
}

KitReading read_sfz(const fs::path& file) {
    const KitText kit_file = read_kit_file(file);
    if (kit_file.fault != KitFault::none) {
        return {{}, kit_file.fault, kit_file.detail};
    }
    SfzKit kit;
    parse(without_comments(kit_file.text), kit);
    if (!kit.any_region()) {
        return {{}, KitFault::not_a_kit, file.filename().string()};
    }
    return assemble_kit(file.stem().string(), file.parent_path(), kit.drums());
}

} // namespace qx375::kits
