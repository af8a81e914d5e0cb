#include "util/ini_file.h"

#include "util/encoding.h"
#include "util/file_io.h"
#include "util/text.h"

#include <algorithm>
#include <cerrno>

namespace qx375 {
namespace {

// Settings files hold a few kilobytes; anything this large is not one.
constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;
constexpr std::size_t npos = std::string::npos;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool quoted(std::string_view value) {
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
           value.back() == value.front();
}

// How a value goes into the file so that it reads back as it is.
std::string stored_value(std::string_view value) {
    if (!value.empty() && (is_blank(value.front()) || is_blank(value.back()) || quoted(value))) {
        return "\"" + std::string(value) + "\"";
    }
    return std::string(value);
}

enum class Kind { other, section, key };

struct Entry {
    Kind kind = Kind::other;
    std::string_view name;
    std::string_view value;
};

// What one line of the file holds.
Entry parse(std::string_view line) {
    const std::string_view text = trim(line);
    if (text.starts_with(';')) {
        return {};
    }
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == npos) {
            return {};
        }
        return {Kind::section, trim(text.substr(1, close - 1)), {}};
    }
    const std::size_t equals = text.find('=');
    if (equals == npos) {
        return {};
    }
    std::string_view value = trim(text.substr(equals + 1));
    if (quoted(value)) {
        value = value.substr(1, value.size() - 2);
    }
    return {Kind::key, trim(text.substr(0, equals)), value};
}

std::string_view last_line(std::string_view text) {
    if (text.ends_with('\n')) {
        text.remove_suffix(1);
    }
    const std::size_t newline = text.rfind('\n');
    return newline == npos ? text : text.substr(newline + 1);
}

bool has_line_break(std::string_view text) {
    return text.find_first_of("\r\n") != npos;
}

} // namespace

// Where a key is, or where it would go. Offsets into text_.
struct IniFile::Place {
    std::size_t key = npos;     // the start of the key's line
    std::size_t key_end = npos; // the end of that line, before its line ending
    std::size_t section = npos; // the start of the section's first header
    std::size_t after = npos;   // the line after its last key, or after that header
};

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    const FileContent file = read_file(path_, kMaxBytes);
    if (!file.status) {
        unreadable_ = file.status.error != ENOENT;
        return;
    }
    std::string_view content(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size());
    if (content.starts_with(kByteOrderMark)) {
        byte_order_mark_ = true;
        content.remove_prefix(kByteOrderMark.size());
    }
    windows1252_ = !is_utf8(content);
    text_ = windows1252_ ? windows1252_to_utf8(content) : std::string(content);
    const std::size_t newline = text_.find('\n');
    if (newline != npos && newline > 0 && text_[newline - 1] == '\r') {
        line_end_ = "\r\n";
    }
}

IniFile::Place IniFile::locate(std::string_view section, std::string_view key) const {
    Place place;
    bool inside = false;
    bool first_block = false;
    std::size_t begin = 0;
    while (begin < text_.size()) {
        const std::size_t newline = text_.find('\n', begin);
        const std::size_t end = newline == npos ? text_.size() : newline;
        const std::size_t next = newline == npos ? text_.size() : newline + 1;
        const Entry entry = parse(std::string_view(text_).substr(begin, end - begin));
        if (entry.kind == Kind::section) {
            inside = same_ignoring_case(entry.name, section);
            first_block = inside && place.section == npos;
            if (first_block) {
                place.section = begin;
                place.after = next;
            }
        } else if (entry.kind == Kind::key && inside) {
            if (first_block) {
                place.after = next;
            }
            if (same_ignoring_case(entry.name, key)) {
                place.key = begin;
                place.key_end = end > begin && text_[end - 1] == '\r' ? end - 1 : end;
                return place;
            }
        }
        begin = next;
    }
    return place;
}

std::string IniFile::as_stored(std::string_view text) const {
    return windows1252_ ? windows1252_to_utf8(utf8_to_windows1252(text)) : repair_utf8(text);
}

std::string IniFile::read_string(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
    const Place place = locate(trim(section), trim(key));
    if (place.key == npos) {
        return std::string(fallback);
    }
    return std::string(
        parse(std::string_view(text_).substr(place.key, place.key_end - place.key)).value);
}

int IniFile::read_int(std::string_view section, std::string_view key, int fallback) const {
    return parse_integer(read_string(section, key, "")).value_or(fallback);
}

bool IniFile::write(std::string_view section, std::string_view key, std::string_view value) {
    const std::string group = as_stored(trim(section));
    const std::string name = as_stored(trim(key));
    const std::string wanted = as_stored(value);
    if (group.empty() || has_line_break(group) || group.find(']') != npos || name.empty() ||
        has_line_break(name) || name.find('=') != npos || name.starts_with(';') ||
        name.starts_with('[') || has_line_break(wanted)) {
        return false;
    }
    const Place place = locate(group, name);
    if (place.key != npos) {
        const Entry entry =
            parse(std::string_view(text_).substr(place.key, place.key_end - place.key));
        if (entry.value == wanted) {
            return true;
        }
        text_.replace(place.key, place.key_end - place.key,
                      std::string(entry.name) + "=" + stored_value(wanted));
    } else if (place.section != npos) {
        std::string line;
        if (place.after == text_.size() && !text_.ends_with('\n')) {
            line = line_end_;
        }
        line += name + "=" + stored_value(wanted) + line_end_;
        text_.insert(place.after, line);
    } else {
        if (!text_.empty() && !text_.ends_with('\n')) {
            text_ += line_end_;
        }
        if (!trim(last_line(text_)).empty()) {
            text_ += line_end_;
        }
        text_ += "[" + group + "]" + line_end_ + name + "=" + stored_value(wanted) + line_end_;
    }
    changed_ = true;
    return true;
}

bool IniFile::write_int(std::string_view section, std::string_view key, int value) {
    return write(section, key, std::to_string(value));
}

bool IniFile::save() {
    if (!changed_) {
        return true;
    }
    if (unreadable_) {
        return false;
    }
    std::string bytes(byte_order_mark_ ? kByteOrderMark : "");
    bytes += windows1252_ ? utf8_to_windows1252(text_) : text_;
    if (!replace_file(path_, bytes)) {
        return false;
    }
    changed_ = false;
    return true;
}

} // namespace qx375
