// Intersection tests, collision trees and their streams, queries against atomics.
#include "CollisionFixture.h"

#include <glm/glm.hpp>
#include <glm/gtx/intersect.hpp>

#include <cmath>

namespace {

glm::dvec3 G(const RwV3d& v) {
    return {v.x, v.y, v.z};
}

TEST_F(CollisionTest, LineTriangleAgreesWithGlmOnFrontFaces) {
    std::mt19937 random(3);
    std::uniform_real_distribution<RwReal> d(-2.0f, 2.0f);
    int hits = 0, checked = 0;
    for (int i = 0; i < 20000; ++i) {
        const RwV3d v0 = {d(random), d(random), d(random)}, v1 = {d(random), d(random), d(random)},
                    v2 = {d(random), d(random), d(random)}, start = {d(random), d(random), d(random)},
                    delta = {d(random), d(random), d(random)};
        // Where the line meets the plane, and its barycentric coordinates there from sub-triangle areas.
        const glm::dvec3 a = G(v0), b = G(v1), c = G(v2), s = G(start), dir = G(delta);
        const glm::dvec3 normal = glm::cross(b - a, c - a);
        const double facing = glm::dot(glm::normalize(normal), glm::normalize(dir));
        if (std::abs(facing) < 1e-3)
            continue; // nearly in the plane: the two may differ by their slack
        const double t = glm::dot(a - s, normal) / glm::dot(dir, normal);
        const glm::dvec3 p = s + t * dir;
        const double area = glm::dot(normal, normal);
        const double w0 = glm::dot(glm::cross(b - p, c - p), normal) / area;
        const double w1 = glm::dot(glm::cross(c - p, a - p), normal) / area;
        const double w2 = 1.0 - w0 - w1;
        const double margin = 1e-3;
        if (std::min({std::abs(w0), std::abs(w1), std::abs(w2), std::abs(t), std::abs(1.0 - t)}) < margin)
            continue; // near an edge or an end
        ++checked;
        const bool expected = facing < 0.0 && w0 > 0 && w1 > 0 && w2 > 0 && t > 0 && t < 1;
        RwReal distance = -1.0f;
        const bool ours = RtIntersectionLineTriangle(&start, &delta, &v0, &v1, &v2, &distance);
        ASSERT_EQ(ours, expected) << "case " << i;
        if (expected) {
            ++hits;
            EXPECT_NEAR(distance, t, 1e-4);
            glm::dvec2 bary;
            double glmDistance;
            ASSERT_TRUE(glm::intersectRayTriangle(s, dir, a, b, c, bary, glmDistance));
            EXPECT_NEAR(distance, glmDistance, 1e-4);
        }
    }
    EXPECT_GT(hits, 100);
    EXPECT_GT(checked, 15000);
}

TEST_F(CollisionTest, LineTriangleEdgeCases) {
    const RwV3d a = {0, 0, 0}, b = {1, 0, 0}, c = {0, 1, 0};
    RwReal distance;
    struct Case {
        const char* name;
        RwV3d start, delta;
        bool hit;
        RwReal distance;
    };
    for (const Case& k : {
             Case{"through the middle", {0.25f, 0.25f, 1}, {0, 0, -2}, true, 0.5f},
             Case{"from behind", {0.25f, 0.25f, -1}, {0, 0, 2}, false, 0},
             Case{"in the plane", {-1, 0.25f, 0}, {3, 0, 0}, false, 0},
             Case{"ends exactly on it", {0.25f, 0.25f, 1}, {0, 0, -1}, true, 1.0f},
             Case{"starts exactly on it", {0.25f, 0.25f, 0}, {0, 0, -1}, true, 0.0f},
             Case{"on the shared edge", {0.5f, 0.5f, 1}, {0, 0, -2}, true, 0.5f},
             Case{"just short", {0.25f, 0.25f, 1}, {0, 0, -0.999f}, false, 0},
             Case{"beside", {1.0f, 1.0f, 1}, {0, 0, -2}, false, 0},
         }) {
        distance = -1;
        EXPECT_EQ(bool(RtIntersectionLineTriangle(&k.start, &k.delta, &a, &b, &c, &distance)), k.hit)
            << k.name;
        if (k.hit) {
            EXPECT_NEAR(distance, k.distance, 1e-6f) << k.name;
        }
    }
    // The other triangle of the square shares the edge from (1, 0) to (0, 1): both report it.
    const RwV3d d = {1, 1, 0}, start = {0.5f, 0.5f, 1}, delta = {0, 0, -2};
    EXPECT_TRUE(RtIntersectionLineTriangle(&start, &delta, &b, &d, &c, &distance));
}

TEST_F(CollisionTest, SphereTriangleEdgeCases) {
    const RwV3d a = {0, 0, 0}, b = {4, 0, 0}, c = {0, 4, 0};
    struct Case {
        const char* name;
        RwV3d centre;
        RwReal radius;
        bool hit;
    };
    for (const Case& k : {
             Case{"above the middle, reaching the plane", {1, 1, 0.5f}, 1.0f, true},
             Case{"above the middle, short of the plane", {1, 1, 1.5f}, 1.0f, false},
             Case{"below the plane", {1, 1, -0.5f}, 1.0f, true},
             Case{"holding a vertex", {4.5f, 0, 0}, 1.0f, true},
             Case{"across an edge", {2.5f, 2.5f, 0.2f}, 1.0f, true},
             Case{"touching the plane outside the edges", {3.5f, 3.5f, 0.5f}, 1.0f, false},
             Case{"beyond a vertex in the plane", {-1.2f, -1.2f, 0}, 1.0f, false},
             Case{"beside an edge in the plane", {2, -1.5f, 0}, 1.0f, false},
         }) {
        const RwSphere sphere = {k.centre, k.radius};
        RwV3d normal;
        RwReal distance;
        EXPECT_EQ(bool(RtIntersectionSphereTriangle(&sphere, &a, &b, &c, &normal, &distance)), k.hit)
            << k.name;
        if (k.hit) {
            EXPECT_NEAR(normal.z, 1.0f, 1e-6f) << k.name;
            EXPECT_NEAR(distance, k.centre.z, 1e-6f) << k.name;
        }
    }
}

// Two atomics over equal random geometry, one with a tree, under the same rotated and moved frame.
class TreeQueryTest : public CollisionTest {
protected:
    RpAtomic* plain = nullptr;
    RpAtomic* treed = nullptr;
    RwFrame* frame = nullptr;

