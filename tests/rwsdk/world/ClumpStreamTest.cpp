#include "WorldFixture.h"
#include "tests/support/TempDir.h"

#include <cstdint>
#include <cstring>
#include <fstream>

namespace {

// A model of a root frame with two children, a shared geometry on two atomics, an own geometry on a third,
// a light and a camera, with user data on frames and geometry.
struct Model {
    RpClump* clump;
    RwFrame* root;
    RwFrame* left;
    RwFrame* right;
    RpGeometry* shared;
    RpGeometry* own;
};

RpGeometry* MakeQuad(RpMaterial* a, RpMaterial* b, RwUInt32 flags) {
    RpGeometry* g = RpGeometryCreate(4, 2, flags | rpGEOMETRYPRELIT | rpGEOMETRYNORMALS | rpGEOMETRYTEXTURED);
    RwV3d* v = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(g, 0));
    RwV3d* n = RpMorphTargetGetVertexNormals(RpGeometryGetMorphTarget(g, 0));
    RwTexCoords* uv = RpGeometryGetVertexTexCoords(g, 1);
    for (int i = 0; i < 4; ++i) {
        v[i] = {RwReal(i & 1), RwReal(i >> 1), 0.5f};
        n[i] = {0, 0, 1};
        uv[i] = {RwReal(i & 1), RwReal(i >> 1)};
        RpGeometryGetPreLightColors(g)[i] = {RwUInt8(10 * i), 20, 30, 255};
    }
    RpTriangle* t = RpGeometryGetTriangles(g);
    RpGeometryTriangleSetVertexIndices(g, &t[0], 0, 1, 2);
    RpGeometryTriangleSetVertexIndices(g, &t[1], 1, 3, 2);
    RpGeometryTriangleSetMaterial(g, &t[0], a);
    RpGeometryTriangleSetMaterial(g, &t[1], b);
    RwSphere sphere;
    RpMorphTargetCalculateBoundingSphere(RpGeometryGetMorphTarget(g, 0), &sphere);
    RpMorphTargetSetBoundingSphere(RpGeometryGetMorphTarget(g, 0), &sphere);
    RpGeometryUnlock(g);
    return g;
}

RpAtomic* AddAtomic(RpClump* clump, RwFrame* frame, RpGeometry* geometry) {
    RpAtomic* atomic = RpAtomicCreate();
    RpAtomicSetFrame(atomic, frame);
    RpAtomicSetGeometry(atomic, geometry, 0);
    RpClumpAddAtomic(clump, atomic);
    return atomic;
}

Model MakeModel() {
    Model m{};
    m.clump = RpClumpCreate();
    m.root = RwFrameCreate();
    m.left = RwFrameCreate();
    m.right = RwFrameCreate();
    RwFrameAddChild(m.root, m.right);
    RwFrameAddChild(m.root, m.left); // children: left, right
    const RwV3d offset = {1, 2, 3};
    RwMatrixTranslate(RwFrameGetMatrix(m.left), &offset, rwCOMBINEREPLACE);
    RpClumpSetFrame(m.clump, m.root);
    RpUserDataArray* name =
        RpUserDataFrameGetArray(m.left, RpUserDataFrameAddArray(m.left, "Name", rpSTRINGUSERDATA, 1));
    RpUserDataArraySetString(name, 0, "wing_left");

    RpMaterial* red = RpMaterialCreate();
    RpMaterial* glass = RpMaterialCreate();
    const RwRGBA redColour = {200, 0, 0, 255}, glassColour = {100, 100, 255, 128};
    RpMaterialSetColor(red, &redColour);
    RpMaterialSetColor(glass, &glassColour);
    const RwSurfaceProperties props = {0.5f, 0.25f, 0.75f};
    RpMaterialSetSurfaceProperties(glass, &props);
    m.shared = MakeQuad(red, glass, 0);
    m.own = MakeQuad(red, red, rpGEOMETRYTRISTRIP);
    RpMaterialDestroy(red);
    RpMaterialDestroy(glass);
    RpUserDataArray* ints =
        RpUserDataGeometryGetArray(m.shared, RpUserDataGeometryAddArray(m.shared, "ids", rpINTUSERDATA, 2));
    RpUserDataArraySetInt(ints, 0, 7);
    RpUserDataArraySetInt(ints, 1, -9);

    AddAtomic(m.clump, m.root, m.own);
    AddAtomic(m.clump, m.left, m.shared);
    AddAtomic(m.clump, m.right, m.shared);
    RpGeometryDestroy(m.shared);
    RpGeometryDestroy(m.own);

    RpLight* light = RpLightCreate(rpLIGHTSPOT);
    const RwRGBAReal grey = {0.5f, 0.5f, 0.5f, 1.0f};
    RpLightSetColor(light, &grey);
    RpLightSetRadius(light, 12.0f);
    RpLightSetFrame(light, m.right);
    RpClumpAddLight(m.clump, light);
    RwCamera* camera = RwCameraCreate();
    RwCameraSetFrame(camera, m.left);
    RwCameraSetFarClipPlane(camera, 500.0f);
    RpClumpAddCamera(m.clump, camera);
    return m;
}

