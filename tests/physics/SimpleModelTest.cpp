// The simple (arcade) flight model of the computer-flown airplanes, and the null model of remote copies.
#include "PhysicsFixture.h"

#include "physics/AirplanePhysicsNull.h"
#include "physics/AirplanePhysicsSimple.h"

#include "base/Maths.h"
#include "scene/MatrixHelpers.h"
#include "scene/SignedAngleOnPlane.h"

#include <cstring>

using Physics::AirplanePhysicsNull;
using Physics::AirplanePhysicsSimple;
using Physics::AirplaneState;

namespace {

constexpr float Dt = 0.01f;
constexpr float Degree = float(Base::Pi / 180.0);

Physics::PhysicsParams Simple(float maxSpeed = 330, float agility = 30) {
    Physics::PhysicsParams params{};
    params.simple = {maxSpeed, agility};
    return params;
}

// Level along +z, then turned: pitch (nose up positive) and bank (the +x wing down positive).
AirplaneState Attitude(float height, float speed, float pitchDegrees, float bankDegrees) {
    AirplaneState s;
    AirplaneState::Init(s);
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    const RwV3d at = {0, 0, 1}, right = {1, 0, 0};
    RwMatrixRotate(&m, &at, -bankDegrees, rwCOMBINEREPLACE);
    RwMatrixRotate(&m, &right, -pitchDegrees, rwCOMBINEPOSTCONCAT);
    s.up = m.up;
    s.at = m.at;
    s.position = {0, height, 0};
    s.velocity = {s.at.x * speed, s.at.y * speed, s.at.z * speed};
    s.groundNormal = {0, 1, 0};
    s.groundDistance = -1000;
    return s;
}

float Speed(const AirplaneState& s) {
    return float(Base::VectorLength(s.velocity));
}
float Bank(const AirplaneState& s) {
    return Obj::SignedAngleOnPlane(s.at, s.up, {0, 1, 0});
}

void Fly(Physics::AirplanePhysics& model, int steps, float dt = Dt) {
    for (int i = 0; i < steps; ++i)
        model.Step(dt);
}

} // namespace

// One step's speed change is (target - speed) x 0.05 x Agility x dt; the target follows the throttle between
// 150 and the height's maximum (40 % of MaxSpeed at sea level, all of it from 10000 m).
TEST_F(PhysicsTest, SimpleModelSpeedTargets) {
    struct Case {
        float height, throttle, pitch;
        float target;
    } cases[] = {
        {0, 0, 0, 150},
        {0, 0.25f, 0, 141},
        {0, 1, 0, 132},
        {10000, 1, 0, 330},
        {10000, 0.25f, 0, 240},
        {20000, 0.25f, 0, 240},
        {5000, 1, 0, 231},
        {10000, 0, 0, 150},
        {10000, 0, -30, 150 + 0.5f * 0.5f * 0.6f * 330}, // diving: half of the climb term
        {10000, 0, 30, 150 - 0.5f * 0.6f * 330},         // climbing
        {0, 2, 0, 132},                                  // the throttle is clamped
    };
    for (const Case& c : cases) {
        AirplaneState s = Attitude(c.height, 200, c.pitch, 0);
        s.throttle = c.throttle;
        AirplanePhysicsSimple model(Simple(), s);
        model.Step(Dt);
        const float expected = 200 + (c.target - 200) * 1.5f * Dt;
        EXPECT_NEAR(Speed(model.state), expected, 0.02f) << c.height << " " << c.throttle << " " << c.pitch;
        EXPECT_EQ(model.state.throttleLevel, std::clamp(c.throttle, 0.0f, 1.0f));
    }
    // Held long enough in level flight the speed settles on the target.
    AirplaneState s = Attitude(10000, 200, 0, 0);
    s.throttle = 0.25f;
    AirplanePhysicsSimple model(Simple(), s);
    Fly(model, 1000);
    EXPECT_NEAR(Speed(model.state), 240, 0.5f);
}

TEST_F(PhysicsTest, SimpleModelLevelFlightStaysLevel) {
    AirplanePhysicsSimple model(Simple(), Attitude(3000, 200, 0, 0));
    model.state.throttle = 1;
    Fly(model, 1000);
    const AirplaneState& s = model.state;
    EXPECT_NEAR(s.position.y, 3000, 1e-2f);
    EXPECT_NEAR(s.position.x, 0, 1e-2f);
    EXPECT_NEAR(s.at.z, 1, 1e-6f);
    EXPECT_NEAR(s.up.y, 1, 1e-6f);
    EXPECT_EQ(s.precisePosition[2], double(s.position.z));
    EXPECT_NEAR(s.velocity.z, Speed(s), 1e-3f);
}

// Stick centred, a banked airplane rolls back towards level and meanwhile turns towards its lowered wing;
// a pitched airplane returns towards level.
TEST_F(PhysicsTest, SimpleModelBanksAndPitchReturnToLevel) {
    for (float bank : {30.0f, -45.0f}) {
        AirplanePhysicsSimple model(Simple(), Attitude(3000, 200, 0, bank));
        EXPECT_NEAR(Bank(model.state), bank * Degree, 1e-4f);
        float previous = std::fabs(Bank(model.state));
        for (int second = 0; second < 5; ++second) {
            Fly(model, 100);
            const float now = std::fabs(Bank(model.state));
            EXPECT_LT(now, previous) << bank << " after " << second + 1 << " s";
            previous = now;
        }
        EXPECT_LT(previous, 3 * Degree);
        // Turned towards the lowered wing: +x for a positive bank.
        EXPECT_GT(model.state.at.x * bank, 0) << bank;
    }
    for (float pitch : {20.0f, -20.0f}) {
        AirplanePhysicsSimple model(Simple(), Attitude(3000, 200, pitch, 0));
        float previous = std::fabs(model.state.at.y);
        for (int second = 0; second < 10; ++second) {
            Fly(model, 100);
            const float now = std::fabs(model.state.at.y);
            EXPECT_LT(now, previous) << pitch << " after " << second + 1 << " s";
            EXPECT_GT(model.state.at.y * pitch, 0) << "no overshoot";
            previous = now;
        }
    }
}

