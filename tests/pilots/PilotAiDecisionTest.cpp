// The computer pilot's decisions: the mode it chooses over its orders, targets and threats; the target
// search around a far mission target; fire control's ranges and its restraint with missiles in flight; the
// bomb release against a real bomb's fall.
#include "tests/pilots/PilotAiFixture.h"

#include "weapons/Bomb.h"
#include "weapons/Stores.h"

#include "base/Info.h"

#include <cmath>
#include <memory>

namespace {

using namespace PilotAiTest;
using Mode = Obj::PilotAi::Mode;

constexpr Obj::AiStores::Rack AirMissile = {true, 0, true, 20000};
constexpr Obj::AiStores::Rack GroundMissile = {true, 0, false, 8000};
constexpr Obj::AiStores::Rack Bombs = {true, 1, false, 0};

} // namespace

class ComputerPilotDecisions : public ComputerPilots {
protected:
    void SetUp() override {
        ComputerPilots::SetUp();
        own = Fly("Su27", 0, 0, 3000, 0, 200);
        ASSERT_TRUE(own);
        own->cockpit = std::make_unique<StandInCockpit>();
        pilot = std::make_unique<Obj::PilotAi>(17);
        Dress(*pilot);
        pilot->SetAirplane(own);
        pilot->stores = &stores;
    }
    void TearDown() override {
        pilot->SetAirplane(nullptr);
        pilot.reset();
        ComputerPilots::TearDown();
    }
    // One decision step at that time, on the airplane as it is.
    Mode Decide(float now = 10) {
        Look(*pilot, now);
        pilot->ScanWeapons();
        pilot->Decide();
        return pilot->mode;
    }
    // Another airplane at the offset from the own, with that heading, in the world (and with a cockpit).
    Obj::Airplane* Other(RwV3d offset, float heading, Obj::Allegiance side) {
        Obj::Airplane* other = Fly("Mig29", offset.x, offset.z, 3000 + offset.y, heading, 200, side);
        if (other)
            other->cockpit = std::make_unique<StandInCockpit>();
        return other;
    }
    void Remove(Obj::Object* object) {
        world->RemoveObject(object);
        delete object;
    }

    Obj::Airplane* own = nullptr;
    std::unique_ptr<Obj::PilotAi> pilot;
    StandInStores stores;
};

TEST_F(ComputerPilotDecisions, FormationChoiceOverTheLeadersDistanceAndHeading) {
    const struct {
        RwV3d offset;
        float heading;
        Mode mode;
    } cases[] = {
        {{0, 0, 4000}, 0, Obj::PilotAi::RejoinLeader},   {{2500, 0, -2500}, 0, Obj::PilotAi::RejoinLeader},
        {{0, 0, 50}, 0, Obj::PilotAi::BreakFromLeader},  {{40, 500, 40}, 0, Obj::PilotAi::BreakFromLeader},
        {{120, 0, 500}, 0, Obj::PilotAi::KeepFormation}, {{0, 0, 590}, 25, Obj::PilotAi::KeepFormation},
        {{0, 0, 590}, 35, Obj::PilotAi::JoinFormation},  {{120, 0, 500}, 90, Obj::PilotAi::JoinFormation},
        {{0, 0, 1500}, 0, Obj::PilotAi::JoinFormation},  {{0, 0, 2900}, 180, Obj::PilotAi::JoinFormation},
    };
    for (const auto& c : cases) {
        Obj::Airplane* leader = Other(c.offset, c.heading, Obj::Friendly);
        ASSERT_TRUE(leader);
        pilot->leader = leader;
        EXPECT_EQ(Decide(), c.mode) << c.offset.x << " " << c.offset.z << " " << c.heading;
        Remove(leader);
        EXPECT_FALSE(pilot->leader) << "a leader that goes is forgotten";
    }
}

