// Explosions without a device: the particles they start with, the blast walk against a brute-force
// reference, the order in which targets are hit, the timing of the sounds and the end of an explosion that
// is never drawn.
#include "EffectsFixture.h"

#include "objects/Explosion.h"
#include "objects/ShootSphere.h"

#include "audio/Sound3d.h"
#include "audio/SoundGroup.h"
#include "base/SoundCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

namespace {

using Effects::Ball;

class Explosions : public Effects::EffectsWorld {
protected:
    Base::SmartPtr<Obj::Explosion> Blow(RwV3d at, float strength) {
        auto* explosion = new Obj::Explosion;
        const float position[3] = {at.x, at.y, at.z};
        explosion->Setup(position, strength, "");
        world->AddObject(explosion);
        return explosion;
    }
};

TEST_F(Explosions, ParticleCountsAndLifeBoundsByStrength) {
    for (const float strength : {0.0f, 1.5625f, 10.0f, 200.0f, 2500.0f}) {
        SCOPED_TRACE(strength);
        Obj::Explosion e;
        const float at[3] = {1000, 50, -2000};
        e.Setup(at, strength, "Bomb");
        EXPECT_EQ(e.damage, strength);
        EXPECT_EQ(e.sourceName, "Bomb");
        const double R = 1.6 * std::sqrt(strength) + 4.0;
        EXPECT_NEAR(e.BlastScale(), R, 1e-5);
        EXPECT_NEAR(e.fireLifeScale, 0.25 * std::sqrt(R), 1e-5);
        EXPECT_NEAR(e.smokeLifeScale, std::sqrt(R), 1e-5);
        ASSERT_EQ(e.fireParticles.size(), 170u);
        ASSERT_EQ(e.smokeParticles.size(), 26u);
        float longestFire = 0, shortestSmoke = 1e30f;
        for (const Obj::Particle& p : e.fireParticles) {
            EXPECT_GT(p.life, 0.5625 * e.fireLifeScale * (1 - 1e-6));
            EXPECT_LT(p.life, 1.35 * e.fireLifeScale);
            EXPECT_NEAR(p.size, 0.04 * std::pow(R, 1.25), 1e-4);
            EXPECT_GE(p.spin, -30);
            EXPECT_LT(p.spin, 30);
            // Jittered grid points inside the unit ball, times 0.1 R.
            const double o[3] = {p.position[0] - at[0], p.position[1] - at[1], p.position[2] - at[2]};
            EXPECT_LT(std::sqrt(o[0] * o[0] + o[1] * o[1] + o[2] * o[2]),
                      (1.0 + 0.1 * std::sqrt(3.0)) * 0.1 * R);
            EXPECT_NEAR(p.velocity[0], 25 * o[0], 1e-3 * R);
            longestFire = std::max(longestFire, p.life);
        }
        for (const Obj::Particle& p : e.smokeParticles) {
            EXPECT_GE(p.life, 0.75f * e.smokeLifeScale * (1 - 1e-6f));
            EXPECT_LT(p.life, 0.9f * e.smokeLifeScale);
            EXPECT_NEAR(p.size, 0.6 * R, 1e-4);
            shortestSmoke = std::min(shortestSmoke, p.life);
        }
        // Smoke outlives fire at every strength.
        EXPECT_LT(longestFire, shortestSmoke);
    }
}

TEST_F(Explosions, AgeingColoursFireAndFadesSmoke) {
    world->time->fixedStep = 0.05f;
    auto e = Blow({0, 100, 0}, 200);
    RunAt(0.05f, 0.05f);
    ASSERT_TRUE(e);
    for (const Obj::Particle& p : e->fireParticles) {
        const float t = p.life / e->fireLifeScale;
        EXPECT_EQ(p.color[0], Obj::UnitToByte(t));
        EXPECT_EQ(p.color[1], Obj::UnitToByte(t * t));
        EXPECT_EQ(p.color[3], Obj::UnitToByte(std::sqrt(t)));
    }
    // Smoke is invisible while its life is above 0.6875 of its scale.
    for (const Obj::Particle& p : e->smokeParticles)
        EXPECT_EQ(p.color[3], 0);
}

// A grid of 10 x 1 x 10 cells of 100 x 200 x 100 (margin 50) filled with random balls: the walk takes
// exactly the balls whose spheres the blast touches, plus those without a sphere.
TEST_F(Explosions, BlastWalkMatchesBruteForce) {
    RwBBox box;
    box.inf = {-500, -100, -500};
    box.sup = {500, 100, 500};
    Grp::Spatial<Obj::Static> group(box, 10, 1, 10);
    std::mt19937 random(26);
    std::uniform_real_distribution<float> x(-700, 700), y(-150, 150), radius(0.5f, 60), strength(0, 90000);
    std::vector<std::unique_ptr<Ball<Obj::Static>>> balls;
    for (int i = 0; i < 600; ++i) {
        auto ball = std::make_unique<Ball<Obj::Static>>(
            std::to_string(i), RwV3d{x(random), y(random), x(random)}, radius(random));
        ball->hasSphere = i % 50 != 0;
        ball->Static::group = &group;
        group.UpdateDamageable(ball.get());
        balls.push_back(std::move(ball));
    }
    for (int trial = 0; trial < 200; ++trial) {
        const RwSphere blast{{x(random), y(random), x(random)}, std::sqrt(strength(random))};
        std::multiset<Obj::Static*> walked, expected;
        Alg::ShootSphere::ForEachInBlast(group, blast, [&](Obj::Static* s) { walked.insert(s); });
        for (auto& ball : balls) {
            const RwSphere* s = ball->GetBoundingSphere();
            if (!s || std::hypot(double(s->center.x) - blast.center.x, double(s->center.y) - blast.center.y,
                                 double(s->center.z) - blast.center.z) <= double(s->radius) + blast.radius)
                expected.insert(ball.get());
        }
        ASSERT_EQ(walked, expected) << "trial " << trial << " radius " << blast.radius;
    }
    for (auto& ball : balls)
        Grp::Spatial<Obj::Static>::Remove(ball.get());
}

// Strength 0: no cell comes strictly closer than radius 0, so a ball filed in a cell is missed even with the
// centre inside it; the catch-all's balls (too big for a cell, or without a sphere) are still hit.
TEST_F(Explosions, ZeroStrengthReachesOnlyTheCatchAll) {
    std::vector<std::string> log;
    auto* inCell = new Ball<Obj::Static>("cell", {10, 0, 10}, 5);
    auto* big = new Ball<Obj::Static>("big", {10, 0, 10}, 30000);
    auto* none = new Ball<Obj::Dynamic>("none", {10, 0, 10}, 5);
    none->hasSphere = false;
    for (auto* b : {static_cast<Obj::Object*>(inCell), static_cast<Obj::Object*>(big)})
        world->AddObject(b);
    world->AddObject(none);
    inCell->log = big->log = none->log = &log;
    ASSERT_NE(inCell->Static::sector, world->statics->catchAll.get());
    ASSERT_EQ(big->Static::sector, world->statics->catchAll.get());
    Blow({10, 0, 10}, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"none", "big"}));
}

