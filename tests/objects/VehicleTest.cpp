// Vehicles and cars on the sample truck: braking and arrival, turning by speed, terrain following, the damage
// hooks with their kill credit and destruction, and the dynamic sector that follows a moving vehicle.
#include "VehicleFixture.h"
#include "TerrainFixture.h"

#include "objects/Explosion.h"
#include "objects/HitSpot.h"
#include "objects/Terrain.h"
#include "objects/Wreck.h"
#include "scene/WorldPasses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using Base::Vector2;

RwV3d At(Obj::Frame& f) {
    return RwFrameGetWorldMatrix(f.frame)->at;
}
Vector2 Ground(Obj::Vehicle& v) {
    double p[3];
    v.GetWorldPositionDouble(p);
    return {float(p[0]), float(p[2])};
}

class Vehicles : public VehicleWorld {
protected:
    int Count(auto isKind) {
        int n = 0;
        world->ForEach([&](Obj::Object* object) { n += isKind(object); });
        return n;
    }
    int Explosions() {
        return Count([](Obj::Object* o) { return dynamic_cast<Obj::Explosion*>(o) != nullptr; });
    }
    template <class V = Obj::Vehicle>
    V* Spawn(Vector2 position, Vector2 direction, float speed, float maxSpeed = 10, float turnRate = 0.25f,
             float acceleration = 0.25f) {
        const Base::Info info = Read("Truck.info");
        auto* v = new V;
        EXPECT_TRUE(v->Setup(&info, position, direction, speed, maxSpeed, turnRate, acceleration));
        world->AddObject(v);
        return v;
    }
};

// Straight runs to a destination ahead: the vehicle stops past the destination by at most one step's travel,
// keeps the speed it had in its last step, and brakes from the first step when the destination lies within
// its stopping distance.
TEST_F(Vehicles, BrakingAndArrival) {
    struct Case {
        float initialSpeed, distance, dt;
        bool brakesAtOnce;
    } cases[] = {
        {10, 50, 0.1f, true},    // stopping distance 200: nearer
        {10, 150, 0.5f, true},   // nearer, coarse steps
        {0, 400, 0.1f, false},   // from rest: speeds up first
        {5, 1000, 0.25f, false}, // far: reaches full speed, then brakes
        {10, 200.5f, 1.0f, true},
    };
    for (const Case& c : cases) {
        auto* v = Spawn({0, 0}, {0, 1}, c.initialSpeed);
        v->MoveTo({0, c.distance});
        float previous = v->speed, lastTravel = 0, lastSpeed = 0;
        int steps = 0;
        bool first = true;
        while (!v->arrived && steps < 100000) {
            const float z0 = Ground(*v).y;
            Step(c.dt);
            if (first) {
                EXPECT_EQ(v->speed < previous, c.brakesAtOnce) << c.distance;
                first = false;
            }
            lastTravel = Ground(*v).y - z0;
            lastSpeed = v->speed;
            ++steps;
        }
        ASSERT_TRUE(v->arrived) << c.distance;
        const float z = Ground(*v).y;
        EXPECT_GE(z, c.distance - 1e-3f) << c.distance;
        // The arriving step does not move; the step before it carried the vehicle past.
        EXPECT_EQ(lastTravel, 0.0f);
        EXPECT_LE(z - c.distance, v->maxSpeed * c.dt + 1e-3f) << c.distance;
        EXPECT_EQ(v->speed, lastSpeed);
        // Arrived: nothing changes any more.
        Step(c.dt);
        EXPECT_EQ(Ground(*v).y, z);
        EXPECT_EQ(v->speed, lastSpeed);
        EXPECT_NEAR(At(*v).z, 1, 1e-5) << "straight ahead keeps the heading";
        world->RemoveObject(v);
        delete v;
    }
}

