#include "util/text.h"

#include <gtest/gtest.h>

namespace qx375 {
namespace {

TEST(ParseInteger, ReadsWhatTheNumberBoxesAccept) {
    EXPECT_EQ(parse_integer("125"), 125);
    EXPECT_EQ(parse_integer("  7"), 7);
    EXPECT_EQ(parse_integer("-5"), -5);
    EXPECT_EQ(parse_integer("+3"), 3);
    EXPECT_EQ(parse_integer("0010"), 10) << "leading zeros are decimal, not octal";
    EXPECT_EQ(parse_integer("-2147483648"), INT32_MIN);
    EXPECT_EQ(parse_integer("2147483647"), INT32_MAX);
}

TEST(ParseInteger, RefusesAnythingElse) {
    for (const char* text : {"", " ", "-", "+", "$", "End", "nd5", "12 ", "1.5", "- 5", "--5",
                             "2147483648", "-2147483649", "99999999999999999999"}) {
        EXPECT_FALSE(parse_integer(text).has_value()) << text;
    }
}

TEST(ParseInteger, ReadsDecimalOnly) {
    for (const char* text : {"$A", "$FF", "0x1F", "0x1f", "0X10", "-$5", "1e3", "0b1", "1A"}) {
        EXPECT_FALSE(parse_integer(text).has_value()) << text;
    }
}

} // namespace
} // namespace qx375
