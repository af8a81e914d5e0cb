#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qx375 {

// Finds the file a stored sample name means on this machine. The name as given
// wins when such a file exists. Otherwise backslashes count as directory
// separators, the last component matches case-insensitively, and a name whose
// directory does not exist here (a Windows path) falls back to its bare name in
// base_dir. Returns the path to open, or the name unchanged when nothing matches.
std::string find_file(std::string_view name, std::string_view base_dir = ".");

// The file at `relative` under `base`, its folders and its name separated by
// "/", each matched whatever its ASCII letter case, as fixed names of the
// program directory are; nothing when any of them is missing. The name as
// given wins where it exists.
std::optional<std::string> find_under(std::string_view base, std::string_view relative);

} // namespace qx375
