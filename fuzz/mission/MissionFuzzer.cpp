// Any text as a *.msn mission, loaded through the mission loader into a small world (an airbase with a
// runway "R0", a target named "Depot", stand-in pilots and weapons) and ticked for a few seconds on a fixed
// clock. A mission either fails its load, leaves entries out, or runs: nothing crashes, hangs or allocates
// without bound. The one model, Plane.dff, stands for every airplane, vehicle and building the text names.
#include "fuzz/support/ModelFile.h"
#include "fuzz/support/SceneFuzz.h"

#include "mission/GameRequest.h"
#include "mission/Mission.h"

#include "aircraft/Airplane.h"
#include "objects/Structure.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "rwsdk/plugin/hanim/rphanim.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

struct Host : Mission::Host {
    Grp::World* GetWorld() override { return world; }
    Fe::GameRequest& GetRequest() override { return request; }
    const Base::Config* GetSettings() override { return nullptr; }
    Gui::Announcer* GetAnnouncer() override { return nullptr; }
    void EndMission() override {}
    void SetCameraTarget(Obj::Frame*) override {}
    void SetCurrentCamera(int) override {}
    void SetPlayer(Obj::Object*, Obj::Airplane*) override {}

    Grp::World* world = nullptr;
    Fe::GameRequest request;
};

// Pilots that are only names: the actions that steer them find them and change nothing.
struct Crew : Mission::Crew {
    Obj::Object* CreateComputerPilot(Obj::Airplane*, const Base::String&, Obj::Allegiance, float) override {
        return nullptr;
    }
    Obj::Object* CreatePlayerPilot(Obj::Airplane*, const Base::String&, const Base::Config*) override {
        return nullptr;
    }
    Obj::Airplane* GetAirplane(Obj::Object*) override { return nullptr; }
    Obj::Object* GetPilot(Obj::Airplane*) override { return nullptr; }
    bool IsPlayerPilot(Obj::Object*) override { return false; }
    bool IsComputerPilot(Obj::Object*) override { return false; }
    void Eject(Obj::Object*) override {}
    void SetRoute(Obj::Object*, const std::vector<RwV3d>&) override {}
    void SetAttackTarget(Obj::Object*, Obj::Damageable*) override {}
    void SetDefended(Obj::Object*, Obj::Damageable*) override {}
    void SetWingLeader(Obj::Object*, Obj::Airplane*) override {}
};

struct Armoury : Mission::Armoury {
    bool LoadSetup(Obj::Airplane*, const Base::String&) override { return false; }
    void ApplyLoadout(Obj::Airplane*, const Base::Info&) override {}
    bool LaunchHomingRocket(Grp::World*, const Base::String&, const RwMatrix&, Obj::Target*,
                            const RwV3d&) override {
        return false;
    }
};

bool Start() {
    if (!EngineFuzz::Start(RpWorldPluginAttach, RpUserDataPluginAttach, RpCollisionPluginAttach,
                           RpHAnimPluginAttach, Rw::Frame::RegisterPlugins, Rw::RegisterWrapperPlugins,
                           Rw::AtomicLodData::RegisterPlugin))
        return false;
    const std::string dir = FuzzSupport::ScratchDirectory();
    Base::ClumpCache::Directory = dir;
    Rw::InstallClumpCache();
    FuzzSupport::WriteModel(dir + "Plane.dff", {{"Body", {{-1, 0, -6}, {1, 0, -6}, {0, 1, 6}}}});
    std::FILE* file = std::fopen((dir + "Plane.info").c_str(), "w");
    if (!file)
        return false;
    std::fputs("Dff\tPlane.dff\nDamages\n{\n\tHitPoints\t100\n}\n", file);
    return std::fclose(file) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    if (!started)
        std::abort();
    static Crew crew;
    static Armoury armoury;
    Mission::Crew::installed = &crew;
    Mission::Armoury::installed = &armoury;
    const std::string path = FuzzSupport::ScratchDirectory() + "Fuzz.msn";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    Base::InfoCache::Remove(path);

    auto world = std::make_unique<Grp::World>();
    auto* airbase = new Obj::Airbase();
    airbase->name = "Coast Field";
    airbase->runways["R0"] = {0, 0, 90};
    world->AddObject(airbase);
    auto* depot = new Obj::Structure();
    depot->name = "Depot";
    world->AddObject(depot);
    Host host;
    host.world = world.get();
    host.request.airplane = "Plane";
    Base::FrameClock::SetFixedStep(0.5);
    {
        Mission::Mission mission(host, path);
        mission.AddObject(depot, "Depot");
        for (int i = 0; i < 12 && mission.IsLoaded(); ++i) {
            Base::FrameClock::Tick();
            world->time->Advance(0.5);
            mission.Update();
        }
    }
    world.reset();
    Base::InfoCache::Clear();
    return 0;
}
