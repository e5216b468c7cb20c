// Worlds and their attachments: sector trees, ties of atomics and lights, cameras' visible sectors.
#include "WorldFixture.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/matrix.h"

#include <vector>

namespace {

using Worlds = WorldTest;

RwBBox Box(RwReal lo, RwReal hi) {
    return {{hi, hi, hi}, {lo, lo, lo}};
}

// A world over [-10, 10] split by the plane z = 0 into two leaves.
struct TwoLeafWorld {
    RpWorld* world = nullptr;
    RpWorldSector* left = nullptr;
    RpWorldSector* right = nullptr;

    TwoLeafWorld() {
        RwBBox box = Box(-10, 10);
        world = RpWorldCreate(&box);
        _rpWorldSectorTreeDestroy(world->rootSector);
        RwBBox leftBox = box, rightBox = box;
        leftBox.sup.z = 0;
        rightBox.inf.z = 0;
        left = _rpWorldSectorCreateLeaf(&leftBox);
        right = _rpWorldSectorCreateLeaf(&rightBox);
        auto* plane = static_cast<RpPlaneSector*>(RwMalloc(sizeof(RpPlaneSector), 0));
        *plane = {8, 0.0f, reinterpret_cast<RpSector*>(left), reinterpret_cast<RpSector*>(right), 0.0f, 0.0f};
        world->rootSector = reinterpret_cast<RpSector*>(plane);
        RpWorldBuildSectorMeshes(world);
    }
    ~TwoLeafWorld() { RpWorldDestroy(world); }
};

std::vector<RpWorldSector*> TiedSectors(RpAtomic* atomic) {
    std::vector<RpWorldSector*> sectors;
    RwLinkList* list = &atomic->llWorldSectorsInAtomic;
    for (RwLLLink* l = rwLinkListGetFirstLLLink(list); l != rwLinkListGetTerminator(list); l = l->next)
        sectors.push_back(_rpTieFromObjectLink(l)->worldSector);
    return sectors;
}

RwInt32 CountTies(RwLinkList* list) {
    RwInt32 n = 0;
    for (RwLLLink* l = rwLinkListGetFirstLLLink(list); l != rwLinkListGetTerminator(list); l = l->next)
        ++n;
    return n;
}

void MoveTo(RwFrame* frame, RwV3d position) {
    RwMatrixTranslate(RwFrameGetMatrix(frame), &position, rwCOMBINEREPLACE);
    RwFrameUpdateObjects(frame);
    RwFrameSyncDirty();
}

// A clump with one atomic of a unit sphere on its own frame.
RpClump* SphereClump(RpAtomic** atomicOut) {
    RpClump* clump = RpClumpCreate();
    RwFrame* frame = RwFrameCreate();
    RpClumpSetFrame(clump, frame);
    RpAtomic* atomic = RpAtomicCreate();
    atomic->boundingSphere = {{0, 0, 0}, 1.0f};
    RpAtomicSetFrame(atomic, frame);
    RpClumpAddAtomic(clump, atomic);
    *atomicOut = atomic;
    return clump;
}

TEST_F(Worlds, NewWorldIsOneLeafWithTheWorldsBox) {
    RwBBox box = {{5, 6, 7}, {-1, -2, -3}};
    RpWorld* world = RpWorldCreate(&box);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->object.type, rwWORLD);
    EXPECT_EQ(world->renderOrder, rpWORLDRENDERBACK2FRONT);
    EXPECT_EQ(world->flags, 0u);
    ASSERT_EQ(world->rootSector->type, rwSECTORATOMIC);
    auto* leaf = reinterpret_cast<RpWorldSector*>(world->rootSector);
    EXPECT_EQ(std::memcmp(&leaf->boundingBox, &box, sizeof(box)), 0);
    EXPECT_EQ(std::memcmp(&leaf->tightBoundingBox, &box, sizeof(box)), 0);
    ASSERT_NE(leaf->mesh, nullptr);
    EXPECT_EQ(leaf->mesh->numMeshes, 0);
    EXPECT_EQ(RpWorldSectorGetWorld(leaf), world);
    // No triangles: the render callback returns the sector without running a pipeline.
    EXPECT_EQ(world->renderCallBack(leaf), leaf);
    EXPECT_TRUE(RpWorldDestroy(world));
    EXPECT_EQ(RpWorldSectorGetWorld(leaf), nullptr);
}

