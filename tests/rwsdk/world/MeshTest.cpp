// Mesh headers: the list builder, the strip generator and its joining rule, the sort order, and strips
// checked as a property over random meshes.
#include "WorldFixture.h"

#include "rwsdk/world/bastrip.h"

#include <algorithm>
#include <array>
#include <map>
#include <random>

namespace {

using Tri = std::array<RxVertexIndex, 3>;

// The same triangle whatever vertex it starts at; the winding is kept.
Tri Canonical(Tri t) {
    while (t[0] > t[1] || t[0] > t[2])
        t = {t[1], t[2], t[0]};
    return t;
}

// The triangles a strip draws, degenerate ones left out, each in the strip's winding.
std::vector<Tri> Decode(const RxVertexIndex* strip, size_t length) {
    std::vector<Tri> tris;
    for (size_t i = 0; i + 2 < length; ++i) {
        Tri t = i % 2 == 0 ? Tri{strip[i], strip[i + 1], strip[i + 2]}
                           : Tri{strip[i + 1], strip[i], strip[i + 2]};
        if (t[0] != t[1] && t[1] != t[2] && t[0] != t[2])
            tris.push_back(Canonical(t));
    }
    return tris;
}

std::vector<RpBuildMeshTriangle> BuildTriangles(const std::vector<Tri>& tris,
                                                RpMaterial* material = nullptr) {
    std::vector<RpBuildMeshTriangle> out;
    for (const Tri& t : tris)
        out.push_back({{t[0], t[1], t[2]}, material, 0, 0, 0, 0});
    return out;
}

std::vector<RpStrip> Generate(const std::vector<Tri>& tris) {
    std::vector<RpBuildMeshTriangle> built = BuildTriangles(tris);
    std::vector<const RpBuildMeshTriangle*> pointers;
    for (const auto& t : built)
        pointers.push_back(&t);
    return _rpStripGenerate(pointers.data(), RwUInt32(pointers.size()));
}

TEST(StripJoin, KeepsWindingAcrossEachJoiningRule) {
    struct Case {
        const char* rule;
        std::vector<RpStrip> strips;
        RpStrip joined;
    };
    const Case cases[] = {
        {"next starts with the last index, odd length", {{1, 2, 3}, {3, 4, 5}}, {1, 2, 3, 3, 3, 4, 5}},
        {"next starts with the last index, even length", {{1, 2, 3, 4}, {4, 5, 6}}, {1, 2, 3, 4, 4, 5, 6}},
        {"next starts with the next-to-last index, odd", {{1, 2, 3}, {2, 8, 9}}, {1, 2, 3, 2, 2, 8, 9}},
        {"next starts with the next-to-last index, even",
         {{1, 2, 3, 4}, {3, 8, 9}},
         {1, 2, 3, 4, 3, 3, 3, 8, 9}},
        {"no shared index, even length", {{1, 2, 3, 4}, {7, 8, 9}}, {1, 2, 3, 4, 4, 7, 7, 8, 9}},
        {"no shared index, odd length", {{1, 2, 3}, {7, 8, 9}}, {1, 2, 3, 3, 7, 7, 7, 8, 9}},
        {"a later strip that fits is taken first",
         {{1, 2, 3}, {7, 8, 9}, {3, 4, 5}},
         {1, 2, 3, 3, 3, 4, 5, 5, 7, 7, 7, 8, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const RpStrip joined = _rpStripJoin(c.strips);
        EXPECT_EQ(joined, c.joined);
        std::vector<Tri> expected, got = Decode(joined.data(), joined.size());
        for (const RpStrip& s : c.strips)
            for (const Tri& t : Decode(s.data(), s.size()))
                expected.push_back(t);
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected);
    }
}

TEST(StripGenerate, TrianglesSharingAnEdgeInOneDirectionAreNotNeighbours) {
    // Edge (0, 1) runs the same way in both: they cannot share a strip without flipping one.
    const std::vector<RpStrip> strips = Generate({{0, 1, 2}, {0, 1, 3}});
    ASSERT_EQ(strips.size(), 2u);
    EXPECT_EQ(strips[0].size(), 3u);
    EXPECT_EQ(strips[1].size(), 3u);
}

TEST(StripGenerate, AnIsolatedTriangleIsAStripOfItsOwnThreeIndices) {
    const std::vector<RpStrip> strips = Generate({{4, 5, 6}});
    ASSERT_EQ(strips.size(), 1u);
    EXPECT_EQ(strips[0], (RpStrip{4, 5, 6}));
}

TEST(StripGenerate, ATriangleWhoseNeighboursAreAllUsedIsAStripOfThree) {
    // (9, 6, 10) shares an edge with (5, 6, 9), (9, 10, 13) and (6, 7, 10), but the strips grown before it
    // take all three.
    const std::vector<Tri> tris = {{10, 7, 11}, {4, 5, 8},  {9, 10, 13},  {12, 9, 13},
                                   {8, 9, 12},  {6, 7, 10}, {5, 2, 6},    {9, 6, 10},
                                   {8, 5, 9},   {5, 6, 9},  {14, 11, 15}, {10, 11, 14}};
    const std::vector<RpStrip> strips = Generate(tris);
    ASSERT_FALSE(strips.empty());
    EXPECT_EQ(strips.front(), (RpStrip{9, 6, 10})); // the last strip made comes first
    size_t total = 0;
    for (const RpStrip& s : strips)
        total += Decode(s.data(), s.size()).size();
    EXPECT_EQ(total, tris.size());
}

TEST(StripGenerate, AQuadBecomesOneStrip) {
    const std::vector<RpStrip> strips = Generate({{0, 1, 2}, {2, 1, 3}});
    ASSERT_EQ(strips.size(), 1u);
    EXPECT_EQ(strips[0].size(), 4u);
    std::vector<Tri> got = Decode(strips[0].data(), strips[0].size());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<Tri>{Canonical({0, 1, 2}), Canonical({2, 1, 3})}));
}

