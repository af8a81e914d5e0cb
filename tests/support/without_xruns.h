#pragma once

#include <gtest/gtest.h>

#include <functional>

namespace qx375::test {

// A server without real-time scheduling drops periods on a busy machine, and
// what was mixed, sent or published in them: an exchange is tried again, up
// to four times, until the server dropped none while it ran (and `on_time`
// holds). `rig.xruns()` counts the periods dropped so far.
template <typename Rig, typename Exchange>
void without_xruns(
    const Rig& rig, Exchange&& exchange,
    const std::function<bool()>& on_time = [] { return true; }) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int xruns = rig.xruns();
        exchange();
        if (::testing::Test::HasFatalFailure() || (rig.xruns() == xruns && on_time())) {
            return;
        }
    }
}

} // namespace qx375::test
