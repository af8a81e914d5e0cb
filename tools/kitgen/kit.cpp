#include "kit.h"

#include "util/sound_slots.h"

#include <array>

namespace qx375::kitgen {
namespace {

// The bridged-T of the kick struck once, its pitch falling from 150 Hz into the 50s,
// with a short click of noise for the beater.
Mono kick() {
    return render(
        0.6, [body = Resonator{}, noise = Noise(0x2545f491), click = Svf{}](double t) mutable {
            const double ring = body(pulse(t, 0.0015), 48.0 + 102.0 * decay(t, 0.03), 0.13);
            const double beater = click.band(noise(), 2500.0, 0.8) * hit(t, 0.0002, 0.004);
            return saturate(0.9 * ring + 0.3 * beater, 1.6);
        });
}

// A tom: the kick's circuit tuned higher, with a weaker second mode and a breath of noise
// for the stick.
Mono tom(double hz, double seconds, double tau, std::uint32_t seed) {
    return render(seconds, [=, low = Resonator{}, high = Resonator{}, noise = Noise(seed),
                            stick = Svf{}](double t) mutable {
        const double sweep = 1.0 + 0.3 * decay(t, 0.05);
        const double strike = pulse(t, 0.0015);
        const double body =
            low(strike, hz * sweep, tau) + 0.2 * high(strike, 1.6 * hz * sweep, tau / 3.0);
        const double breath = stick.band(noise(), 4.0 * hz, 0.8) * hit(t, 0.0005, 0.02);
        return saturate(0.8 * body + 0.15 * breath, 1.3);
    });
}

// Two tuned modes of the shell, pitched down a touch as they start, under a burst of
// filtered noise for the wires.
Mono snare() {
    return render(0.35, [low = Resonator{}, high = Resonator{}, noise = Noise(0x6c078965),
                         bright = Svf{}, dull = Svf{}](double t) mutable {
        const double strike = pulse(t, 0.001);
        const double tune = 1.0 + 0.12 * decay(t, 0.01);
        const double body =
            low(strike, 185.0 * tune, 0.04) + 0.6 * high(strike, 330.0 * tune, 0.03);
        const double wires =
            dull.low(bright.high(noise(), 1200.0, 0.7), 9000.0, 0.7) * hit(t, 0.0008, 0.075);
        return saturate(0.8 * body + wires, 1.5);
    });
}

// Two short, high modes struck hard and clipped: the crack of a rim shot.
Mono rim() {
    return render(0.12, [a = Resonator{}, b = Resonator{}, noise = Noise(0x3c6ef372), tick = Svf{},
                         cut = Svf{}](double t) mutable {
        const double strike = pulse(t, 0.0002);
        const double ring = a(strike, 480.0, 0.012) + b(strike, 1690.0, 0.007);
        const double click = tick.band(noise(), 5000.0, 1.0) * hit(t, 0.0001, 0.002);
        return saturate(cut.high(ring + 0.2 * click, 300.0, 0.7), 3.0);
    });
}

// The hi-hat voice: the square bank, with a little noise, squeezed through a band-pass
// and high-pass so only its top octaves remain.
Mono hat(double seconds, double tau, std::uint32_t seed) {
    return render(seconds, [=, metal = Metal(1.0, seed), noise = Noise(seed), band = Svf{},
                            cut = Svf{}](double t) mutable {
        const double source = metal() + 0.15 * noise();
        return cut.high(band.band(source, 10000.0, 1.2), 7000.0, 0.7) * hit(t, 0.0005, tau);
    });
}

// Cymbal voice shared by crash and clash: the square bank ring-modulated by a second bank
// for a denser, less pitched spectrum, split into a lower band that dies early and an upper
// band that rings on.
struct Cymbal {
    double scale, low_hz, low_tau, high_hz, high_tau, drive;
};

Mono cymbal(double seconds, Cymbal c, std::uint32_t seed) {
    return render(seconds, [=, metal = Metal(c.scale, seed), ring = Metal(c.scale * 1.37, ~seed),
                            noise = Noise(seed), low = Svf{}, high = Svf{},
                            cut = Svf{}](double t) mutable {
        const double m = metal();
        const double source = 0.6 * m + 0.6 * m * ring() + 0.25 * noise();
        const double lower = low.band(source, c.low_hz, 1.0) * hit(t, 0.001, c.low_tau);
        const double upper = cut.high(high.band(source, c.high_hz, 0.9), 0.6 * c.high_hz, 0.7) *
                             hit(t, 0.002, c.high_tau);
        // Where the two filters overlap they are nearly opposite in phase: subtracting the
        // lower band joins them instead of carving a notch that wanders as they decay.
        return saturate(upper - 0.5 * lower, c.drive);
    });
}

// Crash: bright and long. Clash: lower, denser and driven harder, a trashy china.
Mono crash() {
    return cymbal(2.0, {1.0, 3400.0, 0.25, 8000.0, 0.5, 1.2}, 0x1b873593);
}

Mono clash() {
    return cymbal(1.5, {0.8, 2800.0, 0.35, 6500.0, 0.4, 2.5}, 0xcc9e2d51);
}

// The ride: a higher square bank in a narrower band for a steady wash, a few ringing
// partials for the ping and a tick of noise for the stick.
Mono ride() {
    static constexpr std::array<double, 3> pings = {3100.0, 4350.0, 5720.0};
    return render(2.5, [metal = Metal(1.5, 0x85ebca6b), noise = Noise(0x85ebca6b), band = Svf{},
                        cut = Svf{}, tick = Svf{},
                        ping = std::array<Resonator, 3>{}](double t) mutable {
        const double n = noise();
        const double wash =
            cut.high(band.band(metal() + 0.1 * n, 7000.0, 1.2), 3500.0, 0.7) * hit(t, 0.001, 0.55);
        const double stick = tick.band(n, 6000.0, 0.8) * hit(t, 0.0002, 0.008);
        double bell = 0.0;
        for (std::size_t k = 0; k < pings.size(); ++k) {
            bell += ping[k](pulse(t, 0.0002), pings[k], 0.45 / (1.0 + 0.3 * k));
        }
        return wash + 0.3 * stick + 0.05 * bell;
    });
}

// Two square oscillators a little over a fifth apart through a band-pass, with a weaker
// inharmonic pair on top for the clank, and the cowbell's two-stage decay.
Mono clang() {
    return render(0.45, [a = Square(587.0, 0.5), b = Square(845.0, 0.5), c = Square(1227.0, 0.5),
                         d = Square(1783.0, 0.5), band = Svf{}, cut = Svf{}](double t) mutable {
        const double source = a() + b() + 0.35 * (c() + d());
        const double env = 0.7 * hit(t, 0.0003, 0.015) + 0.3 * hit(t, 0.0003, 0.11);
        return saturate(cut.high(band.band(source, 1000.0, 1.0), 300.0, 0.7) * env * 0.5, 1.5);
    });
}

// A struck bell: the inharmonic partials of a bell, the high ones dying first.
Mono bell() {
    struct Partial {
        double ratio, level;
    };
    static constexpr std::array<Partial, 10> partials = {{{0.5, 0.35},
                                                          {1.0, 1.0},
                                                          {1.183, 0.6},
                                                          {1.506, 0.4},
                                                          {2.0, 0.7},
                                                          {2.514, 0.35},
                                                          {2.662, 0.25},
                                                          {3.011, 0.3},
                                                          {4.166, 0.2},
                                                          {5.433, 0.12}}};
    constexpr double fundamental = 784.0;
    return render(1.5, [noise = Noise(0xe6546b64), strike = Svf{}](double t) mutable {
        double sum = 0.0;
        for (const Partial& p : partials) {
            const double tau = 0.45 * std::pow(p.ratio, -0.6);
            sum += p.level * std::sin(2.0 * pi * fundamental * p.ratio * t) * hit(t, 0.001, tau);
        }
        return sum + 0.3 * strike.band(noise(), 4000.0, 1.0) * hit(t, 0.0002, 0.003);
    });
}

// Three quick bursts of band-passed noise, as several hands not quite together, then the
// room answering.
Mono clap() {
    static constexpr std::array<double, 3> bursts = {0.0, 0.0105, 0.0218};
    constexpr double tail_start = 0.031;
    return render(0.45, [noise = Noise(0x9e3779b9), band = Svf{}, cut = Svf{}](double t) mutable {
        double env = 0.0;
        for (const double start : bursts) {
            env += hit(t - start, 0.0003, 0.0045);
        }
        env += 0.5 * hit(t - tail_start, 0.004, 0.08);
        return saturate(cut.high(band.band(noise(), 1100.0, 1.6), 600.0, 0.7) * env, 2.0);
    });
}

// A cartoon explosion: a deep boom, a falling zap and a blast of noise whose low-pass
// closes as it fades.
Mono kapow() {
    return render(1.0, [boom = Resonator{}, zap = 0.0, noise = Noise(0x7f4a7c15),
                        blast = Svf{}](double t) mutable {
        const double low = boom(pulse(t, 0.002), 35.0 + 300.0 * decay(t, 0.06), 0.3);
        zap += 2.0 * pi * (80.0 + 2500.0 * decay(t, 0.035)) / rate;
        const double high = std::sin(zap) * hit(t, 0.0005, 0.06);
        const double rumble =
            blast.low(noise(), 200.0 + 7000.0 * decay(t, 0.08), 1.5) * hit(t, 0.001, 0.22);
        return saturate(0.9 * low + 0.4 * high + 0.7 * rumble, 2.5);
    });
}

// Three short wooden modes, the lowest carrying the pitch.
Mono wood_block() {
    return render(
        0.2, [a = Resonator{}, b = Resonator{}, c = Resonator{}, cut = Svf{}](double t) mutable {
            const double strike = pulse(t, 0.0003);
            const double ring = a(strike, 820.0, 0.028) + 0.5 * b(strike, 2280.0, 0.012) +
                                0.2 * c(strike, 4100.0, 0.005);
            return saturate(cut.high(ring, 200.0, 0.7), 1.3);
        });
}

// A record scratch: a sung "ah" on the record, pushed forward, pulled back and pushed
// again. The cartridge answers the groove's speed, so the sound swoops through silence at
// every turn of the hand.
struct Stroke {
    double start, length, speed; // speed in record seconds per second, at the stroke's middle
};

constexpr Stroke hand[] = {{0.0, 0.14, 2.2}, {0.14, 0.16, -2.6}, {0.3, 0.12, 2.0}};

double hand_speed(double t) {
    for (const Stroke& s : hand) {
        if (t >= s.start && t < s.start + s.length) {
            return s.speed * std::sin(pi * (t - s.start) / s.length);
        }
    }
    return 0.0;
}

// The harmonics of a 170 Hz voice, weighted by the three formants of an open "ah".
struct Voice {
    static constexpr double pitch = 170.0;
    std::array<double, 24> level{};