// A destination exactly on the vehicle, or one the run step lands on exactly, counts as reached: no NaN.
TEST_F(Vehicles, ArrivingExactlyOnTheDestination) {
    auto* v = Spawn({10, 20}, {0, 1}, 0);
    v->MoveTo({10, 20});
    EXPECT_TRUE(v->arrived);
    v->MoveTo({10, 21});
    v->speed = 10;
    v->acceleration = 0;
    Step(0.1f); // 1 unit: right onto the destination
    EXPECT_FALSE(v->arrived);
    Step(0.1f);
    EXPECT_TRUE(v->arrived);
    const RwMatrix* m = RwFrameGetWorldMatrix(v->frame);
    EXPECT_TRUE(std::isfinite(m->at.x) && std::isfinite(m->pos.x) && std::isfinite(m->pos.z));
    EXPECT_NEAR(Ground(*v).y, 21, 1e-4);
}

// The turn per step is turnRate x dt x (speed / maxSpeed), never more than the angle left.
TEST_F(Vehicles, TurningScalesWithSpeed) {
    struct Case {
        float speed, acceleration;
        Vector2 destination;
        float expectedTurn;
    } cases[] = {
        {0, 0, {1000, 0}, 0},                                     // standing: no turn
        {10, 0.25f, {1000, 0}, 0.25f * 0.1f},                     // full speed: the full rate
        {5, 0, {1000, 0}, 0.125f * 0.1f},                         // half speed: half the rate
        {10, 0.25f, {0, 1000}, 0},                                // aimed at it: keeps its heading
        {10, 0.25f, {0.001f, 1000}, std::atan2(0.001f, 1000.0f)}, // never past the remaining angle
    };
    for (const Case& c : cases) {
        auto* v = Spawn({0, 0}, {0, 1}, c.speed, 10, 0.25f, c.acceleration);
        v->MoveTo(c.destination);
        Step(0.1f);
        const RwV3d at = At(*v);
        const float turned = std::atan2(at.x, at.z);
        EXPECT_NEAR(turned, c.expectedTurn, 1e-6) << c.speed << " " << c.destination.x;
        world->RemoveObject(v);
        delete v;
    }
}

class Cars : public Vehicles {
protected:
    void SetUp() override {
        Vehicles::SetUp();
        using namespace TerrainFixture;
        // A slope rising towards -x (columns run against x) and towards +z.
        Image map{65, 65, 1, std::vector<uint8_t>(65 * 65)};
        for (int r = 0; r < 65; ++r)
            for (int c = 0; c < 65; ++c)
                map.At(c, r) = uint8_t(c * 2 + (64 - r));
        ASSERT_TRUE(Build(terrain, Keys{}, map, Mask(4, 4, 255), Mask(4, 4, 0))) << terrain.Error();
        world->terrain = &terrain;
    }
    void TearDown() override {
        world->terrain = nullptr;
        Vehicles::TearDown();
    }
    Obj::Terrain terrain;
};

// Dropped from any height onto the slope, the car stands on the terrain's normal and keeps its heading.
TEST_F(Cars, SlopeAlignmentKeepsTheHeading) {
    const Vector2 heading = {0.6f, 0.8f};
    auto* car = Spawn<Obj::Car>({100, 500}, heading, 0);
    RwMatrix high = *RwFrameGetMatrix(car->frame);
    high.pos.y = 5000;
    car->Transform(&high, rwCOMBINEREPLACE);

    Step(0.1f);
    Base::Vector3 hit, normal;
    ASSERT_TRUE(terrain.IntersectSegment({{100, 10000, 500}, {100, -10000, 500}}, &hit, &normal));
    const RwMatrix* m = RwFrameGetWorldMatrix(car->frame);
    EXPECT_NEAR(m->pos.y, hit.y, 1e-3);
    EXPECT_NEAR(car->localPosition[1], hit.y, 1e-3);
    EXPECT_NEAR(m->up.x, normal.x, 1e-5);
    EXPECT_NEAR(m->up.y, normal.y, 1e-5);
    EXPECT_NEAR(m->up.z, normal.z, 1e-5);
    EXPECT_LT(normal.y, 0.999f) << "the ground here is a slope";
    const Vector2 ground = Base::Normalize2d(m->at.x, m->at.z);
    EXPECT_NEAR(ground.x, heading.x, 1e-5);
    EXPECT_NEAR(ground.y, heading.y, 1e-5);
    EXPECT_NEAR(m->at.x * m->at.x + m->at.y * m->at.y + m->at.z * m->at.z, 1, 1e-5);
    EXPECT_FALSE(car->IsRunning()) << "a standing car leaves the run list";
    world->RemoveObject(car);
    delete car;
}

