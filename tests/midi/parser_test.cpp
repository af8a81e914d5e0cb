#include "midi/parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace qx375::midi {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Each message as its bytes in hex, "90 24 64", for readable failures.
std::string text(const Message& m) {
    const std::uint8_t bytes[] = {m.status, m.data1, m.data2};
    std::string out;
    for (int i = 0; i < m.size; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += hex;
    }
    return out;
}

std::vector<std::string> parse(Parser& parser, const std::vector<std::uint8_t>& bytes) {
    std::vector<std::string> messages;
    parser.feed(bytes, [&](const Message& m) { messages.push_back(text(m)); });
    return messages;
}

std::vector<std::string> parse(const std::vector<std::uint8_t>& bytes) {
    Parser parser;
    return parse(parser, bytes);
}

TEST(Parser, ChannelMessagesRunOnUntilASystemOne) {
    EXPECT_THAT(parse({0x90, 0x24, 0x64, 0x26, 0x50, 0x24, 0x00, 0xC0, 0x05, 0x06}),
                ElementsAre("90 24 64", "90 26 50", "90 24 00", "C0 05", "C0 06"));
    EXPECT_THAT(parse({0x90, 0x24, 0x64, 0xF6, 0x26, 0x50, 0xF3, 0x01, 0x02}),
                ElementsAre("90 24 64", "F6", "F3 01"));
    EXPECT_THAT(parse({0x90, 0x24, 0x64, 0xF5, 0x26, 0x50}), ElementsAre("90 24 64"));
}

TEST(Parser, RealTimeBytesComeOutAtOnceWithoutBreakingAMessage) {
    EXPECT_THAT(parse({0x90, 0xF8, 0x24, 0xFE, 0x64, 0x26, 0xFA, 0x50}),
                ElementsAre("F8", "FE", "90 24 64", "FA", "90 26 50"));
}

TEST(Parser, SkipsSysExOfAnyLengthUntilAStatusByte) {
    std::vector<std::uint8_t> bytes = {0x90, 0x24, 0x64, 0xF0};
    for (int i = 0; i < 100000; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i & 0x7F));
    }
    bytes.insert(bytes.begin() + 50000, 0xF8);
    bytes.insert(bytes.end(), {0xF7, 0x26, 0x50, 0x99, 0x26, 0x50});
    EXPECT_THAT(parse(bytes), ElementsAre("90 24 64", "F8", "99 26 50"))
        << "the SysEx ends running status; the clock inside it still comes out";
    EXPECT_THAT(parse({0xF0, 0x7E, 0x01, 0x90, 0x24, 0x64, 0x26, 0x50}),
                ElementsAre("90 24 64", "90 26 50"));
}

TEST(Parser, DropsStrayDataAndMessagesCutShortAcrossBuffersUntilReset) {
    Parser parser;
    EXPECT_THAT(parse(parser, {0x24, 0x64, 0x90, 0x24, 0x80, 0x26}), IsEmpty());
    EXPECT_THAT(parse(parser, {0x40, 0x28}), ElementsAre("80 26 40"));
    EXPECT_THAT(parse(parser, {0x40}), ElementsAre("80 28 40"));
    parser.reset();
    EXPECT_THAT(parse(parser, {0x26, 0x40}), IsEmpty());
}

TEST(Parser, NoteOnWithoutVelocityIsANoteOff) {
    const Message silent{0x93, 0x24, 0x00, 3};
    EXPECT_TRUE(is_note_off(silent) && !is_note_on(silent));
    EXPECT_TRUE(is_note_on(Message{0x93, 0x24, 0x01, 3}));
    EXPECT_EQ(channel(silent), 3);
    EXPECT_EQ(channel(Message{0xF8, 0, 0, 1}), -1);
}

// Any bytes, cut anywhere, only ever give well-formed messages.
TEST(Parser, RandomBytesGiveOnlyWellFormedMessages) {
    std::mt19937 random(375);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> chunk(0, 16);
    Parser parser;
    int sizes[4] = {};
    for (int fed = 0; fed < 200000;) {
        std::vector<std::uint8_t> bytes(chunk(random));
        for (std::uint8_t& b : bytes) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        fed += static_cast<int>(bytes.size());
        parser.feed(bytes, [&](const Message& m) {
            ASSERT_TRUE(m.size >= 1 && m.size <= 3) << int{m.size};
            ++sizes[m.size];
            EXPECT_TRUE(m.status >= 0x80 && m.status != 0xF0 && m.status != 0xF7) << text(m);
            EXPECT_TRUE(m.data1 < 0x80 && m.data2 < 0x80) << text(m);
            const int kind = m.status & 0xF0;
            const int size = m.status >= 0xF8 || m.status == 0xF6 ? 1
                             : kind == 0xC0 || kind == 0xD0 || m.status == 0xF1 || m.status == 0xF3
                                 ? 2
                                 : 3;
            EXPECT_EQ(m.size, size) << text(m);
            EXPECT_TRUE((m.size > 2 || m.data2 == 0) && (m.size > 1 || m.data1 == 0)) << text(m);
        });
    }
    EXPECT_GT(sizes[1], 0);
    EXPECT_GT(sizes[2], 0);
    EXPECT_GT(sizes[3], 0);
}

} // namespace
} // namespace qx375::midi