TEST_F(ComputerPilotDecisions, OrdersTargetsAndThreatsChooseTheMode) {
    Obj::Airplane* enemyAhead = Other({0, 0, 10000}, 180, Obj::Enemy);
    Obj::Airplane* enemyAbeam = Other({20000, 0, 0}, 0, Obj::Enemy);
    Obj::Airplane* enemyFar = Other({0, 0, 60000}, 0, Obj::Enemy);
    auto* groundFar = new Marker({0, 0, 20000});
    auto* groundAhead = new Marker({0, 0, 5000});
    auto* groundOff = new Marker({8000, 0, 1000});
    for (Obj::Object* o : std::initializer_list<Obj::Object*>{groundFar, groundAhead, groundOff})
        world->AddObject(o);
    auto path = std::make_shared<Obj::PilotAi::NavPath>();
    path->points = {{0, 1000, 30000}};

    struct Case {
        const char* what;
        std::vector<Obj::AiStores::Rack> racks;
        Obj::Airplane* air;
        Obj::Damageable* ground;
        bool withPath, defend, threat;
        Mode mode;
    };
    const Case cases[] = {
        {"nothing to do", {}, nullptr, nullptr, false, false, false, Obj::PilotAi::Cruise},
        {"a path", {}, nullptr, nullptr, true, false, false, Obj::PilotAi::FollowPath},
        {"an object to defend", {}, nullptr, nullptr, false, true, false, Obj::PilotAi::Defend},
        {"a path before defending", {}, nullptr, nullptr, true, true, false, Obj::PilotAi::FollowPath},
        {"air target ahead", {AirMissile}, enemyAhead, nullptr, true, false, false, Obj::PilotAi::AttackAir},
        {"air target abeam", {AirMissile}, enemyAbeam, nullptr, false, false, false, Obj::PilotAi::TurnToAir},
        {"air target far", {AirMissile}, enemyFar, nullptr, false, false, false, Obj::PilotAi::ApproachAir},
        {"air target, no air weapons",
         {Bombs},
         enemyAhead,
         nullptr,
         true,
         false,
         false,
         Obj::PilotAi::FollowPath},
        {"ground target far", {Bombs}, nullptr, groundFar, false, false, false, Obj::PilotAi::ApproachGround},
        {"ground target off the nose",
         {Bombs},
         nullptr,
         groundOff,
         false,
         false,
         false,
         Obj::PilotAi::Reposition},
        {"ground target, bombs", {Bombs}, nullptr, groundAhead, false, false, false, Obj::PilotAi::BombRun},
        {"ground target, guided",
         {Bombs, GroundMissile},
         nullptr,
         groundAhead,
         false,
         false,
         false,
         Obj::PilotAi::RocketRun},
        {"a missile coming",
         {AirMissile},
         enemyAhead,
         nullptr,
         true,
         false,
         true,
         Obj::PilotAi::EvadeMissile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pilot->mode = Obj::PilotAi::Cruise;
        pilot->level = 0.5f;
        stores.racks = c.racks;
        pilot->airTarget = c.air;
        pilot->groundTarget = c.ground;
        pilot->missileTarget = nullptr;
        pilot->targetHoldUntil = 1000; // the chosen targets held: no search
        pilot->path = c.withPath ? path : nullptr;
        pilot->defendObject = c.defend ? groundFar : nullptr;
        auto* cockpit = static_cast<StandInCockpit*>(own->cockpit.get());
        cockpit->threats.clear();
        if (c.threat)
            cockpit->threats.push_back({Obj::CockpitLink::ThreatMissile, enemyAhead, 0});
        EXPECT_EQ(Decide(), c.mode);
    }
    // The bomb run aims at the target from a fresh start; the guided run holds the target.
    static_cast<StandInCockpit*>(own->cockpit.get())->threats.clear();
    pilot->mode = Obj::PilotAi::Cruise;
    stores.racks = {Bombs};
    pilot->groundTarget = groundAhead;
    pilot->missileTarget = nullptr;
    pilot->path = nullptr;
    ASSERT_EQ(Decide(), Obj::PilotAi::BombRun);
    EXPECT_EQ(pilot->bestMiss, 1000000.0f);
    EXPECT_EQ(pilot->aimPoint.z, 5000);
    EXPECT_EQ(stores.selected, 0);
    stores.racks = {Bombs, GroundMissile};
    pilot->mode = Obj::PilotAi::Cruise;
    ASSERT_EQ(Decide(), Obj::PilotAi::RocketRun);
    EXPECT_EQ(stores.selected, 1);
    EXPECT_EQ(stores.guidedTarget, static_cast<Obj::Target*>(groundAhead));
    EXPECT_EQ(pilot->missileTarget.Get(), static_cast<Obj::Damageable*>(groundAhead));
    // A destroyed target is dropped on the next step.
    groundAhead->hitPoints = 0;
    EXPECT_EQ(Decide(), Obj::PilotAi::Cruise);
    EXPECT_FALSE(pilot->groundTarget);
}

TEST_F(ComputerPilotDecisions, SearchFindsEnemiesOnlyWithSkill) {
    Obj::Airplane* enemy = Other({500, 0, 12000}, 180, Obj::Enemy);
    Obj::Airplane* friendAhead = Other({-500, 0, 9000}, 180, Obj::Friendly);
    ASSERT_TRUE(enemy && friendAhead);
    stores.racks = {AirMissile};
    for (const auto& [level, found] :
         {std::pair{0.0f, false}, std::pair{0.5f, true}, std::pair{1.0f, true}}) {
        pilot->level = level;
        pilot->airTarget = nullptr;
        pilot->missileTarget = nullptr;
        pilot->targetHoldUntil = 0;
        static_cast<StandInCockpit*>(enemy->cockpit.get())->threats.clear();
        const Mode mode = Decide();
        EXPECT_EQ(pilot->airTarget.Get() == enemy, found) << level;
        EXPECT_EQ(mode, found ? Obj::PilotAi::AttackAir : Obj::PilotAi::Cruise) << level;
        if (found) {
            // Held for 120 to 240 s; the enemy told it was seen, then locked.
            EXPECT_GE(pilot->targetHoldUntil, 10 + 120.0f);
            EXPECT_LT(pilot->targetHoldUntil, 10 + 240.0f);
            const auto& threats = static_cast<StandInCockpit*>(enemy->cockpit.get())->threats;
            ASSERT_EQ(threats.size(), 1u);
            EXPECT_EQ(threats[0].level, Obj::CockpitLink::ThreatTracked);
            EXPECT_EQ(threats[0].source, static_cast<Obj::Frame*>(own));
        }
    }
}

TEST_F(ComputerPilotDecisions, FarMissionTargetLimitsTheOpportunisticSearch) {
    // Mission target straight ahead at d; an opportunistic enemy at that range and bearing (degrees off the
    // mission target's bearing): searched only from 1000 to d - 30000 and within 25 degrees (45 beyond
    // 50000).
    const struct {
        float missionDistance, range, bearing;
        bool opportunist;
    } cases[] = {
        {40000, 5000, 20, true}, {40000, 5000, 30, false}, {40000, 12000, 0, false}, {40000, 800, 0, false},
        {60000, 5000, 40, true}, {60000, 5000, 50, false}, {20000, 5000, 0, false},
    };
    stores.racks = {AirMissile};
    pilot->level = 0.5f;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missionDistance);
        SCOPED_TRACE(c.bearing);
        Obj::Airplane* mission = Other({0, 0, c.missionDistance}, 0, Obj::Enemy);
        Obj::Airplane* opportunist =
            Other({c.range * std::sin(c.bearing * Degree), 0, c.range * std::cos(c.bearing * Degree)}, 0,
                  Obj::Enemy);
        ASSERT_TRUE(mission && opportunist);
        pilot->missionTarget = mission;
        pilot->airTarget = nullptr;
        pilot->groundTarget = nullptr;
        pilot->mode = Obj::PilotAi::Cruise;
        Decide();
        EXPECT_EQ(pilot->airTarget.Get(), c.opportunist ? opportunist : mission);
        EXPECT_EQ(pilot->missionTarget.Get(), static_cast<Obj::Damageable*>(mission));
        Remove(mission);
        Remove(opportunist);
    }
}

