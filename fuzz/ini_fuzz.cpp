// Every input is a settings or language file. The harness reads the
// program's own keys and the keys the file holds, writes some of them and
// some new ones with odd values, saves, and opens the file again:
//  - what was written reads back as it was written (as far as the file's
//    encoding can hold it), and a refused write changed nothing;
//  - every key that was not written reads as it did before (see below for a
//    file whose encoding reads otherwise afterwards);
//  - every line of the file that held no written key is still there, byte
//    for byte and in its order.
#include "fuzz/property.h"
#include "fuzz/scratch_dir.h"
#include "util/encoding.h"
#include "util/file_io.h"
#include "util/ini_file.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx375::fuzz {
namespace {

using Name = std::pair<std::string, std::string>; // section, key

constexpr std::size_t kMaxFileKeys = 8;
constexpr std::size_t kWrites = 6;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The program's own keys, a new section, and names that cannot be stored.
const Name kNames[] = {
    {"setup", "Speed"},      {"setup", "PatternMode"},   {"setup", "autoload_0"},
    {"main", "firstuse"},    {"main", "Play24"},         {"main", "mainmenu"},
    {"sndsetup", "sndmenu"}, {"new section", "new key"}, {" setup ", " spaced key "},
    {"s]x", "refused"},      {"setup", "k=refused"},     {"", "refused"},
};

const std::string kValues[] = {
    "160",
    "",
    " 24",
    "24 ",
    "\t",
    "\"quoted\"",
    "'single'",
    "\"",
    "x=y;z",
    "[not a section]",
    ";not a comment",
    "C:\\Songs\\demo.drm",
    "Sauvegarder l\xE2\x80\x99\xC5\x93uvre \xC3\xA0 5 \xE2\x82\xAC",
    "\xE6\x97\xA5\xE6\x9C\xAC", // no Windows-1252 character
    "a\xFF\xE9z",               // not UTF-8
    "a\nb",                     // refused: a line break
    std::string(300, 'v'),
};

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && is_blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string folded(std::string_view s) {
    std::string out(trim(s));
    std::ranges::transform(out, out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

Name folded(const Name& n) {
    return {folded(n.first), folded(n.second)};
}

bool ascii(std::string_view s) {
    return std::ranges::all_of(s, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        out.push_back(text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    }
    return out;
}

// The key a line holds, by the plain reading of the format; empty for other lines.
std::string key_of(std::string_view line) {
    const std::string_view text = trim(line);
    const std::size_t equals = text.find('=');
    if (text.empty() || text.front() == ';' || text.front() == '[' ||
        equals == std::string_view::npos) {
        return {};
    }
    return folded(text.substr(0, equals));
}

// The sections and keys the file spells, in the text the interface speaks.
std::vector<Name> keys_in(std::string_view text) {
    std::vector<Name> found;
    std::string section;
    for (const std::string_view line : lines(text)) {
        const std::string_view t = trim(line);
        if (t.starts_with('[') && t.find(']') != std::string_view::npos) {
            section = std::string(trim(t.substr(1, t.find(']') - 1)));
        } else if (!key_of(line).empty() && found.size() < kMaxFileKeys) {
            found.emplace_back(section, std::string(trim(t.substr(0, t.find('=')))));
        }
    }
    return found;
}

std::string_view without_mark(std::string_view bytes) {
    if (bytes.starts_with(kByteOrderMark)) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    return bytes;
}

// How the file reads: UTF-8, or Windows-1252 when it is not valid UTF-8.
bool windows1252(std::string_view bytes) {
    return !is_utf8(without_mark(bytes));
}

std::string decoded(std::string_view bytes, bool from_windows1252) {
    return from_windows1252 ? windows1252_to_utf8(bytes) : std::string(bytes);
}

std::string read_back(const std::string& path) {
    const FileContent file = read_file(path, std::size_t{1} << 30);
    check(static_cast<bool>(file.status), "the saved file cannot be read");
    return std::string(file.bytes.begin(), file.bytes.end());
}

// Every line of `before` whose key was not written is a line of `after`, in
// the same order. A last line without its line ending may have gained one.
void check_kept_lines(std::string_view before, std::string_view after,
                      const std::map<Name, std::string>& written) {
    const bool before_windows1252 = windows1252(before);
    std::vector<std::string> written_keys;
    for (const auto& [name, value] : written) {
        written_keys.push_back(name.second);
    }
    const auto old_lines = lines(before);
    const auto new_lines = lines(after);
    std::size_t at = 0;
    for (std::size_t i = 0; i < old_lines.size(); ++i) {
        const std::string_view line = old_lines[i];
        const std::string key = key_of(decoded(line, before_windows1252));
        if (std::ranges::find(written_keys, key) != written_keys.end()) {
            continue;
        }
        const bool unterminated = i + 1 == old_lines.size() && !before.ends_with('\n');
        while (at < new_lines.size() && new_lines[at] != line &&
               !(unterminated && new_lines[at] == std::string(line) + "\r")) {
            ++at;
        }
        check(at < new_lines.size(), "a line that held no written key was lost");
        ++at;
    }
}

std::uint32_t hash(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) {
        h = (h ^ data[i]) * 16777619u;
    }
    return h;
}

ScratchDir& scratch() {
    static ScratchDir instance;
    return instance;
}

} // namespace
} // namespace qx375::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx375;
    using namespace qx375::fuzz;
    const std::string_view original(reinterpret_cast<const char*>(data), size);
    const std::string path = scratch().write("qx375.ini", std::span(data, size));