// Without a (loaded) terrain a car keeps its place.
TEST_F(Vehicles, ACarWithoutTerrainStaysWhereItIs) {
    auto* car = Spawn<Obj::Car>({3, 4}, {0, 1}, 0);
    Step(0.1f);
    EXPECT_EQ(RwFrameGetWorldMatrix(car->frame)->pos.y, 0);
    Obj::Terrain unloaded;
    world->terrain = &unloaded;
    car->MoveTo({3, 100});
    Step(0.1f);
    EXPECT_EQ(RwFrameGetWorldMatrix(car->frame)->pos.y, 0);
    world->terrain = nullptr;
    world->RemoveObject(car);
    delete car;
}

TEST_F(Vehicles, ZeroHitPointsWithZeroMaximumIsNotDestroyed) {
    auto* car = Spawn<Obj::Car>({0, 0}, {0, 1}, 0);
    Base::SmartPtr<Obj::Damageable> alive = car;
    ASSERT_EQ(car->maxHitPoints, 100);
    car->SetMaxHitPoints(0); // hit points follow to 0
    EXPECT_EQ(car->hitPoints, 0);
    car->SetHitPoints(0);
    ASSERT_TRUE(alive);
    EXPECT_EQ(car->Obj::Object::world, world.get());
    EXPECT_EQ(Explosions(), 0);
    world->RemoveObject(car);
    delete car;
}

// A shooter on the other side gets exactly one kill when its missile destroys the car, whether by a segment
// hit, a blast or an explosion; one on the same side, or a hit that does not destroy, none. The destroyed car
// leaves the world with an explosion of strength 10 where it stood, a wreck and a burning spot.
TEST_F(Vehicles, KillCreditIsGivenOnce) {
    enum Kind { Segment, Blast, Explosion };
    struct Case {
        Obj::Allegiance shooter;
        float damage;
        Kind kind;
        unsigned kills;
        bool destroyed;
    } cases[] = {
        {Obj::Enemy, 150, Segment, 1, true},   {Obj::Enemy, 150, Blast, 1, true},
        {Obj::Enemy, 150, Explosion, 1, true}, {Obj::Friendly, 150, Segment, 0, true},
        {Obj::Friendly, 150, Blast, 0, true},  {Obj::Friendly, 150, Explosion, 0, true},
        {Obj::Enemy, 40, Segment, 0, false},
    };
    int destroyed = 0;
    for (const Case& c : cases) {
        auto* car = Spawn<Obj::Car>({50, 60}, {0, 1}, 0);
        car->allegiance = Obj::Friendly;
        Base::SmartPtr<Obj::Damageable> alive = car;
        ScoringAirplane airplane;
        airplane.allegiance = c.shooter;
        if (c.kind == Blast) {
            ShotBlast blast;
            blast.damage = c.damage;
            blast.shooter = &airplane;
            const RwSphere sphere = {car->GetBoundingSphere()->center, 1};
            car->OnSphereMissileHit(&blast, &sphere);
        } else if (c.kind == Explosion) {
            auto* explosion = new Obj::Explosion;
            const RwV3d& centre = car->GetBoundingSphere()->center;
            const float at[3] = {centre.x, centre.y, centre.z};
            explosion->Setup(at, c.damage, "");
            explosion->shooter = &airplane;
            world->AddObject(explosion); // its blast
        } else {
            ShotSegment shot;
            shot.damage = c.damage;
            shot.shooter = &airplane;
            const RwV3d point = {50, 1, 60};
            const RwLine line = {{50, 100, 60}, {50, -100, 60}};
            car->OnSegmentMissileHit(&shot, &line, &point);
        }
        EXPECT_EQ(airplane.destroyed, c.kills) << c.kind;
        EXPECT_EQ(!alive, c.destroyed) << c.kind;
        if (alive) {
            world->RemoveObject(car);
            delete car;
        } else {
            ++destroyed;
            EXPECT_EQ(Count([](Obj::Object* o) { return dynamic_cast<Obj::Wreck*>(o) != nullptr; }), 1);
            EXPECT_EQ(Count([](Obj::Object* o) {
                          auto* e = dynamic_cast<Obj::Explosion*>(o);
                          return e && e->strength == 10.0f;
                      }),
                      1)
                << "the car's own";
        }
        world->Clear(); // the effects, before the airplane double goes
    }
    EXPECT_EQ(destroyed, 6);
}

