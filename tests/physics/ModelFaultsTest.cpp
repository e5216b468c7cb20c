// What the flight models do with what they cannot fly: their own generators (repeatable flights, the
// program's generator left alone), values that are not finite refused at the entry, and the range checks of
// the physics keys, with the description that once gave a NaN angle of attack.
#include "FlightScenarios.h"

#include "physics/AirplanePhysicsNull.h"
#include "physics/AirplanePhysicsSimple.h"

#include <cstring>
#include <limits>

using namespace Scenarios;

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

// The next numbers of the program's generator, had it been seeded with 4357 and left alone since.
bool ProgramGeneratorUntouched() {
    std::array<uint32_t, 4> seen;
    for (uint32_t& x : seen)
        x = Base::Random::NextUInt32();
    Base::Random::Seed(4357);
    for (uint32_t x : seen)
        if (x != Base::Random::NextUInt32())
            return false;
    return true;
}

} // namespace

// The same flight twice in one process departs nowhere, other airplanes draw their own deflections, and no
// model, built or flown out of control, moves the program's generator.
TEST_F(PhysicsTest, OneSeedFliesOneFlightAndLeavesTheProgramsGeneratorAlone) {
    AirplaneState s = Flying(3000, 200);
    s.outOfControl = 1;
    auto flight = [&](uint32_t seed) {
        auto model = std::make_unique<AirplanePhysicsComplex>(TestParams(), s, seed);
        Fly(*model, 300, nullptr);
        return model->state;
    };
    const AirplaneState first = flight(7), again = flight(7), other = flight(8);
    EXPECT_EQ(std::memcmp(&first, &again, sizeof first), 0);
    EXPECT_NE(first.aileronAngle, other.aileronAngle);

    Physics::AirplanePhysicsSimple simple(TestParams(), Flying(3000, 200), 7), twin(TestParams(), s, 7);
    AirplaneState t = simple.state;
    t.outOfControl = 1;
    simple.SetState(t);
    for (int i = 0; i < 100; ++i) {
        simple.Step(Dt);
        twin.Step(Dt);
    }
    EXPECT_EQ(std::memcmp(&simple.state, &twin.state, sizeof t), 0);
    EXPECT_TRUE(ProgramGeneratorUntouched());
}

// dt, a force, a velocity or any other value of the record that is not finite is refused where it comes
// in; the model keeps its last finite state and flies on from it.
TEST_F(PhysicsTest, ValuesThatAreNotFiniteAreRefusedAtTheEntry) {
    AirplanePhysicsComplex complex(TestParams(), Flying(3000, 200));
    Physics::AirplanePhysicsSimple simple(TestParams(), Flying(3000, 200));
    Physics::AirplanePhysicsNull null(TestParams(), Flying(3000, 200));
    for (Physics::AirplanePhysics* model :
         {static_cast<Physics::AirplanePhysics*>(&complex), static_cast<Physics::AirplanePhysics*>(&simple),
          static_cast<Physics::AirplanePhysics*>(&null)}) {
        model->Step(Dt);
        const AirplaneState before = model->state;
        for (float dt : {NaN, Inf, -Inf})
            model->Step(dt);
        EXPECT_EQ(std::memcmp(&before, &model->state, sizeof before), 0);
        const std::function<void(AirplaneState&)> faults[] = {
            [](AirplaneState& x) { x.velocity.z = NaN; },
            [](AirplaneState& x) { x.angularVelocity.x = Inf; },
            [](AirplaneState& x) { x.position.y = -Inf; },
            [](AirplaneState& x) { x.precisePosition[0] = NaN; },
            [](AirplaneState& x) { x.rollInput = NaN; },
            [](AirplaneState& x) { x.groundDistance = Inf; },
        };
        for (const auto& fault : faults) {
            AirplaneState bad = model->state;
            fault(bad);
            model->SetState(bad);
            EXPECT_EQ(std::memcmp(&before, &model->state, sizeof before), 0);
        }
        model->Step(Dt);
        EXPECT_TRUE(Physics::IsFinite(model->state));
        if (model != &null) {
            EXPECT_GT(model->state.position.z, before.position.z);
        }
    }

    // A force that is not finite never reaches the body; forces that add up past a float leave the motion as
    // it was for that step.
    const AirplaneState before = complex.state;
    complex.body.AddForceAtPoint({0, 0, 0}, true, {NaN, 0, 0}, false);
    complex.body.AddForceAtPoint({Inf, 0, 0}, false, {1, 0, 0}, false);
    EXPECT_EQ(complex.body.force.x, 0);
    complex.body.AddForceAtPoint({0, 0, 0}, true, {3e38f, 0, 0}, false);
    complex.body.AddForceAtPoint({0, 0, 0}, true, {3e38f, 0, 0}, false);
    complex.Step(Dt);
    EXPECT_TRUE(Physics::IsFinite(complex.state));
    EXPECT_EQ(complex.state.position.z, before.position.z);
    EXPECT_EQ(complex.state.velocity.x, before.velocity.x);
    complex.Step(Dt);
    EXPECT_GT(complex.state.position.z, before.position.z);
}

