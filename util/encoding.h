#pragma once

#include <string>
#include <string_view>

namespace qx375 {

// Text comes in two encodings: UTF-8, and the Windows-1252 of files written
// on Windows (French accents, the right single quote 0x92, the euro 0x80).
// Windows-1252 maps every byte to one character, so a Windows-1252 text read
// into UTF-8 and written back is byte for byte what it was.

// True when the bytes are well-formed UTF-8: no overlong forms, no surrogates,
// nothing past U+10FFFF, no truncated character.
bool is_utf8(std::string_view bytes);

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same
// number.
std::string windows1252_to_utf8(std::string_view bytes);

// UTF-8 text as Windows-1252. A character the code page cannot hold, and
// every byte that is not part of a well-formed UTF-8 character, becomes "?".
std::string utf8_to_windows1252(std::string_view text);

// The text with every byte that is not part of a well-formed UTF-8 character
// replaced by "?".
std::string repair_utf8(std::string_view text);

} // namespace qx375
