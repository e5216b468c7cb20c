// What a player sees of the weapons, drawn offscreen on the Direct3D 9 driver and written beside the test
// for a look: a burst of tracers crossing the view at several distances (TracerStreaks.png), a bomb
// dropped onto the sample terrain ending in its explosion (BombRun.png), a guided missile's smoke trail
// curving onto its target (MissileTrail.png) and a salvo of flares (FlareSalvo.png). Checked tolerantly:
// the tracers brighten the dark sky where they fly, the near ones more than the far ones; the blast shows
// where the bomb came down; the smoke bends across the frame; the flares light the dusk.
#include "weapons/Bomb.h"
#include "weapons/BulletGroup.h"
#include "weapons/Countermeasure.h"
#include "weapons/HomingRocket.h"

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

// A drone the missile is sent after: a sample model that is a target.
class Drone : public Obj::Model, public Obj::Target {
public:
    const RwSphere* GetBoundingSphere() override { return Obj::Model::GetBoundingSphere(); }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
};

// A surface-to-air missile launched straight ahead chases a drone crossing its path from right to left
// (its smoke is the widest and lasts longest); seen from behind and above just before it arrives, its
// smoke bends from where it left to the drone. The view is drawn every frame, as in the game: trails grow
// and fade as they are drawn.
TEST_F(WeaponsPictures, MissileTrail) {
    auto* drone = new Drone();
    Base::Info droneInfo;
    ASSERT_EQ(droneInfo.LoadFile("Data/Models/Weapons/FuelTank.info"), 0);
    ASSERT_TRUE(drone->Load(&droneInfo));
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    RwV3d target = {300, 500, 900};
    const float crossing = -120;
    m.pos = target;
    RwMatrixUpdate(&m);
    drone->Transform(&m, rwCOMBINEREPLACE);
    world->AddObject(drone);

    auto* missile = new Weapons::HomingRocket();
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Models/Weapons/Sam.info"), 0);
    ASSERT_TRUE(missile->LoadParams(&info)) << missile->loadError;
    world->AddObject(missile);
    m.pos = {0, 500, 0};
    RwMatrixUpdate(&m);
    missile->Transform(&m, rwCOMBINEREPLACE);
    missile->SetTarget(drone, true);
    missile->Launch({0, 0, 200});
    Base::SmartPtr<Weapons::HomingRocket> flying(missile);
    const RwV3d eye = {-420, 700, -120};
    const RwV3d middle = {90, 500, 480};
    Look(eye, {middle.x - eye.x, middle.y - eye.y, middle.z - eye.z});
    const RwRGBA sky = {70, 95, 140, 255};
    std::vector<uint32_t> pixels;
    float t = 0, left = 1e9f;
    for (int f = 0; f < 150 && flying && left > 40; ++f) {
        const float before = t;
        Clock(t += 1 / 30.0f, 1 / 30.0f);
        target.x += crossing / 30.0f;
        m.pos = target;
        RwMatrixUpdate(&m);
        drone->Transform(&m, rwCOMBINEREPLACE);
        Grp::SimulateGroup(*world->simulateables, before, t);
        Grp::RunGroup(*world->runnables);
        if (flying) {
            const RwV3d p = RwFrameGetWorldMatrix(missile->frame)->pos;
            left = std::sqrt((p.x - target.x) * (p.x - target.x) + (p.z - target.z) * (p.z - target.z));
        }
        pixels = Draw(sky, nullptr);
    }
    ASSERT_TRUE(flying) << "still on its way";
    EXPECT_LE(left, 40) << "almost there";
    SavePng(pixels, "MissileTrail.png");

    // The smoke is lighter than the sky. In each band of columns (the flight crosses the frame) its middle
    // row; those rows bend (not one straight line from the first band to the last).
    std::vector<float> rows;
    for (int band = 0; band < 12; ++band) {
        int sum = 0, count = 0;
        for (int y = 0; y < Height; ++y)
            for (int x = band * Width / 12; x < (band + 1) * Width / 12; ++x)
                if (Brightness(pixels[size_t(y) * Width + size_t(x)]) > 70 + 95 + 140 + 30) {
                    sum += y;
                    ++count;
                }
        if (count > 0)
            rows.push_back(float(sum) / float(count));
    }
    ASSERT_GE(rows.size(), 8u) << "smoke across most of the frame";
    float bend = 0;
    for (size_t k = 1; k + 1 < rows.size(); ++k) {
        const float line = rows.front() + (rows.back() - rows.front()) * float(k) / float(rows.size() - 1);
        bend = std::max(bend, std::fabs(rows[k] - line));
    }
    EXPECT_GT(bend, 5.0f) << "the trail curves";
}

// Eight flares leave a passing airplane a quarter of a second apart; seen from the side they hang and fall
// as bright sprites against the dusk.
TEST_F(WeaponsPictures, FlareSalvo) {
    for (int n = 0; n < 8; ++n) {
        auto* flare = new Weapons::Flare();
        flare->Setup({2, 1 + float(n % 3), float(n % 2 ? 2 : -2)});
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = {-10 + 2.5f * float(n), 603, 0};
        RwMatrixUpdate(&m);
        flare->Transform(&m, rwCOMBINEREPLACE);
        world->AddObject(flare);
        ASSERT_NE(flare->texture, nullptr) << "the sample texture \"Flare\"";
        for (int f = 0; f < 8; ++f) {
            Clock(world->time->time + 1 / 30.0f, 1 / 30.0f);
            Grp::RunGroup(*world->runnables);
        }
    }
    Look({0, 595, 24}, {0, 0, -1});
    const RwRGBA dusk = {40, 35, 60, 255};
    const std::vector<uint32_t> pixels = Draw(dusk, nullptr);
    SavePng(pixels, "FlareSalvo.png");
    // Bright sprites spread across the frame.
    int bright = 0, columns = 0;
    for (int x = 0; x < Width; ++x) {
        bool any = false;
        for (int y = 0; y < Height; ++y)
            if (Brightness(pixels[size_t(y) * Width + size_t(x)]) > 40 + 35 + 60 + 250) {
                ++bright;
                any = true;
            }
        columns += any;
    }
    EXPECT_GT(bright, 8 * 6);
    EXPECT_GT(columns, 8 * 3) << "spread across the frame";
}

} // namespace