// The airfoil lookup has no entry for an angle that is not a number.
TEST_F(PhysicsTest, AirfoilLookupOfNaNIsZero) {
    float table[AeroSolidBody::TableSize];
    std::fill(std::begin(table), std::end(table), 1.0f);
    EXPECT_EQ(AeroSolidBody::Airfoil::Lookup(table, NaN), 0);
    EXPECT_EQ(AeroSolidBody::Airfoil::Lookup(table, Inf), 1.0f);
}

// Each key that is missing or out of range is named; the sample airplanes fly.
TEST_F(PhysicsTest, PhysicsKeysAreRangeChecked) {
    EXPECT_EQ(Physics::ComplexParamsFault(TestParams()), "");
    EXPECT_EQ(Physics::SimpleParamsFault(TestParams()), "");
    for (const char* title : {"Su27", "Mig29", "F16", "Yak141", "Su25"}) {
        EXPECT_EQ(Physics::ComplexParamsFault(SampleParams(title)), "") << title;
        EXPECT_EQ(Physics::SimpleParamsFault(SampleParams(title)), "") << title;
    }
    using Params = Physics::PhysicsParams;
    const struct {
        std::function<void(Params&)> change;
        const char* fault;
    } cases[] = {
        {[](Params& p) { p.complex.mass = 0; }, "ComplexPhysicsParams.Mass is missing or not above 0"},
        {[](Params& p) { p.complex.mass = NaN; }, "ComplexPhysicsParams.Mass is missing or not above 0"},
        {[](Params& p) { p.complex.aMass.y = 0; },
         "ComplexPhysicsParams.AMass is missing or has a moment not above 0"},
        {[](Params& p) { p.complex.aMass.z = -5; },
         "ComplexPhysicsParams.AMass is missing or has a moment not above 0"},
        {[](Params& p) { p.complex.thrust = -1; }, "ComplexPhysicsParams.Thrust is missing or below 0"},
        {[](Params& p) { p.complex.wingSurface = -1; },
         "ComplexPhysicsParams.WingSurface is missing or below 0"},
        {[](Params& p) { p.complex.rudderSurface = Inf; },
         "ComplexPhysicsParams.rudderSurface is missing or below 0"},
        {[](Params& p) { p.complex.sideWheelRadius = -0.1f; },
         "ComplexPhysicsParams.sideWheelRadius is missing or below 0"},
        {[](Params& p) { p.complex.wingOffset.x = 1e9f; },
         "ComplexPhysicsParams.wingOffset is missing or not within 1000 m of the model's origin"},
        {[](Params& p) { p.complex.sideSpringOffset.z = NaN; },
         "ComplexPhysicsParams.sideSpringOffset is missing or not within 1000 m of the model's origin"},
    };
    for (const auto& c : cases) {
        Params p = TestParams();
        c.change(p);
        EXPECT_EQ(Physics::ComplexParamsFault(p), c.fault);
    }
    Params p = TestParams();
    p.complex.wingSurface = 0; // no wing is a glider's problem, not a fault of the data
    EXPECT_EQ(Physics::ComplexParamsFault(p), "");
    p.simple.maxSpeed = -1;
    EXPECT_EQ(Physics::SimpleParamsFault(p), "SimplePhysicsParams.MaxSpeed is missing or not above 0");
    p.simple.maxSpeed = 300;
    p.simple.agility = 0;
    EXPECT_EQ(Physics::SimpleParamsFault(p), "SimplePhysicsParams.Agility is missing or not above 0");
}

// The description that once flew into a NaN angle of attack: it fails the check, and flown anyway (as the
// fuzz target flies every description) its state stays finite.
TEST_F(PhysicsTest, TheNaNDescriptionFailsTheCheckAndStaysFinite) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile(std::string(CORVANE_SOURCE_DIR) +
                            "/fuzz/seeds/fuzz_airplane_description/airplane-physics-nan.info"),
              0);
    Physics::PhysicsParams params;
    Physics::ReadPhysicsParams(info, params);
    EXPECT_EQ(Physics::ComplexParamsFault(params), "ComplexPhysicsParams.Thrust is missing or below 0");
    AirplaneState s = Flying(3000, 60);
    AirplanePhysicsComplex model(params, s);
    for (int i = 0; i < 500; ++i) {
        model.Step(Dt);
        ASSERT_TRUE(Physics::IsFinite(model.state)) << i;
        ASSERT_TRUE(Physics::Finite(model.body.velocity) && Physics::Finite(model.body.angularVelocity)) << i;
    }
}
