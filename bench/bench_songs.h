#pragma once

// The songs the benchmarks play and render, written by the song model.

#include "bench_files.h"
#include "engine/patern.h"
#include "platform/audio_output.h"

#include <string>

namespace qx375::bench {

// Writes the song `fill` builds into a model of its own.
template <typename Fill>
void write_song(const std::string& path, Fill&& fill) {
    AudioOutput output(AudioBackendKind::manual);
    SilentNotifier silent;
    DirectSound sound(output, silent);
    matrice song(sound, silent);
    song.clear_song();
    fill(song);
    song.save_drm(path);
}

// `measures` measures of a 16-step groove of four sounds (closed and open
// hi-hat, snare, bass drum): at 255 the longest song there is, with no End
// marker; fewer are followed by the End marker.
inline void write_groove(const std::string& path, int measures) {
    write_song(path, [measures](matrice& song) {
        song.change_pattern(1, [](pattern_record& p) {
            p.size = 16;
            p.empty = 0;
            for (int s = 0; s < 16; s += 2) {
                p.steps[0][static_cast<std::size_t>(s)] = 1;
            }
            p.steps[0][14] = 0;
            p.steps[1][14] = 1;
            p.steps[2][4] = p.steps[2][12] = 1;
            p.steps[3][0] = p.steps[3][8] = p.steps[3][10] = 1;
        });
        for (int m = 1; m <= measures; ++m) {
            song.set_song_entry(m, 1);
        }
        if (measures < kMeasures - 1) {
            song.set_song_entry(measures + 1, kEndMarker);
        }
    });
}

inline void write_long_song(const std::string& path) {
    write_groove(path, kMeasures - 1);
}

// A dense song: 64 measures of 24 steps with all 16 sounds on every step,
// each sound with a volume, pan and pitch of its own, then the End marker.
inline void write_dense_song(const std::string& path) {
    write_song(path, [](matrice& song) {
        song.change_pattern(1, [](pattern_record& p) {
            p.size = 24;
            p.empty = 0;
            for (int k = 0; k < kSounds; ++k) {
                p.steps[static_cast<std::size_t>(k)].fill(1);
                p.volume[static_cast<std::size_t>(k)] = -100 * k;
                p.pan[static_cast<std::size_t>(k)] = (k % 2 == 0 ? -1 : 1) * 600 * k;
                p.frequency[static_cast<std::size_t>(k)] = 30000 + 2000 * k;
            }
        });
        for (int m = 1; m <= 64; ++m) {
            song.set_song_entry(m, 1);
        }
        song.set_song_entry(65, kEndMarker);
    });
}

} // namespace qx375::bench
