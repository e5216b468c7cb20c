// "mission-<name>": a sample mission played in its scenery as the single-player game will play it: the
// mission's events each frame before the world's passes, on a host that records the end of the mission.
// The pilots and the player's gun are stand-ins until those layers land: the player's pilot flies the
// airplane from the scripted joystick (x rolls, y pitches, the throttle lever sets the throttle and opening
// it starts the engine, button 1 holds the wheel brakes) and button 0 fires a gun that wears down any enemy
// within 2 km and 12 degrees of the nose; computer pilots hold their height, speed and heading. Traced: each
// event as it fires, the mission's result and the end page.
#include "tests/rig/ScenarioRunner.h"
#include "tests/rig/WorldScenario.h"

#include "mission/GameRequest.h"
#include "mission/Mission.h"

#include "aircraft/Airplane.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "objects/LoadScenery.h"
#include "scene/AnimationFile.h"
#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/Frame.h"
#include "scene/SignedAngleOnPlane.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"
#include "scene/Wrappers.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/Config.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/Maths.h"
#include "base/TextTable.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>

namespace {

struct Host : Mission::Host {
    Grp::World* GetWorld() override { return world; }
    Fe::GameRequest& GetRequest() override { return request; }
    const Base::Config* GetSettings() override { return &settings; }
    Gui::Announcer* GetAnnouncer() override { return nullptr; }
    void EndMission() override { ended = true; }
    void SetCameraTarget(Obj::Frame*) override {}
    void SetCurrentCamera(int) override {}
    void SetPlayer(Obj::Object*, Obj::Airplane*) override {}

    Grp::World* world = nullptr;
    Fe::GameRequest request;
    Base::Config settings;
    bool ended = false;
};

// A pilot stand-in: flies its airplane from the joystick (the player) or holds its course (the others).
class Pilot : public Obj::Object, public Obj::Runnable, public Obj::Target, public Rig::Digestable {
public:
    Pilot(Obj::Airplane* airplane, bool player, const Rig::RunContext& run)
        : airplane(airplane), player(player), run(run) {
        hitPoints = maxHitPoints = 1;
        name = player ? "Player" : "Pilot";
        allegiance = airplane->allegiance;
        const Physics::AirplaneState s = airplane->GetState();
        height = s.position.y;
        speed = float(Base::VectorLength(s.velocity));
    }
    void SetWorld(Grp::World* joined) override {
        Obj::Object::SetWorld(joined);
        if (joined) {
            joined->runnables->Insert(static_cast<Obj::Runnable*>(this));
        } else if (Obj::Runnable::group) {
            Grp::Simple<Obj::Runnable>::Remove(this);
        }
    }
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    void DigestState(Rig::StateDigest& digest) const override {
        digest.Add(player);
        digest.Add(firing);
    }

    void Run() override {
        if (!airplane)
            return;
        Physics::AirplaneState s = airplane->GetState();
        if (player) {
            if (Input::Joystick* stick = run.joystick) {
                s.rollInput = stick->x;
                s.pitchInput = -stick->y;
                s.yawInput = stick->rudder;
                s.throttle = stick->throttle;
                // Opening the throttle starts the engine; button 1 holds the wheel brakes.
                if (s.throttle > 0.05f && !s.engineDestroyed)
                    s.engineRunning = 1;
                s.wheelBrakeCommand = stick->buttons[1] ? 0.6f : 0.0f;
                firing = stick->buttons[0] != 0;
            }
        } else {
            const float rate = -Base::DotProduct(s.angularVelocity, s.at);
            const float bank = Obj::SignedAngleOnPlane(s.at, s.up, {0, 1, 0});
            s.rollInput = std::clamp(2.0f * bank + 0.5f * rate, -1.0f, 1.0f);
            s.pitchInput = std::clamp(0.002f * (height - s.position.y) - 0.02f * s.velocity.y, -1.0f, 1.0f);
            s.throttle =
                std::clamp(0.6f + 0.02f * (speed - float(Base::VectorLength(s.velocity))), 0.0f, 1.0f);
        }
        airplane->SetState(s);
        if (firing)
            Fire(s);
    }

private:
    // Wears down the enemies within the gun's reach and cone.
    void Fire(const Physics::AirplaneState& s) {
        const float dt = float(Base::FrameClock::FrameTime);
        world->targets->ForEach([&](Obj::Target* target) {
            if (target->allegiance == airplane->allegiance || target->hitPoints <= 0)
                return;
            const RwSphere* sphere = target->GetBoundingSphere();
            if (!sphere)
                return;
            const RwV3d d{sphere->center.x - s.position.x, sphere->center.y - s.position.y,
                          sphere->center.z - s.position.z};
            const float distance = float(Base::VectorLength(d));
            if (distance > 2000.0f || distance <= 0)
                return;
            const float cosine = Base::DotProduct(d, s.at) / distance;
            if (cosine < std::cos(12.0f * float(Base::Pi / 180.0)))
                return;
            target->SetHitPoints(target->hitPoints - 150.0f * dt);
        });
    }

