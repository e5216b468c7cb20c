// The cockpit's records on their own: the smoothing history, the threat list, the target data, the
// navigation points, and the instruments' arithmetic (needles, the radar's range steps and display points,
// the blackout's colours).
#include "tests/scene/SceneFixture.h"

#include "cockpit/Blackout.h"
#include "cockpit/Instruments.h"
#include "cockpit/Navpoints.h"
#include "cockpit/Radar.h"
#include "cockpit/TargetData.h"
#include "cockpit/Threats.h"

#include "scene/Attachable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr float Pi = 3.14159265f;

TEST(SampleHistory, ReachesAConstantAtSample33) {
    Cockpit::SampleHistory<float> history;
    for (int n = 1; n <= 40; ++n) {
        const float out = history.AddAndFilter(2.5f, 20, 10, 5);
        if (n < 33)
            EXPECT_LT(out, 2.5f - 1e-4f) << n;
        else
            EXPECT_NEAR(out, 2.5f, 1e-5f) << n;
    }
    // No first window: the sample comes back as it is.
    EXPECT_EQ(history.AddAndFilter(7.0f, 0, 10, 5), 7.0f);
}

TEST(SampleHistory, OneWindowIsTheMeanOfTheLastSamples) {
    // Against a plain mean of the last w samples (the buffer's first samples are zero).
    Cockpit::SampleHistory<float> history;
    std::vector<float> fed;
    for (int n = 0; n < 60; ++n) {
        const float sample = std::sin(float(n)) * 10;
        fed.push_back(sample);
        const float out = history.AddAndFilter(sample, 7);
        float mean = 0;
        for (int k = 0; k < 7 && k < int(fed.size()); ++k)
            mean += fed[fed.size() - 1 - size_t(k)] / 7;
        EXPECT_NEAR(out, mean, 1e-4f) << n;
    }
}

// Records that point at frames need the engine.
class Records : public SceneEngine {};

TEST_F(Records, ThreatKindsUpgradeExpireAndKeepTheirSource) {
    Cockpit::Threats threats;
    auto source = std::make_unique<Obj::Frame>();
    auto other = std::make_unique<Obj::Frame>();
    threats.Add(0, source.get(), 1.0f);
    threats.Add(2, source.get(), 2.0f); // a higher kind upgrades the entry
    ASSERT_EQ(threats.entries.size(), 1u);
    EXPECT_EQ(threats.entries[0].kind, 2);
    EXPECT_EQ(threats.entries[0].time, 2.0f);
    threats.Add(2, source.get(), 3.0f); // the same kind moves its time on
    ASSERT_EQ(threats.entries.size(), 1u);
    EXPECT_EQ(threats.entries[0].time, 3.0f);
    threats.Add(0, source.get(), 3.0f); // a lower kind never lowers it: a second entry
    ASSERT_EQ(threats.entries.size(), 2u);
    EXPECT_EQ(threats.entries[1].kind, 0);
    threats.Add(1, other.get(), 3.0f);
    ASSERT_EQ(threats.entries.size(), 3u);

    // Lifetimes: missile 0.25 s, launch 5 s, tracking 10 s after the last report.
    const struct {
        float now;
        size_t left;
    } steps[] = {{3.25f, 3}, {3.26f, 2}, {8.0f, 2}, {8.01f, 1}, {13.0f, 1}, {13.01f, 0}};
    for (const auto& step : steps) {
        threats.Expire(step.now);
        EXPECT_EQ(threats.entries.size(), step.left) << step.now;
    }

    // A source that is destroyed takes its entries with it at the next expiry.
    threats.Add(0, other.get(), 20.0f);
    other.reset();
    EXPECT_EQ(threats.entries[0].source.Get(), nullptr);
    threats.Expire(20.0f);
    EXPECT_TRUE(threats.entries.empty());
}

// The target's frame at a world position, turned about +y by degrees (90 takes its nose from +z to +x).
void Place(Obj::Frame& target, RwV3d position, float degrees) {
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    const RwV3d up{0, 1, 0};
    RwMatrixRotate(&m, &up, degrees, rwCOMBINEREPLACE);
    m.pos = position;
    RwMatrixUpdate(&m);
    target.Transform(&m, rwCOMBINEREPLACE);
}

