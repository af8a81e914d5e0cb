#include "app/midi_learn.h"

#include "midi/parser.h"
#include "util/ini_file.h"

#include <QAction>
#include <QWidget>

namespace qx375 {
namespace {

constexpr const char* kSection = "midi";

} // namespace

MidiLearn::MidiLearn(AudioOutput& output, std::function<void(const QString&)> say,
                     const Texts& texts, std::function<void(const MidiLearn&)> save)
    : output_(output), say_(std::move(say)), texts_(texts), save_(std::move(save)) {
    poll_.setInterval(kPoll);
    QObject::connect(&poll_, &QTimer::timeout, [this] { poll(); });
    output_.set_note_map(map_);
}

void MidiLearn::read(const IniFile& ini) {
    for (int sound = 0; sound < midi::kSounds; ++sound) {
        const std::string key = midi::NoteMap::key(sound);
        const std::string text = ini.read_string(kSection, key, map_.notes_text(sound));
        map_.set_notes_text(sound, text);
    }
    output_.set_note_map(map_);
}

void MidiLearn::write(IniFile& ini) const {
    for (int sound = 0; sound < midi::kSounds; ++sound) {
        ini.write(kSection, midi::NoteMap::key(sound), map_.notes_text(sound));
    }
}

void MidiLearn::follow(QAction& item) {
    item_ = &item;
    item.setCheckable(true);
    QObject::connect(&item, &QAction::triggered, [this](bool checked) {
        if (checked) {
            start();
        } else {
            cancel();
        }
    });
}

void MidiLearn::start() {
    // Notes played before the user asked are not the one they mean.
    MidiEvent old;
    while (output_.next_midi_event(old)) {
    }
    state_ = State::waiting_for_note;
    note_ = -1;
    say_(QString::fromStdString(texts_[Msg::learn_note]));
    poll_.start();
}

void MidiLearn::cancel() {
    if (learning()) {
        finish();
    }
}

bool MidiLearn::sound_chosen(int sound) {
    if (state_ != State::waiting_for_sound) {
        return false;
    }
    map_.learn(note_, sound);
    output_.set_note_map(map_);
    finish();
    if (save_) {
        save_(*this);
    }
    return true;
}

// The latest note wins: a drummer tries a pad twice before choosing.
void MidiLearn::poll() {
    MidiEvent event;
    while (output_.next_midi_event(event)) {
        const midi::Message message{event.bytes[0], event.bytes[1], event.bytes[2], event.size};
        if (midi::is_note_on(message)) {
            note_ = message.data1;
            state_ = State::waiting_for_sound;
            say_(QString::fromStdString(texts_.with(Msg::learn_sound, std::to_string(note_))));
        }
    }
}

void MidiLearn::finish() {
    poll_.stop();
    state_ = State::idle;
    say_({});
    if (item_ != nullptr) {
        item_->setChecked(false);
    }
}

} // namespace qx375
