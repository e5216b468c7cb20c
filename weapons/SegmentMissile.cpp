#include "weapons/SegmentMissile.h"

#include <memory>

namespace Weapons {

Obj::Attachable* AttachmentRoot(Obj::Attachable* object) {
    if (!object)
        return nullptr;
    while (Obj::Attachable* parent = object->GetParent())
        object = parent;
    return object;
}

Obj::Attachable* AttachmentRoot(Obj::Damageable* object) {
    return AttachmentRoot(dynamic_cast<Obj::Attachable*>(object));
}

uint32_t SegmentMissile::OnHit(Obj::Damageable* target, const RwLine*, const RwV3d* point, RwV3d* out) {
    if (Obj::Attachable* root = AttachmentRoot(target); root && owner && AttachmentRoot(owner.Get()) == root)
        return Ignore;
    if (!point)
        return GoOn;
    *out = *point;
    return Stop;
}

Obj::Damageable* SegmentMissile::GetShooter() const {
    return dynamic_cast<Obj::Damageable*>(owner.Get());
}

RwV3d SegmentDirection(const RwLine& segment) {
    const double dx = double(segment.end.x) - segment.start.x, dy = double(segment.end.y) - segment.start.y,
                 dz = double(segment.end.z) - segment.start.z;
    const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(length > 0))
        return {0, 0, 1};
    return {float(dx / length), float(dy / length), float(dz / length)};
}

RwV3d ClosestPointOnSegment(const RwLine& segment, const RwV3d& p) {
    const double dx = double(segment.end.x) - segment.start.x, dy = double(segment.end.y) - segment.start.y,
                 dz = double(segment.end.z) - segment.start.z;
    const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    const RwV3d u = SegmentDirection(segment);
    double t = (double(p.x) - segment.start.x) * u.x + (double(p.y) - segment.start.y) * u.y +
               (double(p.z) - segment.start.z) * u.z;
    if (t <= 0)
        t = 0;
    if (t > length)
        t = length;
    return {float(segment.start.x + t * u.x), float(segment.start.y + t * u.y),
            float(segment.start.z + t * u.z)};
}

} // namespace Weapons

namespace Alg::ShootSegment {

namespace {
std::vector<std::unique_ptr<ShotScratch>> scratchLevels;
size_t scratchDepth = 0;
} // namespace

ShotScratch& AcquireScratch() {
    if (scratchDepth == scratchLevels.size())
        scratchLevels.push_back(std::make_unique<ShotScratch>());
    return *scratchLevels[scratchDepth++];
}

void ReleaseScratch() {
    --scratchDepth;
}

float EntryKey(const RwLine& segment, const RwV3d& u, const RwSphere* sphere) {
    if (!sphere)
        return -FLT_MAX;
    const double vx = double(segment.start.x) - sphere->center.x,
                 vy = double(segment.start.y) - sphere->center.y,
                 vz = double(segment.start.z) - sphere->center.z;
    const double b = vx * u.x + vy * u.y + vz * u.z;
    const double r = sphere->radius;
    const double d = b * b - (vx * vx + vy * vy + vz * vz - r * r);
    return float(d > 0 ? -b - std::sqrt(d) : -b);
}

} // namespace Alg::ShootSegment
