#include "midi/parser.h"

namespace qx375::midi {
namespace {

// Data bytes after a status byte; -1 for the ones that are not a message.
int data_bytes(std::uint8_t status) {
    if (status < 0xF0) {
        const int kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
    }
    switch (status) {
    case 0xF1: // time code quarter frame
    case 0xF3: // song select
        return 1;
    case 0xF2: // song position
        return 2;
    case 0xF6: // tune request
        return 0;
    default: // 0xF4 and 0xF5 are undefined; 0xF7 only ends a SysEx
        return -1;
    }
}

} // namespace

bool Parser::push(std::uint8_t byte, Message& message) noexcept {
    if (byte >= 0xF8) {
        message = Message{byte, 0, 0, 1};
        return true;
    }
    if (byte >= 0x80) {
        // Whatever was in progress ends here, complete or not.
        in_sysex_ = byte == 0xF0;
        status_ = 0;
        received_ = 0;
        const int expected = data_bytes(byte);
        if (expected == 0) {
            message = Message{byte, 0, 0, 1};
            return true;
        }
        if (expected > 0) {
            status_ = byte;
            expected_ = static_cast<std::uint8_t>(expected);
        }
        return false;
    }
    if (in_sysex_ || status_ == 0) {
        return false;
    }
    if (++received_ < expected_) {
        data_ = byte;
        return false;
    }
    message = expected_ == 1 ? Message{status_, byte, 0, 2} : Message{status_, data_, byte, 3};
    received_ = 0;
    // Only channel messages run on: more data bytes after a system common one
    // belong to nothing.
    if (status_ >= 0xF0) {
        status_ = 0;
    }
    return true;
}

} // namespace qx375::midi