    std::vector<Name> names = keys_in(decoded(without_mark(original), windows1252(original)));
    names.insert(names.end(), std::begin(kNames), std::end(kNames));

    IniFile ini(path);
    constexpr std::string_view kAbsent = "\x01"
                                         "absent";
    std::vector<std::string> before;
    for (const auto& [section, key] : names) {
        before.push_back(ini.read_string(section, key, kAbsent));
    }

    // Which keys get which values follows from the input, so a run can be
    // repeated.
    std::uint32_t choice = hash(data, size);
    std::map<Name, std::string> written;
    for (std::size_t i = 0; i < kWrites; ++i) {
        const std::size_t n = choice % names.size();
        const std::string& value = kValues[(choice >> 8) % std::size(kValues)];
        choice = choice * 1103515245u + 12345u;
        const auto& [section, key] = names[n];
        const std::string was = ini.read_string(section, key, kAbsent);
        if (ini.write(section, key, value)) {
            written[folded(names[n])] = value;
            check(ini.read_string(section, key, kAbsent) != kAbsent, "a written key is absent");
        } else {
            check(ini.read_string(section, key, kAbsent) == was, "a refused write changed a key");
        }
    }
    check(ini.save(), "the file cannot be saved");

    const std::string after = read_back(path);
    check(after.starts_with(kByteOrderMark) == original.starts_with(kByteOrderMark),
          "the byte-order mark changed");
    check_kept_lines(original, after, written);

    // The encoding is guessed anew from the bytes. A Windows-1252 file whose
    // characters beyond ASCII all lay in the lines replaced, and whose other
    // bytes beyond ASCII happen to form UTF-8, reads as UTF-8 afterwards: its
    // bytes are kept, but they spell other text. Then only the keys whose
    // names and values are ASCII must read as before.
    const bool same_encoding = windows1252(original) == windows1252(after);
    const IniFile reread(path);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& [section, key] = names[i];
        const std::string now = reread.read_string(section, key, kAbsent);
        const auto it = written.find(folded(names[i]));
        const std::string was =
            it != written.end() ? ini.read_string(section, key, kAbsent) : before[i];
        if (!same_encoding && !(ascii(section) && ascii(key) && ascii(was))) {
            continue;
        }
        if (it == written.end()) {
            check(now == was, "a key that was not written changed");
            continue;
        }
        check(now == was, "a written key reads otherwise");
        if (ascii(it->second) && ascii(section) && ascii(key)) {
            check(now == it->second, "a written value does not read back");
        }
    }
    return 0;
}
