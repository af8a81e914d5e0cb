#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <span>
#include <vector>

namespace qx375 {

// A lock-free ring between exactly one producer thread and one consumer thread.
// The storage is allocated once, by the constructor; push and pop never
// allocate, lock or wait, so the audio thread can use either end.
template <typename T>
class SpscRing {
public:
    explicit SpscRing(std::size_t min_capacity)
        : slots_(std::bit_ceil(min_capacity < 2 ? std::size_t{2} : min_capacity)),
          mask_(slots_.size() - 1) {}

    std::size_t capacity() const { return slots_.size(); }

    // Producer side.
    bool push(const T& item) { return write(std::span<const T>(&item, 1)) == 1; }

    // Writes as many items as fit; returns how many.
    std::size_t write(std::span<const T> items) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        const std::size_t n = std::min(items.size(), slots_.size() - (head - tail));
        for (std::size_t i = 0; i < n; ++i) {
            slots_[(head + i) & mask_] = items[i];
        }
        head_.store(head + n, std::memory_order_release);
        return n;
    }

    std::size_t free_space() const {
        return slots_.size() -
               (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
    }

    // Consumer side.
    bool pop(T& item) { return read(std::span<T>(&item, 1)) == 1; }

    // Reads up to items.size() items; returns how many.
    std::size_t read(std::span<T> items) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t head = head_.load(std::memory_order_acquire);
        const std::size_t n = std::min(items.size(), head - tail);
        for (std::size_t i = 0; i < n; ++i) {
            items[i] = slots_[(tail + i) & mask_];
        }
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

    // Throws away everything written so far.
    void discard() {
        tail_.store(head_.load(std::memory_order_acquire), std::memory_order_release);
    }

    std::size_t size() const {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire);
    }

private:
    std::vector<T> slots_;
    std::size_t mask_;
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

} // namespace qx375
