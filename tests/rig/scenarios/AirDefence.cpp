// "air-defence": the weapons in play. An F16 with the air-to-air set-up flies north at 1500 towards a
// Mig29 crossing its path; its selected missile searches the Mig29 from its rack. The player's trigger
// (SPACE, scripted) fires through the airplane's run and its stores; F drops one of the Mig29's flares.
// Ahead on the ground an armed car (the enemy's, like the Mig29) holds the F16 with its gun and missile
// site. Launches, the missiles' ends and the airplanes' losses are traced.
#include "tests/rig/WorldScenario.h"

#include "weapons/AutoWeapons.h"
#include "weapons/HomingRocket.h"
#include "weapons/Stores.h"

#include "aircraft/Airplane.h"
#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "objects/Vehicle.h"
#include "scene/AnimationFile.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"

#include "input/Keyboard.h"

#include <string>

namespace {

class AirDefence : public Rig::WorldScenario {
public:
    void Frame(Rig::RunContext& run) override {
        WorldScenario::Frame(run);
        if (!fighter || !target)
            return;
        if (run.keyboard && run.keyboard->pressedKey == DIK_SPACE) {
            Physics::AirplaneState s = fighter->GetState();
            s.fireRequest = 1;
            fighter->SetState(s);
            run.Trace("F16 trigger");
        }
        if (run.keyboard && run.keyboard->pressedKey == DIK_F) {
            if (Weapons::Stores* stores = Weapons::Stores::Of(target.Get());
                stores && stores->DropCountermeasure(0))
                run.Trace("Mig29 flare");
        }
        // Missiles that appeared or ended since the last frame.
        int flying = 0;
        world->ForEach([&](Obj::Object* o) {
            auto* missile = dynamic_cast<Weapons::HomingRocket*>(o);
            flying += missile && !missile->GetParent();
        });
        if (flying != missiles)
            run.Trace("missiles in flight " + std::to_string(flying));
        missiles = flying;
        for (auto* plane : {fighter.Get(), target.Get()})
            if (plane && plane->hitPoints < plane->maxHitPoints && !hurt[plane == target.Get()]) {
                hurt[plane == target.Get()] = true;
                run.Trace(std::string(plane == target.Get() ? "Mig29" : "F16") + " hit");
            }
    }

    // The world, then the caches' models, then the engine.
    void Stop() override {
        fighter = nullptr;
        target = nullptr;
        if (world) {
            world->Clear();
            world.reset();
        }
        Obj::Airplane::CreateStores = nullptr;
        Obj::VehicleWeapons::CreateAutoGun = nullptr;
        Obj::VehicleWeapons::CreateAutoLauncher = nullptr;
        Base::InfoCache::Clear();
        Base::AnimationCache::Clear();
        Base::AnimationCache::Read = nullptr;
        Base::AnimationCache::Destroy = nullptr;
        Base::ClumpCache::Clear();
        Base::ClumpCache::Read = nullptr;
        Base::ClumpCache::Clone = nullptr;
        Base::ClumpCache::Destroy = nullptr;
        WorldScenario::Stop();
    }

protected:
    bool Populate(Rig::RunContext&, std::string& error) override {
        Base::ClumpCache::Directory = "Data/Models\\";
        Rw::InstallClumpCache();
        Base::AnimationCache::Directory = "Data/Anims\\";
        Rw::InstallAnimationCache();
        Weapons::InstallStores();
        Weapons::InstallVehicleWeapons();

        auto* f16 = new Obj::Airplane();
        auto* mig = new Obj::Airplane();
        if (!f16->Load("Data/Models/Airplanes/F16", Obj::Airplane::SimpleModel) ||
            !mig->Load("Data/Models/Airplanes/Mig29", Obj::Airplane::SimpleModel)) {
            delete f16;
            delete mig;
            error = "the sample airplanes cannot be loaded";
            return false;
        }
        mig->allegiance = Obj::Enemy;
        world->AddObject(f16);
        world->AddObject(mig);
        f16->Place(0, 0, 1500, 0, 220);
        mig->Place(2500, 5000, 1700, 90, 200);
        fighter = f16;
        target = mig;

        Weapons::Stores* stores = Weapons::Stores::Of(f16);
        if (!stores || !stores->LoadSetup("AirToAir")) {
            error = "the F16's air-to-air set-up cannot be hung";
            return false;
        }
        Physics::AirplaneState s = f16->GetState();
        s.weaponDoorCommand = 1;
        f16->SetState(s);
        stores->SelectRack(0);
        stores->SetSelectedTarget(mig);

        auto* car = new Obj::WarCar();
        Base::Info info;
        if (info.LoadFile("Data/Models/Flak.info") != 0 ||
            !car->Setup(&info, {300, 9000}, {0, -1}, 0, 10, 1, 2, true, true)) {
            delete car;
            error = "the armed car cannot be set up";
            return false;
        }
        car->allegiance = Obj::Enemy;
        world->AddObject(car);
        return true;
    }

private:
    Base::SmartPtr<Obj::Airplane> fighter, target;
    int missiles = 0;
    bool hurt[2] = {false, false};
};

const bool registered = Rig::RegisterScenario(
    "air-defence", [] { return std::unique_ptr<Rig::Scenario>(new AirDefence()); },
    "an F16 fires its missiles at a crossing Mig29 while an armed car's gun and missile site defend");

} // namespace
