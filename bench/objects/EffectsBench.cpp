// 100 explosions and 50 smoke columns at once, on the Direct3D 9 stand-in at 1024 x 768 offscreen: the time
// of a frame (the world's run pass and its render pass), the vertices it sends and the heap allocations per
// frame, against the reference of the same quads sent prebuilt in two immediate-mode batches (the same pixels
// filled, without the per-object work). Run in build/data (the sample data tree) with vblank_mode=0.
#include "bench/Offscreen.h"
#include "bench/AllocationCounter.h"
#include "objects/Explosion.h"
#include "objects/HitSpot.h"
#include "objects/Particles.h"

#include "base/Maths.h"
#include "rwsdk/src/texture.h"

#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/tool/png/rtpng.h"
#include "scene/Attachable.h"
#include "scene/EngineHost.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int Width = 1024, Height = 768;
constexpr int Explosions = 100, Columns = 50;
constexpr float Step = 0.02f;

double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// Live quads of the world's effects, six vertices each.
size_t LiveVertices(Grp::World& world) {
    size_t quads = 0;
    world.ForEach([&](Obj::Object* object) {
        if (auto* e = dynamic_cast<Obj::Explosion*>(object)) {
            for (const auto* v : {&e->fireParticles, &e->smokeParticles})
                quads +=
                    size_t(std::count_if(v->begin(), v->end(), [](const auto& p) { return p.life > 0; }));
        } else if (auto* s = dynamic_cast<Obj::Smoke*>(object)) {
            quads += size_t(
                std::count_if(s->puffs.begin(), s->puffs.end(), [](const auto& p) { return p.life > 0; }));
        }
    });
    return quads * 6;
}

