// The complex flight model in flight and on the ground: trimmed level flight, climb energy against the work
// of the forces, the stall, an unpowered glide, ground handling, the impact thresholds, the state rules, and
// the same flight far from the origin.
#include "FlightScenarios.h"

#include "physics/AirplanePhysicsComplex.h"

#include "base/Maths.h"
#include "scene/SignedAngleOnPlane.h"

#include <cstring>
#include <functional>

using namespace Scenarios;

TEST_F(PhysicsTest, TrimmedLevelFlightHoldsItsHeightFor30Seconds) {
    ExpectTrimmedLevelFlight(TestParams());
}

// The energy gained in a full-power climb is the work of thrust, body drag and the airfoils' forces.
TEST_F(PhysicsTest, ClimbEnergyMatchesTheWorkOfThrustMinusDrag) {
    const auto params = TestParams();
    AirplanePhysicsComplex model(params, Flying(2000, 220));
    const Physics::ComplexPhysicsParams& c = params.complex;
    Autopilot pilot{2000, 220};
    Fly(model, 2000, [&](AirplaneState& s) { pilot.Command(s); });
    pilot.height = 4000;
    const double e0 = Energy(model);
    double work = 0;
    for (int i = 0; i < 2000; ++i) {
        AirplaneState s = model.state;
        pilot.Command(s);
        s.thrustFactor = 1.0f;
        model.SetState(s);
        const RwV3d v = model.body.velocity;
        const double speed = Base::VectorLength(v);
        const double rho = Physics::AirDensity(s.position.y);
        const double thrust = s.thrustFactor * c.thrust * 9.81 * Base::DotProduct(s.at, v);
        const double drag =
            rho * (c.linearDampingFactor * speed * speed + c.quadraticDampingFactor * speed * speed * speed);
        const RwV3d h = Base::Normalize3d(RwV3d{s.right.x, 0, s.right.z});
        const double turn =
            0.05 * c.mass * Base::DotProduct(s.velocity, s.at) * std::sin(Bank(s)) * Base::DotProduct(h, v);
        work += (thrust - drag + turn + Airfoils(model).power) * Dt;
        model.Step(Dt);
    }
    const double gained = Energy(model) - e0;
    EXPECT_GT(model.state.position.y, 2500);
    EXPECT_GT(gained, 0);
    EXPECT_NEAR(gained, work, 0.02 * std::fabs(work));
}

// Slowing down at idle while the stick holds the height: the wing's lift coefficient climbs to the table's
// largest value and falls away past it.
TEST_F(PhysicsTest, AStallPeaksNearTheTablesLargestLift) {
    const auto params = TestParams();
    AirplanePhysicsComplex model(params, Flying(3000, 150));
    Autopilot pilot{3000, 150};
    Fly(model, 1000, [&](AirplaneState& s) { pilot.Command(s); });
    AeroSolidBody::Airfoil& wing = *model.airfoils[AirplanePhysicsComplex::WingRight];
    float peak = 0, last = 0;
    for (int i = 0; i < 6000; ++i) {
        Fly(model, 1, [&](AirplaneState& s) {
            pilot.Command(s);
            s.pitchInput = std::max(s.pitchInput, std::min(1.0f, i * 0.0005f));
            s.thrustFactor = 0;
        });
        const float rho = Physics::AirDensity(model.state.position.y);
        RwV3d f;
        ASSERT_TRUE(wing.ComputeForce({0, 0, 0}, rho, &f, nullptr));
        const RwV3d air = model.body.ElementVelocity(wing);
        const RwV3d n = Base::Normalize3d(RwV3d{-air.x, -air.y, -air.z});
        const float drag = Base::DotProduct(f, n);
        const float lift =
            float(Base::VectorLength(RwV3d{f.x - n.x * drag, f.y - n.y * drag, f.z - n.z * drag}));
        const float q = 0.5f * rho * Base::DotProduct(air, air) * wing.surface;
        last = lift / q;
        peak = std::max(peak, last);
    }
    EXPECT_NEAR(peak, 1.26f, 0.05f);
    EXPECT_LT(last, peak - 0.1f);
}

