// The airplane's gun as the weapons make it: its load from the description, where it sits, that its
// bullets reach another airplane and never the shooter, and re-arming.
#include "AirplaneFixture.h"

#include "weapons/AirplaneGun.h"
#include "weapons/Gun.h"

namespace {

// The makers are global: installed for one test only.
struct GunMakers {
    GunMakers() { Weapons::InstallAirplaneGun(); }
    ~GunMakers() {
        Obj::Airplane::CreateGun = nullptr;
        Obj::Airplane::RefillGun = nullptr;
    }
};

} // namespace

TEST_F(AirplaneWorld, TheGunFiresAlongTheNoseHitsAnotherAirplaneAndIsRefilled) {
    GunMakers makers;
    auto* shooter = Loaded(Sample("Su27"), Obj::Airplane::ComplexModel).release();
    auto* target = Loaded(Sample("Su27"), Obj::Airplane::ComplexModel).release();
    ASSERT_TRUE(shooter && target);
    auto* gun = dynamic_cast<Weapons::Gun*>(shooter->gun.Get());
    ASSERT_NE(gun, nullptr);
    EXPECT_EQ(gun->params.capacity, 250u);
    EXPECT_EQ(gun->params.rounds, 250u);
    EXPECT_EQ(gun->params.muzzleSpeed, 1036.0f);
    EXPECT_EQ(gun->params.interval, 0.1f);
    EXPECT_EQ(gun->params.lifetime, 1.5f);
    EXPECT_EQ(gun->bulletGroup->damage, 75.0f);
    shooter->allegiance = Obj::Friendly;
    target->allegiance = Obj::Enemy;
    world->AddObject(shooter);
    world->AddObject(target);
    EXPECT_EQ(gun->world, world.get());

    // Level at heading 0 (along +z), the target 150 m ahead in the gun's line, at the same speed.
    shooter->Place(0, 0, 3000, 0, 200);
    target->Place(shooter->gunSetup.offset.x, 150, 3000, 0, 200);
    const RwV3d muzzle = gun->Position();
    const RwV3d p = RwFrameGetWorldMatrix(shooter->frame)->pos;
    EXPECT_NEAR(muzzle.x - p.x, shooter->gunSetup.offset.x, 1e-3f);
    EXPECT_NEAR(muzzle.y - p.y, shooter->gunSetup.offset.y, 1e-3f);
    EXPECT_NEAR(muzzle.z - p.z, shooter->gunSetup.offset.z, 1e-3f);
    EXPECT_NEAR(gun->Forward().z, 1.0f, 1e-5f);

    const float full = target->hitPoints;
    const float shooterFull = shooter->hitPoints;
    for (int i = 0; i < 30; ++i) {
        if (i < 10) // five shots: one each 0.1 s
            gun->Fire(shooter->GetState().velocity);
        Frame(0.05f);
    }
    EXPECT_EQ(gun->params.rounds, 245u);
    EXPECT_LT(target->hitPoints, full);
    EXPECT_EQ(shooter->hitPoints, shooterFull);

    Physics::AirplaneState s = shooter->GetState();
    s.fuel = 0.5f;
    shooter->SetState(s);
    shooter->Rearm();
    EXPECT_EQ(gun->params.rounds, 250u);
    EXPECT_EQ(shooter->GetState().fuel, 1.0f);
}

TEST_F(AirplaneWorld, GunlessAndRemoteAirplanesGetNoGun) {
    GunMakers makers;
    auto remote = Loaded(Sample("Su27"), Obj::Airplane::NullModel, true);
    ASSERT_TRUE(remote);
    EXPECT_FALSE(remote->gun);
    auto gunless = Loaded(
        Edited("Su27", "NoGunAmmo", [](std::string& l) { return l.find("GunAmmo") == std::string::npos; }),
        Obj::Airplane::ComplexModel);
    ASSERT_TRUE(gunless);
    EXPECT_FALSE(gunless->gun);
    gunless->Rearm(); // nothing to refill
}