// The destroyed car's explosion stands where the car stood, with strength 10; its burning spot stands on
// the car's place in the car's attitude.
TEST_F(Vehicles, DestructionLeavesExplosionAndHitSpot) {
    auto* car = Spawn<Obj::Car>({-70, 80}, Base::Normalize2d(1, 1), 0);
    car->SetHitPoints(0);
    Obj::Explosion* explosion = nullptr;
    Obj::HitSpot* spot = nullptr;
    world->ForEach([&](Obj::Object* o) {
        if (auto* e = dynamic_cast<Obj::Explosion*>(o))
            explosion = e;
        if (auto* h = dynamic_cast<Obj::HitSpot*>(o))
            spot = h;
    });
    ASSERT_NE(explosion, nullptr);
    EXPECT_EQ(explosion->strength, 10.0f);
    EXPECT_EQ(explosion->position[0], -70);
    EXPECT_EQ(explosion->position[2], 80);
    EXPECT_EQ(explosion->sourceName, "");
    ASSERT_NE(spot, nullptr);
    EXPECT_GE(spot->strength, 0.5f);
    EXPECT_LT(spot->strength, 2.0f);
    const RwMatrix* m = RwFrameGetWorldMatrix(spot->frame);
    EXPECT_NEAR(m->pos.x, -70, 1e-4);
    EXPECT_NEAR(m->at.x, std::sqrt(0.5f), 1e-5);
    EXPECT_EQ(spot->GetParent(), nullptr);
}

// A missile without a shooter, or whose shooter keeps no score, credits nobody.
TEST_F(Vehicles, NoCreditWithoutAScoringShooter) {
    struct Plain : Obj::Damageable {
        const RwSphere* GetBoundingSphere() override { return nullptr; }
        bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    } ground;
    ground.allegiance = Obj::Enemy;
    for (Obj::Damageable* shooter :
         {static_cast<Obj::Damageable*>(nullptr), static_cast<Obj::Damageable*>(&ground)}) {
        auto* car = Spawn<Obj::Car>({0, 0}, {0, 1}, 0);
        Base::SmartPtr<Obj::Damageable> alive = car;
        ShotSegment shot;
        shot.damage = 1000;
        shot.shooter = shooter;
        const RwV3d point = {0, 1, 0};
        car->OnSegmentMissileHit(&shot, nullptr, &point);
        EXPECT_FALSE(alive);
    }
}

// The vehicle's entry among the world's dynamic targets moves with it, so a segment near its new place finds
// it after a long drive.
TEST_F(Vehicles, TheDynamicSectorFollowsAMovingCar) {
    auto* car = Spawn<Obj::Car>({100, 100}, {1, 0}, 1000, 1000, 0.25f, 1000);
    Grp::Spatial<Obj::Dynamic>& group = *world->dynamics;
    EXPECT_EQ(car->Obj::Dynamic::sector, group.GetSector(10, 0, 10));
    car->MoveTo({150000, 100});
    for (int i = 0; i < 100; ++i)
        Step(1.0f);
    const Vector2 p = Ground(*car);
    ASSERT_GT(p.x, 90000);
    EXPECT_EQ(car->Obj::Dynamic::sector,
              group.GetSector(group.GetCellX(p.x), group.GetCellY(0), group.GetCellZ(p.y)));
    EXPECT_EQ(car->Obj::Renderable::sector, world->renderables->GetSector(group.GetCellX(p.x), 0, 10));
    const RwLine probe = {{p.x, 100, p.y}, {p.x, -100, p.y}};
    int found = 0;
    group.ForEachAlongSegment(probe, [&](Obj::Dynamic* member) { found += member == car; });
    EXPECT_EQ(found, 1);
    world->RemoveObject(car);
    delete car;
}

