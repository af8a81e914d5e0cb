#pragma once

#include <chrono>
#include <thread>

namespace qx375::test {

// Whether `done` came true within `timeout`, asked every millisecond.
template <typename Done>
bool wait_for(std::chrono::milliseconds timeout, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace qx375::test
