// The mission's armoury on the real weapons: set-ups and the front end's loadout on the sample airplanes'
// stores, and the missile of "LaunchRocket" flown at a real airplane.
#include "tests/mission/MissionFixture.h"

#include "weapons/HomingRocket.h"
#include "weapons/Stores.h"

#include "objects/Explosion.h"
#include "scene/WorldPasses.h"

#include <cmath>
#include <string>
#include <vector>

using namespace MissionTest;

class MissionArmoury : public MissionWorld {
protected:
    void SetUp() override {
        MissionWorld::SetUp();
        Mission::Armoury::installed = previousArmoury; // the binding to the game's weapons
        ASSERT_TRUE(Weapons::InstallStores());
    }
    void TearDown() override {
        MissionWorld::TearDown();
        Obj::Airplane::CreateStores = nullptr;
    }

    // What hangs on each rack, by the ordnance's name ("" for an empty rack).
    static std::vector<std::string> Racks(Obj::Airplane* airplane) {
        std::vector<std::string> names;
        const Weapons::Stores* stores = Weapons::Stores::Of(airplane);
        EXPECT_NE(stores, nullptr);
        if (!stores)
            return names;
        for (size_t i = 0; i < stores->racks.size(); ++i) {
            const Weapons::Ordnance* o = stores->GetOrdnance(i);
            names.push_back(o ? o->name : "");
        }
        return names;
    }
    void Run(const std::string& text) {
        auto action = Action(text);
        ASSERT_TRUE(action) << text;
        action->Execute();
    }
    template <class T> std::vector<T*> All() {
        std::vector<T*> found;
        world->ForEach([&](Obj::Object* o) {
            if (auto* t = dynamic_cast<T*>(o))
                found.push_back(t);
        });
        return found;
    }
    size_t ObjectCount() {
        size_t n = 0;
        world->ForEach([&](Obj::Object*) { ++n; });
        return n;
    }
};

TEST_F(MissionArmoury, SetUpsAndTheLoadoutHangOnTheStores) {
    using Names = std::vector<std::string>;
    const Names airToAir{"ShortAAM", "ShortAAM", "MediumAAM", "MediumAAM", "FuelTank", "FuelTank"};
    const Names airToGround{"ShortAAM", "ShortAAM", "Bomb", "Bomb", "RocketPod", "RocketPod"};
    Mission::Mission& m = Load("");
    Run("SpawnPlayer\n{\nSetupType AirGround\nModel Airplanes\\F16\nOrdnance AirToAir\nPos 0 0\nHdg 0\n"
        "Alt 2000\nSpeed 200\n}");
    auto* player = dynamic_cast<Obj::Airplane*>(m.FindObject("PlayerAirplane"));
    ASSERT_TRUE(player);
    EXPECT_EQ(Racks(player), airToAir);
    // A set-up the airplane's description lacks leaves the racks as they are.
    EXPECT_FALSE(Mission::Armoury::installed->LoadSetup(player, "Nothing"));
    EXPECT_EQ(Racks(player), airToAir);

    // Without a set-up of its own the player gets the front end's loadout; racks it does not name stay empty.
    host.request.airplane = "Airplanes\\F16";
    host.request.loadout.AddValue("Rack0", "Weapons\\MediumAAM");
    host.request.loadout.AddValue("Rack3", "Weapons\\Bomb");
    Load("");
    Run("SpawnPlayer\n{\nSetupType AirGround\nPos 0 0\nHdg 0\nAlt 2000\nSpeed 200\n}");
    player = dynamic_cast<Obj::Airplane*>(mission->FindObject("PlayerAirplane"));
    ASSERT_TRUE(player);
    EXPECT_EQ(Racks(player), (Names{"MediumAAM", "", "", "Bomb", "", ""}));

    // Every airplane of a group gets the group's set-up.
    Run("SpawnAirplanes\n{\nObjectId Mud\nCount 2\nFormation\n{\nType Wedge\nObjectsSpan 100\n}\n"
        "Pos 0 5000\nHdg 180\nAlt 1000\nModel Airplanes\\F16\nOrdnance AirToGround\nAllegiance Enemy\n}");
    for (const char* name : {"Mud1", "Mud2"}) {
        auto* airplane = dynamic_cast<Obj::Airplane*>(mission->FindObject(name));
        ASSERT_TRUE(airplane) << name;
        EXPECT_EQ(Racks(airplane), airToGround) << name;
    }
}

TEST_F(MissionArmoury, LaunchRocketFliesAMissileAtItsTarget) {
    Mission::Mission& m = Load("");
    Run("SpawnAirplanes\n{\nObjectId Bandit\nPos 3000 4000\nHdg 0\nAlt 800\nInitSpeed 150\n"
        "Model Airplanes\\Mig29\nAllegiance Enemy\n}");
    auto* bandit = dynamic_cast<Obj::Airplane*>(m.FindObject("Bandit"));
    ASSERT_TRUE(bandit);
    const size_t before = ObjectCount();

    // Nothing is left behind for a target that is absent or no target, nor for a type that does not load.
    Run("LaunchRocket\n{\nType ShortAAM\nTargetId Nobody\nPos 0 0\n}");
    Run("LaunchRocket\n{\nType NoSuchMissile\nTargetId Bandit\nPos 0 0\n}");
    EXPECT_EQ(ObjectCount(), before);

    Run("LaunchRocket\n{\nType ShortAAM\nTargetId Bandit\nPos 0 0\n}");
    const std::vector<Weapons::HomingRocket*> missiles = All<Weapons::HomingRocket>();
    ASSERT_EQ(missiles.size(), 1u);
    Weapons::HomingRocket* missile = missiles[0];
    EXPECT_EQ(missile->name, "ShortAAM");
    EXPECT_EQ(missile->GetTarget(), static_cast<Obj::Target*>(bandit));
    EXPECT_TRUE(missile->IsLocked());
    // Level, at the target's height, towards it, at 250 units per second.
    const RwMatrix& placed = *RwFrameGetWorldMatrix(missile->frame);
    const float height = bandit->GetState().position.y;
    EXPECT_NEAR(placed.pos.x, 0, 1e-3);
    EXPECT_NEAR(placed.pos.y, height, 1e-3);
    EXPECT_NEAR(placed.pos.z, 0, 1e-3);
    EXPECT_NEAR(placed.at.x, 0.6f, 1e-3);
    EXPECT_NEAR(placed.at.y, 0, 1e-6);
    EXPECT_NEAR(placed.at.z, 0.8f, 1e-3);
    EXPECT_NEAR(missile->velocity.x, 150, 0.01);
    EXPECT_NEAR(missile->velocity.y, 0, 1e-6);
    EXPECT_NEAR(missile->velocity.z, 200, 0.01);

    // It flies the five kilometres and sets off its warhead at the bandit.
    Base::SmartPtr<Weapons::HomingRocket> alive(missile);
    const float hitPoints = bandit->hitPoints;
    for (int i = 0; i < 1000 && alive; ++i) {
        const float t0 = world->time->time;
        world->time->step = 0.01f;
        world->time->time = t0 + 0.01f;
        Grp::SimulateGroup(*world->simulateables, t0, t0 + 0.01f);
        Grp::RunGroup(*world->runnables);
    }
    EXPECT_FALSE(alive);
    EXPECT_FALSE(All<Obj::Explosion>().empty());
    EXPECT_LT(bandit->hitPoints, hitPoints);
}