    Voice() {
        struct Formant {
            double hz, width, level;
        };
        constexpr Formant ah[] = {{730, 90, 1.0}, {1090, 110, 0.5}, {2440, 160, 0.25}};
        for (std::size_t k = 0; k < level.size(); ++k) {
            for (const Formant& f : ah) {
                const double x = (static_cast<double>(k + 1) * pitch - f.hz) / f.width;
                level[k] += f.level / (1.0 + x * x);
            }
        }
    }

    // The voice at `position` seconds into the record.
    double operator()(double position) const {
        double sum = 0.0;
        for (std::size_t k = 0; k < level.size(); ++k) {
            sum += level[k] * std::sin(2.0 * pi * static_cast<double>(k + 1) * pitch * position);
        }
        return sum;
    }
};

Mono scratch() {
    return render(0.45, [record = Voice{}, position = 0.3, noise = Noise(0x2f6b3a1d),
                         hiss = Svf{}](double t) mutable {
        const double speed = hand_speed(t);
        position += speed / rate;
        const double friction = hiss.band(noise(), 1500.0, 0.7);
        return saturate((record(position) + 0.05 * friction) * std::abs(speed) * 0.25, 1.3);
    });
}

// One recipe per sample the program looks for at start-up: each sound's own
// and, for sound 11, the one a new song names as well.
constexpr Instrument instruments[] = {
    {kSoundSlots[0].startup_file, [] { return hat(0.11, 0.018, 0x0badc0de); }, 0.25, -3.0, 0.01},
    {kSoundSlots[1].startup_file, [] { return hat(0.5, 0.11, 0x5eed1e55); }, 0.25, -3.0, 0.04},
    {kSoundSlots[2].startup_file, snare, 0.0, -1.5, 0.02},
    {kSoundSlots[3].startup_file, kick, 0.0, -1.0, 0.03},
    {kSoundSlots[4].startup_file, [] { return tom(190.0, 0.6, 0.13, 0x1f83d9ab); }, 0.0, -1.5,
     0.03},
    {kSoundSlots[5].startup_file, [] { return tom(130.0, 0.7, 0.15, 0x5be0cd19); }, 0.0, -1.5,
     0.03},
    {kSoundSlots[6].startup_file, [] { return tom(90.0, 0.8, 0.17, 0x6a09e667); }, 0.0, -1.5, 0.03},
    {kSoundSlots[7].startup_file, rim, 0.0, -2.0, 0.01},
    {kSoundSlots[8].startup_file, crash, 0.35, -3.0, 0.25},
    {kSoundSlots[9].startup_file, ride, 0.3, -3.0, 0.3},
    {kSoundSlots[10].startup_file, clang, 0.0, -2.5, 0.02},
    {kSoundSlots[11].startup_file, bell, 0.2, -3.0, 0.3},
    {kSoundSlots[11].song_file, clap, 0.4, -2.0, 0.03},
    {kSoundSlots[12].song_file, kapow, 0.3, -1.0, 0.1},
    {kSoundSlots[13].song_file, clash, 0.35, -3.0, 0.2},
    {kSoundSlots[14].song_file, wood_block, 0.0, -2.0, 0.01},
    {kSoundSlots[15].song_file, scratch, 0.0, -2.0, 0.02},
};

} // namespace

std::span<const Instrument> kit() {
    return instruments;
}

} // namespace qx375::kitgen
