#include "tools/sounds/Effects.h"

#include <algorithm>

namespace Tools {

namespace {

constexpr double Rate = EffectRate;

Samples Silence(double seconds) {
    return Samples(static_cast<size_t>(seconds * Rate), 0.0f);
}

double Time(size_t i) {
    return double(i) / Rate;
}

} // namespace

Samples JetEngine(double pitch, uint64_t seed) {
    Samples out = Silence(2.1);
    Noise noise(seed);
    LowPass rumble(180, Rate), hiss(2500, Rate);
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = Time(i);
        const double wobble = 1.0 + 0.004 * std::sin(TwoPi * 0.7 * t);
        phase += TwoPi * pitch * wobble / Rate;
        const float whine =
            float(0.35 * std::sin(phase) + 0.15 * std::sin(2 * phase + 0.3) + 0.08 * std::sin(3.02 * phase));
        const float n = noise.Next();
        out[i] = whine * 0.6f + rumble(n) * 2.2f + hiss(n) * 0.25f;
    }
    MakeLoop(out, Rate, 0.1);
    Normalise(out, 0.7f);
    return out;
}

Samples Afterburner(double tone, uint64_t seed) {
    Samples out = Silence(2.1);
    Noise noise(seed);
    LowPass body(500, Rate), low(90, Rate);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = Time(i);
        const float n = noise.Next();
        const float flutter = float(1.0 + 0.15 * std::sin(TwoPi * 11 * t) * std::sin(TwoPi * 0.9 * t));
        out[i] = (body(n) * 1.5f + low(n) * 3.0f) * flutter + float(0.05 * std::sin(TwoPi * tone * t));
    }
    MakeLoop(out, Rate, 0.1);
    Normalise(out, 0.8f);
    return out;
}

Samples Wheels(uint64_t seed) {
    Samples out = Silence(1.1);
    Noise noise(seed);
    LowPass low(120, Rate);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = Time(i);
        const float bumps = float(0.7 + 0.3 * std::sin(TwoPi * 6 * t));
        out[i] = low(noise.Next()) * bumps;
    }
    MakeLoop(out, Rate, 0.1);
    Normalise(out, 0.6f);
    return out;
}

// Twenty rounds a second; loops while the trigger is held.
Samples GunBurst(uint64_t seed) {
    Samples out = Silence(0.5);
    Noise noise(seed);
    LowPass crack(3000, Rate), thump(200, Rate);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = std::fmod(Time(i), 0.05);
        const float n = noise.Next();
        const float shot = Envelope(t, 0.0008, 0.012);
        out[i] = crack(n) * shot * 1.5f + thump(n) * Envelope(t, 0.001, 0.02) * 4.0f +
                 float(std::sin(TwoPi * 90 * t)) * shot * 0.5f;
    }
    Normalise(out, 0.85f);
    return out;
}

Samples RocketMotor(uint64_t seed) {
    Samples out = Silence(1.6);
    Noise noise(seed);
    LowPass body(1800, Rate), low(150, Rate);
    for (size_t i = 0; i < out.size(); ++i) {
        const float n = noise.Next();
        out[i] = body(n) * 0.8f + low(n) * 2.0f;
    }
    MakeLoop(out, Rate, 0.1);
    Normalise(out, 0.7f);
    return out;
}

Samples FlareDrop(uint64_t seed) {
    Samples out = Silence(0.8);
    Noise noise(seed);
    LowPass hiss(4000, Rate);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = Time(i);
        const float pop = Envelope(t, 0.002, 0.03) * float(std::sin(TwoPi * (300 - 200 * t) * t));
        out[i] = pop + hiss(noise.Next()) * Envelope(t - 0.02, 0.05, 0.25) * 0.6f;
    }
    Normalise(out, 0.75f);
    return out;
}

Samples Explosion(bool near, uint64_t seed) {
    Samples out = Silence(near ? 2.5 : 3.5);
    Noise noise(seed);
    LowPass crack(near ? 4000 : 800, Rate), boom(near ? 160 : 90, Rate), sweep(1000, Rate);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = Time(i);
        const float n = noise.Next();
        sweep.SetCutoff(1200 * std::exp(-t * 2.0) + 60, Rate);
        const float body = sweep(n) * Envelope(t, 0.005, near ? 0.5 : 0.9) * 2.5f;
        const float thud = boom(n) * Envelope(t, 0.01, near ? 0.8 : 1.2) * 6.0f;
        const float snap = crack(n) * Envelope(t, 0.001, near ? 0.06 : 0.02) * (near ? 1.2f : 0.3f);
        out[i] = body + thud + snap + float(std::sin(TwoPi * 45 * t)) * Envelope(t, 0.01, 0.4) * 0.4f;
    }
    Normalise(out, 0.9f);
    return out;
}

Samples Ricochet(bool water, int variant, uint64_t seed) {
    Samples out = Silence(water ? 0.7 : 0.5);
    Noise noise(seed);
    LowPass splash(1500 + 300 * variant, Rate);
    const double start = 2200 + 350 * variant, end = 700 + 120 * variant;
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = Time(i);
        const float n = noise.Next();
        if (water) {
            out[i] = splash(n) * Envelope(t, 0.01, 0.15 + 0.02 * variant) +
                     float(std::sin(TwoPi * (120 + 20 * variant) * t)) * Envelope(t, 0.005, 0.05) * 0.5f;
        } else {
            phase += TwoPi * (end + (start - end) * std::exp(-t * 9)) / Rate;
            out[i] =
                float(std::sin(phase)) * Envelope(t, 0.002, 0.12) * 0.8f + n * Envelope(t, 0.0005, 0.008);
        }
    }
    Normalise(out, 0.7f);
    return out;
}

Samples Beeps(double pitch, int count, double length, double spacing, bool warble) {
    Samples out = Silence(count * spacing);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = Time(i);
        const double inBeep = std::fmod(t, spacing);
        if (inBeep >= length) {
            continue;
        }
        const double f = warble ? pitch * (1.0 + 0.08 * std::sin(TwoPi * 25 * t)) : pitch;
        const double edge = std::min({1.0, inBeep / 0.004, (length - inBeep) / 0.004});
        out[i] = float(edge * (0.7 * std::sin(TwoPi * f * t) + 0.2 * std::sin(TwoPi * 2 * f * t)));
    }
    Normalise(out, 0.6f);
    return out;
}

Samples Chime() {
    Samples out = Silence(1.2);
    const double notes[] = {880.0, 1318.5};
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = Time(i);
        float s = 0;
        for (int k = 0; k < 2; ++k) {
            const double at = t - 0.15 * k;
            s += Envelope(at, 0.005, 0.35) *
                 float(std::sin(TwoPi * notes[k] * at) + 0.3 * std::sin(TwoPi * 2 * notes[k] * at));
        }
        out[i] = s;
    }
    Normalise(out, 0.6f);
    return out;
}

Samples Hydraulics(double pitch, uint64_t seed) {
    Samples out = Silence(1.5);
    Noise noise(seed);
    LowPass hum(400, Rate);
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = Time(i);
        const double rise = std::min(1.0, t / 0.2) * std::min(1.0, (1.5 - t) / 0.2);
        phase += TwoPi * pitch * (1 + 0.1 * t) / Rate;
        out[i] =
            float(rise) * (float(0.4 * std::sin(phase) + 0.15 * std::sin(2 * phase)) + hum(noise.Next()));
    }
    Normalise(out, 0.5f);
    return out;
}

} // namespace Tools