// Commands: pitch input +1 raises the nose, roll input +1 lowers the -x wing (the same senses as the complex
// model).
TEST_F(PhysicsTest, SimpleModelAnswersTheStick) {
    AirplanePhysicsSimple model(Simple(), Attitude(3000, 200, 0, 0));
    AirplaneState s = model.state;
    s.pitchInput = 1;
    model.SetState(s);
    Fly(model, 20);
    EXPECT_GT(model.state.at.y, 0.02f);
    EXPECT_GT(model.state.elevatorAngle, 0);

    AirplanePhysicsSimple rolling(Simple(), Attitude(3000, 200, 0, 0));
    s = rolling.state;
    s.rollInput = 1;
    rolling.SetState(s);
    Fly(rolling, 20);
    EXPECT_LT(Bank(rolling.state), -10 * Degree);
    EXPECT_GT(rolling.state.aileronAngle, 0);
}

// The yaw and pitch gains are fixed up to 100 m/s and fall as 1 / speed above: one step's turn from the
// same bank.
TEST_F(PhysicsTest, SimpleModelGainsFallAbove100) {
    auto turn = [](float speed) {
        AirplanePhysicsSimple model(Simple(), Attitude(3000, speed, 0, 30));
        model.Step(Dt);
        return std::atan2(model.state.at.x, model.state.at.z);
    };
    EXPECT_NEAR(turn(60), turn(100), 1e-6f);
    EXPECT_NEAR(turn(200), turn(100) / 2, 2e-6f);
    // 40 x Agility / 100 degrees per second per radian of bank.
    EXPECT_NEAR(turn(100), 30 * Degree * 12 * Degree * Dt, 2e-6f);
}

TEST_F(PhysicsTest, SimpleModelStepsAndTimes) {
    AirplanePhysicsSimple model(Simple(), Attitude(3000, 200, 0, 0));
    const AirplaneState before = model.state;
    model.Step(0);
    EXPECT_EQ(std::memcmp(&before, &model.state, sizeof before), 0);
    model.Step(-Dt); // a negative step is stepped like a positive one: backwards along the nose
    EXPECT_NEAR(model.state.position.z, -2, 0.01f);
}

// A new position less than 20 m under the ground plane is a crash, also without a valid ground record.
TEST_F(PhysicsTest, SimpleModelCrashDetection) {
    struct Case {
        float height;
        bool valid;
        bool crashed;
    } cases[] = {
        {102, true, false}, {99, true, true}, {99, false, true}, {81, true, true}, {79, true, false}};
    for (const Case& c : cases) {
        AirplaneState s = Attitude(c.height, 0.001f, 0, 0);
        s.groundValid = c.valid;
        s.groundNormal = {0, 1, 0};
        s.groundDistance = 100;
        AirplanePhysicsSimple model(Simple(), s);
        model.Step(Dt);
        EXPECT_EQ(model.state.crashed, c.crashed) << c.height;
    }
}

TEST_F(PhysicsTest, SimpleModelOutOfControlAndHeld) {
    AirplaneState s = Attitude(3000, 200, 0, 0);
    s.outOfControl = 1;
    AirplanePhysicsSimple model(Simple(), s);
    model.Step(Dt);
    const AirplaneState first = model.state;
    model.Step(Dt);
    EXPECT_EQ(model.state.rollInput, first.rollInput);
    EXPECT_EQ(model.state.pitchInput, first.pitchInput);
    EXPECT_EQ(model.state.throttleLevel, 0.5f);
    EXPECT_GE(std::fabs(first.rollInput), 0.25f);
    EXPECT_LT(std::fabs(first.rollInput), 0.75f);
    EXPECT_LE(first.pitchInput, -0.25f);
    EXPECT_GT(first.pitchInput, -0.75f);
    EXPECT_TRUE(model.state.outOfControl);

    s = Attitude(3000, 200, 0, 0);
    s.held = 1;
    s.precisePosition[1] = 1;
    AirplanePhysicsSimple held(Simple(), s);
    held.Step(Dt);
    EXPECT_EQ(held.state.position.z, 0);
    EXPECT_EQ(held.state.precisePosition[1], 3000.0);
}

TEST_F(PhysicsTest, NullModelOnlyRefreshesThePrecisePosition) {
    AirplaneState s = Attitude(3000, 200, 10, 20);
    s.position = {123.5f, 3000, -7.25f};
    s.angularVelocity = {0.1f, 0.2f, 0.3f};
    AirplanePhysicsNull model(Simple(), s);
    for (float dt : {0.01f, 0.0f, -1.0f})
        model.Step(dt);
    AirplaneState expected = s;
    expected.precisePosition[0] = 123.5;
    expected.precisePosition[1] = 3000;
    expected.precisePosition[2] = -7.25;
    EXPECT_EQ(std::memcmp(&expected, &model.state, sizeof expected), 0);
}
