// The computer pilot's steering: the commands each operation gives (checked against their closed forms) and
// what they make the simple flight model do; the terrain profile and terrain following over a ridge; the
// skill's scaling; the missile evasion's decoys and beam turn.
#include "tests/pilots/PilotAiFixture.h"

#include "tests/objects/TerrainFixture.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace PilotAiTest;
// Degrees from the airplane's nose to the point, positive towards its right axis (up x at), seen from above.
float OffNose(const Physics::AirplaneState& s, const RwV3d& point) {
    const RwV3d to = Sub(point, s.position);
    const RwV3d right = {s.up.y * s.at.z - s.up.z * s.at.y, 0, s.up.x * s.at.y - s.up.y * s.at.x};
    const float x = to.x * right.x + to.z * right.z, z = to.x * s.at.x + to.z * s.at.z;
    return std::atan2(x, z) / Degree;
}

} // namespace

TEST_F(ComputerPilots, TurnTowardsBanksTowardsThePointAndTheAirplaneTurnsThere) {
    for (const float side : {1.0f, -1.0f}) {
        SCOPED_TRACE(side);
        Obj::Airplane* airplane = Fly("Su27", 0, 0, 3000, 0, 200);
        ASSERT_TRUE(airplane);
        Obj::PilotAi pilot(3);
        Dress(pilot);
        pilot.SetAirplane(airplane);
        Look(pilot);
        // The right axis is +x when flying along +z.
        const RwV3d point = {side * 3000, 3000, 3000};
        pilot.TurnTowards(point);
        const float h = std::atan2(side * 3000.0f, 3000.0f);
        EXPECT_NEAR(pilot.state.rollInput, -std::tanh(5 * h), 1e-5f);

        float t = 0;
        float bankAfterOneSecond = 0;
        for (int n = 0; n < 60 * 15; ++n) {
            Look(pilot, t);
            pilot.TurnTowards(point);
            pilot.state.throttle = 0.6f;
            airplane->SetState(pilot.state);
            Frame(1.0f / 60);
            t += 1.0f / 60;
            if (n == 60)
                bankAfterOneSecond = pilot.BankAngle();
        }
        // Banked towards the point (the wing on its side lowered), then the nose on it.
        Look(pilot, t);
        EXPECT_GT(bankAfterOneSecond * side, 0.2f);
        EXPECT_LT(std::fabs(OffNose(pilot.state, point)), 10.0f);
        pilot.SetAirplane(nullptr);
        world->RemoveObject(airplane);
        delete airplane;
    }
}

