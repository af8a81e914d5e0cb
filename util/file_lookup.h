#pragma once

#include <string>
#include <string_view>

namespace qx375 {

// Finds the file a stored sample name means on this machine. The name as given
// wins when such a file exists. Otherwise backslashes count as directory
// separators, the last component matches case-insensitively, and a name whose
// directory does not exist here (a Windows path) falls back to its bare name in
// base_dir. Returns the path to open, or the name unchanged when nothing matches.
std::string find_file(std::string_view name, std::string_view base_dir = ".");

} // namespace qx375
