#include "util/encoding.h"

#include <array>
#include <cstdint>

namespace qx375 {
namespace {

// The characters of bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char32_t, 32> kHighRow = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct Decoded {
    char32_t code;
    std::size_t length; // 0 when the bytes do not start a well-formed character
};

Decoded decode(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length;
    char32_t code;
    char32_t smallest;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        smallest = 0x10000;
    } else {
        return {0, 0};
    }
    if (text.size() < length) {
        return {0, 0};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return {0, 0};
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return {0, 0};
    }
    return {code, length};
}

// Characters of the Basic Multilingual Plane, all the code page needs.
void append_utf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

char to_windows1252(char32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
        return static_cast<char>(code);
    }
    for (std::size_t i = 0; i < kHighRow.size(); ++i) {
        if (kHighRow[i] == code) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

} // namespace

bool is_utf8(std::string_view bytes) {
    while (!bytes.empty()) {
        const Decoded d = decode(bytes);
        if (d.length == 0) {
            return false;
        }
        bytes.remove_prefix(d.length);
    }
    return true;
}

std::string windows1252_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        append_utf8(out, byte >= 0x80 && byte < 0xA0 ? kHighRow[byte - 0x80] : byte);
    }
    return out;
}

std::string utf8_to_windows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const Decoded d = decode(text);
        out.push_back(d.length == 0 ? '?' : to_windows1252(d.code));
        text.remove_prefix(d.length == 0 ? 1 : d.length);
    }
    return out;
}

std::string repair_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const Decoded d = decode(text);
        if (d.length == 0) {
            out.push_back('?');
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, d.length));
            text.remove_prefix(d.length);
        }
    }
    return out;
}

} // namespace qx375
