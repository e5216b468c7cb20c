// Atomics and clumps: lists, geometry references, clones, bounding spheres, and the clump stream's
// layout, order and failures.
#include "WorldFixture.h"

#include <cmath>

namespace {

RpGeometry* Triangle(RwReal radius) {
    RpGeometry* geometry = RpGeometryCreate(3, 1, 0);
    RpGeometryTriangleSetVertexIndices(geometry, RpGeometryGetTriangles(geometry), 0, 1, 2);
    const RwSphere sphere = {{1, 2, 3}, radius};
    RpMorphTargetSetBoundingSphere(RpGeometryGetMorphTarget(geometry, 0), &sphere);
    return geometry;
}

// A clump whose atomics were added first, second, third, each with its own frame under the root.
RpClump* ThreeAtomicClump(RpGeometry* geometry, RpAtomic* out[3]) {
    RpClump* clump = RpClumpCreate();
    RwFrame* root = RwFrameCreate();
    RpClumpSetFrame(clump, root);
    for (int i = 0; i < 3; ++i) {
        RwFrame* frame = RwFrameCreate();
        RwFrameAddChild(root, frame);
        out[i] = RpAtomicCreate();
        RpAtomicSetFrame(out[i], frame);
        RpAtomicSetGeometry(out[i], geometry, 0);
        RpClumpAddAtomic(clump, out[i]);
    }
    return clump;
}

TEST_F(WorldTest, NewAtomicHasTheDocumentedFields) {
    RpAtomic* atomic = RpAtomicCreate();
    EXPECT_EQ(atomic->object.object.type, rwATOMIC);
    EXPECT_EQ(RpAtomicGetFlags(atomic), rpATOMICCOLLISIONTEST | rpATOMICRENDER);
    EXPECT_EQ(atomic->object.object.privateFlags, rpATOMICPRIVATEWORLDBOUNDDIRTY);
    EXPECT_EQ(atomic->interpolator.flags, 3);
    EXPECT_EQ(atomic->interpolator.time, 1.0f);
    EXPECT_EQ(atomic->renderCallBack, AtomicDefaultRenderCallBack);
    EXPECT_EQ(atomic->pipeline, nullptr);
    // The default atomic pipeline draws nothing for an atomic without geometry.
    EXPECT_EQ(RpAtomicRender(atomic), atomic);
    RpAtomicDestroy(atomic);
}

TEST_F(WorldTest, AtomicsComeBackNewestFirstAndMayBeDestroyedDuringTheWalk) {
    RpGeometry* geometry = Triangle(1.0f);
    RpAtomic* added[3];
    RpClump* clump = ThreeAtomicClump(geometry, added);
    EXPECT_EQ(Atomics(clump), (std::vector<RpAtomic*>{added[2], added[1], added[0]}));
    EXPECT_EQ(geometry->refCount, 4);
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* a, void*) {
            RpClumpRemoveAtomic(a->clump, a);
            RpAtomicDestroy(a);
            return a;
        },
        nullptr);
    EXPECT_EQ(RpClumpGetNumAtomics(clump), 0);
    EXPECT_EQ(geometry->refCount, 1);
    RpGeometryDestroy(geometry);
    RpClumpDestroy(clump);
}

TEST_F(WorldTest, SettingTheSameGeometryAgainKeepsItsCount) {
    RpGeometry* geometry = Triangle(2.0f);
    RpAtomic* atomic = RpAtomicCreate();
    RpAtomicSetGeometry(atomic, geometry, 0);
    RpAtomicSetGeometry(atomic, geometry, 0);
    EXPECT_EQ(geometry->refCount, 2);
    EXPECT_EQ(RpAtomicGetBoundingSphere(atomic)->radius, 2.0f);
    RpGeometry* other = Triangle(5.0f);
    RpAtomicSetGeometry(atomic, other, rpATOMICSAMEBOUNDINGSPHERE); // sphere kept
    EXPECT_EQ(RpAtomicGetBoundingSphere(atomic)->radius, 2.0f);
    EXPECT_EQ(geometry->refCount, 1);
    RpGeometryDestroy(geometry);
    RpGeometryDestroy(other);
    RpAtomicDestroy(atomic); // the last reference of the other geometry goes with it
}

