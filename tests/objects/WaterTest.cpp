// The water's animation sequence and bump matrix, and its vertex attributes on a terrain built in memory.
#include "objects/Terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(Water, FourFramesPlayForwardThenBackAtTenPerSecond) {
    const uint32_t expected[] = {0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2, 1, 0};
    for (uint32_t k = 0; k < std::size(expected); ++k)
        EXPECT_EQ(Obj::Terrain::WaterFrame(float(k) / 10, 4), expected[k]) << "tick " << k;
    // Rounded to the nearest tick: 0.14 s is tick 1, 0.16 s tick 2.
    EXPECT_EQ(Obj::Terrain::WaterFrame(0.14f, 4), 1u);
    EXPECT_EQ(Obj::Terrain::WaterFrame(0.16f, 4), 2u);
    // Eight frames: a period of 14 ticks; frame 7 is shown once per period.
    EXPECT_EQ(Obj::Terrain::WaterFrame(0.7f, 8), 7u);
    EXPECT_EQ(Obj::Terrain::WaterFrame(0.8f, 8), 6u);
    EXPECT_EQ(Obj::Terrain::WaterFrame(1.4f, 8), 0u);
    // Long into a game the sequence still stays within the table.
    EXPECT_LT(Obj::Terrain::WaterFrame(86400.37f, 8), 8u);
}

TEST(Water, FewerThanTwoFramesStandStill) {
    // The period 2F - 2 is 0 or negative there: no division by it.
    for (float t : {0.0f, 0.1f, 0.25f, 7.0f, 1000.0f}) {
        EXPECT_EQ(Obj::Terrain::WaterFrame(t, 1), 0u);
        EXPECT_EQ(Obj::Terrain::WaterFrame(t, 0), 0u);
    }
    EXPECT_EQ(Obj::Terrain::WaterFrame(std::nanf(""), 8), 0u);
    // Two frames alternate.
    EXPECT_EQ(Obj::Terrain::WaterFrame(0.1f, 2), 1u);
    EXPECT_EQ(Obj::Terrain::WaterFrame(0.2f, 2), 0u);
}

TEST(Water, BumpMatrixMagnitudeFallsWithHeight) {
    struct Case {
        float height, magnitude;
    };
    const Case cases[] = {{-50, 0.1f}, {0, 0.1f}, {5000, 0.075f}, {10000, 0.05f}, {20000, 0.05f}};
    for (const Case& c : cases)
        for (float t : {0.0f, 0.5f, 2.0f, 3599.0f, 7300.0f}) {
            const auto m = Obj::Terrain::WaterBumpMatrix(c.height, t);
            // A scaled rotation: both columns of the same length, at right angles.
            EXPECT_NEAR(std::hypot(m.m00, m.m10), c.magnitude, 1e-6) << c.height;
            EXPECT_NEAR(std::hypot(m.m01, m.m11), c.magnitude, 1e-6) << c.height;
            EXPECT_NEAR(m.m00 * m.m01 + m.m10 * m.m11, 0, 1e-7);
            EXPECT_FLOAT_EQ(m.m00, m.m11);
            EXPECT_FLOAT_EQ(m.m01, -m.m10);
        }
    // One radian per second of world time, wrapping every hour.
    const auto m = Obj::Terrain::WaterBumpMatrix(0, 1);
    EXPECT_NEAR(m.m00, 0.1f * std::cos(1.0f), 1e-6);
    EXPECT_NEAR(m.m10, 0.1f * std::sin(1.0f), 1e-6);
    const auto wrapped = Obj::Terrain::WaterBumpMatrix(0, 3601);
    EXPECT_NEAR(wrapped.m00, m.m00, 1e-5);
    EXPECT_NEAR(wrapped.m10, m.m10, 1e-5);
}

} // namespace
