#pragma once

#include <cstdint>
#include <span>

namespace qx375::midi {

// One complete message: its status byte and the data bytes it takes, unused
// ones 0. size counts the status byte: 1 to 3.
struct Message {
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::uint8_t size = 0;
};

// Note On with velocity 0 is a Note Off by convention: these two tell them
// apart for the callers, who get such a Note On as it came.
constexpr bool is_note_on(const Message& m) {
    return (m.status & 0xF0) == 0x90 && m.data2 > 0;
}
constexpr bool is_note_off(const Message& m) {
    return (m.status & 0xF0) == 0x80 || ((m.status & 0xF0) == 0x90 && m.data2 == 0);
}
// 0..15 for a channel message, -1 for a system message.
constexpr int channel(const Message& m) {
    return m.status >= 0x80 && m.status < 0xF0 ? m.status & 0x0F : -1;
}

// Turns a stream of incoming MIDI bytes, cut anywhere, into complete channel
// and system messages. Any byte sequence is taken: data bytes with no status
// to belong to, and messages cut short by another status, are dropped.
// Running status is followed for channel messages; a system common message
// ends it. Real-time bytes (0xF8..0xFF) come out at once wherever they fall,
// even inside another message, which carries on around them. SysEx (0xF0 up
// to 0xF7 or any other status) is skipped, however long, and not delivered.
// It allocates nothing and never throws, so the audio thread keeps one
// per input and feeds it each event's bytes as they come.
class Parser {
public:
    // Calls on_message(const Message&) for each message the bytes complete.
    // on_message must not throw.
    template <typename F>
    void feed(std::span<const std::uint8_t> bytes, F&& on_message) noexcept {
        Message message;
        for (std::uint8_t byte : bytes) {
            if (push(byte, message)) {
                on_message(message);
            }
        }
    }

    // True when this byte completes a message, which is then in `message`.
    bool push(std::uint8_t byte, Message& message) noexcept;

    // Forgets the running status and any message or SysEx in progress.
    void reset() noexcept { *this = Parser(); }

private:
    std::uint8_t status_ = 0; // of the message in progress; 0 for none
    std::uint8_t data_ = 0;   // its first data byte, when it takes two
    std::uint8_t received_ = 0;
    std::uint8_t expected_ = 0;
    bool in_sysex_ = false;
};

} // namespace qx375::midi
