#include "physics/AeroSolidBody.h"

#include "physics/AirplaneState.h"

#include "base/Maths.h"
#include "platform/win32/Files.h"

#include <cmath>
#include <sstream>

namespace Physics {

namespace {

constexpr float TwoPi = float(2 * Base::Pi);

RwV3d Add(const RwV3d& a, const RwV3d& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
RwV3d Scale(const RwV3d& a, float k) {
    return {a.x * k, a.y * k, a.z * k};
}

// The element's world matrix, synchronised with the body's.
const RwMatrix& WorldMatrix(Rw::Frame& element) {
    return *RwFrameGetWorldMatrix(element.frame);
}

// Sawtooth in [-0.5, 0.5) of period p.
double Saw(double u, double p) {
    return std::fmod(u, p) / p - 0.5;
}

} // namespace

GroundRecord GroundRecord::FromState(const AirplaneState& s) {
    return {s.groundValid != 0, s.groundNormal, s.groundDistance, s.groundVelocity, s.groundRoughness};
}

bool IntersectSegmentPlane(const RwV3d& p0, const RwV3d& p1, const RwV3d& n, float d, RwV3d* hit) {
    const float denominator = Base::DotProduct(Sub(p0, p1), n);
    if (denominator == 0)
        return false;
    const float t = (Base::DotProduct(n, p0) - d) / denominator;
    if (t < 0 || t > 1)
        return false;
    *hit = Base::LerpVector3(p0, p1, t);
    return true;
}

float AirDensity(float height) {
    return 1.225f * std::exp(-0.00010664f * height);
}

// ---- airfoil

AeroSolidBody::Airfoil::Airfoil(float surface, float liftScale, float dragScale, float momentScale)
    : surface(surface) {
    RwMatrixSetIdentity(&restMatrix);
    std::string text;
    Win32::ReadTextFile(AirfoilFile, text);
    ReadTables(text, liftTable, dragTable, momentTable);
    for (int i = 0; i < TableSize; ++i) {
        liftTable[i] *= liftScale;
        dragTable[i] *= dragScale;
        momentTable[i] *= momentScale;
    }
}

void AeroSolidBody::Airfoil::ReadTables(const std::string& text, float lift[TableSize], float drag[TableSize],
                                        float moment[TableSize]) {
    std::istringstream in(text);
    for (float* table : {lift, drag, moment})
        for (int i = 0; i < TableSize; ++i) {
            float value = 0;
            // A failed read (the end, a word, a number out of range) leaves the rest of the file unread.
            if (!(in >> value) || !std::isfinite(value))
                value = 0;
            table[i] = value;
        }
}

float AeroSolidBody::Airfoil::Lookup(const float table[TableSize], float alpha) {
    // An angle that is not a number has no entry (and would be an undefined conversion to an index).
    if (std::isnan(alpha))
        return 0;
    const float d = std::clamp(alpha * float(180.0 / Base::Pi), -180.0f, 180.0f);
    const float lower = std::floor(d), upper = std::ceil(d);
    const float f = d - lower;
    auto index = [](float degrees) {
        int i = int(degrees);
        if (i < 0)
            i += TableSize;
        return std::clamp(i, 0, TableSize - 1);
    };
    return (1 - f) * table[index(lower)] + f * table[index(upper)];
}

bool AeroSolidBody::Airfoil::ComputeForce(const RwV3d& wind, float rho, RwV3d* force, RwV3d* torque) {
    if (!active || surface == 0 || !body)
        return false;
    const RwV3d air = Sub(wind, body->ElementVelocity(*this));
    const RwMatrix& m = WorldMatrix(*this);
    // The air in the airfoil's own axes (the inverse of an orthonormal rotation).
    const float ay = Base::DotProduct(air, m.up), az = Base::DotProduct(air, m.at);
    const float alpha = Base::SignedAngle2d({1, 0}, {-az, -ay});
    const float v2 = ay * ay + az * az;
    const float q = 0.5f * rho * v2 * surface;
    const float lift = Lookup(liftTable, alpha) * q;
    const float drag = Lookup(dragTable, alpha) * q;
    const float moment = Lookup(momentTable, alpha) * q;
    const RwV3d n = Base::Normalize3d(air);
    // Not normalised: a span-wise flow shortens it by the sine of its angle to the span.
    const RwV3d liftDirection = Base::CrossProduct(m.right, n);
    if (force)
        *force = Add(Scale(liftDirection, lift), Scale(n, drag));
    if (torque)
        *torque = Scale(m.right, -moment);
    return true;
}

// ---- spring

bool AeroSolidBody::Spring::ComputeForce(float, const GroundRecord& ground, RwV3d* force, RwV3d* torque) {
    if (!active || !body)
        return false;
    if (!ground.valid) {
        compression = 0;
        return false;
    }
    const RwMatrix& m = WorldMatrix(*this);
    const RwV3d p = m.pos;
    const RwV3d dir = downProbe ? RwV3d{0, -1, 0} : m.at;
    const float length = downProbe ? 20.0f : 10.0f;
    RwV3d hit;
    if (!IntersectSegmentPlane(Sub(p, Scale(dir, length)), p, ground.normal, ground.distance, &hit)) {
        // Out of contact: no compression left over from an earlier touch for the impact checks to read.
        compression = 0;
        return false;
    }
    compression = Base::DotProduct(Sub(hit, p), dir);
    const float s = std::min(1.0f, -compression / travel);
    const RwV3d vrel = Sub(body->ElementVelocity(*this), ground.velocity);
    const float normalForce = s * stiffness + damping * Base::DotProduct(vrel, dir);
    const float mu = Base::VectorLength(vrel) <= 10 ? 0.02f : 0.004f;
    const RwV3d tangential = Sub(vrel, Scale(ground.normal, Base::DotProduct(vrel, ground.normal)));
    if (force)
        *force = Add(Scale(ground.normal, normalForce), Scale(tangential, -stiffness * mu));
    if (torque)
        *torque = {0, 0, 0};
    return true;
}

// ---- wheel

float AeroSolidBody::Wheel::Bump(double x, double z) {
    const double sum = std::fabs(x + z), difference = std::fabs(z - x);
    return float(0.75 * Saw(sum, 2) + 1.0 * Saw(difference, 4) + 1.5 * Saw(sum, 16) + 1.25 * Saw(sum, 8) +
                 0.25 * Saw(sum, 0.5) + 1.75 * Saw(difference, 32) + 0.5 * Saw(difference, 1));
}

bool AeroSolidBody::Wheel::ComputeForce(float dt, const GroundRecord& ground, RwV3d* force, RwV3d* torque) {
    if (!active || !body)
        return false;
    // Kept in [0, 2 pi) also while rolling backwards; a rate that is not finite (a wheel of no radius) stops
    // the wheel rather than leave its angle undefined.
    if (!std::isfinite(rollRate))
        rollRate = 0;
    rollAngle = std::fmod(rollAngle + dt * rollRate, TwoPi);
    if (!std::isfinite(rollAngle))
        rollAngle = 0;
    if (rollAngle < 0)
        rollAngle += TwoPi;
    rollRate = (1 - 2 * dt) * rollRate;
    if (!ground.valid) {
        compression = 0;
        return false;
    }
    const RwMatrix& m = WorldMatrix(*this);
    const RwV3d p = m.pos;
    const RwV3d top = Add(p, Scale(m.up, travel - radius));
    const RwV3d bottom = Sub(p, Scale(m.up, radius));

    // Clear of the surface by more than the largest bump: no contact, without working out the bump.
    const float largestBump = 3.5f * std::fabs(ground.roughness) * 0.1f + 0.001f;
    if (Base::DotProduct(ground.normal, top) - ground.distance > largestBump &&
        Base::DotProduct(ground.normal, bottom) - ground.distance > largestBump) {
        compression = 0;
        return false;
    }
    double world[3];
    GetWorldPositionDouble(world);
    const float bump =
        Bump(std::fmod(world[0], 1000.0), std::fmod(world[2], 1000.0)) * ground.roughness * 0.1f;
    const float planeDistance = ground.distance + bump;
    RwV3d hit;
    if (!IntersectSegmentPlane(top, bottom, ground.normal, planeDistance, &hit) ||
        Base::DotProduct(ground.normal, top) - planeDistance < 0) {
        compression = 0;
        return false;
    }
    compression = Base::DotProduct(Sub(bottom, hit), m.up);
    const float s = std::min(1.0f, -compression / travel);
    const RwV3d vr = Sub(body->ElementVelocity(*this), ground.velocity);
    const float vrRight = Base::DotProduct(vr, m.right);
    const float vrUp = Base::DotProduct(vr, m.up);
    const float vrAt = Base::DotProduct(vr, m.at);
    const float fs = s * stiffness;
    const RwV3d normalForce = Scale(ground.normal, fs - damping * vrUp);

    RwV3d friction = {0, 0, 0};
    if (s > 0) {
        const float mu = brake + (1 - brake) * 0.002f;
        const float speed = float(Base::VectorLength(vr));
        const float f = std::clamp(0.025f / (speed + 0.005f), mu, 1.0f);
        const float along = f * stiffness * s;
        const float side = -0.25f * stiffness * s * vrRight;
        if (std::sqrt(along * along + side * side) > 0.5f * fs) {
            friction = Scale(vr, -0.25f * fs);
            rollRate = 0;
        } else {
            friction = Sub(Scale(m.right, side), Scale(vr, along));
            rollRate = radius > 0 ? vrAt / radius : 0.0f;
        }
        friction = Scale(friction, std::clamp(1 + 25 * std::fabs(bump), 1.0f, 10.0f));
    }
    if (force)
        *force = Add(normalForce, friction);
    if (torque)
        *torque = {0, 0, 0};
    return true;
}

// ---- body

AeroSolidBody::~AeroSolidBody() {
    auto release = [this](auto& list) {
        while (!list.empty()) {
            auto* element = list.front();
            element->body = nullptr;
            list.pop_front();
            Detach(*element);
            delete element;
        }
    };
    release(airfoils);
    release(springs);
    release(wheels);
}

void AeroSolidBody::Attach(Rw::Frame& element, RwMatrix& restMatrix) {
    if (frame && element.frame) {
        RwFrameAddChild(frame, element.frame);
        element.Transform(nullptr, 0);
        restMatrix = element.frame->modelling;
    }
}

void AeroSolidBody::Detach(Rw::Frame& element) {
    if (element.frame && RwFrameGetParent(element.frame) == frame)
        RwFrameRemoveChild(element.frame);
}

void AeroSolidBody::AddAirfoil(Airfoil* airfoil) {
    airfoils.push_back(airfoil);
    airfoil->body = this;
    Attach(*airfoil, airfoil->restMatrix);
}

void AeroSolidBody::AddSpring(Spring* spring) {
    springs.push_back(spring);
    spring->body = this;
    Attach(*spring, spring->restMatrix);
}

void AeroSolidBody::AddWheel(Wheel* wheel) {
    wheels.push_back(wheel);
    wheel->body = this;
    Attach(*wheel, wheel->restMatrix);
}

RwV3d AeroSolidBody::ElementOffset(const Rw::Frame& element) {
    const RwMatrix& m = *RwFrameGetWorldMatrix(frame);
    const float x = float(element.localPosition[0]), y = float(element.localPosition[1]),
                z = float(element.localPosition[2]);
    return {x * m.right.x + y * m.up.x + z * m.at.x, x * m.right.y + y * m.up.y + z * m.at.y,
            x * m.right.z + y * m.up.z + z * m.at.z};
}

void AeroSolidBody::Step(float dt, float g, const RwV3d& wind, const GroundRecord& ground) {
    const float rho = AirDensity(RwFrameGetWorldMatrix(frame)->pos.y);
    for (Airfoil* airfoil : airfoils) {
        RwV3d f, t;
        if (airfoil->ComputeForce(wind, rho, &f, &t)) {
            AddForceAtOffset(ElementOffset(*airfoil), f);
            if (Finite(t))
                torque = Add(torque, t);
        }
    }
    for (Spring* spring : springs) {
        RwV3d f, t;
        if (spring->ComputeForce(dt, ground, &f, &t)) {
            AddForceAtOffset(ElementOffset(*spring), f);
            if (Finite(t))
                torque = Add(torque, t);
        }
    }
    for (Wheel* wheel : wheels) {
        RwV3d f, t;
        if (wheel->ComputeForce(dt, ground, &f, &t)) {
            AddForceAtOffset(ElementOffset(*wheel), f);
            if (Finite(t))
                torque = Add(torque, t);
        }
    }
    SolidBody::Step(dt, g);
}

} // namespace Physics
