#include "util/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace qx375 {
namespace {

TEST(Utf8Check, AcceptsWellFormedText) {
    for (const char* text : {"", "Speed=160", "caf\xC3\xA9", "5 \xE2\x82\xAC", "\xF0\x9D\x84\x9E",
                             "\xF4\x8F\xBF\xBF"}) {
        EXPECT_TRUE(is_utf8(text)) << text;
    }
}

TEST(Utf8Check, RefusesMalformedText) {
    for (const char* text :
         {"caf\xE9", "\x92", "\xC3", "\xE2\x82", "\xC3(", "\xC0\xAF", "\xE0\x80\xAF",
          "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80"}) {
        EXPECT_FALSE(is_utf8(text)) << text;
    }
}

TEST(Windows1252, ReadsTheFrenchAndTheWholeHighRow) {
    EXPECT_EQ(windows1252_to_utf8("l\x92\x9C"
                                  "uvre \xE0 5 \x80"),
              "l\xE2\x80\x99\xC5\x93uvre \xC3\xA0 5 \xE2\x82\xAC");
    EXPECT_EQ(windows1252_to_utf8("\x8C\x9F\x85\x96"), "\xC5\x92\xC5\xB8\xE2\x80\xA6\xE2\x80\x93");
    EXPECT_EQ(windows1252_to_utf8("\x81\x9D\xA0\xFF"), "\xC2\x81\xC2\x9D\xC2\xA0\xC3\xBF");
}

TEST(Windows1252, EveryByteComesBackAsItWas) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    const std::string text = windows1252_to_utf8(all);
    EXPECT_TRUE(is_utf8(text));
    EXPECT_EQ(utf8_to_windows1252(text), all);
}

TEST(Windows1252, WhatTheCodePageCannotHoldBecomesAQuestionMark) {
    EXPECT_EQ(utf8_to_windows1252("\xE6\x97\xA5\xE6\x9C\xAC"), "??") << "CJK";
    EXPECT_EQ(utf8_to_windows1252("\xC2\x80"), "?") << "U+0080: its byte is the euro";
    EXPECT_EQ(utf8_to_windows1252("a\xFF"
                                  "b\xE2\x82"),
              "a?b??")
        << "malformed bytes";
    EXPECT_EQ(utf8_to_windows1252("\xF0\x9D\x84\x9E"), "?");
}

} // namespace
} // namespace qx375
