// The weapon stores on the sample airplanes: racks from the model's frames, set-ups, the firing order, the
// selection and its count, the weapon door, decoys, the jammer and re-arming.
#include "tests/weapons/StoresFixture.h"

#include "weapons/Countermeasure.h"
#include "weapons/Gun.h"
#include "weapons/HomingRocket.h"
#include "weapons/Launcher.h"

#include "audio/Sound.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"

#include <gtest/gtest.h>

namespace {

using Weapons::Stores;

std::string Name(const Stores& stores, size_t i) {
    const Weapons::Ordnance* o = stores.GetOrdnance(i);
    return o ? std::string(o->name) : std::string("-");
}

template <class T> int CountIn(Grp::World& world) {
    int n = 0;
    world.ForEach([&](Obj::Object* o) { n += dynamic_cast<T*>(o) != nullptr; });
    return n;
}

// A frame named by its user data, below the parent.
RwFrame* NamedFrame(RwFrame* parent, const char* name) {
    RwFrame* frame = RwFrameCreate();
    const RwInt32 index = RpUserDataFrameAddArray(frame, "1.blindName", rpSTRINGUSERDATA, 1);
    EXPECT_GE(index, 0);
    RpUserDataArraySetString(RpUserDataFrameGetArray(frame, index), 0, name);
    RwFrameAddChild(parent, frame);
    return frame;
}

TEST_F(StoresWorld, RacksStopAtTheFirstMissingNumber) {
    RwFrame* root = RwFrameCreate();
    auto owner = std::make_unique<Obj::Airplane>();
    Obj::Airplane& airplane = *owner;
    airplane.SetFrame(root, false);
    RwFrame* rack0 = NamedFrame(airplane.frame, "Rack0");
    RwFrame* rack1 = NamedFrame(rack0, "Rack1"); // anywhere below the root
    RwFrame* rack3 = NamedFrame(airplane.frame, "Rack3");
    RwFrame* pylon = NamedFrame(airplane.frame, "Pylon2");
    {
        Stores stores(&airplane);
        ASSERT_EQ(stores.racks.size(), 2u);
        EXPECT_EQ(stores.racks[0]->frame, rack0);
        EXPECT_EQ(stores.racks[1]->frame, rack1);
        EXPECT_EQ(stores.selectedRack, Stores::NoRack);
        EXPECT_FALSE(stores.gunSelected);
        EXPECT_EQ(stores.decoys[0], 20);
        EXPECT_EQ(stores.decoys[1], 20);
    }
    owner.reset();
    for (RwFrame* f : {rack1, rack0, rack3, pylon}) {
        RwFrameRemoveChild(f);
        RwFrameDestroy(f);
    }
    RwFrameDestroy(root);

    Obj::Airplane* fighter = Flying("F16");
    ASSERT_NE(fighter, nullptr);
    EXPECT_EQ(StoresOf(fighter).racks.size(), 6u) << "the sample fighter's four wing and two belly racks";
}

// Keys in any letter case name racks; keys that are no rack, racks the airplane lacks, files that are
// missing and ordnance the stores cannot hang (an unguided rocket) are passed over, and the racks not named
// keep what they hold. Every set-up leaves the gun selected when there is one.
TEST_F(StoresWorld, SetupKeys) {
    Obj::Airplane* airplane = Flying("F16");
    ASSERT_NE(airplane, nullptr);
    Stores& stores = StoresOf(airplane);
    Apply(airplane, "RACK2 Weapons\\Bomb\nRACK5 Weapons\\FuelTank\n");
    EXPECT_EQ(CountIn<Weapons::Ordnance>(*world), 2);
    EXPECT_FALSE(stores.gunSelected) << "no gun on this airplane yet";

    Apply(airplane,
          "rack1 Weapons\\ShortAAM\nRACK0 Weapons\\MediumAAM\nRACKX Weapons\\Bomb\n"
          "RACK9 Weapons\\Bomb\nRack2 Weapons\\Missing\nRACK3 Weapons\\Rocket\nRACK4 Weapons\\RocketPod\n");
    const char* expected[] = {"MediumAAM", "ShortAAM", "Bomb", "-", "RocketPod", "FuelTank"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(Name(stores, i), expected[i]) << "rack " << i;
    }
    EXPECT_EQ(CountIn<Weapons::Ordnance>(*world), 5) << "nothing more than what hangs";
    // What hangs is attached to the airplane, below its rack's frame, in its world.
    for (size_t i : {0u, 1u, 2u, 4u, 5u}) {
        Weapons::Ordnance* o = stores.GetOrdnance(i);
        EXPECT_EQ(o->GetParent(), airplane);
        EXPECT_EQ(RwFrameGetParent(o->frame), stores.racks[i]->frame);
        EXPECT_EQ(o->rack, stores.racks[i].get());
        EXPECT_EQ(o->world, world.get());
    }
    // The missiles fly for the airplane: its own parts are never hit.
    EXPECT_EQ(dynamic_cast<Weapons::HomingRocket*>(stores.GetOrdnance(0))->owner.Get(), airplane);

    // Hung again, a rack's ordnance gives way to the new one.
    Apply(airplane, "RACK0 Weapons\\ShortAAM\n");
    EXPECT_EQ(Name(stores, 0), "ShortAAM");
    EXPECT_EQ(CountIn<Weapons::Ordnance>(*world), 5);

    // Through the airplane's description; a set-up it lacks changes nothing.
    EXPECT_FALSE(stores.LoadSetup("NoSuchSetup"));
    EXPECT_EQ(Name(stores, 4), "RocketPod");
    ASSERT_TRUE(stores.LoadSetup("AirToGround"));
    const char* loaded[] = {"ShortAAM", "ShortAAM", "Bomb", "Bomb", "RocketPod", "RocketPod"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(Name(stores, i), loaded[i]) << "rack " << i;
    }
}

// Four equal missiles leave from racks 0, 1, 2 and 3, sides alternating; after the last the gun is selected.
TEST_F(StoresWorld, FourMissilesFireInRackOrderThenTheGun) {
    Obj::Airplane* airplane = Flying("F16");
    ASSERT_NE(airplane, nullptr);
    Stores& stores = StoresOf(airplane);
    auto* gun = new Weapons::Gun();
    gun->Setup(airplane, {150, 150, 1036, 0.1f, 1.5f});
    gun->AttachTo(airplane, airplane->frame, false);
    airplane->gun = gun;
    world->AddObject(gun);
    Apply(airplane, "RACK0 Weapons\\ShortAAM\nRACK1 Weapons\\ShortAAM\nRACK2 Weapons\\ShortAAM\n"
                    "RACK3 Weapons\\ShortAAM\nRACK4 Weapons\\Bomb\n");
    EXPECT_TRUE(stores.gunSelected);
    OpenDoor(airplane);
    stores.SelectRack(0);
    std::vector<int> fired;
    for (int shot = 0; shot < 4; ++shot) {
        const int from = stores.selectedRack;
        Weapons::Ordnance* missile = stores.GetOrdnance(size_t(from));
        ASSERT_NE(missile, nullptr);
        ASSERT_TRUE(stores.FireSelected());
        EXPECT_EQ(stores.GetOrdnance(size_t(from)), nullptr);
        EXPECT_EQ(missile->GetParent(), nullptr) << "off the rack";
        EXPECT_EQ(missile->rack, nullptr);
        fired.push_back(from);
    }
    EXPECT_EQ(fired, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(stores.gunSelected);
    EXPECT_EQ(stores.selectedRack, Stores::NoRack);
    EXPECT_EQ(Name(stores, 4), "Bomb");

    // The gun fires through the stores with the airplane's velocity.
    ASSERT_TRUE(stores.FireSelected());
    EXPECT_EQ(gun->params.rounds, 149u);
    EXPECT_EQ(stores.GetSelectedCount(), 298);
}

// The next rack: the side (even racks left, odd right) with more rounds left, ties to the left; within a
// side the first rack holding any. Pods count their rockets.
TEST_F(StoresWorld, FindNextRackWithMixedCounts) {
    Obj::Airplane* airplane = Flying("F16");
    ASSERT_NE(airplane, nullptr);
    Stores& stores = StoresOf(airplane);
    Apply(airplane, "RACK0 Weapons\\RocketPod\nRACK1 Weapons\\RocketPod\nRACK2 Weapons\\RocketPod\n"
                    "RACK3 Weapons\\RocketPod\nRACK4 Weapons\\RocketPod\nRACK5 Weapons\\ShortAAM\n");
    const struct {
        int rockets[5];
        int expected;
    } rows[] = {
        {{19, 19, 19, 19, 19}, 0}, // left 57, right 38
        {{0, 19, 19, 19, 0}, 1},   // left 19 < right 38: the first odd rack
        {{0, 3, 0, 0, 19}, 4},     // 19 against 3: the first even rack with rounds left
        {{5, 0, 0, 3, 0}, 0},      // 5 against 3
        {{0, 0, 0, 2, 0}, 3},      // only the right side
        {{0, 0, 1, 2, 0}, 3},      // 1 against 2
        {{0, 0, 0, 0, 0}, 255},    // none left
    };
    for (const auto& row : rows) {
        for (int i = 0; i < 5; ++i)
            dynamic_cast<Weapons::Launcher*>(stores.GetOrdnance(size_t(i)))->rocketsLeft = row.rockets[i];
        int left = row.rockets[0] + row.rockets[2] + row.rockets[4], right = row.rockets[1] + row.rockets[3];
        SCOPED_TRACE(testing::Message() << "left " << left << " right " << right);
        EXPECT_EQ(int(stores.FindNextRack("RocketPod")), row.expected);
    }
    EXPECT_EQ(int(stores.FindNextRack("ShortAAM")), 5) << "the other side when one side holds none";
    EXPECT_EQ(int(stores.FindNextRack("shortaam")), 255) << "names compare with their case";
}

TEST_F(StoresWorld, SelectedCount) {
    Obj::Airplane* airplane = Flying("F16");
    ASSERT_NE(airplane, nullptr);
    Stores& stores = StoresOf(airplane);
    Apply(airplane, "RACK0 Weapons\\RocketPod\nRACK1 Weapons\\ShortAAM\nRACK2 Weapons\\RocketPod\n"
                    "RACK3 Weapons\\ShortAAM\n");
    EXPECT_EQ(stores.GetSelectedCount(), -1) << "nothing selected (no gun)";
    dynamic_cast<Weapons::Launcher*>(stores.GetOrdnance(2))->rocketsLeft = 7;
    const struct {
        uint8_t rack;
        int32_t count;
    } rows[] = {{0, 26}, {2, 26}, {1, 2}, {3, 2}, {4, -1}, {200, -1}};
    for (const auto& row : rows) {
        stores.SelectRack(row.rack);
        EXPECT_EQ(stores.GetSelectedCount(), row.count) << int(row.rack);
    }
    auto* gun = new Weapons::Gun();
    gun->Setup(airplane, {150, 150, 1036, 0.1f, 1.5f});
    gun->AttachTo(airplane, airplane->frame, false);
    airplane->gun = gun;
    ASSERT_TRUE(stores.SelectGun());
    EXPECT_EQ(stores.GetSelectedCount(), 300);
}

// With the weapon door short of fully open nothing leaves: the stores refuse with the error sound, heard
// only from the cockpit.
TEST_F(StoresWorld, ClosedWeaponDoorRefuses) {
    Obj::Airplane* airplane = Flying("F16");
    ASSERT_NE(airplane, nullptr);
    ASSERT_TRUE(airplane->weaponDoor.loaded);
    Stores& stores = StoresOf(airplane);
    Apply(airplane, "RACK0 Weapons\\Bomb\nRACK1 Weapons\\Bomb\n");
    stores.SelectRack(0);
    for (float door : {0.0f, 0.5f, 0.999f}) {
        airplane->weaponDoor.SetProgress(door);
        EXPECT_FALSE(stores.FireSelected()) << door;
        EXPECT_NE(stores.GetOrdnance(0), nullptr) << door;
        ASSERT_NE(stores.errorSound, nullptr);
        EXPECT_EQ(stores.errorSound->state, Audio::BasicSound::PlayRequested);
        EXPECT_EQ(stores.errorSound->volume, 0.0f);
        EXPECT_EQ(stores.errorSound->loop, 0);
    }
    EXPECT_EQ(stores.selectedRack, 0);
    Cockpit(airplane).eye = {3, 4, 0}; // the listener sits at the origin
    stores.Update();
    EXPECT_EQ(stores.errorSound->volume, 1.0f);
    Cockpit(airplane).eye = {3, 4.01f, 0};
    stores.Update();
    EXPECT_EQ(stores.errorSound->volume, 0.0f);

    OpenDoor(airplane);
    EXPECT_TRUE(stores.FireSelected());
    EXPECT_EQ(stores.GetOrdnance(0), nullptr);
    EXPECT_EQ(stores.selectedRack, 1);
    // An empty rack fires nothing and keeps its selection.
    stores.SelectRack(0);
    EXPECT_FALSE(stores.FireSelected());
    EXPECT_EQ(stores.selectedRack, 0);
}

// Twenty flares and twenty chaff; the 21st of a kind does nothing.
TEST_F(StoresWorld, TwentyDecoysOfEachKind) {
    Obj::Airplane* airplane = Flying("F16");
    ASSERT_NE(airplane, nullptr);
    Stores& stores = StoresOf(airplane);
    const size_t sounds = group->sounds.size();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(stores.DropCountermeasure(Stores::FlareKind)) << i;
    EXPECT_FALSE(stores.DropCountermeasure(Stores::FlareKind));
    EXPECT_EQ(CountIn<Weapons::Flare>(*world), 20);
    EXPECT_EQ(stores.decoys[Stores::FlareKind], 0);
    EXPECT_EQ(stores.decoys[Stores::ChaffKind], 20);
    EXPECT_TRUE(stores.DropCountermeasure(Stores::ChaffKind));
    EXPECT_EQ(CountIn<Weapons::Chaff>(*world), 1);
    EXPECT_FALSE(stores.DropCountermeasure(2));
    // Each drop is heard once.
    EXPECT_EQ(group->sounds.size() - sounds, 21u);

    // A decoy leaves where the airplane is, with its velocity.
    Weapons::Chaff* chaff = nullptr;
    world->ForEach([&](Obj::Object* o) {
        if (auto* c = dynamic_cast<Weapons::Chaff*>(o))
            chaff = c;
    });
    ASSERT_NE(chaff, nullptr);
    const RwV3d at = RwFrameGetWorldMatrix(chaff->frame)->pos;
    const RwV3d expected = RwFrameGetWorldMatrix(airplane->frame)->pos;
    EXPECT_NEAR(at.x, expected.x, 1e-3);
    EXPECT_NEAR(at.y, expected.y, 1e-3);
    EXPECT_NEAR(at.z, expected.z, 1e-3);
    EXPECT_NEAR(chaff->velocity.z, airplane->GetState().velocity.z, 1e-3);
    EXPECT_EQ(chaff->life, 10.0f);
}

// With the jammer on the airplane's radar holds nothing; an airplane the radar holds is warned that it is
// tracked.
TEST_F(StoresWorld, JammerAndRadarTrack) {
    Obj::Airplane* airplane = Flying("F16");
    Obj::Airplane* other = Flying("Mig29", {0, 1500, 3000});
    ASSERT_NE(airplane, nullptr);
    ASSERT_NE(other, nullptr);
    Stores& stores = StoresOf(airplane);
    Cockpit(airplane).radarTarget = other;
    stores.Update();
    EXPECT_EQ(Cockpit(other).Count(airplane, Obj::CockpitLink::ThreatTracked), 1);
    EXPECT_TRUE(Cockpit(airplane).radarChanges.empty());

    stores.SetJammer(true);
    EXPECT_EQ(airplane->GetState().jammerOn, 1);
    stores.Update();
    ASSERT_EQ(Cockpit(airplane).radarChanges.size(), 1u);
    EXPECT_EQ(Cockpit(airplane).radarChanges[0].target, nullptr);
    EXPECT_EQ(Cockpit(airplane).radarTarget, nullptr);
    EXPECT_EQ(Cockpit(other).Count(airplane, Obj::CockpitLink::ThreatTracked), 1) << "no longer tracked";
    stores.SetJammer(false);
    EXPECT_EQ(airplane->GetState().jammerOn, 0);
}

// A rack selected for a guided missile hands it the radar's target to search; the selection moving on takes
// it away again.
TEST_F(StoresWorld, SelectionGivesTheRadarTarget) {
    Obj::Airplane* airplane = Flying("F16");
    Obj::Airplane* other = Flying("Mig29", {0, 1000, 3000});
    ASSERT_NE(other, nullptr);
    Stores& stores = StoresOf(airplane);
    Apply(airplane, "RACK0 Weapons\\ShortAAM\nRACK1 Weapons\\ShortAAM\n");
    Cockpit(airplane).radarTarget = other;
    auto* first = dynamic_cast<Weapons::HomingRocket*>(stores.GetOrdnance(0));
    auto* second = dynamic_cast<Weapons::HomingRocket*>(stores.GetOrdnance(1));
    stores.SelectRack(0);
    EXPECT_EQ(first->GetTarget(), other);
    EXPECT_FALSE(first->IsLocked());
    EXPECT_TRUE(first->Obj::Runnable::group) << "its seeker runs on the rack";
    stores.SelectRack(1);
    EXPECT_EQ(first->GetTarget(), nullptr);
    EXPECT_FALSE(first->Obj::Runnable::group);
    EXPECT_EQ(second->GetTarget(), other);
}

// The trigger in the flight state fires through the airplane's run; re-arming hangs the set-up again with
// full decoys.
TEST_F(StoresWorld, TriggerAndRearm) {
    Obj::Airplane* airplane = Flying("F16");
    Stores& stores = StoresOf(airplane);
    Apply(airplane, "RACK0 Weapons\\ShortAAM\nRACK3 Weapons\\RocketPod\n");
    OpenDoor(airplane);
    stores.SelectRack(0);
    Physics::AirplaneState s = airplane->GetState();
    s.fireRequest = 1;
    airplane->SetState(s);
    Frame(0.02f);
    EXPECT_EQ(airplane->GetState().fireRequest, 0);
    EXPECT_EQ(stores.GetOrdnance(0), nullptr);
    EXPECT_EQ(CountIn<Weapons::HomingRocket>(*world), 1) << "in flight";
    stores.SelectRack(3);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(stores.FireSelected());
    EXPECT_EQ(dynamic_cast<Weapons::Launcher*>(stores.GetOrdnance(3))->rocketsLeft, 15);
    stores.DropCountermeasure(Stores::FlareKind);
    stores.DropCountermeasure(Stores::ChaffKind);

    airplane->Rearm();
    EXPECT_EQ(Name(stores, 0), "ShortAAM");
    EXPECT_EQ(dynamic_cast<Weapons::Launcher*>(stores.GetOrdnance(3))->rocketsLeft, 19);
    EXPECT_EQ(stores.decoys[0], 20);
    EXPECT_EQ(stores.decoys[1], 20);
    EXPECT_EQ(CountIn<Weapons::Launcher>(*world), 1);
}

// Leaving the world takes what hangs on the racks out with the airplane; coming back brings it along.
TEST_F(StoresWorld, OrdnanceFollowsTheAirplaneInAndOut) {
    Obj::Airplane* airplane = Flying("F16");
    Stores& stores = StoresOf(airplane);
    Apply(airplane, "RACK0 Weapons\\ShortAAM\nRACK1 Weapons\\Bomb\n");
    world->RemoveObject(airplane);
    EXPECT_EQ(stores.GetOrdnance(0)->world, nullptr);
    EXPECT_EQ(stores.GetOrdnance(1)->world, nullptr);
    world->AddObject(airplane);
    EXPECT_EQ(stores.GetOrdnance(0)->world, world.get());
    EXPECT_EQ(stores.GetOrdnance(1)->world, world.get());
}

} // namespace
