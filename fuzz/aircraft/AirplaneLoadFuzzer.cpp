// Any text as an airplane's description, loaded with each flight-model kind (the null model as a remote
// copy), placed by its "Fuzz.Place" (x, z, height, heading, speed: height below 0 stands it on its wheels)
// and flown for a second in a world whose terrain extent is "Fuzz.Extent" (size x, size z). A description
// either fails the load or flies: the state stays finite in every frame, and nothing hangs or allocates
// without bound. The one model, Plane.dff, has every part an airplane looks for.
#include "fuzz/support/ModelFile.h"
#include "fuzz/support/SceneFuzz.h"

#include "aircraft/Airplane.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/Info.h"
#include "base/InfoCache.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "tools/airfoil/AirfoilTable.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

bool Start() {
    // The animation plugin too, as the game attaches it: the airplane looks for part animations.
    if (!EngineFuzz::Start(RpWorldPluginAttach, RpUserDataPluginAttach, RpCollisionPluginAttach,
                           RpHAnimPluginAttach, Rw::Frame::RegisterPlugins, Rw::RegisterWrapperPlugins,
                           Rw::AtomicLodData::RegisterPlugin))
        return false;
    Base::ClumpCache::Directory = FuzzSupport::ScratchDirectory();
    Rw::InstallClumpCache();
    const std::string dir = FuzzSupport::ScratchDirectory();
    auto part = [](const char* name, float x, float y, float z) {
        return FuzzSupport::ModelPart{name, {{x - 0.2f, y, z}, {x + 0.2f, y, z}, {x, y + 0.2f, z + 0.2f}}};
    };
    FuzzSupport::WriteModel(dir + "Plane.dff", {{"Body", {{-1, 0, -6}, {1, 0, -6}, {0, 1, 6}}},
                                                part("SuspC", 0, -1, 4),
                                                part("WheelC", 0, -1.3f, 4),
                                                part("SuspL", 1.4f, -1, -0.6f),
                                                part("WheelL", 1.4f, -1.2f, -0.6f),
                                                part("SuspR", -1.4f, -1, -0.6f),
                                                part("WheelR", -1.4f, -1.2f, -0.6f),
                                                part("AileronL", 3, 0, -1),
                                                part("AileronR", -3, 0, -1),
                                                part("FlapL", 2, 0, -1),
                                                part("FlapR", -2, 0, -1),
                                                part("ElevatorL", 2, 0.2f, -6),
                                                part("ElevatorR", -2, 0.2f, -6),
                                                part("RudderL", 0, 2, -6),
                                                part("RudderR", 0, 2.1f, -6)});
    std::filesystem::create_directories(dir + "Data");
    std::FILE* file = std::fopen((dir + "Data/Airfoil.dat").c_str(), "w");
    if (!file)
        return false;
    for (auto table : {Airfoil::Lift, Airfoil::Drag, Airfoil::Moment})
        for (int i = 0; i < 360; ++i)
            std::fprintf(file, "%.6f\n", table(Airfoil::IndexDegrees(i)));
    return std::fclose(file) == 0;
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    Check(started);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Base::Info info;
    if (info.LoadText(text) != 0)
        return 0;
    const std::string path = FuzzSupport::ScratchDirectory() + "Fuzz";
    if (std::FILE* file = std::fopen((path + ".info").c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    Base::InfoCache::Remove(path + ".info");

    float place[5] = {0, 0, 100, 0, 100};
    Base::Vector3 a, b;
    if (info.TryGetVector3("Fuzz.Place", a)) {
        place[0] = a.x;
        place[1] = a.y;
        place[2] = a.z;
    }
    if (info.TryGetVector3("Fuzz.Course", b)) {
        place[3] = b.x;
        place[4] = b.y;
    }
    Base::Vector2 extent{100000, 100000};
    info.TryGetPoint("Fuzz.Extent", extent);

    for (int kind = 0; kind < 3; ++kind) {
        Grp::World world;
        world.terrainExtent = {-extent.x / 2, -extent.y / 2, extent.x, extent.y};
        auto* airplane = new Obj::Airplane;
        airplane->remoteCopy = kind == 0;
        airplane->seed = 5;
        // The airfoils read their tables from the working directory as they are made; libFuzzer's own paths
        // stay relative to the directory it was started in.
        char here[4096];
        Check(getcwd(here, sizeof here) && chdir(FuzzSupport::ScratchDirectory().c_str()) == 0);
        const bool loaded = airplane->Load(path.c_str(), kind);
        Check(chdir(here) == 0);
        if (!loaded) {
            Check(!airplane->flightModel);
            delete airplane;
            continue;
        }
        world.AddObject(airplane);
        airplane->Place(place[0], place[1], place[2], place[3], place[4]);
        Base::SmartPtr<Obj::Airplane> alive = airplane;
        float t = 0;
        for (int frame = 0; frame < 30 && alive; ++frame) {
            world.time->step = 1.0f / 30;
            Grp::SimulateGroup(*world.simulateables, t, t + world.time->step);
            t += world.time->step;
            world.time->time = t;
            Grp::RunGroup(*world.runnables);
            if (alive)
                Check(Physics::IsFinite(alive->GetState()));
        }
    }
    Base::InfoCache::Remove(path + ".info");
    return 0;
}
