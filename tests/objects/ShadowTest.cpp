// The airplane shadow with a box model standing in for the airplane, over flat terrain built in memory:
// the receiver cache (sphere inside, no terrain query for a still owner), the darkness table, a finite
// camera for a vertical sun, and an offscreen picture of the box's shadow on the ground (ShadowBox.png).
#include "OffscreenCamera.h"
#include "tests/scene/SceneFixture.h"
#include "TerrainFixture.h"
#include "tests/support/Clumps.h"

#include "objects/Shadow.h"
#include "scene/AtomicData.h"
#include "scene/Clump.h"
#include "scene/Frame.h"
#include "scene/World.h"
#include "scene/Wrappers.h"

#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/rpworld.h"

#include <cmath>
#include <memory>

namespace {

using TestSupport::MakeBox;

class ShadowFixture : public OffscreenCamera {
protected:
    void AttachPlugins() override { AttachScenePlugins(); }
    void SetUp() override {
        resourceArena = 1u << 22; // the box is instanced
        StartCamera("shadow", {0.5f, 0.375f});
        if (HasFatalFailure())
            return;
        // Flat ground at height 0: 4 x 4 slices of 1024 units from (-2048, -1024).
        ASSERT_TRUE(TerrainFixture::Build(terrain, TerrainFixture::Keys{}, TerrainFixture::Mask(65, 65, 0),
                                          TerrainFixture::Mask(4, 4, 255), TerrainFixture::Mask(4, 4, 0)));
        box = std::make_unique<Obj::Clump>(MakeBox(10), true);
        ASSERT_TRUE(box->UpdateLocalBoundingSphere());
        MoveBox({0, 100, 1000});
        shadow = std::make_unique<Obj::Shadow>(box.get());
        ASSERT_NE(shadow->shadowCamera, nullptr);
    }
    void TearDown() override {
        shadow.reset();
        box.reset();
        StopCamera();
    }
    void MoveBox(RwV3d position) {
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = position;
        RwMatrixUpdate(&m);
        box->Transform(&m, rwCOMBINEREPLACE);
        box->worldSphereValid = 0;
        RwFrameUpdateObjects(box->frame);
    }

    // One frame of the light grey ground at y = 0 with the shadow on it, read back.
    void DrawFrame(Obj::Shadow& drawn, const RwV3d& light, std::vector<uint32_t>& pixels) {
        Look({0, 300, 600}, {0, -300, 400});
        RwCameraBeginUpdate(camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwIm3DVertex ground[4] = {{{-2000, 0, -1000}, {0, 1, 0}, 0xFFC8C8C8u, 0, 0},
                                  {{2000, 0, -1000}, {0, 1, 0}, 0xFFC8C8C8u, 0, 0},
                                  {{2000, 0, 3000}, {0, 1, 0}, 0xFFC8C8C8u, 0, 0},
                                  {{-2000, 0, 3000}, {0, 1, 0}, 0xFFC8C8C8u, 0, 0}};
        RwImVertexIndex fan[4] = {0, 1, 2, 3};
        RwRenderStateSet(rwRENDERSTATETEXTURERASTER, nullptr);
        // The shadow leaves fog on for the scene after it; the ground here has none.
        RwRenderStateSet(rwRENDERSTATEFOGENABLE, nullptr);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
        ASSERT_TRUE(RwIm3DTransform(ground, 4, nullptr, 0));
        RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRIFAN, fan, 4);
        RwIm3DEnd();
        EXPECT_TRUE(drawn.RenderFor(camera, &terrain, light));
        EXPECT_GT(drawn.LastReceiversDrawn(), 0u);
        RwCameraEndUpdate(camera);
        pixels = ReadBack();
    }
    // The box turned about the vertical by an angle, at a place.
    void TurnBox(RwV3d position, float degrees) {
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        const RwV3d up{0, 1, 0};
        RwMatrixRotate(&m, &up, degrees, rwCOMBINEREPLACE);
        m.pos = position;
        RwMatrixUpdate(&m);
        box->Transform(&m, rwCOMBINEREPLACE);
        box->worldSphereValid = 0;
        RwFrameUpdateObjects(box->frame);
    }