TEST_F(Worlds, StraddlingAtomicIsTiedToBothLeavesAndFollowsItsFrame) {
    TwoLeafWorld w;
    RpAtomic* atomic;
    RpClump* clump = SphereClump(&atomic);
    MoveTo(RpClumpGetFrame(clump), {0, 0, 0.5f});
    RpWorldAddClump(w.world, clump);
    RwFrameSyncDirty();
    EXPECT_EQ(RpAtomicGetWorld(atomic), w.world);
    EXPECT_EQ(RpClumpGetWorld(clump), w.world);
    auto tied = TiedSectors(atomic);
    ASSERT_EQ(tied.size(), 2u);
    EXPECT_NE(tied[0], tied[1]);
    EXPECT_EQ(CountTies(&w.left->collAtomicsInWorldSector), 1);
    EXPECT_EQ(CountTies(&w.right->collAtomicsInWorldSector), 1);

    MoveTo(RpClumpGetFrame(clump), {0, 0, 5});
    EXPECT_EQ(TiedSectors(atomic), std::vector<RpWorldSector*>{w.right});
    EXPECT_EQ(CountTies(&w.left->collAtomicsInWorldSector), 0) << "the old tie is gone";
    MoveTo(RpClumpGetFrame(clump), {0, 0, -5});
    EXPECT_EQ(TiedSectors(atomic), std::vector<RpWorldSector*>{w.left});

    EXPECT_EQ(RpWorldRemoveClump(w.world, clump), w.world);
    EXPECT_TRUE(TiedSectors(atomic).empty());
    EXPECT_EQ(RpAtomicGetWorld(atomic), nullptr);
    EXPECT_EQ(RpWorldRemoveClump(w.world, clump), nullptr) << "not in a world";
    EXPECT_EQ(TakeError(), 4);
    RpClumpDestroy(clump);
}

TEST_F(Worlds, LocalLightsAreTiedAndGlobalLightsListed) {
    TwoLeafWorld w;
    RpLight* point = RpLightCreate(rpLIGHTPOINT);
    RpLight* directional = RpLightCreate(rpLIGHTDIRECTIONAL);
    RwFrame* pointFrame = RwFrameCreate();
    RwFrame* directionalFrame = RwFrameCreate();
    RpLightSetFrame(point, pointFrame);
    RpLightSetFrame(directional, directionalFrame);
    RpLightSetRadius(point, 2.0f);
    MoveTo(pointFrame, {0, 0, 5});
    RpWorldAddLight(w.world, point);
    RpWorldAddLight(w.world, directional);
    RwFrameSyncDirty();
    EXPECT_EQ(CountTies(&point->WorldSectorsInLight), 1);
    EXPECT_EQ(CountTies(&w.right->lightsInWorldSector), 1);
    EXPECT_EQ(CountTies(&directional->WorldSectorsInLight), 0);
    EXPECT_EQ(CountTies(&w.world->lightList), 1);
    EXPECT_EQ(CountTies(&w.world->directionalLightList), 1);
    MoveTo(pointFrame, {0, 0, 1});
    EXPECT_EQ(CountTies(&point->WorldSectorsInLight), 2) << "radius 2 reaches over the plane";
    RpWorldRemoveLight(w.world, point);
    RpWorldRemoveLight(w.world, directional);
    EXPECT_EQ(CountTies(&w.right->lightsInWorldSector), 0);
    EXPECT_EQ(RpLightGetWorld(point), nullptr);
    EXPECT_TRUE(rwLinkListEmpty(&w.world->lightList));
    RpLightDestroy(point);
    RpLightDestroy(directional);
    RwFrameDestroy(pointFrame);
    RwFrameDestroy(directionalFrame);
}

