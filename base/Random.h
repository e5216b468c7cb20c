// The program's one random-number generator: MT19937 with a linear congruential seed fill.
#pragma once

#include <array>
#include <cstdint>

namespace Base {

class Random {
public:
    static constexpr uint32_t HalfSize = 624;
    static constexpr uint32_t DefaultSeed = 4357;

    // Two halves of 624 words; each reload regenerates one half from the other.
    static std::array<uint32_t, 2 * HalfSize> State;
    static uint32_t Index;

    // x = seed (1335 for 0); each word of the first half is x = x * 69069. The next draw reloads.
    static void Seed(uint32_t seed);
    static void SeedFromTimeStamp();
    static uint32_t NextUInt32();
    static void Reload(uint32_t half);

    // Both ends included.
    static int32_t IntInRange(int32_t lo, int32_t hi);
    // From lo up to, but not including, hi.
    static float FloatInRange(float lo, float hi);

    // The generator's state while it lives, put back at its end: a user that seeds the generator for numbers
    // of its own (a flicker, a cloud's shape) leaves the program's stream as it was.
    class Saved {
    public:
        Saved() : state(State), index(Index) {}
        ~Saved() {
            State = state;
            Index = index;
        }
        Saved(const Saved&) = delete;
        Saved& operator=(const Saved&) = delete;

    private:
        std::array<uint32_t, 2 * HalfSize> state;
        uint32_t index;
    };
};

} // namespace Base
