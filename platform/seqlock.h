#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qx375 {

// A value one thread publishes and others read without either waiting on a
// lock: the AudioClock's seqlock for any plain struct. The writer never
// waits; a reader finds out when it read a publication half written. The
// value is held as words of release stores and acquire loads, for the reason
// AudioClock gives.
template <typename T>
class Seqlock {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    void publish(const T& value) noexcept {
        std::array<std::uint64_t, kWords> words{};
        std::memcpy(words.data(), &value, sizeof(T));
        const std::uint32_t seq = seq_.load(std::memory_order_relaxed);
        seq_.store(seq + 1, std::memory_order_relaxed);
        for (std::size_t i = 0; i < kWords; ++i) {
            words_[i].store(words[i], std::memory_order_release);
        }
        seq_.store(seq + 2, std::memory_order_release);
    }

    // Whether anything was ever published.
    bool published() const noexcept { return seq_.load(std::memory_order_acquire) != 0; }

    // One attempt: false, leaving `value` alone, when nothing was published
    // yet or a publication was under way. For a reader that must not wait on
    // the writer, as the audio thread must not on the GUI.
    bool try_read(T& value) const noexcept {
        const std::uint32_t before = seq_.load(std::memory_order_acquire);
        std::array<std::uint64_t, kWords> words;
        for (std::size_t i = 0; i < kWords; ++i) {
            words[i] = words_[i].load(std::memory_order_acquire);
        }
        if (before == 0 || (before & 1) != 0 || seq_.load(std::memory_order_relaxed) != before) {
            return false;
        }
        std::memcpy(static_cast<void*>(&value), words.data(), sizeof(T));
        return true;
    }

    // Retries until it reads a whole publication: for a reader whose writer
    // is the audio thread, which never stops half way. False when nothing
    // was published yet.
    bool read(T& value) const noexcept {
        while (!try_read(value)) {
            if (!published()) {
                return false;
            }
        }
        return true;
    }

private:
    static constexpr std::size_t kWords = (sizeof(T) + 7) / 8;

    std::atomic<std::uint32_t> seq_{0};
    std::array<std::atomic<std::uint64_t>, kWords> words_{};
};

} // namespace qx375