TEST_F(ComputerPilots, SteeringCommandsFollowTheirFormulas) {
    Obj::Airplane* airplane = Fly("Su27", 0, 0, 3000, 0, 200);
    ASSERT_TRUE(airplane);
    Obj::PilotAi pilot(3);
    Dress(pilot);
    pilot.SetAirplane(airplane);
    Look(pilot);

    // FlyTowards: full throttle within 40 degrees off the nose, 0.3 within 130, none beyond.
    for (const auto& [degrees, throttle] :
         {std::pair{30.0f, 1.0f}, std::pair{-100.0f, 0.3f}, std::pair{150.0f, 0.0f}}) {
        const RwV3d point = {3000 * std::sin(degrees * Degree), 3000, 3000 * std::cos(degrees * Degree)};
        pilot.FlyTowards(point);
        EXPECT_EQ(pilot.state.throttle, throttle) << degrees;
        EXPECT_EQ(pilot.state.rollInput<0, degrees> 0) << degrees;
    }

    // ClimbTo on level flight: the attitude asked is 0.4 rad at most, scaled down for far targets and small
    // errors; above 1000 over the ground the command stays within 0.6.
    const struct {
        float error, distance, height, pitch;
    } climbs[] = {
        {5000, -1, 500, std::tanh(10 * 0.4f)},
        {-5000, 0, 500, -std::tanh(10 * 0.4f)},
        {5000, 10000, 500, std::tanh(10 * 0.4f * 0.55f)},
        {5000, 20000, 500, std::tanh(10 * 0.4f * 0.2f)},
        {100, -1, 500, std::tanh(10 * 0.4f * std::pow(0.5f, 1.4f))},
        {5000, -1, 2000, 0.6f},
        {-5000, -1, 2000, -0.6f},
    };
    for (const auto& c : climbs) {
        pilot.heightAboveGround = c.height;
        pilot.ClimbTo(3000 + c.error, c.distance);
        EXPECT_NEAR(pilot.state.pitchInput, c.pitch, 1e-4f)
            << c.error << " " << c.distance << " " << c.height;
    }

    // Nose up by 0.4 rad: a climb asks for no more, a dive pulls the nose down.
    Physics::AirplaneState s = pilot.state;
    s.at = {0, std::sin(0.4f), std::cos(0.4f)};
    s.up = {0, std::cos(0.4f), -std::sin(0.4f)};
    pilot.state = s;
    EXPECT_NEAR(pilot.PitchAttitude(), 0.4f, 1e-5f);
    pilot.heightAboveGround = 500;
    pilot.ClimbTo(9000, -1);
    EXPECT_NEAR(pilot.state.pitchInput, 0, 1e-5f);
    pilot.ClimbTo(0, -1);
    EXPECT_NEAR(pilot.state.pitchInput, -std::tanh(10 * 0.8f), 1e-5f);

    // PointAt: pitch towards the target's height, bank into the heading error, wings levelled without one.
    Look(pilot);
    const struct {
        float vertical, heading, roll, pitch;
    } points[] = {
        {-0.1f, 0, 0, 0.5f},        // target above the nose
        {0.1f, 0, 0, -0.5f},        // below
        {0, 0.02f, -0.13333f, 0},   // a little to the right: 2 x (-5 x 0.6667 x 0.02)
        {0, -0.5f, 1.0f, 0},        // far to the left
        {-0.3f, 0.1f, -1.0f, 1.0f}, // both clamped
    };
    for (const auto& p : points) {
        pilot.PointAt(p.vertical, p.heading);
        EXPECT_NEAR(pilot.state.rollInput, p.roll, 1e-3f) << p.vertical << " " << p.heading;
        EXPECT_NEAR(pilot.state.pitchInput, p.pitch, 1e-5f) << p.vertical << " " << p.heading;
    }
    // Banked 0.5 rad with no error: rolled back level.
    s = pilot.state;
    s.up = {-std::sin(0.5f), std::cos(0.5f), 0};
    pilot.state = s;
    pilot.PointAt(0, 0);
    EXPECT_NEAR(pilot.state.rollInput, 2 * pilot.BankAngle(), 1e-5f);
    EXPECT_NE(pilot.BankAngle(), 0.0f);

    // MatchSpeed: the top speed at this height from the simple model's MaxSpeed.
    Look(pilot);
    const float maxSpeed = airplane->flightModel->params.simple.maxSpeed;
    const float vmax = (0.3f + 1) / 2 * maxSpeed;
    const float u = 250;
    const float expected = std::clamp(std::pow((u - 80) / (vmax - 80), 2.0f) - (200 - u) * 0.1f, 0.0f, 1.0f);
    pilot.MatchSpeed(u);
    EXPECT_NEAR(pilot.state.throttle, expected, 1e-4f);
    pilot.SetAirplane(nullptr);
}