// Without thrust the airplane trades height for speed but its energy only ever falls.
TEST_F(PhysicsTest, AnUnpoweredGlideLosesEnergyMonotonically) {
    AirplanePhysicsComplex model(TestParams(), Flying(3000, 180));
    double previousEnergy = Energy(model);
    for (int second = 0; second < 60; ++second) {
        Fly(model, 100, [&](AirplaneState& s) {
            s.thrustFactor = 0;
            s.pitchInput = 0.05f;
            s.rollInput = std::clamp(2.0f * Bank(s), -1.0f, 1.0f);
        });
        const double e = Energy(model);
        ASSERT_LT(e, previousEnergy) << "after " << second + 1 << " s";
        previousEnergy = e;
    }
    EXPECT_LT(model.state.position.y, 3000);
}

TEST_F(PhysicsTest, ParkedOnItsWheelsTheSpringsCarryTheWeight) {
    FlatTerrain runway(100);
    auto model(Parked(TestParams(), runway, 0.6f));
    const AirplaneState& s = model->state;
    EXPECT_LT(Speed(s), 0.05f);
    for (float c : s.wheelCompression)
        EXPECT_LT(c, -0.01f);
    for (AeroSolidBody::Spring* spring : model->springs)
        EXPECT_EQ(spring->compression, 0);
    EXPECT_FALSE(s.crashed);
    EXPECT_FALSE(s.outOfControl);
}

// On a 10 % ramp the brakes hold the airplane to a creep; released, it rolls away downhill.
TEST_F(PhysicsTest, BrakesHoldOnARamp) {
    RampTerrain ramp(100, 0.1f);
    for (float brake : {0.6f, 0.0f}) {
        auto model(Parked(TestParams(), ramp, 0.6f));
        Fly(
            *model, 1500, [&](AirplaneState& s) { s.wheelBrakeCommand = brake; }, &ramp);
        if (brake > 0) {
            EXPECT_LT(Speed(model->state), 0.5f);
        } else {
            EXPECT_GT(Speed(model->state), 1.5f);
            EXPECT_LT(model->state.velocity.z, 0); // downhill
        }
    }
}

TEST_F(PhysicsTest, TakeOffRunReachesLiftOffSpeed) {
    ExpectTakeOff(TestParams());
}

// Yaw input steers the nose wheel the way the rudder yaws the airplane in flight.
TEST_F(PhysicsTest, NoseWheelSteeringTurnsTheWayTheRudderDoes) {
    const auto params = TestParams();
    AirplanePhysicsComplex flying(params, Flying(3000, 150));
    Fly(flying, 200, [](AirplaneState& s) {
        s.yawInput = 1;
        s.thrustFactor = 0.5f;
    });
    const float yawInFlight = std::atan2(flying.state.at.x, flying.state.at.z);
    EXPECT_LT(yawInFlight, -0.5f * Degree);

    FlatTerrain runway(100);
    auto model(Parked(params, runway, 0));
    Fly(
        *model, 1000, [](AirplaneState& s) { s.thrustFactor = Speed(s) < 8 ? 0.3f : 0.0f; }, &runway);
    const float before = std::atan2(model->state.at.x, model->state.at.z);
    Fly(
        *model, 300,
        [](AirplaneState& s) {
            s.thrustFactor = Speed(s) < 8 ? 0.3f : 0.0f;
            s.yawInput = 1;
        },
        &runway);
    EXPECT_LT(model->state.wheelSteering[0], 0);
    const float turned = std::atan2(model->state.at.x, model->state.at.z) - before;
    EXPECT_LT(turned, -5 * Degree);
    EXPECT_FALSE(model->state.crashed);
}

namespace {

// Gear up (0.999: the wheels inactive), resting level on the two bottom springs, each pressed 0.25 m into a
// level surface at the given height, with a chosen spring stiffness.
AirplaneState OnSprings(AirplanePhysicsComplex& model, float ground, float stiffness) {
    for (AeroSolidBody::Spring* spring : model.springs)
        spring->stiffness = stiffness;
    AirplaneState s = model.state;
    s.position = {0, ground + 0.75f, 0};
    s.precisePosition[0] = 0;
    s.precisePosition[1] = s.position.y;
    s.precisePosition[2] = 0;
    s.gearExtension = 0.999f;
    FlatTerrain(ground).WriteGround(s);
    s.groundRoughness = 0;
    return s;
}

} // namespace