// A cell wholly inside the blast gives all its members, even one whose sphere has moved away since it was
// filed; a cell only partly inside tests each sphere.
TEST_F(Explosions, CellInsideTheBlastGivesAllItsMembers) {
    RwBBox box;
    box.inf = {-500, -100, -500};
    box.sup = {500, 100, 500};
    Grp::Spatial<Obj::Static> group(box, 10, 1, 10); // cells 100 x 200 x 100, margin 50
    Ball<Obj::Static> stale("stale", {50, 0, 50}, 10), far("far", {450, 0, 450}, 10);
    for (auto* b : {&stale, &far}) {
        b->Static::group = &group;
        group.UpdateDamageable(b);
    }
    stale.sphere.center = {5000, 0, 5000}; // moved, not refiled
    far.sphere.center = {5000, 0, 5000};
    std::vector<Obj::Static*> taken;
    // Cell (5, 0, 5) widened: x, z in [-50, 150], y in [-150, 150]; its farthest corner is 206 away.
    Alg::ShootSphere::ForEachInBlast(group, RwSphere{{50, 0, 50}, 260},
                                     [&](Obj::Static* s) { taken.push_back(s); });
    EXPECT_EQ(taken, (std::vector<Obj::Static*>{&stale}));
    taken.clear();
    Alg::ShootSphere::ForEachInBlast(group, RwSphere{{50, 0, 50}, 200},
                                     [&](Obj::Static* s) { taken.push_back(s); });
    EXPECT_TRUE(taken.empty());
    for (auto* b : {&stale, &far})
        Grp::Spatial<Obj::Static>::Remove(b);
}