// Entering a world joins the run list, the dynamic and the target groups; leaving, all of them again.
TEST_F(Vehicles, GroupsFollowTheWorld) {
    auto* v = Spawn({0, 0}, {0, 1}, 0);
    EXPECT_TRUE(v->IsRunning());
    EXPECT_NE(v->Obj::Dynamic::group, nullptr);
    EXPECT_NE(v->Obj::Target::group, nullptr);
    EXPECT_EQ(RpWorldGetNumClumps(world->world), 1);
    world->RemoveObject(v);
    EXPECT_FALSE(v->IsRunning());
    EXPECT_EQ(v->Obj::Dynamic::group, nullptr);
    EXPECT_EQ(v->Obj::Target::group, nullptr);
    EXPECT_EQ(RpWorldGetNumClumps(world->world), 0);
    delete v;
    const Base::Info bad = FromText("Dff\tNoSuchModel.dff\n");
    Obj::Vehicle missing;
    EXPECT_FALSE(missing.Setup(&bad, {0, 0}, {0, 1}, 0, 10, 0.25f, 0.25f));
}

// Armed cars carry the weapons the weapon classes make, 3 above the car, and take them in and out of the
// world; without a maker an asked-for weapon fails the set-up.
TEST_F(Vehicles, ArmedCarsMountTheirWeapons) {
    struct Weapon : Obj::Frame, Obj::Object {};
    const Base::Info info = Read("Flak.info");
    {
        Obj::WarCar car;
        EXPECT_FALSE(car.Setup(&info, {0, 0}, {0, 1}, 0, 10, 0.25f, 0.25f, true, false));
    }
    static Obj::VehicleWeapons::Gun given;
    Obj::VehicleWeapons::CreateAutoGun = [](Obj::Model*, const Obj::VehicleWeapons::Gun& gun) -> Obj::Frame* {
        given = gun;
        return new Weapon;
    };
    Obj::VehicleWeapons::CreateAutoLauncher = [](Obj::Model*, float range) -> Obj::Frame* {
        EXPECT_EQ(range, 10000.0f);
        return new Weapon;
    };
    auto* car = new Obj::WarCar;
    ASSERT_TRUE(car->Setup(&info, {7, 8}, {0, 1}, 0, 10, 0.25f, 0.25f, true, true));
    EXPECT_EQ(given.range, 2250.0f);
    EXPECT_EQ(given.rounds, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(given.dispersion, float(Base::Pi / 360));
    EXPECT_EQ(given.bulletGroupParameter, 3.0f);
    ASSERT_TRUE(car->autoGun && car->autoLauncher);
    EXPECT_EQ(RwFrameGetMatrix(car->autoGun->frame)->pos.y, 3.0f);
    EXPECT_NEAR(RwFrameGetWorldMatrix(car->autoLauncher->frame)->pos.x, 7, 1e-5);
    world->AddObject(car);
    auto* gun = dynamic_cast<Obj::Object*>(car->autoGun.Get());
    EXPECT_EQ(gun->world, world.get());
    world->RemoveObject(car);
    EXPECT_EQ(gun->world, nullptr);
    Base::SmartPtr<Obj::Frame> weapon = car->autoGun.Get();
    delete car;
    EXPECT_FALSE(weapon) << "the weapons die with the car";
    Obj::VehicleWeapons::CreateAutoGun = nullptr;
    Obj::VehicleWeapons::CreateAutoLauncher = nullptr;
}

} // namespace
