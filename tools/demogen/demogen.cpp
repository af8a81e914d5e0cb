// Writes the demo song that the program opens at its first start: a few
// patterns of different sizes, a song with an End marker, and sounds with
// volume, pan and pitch of their own. It is made by the program's own song
// model and saved by its own song file writer.
//   demogen OUT.drm
#include "engine/patern.h"
#include "platform/audio_output.h"

#include <cstdio>
#include <initializer_list>

using namespace qx375;

namespace {

class Silent : public Notifier {
public:
    void show_message(std::string_view) override {}
};

enum Sound { closed_hat, open_hat, snare, kick, high_tom, mid_tom, low_tom, rim, crash, ride };

// Puts a pattern at a measure and makes it the one the operations act on.
void edit(matrice& song, int measure, int pattern, int size) {
    song.go_to_measure(measure);
    song.set_song_entry(pattern);
    song.set_size(size);
    song.mark_used();
}

void hits(matrice& song, int sound, std::initializer_list<int> steps) {
    for (int step : steps) {
        song.set_cell(sound, step, 1);
    }
}

// The mix every pattern starts from: a kick and snare up front, hats a
// little back and to the right, toms spread from left to right.
void mix(matrice& song) {
    song.set_volume(closed_hat, -600);
    song.set_volume(open_hat, -900);
    song.set_pan(closed_hat, 1500);
    song.set_pan(open_hat, 1500);
    song.set_pan(high_tom, -3000);
    song.set_pan(low_tom, 3000);
    song.set_pan(ride, -2000);
    song.set_volume(ride, -800);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: demogen OUT.drm\n");
        return 2;
    }
    AudioOutput output(AudioBackendKind::manual);
    Silent silent;
    DirectSound sound(output, silent);
    matrice song(sound, silent);
    song.clear_song();

    // 1: the groove, sixteen steps.
    edit(song, 1, 1, 16);
    mix(song);
    hits(song, kick, {0, 8, 10});
    hits(song, snare, {4, 12});
    hits(song, closed_hat, {0, 2, 4, 6, 8, 10, 12});
    hits(song, open_hat, {14});

    // 2: the same with a busier kick, a rim click and a snare pitched down.
    edit(song, 2, 2, 16);
    mix(song);
    song.set_frequency(snare, 38000);
    hits(song, kick, {0, 3, 8, 11});
    hits(song, snare, {4, 12, 15});
    hits(song, rim, {7, 13});
    hits(song, closed_hat, {0, 2, 4, 6, 8, 10, 12, 14});

    // 3: a shuffle on the ride, twenty-four steps in threes.
    edit(song, 3, 3, 24);
    mix(song);
    hits(song, ride, {0, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 23});
    hits(song, kick, {0, 9, 12, 21});
    hits(song, snare, {6, 18});
    hits(song, closed_hat, {6, 18});

    // 4: a tom fill of twenty steps, the toms tuned a little higher.
    edit(song, 4, 4, 20);
    mix(song);
    song.set_frequency(high_tom, 50000);
    song.set_frequency(mid_tom, 48000);
    hits(song, kick, {0, 8});
    hits(song, snare, {4, 10, 11});
    hits(song, high_tom, {12, 13});
    hits(song, mid_tom, {14, 15});
    hits(song, low_tom, {16, 17, 18});
    hits(song, snare, {19});

    // 5: the last hit, fourteen steps: kick and crash, then silence.
    edit(song, 5, 5, 14);
    mix(song);
    song.set_volume(crash, -300);
    hits(song, kick, {0});
    hits(song, crash, {0});

    const int order[] = {1, 1, 1, 2, 1, 1, 2, 4, 3, 3, 3, 4, 1, 2, 1, 2, 5, kEndMarker};
    int measure = 1;
    for (int pattern : order) {
        song.set_song_entry(measure++, pattern);
    }
    song.go_to_measure(1);
    if (!song.save_drm(argv[1])) {
        std::fprintf(stderr, "demogen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