// Nearest first across both groups; a target destroyed by the handler of a nearer one is not called.
TEST_F(Explosions, TargetsNearestFirstAndTheDestroyedSkipped) {
    std::vector<std::string> log;
    auto* a = new Ball<Obj::Static>("a", {0, 0, 8}, 1);     // gap 8 - 1 - 10
    auto* b = new Ball<Obj::Dynamic>("b", {0, 0, -3}, 1);   // gap 3 - 1 - 10
    auto* c = new Ball<Obj::Static>("c", {0, 4, 0}, 1);     // gap 4 - 1 - 10, destroyed by b
    auto* d = new Ball<Obj::Dynamic>("d", {6, 0, 0}, 0.5f); // gap 6 - 0.5 - 10
    auto* out = new Ball<Obj::Static>("out", {30, 0, 0}, 1);
    for (Obj::Object* o : std::initializer_list<Obj::Object*>{a, b, c, d, out})
        world->AddObject(o);
    for (auto* l : {&a->log, &c->log, &out->log})
        *l = &log;
    b->log = d->log = &log;
    Base::SmartPtr<Obj::Object> tracked(c);
    b->onHit = [&] {
        world->RemoveObject(tracked);
        delete tracked.Get();
    };
    Blow({0, 0, 0}, 100);
    EXPECT_EQ(log, (std::vector<std::string>{"b", "d", "a"}));
    EXPECT_FALSE(tracked);
}

TEST_F(Explosions, BlastDamageFallsOffWithDistance) {
    auto* near = new Ball<Obj::Static>("near", {0, 0, 0}, 2);
    auto* edge = new Ball<Obj::Static>("edge", {0, 0, 9}, 2);
    for (auto* b : {near, edge}) {
        b->canAddHitSpot = false;
        b->SetMaxHitPoints(1000);
        world->AddObject(b);
    }
    Blow({0, 0, 0}, 100); // damage 100, radius 10: 2 (100 - 10 d) clamped to [0, 100]
    EXPECT_FLOAT_EQ(near->hitPoints, 900);
    EXPECT_FLOAT_EQ(edge->hitPoints, 1000 - 20);
}

class ExplosionSounds : public Explosions {
protected:
    void SetUp() override {
        Explosions::SetUp();
        Base::SoundCache::Directory = std::string(CORVANE_BINARY_DIR) + "/data/Data/Sounds";
        world->soundGroup = group.get();
    }
    void TearDown() override {
        Explosions::TearDown();
        group.reset();
        Base::SoundCache::Clear();
    }
    std::unique_ptr<Audio::SoundGroup> group = std::make_unique<Audio::SoundGroup>(0.0f);
};