TEST_F(Records, TargetDataFirstMeasuresOnlyThenSpeedBuildsUp) {
    auto target = std::make_unique<Obj::Frame>();
    Cockpit::TargetData data;
    data.target = target.get();
    const RwV3d reference{0, 100, 0};
    // The target flies along -x (heading 90) at 200 m/s, 1000 m above the reference, closing on it. The
    // first sample only measures; the smoothing of the others is full from the 33rd on.
    const float dt = 0.05f;
    for (int n = 0; n < 40; ++n) {
        const float t = 1.0f + dt * float(n);
        Place(*target, {5000.0f - 200.0f * dt * float(n), 1100, 0}, -90);
        data.Update(t, reference);
        if (n == 0) {
            EXPECT_NEAR(data.distance, std::hypot(5000.0f, 1000.0f), 0.01f);
            EXPECT_EQ(data.speed, 0);
            EXPECT_EQ(data.closingSpeed, 0);
            EXPECT_EQ(data.heightDifference, 0);
            EXPECT_NEAR(data.heading, 90, 1e-3f);
        } else if (n < 33) {
            EXPECT_LT(data.speed, 199.9f) << n;
        } else if (n > 33) {
            EXPECT_NEAR(data.speed, 200, 0.05f) << n;
            // Measured from the current towards the previous position.
            EXPECT_NEAR(data.velocity.x, 200, 0.05f);
            EXPECT_NEAR(data.heightDifference, 1000, 1e-3f);
            EXPECT_GT(data.closingSpeed, 190);
        }
    }
    // A heading towards +x comes out as 270, in [0, 360).
    Place(*target, {0, 0, 0}, 90);
    data.Update(10, reference);
    EXPECT_NEAR(data.heading, 270, 1e-3f);
    // No time passed: only the heading is refreshed.
    const float distance = data.distance;
    Place(*target, {100, 0, 0}, 90);
    data.Update(10, reference);
    EXPECT_EQ(data.distance, distance);

    // Without a target everything is zero.
    data.target = nullptr;
    data.Update(11, reference);
    EXPECT_EQ(data.speed, 0);
    EXPECT_EQ(data.distance, 0);
    EXPECT_EQ(data.lastTime, 0);
}