TEST_F(ComputerPilotDecisions, FiringRangeGrowsWithSkill) {
    const struct {
        float level, distance;
        bool fires;
    } cases[] = {{0, 9900, true},      {0, 10100, false}, {0.5f, 14900, true},
                 {0.5f, 15100, false}, {1, 19900, true},  {1, 20100, false}};
    for (const auto& c : cases) {
        Obj::Airplane* enemy = Other({0, 0, c.distance}, 180, Obj::Enemy);
        ASSERT_TRUE(enemy);
        stores.racks = {AirMissile};
        stores.selected = 0;
        stores.shots = 0;
        pilot->level = c.level;
        pilot->missileTarget = enemy;
        pilot->airTarget = enemy;
        pilot->lockStarted = true;
        pilot->fireTime = 5;
        Look(*pilot, 10);
        pilot->ScanWeapons();
        pilot->FireControl();
        EXPECT_EQ(stores.shots, c.fires ? 1 : 0) << c.level << " " << c.distance;
        if (c.fires) {
            // The rack is empty now: the target of that kind dropped, the next shot 1-2 s or 30-60 s on.
            EXPECT_FALSE(pilot->missileTarget);
            EXPECT_FALSE(pilot->airTarget);
            const float wait = pilot->fireTime - 10;
            const float slow = (1 - c.level) * 20;
            EXPECT_TRUE((wait >= 1 && wait < 2) || (wait >= 30 + slow && wait < 60 + slow)) << wait;
        }
        Remove(enemy);
    }
}

