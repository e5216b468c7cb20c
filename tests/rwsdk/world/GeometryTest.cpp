// Geometry: creation flags, morph targets, the geometry chunk's layout, and streams that must be refused.
#include "WorldFixture.h"

#include <array>
#include <cmath>

namespace {

RpGeometry* WriteAndRead(const RpGeometry* geometry, Bytes* written = nullptr) {
    const Bytes bytes =
        WriteBytes([geometry](RwStream* s) { return RpGeometryStreamWrite(geometry, s) != nullptr; });
    if (written)
        *written = bytes;
    return ReadBytes<RpGeometry>(bytes, rwID_GEOMETRY, RpGeometryStreamRead);
}

TEST_F(WorldTest, CreationFlagsGiveTextureSetsAndStoredFlags) {
    struct Case {
        RwUInt32 given;
        RwInt32 sets;
        RwUInt32 stored;
    };
    const Case cases[] = {
        {0, 0, 0},
        {rpGEOMETRYTEXTURED, 1, rpGEOMETRYTEXTURED},
        {rpGEOMETRYTEXTURED2, 2, rpGEOMETRYTEXTURED2},
        {rpGEOMETRYTEXTURED | rpGEOMETRYTEXTURED2, 2, rpGEOMETRYTEXTURED2},
        {rpGEOMETRYTEXCOORDSETS(1) | rpGEOMETRYTEXTURED2, 1, rpGEOMETRYTEXTURED},
        {rpGEOMETRYTEXCOORDSETS(8), 8, rpGEOMETRYTEXTURED2},
        {rpGEOMETRYPRELIT | rpGEOMETRYNORMALS | rpGEOMETRYLIGHT | (0x0F000000 & ~rpGEOMETRYNATIVE) |
             0x80000000,
         0, rpGEOMETRYPRELIT | rpGEOMETRYNORMALS | rpGEOMETRYLIGHT | (0x0F000000 & ~rpGEOMETRYNATIVE)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        RpGeometry* geometry = RpGeometryCreate(4, 2, c.given);
        ASSERT_NE(geometry, nullptr);
        EXPECT_EQ(RpGeometryGetNumTexCoordSets(geometry), c.sets);
        EXPECT_EQ(RpGeometryGetFlags(geometry), c.stored);
        for (RwInt32 set = 1; set <= rwMAXTEXTURECOORDS; ++set)
            EXPECT_EQ(RpGeometryGetVertexTexCoords(geometry, set) != nullptr, set <= c.sets);
        EXPECT_EQ(geometry->triangles[1].matIndex, 0xFFFF);
        EXPECT_EQ(geometry->refCount, 1);
        EXPECT_EQ(geometry->numMorphTargets, 1);
        // What is written reads back the same.
        RpGeometry* copy = WriteAndRead(geometry);
        ASSERT_NE(copy, nullptr) << std::hex << TakeError();
        EXPECT_EQ(RpGeometryGetNumTexCoordSets(copy), c.sets);
        EXPECT_EQ(RpGeometryGetFlags(copy), c.stored);
        RpGeometryDestroy(copy);
        RpGeometryDestroy(geometry);
    }
    EXPECT_EQ(RpGeometryCreate(4, 2, rpGEOMETRYTEXCOORDSETS(9)), nullptr);
}

TEST_F(WorldTest, VertexCountLimit) {
    RpGeometry* largest = RpGeometryCreate(65535, 0, 0);
    EXPECT_NE(largest, nullptr);
    RpGeometryDestroy(largest);
    EXPECT_EQ(RpGeometryCreate(65536, 0, 0), nullptr);
    EXPECT_EQ(TakeError(), 6);
    EXPECT_EQ(RpGeometryCreate(-1, 0, 0), nullptr);
    EXPECT_EQ(RpGeometryCreate(3, -1, 0), nullptr);
}

TEST_F(WorldTest, TrianglesAreStoredAsVertex1Vertex0MaterialVertex2) {
    RpGeometry* geometry = RpGeometryCreate(3, 1, 0);
    RpMaterial* materials[4];
    for (RpMaterial*& m : materials) {
        m = RpMaterialCreate();
        RpMaterialListAppendMaterial(&geometry->matList, m);
        RpMaterialDestroy(m);
    }
    RpTriangle* t = RpGeometryGetTriangles(geometry);
    RpGeometryTriangleSetVertexIndices(geometry, t, 0, 1, 2);
    RpGeometryTriangleSetMaterial(geometry, t, materials[3]);
    EXPECT_EQ(t->matIndex, 3);
    Bytes bytes;
    RpGeometry* copy = WriteAndRead(geometry, &bytes);
    ASSERT_NE(copy, nullptr);
    // Behind the geometry and struct headers and the 16 bytes of counts.
    const RwUInt16* words = reinterpret_cast<const RwUInt16*>(&bytes[24 + 16]);
    EXPECT_EQ((std::vector<RwUInt16>(words, words + 4)), (std::vector<RwUInt16>{1, 0, 3, 2}));
    EXPECT_EQ(copy->triangles[0].vertIndex[0], 0);
    EXPECT_EQ(copy->triangles[0].vertIndex[1], 1);
    EXPECT_EQ(copy->triangles[0].vertIndex[2], 2);
    EXPECT_EQ(copy->triangles[0].matIndex, 3);
    RpGeometryDestroy(copy);
    RpGeometryDestroy(geometry);
}

TEST_F(WorldTest, MorphTargetsKeepTheirDataWhenMoreAreAddedAndRoundTrip) {
    RpGeometry* geometry = RpGeometryCreate(2, 0, rpGEOMETRYNORMALS);
    RpMorphTarget* first = RpGeometryGetMorphTarget(geometry, 0);
    first->verts[0] = {1, 2, 3};
    first->verts[1] = {4, 5, 6};
    first->normals[1] = {0, 1, 0};
    EXPECT_EQ(RpGeometryAddMorphTargets(geometry, 2), 1);
    EXPECT_EQ(geometry->numMorphTargets, 3);
    first = RpGeometryGetMorphTarget(geometry, 0);
    EXPECT_EQ(first->verts[1].z, 6.0f);
    EXPECT_EQ(first->normals[1].y, 1.0f);
    RpMorphTarget* third = RpGeometryGetMorphTarget(geometry, 2);
    EXPECT_EQ(third->parentGeom, geometry);
    EXPECT_EQ(third->boundingSphere.radius, 0.0f);
    third->verts[1] = {7, 8, 9};
    third->normals[0] = {1, 0, 0};
    RwSphere sphere;
    RpMorphTargetCalculateBoundingSphere(first, &sphere);
    EXPECT_FLOAT_EQ(sphere.center.x, 2.5f);
    // Half the box diagonal (1.5 on each axis), times 1.001.
    EXPECT_FLOAT_EQ(sphere.radius, std::sqrt(3 * 1.5f * 1.5f) * 1.001f);

    Bytes bytes;
    RpGeometry* copy = WriteAndRead(geometry, &bytes);
    ASSERT_NE(copy, nullptr) << std::hex << TakeError();
    // 24 bytes of each target's vertex data: all positions, then all normals.
    // Geometry and struct headers, counts, three targets, the empty material list, an empty extension.
    EXPECT_EQ(bytes.size(), 12u + 12 + 16 + 3 * (24 + 2 * 24) + 28 + 12);
    EXPECT_EQ(copy->morphTarget[2].verts[1].y, 8.0f);
    EXPECT_EQ(copy->morphTarget[2].normals[0].x, 1.0f);
    EXPECT_EQ(copy->morphTarget[0].verts[0].x, 1.0f);
    RpGeometryDestroy(copy);
    RpGeometryDestroy(geometry);
}

TEST_F(WorldTest, MeshHeaderFromTheStreamIsNotRebuilt) {
    RpGeometry* geometry = RpGeometryCreate(4, 2, 0);
    RpTriangle* t = RpGeometryGetTriangles(geometry);
    RpGeometryTriangleSetVertexIndices(geometry, &t[0], 0, 1, 2);
    RpGeometryTriangleSetVertexIndices(geometry, &t[1], 2, 1, 3);
    RpGeometryBuildMeshes(geometry);       // a list
    geometry->flags |= rpGEOMETRYTRISTRIP; // a rebuild would make a strip
    RpGeometry* copy = WriteAndRead(geometry);
    ASSERT_NE(copy, nullptr) << std::hex << TakeError();
    EXPECT_EQ(copy->mesh->flags, RwUInt32(rpMESHHEADERTRILIST));
    EXPECT_EQ(copy->mesh->totalIndicesInMesh, 6u);
    EXPECT_EQ(RpMeshHeaderGetMeshes(copy->mesh)[0].material, nullptr);
    RpGeometryDestroy(copy);
    // Locking the triangles drops the header; unlocking builds it again, now as a strip.
    RpGeometryLock(geometry, rpGEOMETRYLOCKPOLYGONS);
    EXPECT_EQ(geometry->mesh, nullptr);
    RpGeometryUnlock(geometry);
    EXPECT_EQ(geometry->mesh->flags, RwUInt32(rpMESHHEADERTRISTRIP));
    RpGeometryDestroy(geometry);
}

// The parts of a geometry chunk, changed one at a time by the cases below.
struct GeometryParts {
    RwUInt32 version = rwLIBRARYCURRENTVERSION;
    RwUInt32 flags = rpGEOMETRYPOSITIONS;
    RwInt32 triangles = 1, vertices = 3, morphTargets = 1;
    RwInt32 declaredMorphTargets = -1; // the count in the header when it differs from the targets written
    RwInt32 normalsPresent = 0;
    std::vector<RwUInt16> triangleWords = {1, 0, 0xFFFF, 2};
    Bytes materials = Wrap(rwID_MATLIST, StructChunk(ByteWriter().I32(0)));
    Bytes extension = EmptyExtension();
    bool surface = false;

    Bytes Build() const {
        ByteWriter s;
        s.U32(flags).I32(triangles).I32(vertices).I32(declaredMorphTargets < 0 ? morphTargets
                                                                               : declaredMorphTargets);
        if (surface)
            s.F32(0.2f).F32(0.3f).F32(0.4f);
        for (RwUInt16 w : triangleWords)
            s.U16(w);
        for (RwInt32 m = 0; m < morphTargets; ++m) {
            s.F32(0).F32(0).F32(0).F32(1).I32(1).I32(normalsPresent);
            for (RwInt32 v = 0; v < 3 * vertices * (normalsPresent ? 2 : 1); ++v)
                s.F32(RwReal(v));
        }
        ByteWriter g;
        g.Append(StructChunk(s, version)).Append(materials).Append(extension);
        return Wrap(rwID_GEOMETRY, g.bytes);
    }
};

Bytes MeshExtension(RwUInt32 total, std::vector<std::pair<std::vector<RwInt32>, RwInt32>> meshes) {
    ByteWriter m;
    m.U32(0).U32(RwUInt32(meshes.size())).U32(total);
    for (const auto& [indices, material] : meshes) {
        m.U32(RwUInt32(indices.size())).I32(material);
        for (RwInt32 i : indices)
            m.I32(i);
    }
    return Wrap(rwID_EXTENSION, Wrap(rwID_BINMESHPLUGIN, m.bytes));
}

RpGeometry* ReadGeometry(const Bytes& bytes) {
    return ReadBytes<RpGeometry>(bytes, rwID_GEOMETRY, RpGeometryStreamRead);
}

TEST_F(WorldTest, GeometryStreamsThatWouldLeadOutsideTheirArraysAreRefused) {
    struct Case {
        const char* name;
        std::function<void(GeometryParts&)> change;
    };
    const Case cases[] = {
        {"vertex index beyond the vertices",
         [](GeometryParts& p) {
             p.triangleWords = {1, 0, 0xFFFF, 3};
         }},
        {"material index beyond the list",
         [](GeometryParts& p) {
             p.triangleWords = {1, 0, 0, 2};
         }},
        {"triangles without vertices", [](GeometryParts& p) { p.vertices = 0; }},
        {"more triangles than the struct holds", [](GeometryParts& p) { p.triangles = 0x10000000; }},
        {"normals announced without the normals flag", [](GeometryParts& p) { p.normalsPresent = 1; }},
        {"no morph target", [](GeometryParts& p) { p.morphTargets = 0; }},
        {"more texture sets than the engine keeps",
         [](GeometryParts& p) { p.flags |= rpGEOMETRYTEXCOORDSETS(9); }},
        {"mesh indices beyond their total",
         [](GeometryParts& p) {
             p.extension = MeshExtension(2, {{{0, 1, 2}, -1}});
         }},
        {"mesh index beyond the vertices",
         [](GeometryParts& p) {
             p.extension = MeshExtension(3, {{{0, 1, 3}, -1}});
         }},
        {"mesh material beyond the list",
         [](GeometryParts& p) {
             p.extension = MeshExtension(3, {{{0, 1, 2}, 0}});
         }},
        {"mesh counts short of their total",
         [](GeometryParts& p) {
             p.extension = MeshExtension(6, {{{0, 1, 2}, -1}});
         }},
        {"material list missing", [](GeometryParts& p) { p.materials.clear(); }},
        {"morph targets without room for their positions",
         [](GeometryParts& p) { p.declaredMorphTargets = 0x100000; }},
    };
    RpGeometry* unchanged = ReadGeometry(GeometryParts().Build());
    ASSERT_NE(unchanged, nullptr) << "the unchanged parts must read";
    RpGeometryDestroy(unchanged);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GeometryParts parts;
        c.change(parts);
        const size_t live = AllocationCounter::live.size();
        EXPECT_EQ(ReadGeometry(parts.Build()), nullptr);
        EXPECT_NE(TakeError(), RwInt32(E_RW_NOERROR));
        EXPECT_EQ(AllocationCounter::live.size(), live);
    }
}

// Triangles are checked several at a time (eight, four, two, then one): a word out of range is found in
// every place of a run.
TEST_F(WorldTest, EveryWordOfARunOfTrianglesIsChecked) {
    GeometryParts parts;
    parts.triangles = 15;
    parts.triangleWords.clear();
    std::vector<std::array<RwUInt16, 4>> expected;
    for (RwUInt16 t = 0; t < 15; ++t) {
        const RwUInt16 v0 = t % 3, v1 = (t + 1) % 3, v2 = (t + 2) % 3, material = 0xFFFF;
        parts.triangleWords.insert(parts.triangleWords.end(), {v1, v0, material, v2});
        expected.push_back({v0, v1, v2, material});
    }
    RpGeometry* geometry = ReadGeometry(parts.Build());
    ASSERT_NE(geometry, nullptr);
    for (size_t t = 0; t < expected.size(); ++t) {
        const RpTriangle& triangle = geometry->triangles[t];
        EXPECT_EQ((std::array{triangle.vertIndex[0], triangle.vertIndex[1], triangle.vertIndex[2],
                              triangle.matIndex}),
                  expected[t]);
    }
    RpGeometryDestroy(geometry);
    // 3 is beyond the 3 vertices, and beyond the empty material list.
    for (size_t word = 0; word < parts.triangleWords.size(); ++word) {
        SCOPED_TRACE(word);
        GeometryParts bad = parts;
        bad.triangleWords[word] = 3;
        EXPECT_EQ(ReadGeometry(bad.Build()), nullptr);
        EXPECT_EQ(TakeError(), RwInt32(E_RW_READ));
    }
}

TEST_F(WorldTest, AValidMeshExtensionIsTakenAsRead) {
    GeometryParts parts;
    parts.extension = MeshExtension(3, {{{2, 1, 0}, -1}});
    RpGeometry* geometry = ReadGeometry(parts.Build());
    ASSERT_NE(geometry, nullptr) << std::hex << TakeError();
    const RpMesh& mesh = RpMeshHeaderGetMeshes(geometry->mesh)[0];
    EXPECT_EQ((std::vector<RxVertexIndex>(mesh.indices, mesh.indices + mesh.numIndices)),
              (std::vector<RxVertexIndex>{2, 1, 0}));
    RpGeometryDestroy(geometry);
}

// A geometry read from memory holds its material array and its meshes in its own allocation. They stay
// its own whatever comes after: meshes rebuilt, a second mesh chunk, more materials than were read (the
// sanitizer build checks what is freed).
TEST_F(WorldTest, MaterialsAndMeshesReadFromMemoryOutliveLaterChanges) {
    RpGeometry* source = RpGeometryCreate(4, 2, 0);
    RpMaterial* materials[2] = {RpMaterialCreate(), RpMaterialCreate()};
    RpTriangle* t = RpGeometryGetTriangles(source);
    RpGeometryTriangleSetVertexIndices(source, &t[0], 0, 1, 2);
    RpGeometryTriangleSetVertexIndices(source, &t[1], 2, 1, 3);
    RpGeometryTriangleSetMaterial(source, &t[0], materials[0]);
    RpGeometryTriangleSetMaterial(source, &t[1], materials[1]);
    for (RpMaterial* m : materials)
        RpMaterialDestroy(m);
    RpGeometryBuildMeshes(source);
    Bytes bytes;
    RpGeometryDestroy(WriteAndRead(source, &bytes));
    RpGeometryDestroy(source);
    ByteWriter first, second;
    first.U32(0).U32(1).U32(3).U32(3).I32(-1).I32(2).I32(1).I32(0);
    second.U32(0).U32(1).U32(3).U32(3).I32(-1).I32(0).I32(1).I32(2);
    GeometryParts twoMeshChunks;
    twoMeshChunks.extension = Wrap(rwID_EXTENSION, ByteWriter()
                                                       .Append(Wrap(rwID_BINMESHPLUGIN, first.bytes))
                                                       .Append(Wrap(rwID_BINMESHPLUGIN, second.bytes))
                                                       .bytes);
    enum Then { Destroy, Rebuild, GrowMaterials, SecondMeshChunk };
    for (Then then : {Destroy, Rebuild, GrowMaterials, SecondMeshChunk}) {
        SCOPED_TRACE(then);
        RpGeometry* geometry = ReadGeometry(then == SecondMeshChunk ? twoMeshChunks.Build() : bytes);
        ASSERT_NE(geometry, nullptr) << std::hex << TakeError();
        if (then == SecondMeshChunk) {
            EXPECT_EQ(RpMeshHeaderGetMeshes(geometry->mesh)[0].indices[0], 0);
            RpGeometryDestroy(geometry);
            continue;
        }
        ASSERT_EQ(RpGeometryGetNumMaterials(geometry), 2);
        ASSERT_EQ(geometry->mesh->numMeshes, 2);
        const RpMaterial* read[2] = {geometry->matList.materials[0], geometry->matList.materials[1]};
        if (then == Rebuild) {
            RpGeometryLock(geometry, rpGEOMETRYLOCKPOLYGONS);
            EXPECT_EQ(geometry->mesh, nullptr);
            RpGeometryUnlock(geometry);
            ASSERT_NE(geometry->mesh, nullptr);
            EXPECT_EQ(geometry->mesh->totalIndicesInMesh, 6u);
        }
        if (then == GrowMaterials) {
            for (int i = 0; i < 30; ++i) {
                RpMaterial* material = RpMaterialCreate();
                EXPECT_EQ(RpMaterialListAppendMaterial(&geometry->matList, material), 2 + i);
                RpMaterialDestroy(material);
            }
            EXPECT_EQ(RpGeometryGetNumMaterials(geometry), 32);
        }
        EXPECT_EQ(geometry->matList.materials[0], read[0]);
        EXPECT_EQ(geometry->matList.materials[1], read[1]);
        for (int m = 0; m < 2; ++m)
            EXPECT_EQ(RpMeshHeaderGetMeshes(geometry->mesh)[m].material, read[m]);
        RpGeometryDestroy(geometry);
    }
}

// Room for what follows a geometry is weighed against the bytes there are, as the readers weigh their
// counts: a damaged length or count behind the struct allocates nothing huge, and the read is refused.
TEST_F(WorldTest, DamagedChunksBehindTheStructAskForNoHugeRoom) {
    ByteWriter meshHead, listHead;
    meshHead.Chunk(rwID_BINMESHPLUGIN, 0xFFFFFFF0u, rwLIBRARYCURRENTVERSION).U32(0).U32(1).U32(0x3FFFFFF0u);
    listHead.Chunk(rwID_STRUCT, 0xFFFFFFF0u, rwLIBRARYCURRENTVERSION).I32(0xFFFF);
    GeometryParts longMesh, longList;
    longMesh.extension = Wrap(rwID_EXTENSION, meshHead.bytes);
    longList.materials = Wrap(rwID_MATLIST, listHead.bytes);
    for (const GeometryParts* parts : {&longMesh, &longList}) {
        AllocationCounter::largest = 0;
        EXPECT_EQ(ReadGeometry(parts->Build()), nullptr);
        EXPECT_EQ(TakeError(), E_RW_READ);
        EXPECT_LT(AllocationCounter::largest, 0x10000u);
    }
}

// Mesh indices are narrowed several at a time (thirty-two, sixteen, eight, then one): indices from 0x8000 up
// come through, and a bad index is found in every place of a run.
TEST_F(WorldTest, EveryIndexOfALongMeshIsNarrowedAndChecked) {
    GeometryParts parts;
    parts.vertices = 0x9000;
    std::vector<RwInt32> indices;
    for (RwInt32 i = 0; i < 57; ++i)
        indices.push_back(i % 2 ? 0x8FFF - i : i * 0x28B);
    parts.extension = MeshExtension(RwUInt32(indices.size()), {{indices, -1}});
    RpGeometry* geometry = ReadGeometry(parts.Build());
    ASSERT_NE(geometry, nullptr) << std::hex << TakeError();
    const RpMesh& mesh = RpMeshHeaderGetMeshes(geometry->mesh)[0];
    EXPECT_EQ((std::vector<RwInt32>(mesh.indices, mesh.indices + mesh.numIndices)), indices);
    RpGeometryDestroy(geometry);
    for (size_t at = 0; at < indices.size(); ++at) {
        for (RwInt32 bad : {0x9000, 0x10000, 0x18000, -1, RwInt32(0x80000000u)}) {
            SCOPED_TRACE(testing::Message() << "index " << at << " = " << std::hex << bad);
            std::vector<RwInt32> changed = indices;
            changed[at] = bad;
            GeometryParts badParts = parts;
            badParts.extension = MeshExtension(RwUInt32(indices.size()), {{changed, -1}});
            EXPECT_EQ(ReadGeometry(badParts.Build()), nullptr);
            EXPECT_EQ(TakeError(), RwInt32(E_RW_READ));
        }
    }
}

TEST_F(WorldTest, NativeGeometryWithoutAMeshHeaderBuildsNothingFromAbsentTriangles) {
    GeometryParts parts;
    parts.flags = rpGEOMETRYNATIVE;
    parts.triangles = 0x7FFFFFFF; // only the device's form would hold them
    parts.triangleWords.clear();
    parts.vertices = 0;
    RpGeometry* geometry = ReadGeometry(parts.Build());
    ASSERT_NE(geometry, nullptr) << std::hex << TakeError();
    EXPECT_EQ(geometry->triangles, nullptr);
    EXPECT_EQ(RpGeometryGetMesh(geometry), RpMeshHeaderGetEmpty());
    RpGeometryDestroy(geometry);
}

// A material plugin that sees the default surface properties when each material is made.
class SurfaceTest : public WorldTest {
protected:
    static inline RwSurfaceProperties seen = {};
    void RegisterPlugins() override {
        WorldTest::RegisterPlugins();
        ASSERT_GE(RpMaterialRegisterPlugin(
                      4, 0x7003,
                      [](void* object, RwInt32, RwInt32) {
                          seen = *RpMaterialGetDefaultSurfaceProperties();
                          return object;
                      },
                      nullptr, nullptr),
                  0);
    }
};

TEST_F(SurfaceTest, OldestLibraryVersionCarriesSurfacePropertiesForItsMaterials) {
    ByteWriter fields;
    fields.I32(0).U32(0xFFFFFFFF).I32(0).I32(0).F32(0.5f).F32(0.6f).F32(0.7f);
    const Bytes material =
        Wrap(rwID_MATERIAL, ByteWriter().Append(StructChunk(fields)).Append(EmptyExtension()).bytes);
    struct Case {
        RwUInt32 version;
        RwReal defaultAmbient;
    };
    for (const Case& c : {Case{0x34000, 0.2f}, Case{0x34001, 1.0f}, Case{0x36003, 1.0f}}) {
        SCOPED_TRACE(c.version);
        GeometryParts parts;
        parts.version = c.version;
        parts.surface = c.version == 0x34000;
        parts.materials =
            Wrap(rwID_MATLIST,
                 ByteWriter().Append(StructChunk(ByteWriter().I32(1).I32(-1))).Append(material).bytes);
        RpGeometry* geometry = ReadGeometry(parts.Build());
        ASSERT_NE(geometry, nullptr) << std::hex << TakeError();
        EXPECT_EQ(seen.ambient, c.defaultAmbient);
        // The material's own record always wins, and the defaults are back to 1 afterwards.
        EXPECT_EQ(RpGeometryGetMaterial(geometry, 0)->surfaceProps.specular, 0.6f);
        EXPECT_EQ(RpMaterialGetDefaultSurfaceProperties()->diffuse, 1.0f);
        EXPECT_EQ(geometry->morphTarget[0].verts[2].x, 6.0f);
        RpGeometryDestroy(geometry);
    }
}

} // namespace