TEST_F(ComputerPilots, ClimbToClimbsAndDescends) {
    for (const float change : {1500.0f, -1500.0f}) {
        SCOPED_TRACE(change);
        Obj::Airplane* airplane = Fly("Su27", 0, 0, 4000, 0, 220);
        ASSERT_TRUE(airplane);
        Obj::PilotAi pilot(5);
        Dress(pilot);
        pilot.SetAirplane(airplane);
        float t = 0;
        for (int n = 0; n < 60 * 40; ++n) {
            Look(pilot, t);
            pilot.ClimbTo(4000 + change, -1);
            pilot.state.rollInput = 0;
            pilot.state.throttle = 0.8f;
            airplane->SetState(pilot.state);
            Frame(1.0f / 60);
            t += 1.0f / 60;
        }
        Look(pilot, t);
        EXPECT_NEAR(pilot.state.position.y, 4000 + change, 150);
        pilot.SetAirplane(nullptr);
        world->RemoveObject(airplane);
        delete airplane;
    }
}

// The formation, the bomb run and the pull-up fly their commands unscaled, by the level and by the skill
// factor alike: scaled, a wingman's throttle would hold it off its slot by up to 60 m.
TEST_F(ComputerPilots, SkillScalesTheCommandsExceptInTheFormationAndSafetyModes) {
    Obj::PilotAi pilot(11);
    Dress(pilot);
    const float factor = pilot.skillFactor;
    EXPECT_GE(factor, 0.8f);
    EXPECT_LT(factor, 1.2f);
    EXPECT_NE(factor, 1.0f);
    const struct {
        float level;
        Obj::PilotAi::Mode mode;
        float scale; // times the skill factor; 0: unscaled
    } cases[] = {
        {0, Obj::PilotAi::Cruise, 0.5f},       {0.25f, Obj::PilotAi::AttackAir, 0.75f},
        {0.5f, Obj::PilotAi::AttackAir, 1.0f}, {1, Obj::PilotAi::FollowPath, 1.0f},
        {0, Obj::PilotAi::RejoinLeader, 0},    {0, Obj::PilotAi::JoinFormation, 0},
        {1, Obj::PilotAi::KeepFormation, 0},   {0, Obj::PilotAi::BreakFromLeader, 0},
        {0, Obj::PilotAi::BombRun, 0},         {0.5f, Obj::PilotAi::PullUp, 0},
        {0, Obj::PilotAi::RocketRun, 0.5f},    {0, Obj::PilotAi::EvadeMissile, 0.5f},
    };
    for (const auto& c : cases) {
        pilot.level = c.level;
        pilot.mode = c.mode;
        pilot.state.rollInput = 0.5f;
        pilot.state.pitchInput = -0.9f;
        pilot.state.throttle = 0.7f;
        pilot.ScaleCommands();
        const float s = c.scale ? c.scale * factor : 1.0f;
        EXPECT_FLOAT_EQ(pilot.state.rollInput, std::clamp(0.5f * s, -1.0f, 1.0f)) << c.level << " " << c.mode;
        EXPECT_FLOAT_EQ(pilot.state.pitchInput, std::clamp(-0.9f * s, -1.0f, 1.0f))
            << c.level << " " << c.mode;
        EXPECT_FLOAT_EQ(pilot.state.throttle, std::min(0.7f * s, 1.0f)) << c.level << " " << c.mode;
    }
    pilot.state.throttle = -0.3f;
    pilot.ScaleCommands();
    EXPECT_EQ(pilot.state.throttle, 0);
}

