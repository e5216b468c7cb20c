// Cockpit::SampleHistory: the last 50 samples of a value (a vector or a float), newest last, smoothed by a
// chain of running averages. The cockpit's target data and the cockpit camera's head motion use it. It lives
// here, beside the cameras, so that the cockpit and the cameras share one copy.
#pragma once

#include <array>
#include <cstddef>
#include <type_traits>

namespace Cockpit {

template <class Sample> class SampleHistory {
public:
    static constexpr std::size_t Size = 50;

    SampleHistory() { Reset(); }

    // Every sample zero.
    void Reset() { Fill(Sample{}); }
    // Every sample the given one.
    void Fill(const Sample& value) { samples.fill(value); }

    // Drops the oldest sample, stores the new one last and returns the newest value of the smoothed
    // history: running averages of the windows in turn over the whole buffer, from the front, until the
    // first zero window (the first window 0 returns the sample unchanged).
    Sample AddAndFilter(const Sample& sample, unsigned w1, unsigned w2 = 0, unsigned w3 = 0, unsigned w4 = 0,
                        unsigned w5 = 0) {
        for (std::size_t i = 1; i < Size; ++i)
            samples[i - 1] = samples[i];
        samples[Size - 1] = sample;
        if (w1 == 0)
            return sample;
        std::array<Sample, Size> in = samples, out{};
        for (unsigned window : {w1, w2, w3, w4, w5}) {
            if (window == 0)
                break;
            const float w = float(window);
            Sample sum{};
            for (std::size_t i = 0; i < Size; ++i) {
                AddDivided(sum, in[i], w);
                if (i >= window)
                    AddDivided(sum, in[i - window], -w);
                out[i] = sum;
            }
            in = out;
        }
        return in[Size - 1];
    }

    std::array<Sample, Size> samples;

private:
    static void AddDivided(Sample& sum, const Sample& value, float divisor) {
        if constexpr (std::is_arithmetic_v<Sample>) {
            sum += value / divisor;
        } else {
            sum.x += value.x / divisor;
            sum.y += value.y / divisor;
            sum.z += value.z / divisor;
        }
    }
};

} // namespace Cockpit