    void Build(RwInt32 triangles, unsigned seed) {
        std::mt19937 a(seed), b(seed);
        RpGeometry* g1 = RandomGeometry(a, triangles, 50.0f);
        RpGeometry* g2 = RandomGeometry(b, triangles, 50.0f);
        ASSERT_NE(RpCollisionGeometryBuildData(g2), nullptr);
        ASSERT_TRUE(RpCollisionDataIsValid(RpCollisionGeometryGetData(g2), triangles));
        frame = RwFrameCreate();
        const RwV3d axis = {1, 2, 3}, move = {10, -5, 3};
        RwMatrixRotate(&frame->modelling, &axis, 35.0f, rwCOMBINEREPLACE);
        RwMatrixTranslate(&frame->modelling, &move, rwCOMBINEPOSTCONCAT);
        RwFrameUpdateObjects(frame);
        plain = RpAtomicCreate();
        treed = RpAtomicCreate();
        RpAtomicSetGeometry(plain, g1, 0);
        RpAtomicSetGeometry(treed, g2, 0);
        RpGeometryDestroy(g1);
        RpGeometryDestroy(g2);
        RpAtomicSetFrame(plain, frame);
        RpAtomicSetFrame(treed, frame);
    }
    void TearDown() override {
        if (plain) {
            RpAtomicDestroy(plain);
            RpAtomicDestroy(treed);
            RwFrameDestroy(frame);
        }
        CollisionTest::TearDown();
    }
    void ExpectSame(const RpIntersection& is, int* nonEmpty) {
        const auto expected = ByTriangle(Query(plain, is));
        const auto actual = ByTriangle(Query(treed, is));
        ASSERT_EQ(actual.size(), expected.size());
        for (const auto& [index, distance] : expected) {
            ASSERT_EQ(actual.count(index), 1u) << index;
            EXPECT_NEAR(actual.at(index), distance, 1e-5f);
        }
        *nonEmpty += expected.empty() ? 0 : 1;
    }
};

TEST_F(TreeQueryTest, TreeQueriesReportWhatBruteForceReports) {
    Build(3000, 11);
    std::mt19937 random(5);
    std::uniform_real_distribution<RwReal> place(-70.0f, 70.0f), radius(0.5f, 25.0f);
    int lines = 0, spheres = 0;
    for (int i = 0; i < 400; ++i) {
        ExpectSame(Line({place(random), place(random), place(random)},
                        {place(random), place(random), place(random)}),
                   &lines);
        ExpectSame(Sphere({place(random), place(random), place(random)}, radius(random)), &spheres);
        // Axis-aligned lines do not move along two axes.
        const RwV3d s = {place(random), place(random), place(random)};
        ExpectSame(Line(s, {s.x, s.y, s.z + 150.0f}), &lines);
    }
    EXPECT_GT(lines, 50);
    EXPECT_GT(spheres, 100);
    // A sphere over the whole model reports everything, most without a test.
    EXPECT_EQ(Query(treed, Sphere({10, -5, 3}, 500.0f)).size(), 3000u);
}

TEST_F(TreeQueryTest, AtomicQueriesUseTheOtherAtomicsWorldSphere) {
    Build(500, 12);
    RpAtomic* probe = RpAtomicCreate();
    RpGeometry* g = MakeGeometry({{-20, 0, 0}, {20, 0, 0}, {0, 20, 0}}, {{0, 1, 2}});
    RpAtomicSetGeometry(probe, g, 0);
    RpGeometryDestroy(g);
    RwFrame* probeFrame = RwFrameCreate();
    const RwV3d at = {12, -4, 5};
    RwMatrixTranslate(&probeFrame->modelling, &at, rwCOMBINEREPLACE);
    RwFrameUpdateObjects(probeFrame);
    RpAtomicSetFrame(probe, probeFrame);
    RpIntersection is{};
    is.type = rpINTERSECTATOMIC;
    is.t.object = probe;
    const RwSphere world = *RpAtomicGetWorldBoundingSphere(probe);
    EXPECT_GT(world.radius, 15.0f);
    int nonEmpty = 0;
    ExpectSame(is, &nonEmpty);
    EXPECT_EQ(ByTriangle(Query(treed, is)), ByTriangle(Query(treed, Sphere(world.center, world.radius))));
    EXPECT_EQ(nonEmpty, 1);
    RpAtomicDestroy(probe);
    RwFrameDestroy(probeFrame);
}

TEST_F(TreeQueryTest, ACallBackReturningNullStopsTheQuery) {
    Build(1000, 13);
    const RpIntersection big = Sphere({10, -5, 3}, 60.0f);
    ASSERT_GT(Query(treed, big).size(), 3u);
    EXPECT_EQ(Query(treed, big, 1).size(), 1u);
    EXPECT_EQ(Query(plain, big, 2).size(), 2u);
    EXPECT_EQ(Query(treed, Sphere({10, -5, 3}, 500.0f), 3).size(), 3u);
}

// The geometry chunk of the geometry with its collision sub-chunk's payload replaced.
Bytes WithCollisionPayload(const Bytes& geometry, const Bytes& payload) {
    auto word = [&](size_t at) {
        RwUInt32 v;
        std::memcpy(&v, &geometry[at], 4);
        return v;
    };
    size_t at = 12;
    at += 12 + word(at + 4); // struct
    at += 12 + word(at + 4); // material list
    const size_t extension = at;
    EXPECT_EQ(word(extension), rwID_EXTENSION);
    at += 12;
    while (word(at) != rwID_COLLISPLUGIN)
        at += 12 + word(at + 4);
    const size_t oldLength = word(at + 4);
    Bytes out(geometry.begin(), geometry.begin() + std::ptrdiff_t(at + 12));
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), geometry.begin() + std::ptrdiff_t(at + 12 + oldLength), geometry.end());
    auto put = [&](size_t where, RwUInt32 v) { std::memcpy(&out[where], &v, 4); };
    const RwUInt32 delta = RwUInt32(payload.size() - oldLength);
    put(at + 4, RwUInt32(payload.size()));
    put(extension + 4, word(extension + 4) + delta);
    put(4, word(4) + delta);
    return out;
}

