// The complex flight model's rigid body with its force elements: airfoils (coefficients from
// "Data\Airfoil.dat"), sprung braked rolling wheels, and stiff contact springs on the airframe. Each element
// owns a frame that hangs under the body's frame at its place on the airplane; every step the body asks each
// element for a force, applies it at the element and integrates.
#pragma once

#include "physics/SolidBody.h"

#include <list>
#include <string>

namespace Physics {

struct AirplaneState;

// The surface under the airplane, as the state's ground record gives it.
struct GroundRecord {
    bool valid = false;
    RwV3d normal = {0, 1, 0};
    float distance = 0; // normal . p for the surface's points p
    RwV3d velocity = {0, 0, 0};
    float roughness = 0;

    static GroundRecord FromState(const AirplaneState& state);
};

// The segment p0 -> p1 against the plane n . x = d; false when parallel or when the crossing lies outside.
bool IntersectSegmentPlane(const RwV3d& p0, const RwV3d& p1, const RwV3d& n, float d, RwV3d* hit);

// 1.225 exp(-0.00010664 height).
float AirDensity(float height);

class AeroSolidBody : public SolidBody {
public:
    static constexpr const char* AirfoilFile = "Data\\Airfoil.dat";
    static constexpr int TableSize = 360;

    class Airfoil : public Rw::Frame {
    public:
        // Reads the three tables from "Data\Airfoil.dat" (values that cannot be read are 0) and scales them.
        Airfoil(float surface, float liftScale, float dragScale, float momentScale);
        // Force and torque on the body from the air; false when inactive or without surface.
        virtual bool ComputeForce(const RwV3d& wind, float airDensity, RwV3d* force, RwV3d* torque);

        // The three tables from the text of "Data\Airfoil.dat": 360 lift, 360 drag and 360 moment values,
        // each from 0 to 179 degrees, then -180 to -1; values that cannot be read are 0.
        static void ReadTables(const std::string& text, float lift[TableSize], float drag[TableSize],
                               float moment[TableSize]);
        // The table value at alpha (radians), between whole degrees; indices 180..359 hold -180..-1. 0 for an
        // alpha that is not a number.
        static float Lookup(const float table[TableSize], float alpha);

        uint8_t active = 1;
        AeroSolidBody* body = nullptr;
        float liftTable[TableSize];
        float dragTable[TableSize];
        float momentTable[TableSize];
        RwMatrix restMatrix;
        float surface = 0; // m^2; 0 disables the airfoil
    };

    class Spring : public Rw::Frame {
    public:
        bool ComputeForce(float dt, const GroundRecord& ground, RwV3d* force, RwV3d* torque);

        uint8_t active = 1;
        AeroSolidBody* body = nullptr;
        float stiffness = 0;
        float damping = 0;
        float travel = 0;      // depth of the full force
        uint8_t downProbe = 1; // 1: 20 m straight down; 0: 10 m along the element's at axis
        float compression = 0; // signed, never positive
        RwMatrix restMatrix;
    };

    class Wheel : public Rw::Frame {
    public:
        bool ComputeForce(float dt, const GroundRecord& ground, RwV3d* force, RwV3d* torque);

        // The surface's small relief at (x, z) in metres of the sawtooth sum, before roughness and scale.
        static float Bump(double x, double z);

        uint8_t active = 1;
        AeroSolidBody* body = nullptr;
        float stiffness = 0;
        float damping = 0;
        float travel = 0;
        float radius = 0;
        float compression = 0; // signed distance, negative pressed into the ground
        float rollAngle = 0;   // [0, 2 pi)
        float rollRate = 0;
        float brake = 0; // [0, 1]
        RwMatrix restMatrix;
    };

    AeroSolidBody() = default;
    ~AeroSolidBody() override;

    // Append the element, hang its frame under the body's and keep its current matrix as its rest matrix.
    void AddAirfoil(Airfoil* airfoil);
    void AddSpring(Spring* spring);
    void AddWheel(Wheel* wheel);

    void Step(float dt, float g, const RwV3d& wind, const GroundRecord& ground);

    // World offset of an element from the body's origin: its local position turned by the body.
    RwV3d ElementOffset(const Rw::Frame& element);
    RwV3d ElementVelocity(const Rw::Frame& element) { return GetOffsetVelocity(ElementOffset(element)); }

    std::list<Airfoil*> airfoils;
    std::list<Spring*> springs;
    std::list<Wheel*> wheels;

private:
    void Attach(Rw::Frame& element, RwMatrix& restMatrix);
    void Detach(Rw::Frame& element);
};

} // namespace Physics