// The sounds start at the first run whose world time is 0.5 s or more after the explosion entered, both at
// once, with one frequency factor and the reference distance from the strength.
TEST_F(ExplosionSounds, StartHalfASecondLater) {
    world->time->time = 10;
    auto e = Blow({100, 20, 300}, 200);
    EXPECT_FLOAT_EQ(e->soundTime, 10.5f);
    for (float t = 10.125f; t < 10.5f; t += 0.125f) {
        RunAt(t, 0.125f);
        EXPECT_TRUE(group->sounds.empty()) << t;
    }
    RunAt(10.5f, 0.125f);
    ASSERT_EQ(group->sounds.size(), 2u);
    EXPECT_EQ(e->soundTime, -1);
    std::vector<float> volumes;
    for (Audio::BasicSound* s : group->sounds) {
        auto* sound = dynamic_cast<Audio::Sound3d*>(s);
        ASSERT_NE(sound, nullptr);
        EXPECT_EQ(sound->state, Audio::BasicSound::PlayRequested);
        EXPECT_EQ(sound->autoDelete, 1);
        EXPECT_EQ(sound->loop, 0);
        EXPECT_NEAR(sound->params.referenceDistance, 40 * std::sqrt(200.0f), 1e-3);
        EXPECT_EQ(sound->params.maximumDistance, -1);
        EXPECT_EQ(sound->params.position, (Base::Vector3{100, 20, 300}));
        EXPECT_GE(sound->params.frequencyFactor, 0.7f);
        EXPECT_LT(sound->params.frequencyFactor, 1.2f);
        EXPECT_EQ(sound->params.frequencyFactor,
                  dynamic_cast<Audio::Sound3d*>(group->sounds.front())->params.frequencyFactor);
        volumes.push_back(sound->params.volume);
    }
    std::sort(volumes.begin(), volumes.end());
    EXPECT_EQ(volumes, (std::vector<float>{0.005f, 1.0f}));
    RunAt(10.625f, 0.125f);
    EXPECT_EQ(group->sounds.size(), 2u);
}

TEST_F(ExplosionSounds, ReferenceDistanceClamps) {
    for (const auto& [strength, reference] :
         std::vector<std::pair<float, float>>{{1, 50}, {10, 40 * std::sqrt(10.0f)}, {5000, 2000}}) {
        auto e = Blow({0, 0, 0}, strength);
        RunAt(world->time->time + 0.5f, 0.5f);
        ASSERT_EQ(group->sounds.size(), 2u);
        for (Audio::BasicSound* s : group->sounds)
            EXPECT_NEAR(static_cast<Audio::Sound3d*>(s)->params.referenceDistance, reference, 1e-3)
                << strength;
        while (!group->sounds.empty())
            delete group->sounds.front();
    }
}

// A paused world (step 0) freezes the explosion and keeps its sounds waiting, however late it gets.
TEST_F(ExplosionSounds, NeverWhilePaused) {
    auto e = Blow({0, 0, 0}, 10);
    const std::vector<Obj::Particle> before = e->fireParticles;
    for (float t : {0.6f, 5.0f, 500.0f}) {
        RunAt(t, 0);
        ASSERT_TRUE(e);
        EXPECT_TRUE(group->sounds.empty());
        EXPECT_EQ(e->fireParticles[17].life, before[17].life);
        EXPECT_EQ(e->fireParticles[17].position[0], before[17].position[0]);
    }
    RunAt(500.01f, 0.01f);
    EXPECT_EQ(group->sounds.size(), 2u);
}

// Never drawn (nothing renders this world): the explosion still ends by its runs once every particle has
// died, leaving the world's groups.
TEST_F(Explosions, OutsideTheViewStillEnds) {
    auto e = Blow({0, 0, 0}, 200);
    const float longest = 0.9f * e->smokeLifeScale;
    float t = 0;
    while (e && t < 2 * longest) {
        t += 0.1f;
        RunAt(t, 0.1f);
    }
    EXPECT_FALSE(e);
    EXPECT_GE(t, 0.75f * std::sqrt(1.6f * std::sqrt(200.0f) + 4.0f));
    EXPECT_TRUE(world->runnables->IsEmpty());
    EXPECT_TRUE(world->IsEmpty());
}

TEST_F(Explosions, EachKeepsItsOwnBoundingSphere) {
    auto a = Blow({1, 2, 3}, 10), b = Blow({-5, 0, 7}, 10);
    const RwSphere* sa = a->GetBoundingSphere();
    const RwSphere* sb = b->GetBoundingSphere();
    EXPECT_EQ(sa->center.x, 1);
    EXPECT_EQ(sb->center.x, -5);
    EXPECT_EQ(sa->radius, 200);
}

} // namespace
