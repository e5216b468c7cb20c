// A mission in a world of its own on the engine's null device, with the sample data's caches, and doubles
// for what the mission asks of the game (the host), the pilots (the crew) and the weapons (the armoury),
// which record the calls. Mission texts are written to a scratch folder and loaded from there.
#pragma once

#include "tests/scene/SceneFixture.h"
#include "tests/support/TempDir.h"

#include "mission/GameRequest.h"
#include "mission/Mission.h"

#include "aircraft/Airplane.h"
#include "physics/AirplanePhysicsNull.h"
#include "scene/AnimationFile.h"
#include "scene/World.h"

#include "base/AnimationCache.h"
#include "base/FrameClock.h"
#include "base/InfoCache.h"
#include "rwsdk/plugin/hanim/rphanim.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace MissionTest {

struct TestHost : Mission::Host {
    Grp::World* GetWorld() override { return world; }
    Fe::GameRequest& GetRequest() override { return request; }
    const Base::Config* GetSettings() override { return nullptr; }
    Gui::Announcer* GetAnnouncer() override { return announcer; }
    void EndMission() override { ++ended; }
    void SetCameraTarget(Obj::Frame* target) override { cameraTarget = target; }
    void SetCurrentCamera(int camera) override { cameras.push_back(camera); }
    void SetPlayer(Obj::Object* pilot, Obj::Airplane* airplane) override {
        playerPilot = pilot;
        playerAirplane = airplane;
    }

    Grp::World* world = nullptr;
    Fe::GameRequest request;
    Gui::Announcer* announcer = nullptr;
    int ended = 0;
    Obj::Frame* cameraTarget = nullptr;
    std::vector<int> cameras;
    Obj::Object* playerPilot = nullptr;
    Obj::Airplane* playerAirplane = nullptr;
};

// A thing of the world with a place and hit points: a stand-in for pilots and plain targets.
class Thing : public Obj::Frame, public Obj::Object, public Obj::Target {
public:
    explicit Thing(RwV3d at = {0, 0, 0}) {
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = at;
        Transform(&m, 0);
        sphere = {at, 5.0f};
        hitPoints = maxHitPoints = 100;
    }
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    RwSphere sphere{};
};

// A pilot as the crew double makes it.
class Pilot : public Thing {
public:
    Obj::Airplane* airplane = nullptr;
    bool player = false;
    Obj::Allegiance side = Obj::Friendly;
    float level = 0;
    std::vector<RwV3d> route;
    Obj::Damageable* attack = nullptr;
    Obj::Damageable* defended = nullptr;
    Obj::Airplane* leader = nullptr;
    int ejected = 0;
};

struct RecordingCrew : Mission::Crew {
    Obj::Object* CreateComputerPilot(Obj::Airplane* airplane, const Base::String& figure,
                                     Obj::Allegiance side, float level) override {
        return Seat(airplane, figure, false, side, level);
    }
    Obj::Object* CreatePlayerPilot(Obj::Airplane* airplane, const Base::String& figure,
                                   const Base::Config*) override {
        return Seat(airplane, figure, true, Obj::Friendly, 0);
    }
    Obj::Airplane* GetAirplane(Obj::Object* pilot) override {
        auto* p = dynamic_cast<Pilot*>(pilot);
        return p ? p->airplane : nullptr;
    }
    Obj::Object* GetPilot(Obj::Airplane* airplane) override {
        for (Pilot* p : pilots)
            if (p->airplane == airplane)
                return p;
        return nullptr;
    }
    bool IsPlayerPilot(Obj::Object* pilot) override {
        auto* p = dynamic_cast<Pilot*>(pilot);
        return p && p->player;
    }
    bool IsComputerPilot(Obj::Object* pilot) override {
        auto* p = dynamic_cast<Pilot*>(pilot);
        return p && !p->player;
    }
    void Eject(Obj::Object* pilot) override {
        auto* p = dynamic_cast<Pilot*>(pilot);
        ++p->ejected;
        p->airplane = nullptr;
    }
    void SetRoute(Obj::Object* pilot, const std::vector<RwV3d>& points) override {
        dynamic_cast<Pilot*>(pilot)->route = points;
    }
    void SetAttackTarget(Obj::Object* pilot, Obj::Damageable* target) override {
        dynamic_cast<Pilot*>(pilot)->attack = target;
    }
    void SetDefended(Obj::Object* pilot, Obj::Damageable* defended) override {
        dynamic_cast<Pilot*>(pilot)->defended = defended;
    }
    void SetWingLeader(Obj::Object* pilot, Obj::Airplane* leader) override {
        dynamic_cast<Pilot*>(pilot)->leader = leader;
    }

