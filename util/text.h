#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qx375 {

// Reads a whole text as a 32-bit integer the way the number boxes take it:
// blanks before it, an optional sign, decimal digits and nothing after them.
// Nothing when the text is anything else or the number is out of range.
std::optional<std::int32_t> parse_integer(std::string_view text);

// Whether two names are the same but for ASCII letter case, as Windows names
// and settings compare.
bool same_ignoring_case(std::string_view a, std::string_view b);

} // namespace qx375
