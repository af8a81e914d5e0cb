#include "tools/render/block_writer.h"

#include <algorithm>
#include <utility>

namespace qx375::render_files {

BlockWriter::BlockWriter(std::function<bool(const Block&)> write)
    : write_(std::move(write)), thread_([this] { run(); }) {}

BlockWriter::~BlockWriter() {
    finish();
}

bool BlockWriter::put(const Block& block) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failed_ || put_ - written_ < kSlots; });
    if (failed_) {
        return false;
    }
    Slot& slot = slots_[put_ % kSlots];
    lock.unlock();
    // Only the writer's own frames are copied, and only the stems that
    // sounded: the others are written as silence.
    const std::size_t size = block.mix.size();
    const std::size_t first = 2 * block.from;
    const std::size_t count = 2 * block.frames;
    slot.mix.resize(size);
    std::copy_n(block.mix.begin() + first, count, slot.mix.begin() + first);
    slot.stems.resize(block.stems.size());
    for (std::size_t k = 0; k * size < block.stems.size(); ++k) {
        if ((block.sounding >> k & 1u) != 0) {
            std::copy_n(block.stems.begin() + k * size + first, count,
                        slot.stems.begin() + k * size + first);
        }
    }
    slot.block = block;
    slot.block.mix = slot.mix;
    slot.block.stems = slot.stems;
    lock.lock();
    if (++put_ - written_ >= kBatch) {
        changed_.notify_all();
    }
    return true;
}

bool BlockWriter::finish() {
    std::unique_lock lock(mutex_);
    finishing_ = true;
    changed_.notify_all();
    lock.unlock();
    if (thread_.joinable()) {
        thread_.join();
    }
    return !failed_;
}

void BlockWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return put_ - written_ >= kBatch || finishing_; });
        while (written_ < put_) {
            const Slot& slot = slots_[written_ % kSlots];
            lock.unlock();
            const bool ok = write_(slot.block);
            lock.lock();
            ++written_;
            if (!ok) {
                failed_ = true;
                changed_.notify_all();
                return;
            }
            // A render waiting for room goes on once half the slots are free.
            if (put_ - written_ <= kSlots - kBatch) {
                changed_.notify_all();
            }
        }
        if (finishing_) {
            return;
        }
    }
}

} // namespace qx375::render_files
