// Sample airplanes with their weapon stores in a world with sounds: the stores' maker installed, a cockpit
// stand-in on every airplane made here, and set-ups from text.
#pragma once

#include "tests/aircraft/AirplaneFixture.h"
#include "tests/weapons/CockpitStandIn.h"

#include "weapons/Stores.h"

#include "audio/SoundGroup.h"
#include "base/Info.h"
#include "base/SoundCache.h"
#include "scene/MatrixHelpers.h"

#include <memory>
#include <string>

class StoresWorld : public AirplaneWorld {
protected:
    void SetUp() override {
        AirplaneWorld::SetUp();
        ASSERT_TRUE(Weapons::InstallStores());
        Base::SoundCache::Directory = std::string(CORVANE_BINARY_DIR) + "/data/Data/Sounds";
        world->soundGroup = group.get();
    }
    void TearDown() override {
        AirplaneWorld::TearDown();
        Obj::Airplane::CreateStores = nullptr;
        group.reset();
        Base::SoundCache::Clear();
    }

    void Clock(float now, float step) {
        world->time->time = now;
        world->time->step = step;
    }
    // A sample airplane of that kind flying level at 1000 units, in the world, with a cockpit stand-in.
    Obj::Airplane* Flying(const std::string& title, RwV3d at = {0, 1000, 0}, int kind = 1) {
        std::unique_ptr<Obj::Airplane> made = Loaded(Sample(title), kind);
        if (!made)
            return nullptr;
        Obj::Airplane* airplane = made.release();
        airplane->cockpit = std::make_unique<WeaponsTest::CockpitStandIn>();
        world->AddObject(airplane);
        airplane->Place(at.x, at.z, at.y, 0, 200);
        return airplane;
    }
    static WeaponsTest::CockpitStandIn& Cockpit(Obj::Airplane* airplane) {
        return static_cast<WeaponsTest::CockpitStandIn&>(*airplane->cockpit);
    }
    static Weapons::Stores& StoresOf(Obj::Airplane* airplane) {
        Weapons::Stores* stores = Weapons::Stores::Of(airplane);
        EXPECT_NE(stores, nullptr);
        return *stores;
    }
    // Applies the set-up written as "key value" lines.
    static void Apply(Obj::Airplane* airplane, const std::string& lines) {
        Base::Info setup;
        ASSERT_EQ(setup.LoadText(lines), 0);
        StoresOf(airplane).ApplySetup(&setup);
    }
    // The weapon door fully open, as the flight state and the animation say.
    static void OpenDoor(Obj::Airplane* airplane) {
        Physics::AirplaneState s = airplane->GetState();
        s.weaponDoorCommand = 1;
        s.weaponDoorOpening = 1;
        airplane->SetState(s);
        airplane->weaponDoor.SetProgress(1);
    }

    std::unique_ptr<Audio::SoundGroup> group = std::make_unique<Audio::SoundGroup>(0.0f);
};
