#include "base/Random.h"
#include "base/RandomTimeStamp.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

// A seed sequence that fills the state as Base::Random::Seed does, so std::mt19937 serves as the reference.
struct LcgFill {
    using result_type = uint32_t;
    uint32_t seed;
    template <class It> void generate(It begin, It end) const {
        uint32_t x = seed == 0 ? 1335 : seed;
        for (It it = begin; it != end; ++it) {
            x *= 69069u;
            *it = x;
        }
    }
};

std::mt19937 Reference(uint32_t seed) {
    LcgFill fill{seed};
    return std::mt19937(fill);
}

uint32_t Untemper(uint32_t y) {
    y ^= y >> 18;
    y ^= (y << 15) & 0xEFC60000u;
    uint32_t t = y;
    for (int i = 0; i < 5; ++i)
        t = y ^ ((t << 7) & 0x9D2C5680u);
    y = t;
    uint32_t x = y;
    for (int i = 0; i < 3; ++i)
        x = y ^ (x >> 11);
    return x;
}

} // namespace

TEST(Random, StaticSeedMatchesTheReference) {
    auto reference = Reference(4357);
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(Base::Random::NextUInt32(), reference()) << "draw " << i;
}

TEST(Random, SeedsAndReseedsMatchTheReference) {
    for (uint32_t seed : {1u, 0u, 1335u, 123456789u, 0xFFFFFFFFu}) {
        Base::Random::Seed(seed);
        auto reference = Reference(seed);
        for (int i = 0; i < 100000; ++i)
            ASSERT_EQ(Base::Random::NextUInt32(), reference()) << "seed " << seed << " draw " << i;
    }
}

TEST(Random, SeedFillsTheFirstHalfByTheCongruence) {
    Base::Random::Seed(1);
    EXPECT_EQ(Base::Random::State[0], 69069u);
    EXPECT_EQ(Base::Random::State[1], 69069u * 69069u);
    EXPECT_EQ(Base::Random::Index, 624u);
    Base::Random::Seed(0);
    uint32_t a = Base::Random::NextUInt32();
    Base::Random::Seed(1335);
    EXPECT_EQ(Base::Random::NextUInt32(), a);
}

TEST(Random, Ranges) {
    Base::Random::Seed(7);
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        EXPECT_EQ(Base::Random::IntInRange(5, 5), 5);
        int v = Base::Random::IntInRange(-3, 3);
        ASSERT_GE(v, -3);
        ASSERT_LE(v, 3);
        seen.insert(v);
        EXPECT_EQ(Base::Random::FloatInRange(2, 2), 2.0f);
        float f = Base::Random::FloatInRange(-1, 1);
        ASSERT_GE(f, -1.0f);
        ASSERT_LT(f, 1.0f);
    }
    EXPECT_EQ(seen.size(), 7u);
    // The whole 32-bit range is a valid span, not a division by zero: every draw maps onto it unchanged.
    Base::Random::Seed(11);
    auto reference = Reference(11);
    for (int i = 0; i < 1000; ++i) {
        uint32_t draw = reference();
        ASSERT_EQ(Base::Random::IntInRange(INT32_MIN, INT32_MAX), static_cast<int32_t>(draw ^ 0x80000000u))
            << "draw " << i;
    }
}

TEST(Random, TheLargestDrawStaysBelowTheTopOfAFloatRange) {
    Base::Random::Seed(3);
    Base::Random::NextUInt32(); // reloads, leaving the index at 625
    Base::Random::State[Base::Random::Index] = Untemper(0xFFFFFFFFu);
    float f = Base::Random::FloatInRange(0, 1);
    EXPECT_LT(f, 1.0f);
    EXPECT_GT(f, 0.999f);
}

TEST(Random, SeedFromTimeStampStartsAFreshBlock) {
    Base::Random::NextUInt32();
    Base::Random::SeedFromTimeStamp();
    EXPECT_EQ(Base::Random::Index, 624u);
    EXPECT_NE(Base::Random::State[0], 0u);
}

// A test rig's repeatable source in place of the counter: the seed is its value, exactly as Seed takes it.
TEST(Random, SeedFromTimeStampTakesAnInstalledSource) {
    Base::RandomTimeStamp = [] { return 12345u; };
    Base::Random::SeedFromTimeStamp();
    const uint32_t first = Base::Random::NextUInt32();
    Base::RandomTimeStamp = nullptr;
    Base::Random::Seed(12345);
    EXPECT_EQ(Base::Random::NextUInt32(), first);
}
