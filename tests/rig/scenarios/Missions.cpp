// "mission-<name>": a sample mission played in its scenery as the single-player game plays it, without
// drawing: the mission's events each frame before the world's passes, on a host that records the end of
// the mission. The airplanes are the game's own: the mission's crew seats the game's player pilot and
// computer pilots, and every airplane has its weapon stores, gun and cockpit (radar, threat warning). The
// player flies with a joystick, twist grip and throttle lever (the settings' control type 3): x rolls, y
// pitches, the twist is the rudder, button 0 fires, 1 picks the radar's target, 2 the next air weapon, 4
// and 5 drop flares and chaff, 6 switches the jammer; the keyboard's keys are the default ones (E the
// engine, G the gear, B the wheel brakes, D the weapon door). The player's airplane is the Su27 (unless
// the mission names another) with the weapons the briefing would give it. Traced: each event as it fires,
// the mission's result and the end page (after which the game stands still, as behind the program's end
// page); each airplane's first hit and its end; each missile's launch.
#include "tests/rig/ScenarioRunner.h"
#include "tests/rig/WorldScenario.h"
#include "tests/rig/scenarios/MissionAutopilot.h"

#include "frontend/MissionLists.h"
#include "mission/GameRequest.h"
#include "mission/Mission.h"

#include "aircraft/Airplane.h"
#include "cockpit/Cockpit.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "objects/LoadScenery.h"
#include "scene/AnimationFile.h"
#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/Frame.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"
#include "scene/Wrappers.h"
#include "weapons/AirplaneGun.h"
#include "weapons/AutoWeapons.h"
#include "weapons/HomingRocket.h"
#include "weapons/Stores.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/Config.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/Random.h"
#include "base/RandomTimeStamp.h"
#include "base/InfoCache.h"
#include "base/TextTable.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Host : Mission::Host {
    Grp::World* GetWorld() override { return world; }
    Fe::GameRequest& GetRequest() override { return request; }
    const Base::Config* GetSettings() override { return &settings; }
    Gui::Announcer* GetAnnouncer() override { return nullptr; }
    void EndMission() override { ended = true; }
    void SetCameraTarget(Obj::Frame*) override {}
    void SetCurrentCamera(int) override {}
    void SetPlayer(Obj::Object*, Obj::Airplane* airplane) override { player = airplane; }

    Grp::World* world = nullptr;
    Fe::GameRequest request;
    Base::Config settings;
    Base::SmartPtr<Obj::Airplane> player;
    bool ended = false;
};

// A sample mission and the weapon set-up of the player's Su27 that its briefing leads to (none: the gun
// only).
struct MissionFile {
    const char* file; // under the data folder
    const char* setup;
};

class MissionScenario : public Rig::Scenario {
public:
    enum Pilot { Scripted, Autopilot, Cruise };
    MissionScenario(const MissionFile& mission, Pilot flying) : mission(mission), flying(flying) {}
    MissionScenario(const MissionScenario&) = delete;
    MissionScenario& operator=(const MissionScenario&) = delete;
    ~MissionScenario() override { MissionScenario::Stop(); }

