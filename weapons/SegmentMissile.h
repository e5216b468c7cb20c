// Segment missiles: whatever travels in straight steps (bullets, rockets, bombs) and is tested step by step
// as a line segment against the world's damageable objects. The shooting pass walks the targets that one
// step may touch, nearest real hit first, lets the missile decide where it stops, and then tells every
// target that the step reached. The shooter's own parts (everything that shares its attachment root) are
// never hit.
#pragma once

#include "objects/Vehicle.h"
#include "scene/Attachable.h"
#include "scene/Damageable.h"
#include "scene/Groups.h"

#include "base/SmartPtr.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

namespace Weapons {

// The object at the top of the attachment tree (the object itself when it hangs on nothing).
Obj::Attachable* AttachmentRoot(Obj::Attachable* object);
// The root of a damageable that is also attachable, or null.
Obj::Attachable* AttachmentRoot(Obj::Damageable* object);

class SegmentMissile : public Obj::SegmentMissile, public Obj::Fired, public virtual Base::SmartPtrTarget {
public:
    enum Answer : uint32_t { GoOn = 0, Stop = 1, Ignore = 2 };

    // Ignore for the owner's own parts; otherwise Stop at the hit point when there is one.
    uint32_t OnHit(Obj::Damageable* target, const RwLine* segment, const RwV3d* point, RwV3d* out) override;
    // The owner when it can be damaged (kill credit).
    Obj::Damageable* GetShooter() const override;

    // The object that fired the missile; null by itself once it is destroyed.
    Base::SmartPtr<Obj::Attachable> owner;
};

// The point of the segment nearest to p.
RwV3d ClosestPointOnSegment(const RwLine& segment, const RwV3d& p);
// The unit direction of the segment; (0, 0, 1) for a segment of no length.
RwV3d SegmentDirection(const RwLine& segment);

} // namespace Weapons

