// The player's flight model: an aerodynamic rigid body of nine airfoils, seven contact springs and three
// wheels, with thrust, body drag and a turn force, and a control response that moves the control surfaces
// towards the pilot's commands with authority that falls off with speed.
#pragma once

#include "physics/AeroSolidBody.h"
#include "physics/AirplanePhysics.h"

#include <memory>

namespace Physics {

class AirplanePhysicsComplex;

// Turns the commands of the model's state into actual control positions.
class ControlResponse {
public:
    explicit ControlResponse(AirplanePhysicsComplex* model) : model(model) {}
    void Update(float dt);

    AirplanePhysicsComplex* model; // not owned
};

class AirplanePhysicsComplex : public AirplanePhysics {
public:
    enum AirfoilRole {
        WingRight, // the +x side
        WingLeft,
        TailplaneRight,
        TailplaneLeft,
        Fin,
        AileronRight,
        AileronLeft,
        Elevator,
        Rudder,
        AirfoilRoleCount
    };
    enum WheelRole { WheelCentre, WheelLeft, WheelRight, WheelRoleCount };
    static constexpr int SpringCount = 7;
    static constexpr float Gravity = -9.81f;

    AirplanePhysicsComplex(const PhysicsParams& params, const AirplaneState& state, uint32_t seed = 0);
    ~AirplanePhysicsComplex() override;

    // Nothing for dt <= 0 or not finite. A step whose result is not finite is undone.
    void Step(float dt) override;
    // Places the body, its velocities, control surfaces and wheels from the record. The body keeps its
    // double-precision position unless an outside writer moved `position` away from `precisePosition`.
    void SetState(const AirplaneState& state) override;
    // The out-of-control control positions: three draws from the model's generator, made once and kept.
    void OutOfControlDeflections(AirplaneState& state);

    AeroSolidBody body;
    AeroSolidBody::Airfoil* airfoils[AirfoilRoleCount] = {};
    AeroSolidBody::Spring* springs[SpringCount] = {};
    AeroSolidBody::Wheel* wheels[WheelRoleCount] = {};
    std::unique_ptr<ControlResponse> controlResponse;

private:
    void PlaceBody(const AirplaneState& state, const RwV3d& oldPosition, bool keepPrecise);
};

// Creates and adds every element of the body from the parameter record, and fills the model's roles.
void BuildComplexBody(AirplanePhysicsComplex& model, const PhysicsParams& params);

} // namespace Physics