TEST_F(WorldTest, ClumpWrittenAndReadBackIsTheSameModel) {
    Model m = MakeModel();
    const Bytes bytes = WriteClump(m.clump);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.size(), 12 + RpClumpStreamGetSize(m.clump));
    RpClump* copy = ReadClump(bytes);
    ASSERT_NE(copy, nullptr) << std::hex << TakeError();

    // The atomics in the same order, the shared geometry shared again.
    std::vector<RpAtomic*> before = Atomics(m.clump), after = Atomics(copy);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0]->geometry, after[1]->geometry);
    EXPECT_EQ(after[0]->geometry->refCount, 2);
    EXPECT_EQ(after[2]->geometry->refCount, 1);
    for (size_t i = 0; i < 3; ++i) {
        const RpGeometry* a = before[i]->geometry;
        const RpGeometry* b = after[i]->geometry;
        EXPECT_EQ(a->flags, b->flags);
        EXPECT_EQ(a->numTexCoordSets, b->numTexCoordSets);
        EXPECT_EQ(std::memcmp(a->triangles, b->triangles, 2 * sizeof(RpTriangle)), 0);
        EXPECT_EQ(std::memcmp(a->morphTarget[0].verts, b->morphTarget[0].verts, 4 * sizeof(RwV3d)), 0);
        EXPECT_EQ(std::memcmp(a->morphTarget[0].normals, b->morphTarget[0].normals, 4 * sizeof(RwV3d)), 0);
        EXPECT_EQ(std::memcmp(a->texCoords[0], b->texCoords[0], 4 * sizeof(RwTexCoords)), 0);
        EXPECT_EQ(std::memcmp(a->preLitLum, b->preLitLum, 4 * sizeof(RwRGBA)), 0);
        ASSERT_EQ(a->matList.numMaterials, b->matList.numMaterials);
        for (RwInt32 k = 0; k < a->matList.numMaterials; ++k) {
            EXPECT_EQ(std::memcmp(&a->matList.materials[k]->color, &b->matList.materials[k]->color, 4), 0);
            EXPECT_EQ(a->matList.materials[k]->surfaceProps.diffuse,
                      b->matList.materials[k]->surfaceProps.diffuse);
        }
        EXPECT_EQ(a->mesh->flags, b->mesh->flags);
        EXPECT_EQ(a->mesh->totalIndicesInMesh, b->mesh->totalIndicesInMesh);
        EXPECT_EQ(std::string(RwFrameGetParent(RpAtomicGetFrame(after[i])) ? "child" : "root"),
                  std::string(RwFrameGetParent(RpAtomicGetFrame(before[i])) ? "child" : "root"));
    }
    // Frames: the root's children keep their order and their user data and matrices.
    RwFrame* root = RpClumpGetFrame(copy);
    ASSERT_NE(root->child, nullptr);
    RwFrame* left = root->child;
    EXPECT_EQ(left->modelling.pos.x, 1.0f);
    ASSERT_EQ(RpUserDataFrameGetArrayCount(left), 1);
    EXPECT_STREQ(RpUserDataArrayGetString(RpUserDataFrameGetArray(left, 0), 0), "wing_left");
    EXPECT_EQ(RpUserDataFrameGetArrayCount(left->next), 0);
    RpUserDataArray* ints = RpUserDataGeometryGetArray(after[0]->geometry, 0);
    ASSERT_NE(ints, nullptr);
    EXPECT_STREQ(RpUserDataArrayGetName(ints), "ids");
    EXPECT_EQ(RpUserDataArrayGetInt(ints, 1), -9);

    EXPECT_EQ(RpClumpGetNumLights(copy), 1);
    EXPECT_EQ(RpClumpGetNumCameras(copy), 1);
    RpClumpDestroy(m.clump);
    RpClumpDestroy(copy);
}

// The same bytes through a file stream, the reader's other road.
RpClump* ReadClumpFromFile(const Bytes& bytes) {
    TestSupport::TempDir dir("corvane-clumps");
    const std::string path = (dir / "model.dff").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    RwStream* file = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, path.c_str());
    if (!file)
        return nullptr;
    RpClump* clump =
        RwStreamFindChunk(file, rwID_CLUMP, nullptr, nullptr) ? RpClumpStreamRead(file) : nullptr;
    RwStreamClose(file, nullptr);
    return clump;
}