// The formation's estimate of the throttle that flies the leader's speed: flown level on the simple flight
// model, the throttle settles the airplane at that speed, low and high (at 500 the model's top speed, 142,
// is under its idle speed, 150).
TEST_F(ComputerPilots, LevelThrottleHoldsTheSpeedOnTheSimpleFlightModel) {
    const struct { float height, speed; } cases[] = {{500, 146}, {3000, 180}, {9000, 262}, {12000, 300}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.height);
        Obj::Airplane* airplane = Fly("Mig29", 0, 0, c.height, 0, 150);
        ASSERT_TRUE(airplane);
        Obj::PilotAi pilot(3);
        Dress(pilot);
        pilot.SetAirplane(airplane);
        Look(pilot);
        const float throttle = pilot.LevelThrottleFor(c.speed);
        EXPECT_GT(throttle, 0.0f);
        EXPECT_LT(throttle, 1.0f);
        Physics::AirplaneState s = airplane->GetState();
        s.throttle = throttle;
        s.rollInput = s.pitchInput = 0;
        airplane->flightModel->SetState(s);
        for (int i = 0; i < 3000; ++i)
            airplane->flightModel->Step(0.01f);
        s = airplane->GetState();
        EXPECT_NEAR(Base::VectorLength(s.velocity), c.speed, 0.5f);
        EXPECT_NEAR(s.position.y, c.height, 1.0f);
        pilot.SetAirplane(nullptr);
        world->RemoveObject(airplane);
        delete airplane;
    }
    // Slower than the model flies at idle: no throttle.
    Obj::Airplane* airplane = Fly("Mig29", 0, 0, 3000, 0, 150);
    Obj::PilotAi pilot(3);
    Dress(pilot);
    pilot.SetAirplane(airplane);
    Look(pilot);
    EXPECT_EQ(pilot.LevelThrottleFor(120), 0.0f);
    EXPECT_EQ(pilot.LevelThrottleFor(150), 0.0f);
    pilot.SetAirplane(nullptr);
}

// A ridge across the flight line: heights rise from 100 to 1700 over 2 km and fall again.
class ComputerPilotsOverARidge : public ComputerPilots {
protected:
    void SetUp() override {
        ComputerPilots::SetUp();
        TerrainFixture::Keys keys;
        keys.sliceSize = "8192";
        keys.vertices = "17";
        keys.slices = "4 4";
        keys.origin = "-16384 -16384";
        keys.scale = "10";
        keys.size = "65 65";
        TerrainFixture::Image height{65, 65, 1, std::vector<uint8_t>(65 * 65, 10)};
        for (int row = 0; row < 65; ++row)
            for (int column = 0; column < 65; ++column) {
                const int k = std::abs(row - 34);
                height.At(column, row) = uint8_t(k >= 4 ? 10 : 10 + (4 - k) * 40);
            }
        const TerrainFixture::Image land = TerrainFixture::Mask(65, 65, 1),
                                    water = TerrainFixture::Mask(65, 65, 0);
        ASSERT_TRUE(TerrainFixture::Build(terrain, keys, height, land, water));
        world->terrain = &terrain;
    }
    void TearDown() override {
        world->terrain = nullptr;
        ComputerPilots::TearDown();
    }
    float Ground(float x, float z) const {
        Base::Vector3 point, normal;
        if (!terrain.IntersectSegment({{x, 30000, z}, {x, -100, z}}, &point, &normal))
            return -1e9f;
        return point.y;
    }
    Obj::Terrain terrain;
};

