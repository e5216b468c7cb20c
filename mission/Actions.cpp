// The action kinds of a mission event, created by name ("class Mission::Act" + the kind); the spawning
// kinds are in Spawn.cpp.
#include "mission/Mission.h"

#include "mission/GameRequest.h"

#include "aircraft/Airplane.h"
#include "gui/Announcer.h"
#include "scene/Attachable.h"
#include "scene/MatrixHelpers.h"
#include "scene/World.h"

#include "base/ClumpCache.h"
#include "base/Info.h"
#include "base/Parse.h"

#include <cmath>
#include <strings.h>

namespace Mission {

namespace {

// The player's airplane's cockpit, through "Player": null when any link is missing.
Obj::CockpitLink* PlayerCockpit(const Mission& mission) {
    auto* player = dynamic_cast<Obj::Object*>(mission.FindObject("Player"));
    if (!player || !Crew::installed || !Crew::installed->IsPlayerPilot(player))
        return nullptr;
    Obj::Airplane* airplane = Crew::installed->GetAirplane(player);
    return airplane ? airplane->cockpit.get() : nullptr;
}

// The computer pilot of the named airplane, or null.
Obj::Object* ComputerPilot(const Mission& mission, const Base::String& name) {
    auto* airplane = dynamic_cast<Obj::Airplane*>(mission.FindObject(name));
    if (!airplane || !Crew::installed)
        return nullptr;
    Obj::Object* pilot = Crew::installed->GetPilot(airplane);
    return pilot && Crew::installed->IsComputerPilot(pilot) ? pilot : nullptr;
}

bool IsNull(const Base::String& text) {
    return strcasecmp(text.c_str(), "null") == 0;
}

void WriteResult(Mission& mission, int32_t code) {
    Fe::GameRequest request(mission.host.GetRequest());
    request.resultCode = code;
    mission.host.GetRequest().Assign(request);
}

} // namespace

// ---- navpoints

class ActActivateNavpoint : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetUInt("Index", index) && Action::Load(owner, node);
    }
    void Execute() override {
        if (Obj::CockpitLink* cockpit = PlayerCockpit(GetMission()))
            cockpit->SetCurrentNavpoint(index < cockpit->GetNavpointCount() ? int(index) : -1);
    }

    uint32_t index = 0;
};

class ActAddNavpoint : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        const Base::Info* pos = node.GetChild("Pos");
        // An index past any sensible list would grow the cockpit's list without end.
        return node.TryGetUInt("Index", index) && index < MaxIndex && node.TryGetString("Name", name) &&
               pos && PointRef::Parse(owner->mission, point, *pos) && Action::Load(owner, node);
    }
    void Execute() override {
        if (Obj::CockpitLink* cockpit = PlayerCockpit(GetMission())) {
            float x, z;
            PointRef::Resolve(point, x, z);
            cockpit->AddNavpoint(int(index), name.c_str(), x, z);
        }
    }

    static constexpr uint32_t MaxIndex = 1000;
    uint32_t index = 0;
    Base::String name;
    PointRef point;
};

class ActRemoveNavpoint : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetUInt("Index", index) && Action::Load(owner, node);
    }
    void Execute() override {
        if (Obj::CockpitLink* cockpit = PlayerCockpit(GetMission()); cockpit && index <= 0x7FFFFFFFu)
            cockpit->RemoveNavpoint(int(index));
    }

    uint32_t index = 0;
};

// ---- cameras and pilots

class ActCameraTarget : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("TargetId", targetId) && node.TryGetUInt("Mode", mode) &&
               Action::Load(owner, node);
    }
    void Execute() override {
        auto* frame = dynamic_cast<Obj::Frame*>(GetMission().FindObject(targetId));
        if (!frame)
            return;
        Host& host = GetMission().host;
        host.SetCameraTarget(frame);
        if (mode <= Host::FlyByCamera)
            host.SetCurrentCamera(int(mode));
    }

    Base::String targetId;
    uint32_t mode = 0;
};

class ActEject : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("ObjectId", objectId) && Action::Load(owner, node);
    }
    void Execute() override {
        Crew* crew = Crew::installed;
        Obj::Damageable* object = GetMission().FindObject(objectId);
        if (!crew || !object)
            return;
        if (auto* airplane = dynamic_cast<Obj::Airplane*>(object)) {
            if (Obj::Object* pilot = crew->GetPilot(airplane))
                crew->Eject(pilot);
        } else if (auto* pilot = dynamic_cast<Obj::Object*>(object); pilot && crew->GetAirplane(pilot)) {
            crew->Eject(pilot);
        }
    }

    Base::String objectId;
};

