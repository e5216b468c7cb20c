// The airplane in a world: placing it in the air, on its wheels and on a rotated airbase's runway, the
// ground probe, the gear lock, the gear's animation, detectability, the area bound, and re-arming.
#include "AirplaneFixture.h"

#include "objects/Structure.h"

#include "base/Maths.h"

#include <cmath>

namespace {

RwMatrix Placement(float degrees, RwV3d position) {
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    constexpr RwV3d up = {0, 1, 0};
    RwMatrixRotate(&m, &up, degrees, rwCOMBINEREPLACE);
    m.pos = position;
    RwMatrixUpdate(&m);
    return m;
}

} // namespace

TEST_F(AirplaneWorld, PlacedInTheAirOrOnItsWheels) {
    auto airplane = Loaded(Sample("Su27"), Obj::Airplane::ComplexModel);
    ASSERT_TRUE(airplane);
    const Physics::ComplexPhysicsParams& c = airplane->flightModel->params.complex;
    const struct {
        float height, heading;
        RwV3d at;
    } cases[] = {{0, 0, {0, 0, 1}}, {3000, 90, {-1, 0, 0}}, {-1, 0, {0, 0, 1}}, {-1, 90, {-1, 0, 0}}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.height);
        SCOPED_TRACE(k.heading);
        airplane->Place(100, 200, k.height, k.heading, 150);
        const Physics::AirplaneState s = airplane->GetState();
        EXPECT_NEAR(s.at.x, k.at.x, 1e-6f);
        EXPECT_NEAR(s.at.z, k.at.z, 1e-6f);
        EXPECT_NEAR(s.velocity.x, 150 * k.at.x, 1e-3f);
        EXPECT_EQ(s.position.x, 100);
        EXPECT_EQ(s.position.z, 200);
        const RwMatrix* m = RwFrameGetWorldMatrix(airplane->frame);
        EXPECT_NEAR(m->pos.y, s.position.y, 1e-3f);
        EXPECT_NEAR(m->at.x, k.at.x, 1e-6f);
        if (k.height >= 0) {
            // No terrain here: the ground is at 0, and the airplane at least 250 above it.
            EXPECT_EQ(s.position.y, std::max(250.0f, k.height));
            EXPECT_TRUE(s.engineRunning);
            EXPECT_EQ(s.engineSpool, 0.75f);
            EXPECT_EQ(s.throttle, 0.375f);
            EXPECT_EQ(s.gearExtension, 0);
        } else {
            EXPECT_FLOAT_EQ(s.position.y, -std::min(c.centerWheelPosition.y - c.centerWheelRadius,
                                                    c.sideWheelPosition.y - c.sideWheelRadius));
            EXPECT_FALSE(s.engineRunning);
            EXPECT_EQ(s.engineSpool, 0);
            EXPECT_EQ(s.gearExtension, 1.0f);
            EXPECT_EQ(s.gearDownCommand, 1.0f);
        }
    }
}

TEST_F(AirplaneWorld, PlacedOnTheRunwayOfARotatedAirbaseAndHeldByItsGear) {
    auto* base = new Obj::Airbase;
    const Base::Info& info = Base::InfoCache::Get(models + "/Base.model");
    ASSERT_TRUE(base->Load(&info));
    // Raised clear of the level within a metre of 0, where any contact counts as the sea.
    const RwMatrix at = Placement(30, {5000, 100, -2000});
    base->Transform(&at, rwCOMBINEREPLACE);
    world->AddObject(base);
    const Obj::Airbase::Runway* runway = base->FindRunway("09");
    ASSERT_NE(runway, nullptr);

    auto* airplane = Loaded(Sample("Su27"), Obj::Airplane::ComplexModel).release();
    ASSERT_TRUE(airplane);
    world->AddObject(airplane);
    EXPECT_FALSE(airplane->PlaceOnRunway(base, "no such runway"));
    ASSERT_TRUE(airplane->PlaceOnRunway(base, "09"));
    const Physics::AirplaneState s = airplane->GetState();
    // The runway's start and heading as the airbase's placement turns them: a turn of 30 degrees about +y
    // takes +z towards +x, which is a heading of -30.
    const float r = (runway->heading - 30) * float(Base::Pi / 180);
    const float a = 30 * float(Base::Pi / 180);
    EXPECT_NEAR(s.position.x, 5000 + runway->x * std::cos(a) + runway->z * std::sin(a), 0.01f);
    EXPECT_NEAR(s.position.z, -2000 - runway->x * std::sin(a) + runway->z * std::cos(a), 0.01f);
    EXPECT_NEAR(s.at.x, -std::sin(r), 1e-5f);
    EXPECT_NEAR(s.at.z, std::cos(r), 1e-5f);
    EXPECT_EQ(s.gearExtension, 1.0f);

    // Standing there, the wheels take the weight; the gear lever up does not raise the gear.
    for (int i = 0; i < 100; ++i)
        Frame(0.02f);
    Physics::AirplaneState standing = airplane->GetState();
    EXPECT_TRUE(standing.groundValid);
    EXPECT_LT(
        std::min({standing.wheelCompression[0], standing.wheelCompression[1], standing.wheelCompression[2]}),
        -0.01f);
    standing.gearDownCommand = 0;
    airplane->SetState(standing);
    for (int i = 0; i < 10; ++i)
        Frame(0.02f);
    EXPECT_EQ(airplane->GetState().gearDownCommand, 1.0f);
    EXPECT_EQ(airplane->GetState().gearExtension, 1.0f);
    EXPECT_FALSE(airplane->GetState().crashed);
}

