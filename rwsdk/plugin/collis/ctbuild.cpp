// Collision tree builder: median splits over triangle centres, children stored after their parents.
#include "rwsdk/plugin/collis/rpcollis.h"

#include "rwsdk/src/plcore/error.h"
#include "rwsdk/world/bageomet.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

constexpr RwInt32 leafTriangles = 4;

RwReal Axis(const RwV3d& v, RwInt32 axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

struct Builder {
    const RpTriangle* triangles;
    const RwV3d* verts;
    std::vector<RwUInt16> order; // tree triangle -> geometry triangle
    std::vector<RpCollisionNode> nodes;

    RwReal Extreme(RwInt32 first, RwInt32 count, RwInt32 axis, bool largest) const {
        RwReal value = largest ? -3.4e38f : 3.4e38f;
        for (RwInt32 i = first; i < first + count; ++i)
            for (RwUInt16 v : triangles[order[size_t(i)]].vertIndex)
                value =
                    largest ? std::max(value, Axis(verts[v], axis)) : std::min(value, Axis(verts[v], axis));
        return value;
    }
    RwReal Centre(RwUInt16 triangle, RwInt32 axis) const {
        const RpTriangle& t = triangles[triangle];
        return Axis(verts[t.vertIndex[0]], axis) + Axis(verts[t.vertIndex[1]], axis) +
               Axis(verts[t.vertIndex[2]], axis);
    }
    // The reference to a subtree over tree triangles first .. first + count - 1.
    RpCollisionChildRef Build(RwInt32 first, RwInt32 count) {
        if (count <= leafTriangles)
            return {0, RwUInt8(count), RwUInt16(first), 0.0f};
        // Split along the axis where the centres spread most.
        RwInt32 axis = 0;
        RwReal widest = -1.0f;
        for (RwInt32 a = 0; a < 3; ++a) {
            RwReal lo = 3.4e38f, hi = -3.4e38f;
            for (RwInt32 i = first; i < first + count; ++i) {
                lo = std::min(lo, Centre(order[size_t(i)], a));
                hi = std::max(hi, Centre(order[size_t(i)], a));
            }
            if (hi - lo > widest) {
                widest = hi - lo;
                axis = a;
            }
        }
        auto begin = order.begin() + first;
        std::nth_element(begin, begin + count / 2, begin + count,
                         [&](RwUInt16 a, RwUInt16 b) { return Centre(a, axis) < Centre(b, axis); });
        const size_t index = nodes.size();
        nodes.push_back({});
        const RwInt32 half = count / 2;
        RpCollisionChildRef left = Build(first, half);
        RpCollisionChildRef right = Build(first + half, count - half);
        left.flags = RwUInt8(axis * 4 | 1);
        right.flags = RwUInt8(axis * 4);
        left.value = Extreme(first, half, axis, true);
        right.value = Extreme(first + half, count - half, axis, false);
        nodes[index] = {left, right};
        return {0, rpCOLLISIONCHILDNODE, RwUInt16(index), 0.0f};
    }
};

} // namespace

RpGeometry* RpCollisionGeometryBuildData(RpGeometry* geometry) {
    const RwInt32 count = geometry->numTriangles;
    if (count > 0xFFFF || geometry->numMorphTargets < 1 || !geometry->morphTarget[0].verts) {
        RwErrorSetCode(E_RW_BADPARAM);
        return nullptr;
    }
    Builder builder = {
        geometry->triangles, geometry->morphTarget[0].verts, std::vector<RwUInt16>(size_t(count)), {}};
    std::iota(builder.order.begin(), builder.order.end(), RwUInt16(0));
    builder.Build(0, count);
    RpCollisionData* data = RpCollisionDataCreate(count, RwInt32(builder.nodes.size()), rpCOLLISIONDATAMAP);
    if (!data)
        return nullptr;
    std::copy(builder.nodes.begin(), builder.nodes.end(), data->nodes);
    std::copy(builder.order.begin(), builder.order.end(), data->triangleMap);
    RwBBox& box = data->box;
    box.sup = {-3.4e38f, -3.4e38f, -3.4e38f};
    box.inf = {3.4e38f, 3.4e38f, 3.4e38f};
    const RwV3d* verts = geometry->morphTarget[0].verts;
    for (RwInt32 v = 0; v < geometry->numVertices; ++v) {
        box.sup = {std::max(box.sup.x, verts[v].x), std::max(box.sup.y, verts[v].y),
                   std::max(box.sup.z, verts[v].z)};
        box.inf = {std::min(box.inf.x, verts[v].x), std::min(box.inf.y, verts[v].y),
                   std::min(box.inf.z, verts[v].z)};
    }
    if (geometry->numVertices == 0)
        box = {{0, 0, 0}, {0, 0, 0}};
    RpCollisionGeometrySetData(geometry, data);
    return geometry;
}
