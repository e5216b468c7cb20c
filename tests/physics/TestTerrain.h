// Analytic terrains for the flight scenarios, behind the segment test that the airplane's run asks of the
// world's terrain, and the ground record that the run writes from it before each flight step.
#pragma once

#include "physics/AirplaneState.h"

#include "base/Maths.h"

#include <cmath>

class TestTerrain {
public:
    virtual ~TestTerrain() = default;
    // Height and unit normal at (x, z).
    virtual float Height(float x, float z, RwV3d* normal) const = 0;

    // The segment from above to below against the surface; the vertical probe of the airplane's run.
    bool IntersectVertical(float x, float z, RwV3d* point, RwV3d* normal) const {
        const float h = Height(x, z, normal);
        if (h > 10000 || h < -10000)
            return false;
        *point = {x, h, z};
        return true;
    }

    // The ground record under the airplane, as the airplane's run writes it on the terrain.
    void WriteGround(Physics::AirplaneState& s) const {
        RwV3d point, normal;
        s.groundValid = IntersectVertical(s.position.x, s.position.z, &point, &normal);
        if (!s.groundValid) {
            s.groundHeight = 0;
            return;
        }
        s.groundNormal = normal;
        s.groundDistance = Base::DotProduct(normal, point);
        s.groundVelocity = {0, 0, 0};
        s.groundRoughness = 0.2f;
        s.groundHeight = point.y;
    }
};

class FlatTerrain : public TestTerrain {
public:
    explicit FlatTerrain(float height) : height(height) {}
    float Height(float, float, RwV3d* normal) const override {
        *normal = {0, 1, 0};
        return height;
    }
    float height;
};

// Rising along +z with the given slope (rise over run).
class RampTerrain : public TestTerrain {
public:
    RampTerrain(float height, float slope) : height(height), slope(slope) {}
    float Height(float, float z, RwV3d* normal) const override {
        *normal = Base::Normalize3d(RwV3d{0, 1, -slope});
        return height + slope * z;
    }
    float height, slope;
};

// A ridge along z: the height falls away on both sides of x = 0.
class RidgeTerrain : public TestTerrain {
public:
    RidgeTerrain(float height, float slope) : height(height), slope(slope) {}
    float Height(float x, float, RwV3d* normal) const override {
        const float side = x < 0 ? -1.0f : 1.0f;
        *normal = Base::Normalize3d(RwV3d{side * slope, 1, 0});
        return height - slope * std::fabs(x);
    }
    float height, slope;
};
