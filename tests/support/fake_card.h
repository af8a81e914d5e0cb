#pragma once

// A sound card under the test's control: it renders only the blocks the test
// plays on it, and goes away when the test says so.

#include "platform/audio_output.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace qx375::test {

class FakeCard;

// The cards an opener hands out, and what became of them.
struct CardShop {
    bool available = true; // whether the next opening finds a card
    int asked = 0;         // openings tried
    int released = 0;      // cards let go
    FakeCard* current = nullptr;
    std::function<void()> on_start; // runs when a card starts playing
};

class FakeCard : public AudioBackend {
public:
    using Clock = std::chrono::steady_clock;

    FakeCard(Mixer& mixer, std::uint32_t block_frames, CardShop& shop)
        : mixer_(mixer), block_(2 * block_frames), shop_(shop), rate_(mixer.rate()) {}

    ~FakeCard() override {
        ++shop_.released;
        if (shop_.current == this) {
            shop_.current = nullptr;
        }
    }

    AudioBackendKind kind() const override { return AudioBackendKind::sdl; }
    std::uint32_t rate() const override { return rate_; }
    void start() override {
        started = true;
        if (shop_.on_start) {
            shop_.on_start();
        }
    }
    std::uint32_t block_frames() const override {
        return static_cast<std::uint32_t>(block_.size() / 2);
    }
    bool lost() const override { return gone; }
    bool next_midi_event(qx375::MidiEvent& event) override {
        if (midi_in.empty()) {
            return false;
        }
        event = midi_in.front();
        midi_in.pop_front();
        return true;
    }

    // Renders one block as the card would play it from `at`.
    void play(Clock::time_point at) { mixer_.render(block_, at); }

    bool started = false;
    bool gone = false;
    std::deque<qx375::MidiEvent> midi_in; // what the window reads as come in

private:
    Mixer& mixer_;
    std::vector<float> block_;
    CardShop& shop_;
    std::uint32_t rate_;
};

inline CardOpener card_opener(CardShop& shop) {
    return [&shop](Mixer& mixer, std::uint32_t block_frames) -> std::unique_ptr<AudioBackend> {
        ++shop.asked;
        if (!shop.available) {
            return nullptr;
        }
        auto card = std::make_unique<FakeCard>(mixer, block_frames, shop);
        shop.current = card.get();
        return card;
    };
}

} // namespace qx375::test
