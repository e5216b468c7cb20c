#include "tools/sounds/Synth.h"

#include <algorithm>

namespace Tools {

float Noise::Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    const uint64_t value = state * 0x2545F4914F6CDD1Dull;
    return float(double(value >> 40) / double(1ull << 23) - 1.0);
}

float Envelope(double t, double attack, double decay) {
    if (t < 0) {
        return 0;
    }
    if (t < attack) {
        return float(t / attack);
    }
    return float(std::exp(-(t - attack) / decay));
}

void MakeLoop(Samples& samples, double rate, double fade) {
    const auto n = static_cast<size_t>(fade * rate);
    if (samples.size() <= 2 * n) {
        return;
    }
    const size_t tail = samples.size() - n;
    for (size_t i = 0; i < n; ++i) {
        const float w = float(i) / float(n);
        samples[i] = samples[i] * w + samples[tail + i] * (1 - w);
    }
    samples.resize(tail);
}

void Normalise(Samples& samples, float peak) {
    float loudest = 0;
    for (float s : samples) {
        loudest = std::max(loudest, std::fabs(s));
    }
    if (loudest > 0) {
        for (float& s : samples) {
            s *= peak / loudest;
        }
    }
}

} // namespace Tools