TEST(Navpoints, SlotsStayPutAndSteppingWraps) {
    Cockpit::Navpoints navpoints;
    navpoints.SelectNext();
    EXPECT_EQ(navpoints.current, -1); // no slots
    navpoints.Add(3, "Target", 100, -200);
    ASSERT_EQ(navpoints.points.size(), 4u);
    EXPECT_EQ(navpoints.current, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(navpoints.Get(i), nullptr);
    ASSERT_NE(navpoints.Get(3), nullptr);
    EXPECT_EQ(navpoints.Get(3)->name, "Target");
    EXPECT_EQ(navpoints.Get(3)->z, -200);
    for (int index : {-1, 4, 100})
        EXPECT_EQ(navpoints.Get(index), nullptr) << index;

    navpoints.Add(1, "Home", 0, 0);
    navpoints.Add(1, "Base", 5, 5); // replaces
    EXPECT_EQ(navpoints.Get(1)->name, "Base");
    navpoints.Remove(1); // the current one: its slot empties, current stays
    EXPECT_EQ(navpoints.current, 1);
    EXPECT_EQ(navpoints.Get(1), nullptr);
    navpoints.Remove(9);
    EXPECT_EQ(navpoints.points.size(), 4u);

    // Empty slots are stepped over like the others.
    navpoints.points.resize(3);
    navpoints.current = -1;
    for (int expected : {0, 1, 2, 0, 1}) {
        navpoints.SelectNext();
        EXPECT_EQ(navpoints.current, expected);
    }
}

TEST(Instruments, NeedleAngles) {
    const struct { float knots, turns; } speeds[] = {{0, 0}, {250, 0.25f}, {500, 0.5f}, {1000, 1}, {1500, 1}};
    for (const auto& s : speeds)
        EXPECT_NEAR(Cockpit::AirspeedInd::NeedleAngle(s.knots / 1.9440124f), s.turns * 2 * Pi, 1e-4f)
            << s.knots;

    const struct {
        float metres, turns1, turns2;
    } heights[] = {{0, 0, 0}, {1524, 0.5f, 0.05f}, {3048, 0, 0.1f}, {6096 + 1524, 0.5f, 0.25f}};
    for (const auto& h : heights) {
        float a1, a2;
        Cockpit::Altimeter::NeedleAngles(h.metres, a1, a2);
        // A whole turn reads as none.
        EXPECT_NEAR(std::remainder(a1, 2 * Pi), std::remainder(h.turns1 * 2 * Pi, 2 * Pi), 1e-3f) << h.metres;
        EXPECT_NEAR(a2, h.turns2 * 2 * Pi, 1e-3f) << h.metres;
    }
}

TEST(Radar, RangeSteps) {
    std::vector<float> up{40000}, down{2000};
    for (int i = 0; i < 6; ++i) {
        up.push_back(Cockpit::Radar::NextRange(up.back(), 1));
        down.push_back(Cockpit::Radar::NextRange(down.back(), -1));
    }
    EXPECT_EQ(up, (std::vector<float>{40000, 60000, 2000, 5000, 10000, 20000, 40000}));
    EXPECT_EQ(down, (std::vector<float>{2000, 60000, 40000, 20000, 10000, 5000, 2000}));
    EXPECT_EQ(Cockpit::Radar::NextRange(40000, 0), 20000); // anything but 1 is smaller
}

TEST(Radar, DisplayPointsAreHeadingUp) {
    // Facing +z (angle 0) and facing -x (the angle of heading 90): ahead is up, the airplane's left (+x of
    // its model) is the display's +x.
    const struct {
        float theta;
        RwV3d point;
        Base::Vector2 shown;
    } cases[] = {
        {0, {0, 0, 1000}, {0, 0.5f}},      {0, {1000, 0, 0}, {0.5f, 0}}, {Pi / 2, {-1000, 0, 0}, {0, 0.5f}},
        {Pi / 2, {0, 0, 1000}, {0.5f, 0}}, {0, {2000, 0, 2000}, {1, 1}},
    };
    for (const auto& c : cases) {
        const Base::Vector2 p =
            Cockpit::Radar::DisplayPoint(c.point.x + 10, c.point.z - 20, 10, -20, 2000, c.theta);
        EXPECT_NEAR(p.x, c.shown.x, 1e-5f);
        EXPECT_NEAR(p.y, c.shown.y, 1e-5f);
    }
}

TEST(Radar, RimBlinks) {
    // On or inside the rim steadily; beyond it at the rim while the blink is on.
    const struct {
        Base::Vector2 point;
        bool blinkOn, shown;
        Base::Vector2 at;
    } cases[] = {{{0.6f, 0.8f}, false, true, {0.6f, 0.8f}},
                 {{0, -1}, false, true, {0, -1}},
                 {{0, 1.01f}, false, false, {0, 1.01f}},
                 {{0, -2}, true, true, {0, -1}},
                 {{3, 4}, true, true, {0.6f, 0.8f}}};
    for (const auto& c : cases) {
        Base::Vector2 p = c.point;
        EXPECT_EQ(Cockpit::Radar::OnRim(p, c.blinkOn), c.shown);
        EXPECT_NEAR(p.x, c.at.x, 1e-6f);
        EXPECT_NEAR(p.y, c.at.y, 1e-6f);
    }
    // The contacts' blink: on for 0.35 s of every 0.6 s.
    EXPECT_TRUE(Cockpit::Radar::BlinkOn(12.0, 0.6, 0.35));
    EXPECT_TRUE(Cockpit::Radar::BlinkOn(12.34, 0.6, 0.35));
    EXPECT_FALSE(Cockpit::Radar::BlinkOn(12.36, 0.6, 0.35));
}

TEST(Blackout, Colours) {
    const struct {
        float blackout, redout;
        RwRGBA colour;
    } cases[] = {
        {0.5f, 0, {0, 0, 0, 0}},    {1, 0, {0, 0, 0, 255}},       {0, 1, {192, 0, 0, 255}},
        {0.75f, 0, {0, 0, 0, 127}}, {0, 0.75f, {192, 0, 0, 127}}, {0.75f, 0.75f, {96, 0, 0, 255}},
        {0.2f, 0.3f, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const RwRGBA got = Cockpit::Blackout::Colour(c.blackout, c.redout);
        EXPECT_EQ(got.red, c.colour.red) << c.blackout << " " << c.redout;
        EXPECT_EQ(got.green, 0);
        EXPECT_EQ(got.blue, 0);
        EXPECT_EQ(got.alpha, c.colour.alpha) << c.blackout << " " << c.redout;
    }
    // Near the limit a draw that is not a multiple of 9 makes it opaque.
    EXPECT_EQ(Cockpit::Blackout::Flicker({0, 0, 0, 220}, 10).alpha, 255);
    EXPECT_EQ(Cockpit::Blackout::Flicker({0, 0, 0, 220}, 18).alpha, 220);
    EXPECT_EQ(Cockpit::Blackout::Flicker({0, 0, 0, 210}, 10).alpha, 210);
}

} // namespace
