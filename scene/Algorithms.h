// The algorithm interfaces that the world-wide passes call: each declares the one operation of its pass and
// the data the pass reads. The world's roles (scene/ObjectModel.h) take them on.
#pragma once

#include "base/SmartPtr.h"

#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/src/plcore/vector.h"

#include <cstdint>
#include <vector>

namespace Cameras {
class Basic;
}

namespace Alg {

namespace Run {
class Object : public virtual Base::SmartPtrTarget {
public:
    virtual ~Object() = default;
    // The per-frame update.
    virtual void Run() = 0;

    // The run pass runs lower values first.
    uint8_t runOrder = 128;
};
} // namespace Run

namespace Render {
template <class Camera> class Object : public virtual Base::SmartPtrTarget {
public:
    virtual ~Object() = default;
    // Draws the object for one of its render orders.
    virtual void Render(unsigned order, Camera* camera) = 0;

    // The render passes the object is drawn in, one draw per entry and frame.
    std::vector<uint8_t> renderOrders;
};
} // namespace Render

namespace Simulate {
template <class Real> class Object : public virtual Base::SmartPtrTarget {
public:
    virtual ~Object() = default;
    // One step to world time `time`, `step` after the previous one (0 at the first).
    virtual void Simulate(Real time, Real step) = 0;

    Real stepInterval = 1; // the longest step one call covers
    Real lastTime = -1;    // negative before the first step
};
} // namespace Simulate

// The blast test. The missile side carries its damage here, so that targets can read it without knowing
// the weapon classes above them.
namespace ShootSphere {
template <class Target, class Real> class Missile {
public:
    virtual ~Missile() = default;
    virtual void OnHit(Target* target, const RwSphere* blast) = 0;

    Real damage = 0;
};

template <class MissileType, class Target, class Real> class Object : public virtual Base::SmartPtrTarget {
public:
    virtual ~Object() = default;
    virtual const RwSphere* GetSphere() = 0;
    virtual void OnSphereMissileHit(MissileType* missile, const RwSphere* blast) = 0;
};
} // namespace ShootSphere

// The segment test of bullets, rockets and bombs.
namespace ShootSegment {
template <class Target, class Real> class Missile {
public:
    virtual ~Missile() = default;
    // Flags: 1 stop here (out written), 2 ignore this target.
    virtual uint32_t OnHit(Target* target, const RwLine* segment, const RwV3d* point, RwV3d* out) = 0;

    Real damage = 0;
};

template <class MissileType, class Target, class Real> class Object : public virtual Base::SmartPtrTarget {
public:
    virtual ~Object() = default;
    virtual const RwSphere* GetSphereForSegment() = 0;
    // The nearest hit along the segment, with its normal when asked for.
    virtual bool IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal) = 0;
    // hitPoint: where the segment struck, or null when it did not.
    virtual void OnSegmentMissileHit(MissileType* missile, const RwLine* segment, const RwV3d* hitPoint) = 0;
};
} // namespace ShootSegment

} // namespace Alg
