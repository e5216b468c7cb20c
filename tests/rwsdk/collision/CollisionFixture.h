// A started engine with the world and the collision plugin; geometries built from vertex and triangle
// lists, and queries that collect what they report.
#pragma once

#include "../world/WorldFixture.h"

#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/tool/intsec/rtintsec.h"

#include <map>
#include <random>

class CollisionTest : public WorldTest {
protected:
    void RegisterPlugins() override {
        WorldTest::RegisterPlugins();
        ASSERT_TRUE(RpCollisionPluginAttach());
    }
};

struct Tri {
    RwUInt16 a, b, c;
};

inline RpGeometry* MakeGeometry(const std::vector<RwV3d>& verts, const std::vector<Tri>& tris) {
    RpGeometry* geometry = RpGeometryCreate(RwInt32(verts.size()), RwInt32(tris.size()), rpGEOMETRYPOSITIONS);
    std::copy(verts.begin(), verts.end(), geometry->morphTarget[0].verts);
    for (size_t i = 0; i < tris.size(); ++i)
        RpGeometryTriangleSetVertexIndices(geometry, &geometry->triangles[i], tris[i].a, tris[i].b,
                                           tris[i].c);
    RwSphere sphere;
    RpMorphTargetCalculateBoundingSphere(&geometry->morphTarget[0], &sphere);
    RpMorphTargetSetBoundingSphere(&geometry->morphTarget[0], &sphere);
    return geometry;
}

// Random triangles of modest size inside a cube of the given half-size.
inline RpGeometry* RandomGeometry(std::mt19937& random, RwInt32 count, RwReal size) {
    std::uniform_real_distribution<RwReal> place(-size, size), offset(-size * 0.05f, size * 0.05f);
    std::vector<RwV3d> verts;
    std::vector<Tri> tris;
    for (RwInt32 i = 0; i < count; ++i) {
        const RwV3d c = {place(random), place(random), place(random)};
        for (int k = 0; k < 3; ++k)
            verts.push_back({c.x + offset(random), c.y + offset(random), c.z + offset(random)});
        tris.push_back({RwUInt16(3 * i), RwUInt16(3 * i + 1), RwUInt16(3 * i + 2)});
    }
    return MakeGeometry(verts, tris);
}

struct Hit {
    RwInt32 index;
    RwReal distance;
    RwV3d normal;
};

struct Collector {
    std::vector<Hit> hits;
    size_t stopAfter = SIZE_MAX;
};

inline RpCollisionTriangle* Collect(RpIntersection*, RpCollisionTriangle* triangle, RwReal distance,
                                    void* data) {
    auto* collector = static_cast<Collector*>(data);
    collector->hits.push_back({triangle->index, distance, triangle->normal});
    return collector->hits.size() >= collector->stopAfter ? nullptr : triangle;
}

inline std::vector<Hit> Query(RpAtomic* atomic, RpIntersection intersection, size_t stopAfter = SIZE_MAX) {
    Collector collector;
    collector.stopAfter = stopAfter;
    RpCollisionAtomicForAllIntersections(atomic, &intersection, Collect, &collector);
    return collector.hits;
}

inline RpIntersection Line(RwV3d start, RwV3d end) {
    RpIntersection is{};
    is.type = rpINTERSECTLINE;
    is.t.line = {start, end};
    return is;
}

inline RpIntersection Sphere(RwV3d centre, RwReal radius) {
    RpIntersection is{};
    is.type = rpINTERSECTSPHERE;
    is.t.sphere = {centre, radius};
    return is;
}

// Hits by triangle, for comparing queries whose order differs.
inline std::map<RwInt32, RwReal> ByTriangle(const std::vector<Hit>& hits) {
    std::map<RwInt32, RwReal> out;
    for (const Hit& h : hits) {
        EXPECT_EQ(out.count(h.index), 0u) << "triangle " << h.index << " reported twice";
        out[h.index] = h.distance;
    }
    return out;
}
