// Spurts and engine exhaust on a controlled world clock: particle counts and lives, spray that dies under
// the sea, the end of a spurt at its first draw without live particles, the exhaust's alpha ramp and a
// flicker that repeats for the same world time.
#include "tests/scene/SceneFixture.h"

#include "objects/Exhaust.h"
#include "objects/Spurt.h"
#include "scene/World.h"

#include "base/Maths.h"
#include "base/Random.h"
#include "base/SmartPtr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

class Effects : public SceneWorld {
protected:
    void SetUp() override {
        SceneWorld::SetUp();
        Clock(1, 0.02f);
    }
};

TEST_F(Effects, SpurtCountsAndLives) {
    const float ground[3] = {100, 20, 50};
    auto* land = new Obj::SpurtLand;
    land->Setup(ground, 0.75f);
    ASSERT_EQ(land->particles.size(), 50u);
    const float l = 1.1f * std::sqrt(0.75f);
    EXPECT_FLOAT_EQ(land->maxLife, l);
    for (const auto& p : land->particles) {
        EXPECT_GE(p.life, 0.8f * l);
        EXPECT_LT(p.life, 1.2f * l + 1e-6f);
        EXPECT_LE(std::fabs(p.position[0]), 0.075f);
        EXPECT_EQ(p.position[1], 0);
        EXPECT_GE(p.velocity[1], 0.75f * std::sqrt(0.75f));
        EXPECT_FLOAT_EQ(p.size, 0.8f * std::sqrt(0.75f));
        EXPECT_TRUE(p.angle == 0 || std::fabs(std::fabs(p.angle) - float(Base::Pi)) < 1e-6f);
        EXPECT_EQ(p.color[3], 255);
    }
    EXPECT_EQ(land->sphere.radius, 0);
    delete land;

    const float sea[3] = {0, 0, 0};
    auto* water = new Obj::SpurtWater;
    water->Setup(sea, 40);
    ASSERT_EQ(water->particles.size(), 60u);
    const float lw = 1.5f * std::sqrt(40.0f) + 0.5f;
    for (const auto& p : water->particles) {
        EXPECT_GE(p.life, 0.7f * lw);
        EXPECT_LT(p.life, 1.2f * lw + 1e-5f);
        EXPECT_EQ(p.velocity[0], 0);
        EXPECT_EQ(p.velocity[2], 0);
        EXPECT_GT(p.velocity[1], 0);
        EXPECT_LE(std::fabs(p.position[0]), 0.18 * 40);
    }
    delete water;
}

TEST_F(Effects, SprayDiesUnderTheSeaAndTheSpurtEndsAtItsNextDraw) {
    const float sea[3] = {0, 0.5f, 0};
    Obj::Spurt* spurt = Obj::CreateImpactSpurt(world.get(), sea, 0.75f);
    auto* water = dynamic_cast<Obj::SpurtWater*>(spurt);
    ASSERT_NE(water, nullptr); // 0.5 is water
    Base::SmartPtr<Obj::Spurt> watched(spurt);
    // Paused: nothing moves.
    Clock(1, 0);
    const auto before = water->particles;
    water->Run();
    EXPECT_EQ(water->particles[7].position[1], before[7].position[1]);
    EXPECT_EQ(water->particles[7].life, before[7].life);

    // Dropped from where they are, every top is soon under water, long before the lives run out.
    for (auto& p : water->particles)
        p.velocity[1] = 0;
    float now = 1;
    for (int frame = 0; frame < 200 && watched; ++frame) {
        Clock(now += 0.01f, 0.01f);
        water->Run();
        for (const auto& p : water->particles) {
            if (p.position[1] + p.size / 2 < 0) {
                EXPECT_EQ(p.life, 0);
            }
        }
        bool any = false;
        for (const auto& p : water->particles)
            any = any || p.life > 0;
        if (!any) {
            EXPECT_LT(now - 1, water->maxLife * 0.7f); // long before the shortest life
            break;
        }
        ASSERT_TRUE(watched);
        spurt->Render(Obj::Spurt::RenderOrder, nullptr);
    }
    ASSERT_TRUE(watched);
    spurt->Render(Obj::Spurt::RenderOrder, nullptr);
    EXPECT_FALSE(watched);
    EXPECT_TRUE(world->IsEmpty());
}

