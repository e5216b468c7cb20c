// Hits, kill credit, the disabled airplane and the crash on land and at sea; and the engine's step and
// sounds.
#include "AirplaneFixture.h"
#include "tests/objects/TerrainFixture.h"

#include "objects/Explosion.h"
#include "objects/HitSpot.h"
#include "objects/Spurt.h"
#include "objects/Wreck.h"

#include "audio/Sound3d.h"
#include "audio/SoundGroup.h"
#include "base/SoundCache.h"

#include <cmath>

namespace {

struct Bullet : Obj::SegmentMissile, Obj::Fired {
    uint32_t OnHit(Obj::Damageable*, const RwLine*, const RwV3d*, RwV3d*) override { return 1; }
    Obj::Damageable* GetShooter() const override { return shooter; }
    Obj::Damageable* shooter = nullptr;
};

template <class T> int Count(Grp::World& world) {
    int n = 0;
    world.ForEach([&](Obj::Object* object) { n += dynamic_cast<T*>(object) != nullptr; });
    return n;
}

} // namespace

TEST_F(AirplaneWorld, KillsAreCreditedOnceAndOnlyAcrossSides) {
    auto shooter = Loaded(Sample("Su27"), 1);
    ASSERT_TRUE(shooter);
    const RwLine segment = {{0, 0, 0}, {0, 0, 1}};
    const RwV3d point = {0, 0, 0};
    for (Obj::Allegiance side : {Obj::Friendly, Obj::Enemy}) {
        SCOPED_TRACE(side);
        auto victim = Loaded(Sample("Mig29"), 1);
        ASSERT_TRUE(victim);
        victim->allegiance = side;
        shooter->airplaneKills = 0;
        Bullet bullet;
        bullet.shooter = shooter.get();
        bullet.damage = 0;
        victim->OnSegmentMissileHit(&bullet, &segment, &point);
        EXPECT_EQ(victim->hitPoints, 300);
        EXPECT_EQ(victim->lastAttacker, "");
        bullet.damage = 200;
        for (int i = 0; i < 4; ++i)
            victim->OnSegmentMissileHit(&bullet, &segment, &point);
        EXPECT_EQ(victim->hitPoints, 0);
        EXPECT_EQ(shooter->airplaneKills, side == Obj::Friendly ? 0u : 1u);
        const Physics::AirplaneState s = victim->GetState();
        EXPECT_TRUE(s.engineDestroyed);
        EXPECT_TRUE(s.outOfControl);
    }
    // One that cannot be hurt is never disabled.
    auto tough = Loaded(Sample("Mig29"), 1);
    ASSERT_TRUE(tough);
    tough->SetMaxHitPoints(0);
    tough->SetHitPoints(0);
    EXPECT_FALSE(tough->GetState().engineDestroyed);
    EXPECT_FALSE(tough->GetState().outOfControl);
}

