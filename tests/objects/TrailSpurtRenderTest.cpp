// A smoke trail, a dust spurt and a column of spray over the sample terrain, drawn offscreen on the Direct3D
// 9 driver from a fixed camera and written for a look (TrailsAndSpurts.png). Checked tolerantly against the
// same frame without them: the trail and the spurts show where they were put, lighter than the ground.
#include "objects/Exhaust.h"
#include "objects/SmokeTrail.h"
#include "objects/Spurt.h"
#include "objects/Terrain.h"
#include "OffscreenCamera.h"

#include "base/AsyncLoader.h"
#include "base/RandomTimeStamp.h"
#include "base/StreamedTextureCache.h"
#include "rwsdk/world/rpworld.h"
#include "scene/EngineHost.h"
#include "scene/Frame.h"
#include "scene/LoadTexture.h"
#include "scene/StreamedTexture.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"
#include "scene/Wrappers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace {

struct V {
    double x, y, z;
    V operator+(const V& o) const { return {x + o.x, y + o.y, z + o.z}; }
    V operator*(double k) const { return {x * k, y * k, z * k}; }
};

class TrailsAndSpurts : public OffscreenCamera {
protected:
    void AttachPlugins() override {
        ASSERT_TRUE(RpWorldPluginAttach());
        ASSERT_TRUE(Rw::Frame::RegisterPlugins());
        ASSERT_TRUE(Rw::RegisterWrapperPlugins());
    }
    void SetUp() override {
        // The spurts scatter their particles from the time stamp: a fixed one makes the same frame every run.
        Base::RandomTimeStamp = [] { return 1u; };
        StartCamera("effects", {0.5f, 0.375f});
        if (HasFatalFailure())
            return;
        RenderSupport::StartStreaming();
        ASSERT_NO_FATAL_FAILURE(RenderSupport::LoadSampleTerrain(terrain));
        world = std::make_unique<Grp::World>();
        world->terrain = terrain.get();
    }
    void TearDown() override {
        if (world)
            world->terrain = nullptr;
        world.reset();
        terrain.reset();
        RenderSupport::StopStreaming();
        StopCamera();
        Base::RandomTimeStamp = nullptr;
    }
    void Clock(float now, float step) {
        world->time->time = now;
        world->time->step = step;
    }
    // The ground under a point (the sea counts as 0).
    float Ground(double x, double z) const {
        Base::Vector3 hit, normal;
        const Obj::Terrain::Segment down{{float(x), 5000, float(z)}, {float(x), -100, float(z)}};
        return terrain->IntersectSegment(down, &hit, &normal) ? std::max(hit.y, 0.0f) : 0.0f;
    }
    // Where the ray from p along d first meets the ground within 20 km (or 20 km along it).
    V Hit(const V& p, const V& d) const {
        const V e = p + d * 20000;
        Base::Vector3 hit, normal;
        const Obj::Terrain::Segment segment{{float(p.x), float(p.y), float(p.z)},
                                            {float(e.x), float(e.y), float(e.z)}};
        if (terrain->IntersectSegment(segment, &hit, &normal))
            return {hit.x, hit.y, hit.z};
        return e;
    }
    std::vector<uint32_t> Draw(bool effects) {
        RwCameraBeginUpdate(camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates(); // as the game does at the start of every frame
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        terrain->Render(camera, world->time->time);
        if (effects) {
            // Through the world's render pass: the sectors in view, in render order (the trail at 224, the
            // spurts and the exhaust at 230).
            Clock(world->time->time, 0); // drawing only: nothing ages or ends here
            const RwMatrix* m = RwFrameGetMatrix(frame);
            Rw::CameraView view{m->pos, m->at, m->up, 0.5f, 0.375f, 5, 30000};
            const auto range = Grp::VisibleRange(view, *world->renderables);
            Grp::RenderVisible(range.begin(), range.end(), nullptr);
        }
        RwCameraEndUpdate(camera);
        return ReadBack();
    }
    std::unique_ptr<Obj::Terrain> terrain;
    std::unique_ptr<Grp::World> world;
    Obj::SmokeTrailGroup* trail = nullptr;
    std::vector<Obj::Spurt*> spurts;
    Obj::Exhaust* exhaust = nullptr;
};

struct Rgb {
    int r, g, b;
};
Rgb Split(uint32_t p) {
    return {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
}

TEST_F(TrailsAndSpurts, OverTheSampleTerrain) {
    const V eye{1500, 300, 2500};
    const V target{-6000, 200, 5200};
    Look({float(eye.x), float(eye.y), float(eye.z)},
         {float(target.x - eye.x), float(target.y - eye.y), float(target.z - eye.z)});
    const RwMatrix* m = RwFrameGetMatrix(frame);
    const V at{m->at.x, m->at.y, m->at.z}, right{m->right.x, m->right.y, m->right.z};

    // Textures first (bounded), so that both frames see the same ground.
    const auto start = std::chrono::steady_clock::now();
    do
        Draw(false);
    while (!RenderSupport::AllLandTextured(*terrain) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(20));
    ASSERT_TRUE(RenderSupport::AllLandTextured(*terrain));

    // Damage smoke behind a source that flew a curve across the view, 200 to 300 units ahead, in 4 s.
    trail = new Obj::SmokeTrailGroup;
    trail->texture = Rw::LoadTexture("SmokeTrail", rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
    ASSERT_NE(trail->texture, nullptr);
    trail->startWidth = 2;
    trail->endWidth = 100;
    trail->widenRate = 5;
    trail->pointInterval = 0.1f;
    world->AddObject(trail);
    auto* ribbon = trail->AddTrail();
    const float grey[4] = {0.25f, 0.25f, 0.25f, 0.75f};
    float now = 0;
    for (int f = 0; f <= 120; ++f) {
        const double s = f / 120.0;
        const V p =
            eye + at * (200 + 100 * s) + right * (150 * (s - 0.5) * 2) + V{0, 60 * std::sin(3 * s), 0};
        Clock(now += 1 / 30.0f, 1 / 30.0f);
        const double position[3] = {p.x, p.y, p.z};
        trail->Update(ribbon, position, grey);
        trail->Render(Obj::SmokeTrailGroup::RenderOrder, nullptr); // outside a camera: ages only
    }
    EXPECT_GT(ribbon->points.size(), 30u);

    // Dust and spray where two rays below the centre meet the ground, as big as an airplane's crash makes.
    // The ground there lies above the sea, so the spray is made directly (an impact would give dust).
    const V up{m->up.x, m->up.y, m->up.z};
    const V dust = Hit(eye, at + up * -0.3 + right * 0.2);
    const V spray = Hit(eye, at + up * -0.25 + right * -0.2);
    const float dustAt[3] = {float(dust.x), Ground(dust.x, dust.z) + 0.6f, float(dust.z)};
    const float sprayAt[3] = {float(spray.x), Ground(spray.x, spray.z), float(spray.z)};
    spurts.push_back(Obj::CreateImpactSpurt(world.get(), dustAt, 40));
    auto* water = new Obj::SpurtWater;
    water->Setup(sprayAt, 40);
    world->AddObject(water);
    spurts.push_back(water);
    for (int f = 0; f < 12; ++f) {
        Clock(now += 1 / 30.0f, 1 / 30.0f);
        Grp::RunGroup(*world->runnables);
    }
    EXPECT_EQ(spurts.size(), 2u);

    // Two engines' glow at the trail's head, as an airplane flying away from the camera would show them.
    exhaust = new Obj::Exhaust;
    exhaust->LoadTexture(2);
    ASSERT_NE(exhaust->texture, nullptr);
    for (int n = 0; n < 2; ++n)
        exhaust->nozzles[size_t(n)] = {{n ? 1.5f : -1.5f, 0, 0}, {0, 0, -1}, 4, 3 * 4, 12,
                                       {255, 224, 192, 192}};
    const V jet = eye + at * 80 + up * 12 + right * 12;
    RwMatrix place;
    RwMatrixSetIdentity(&place);
    place.right = m->right; // flying away from the camera: the flames point back at it
    place.up = m->up;
    place.at = m->at;
    place.pos = {float(jet.x), float(jet.y), float(jet.z)};
    RwMatrixUpdate(&place);
    exhaust->Transform(&place, rwCOMBINEREPLACE);
    world->AddObject(exhaust);

    const std::vector<uint32_t> plain = Draw(false);
    const std::vector<uint32_t> pixels = Draw(true);
    EXPECT_GT(trail->lastVertexCount, 8u);
    EXPECT_EQ(spurts[0]->lastVertexCount, 6u * 50);
    EXPECT_EQ(spurts[1]->lastVertexCount, 6u * 60);
    EXPECT_EQ(exhaust->lastVertexCount, 6u * 24);

    // A look: the frame as a PNG beside the test.
    SavePng(pixels, "TrailsAndSpurts.png");

    // Where the effects are, the frame differs from the plain one.
    int changed = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const Rgb a = Split(plain[i]), b = Split(pixels[i]);
        const int d = std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
        changed += d > 24;
    }
    EXPECT_GT(changed, Width * Height / 50);
    // The spurts' and the exhaust's own spots: light dust, spray and glow on darker ground.
    for (const V& p : {dust + V{0, 3, 0}, spray + V{0, 3, 0}, jet}) {
        // On screen: the camera's right is the screen's left; the view window is 0.5 by 0.375.
        const V rel = p + V{-eye.x, -eye.y, -eye.z};
        const double cx = rel.x * right.x + rel.y * right.y + rel.z * right.z;
        const double cy = rel.x * up.x + rel.y * up.y + rel.z * up.z;
        const double cz = rel.x * at.x + rel.y * at.y + rel.z * at.z;
        const int x = int(Width / 2.0 * (1 - cx / cz / 0.5)), y = int(Height / 2.0 * (1 - cy / cz / 0.375));
        ASSERT_TRUE(x >= 2 && x < Width - 2 && y >= 2 && y < Height - 2) << x << " " << y;
        int near = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const size_t i = size_t(y + dy) * Width + size_t(x + dx);
                const Rgb a = Split(plain[i]), b = Split(pixels[i]);
                near += (b.r + b.g + b.b) > (a.r + a.g + a.b) + 30;
            }
        EXPECT_GT(near, 10) << x << " " << y;
    }
}

} // namespace
