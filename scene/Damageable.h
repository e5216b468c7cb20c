// Obj::Damageable: what weapons can hurt. Hit points with a maximum, a name and a map icon for the mission
// and the world map, and whether hits leave burning hit spots; the target side of the blast and segment
// tests. Always a virtual base, so that an object has one hit-point store whatever its roles.
#pragma once

#include "scene/Algorithms.h"

#include "base/String.h"

#include <cstdint>

namespace Base {
class Info;
}

namespace Obj {

class Damageable;
class Frame;

using SphereMissile = Alg::ShootSphere::Missile<Damageable, float>;
using SegmentMissile = Alg::ShootSegment::Missile<Damageable, float>;

enum Allegiance : uint32_t { Friendly = 0, Enemy = 1 };

// The hit marks that blasts leave (the hit spot class) live above this library; they take on this role so
// that a blast can find and strengthen one near its hit point.
class HitMark : public virtual Base::SmartPtrTarget {
public:
    virtual ~HitMark() = default;
    virtual float GetStrength() const = 0;
    virtual void SetStrength(float strength) = 0;
};

class Damageable : public Alg::ShootSphere::Object<SphereMissile, Damageable, float>,
                   public Alg::ShootSegment::Object<SegmentMissile, Damageable, float> {
public:
    // Makes a hit spot of that strength whose frame is a pure translation to the point, in no world and
    // attached to nothing. Installed by the hit spot class; without it blasts leave no hit spots.
    static Frame* (*CreateHitSpot)(float strength, const RwV3d& point);

    Damageable() = default;
    ~Damageable() override = default;

    const RwSphere* GetSphere() override { return GetBoundingSphere(); }
    void OnSphereMissileHit(SphereMissile* missile, const RwSphere* blast) override;
    virtual void OnHitPointsChanged() {}
    virtual const RwSphere* GetBoundingSphere() = 0;
    // How well the object shows on radar.
    virtual float GetDetectability() { return 1.0f; }

    const RwSphere* GetSphereForSegment() override { return GetSphere(); }
    // Takes the missile's damage when the segment struck (hitPoint given).
    void OnSegmentMissileHit(SegmentMissile* missile, const RwLine* segment, const RwV3d* hitPoint) override;

    // Reads the "Damages" keys; always true.
    bool LoadDamages(const Base::Info* info);
    void SetHitPoints(float value);
    void SetMaxHitPoints(float value);
    // The point of the object nearest to the blast centre along the six axis directions, within the radius.
    bool FindHitPoint(const RwSphere* blast, RwV3d* out);

    Allegiance allegiance = Friendly;
    float hitPoints = 0;
    float maxHitPoints = 0;
    bool canAddHitSpot = true;
    Base::String name = "<unnamed>";
    Base::String mapIcon = "IconUndefined";
};

// What an airplane's detectability depends on (its own class reads these from its parts and flight state).
struct AirplaneExposure {
    float height = 0;       // world height of the airplane's frame
    float groundHeight = 0; // ground height under it, from its flight state
    bool hasWeaponDoor = false;
    bool hasGears = false;
    float doorOpening = 0;   // 0 closed to 1 open
    float gearExtension = 0; // 0 retracted to 1 down
    bool jammerOn = false;
};
// 0.33 on the ground rising to 1 at 12000 above it, times the exposure of doors and gear, plus 1 with the
// jammer on.
float AirplaneDetectability(const AirplaneExposure& exposure);

} // namespace Obj
