#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qx375 {

// Reads a whole text as a 32-bit integer the way the number boxes take it:
// blanks before it, an optional sign, decimal digits and nothing after them.
// Nothing when the text is anything else or the number is out of range.
std::optional<std::int32_t> parse_integer(std::string_view text);

} // namespace qx375
