#include "app/offline_pass.h"

#include "app/radio_group.h"
#include "midi/midi_file.h"
#include "util/sound_slots.h"

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QSlider>

#include <algorithm>
#include <array>
#include <chrono>
#include <string_view>

namespace qx375 {

bool prepare_offline(OfflineMachine& m, const QString& folder, int speed) {
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::black);
    if (!picture.save(folder + "/go2.bmp") || !picture.save(folder + "/stop2.bmp")) {
        return false;
    }
    m.window.program_directory = folder.toStdString();
    m.song.open_sound(0);
    m.window.findChild<QSlider*>("TrackBarBPM")->setValue(speed);
    m.window.findChild<QCheckBox*>("CheckBoxLoop")->setChecked(false);
    return true;
}

OfflineLength offline_length(const matrice& song, std::optional<int> pattern, int repeat,
                             std::optional<int> max_measures) {
    if (pattern) {
        return {std::max(repeat, 0), false};
    }
    const auto& order = song.song_order();
    const auto end = std::find(order.begin() + 1, order.end(), kEndMarker);
    const int passes =
        std::min(static_cast<int>(end - order.begin()) - 1, max_measures.value_or(kMeasures - 1));
    return {std::max(passes, 0), end == order.end() && !max_measures};
}

OfflineLength choose_offline(OfflineMachine& m, std::optional<int> pattern, int repeat,
                             std::optional<int> max_measures) {
    const OfflineLength length = offline_length(m.song, pattern, repeat, max_measures);
    if (pattern) {
        m.window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(0);
        m.window.findChild<QLineEdit*>("EditNumPattern")->setText(QString::number(*pattern));
    } else {
        m.window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
        m.window.SpeedButtonBeginSongClick();
    }
    m.window.getpatern();
    m.window.RadioGroup2432Click();
    m.window.TrackBarBPMChange();
    return length;
}

bool play_offline(OfflineMachine& m, const OfflinePlay& play,
                  const std::function<bool(const OfflineBlock&)>& take) {
    SequencerTimer& timer = m.window.timer();
    Mixer& mixer = m.output.mixer();
    const std::uint32_t rate = m.output.rate();
    const auto now = mixed_time(mixer);
    timer.run_offline(now);
    auto* start = m.window.findChild<QCheckBox*>("CheckBoxBeat");
    start->setChecked(true);

    const std::uint64_t first = timer.next_tick_frame();
    std::optional<std::uint64_t> last;
    const std::uint64_t ring_out = 30ull * rate; // the longest tail
    constexpr std::size_t kBlock = OfflineMachine::kBlock;
    std::vector<float> mix(2 * kBlock);
    std::vector<float> stems(play.stems ? Mixer::kSounds * mix.size() : 0);
    midi::Performance* performance = play.performance;
    int passes = 0;
    if (play.progress) {
        play.progress(0, play.passes);
    }
    for (;;) {
        while (timer.isEnabled() && timer.due_frame() < mixer.frame() + kBlock) {
            // The step played belongs to the pattern before any change the
            // tick makes; it lasts the interval the tick leaves.
            const int size = m.song.get_size();
            timer.tick();
            if (performance != nullptr) {
                performance->step(timer.tick_frame(), timer.interval(), size);
            }
            if (m.song.get_step() == 0 && ++passes <= play.passes) {
                if (play.progress) {
                    play.progress(passes, play.passes);
                }
                if (passes == play.passes && timer.isEnabled()) {
                    start->setChecked(false);
                }
            }
            if (!timer.isEnabled()) {
                last =
                    timer.tick_frame() + static_cast<std::uint64_t>(timer.interval()) * rate / 1000;
            }
        }
        const std::uint64_t at = mixer.frame();
        OfflineBlock block;
        block.mix = mix;
        if (play.stems) {
            mixer.render_stems(mix, stems, now());
            block.stems = stems;
            block.sounding = mixer.stems_sounding();
        } else {
            m.output.pull_mix(mix, now());
        }
        // The notes MIDI out would send for this block, on their frames.
        for (const StartedNote& started :
             performance != nullptr ? mixer.started_notes() : std::span<const StartedNote>()) {
            const int sound = play.map.sound_of(started.note);
            if (started.size == 0 && started.velocity != 0 && sound >= 0) {
                performance->hit(at + started.offset, sound, started.note, started.velocity);
            }
        }
        const std::uint64_t begin = std::max(at, first);
        std::uint64_t end = at + kBlock;
        if (last && !play.tail) {
            end = std::min(end, *last);
        }
        if (end > begin) {
            block.from = begin - at;
            block.frames = end - begin;
            if (!take(block)) {
                return false;
            }
        }
        if (last && (!play.tail || mixer.sounding_voices() == 0 || end >= *last + ring_out) &&
            end >= *last) {
            return true;
        }
    }
}

std::vector<std::uint8_t> midi_file_of(const midi::Performance& performance,
                                       const std::string& title) {
    std::array<std::string_view, kSounds> captions;
    for (int k = 0; k < kSounds; ++k) {
        captions[static_cast<std::size_t>(k)] = kSoundSlots[static_cast<std::size_t>(k)].caption;
    }
    midi::MidiFile file = performance.file(captions);
    file.title = title;
    return midi::standard_midi_file(file);
}

} // namespace qx375
