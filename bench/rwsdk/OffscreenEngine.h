// What the engine benchmarks that draw start from: the engine on the Direct3D 9 driver behind a hidden
// window, a camera on 320 x 240 colour and depth rasters, the sample aircraft read from their files, and the
// count of GL programs and heap allocations of a warm frame.
#pragma once

#include "bench/Offscreen.h"
#include "bench/AllocationCounter.h"
#include "tests/support/CameraRasters.h"

#include "platform/d3d9/Control.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/rpworld.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

namespace BenchSupport {

// Waits for the device to finish what was drawn: a read-back of the render target into a new surface of
// that size.
inline void FinishDrawing(int width, int height) {
    IDirect3DSurface9* target = nullptr;
    RwD3D9Device->GetRenderTarget(0, &target);
    IDirect3DSurface9* copy = nullptr;
    RwD3D9Device->CreateOffscreenPlainSurface(UINT(width), UINT(height), D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                              &copy, nullptr);
    RwD3D9Device->GetRenderTargetData(target, copy);
    copy->Release();
    target->Release();
}

struct OffscreenEngine {
    static constexpr int width = 320, height = 240;

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwCamera* camera = nullptr;
    RwFrame* frame = nullptr;
    RwRaster* colour = nullptr;
    RwRaster* depth = nullptr;

    // arena: bytes of the engine's resource arena (room for instance data); plugins: attached between the
    // engine's initialisation and its opening.
    explicit OffscreenEngine(RwUInt32 arena, void (*plugins)() = nullptr) {
        std::tie(window, hwnd) = BenchSupport::OpenHiddenWindow("bench", width, height);
        RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach);
        RwEngineInit(nullptr, 0, arena);
        if (plugins)
            plugins();
        RwEngineOpenParams params = {hwnd};
        RwEngineOpen(&params);
        RwEngineStart();
        camera = TestSupport::CreateCamera(width, height, frame, colour, depth);
    }

    // Waits for the frame drawn: a read-back into a surface made once, so that a frame's allocations are the
    // drawing's own.
    void ReadBack() {
        IDirect3DSurface9* target = nullptr;
        RwD3D9Device->GetRenderTarget(0, &target);
        if (!readBack)
            RwD3D9Device->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                      &readBack, nullptr);
        RwD3D9Device->GetRenderTargetData(target, readBack);
        target->Release();
    }
    IDirect3DSurface9* readBack = nullptr;
};

// The sample aircraft's clumps (CORVANE_MODELS_DIR names another folder of *.dff files); none when the
// sample data is not built.
inline std::vector<RpClump*> ReadSampleModels() {
    std::filesystem::path dir;
    if (const char* given = std::getenv("CORVANE_MODELS_DIR"))
        dir = given;
    else
        dir = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data" / "Data" /
              "Models" / "Airplanes";
    std::vector<RpClump*> clumps;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        if (entry.path().extension() != ".dff")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<RwUInt8> bytes((std::istreambuf_iterator<char>(in)), {});
        RwMemory memory = {bytes.data(), RwUInt32(bytes.size())};
        RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
        if (!stream)
            continue;
        RpClump* clump =
            RwStreamFindChunk(stream, rwID_CLUMP, nullptr, nullptr) ? RpClumpStreamRead(stream) : nullptr;
        RwStreamClose(stream, nullptr);
        if (clump)
            clumps.push_back(clump);
    }
    return clumps;
}

// The i-th clump's place in a grid before the camera: 8 across, 6 high, rows of 48 going away.
inline void PlaceInGrid(RpClump* clump, size_t i) {
    const RwV3d at = {RwReal(int(i % 8) * 30 - 105), RwReal(int(i / 8 % 6) * 20 - 50),
                      RwReal(150 + int(i / 48) * 40)};
    RwMatrixTranslate(RwFrameGetMatrix(RpClumpGetFrame(clump)), &at, rwCOMBINEREPLACE);
    RwFrameUpdateObjects(RpClumpGetFrame(clump));
}

// The GL programs compiled and the heap allocations (all, and the program's own) per frame of a pass drawn
// warm: twice before counting.
template <class Pass> void CountWarmFrames(benchmark::State& state, Pass pass) {
    pass();
    pass();
    const size_t programs = D3D9::ProgramCount(RwD3D9Device);
    AllocationCounter::Attribute(true);
    const AllocationCounter::Counts start = AllocationCounter::Now();
    for (auto _ : state)
        pass();
    const AllocationCounter::Counts counted = AllocationCounter::Since(start);
    AllocationCounter::Attribute(false);
    const double frames = double(state.iterations());
    state.counters["programs/frame"] = double(D3D9::ProgramCount(RwD3D9Device) - programs) / frames;
    state.counters["allocs/frame"] = double(counted.all) / frames;
    state.counters["ours/frame"] = double(counted.ours) / frames;
}

} // namespace BenchSupport
