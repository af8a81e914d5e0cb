#pragma once

#include <stdexcept>

namespace qx375 {

// The one error the program raises. It carries the message shown to the user
// (French for the sound and engine errors); whoever runs a user action catches
// it, shows the message and ends that action.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace qx375