// The collision sub-chunk's payload in a geometry chunk.
Bytes CollisionSubChunk(const Bytes& geometry) {
    auto word = [&](size_t at) {
        RwUInt32 v;
        std::memcpy(&v, &geometry[at], 4);
        return v;
    };
    size_t at = 12;
    at += 12 + word(at + 4);
    at += 12 + word(at + 4);
    at += 12;
    while (at < geometry.size() && word(at) != rwID_COLLISPLUGIN)
        at += 12 + word(at + 4);
    if (at >= geometry.size())
        return {};
    return Bytes(geometry.begin() + std::ptrdiff_t(at + 12),
                 geometry.begin() + std::ptrdiff_t(at + 12 + word(at + 4)));
}

RpGeometry* ReadGeometryBytes(const Bytes& bytes) {
    return ReadBytes<RpGeometry>(bytes, rwID_GEOMETRY, RpGeometryStreamRead);
}

// Two triangles side by side along x, a tree of one node that splits them.
RpGeometry* TwoTriangles() {
    RpGeometry* g = MakeGeometry({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {3, 0, 0}, {2, 1, 0}},
                                 {{0, 1, 2}, {3, 4, 5}});
    RpCollisionData* tree = RpCollisionDataCreate(2, 1, rpCOLLISIONDATAMAP);
    tree->box = {{3, 1, 0}, {0, 0, 0}};
    // Tree triangle 0 is the right-hand one: the left leaf reaches x = 3, the right one starts at 0.
    tree->nodes[0] = {{1, 1, 0, 3.0f}, {0, 1, 1, 0.0f}};
    tree->triangleMap[0] = 1;
    tree->triangleMap[1] = 0;
    RpCollisionGeometrySetData(g, tree);
    return g;
}

