// Smoke columns and hit spots on a world clock set by hand: the emission schedule, the hold and fade of a
// hit spot, the end of both, and a second blast strengthening the spot the first one left.
#include "EffectsFixture.h"

#include "objects/Explosion.h"
#include "objects/HitSpot.h"
#include "objects/Smoke.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Effects::Ball;

class Smokes : public Effects::EffectsWorld {
protected:
    // A hit spot of strength S at the point, in the world, with its smoke.
    Base::SmartPtr<Obj::HitSpot> Spot(float strength, RwV3d at = {0, 0, 0}) {
        Obj::HitSpot* spot = Obj::HitSpot::Create(strength, at);
        world->AddObject(spot);
        return spot;
    }
};

TEST_F(Smokes, SetUpFromStrength) {
    auto spot = Spot(3);
    Obj::Smoke* smoke = spot->smoke;
    ASSERT_NE(smoke, nullptr);
    EXPECT_EQ(smoke->world, world.get());
    EXPECT_EQ(smoke->GetParent(), spot.Get());
    const float k = std::sqrt(3.0f);
    EXPECT_FLOAT_EQ(smoke->root, k);
    EXPECT_GE(smoke->interval, 0.8f * k * 0.1f);
    EXPECT_LT(smoke->interval, 1.2f * k * 0.1f);
    EXPECT_GE(smoke->puffLife, 0.8f * k * 10);
    EXPECT_LT(smoke->puffLife, 1.2f * k * 10);
    EXPECT_GE(spot->holdTime, 0.5f * k * 60);
    EXPECT_LT(spot->holdTime, 2.0f * k * 60);
    EXPECT_GE(spot->fadeTime, 0.5f * k * 180);
    EXPECT_LT(spot->fadeTime, 2.0f * k * 180);
    // No sphere before the first run: drawn from the catch-all.
    EXPECT_EQ(smoke->GetBoundingSphere(), nullptr);
    EXPECT_EQ(smoke->Obj::Renderable::sector, world->renderables->catchAll.get());
}

// A smoke first run an hour into the world emits nothing owed from before; then one puff per interval, the
// first ones fainter, none while the clock stands still.
TEST_F(Smokes, ScheduleWithoutBacklog) {
    auto spot = Spot(3, {100, 20, -50});
    Obj::Smoke* smoke = spot->smoke;
    const float t0 = 3600;
    RunAt(t0, 0.05f);
    EXPECT_TRUE(smoke->puffs.empty());
    EXPECT_EQ(smoke->startTime, t0);
    ASSERT_NE(smoke->GetBoundingSphere(), nullptr);

    const float interval = smoke->interval;
    size_t emitted = 0;
    float t = t0;
    for (int frame = 1; frame <= 40; ++frame) {
        t = t0 + 0.05f * float(frame);
        RunAt(t, 0.05f);
        // Emitted while the last emission plus the interval lies before now.
        const float owed = std::floor((t - t0) / interval);
        EXPECT_NEAR(float(smoke->puffs.size()), owed, 1.0f) << t;
        EXPECT_GE(smoke->puffs.size(), emitted);
        emitted = smoke->puffs.size();
    }
    ASSERT_GT(emitted, 5u);
    const Obj::Smoke::Particle& first = smoke->puffs.front();
    EXPECT_GT(first.opacity, 0);
    EXPECT_LT(first.opacity, 1);
    EXPECT_EQ(first.growth, smoke->root);
    EXPECT_GT(first.size, 3);
    EXPECT_NEAR(first.velocity[1], 5 * std::sqrt(3.0f), 1e-4);
    // Jittered by up to S = 3 about the source, then risen at 5 k from its emission (within the first
    // interval and frame).
    const float k = std::sqrt(3.0f);
    EXPECT_LT(first.position[1], 20 + 3 + 5 * k * (t - t0));
    EXPECT_GT(first.position[1], 20 - 3 + 5 * k * (t - t0 - interval - 0.05f));
    // After 0.5 k seconds new puffs are fully opaque.
    RunAt(t0 + 0.5f * smoke->root + 0.5f, 0.05f);
    EXPECT_EQ(smoke->puffs.back().opacity, 1);

    // The clock stands still: the puffs keep their state and no more are emitted.
    const float now = world->time->time;
    const size_t count = smoke->puffs.size();
    const Obj::Smoke::Particle last = smoke->puffs.back();
    for (int i = 0; i < 3; ++i)
        RunAt(now, 0);
    EXPECT_EQ(smoke->puffs.size(), count);
    EXPECT_EQ(smoke->puffs.back().position[1], last.position[1]);
    EXPECT_EQ(smoke->puffs.back().life, last.life);
}

