#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

// The building blocks of the kit: analogue drum circuits reduced to a few lines each.
// Everything runs in double precision at the output rate, one sample per call.
namespace qx375::kitgen {

inline constexpr double rate = 44100.0;
inline constexpr double pi = std::numbers::pi;

using Mono = std::vector<double>;

inline std::size_t frames(double seconds) {
    return static_cast<std::size_t>(std::lround(seconds * rate));
}

// Fills `seconds` of sound, calling `voice(t)` with the time of each sample.
template <class Voice>
Mono render(double seconds, Voice voice) {
    Mono out(frames(seconds));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = voice(static_cast<double>(i) / rate);
    }
    return out;
}

// White noise from xorshift32: the same seeded stream on every run.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed == 0 ? 1 : seed) {}

    // Uniform in [-1, 1).
    double operator()() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t state_;
};

// Zero-delay-feedback state-variable filter; cutoff and resonance may move every sample.
class Svf {
public:
    double low(double x, double hz, double q) { return tick(x, hz, q).low; }
    double high(double x, double hz, double q) { return tick(x, hz, q).high; }
    // Normalised to unity gain at the centre frequency, whatever the Q.
    double band(double x, double hz, double q) { return tick(x, hz, q).band / q; }

private:
    struct Outputs {
        double low, band, high;
    };

    Outputs tick(double x, double hz, double q) {
        const double g = std::tan(pi * std::min(hz, 0.45 * rate) / rate);
        const double k = 1.0 / q;
        const double a1 = 1.0 / (1.0 + g * (g + k));
        const double a2 = g * a1;
        const double a3 = g * a2;
        const double v3 = x - ic2_;
        const double v1 = a1 * ic1_ + a2 * v3;
        const double v2 = ic2_ + a2 * ic1_ + a3 * v3;
        ic1_ = 2.0 * v1 - ic1_;
        ic2_ = 2.0 * v2 - ic2_;
        return {v2, v1, x - k * v1 - v2};
    }

    double ic1_ = 0.0;
    double ic2_ = 0.0;
};

// A lightly damped resonance, as the bridged-T networks of analogue drums: a decaying
// phasor that keeps ringing while its frequency sweeps. `decay` is the time constant of
// the ring in seconds; an input of unit area starts a ring of amplitude about 1.
class Resonator {
public:
    double operator()(double in, double hz, double decay) {
        const double r = std::exp(-1.0 / (decay * rate));
        z_ = z_ * std::polar(r, 2.0 * pi * hz / rate) + in;
        return z_.imag();
    }

private:
    std::complex<double> z_{};
};

// The trigger pulse: a raised cosine of unit area, `width` seconds long. Rounder than a
// step, so the resonators it strikes start without a click.
inline double pulse(double t, double width) {
    if (t < 0.0 || t >= width) {
        return 0.0;
    }
    return (1.0 - std::cos(2.0 * pi * t / width)) / (width * rate);
}

// Schroeder all-pass: a flat spectrum but a scrambled phase, used to derive a second,
// decorrelated channel from one voice.
class Allpass {
public:
    Allpass(std::size_t delay, double gain) : line_(delay), gain_(gain) {}

    double operator()(double x) {
        const double delayed = line_[at_];
        const double v = x + gain_ * delayed;
        line_[at_] = v;
        at_ = (at_ + 1) % line_.size();
        return delayed - gain_ * v;
    }

private:
    std::vector<double> line_;
    std::size_t at_ = 0;
    double gain_;
};

// Exponential decay with time constant `tau`.
inline double decay(double t, double tau) {
    return t < 0.0 ? 0.0 : std::exp(-t / tau);
}

// An envelope that rises from exactly zero with time constant `attack`, then decays.
inline double hit(double t, double attack, double tau) {
    return t < 0.0 ? 0.0 : (1.0 - std::exp(-t / attack)) * std::exp(-t / tau);
}

// Soft clipping of a transistor stage, scaled so that 1 still maps to 1.
inline double saturate(double x, double drive) {
    return std::tanh(drive * x) / std::tanh(drive);
}

// Band-limited square wave (polyBLEP corrected edges), so its upper harmonics do not fold
// back as aliases below the band the cymbal filters keep.
class Square {
public:
    Square(double hz, double phase) : inc_(hz / rate), phase_(phase) {}

    double operator()() {
        double v = phase_ < 0.5 ? 1.0 : -1.0;
        v += blep(phase_) - blep(std::fmod(phase_ + 0.5, 1.0));
        phase_ += inc_;
        if (phase_ >= 1.0) {
            phase_ -= 1.0;
        }
        return v;
    }

private:
    double blep(double p) const {
        if (p < inc_) {
            p /= inc_;
            return p + p - p * p - 1.0;
        }
        if (p > 1.0 - inc_) {
            p = (p - 1.0) / inc_;
            return p * p + p + p + 1.0;
        }
        return 0.0;
    }

    double inc_;
    double phase_;
};

// Six square oscillators at unrelated pitches: the metallic source of hi-hats and
// cymbals. `scale` transposes the whole bank; the seed sets the starting phases.
class Metal {
public:
    Metal(double scale, std::uint32_t seed) {
        static constexpr double pitches[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
        Noise phases(seed);
        for (const double hz : pitches) {
            bank_.emplace_back(hz * scale, 0.5 + 0.5 * phases());
        }
    }

    double operator()() {
        double sum = 0.0;
        for (Square& s : bank_) {
            sum += s();
        }
        return sum / static_cast<double>(bank_.size());
    }

private:
    std::vector<Square> bank_;
};

} // namespace qx375::kitgen