// A grid of quads with consistent winding, some cells missing, a few stray triangles, shuffled, over
// several materials: decoding the strips gives back every triangle with its winding.
TEST_F(WorldTest, StripsOfRandomMeshesDrawEveryTriangleOnceWithItsWinding) {
    std::mt19937 random(1234);
    RpMaterial* materials[3] = {RpMaterialCreate(), RpMaterialCreate(), RpMaterialCreate()};
    const RwRGBA translucent = {255, 255, 255, 100};
    RpMaterialSetColor(materials[2], &translucent);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const int w = 2 + int(random() % 12), h = 2 + int(random() % 12);
        const RwUInt16 numVertices = RwUInt16((w + 1) * (h + 1) + 10);
        std::vector<std::pair<Tri, int>> tris;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const RwUInt16 a = RwUInt16(y * (w + 1) + x), b = RwUInt16(a + 1), c = RwUInt16(a + w + 1),
                               d = RwUInt16(c + 1);
                const int material = int(random() % 3);
                if (random() % 8 != 0)
                    tris.push_back({{a, b, c}, material});
                if (random() % 8 != 0)
                    tris.push_back({{c, b, d}, material});
            }
        }
        for (int i = 0; i < 5; ++i) {
            std::vector<RwUInt16> v(numVertices);
            for (RwUInt16 k = 0; k < numVertices; ++k)
                v[k] = k;
            std::shuffle(v.begin(), v.end(), random);
            tris.push_back({{v[0], v[1], v[2]}, int(random() % 3)});
        }
        std::shuffle(tris.begin(), tris.end(), random);

        RpBuildMesh* builder = RpBuildMeshCreate(0);
        std::map<const RpMaterial*, std::vector<Tri>> expected;
        for (const auto& [t, m] : tris) {
            ASSERT_NE(RpBuildMeshAddTriangle(builder, materials[m], t[0], t[1], t[2], RwUInt16(m), 0, 0, 0),
                      nullptr);
            expected[materials[m]].push_back(Canonical(t));
        }
        RpMeshHeader* header = RpBuildMeshGenerateMeshHeader(builder, TRUE);
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->flags, RwUInt32(rpMESHHEADERTRISTRIP));
        EXPECT_EQ(header->numMeshes, expected.size());
        std::map<const RpMaterial*, std::vector<Tri>> got;
        RwUInt32 total = 0;
        bool translucentSeen = false;
        for (RwUInt32 m = 0; m < header->numMeshes; ++m) {
            const RpMesh& mesh = RpMeshHeaderGetMeshes(header)[m];
            total += mesh.numIndices;
            EXPECT_TRUE(std::all_of(mesh.indices, mesh.indices + mesh.numIndices,
                                    [&](RxVertexIndex i) { return i < numVertices; }));
            for (const Tri& t : Decode(mesh.indices, mesh.numIndices))
                got[mesh.material].push_back(t);
            EXPECT_FALSE(translucentSeen && mesh.material != materials[2]) << "opaque after translucent";
            translucentSeen = translucentSeen || mesh.material == materials[2];
        }
        EXPECT_EQ(total, header->totalIndicesInMesh);
        for (auto& [material, list] : expected)
            std::sort(list.begin(), list.end());
        for (auto& [material, list] : got)
            std::sort(list.begin(), list.end());
        EXPECT_EQ(got, expected);
        RpMeshHeaderDestroy(header);
    }
    for (RpMaterial* m : materials)
        RpMaterialDestroy(m);
}

TEST_F(WorldTest, ListBuilderEmitsRunsOfTrianglesThatShareNoVertex) {
    RpMaterial* material = RpMaterialCreate();
    RpBuildMesh* builder = RpBuildMeshCreate(0);
    for (const Tri& t : {Tri{0, 1, 2}, Tri{2, 3, 4}, Tri{5, 6, 7}})
        RpBuildMeshAddTriangle(builder, material, t[0], t[1], t[2], 0, 0, 0, 0);
    RpMeshHeader* header = RpBuildMeshGenerateMeshHeader(builder, FALSE);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->flags, RwUInt32(rpMESHHEADERTRILIST));
    ASSERT_EQ(header->numMeshes, 1);
    const RpMesh& mesh = RpMeshHeaderGetMeshes(header)[0];
    EXPECT_EQ(RpStrip(mesh.indices, mesh.indices + mesh.numIndices), (RpStrip{0, 1, 2, 5, 6, 7, 2, 3, 4}));
    RpMeshHeaderDestroy(header);
    RpMaterialDestroy(material);
}