TEST_F(Worlds, CameraSeesItsSectorsInTheWorldsRenderOrder) {
    TwoLeafWorld w;
    RwCamera* camera = RwCameraCreate();
    RwFrame* frame = RwFrameCreate();
    RwCameraSetFrame(camera, frame);
    RwCameraSetFarClipPlane(camera, 20.0f);
    // On the left side, looking along +z over the plane.
    MoveTo(frame, {0, 0, -5});
    RpWorldAddCamera(w.world, camera);
    RwFrameSyncDirty();
    EXPECT_EQ(RwCameraGetWorld(camera), w.world);
    ASSERT_EQ(_rpCameraGetNumVisibleSectors(camera), 2);
    EXPECT_EQ(_rpCameraGetVisibleSectors(camera)[0], w.right) << "back to front: the far side first";
    EXPECT_EQ(_rpCameraGetVisibleSectors(camera)[1], w.left);

    RpWorldSetRenderOrder(w.world, rpWORLDRENDERFRONT2BACK);
    RwFrameUpdateObjects(frame);
    RwFrameSyncDirty();
    ASSERT_EQ(_rpCameraGetNumVisibleSectors(camera), 2);
    EXPECT_EQ(_rpCameraGetVisibleSectors(camera)[0], w.left);
    EXPECT_EQ(_rpCameraGetVisibleSectors(camera)[1], w.right);

    // Far from the plane and looking away from it: only the near leaf.
    const RwV3d yAxis = {0, 1, 0};
    RwMatrixRotate(RwFrameGetMatrix(frame), &yAxis, 180.0f, rwCOMBINEREPLACE);
    const RwV3d at = {0, 0, -8};
    RwMatrixTranslate(RwFrameGetMatrix(frame), &at, rwCOMBINEPOSTCONCAT);
    RwFrameUpdateObjects(frame);
    RwFrameSyncDirty();
    ASSERT_EQ(_rpCameraGetNumVisibleSectors(camera), 1);
    EXPECT_EQ(_rpCameraGetVisibleSectors(camera)[0], w.left);

    // Begin update makes the camera's world current and counts a render frame.
    const RwUInt16 before = *_rpWorldRenderFrame();
    ASSERT_EQ(RwCameraBeginUpdate(camera), camera);
    EXPECT_EQ(RwEngineInstance->curWorld, w.world);
    EXPECT_EQ(*_rpWorldRenderFrame(), RwUInt16(before + 1));
    // An atomic made now counts as last drawn in the frame before.
    RpAtomic* atomic = RpAtomicCreate();
    EXPECT_EQ(atomic->renderFrame, RwUInt16(before));
    RpAtomicDestroy(atomic);
    RwCameraEndUpdate(camera);
    EXPECT_EQ(RwEngineInstance->curWorld, nullptr);

    EXPECT_EQ(RpWorldRemoveCamera(w.world, camera), w.world);
    EXPECT_EQ(_rpCameraGetNumVisibleSectors(camera), 0);
    EXPECT_EQ(RpWorldRemoveCamera(w.world, camera), nullptr);
    RwCameraDestroy(camera);
    RwFrameDestroy(frame);
}

TEST_F(Worlds, RemovingTheClumpUnderTheCursorMovesTheCursorOn) {
    RwBBox box = Box(-10, 10);
    RpWorld* world = RpWorldCreate(&box);
    RpAtomic* a;
    RpAtomic* b;
    RpClump* first = SphereClump(&a);
    RpClump* second = SphereClump(&b);
    RpWorldAddClump(world, first);
    RpWorldAddClump(world, second); // at the head
    EXPECT_EQ(RpWorldGetNumClumps(world), 2);
    world->currentClumpLink = &second->inWorldLink;
    RpWorldRemoveClump(world, second);
    EXPECT_EQ(world->currentClumpLink, &first->inWorldLink);
    EXPECT_EQ(RpWorldGetNumClumps(world), 1);
    RpClumpDestroy(second);
    RpClumpDestroy(first); // still in the world: its ties go with its atomics
    RpWorldDestroy(world);
}

TEST_F(Worlds, ClonedClumpJoinsItsSourcesWorld) {
    RwBBox box = Box(-10, 10);
    RpWorld* world = RpWorldCreate(&box);
    RpAtomic* a;
    RpClump* clump = SphereClump(&a);
    RpWorldAddClump(world, clump);
    RpClump* clone = RpClumpClone(clump);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(RpClumpGetWorld(clone), world);
    EXPECT_EQ(RpWorldGetNumClumps(world), 2);
    RpWorldRemoveClump(world, clone);
    RpWorldRemoveClump(world, clump);
    RpClumpDestroy(clone);
    RpClumpDestroy(clump);
    RpWorldDestroy(world);
}

} // namespace
