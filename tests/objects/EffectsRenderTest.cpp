// An explosion and a smoke column over the sample terrain, drawn offscreen on the Direct3D 9 driver through
// the world's render pass by a game camera (with its wrappers, so the effects draw camera-relative); the
// frame is checked tolerantly against the same view without them and written for a look (EffectsView.png).
#include <initializer_list>

#include "OffscreenCamera.h"

#include "objects/Explosion.h"
#include "objects/HitSpot.h"
#include "objects/Terrain.h"
#include "scene/AtomicData.h"
#include "scene/Attachable.h"
#include "scene/StreamedTexture.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/AsyncLoader.h"
#include "base/StreamedTextureCache.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/rpworld.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

class EffectsRender : public OffscreenCamera {
protected:
    void AttachPlugins() override {
        ASSERT_TRUE(RpWorldPluginAttach() && RpUserDataPluginAttach() && RpCollisionPluginAttach() &&
                    Rw::Frame::RegisterPlugins() && Rw::RegisterWrapperPlugins() &&
                    Rw::AtomicLodData::RegisterPlugin());
    }
    void SetUp() override {
        StartCamera("effects", {0.5f, 0.375f});
        if (HasFatalFailure())
            return;
        eye = std::make_unique<Obj::Camera>();
        RwCameraSetRaster(eye->camera, colour);
        RwCameraSetZRaster(eye->camera, depth);
        RwCameraSetNearClipPlane(eye->camera, 5);
        RwCameraSetFarClipPlane(eye->camera, 30000);
        const RwV2d window{0.5f, 0.375f};
        RwCameraSetViewWindow(eye->camera, &window);
        RenderSupport::StartStreaming();
        ASSERT_NO_FATAL_FAILURE(RenderSupport::LoadSampleTerrain(terrain));
        world = std::make_unique<Grp::World>();
        world->time->fixedStep = 0.05f;
    }
    void TearDown() override {
        world.reset();
        terrain.reset();
        if (eye) {
            RwCameraSetRaster(eye->camera, nullptr);
            RwCameraSetZRaster(eye->camera, nullptr);
        }
        eye.reset();
        RenderSupport::StopStreaming();
        StopCamera();
    }

    // The ground under (x, z), by the terrain's hit test.
    float Ground(float x, float z) const {
        Base::Vector3 point;
        EXPECT_TRUE(terrain->IntersectSegment({{x, 20000, z}, {x, -20000, z}}, &point, nullptr));
        return point.y;
    }

    // The game camera at position, looking along at, with a level right vector (as Look does).
    void Aim(RwV3d position, RwV3d at) {
        const float l = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
        at = {at.x / l, at.y / l, at.z / l};
        const float r = std::sqrt(at.z * at.z + at.x * at.x);
        const RwV3d right{at.z / r, 0, -at.x / r};
        const RwV3d up{at.y * right.z - at.z * right.y, at.z * right.x - at.x * right.z,
                       at.x * right.y - at.y * right.x};
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.right = right;
        m.up = up;
        m.at = at;
        m.pos = position;
        RwMatrixUpdate(&m);
        eye->Transform(&m, rwCOMBINEREPLACE);
    }

    // The terrain, then the world's renderables in view, pass by pass.
    std::vector<uint32_t> Draw(bool effects) {
        RwCamera* c = eye->camera;
        RwCameraBeginUpdate(c);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(c, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        terrain->Render(c);
        if (effects) {
            const Rw::CameraView* view = eye->GetViewParameters();
            Grp::RenderVisible(Grp::VisibleRange(*view, *world->renderables).begin(), Grp::VisibleIterator(),
                               nullptr);
        }
        RwCameraEndUpdate(c);
        return ReadBack();
    }

    std::unique_ptr<Obj::Camera> eye;
    std::unique_ptr<Obj::Terrain> terrain;
    std::unique_ptr<Grp::World> world;
};

struct Rgb {
    int r, g, b;
};
Rgb Split(uint32_t p) {
    return {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
}
int Saturation(Rgb c) {
    return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b});
}

TEST_F(EffectsRender, ExplosionAndSmokeOverTheTerrain) {
    // 500 units south of a point on the land and 300 above it, looking at the explosion 100 above the
    // ground (the drawn ground's coarser levels of detail stray from the full grid by tens of units here).
    const float x = 0, z = 3000, h = Ground(x, z);
    Aim({x, h + 300, z - 500}, {0, -200, 500});
    const auto start = std::chrono::steady_clock::now();
    std::vector<uint32_t> before = Draw(false);
    while (!RenderSupport::AllLandTextured(*terrain) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        std::this_thread::yield();
        before = Draw(false);
    }
    ASSERT_TRUE(RenderSupport::AllLandTextured(*terrain));
    before = Draw(false);

    // A burning spot to the side for 16 s, then an explosion in the middle, seen 0.4 s later.
    Obj::HitSpot* spot = Obj::HitSpot::Create(20, {x - 90, Ground(x - 90, z + 60) + 40, z + 60});
    world->AddObject(spot);
    for (int i = 0; i < 320; ++i) {
        world->time->Advance(0.05);
        Grp::RunGroup(*world->runnables);
        if (i == 312) {
            auto* e = new Obj::Explosion;
            const float at[3] = {x, h + 100, z};
            e->Setup(at, 1000, "");
            world->AddObject(e);
        }
    }
    const std::vector<uint32_t> after = Draw(true);
    SavePng(after, "EffectsView.png");

    // Fire: bright, red over green over blue, around the screen's centre where there was none.
    int fire = 0, fireBefore = 0, grey = 0, changed = 0;
    const auto hot = [](Rgb c) { return c.r > 200 && c.r >= c.g && c.g > c.b + 30; };
    for (int py = Height / 2 - 30; py < Height / 2 + 30; ++py)
        for (int px = Width / 2 - 30; px < Width / 2 + 30; ++px) {
            fire += hot(Split(after[size_t(py) * Width + size_t(px)]));
            fireBefore += hot(Split(before[size_t(py) * Width + size_t(px)]));
        }
    EXPECT_GT(fire, 100);
    EXPECT_LT(fireBefore, 10);
    // Smoke: the colours washed out (towards its grey) over a good part of the picture outside the fire.
    for (int py = 0; py < Height; ++py)
        for (int px = 0; px < Width; ++px) {
            const size_t i = size_t(py) * Width + size_t(px);
            changed += after[i] != before[i];
            const bool inFire = std::abs(px - Width / 2) < 30 && std::abs(py - Height / 2) < 30;
            grey += !inFire && Saturation(Split(after[i])) + 15 < Saturation(Split(before[i]));
        }
    EXPECT_GT(grey, 800);
    EXPECT_GT(changed, Width * Height / 30);
}

} // namespace
