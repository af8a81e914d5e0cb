#pragma once

#include "util/file_status.h"

#include <cstring>
#include <ostream>

namespace qx375 {

// How a test failure shows a status: the fault's number and the error behind it.
inline void PrintTo(const FileStatus& status, std::ostream* out) {
    *out << "fault " << static_cast<int>(status.fault);
    if (status.error != 0) {
        *out << ", " << std::strerror(status.error);
    }
}

} // namespace qx375
