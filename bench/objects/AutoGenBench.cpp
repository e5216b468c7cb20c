// Generated scenery: building sectors of the sample scenery over the sample terrain (placements, shuffle,
// vertex and index filling; no device), against placing alone on the same sectors as the reference. The
// counters give the time per sector and the placements per second of both, and their ratio.
#include "bench/AllocationCounter.h"
#include "objects/AutoGen.h"
#include "objects/Terrain.h"
#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/Frame.h"
#include "scene/Wrappers.h"

#include "base/ClumpCache.h"
#include "base/Info.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/tool/png/rtpng.h"
#include "rwsdk/world/rpworld.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

struct Scenery {
    Scenery() {
        RwEngineInit(nullptr, 0, 0);
        RpWorldPluginAttach();
        RpUserDataPluginAttach();
        RpCollisionPluginAttach();
        Rw::Frame::RegisterPlugins();
        Rw::RegisterWrapperPlugins();
        Rw::AtomicLodData::RegisterPlugin();
        RwEngineOpenParams params = {nullptr};
        RwEngineOpen(&params);
        RwEngineStart();
        const std::string data = std::string(SAMPLE_DATA_DIR) + "/Data/";
        Base::ClumpCache::Directory = data + "Models";
        Rw::InstallClumpCache();
        RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
        RwImageSetPath((data + "Textures/").c_str());
        Base::Info terrainInfo, sets;
        terrainInfo.LoadFile(data + "Terrain1.info");
        ok = terrain.Load(terrainInfo);
        sets.LoadFile(data + "Autogen1.info");
        sets.SetFloat("GlobalDensityFactor", 1);
        autogen.Load(sets);
        ok = ok && autogen.objectSets.size() == 3;
        autogen.SetGroundProbe([this](float x, float z) -> std::optional<Obj::AutoGen::Ground> {
            Base::Vector3 point, normal;
            if (!terrain.IntersectSegment({{x, 10000, z}, {x, -10000, z}}, &point, &normal))
                return std::nullopt;
            return Obj::AutoGen::Ground{point.y, normal};
        });
        // Wooded sectors of the eastern hills and a village.
        for (int32_t j = 10; j < 22; ++j)
            for (int32_t i = 20; i < 30; ++i)
                cells.push_back({i, j});
    }
    Obj::Terrain terrain;
    Obj::AutoGen autogen;
    std::vector<std::pair<int32_t, int32_t>> cells;
    bool ok = false;
};

Scenery& Sample() {
    static Scenery scenery;
    return scenery;
}

void SectorBuild(benchmark::State& state) {
    Scenery& s = Sample();
    if (!s.ok) {
        state.SkipWithError("the sample scenery did not load (build the sample_data target)");
        return;
    }
    size_t next = 0, placements = 0, sectors = 0;
    double buildSeconds = 0, placeSeconds = 0;
    size_t placedForReference = 0;
    for (auto _ : state) {
        const auto [i, j] = s.cells[next++ % s.cells.size()];
        const auto t0 = std::chrono::steady_clock::now();
        const auto sector = s.autogen.BuildSector(i, j);
        const auto t1 = std::chrono::steady_clock::now();
        // The reference: placing alone, the same sector.
        Obj::AutoGen::Sector probe;
        probe.i = i;
        probe.j = j;
        placedForReference += s.autogen.PlaceObjects(probe).size();
        const auto t2 = std::chrono::steady_clock::now();
        buildSeconds += std::chrono::duration<double>(t1 - t0).count();
        placeSeconds += std::chrono::duration<double>(t2 - t1).count();
        placements += sector->objectEnd.size();
        ++sectors;
        benchmark::DoNotOptimize(sector.get());
    }
    state.counters["placements_per_sector"] = double(placements) / double(sectors);
    state.counters["build_us_per_sector"] = buildSeconds / double(sectors) * 1e6;
    state.counters["place_us_per_sector"] = placeSeconds / double(sectors) * 1e6;
    state.counters["build_placements_per_s"] = double(placements) / buildSeconds;
    state.counters["place_placements_per_s"] = double(placedForReference) / placeSeconds;
    state.counters["build_over_place"] = buildSeconds / placeSeconds;
}
BENCHMARK(SectorBuild)->Unit(benchmark::kMicrosecond);

// The per-frame sector window of a camera hovering in place (the sectors already built), against the same
// camera drifting one sector a second at 60 frames a second, to and fro over four sectors, which builds and
// frees at the window's rim.
void SectorWindow(benchmark::State& state) {
    Scenery& s = Sample();
    if (!s.ok) {
        state.SkipWithError("the sample scenery did not load (build the sample_data target)");
        return;
    }
    const bool drifting = state.range(0) != 0;
    const Base::Vector3 base{6000, 900, -2000};
    Base::Vector3 camera = base;
    uint64_t frame = 0;
    s.autogen.sectors.clear();
    s.autogen.UpdateSectors(camera, 600);
    const uint32_t built = s.autogen.sectorsBuilt;
    const AllocationCounter::Counts start = AllocationCounter::Now();
    for (auto _ : state) {
        if (drifting) {
            const uint64_t phase = frame++ % 480;
            camera.x = base.x + float(phase < 240 ? phase : 480 - phase) * s.autogen.sectorSize / 60;
        }
        s.autogen.UpdateSectors(camera, 600);
    }
    const AllocationCounter::Counts allocations = AllocationCounter::Since(start);
    state.counters["sectors"] = double(s.autogen.sectors.size());
    state.counters["builds_per_frame"] = double(s.autogen.sectorsBuilt - built) / double(state.iterations());
    state.counters["allocations_per_frame"] = double(allocations.all) / double(state.iterations());
}
BENCHMARK(SectorWindow)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
