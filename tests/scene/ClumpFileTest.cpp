// Model files through the clump cache as the program installs it: read once, handed out as clones.
#include "scene/ClumpFile.h"

#include "base/ClumpCache.h"
#include "platform/win32/Files.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/rpworld.h"
#include "tests/support/TempDir.h"
#include "tests/support/ClumpCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

class ClumpFile : public ::testing::Test {
protected:
    TestSupport::TempDir scratch{"corvane-clumpfile"};
    std::filesystem::path dir;

    void SetUp() override {
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
        ASSERT_TRUE(RpWorldPluginAttach());
        RwEngineOpenParams params = {nullptr};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineStart());
        dir = scratch.path;
        std::filesystem::create_directories(dir);
        Base::ClumpCache::Directory = dir.string() + "\\";
        Rw::InstallClumpCache();
    }
    void TearDown() override {
        TestSupport::RemoveClumpCache();
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
        std::filesystem::remove_all(dir);
        Win32::FlushPathCache();
    }

    // A clump of one atomic with a one-triangle geometry, hidden and with a stale sphere.
    void WriteModel(const std::string& name) {
        RpClump* clump = RpClumpCreate();
        RwFrame* frame = RwFrameCreate();
        RpClumpSetFrame(clump, frame);
        RpGeometry* geometry = RpGeometryCreate(3, 1, 0);
        RpGeometryTriangleSetVertexIndices(geometry, RpGeometryGetTriangles(geometry), 0, 1, 2);
        RwV3d* v = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(geometry, 0));
        v[0] = {0, 0, 0};
        v[1] = {2, 0, 0};
        v[2] = {0, 2, 0};
        const RwSphere stale = {{9, 9, 9}, 0.5f};
        RpMorphTargetSetBoundingSphere(RpGeometryGetMorphTarget(geometry, 0), &stale);
        RpAtomic* atomic = RpAtomicCreate();
        RpAtomicSetFlags(atomic, 0);
        RpAtomicSetFrame(atomic, frame);
        RpAtomicSetGeometry(atomic, geometry, 0);
        RpGeometryDestroy(geometry);
        RpClumpAddAtomic(clump, atomic);
        const std::string path = (dir / name).string();
        RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMWRITE, path.c_str());
        ASSERT_NE(stream, nullptr);
        EXPECT_NE(RpClumpStreamWrite(clump, stream), nullptr);
        RwStreamClose(stream, nullptr);
        RpClumpDestroy(clump);
    }
};

TEST_F(ClumpFile, CacheHandsOutClonesOfOneMaster) {
    WriteModel("tank.dff");
    RpClump* a = Base::ClumpCache::Get("tank.dff");
    RpClump* b = Base::ClumpCache::Get("tank.dff");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(RpClumpGetNumAtomics(a), 1);
    ASSERT_EQ(Base::ClumpCache::Entries.size(), 1u);
    RpClumpDestroy(a);
    // The master lives on: a third clone still has its atomic and the shared geometry.
    RpClump* c = Base::ClumpCache::Get("tank.dff");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(RpClumpGetNumAtomics(c), 1);
    RpClumpDestroy(b);
    RpClumpDestroy(c);
}

TEST_F(ClumpFile, ReadingRecomputesSpheresAndShowsEveryPart) {
    WriteModel("crate.dff");
    RpClump* clump = Rw::ReadClumpFile((dir / "crate.dff").string().c_str());
    ASSERT_NE(clump, nullptr);
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* atomic, void*) {
            EXPECT_EQ(RpAtomicGetFlags(atomic), rpATOMICCOLLISIONTEST | rpATOMICRENDER);
            const RwSphere& sphere = RpGeometryGetMorphTarget(RpAtomicGetGeometry(atomic), 0)->boundingSphere;
            EXPECT_FLOAT_EQ(sphere.center.x, 1.0f);
            EXPECT_FLOAT_EQ(sphere.radius, std::sqrt(2.0f) * 1.001f);
            EXPECT_TRUE(atomic->interpolator.flags & rpINTERPOLATORDIRTYSPHERE);
            return atomic;
        },
        nullptr);
    RpClumpDestroy(clump);
}

TEST_F(ClumpFile, MissingOrDamagedFilesGiveNull) {
    EXPECT_EQ(Base::ClumpCache::Get("none.dff"), nullptr);
    EXPECT_EQ(Base::ClumpCache::Get("none.dff"), nullptr);
    std::ofstream(dir / "junk.dff") << "not a model";
    EXPECT_EQ(Rw::ReadClumpFile((dir / "junk.dff").string().c_str()), nullptr);
    EXPECT_EQ(Base::ClumpCache::Get("junk.dff"), nullptr);
}

} // namespace