TEST_F(ComputerPilotDecisions, MissilesInFlightHoldTheNextShotBack) {
    Obj::Airplane* enemy = Other({0, 0, 5000}, 180, Obj::Enemy);
    ASSERT_TRUE(enemy);
    auto* cockpit = static_cast<StandInCockpit*>(enemy->cockpit.get());
    stores.emptiesOnFire = false;
    stores.racks = {AirMissile};
    for (const int inFlight : {0, 1, 2}) {
        cockpit->threats.clear();
        for (int i = 0; i < inFlight; ++i)
            cockpit->threats.push_back({Obj::CockpitLink::ThreatMissile, own, 0});
        stores.shots = 0;
        const int checks = 1200;
        for (int n = 0; n < checks; ++n) {
            stores.selected = 0;
            pilot->missileTarget = enemy;
            pilot->lockStarted = true;
            pilot->fireTime = 5;
            Look(*pilot, 10);
            pilot->FireControl();
        }
        if (inFlight == 0)
            EXPECT_EQ(stores.shots, checks);
        else if (inFlight == 1)
            EXPECT_NEAR(stores.shots, checks / 6, 60) << "one check in six";
        else
            EXPECT_EQ(stores.shots, 0);
    }
    // A new lock waits 0 to 8 s before the first shot; a refused shot is no shot.
    cockpit->threats.clear();
    stores.shots = 0;
    stores.selected = 0;
    pilot->missileTarget = enemy;
    pilot->lockStarted = false;
    Look(*pilot, 10);
    pilot->FireControl();
    EXPECT_TRUE(pilot->lockStarted);
    EXPECT_GE(pilot->fireTime, 10);
    EXPECT_LT(pilot->fireTime, 18);
    stores.fireWorks = false;
    Look(*pilot, pilot->fireTime + 0.01f);
    pilot->FireControl();
    EXPECT_EQ(stores.shots, 0);
    EXPECT_TRUE(pilot->missileTarget) << "still aiming";
    // A target destroyed meanwhile (its wreck still falling) is let go, not shot at.
    stores.fireWorks = true;
    enemy->hitPoints = 0;
    pilot->FireControl();
    EXPECT_EQ(stores.shots, 0);
    EXPECT_FALSE(pilot->missileTarget);
    EXPECT_EQ(stores.guidedTarget, nullptr);
}

