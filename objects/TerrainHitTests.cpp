// Segment and sphere queries on the terrain's full-resolution grid.
#include "objects/Terrain.h"

#include "rwsdk/tool/intsec/rtintsec.h"

#include <algorithm>
#include <cmath>

namespace Obj {

namespace {

struct Shift {
    int8_t dx, dz; // which corner: (x + dx, z + dz)
    float sx, sz;  // outward shift in world units
};

// The two triangles of a cell by the parity of its z index, each corner with the small outward shift that
// closes the gap a segment could slip through along a shared edge or corner. Every triangle faces up.
constexpr Shift OddRow[2][3] = {{{0, 0, -0.04f, -0.02f}, {1, 1, 0.02f, 0.04f}, {1, 0, 0.02f, -0.02f}},
                                {{0, 0, -0.02f, -0.04f}, {0, 1, -0.02f, 0.02f}, {1, 1, 0.04f, 0.02f}}};
constexpr Shift EvenRow[2][3] = {{{0, 0, -0.02f, -0.02f}, {0, 1, -0.02f, 0.04f}, {1, 0, 0.04f, -0.02f}},
                                 {{1, 0, 0.02f, -0.04f}, {0, 1, -0.04f, 0.02f}, {1, 1, 0.02f, 0.02f}}};

bool FiniteVector(const Base::Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace

void Terrain::CellTriangles(int32_t x, int32_t z, Triangle& first, Triangle& second) const {
    const auto& table = (z & 1) ? OddRow : EvenRow;
    Triangle* out[2] = {&first, &second};
    for (int t = 0; t < 2; ++t)
        for (int k = 0; k < 3; ++k)
            out[t]->v[k] = Vertex(x + table[t][k].dx, z + table[t][k].dz);
}

bool Terrain::CellIntersectSegment(const Segment& segment, int32_t x, int32_t z, Base::Vector3* point,
                                   Base::Vector3* normal) const {
    if (!loaded_ || x < 0 || z < 0 || x >= gridWidth_ - 1 || z >= gridDepth_ - 1)
        return false;
    const float highest =
        Base::Max4(GetHeight(x, z), GetHeight(x + 1, z), GetHeight(x, z + 1), GetHeight(x + 1, z + 1));
    if (highest < std::min(segment.start.y, segment.end.y))
        return false;

    const auto& table = (z & 1) ? OddRow : EvenRow;
    const RwV3d start{segment.start.x, segment.start.y, segment.start.z};
    const RwV3d delta{segment.end.x - segment.start.x, segment.end.y - segment.start.y,
                      segment.end.z - segment.start.z};
    float best = 2;
    int chosen = 0;
    for (int t = 0; t < 2; ++t) {
        RwV3d v[3];
        for (int k = 0; k < 3; ++k) {
            const Shift& s = table[t][k];
            Base::Vector2 p = GridToWorld(x + s.dx, z + s.dz);
            v[k] = {p.x + s.sx, GetHeight(x + s.dx, z + s.dz), p.y + s.sz};
        }
        // Only crossings from above count: every triangle faces up.
        float hit;
        if (!RtIntersectionLineTriangle(&start, &delta, &v[0], &v[1], &v[2], &hit) || hit < 0 || hit > 1)
            hit = 2;
        if (hit < best) {
            best = hit;
            chosen = t;
        }
    }
    if (best > 1)
        return false;
    if (point) {
        *point = Base::LerpVector3(segment.start, segment.end, best);
    }
    if (normal) {
        Triangle first, second;
        CellTriangles(x, z, first, second);
        const Triangle& tri = chosen == 0 ? first : second;
        Base::Vector3 a{tri.v[1].x - tri.v[0].x, tri.v[1].y - tri.v[0].y, tri.v[1].z - tri.v[0].z};
        Base::Vector3 b{tri.v[2].x - tri.v[0].x, tri.v[2].y - tri.v[0].y, tri.v[2].z - tri.v[0].z};
        *normal = Base::Normalize3d(Base::CrossProduct(a, b));
    }
    return true;
}

bool Terrain::IntersectSegment(const Segment& segment, Base::Vector3* point, Base::Vector3* normal) const {
    if (!loaded_ || !FiniteVector(segment.start) || !FiniteVector(segment.end))
        return false;
    const double cell = cellSize_;
    const double ox = description_.origin.x, oz = description_.origin.y;

    // Only the part of the projection over the grid (widened by a cell) is walked, so that a segment that
    // reaches far outside costs no more than the cells it can hit; the walk is the same line either way.
    double t0 = 0, t1 = 1;
    const double sx0 = segment.start.x, sz0 = segment.start.z;
    const double ddx = double(segment.end.x) - sx0, ddz = double(segment.end.z) - sz0;
    const auto clip = [&](double p, double d, double lo, double hi) {
        if (d == 0)
            return p >= lo && p <= hi;
        double a = (lo - p) / d, b = (hi - p) / d;
        if (a > b)
            std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
        return t0 <= t1;
    };
    if (!clip(sx0, ddx, ox - cell, ox + double(gridWidth_) * cell) ||
        !clip(sz0, ddz, oz - cell, oz + double(gridDepth_) * cell))
        return false;
    const double xs = sx0 + ddx * t0, zs = sz0 + ddz * t0, xe = sx0 + ddx * t1, ze = sz0 + ddz * t1;

    // Walk the cells under the projection in crossing order, in coordinates that grow along the walk.
    const int sx = segment.start.x <= segment.end.x ? 1 : -1;
    const int sz = segment.start.z <= segment.end.z ? 1 : -1;
    const double a0 = sx * (xs - ox) / cell, a1 = sx * (xe - ox) / cell;
    const double b0 = sz * (zs - oz) / cell, b1 = sz * (ze - oz) / cell;
    const double da = a1 - a0, db = b1 - b0;
    int64_t i = int64_t(std::ceil(a0)), j = int64_t(std::ceil(b0));
    const int64_t last = int64_t(std::ceil(a1)) + int64_t(std::ceil(b1));
    while (i + j <= last) {
        const int64_t x = i * sx - (sx > 0 ? 1 : 0), z = j * sz - (sz > 0 ? 1 : 0);
        if (CellIntersectSegment(segment, int32_t(x), int32_t(z), point, normal))
            return true;
        if (da > db) {
            if ((a0 - double(i)) * db / da - (b0 - double(j)) < 0)
                ++j;
            else
                ++i;
        } else if (db > 0) {
            if ((b0 - double(j)) * da / db - (a0 - double(i)) < 0)
                ++i;
            else
                ++j;
        } else {
            ++j; // a vertical segment: its one cell is done
        }
    }
    return false;
}

bool Terrain::IntersectGroundOrSea(const Segment& segment, Base::Vector3* point,
                                   Base::Vector3* normal) const {
    if (!loaded_ || !FiniteVector(segment.start) || !FiniteVector(segment.end))
        return false;
    const float y0 = segment.start.y, y1 = segment.end.y;
    if (!(y1 < y0) || y0 < SeaLevel || y1 > SeaLevel)
        return IntersectSegment(segment, point, normal);
    Base::Vector3 sea = Base::LerpVector3(segment.start, segment.end, (y0 - SeaLevel) / (y0 - y1));
    sea.y = SeaLevel;
    // Over the grid the ground is at or above sea level and is hit first; the grid's border line counts as
    // the open sea's, where the walk may pass between the edge cells and the outside.
    const Base::Vector2 low = GridToWorld(0, 0), high = GridToWorld(gridWidth_ - 1, gridDepth_ - 1);
    if (sea.x > low.x && sea.x < high.x && sea.z > low.y && sea.z < high.y)
        return IntersectSegment(segment, point, normal);
    // Only the part above the water can meet the ground before it.
    if (IntersectSegment({segment.start, sea}, point, normal))
        return true;
    if (point)
        *point = sea;
    if (normal)
        *normal = {0, 1, 0};
    return true;
}

bool Terrain::TriangleTouchesSphere(const Triangle& triangle, const Sphere& sphere) {
    const auto distance = [&](const Base::Vector3& p) {
        return float(Base::VectorLength(
            Base::Vector3{p.x - sphere.center.x, p.y - sphere.center.y, p.z - sphere.center.z}));
    };
    const auto length = [](const Base::Vector3& a, const Base::Vector3& b) {
        return float(Base::VectorLength(Base::Vector3{a.x - b.x, a.y - b.y, a.z - b.z}));
    };
    const float bound =
        length(triangle.v[1], triangle.v[0]) + length(triangle.v[2], triangle.v[0]) + sphere.radius;
    for (int k = 0; k < 3; ++k) {
        const float d = distance(triangle.v[k]);
        if (d < sphere.radius)
            return true;
        if (d > bound)
            return false;
    }
    return Base::DistancePointToTriangle(sphere.center, triangle) <= sphere.radius;
}

size_t Terrain::CollectTriangles(const Sphere& sphere, std::vector<Triangle>& triangles) const {
    if (!loaded_ || !FiniteVector(sphere.center) || !std::isfinite(sphere.radius))
        return 0;
    const float e = sphere.radius + cellSize_ / 2;
    int32_t minX, minZ, maxX, maxZ;
    WorldToGrid(sphere.center.x - e, sphere.center.z - e, minX, minZ);
    WorldToGrid(sphere.center.x + e, sphere.center.z + e, maxX, maxZ);
    if (minX >= gridWidth_ || minZ >= gridDepth_ || maxX < 0 || maxZ < 0)
        return 0;
    minX = std::max(minX, 0);
    minZ = std::max(minZ, 0);
    maxX = std::min(maxX, gridWidth_ - 1);
    maxZ = std::min(maxZ, gridDepth_ - 1);
    for (int32_t x = minX; x < maxX; ++x)
        for (int32_t z = minZ; z < maxZ; ++z) {
            Triangle first, second;
            CellTriangles(x, z, first, second);
            if (TriangleTouchesSphere(first, sphere))
                triangles.push_back(first);
            if (TriangleTouchesSphere(second, sphere))
                triangles.push_back(second);
        }
    return triangles.size();
}

} // namespace Obj
