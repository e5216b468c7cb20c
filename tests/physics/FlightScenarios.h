// Flight scenarios shared by the complex model's tests and the sample airplanes' tests: a simple autopilot,
// the copy-out, change, hand-back, step cycle, the airplane parked on its wheels, and the energy and
// airfoil bookkeeping.
#pragma once

#include "PhysicsFixture.h"
#include "TestTerrain.h"

#include "physics/AirplanePhysicsComplex.h"

#include "base/Maths.h"
#include "scene/SignedAngleOnPlane.h"

#include <functional>
#include <memory>

using Physics::AeroSolidBody;
using Physics::AirplanePhysicsComplex;
using Physics::AirplaneState;

namespace Scenarios {

inline constexpr float Dt = 0.01f;
inline constexpr float Degree = float(Base::Pi / 180.0);

inline float Speed(const AirplaneState& s) {
    return float(Base::VectorLength(s.velocity));
}
inline float Bank(const AirplaneState& s) {
    return Obj::SignedAngleOnPlane(s.at, s.up, {0, 1, 0});
}

// A simple autopilot, as a pilot would write the commands: holds a height, a speed and a bank.
struct Autopilot {
    float height, speed, bank = 0;
    float integral = 0;
    void Command(AirplaneState& s) {
        const float e = height - s.position.y;
        integral = std::clamp(integral + e * Dt, -400.0f, 400.0f);
        s.pitchInput = std::clamp(0.002f * e - 0.02f * s.velocity.y + 0.0005f * integral, -1.0f, 1.0f);
        const float rate = -Base::DotProduct(s.angularVelocity, s.at);
        s.rollInput = std::clamp(2.0f * (Bank(s) - bank) + 0.5f * rate, -1.0f, 1.0f);
        s.thrustFactor = std::clamp(s.thrustFactor + 0.0005f * (speed - Speed(s)) -
                                        0.002f * Base::DotProduct(s.acceleration, s.at),
                                    0.0f, 1.0f);
    }
};

// Copy out, change, hand back, step: as the pilot, the airplane's run and the simulation do each step.
inline void Fly(AirplanePhysicsComplex& model, int steps, const std::function<void(AirplaneState&)>& command,
                const TestTerrain* terrain = nullptr) {
    for (int i = 0; i < steps; ++i) {
        AirplaneState s = model.state;
        if (terrain)
            terrain->WriteGround(s);
        if (command)
            command(s);
        model.SetState(s);
        model.Step(Dt);
    }
}

// The airfoils' summed force and its power on the body, as the next step will apply them.
struct AirfoilLoad {
    RwV3d force = {0, 0, 0};
    double power = 0;
};
inline AirfoilLoad Airfoils(AirplanePhysicsComplex& model) {
    AirfoilLoad load;
    const float rho = Physics::AirDensity(model.state.position.y);
    for (AeroSolidBody::Airfoil* a : model.airfoils) {
        RwV3d f, t;
        if (!a->ComputeForce({0, 0, 0}, rho, &f, &t))
            continue;
        load.force = {load.force.x + f.x, load.force.y + f.y, load.force.z + f.z};
        load.power += Base::DotProduct(f, model.body.ElementVelocity(*a)) +
                      Base::DotProduct(t, model.body.angularVelocity);
    }
    return load;
}

inline double Energy(AirplanePhysicsComplex& model) {
    const AirplaneState& s = model.state;
    const double m = model.params.complex.mass;
    const RwV3d w = s.angularVelocity;
    const RwV3d I = model.params.complex.aMass;
    const double wr = Base::DotProduct(w, s.right), wu = Base::DotProduct(w, s.up),
                 wa = Base::DotProduct(w, s.at);
    return 0.5 * m * Base::DotProduct(s.velocity, s.velocity) +
           0.5 * (I.x * wr * wr + I.y * wu * wu + I.z * wa * wa) + m * 9.81 * s.precisePosition[1];
}

// On its wheels at the runway's height, gear down and brakes as given, after settling.
inline std::unique_ptr<AirplanePhysicsComplex> Parked(const Physics::PhysicsParams& params,
                                                      const TestTerrain& terrain, float brake) {
    AirplaneState s;
    AirplaneState::Init(s);
    RwV3d normal;
    const float ground = terrain.Height(0, 0, &normal);
    s.position = {0, ground + 1.7f, 0};
    s.precisePosition[1] = s.position.y;
    s.gearExtension = s.gearDownCommand = 1;
    s.wheelBrakeCommand = brake;
    auto model = std::make_unique<AirplanePhysicsComplex>(params, s);
    Fly(*model, 500, nullptr, &terrain);
    return model;
}

// Trimmed by the autopilot at 3000 m and 200 m/s, then let go with the controls where the trim left them:
// the height holds for 30 s with the airfoils' lift near the weight, and the state keeps its invariants.
inline void ExpectTrimmedLevelFlight(const Physics::PhysicsParams& params) {
    AirplanePhysicsComplex model(params, PhysicsTest::Flying(3000, 200));
    Autopilot pilot{3000, 200};
    Fly(model, 6000, [&](AirplaneState& s) { pilot.Command(s); });
    const AirplaneState trimmed = model.state;
    const float weight = params.complex.mass * 9.81f;
    EXPECT_NEAR(Airfoils(model).force.y, weight, 0.03f * weight);
    for (int second = 0; second < 30; ++second) {
        Fly(model, 100, [&](AirplaneState& s) {
            s.pitchInput = trimmed.pitchInput;
            s.rollInput = trimmed.rollInput;
            s.thrustFactor = trimmed.thrustFactor;
        });
        ASSERT_NEAR(model.state.position.y, 3000, 20) << "after " << second + 1 << " s";
        EXPECT_NEAR(Speed(model.state), 200, 10);
        EXPECT_NEAR(Bank(model.state), 0, 2 * Degree);
        EXPECT_NEAR(Airfoils(model).force.y, weight, 0.1f * weight);
    }
    // Perpendicular unit axes, right = up x at, the precise position rounding to the float one.
    const AirplaneState& s = model.state;
    EXPECT_NEAR(Base::VectorLength(s.up), 1, 1e-5);
    EXPECT_NEAR(Base::VectorLength(s.at), 1, 1e-5);
    EXPECT_NEAR(Base::DotProduct(s.up, s.at), 0, 1e-5);
    const RwV3d right = Base::CrossProduct(s.up, s.at);
    EXPECT_NEAR(right.x, s.right.x, 1e-5);
    EXPECT_NEAR(right.z, s.right.z, 1e-5);
    EXPECT_EQ(s.position.y, float(s.precisePosition[1]));
}

// Full power on the runway, rotating from 70 m/s: the wheels leave the ground at a sensible speed, and every
// spring then reports no compression.
inline void ExpectTakeOff(const Physics::PhysicsParams& params) {
    FlatTerrain runway(100);
    auto model = Parked(params, runway, 0);
    float liftOff = 0;
    for (int i = 0; i < 6000 && liftOff == 0; ++i) {
        Fly(
            *model, 1,
            [&](AirplaneState& s) {
                s.thrustFactor = 1;
                s.pitchInput = Speed(s) > 70 ? 0.5f : 0.0f;
            },
            &runway);
        const AirplaneState& s = model->state;
        if (s.wheelCompression[0] == 0 && s.wheelCompression[1] == 0 && s.wheelCompression[2] == 0 &&
            s.position.y > 105)
            liftOff = Speed(s);
        ASSERT_FALSE(s.crashed);
    }
    EXPECT_GT(liftOff, 60);
    EXPECT_LT(liftOff, 110);
    for (AeroSolidBody::Spring* spring : model->springs)
        EXPECT_EQ(spring->compression, 0);
}

} // namespace Scenarios
