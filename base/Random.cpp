#include "base/Random.h"
#include "base/RandomTimeStamp.h"

#include <array>
#include <chrono>
#include <cmath>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace Base {
namespace {

constexpr uint32_t Multiplier = 69069;
constexpr uint32_t ZeroSeed = 1335;
constexpr uint32_t MatrixA = 0x9908B0DFu;
constexpr uint32_t UpperMask = 0x80000000u;
constexpr uint32_t LowerMask = 0x7FFFFFFFu;
constexpr uint32_t Middle = 397;

constexpr std::array<uint32_t, 2 * Random::HalfSize> InitialState(uint32_t seed) {
    std::array<uint32_t, 2 * Random::HalfSize> state{};
    uint32_t x = seed == 0 ? ZeroSeed : seed;
    for (uint32_t i = 0; i < Random::HalfSize; ++i) {
        x *= Multiplier;
        state[i] = x;
    }
    return state;
}

} // namespace

uint32_t (*RandomTimeStamp)() = nullptr;

// Filled at compile time, so draws made during static initialisation already see the seed.
constinit std::array<uint32_t, 2 * Random::HalfSize> Random::State = InitialState(Random::DefaultSeed);
constinit uint32_t Random::Index = Random::HalfSize;

void Random::Seed(uint32_t seed) {
    uint32_t x = seed == 0 ? ZeroSeed : seed;
    for (uint32_t i = 0; i < HalfSize; ++i) {
        x *= Multiplier;
        State[i] = x;
    }
    Index = HalfSize;
}

void Random::SeedFromTimeStamp() {
    if (RandomTimeStamp) {
        Seed(RandomTimeStamp());
        return;
    }
#if defined(__x86_64__) || defined(__i386__)
    Seed(static_cast<uint32_t>(__rdtsc()));
#else
    Seed(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
#endif
}

void Random::Reload(uint32_t half) {
    constexpr uint32_t size = 2 * HalfSize;
    uint32_t first = half == 0 ? HalfSize : 0;
    for (uint32_t k = first; k < first + HalfSize; ++k) {
        // Word k follows the 624 words before it in the circular array.
        uint32_t y = (State[(k + size - HalfSize) % size] & UpperMask) |
                     (State[(k + size - HalfSize + 1) % size] & LowerMask);
        State[k] = State[(k + size - HalfSize + Middle) % size] ^ (y >> 1) ^ ((y & 1) ? MatrixA : 0);
    }
    if (half != 0)
        Index = 0;
}

uint32_t Random::NextUInt32() {
    if (Index == HalfSize)
        Reload(0);
    else if (Index >= 2 * HalfSize)
        Reload(1);
    uint32_t y = State[Index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

int32_t Random::IntInRange(int32_t lo, int32_t hi) {
    uint32_t span = static_cast<uint32_t>(hi) - static_cast<uint32_t>(lo) + 1u;
    uint32_t draw = NextUInt32();
    // A span of 0 is the whole 32-bit range: every draw is in it.
    uint32_t offset = span == 0 ? draw : draw % span;
    return static_cast<int32_t>(static_cast<uint32_t>(lo) + offset);
}

float Random::FloatInRange(float lo, float hi) {
    float value = static_cast<float>(NextUInt32() * (1.0 / 4294967296.0) * (hi - lo) + lo);
    // Rounding to float can reach hi itself; the range excludes it.
    if (hi > lo && value >= hi)
        value = std::nextafter(hi, lo);
    return value;
}

} // namespace Base
