#pragma once

#include "platform/spsc_ring.h"

#include <atomic>
#include <cstdint>
#include <span>

namespace qx375 {

// A copy of the mix, before the master volume and the output's clipping, for
// whoever records it (the song export, timing checks). The audio thread hands
// every block over while a capture runs and never waits: when the reader falls
// behind, the frames that do not fit are dropped and counted.
class CaptureTap {
public:
    explicit CaptureTap(std::size_t capacity_frames) : ring_(capacity_frames * 2) {}

    // Reader side: begins a capture with the next block; whatever an earlier
    // capture left unread is thrown away.
    void start() {
        state_.store(idle);
        // A block the audio thread was writing when the state changed must land
        // before the discard, or it would pass for the start of the capture.
        while (writing_.load()) {
        }
        ring_.discard();
        overrun_frames_.store(0, std::memory_order_relaxed);
        state_.store(starting, std::memory_order_release);
    }

    // Reader side: ends the capture. Once it returns no more frames arrive, so
    // whatever the reader reads next is the whole rest of the capture.
    void stop() {
        state_.store(idle);
        while (writing_.load()) {
        }
    }

    // True once the audio thread has written the first block of this capture;
    // first_frame() is then the output frame of the first captured frame.
    bool started() const { return state_.load(std::memory_order_acquire) == running; }
    std::uint64_t first_frame() const { return first_frame_.load(std::memory_order_acquire); }
    std::uint64_t overrun_frames() const { return overrun_frames_.load(std::memory_order_relaxed); }

    // Reads interleaved stereo frames; returns the number of frames read.
    std::size_t read(std::span<float> stereo) {
        return ring_.read(stereo.first(stereo.size() & ~std::size_t{1})) / 2;
    }

    // Audio thread.
    void capture(std::span<const float> stereo, std::uint64_t frame) {
        writing_.store(true);
        write_block(stereo, frame);
        writing_.store(false);
    }

private:
    static constexpr int idle = 0;
    static constexpr int starting = 1;
    static constexpr int running = 2;

    void write_block(std::span<const float> stereo, std::uint64_t frame) {
        int state = state_.load();
        if (state == idle) {
            return;
        }
        if (state == starting) {
            first_frame_.store(frame, std::memory_order_release);
            if (!state_.compare_exchange_strong(state, running)) {
                return;
            }
        }
        const std::size_t room = ring_.free_space() & ~std::size_t{1};
        const std::size_t written = ring_.write(stereo.first(std::min(room, stereo.size())));
        if (written < stereo.size()) {
            overrun_frames_.fetch_add((stereo.size() - written) / 2, std::memory_order_relaxed);
        }
    }

    SpscRing<float> ring_;
    std::atomic<bool> writing_{false};
    std::atomic<int> state_{idle};
    std::atomic<std::uint64_t> first_frame_{0};
    std::atomic<std::uint64_t> overrun_frames_{0};
};

} // namespace qx375