TEST_F(WorldTest, CloneHasCopiesInReverseOrderOnCopiedFrames) {
    RpGeometry* geometry = Triangle(1.0f);
    RpAtomic* added[3];
    RpClump* clump = ThreeAtomicClump(geometry, added);
    RpLight* light = RpLightCreate(rpLIGHTPOINT);
    RpLightSetFrame(light, RpClumpGetFrame(clump));
    RpClumpAddLight(clump, light);
    RpClump* clone = RpClumpClone(clump);
    ASSERT_NE(clone, nullptr);
    std::vector<RpAtomic*> copies = Atomics(clone);
    ASSERT_EQ(copies.size(), 3u);
    // The source visits third, second, first; the clone visits the copies of first, second, third.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(copies[i]->geometry, geometry);
        RwFrame* frame = RpAtomicGetFrame(copies[i]);
        EXPECT_NE(frame, RpAtomicGetFrame(added[i]));
        EXPECT_EQ(RwFrameGetParent(frame), RpClumpGetFrame(clone));
        EXPECT_EQ(frame->root, RpClumpGetFrame(clone));
    }
    EXPECT_EQ(geometry->refCount, 7);
    EXPECT_EQ(RpClumpGetNumLights(clone), 0); // lights are not cloned
    // The source's hierarchy is intact.
    EXPECT_EQ(RpAtomicGetFrame(added[0])->root, RpClumpGetFrame(clump));
    RpClumpDestroy(clone);
    RpClumpDestroy(clump);
    RpGeometryDestroy(geometry);
}

TEST_F(WorldTest, CloneOfAClumpWithAFramelessAtomicFailsWithCode5) {
    RpClump* clump = RpClumpCreate();
    RpClumpSetFrame(clump, RwFrameCreate());
    RpClumpAddAtomic(clump, RpAtomicCreate());
    EXPECT_EQ(RpClumpClone(clump), nullptr);
    EXPECT_EQ(TakeError(), 5);
    RpClumpDestroy(clump);
}

TEST_F(WorldTest, WorldBoundingSphereFollowsTheFrame) {
    RpGeometry* geometry = Triangle(1.5f);
    RpAtomic* atomic = RpAtomicCreate();
    RwFrame* frame = RwFrameCreate();
    RpAtomicSetFrame(atomic, frame);
    RpAtomicSetGeometry(atomic, geometry, 0);
    RpGeometryDestroy(geometry);
    struct Case {
        const char* name;
        std::function<void(RwMatrix*)> set;
        RwV3d centre;
        RwReal radius;
    };
    const Case cases[] = {
        {"identity", [](RwMatrix* m) { RwMatrixSetIdentity(m); }, {1, 2, 3}, 1.5f},
        {"scaled by 2",
         [](RwMatrix* m) {
             const RwV3d s = {2, 2, 2};
             RwMatrixScale(m, &s, rwCOMBINEREPLACE);
         },
         {2, 4, 6},
         3.0f},
        {"rotated a quarter turn about z",
         [](RwMatrix* m) {
             const RwV3d z = {0, 0, 1};
             RwMatrixRotate(m, &z, 90.0f, rwCOMBINEREPLACE);
         },
         {-2, 1, 3},
         1.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.set(RwFrameGetMatrix(frame));
        RwFrameUpdateObjects(frame);
        const RwSphere* sphere = RpAtomicGetWorldBoundingSphere(atomic);
        EXPECT_NEAR(sphere->center.x, c.centre.x, 1e-5f);
        EXPECT_NEAR(sphere->center.y, c.centre.y, 1e-5f);
        EXPECT_NEAR(sphere->center.z, c.centre.z, 1e-5f);
        EXPECT_NEAR(sphere->radius, c.radius, 1e-5f);
    }
    RpAtomicDestroy(atomic);
    RwFrameDestroy(frame);
}

TEST_F(WorldTest, OneMorphTargetInterpolatesToItsOwnSphere) {
    RpGeometry* geometry = Triangle(4.0f);
    RpAtomic* atomic = RpAtomicCreate();
    RpAtomicSetGeometry(atomic, geometry, 0);
    atomic->boundingSphere = {{9, 9, 9}, 9};
    atomic->interpolator.flags |= rpINTERPOLATORDIRTYSPHERE;
    RwFrame* frame = RwFrameCreate();
    RpAtomicSetFrame(atomic, frame);
    RpAtomicGetWorldBoundingSphere(atomic);
    EXPECT_EQ(atomic->boundingSphere.radius, 4.0f);
    EXPECT_EQ(atomic->boundingSphere.center.x, 1.0f);
    EXPECT_FALSE(atomic->interpolator.flags & rpINTERPOLATORDIRTYSPHERE);
    RpAtomicDestroy(atomic);
    RpGeometryDestroy(geometry);
    RwFrameDestroy(frame);
}

TEST_F(WorldTest, StreamOfNoObjectsReadsAsAFrameHierarchyOnly) {
    RpClump* clump = ReadClump(ClumpChunk(FrameListChunk(3), GeometryListChunk({}), {}));
    ASSERT_NE(clump, nullptr) << std::hex << TakeError();
    EXPECT_EQ(RpClumpGetNumAtomics(clump), 0);
    EXPECT_EQ(RpClumpGetNumLights(clump), 0);
    RwFrame* root = RpClumpGetFrame(clump);
    ASSERT_NE(root, nullptr);
    ASSERT_NE(root->child, nullptr);
    EXPECT_NE(root->child->child, nullptr);
    RpClumpDestroy(clump);
}

TEST_F(WorldTest, WithoutAGeometryListEachAtomicCarriesItsOwn) {
    const Bytes bytes = ClumpChunk(FrameListChunk(2), GeometryListChunk({}),
                                   {AtomicChunk(0, 99, 0x05, TriangleGeometryChunk(1.0f)),
                                    AtomicChunk(1, 99, 0x04, TriangleGeometryChunk(2.0f))});
    RpClump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr) << std::hex << TakeError();
    std::vector<RpAtomic*> atomics = Atomics(clump);
    ASSERT_EQ(atomics.size(), 2u);
    // Stored first, second: visited second, first.
    EXPECT_EQ(RpAtomicGetBoundingSphere(atomics[0])->radius, 2.0f);
    EXPECT_EQ(RpAtomicGetFlags(atomics[0]), 0x04);
    EXPECT_EQ(RpAtomicGetFrame(atomics[0]), RpClumpGetFrame(clump)->child);
    EXPECT_EQ(RpAtomicGetBoundingSphere(atomics[1])->radius, 1.0f);
    EXPECT_NE(atomics[0]->geometry, atomics[1]->geometry);
    EXPECT_EQ(atomics[0]->geometry->refCount, 1);
    const RpTriangle& t = atomics[0]->geometry->triangles[0];
    EXPECT_EQ(t.vertIndex[0], 0);
    EXPECT_EQ(t.vertIndex[1], 1);
    EXPECT_EQ(t.vertIndex[2], 2);
    EXPECT_EQ(t.matIndex, 0xFFFF);
    RpClumpDestroy(clump);
}

