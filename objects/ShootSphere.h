// The blast test: every damageable of the world's Static and Dynamic groups that a blast sphere reaches is
// hit once, nearest first. The walk visits each group's catch-all sector and the grid cells near the blast;
// a cell counts only when its widened box comes strictly closer to the centre than the radius, and a cell
// that lies wholly inside the blast gives all its members without testing their spheres.
#pragma once

#include "scene/ObjectModel.h"

#include <cmath>
#include <vector>

namespace Alg::ShootSphere {

struct HitRecord {
    // Distance between the centres less both radii; members without a sphere come first.
    float gap;
    Base::SmartPtr<Obj::Damageable> target;
};

namespace Detail {

inline double Distance2ToBox(const RwV3d& c, const RwV3d& min, const RwV3d& max) {
    double d2 = 0;
    const float p[3] = {c.x, c.y, c.z}, lo[3] = {min.x, min.y, min.z}, hi[3] = {max.x, max.y, max.z};
    for (int a = 0; a < 3; ++a) {
        const double e = p[a] < lo[a] ? double(lo[a]) - p[a] : (p[a] > hi[a] ? double(p[a]) - hi[a] : 0.0);
        d2 += e * e;
    }
    return d2;
}

inline double FarthestCorner2(const RwV3d& c, const RwV3d& min, const RwV3d& max) {
    const double dx = std::max(std::fabs(double(c.x) - min.x), std::fabs(double(c.x) - max.x));
    const double dy = std::max(std::fabs(double(c.y) - min.y), std::fabs(double(c.y) - max.y));
    const double dz = std::max(std::fabs(double(c.z) - min.z), std::fabs(double(c.z) - max.z));
    return dx * dx + dy * dy + dz * dz;
}

inline bool Touches(const RwSphere* sphere, const RwSphere& blast) {
    if (!sphere)
        return true;
    const double dx = double(sphere->center.x) - blast.center.x,
                 dy = double(sphere->center.y) - blast.center.y,
                 dz = double(sphere->center.z) - blast.center.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz) <= double(sphere->radius) + blast.radius;
}

} // namespace Detail

// Calls take (member) for every member of the group that the blast reaches, in walk order.
template <class T, class F>
void ForEachInBlast(const Grp::Spatial<T>& group, const RwSphere& blast, F&& take) {
    const auto visit = [&](typename Grp::Spatial<T>::Sector& sector, bool all) {
        for (Grp::Node *node = sector.head.next, *next; node != &sector.head; node = next) {
            next = node->next;
            T* member = Grp::Spatial<T>::Get(node);
            if (all || Detail::Touches(member->GetBoundingSphere(), blast))
                take(member);
        }
    };
    RwBBox box;
    box.inf = {blast.center.x - blast.radius, blast.center.y - blast.radius, blast.center.z - blast.radius};
    box.sup = {blast.center.x + blast.radius, blast.center.y + blast.radius, blast.center.z + blast.radius};
    Grp::SpatialBoxIterator<T> cells;
    cells.Begin(group, box);
    visit(*cells.current, false);
    const double r2 = double(blast.radius) * blast.radius;
    while (cells.Next()) {
        auto& sector = *cells.current;
        if (!(Detail::Distance2ToBox(blast.center, sector.min, sector.max) < r2))
            continue;
        visit(sector, Detail::FarthestCorner2(blast.center, sector.min, sector.max) <= r2);
    }
}

// Adds a record per member the blast reaches.
template <class T>
void CollectHits(const Grp::Spatial<T>& group, const RwSphere& blast, std::vector<HitRecord>& records) {
    ForEachInBlast(group, blast, [&](T* member) {
        Obj::Damageable* target = member;
        const RwSphere* sphere = target->GetSphere();
        float gap = -3.4028235e38f;
        if (sphere) {
            const double dx = double(sphere->center.x) - blast.center.x,
                         dy = double(sphere->center.y) - blast.center.y,
                         dz = double(sphere->center.z) - blast.center.z;
            gap = float(std::sqrt(dx * dx + dy * dy + dz * dz) - (double(sphere->radius) + blast.radius));
        }
        records.push_back({gap, Base::SmartPtr<Obj::Damageable>(target)});
    });
}

// The blast over both groups: the missile's OnHit for every member reached, nearest first, then each
// member's OnSphereMissileHit in the same order. Members destroyed by an earlier handler are skipped.
void Shoot(Obj::SphereMissile* missile, const RwSphere& blast, const Grp::Spatial<Obj::Static>& statics,
           const Grp::Spatial<Obj::Dynamic>& dynamics);

} // namespace Alg::ShootSphere