TEST_F(ComputerPilotDecisions, FirstDecoySalvoHoldsTwoToFive) {
    auto* cockpit = static_cast<StandInCockpit*>(own->cockpit.get());
    Obj::Airplane* enemy = Other({0, 0, 2000}, 180, Obj::Enemy);
    cockpit->threats.push_back({Obj::CockpitLink::ThreatMissile, enemy, 0});
    Obj::PilotAi::ThreatGuidance = [](Obj::Frame*) { return 1; };
    std::vector<int> seen(6, 0);
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        Obj::PilotAi fresh(seed);
        Dress(fresh);
        fresh.SetAirplane(own);
        fresh.stores = &stores;
        Look(fresh, 10);
        fresh.CheckThreats();
        EXPECT_EQ(fresh.mode, Obj::PilotAi::EvadeMissile);
        EXPECT_FLOAT_EQ(fresh.nextDecoyTime, 10.2f);
        ASSERT_GE(fresh.decoysInSalvo, 2);
        ASSERT_LE(fresh.decoysInSalvo, 5);
        ++seen[fresh.decoysInSalvo];
        EXPECT_EQ(fresh.threatPosition.z, 2000);
        fresh.SetAirplane(nullptr);
    }
    Obj::PilotAi::ThreatGuidance = nullptr;
    for (int n = 2; n <= 5; ++n)
        EXPECT_GT(seen[n], 0) << n;
    // The threat gone, the evasion ends.
    cockpit->threats.clear();
    Obj::PilotAi evading(1);
    Dress(evading);
    evading.SetAirplane(own);
    evading.mode = Obj::PilotAi::EvadeMissile;
    Look(evading, 10);
    evading.CheckThreats();
    EXPECT_EQ(evading.mode, Obj::PilotAi::Cruise);
    evading.SetAirplane(nullptr);
}

// A run at the target: the release point the pilot picks sends a real bomb, let go as the stores let it go
// (pushed down from the rack), within 50 m of the aim. High and fast runs let go more than 2 km short of the
// target: 700 over flat land is the height that the run's terrain following flies.
TEST_F(ComputerPilotDecisions, BombReleaseLandsOnTheAimPoint) {
    Base::Info bombInfo;
    ASSERT_EQ(bombInfo.LoadFile("Data/Models/Weapons/Bomb.info"), 0);
    const struct {
        float speed, height, climb;
    } runs[] = {{150, 300, 0},   {200, 200, 0},  {250, 200, 0}, {180, 350, 0}, {130, 700, 0},
                {150, 400, -10}, {170, 300, 10}, {120, 900, 0}, {200, 700, 0}, {250, 700, 0},
                {230, 1000, -5}, {300, 1500, 0}, {280, 700, 8}};
    for (const auto& r : runs) {
        SCOPED_TRACE(r.speed);
        SCOPED_TRACE(r.height);
        auto* target = new Marker({300, 0, 0});
        world->AddObject(target);
        stores.racks = {Bombs};
        stores.selected = 0;
        stores.shots = 0;
        pilot->groundTarget = target;
        pilot->aimPoint = {300, 0, 0};
        pilot->bestMiss = 1000000.0f;
        pilot->mode = Obj::PilotAi::BombRun;
        pilot->ScanWeapons();
        // Straight at it from 2.5 km short of where a bomb would fall in a vacuum, released by the pilot's
        // own judgement.
        RwV3d position = {300 - 2500 - r.speed * std::sqrt(2 * r.height / 9.81f), r.height, 0};
        const RwV3d velocity = {r.speed, r.climb, 0};
        pilot->state.up = {0, 1, 0};
        pilot->state.at = {1, 0, 0};
        RwV3d release{}, releaseVelocity{};
        for (float t = 0; t < 60 && stores.shots == 0; t += 0.01f) {
            pilot->state.position = position;
            pilot->state.precisePosition[0] = position.x;
            pilot->state.precisePosition[1] = position.y;
            pilot->state.velocity = velocity;
            pilot->now = t;
            pilot->BombRelease();
            release = position;
            releaseVelocity = {velocity.x, velocity.y - Weapons::Stores::DropSpeed, velocity.z};
            position = {position.x + velocity.x * 0.01f, position.y + velocity.y * 0.01f, position.z};
        }
        ASSERT_EQ(stores.shots, 1);
        EXPECT_EQ(pilot->mode, Obj::PilotAi::Reposition);

        auto* bomb = new Weapons::Bomb();
        ASSERT_TRUE(bomb->LoadParams(&bombInfo)) << bomb->loadError;
        world->AddObject(bomb);
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = release;
        RwMatrixUpdate(&m);
        bomb->Transform(&m, rwCOMBINEREPLACE);
        bomb->Launch(releaseVelocity);
        // Fallen to the ground (height 0): where it crossed it.
        double last[3], now[3];
        bomb->GetWorldPositionDouble(last);
        for (int n = 0; n < 100 * 60; ++n) {
            Frame(0.01f);
            bomb->GetWorldPositionDouble(now);
            if (now[1] <= 0)
                break;
            std::copy(now, now + 3, last);
        }
        ASSERT_LE(now[1], 0);
        const double k = last[1] / (last[1] - now[1]);
        const RwV3d impact = {float(last[0] + k * (now[0] - last[0])), 0,
                              float(last[2] + k * (now[2] - last[2]))};
        EXPECT_LT(Length(Sub(impact, pilot->aimPoint)), 50) << impact.x;
        Remove(bomb);
        Remove(target);
    }
}

