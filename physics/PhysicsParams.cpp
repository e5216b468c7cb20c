#include "physics/PhysicsParams.h"

#include "base/Info.h"

#include <cmath>

namespace Physics {

namespace {

float Scalar(const Base::Info& info, const char* key, float fallback) {
    float value = fallback;
    info.TryGetFloat(key, value);
    return value;
}

RwV3d Vector(const Base::Info& info, const char* key, RwV3d fallback) {
    Base::Vector3 value{fallback.x, fallback.y, fallback.z};
    info.TryGetVector3(key, value);
    return {value.x, value.y, value.z};
}

} // namespace

void ReadPhysicsParams(const Base::Info& info, PhysicsParams& params) {
    params = PhysicsParams{};
    constexpr RwV3d unsetX = {1.0e9f, 0, 0};
    constexpr RwV3d unsetAll = {1.0e9f, 1.0e9f, 1.0e9f};
    params.simple.maxSpeed = Scalar(info, "SimplePhysicsParams.MaxSpeed", -1.0f);
    params.simple.agility = Scalar(info, "SimplePhysicsParams.Agility", -1.0f);
    ComplexPhysicsParams& c = params.complex;
    c.mass = Scalar(info, "ComplexPhysicsParams.Mass", 0.0f);
    c.aMass = Vector(info, "ComplexPhysicsParams.AMass", {0, 0, 0});
    c.thrust = Scalar(info, "ComplexPhysicsParams.Thrust", -1.0f);
    c.linearDampingFactor = Scalar(info, "ComplexPhysicsParams.LinearDampingFactor", -1.0f);
    c.quadraticDampingFactor = Scalar(info, "ComplexPhysicsParams.QuadraticDampingFactor", -1.0f);
    c.wingSurface = Scalar(info, "ComplexPhysicsParams.WingSurface", -1.0f);
    c.hStabilizerSurface = Scalar(info, "ComplexPhysicsParams.hStabilizerSurface", -1.0f);
    c.vStabilizerSurface = Scalar(info, "ComplexPhysicsParams.vStabilizerSurface", -1.0f);
    c.aileronSurface = Scalar(info, "ComplexPhysicsParams.aileronSurface", -1.0f);
    c.elevatorSurface = Scalar(info, "ComplexPhysicsParams.elevatorSurface", -1.0f);
    c.rudderSurface = Scalar(info, "ComplexPhysicsParams.rudderSurface", -1.0f);
    c.wingOffset = Vector(info, "ComplexPhysicsParams.wingOffset", unsetX);
    c.hStabilizerOffset = Vector(info, "ComplexPhysicsParams.hStabilizerOffset", unsetAll);
    c.vStabilizerOffset = Vector(info, "ComplexPhysicsParams.vStabilizerOffset", unsetAll);
    c.centerWheelRadius = Scalar(info, "ComplexPhysicsParams.centerWheelRadius", 0.0f);
    c.sideWheelRadius = Scalar(info, "ComplexPhysicsParams.sideWheelRadius", 0.0f);
    c.frontBottomSpringOffset = Vector(info, "ComplexPhysicsParams.frontBottomSpringOffset", unsetX);
    c.rearBottomSpringOffset = Vector(info, "ComplexPhysicsParams.rearBottomSpringOffset", unsetX);
    c.frontTopSpringOffset = Vector(info, "ComplexPhysicsParams.frontTopSpringOffset", unsetX);
    c.rearTopSpringOffset = Vector(info, "ComplexPhysicsParams.rearTopSpringOffset", unsetX);
    c.sideSpringOffset = Vector(info, "ComplexPhysicsParams.sideSpringOffset", unsetX);
}

std::string ComplexParamsFault(const PhysicsParams& params) {
    const ComplexPhysicsParams& c = params.complex;
    const std::string group = "ComplexPhysicsParams.";
    // NaN fails every comparison, so each test is written as the range that is accepted.
    auto above0 = [](float v) { return v > 0 && std::isfinite(v); };
    auto from0 = [](float v) { return v >= 0 && std::isfinite(v); };
    auto near = [](const RwV3d& v) {
        constexpr float reach = 1000;
        return std::fabs(v.x) <= reach && std::fabs(v.y) <= reach && std::fabs(v.z) <= reach;
    };
    if (!above0(c.mass))
        return group + "Mass is missing or not above 0";
    if (!above0(c.aMass.x) || !above0(c.aMass.y) || !above0(c.aMass.z))
        return group + "AMass is missing or has a moment not above 0";
    const struct {
        const char* key;
        float value;
    } scalars[] = {{"Thrust", c.thrust},
                   {"LinearDampingFactor", c.linearDampingFactor},
                   {"QuadraticDampingFactor", c.quadraticDampingFactor},
                   {"WingSurface", c.wingSurface},
                   {"hStabilizerSurface", c.hStabilizerSurface},
                   {"vStabilizerSurface", c.vStabilizerSurface},
                   {"aileronSurface", c.aileronSurface},
                   {"elevatorSurface", c.elevatorSurface},
                   {"rudderSurface", c.rudderSurface},
                   {"centerWheelRadius", c.centerWheelRadius},
                   {"sideWheelRadius", c.sideWheelRadius}};
    for (const auto& s : scalars)
        if (!from0(s.value))
            return group + s.key + " is missing or below 0";
    const struct {
        const char* key;
        RwV3d value;
    } offsets[] = {{"wingOffset", c.wingOffset},
                   {"hStabilizerOffset", c.hStabilizerOffset},
                   {"vStabilizerOffset", c.vStabilizerOffset},
                   {"frontBottomSpringOffset", c.frontBottomSpringOffset},
                   {"rearBottomSpringOffset", c.rearBottomSpringOffset},
                   {"frontTopSpringOffset", c.frontTopSpringOffset},
                   {"rearTopSpringOffset", c.rearTopSpringOffset},
                   {"sideSpringOffset", c.sideSpringOffset}};
    for (const auto& o : offsets)
        if (!near(o.value))
            return group + o.key + " is missing or not within 1000 m of the model's origin";
    return {};
}

std::string SimpleParamsFault(const PhysicsParams& params) {
    auto above0 = [](float v) { return v > 0 && std::isfinite(v); };
    if (!above0(params.simple.maxSpeed))
        return "SimplePhysicsParams.MaxSpeed is missing or not above 0";
    if (!above0(params.simple.agility))
        return "SimplePhysicsParams.Agility is missing or not above 0";
    return {};
}

} // namespace Physics