    Obj::Terrain terrain;
    std::unique_ptr<Obj::Clump> box;
    std::unique_ptr<Obj::Shadow> shadow;
};

TEST(Shadow, SphereInside) {
    struct Case {
        RwSphere inner, outer;
        bool inside;
    };
    const Case cases[] = {
        {{{0, 0, 0}, 1}, {{0, 0, 0}, 2}, true},     // same centre, smaller
        {{{1, 0, 0}, 1}, {{0, 0, 0}, 2}, true},     // touching from inside
        {{{1.5f, 0, 0}, 1}, {{0, 0, 0}, 2}, false}, // partly out
        {{{0, 0, 0}, 3}, {{0, 0, 0}, 2}, false},    // larger
        {{{0, 5, 0}, 0}, {{0, 0, 0}, 5}, true},     // a point on the rim
        {{{0, 0, 0}, 0}, {{0, 0, 0}, 0}, true},     // two points, one place
        {{{0, 0, 10}, 1}, {{0, 0, 0}, 0}, false},   // the zero cache of a new shadow
    };
    for (const Case& c : cases)
        EXPECT_EQ(Obj::Shadow::SphereInside(c.inner, c.outer), c.inside)
            << c.inner.center.x << " " << c.inner.radius << " in " << c.outer.radius;
}

TEST(Shadow, DarknessTable) {
    struct Case {
        float w;
        int grey;
    };
    const Case cases[] = {{0, 112},    {1, 0},     {-1, 0},   {0.5f, 84},
                          {-0.5f, 84}, {0.9f, 21}, {1.5f, 0}, {NAN, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(Rw::ShadowCamera::GreyLevel(112, c.w), c.grey) << c.w;
}

TEST_F(ShadowFixture, StillOwnerMakesNoTerrainQuery) {
    const RwV3d down{0, -1, 0};
    shadow->Update(terrain, down);
    EXPECT_EQ(shadow->TerrainQueries(), 1u);
    ASSERT_TRUE(shadow->visible);
    EXPECT_NEAR(shadow->hitSphere.center.y, 0, 1e-3);
    EXPECT_NEAR(shadow->hitSphere.center.z, 1000, 1e-3);
    const size_t cached = shadow->receivers.size();
    EXPECT_GT(cached, 0u);
    for (int frame = 0; frame < 5; ++frame)
        shadow->Update(terrain, down);
    EXPECT_EQ(shadow->TerrainQueries(), 1u);
    EXPECT_EQ(shadow->receivers.size(), cached);
    // A small move is a query, but the hit stays inside the cached sphere (5 units larger): no new triangles.
    shadow->receivers.push_back(shadow->receivers.front()); // marks the cache
    MoveBox({2, 100, 1001});
    shadow->Update(terrain, down);
    EXPECT_EQ(shadow->TerrainQueries(), 2u);
    EXPECT_EQ(shadow->receivers.size(), cached + 1);
    // Out of the cached sphere: collected again.
    MoveBox({40, 100, 1000});
    shadow->Update(terrain, down);
    EXPECT_EQ(shadow->receivers.size(),
              terrain.CollectTriangles({{40, 0, 1000}, shadow->receiverSphere.radius},
                                       *std::make_unique<std::vector<Base::Triangle>>()));
    // Higher than the reach above the ground: no shadow.
    MoveBox({0, 1500, 1000});
    shadow->Update(terrain, down);
    EXPECT_FALSE(shadow->visible);
}

TEST_F(ShadowFixture, VerticalSunGivesAFiniteCamera) {
    for (const RwV3d direction :
         {RwV3d{0, 1, 0}, RwV3d{0, -1, 0}, RwV3d{1e-9f, -1, 0}, RwV3d{0.6f, -0.8f, 0}}) {
        shadow->shadowCamera->direction = direction;
        shadow->shadowCamera->Orient();
        const RwMatrix* m = RwFrameGetMatrix(RwCameraGetFrame(shadow->shadowCamera->camera));
        for (const RwV3d& v : {m->right, m->up, m->at}) {
            EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
            EXPECT_NEAR(v.x * v.x + v.y * v.y + v.z * v.z, 1, 1e-4);
        }
        // Orthonormal: the covered area is the full view window.
        EXPECT_NEAR(m->right.x * m->at.x + m->right.y * m->at.y + m->right.z * m->at.z, 0, 1e-5);
        EXPECT_NEAR(m->up.x * m->at.x + m->up.y * m->at.y + m->up.z * m->at.z, 0, 1e-5);
        EXPECT_NEAR(m->right.x * m->up.x + m->right.y * m->up.y + m->right.z * m->up.z, 0, 1e-5);
    }
    // A whole frame under a vertical sun: receivers with finite coordinates.
    Look({0, 300, 600}, {0, -300, 400});
    RwCameraBeginUpdate(camera);
    EXPECT_TRUE(shadow->RenderFor(camera, &terrain, {0, -1, 0}));
    RwCameraEndUpdate(camera);
    const double origin[3] = {0, 0, 0};
    const RwIm3DVertex v = shadow->shadowCamera->ReceiverVertex({0, 0, 1000}, origin);
    EXPECT_TRUE(std::isfinite(v.u) && std::isfinite(v.v));
    EXPECT_NEAR(v.u, 0.5f, 1e-3);
    EXPECT_NEAR(v.v, 0.5f, 1e-3);
}

TEST_F(ShadowFixture, NoSkyOrNoTerrainMeansNoShadow) {
    Grp::World world;
    Obj::Shadow* joined = new Obj::Shadow(box.get());
    world.AddObject(joined);
    EXPECT_EQ(joined->renderOrders, std::vector<uint8_t>{220});
    Look({0, 300, 600}, {0, -300, 400});
    RwCameraBeginUpdate(camera);
    joined->Render(220, nullptr); // neither
    world.terrain = &terrain;
    joined->Render(220, nullptr); // a terrain but no sky to give the sun
    world.terrain = nullptr;
    RwCameraEndUpdate(camera);
    EXPECT_EQ(joined->TerrainQueries(), 0u);
    EXPECT_EQ(joined->LastReceiversDrawn(), 0u);
    // Nor without a terrain, whatever the light.
    RwCameraBeginUpdate(camera);
    EXPECT_FALSE(joined->RenderFor(camera, nullptr, {0, -1, 0}));
    RwCameraEndUpdate(camera);
    world.Clear();
}

TEST_F(ShadowFixture, BoxShadowOnFlatGround) {
    // The sun high in the south-west: the shadow falls a little to the north-east of the box.
    std::vector<uint32_t> pixels;
    ASSERT_NO_FATAL_FAILURE(DrawFrame(*shadow, Base::Normalize3d(RwV3d{0.3f, -1, 0.2f}), pixels));

    SavePng(pixels, "ShadowBox.png");

    // Where the shadow falls the ground is darker, by at most 112/255 of its brightness; elsewhere it is
    // the ground's own grey.
    int darkest = 255, plain = 0, shaded = 0;
    for (uint32_t p : pixels) {
        const int g = int((p >> 8) & 0xFF);
        if ((p & 0xFFFFFF) == 0xC8C8C8)
            ++plain;
        else if (int(p & 0xFF) == g && g < 0xC8) {
            ++shaded;
            darkest = std::min(darkest, g);
        }
    }
    EXPECT_GT(plain, Width * Height / 3);
    EXPECT_GT(shaded, 30);
    EXPECT_LT(darkest, 0xC8 - 40);
    EXPECT_GE(darkest, int(0xC8 * (1 - 112.0 / 255)) - 2);
}

// The caster image is drawn again only when what it shows changes: the box turned, or the sun moved. A box
// that only moves keeps its image, and the frame is the one a newly made shadow draws.
TEST_F(ShadowFixture, TheCasterImageIsDrawnAgainOnlyWhenItChanges) {
    const RwV3d light = Base::Normalize3d(RwV3d{0.3f, -1, 0.2f});
    std::vector<uint32_t> first, again;
    ASSERT_NO_FATAL_FAILURE(DrawFrame(*shadow, light, first));
    ASSERT_NO_FATAL_FAILURE(DrawFrame(*shadow, light, again));
    EXPECT_EQ(shadow->shadowCamera->CasterDraws(), 1u);
    ASSERT_EQ(again.size(), first.size());
    EXPECT_EQ(again, first);

    MoveBox({30, 100, 1010});
    std::vector<uint32_t> moved, fresh;
    ASSERT_NO_FATAL_FAILURE(DrawFrame(*shadow, light, moved));
    EXPECT_EQ(shadow->shadowCamera->CasterDraws(), 1u) << "moved, not turned";
    Obj::Shadow other(box.get());
    ASSERT_NO_FATAL_FAILURE(DrawFrame(other, light, fresh));
    EXPECT_EQ(other.shadowCamera->CasterDraws(), 1u);
    EXPECT_EQ(moved, fresh);

    TurnBox({30, 100, 1010}, 30);
    std::vector<uint32_t> turned;
    ASSERT_NO_FATAL_FAILURE(DrawFrame(*shadow, light, turned));
    EXPECT_EQ(shadow->shadowCamera->CasterDraws(), 2u);
    EXPECT_NE(turned, moved);
    ASSERT_NO_FATAL_FAILURE(DrawFrame(*shadow, Base::Normalize3d(RwV3d{-0.3f, -1, 0.2f}), turned));
    EXPECT_EQ(shadow->shadowCamera->CasterDraws(), 3u) << "the sun moved";
}

} // namespace
