// Small building blocks for synthesised sounds: a reproducible noise source, oscillators, envelopes and
// one-pole filters, all on float samples in [-1, 1].
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace Tools {

constexpr double TwoPi = 6.283185307179586;

// xorshift64*: the same numbers on every machine for a given seed.
class Noise {
public:
    explicit Noise(uint64_t seed) : state(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    // Uniform in [-1, 1).
    float Next();
    // Uniform in [0, 1).
    float Unit() { return (Next() + 1.0f) * 0.5f; }

private:
    uint64_t state;
};

// One-pole low-pass; cutoff in Hz.
class LowPass {
public:
    LowPass(double cutoff, double rate) { SetCutoff(cutoff, rate); }
    void SetCutoff(double cutoff, double rate) { a = float(1.0 - std::exp(-TwoPi * cutoff / rate)); }
    float operator()(float x) { return y += a * (x - y); }

private:
    float a = 0, y = 0;
};

// Attack, then exponential decay with the given time constant, both in seconds.
float Envelope(double t, double attack, double decay);

using Samples = std::vector<float>;

// Loops seamlessly: the last fade seconds are blended into the start, then cut off.
void MakeLoop(Samples& samples, double rate, double fade);
// Scales so that the loudest sample has the given peak.
void Normalise(Samples& samples, float peak);

} // namespace Tools