TEST_F(ComputerPilotsOverARidge, ProfileClearsTheRidgeAndNeverDropsMoreThanAHundredAStep) {
    // The ridge lies across the z axis about z = 0.
    float top = -1e9f, topZ = 0;
    for (float z = -10000; z <= 10000; z += 100)
        if (Ground(0, z) > top)
            top = Ground(0, z), topZ = z;
    ASSERT_NEAR(top, 1700, 25);
    ASSERT_NEAR(Ground(0, topZ - 5000), 100, 1);
    ASSERT_NEAR(Ground(0, topZ + 5000), 100, 1);

    Obj::Airplane* airplane = Fly("Su25", 0, topZ - 6000, 1200, 0, 200);
    ASSERT_TRUE(airplane);
    Obj::PilotAi pilot(7);
    Dress(pilot);
    pilot.SetAirplane(airplane);
    for (float start = topZ - 6000; start <= topZ + 2000; start += 1000) {
        SCOPED_TRACE(start);
        Physics::AirplaneState s = airplane->GetState();
        s.position.z = start;
        s.precisePosition[2] = start;
        airplane->SetState(s);
        Look(pilot);
        pilot.BuildProfile(true);
        const RwV3d* p = pilot.terrainProfile;
        EXPECT_EQ(p[0].z, start);
        EXPECT_FLOAT_EQ(pilot.profileHeading, 0);
        for (int k = 1; k < 5; ++k) {
            EXPECT_NEAR(p[k].z - start, 1000 * k, 0.01f);
            EXPECT_GT(p[k].y, Ground(p[k].x, p[k].z)) << k;
            // The lift stops a quarter step (400) above the lowest clear height it found, at most.
            EXPECT_LT(p[k].y, std::max(Ground(p[k].x, p[k].z), p[k - 1].y) + 1600 + 1) << k;
            if (k >= 2) { // the first sample is the airplane's own position
                EXPECT_GE(p[k].y - p[k - 1].y, -100.01f) << k;
            }
        }
        // Advancing moves the samples on by one and keeps the rule.
        const RwV3d before[5] = {p[0], p[1], p[2], p[3], p[4]};
        pilot.BuildProfile(false);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(p[k].z, before[k + 1].z);
        EXPECT_GE(p[3].y, before[4].y);
        EXPECT_NEAR(p[4].z - start, 4000, 0.01f);
        EXPECT_GT(p[4].y, Ground(p[4].x, p[4].z));
        EXPECT_GE(p[4].y - p[3].y, -100.01f);
    }

    // Targets for clearances of 500 or more are whole hundreds: with the first sample's safe height at 1234
    // and the airplane at 1717, a clearance of 490 aims above it (1724), one of 500 below it (1700, not
    // 1734).
    for (const auto& [clearance, climbs] : {std::pair{490.0f, true}, std::pair{500.0f, false}}) {
        Look(pilot);
        Physics::AirplaneState& s = pilot.state;
        s.position.y = 1717;
        s.precisePosition[1] = 1717;
        pilot.heightAboveGround = 1717 - Ground(s.position.x, s.position.z);
        pilot.profileHeading = 0;
        pilot.terrainProfile[1] = {s.position.x, 1234, s.position.z + 1000};
        pilot.FollowTerrain(clearance);
        EXPECT_EQ(pilot.terrainProfile[1].y, 1234) << "the profile kept";
        EXPECT_EQ(pilot.state.pitchInput > 0, climbs) << clearance;
    }
    pilot.SetAirplane(nullptr);
}

// The look-ahead meets what airplanes meet: the ground on the map, and past its edge the open sea.
TEST_F(ComputerPilotsOverARidge, LookAheadMeetsTheOpenSeaPastTheMapsEdge) {
    Obj::Airplane* airplane = Fly("Su25", 0, -6000, 1200, 0, 200);
    ASSERT_TRUE(airplane);
    Obj::PilotAi pilot(7);
    Dress(pilot);
    pilot.SetAirplane(airplane);
    Look(pilot);
    const struct {
        RwV3d from, to;
        bool hits;
        float y;
    } cases[] = {
        {{0, 500, -6000}, {0, -500, -6000}, true, 100},                    // the map's flat land
        {{0, 500, 20000}, {0, -500, 20000}, true, Obj::Terrain::SeaLevel}, // past the edge, straight down
        {{0, 150, 16000}, {0, -150, 19000}, true, Obj::Terrain::SeaLevel}, // sloping out over the edge
        {{20000, 300, 0}, {20000, 900, 3000}, false, 0},                   // climbing away over the sea
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.x << "," << c.from.z << " to " << c.to.x << "," << c.to.z);
        RwV3d hit{};
        ASSERT_EQ(pilot.TerrainHit(c.from, c.to, &hit), c.hits);
        if (c.hits) {
            EXPECT_NEAR(hit.y, c.y, 1);
        }
    }
    pilot.SetAirplane(nullptr);
}