TEST_F(Effects, DustRisesFadesAndEnds) {
    const float ground[3] = {1000, 200.5f, -300};
    Obj::Spurt* spurt = Obj::CreateImpactSpurt(world.get(), ground, 0.75f);
    auto* land = dynamic_cast<Obj::SpurtLand*>(spurt);
    ASSERT_NE(land, nullptr);
    Base::SmartPtr<Obj::Spurt> watched(spurt);
    EXPECT_EQ(world->runnables->IsEmpty(), false);
    Clock(1.1f, 0.1f);
    land->Run();
    // The sphere moved with the particles, about the spurt's position.
    EXPECT_NEAR(land->sphere.center.x, 1000, 2);
    EXPECT_GT(land->sphere.center.y, 200.5f);
    EXPECT_GT(land->sphere.radius, 0);
    for (int frame = 0; frame < 20 && watched; ++frame) {
        Clock(1.2f + frame * 0.1f, 0.1f);
        land->Run();
        spurt->Render(Obj::Spurt::RenderOrder, nullptr);
    }
    EXPECT_FALSE(watched); // at most 1.2 L = 1.14 s
}

TEST_F(Effects, LookingStraightDownOnSprayKeepsItsQuads) {
    Obj::EffectView view;
    view.right = {1, 0, 0};
    view.up = {0, 0, 1};
    view.at = {0, -1, 0};
    RwV3d a, b;
    Obj::SpurtWater::QuadAxes(view, a, b);
    EXPECT_GT(Base::VectorLength(a), 0.9);
    EXPECT_GT(Base::VectorLength(b), 0.9);
    // A level view: A = at x up, B = at x A.
    view.at = {0, 0, 1};
    view.up = {0, 1, 0};
    Obj::SpurtWater::QuadAxes(view, a, b);
    EXPECT_NEAR(a.x, -1, 1e-6);
    EXPECT_NEAR(b.y, -1, 1e-6);
}

TEST_F(Effects, ExhaustAlphaRamp) {
    EXPECT_EQ(Obj::Exhaust::QuadAlpha(0, 12, 0, 192), 96);
    EXPECT_EQ(Obj::Exhaust::QuadAlpha(0, 12, 0.5f, 192), 144); // three quarters on average
    EXPECT_EQ(Obj::Exhaust::QuadAlpha(0, 12, 0.999999f, 192), 192);
    EXPECT_EQ(Obj::Exhaust::QuadAlpha(11, 12, 0.999999f, 255), 0); // the last quad
    EXPECT_EQ(Obj::Exhaust::QuadAlpha(6, 13, 0, 200), 50);         // half way down
    // One quad has nothing to ramp over: the full flame.
    EXPECT_EQ(Obj::Exhaust::QuadAlpha(0, 1, 0, 200), 100);
    EXPECT_TRUE(Obj::Exhaust::InRange(600, 0.5f, 1.5f));
    EXPECT_FALSE(Obj::Exhaust::InRange(601, 0.5f, 1.5f));
}