    bool Start(Rig::RunContext& run, std::string& error) override {
        if (!RwEngineInit(nullptr, 0, 0) || !RpWorldPluginAttach() || !RpUserDataPluginAttach() ||
            !RpCollisionPluginAttach() || !RpHAnimPluginAttach() || !Rw::Frame::RegisterPlugins() ||
            !Rw::RegisterWrapperPlugins() || !Rw::AtomicLodData::RegisterPlugin()) {
            error = "the engine's plugins cannot be attached";
            RwEngineTerm();
            return false;
        }
        RwEngineOpenParams params = {nullptr};
        if (!RwEngineOpen(&params) || !RwEngineStart()) {
            error = "the engine cannot be started";
            RwEngineClose();
            RwEngineTerm();
            return false;
        }
        engineStarted = true;
        if (Base::TextTable.LoadFile("Data/Strings.info") != 0) {
            error = "Data/Strings.info cannot be read";
            return false;
        }
        Base::ClumpCache::Directory = Base::GetText("ModelsDir");
        Base::AnimationCache::Directory = Base::GetText("AnimationsDir");
        RwImageSetPath(Base::GetText("TexturesDir").c_str());
        Rw::RegisterImageFormats();
        Rw::InstallClumpCache();
        Rw::InstallAnimationCache();
        // What the program installs at its start for the airplanes and vehicles.
        Weapons::InstallStores();
        Weapons::InstallAirplaneGun();
        Weapons::InstallVehicleWeapons();
        Cockpit::RegisterCockpit();

        world = std::make_unique<Grp::World>();
        host.world = world.get();
        world->keyboard = run.keyboard;
        world->mouse = run.mouse;
        world->joystick = run.joystick;
        // A joystick with its twist grip and throttle lever.
        host.settings.controlsType = 3;
        const Base::String path = Base::MakePath(Base::GetText("DataDir"), mission.file);
        const Mission::Header* header = Mission::Header::Load(path);
        if (!header) {
            error = path + " has no mission header";
            return false;
        }
        Obj::LoadScenery(host.settings, *world, int(header->timeOfDay));
        host.request.header = *header;
        host.request.airplane = "Airplanes\\Su27";
        // The weapon page's preset, rack by rack.
        const Base::Info& su27 =
            Base::InfoCache::Get(Base::MakePath(Base::ClumpCache::Directory, "Airplanes\\Su27.info"));
        if (const Base::Info* setup = su27.GetChild(Base::String("Setups.") + mission.setup))
            for (const auto& [rack, weapon] : setup->GetChildren())
                host.request.loadout.AddValue(rack, weapon->GetValue());
        missionObject = std::make_unique<Mission::Mission>(host, path);
        if (!missionObject->IsLoaded()) {
            error = path + " does not load";
            return false;
        }
        if (flying == Autopilot)
            pilot = Rig::MakeMissionAutopilot(mission.file);
        else if (flying == Cruise)
            pilot = Rig::MakeCruiseAutopilot();
        return true;
    }

    void Frame(Rig::RunContext& run) override {
        // Once the end page is up the game stands still, as the program's does behind the page.
        if (host.ended)
            return;
        for (Input::Device* device :
             std::initializer_list<Input::Device*>{run.keyboard, run.mouse, run.joystick})
            if (device)
                device->PollAndAcquire();
        Grp::WorldTime& clock = *world->time;
        const float before = clock.time;
        clock.Advance();
        missionObject->Update();
        for (const auto& [name, event] : missionObject->events)
            if (event->fired && !traced[name]) {
                traced[name] = true;
                run.Trace("event " + name);
            }
        if (missionObject->state != state) {
            state = missionObject->state;
            run.Trace(state == Mission::Mission::Succeeded ? "mission succeeded" : "mission failed");
        }
        if (host.ended && !endTraced) {
            endTraced = true;
            resultCode = host.request.resultCode;
            run.Trace("end page, result " + std::to_string(host.request.resultCode));
        }
        Grp::SimulateGroup(*world->simulateables, before, clock.time);
        Grp::RunGroup(*world->runnables);
        TraceCombat(run);
        if (pilot)
            pilot->Fly(run, *world, *missionObject, host.player.Get());
    }

    void Digest(Rig::StateDigest& digest) override {
        digest.Add(world->time->time);
        digest.Add(missionObject->state);
        Rig::DigestWorld(*world, digest);
    }

    void Stop() override {
        pilot.reset();
        missionObject.reset();
        fighters.clear();
        missiles.clear();
        if (world) {
            world->Clear();
            world.reset();
        }
        Obj::Airplane::CreateCockpit = nullptr;
        Obj::Airplane::CreateStores = nullptr;
        Base::InfoCache::Clear();
        Base::ClumpCache::Clear();
        Base::AnimationCache::Clear();
        if (engineStarted) {
            RwEngineStop();
            RwEngineClose();
            RwEngineTerm();
            engineStarted = false;
        }
    }

    // The request's result code once the end page was asked for; -1 before.
    int32_t EndResult() const { return endTraced ? resultCode : -1; }

private:
    // The mission's name of an object, else its own, else "a decoy" (flares and chaff have none).
    std::string NameOf(Obj::Damageable* object) const {
        if (!object)
            return "nothing";
        for (const auto& [name, known] : missionObject->objects)
            if (known.Get() == object)
                return name;
        return object->name.empty() ? "a decoy" : object->name;
    }

