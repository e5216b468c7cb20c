// 50 computer pilots on the sample fighter (simple flight model) over flat ground made in memory: two sides
// of 25, each side five flights of a leader and four wingmen, the leaders armed with air-to-air missiles and
// searching for the other side. Timed: the pilots' own steps (the terrain profile and probes, the mode's
// steering, the decision with its target search), one frame each, as a share of a 16.7 ms frame (the
// flight models and the airplanes' runs go untimed between); counted: the heap allocations our own code
// makes in those steps in a warm frame (target 0). Runs in the built data tree (CORVANE_DATA_DIR, else
// ../data beside the executable).
#include "aircraft/Airplane.h"
#include "bench/AllocationCounter.h"
#include "objects/Terrain.h"
#include "pilots/PilotAi.h"
#include "scene/AnimationFile.h"
#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr double FrameSeconds = 0.0167;

struct Engine {
    bool ok = false;
    Engine() {
        ok = RwEngineInit(nullptr, 0, 0) && RpWorldPluginAttach() && RpUserDataPluginAttach() &&
             RpCollisionPluginAttach() && RpHAnimPluginAttach() && Rw::Frame::RegisterPlugins() &&
             Rw::RegisterWrapperPlugins() && Rw::AtomicLodData::RegisterPlugin();
        RwEngineOpenParams params = {nullptr};
        ok = ok && RwEngineOpen(&params) && RwEngineStart();
    }
    ~Engine() {
        Base::InfoCache::Clear();
        Base::ClumpCache::Clear();
        Base::AnimationCache::Clear();
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
};

bool EnterDataTree() {
    std::filesystem::path data;
    if (const char* dir = std::getenv("CORVANE_DATA_DIR"))
        data = dir;
    else
        data = std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "data";
    std::error_code error;
    std::filesystem::current_path(data, error);
    if (error || !std::filesystem::exists("Data/Airfoil.dat"))
        return false;
    Base::ClumpCache::Directory = "Data/Models/";
    Base::AnimationCache::Directory = "Data/Anims/";
    Rw::InstallClumpCache();
    Rw::InstallAnimationCache();
    return true;
}

// Gently rolling land 64 km square.
bool BuildTerrain(Obj::Terrain& terrain) {
    Base::Info description;
    const char* text =
        "VisibilityRange 20000\nSliceSize 16384\nSliceVerticesSpan 17\nSlicesSpan 4 4\n"
        "BottomRightPos -32768 -32768\nHeightMapFilename Height.png\nHeightMapScale 10\nHeightMapOffset 0 0\n"
        "HeightMapSize 65 65\nMainTextureDir Data\\Terrain1\nMainTextureNameFormat S_%02d_%02d.dds\n"
        "MainTextureRes 512\nMainTextureOffset 0 0\nLightAmbientColor 0.3 0.3 0.3\n"
        "LightDiffuseColor 1 1 0.9 1\nLightSpecularColor 0 0 0\nLightDirection 0.709 -0.574 0.410\n"
        "WaterSpecularPower 20\nWaterColorNoPS 0.2 0.3 0.4 1\nWaterColorPS11 0.2 0.3 0.4 1\n"
        "WaterEnvTexFilename Env\nWaterAnimFramesCount 8\nSlicesLandFilename Land.png\n"
        "SlicesWaterFilename Water.png\n";
    if (description.LoadText(text) != 0 || !terrain.ReadParameters(description))
        return false;
    std::vector<uint8_t> heights(65 * 65), land(65 * 65, 1), water(65 * 65, 0);
    for (int row = 0; row < 65; ++row)
        for (int column = 0; column < 65; ++column)
            heights[size_t(row * 65 + column)] = uint8_t(20 + (row * 7 + column * 13) % 40);
    const auto view = [](const std::vector<uint8_t>& pixels) {
        return Obj::Terrain::ImageView{65, 65, 1, 65, pixels.data(), pixels.size()};
    };
    Obj::Terrain::HeightMap map;
    Obj::Terrain::BitMask landMask, waterMask;
    Obj::Terrain::ReadHeightMap(view(heights), map);
    Obj::Terrain::ReadBitMask(view(land), landMask);
    Obj::Terrain::ReadBitMask(view(water), waterMask);
    return terrain.LoadData(std::move(map), std::move(landMask), std::move(waterMask));
}

// Two racks of air-to-air missiles that never lock, so that nothing is fired.
class Missiles : public Obj::AiStores {
public:
    std::size_t RackCount() const override { return 2; }
    Rack GetRack(std::size_t) const override { return {true, 0, true, 30000}; }
    uint8_t Selected() const override { return selected; }
    void Select(uint8_t i) override { selected = i; }
    void SetGuidedTarget(Obj::Target*) override {}
    bool SelectedHasLock() const override { return false; }
    bool FireSelected() override { return false; }
    void DropCountermeasure(int) override {}
    void SetJammer(bool) override {}
    uint8_t selected = NoRack;
};

void FiftyComputerPilotsOneFrame(benchmark::State& state) {
    Engine engine;
    if (!engine.ok || !EnterDataTree()) {
        state.SkipWithError("no engine or no data tree");
        return;
    }
    {
        Grp::World world;
        Obj::Terrain terrain;
        if (!BuildTerrain(terrain)) {
            state.SkipWithError("the terrain cannot be built");
            return;
        }
        world.terrain = &terrain;
        std::vector<Obj::PilotAi*> pilots;
        std::vector<std::unique_ptr<Missiles>> stores;
        for (int i = 0; i < 50; ++i) {
            auto* airplane = new Obj::Airplane;
            airplane->seed = uint32_t(i + 1);
            if (!airplane->Load("Data/Models/Airplanes/Su27", Obj::Airplane::SimpleModel)) {
                delete airplane;
                state.SkipWithError("the sample airplane does not load");
                return;
            }
            const int side = i / 25, flight = (i % 25) / 5, member = i % 5;
            airplane->allegiance = side ? Obj::Enemy : Obj::Friendly;
            world.AddObject(airplane);
            airplane->Place(float(flight * 3000 - 6000 + member * 150),
                            side ? 20000.0f : -20000.0f + member * 150, 3000 + float(flight * 200),
                            side ? 180.0f : 0.0f, 200);
            auto* pilot = new Obj::PilotAi(uint32_t(i + 1));
            if (!pilot->Load(&Base::InfoCache::Get("Data/Models/Airplanes/Pilot.model"))) {
                delete pilot;
                state.SkipWithError("the pilot's figure does not load");
                return;
            }
            pilot->SetAirplane(airplane);
            world.AddObject(pilot);
            if (member == 0) {
                stores.push_back(std::make_unique<Missiles>());
                pilot->stores = stores.back().get();
                pilot->ScanWeapons();
            } else {
                stores.push_back(std::make_unique<Missiles>());
                pilot->stores = stores.back().get();
                pilot->leader = pilots[size_t(i - member)]->GetAirplane();
            }
            pilots.push_back(pilot);
        }
        // The world's run pass runs the airplanes; the pilots are run by hand, timed.
        for (Obj::PilotAi* pilot : pilots)
            Grp::Simple<Obj::Runnable>::Remove(pilot);
        float t = 0;
        using Clock = std::chrono::steady_clock;
        Clock::duration total{};
        auto frame = [&](bool timed) {
            world.time->step = float(FrameSeconds);
            Grp::SimulateGroup(*world.simulateables, t, t + float(FrameSeconds));
            t += float(FrameSeconds);
            world.time->time = t;
            const auto a = Clock::now();
            for (Obj::PilotAi* pilot : pilots)
                pilot->Run();
            if (timed)
                total += Clock::now() - a;
            Grp::RunGroup(*world.runnables);
        };
        for (int n = 0; n < 120; ++n)
            frame(false);
        AllocationCounter::Attribute(true);
        const auto start = AllocationCounter::Now();
        for (auto _ : state)
            frame(true);
        const auto allocations = AllocationCounter::Since(start);
        AllocationCounter::Attribute(false);
        const double frames = double(state.iterations());
        const double seconds = std::chrono::duration<double>(total).count() / frames;
        int modes[Obj::PilotAi::ModeCount] = {};
        for (Obj::PilotAi* pilot : pilots)
            ++modes[pilot->mode];
        state.counters["pilots_ms"] = seconds * 1000;
        state.counters["budget_ms"] = FrameSeconds * 1000;
        state.counters["share"] = seconds / FrameSeconds;
        state.counters["ours_allocs_per_frame"] = double(allocations.ours) / frames;
        state.counters["attacking"] = double(modes[Obj::PilotAi::AttackAir] + modes[Obj::PilotAi::TurnToAir] +
                                             modes[Obj::PilotAi::ApproachAir]);
        state.counters["in_formation"] =
            double(modes[Obj::PilotAi::JoinFormation] + modes[Obj::PilotAi::KeepFormation] +
                   modes[Obj::PilotAi::RejoinLeader]);
        world.Clear();
        world.terrain = nullptr;
    }
}
BENCHMARK(FiftyComputerPilotsOneFrame)->Unit(benchmark::kMillisecond)->Iterations(600);

} // namespace
