// The game object model: every thing in the world is an Obj::Object that takes on roles by multiple
// inheritance. A role makes the object a member of one of the world's groups and, for most roles, gives it
// the operation of a world-wide pass: drawing (Renderable), the per-frame update (Runnable), the physics step
// (Simulateable), being a weapon's target (Target, Static, Dynamic, sharing one virtual Damageable). Roles
// are found by dynamic_cast, never by flags.
#pragma once

#include "scene/Algorithms.h"
#include "scene/Damageable.h"
#include "scene/Groups.h"

namespace Grp {
class World;
}

namespace Obj {

class Object : public Grp::Simple<Object>::Object, public virtual Base::SmartPtrTarget {
public:
    Object() = default;
    ~Object() override = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Told after joining a world (the world pointer already set) and before leaving it (still set).
    // Overrides call this first, then join or leave their roles' groups. Leaving takes the attached children
    // that are in the world out with the object.
    virtual void SetWorld(Grp::World* world);

    Grp::World* world = nullptr;
};

class Renderable : public Grp::Spatial<Renderable>::Object, public Alg::Render::Object<Cameras::Basic> {
public:
    // The world bounding sphere, or null for things drawn everywhere.
    virtual const RwSphere* GetBoundingSphere() = 0;
};

class Runnable : public Grp::Simple<Runnable>::Object, public Alg::Run::Object {};

class Simulateable : public Grp::Simple<Simulateable>::Object, public Alg::Simulate::Object<float> {};

class Target : public Grp::Simple<Target>::Object, public virtual Damageable {};

class Static : public Grp::Spatial<Static>::Object, public virtual Damageable {};

class Dynamic : public Grp::Spatial<Dynamic>::Object, public virtual Damageable {};

} // namespace Obj