TEST_F(ComputerPilotsOverARidge, FollowsThePathOverTheRidgeKeepingClearOfIt) {
    float topZ = 0, top = -1e9f;
    for (float z = -10000; z <= 10000; z += 100)
        if (Ground(0, z) > top)
            top = Ground(0, z), topZ = z;
    Obj::Airplane* airplane = Fly("Su25", 0, topZ - 12000, 1100, 0, 200);
    ASSERT_TRUE(airplane);
    Obj::PilotAi* pilot = Seat(airplane, 9);
    pilot->path = std::make_shared<Obj::PilotAi::NavPath>();
    pilot->path->points = {{0, 1000, topZ + 12000}};
    pilot->mode = Obj::PilotAi::FollowPath; // no stores: no decisions, the mode stays
    Base::SmartPtr<Obj::Airplane> alive(airplane);
    float lowest = 1e9f, highest = -1e9f;
    float t = 0;
    for (int n = 0; n < 60 * 240 && alive; ++n) {
        Frame(1.0f / 60);
        t += 1.0f / 60;
        const Physics::AirplaneState s = airplane->GetState();
        const float clearance = s.position.y - Ground(s.position.x, s.position.z);
        lowest = std::min(lowest, clearance);
        highest = std::max(highest, clearance);
        if (s.position.z > topZ + 6000)
            break;
    }
    ASSERT_TRUE(alive);
    const Physics::AirplaneState s = airplane->GetState();
    EXPECT_GT(s.position.z, topZ + 6000) << "over the ridge within four minutes";
    EXPECT_FALSE(s.crashed);
    EXPECT_GT(lowest, 300) << "kept clear of the ground";
    EXPECT_LT(highest, 4000) << "and followed it, not climbing away";
}

TEST_F(ComputerPilots, DecoySalvosFollowTheMissilesGuidance) {
    Obj::Airplane* airplane = Fly("Su27", 0, 0, 3000, 0, 200);
    ASSERT_TRUE(airplane);
    struct Case {
        bool infrared, radar;
        float distance;
    };
    for (const Case c : {Case{true, false, 2000}, Case{false, true, 2000}, Case{true, false, 3000}}) {
        SCOPED_TRACE(c.distance);
        SCOPED_TRACE(c.infrared);
        Obj::PilotAi pilot(21);
        Dress(pilot);
        StandInStores stores;
        pilot.stores = &stores;
        pilot.SetAirplane(airplane);
        Look(pilot);
        // As the threat check sets a salvo up on entering the evasion.
        pilot.mode = Obj::PilotAi::EvadeMissile;
        pilot.threatIsInfrared = c.infrared;
        pilot.threatIsRadar = c.radar;
        pilot.threatPosition = {0, 3000, -c.distance};
        pilot.nextDecoyTime = 0.2f;
        pilot.decoysInSalvo = 4;
        for (float t = 0; t < 90; t += 0.05f) {
            pilot.now = stores.time = t;
            pilot.EvadeMissileStep();
        }
        pilot.SetAirplane(nullptr);
        if (c.distance >= 3000) {
            EXPECT_TRUE(stores.drops.empty()) << "none while the missile is 3000 or more away";
            continue;
        }
        ASSERT_GT(stores.drops.size(), 8u);
        for (const StandInStores::Drop& d : stores.drops)
            EXPECT_EQ(d.kind, c.infrared ? Obj::AiStores::Flare : Obj::AiStores::Chaff);
        // Salvos: drops 0.6 to 1.5 s apart, salvos 6 to 15 s apart, the first of 4, then 2 to 4.
        std::vector<int> salvos{1};
        for (std::size_t i = 1; i < stores.drops.size(); ++i) {
            const float gap = stores.drops[i].time - stores.drops[i - 1].time;
            if (gap < 3) {
                EXPECT_GE(gap, 0.6f - 0.06f);
                EXPECT_LE(gap, 1.5f + 0.06f);
                ++salvos.back();
            } else {
                EXPECT_GE(gap, 6.0f - 0.06f);
                EXPECT_LE(gap, 15.0f + 0.06f);
                salvos.push_back(1);
            }
        }
        EXPECT_GE(stores.drops.front().time, 0.2f);
        EXPECT_EQ(salvos.front(), 4);
        salvos.pop_back(); // may be cut short by the end of the run
        for (std::size_t i = 1; i < salvos.size(); ++i) {
            EXPECT_GE(salvos[i], 2);
            EXPECT_LE(salvos[i], 4);
        }
    }
}