TEST_F(Effects, AnAirplanesNozzlesFromItsDescription) {
    Base::Info info;
    ASSERT_EQ(info.LoadText("Nozzles\n{\n\tOffset0\t-1 0.5 -6\n\tOffset1\t1 0.5 -6\n\tDiameter1\t0\n"
                            "\tOffset2\t0 1 -7\n\tDiameter2\t-2\n\tOffset4\t0 0 0\n}\n"),
              0);
    Obj::Exhaust exhaust;
    exhaust.SetupAirplane(info);
    ASSERT_EQ(exhaust.nozzleCount, 3u); // the list ends at the first missing offset
    const Obj::Exhaust::Nozzle& first = exhaust.nozzles[0];
    EXPECT_EQ(first.position[0], -1);
    EXPECT_EQ(first.position[2], -6);
    EXPECT_EQ(first.direction[2], -1);
    EXPECT_EQ(first.diameter, 1.0f); // missing
    EXPECT_EQ(first.length, 3.0f);
    EXPECT_EQ(first.segments, 12u);
    EXPECT_EQ(first.color[3], 192);
    EXPECT_EQ(exhaust.nozzles[1].diameter, 0.0f); // 0 stays
    EXPECT_EQ(exhaust.nozzles[2].diameter, 1.0f); // negative
    EXPECT_EQ(exhaust.nozzles[2].length, 3.0f);

    // Without "Nozzles.Offset0" there are no nozzles, and nothing is ever drawn.
    Base::Info none;
    ASSERT_EQ(none.LoadText("Nozzles\n{\n\tOffset1\t0 0 0\n}\n"), 0);
    Obj::Exhaust bare;
    bare.SetupAirplane(none);
    EXPECT_EQ(bare.nozzleCount, 0u);
    Obj::EffectView view;
    Obj::VertexStore store;
    EXPECT_EQ(bare.Build(view, store), 0u);

    Obj::Exhaust rocket;
    rocket.SetupRocket({0, 0, -1.2f}, 0.3f);
    ASSERT_EQ(rocket.nozzleCount, 1u);
    EXPECT_EQ(rocket.nozzles[0].diameter, 0.3f);
    EXPECT_EQ(rocket.nozzles[0].color[1], 230);
    EXPECT_EQ(rocket.Build(view, store), 0u); // no length and quads until its engine burns
}

TEST_F(Effects, ExhaustFlickerRepeatsForTheSameWorldTime) {
    auto* exhaust = new Obj::Exhaust;
    exhaust->LoadTexture(2);
    for (int n = 0; n < 2; ++n) {
        auto& nozzle = exhaust->nozzles[size_t(n)];
        nozzle = {{n ? 1.5f : -1.5f, 0, -5}, {0, 0, -1}, 1, 3, 12, {255, 224, 192, 192}};
    }
    world->AddObject(exhaust);
    Obj::EffectView view;
    view.position[2] = 30;
    view.at = {0, 0, -1};
    view.right = {-1, 0, 0};
    view.windowX = 0.5f;
    Obj::VertexStore store;
    auto colours = [&](float now) {
        Clock(now, 0.02f);
        const size_t count = exhaust->Build(view, store);
        std::vector<uint32_t> out;
        const RwIm3DVertex* v = store.Reserve(count);
        for (size_t i = 0; i < count; i += 6)
            out.push_back(v[i].color);
        return out;
    };
    // Drawing leaves the program's generator as it was: the next number is the one it would have drawn.
    Base::Random::Seed(77);
    const uint32_t expected = Base::Random::NextUInt32();
    Base::Random::Seed(77);
    colours(3.25f);
    EXPECT_EQ(Base::Random::NextUInt32(), expected);
    const auto first = colours(3.25f);
    ASSERT_EQ(first.size(), 24u);
    EXPECT_EQ(colours(3.25f), first);
    EXPECT_EQ(colours(13.25f), first); // every 10 s
    EXPECT_NE(colours(3.5f), first);
    // The seed is the world time's milliseconds within its 10 s; one draw per quad, nozzle by nozzle.
    Base::Random::Seed(3250);
    for (size_t k = 0; k < 24; ++k) {
        const float u = float(double(Base::Random::NextUInt32()) * (1.0 / 4294967296.0));
        EXPECT_EQ(first[k] >> 24, Obj::Exhaust::QuadAlpha(uint32_t(k % 12), 12, u, 192)) << k;
        EXPECT_EQ(first[k] & 0xFFFFFF, 0xFFE0C0u);
    }
    // The quads run from the nozzle along its direction, camera-relative.
    const RwIm3DVertex* v = store.Reserve(1);
    colours(3.25f);
    EXPECT_NEAR((v[0].objVertex.z + v[2].objVertex.z) / 2, -35, 1e-4);
    EXPECT_NEAR((v[11 * 6].objVertex.z + v[11 * 6 + 2].objVertex.z) / 2, -38, 1e-4);
    // Too far for its size: nothing.
    view.position[2] = 1e4;
    EXPECT_EQ(exhaust->Build(view, store), 0u);
    // No nozzles: nothing.
    view.position[2] = 30;
    exhaust->LoadTexture(0);
    EXPECT_EQ(exhaust->Build(view, store), 0u);
}

} // namespace
