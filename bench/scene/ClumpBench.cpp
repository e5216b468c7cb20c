// Segment tests: 4,096 segments (std::mt19937, fixed seed) through the bounding sphere of the largest sample
// model, tested by Obj::Clump::IntersectSegment, and the same segments given to the collision plugin for
// every collision atomic with no sphere rejection. Drawing: 1,000 atomics of the sample aircraft placed
// 350,000 units from the origin, drawn each iteration by Obj::Clump::Render with camera-relative drawing,
// then by RpAtomicRender alone; each pass ends with a read-back so that the GL work is counted. Both figures
// and "ratio" (the first pass's time over the second's) come from one run. CORVANE_MODELS_DIR names another
// folder of *.dff files.
#include "bench/Offscreen.h"
#include "scene/Attachable.h"
#include "scene/Clump.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"

#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/world/rpworld.h"
#include "tests/support/Clumps.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <tuple>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int width = 320, height = 240;
constexpr size_t wantedAtomics = 1000;
constexpr double far = 350000.0;

std::filesystem::path ModelsDir() {
    if (const char* given = std::getenv("CORVANE_MODELS_DIR"))
        return given;
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data" / "Data" /
           "Models" / "Airplanes";
}

struct Host {
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    bool started = false;
    Host() {
        std::tie(window, hwnd) = BenchSupport::OpenHiddenWindow("bench", width, height);
        started = Rw::StartEngine(16384, 0, hwnd, 0, 0);
    }
    ~Host() {
        Rw::StopEngine();
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }
};

Host& TheHost() {
    static Host host;
    return host;
}

std::vector<std::filesystem::path> ModelFiles() {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ModelsDir(), error))
        if (entry.path().extension() == ".dff")
            files.push_back(entry.path());
    return files;
}

struct SegmentQuery {
    RpIntersection query;
    int hits = 0;
};

void SegmentTests(benchmark::State& state) {
    if (!TheHost().started) {
        state.SkipWithError("no engine");
        return;
    }
    std::filesystem::path largest;
    for (const auto& file : ModelFiles())
        if (largest.empty() || std::filesystem::file_size(file) > std::filesystem::file_size(largest))
            largest = file;
    RpClump* clump = largest.empty() ? nullptr : Rw::ReadClumpFile(largest.string().c_str());
    if (!clump) {
        state.SkipWithError("no sample model");
        return;
    }
    Obj::Clump model(clump, true);
    model.UpdateLocalBoundingSphere();
    const RwSphere sphere = *model.GetWorldBoundingSphere();
    std::mt19937 random(4357);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<RwLine> segments(4096);
    for (RwLine& line : segments) {
        const RwV3d a = {unit(random), unit(random), unit(random)},
                    b = {unit(random), unit(random), unit(random)};
        line.start = {sphere.center.x + 2 * sphere.radius * a.x, sphere.center.y + 2 * sphere.radius * a.y,
                      sphere.center.z + 2 * sphere.radius * a.z};
        line.end = {sphere.center.x + 0.5f * sphere.radius * b.x,
                    sphere.center.y + 0.5f * sphere.radius * b.y,
                    sphere.center.z + 0.5f * sphere.radius * b.z};
    }
    double clumpSeconds = 0, plainSeconds = 0;
    int64_t tests = 0, hits = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        for (const RwLine& line : segments) {
            RwV3d point, normal;
            hits += model.IntersectSegment(&line, &point, &normal);
        }
        auto t1 = Clock::now();
        for (const RwLine& line : segments) {
            SegmentQuery q;
            q.query.type = rpINTERSECTLINE;
            q.query.t.line = line;
            RpClumpForAllAtomics(
                model.clump,
                [](RpAtomic* atomic, void* data) {
                    auto* s = static_cast<SegmentQuery*>(data);
                    if (RpAtomicGetFlags(atomic) & rpATOMICCOLLISIONTEST)
                        RpCollisionAtomicForAllIntersections(
                            atomic, &s->query,
                            [](RpIntersection*, RpCollisionTriangle* t, RwReal, void* d) {
                                ++static_cast<SegmentQuery*>(d)->hits;
                                return t;
                            },
                            s);
                    return atomic;
                },
                &q);
            benchmark::DoNotOptimize(q.hits);
        }
        auto t2 = Clock::now();
        clumpSeconds += std::chrono::duration<double>(t1 - t0).count();
        plainSeconds += std::chrono::duration<double>(t2 - t1).count();
        tests += int64_t(segments.size());
    }
    state.counters["clump_tests_per_s"] = double(tests) / clumpSeconds;
    state.counters["plain_tests_per_s"] = double(tests) / plainSeconds;
    state.counters["ratio"] = clumpSeconds / plainSeconds;
    state.counters["hit_fraction"] = double(hits) / double(tests);
    state.SetLabel(largest.filename().string());
}

