#pragma once

#include "app/texts.h"
#include "platform/audio_output.h"
#include "platform/notifier.h"

#include <QTimer>

#include <chrono>

namespace qx375 {

// Looks after the sound card for the window. While the sequencer plays, a
// card that goes away is let go and the beat goes on in silence; each start
// of playback tries the card again. The user hears once that the output is
// silent, and again only after the card has played in between.
class DeviceWatch {
public:
    static constexpr std::chrono::milliseconds kInterval{250};

    DeviceWatch(AudioOutput& output, Notifier& notifier, const Texts& texts);

    // Before the sequencer starts: a card that went away is let go, and a
    // silent output tries the card again.
    void before_start();
    // The sequencer started or stopped; the card is watched while it plays.
    void follow(bool playing);
    // Tells the user when the output is silent for want of a card, once.
    void report();
    // Which output plays, at what period and latency, how it holds up, and
    // whether it has MIDI.
    std::string describe() const;

private:
    void check();

    AudioOutput& output_;
    Notifier& notifier_;
    const Texts& texts_;
    QTimer timer_;
    bool reported_ = false;
};

} // namespace qx375
