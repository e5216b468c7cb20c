// Collision plugin: trees on geometries and world sectors, their streams (current and legacy layouts),
// and line and sphere queries against atomics.
#include "rwsdk/plugin/collis/rpcollis.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/tool/intsec/rtintsec.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/bawrld.h"

#include <algorithm>
#include <cmath>
#include <bit>
#include <cstring>
#include <vector>

namespace {

constexpr RwUInt32 treeHint = rwMEMHINTDUR_EVENT | rwID_COLLTREE;
constexpr RwUInt32 legacyLeafLimit = 240;
constexpr RwReal insideCube = 0.57f; // a cube of this half-size (x radius) lies inside the sphere
constexpr size_t headerBytes = (sizeof(RpCollisionData) + 15) & ~size_t(15);

RwInt32 engineOffset = -1, atomicOffset = -1, geometryOffset = -1, sectorOffset = -1;

RpCollisionData** SlotOf(const void* object, RwInt32 offset) {
    return RWPLUGINOFFSET(RpCollisionData*, const_cast<void*>(object), offset);
}

RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
RwReal Dot(const RwV3d& a, const RwV3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
RwReal Axis(const RwV3d& v, RwInt32 axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}
RwReal& Axis(RwV3d& v, RwInt32 axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}
RwInt32 SplitAxis(const RpCollisionNode& node) {
    return (node.left.flags >> 2) & 3;
}

RwV3d UnitNormal(const RwV3d& a, const RwV3d& b, const RwV3d& c) {
    const RwV3d n = Cross(Sub(b, a), Sub(c, a));
    const RwReal length = std::sqrt(Dot(n, n));
    return length > 0.0f ? RwV3d{n.x / length, n.y / length, n.z / length} : RwV3d{0.0f, 0.0f, 0.0f};
}

// ---- Streams

struct Reader : _rwBoundedRead {
    bool V3d(RwV3d* out) { return Real(&out->x) && Real(&out->y) && Real(&out->z); }
};

bool ReadChildRef(Reader& in, RpCollisionChildRef* ref) {
    RwUInt8 b[4];
    if (!in.Bytes(b, 4) || !in.Real(&ref->value))
        return false;
    ref->flags = b[0];
    ref->content = b[1];
    ref->index = RwUInt16(b[2] | b[3] << 8);
    return true;
}

enum class ReadResult { ok, refused, failed };

ReadResult ReadTree(Reader& in, RpCollisionData** out) {
    RwUInt32 type, length, structType, structLength, stamp;
    if (!in.U32(&type) || !in.U32(&length) || !in.U32(&stamp) || !in.U32(&structType) ||
        !in.U32(&structLength) || !in.U32(&stamp))
        return ReadResult::failed;
    RwUInt32 flags, numTriangles, numNodes;
    RwBBox box;
    if (!in.U32(&flags) || !in.V3d(&box.inf) || !in.V3d(&box.sup) || !in.U32(&numTriangles) ||
        !in.U32(&numNodes))
        return ReadResult::failed;
    if (type != rwID_COLLTREE || structType != rwID_STRUCT || numTriangles > 0xFFFF || numNodes > 0xFFFF)
        return ReadResult::refused;
    const RwUInt32 mapBytes = (flags & rpCOLLISIONDATAMAP) ? 2 * numTriangles : 0;
    if (numNodes > in.left / 16 || mapBytes > in.left - 16 * numNodes)
        return ReadResult::failed;
    RpCollisionData* data = RpCollisionDataCreate(RwInt32(numTriangles), RwInt32(numNodes), flags);
    if (!data)
        return ReadResult::failed;
    data->box = box;
    for (RwUInt32 i = 0; i < numNodes; ++i) {
        if (!ReadChildRef(in, &data->nodes[i].left) || !ReadChildRef(in, &data->nodes[i].right)) {
            RpCollisionDataDestroy(data);
            return ReadResult::failed;
        }
    }
    for (RwUInt32 i = 0; mapBytes && i < numTriangles; ++i) {
        RwUInt8 b[2];
        if (!in.Bytes(b, 2)) {
            RpCollisionDataDestroy(data);
            return ReadResult::failed;
        }
        data->triangleMap[i] = RwUInt16(b[0] | b[1] << 8);
    }
    *out = data;
    return ReadResult::ok;
}

// The layout before trees were chunks: nodes of four words, then the leaves in depth-first order, then the
// triangle map.
ReadResult ReadLegacyTree(Reader& in, RwUInt32 firstWord, const RwBBox& box, RpCollisionData** out) {
    RwUInt32 numTriangles;
    if (!in.U32(&numTriangles))
        return ReadResult::failed;
    const RwUInt32 numNodes = firstWord - 1;
    if (firstWord == 0 || numNodes > 0xFFFF || numTriangles > 0xFFFF)
        return ReadResult::refused;
    if (numNodes > in.left / 16)
        return ReadResult::failed;
    RpCollisionData* data =
        RpCollisionDataCreate(RwInt32(numTriangles), RwInt32(numNodes), rpCOLLISIONDATAMAP);
    if (!data)
        return ReadResult::failed;
    data->box = box;
    auto fail = [data](ReadResult result) {
        RpCollisionDataDestroy(data);
        return result;
    };
    for (RwUInt32 i = 0; i < numNodes; ++i) {
        RwUInt32 typeWord, indices;
        RpCollisionNode& node = data->nodes[i];
        if (!in.U32(&typeWord) || !in.U32(&indices) || !in.Real(&node.left.value) ||
            !in.Real(&node.right.value))
            return fail(ReadResult::failed);
        const RwUInt8 axisFlags = RwUInt8((typeWord >> 16) & 0x0C);
        node.left.flags = RwUInt8(axisFlags | 1);
        node.right.flags = axisFlags;
        node.left.content = ((typeWord >> 8) & 0xFF) == 2 ? rpCOLLISIONCHILDNODE : 0;
        node.right.content = (typeWord & 0xFF) == 2 ? rpCOLLISIONCHILDNODE : 0;
        node.left.index = RwUInt16(indices >> 16);
        node.right.index = RwUInt16(indices);
        // Children after their parents and inside the tree, so that the leaf walk below ends.
        for (const RpCollisionChildRef* ref : {&node.left, &node.right})
            if (ref->content == rpCOLLISIONCHILDNODE && (ref->index <= i || ref->index >= numNodes))
                return fail(ReadResult::refused);
    }
    RwUInt32 skipped;
    if (numNodes == 0 && !in.U32(&skipped))
        return fail(ReadResult::failed);
    auto readLeaf = [&](RwUInt16* first, RwUInt8* count) {
        RwUInt32 word;
        if (!in.U32(&word))
            return ReadResult::failed;
        if ((word >> 16) >= legacyLeafLimit)
            return ReadResult::refused;
        *first = RwUInt16(word);
        *count = RwUInt8(word >> 16);
        return ReadResult::ok;
    };
    if (numNodes == 0) {
        RwUInt16 first;
        RwUInt8 count;
        const ReadResult leaf = readLeaf(&first, &count);
        if (leaf != ReadResult::ok)
            return fail(leaf);
        if (first != 0 || count != numTriangles)
            return fail(ReadResult::refused);
    } else {
        // Depth first, left before right; each node is entered once, so the stack stays within the tree.
        std::vector<RpCollisionChildRef*> pending = {&data->nodes[0].right, &data->nodes[0].left};
        RwUInt32 visits = 0;
        while (!pending.empty()) {
            RpCollisionChildRef* ref = pending.back();
            pending.pop_back();
            if (ref->content == rpCOLLISIONCHILDNODE) {
                if (++visits > numNodes)
                    return fail(ReadResult::refused);
                RpCollisionNode& child = data->nodes[ref->index];
                pending.push_back(&child.right);
                pending.push_back(&child.left);
                continue;
            }
            const ReadResult leaf = readLeaf(&ref->index, &ref->content);
            if (leaf != ReadResult::ok)
                return fail(leaf);
        }
    }
    for (RwUInt32 i = 0; i < numTriangles; ++i) {
        RwUInt32 word;
        if (!in.U32(&word))
            return fail(ReadResult::failed);
        data->triangleMap[i] = RwUInt16(word);
    }
    *out = data;
    return ReadResult::ok;
}

RwStream* ReadData(RwStream* stream, RwInt32 length, RpCollisionData** slot, RwInt32 numObjectTriangles,
                   const RwBBox& legacyBox) {
    RpCollisionDataDestroy(*slot);
    *slot = nullptr;
    Reader in = {{stream, std::min(RwUInt32(std::max(length, 0)), RwStreamBytesLeft(stream))}};
    RwUInt32 version;
    if (!in.U32(&version))
        return nullptr;
    RpCollisionData* data = nullptr;
    const ReadResult result = version >= rpCOLLISIONTREEVERSION
                                  ? ReadTree(in, &data)
                                  : ReadLegacyTree(in, version, legacyBox, &data);
    if (result == ReadResult::failed)
        return nullptr;
    // A tree that points outside itself or its object's triangles is not used: the object loads without
    // collision data, and the extension reader steps over the rest of the sub-chunk.
    if (result == ReadResult::refused || !RpCollisionDataIsValid(data, numObjectTriangles)) {
        RpCollisionDataDestroy(data);
        RwErrorSetPlugin(rwID_COLLISPLUGIN, rpCOLLISIONERRORBADTREE);
        return stream;
    }
    *slot = data;
    return stream;
}

RwUInt32 TreeChunkSize(const RpCollisionData* data) {
    return (RwUInt32(data->numNodes) + 3) * 16 +
           ((data->flags & rpCOLLISIONDATAMAP) ? 2 * RwUInt32(data->numTriangles) : 0);
}

bool WriteData(RwStream* stream, const RpCollisionData* data) {
    std::vector<RwUInt8> bytes;
    auto u32 = [&bytes](RwUInt32 v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(RwUInt8(v >> (8 * i)));
    };
    auto real = [&u32](RwReal r) { u32(std::bit_cast<RwUInt32>(r)); };
    auto ref = [&](const RpCollisionChildRef& c) {
        bytes.push_back(c.flags);
        bytes.push_back(c.content);
        bytes.push_back(RwUInt8(c.index));
        bytes.push_back(RwUInt8(c.index >> 8));
        real(c.value);
    };
    const RwUInt32 size = TreeChunkSize(data);
    const RwUInt32 stamp = RwLibraryStampEncode(rwLIBRARYCURRENTVERSION, rwLIBRARYBUILD);
    u32(rwLIBRARYCURRENTVERSION);
    u32(rwID_COLLTREE), u32(size), u32(stamp);
    u32(rwID_STRUCT), u32(size - rwCHUNKHEADERSIZE), u32(stamp);
    u32(data->flags);
    for (RwReal v : {data->box.inf.x, data->box.inf.y, data->box.inf.z, data->box.sup.x, data->box.sup.y,
                     data->box.sup.z})
        real(v);
    u32(data->numTriangles);
    u32(data->numNodes);
    for (RwUInt16 i = 0; i < data->numNodes; ++i) {
        ref(data->nodes[i].left);
        ref(data->nodes[i].right);
    }
    if (data->flags & rpCOLLISIONDATAMAP) {
        for (RwUInt16 i = 0; i < data->numTriangles; ++i) {
            bytes.push_back(RwUInt8(data->triangleMap[i]));
            bytes.push_back(RwUInt8(data->triangleMap[i] >> 8));
        }
    }
    return RwStreamWrite(stream, bytes.data(), RwUInt32(bytes.size())) != nullptr;
}

RwStream* Write(RwStream* stream, RwInt32, const void* object, RwInt32 offset, RwInt32) {
    const RpCollisionData* data = *SlotOf(object, offset);
    return !data || WriteData(stream, data) ? stream : nullptr;
}

RwInt32 Size(const void* object, RwInt32 offset, RwInt32) {
    const RpCollisionData* data = *SlotOf(object, offset);
    return data ? RwInt32(TreeChunkSize(data) + 16) : 0;
}

RwStream* ReadGeometry(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    const auto* geometry = static_cast<const RpGeometry*>(object);
    RwBBox box = {{0, 0, 0}, {0, 0, 0}};
    if (geometry->numMorphTargets > 0 && geometry->morphTarget) {
        const RwSphere& s = geometry->morphTarget[0].boundingSphere;
        box.sup = {s.center.x + s.radius, s.center.y + s.radius, s.center.z + s.radius};
        box.inf = {s.center.x - s.radius, s.center.y - s.radius, s.center.z - s.radius};
    }
    return ReadData(stream, length, SlotOf(object, offset), geometry->numTriangles, box);
}

RwStream* ReadSector(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    const auto* sector = static_cast<const RpWorldSector*>(object);
    return ReadData(stream, length, SlotOf(object, offset), sector->numTriangles, sector->boundingBox);
}

void* ConstructNull(void* object, RwInt32 offset, RwInt32) {
    *SlotOf(object, offset) = nullptr;
    return object;
}

void* DestructTree(void* object, RwInt32 offset, RwInt32) {
    RpCollisionDataDestroy(*SlotOf(object, offset));
    *SlotOf(object, offset) = nullptr;
    return object;
}

void* DestructNothing(void* object, RwInt32, RwInt32) {
    return object;
}

// ---- Queries

// The query in the atomic's space, and where hits go.
struct Query {
    RpIntersection* intersection;
    RpIntersectionCallBackGeometryTriangle callBack;
    void* data;
    bool stopped = false;
    // line
    RwV3d start{}, delta{};
    // sphere
    RwSphere sphere{};

    void Report(RwInt32 index, RwV3d* v0, RwV3d* v1, RwV3d* v2, const RwV3d& normal, RwReal distance) {
        RpCollisionTriangle triangle = {normal, *v0, index, {v0, v1, v2}};
        if (!callBack(intersection, &triangle, distance, data))
            stopped = true;
    }
    void TestLine(RwInt32 index, RwV3d* v0, RwV3d* v1, RwV3d* v2) {
        RwReal distance;
        if (RtIntersectionLineTriangle(&start, &delta, v0, v1, v2, &distance))
            Report(index, v0, v1, v2, UnitNormal(*v0, *v1, *v2), distance);
    }
    void TestSphere(RwInt32 index, RwV3d* v0, RwV3d* v1, RwV3d* v2) {
        RwV3d normal;
        RwReal distance;
        if (RtIntersectionSphereTriangle(&sphere, v0, v1, v2, &normal, &distance))
            Report(index, v0, v1, v2, normal, distance / sphere.radius);
    }
    void Test(bool line, RwInt32 index, RwV3d* v0, RwV3d* v1, RwV3d* v2) {
        if (line)
            TestLine(index, v0, v1, v2);
        else
            TestSphere(index, v0, v1, v2);
    }
};

struct TreeWalk {
    Query& query;
    const RpCollisionData* tree;
    RpTriangle* triangles;
    RwV3d* verts;

    RwInt32 GeometryTriangle(RwInt32 treeTriangle) const {
        return tree->triangleMap ? tree->triangleMap[treeTriangle] : treeTriangle;
    }
    void TestLeaf(bool line, RwInt32 first, RwInt32 count) {
        for (RwInt32 i = first; i < first + count && !query.stopped; ++i) {
            const RwInt32 t = GeometryTriangle(i);
            const RpTriangle& tri = triangles[t];
            query.Test(line, t, &verts[tri.vertIndex[0]], &verts[tri.vertIndex[1]], &verts[tri.vertIndex[2]]);
        }
    }
    // Every triangle below the reference, reported without a test: they lie within the sphere.
    void ReportAll(bool isNode, RwInt32 index, RwInt32 count) {
        std::vector<RpCollisionChildRef> pending;
        auto visit = [&](bool node, RwInt32 at, RwInt32 n) {
            if (node) {
                pending.push_back(tree->nodes[at].right);
                pending.push_back(tree->nodes[at].left);
                return;
            }
            const RwV3d& c = query.sphere.center;
            for (RwInt32 i = at; i < at + n && !query.stopped; ++i) {
                const RwInt32 t = GeometryTriangle(i);
                RwV3d* v[3];
                for (int k = 0; k < 3; ++k)
                    v[k] = &verts[triangles[t].vertIndex[k]];
                const RwV3d normal = UnitNormal(*v[0], *v[1], *v[2]);
                query.Report(t, v[0], v[1], v[2], normal, Dot(normal, Sub(c, *v[0])) / query.sphere.radius);
            }
        };
        visit(isNode, index, count);
        while (!pending.empty() && !query.stopped) {
            const RpCollisionChildRef ref = pending.back();
            pending.pop_back();
            visit(ref.content == rpCOLLISIONCHILDNODE, ref.index, ref.content);
        }
    }

    void Line() {
        const RwV3d& s = query.start;
        const RwV3d& d = query.delta;
        RwReal t0 = 0.0f, t1 = 1.0f;
        for (RwInt32 a = 0; a < 3; ++a) {
            const RwReal sa = Axis(s, a), da = Axis(d, a), lo = Axis(tree->box.inf, a),
                         hi = Axis(tree->box.sup, a);
            if (da == 0.0f) {
                if (sa < lo || sa > hi)
                    return;
                continue;
            }
            RwReal ta = (lo - sa) / da, tb = (hi - sa) / da;
            if (ta > tb)
                std::swap(ta, tb);
            t0 = std::max(t0, ta);
            t1 = std::min(t1, tb);
        }
        if (t0 > t1)
            return;
        if (tree->numNodes == 0) {
            TestLeaf(true, 0, tree->numTriangles);
            return;
        }
        struct Entry {
            RpCollisionChildRef ref;
            RwReal t0, t1;
        };
        std::vector<Entry> pending;
        pending.reserve(size_t(tree->numNodes) + 2);
        pending.push_back(
            {{0, rpCOLLISIONCHILDNODE, 0, 0.0f}, t0 - rpCOLLISIONLINESLACK, t1 + rpCOLLISIONLINESLACK});
        while (!pending.empty() && !query.stopped) {
            const Entry e = pending.back();
            pending.pop_back();
            if (e.ref.content != rpCOLLISIONCHILDNODE) {
                TestLeaf(true, e.ref.index, e.ref.content);
                continue;
            }
            const RpCollisionNode& node = tree->nodes[e.ref.index];
            const RwInt32 a = SplitAxis(node);
            const RwReal sa = Axis(s, a), da = Axis(d, a);
            const RwReal leftMax = node.left.value, rightMin = node.right.value;
            Entry left = {node.left, e.t0, e.t1}, right = {node.right, e.t0, e.t1};
            bool goLeft, goRight;
            if (da == 0.0f) {
                goLeft = sa <= leftMax;
                goRight = sa >= rightMin;
            } else {
                const RwReal tl = (leftMax - sa) / da, tr = (rightMin - sa) / da;
                if (da > 0.0f) {
                    left.t1 = std::min(e.t1, tl + rpCOLLISIONLINESLACK);
                    right.t0 = std::max(e.t0, tr - rpCOLLISIONLINESLACK);
                } else {
                    left.t0 = std::max(e.t0, tl - rpCOLLISIONLINESLACK);
                    right.t1 = std::min(e.t1, tr + rpCOLLISIONLINESLACK);
                }
                goLeft = left.t0 <= left.t1;
                goRight = right.t0 <= right.t1;
            }
            // The nearer child is taken first: it goes on the stack last.
            const bool leftNearer = da >= 0.0f;
            const Entry& nearer = leftNearer ? left : right;
            const Entry& farther = leftNearer ? right : left;
            const bool goNearer = leftNearer ? goLeft : goRight, goFarther = leftNearer ? goRight : goLeft;
            if (goFarther)
                pending.push_back(farther);
            if (goNearer)
                pending.push_back(nearer);
        }
    }

    void Sphere() {
        const RwV3d& c = query.sphere.center;
        const RwReal r = query.sphere.radius;
        RwReal outside = 0.0f;
        for (RwInt32 a = 0; a < 3; ++a) {
            const RwReal ca = Axis(c, a);
            const RwReal below = Axis(tree->box.inf, a) - ca, above = ca - Axis(tree->box.sup, a);
            if (below > 0.0f)
                outside += below * below;
            else if (above > 0.0f)
                outside += above * above;
        }
        if (outside > r * r)
            return;
        auto inside = [&](const RwBBox& box) {
            const RwReal h = insideCube * r;
            for (RwInt32 a = 0; a < 3; ++a)
                if (Axis(box.inf, a) < Axis(c, a) - h || Axis(box.sup, a) > Axis(c, a) + h)
                    return false;
            return true;
        };
        if (tree->numNodes == 0) {
            if (inside(tree->box))
                ReportAll(false, 0, tree->numTriangles);
            else
                TestLeaf(false, 0, tree->numTriangles);
            return;
        }
        struct Entry {
            RpCollisionChildRef ref;
            RwBBox box;
        };
        std::vector<Entry> pending;
        pending.reserve(size_t(tree->numNodes) + 2);
        pending.push_back({{0, rpCOLLISIONCHILDNODE, 0, 0.0f}, tree->box});
        while (!pending.empty() && !query.stopped) {
            const Entry e = pending.back();
            pending.pop_back();
            const bool isNode = e.ref.content == rpCOLLISIONCHILDNODE;
            if (inside(e.box)) {
                ReportAll(isNode, e.ref.index, e.ref.content);
                continue;
            }
            if (!isNode) {
                TestLeaf(false, e.ref.index, e.ref.content);
                continue;
            }
            const RpCollisionNode& node = tree->nodes[e.ref.index];
            const RwInt32 a = SplitAxis(node);
            Entry left = {node.left, e.box}, right = {node.right, e.box};
            Axis(left.box.sup, a) = std::min(Axis(e.box.sup, a), node.left.value);
            Axis(right.box.inf, a) = std::max(Axis(e.box.inf, a), node.right.value);
            if (Axis(c, a) + r >= node.right.value)
                pending.push_back(right);
            if (Axis(c, a) - r <= node.left.value)
                pending.push_back(left);
        }
    }
};

void BruteForce(Query& query, bool line, RpGeometry* geometry, RwV3d* verts) {
    for (RwInt32 i = 0; i < geometry->numTriangles && !query.stopped; ++i) {
        const RpTriangle& tri = geometry->triangles[i];
        query.Test(line, i, &verts[tri.vertIndex[0]], &verts[tri.vertIndex[1]], &verts[tri.vertIndex[2]]);
    }
}

// Every triangle with its vertices between the atomic's start and end morph targets.
void Morphing(Query& query, bool line, RpAtomic* atomic) {
    RpGeometry* geometry = atomic->geometry;
    const RpInterpolator& ip = atomic->interpolator;
    const RwInt32 startTarget = std::clamp<RwInt32>(ip.startMorphTarget, 0, geometry->numMorphTargets - 1);
    const RwInt32 endTarget = std::clamp<RwInt32>(ip.endMorphTarget, 0, geometry->numMorphTargets - 1);
    const RwV3d* from = geometry->morphTarget[startTarget].verts;
    const RwV3d* to = geometry->morphTarget[endTarget].verts;
    const RwReal f = ip.position * ip.recipTime;
    for (RwInt32 i = 0; i < geometry->numTriangles && !query.stopped; ++i) {
        const RpTriangle& tri = geometry->triangles[i];
        RwV3d v[3];
        for (int k = 0; k < 3; ++k) {
            const RwV3d& a = from[tri.vertIndex[k]];
            const RwV3d& b = to[tri.vertIndex[k]];
            v[k] = startTarget == endTarget
                       ? a
                       : RwV3d{a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f};
        }
        query.Test(line, i, &v[0], &v[1], &v[2]);
    }
}

} // namespace

RwBool RpCollisionPluginAttach() {
    engineOffset = RwEngineRegisterPlugin(sizeof(void*), rwID_COLLISPLUGIN, ConstructNull, DestructNothing);
    atomicOffset =
        RpAtomicRegisterPlugin(sizeof(void*), rwID_COLLISPLUGIN, ConstructNull, DestructNothing, nullptr);
    geometryOffset =
        RpGeometryRegisterPlugin(sizeof(void*), rwID_COLLISPLUGIN, ConstructNull, DestructTree, nullptr);
    sectorOffset =
        RpWorldSectorRegisterPlugin(sizeof(void*), rwID_COLLISPLUGIN, ConstructNull, DestructTree, nullptr);
    return engineOffset >= 0 && atomicOffset >= 0 && geometryOffset >= 0 && sectorOffset >= 0 &&
           RpGeometryRegisterPluginStream(rwID_COLLISPLUGIN, ReadGeometry, Write, Size) >= 0 &&
           RpWorldSectorRegisterPluginStream(rwID_COLLISPLUGIN, ReadSector, Write, Size) >= 0;
}

RpCollisionData* RpCollisionDataCreate(RwInt32 numTriangles, RwInt32 numNodes, RwUInt32 flags) {
    if (numTriangles < 0 || numTriangles > 0xFFFF || numNodes < 0 || numNodes > 0xFFFF) {
        RwErrorSetCode(E_RW_BADPARAM);
        return nullptr;
    }
    const size_t nodeBytes = sizeof(RpCollisionNode) * size_t(numNodes);
    const size_t mapBytes = (flags & rpCOLLISIONDATAMAP) ? 2 * size_t(numTriangles) : 0;
    const size_t size = headerBytes + nodeBytes + mapBytes;
    auto* block = static_cast<RwUInt8*>(RwMalloc(size, treeHint));
    if (!block) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(block, 0, size);
    auto* data = reinterpret_cast<RpCollisionData*>(block);
    data->flags = flags;
    data->numTriangles = RwUInt16(numTriangles);
    data->numNodes = RwUInt16(numNodes);
    data->nodes = numNodes ? reinterpret_cast<RpCollisionNode*>(block + headerBytes) : nullptr;
    data->triangleMap = mapBytes ? reinterpret_cast<RwUInt16*>(block + headerBytes + nodeBytes) : nullptr;
    return data;
}

void RpCollisionDataDestroy(RpCollisionData* data) {
    if (data)
        RwFree(data);
}

RwBool RpCollisionDataIsValid(const RpCollisionData* data, RwInt32 numObjectTriangles) {
    if (data->triangleMap) {
        for (RwInt32 i = 0; i < data->numTriangles; ++i)
            if (data->triangleMap[i] >= numObjectTriangles)
                return FALSE;
    } else if (data->numTriangles > numObjectTriangles) {
        return FALSE;
    }
    if (data->numNodes == 0)
        return data->numTriangles < rpCOLLISIONCHILDNODE;
    std::vector<bool> reached(data->numNodes, false);
    for (RwInt32 i = 0; i < data->numNodes; ++i) {
        for (const RpCollisionChildRef* ref : {&data->nodes[i].left, &data->nodes[i].right}) {
            if (((ref->flags >> 2) & 3) == 3)
                return FALSE;
            if (ref->content == rpCOLLISIONCHILDNODE) {
                if (ref->index <= i || ref->index >= data->numNodes || reached[ref->index])
                    return FALSE;
                reached[ref->index] = true;
            } else if (RwInt32(ref->index) + ref->content > data->numTriangles) {
                return FALSE;
            }
        }
    }
    return TRUE;
}

RpCollisionData* RpCollisionGeometryGetData(const RpGeometry* geometry) {
    return *SlotOf(geometry, geometryOffset);
}

RpGeometry* RpCollisionGeometrySetData(RpGeometry* geometry, RpCollisionData* data) {
    RpCollisionData** slot = SlotOf(geometry, geometryOffset);
    if (*slot != data)
        RpCollisionDataDestroy(*slot);
    *slot = data;
    return geometry;
}

RpCollisionData* RpCollisionWorldSectorGetData(const RpWorldSector* sector) {
    return *SlotOf(sector, sectorOffset);
}

RpWorldSector* RpCollisionWorldSectorSetData(RpWorldSector* sector, RpCollisionData* data) {
    RpCollisionData** slot = SlotOf(sector, sectorOffset);
    if (*slot != data)
        RpCollisionDataDestroy(*slot);
    *slot = data;
    return sector;
}

RpAtomic* RpCollisionAtomicForAllIntersections(RpAtomic* atomic, RpIntersection* intersection,
                                               RpIntersectionCallBackGeometryTriangle callBack, void* data) {
    RpGeometry* geometry = atomic->geometry;
    if (!geometry || geometry->numMorphTargets < 1 || !callBack)
        return atomic;
    RwMatrix inverse;
    RwMatrixSetIdentity(&inverse);
    if (RwFrame* frame = RpAtomicGetFrame(atomic))
        RwMatrixInvert(&inverse, RwFrameGetWorldMatrix(frame));

    Query query = {intersection, callBack, data};
    bool line;
    switch (intersection->type) {
    case rpINTERSECTLINE: {
        RwV3d end;
        RwVector3TransformPoint(&query.start, &intersection->t.line.start, &inverse);
        RwVector3TransformPoint(&end, &intersection->t.line.end, &inverse);
        query.delta = Sub(end, query.start);
        line = true;
        break;
    }
    case rpINTERSECTSPHERE:
    case rpINTERSECTATOMIC: {
        const RwSphere world =
            intersection->type == rpINTERSECTSPHERE
                ? intersection->t.sphere
                : *RpAtomicGetWorldBoundingSphere(static_cast<RpAtomic*>(intersection->t.object));
        RwVector3TransformPoint(&query.sphere.center, &world.center, &inverse);
        query.sphere.radius = world.radius * std::sqrt(Dot(inverse.at, inverse.at));
        if (!(query.sphere.radius > 0.0f))
            return atomic;
        line = false;
        break;
    }
    default:
        return atomic;
    }

    if (geometry->numMorphTargets > 1) {
        Morphing(query, line, atomic);
        return atomic;
    }
    RwV3d* verts = geometry->morphTarget[0].verts;
    if (!verts)
        return atomic;
    const RpCollisionData* tree = RpCollisionGeometryGetData(geometry);
    if (!tree) {
        BruteForce(query, line, geometry, verts);
        return atomic;
    }
    TreeWalk walk = {query, tree, geometry->triangles, verts};
    if (line)
        walk.Line();
    else
        walk.Sphere();
    return atomic;
}