    void TraceCombat(Rig::RunContext& run) {
        world->ForEach([&](Obj::Object* object) {
            if (auto* airplane = dynamic_cast<Obj::Airplane*>(object)) {
                if (std::none_of(fighters.begin(), fighters.end(),
                                 [&](const Fighter& f) { return f.airplane.Get() == airplane; }))
                    fighters.push_back({airplane, NameOf(airplane), airplane->hitPoints});
            } else if (auto* missile = dynamic_cast<Weapons::HomingRocket*>(object);
                       missile && !missile->rack) {
                auto known = std::find_if(missiles.begin(), missiles.end(),
                                          [&](const Missile& m) { return m.missile.Get() == missile; });
                if (known == missiles.end()) {
                    missiles.push_back({missile, missile->GetTarget(), NameOf(missile->GetTarget())});
                    run.Trace("missile launched at " + missiles.back().targetName);
                } else if (known->target != missile->GetTarget()) {
                    // Seduced by a flare or chaff, or lost.
                    known->target = missile->GetTarget();
                    const std::string now = NameOf(known->target);
                    run.Trace("missile at " + known->targetName + " turns to " + now);
                    known->targetName = now;
                }
            }
        });
        std::erase_if(missiles, [](const Missile& m) { return !m.missile; });
        for (Fighter& f : fighters) {
            if (f.ended)
                continue;
            Obj::Airplane* airplane = f.airplane.Get();
            if (airplane && airplane->hitPoints < f.hitPoints && !f.hit) {
                f.hit = true;
                run.Trace(f.name + " hit");
            }
            if (!airplane || airplane->hitPoints <= 0) {
                f.ended = true;
                run.Trace(f.name + (airplane ? " destroyed" : " gone"));
            } else {
                f.hitPoints = airplane->hitPoints;
            }
        }
    }

    MissionFile mission;
    Pilot flying;
    bool engineStarted = false;
    Host host;
    std::unique_ptr<Grp::World> world;
    std::unique_ptr<Mission::Mission> missionObject;
    std::unique_ptr<Rig::MissionAutopilot> pilot;
    std::map<std::string, bool> traced;
    int32_t state = Mission::Mission::Running;
    bool endTraced = false;
    int32_t resultCode = -1;
    struct Fighter {
        Base::SmartPtr<Obj::Airplane> airplane;
        std::string name;
        float hitPoints = 0;
        bool hit = false, ended = false;
    };
    std::vector<Fighter> fighters;
    struct Missile {
        Base::SmartPtr<Weapons::HomingRocket> missile;
        Obj::Target* target; // compared only: it may be gone
        std::string targetName;
    };
    std::vector<Missile> missiles;
};

constexpr MissionFile TwoBandits{"Scripts\\Missions\\Single\\TwoBandits.msn", "AirToAir"};
constexpr MissionFile TakeOff{"Scripts\\Missions\\Training\\1TakeOffAndLanding.msn", "AirToAir"};
constexpr MissionFile Gunnery{"Scripts\\Missions\\Training\\2Gunnery.msn", ""};
constexpr MissionFile Intercept{"Scripts\\Missions\\Campaign\\1Intercept.msn", "AirToAir"};
constexpr MissionFile Convoy{"Scripts\\Missions\\Campaign\\2Convoy.msn", "AirToGround"};
constexpr MissionFile CarrierDefence{"Scripts\\Missions\\Campaign\\3CarrierDefence.msn", "AirToAir"};

constexpr const MissionFile* CampaignMissions[] = {&Intercept, &Convoy, &CarrierDefence};

// "campaign": the campaign's missions in the order the front end offers them (the campaign folder's files by
// name), each played as "mission-<name>" plays it alone, from the same start (a new engine and world, the
// clock at 0, the generator seeded again), in slots of SlotFrames frames: mission k starts at frame
// k x SlotFrames, so its script is its own script moved by that much. A pilot who starts at progress 0 goes
// on to the next mission on each win of the one he stands at; the campaign ends with the last one won, or
// at the first mission that is not.
class CampaignScenario : public Rig::Scenario {
public:
    static constexpr uint32_t SlotFrames = 14000;

    ~CampaignScenario() override { CampaignScenario::Stop(); }

    bool Start(Rig::RunContext& run, std::string& error) override {
        if (Base::TextTable.LoadFile("Data/Strings.info") != 0) {
            error = "Data/Strings.info cannot be read";
            return false;
        }
        std::vector<Mission::Header> headers;
        Fe::SearchMissionFiles(Base::MakePath(Base::GetText("DataDir"), "Scripts\\Missions\\Campaign"),
                               Fe::SubFolders::None, headers);
        Fe::SortByFileName(headers);
        for (const Mission::Header& header : headers) {
            const auto known = std::find_if(
                std::begin(CampaignMissions), std::end(CampaignMissions), [&](const MissionFile* m) {
                    const std::string_view file = m->file;
                    return header.fileName.size() >= file.size() &&
                           header.fileName.compare(header.fileName.size() - file.size(), file.size(), file) ==
                               0;
                });
            if (known == std::end(CampaignMissions)) {
                error = header.fileName + " is no campaign mission the rig knows";
                return false;
            }
            missions.push_back(*known);
        }
        if (missions.empty()) {
            error = "the campaign has no missions";
            return false;
        }
        step = Base::FrameClock::GetFixedStep();
        return Begin(run, error);
    }

