// An engine without a device, with the plugins the game registers, and small models built in memory or read
// from the built sample data.
#pragma once

#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/Frame.h"
#include "scene/World.h"
#include "scene/Wrappers.h"

#include "base/ClumpCache.h"
#include "base/Info.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"
#include "tests/support/ClumpCache.h"
#include "tests/support/Clumps.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

// The plugins the game registers, attached between the engine's initialisation and its opening.
inline void AttachScenePlugins() {
    ASSERT_TRUE(RpWorldPluginAttach());
    ASSERT_TRUE(RpUserDataPluginAttach());
    ASSERT_TRUE(RpCollisionPluginAttach());
    ASSERT_TRUE(Rw::Frame::RegisterPlugins());
    ASSERT_TRUE(Rw::RegisterWrapperPlugins());
    ASSERT_TRUE(Rw::AtomicLodData::RegisterPlugin());
}

class SceneEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
        ASSERT_NO_FATAL_FAILURE(AttachScenePlugins());
        RwEngineOpenParams params = {nullptr};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineStart());
    }
    void TearDown() override {
        EXPECT_EQ(Rw::Clump::LiveCount(), 0);
        EXPECT_EQ(Rw::Atomic::LiveCount(), 0);
        EXPECT_EQ(Rw::Light::LiveCount(), 0);
        EXPECT_EQ(Rw::Camera::LiveCount(), 0);
        EXPECT_EQ(Rw::Frame::LiveFrameCount(), 0);
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }

public:
    struct TrianglePart {
        const char* name; // geometry user data "Name"; null: none
        RwV3d a, b, c;
    };

    // A clump whose atomics (on frames below the root, in the order given) each hold triangles.
    static RpClump* MakeClump(std::initializer_list<TrianglePart> parts) {
        RpClump* clump = RpClumpCreate();
        RwFrame* root = RwFrameCreate();
        RpClumpSetFrame(clump, root);
        for (const TrianglePart& part : parts) {
            RpGeometry* geometry = RpGeometryCreate(3, 1, rpGEOMETRYPOSITIONS);
            RpGeometryTriangleSetVertexIndices(geometry, RpGeometryGetTriangles(geometry), 0, 1, 2);
            RwV3d* v = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(geometry, 0));
            v[0] = part.a;
            v[1] = part.b;
            v[2] = part.c;
            RwSphere sphere;
            RpMorphTargetCalculateBoundingSphere(RpGeometryGetMorphTarget(geometry, 0), &sphere);
            RpMorphTargetSetBoundingSphere(RpGeometryGetMorphTarget(geometry, 0), &sphere);
            if (part.name) {
                const RwInt32 index = RpUserDataGeometryAddArray(geometry, "Name", rpSTRINGUSERDATA, 1);
                RpUserDataArraySetString(RpUserDataGeometryGetArray(geometry, index), 0, part.name);
            }
            RpAtomicSetFlags(TestSupport::AddAtomicUnder(clump, root, geometry),
                             rpATOMICRENDER | rpATOMICCOLLISIONTEST);
        }
        return clump;
    }
};

// The engine above with a world whose clock the test sets by hand.
class SceneWorld : public SceneEngine {
protected:
    void SetUp() override {
        SceneEngine::SetUp();
        world = std::make_unique<Grp::World>();
    }
    void TearDown() override {
        world.reset();
        SceneEngine::TearDown();
    }
    // The world's clock at time now, its step step.
    void Clock(float now, float step) {
        world->time->time = now;
        world->time->step = step;
    }

    std::unique_ptr<Grp::World> world;
};

// The engine above with the clump cache reading the built sample models, and their descriptions at hand.
class SampleModels : public SceneEngine {
protected:
    void SetUp() override {
        SceneEngine::SetUp();
        models = std::string(CORVANE_BINARY_DIR) + "/data/Data/Models";
        Base::ClumpCache::Directory = models + "\\";
        Rw::InstallClumpCache();
    }
    void TearDown() override {
        TestSupport::RemoveClumpCache();
        SceneEngine::TearDown();
    }
    // The sample model description of that name.
    Base::Info Read(const std::string& name) {
        Base::Info info;
        EXPECT_EQ(info.LoadFile(models + "/" + name), 0) << name;
        return info;
    }
    Base::Info FromText(const std::string& text) {
        Base::Info info;
        EXPECT_EQ(info.LoadText(text), 0);
        return info;
    }

    std::string models;
};