// The probe under the nose finds a roof above the ground, with no roughness; the terrain would have 0.2.
TEST_F(AirplaneWorld, TheGroundProbeFindsARoof) {
    auto* hangar = new Obj::Structure;
    const Base::Info& info = Base::InfoCache::Get(models + "/Hangar.info");
    ASSERT_TRUE(hangar->Load(&info));
    world->AddObject(hangar);
    const RwSphere* sphere = hangar->GetBoundingSphere();
    ASSERT_NE(sphere, nullptr);

    auto* airplane = Loaded(Sample("Su27"), Obj::Airplane::SimpleModel).release();
    ASSERT_TRUE(airplane);
    world->AddObject(airplane);
    airplane->Place(sphere->center.x, sphere->center.z, 0, 0, 0);
    Physics::AirplaneState s = airplane->GetState();
    s.position.y = float(s.precisePosition[1] = sphere->center.y + sphere->radius + 5);
    s.velocity = {0, 0, 0};
    airplane->SetState(s);
    world->time->step = 0.02f;
    Grp::RunGroup(*world->runnables);
    s = airplane->GetState();
    ASSERT_TRUE(s.groundValid);
    EXPECT_EQ(s.groundRoughness, 0);
    EXPECT_GT(s.groundDistance, 1.0f); // a roof, not the empty world's level 0
    EXPECT_LT(s.groundDistance, s.position.y);
    EXPECT_EQ(s.groundHeight, 0); // no terrain under it
}

TEST_F(AirplaneWorld, GearCycleTakesTheAnimationsDuration) {
    auto* airplane = Loaded(Sample("Su27"), Obj::Airplane::ComplexModel).release();
    ASSERT_TRUE(airplane);
    world->AddObject(airplane);
    ASSERT_TRUE(airplane->gears.loaded);
    ASSERT_TRUE(airplane->weaponDoor.loaded);
    const float duration = airplane->gears.Duration();
    ASSERT_GT(duration, 0.5f);
    airplane->Place(0, 0, 3000, 0, 200);
    Physics::AirplaneState s = airplane->GetState();
    s.gearExtension = s.gearDownCommand = 1;
    airplane->SetState(s);
    Frame(0.01f);
    s = airplane->GetState();
    s.gearDownCommand = 0;
    airplane->SetState(s);
    constexpr float dt = 0.05f;
    int frames = 0;
    while (airplane->GetState().gearExtension > 0 && frames < 1000) {
        Frame(dt);
        ++frames;
    }
    EXPECT_NEAR(frames * dt, duration, dt + 1e-4f);
    EXPECT_EQ(airplane->gears.GetProgress(), 1.0f);
    // A target equal to the progress leaves the animation where it is.
    const float time = airplane->gears.CurrentTime();
    airplane->gears.Update({0, 0, 0}, {0, 0, 0}, dt, 1.0f);
    EXPECT_EQ(airplane->gears.CurrentTime(), time);
    // The wheels stay up: a gear value short of 1 never moves them.
    EXPECT_EQ(airplane->wheels[0].GetCompression(), 0);
}