TEST_F(PhysicsTest, SpringImpactThresholds) {
    struct Case {
        const char* name;
        float ground;
        float stiffness; // the force is 0.25 x stiffness
        bool crashed, outOfControl;
    } cases[] = {
        {"light touch on land", 100, 3999, false, false},
        {"light touch on water", 0.5f, 4001, true, false},
        {"exactly 25000 on land", 100, 100000, false, false},
        {"just above 25000", 100, 100000.04f, false, true},
        {"above 100000", 100, 400004, true, true},
        {"land just above the water band", 1.0f, 8000, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AirplanePhysicsComplex model(TestParams(), Flying(1000, 0));
        model.SetState(OnSprings(model, c.ground, c.stiffness));
        model.Step(Dt);
        EXPECT_NEAR(model.springs[0]->compression, -0.25f, 1e-6f);
        EXPECT_EQ(model.state.crashed, c.crashed);
        EXPECT_EQ(model.state.outOfControl, c.outOfControl);
        for (float w : model.state.wheelCompression)
            EXPECT_EQ(w, 0); // gear not fully down: the wheels never touch
    }
}

TEST_F(PhysicsTest, AWheelPressedIntoWaterIsACrash) {
    FlatTerrain sea(0.5f);
    auto model(Parked(TestParams(), sea, 0));
    EXPECT_TRUE(model->state.crashed);
    FlatTerrain land(1.5f);
    auto parked(Parked(TestParams(), land, 0));
    EXPECT_FALSE(parked->state.crashed);
}

// After the springs have touched, leaving the ground clears their compression, so that flying on over the
// sea later is no impact.
TEST_F(PhysicsTest, SpringsReportNoCompressionAfterLiftOff) {
    AirplanePhysicsComplex model(TestParams(), Flying(1000, 0));
    model.SetState(OnSprings(model, 100, 5000));
    model.Step(Dt);
    ASSERT_LT(model.springs[0]->compression, 0);
    ASSERT_FALSE(model.state.crashed);

    AirplaneState s = Flying(300, 200);
    FlatTerrain(0).WriteGround(s);
    model.SetState(s);
    for (int i = 0; i < 100; ++i) {
        model.Step(Dt);
        ASSERT_FALSE(model.state.crashed) << i;
        ASSERT_FALSE(model.state.outOfControl) << i;
    }
    for (AeroSolidBody::Spring* spring : model.springs)
        EXPECT_EQ(spring->compression, 0);
}

TEST_F(PhysicsTest, GearFullyDownOnlyAtExactlyOne) {
    for (float gear : {1.0f, 0.999f}) {
        FlatTerrain runway(100);
        AirplaneState s = Flying(101.7f, 0);
        s.gearExtension = gear;
        AirplanePhysicsComplex model(TestParams(), s);
        Fly(model, 300, nullptr, &runway);
        for (AeroSolidBody::Wheel* wheel : model.wheels)
            EXPECT_EQ(wheel->active, gear == 1.0f);
        if (gear == 1.0f) {
            EXPECT_LT(model.state.wheelCompression[1], 0);
            EXPECT_EQ(model.springs[0]->compression, 0);
        } else {
            EXPECT_EQ(model.state.wheelCompression[1], 0);
            EXPECT_LT(model.springs[0]->compression, 0); // resting on its bottom springs
        }
    }
}

TEST_F(PhysicsTest, NonPositiveStepsChangeNothing) {
    AirplanePhysicsComplex model(TestParams(), Flying(2000, 200));
    Fly(model, 10, nullptr);
    const AirplaneState before = model.state;
    const double precise = model.body.localPosition[2];
    for (float dt : {0.0f, -0.01f, -1.0f}) {
        model.Step(dt);
        EXPECT_EQ(std::memcmp(&before, &model.state, sizeof before), 0) << dt;
        EXPECT_EQ(model.body.localPosition[2], precise);
    }
}

TEST_F(PhysicsTest, AHeldAirplaneKeepsItsFloatPosition) {
    AirplaneState s = Flying(50, 0);
    s.held = 1;
    s.thrustFactor = 1;
    s.precisePosition[1] = 49.9;
    AirplanePhysicsComplex model(TestParams(), s);
    Fly(model, 100, nullptr);
    EXPECT_EQ(model.state.position.y, 50);
    EXPECT_EQ(model.state.position.z, 0);
    EXPECT_EQ(model.state.precisePosition[1], 50.0);
}

// A writer that copies the state out and back keeps the double-precision position; one that moves the float
// position sets it.
TEST_F(PhysicsTest, SetStateKeepsThePrecisePositionUnlessMoved) {
    AirplanePhysicsComplex model(TestParams(), Flying(2000, 200, 300000, -300000));
    Fly(model, 7, nullptr);
    const double precise[3] = {model.body.localPosition[0], model.body.localPosition[1],
                               model.body.localPosition[2]};
    ASSERT_NE(precise[2], double(float(precise[2])) + 1e-9); // a value between floats
    AirplaneState s = model.state;
    s.throttle = 0.9f;
    model.SetState(s);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(model.body.localPosition[i], precise[i]);

    // A stale precise position with an unchanged float position: still kept.
    s.precisePosition[2] = 0;
    model.SetState(s);
    EXPECT_EQ(model.body.localPosition[2], precise[2]);

    s.position.x = 310000; // moved by an outside writer that knows only the float
    model.SetState(s);
    EXPECT_EQ(model.body.localPosition[0], 310000.0);
    EXPECT_EQ(model.body.localPosition[2], precise[2]);
}

TEST_F(PhysicsTest, OutOfControlDeflectionsRepeatAndTheFlagsStay) {
    AirplaneState s = Flying(3000, 200);
    s.outOfControl = 1;
    s.engineDestroyed = 1;
    AirplanePhysicsComplex model(TestParams(), s, 1);
    Fly(model, 1, nullptr);
    const AirplaneState first = model.state;
    Fly(model, 1, [](AirplaneState& x) { x.rollInput = x.pitchInput = 1; });
    EXPECT_EQ(model.state.aileronAngle, first.aileronAngle);
    EXPECT_EQ(model.state.rudderAngle, first.rudderAngle);
    EXPECT_EQ(model.state.elevatorAngle, first.elevatorAngle);
    EXPECT_GE(std::fabs(first.aileronAngle), 0.1f);
    EXPECT_LE(first.elevatorAngle, -0.2f);
    Fly(model, 500, nullptr);
    EXPECT_TRUE(model.state.outOfControl);
    EXPECT_TRUE(model.state.engineDestroyed);
    // Another airplane (another seed) draws its own deflections.
    AirplanePhysicsComplex other(TestParams(), s, 2);
    Fly(other, 1, nullptr);
    EXPECT_NE(other.state.aileronAngle, first.aileronAngle);
}

// At rest every authority factor is 1: the elevator trims to +5 degrees plus the pilot's 12 per unit, within
// 14; the ailerons to 15 and the rudder to 10 per unit; the nose wheel to 40.
TEST_F(PhysicsTest, ControlsAtRestHaveFullAuthority) {
    struct Case {
        float pitch, roll, yaw;
        float elevator, aileron, rudder, steering;
    } cases[] = {
        {0, 0, 0, 5, 0, 0, 0},
        {0.5f, 1, -1, 11, 15, -10, 40},
        {1, -0.5f, 0.5f, 14, -7.5f, 5, -20},
        {-1, 0, 0, -7, 0, 0, 0},
    };
    for (const Case& c : cases) {
        AirplaneState s = Flying(50, 0);
        s.held = 1;
        s.pitchInput = c.pitch;
        s.rollInput = c.roll;
        s.yawInput = c.yaw;
        s.throttle = 0.7f;
        AirplanePhysicsComplex model(TestParams(), s);
        Fly(model, 1000, nullptr);
        EXPECT_NEAR(model.state.elevatorAngle, c.elevator * Degree, 1e-4f);
        EXPECT_NEAR(model.state.aileronAngle, c.aileron * Degree, 1e-4f);
        EXPECT_NEAR(model.state.rudderAngle, c.rudder * Degree, 1e-4f);
        EXPECT_NEAR(model.state.wheelSteering[0], c.steering * Degree, 1e-4f);
        EXPECT_EQ(model.state.throttleLevel, 0.7f);
    }
}

// The same flight with the same commands, once near the origin and once 300 km out, follows the same path
// relative to its start: the integration keeps double precision through every step.
TEST_F(PhysicsTest, FlightFarFromTheOriginMatchesTheOneNearIt) {
    const auto params = TestParams();
    const double offset[2] = {300000, -300000};
    AirplaneState path[2];
    for (int run = 0; run < 2; ++run) {
        Base::Random::Seed(99);
        AirplanePhysicsComplex model(params, Flying(3000, 200, run * offset[0], run * offset[1]));
        Autopilot pilot{3000, 200, 20 * Degree};
        Fly(model, 3000, [&](AirplaneState& s) { pilot.Command(s); });
        path[run] = model.state;
        path[run].precisePosition[0] -= run * offset[0];
        path[run].precisePosition[2] -= run * offset[1];
    }
    EXPECT_GT(std::fabs(path[0].precisePosition[0]), 1000); // it turned
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(path[1].precisePosition[i], path[0].precisePosition[i], 0.5) << i;
    EXPECT_NEAR(path[1].velocity.x, path[0].velocity.x, 0.05f);
    EXPECT_NEAR(path[1].velocity.z, path[0].velocity.z, 0.05f);
    EXPECT_NEAR(path[1].at.x, path[0].at.x, 1e-3f);
}

// Held in a 30 degree bank at constant height, the airplane turns towards its lowered wing: the lift's
// horizontal part alone turns it at g tan(bank) / v, and the turn force adds to it. (Pushing the other way,
// as a literal reading of its sign has it, the turn force all but cancels the turn.)
TEST_F(PhysicsTest, ABankedAirplaneTurnsTowardsItsLoweredWing) {
    for (float bank : {30.0f, -30.0f}) {
        AirplanePhysicsComplex model(TestParams(), Flying(3000, 200));
        Autopilot pilot{3000, 200, bank * Degree};
        Fly(model, 1000, [&](AirplaneState& s) { pilot.Command(s); });
        const float before = std::atan2(model.state.at.x, model.state.at.z);
        Fly(model, 1000, [&](AirplaneState& s) { pilot.Command(s); });
        const float rate = (std::atan2(model.state.at.x, model.state.at.z) - before) / 10;
        const float lift = 9.81f * std::tan(30 * Degree) / Speed(model.state);
        EXPECT_NEAR(Bank(model.state), bank * Degree, 1 * Degree);
        EXPECT_NEAR(model.state.position.y, 3000, 30);
        // A positive bank lowers the +x wing.
        EXPECT_GT(rate * bank, 0);
        EXPECT_GT(std::fabs(rate), 1.3f * lift);
        EXPECT_LT(std::fabs(rate), 3 * lift);
    }
}

// Parked across the flank of a ridge, the wheels' side grip holds the airplane while it leans with the
// slope; the ground record follows the flank's normal.
TEST_F(PhysicsTest, ParkedAcrossASlopeTheWheelsHold) {
    RidgeTerrain ridge(100, 0.05f);
    AirplaneState s;
    AirplaneState::Init(s);
    RwV3d normal;
    s.position = {20, ridge.Height(20, 0, &normal) + 1.7f, 0};
    s.precisePosition[0] = 20;
    s.precisePosition[1] = s.position.y;
    s.gearExtension = s.gearDownCommand = 1;
    s.wheelBrakeCommand = 0.6f;
    AirplanePhysicsComplex model(TestParams(), s);
    Fly(model, 1000, nullptr, &ridge);
    EXPECT_NEAR(model.state.groundNormal.x, normal.x, 1e-6f);
    EXPECT_LT(Speed(model.state), 0.3f);
    EXPECT_NEAR(model.state.position.x, 20, 1.0f);
    EXPECT_GT(model.state.up.x, 0.02f); // leaning down the flank, away from the crest
    EXPECT_FALSE(model.state.crashed);
}