TEST_F(Smokes, PuffFadesInThenOut) {
    auto spot = Spot(3);
    Obj::Smoke* smoke = spot->smoke;
    RunAt(0, 0.05f);
    float t = 0;
    while (smoke->puffs.empty()) {
        t += 0.05f;
        RunAt(t, 0.05f);
    }
    RunAt(t + 5, 0.1f); // opacity 1 puffs from here
    const float T = smoke->puffLife;
    for (float age = 0; age < T - 0.2f; age += 0.2f) {
        RunAt(t + 5 + 0.1f + age, 0.1f);
        const Obj::Smoke::Particle& p = smoke->puffs.back();
        if (p.opacity < 1)
            continue;
        const float f = p.life / T;
        const float a = std::clamp(std::min(f * f * f, 15 * (T - p.life) / T), 0.0f, 1.0f);
        EXPECT_EQ(p.color[3], Obj::UnitToByte(a));
    }
}

// On a controlled clock: full strength for the hold time, then a linear fade, the smoke stopped once the
// faded strength is 0.1 or less; the smoke's puffs age out, the smoke goes, and the spot with it.
TEST_F(Smokes, HitSpotHoldsFadesAndEnds) {
    auto spot = Spot(3);
    Base::SmartPtr<Obj::Smoke> smoke = spot->smoke.Get();
    const float start = 100, hold = spot->holdTime, fade = spot->fadeTime;
    RunAt(start, 0.1f);
    EXPECT_EQ(spot->startTime, start);
    RunAt(start + hold - 0.5f, 0.1f);
    EXPECT_FLOAT_EQ(smoke->strength, 3);
    // A pause mid-hold keeps the phase.
    RunAt(start + hold - 0.5f, 0);
    EXPECT_FLOAT_EQ(smoke->strength, 3);
    RunAt(start + hold + 0.25f * fade, 0.1f);
    EXPECT_NEAR(smoke->strength, 0.75f * 3, 1e-3);
    EXPECT_NEAR(smoke->root, std::sqrt(0.75f * 3), 1e-3);
    RunAt(start + hold + 0.9f * fade, 0.1f);
    EXPECT_NEAR(smoke->strength, 0.1f * 3, 1e-3);
    EXPECT_FALSE(smoke->stopped);
    // Faded to 0.1 or less: stopped.
    const float stopAt = start + hold + fade * (1 - 0.1f / 3) + 0.5f;
    RunAt(stopAt, 0.1f);
    ASSERT_TRUE(smoke);
    EXPECT_TRUE(smoke->stopped);
    const size_t left = smoke->puffs.size();
    RunAt(stopAt + 0.1f, 0.1f);
    EXPECT_LE(smoke->puffs.size(), left);
    // Puffs live at most their life: then the smoke, and at the next run the spot.
    float t = stopAt + 0.1f;
    while (smoke && t < stopAt + 1.3f * smoke->puffLife + 1) {
        t += 0.5f;
        RunAt(t, 0.5f);
    }
    EXPECT_FALSE(smoke);
    RunAt(t + 0.1f, 0.1f);
    EXPECT_FALSE(spot);
    EXPECT_TRUE(world->IsEmpty());
    EXPECT_TRUE(world->runnables->IsEmpty());
}

TEST_F(Smokes, WeakSpotStopsAtTheEndOfItsHold) {
    auto spot = Spot(0.09f);
    Obj::Smoke* smoke = spot->smoke;
    RunAt(0, 0.1f);
    RunAt(spot->holdTime + 0.01f, 0.1f);
    EXPECT_TRUE(smoke->stopped);
}