TEST_F(AirplaneWorld, ACrashOnLandLeavesAnExplosionAWreckAndOnlyLowAHitSpot) {
    const struct {
        const char* what;
        float height, groundHeight;
        bool water;
        int explosions, wrecks, spurts, spots;
    } cases[] = {
        {"on a hill", 52, 50, false, 1, 1, 0, 1},
        {"high above a hill", 80, 50, false, 1, 1, 0, 0},
        {"on low land", 1.5f, 0.5f, false, 1, 1, 0, 0},
        {"at sea", 0.2f, 0, true, 0, 0, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        world = std::make_unique<Grp::World>();
        auto* airplane = Loaded(Sample("Su27"), 2).release();
        ASSERT_TRUE(airplane);
        world->AddObject(airplane);
        airplane->Place(0, 0, 3000, 0, 60);
        Physics::AirplaneState s = airplane->GetState();
        s.position.y = c.height;
        s.precisePosition[1] = c.height;
        s.groundHeight = c.groundHeight;
        s.groundValid = 1;
        s.groundNormal = {0, 1, 0};
        s.groundDistance = c.water ? 0 : c.groundHeight;
        airplane->SetState(s);
        RwMatrix m = *RwFrameGetWorldMatrix(airplane->frame);
        m.pos.y = c.height;
        airplane->Transform(&m, rwCOMBINEREPLACE);
        Base::SmartPtr<Obj::Airplane> alive = airplane;
        airplane->Crash(c.water);
        EXPECT_FALSE(alive);
        EXPECT_EQ(Count<Obj::Explosion>(*world), c.explosions);
        EXPECT_EQ(Count<Obj::Wreck>(*world), c.wrecks);
        EXPECT_EQ(Count<Obj::SpurtWater>(*world), c.spurts);
        EXPECT_EQ(Count<Obj::HitSpot>(*world), c.spots);
    }
}

// Diving into a small map's rough land, or past its edge where the open sea goes on: the ground probe
// finds each, and the airplane crashes into an explosion on land and a splash at sea.
TEST_F(AirplaneWorld, ADiveEndsOnTheLandOrPastTheMapsEdgeInTheSea) {
    const struct {
        const char* what;
        float x, z;
        bool water;
    } cases[] = {{"over the land", 0, 1000, false},
                 {"past the edge", 9000, 1000, true},
                 {"far past it", -1e5f, 4e4f, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        world = std::make_unique<Grp::World>();
        // 4 km by 4 km of random heights up to 1,530, sea at its border (TerrainFixture's sample keys).
        auto* terrain = new Obj::Terrain;
        TerrainFixture::Keys keys;
        keys.offset = "3 2";
        keys.size = "60 62";
        ASSERT_TRUE(TerrainFixture::Build(*terrain, keys, TerrainFixture::RandomImage(64, 64, 31),
                                          TerrainFixture::Mask(4, 4, 255), TerrainFixture::Mask(4, 4, 0)))
            << terrain->Error();
        world->AddObject(terrain);
        auto* airplane = Loaded(Sample("Su27"), 2).release();
        ASSERT_TRUE(airplane);
        world->AddObject(airplane);
        airplane->Place(c.x, c.z, 2000, 0, 150);
        // Nose down at 45 degrees.
        Physics::AirplaneState s = airplane->GetState();
        s.at = {0, -0.70710678f, 0.70710678f};
        s.up = {0, 0.70710678f, 0.70710678f};
        s.right = Base::CrossProduct(s.up, s.at);
        s.velocity = {0, -150, 150};
        airplane->SetState(s);
        Base::SmartPtr<Obj::Airplane> alive = airplane;
        for (int i = 0; i < 3000 && alive; ++i)
            Frame(0.01f);
        ASSERT_FALSE(alive) << "still flying after 30 s";
        EXPECT_EQ(Count<Obj::SpurtWater>(*world), c.water ? 1 : 0);
        EXPECT_EQ(Count<Obj::Explosion>(*world), c.water ? 0 : 1);
    }
}

// A crashed flag, or a disabled airplane slower than 20 m/s, crashes at the end of its run; at sea, on the
// level plane near height 0, it makes a splash.
TEST_F(AirplaneWorld, TheRunCrashesADisabledSlowAirplane) {
    auto* airplane = Loaded(Sample("Su27"), 2).release();
    ASSERT_TRUE(airplane);
    world->AddObject(airplane);
    airplane->Place(0, 0, 3000, 0, 60);
    airplane->SetHitPoints(0);
    Base::SmartPtr<Obj::Airplane> alive = airplane;
    Frame(0.01f);
    EXPECT_TRUE(alive); // gliding at 60 m/s
    Physics::AirplaneState s = airplane->GetState();
    s.velocity = {0, 0, 10};
    airplane->SetState(s);
    world->time->step = 0.01f;
    Grp::RunGroup(*world->runnables);
    EXPECT_FALSE(alive);
    EXPECT_EQ(Count<Obj::Explosion>(*world), 1);
}

TEST(AirplaneEngine, SpoolThrustFuelAndAfterburner) {
    using Engine = Obj::Airplane::Engine;
    Physics::AirplaneState s;
    Physics::AirplaneState::Init(s);
    s.engineRunning = 1;
    s.throttleLevel = 1;
    // Starting, the spool creeps towards 0.8 and stops at 0.6 whatever the throttle says.
    for (int i = 0; i < 100000 && s.engineSpool < 0.6f; ++i)
        Engine::Advance(s, 0.01f);
    EXPECT_EQ(s.engineSpool, 0.6f);
    EXPECT_EQ(s.thrustFactor, 0);
    // Full throttle from there: the spool follows it to 1.
    for (int i = 0; i < 2000; ++i)
        Engine::Advance(s, 0.01f);
    EXPECT_NEAR(s.engineSpool, 1.0f, 1e-4f);
    EXPECT_NEAR(s.thrustFactor, 0.7f, 1e-3f);
    EXPECT_LT(s.fuel, 1.0f);
    s.afterburnerCommand = 1;
    for (int i = 0; i < 2000; ++i)
        Engine::Advance(s, 0.01f);
    EXPECT_EQ(s.afterburnerLevel, 1.0f);
    EXPECT_NEAR(s.thrustFactor, 1.0f, 1e-3f);
    // Fuel burnt in one step: afterburner x 0.002 + spool^2 x 0.0004, per second.
    const float before = s.fuel;
    Engine::Advance(s, 0.5f);
    EXPECT_NEAR(before - s.fuel, (0.002f + s.engineSpool * s.engineSpool * 0.0004f) * 0.5f, 2e-5f);
    // Up high the thrust fades out: 0 at 18 km.
    for (float height : {13000.0f, 18000.0f, 25000.0f}) {
        Physics::AirplaneState high = s;
        high.position.y = height;
        Engine::Advance(high, 0.01f);
        if (height == 13000)
            EXPECT_NEAR(high.thrustFactor, std::exp(-0.00008f * 13000), 1e-3f);
        else
            EXPECT_EQ(high.thrustFactor, 0);
    }
    // Below a spool of 0.97 the afterburner dies away whatever its command.
    Physics::AirplaneState low = s;
    low.engineSpool = 0.9f;
    low.throttleLevel = 0.5f;
    Engine::Advance(low, 0.01f);
    EXPECT_LT(low.afterburnerLevel, 1.0f);
    for (int i = 0; i < 100; ++i)
        Engine::Advance(low, 0.01f);
    EXPECT_EQ(low.afterburnerLevel, 0);
    // A destroyed engine gives nothing and burns nothing.
    Physics::AirplaneState dead = s;
    dead.engineDestroyed = 1;
    Engine::Advance(dead, 0.01f);
    EXPECT_EQ(dead.engineSpool, 0);
    EXPECT_EQ(dead.thrustFactor, 0);
    EXPECT_EQ(dead.fuel, s.fuel);
    // Out of fuel the spool winds down even at full throttle.
    Physics::AirplaneState dry = s;
    dry.fuel = 0;
    Engine::Advance(dry, 0.01f);
    EXPECT_LT(dry.engineSpool, s.engineSpool);
}

// The engine and afterburner sounds stop at a level of 0.01 and play, looping, just above it, with volume,
// pitch and distance from the level.
TEST_F(AirplaneWorld, EngineSoundsStopAtOneHundredthAndPlayAboveIt) {
    Base::SoundCache::Directory = std::string(CORVANE_BINARY_DIR) + "/data/Data/Sounds";
    Audio::SoundGroup sounds(0.0f);
    world->soundGroup = &sounds;
    auto* airplane = Loaded(Sample("Su27"), Obj::Airplane::ComplexModel).release();
    ASSERT_TRUE(airplane);
    world->AddObject(airplane);
    Obj::Airplane::Engine* engine = airplane->engine.get();
    ASSERT_TRUE(engine && engine->engineSound && engine->afterburnerSound);
    airplane->Place(0, 0, 3000, 0, 200);
    const struct {
        float level;
        bool plays;
    } cases[] = {{0.5f, true}, {0.01f, false}, {0.0100001f, true}, {0.0f, false}, {1.0f, true}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.level);
        Physics::AirplaneState s = airplane->GetState();
        s.engineRunning = 0; // a dt of 0 leaves an idle engine's levels as they are
        s.engineSpool = s.afterburnerLevel = s.afterburnerCommand = k.level;
        airplane->SetState(s);
        engine->Step(0);
        ASSERT_EQ(airplane->GetState().engineSpool, k.level);
        for (Audio::Sound3d* sound : {engine->engineSound, engine->afterburnerSound}) {
            const bool engineSound = sound == engine->engineSound;
            EXPECT_EQ(sound->state == Audio::BasicSound::PlayRequested, k.plays);
            if (!k.plays) {
                EXPECT_EQ(sound->state, Audio::BasicSound::Idle);
                continue;
            }
            EXPECT_EQ(sound->loop, 1);
            EXPECT_EQ(sound->autoDelete, 0);
            EXPECT_FLOAT_EQ(sound->params.volume, std::min(1.0f, k.level * (engineSound ? 1.25f : 1.5f)));
            EXPECT_FLOAT_EQ(sound->params.frequencyFactor,
                            engineSound ? k.level * 0.6f + 0.4f : k.level * 0.4f + 0.6f);
            EXPECT_FLOAT_EQ(sound->params.referenceDistance,
                            engineSound ? k.level * 50 + 25 : k.level * 25 + 75);
        }
    }
    world->RemoveObject(airplane);
    delete airplane;
    world->soundGroup = nullptr;
    Base::SoundCache::Clear();
}
