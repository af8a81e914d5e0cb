#pragma once

// The song played without a sound card, faster than real time: the program's
// own objects over an output that renders only when it is pulled, and
// prompts nobody answers. The same ticks, the same interval rules and the
// same mix as playback; only the clock is the pass's own, as many seconds as
// frames were mixed. The renderer and the window's MIDI export play through
// it.

#include "app/program.h"
#include "app/unattended_prompts.h"
#include "midi/note_map.h"
#include "midi/performance.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qx375 {

// What the pass gives the program, built before it.
struct OfflineSeams {
    // Nobody records a pass's mix as it is made: it goes to its files.
    explicit OfflineSeams(std::uint32_t rate)
        : output(AudioBackendKind::manual, kBlock, rate, kBlock) {}

    static constexpr std::uint32_t kBlock = 4096;

    UnattendedPrompts console;
    AudioOutput output;
};

// The program's objects, as main() builds them, over those.
struct OfflineMachine : OfflineSeams, Program {
    explicit OfflineMachine(std::uint32_t rate) : OfflineSeams(rate), Program(output, console) {}
};

// The clock of a pass: as many seconds past a fixed origin as `mixer` has
// mixed frames, so that the ticks and the sounds meet on the same frames
// however fast the pass runs.
inline auto mixed_time(const Mixer& mixer) {
    return [&mixer] {
        const auto origin = std::chrono::steady_clock::time_point(std::chrono::hours(1));
        return origin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(static_cast<double>(mixer.frame()) /
                                                          mixer.rate()));
    };
}

// Before a song is loaded: the start and stop pictures drawn into `folder`,
// as the window shows none, the tempo slider at `speed` and the loop off.
// False when the pictures cannot be written.
bool prepare_offline(OfflineMachine& m, const QString& folder, int speed);

// How many patterns a pass plays, and whether the song has no End marker.
struct OfflineLength {
    int passes = 0; // 0: the song ends before its first measure
    bool endless = false;
};

// The length of a pass of pattern `pattern` played `repeat` times, or of the
// song from its first measure to its End marker and at most `max_measures`
// measures.
OfflineLength offline_length(const matrice& song, std::optional<int> pattern, int repeat,
                             std::optional<int> max_measures);

// Once the song is loaded: the window set to play that pass.
OfflineLength choose_offline(OfflineMachine& m, std::optional<int> pattern, int repeat,
                             std::optional<int> max_measures);

// One block of a pass: the mix, and the stems when the pass makes them
// (OfflineMachine's Mixer::kSounds blocks of the mix's size, see
// Mixer::render_stems), with which of its frames belong to the take.
struct OfflineBlock {
    std::span<const float> mix;
    std::span<const float> stems;
    std::uint16_t sounding = 0; // the stems that sounded, bit k for sound k
    std::size_t from = 0;
    std::size_t frames = 0;
};

struct OfflinePlay {
    int passes = 1;
    bool tail = true;   // the last sounds ring out, for at most 30 s
    bool stems = false; // the blocks carry each sound's part
    // The steps and the hits, each hit as the sound its note stands for in
    // `map`; none when null.
    midi::Performance* performance = nullptr;
    midi::NoteMap map = midi::NoteMap::general_midi();
    // How many of the passes have started; may be empty.
    std::function<void(int done, int passes)> progress;
};

// Plays from the first step to the end of the last pass (and its ring-out),
// handing every block to `take`, which returns false to stop. False when
// `take` stopped it.
bool play_offline(OfflineMachine& m, const OfflinePlay& play,
                  const std::function<bool(const OfflineBlock&)>& take);

// The Standard MIDI File of a performance: one track a sound, named by its
// caption, and the song's name as its title.
std::vector<std::uint8_t> midi_file_of(const midi::Performance& performance,
                                       const std::string& title);

} // namespace qx375