// A spot whose smoke has gone is removed and deleted at its next run, in whatever phase.
TEST_F(Smokes, SpotWithoutSmokeGoes) {
    auto spot = Spot(3);
    RunAt(1, 0.1f);
    Obj::Smoke* smoke = spot->smoke;
    world->RemoveObject(smoke);
    delete smoke;
    EXPECT_FALSE(spot->smoke);
    RunAt(1.1f, 0.1f);
    EXPECT_FALSE(spot);
}

// Without strength the column has nothing to emit (its interval is 0) and must not loop.
TEST_F(Smokes, ZeroStrengthEmitsNothing) {
    auto spot = Spot(0);
    RunAt(0, 0.1f);
    RunAt(10, 0.1f);
    EXPECT_TRUE(spot->smoke->puffs.empty());
}

// The carrying object goes first: the spot and its smoke leave the world and die with it.
TEST_F(Smokes, DieWithTheirCarrier) {
    auto* carrier = new Ball<Obj::Static>("carrier", {0, 0, 0}, 5);
    world->AddObject(carrier);
    auto spot = Spot(3, {0, 5, 0});
    spot->AttachTo(carrier, carrier->frame, true);
    Base::SmartPtr<Obj::Smoke> smoke = spot->smoke.Get();
    RunAt(1, 0.1f);
    world->RemoveObject(carrier);
    EXPECT_EQ(spot->world, nullptr);
    EXPECT_EQ(smoke->world, nullptr);
    delete carrier;
    EXPECT_FALSE(spot);
    EXPECT_FALSE(smoke);
    EXPECT_TRUE(world->IsEmpty());
}

// A blast leaves a hit spot on the ball, attached at the impact point; a second blast nearby strengthens
// that spot (by half of its own spot strength) instead of adding one, up to the cap of 50.
TEST_F(Smokes, SecondBlastStrengthensTheSpotUpToItsCap) {
    auto* ball = new Ball<Obj::Static>("ball", {0, 0, 0}, 5);
    ball->SetMaxHitPoints(1e9f);
    world->AddObject(ball);
    const auto blow = [&](RwV3d at, float strength) {
        auto* e = new Obj::Explosion;
        const float p[3] = {at.x, at.y, at.z};
        e->Setup(p, strength, "");
        world->AddObject(e);
    };
    // Radius 8; the blast's probes reach half of it, down to the top of the ball 3 away. Spot strength
    // 64^0.25 = 2.83 times [0.75, 1.25).
    blow({0, 8, 0}, 64);
    const float s = std::pow(64.0f, 0.25f);
    auto* spot = ball->FindChild<Obj::HitSpot>();
    ASSERT_NE(spot, nullptr);
    EXPECT_EQ(spot->world, world.get());
    double w[3];
    spot->GetWorldPositionDouble(w);
    EXPECT_NEAR(w[1], 5, 1e-4);
    const float first = spot->strength;
    EXPECT_GE(first, s * 0.75f);
    EXPECT_LT(first, s * 1.25f);

    blow({0.5f, 8, 0}, 64);
    int spots = 0;
    for (Obj::Attachable* c = ball->FirstChild(); c; c = c->NextSibling())
        spots += dynamic_cast<Obj::HitSpot*>(c) != nullptr;
    EXPECT_EQ(spots, 1);
    EXPECT_GE(spot->strength, first + 0.5f * s * 0.75f - 1e-5f);
    EXPECT_LT(spot->strength, first + 0.5f * s * 1.25f);
    EXPECT_EQ(spot->smoke->strength, spot->strength);

    // A huge blast would add hundreds: the spot stops at 50.
    blow({0, 8, 0.5f}, 1e9f);
    EXPECT_EQ(spot->strength, 50);
    EXPECT_EQ(spot->smoke->strength, 50);
    EXPECT_FLOAT_EQ(spot->smoke->root, std::sqrt(50.0f));
}

} // namespace