// A geometry of two triangles of a translucent material, then two of an opaque one.
RpGeometry* TwoMaterialGeometry(RpMaterial* glass, RpMaterial* paint, RwUInt32 flags) {
    RpGeometry* geometry = RpGeometryCreate(6, 4, flags);
    RpTriangle* t = RpGeometryGetTriangles(geometry);
    const Tri tris[4] = {{0, 1, 2}, {2, 1, 3}, {2, 3, 4}, {4, 3, 5}};
    for (int i = 0; i < 4; ++i) {
        RpGeometryTriangleSetVertexIndices(geometry, &t[i], tris[i][0], tris[i][1], tris[i][2]);
        RpGeometryTriangleSetMaterial(geometry, &t[i], i < 2 ? glass : paint);
    }
    return RpGeometryBuildMeshes(geometry);
}

TEST_F(WorldTest, TranslucentMeshesComeAfterOpaqueOnes) {
    RpMaterial* glass = RpMaterialCreate();
    RpMaterial* paint = RpMaterialCreate();
    const RwRGBA clear = {200, 200, 255, 128};
    RpMaterialSetColor(glass, &clear);
    for (RwUInt32 flags : {0u, RwUInt32(rpGEOMETRYTRISTRIP)}) {
        SCOPED_TRACE(flags);
        RpGeometry* geometry = TwoMaterialGeometry(glass, paint, flags);
        ASSERT_NE(geometry, nullptr);
        RpMeshHeader* header = RpGeometryGetMesh(geometry);
        ASSERT_EQ(header->numMeshes, 2);
        EXPECT_EQ(header->flags, flags);
        EXPECT_EQ(RpMeshHeaderGetMeshes(header)[0].material, paint);
        EXPECT_EQ(RpMeshHeaderGetMeshes(header)[1].material, glass);
        RpGeometryDestroy(geometry);
    }
    RpMaterialDestroy(glass);
    RpMaterialDestroy(paint);
}

TEST_F(WorldTest, SortOrderPutsAlphaThenRasterPipelineTextureAndMaterialIndex) {
    RpMaterial* a = RpMaterialCreate();
    RpMaterial* b = RpMaterialCreate();
    RpBuildMeshTriangle t1 = {{0, 1, 2}, a, 1, 0, 0, 0}, t2 = {{0, 1, 2}, b, 0, 0, 0, 0};
    EXPECT_GT(_rpBuildMeshCompareTriangles(&t1, &t2), 0); // material index decides
    t2.textureIndex = 1;
    EXPECT_LT(_rpBuildMeshCompareTriangles(&t1, &t2), 0); // texture outranks material index
    t1.rasterIndex = 1;
    EXPECT_GT(_rpBuildMeshCompareTriangles(&t1, &t2), 0); // raster outranks texture
    const RwRGBA translucent = {0, 0, 0, 254};
    RpMaterialSetColor(b, &translucent);
    EXPECT_LT(_rpBuildMeshCompareTriangles(&t1, &t2), 0); // alpha outranks everything
    t2.material = a;
    EXPECT_EQ(_rpBuildMeshCompareTriangles(&t1, &t2), 0); // one material is one group
    RpMaterialDestroy(a);
    RpMaterialDestroy(b);
}

TEST_F(WorldTest, GeometryWithoutTrianglesGetsTheSharedEmptyHeader) {
    RpGeometry* geometry = RpGeometryCreate(3, 0, rpGEOMETRYTRISTRIP);
    ASSERT_NE(RpGeometryBuildMeshes(geometry), nullptr);
    EXPECT_EQ(RpGeometryGetMesh(geometry), RpMeshHeaderGetEmpty());
    EXPECT_EQ(RpGeometryGetMesh(geometry)->numMeshes, 0);
    RpGeometryDestroy(geometry); // frees nothing of the shared header
}

TEST(MeshPrimitives, HeaderFlagsAndPrimitiveTypesTranslateBothWays) {
    const std::pair<RwUInt32, RwInt32> table[] = {{rpMESHHEADERTRILIST, 3},  {rpMESHHEADERTRISTRIP, 4},
                                                  {rpMESHHEADERTRIFAN, 5},   {rpMESHHEADERLINELIST, 1},
                                                  {rpMESHHEADERPOLYLINE, 2}, {rpMESHHEADERPOINTLIST, 6}};
    for (const auto& [flags, type] : table) {
        EXPECT_EQ(RpMeshHeaderFlagsToPrimType(flags), type);
        EXPECT_EQ(RpMeshPrimTypeToHeaderFlags(type), flags);
    }
}

} // namespace