    Base::SmartPtr<Obj::Airplane> airplane;
    bool player;
    const Rig::RunContext& run;
    float height = 0, speed = 0;
    bool firing = false;
};

struct Crew : Mission::Crew {
    Obj::Object* CreateComputerPilot(Obj::Airplane* airplane, const Base::String&, Obj::Allegiance,
                                     float) override {
        return Seat(airplane, false);
    }
    Obj::Object* CreatePlayerPilot(Obj::Airplane* airplane, const Base::String&,
                                   const Base::Config*) override {
        return Seat(airplane, true);
    }
    Obj::Airplane* GetAirplane(Obj::Object* pilot) override {
        auto found = seats.find(pilot);
        return found == seats.end() ? nullptr : found->second.Get();
    }
    Obj::Object* GetPilot(Obj::Airplane* airplane) override {
        for (auto& [pilot, seated] : seats)
            if (seated.Get() == airplane)
                return pilot;
        return nullptr;
    }
    bool IsPlayerPilot(Obj::Object* pilot) override { return pilot == player; }
    bool IsComputerPilot(Obj::Object* pilot) override { return pilot != player && seats.count(pilot); }
    void Eject(Obj::Object*) override {}
    void SetRoute(Obj::Object*, const std::vector<RwV3d>&) override {}
    void SetAttackTarget(Obj::Object*, Obj::Damageable*) override {}
    void SetDefended(Obj::Object*, Obj::Damageable*) override {}
    void SetWingLeader(Obj::Object*, Obj::Airplane*) override {}

    Obj::Object* Seat(Obj::Airplane* airplane, bool isPlayer) {
        auto* pilot = new Pilot(airplane, isPlayer, *run);
        airplane->Obj::Object::world->AddObject(pilot);
        seats[pilot] = airplane;
        if (isPlayer)
            player = pilot;
        return pilot;
    }

    const Rig::RunContext* run = nullptr;
    std::map<Obj::Object*, Base::SmartPtr<Obj::Airplane>> seats;
    Obj::Object* player = nullptr;
};

class MissionScenario : public Rig::Scenario {
public:
    explicit MissionScenario(const char* file) : file(file) {}
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

        crew.run = &run;
        previousCrew = Mission::Crew::installed;
        Mission::Crew::installed = &crew;
        world = std::make_unique<Grp::World>();
        host.world = world.get();
        world->keyboard = run.keyboard;
        world->mouse = run.mouse;
        world->joystick = run.joystick;
        const Base::String path = Base::MakePath(Base::GetText("DataDir"), file);
        const Mission::Header* header = Mission::Header::Load(path);
        if (!header) {
            error = path + " has no mission header";
            return false;
        }
        Obj::LoadScenery(host.settings, *world, int(header->timeOfDay));
        host.request.header = *header;
        host.request.airplane = "Airplanes\\Su27";
        mission = std::make_unique<Mission::Mission>(host, path);
        if (!mission->IsLoaded()) {
            error = path + " does not load";
            return false;
        }
        return true;
    }