TEST_F(CollisionTest, TreesRoundTripThroughGeometryStreams) {
    std::mt19937 random(21);
    RpGeometry* g = RandomGeometry(random, 300, 10.0f);
    RpCollisionGeometryBuildData(g);
    const RpCollisionData* tree = RpCollisionGeometryGetData(g);
    const Bytes bytes = WriteBytes([g](RwStream* s) { return RpGeometryStreamWrite(g, s) != nullptr; });
    RpGeometry* read = ReadGeometryBytes(bytes);
    ASSERT_NE(read, nullptr);
    const RpCollisionData* copy = RpCollisionGeometryGetData(read);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->flags, tree->flags);
    EXPECT_EQ(copy->numNodes, tree->numNodes);
    EXPECT_EQ(copy->numTriangles, tree->numTriangles);
    EXPECT_EQ(std::memcmp(&copy->box, &tree->box, sizeof(RwBBox)), 0);
    EXPECT_EQ(std::memcmp(copy->nodes, tree->nodes, 16 * size_t(tree->numNodes)), 0);
    EXPECT_EQ(std::memcmp(copy->triangleMap, tree->triangleMap, 2 * size_t(tree->numTriangles)), 0);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(copy->nodes) % 16, 0u);
    // The sub-chunk: the version word, the tree chunk of (nodes + 3) x 16 bytes and the map; written again
    // the same.
    const Bytes again = WriteBytes([read](RwStream* s) { return RpGeometryStreamWrite(read, s) != nullptr; });
    const Bytes sub = CollisionSubChunk(bytes);
    EXPECT_EQ(sub.size(), 16u + (tree->numNodes + 3u) * 16u + 2u * tree->numTriangles);
    EXPECT_EQ(CollisionSubChunk(again), sub);
    RpGeometryDestroy(read);
    RpGeometryDestroy(g);
}

TEST_F(CollisionTest, LegacyTreesAreConvertedWhileReading) {
    RpGeometry* g = TwoTriangles();
    const Bytes bytes = WriteBytes([g](RwStream* s) { return RpGeometryStreamWrite(g, s) != nullptr; });
    RpGeometryDestroy(g);
    // One node splitting on x: left leaf of tree triangle 0, right leaf of tree triangle 1; map 1, 0.
    auto legacy = [](RwUInt32 leftLeafWord, RwUInt32 typeWord = 0) {
        ByteWriter w;
        w.U32(2).I32(2);
        w.U32(typeWord).U32(0).F32(3.0f).F32(0.0f);
        w.U32(leftLeafWord).U32(1u | 1u << 16);
        w.U32(1).U32(0);
        return w.bytes;
    };
    RpGeometry* read = ReadGeometryBytes(WithCollisionPayload(bytes, legacy(0u | 1u << 16)));
    ASSERT_NE(read, nullptr);
    const RpCollisionData* tree = RpCollisionGeometryGetData(read);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->numNodes, 1);
    EXPECT_EQ(tree->nodes[0].left.content, 1);
    EXPECT_EQ(tree->nodes[0].right.index, 1);
    EXPECT_EQ(tree->triangleMap[0], 1);
    // The box comes from the bounding sphere.
    const RwSphere& s = read->morphTarget[0].boundingSphere;
    EXPECT_FLOAT_EQ(tree->box.sup.x, s.center.x + s.radius);
    RpAtomic* atomic = RpAtomicCreate();
    RpAtomicSetGeometry(atomic, read, 0);
    RpGeometryDestroy(read);
    const std::vector<Hit> hits = Query(atomic, Line({2.2f, 0.2f, 1}, {2.2f, 0.2f, -1}));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].index, 1);
    RpAtomicDestroy(atomic);

    // A leaf of 240 triangles: error 1, and the geometry loads without its tree.
    TakeError();
    read = ReadGeometryBytes(WithCollisionPayload(bytes, legacy(0u | 240u << 16)));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(RpCollisionGeometryGetData(read), nullptr);
    RwError error;
    RwErrorGet(&error);
    EXPECT_EQ(error.pluginID, RwInt32(rwID_COLLISPLUGIN));
    EXPECT_EQ(error.errorCode, rpCOLLISIONERRORBADTREE);
    RpGeometryDestroy(read);
    // A left child that names a node that does not exist.
    read = ReadGeometryBytes(WithCollisionPayload(bytes, legacy(0u | 1u << 16, 2u << 8)));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(RpCollisionGeometryGetData(read), nullptr);
    RpGeometryDestroy(read);
}

