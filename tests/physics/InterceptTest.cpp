// The lead solution against closed-form cases.
#include "physics/Intercept.h"

#include "base/Maths.h"

#include <gtest/gtest.h>

#include <cmath>

using Hud::ComputeIntercept;

TEST(Intercept, ClosedFormCases) {
    struct Case {
        const char* name;
        RwV3d ps, vs, pt, vt;
        float speed;
        float time;
        RwV3d point;
    } cases[] = {
        // Stationary target at 1000 m, 1000 m/s: one second, at the target.
        {"stationary", {0, 0, 0}, {0, 0, 0}, {0, 0, 1000}, {0, 0, 0}, 1000, 1, {0, 0, 1000}},
        // Coming straight in at 250 m/s: 1000 / 1250 s.
        {"head-on", {0, 0, 0}, {0, 0, 0}, {0, 0, 1000}, {0, 0, -250}, 1000, 0.8f, {0, 0, 800}},
        // Running away at 250 m/s: 1000 / 750 s.
        {"tail chase",
         {0, 0, 0},
         {0, 0, 0},
         {0, 0, 1000},
         {0, 0, 250},
         1000,
         4.0f / 3,
         {0, 0, 1000 + 1000.0f / 3}},
        // Crossing at 600 m/s, 1000 m away, 1000 m/s: t^2 (1000^2 - 600^2) = 1000^2, t = 1.25.
        {"crossing", {0, 0, 0}, {0, 0, 0}, {0, 0, 1000}, {600, 0, 0}, 1000, 1.25f, {750, 0, 1000}},
        // The shooter's own velocity counts only relative: the same crossing seen from a moving shooter.
        {"moving shooter", {5, 5, 5}, {100, 0, 0}, {5, 5, 1005}, {700, 0, 0}, 1000, 1.25f, {880, 5, 1005}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RwV3d aim{}, point{};
        float time = 0;
        ASSERT_TRUE(ComputeIntercept(c.ps, c.vs, c.pt, c.vt, c.speed, &aim, &point, &time));
        EXPECT_NEAR(time, c.time, 1e-5f * std::fabs(c.time));
        EXPECT_NEAR(point.x, c.point.x, 1e-2f);
        EXPECT_NEAR(point.y, c.point.y, 1e-2f);
        EXPECT_NEAR(point.z, c.point.z, 1e-2f);
        EXPECT_NEAR(Base::VectorLength(aim), 1, 1e-6);
        // The projectile flown along the aim for the time meets the target, relative to the shooter.
        const RwV3d r = {c.pt.x - c.ps.x + (c.vt.x - c.vs.x) * time,
                         c.pt.y - c.ps.y + (c.vt.y - c.vs.y) * time,
                         c.pt.z - c.ps.z + (c.vt.z - c.vs.z) * time};
        EXPECT_NEAR(aim.x * c.speed * time, r.x, 1e-2f);
        EXPECT_NEAR(aim.z * c.speed * time, r.z, 1e-2f);
    }
    // A crossing target is led: the aim points ahead of it.
    RwV3d aim;
    ASSERT_TRUE(
        ComputeIntercept({0, 0, 0}, {0, 0, 0}, {0, 0, 1000}, {600, 0, 0}, 1000, &aim, nullptr, nullptr));
    EXPECT_GT(aim.x, 0.5f);
}

// No solution, and no time ahead, leave the outputs untouched: a past or broken aim is no aim.
TEST(Intercept, NoSolutionLeavesTheOutputs) {
    struct Case {
        RwV3d vt;
        float speed;
    } cases[] = {
        {{0, 0, 1000}, 1000}, // equal speeds: A = 0
        {{2000, 0, 0}, 1000}, // crossing faster than the projectile: negative discriminant
        {{0, 0, 2000}, 1000}, // faster target running away: the root is t = -1, in the past
        {{0, 0, 0}, NAN},     // no speed at all
        {{NAN, 0, 0}, 1000},  {{0, 0, 0}, INFINITY},
        {{0, 0, 0}, 1e-30f}, // a speed so small that the time overflows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.vt.x << " " << c.vt.z << " " << c.speed);
        RwV3d aim = {7, 7, 7}, point = {8, 8, 8};
        float time = 9;
        EXPECT_FALSE(
            ComputeIntercept({0, 0, 0}, {0, 0, 0}, {0, 0, 1000}, c.vt, c.speed, &aim, &point, &time));
        EXPECT_EQ(aim.x, 7);
        EXPECT_EQ(point.y, 8);
        EXPECT_EQ(time, 9);
    }
}
