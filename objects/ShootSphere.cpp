#include "objects/ShootSphere.h"

#include <algorithm>

namespace Alg::ShootSphere {

void Shoot(Obj::SphereMissile* missile, const RwSphere& blast, const Grp::Spatial<Obj::Static>& statics,
           const Grp::Spatial<Obj::Dynamic>& dynamics) {
    // Each blast has its own list: a handler may set off another explosion, whose blast runs at once.
    std::vector<HitRecord> records;
    records.reserve(4096);
    CollectHits(statics, blast, records);
    CollectHits(dynamics, blast, records);
    std::sort(records.begin(), records.end(),
              [](const HitRecord& a, const HitRecord& b) { return a.gap < b.gap; });
    for (HitRecord& record : records)
        if (Obj::Damageable* target = record.target)
            missile->OnHit(target, &blast);
    for (HitRecord& record : records)
        if (Obj::Damageable* target = record.target)
            target->OnSphereMissileHit(missile, &blast);
}

} // namespace Alg::ShootSphere