    void Frame(Rig::RunContext& run) override {
        if (!current)
            return;
        current->Frame(run);
        if (!decided && current->EndResult() >= 0) {
            decided = true;
            if (current->EndResult() == Fe::GameRequest::Succeeded && progress == int32_t(index)) {
                ++progress;
                run.Trace("campaign progress " + std::to_string(progress));
                if (size_t(progress) == missions.size())
                    run.Trace("campaign complete");
            } else {
                run.Trace("campaign stops at progress " + std::to_string(progress));
            }
        }
        // The next mission starts with the next slot, when the pilot stands at it.
        if ((run.frame + 1) % SlotFrames == 0 && decided && size_t(progress) == index + 1 &&
            index + 1 < missions.size()) {
            current->Stop();
            current.reset();
            ++index;
            std::string error;
            if (!Begin(run, error))
                run.Trace("campaign cannot go on: " + error);
        }
    }

    void Digest(Rig::StateDigest& digest) override {
        digest.Add(uint32_t(index));
        digest.Add(progress);
        if (current)
            current->Digest(digest);
    }

    void Stop() override {
        if (current)
            current->Stop();
        current.reset();
        Base::RandomTimeStamp = nullptr;
        Base::TextTable = Base::Info();
    }

private:
    // The mission at index from the start a run of its own has.
    bool Begin(Rig::RunContext& run, std::string& error) {
        Base::Random::Seed(run.seed);
        stamps = run.seed;
        Base::RandomTimeStamp = [] { return stamps = stamps * 1664525u + 1013904223u; };
        Base::FrameClock::SetFixedStep(step, 0);
        Base::FrameClock::FrameCounter = 0;
        decided = false;
        Base::TextTable = Base::Info();
        run.Trace(std::string("campaign mission ") + missions[index]->file);
        current = std::make_unique<MissionScenario>(*missions[index], MissionScenario::Scripted);
        return current->Start(run, error);
    }

    static inline uint32_t stamps = 0;
    std::vector<const MissionFile*> missions;
    std::unique_ptr<MissionScenario> current;
    size_t index = 0;
    int32_t progress = 0;
    bool decided = false;
    double step = 0;
};

template <const MissionFile& File, MissionScenario::Pilot Flying> std::unique_ptr<Rig::Scenario> Make() {
    return std::make_unique<MissionScenario>(File, Flying);
}

template <const MissionFile& File> bool Register(const char* name, const char* description) {
    return Rig::RegisterScenario(name, &Make<File, MissionScenario::Scripted>, description) &&
           Rig::RegisterScenario((std::string(name) + "-autopilot").c_str(),
                                 &Make<File, MissionScenario::Autopilot>,
                                 "the same, flown by the rig's autopilot, which adds what it does to the "
                                 "script as it goes (the trace's joystick and keyboard lines)") &&
           Rig::RegisterScenario((std::string(name) + "-cruise").c_str(),
                                 &Make<File, MissionScenario::Cruise>,
                                 "the same, the player turning back and cruising on at his height, out of "
                                 "the fight, by the autopilot (recorded as its other flights are)");
}

const bool registered[] = {
    Register<TwoBandits>("mission-two-bandits", "the single mission \"Two Bandits\""),
    Register<TakeOff>("mission-take-off-and-landing", "the first training mission, \"Take-off and Landing\""),
    Register<Gunnery>("mission-gunnery", "the second training mission, \"Gunnery\""),
    Register<Intercept>("mission-intercept", "the first campaign mission, \"Intercept\""),
    Register<Convoy>("mission-convoy", "the second campaign mission, \"Convoy\""),
    Register<CarrierDefence>("mission-carrier-defence", "the third campaign mission, \"Carrier Defence\""),
    Rig::RegisterScenario(
        "campaign", [] { return std::unique_ptr<Rig::Scenario>(new CampaignScenario()); },
        "the campaign's missions in their order, one every 14000 frames while the pilot goes on winning"),
};

} // namespace