TEST_F(WorldTest, SharedGeometryIsCountedAndAnUnusedOneIsDestroyed) {
    const Bytes bytes =
        ClumpChunk(FrameListChunk(1), GeometryListChunk({TriangleGeometryChunk(1), TriangleGeometryChunk(7)}),
                   {AtomicChunk(0, 0, 5), AtomicChunk(0, 0, 5)});
    RpClump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr) << std::hex << TakeError();
    std::vector<RpAtomic*> atomics = Atomics(clump);
    ASSERT_EQ(atomics.size(), 2u);
    EXPECT_EQ(atomics[0]->geometry, atomics[1]->geometry);
    EXPECT_EQ(atomics[0]->geometry->refCount, 2);
    RpClumpDestroy(clump); // the fixture finds the unused geometry freed
}

// A rights callback on a plugin of the atomics and of the materials, recording what it is given.
class RightsTest : public WorldTest {
protected:
    static inline RwUInt32 lastExtra = 0;
    static inline int calls = 0;
    void RegisterPlugins() override {
        WorldTest::RegisterPlugins();
        auto rights = [](void* object, RwInt32, RwInt32, RwUInt32 extra) -> RwInt32 {
            ++calls;
            lastExtra = extra;
            return object ? 1 : 0;
        };
        ASSERT_GE(RpAtomicRegisterPlugin(4, 0x7001, nullptr, nullptr, nullptr), 0);
        ASSERT_GE(RpAtomicSetStreamRightsCallBack(0x7001, rights), 0);
        ASSERT_GE(RpMaterialRegisterPlugin(4, 0x7001, nullptr, nullptr, nullptr), 0);
        ASSERT_GE(RpMaterialSetStreamRightsCallBack(0x7001, rights), 0);
    }
};