TEST_F(ComputerPilots, BeamTurnPutsTheMissileOnTheSideWhereItIs) {
    // Bearing of the missile off the nose (positive to the right) and the way the airplane turns.
    const struct {
        float bearing;
        float turn; // +1 towards the right axis, -1 away from it
    } cases[] = {{45, -1}, {135, 1}, {-45, 1}, {-135, -1}, {80, -1}, {100, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bearing);
        Obj::Airplane* airplane = Fly("Su27", 0, 0, 5000, 0, 220);
        ASSERT_TRUE(airplane);
        Obj::PilotAi pilot(31);
        Dress(pilot);
        StandInStores stores;
        pilot.stores = &stores;
        pilot.SetAirplane(airplane);
        Look(pilot);
        const RwV3d missile = {6000 * std::sin(c.bearing * Degree), 5000,
                               6000 * std::cos(c.bearing * Degree)};
        pilot.threatPosition = missile;
        pilot.EvadeMissileStep();
        // A negative roll command banks towards the right axis.
        EXPECT_EQ(pilot.state.rollInput<0, c.turn> 0);
        EXPECT_EQ(pilot.state.throttle, 1.0f);
        // Flown, the missile comes abeam on its side and stays there.
        float t = 0;
        for (int n = 0; n < 60 * 20; ++n) {
            Look(pilot, t);
            pilot.heightAboveGround = 5000;
            pilot.threatPosition = missile;
            pilot.EvadeMissileStep();
            airplane->SetState(pilot.state);
            Frame(1.0f / 60);
            t += 1.0f / 60;
        }
        Look(pilot, t);
        EXPECT_NEAR(std::fabs(OffNose(pilot.state, missile)), 90, 20);
        EXPECT_EQ(OffNose(pilot.state, missile) > 0, c.bearing > 0);
        pilot.SetAirplane(nullptr);
        world->RemoveObject(airplane);
        delete airplane;
    }
}

TEST_F(ComputerPilots, EvasionPitchComesFromTheHeightBandAndRepeats) {
    Obj::Airplane* airplane = Fly("Su27", 0, 0, 5000, 0, 220);
    ASSERT_TRUE(airplane);
    const struct {
        float height, lo, hi;
    } bands[] = {{20000, -0.5f, -0.2f}, {16000, -0.5f, 0.2f}, {8000, -0.5f, 0.6f}, {4000, -0.2f, 0.6f},
                 {2000, 0.0f, 0.6f},    {500, 0.3f, 1.0f},    {100, 0.3f, 1.0f}};
    for (const uint32_t seed : {1u, 2u, 3u, 4u}) {
        Obj::PilotAi pilot(seed);
        Dress(pilot);
        pilot.SetAirplane(airplane);
        Look(pilot);
        pilot.threatPosition = {0, 5000, -2000};
        for (const auto& b : bands) {
            pilot.heightAboveGround = b.height;
            pilot.EvadeMissileStep();
            const float first = pilot.state.pitchInput;
            EXPECT_GE(first, b.lo) << b.height;
            EXPECT_LT(first, b.hi) << b.height;
            pilot.EvadeMissileStep();
            EXPECT_EQ(pilot.state.pitchInput, first) << "the same draw every step";
        }
        pilot.SetAirplane(nullptr);
    }
}