void EffectsFrames(benchmark::State& state) {
    const auto [window, hwnd] = BenchSupport::OpenHiddenWindow("effects", Width, Height);
    if (!Rw::StartEngine(4096, 0, hwnd, 0, 0)) {
        state.SkipWithError("no device");
        return;
    }
    RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
    RwImageSetPath("Data/Textures/");
    {
        Obj::Camera eye;
        RwCameraSetRaster(eye.camera, Rw::ColourRaster);
        RwCameraSetZRaster(eye.camera, Rw::DepthRaster);
        RwCameraSetNearClipPlane(eye.camera, 5);
        RwCameraSetFarClipPlane(eye.camera, 20000);
        const RwV2d window{0.5f, 0.375f};
        RwCameraSetViewWindow(eye.camera, &window);
        // 300 units south of the effects, looking north at them; far from the origin, as in a game.
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.right = {1, 0, 0}; // the engine's right: up x at
        m.up = {0, 1, 0};
        m.at = {0, 0, 1};
        m.pos = {150000, 200, 99500};
        RwMatrixUpdate(&m);
        eye.Transform(&m, rwCOMBINEREPLACE);

        Grp::World world;
        world.time->fixedStep = Step;
        const auto frame = [&] {
            world.time->Advance(0.0);
            Grp::RunGroup(*world.runnables);
            RwCameraBeginUpdate(eye.camera);
            RwRGBA sky = {150, 185, 225, 255};
            RwCameraClear(eye.camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
            Grp::RenderVisible(Grp::VisibleRange(*eye.GetViewParameters(), *world.renderables).begin(),
                               Grp::VisibleIterator(), nullptr);
            RwCameraEndUpdate(eye.camera);
        };
        // The columns burn for a while first, so that each holds its full queue of puffs.
        for (int i = 0; i < Columns; ++i) {
            const float x = 150000 - 250 + 10.0f * float(i), z = 100000 + 40.0f * float(i % 5);
            world.AddObject(Obj::HitSpot::Create(3, {x, 0, z}));
        }
        for (int i = 0; i < int(25 / Step); ++i)
            frame();
        for (int i = 0; i < Explosions; ++i) {
            auto* e = new Obj::Explosion;
            const float at[3] = {150000 - 200 + 4.0f * float(i), 60 + 20.0f * float(i % 7),
                                 100000 + 3.0f * float(i % 11)};
            e->Setup(at, 200, "");
            world.AddObject(e);
        }
        frame(); // the explosions' first frame: their working arrays grow here

        size_t visible = 0;
        for (auto* member : Grp::VisibleRange(*eye.GetViewParameters(), *world.renderables)) {
            (void)member;
            ++visible;
        }
        std::vector<double> times;
        double vertices = 0;
        uint64_t frames = 0;
        const AllocationCounter::Counts allocationsAtStart = AllocationCounter::Now();
        for (auto _ : state) {
            const auto start = std::chrono::steady_clock::now();
            frame();
            times.push_back(Milliseconds(start));
            state.PauseTiming();
            vertices += double(LiveVertices(world));
            state.ResumeTiming();
            ++frames;
        }
        const AllocationCounter::Counts allocations = AllocationCounter::Since(allocationsAtStart);
        const double p50 = BenchSupport::Percentile(times, 50);

        // The reference: the quads of the last frame, built once, sent each frame in two batches (the fire
        // added, the smoke blended far to near) with the same textures and states: the same pixels filled,
        // without the per-object work.
        Obj::EffectView view;
        Obj::EffectView::FromCamera(eye.camera, view);
        std::vector<RwIm3DVertex> fire, smoke;
        std::vector<std::pair<double, std::array<RwIm3DVertex, 6>>> blended;
        RwTexture *fireTexture = nullptr, *smokeTexture = nullptr, *columnTexture = nullptr;
        RwV3d corners[4];
        Obj::CornerDirections(view.right, view.up, corners);
        const auto blend = [&](const double position[3], float size, float angle, const uint8_t c[4]) {
            const RwV3d rel{float(position[0] - view.position[0]), float(position[1] - view.position[1]),
                            float(position[2] - view.position[2])};
            RwV3d turned[4];
            for (int k = 0; k < 4; ++k)
                turned[k] = Base::RotateVectorAroundAxis(corners[k], view.at, angle);
            std::array<RwIm3DVertex, 6> quad;
            Obj::WriteQuad(quad.data(), rel, turned, size, Obj::PackArgb(c[0], c[1], c[2], c[3]));
            blended.push_back({double(rel.x) * rel.x + double(rel.y) * rel.y + double(rel.z) * rel.z, quad});
        };
        world.ForEach([&](Obj::Object* object) {
            if (auto* e = dynamic_cast<Obj::Explosion*>(object)) {
                fireTexture = e->fireTexture;
                smokeTexture = e->smokeTexture;
                std::vector<const Obj::Particle*> order;
                Obj::VertexStore store;
                const size_t n = Obj::BuildParticleQuads(e->fireParticles, view, view.right, view.up, true,
                                                         false, order, store);
                fire.insert(fire.end(), store.Reserve(n), store.Reserve(n) + n);
                for (const Obj::Particle& p : e->smokeParticles)
                    if (p.life > 0)
                        blend(p.position, p.size, p.angle, p.color);
            } else if (auto* c = dynamic_cast<Obj::Smoke*>(object)) {
                columnTexture = c->texture;
                for (const Obj::Smoke::Particle& p : c->puffs)
                    if (p.life > 0)
                        blend(p.position, p.size, p.angle, p.color);
            }
        });
        std::sort(blended.begin(), blended.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        for (const auto& entry : blended)
            smoke.insert(smoke.end(), entry.second.begin(), entry.second.end());
        (void)columnTexture;
        const auto send = [](std::vector<RwIm3DVertex>& v) {
            for (size_t first = 0; first < v.size(); first += 65532)
                Obj::DrawIm3D(&v[first], std::min<size_t>(65532, v.size() - first), rwPRIMTYPETRILIST);
        };
        const auto raster = [](RwTexture* t) {
            return t ? reinterpret_cast<uintptr_t>(RwTextureGetRaster(t)) : 0;
        };
        std::vector<double> reference;
        for (uint64_t f = 0; f < frames; ++f) {
            const auto start = std::chrono::steady_clock::now();
            RwCameraBeginUpdate(eye.camera);
            RwRGBA sky = {150, 185, 225, 255};
            RwCameraClear(eye.camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
            {
                Obj::CameraRelativeScope scope(eye.camera, view);
                Obj::SetRenderState(rwRENDERSTATEVERTEXALPHAENABLE, 1);
                Obj::SetRenderState(rwRENDERSTATEZWRITEENABLE, 0);
                Obj::SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLNONE);
                Obj::SetRenderState(rwRENDERSTATETEXTURERASTER, raster(fireTexture));
                Obj::SetRenderState(rwRENDERSTATESRCBLEND, 5);
                Obj::SetRenderState(rwRENDERSTATEDESTBLEND, 2);
                send(fire);
                Obj::SetRenderState(rwRENDERSTATETEXTURERASTER, raster(smokeTexture));
                Obj::SetRenderState(rwRENDERSTATEDESTBLEND, 6);
                send(smoke);
                Obj::SetRenderState(rwRENDERSTATEZWRITEENABLE, 1);
                Obj::SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLBACK);
            }
            RwCameraEndUpdate(eye.camera);
            reference.push_back(Milliseconds(start));
        }
        const double raw = BenchSupport::Percentile(reference, 50);

        // A last, untimed stretch with attribution: the allocations the program's own code asks for.
        AllocationCounter::Attribute(true);
        const AllocationCounter::Counts oursAtStart = AllocationCounter::Now();
        const int attributed = 20;
        for (int k = 0; k < attributed; ++k)
            frame();
        AllocationCounter::Attribute(false);

        state.counters["p50_ms"] = p50;
        state.counters["p99_ms"] = BenchSupport::Percentile(times, 99);
        state.counters["raw_p50_ms"] = raw;
        state.counters["ratio"] = raw > 0 ? p50 / raw : 0;
        state.counters["visible"] = double(visible);
        state.counters["vertices_per_frame"] = vertices / double(frames);
        state.counters["allocs_per_frame"] = double(allocations.all) / double(frames);
        state.counters["ours_allocs_per_frame"] =
            double(AllocationCounter::Since(oursAtStart).ours) / attributed;
        world.Clear();
        RwCameraSetRaster(eye.camera, nullptr);
        RwCameraSetZRaster(eye.camera, nullptr);
    }
    Rw::StopEngine();
    Win32::DetachSdlWindow(hwnd);
    SDL_DestroyWindow(window);
}
// 1.5 s of world time: every explosion is alive throughout (its smoke lives at least 3.8 s).
BENCHMARK(EffectsFrames)->Iterations(75)->Unit(benchmark::kMillisecond);

} // namespace
