#include "scene/Damageable.h"

#include "scene/Attachable.h"
#include "scene/ObjectModel.h"
#include "scene/World.h"

#include "base/Info.h"
#include "base/Random.h"

#include <algorithm>
#include <cmath>

namespace Obj {

Frame* (*Damageable::CreateHitSpot)(float strength, const RwV3d& point) = nullptr;

namespace {

float Distance2(const RwV3d& a, const RwV3d& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

} // namespace

bool Damageable::LoadDamages(const Base::Info* info) {
    allegiance = Friendly;
    hitPoints = 0;
    maxHitPoints = 0;
    float value = 0;
    if (!info || !info->TryGetFloat("Damages.HitPoints", value))
        value = 0;
    SetMaxHitPoints(value);
    SetHitPoints(value);
    name = "<unnamed>";
    mapIcon = "IconUndefined";
    canAddHitSpot = true;
    if (info) {
        info->TryGetString("Damages.Name", name);
        info->TryGetString("Damages.MapIcon", mapIcon);
        info->TryGetBool("Damages.CanAddHitSpot", canAddHitSpot);
    }
    return true;
}

void Damageable::SetHitPoints(float value) {
    const float clamped = value > 0 ? std::min(value, maxHitPoints) : 0.0f;
    if (clamped == hitPoints)
        return;
    hitPoints = clamped;
    OnHitPointsChanged();
}

void Damageable::SetMaxHitPoints(float value) {
    const float m = value > 0 ? value : 0.0f;
    if (m == maxHitPoints)
        return;
    maxHitPoints = m;
    SetHitPoints(m);
}

void Damageable::OnSegmentMissileHit(SegmentMissile* missile, const RwLine*, const RwV3d* hitPoint) {
    if (hitPoint)
        SetHitPoints(hitPoints - missile->damage);
}

bool Damageable::FindHitPoint(const RwSphere* blast, RwV3d* out) {
    static const RwV3d directions[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const RwV3d& c = blast->center;
    float best = HUGE_VALF;
    RwV3d bestPoint = c;
    for (const RwV3d& u : directions) {
        const float reach = blast->radius / 2;
        const RwLine probe = {{c.x - 0.5f * u.x, c.y - 0.5f * u.y, c.z - 0.5f * u.z},
                              {c.x + reach * u.x, c.y + reach * u.y, c.z + reach * u.z}};
        RwV3d point;
        if (IntersectSegment(&probe, &point, nullptr) && Distance2(point, c) < best) {
            best = Distance2(point, c);
            bestPoint = point;
        }
    }
    if (!(best < blast->radius * blast->radius))
        return false;
    *out = bestPoint;
    return true;
}

void Damageable::OnSphereMissileHit(SphereMissile* missile, const RwSphere* blast) {
    const float damage = missile->damage;
    RwV3d p;
    if (canAddHitSpot && FindHitPoint(blast, &p)) {
        const float u = float(Base::Random::NextUInt32()) * 2.3283064365386963e-10f;
        const float s = std::pow(damage, 0.25f) * (0.75f + 0.5f * u);
        HitMark* near = nullptr;
        auto* attachable = dynamic_cast<Attachable*>(this);
        if (attachable)
            for (Attachable* child = attachable->FirstChild(); child && !near; child = child->NextSibling()) {
                auto* mark = dynamic_cast<HitMark*>(child);
                auto* frame = dynamic_cast<Rw::Frame*>(child);
                if (!mark || !frame)
                    continue;
                double w[3];
                frame->GetWorldPositionDouble(w);
                const double dx = w[0] - p.x, dy = w[1] - p.y, dz = w[2] - p.z;
                if (std::sqrt(dx * dx + dy * dy + dz * dz) < 10)
                    near = mark;
            }
        if (near) {
            near->SetStrength(std::min(near->GetStrength() + 0.5f * s, 50.0f));
        } else if (CreateHitSpot) {
            auto* object = dynamic_cast<Obj::Object*>(this);
            Grp::World* world = object ? object->world : nullptr;
            auto* frame = dynamic_cast<Obj::Frame*>(this);
            // A hit spot that neither a world nor a parent would own is not made.
            if (world || frame) {
                if (Frame* spot = CreateHitSpot(s, p)) {
                    if (world)
                        if (auto* spotObject = dynamic_cast<Obj::Object*>(spot))
                            world->AddObject(spotObject);
                    if (frame)
                        spot->AttachTo(frame, frame->frame, true);
                }
            }
        }
    }

    const RwSphere* sphere = GetBoundingSphere();
    const float d = sphere ? std::sqrt(Distance2(sphere->center, blast->center)) : 0.0f;
    const float taken = std::clamp(2 * (damage - std::sqrt(damage) * d), 0.0f, damage);
    SetHitPoints(hitPoints - taken);
}

float AirplaneDetectability(const AirplaneExposure& e) {
    float h = e.height - e.groundHeight;
    if (!(h > 0))
        h = 0;
    float exposure = 1.0f;
    if (e.hasWeaponDoor) {
        exposure = 0.5f + 0.25f * e.doorOpening;
        if (e.hasGears)
            exposure += 0.25f * e.gearExtension;
    }
    float a = float(std::pow(double(h * 8.333333e-5f), double(0.3f)));
    if (a <= 0)
        a = 0;
    if (a >= 1)
        a = 1;
    const float r = a + (1 - a) * 0.33f;
    return r * exposure + (e.jammerOn ? 1.0f : 0.0f);
}

} // namespace Obj