// Raised, each wheel is out of sight inside the airframe: seen from below or from either side, the rest of
// the airplane stands in front of it.
TEST_F(AirplaneWorld, RaisedWheelsAreOutOfSight) {
    for (const char* title : {"Su27", "Su25", "F16", "Mig29", "Yak141"}) {
        SCOPED_TRACE(title);
        auto* airplane = Loaded(Sample(title), Obj::Airplane::ComplexModel).release();
        ASSERT_TRUE(airplane);
        world->AddObject(airplane);
        ASSERT_TRUE(airplane->gears.loaded);
        airplane->Place(0, 0, 3000, 0, 200); // gear up
        Frame(0.01f);
        ASSERT_EQ(airplane->gears.GetProgress(), 1.0f);
        // Sight lines stop only at what is not the gear's leg, suspension or wheel.
        RpClumpForAllAtomics(
            airplane->clump,
            [](RpAtomic* atomic, void*) -> RpAtomic* {
                const std::string name = Rw::GetAtomicName(atomic);
                for (const char* gear : {"Gear", "Susp", "Wheel"})
                    if (name.rfind(gear, 0) == 0 && name != "Gears")
                        RpAtomicSetFlags(atomic, RpAtomicGetFlags(atomic) & ~rpATOMICCOLLISIONTEST);
                return atomic;
            },
            nullptr);
        for (int w = 0; w < 3; ++w) {
            const RwV3d centre = RwFrameGetWorldMatrix(airplane->wheels[w].wheel)->pos;
            for (const RwV3d& look : {RwV3d{0, -1, 0}, RwV3d{1, 0, 0}, RwV3d{-1, 0, 0}}) {
                const RwLine sight = {
                    {centre.x + 10 * look.x, centre.y + 10 * look.y, centre.z + 10 * look.z}, centre};
                EXPECT_TRUE(airplane->IntersectSegment(&sight, nullptr, nullptr))
                    << "wheel " << w << " at " << centre.x << " " << centre.y << " " << centre.z
                    << " seen from " << look.x << " " << look.y << " " << look.z;
            }
        }
        world->RemoveObject(airplane);
        delete airplane;
    }
}

// 0.33 on the ground to 1 at 12 km, times the exposure of an open door and lowered gear, plus 1 jamming.
TEST_F(AirplaneWorld, DetectabilityFollowsHeightDoorGearAndJammer) {
    auto* airplane = Loaded(Sample("Su27"), Obj::Airplane::ComplexModel).release();
    ASSERT_TRUE(airplane);
    world->AddObject(airplane);
    const struct {
        float height, door, gear;
        bool jammer;
        float expected;
    } cases[] = {
        {0, 0, 0, false, 0.33f * 0.5f}, {12000, 0, 0, false, 0.5f}, {20000, 1, 0, false, 0.75f},
        {12000, 0, 1, false, 0.75f},    {12000, 1, 1, false, 1.0f}, {12000, 0, 0, true, 1.5f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.height);
        airplane->Place(0, 0, c.height, 0, 200);
        Physics::AirplaneState s = airplane->GetState();
        s.position.y = c.height;
        s.precisePosition[1] = c.height;
        s.weaponDoorOpening = c.door;
        s.gearExtension = c.gear;
        s.jammerOn = c.jammer;
        s.groundHeight = 0;
        airplane->SetState(s);
        RwMatrix m = *RwFrameGetWorldMatrix(airplane->frame);
        m.pos.y = c.height;
        airplane->Transform(&m, rwCOMBINEREPLACE);
        EXPECT_NEAR(airplane->GetDetectability(), c.expected, 1e-5f);
    }
}

// At the bound the airplane turns back in place: only its position on that axis and its course change.
TEST_F(AirplaneWorld, TheAreaBoundTurnsTheAirplaneBackAndKeepsItsState) {
    world->terrainExtent = {-10000, -10000, 20000, 20000}; // a small map: 5 km margins
    EXPECT_EQ(Obj::Airplane::AreaMargin(20000), 5000);
    EXPECT_EQ(Obj::Airplane::AreaMargin(400000), 30000);
    auto* airplane = Loaded(Sample("Su27"), Obj::Airplane::SimpleModel).release();
    ASSERT_TRUE(airplane);
    world->AddObject(airplane);
    airplane->Place(4990, 0, 3000, 270, 200); // heading 270: along +x
    Physics::AirplaneState s = airplane->GetState();
    s.fuel = 0.25f;
    s.engineDestroyed = 1;
    s.outOfControl = 1;
    s.gearExtension = 0.5f;
    airplane->SetState(s);
    for (int i = 0; i < 20; ++i)
        Frame(0.01f);
    s = airplane->GetState();
    EXPECT_LE(s.position.x, 5000.0f);
    EXPECT_LT(s.velocity.x, 0);
    EXPECT_TRUE(s.engineDestroyed);
    EXPECT_TRUE(s.outOfControl);
    EXPECT_LE(s.fuel, 0.25f);
    EXPECT_GT(s.fuel, 0.2f);
}

TEST_F(AirplaneWorld, RearmFillsTheTank) {
    auto airplane = Loaded(Sample("Su27"), Obj::Airplane::ComplexModel);
    ASSERT_TRUE(airplane);
    Physics::AirplaneState s = airplane->GetState();
    s.fuel = 0.1f;
    airplane->SetState(s);
    airplane->Rearm();
    EXPECT_EQ(airplane->GetState().fuel, 1.0f);
}