void ReadBack() {
    IDirect3DSurface9* target = nullptr;
    if (Rw::Direct3DDevice->GetRenderTarget(0, &target) == D3D_OK && target) {
        D3DLOCKED_RECT locked{};
        if (target->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
            benchmark::DoNotOptimize(*static_cast<volatile uint8_t*>(locked.pBits));
            target->UnlockRect();
        }
        target->Release();
    }
}

void CameraRelativeDraw(benchmark::State& state) {
    if (!TheHost().started) {
        state.SkipWithError("no engine");
        return;
    }
    std::vector<RpClump*> masters;
    for (const auto& file : ModelFiles())
        if (RpClump* clump = Rw::ReadClumpFile(file.string().c_str()))
            masters.push_back(clump);
    if (masters.empty()) {
        state.SkipWithError("no sample models");
        return;
    }
    RwBBox box = {{1e6f, 1e6f, 1e6f}, {-1e6f, -1e6f, -1e6f}};
    RpWorld* world = RpWorldCreate(&box);
    RpLight* ambient = RpLightCreate(rpLIGHTAMBIENT);
    const RwRGBAReal grey = {0.6f, 0.6f, 0.6f, 1.0f};
    RpLightSetColor(ambient, &grey);
    RpWorldAddLight(world, ambient);

    auto* camera = new Obj::Camera;
    RwCameraSetRaster(camera->camera, Rw::ColourRaster);
    RwCameraSetZRaster(camera->camera, Rw::DepthRaster);
    RwCameraSetFarClipPlane(camera->camera, 2000.0f);
    camera->SetFieldOfView(1.2f);
    RpWorldAddCamera(world, camera->camera);
    RwMatrix place;
    RwMatrixSetIdentity(&place);
    place.pos = {float(far), 0, float(far)};
    RwMatrixUpdate(&place);
    camera->Transform(&place, rwCOMBINEREPLACE);
    camera->localPosition[0] = camera->localPosition[2] = far;

    std::vector<Obj::Clump*> models;
    std::vector<RpAtomic*> atomics;
    for (size_t i = 0; atomics.size() < wantedAtomics; ++i) {
        auto* model = new Obj::Clump(RpClumpClone(masters[i % masters.size()]), true);
        const double x = far + (int(i % 8) * 30 - 105), y = int(i / 8 % 6) * 20 - 50.0,
                     z = far + 150 + int(i / 48) * 40;
        RwMatrixSetIdentity(&place);
        place.pos = {float(x), float(y), float(z)};
        RwMatrixUpdate(&place);
        model->Transform(&place, rwCOMBINEREPLACE);
        model->localPosition[0] = x;
        model->localPosition[1] = y;
        model->localPosition[2] = z;
        model->UpdateLocalBoundingSphere();
        model->cameraRelDistance = 1e9f;
        Obj::DffLod lod{1e9f, {}};
        const std::vector<RpAtomic*> own = TestSupport::Atomics(model->clump);
        atomics.insert(atomics.end(), own.begin(), own.end());
        for (size_t a = atomics.size() - size_t(RpClumpGetNumAtomics(model->clump)); a < atomics.size(); ++a)
            lod.commands.push_back({Obj::DffCommand::RenderAtomics, 0, 0, 0, atomics[a]});
        model->renderOrders.push_back({128, {lod}});
        RpWorldAddClump(world, model->clump);
        models.push_back(model);
    }
    for (RpClump* master : masters)
        RpClumpDestroy(master);

    auto begin = [&] {
        RwCameraBeginUpdate(camera->camera);
        RwRGBA black = {0, 0, 0, 255};
        RwCameraClear(camera->camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
    };
    auto end = [&] {
        RwCameraEndUpdate(camera->camera);
        ReadBack();
    };
    double relativeSeconds = 0, plainSeconds = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        begin();
        for (Obj::Clump* model : models)
            model->Render(128);
        end();
        auto t1 = Clock::now();
        begin();
        for (RpAtomic* atomic : atomics)
            RpAtomicRender(atomic);
        end();
        auto t2 = Clock::now();
        relativeSeconds += std::chrono::duration<double>(t1 - t0).count();
        plainSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double n = double(state.iterations());
    state.counters["relative_ms"] = relativeSeconds / n * 1e3;
    state.counters["plain_ms"] = plainSeconds / n * 1e3;
    state.counters["ratio"] = relativeSeconds / plainSeconds;
    state.counters["atomics"] = double(atomics.size());

    for (Obj::Clump* model : models) {
        RpWorldRemoveClump(world, model->clump);
        delete model;
    }
    RpWorldRemoveCamera(world, camera->camera);
    delete camera;
    RpWorldRemoveLight(world, ambient);
    RpLightDestroy(ambient);
    RpWorldDestroy(world);
}

} // namespace

BENCHMARK(SegmentTests)->Unit(benchmark::kMillisecond);
BENCHMARK(CameraRelativeDraw)->Unit(benchmark::kMillisecond);
