// The world's groups: Grp::Simple, a plain list of members, and Grp::Spatial, a loose uniform grid of sectors
// plus one catch-all sector. A member is filed in the sector that holds its bounding sphere's centre; every
// sector's box is widened by a margin (half the smallest cell) so that each filed sphere lies inside it.
// Members whose sphere is missing, larger than the margin or centred outside the grid go to the catch-all.
//
// A member is a link mix-in of its role (T derives from Simple<T>::Object or Spatial<T>::Object); a link
// never owns its object. Spatial members give their sphere through T::GetBoundingSphere ().
#pragma once

#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/src/plcore/vector.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

namespace Grp {

// A node of a circular doubly linked list; a lone node points at itself.
struct Node {
    Node* next = this;
    Node* prev = this;

    Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    bool IsLinked() const { return next != this; }
    void Unlink() {
        next->prev = prev;
        prev->next = next;
        next = prev = this;
    }
    void LinkAfter(Node& head) {
        next = head.next;
        prev = &head;
        head.next->prev = this;
        head.next = this;
    }
};

// Distance from p to the segment (to its start when the segment is a point).
inline double DistancePointToSegment(const RwV3d& p, const RwLine& s) {
    const double dx = double(s.end.x) - s.start.x, dy = double(s.end.y) - s.start.y,
                 dz = double(s.end.z) - s.start.z;
    const double px = double(p.x) - s.start.x, py = double(p.y) - s.start.y, pz = double(p.z) - s.start.z;
    const double length2 = dx * dx + dy * dy + dz * dz;
    double t = length2 > 0 ? (px * dx + py * dy + pz * dz) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = px - t * dx, ey = py - t * dy, ez = pz - t * dz;
    return std::sqrt(ex * ex + ey * ey + ez * ez);
}

// Whether a sphere counts as touched by a segment in the segment queries.
inline bool SegmentTouchesSphere(const RwLine& segment, const RwSphere* sphere) {
    return !sphere || DistancePointToSegment(sphere->center, segment) <= sphere->radius;
}

template <class T> class Simple {
public:
    class Object : public Node {
    public:
        Object() = default;
        // Leaving a group is the owner's business; this only keeps a forgotten link from dangling.
        virtual ~Object() { Unlink(); }
        // Told the new group after joining one, null after leaving it.
        virtual void OnGroupChanged(Simple* /*group*/) {}

        Simple* group = nullptr;
    };

    Simple() = default;
    virtual ~Simple() {
        while (head.IsLinked())
            Remove(static_cast<Object*>(head.next));
    }
    Simple(const Simple&) = delete;
    Simple& operator=(const Simple&) = delete;

    // The owner's join: group set, node at the front, then told.
    void Insert(Object* member) {
        member->group = this;
        member->LinkAfter(head);
        member->OnGroupChanged(this);
    }
    static void Remove(Object* member) {
        member->OnGroupChanged(nullptr);
        member->group = nullptr;
        member->Unlink();
    }

    bool IsEmpty() const { return !head.IsLinked(); }
    static T* Get(Node* node) { return static_cast<T*>(static_cast<Object*>(node)); }

    // Front to back. The functor must not unlink other members.
    template <class F> void ForEach(F&& f) {
        for (Node *node = head.next, *next; node != &head; node = next) {
            next = node->next;
            f(Get(node));
        }
    }

    Node head;
};

template <class T> class Spatial {
public:
    struct Sector {
        virtual ~Sector() = default;
        RwV3d max{0, 0, 0}, min{0, 0, 0};
        Node head;
    };

    class Object : public Node {
    public:
        Object() = default;
        virtual ~Object() { Unlink(); }
        virtual void OnGroupChanged(Spatial* /*group*/) {}

        Spatial* group = nullptr;
        Sector* sector = nullptr;
    };

    Spatial(const RwBBox& box_, int nx_, int ny_, int nz_)
        : box(box_), count(nx_ * ny_ * nz_), nx(nx_), ny(ny_), nz(nz_) {
        cellSize = {(box.sup.x - box.inf.x) / nx, (box.sup.y - box.inf.y) / ny, (box.sup.z - box.inf.z) / nz};
        margin = 0.5f * std::min({cellSize.x, cellSize.y, cellSize.z});
        catchAll = std::make_unique<Sector>();
        sectors = std::make_unique<Sector[]>(size_t(count));
        for (int k = 0; k < nz; ++k)
            for (int j = 0; j < ny; ++j)
                for (int i = 0; i < nx; ++i) {
                    Sector& s = sectors[size_t(Index(i, j, k))];
                    s.min = {box.inf.x + i * cellSize.x - margin, box.inf.y + j * cellSize.y - margin,
                             box.inf.z + k * cellSize.z - margin};
                    s.max = {box.inf.x + (i + 1) * cellSize.x + margin,
                             box.inf.y + (j + 1) * cellSize.y + margin,
                             box.inf.z + (k + 1) * cellSize.z + margin};
                }
    }
    virtual ~Spatial() {
        Drain(*catchAll);
        for (int n = 0; n < count; ++n)
            Drain(sectors[size_t(n)]);
    }
    Spatial(const Spatial&) = delete;
    Spatial& operator=(const Spatial&) = delete;

    int Index(int i, int j, int k) const { return i + nx * (j + ny * k); }
    bool InGrid(int i, int j, int k) const {
        return i >= 0 && i < nx && j >= 0 && j < ny && k >= 0 && k < nz;
    }
    // Cells outside the grid come out as -1 or the count, whatever the coordinate: a position from a file
    // may be huge or not a number, which no int conversion may see.
    static int Cell(float offset, float size, int n) {
        const float f = std::floor(offset / size);
        return !(f >= 0) ? -1 : f >= float(n) ? n : int(f);
    }
    int GetCellX(float x) const { return Cell(x - box.inf.x, cellSize.x, nx); }
    int GetCellY(float y) const { return Cell(y - box.inf.y, cellSize.y, ny); }
    int GetCellZ(float z) const { return Cell(z - box.inf.z, cellSize.z, nz); }
    Sector* GetSector(int i, int j, int k) const { return &sectors[size_t(Index(i, j, k))]; }

    static T* Get(Node* node) { return static_cast<T*>(static_cast<Object*>(node)); }

    // Files the member by its sphere; relinks only when its sector changes.
    void Update(Object* member) {
        const RwSphere* sphere = Get(member)->GetBoundingSphere();
        Sector* target = catchAll.get();
        if (sphere && sphere->radius <= margin) {
            const int i = GetCellX(sphere->center.x), j = GetCellY(sphere->center.y),
                      k = GetCellZ(sphere->center.z);
            if (InGrid(i, j, k))
                target = GetSector(i, j, k);
        }
        if (target == member->sector)
            return;
        member->Unlink();
        member->sector = target;
        member->LinkAfter(target->head);
    }
    // The same for damageable members, whose sphere is their damage model's.
    void UpdateDamageable(Object* member) { Update(member); }

    static void Remove(Object* member) {
        member->OnGroupChanged(nullptr);
        member->group = nullptr;
        if (member->sector) {
            member->Unlink();
            member->sector = nullptr;
        }
    }

    // Every member: the catch-all's, then the sectors' in index order, each list from its head. The
    // functor must not unlink other members.
    template <class F> void ForEachMember(F&& f) {
        VisitList(*catchAll, f);
        for (int n = 0; n < count; ++n)
            VisitList(sectors[size_t(n)], f);
    }

    // The sectors near a segment in the order it crosses them: the catch-all first, then the 3 x 3 x 3
    // neighbourhood of each cell the segment steps through, each sector once, only those whose widened box
    // the segment meets. The segment is clipped to the grid's box widened by the margin: a sphere filed near
    // a face reaches out of the box by up to the margin, and a segment passing there must still find it
    // (a point in that band counts as lying in the nearest cell).
    template <class F> void ForEachSectorAlongSegment(const RwLine& segment, F&& visit) const;

    // Members whose bounding sphere the segment touches (or that have none), sectors in crossing order;
    // returns the functor so that it can carry a result.
    template <class F> F ForEachAlongSegment(const RwLine& segment, F f) const {
        ForEachSectorAlongSegment(segment, [&](Sector& sector) {
            for (Node *node = sector.head.next, *next; node != &sector.head; node = next) {
                next = node->next;
                T* member = Get(node);
                if (SegmentTouchesSphere(segment, member->GetBoundingSphere()))
                    f(member);
            }
        });
        return f;
    }
    // The same members from the same walk, for the callers that ask for what a segment touches.
    template <class F> F ForEachNearSegment(const RwLine& segment, F f) const {
        return ForEachAlongSegment(segment, std::move(f));
    }

    // The hit nearest to the segment's start among the members that keep () accepts, by each member's
    // IntersectSegment; false when nothing was hit.
    template <class Keep>
    bool FindNearestHit(const RwLine& segment, Keep keep, RwV3d* outPoint, RwV3d* outNormal,
                        T** outObject) const {
        float best = 3.402823466e+38f;
        bool found = false;
        ForEachAlongSegment(segment, [&](T* member) {
            if (!keep(member))
                return;
            RwV3d point, normal;
            if (!member->IntersectSegment(&segment, &point, &normal))
                return;
            const float dx = point.x - segment.start.x, dy = point.y - segment.start.y,
                        dz = point.z - segment.start.z;
            const float d2 = dx * dx + dy * dy + dz * dz;
            if (d2 < best) {
                best = d2;
                found = true;
                if (outPoint)
                    *outPoint = point;
                if (outNormal)
                    *outNormal = normal;
                if (outObject)
                    *outObject = member;
            }
        });
        return found;
    }

    RwBBox box;
    int count, nx, ny, nz;
    RwV3d cellSize;
    float margin;
    std::unique_ptr<Sector> catchAll;
    std::unique_ptr<Sector[]> sectors;

private:
    template <class F> static void VisitList(Sector& sector, F& f) {
        for (Node *node = sector.head.next, *next; node != &sector.head; node = next) {
            next = node->next;
            f(Get(node));
        }
    }
    static void Drain(Sector& sector) {
        while (sector.head.IsLinked()) {
            auto* member = static_cast<Object*>(sector.head.next);
            Remove(member);
        }
    }
};

// Liang-Barsky clipping of the segment to the box; false when it misses.
bool ClipSegmentToBox(const RwLine& segment, const RwV3d& min, const RwV3d& max, RwLine& out);

template <class T>
template <class F>
void Spatial<T>::ForEachSectorAlongSegment(const RwLine& segment, F&& visit) const {
    visit(*catchAll);

    RwLine clipped;
    const RwV3d widenedMin = {box.inf.x - margin, box.inf.y - margin, box.inf.z - margin};
    const RwV3d widenedMax = {box.sup.x + margin, box.sup.y + margin, box.sup.z + margin};
    if (!ClipSegmentToBox(segment, widenedMin, widenedMax, clipped))
        return;

    // Per axis in cell units, mirrored so that the walk always counts up.
    const double start[3] = {clipped.start.x, clipped.start.y, clipped.start.z};
    const double end[3] = {clipped.end.x, clipped.end.y, clipped.end.z};
    const double origin[3] = {box.inf.x, box.inf.y, box.inf.z};
    const double cell[3] = {cellSize.x, cellSize.y, cellSize.z};
    const int cells[3] = {nx, ny, nz};
    double p[3], delta[3];
    int sign[3];
    long boundary[3];
    long limit = 0;
    for (int a = 0; a < 3; ++a) {
        sign[a] = start[a] <= end[a] ? 1 : -1;
        p[a] = (start[a] - origin[a]) / cell[a] * sign[a];
        const double q = (end[a] - origin[a]) / cell[a] * sign[a];
        delta[a] = q - p[a];
        boundary[a] = long(std::ceil(p[a]));
        limit += long(std::ceil(q));
    }
    auto cellOf = [&](int a) { return int(sign[a] > 0 ? boundary[a] - 1 : -boundary[a]); };
    // The margin is at most half a cell, so the widened box spans one cell more on each side.
    auto inGrid = [&]() {
        for (int a = 0; a < 3; ++a)
            if (cellOf(a) < -1 || cellOf(a) > cells[a])
                return false;
        return true;
    };
    auto parameter = [&](int a) {
        return delta[a] != 0 ? (double(boundary[a]) - p[a]) / delta[a] : HUGE_VAL;
    };
    auto step = [&]() {
        const double tx = parameter(0), ty = parameter(1), tz = parameter(2);
        if (delta[0] != 0 && tx <= ty && tx <= tz)
            ++boundary[0];
        else if (delta[1] != 0 && ty <= tz)
            ++boundary[1];
        else
            ++boundary[2];
    };
    auto done = [&]() { return boundary[0] + boundary[1] + boundary[2] > limit; };

    while (!done() && !inGrid())
        step();
    bool havePrevious = false;
    int previous[3] = {0, 0, 0};
    while (!done() && inGrid()) {
        const int c[3] = {std::clamp(cellOf(0), 0, nx - 1), std::clamp(cellOf(1), 0, ny - 1),
                          std::clamp(cellOf(2), 0, nz - 1)};
        for (int n = 0; n < 27; ++n) {
            const int i = c[0] + n % 3 - 1, j = c[1] + (n % 9) / 3 - 1, k = c[2] + n / 9 - 1;
            if (havePrevious && std::abs(i - previous[0]) <= 1 && std::abs(j - previous[1]) <= 1 &&
                std::abs(k - previous[2]) <= 1)
                continue;
            if (!InGrid(i, j, k))
                continue;
            Sector* sector = GetSector(i, j, k);
            RwLine inside;
            if (!ClipSegmentToBox(clipped, sector->min, sector->max, inside))
                continue;
            visit(*sector);
        }
        previous[0] = c[0];
        previous[1] = c[1];
        previous[2] = c[2];
        havePrevious = true;
        step();
    }
}

// The walk over the sectors whose cells a box touches (widened by the grid's margin): the catch-all sector
// first; the cells only when the widened box overlaps the grid on all three axes; x fastest, then y, then z.
template <class T> class SpatialBoxIterator {
public:
    using Sector = typename Spatial<T>::Sector;

    void Begin(const Spatial<T>& grid_, const RwBBox& box) {
        grid = &grid_;
        current = grid->catchAll.get();
        const float m = grid->margin;
        const RwBBox& g = grid->box;
        onlyCatchAll = !(box.inf.x - m < g.sup.x && box.sup.x + m > g.inf.x && box.inf.y - m < g.sup.y &&
                         box.sup.y + m > g.inf.y && box.inf.z - m < g.sup.z && box.sup.z + m > g.inf.z);
        if (onlyCatchAll)
            return;
        x0 = std::clamp(grid->GetCellX(box.inf.x - m), 0, grid->nx - 1);
        x1 = std::clamp(grid->GetCellX(box.sup.x + m), 0, grid->nx - 1);
        y0 = std::clamp(grid->GetCellY(box.inf.y - m), 0, grid->ny - 1);
        y1 = std::clamp(grid->GetCellY(box.sup.y + m), 0, grid->ny - 1);
        z0 = std::clamp(grid->GetCellZ(box.inf.z - m), 0, grid->nz - 1);
        z1 = std::clamp(grid->GetCellZ(box.sup.z + m), 0, grid->nz - 1);
        x = x0 - 1;
        y = y0;
        z = z0;
    }
    // To the next cell; false (and no sector) after the last.
    bool Next() {
        if (!current)
            return false;
        if (onlyCatchAll) {
            current = nullptr;
            return false;
        }
        if (++x > x1) {
            x = x0;
            if (++y > y1) {
                y = y0;
                if (++z > z1) {
                    current = nullptr;
                    return false;
                }
            }
        }
        current = grid->GetSector(x, y, z);
        return true;
    }

    const Spatial<T>* grid = nullptr;
    Sector* current = nullptr;
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1, z0 = 0, z1 = -1;
    int x = 0, y = 0, z = 0;
    bool onlyCatchAll = true;
};

} // namespace Grp
