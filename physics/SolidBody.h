// The rigid body under the complex flight model: a frame that carries mass, principal moments of inertia,
// velocities and force and torque accumulators. Forces are applied at points during a step; Step adds the
// weight, integrates (semi-implicit Euler: velocities first) and clears the accumulators. The position is
// integrated in double precision (the frame's localPosition) so that a body far from the origin moves
// smoothly; the frame's float matrix follows the rounded value.
#pragma once

#include "scene/Frame.h"

namespace Physics {

// Every component finite.
bool Finite(const RwV3d& v);

class SolidBody : public Rw::Frame {
public:
    SolidBody();
    ~SolidBody() override = default;

    // Point and force each in world or in body coordinates (a body point with the frame's rotation and
    // translation, a body force with its rotation only); torque about the body's origin.
    void AddForceAtPoint(const RwV3d& point, bool pointInBodyFrame, const RwV3d& force,
                         bool forceInBodyFrame);
    // World velocity of a point fixed to the body.
    RwV3d GetPointVelocity(const RwV3d& point, bool pointInBodyFrame);
    // Moment of inertia about a unit world axis, from the principal moments.
    float GetInertiaAbout(const RwV3d& axis);
    // Gravity g along the world's up axis (negative downwards). Forces that are not finite are refused as
    // they are added, and a step whose result would not be finite (or a dt that is not) leaves the motion as
    // it was.
    void Step(float dt, float g);

    RwV3d velocity = {0, 0, 0};
    RwV3d angularVelocity = {0, 0, 0};
    RwV3d force = {0, 0, 0};
    RwV3d torque = {0, 0, 0};
    float mass = 1.0f;
    RwV3d inertia = {1, 1, 1};

protected:
    // Force applied at a world offset from the body's origin. The offset of an element is taken from its
    // local position and the body's rotation, so that it never passes through the float world positions,
    // which are coarse far from the origin.
    void AddForceAtOffset(const RwV3d& offset, const RwV3d& force);
    RwV3d GetOffsetVelocity(const RwV3d& offset) const;
    void Integrate(float dt);
};

} // namespace Physics
