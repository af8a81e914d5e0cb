#pragma once

// The render's blocks written on a thread of their own, so that encoding a
// file (FLAC, Ogg Vorbis) and writing many (the stems) go on while the next
// blocks are mixed.

#include "tools/render/targets.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qx375::render_files {

class BlockWriter {
public:
    // `write` runs on the writer's thread, a block at a time in the order
    // they were put, and returns false to take no more.
    explicit BlockWriter(std::function<bool(const Block&)> write);
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // Copies the block, its stems that sounded and its frames that go out,
    // for the thread, once one of the blocks waiting has been written; false
    // once a write has failed, and the block is then dropped.
    bool put(const Block& block);
    // Once every block put is written, false when a write failed.
    bool finish();

private:
    struct Slot {
        std::vector<float> mix;
        std::vector<float> stems;
        Block block;
    };
    // Each side sleeps until half the slots are there for it: waking the
    // other for every block would cost more than writing a WAV block does.
    static constexpr std::size_t kSlots = 8;
    static constexpr std::size_t kBatch = kSlots / 2;

    void run();

    std::function<bool(const Block&)> write_;
    std::array<Slot, kSlots> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t put_ = 0;     // blocks put
    std::size_t written_ = 0; // blocks written
    bool failed_ = false;
    bool finishing_ = false;
    std::thread thread_;
};

} // namespace qx375::render_files
