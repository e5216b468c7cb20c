#include "physics/AirplanePhysicsComplex.h"

#include "base/Maths.h"
#include "scene/MatrixHelpers.h"
#include "scene/SignedAngleOnPlane.h"

#include <cmath>

namespace Physics {

namespace {

constexpr float Degree = float(Base::Pi / 180.0);
constexpr float ToDegrees = float(180.0 / Base::Pi);

RwV3d Scale(const RwV3d& a, float k) {
    return {a.x * k, a.y * k, a.z * k};
}

// The authority factor: 1 at rest (the ratio is then infinite), 0 when not positive.
float Authority(float value) {
    const float k = std::min(1.0f, value);
    return k > 0 ? k : 0.0f;
}

void Place(Rw::Frame& element, const RwMatrix& rest, const RwV3d& axis, float degrees, const RwV3d& shift) {
    RwMatrix m = rest;
    Base::RotateMatrixAboutPoint(&m, axis, degrees, rwCOMBINEPOSTCONCAT, rest.pos);
    if (shift.x != 0 || shift.y != 0 || shift.z != 0)
        RwMatrixTranslate(&m, &shift, rwCOMBINEPOSTCONCAT);
    element.Transform(&m, rwCOMBINEREPLACE);
}

} // namespace

AirplanePhysicsComplex::AirplanePhysicsComplex(const PhysicsParams& p, const AirplaneState& s, uint32_t seed)
    : AirplanePhysics(p, s, seed) {
    BuildComplexBody(*this, params);
    controlResponse = std::make_unique<ControlResponse>(this);
    // The body starts where the initial state says, not at the origin.
    PlaceBody(state, state.position, false);
}

AirplanePhysicsComplex::~AirplanePhysicsComplex() {
    controlResponse.reset();
}

void AirplanePhysicsComplex::Step(float dt) {
    if (!(dt > 0) || !std::isfinite(dt))
        return;
    controlResponse->Update(dt);
    AirplaneState s = state;
    const AirplaneState s0 = s;
    const ComplexPhysicsParams& c = params.complex;

    body.AddForceAtPoint({0, 0, 0}, true, Scale(s.at, s.thrustFactor * c.thrust * 9.81f), false);

    const float k1 = 1 + 1.2f * s.gearExtension;
    const float k2 = 1 + 0.5f * s.weaponDoorOpening;
    const float rho = AirDensity(RwFrameGetWorldMatrix(body.frame)->pos.y);
    const RwV3d v = body.velocity;
    const float speed = float(Base::VectorLength(v));
    const RwV3d unit = Base::Normalize3d(v);
    const float quadratic = c.quadraticDampingFactor * speed * speed;
    const RwV3d drag = {-rho * k1 * k2 * (c.linearDampingFactor * v.x + quadratic * unit.x),
                        -rho * k1 * k2 * (c.linearDampingFactor * v.y + quadratic * unit.y),
                        -rho * k1 * k2 * (c.linearDampingFactor * v.z + quadratic * unit.z)};
    body.AddForceAtPoint({0, 0, 0}, true, drag, false);

    // The turn force pushes towards the lowered wing, as the lift's horizontal part does; with the opposite
    // sign it would all but cancel the turn of a bank.
    const float bank = Obj::SignedAngleOnPlane(s.at, s.up, {0, 1, 0});
    const RwV3d h = Base::Normalize3d(RwV3d{s.right.x, 0, s.right.z});
    const float turn = 0.05f * c.mass * Base::DotProduct(s.velocity, s.at) * std::sin(bank);
    body.AddForceAtPoint({0, 0, 0}, true, Scale(h, turn), false);

    for (AeroSolidBody::Wheel* wheel : wheels)
        if (wheel)
            wheel->active = s.gearExtension == 1.0f;

    body.Step(dt, Gravity, {0, 0, 0}, GroundRecord::FromState(s));

    if (s.held) {
        s.precisePosition[0] = s.position.x;
        s.precisePosition[1] = s.position.y;
        s.precisePosition[2] = s.position.z;
    } else {
        const double* p = body.localPosition;
        s.position = {float(p[0]), float(p[1]), float(p[2])};
        const RwMatrix& m = *RwFrameGetWorldMatrix(body.frame);
        s.up = m.up;
        s.at = m.at;
        s.right = m.right;
        s.velocity = body.velocity;
        s.angularVelocity = body.angularVelocity;
        s.precisePosition[0] = p[0];
        s.precisePosition[1] = p[1];
        s.precisePosition[2] = p[2];
        s.acceleration = {(s.velocity.x - s0.velocity.x) / dt, (s.velocity.y - s0.velocity.y) / dt,
                          (s.velocity.z - s0.velocity.z) / dt};
        for (int i = 0; i < WheelRoleCount; ++i)
            if (wheels[i])
                s.wheelRotation[i] = wheels[i]->rollAngle;

        // Impacts: a level surface within a metre of height 0 is water, where any real contact is a crash.
        const bool flat = s.groundNormal.x == 0 && s.groundNormal.y == 1 && s.groundNormal.z == 0 &&
                          std::fabs(s.groundDistance) < 1.0f;
        for (AeroSolidBody::Spring* spring : springs) {
            if (!spring)
                continue;
            const float f = -(spring->compression * spring->stiffness);
            if (flat && f > 1000)
                s.crashed = 1;
            if (f > 25000)
                s.outOfControl = 1;
            if (f > 100000)
                s.crashed = 1;
        }
        for (AeroSolidBody::Wheel* wheel : wheels)
            if (wheel && flat && wheel->compression < -0.01f)
                s.crashed = 1;
    }
    for (int i = 0; i < WheelRoleCount; ++i)
        if (wheels[i])
            s.wheelCompression[i] = wheels[i]->compression;
    if (!IsFinite(s)) {
        // A step that left the finite numbers (forces too large for a float) is undone: the body goes back
        // to the last finite state.
        PlaceBody(state, state.position, false);
        return;
    }
    SetState(s);
}

void AirplanePhysicsComplex::SetState(const AirplaneState& s) {
    if (!IsFinite(s))
        return;
    const RwV3d old = state.position;
    state = s;
    PlaceBody(state, old, true);
}

void AirplanePhysicsComplex::PlaceBody(const AirplaneState& s, const RwV3d& old, bool keepPrecise) {
    const double kept[3] = {body.localPosition[0], body.localPosition[1], body.localPosition[2]};
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.right = Base::Normalize3d(Base::CrossProduct(s.up, s.at));
    m.up = s.up;
    m.at = s.at;
    m.pos = s.position;
    RwMatrixUpdate(&m);
    body.Transform(&m, rwCOMBINEREPLACE);

    const float position[3] = {s.position.x, s.position.y, s.position.z};
    const float oldPosition[3] = {old.x, old.y, old.z};
    for (int i = 0; i < 3; ++i) {
        if (position[i] == float(s.precisePosition[i]))
            body.localPosition[i] = s.precisePosition[i]; // the record's own precise value, written with it
        else if (position[i] != oldPosition[i] || !keepPrecise)
            body.localPosition[i] = position[i]; // moved by a writer that knows only the float
        else
            body.localPosition[i] = kept[i];
    }
    body.velocity = s.velocity;
    body.angularVelocity = s.angularVelocity;

    constexpr RwV3d none = {0, 0, 0};
    auto surface = [&](AirfoilRole role, float radians) {
        if (AeroSolidBody::Airfoil* a = airfoils[role])
            Place(*a, a->restMatrix, a->restMatrix.right, radians * ToDegrees, none);
    };
    surface(AileronRight, -s.aileronAngle);
    surface(AileronLeft, s.aileronAngle);
    surface(Elevator, s.elevatorAngle);
    surface(Rudder, -s.rudderAngle);
    const RwV3d shift = {-s.massCentreOffset.x, -s.massCentreOffset.y, -s.massCentreOffset.z};
    for (int i = 0; i < WheelRoleCount; ++i)
        if (AeroSolidBody::Wheel* w = wheels[i]) {
            Place(*w, w->restMatrix, w->restMatrix.up, s.wheelSteering[i] * ToDegrees, shift);
            w->brake = std::clamp(s.wheelBrake[i], 0.0f, 1.0f);
        }
}

void AirplanePhysicsComplex::OutOfControlDeflections(AirplaneState& s) {
    if (!deflectionsDrawn) {
        uint32_t c = random() & 1;
        float u = Uniform();
        deflections[0] = c ? 0.1f + 0.2f * u : -0.1f - 0.2f * u;
        c = random() & 1;
        u = Uniform();
        deflections[1] = c ? 0.2f + 0.3f * u : -0.2f - 0.3f * u;
        u = Uniform();
        deflections[2] = -0.2f - 0.3f * u;
        deflectionsDrawn = true;
    }
    s.aileronAngle = deflections[0];
    s.rudderAngle = deflections[1];
    s.auxAngle = 0;
    s.elevatorAngle = deflections[2];
}

void ControlResponse::Update(float dt) {
    AirplaneState s = model->state;
    if (s.outOfControl) {
        model->OutOfControlDeflections(s);
        model->SetState(s);
        return;
    }
    const float v = float(Base::VectorLength(s.velocity));
    const float vr = s.groundValid ? float(Base::VectorLength(RwV3d{s.velocity.x - s.groundVelocity.x,
                                                                    s.velocity.y - s.groundVelocity.y,
                                                                    s.velocity.z - s.groundVelocity.z}))
                                   : v;
    const float rinv = 1.0f / AirDensity(s.position.y);

    float a = 8 * dt;
    const float k = Authority(rinv / std::pow(v * 0.0066666668f, 1.5f));
    s.aileronAngle = (1 - a) * s.aileronAngle + a * k * 15 * Degree * s.rollInput;

    const float k2 = Authority(rinv / std::pow(v * 0.005263158f, 2.0f));
    const float k3 = std::min(1.0f, std::pow(108.0f / v, 2.0f) * rinv);
    const float x = std::clamp(k3 * 5 * Degree + s.pitchInput * k2 * 12 * Degree, -14 * Degree, 14 * Degree);
    a = 1.5f * dt;
    s.elevatorAngle = (1 - a) * s.elevatorAngle + a * x;

    s.throttleLevel = s.throttle;

    const float k4 = Authority(rinv / std::pow(v * 0.01f, 1.25f));
    a = 10 * dt;
    s.rudderAngle = (1 - a) * s.rudderAngle + a * 10 * Degree * k4 * s.yawInput;

    s.auxAngle = (1 - dt) * s.auxAngle + dt * 30 * Degree * s.auxInput;

    const float k5 = std::max(1.0f, std::pow(0.2f * vr, 1.75f));
    a = 4 * dt;
    s.wheelSteering[0] = (1 - a) * s.wheelSteering[0] - a * (40 * Degree / k5) * s.yawInput;

    const float m = std::max(1.0f, vr * 1.6666666f);
    s.wheelBrake[0] = s.wheelBrakeCommand / m;
    s.wheelBrake[1] = s.wheelBrake[2] = 0.8f * s.wheelBrake[0];
    model->SetState(s);
}

void BuildComplexBody(AirplanePhysicsComplex& model, const PhysicsParams& params) {
    const ComplexPhysicsParams& c = params.complex;
    AeroSolidBody& body = model.body;
    body.mass = c.mass;
    body.inertia = c.aMass;

    auto factor = [&model] { return 0.999f + model.Uniform() * 0.0020000339f; };
    auto placed = [](Rw::Frame& element, const RwV3d& right, const RwV3d& up, const RwV3d& at,
                     const RwV3d& position, float incidence) {
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.right = right;
        m.up = up;
        m.at = at;
        RwMatrixUpdate(&m);
        if (incidence != 0) {
            constexpr RwV3d xAxis = {1, 0, 0};
            RwMatrixRotate(&m, &xAxis, incidence * ToDegrees, rwCOMBINEPOSTCONCAT);
        }
        m.pos = position;
        RwMatrixUpdate(&m);
        element.Transform(&m, rwCOMBINEREPLACE);
    };
    constexpr RwV3d x = {1, 0, 0}, y = {0, 1, 0}, z = {0, 0, 1}, down = {0, -1, 0};
    auto mirror = [](const RwV3d& v) { return RwV3d{-v.x, v.y, v.z}; };
    const RwV3d wing = c.wingOffset, tail = c.hStabilizerOffset, fin = c.vStabilizerOffset;

    struct AirfoilPlan {
        float surface;
        bool finAxes;
        float incidence;
        RwV3d position;
    };
    const AirfoilPlan plans[AirplanePhysicsComplex::AirfoilRoleCount] = {
        {factor() * c.wingSurface, false, 0, wing},
        {factor() * c.wingSurface, false, 0, mirror(wing)},
        {factor() * c.hStabilizerSurface, false, c.tailIncidence, tail},
        {factor() * c.hStabilizerSurface, false, c.tailIncidence, mirror(tail)},
        {c.vStabilizerSurface, true, 0, fin},
        {c.aileronSurface, false, 0, Scale(wing, 1.5f)},
        {c.aileronSurface, false, 0, {-1.5f * wing.x, 1.5f * wing.y, 1.5f * wing.z}},
        {2 * c.elevatorSurface, false, c.tailIncidence, {0, tail.y, tail.z}},
        {c.rudderSurface, true, 0, fin},
    };
    for (int i = 0; i < AirplanePhysicsComplex::AirfoilRoleCount; ++i) {
        const AirfoilPlan& plan = plans[i];
        auto* airfoil = new AeroSolidBody::Airfoil(plan.surface, 1.0f, 1.0f, 1.0f);
        if (plan.finAxes)
            placed(*airfoil, down, x, z, plan.position, 0);
        else
            placed(*airfoil, x, y, z, plan.position, plan.incidence);
        model.airfoils[i] = airfoil;
    }
    for (AeroSolidBody::Airfoil* airfoil : model.airfoils)
        body.AddAirfoil(airfoil);

    const RwV3d springAt[AirplanePhysicsComplex::SpringCount] = {
        c.frontBottomSpringOffset, c.rearBottomSpringOffset,   c.frontTopSpringOffset, c.rearTopSpringOffset,
        c.sideSpringOffset,        mirror(c.sideSpringOffset), c.frontTopSpringOffset};
    for (int i = 0; i < AirplanePhysicsComplex::SpringCount; ++i) {
        auto* spring = new AeroSolidBody::Spring;
        spring->stiffness = 50 * c.mass;
        spring->damping = 2 * c.mass;
        spring->travel = 0.5f;
        spring->downProbe = i < 6 ? 1 : 0;
        placed(*spring, x, y, z, springAt[i], 0);
        model.springs[i] = spring;
        body.AddSpring(spring);
    }

    const RwV3d wheelAt[AirplanePhysicsComplex::WheelRoleCount] = {c.centerWheelPosition, c.sideWheelPosition,
                                                                   mirror(c.sideWheelPosition)};
    for (int i = 0; i < AirplanePhysicsComplex::WheelRoleCount; ++i) {
        auto* wheel = new AeroSolidBody::Wheel;
        wheel->stiffness = (i == 0 ? 35 : 30) * c.mass;
        wheel->damping = c.mass;
        wheel->travel = 1.0f;
        wheel->radius = i == 0 ? c.centerWheelRadius : c.sideWheelRadius;
        placed(*wheel, x, y, z, wheelAt[i], 0);
        model.wheels[i] = wheel;
        body.AddWheel(wheel);
    }
}

} // namespace Physics