class ActSetPath : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!node.TryGetString("ObjectId", objectId))
            return false;
        for (int i = 0;; ++i) {
            const Base::Info* p = node.GetChild(Base::Formatted("P%i", i));
            if (!p)
                break;
            PointRef point;
            if (!PointRef::Parse(owner->mission, point, *p))
                return false;
            points.push_back(point);
        }
        return points.size() >= 3 && Action::Load(owner, node);
    }
    void Execute() override {
        Obj::Object* pilot = ComputerPilot(GetMission(), objectId);
        if (!pilot)
            return;
        std::vector<RwV3d> route;
        for (const PointRef& point : points) {
            float x, z;
            PointRef::Resolve(point, x, z);
            route.push_back({x, 0, z});
        }
        Crew::installed->SetRoute(pilot, route);
    }

    Base::String objectId;
    std::vector<PointRef> points;
};

class ActSetTarget : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!node.TryGetString("ObjectId", objectId))
            return false;
        target = node.GetStringDefault("Target", "");
        defend = node.GetStringDefault("Defend", "");
        wingLeader = node.GetStringDefault("WingLeader", "");
        return !(target.empty() && defend.empty() && wingLeader.empty()) && Action::Load(owner, node);
    }
    void Execute() override {
        Mission& mission = GetMission();
        Obj::Object* pilot = ComputerPilot(mission, objectId);
        if (!pilot)
            return;
        Crew& crew = *Crew::installed;
        if (!target.empty()) {
            if (IsNull(target)) {
                crew.SetAttackTarget(pilot, nullptr);
                return;
            }
            if (Obj::Damageable* object = mission.FindObject(target))
                crew.SetAttackTarget(pilot, object);
        }
        if (!defend.empty()) {
            if (IsNull(defend)) {
                crew.SetDefended(pilot, nullptr);
                return;
            }
            if (Obj::Damageable* object = mission.FindObject(defend))
                crew.SetDefended(pilot, object);
        }
        if (!wingLeader.empty()) {
            if (IsNull(wingLeader)) {
                crew.SetWingLeader(pilot, nullptr);
                return;
            }
            Obj::Damageable* object = mission.FindObject(wingLeader);
            auto* leader = dynamic_cast<Obj::Airplane*>(object);
            if (!leader)
                if (auto* other = dynamic_cast<Obj::Object*>(object))
                    leader = crew.GetAirplane(other);
            if (leader)
                crew.SetWingLeader(pilot, leader);
        }
    }

    Base::String objectId, target, defend, wingLeader;
};

// ---- the end of the mission

class ActFail : public Action {
public:
    void Execute() override {
        GetMission().state = Mission::Failed;
        WriteResult(GetMission(), Fe::GameRequest::Failed);
    }
};

class ActSucceed : public Action {
public:
    void Execute() override {
        Mission& mission = GetMission();
        if (mission.state == Mission::Running)
            mission.state = Mission::Succeeded;
        WriteResult(mission, Fe::GameRequest::Succeeded);
    }
};

class ActShowEndMsnPg : public Action {
public:
    void Execute() override {
        Mission& mission = GetMission();
        Fe::GameRequest request(mission.host.GetRequest());
        request.elapsedTime = mission.WorldTime();
        mission.host.GetRequest().Assign(request);
        mission.host.EndMission();
    }
};

// ---- events, hit points, names

class ActResetEvent : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!node.TryGetString("EventName", eventName))
            return false;
        state = node.GetBoolDefault("State", false); // read, never used
        return Action::Load(owner, node);
    }
    void Execute() override {
        if (!found)
            found = GetMission().FindEvent(eventName);
        if (found && found->fired)
            found->fired = false;
    }

    Base::String eventName;
    bool state = false;
    Event* found = nullptr;
};

class ActSetHitPoints : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("ObjectId", objectId) && node.TryGetFloat("Value", value) &&
               Action::Load(owner, node);
    }
    void Execute() override {
        if (Obj::Damageable* object = GetMission().FindObject(objectId))
            Apply(*object);
    }
    virtual void Apply(Obj::Damageable& object) { object.SetHitPoints(value); }

    Base::String objectId;
    float value = 0;
};

class ActSetMaxHitPoints : public ActSetHitPoints {
public:
    void Apply(Obj::Damageable& object) override { object.SetMaxHitPoints(value); }
};