TEST_F(ComputerPilotDecisions, EvadingARadarMissileOnePilotInThreeJams) {
    auto* cockpit = static_cast<StandInCockpit*>(own->cockpit.get());
    Obj::Airplane* enemy = Other({0, 0, 2000}, 180, Obj::Enemy);
    cockpit->threats.push_back({Obj::CockpitLink::ThreatMissile, enemy, 0});
    Obj::PilotAi::ThreatGuidance = [](Obj::Frame*) { return 2; };
    int jamming = 0;
    const int pilots = 90;
    for (uint32_t seed = 1; seed <= pilots; ++seed) {
        Obj::PilotAi fresh(seed);
        Dress(fresh);
        fresh.SetAirplane(own);
        StandInStores recorded;
        fresh.stores = &recorded;
        Look(fresh, 10);
        fresh.Decide();
        EXPECT_EQ(fresh.mode, Obj::PilotAi::EvadeMissile);
        EXPECT_TRUE(fresh.threatIsRadar);
        const bool first = recorded.jammer;
        jamming += first;
        // The draw repeats on every step of the evasion: a pilot jams throughout or not at all.
        recorded.jammer = false;
        Look(fresh, 10.5f);
        fresh.Decide();
        EXPECT_EQ(recorded.jammer, first) << seed;
        fresh.SetAirplane(nullptr);
    }
    Obj::PilotAi::ThreatGuidance = nullptr;
    EXPECT_NEAR(jamming, pilots / 3, 15);
    // Infrared missiles are not jammed; out of the evasion the jammer goes off.
    Obj::PilotAi infrared(3);
    Dress(infrared);
    infrared.SetAirplane(own);
    infrared.stores = &stores;
    Look(infrared, 10);
    infrared.Decide();
    EXPECT_FALSE(stores.jammer);
    cockpit->threats.clear();
    Physics::AirplaneState s = own->GetState();
    s.jammerOn = 1;
    own->SetState(s);
    stores.jammer = true;
    Look(infrared, 11);
    infrared.Decide();
    EXPECT_FALSE(stores.jammer);
    infrared.SetAirplane(nullptr);
}

TEST_F(ComputerPilotDecisions, OutOfControlFiveInSixEjectBelowFiveThousand) {
    int willing = 0;
    for (uint32_t seed = 1; seed <= 600; ++seed)
        willing += Obj::PilotAi(seed).willEject;
    EXPECT_NEAR(willing, 500, 40);

    // Out of control, a pilot willing to eject decides nothing else (its mode stays); one who is not goes on.
    const struct {
        bool willEject;
        float height;
        bool ejects;
        Obj::PilotAi::Mode mode;
    } cases[] = {{true, 6000, false, Obj::PilotAi::Idle},
                 {true, 4900, true, Obj::PilotAi::Idle},
                 {false, 4900, false, Obj::PilotAi::Cruise}};
    for (const auto& c : cases) {
        Obj::Airplane* airplane = Fly("Su27", 5000, 0, c.height, 0, 200);
        ASSERT_TRUE(airplane);
        auto* seated = Seat(airplane, 5);
        seated->willEject = c.willEject;
        seated->stores = &stores;
        seated->mode = Obj::PilotAi::Idle;
        Physics::AirplaneState s = airplane->GetState();
        s.outOfControl = 1;
        airplane->SetState(s);
        Look(*seated, 10);
        seated->Decide();
        EXPECT_EQ(seated->GetAirplane() == nullptr, c.ejects) << c.height << " " << c.willEject;
        EXPECT_EQ(airplane->crashCountdown == 7.0f, c.ejects);
        EXPECT_EQ(seated->mode, c.mode);
    }
}
