#include "midi/velocity.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qx375::midi {
namespace {

TEST(VelocityGain, FollowsTheSquareCurveAndClamps) {
    const auto decibels = [](int v) { return 20.0 * std::log10(velocity_gain(v)); };
    EXPECT_EQ(velocity_gain(127), 1.0f);
    EXPECT_NEAR(decibels(64), -11.91, 0.01);
    EXPECT_NEAR(decibels(1), -84.15, 0.01);
    EXPECT_EQ(velocity_gain(0), 0.0f);
    EXPECT_EQ(velocity_gain(-2147483647 - 1), 0.0f);
    EXPECT_EQ(velocity_gain(2147483647), 1.0f);
    EXPECT_EQ(velocity_gains()[64], velocity_gain(64));
}

} // namespace
} // namespace qx375::midi
