#pragma once

#include "app/texts.h"
#include "midi/note_map.h"
#include "platform/audio_output.h"

#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

class QAction;

namespace qx375 {

class IniFile;

// Which incoming note plays which sound, and how the user teaches it: they
// choose the learn item, play a note on their pad or kit, then click the
// button of the sound that note should play. `say` tells the user what it
// waits for (nothing once done). The map is kept in qx375.ini, one key per
// sound.
class MidiLearn {
public:
    static constexpr std::chrono::milliseconds kPoll{10};

    // `save` writes the map where the settings live, once a note is learned.
    MidiLearn(AudioOutput& output, std::function<void(const QString&)> say, const Texts& texts,
              std::function<void(const MidiLearn&)> save);

    const midi::NoteMap& map() const { return map_; }
    // Takes the keys that hold a valid list of notes, and plays by the map.
    void read(const IniFile& ini);
    void write(IniFile& ini) const;

    // The learn item: checked while learning; unchecking gives up.
    void follow(QAction& item);
    void start();
    void cancel();
    bool learning() const { return state_ != State::idle; }
    // A sound's button was clicked: true when learning took the click.
    bool sound_chosen(int sound);

private:
    enum class State { idle, waiting_for_note, waiting_for_sound };

    void poll();
    void finish();

    AudioOutput& output_;
    std::function<void(const QString&)> say_;
    const Texts& texts_;
    std::function<void(const MidiLearn&)> save_;
    midi::NoteMap map_ = midi::NoteMap::general_midi();
    QAction* item_ = nullptr;
    QTimer poll_;
    State state_ = State::idle;
    int note_ = -1;
};

} // namespace qx375