// Memory streams take their own road through the reader (records in place, materials and meshes in the
// geometry's allocation); a file of the same bytes gives the same model. The geometries read from memory then
// go through what later owners do to them: shared by a clone that outlives the clump, meshes rebuilt and
// materials added (the sanitizer build checks what is freed).
TEST_F(WorldTest, AModelReadFromAFileIsTheOneReadFromMemory) {
    Model m = MakeModel();
    const Bytes bytes = WriteClump(m.clump);
    RpClumpDestroy(m.clump);
    RpClump* fromFile = ReadClumpFromFile(bytes);
    ASSERT_NE(fromFile, nullptr) << std::hex << TakeError();
    RpClump* fromMemory = ReadClump(bytes);
    ASSERT_NE(fromMemory, nullptr) << std::hex << TakeError();
    EXPECT_EQ(WriteClump(fromMemory), WriteClump(fromFile));
    EXPECT_EQ(WriteClump(fromMemory), bytes);
    RpClumpDestroy(fromFile);

    RpClump* clone = RpClumpClone(fromMemory);
    RpClumpDestroy(fromMemory);
    for (RpAtomic* atomic : Atomics(clone)) {
        RpGeometry* geometry = RpAtomicGetGeometry(atomic);
        RpGeometryLock(geometry, rpGEOMETRYLOCKPOLYGONS);
        ASSERT_NE(RpGeometryUnlock(geometry), nullptr);
        RpMaterial* extra = RpMaterialCreate();
        EXPECT_GE(RpMaterialListAppendMaterial(&geometry->matList, extra), 1);
        RpMaterialDestroy(extra);
    }
    RpClumpDestroy(clone);
}

// The look ahead over a model's geometries keeps what it finds for a number of them only: a model with more
// geometries than that (each with its own materials and meshes) reads the same from memory as from a file.
TEST_F(WorldTest, AModelOfManyGeometriesReadsTheSameFromMemoryAsFromAFile) {
    RpClump* clump = RpClumpCreate();
    RwFrame* root = RwFrameCreate();
    RpClumpSetFrame(clump, root);
    RpMaterial* materials[3] = {RpMaterialCreate(), RpMaterialCreate(), RpMaterialCreate()};
    for (int i = 0; i < 150; ++i) {
        RpGeometry* geometry =
            MakeQuad(materials[i % 3], materials[(i / 3) % 3], i % 2 ? RwUInt32(rpGEOMETRYTRISTRIP) : 0u);
        AddAtomic(clump, root, geometry);
        RpGeometryDestroy(geometry);
    }
    for (RpMaterial* material : materials)
        RpMaterialDestroy(material);
    const Bytes bytes = WriteClump(clump);
    RpClumpDestroy(clump);
    RpClump* fromFile = ReadClumpFromFile(bytes);
    ASSERT_NE(fromFile, nullptr) << std::hex << TakeError();
    RpClump* fromMemory = ReadClump(bytes);
    ASSERT_NE(fromMemory, nullptr) << std::hex << TakeError();
    EXPECT_EQ(Atomics(fromMemory).size(), 150u);
    EXPECT_EQ(WriteClump(fromMemory), WriteClump(fromFile));
    EXPECT_EQ(WriteClump(fromMemory), bytes);
    RpClumpDestroy(fromFile);
    RpClumpDestroy(fromMemory);
}

// The live block of the engine's that holds an address, or null.
void* BlockHolding(const void* address) {
    auto at = static_cast<const RwUInt8*>(address);
    for (const auto& [block, size] : AllocationCounter::live)
        if (at >= static_cast<const RwUInt8*>(block) && at < static_cast<const RwUInt8*>(block) + size)
            return block;
    return nullptr;
}

// Offset of the geometry list's index-th geometry chunk in a written clump (the clump's children in order:
// struct, frame list, geometry list).
size_t GeometryChunkAt(const Bytes& bytes, int index) {
    auto word = [&](size_t at) { return _rwChunkWord(bytes.data() + at, 0); };
    size_t at = 12;
    while (word(at) != rwID_GEOMETRYLIST)
        at += 12 + word(at + 4);
    at += 12;
    at += 12 + word(at + 4); // the list's struct
    for (int i = 0; i < index; ++i)
        at += 12 + word(at + 4);
    return at;
}

