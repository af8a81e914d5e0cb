#pragma once

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
    static constexpr const char* kLostText =
        "The sound device was lost; playing on silently. Stop and start playback to try it again.";
    static constexpr const char* kNotOpenedText =
        "No sound device could be opened; playing silently. Start playback to try again.";

    DeviceWatch(AudioOutput& output, Notifier& notifier);

    // Before the sequencer starts: a card that went away is let go, and a
    // silent output tries the card again.
    void before_start();
    // The sequencer started or stopped; the card is watched while it plays.
    void follow(bool playing);
    // Tells the user when the output is silent for want of a card, once.
    void report();

private:
    void check();

    AudioOutput& output_;
    Notifier& notifier_;
    QTimer timer_;
    bool reported_ = false;
};

} // namespace qx375