    void Frame(Rig::RunContext& run) override {
        for (Input::Device* device :
             std::initializer_list<Input::Device*>{run.keyboard, run.mouse, run.joystick})
            if (device)
                device->PollAndAcquire();
        Grp::WorldTime& clock = *world->time;
        const float before = clock.time;
        clock.Advance();
        mission->Update();
        for (const auto& [name, event] : mission->events)
            if (event->fired && !traced[name]) {
                traced[name] = true;
                run.Trace("event " + name);
            }
        if (mission->state != state) {
            state = mission->state;
            run.Trace(state == Mission::Mission::Succeeded ? "mission succeeded" : "mission failed");
        }
        if (host.ended && !endTraced) {
            endTraced = true;
            run.Trace("end page, result " + std::to_string(host.request.resultCode));
        }
        Grp::SimulateGroup(*world->simulateables, before, clock.time);
        Grp::RunGroup(*world->runnables);
    }

    void Digest(Rig::StateDigest& digest) override {
        digest.Add(world->time->time);
        digest.Add(mission->state);
        world->ForEach([&](Obj::Object* object) {
            digest.Add(uint32_t(0x0B1EC7));
            if (auto* frame = dynamic_cast<Rw::Frame*>(object); frame && frame->frame) {
                double position[3];
                frame->GetWorldPositionDouble(position);
                for (double p : position)
                    digest.Add(p);
            }
            if (auto* damageable = dynamic_cast<Obj::Damageable*>(object))
                digest.Add(damageable->hitPoints);
            if (auto* own = dynamic_cast<Rig::Digestable*>(object))
                own->DigestState(digest);
        });
    }

    void Stop() override {
        mission.reset();
        if (world) {
            world->Clear();
            world.reset();
        }
        if (previousCrew)
            Mission::Crew::installed = previousCrew;
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

private:
    const char* file;
    bool engineStarted = false;
    Host host;
    Crew crew;
    Mission::Crew* previousCrew = nullptr;
    std::unique_ptr<Grp::World> world;
    std::unique_ptr<Mission::Mission> mission;
    std::map<std::string, bool> traced;
    int32_t state = Mission::Mission::Running;
    bool endTraced = false;
};

template <const char* File> std::unique_ptr<Rig::Scenario> Make() {
    return std::make_unique<MissionScenario>(File);
}

constexpr char TwoBandits[] = "Scripts\\Missions\\Single\\TwoBandits.msn";
constexpr char TakeOff[] = "Scripts\\Missions\\Training\\1TakeOffAndLanding.msn";
constexpr char Gunnery[] = "Scripts\\Missions\\Training\\2Gunnery.msn";
constexpr char Intercept[] = "Scripts\\Missions\\Campaign\\1Intercept.msn";
constexpr char Convoy[] = "Scripts\\Missions\\Campaign\\2Convoy.msn";
constexpr char CarrierDefence[] = "Scripts\\Missions\\Campaign\\3CarrierDefence.msn";

const bool registered[] = {
    Rig::RegisterScenario("mission-two-bandits", &Make<TwoBandits>, "the single mission \"Two Bandits\""),
    Rig::RegisterScenario("mission-take-off-and-landing", &Make<TakeOff>,
                          "the first training mission, \"Take-off and Landing\""),
    Rig::RegisterScenario("mission-gunnery", &Make<Gunnery>, "the second training mission, \"Gunnery\""),
    Rig::RegisterScenario("mission-intercept", &Make<Intercept>, "the first campaign mission, \"Intercept\""),
    Rig::RegisterScenario("mission-convoy", &Make<Convoy>, "the second campaign mission, \"Convoy\""),
    Rig::RegisterScenario("mission-carrier-defence", &Make<CarrierDefence>,
                          "the third campaign mission, \"Carrier Defence\""),
};

} // namespace
