// Guns and their bullet groups in a world with hand-made targets: the rate of fire, where bullets end, what
// they hit and what they leave behind.
#include "weapons/AutoWeapons.h"
#include "weapons/Gun.h"

#include "objects/Spurt.h"
#include "tests/weapons/WeaponsFixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Effects::Ball;

using WeaponsTest::Level;

class Guns : public Effects::EffectsWorld {
protected:
    void SetUp() override {
        EffectsWorld::SetUp();
        carrier = new Ball<Obj::Dynamic>("carrier", {0, 100, 0}, 3);
        gun = new Weapons::Gun();
        gun->AttachTo(carrier, carrier->frame, false);
        Weapons::GunParams params;
        params.rounds = 0xFFFFFFFFu;
        params.muzzleSpeed = 1000;
        params.interval = 0.125f;
        params.lifetime = 1.5f;
        gun->Setup(carrier, params);
        gun->bulletGroup->damage = 75;
        world->AddObject(carrier);
        world->AddObject(gun);
        Clock(10, 0.1f);
    }
    // Frames of dt until the group has no bullet (at most n).
    void RunOut(float dt = 0.1f, int n = 100) {
        float t = world->time->time;
        for (int i = 0; i < n && !gun->bulletGroup->bullets.empty(); ++i) {
            t += dt;
            RunAt(t, dt);
        }
    }
    template <class T> int Count() {
        int count = 0;
        world->ForEach([&](Obj::Object* o) { count += dynamic_cast<T*>(o) != nullptr; });
        return count;
    }
    // Turns the carrier (and so the gun) to fire along the direction.
    void Aim(RwV3d at) {
        const auto cross = [](RwV3d a, RwV3d b) {
            return RwV3d{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
        };
        const auto unit = [](RwV3d v) {
            const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            return RwV3d{v.x / l, v.y / l, v.z / l};
        };
        at = unit(at);
        RwV3d right = cross({0, 1, 0}, at);
        if (std::sqrt(right.x * right.x + right.y * right.y + right.z * right.z) < 1e-6f)
            right = {1, 0, 0};
        right = unit(right);
        RwMatrix m;
        m.right = right;
        m.up = cross(at, right);
        m.at = at;
        m.pos = {0, 100, 0};
        RwMatrixUpdate(&m);
        carrier->Transform(&m, rwCOMBINEREPLACE);
    }

    Ball<Obj::Dynamic>* carrier = nullptr;
    Weapons::Gun* gun = nullptr;
    const RwV3d still = {0, 0, 0};
};

TEST_F(Guns, FirstShotAtOnceThenOnePerIntervalAndAtMostOnePerFrame) {
    auto& bullets = gun->bulletGroup->bullets;
    gun->Fire(still);
    EXPECT_EQ(bullets.size(), 1u) << "the first pull fires at once";
    gun->Fire(still);
    Clock(10.0625f, 0.1f);
    gun->Fire(still);
    EXPECT_EQ(bullets.size(), 1u) << "not again within one interval";
    Clock(10.125f, 0.1f);
    gun->Fire(still);
    EXPECT_EQ(bullets.size(), 2u) << "exactly one interval later";
    Clock(20, 0.1f);
    gun->Fire(still);
    EXPECT_EQ(bullets.size(), 3u) << "one bullet a frame, however long the frame";
    EXPECT_FLOAT_EQ(bullets[2].velocity.z, 1000);
    EXPECT_FLOAT_EQ(bullets[2].firingPoint.y, 100);
}

TEST_F(Guns, TheLastRoundFiresOnceAndLeavesTheGunEmpty) {
    gun->params.rounds = 1;
    gun->Fire(still);
    Clock(11, 0.1f);
    gun->Fire(still);
    EXPECT_EQ(gun->bulletGroup->bullets.size(), 1u);
    EXPECT_EQ(gun->params.rounds, 0u);
}

// A bullet ends at the wall found when it was fired, with dust and a ricochet; one fired at the sky ends in
// the air after its lifetime with nothing to show.
TEST_F(Guns, BulletsEndAtTheWallOrInTheSky) {
    auto* wall = new Ball<Obj::Static>("wall", {0, 100, 500}, 10);
    world->AddObject(wall);
    gun->Fire(still);
    ASSERT_EQ(gun->bulletGroup->bullets.size(), 1u);
    EXPECT_NEAR(gun->bulletGroup->bullets[0].endPoint.z, 490, 1e-3);
    RunOut();
    EXPECT_TRUE(gun->bulletGroup->bullets.empty());
    EXPECT_EQ(Count<Obj::SpurtLand>(), 1);

    world->RemoveObject(wall);
    delete wall;
    Aim({0, 1, 0});
    Clock(20, 0.1f);
    gun->Fire(still);
    ASSERT_EQ(gun->bulletGroup->bullets.size(), 1u);
    EXPECT_NEAR(gun->bulletGroup->bullets[0].endPoint.y, 100 + 1500, 1e-2) << "firing point + v x lifetime";
    RunOut();
    EXPECT_TRUE(gun->bulletGroup->bullets.empty());
    EXPECT_EQ(Count<Obj::SpurtLand>() + Count<Obj::SpurtWater>(), 1) << "no new spurt";
}

// Height 0.5 is the sea: spray there, dust just above it.
TEST_F(Guns, ImpactsAtHalfAMetreAreOnWater) {
    for (const auto& [height, water] : {std::pair{0.5f, true}, std::pair{0.51f, false}}) {
        SCOPED_TRACE(height);
        auto* level = new Level(height);
        world->AddObject(level);
        const int spray = Count<Obj::SpurtWater>(), dust = Count<Obj::SpurtLand>();
        Aim({0, -0.6f, 0.8f});
        Clock(world->time->time + 5, 0.1f);
        gun->Fire(still);
        ASSERT_EQ(gun->bulletGroup->bullets.size(), 1u);
        EXPECT_EQ(gun->bulletGroup->bullets[0].endPoint.y, height);
        RunOut();
        EXPECT_EQ(Count<Obj::SpurtWater>() - spray, water ? 1 : 0);
        EXPECT_EQ(Count<Obj::SpurtLand>() - dust, water ? 0 : 1);
        world->RemoveObject(level);
        delete level;
    }
}

// A moving target in the way stops the bullet short of its static end and takes the bullet's damage; the
// shooter's own carrier, which the bullets leave from inside, is never hit.
TEST_F(Guns, ATargetInTheWayStopsTheBullet) {
    auto* wall = new Ball<Obj::Static>("wall", {0, 100, 500}, 10);
    auto* plane = new Ball<Obj::Dynamic>("plane", {0, 100, 200}, 5);
    plane->hitPoints = plane->maxHitPoints = 100;
    carrier->hitPoints = carrier->maxHitPoints = 100;
    world->AddObject(wall);
    world->AddObject(plane);
    gun->Fire(still);
    EXPECT_NEAR(gun->bulletGroup->bullets[0].endPoint.z, 490, 1e-3);
    RunOut();
    EXPECT_TRUE(gun->bulletGroup->bullets.empty());
    EXPECT_EQ(plane->hitPoints, 25);
    EXPECT_EQ(carrier->hitPoints, 100);
    EXPECT_EQ(Count<Obj::SpurtLand>(), 1);
}

// The group draws and runs only while it has bullets.
TEST_F(Guns, TheGroupLeavesAndRejoinsTheRenderAndRunGroups) {
    Weapons::BulletGroup* group = gun->bulletGroup;
    EXPECT_EQ(group->world, world.get());
    EXPECT_FALSE(group->IsActive());
    EXPECT_EQ(group->Obj::Renderable::group, nullptr);
    gun->Fire(still);
    EXPECT_TRUE(group->IsActive());
    EXPECT_NE(group->Obj::Renderable::group, nullptr);
    RunAt(10.1f, 0.1f);
    EXPECT_TRUE(group->IsActive());
    EXPECT_NEAR(group->sphere.center.z, 100, 1e-3) << "the sphere holds the bullets' next positions";
    RunOut();
    EXPECT_FALSE(group->IsActive());
    EXPECT_EQ(group->Obj::Renderable::group, nullptr);
    Clock(30, 0.1f);
    gun->Fire(still);
    EXPECT_TRUE(group->IsActive());
    EXPECT_NE(group->Obj::Renderable::group, nullptr);
}

// A hit that destroys the shooter (and with it the gun and its bullet group) ends the group's pass at once.
TEST_F(Guns, AHitThatDestroysTheShooterEndsThePass) {
    auto* plane = new Ball<Obj::Dynamic>("plane", {0, 100, 200}, 5);
    plane->hitPoints = plane->maxHitPoints = 100;
    world->AddObject(plane);
    gun->Fire(still);
    Clock(10.125f, 0.1f);
    gun->Fire(still);
    Base::SmartPtr<Weapons::BulletGroup> group(gun->bulletGroup);
    bool destroyed = false;
    struct Hook : Ball<Obj::Dynamic> {
        using Ball::Ball;
        void OnSegmentMissileHit(Obj::SegmentMissile* m, const RwLine* s, const RwV3d* p) override {
            Ball::OnSegmentMissileHit(m, s, p);
            if (p && onHit)
                onHit();
        }
    };
    auto* trap = new Hook("trap", {0, 100, 150}, 5);
    trap->onHit = [&] {
        destroyed = true;
        world->RemoveObject(carrier);
        delete carrier;
        carrier = nullptr;
    };
    world->AddObject(trap);
    for (int i = 1; i <= 5; ++i)
        RunAt(10.125f + 0.1f * float(i), 0.1f);
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(group) << "the group died with its gun";
}

TEST_F(Guns, VehicleMakerGivesTheArmedVehiclesGun) {
    ASSERT_TRUE(Weapons::InstallVehicleWeapons());
    ASSERT_NE(Obj::VehicleWeapons::CreateAutoGun, nullptr);
    Obj::Frame* made = Obj::VehicleWeapons::CreateAutoGun(nullptr, Obj::VehicleWeapons::Gun{});
    auto* vehicleGun = dynamic_cast<Weapons::Gun*>(made);
    ASSERT_NE(vehicleGun, nullptr);
    EXPECT_EQ(vehicleGun->params.rounds, 0xFFFFFFFFu);
    EXPECT_EQ(vehicleGun->params.muzzleSpeed, 1000.0f);
    EXPECT_EQ(vehicleGun->params.interval, 0.15f);
    EXPECT_EQ(vehicleGun->params.lifetime, 2.5f);
    EXPECT_EQ(vehicleGun->bulletGroup->damage, 3.0f);
    delete made;
    Obj::VehicleWeapons::CreateAutoGun = nullptr;
}

} // namespace
