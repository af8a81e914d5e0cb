#pragma once

// Standard MIDI Files read back for the tests, by a reader of their own:
// the chunks, each track's events with running status, and the tempo map.

#include <cstdint>
#include <string>
#include <vector>

namespace qx375::test {

struct SmfEvent {
    std::uint32_t tick = 0;
    std::uint8_t status = 0; // 0xFF for a meta event
    std::uint8_t type = 0;   // of a meta event
    std::vector<std::uint8_t> data;
};

struct SmfTrack {
    std::vector<SmfEvent> events;
    // The track's name and its notes: status, note, velocity at a tick.
    std::string name() const {
        for (const SmfEvent& e : events) {
            if (e.status == 0xFF && e.type == 0x03) {
                return {e.data.begin(), e.data.end()};
            }
        }
        return {};
    }
    std::vector<SmfEvent> channel_messages() const {
        std::vector<SmfEvent> out;
        for (const SmfEvent& e : events) {
            if (e.status < 0xF0) {
                out.push_back(e);
            }
        }
        return out;
    }
};

struct Smf {
    bool valid = false;
    int format = -1;
    int division = 0;
    std::vector<SmfTrack> tracks;

    // The time of a tick through the tempo changes of the first track
    // (120 BPM before any).
    double seconds_at(std::uint32_t tick) const {
        double seconds = 0;
        std::uint32_t from = 0;
        double per_tick = 0.5 / division;
        if (!tracks.empty()) {
            for (const SmfEvent& e : tracks[0].events) {
                if (e.status != 0xFF || e.type != 0x51 || e.data.size() != 3 || e.tick > tick) {
                    continue;
                }
                seconds += (e.tick - from) * per_tick;
                from = e.tick;
                per_tick = (e.data[0] << 16 | e.data[1] << 8 | e.data[2]) / 1e6 / division;
            }
        }
        return seconds + (tick - from) * per_tick;
    }
};

inline Smf read_smf(const std::vector<std::uint8_t>& bytes) {
    Smf smf;
    std::size_t at = 0;
    const auto need = [&](std::size_t n) { return at + n <= bytes.size(); };
    const auto be = [&](int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            v = v << 8 | bytes[at++];
        }
        return v;
    };
    if (!need(14) || std::string(bytes.begin(), bytes.begin() + 4) != "MThd") {
        return smf;
    }
    at = 4;
    if (be(4) != 6) {
        return smf;
    }
    smf.format = static_cast<int>(be(2));
    const std::uint32_t count = be(2);
    smf.division = static_cast<int>(be(2));
    for (std::uint32_t t = 0; t < count; ++t) {
        if (!need(8) || std::string(bytes.begin() + at, bytes.begin() + at + 4) != "MTrk") {
            return smf;
        }
        at += 4;
        const std::uint32_t length = be(4);
        if (!need(length)) {
            return smf;
        }
        const std::size_t end = at + length;
        const auto vlq = [&] {
            std::uint32_t v = 0;
            while (at < end) {
                const std::uint8_t b = bytes[at++];
                v = v << 7 | (b & 0x7F);
                if ((b & 0x80) == 0) {
                    break;
                }
            }
            return v;
        };
        SmfTrack track;
        std::uint32_t tick = 0;
        std::uint8_t running = 0;
        bool ended = false;
        while (at < end && !ended) {
            tick += vlq();
            SmfEvent e;
            e.tick = tick;
            if (at >= end) {
                return smf;
            }
            if (bytes[at] & 0x80) {
                e.status = bytes[at++];
            } else if (running != 0) {
                e.status = running;
            } else {
                return smf;
            }
            if (e.status == 0xFF) {
                if (at >= end) {
                    return smf;
                }
                e.type = bytes[at++];
                const std::uint32_t size = vlq();
                if (at + size > end) {
                    return smf;
                }
                e.data.assign(bytes.begin() + at, bytes.begin() + at + size);
                at += size;
                ended = e.type == 0x2F;
            } else if (e.status < 0xF0) {
                running = e.status;
                const std::size_t size = (e.status & 0xE0) == 0xC0 ? 1 : 2;
                if (at + size > end) {
                    return smf;
                }
                e.data.assign(bytes.begin() + at, bytes.begin() + at + size);
                at += size;
            } else {
                return smf; // no SysEx in the files the program writes
            }
            track.events.push_back(e);
        }
        if (!ended || at != end) {
            return smf;
        }
        smf.tracks.push_back(track);
    }
    smf.valid = at == bytes.size();
    return smf;
}

} // namespace qx375::test