namespace Alg::ShootSegment {

// Candidate ranges: a range is any callable that calls its argument once with each target (an
// Obj::Damageable or a role derived from it).

// The members of a spatial group whose spheres the segment crosses, sectors in crossing order.
template <class Group> auto AlongSegment(const Group& group, const RwLine& segment) {
    return [&group, segment](auto&& visit) { group.ForEachAlongSegment(segment, visit); };
}
// The members of a spatial group whose spheres the segment touches.
template <class Group> auto NearSegment(const Group& group, const RwLine& segment) {
    return [&group, segment](auto&& visit) { group.ForEachNearSegment(segment, visit); };
}
// One range after the other.
template <class A, class B> auto Chain(A a, B b) {
    return [a, b](auto&& visit) {
        a(visit);
        b(visit);
    };
}
// The range without the objects whose attachment root is ownerRoot (nothing skipped when it is null).
template <class Range> auto SkipOwnRoot(Range range, Obj::Attachable* ownerRoot) {
    return [range, ownerRoot](auto&& visit) {
        range([&](auto* target) {
            if (!ownerRoot || Weapons::AttachmentRoot(static_cast<Obj::Damageable*>(target)) != ownerRoot)
                visit(target);
        });
    };
}

// The pass's working records, one set per nesting depth, kept between calls so that a warm pass allocates
// nothing.
struct ShotCandidate {
    float key = 0;
    Base::SmartPtr<Obj::Damageable> target;
    uint8_t valid = 1;
    uint8_t hasPoint = 0;
    RwV3d point = {0, 0, 0};
};
struct ShotScratch {
    std::vector<ShotCandidate> candidates;
    std::vector<uint32_t> order;                  // candidate indices by key
    std::vector<std::pair<float, uint32_t>> heap; // {hit distance, position in order}, a min-heap
};
// The scratch of the next nesting level, and its release.
ShotScratch& AcquireScratch();
void ReleaseScratch();

// Where a segment from start with unit direction u enters the sphere, along u; -FLT_MAX without a sphere.
float EntryKey(const RwLine& segment, const RwV3d& u, const RwSphere* sphere);

// One step of the missile against every target of the range. True when it stopped, and then the stop point
// is written to out (when given). The missile is held by a tracked pointer: when the consequences of a hit
// destroy it, no target is told of it any more.
template <class Range>
bool Shoot(Range&& range, Weapons::SegmentMissile* missile, const RwLine& segment, void* /*reserved*/,
           RwV3d* out) {
    struct Level {
        ShotScratch& s = AcquireScratch();
        ~Level() {
            for (ShotCandidate& c : s.candidates)
                c.target = nullptr;
            s.candidates.clear();
            ReleaseScratch();
        }
    } level;
    ShotScratch& s = level.s;
    const RwV3d u = Weapons::SegmentDirection(segment);
    range([&](auto* member) {
        Obj::Damageable* target = member;
        ShotCandidate& c = s.candidates.emplace_back();
        c.key = EntryKey(segment, u, target->GetSphereForSegment());
        c.target = target;
        c.valid = 1;
        c.hasPoint = 0;
        c.point = {0, 0, 0};
    });
    if (s.candidates.empty())
        return false;

    Base::SmartPtr<Weapons::SegmentMissile> self(missile);
    const uint32_t n = uint32_t(s.candidates.size());
    s.order.resize(n);
    for (uint32_t i = 0; i < n; ++i)
        s.order[i] = i;
    std::sort(s.order.begin(), s.order.end(), [&](uint32_t a, uint32_t b) {
        const float ka = s.candidates[a].key, kb = s.candidates[b].key;
        return ka < kb || (ka == kb && a < b);
    });
    s.heap.clear();
    const auto later = [](const std::pair<float, uint32_t>& a, const std::pair<float, uint32_t>& b) {
        return a.first > b.first || (a.first == b.first && a.second > b.second);
    };

    RwLine working = segment;
    bool stopped = false;
    RwV3d stop = {0, 0, 0};
    uint32_t next = 0;
    while (!stopped) {
        const bool haveK = next < n, haveH = !s.heap.empty();
        if (!haveK && !haveH)
            break;
        const float keyK = haveK ? s.candidates[s.order[next]].key : FLT_MAX;
        if (haveH && s.heap.front().first <= keyK) {
            std::pop_heap(s.heap.begin(), s.heap.end(), later);
            ShotCandidate& c = s.candidates[s.order[s.heap.back().second]];
            s.heap.pop_back();
            if (!c.target)
                continue;
            c.hasPoint = 1;
            RwV3d o = {FLT_MAX, 0, 0};
            const uint32_t flags = missile->OnHit(c.target, &segment, &c.point, &o);
            if (flags & Weapons::SegmentMissile::Ignore)
                c.valid = 0;
            if (flags & Weapons::SegmentMissile::Stop) {
                stopped = true;
                stop = o;
            }
        } else {
            const uint32_t position = next++;
            ShotCandidate& c = s.candidates[s.order[position]];
            if (!c.target)
                continue;
            if (c.target->IntersectSegment(&segment, &c.point, nullptr)) {
                const double dx = double(c.point.x) - segment.start.x,
                             dy = double(c.point.y) - segment.start.y,
                             dz = double(c.point.z) - segment.start.z;
                s.heap.emplace_back(float(std::sqrt(dx * dx + dy * dy + dz * dz)), position);
                std::push_heap(s.heap.begin(), s.heap.end(), later);
            } else {
                RwV3d o = {FLT_MAX, 0, 0};
                const uint32_t flags = missile->OnHit(c.target, &segment, nullptr, &o);
                if (flags & Weapons::SegmentMissile::Ignore)
                    c.valid = 0;
                if (flags & Weapons::SegmentMissile::Stop) {
                    stopped = true;
                    stop = o;
                }
            }
        }
    }

    float reach = FLT_MAX;
    if (stopped) {
        working.end = stop;
        const double dx = double(stop.x) - segment.start.x, dy = double(stop.y) - segment.start.y,
                     dz = double(stop.z) - segment.start.z;
        reach = float(std::sqrt(dx * dx + dy * dy + dz * dz));
    }
    for (uint32_t position = 0; position < n && self; ++position) {
        ShotCandidate& c = s.candidates[s.order[position]];
        if (stopped && c.key > reach)
            break;
        if (!c.target || !c.valid)
            continue;
        c.target->OnSegmentMissileHit(missile, &working, c.hasPoint ? &c.point : nullptr);
    }
    if (stopped && out)
        *out = stop;
    return stopped;
}

} // namespace Alg::ShootSegment
