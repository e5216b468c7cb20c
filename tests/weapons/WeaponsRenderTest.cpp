// What a player sees of the weapons, drawn offscreen on the Direct3D 9 driver and written beside the test
// for a look: a burst of tracers crossing the view at several distances (TracerStreaks.png), and a bomb
// dropped onto the sample terrain ending in its explosion (BombRun.png). Checked tolerantly: the tracers
// brighten the dark sky where they fly, the near ones more than the far ones; the blast shows where the
// bomb came down.
#include "weapons/Bomb.h"
#include "weapons/BulletGroup.h"

#include "objects/Explosion.h"
#include "objects/Terrain.h"
#include "tests/objects/OffscreenCamera.h"

#include "gui/draw/Draw3d.h"

#include "base/AsyncLoader.h"
#include "base/ClumpCache.h"
#include "base/Info.h"
#include "base/StreamedTextureCache.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/world/rpworld.h"
#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"
#include "scene/Wrappers.h"
#include "tests/support/ClumpCache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>

namespace {

int Brightness(uint32_t p) {
    return int((p >> 16) & 0xFF) + int((p >> 8) & 0xFF) + int(p & 0xFF);
}

class WeaponsPictures : public OffscreenCamera {
protected:
    void AttachPlugins() override {
        ASSERT_TRUE(RpWorldPluginAttach());
        ASSERT_TRUE(RpUserDataPluginAttach());
        ASSERT_TRUE(RpCollisionPluginAttach());
        ASSERT_TRUE(Rw::Frame::RegisterPlugins());
        ASSERT_TRUE(Rw::RegisterWrapperPlugins());
        ASSERT_TRUE(Rw::AtomicLodData::RegisterPlugin());
    }
    void SetUp() override {
        resourceArena = 16 << 20;
        StartCamera("weapons", {0.5f, 0.375f});
        if (HasFatalFailure())
            return;
        Base::ClumpCache::Directory = "Data/Models\\";
        Rw::InstallClumpCache();
        world = std::make_unique<Grp::World>();
    }
    void TearDown() override {
        if (world)
            world->Clear();
        world.reset();
        TestSupport::RemoveClumpCache();
        StopCamera();
    }
    void Clock(float now, float step) {
        world->time->time = now;
        world->time->step = step;
    }
    std::vector<uint32_t> Draw(RwRGBA background, Obj::Terrain* terrain) {
        RwCameraBeginUpdate(camera);
        RwCameraClear(camera, &background, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates();
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        if (terrain)
            terrain->Render(camera, world->time->time);
        const RwMatrix* m = RwFrameGetMatrix(frame);
        Rw::CameraView view{m->pos, m->at, m->up, 0.5f, 0.375f, 5, 30000};
        const auto range = Grp::VisibleRange(view, *world->renderables);
        Grp::RenderVisible(range.begin(), range.end(), nullptr);
        RwCameraEndUpdate(camera);
        return ReadBack();
    }

    std::unique_ptr<Grp::World> world;
};

// Tracers crossing the view from left to right at 40, 150, 600 and 2,500 units, spread up the frame.
TEST_F(WeaponsPictures, TracerStreaks) {
    // The heads through the 2D layer's points, as the game installs them.
    Weapons::BulletGroup::DrawHeads = [](const Weapons::BulletGroup::Head* heads, uint32_t count) {
        std::vector<Gui::Vertex3d> points(count);
        for (uint32_t i = 0; i < count; ++i)
            points[i] = {heads[i].x, heads[i].y, heads[i].z, heads[i].colour, 0, 0};
        Gui::DrawPoints(points.data(), count, 1, nullptr);
    };
    Look({0, 100, 0}, {0, 0, 1});
    auto* group = new Weapons::BulletGroup();
    world->AddObject(group);
    ASSERT_NE(group->texture, nullptr) << "the sample texture \"Bullet\"";
    Clock(1, 0.02f);
    const float distances[] = {40, 150, 600, 2500};
    for (int k = 0; k < 4; ++k) {
        const float d = distances[k];
        for (int n = 0; n < 3; ++n) {
            const float y = 100 + d * (-0.2f + 0.12f * float(k)) + d * 0.02f * float(n);
            group->AddBullet({-0.3f * d + d * 0.08f * float(n), y, d}, {1000, 0, 0}, 5, {255, 255, 160, 255},
                             false);
        }
    }
    const RwRGBA night = {10, 14, 30, 255};
    const std::vector<uint32_t> pixels = Draw(night, nullptr);
    EXPECT_EQ(group->lastVertexCount, 4u * 12);
    SavePng(pixels, "TracerStreaks.png");

    // Where each row of tracers crosses, the sky is lit; the nearest row lights more of it.
    int lit[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const float d = distances[k];
        const float rowCentre = -0.2f + 0.12f * float(k) + 0.02f; // y over distance
        const int py = int(Height / 2 - rowCentre / 0.375f * (Height / 2));
        for (int y = std::max(0, py - 12); y < std::min(Height, py + 12); ++y)
            for (int x = 0; x < Width; ++x)
                lit[k] += Brightness(pixels[size_t(y) * Width + size_t(x)]) > Brightness(0xFF0A0E1E) + 60;
        (void)d;
    }
    EXPECT_GT(lit[0], 0);
    EXPECT_GT(lit[3], 0) << "a point shows even at 2,500";
    EXPECT_GT(lit[0], lit[3]);
    for (int k = 1; k < 3; ++k) {
        EXPECT_GT(lit[k], 0) << "the heads show at " << distances[k];
    }
    Weapons::BulletGroup::DrawHeads = nullptr;
}

// A bomb released at 150 units a second from 400 above the ground falls onto the hills ahead and explodes.
TEST_F(WeaponsPictures, BombRun) {
    RenderSupport::StartStreaming();
    std::unique_ptr<Obj::Terrain> loaded;
    ASSERT_NO_FATAL_FAILURE(RenderSupport::LoadSampleTerrain(loaded));
    Obj::Terrain* terrain = loaded.release();
    world->AddObject(terrain);
    ASSERT_EQ(world->terrain, terrain);

    const RwV3d release = {1500, 0, 1500};
    const auto ground = [&](float x, float z) {
        RwLine down = {{x, 5000, z}, {x, -100, z}};
        RwV3d hit;
        return static_cast<Obj::Damageable*>(terrain)->IntersectSegment(&down, &hit, nullptr)
                   ? std::max(hit.y, 0.0f)
                   : 0.0f;
    };
    const float start = ground(release.x, release.z) + 400;
    auto* bomb = new Weapons::Bomb();
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Models/Weapons/Bomb.info"), 0);
    ASSERT_TRUE(bomb->LoadParams(&info)) << bomb->loadError;
    world->AddObject(bomb);
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.pos = {release.x, start, release.z};
    RwMatrixUpdate(&m);
    bomb->Transform(&m, rwCOMBINEREPLACE);
    bomb->Launch({0, 0, 150});
    Base::SmartPtr<Weapons::Bomb> falling(bomb);
    float t = 0;
    for (int f = 0; f < 30 * 30 && falling; ++f) {
        Clock(t += 1 / 30.0f, 1 / 30.0f);
        Grp::RunGroup(*world->runnables);
    }
    ASSERT_FALSE(falling) << "the bomb came down";
    Obj::Explosion* blast = nullptr;
    world->ForEach([&](Obj::Object* o) {
        if (!blast)
            blast = dynamic_cast<Obj::Explosion*>(o);
    });
    ASSERT_NE(blast, nullptr);
    const RwV3d at = {blast->position[0], blast->position[1], blast->position[2]};
    EXPECT_NEAR(at.y, ground(at.x, at.z), 6.0f) << "on the ground";
    EXPECT_GT(at.z, release.z + 500) << "carried forward by its speed";
    // The fireball grows for a few frames.
    for (int f = 0; f < 8; ++f) {
        Clock(t += 1 / 30.0f, 1 / 30.0f);
        Grp::RunGroup(*world->runnables);
    }
    // Seen from behind and above the release point, looking at the impact.
    const RwV3d eye = {release.x - 250, start + 150, release.z - 300};
    Look(eye, {at.x - eye.x, at.y - eye.y, at.z - eye.z});
    const auto begin = std::chrono::steady_clock::now();
    const RwRGBA sky = {150, 185, 225, 255};
    do
        Draw(sky, terrain);
    while (!RenderSupport::AllLandTextured(*terrain) &&
           std::chrono::steady_clock::now() - begin < std::chrono::seconds(20));
    const std::vector<uint32_t> pixels = Draw(sky, terrain);
    SavePng(pixels, "BombRun.png");

    // The middle of the frame, where the blast is, is brighter and redder than the ground around it.
    int centreRed = 0, centreCount = 0;
    for (int y = Height / 2 - 15; y < Height / 2 + 15; ++y)
        for (int x = Width / 2 - 15; x < Width / 2 + 15; ++x) {
            const uint32_t p = pixels[size_t(y) * Width + size_t(x)];
            centreRed += int((p >> 16) & 0xFF) - int(p & 0xFF);
            ++centreCount;
        }
    EXPECT_GT(centreRed / centreCount, 20) << "fire at the centre";
    RenderSupport::StopStreaming();
}

} // namespace