TEST_F(CollisionTest, BadTreesLoadTheGeometryWithoutThem) {
    RpGeometry* g = TwoTriangles();
    const Bytes bytes = WriteBytes([g](RwStream* s) { return RpGeometryStreamWrite(g, s) != nullptr; });
    RpGeometryDestroy(g);
    // The payload as written: version, tree chunk, struct chunk, then the fields from offset 28.
    auto word = [&](const Bytes& b, size_t at) {
        RwUInt32 v;
        std::memcpy(&v, &b[at], 4);
        return v;
    };
    size_t payload = 12;
    payload += 12 + word(bytes, payload + 4);
    payload += 12 + word(bytes, payload + 4);
    payload += 12;
    while (word(bytes, payload) != rwID_COLLISPLUGIN)
        payload += 12 + word(bytes, payload + 4);
    payload += 12;
    const size_t fields = payload + 28, nodes = fields + 36, map = nodes + 16;
    struct Case {
        const char* name;
        size_t at;
        std::vector<RwUInt8> patch;
    };
    for (const Case& k : {
             Case{"a child node beyond the nodes", nodes + 1, {0xFF, 5, 0}},
             Case{"a child node that is its parent", nodes + 1, {0xFF, 0, 0}},
             Case{"a leaf beyond the triangles", nodes + 1, {2, 1, 0}},
             Case{"a map entry beyond the geometry", map, {2, 0}},
             Case{"split axis 3", nodes, {0x0D}},
         }) {
        Bytes bad = bytes;
        std::copy(k.patch.begin(), k.patch.end(), bad.begin() + std::ptrdiff_t(k.at));
        RpGeometry* read = ReadGeometryBytes(bad);
        ASSERT_NE(read, nullptr) << k.name;
        EXPECT_EQ(RpCollisionGeometryGetData(read), nullptr) << k.name;
        RpGeometryDestroy(read);
    }
    // A node count that the sub-chunk cannot hold fails the read.
    Bytes bad = bytes;
    const RwUInt32 many = 0xFFFF;
    std::memcpy(&bad[fields + 32], &many, 4);
    EXPECT_EQ(ReadGeometryBytes(bad), nullptr);
}

TEST_F(CollisionTest, MorphingGeometryIsTestedAtTheCurrentInterpolation) {
    RpGeometry* g = MakeGeometry({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    ASSERT_EQ(RpGeometryAddMorphTarget(g), 1);
    const RwV3d raised[3] = {{0, 0, 2}, {1, 0, 2}, {0, 1, 2}};
    std::copy(raised, raised + 3, g->morphTarget[1].verts);
    RpAtomic* atomic = RpAtomicCreate();
    RpAtomicSetGeometry(atomic, g, 0);
    RpGeometryDestroy(g);
    atomic->interpolator.startMorphTarget = 0;
    atomic->interpolator.endMorphTarget = 1;
    atomic->interpolator.recipTime = 1.0f;
    atomic->interpolator.position = 0.75f; // the triangle at z = 1.5
    const RpIntersection down = Line({0.2f, 0.2f, 3}, {0.2f, 0.2f, -1});
    std::vector<Hit> hits = Query(atomic, down);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_NEAR(hits[0].distance, 0.375f, 1e-6f);
    EXPECT_EQ(Query(atomic, Sphere({0.2f, 0.2f, 0.0f}, 1.0f)).size(), 0u); // not at the first target
    EXPECT_EQ(Query(atomic, Sphere({0.2f, 0.2f, 2.0f}, 1.0f)).size(), 1u);
    // Both ends the same target: that target's vertices.
    atomic->interpolator.endMorphTarget = 0;
    hits = Query(atomic, down);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_NEAR(hits[0].distance, 0.75f, 1e-6f);
    RpAtomicDestroy(atomic);
}

} // namespace