    Pilot* Seat(Obj::Airplane* airplane, const Base::String& figure, bool player, Obj::Allegiance side,
                float level) {
        auto* pilot = new Pilot();
        pilot->airplane = airplane;
        pilot->player = player;
        pilot->side = side;
        pilot->allegiance = side;
        pilot->level = level;
        figures.push_back(figure);
        pilots.push_back(pilot);
        airplane->Obj::Object::world->AddObject(pilot);
        return pilot;
    }

    std::vector<Pilot*> pilots;
    std::vector<Base::String> figures;
};

struct RecordingArmoury : Mission::Armoury {
    struct Launch {
        Base::String description;
        RwMatrix placement;
        Obj::Target* target;
        RwV3d velocity;
    };
    bool LoadSetup(Obj::Airplane* airplane, const Base::String& setup) override {
        setups.emplace_back(airplane, setup);
        return true;
    }
    void ApplyLoadout(Obj::Airplane* airplane, const Base::Info& loadout) override {
        loadouts.emplace_back(airplane, loadout.GetStringDefault("Rack0", ""));
    }
    bool LaunchHomingRocket(Grp::World*, const Base::String& description, const RwMatrix& placement,
                            Obj::Target* target, const RwV3d& velocity) override {
        launches.push_back({description, placement, target, velocity});
        return true;
    }

    std::vector<std::pair<Obj::Airplane*, Base::String>> setups, loadouts;
    std::vector<Launch> launches;
};

// The cockpit's records as the mission sees them.
struct TestCockpit : Obj::CockpitLink {
    struct Navpoint {
        bool used = false;
        std::string name;
        float x = 0, z = 0;
    };
    void ReportThreat(Obj::Frame* source, int level) override { threats.push_back({level, source, 0}); }
    std::size_t GetThreatCount() const override { return threats.size(); }
    bool GetThreat(std::size_t i, Threat& out) const override {
        if (i >= threats.size())
            return false;
        out = threats[i];
        return true;
    }
    Obj::Target* GetRadarTarget() const override { return radarTarget; }
    void SetRadarTarget(int, Obj::Target* target) override { radarTarget = target; }
    int SetRadarTargetKind(int kind) override { return kind; }
    void SelectRadarTarget(int, int) override {}
    void SetRadarRangeNext(int) override {}
    void SelectNextNavpoint() override {}
    void AddNavpoint(int index, const char* name, float x, float z) override {
        if (navpoints.size() <= size_t(index))
            navpoints.resize(size_t(index) + 1);
        navpoints[size_t(index)] = {true, name, x, z};
        current = index;
    }
    void RemoveNavpoint(int index) override {
        if (index >= 0 && size_t(index) < navpoints.size())
            navpoints[size_t(index)] = {};
    }
    std::size_t GetNavpointCount() const override { return navpoints.size(); }
    void SetCurrentNavpoint(int index) override { current = index; }
    bool GetNavpoint(int index, float& x, float& z) const override {
        if (index < 0 || size_t(index) >= navpoints.size() || !navpoints[size_t(index)].used)
            return false;
        x = navpoints[size_t(index)].x;
        z = navpoints[size_t(index)].z;
        return true;
    }
    RwV3d GetEyePosition() const override { return {0, 0, 0}; }

    std::vector<Threat> threats;
    Obj::Target* radarTarget = nullptr;
    std::vector<Navpoint> navpoints;
    int current = -1;
};

// The node "N <text>" of a tree read from the text.
inline Base::Info Node(const std::string& text) {
    Base::Info tree;
    EXPECT_EQ(tree.LoadText("N " + text), 0) << text;
    const Base::Info* node = tree.GetChild("N");
    return node ? *node : Base::Info();
}

class MissionWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
        ASSERT_NO_FATAL_FAILURE(AttachScenePlugins());
        ASSERT_TRUE(RpHAnimPluginAttach());
        RwEngineOpenParams params = {nullptr};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineStart());
        data = std::filesystem::path(CORVANE_BINARY_DIR) / "data" / "Data";
        Base::ClumpCache::Directory = (data / "Models").string() + "\\";
        Rw::InstallClumpCache();
        Base::AnimationCache::Directory = (data / "Anims").string() + "\\";
        Rw::InstallAnimationCache();
        previous = std::filesystem::current_path();
        std::filesystem::current_path(data.parent_path());
        world = std::make_unique<Grp::World>();
        host.world = world.get();
        previousCrew = Mission::Crew::installed;
        Mission::Crew::installed = &crew;
        previousArmoury = Mission::Armoury::installed;
        Mission::Armoury::installed = &armoury;
        Base::FrameClock::SetFixedStep(0.1, 0);
    }
    void TearDown() override {
        probes.clear();
        mission.reset();
        world.reset();
        Mission::Crew::installed = previousCrew;
        Mission::Armoury::installed = previousArmoury;
        Base::FrameClock::SetFixedStep(0);
        Base::InfoCache::Clear();
        Base::AnimationCache::Clear();
        Base::AnimationCache::Read = nullptr;
        Base::AnimationCache::Destroy = nullptr;
        TestSupport::RemoveClumpCache();
        std::filesystem::current_path(previous);
        EXPECT_EQ(Rw::Clump::LiveCount(), 0);
        EXPECT_EQ(Rw::Frame::LiveFrameCount(), 0);
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }

    // The mission of that text (a header is put before it unless it has one).
    Mission::Mission& Load(const std::string& text) {
        const std::string header = text.rfind("Name\t", 0) != 0
                                       ? "Name\tTest\nObjectives\tNone\nBriefing\tNone\nTimeOfDay\t1\n"
                                       : "";
        const std::filesystem::path path = scratch / ("m" + std::to_string(++files) + ".msn");
        std::ofstream(path) << header << text;
        mission = std::make_unique<Mission::Mission>(host, path.string());
        return *mission;
    }
    // One frame: the clock, the world's time by the frame's step, the mission's tick.
    void Tick() {
        Base::FrameClock::Tick();
        world->time->step = float(Base::FrameClock::FrameTime);
        world->time->time += world->time->step;
        mission->Update();
    }
    // A condition or action of the loaded mission from "<kind>\n{\n<keys>}" (null when it does not load).
    std::unique_ptr<Mission::Condition> Condition(const std::string& text) {
        if (!mission)
            Load("");
        probes.push_back(std::make_unique<Mission::Event>(mission.get(), "Probe"));
        return Mission::CreateCondition(probes.back().get(), Node(text));
    }
    std::unique_ptr<Mission::Action> Action(const std::string& text) {
        if (!mission)
            Load("");
        probes.push_back(std::make_unique<Mission::Event>(mission.get(), "Probe"));
        return Mission::CreateAction(probes.back().get(), Node(text));
    }
    template <class T> T* Add(T* object) {
        world->AddObject(object);
        return object;
    }
    // An airplane without a model, on the null flight model, standing in that state.
    Obj::Airplane* Airplane(const Physics::AirplaneState& state) {
        auto* airplane = new Obj::Airplane();
        airplane->flightModel =
            std::make_unique<Physics::AirplanePhysicsNull>(Physics::PhysicsParams{}, state);
        return Add(airplane);
    }

    std::filesystem::path data, previous;
    TestSupport::TempDir scratch{"corvane-mission"};
    int files = 0;
    std::unique_ptr<Grp::World> world;
    TestHost host;
    RecordingCrew crew;
    Mission::Crew* previousCrew = nullptr;
    RecordingArmoury armoury;
    Mission::Armoury* previousArmoury = nullptr;
    std::unique_ptr<Mission::Mission> mission;
    std::vector<std::unique_ptr<Mission::Event>> probes; // each condition's or action's own event
};

} // namespace MissionTest
