// Worlds for the effects' tests: an engine without a device (frames with their wrappers), a world whose
// clock the test sets by hand, and damageable targets with spheres that record the blasts reaching them.
#pragma once

#include "tests/scene/SceneFixture.h"

#include "scene/Attachable.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <type_traits>
#include <string>
#include <vector>

namespace Effects {

// A damageable ball in one of the world's spatial target groups (Static or Dynamic), hung on a frame so
// that hit spots can attach to it.
template <class Role> class Ball : public Obj::Object, public Obj::Frame, public Role {
public:
    Ball(std::string n, RwV3d centre, float radius) : name(std::move(n)) {
        sphere = {centre, radius};
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = centre;
        RwMatrixUpdate(&m);
        Transform(&m, rwCOMBINEREPLACE);
    }
    const RwSphere* GetBoundingSphere() override { return hasSphere ? &sphere : nullptr; }
    // Where the segment enters the ball.
    bool IntersectSegment(const RwLine* s, RwV3d* out, RwV3d*) override {
        const double d[3] = {double(s->end.x) - s->start.x, double(s->end.y) - s->start.y,
                             double(s->end.z) - s->start.z};
        const double f[3] = {double(s->start.x) - sphere.center.x, double(s->start.y) - sphere.center.y,
                             double(s->start.z) - sphere.center.z};
        const double a = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        const double b = 2 * (f[0] * d[0] + f[1] * d[1] + f[2] * d[2]);
        const double c = f[0] * f[0] + f[1] * f[1] + f[2] * f[2] - double(sphere.radius) * sphere.radius;
        const double disc = b * b - 4 * a * c;
        if (a <= 0 || disc < 0)
            return false;
        const double t0 = (-b - std::sqrt(disc)) / (2 * a), t1 = (-b + std::sqrt(disc)) / (2 * a);
        if (t1 < 0 || t0 > 1)
            return false;
        const double t = std::max(t0, 0.0); // from inside: the start
        *out = {float(s->start.x + t * d[0]), float(s->start.y + t * d[1]), float(s->start.z + t * d[2])};
        return true;
    }
    void OnSphereMissileHit(Obj::SphereMissile* missile, const RwSphere* blast) override {
        if (log)
            log->push_back(name);
        if (onHit)
            onHit();
        Obj::Damageable::OnSphereMissileHit(missile, blast);
    }
    void SetWorld(Grp::World* w) override {
        Obj::Object::SetWorld(w);
        auto& group = Group(w ? w : world);
        if (w) {
            Role::group = &group;
            group.UpdateDamageable(this);
            Role::OnGroupChanged(&group);
        } else if (Role::group) {
            std::remove_reference_t<decltype(group)>::Remove(this);
        }
    }
    auto& Group(Grp::World* w) {
        if constexpr (std::is_same_v<Role, Obj::Static>)
            return *w->statics;
        else
            return *w->dynamics;
    }

    std::string name;
    RwSphere sphere;
    bool hasSphere = true;
    std::vector<std::string>* log = nullptr;
    std::function<void()> onHit;
};

class EffectsWorld : public SceneWorld {
protected:
    // The world's clock to time t, step dt, then one run of every runnable.
    void RunAt(float t, float dt) {
        Clock(t, dt);
        Grp::RunGroup(*world->runnables);
    }
};

} // namespace Effects
