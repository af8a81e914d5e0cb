#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qx375 {

// Reads a whole text as a 32-bit integer the way the number boxes always
// have: blanks before it, an optional sign, decimal digits or a hexadecimal
// number after "$" or "0x", and nothing after it.
std::optional<std::int32_t> parse_integer(std::string_view text);

} // namespace qx375