TEST_F(RightsTest, RightsSubChunksOfFourAndEightBytes) {
    struct Case {
        const char* name;
        Bytes payload;
        int calls;
        RwUInt32 extra;
    };
    const Case cases[] = {
        {"plugin id only", ByteWriter().U32(0x7001).bytes, 1, 0},
        {"plugin id and extra data", ByteWriter().U32(0x7001).U32(42).bytes, 1, 42},
        {"no rights asked for", ByteWriter().U32(0).bytes, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        calls = 0;
        lastExtra = 99;
        const Bytes extension = Wrap(rwID_EXTENSION, Wrap(rwID_RIGHTTORENDER, c.payload));
        RpClump* clump = ReadClump(ClumpChunk(FrameListChunk(1), GeometryListChunk({TriangleGeometryChunk()}),
                                              {AtomicChunk(0, 0, 5, {}, extension)}));
        ASSERT_NE(clump, nullptr) << std::hex << TakeError();
        EXPECT_EQ(calls, c.calls);
        if (c.calls) {
            EXPECT_EQ(lastExtra, c.extra);
        }
        RpClumpDestroy(clump);

        calls = 0;
        ByteWriter fields;
        fields.I32(0).U32(0xFFFFFFFF).I32(0).I32(0).F32(1).F32(1).F32(1);
        ByteWriter body;
        body.Append(StructChunk(fields)).Append(extension);
        RpMaterial* material =
            ReadBytes<RpMaterial>(Wrap(rwID_MATERIAL, body.bytes), rwID_MATERIAL, RpMaterialStreamRead);
        ASSERT_NE(material, nullptr);
        EXPECT_EQ(calls, c.calls);
        RpMaterialDestroy(material);
    }
}

// A frame list of two frames that both have no parent.
Bytes TwoRootFrames() {
    const Bytes one = FrameListChunk(1);
    const Bytes record(one.begin() + 28, one.begin() + 84);
    ByteWriter s;
    s.I32(2).Append(record).Append(record);
    return Wrap(rwID_FRAMELIST,
                ByteWriter().Append(StructChunk(s)).Append(EmptyExtension()).Append(EmptyExtension()).bytes);
}

// The first error reported stays pending: a stream that ends early says so before the reader's own error.
TEST_F(WorldTest, DamagedClumpStreamsFailWithTheirErrorAndLeaveNothing) {
    auto light = [](RwInt32 frame) {
        ByteWriter s;
        s.F32(1).F32(1).F32(1).F32(1).F32(0).U16(3).U16(1);
        ByteWriter index;
        index.I32(frame);
        ByteWriter l;
        l.Append(StructChunk(index))
            .Append(Wrap(rwID_LIGHT, ByteWriter().Append(StructChunk(s)).Append(EmptyExtension()).bytes));
        return l.bytes;
    };
    struct Case {
        const char* name;
        Bytes bytes;
        RwUInt32 error;
    };
    const Bytes geometries = GeometryListChunk({TriangleGeometryChunk()});
    const Bytes whole = ClumpChunk(FrameListChunk(1), geometries, {AtomicChunk(0, 0, 5)});
    const Case cases[] = {
        {"frame index beyond the list", ClumpChunk(FrameListChunk(2), geometries, {AtomicChunk(2, 0, 5)}),
         E_RW_READ},
        {"negative frame index", ClumpChunk(FrameListChunk(2), geometries, {AtomicChunk(-1, 0, 5)}),
         E_RW_READ},
        {"geometry index beyond the list", ClumpChunk(FrameListChunk(1), geometries, {AtomicChunk(0, 1, 5)}),
         E_RW_READ},
        {"light on a frame beyond the list",
         ClumpChunk(FrameListChunk(1), geometries, {AtomicChunk(0, 0, 5)}, {light(1)}), E_RW_READ},
        {"missing camera", ClumpChunk(FrameListChunk(1), geometries, {AtomicChunk(0, 0, 5)}, {light(0)}, 1),
         E_RX_ENDOFSTREAM},
        {"second root frame", ClumpChunk(TwoRootFrames(), geometries, {AtomicChunk(1, 0, 5)}), E_RW_READ},
        {"atomic chunk missing", ClumpChunk(FrameListChunk(1), geometries, {Bytes()}), E_RX_ENDOFSTREAM},
        {"truncated after the geometries", Bytes(whole.begin(), whole.end() - 20), E_RX_ENDOFSTREAM},
        {"geometry of a newer library",
         ClumpChunk(FrameListChunk(1), GeometryListChunk({[] {
                        Bytes g = TriangleGeometryChunk();
                        const RwUInt32 stamp = RwLibraryStampEncode(0x37000, 0xFFFF);
                        std::memcpy(&g[8], &stamp, 4);
                        return g;
                    }()}),
                    {AtomicChunk(0, 0, 5)}),
         E_RW_BADVERSION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadClump(c.bytes), nullptr);
        EXPECT_EQ(RwUInt32(TakeError()), c.error);
    }
}

TEST_F(WorldTest, ChunkOfAnUnreadableVersionReportsIt) {
    Bytes bytes = ClumpChunk(FrameListChunk(1), GeometryListChunk({}), {});
    const RwUInt32 stamp = RwLibraryStampEncode(0x33000, 0xFFFF);
    std::memcpy(&bytes[12 + 8], &stamp, 4); // the clump's struct chunk
    EXPECT_EQ(ReadClump(bytes), nullptr);
    EXPECT_EQ(RwUInt32(TakeError()), RwUInt32(E_RW_BADVERSION));
}

} // namespace