// The geometries of a model read from memory share one allocation, which goes with the last of them: a
// geometry kept past its clump keeps its data, and a read that fails half-way leaves nothing behind.
TEST_F(WorldTest, GeometriesReadFromMemoryShareOneBlockThatGoesWithTheLast) {
    Model m = MakeModel();
    const Bytes bytes = WriteClump(m.clump);
    const std::vector<RwV3d> vertices(m.own->morphTarget[0].verts, m.own->morphTarget[0].verts + 4);
    RpClumpDestroy(m.clump);
    const size_t liveBefore = AllocationCounter::live.size();

    RpClump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr) << std::hex << TakeError();
    const std::vector<RpAtomic*> atomics = Atomics(clump);
    ASSERT_EQ(atomics.size(), 3u);
    RpGeometry* own = atomics[2]->geometry;
    void* block = BlockHolding(atomics[0]->geometry);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(BlockHolding(own), block);
    EXPECT_EQ(BlockHolding(own->mesh), block);
    RpGeometryAddReference(own);
    RpClumpDestroy(clump);
    ASSERT_TRUE(AllocationCounter::live.count(block));
    EXPECT_EQ(std::memcmp(own->morphTarget[0].verts, vertices.data(), 4 * sizeof(RwV3d)), 0);
    RpGeometryDestroy(own);
    EXPECT_FALSE(AllocationCounter::live.count(block));
    EXPECT_EQ(AllocationCounter::live.size(), liveBefore);

    // The second geometry's vertex count beyond what its bytes hold: the first is read into the block,
    // then all of it goes.
    Bytes damaged = bytes;
    const size_t second = GeometryChunkAt(bytes, 1);
    ASSERT_EQ(_rwChunkWord(damaged.data() + second, 0), rwID_GEOMETRY);
    damaged[second + 33] = 0xFF; // 4 vertices become 65,284
    EXPECT_EQ(ReadClump(damaged), nullptr);
    EXPECT_EQ(AllocationCounter::live.size(), liveBefore);
}

// A model read from memory lays out each geometry's arrays after where its bytes lie in the buffer: from any
// offset (every 4 bytes within a cache line) it reads the same, and its geometries keep their arrays when an
// atomic goes first and when morph targets are added to them (the sanitizer build checks the frees).
TEST_F(WorldTest, AModelReadFromAnyOffsetInMemoryIsTheSameAndKeepsItsArrays) {
    Model m = MakeModel();
    const Bytes bytes = WriteClump(m.clump);
    const std::vector<RwV3d> vertices(m.own->morphTarget[0].verts, m.own->morphTarget[0].verts + 4);
    const std::vector<RwV3d> normals(m.own->morphTarget[0].normals, m.own->morphTarget[0].normals + 4);
    const std::vector<RwTexCoords> uv(m.own->texCoords[0], m.own->texCoords[0] + 4);
    RpClumpDestroy(m.clump);
    const size_t liveBefore = AllocationCounter::live.size();
    Bytes buffer(bytes.size() + 128);
    RwUInt8* const lineStart =
        buffer.data() + (64 - reinterpret_cast<std::uintptr_t>(buffer.data()) % 64) % 64;
    for (size_t offset = 0; offset < 64; offset += 4) {
        SCOPED_TRACE(offset);
        std::memcpy(lineStart + offset, bytes.data(), bytes.size());
        RwMemory memory = {lineStart + offset, RwUInt32(bytes.size())};
        RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
        RpClump* clump =
            RwStreamFindChunk(stream, rwID_CLUMP, nullptr, nullptr) ? RpClumpStreamRead(stream) : nullptr;
        RwStreamClose(stream, nullptr);
        ASSERT_NE(clump, nullptr) << std::hex << TakeError();
        EXPECT_EQ(WriteClump(clump), bytes);

        std::vector<RpAtomic*> atomics = Atomics(clump);
        ASSERT_EQ(atomics.size(), 3u);
        RpClumpRemoveAtomic(clump, atomics[0]);
        RpAtomicDestroy(atomics[0]);
        RpGeometry* own = atomics[2]->geometry;
        ASSERT_EQ(RpGeometryAddMorphTargets(own, 2), 1);
        ASSERT_EQ(RpGeometryGetNumMorphTargets(own), 3);
        EXPECT_EQ(std::memcmp(own->morphTarget[0].verts, vertices.data(), 4 * sizeof(RwV3d)), 0);
        EXPECT_EQ(std::memcmp(own->morphTarget[0].normals, normals.data(), 4 * sizeof(RwV3d)), 0);
        EXPECT_EQ(std::memcmp(own->texCoords[0], uv.data(), 4 * sizeof(RwTexCoords)), 0);
        RpClumpDestroy(clump);
        EXPECT_EQ(AllocationCounter::live.size(), liveBefore);
    }
}

} // namespace