class ActSetObjectName : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("ObjectId", objectId) && node.TryGetString("Name", name) &&
               Action::Load(owner, node);
    }
    void Execute() override {
        if (Obj::Damageable* object = GetMission().FindObject(objectId))
            object->name = name;
    }

    Base::String objectId, name;
};

// ---- announcements and missiles

class ActVoiceMessage : public Action {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!node.TryGetString("Text", text))
            return false;
        sender = node.GetStringDefault("Sender", "");
        wav = node.GetStringDefault("Wav", "");
        return Action::Load(owner, node);
    }
    void Execute() override {
        Host& host = GetMission().host;
        Gui::Announcer* announcer = host.GetAnnouncer();
        if (!announcer)
            return;
        Grp::World* world = host.GetWorld();
        announcer->Announce(sender, wav, text, 0.0f, world ? world->soundGroup : nullptr);
    }

    Base::String sender, text, wav;
};

class ActLaunchRocket : public Action {
public:
    static constexpr float LaunchSpeed = 250.0f;

    bool Load(Event* owner, const Base::Info& node) override {
        const Base::Info* pos = node.GetChild("Pos");
        return node.TryGetString("Type", type) && node.TryGetString("TargetId", targetId) && pos &&
               PointRef::Parse(owner->mission, point, *pos) && Action::Load(owner, node);
    }
    // The target is checked before anything is made: without one no missile is left behind.
    void Execute() override {
        Mission& mission = GetMission();
        Obj::Damageable* object = mission.FindObject(targetId);
        auto* frame = dynamic_cast<Obj::Frame*>(object);
        auto* target = dynamic_cast<Obj::Target*>(object);
        Grp::World* world = mission.host.GetWorld();
        if (!frame || !target || !world || !Armoury::installed)
            return;
        double at[3];
        frame->GetWorldPositionDouble(at);
        float x, z;
        PointRef::Resolve(point, x, z);
        const RwV3d start{x, float(at[1]), z};
        RwV3d forward{float(at[0]) - x, 0, float(at[2]) - z};
        const float length = std::hypot(forward.x, forward.z);
        if (length > 0) {
            forward.x /= length;
            forward.z /= length;
        } else {
            forward = {0, 0, 1}; // launched from under the target: any level heading
        }
        RwV3d up{0, -forward.z, forward.y}; // (1, 0, 0) x forward
        const float upLength = std::hypot(up.y, up.z);
        up = upLength > 0 ? RwV3d{0, up.y / upLength, up.z / upLength} : RwV3d{0, 0, 1};
        RwMatrix placement;
        Base::SetMatrixAxes(&placement, up, forward, start);
        const RwV3d velocity{forward.x * LaunchSpeed, 0, forward.z * LaunchSpeed};
        Armoury::installed->LaunchHomingRocket(
            world, Base::MakePath(Base::ClumpCache::Directory, "Weapons\\" + type), placement, target,
            velocity);
    }

    Base::String type, targetId;
    PointRef point;
};

namespace {

template <class T> using Reg = Base::ClassRegistration<T>;
const Reg<ActActivateNavpoint> r1("class Mission::ActActivateNavpoint");
const Reg<ActAddNavpoint> r2("class Mission::ActAddNavpoint");
const Reg<ActRemoveNavpoint> r3("class Mission::ActRemoveNavpoint");
const Reg<ActCameraTarget> r4("class Mission::ActCameraTarget");
const Reg<ActEject> r5("class Mission::ActEject");
const Reg<ActFail> r6("class Mission::ActFail");
const Reg<ActSucceed> r7("class Mission::ActSucceed");
const Reg<ActShowEndMsnPg> r8("class Mission::ActShowEndMsnPg");
const Reg<ActLaunchRocket> r9("class Mission::ActLaunchRocket");
const Reg<ActResetEvent> r10("class Mission::ActResetEvent");
const Reg<ActSetHitPoints> r11("class Mission::ActSetHitPoints");
const Reg<ActSetMaxHitPoints> r12("class Mission::ActSetMaxHitPoints");
const Reg<ActSetObjectName> r13("class Mission::ActSetObjectName");
const Reg<ActSetPath> r14("class Mission::ActSetPath");
const Reg<ActSetTarget> r15("class Mission::ActSetTarget");
const Reg<ActVoiceMessage> r16("class Mission::ActVoiceMessage");

} // namespace

} // namespace Mission
