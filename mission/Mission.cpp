#include "mission/Mission.h"

#include "mission/GameRequest.h"

#include "aircraft/Airplane.h"
#include "objects/Structure.h"
#include "scene/World.h"

#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/Parse.h"

#include <cmath>
#include <cstdio>
#include <cxxabi.h>
#include <strings.h>
#include <typeinfo>

namespace Mission {

namespace {

const Base::Info& EmptyNode() {
    static const Base::Info empty;
    return empty;
}

// The node's value, resolved through the tree when it is a reference.
Base::String KindOf(const Base::Info& node) {
    return node.GetValue();
}

} // namespace

bool ParseComparison(Comparison& out, const Base::Info& node) {
    static constexpr const char* words[] = {"Equal",        "Greater",   "Less",
                                            "GreaterEqual", "LessEqual", "NotEqual"};
    const Base::String value = node.GetValue();
    for (int i = 0; i < 6; ++i)
        if (strcasecmp(value.c_str(), words[i]) == 0) {
            out = Comparison(i + 1);
            return true;
        }
    return false;
}

bool Compare(Comparison comparison, float a, float b) {
    switch (comparison) {
    case Equal:
        return a == b;
    case Greater:
        return a > b;
    case Less:
        return a < b;
    case GreaterEqual:
        return a >= b;
    case LessEqual:
        return a <= b;
    case NotEqual:
        return a != b;
    }
    return false;
}

bool ParseAllegiance(const Base::String& text, Obj::Allegiance& out) {
    if (text == "Friendly")
        out = Obj::Friendly;
    else if (text == "Enemy")
        out = Obj::Enemy;
    else
        return false;
    return true;
}

bool PointRef::Parse(Mission* mission, PointRef& out, const Base::Info& node) {
    out.mission = mission;
    Base::Vector2 point;
    if (!Base::ParsePoint(node.GetValue(), point))
        return false;
    out.x = point.x;
    out.z = point.y;
    out.objectId = node.GetStringDefault("ObjectId", "");
    out.navpointIndex = -1;
    bool found = false;
    int32_t index = -1;
    if (node.FindChild("NavpointIndex")) {
        // A navpoint index that does not read is no reference at all.
        if (!node.TryGetInt("NavpointIndex", index))
            return false;
        found = true;
    }
    out.navpointIndex = index;
    return !(found && !out.objectId.empty());
}

void PointRef::Resolve(const PointRef& ref, float& outX, float& outZ) {
    outX = ref.x;
    outZ = ref.z;
    if (!ref.mission)
        return;
    if (!ref.objectId.empty()) {
        if (Obj::Damageable* object = ref.mission->FindObject(ref.objectId))
            if (const RwSphere* sphere = object->GetBoundingSphere()) {
                outX += sphere->center.x;
                outZ += sphere->center.z;
            }
        return;
    }
    if (ref.navpointIndex == -1 || !Crew::installed)
        return;
    auto* player = dynamic_cast<Obj::Object*>(ref.mission->FindObject("Player"));
    if (!player || !Crew::installed->IsPlayerPilot(player))
        return;
    Obj::Airplane* airplane = Crew::installed->GetAirplane(player);
    float x = 0, z = 0;
    if (airplane && airplane->cockpit && airplane->cockpit->GetNavpoint(ref.navpointIndex, x, z)) {
        outX += x;
        outZ += z;
    }
}

bool Condition::Load(Event* owner, const Base::Info& node) {
    event = owner;
    negation = node.GetBoolDefault("Negation", false);
    return true;
}

Mission& Condition::GetMission() const {
    return *event->mission;
}

bool Action::Load(Event* owner, const Base::Info&) {
    event = owner;
    return true;
}

Mission& Action::GetMission() const {
    return *event->mission;
}

namespace {

template <class Kind>
std::unique_ptr<Kind> CreateKind(const char* prefix, Event* event, const Base::Info& node) {
    Base::DynamicObject* made = Base::DynamicObject::Create(prefix + KindOf(node));
    std::unique_ptr<Kind> kind(dynamic_cast<Kind*>(made));
    if (!kind) {
        delete made;
        return nullptr;
    }
    if (!kind->Load(event, node))
        return nullptr;
    return kind;
}

} // namespace

std::unique_ptr<Condition> CreateCondition(Event* event, const Base::Info& node) {
    return CreateKind<Condition>("class Mission::Cond", event, node);
}

std::unique_ptr<Action> CreateAction(Event* event, const Base::Info& node) {
    return CreateKind<Action>("class Mission::Act", event, node);
}

namespace {

void ReportEntry(const Event& event, const char* what, const Base::String& entry, const Base::String& kind) {
    std::fprintf(stderr,
                 "The mission '%s': event \"%s\", %s \"%s\" (%s) does not load; the event is left out.\n",
                 Base::Clip(event.mission->header.fileName).c_str(), Base::Clip(event.name).c_str(), what,
                 Base::Clip(entry).c_str(), Base::Clip(kind, 40).c_str());
}

} // namespace

bool Event::Load(const Base::Info& node) {
    if (const Base::Info* list = node.GetChild("Actions"))
        for (const auto& [entry, child] : list->GetChildren()) {
            std::unique_ptr<Action> action = CreateAction(this, *child);
            if (!action) {
                ReportEntry(*this, "action", entry, KindOf(*child));
                return false;
            }
            actions.push_back(std::move(action));
        }
    if (const Base::Info* test = node.GetChild("Condition")) {
        condition = CreateCondition(this, *test);
        if (!condition) {
            ReportEntry(*this, "condition", "Condition", KindOf(*test));
            return false;
        }
    }
    return true;
}

Header* Header::Load(const Base::String& fileName) {
    static Header shared;
    const Base::Info& tree = Base::InfoCache::Get(fileName);
    Header read;
    read.fileName = fileName;
    if (!tree.TryGetString("Name", read.name) || !tree.TryGetString("Objectives", read.objectives) ||
        !tree.TryGetString("Briefing", read.briefing) || !tree.TryGetUInt("TimeOfDay", read.timeOfDay))
        return nullptr;
    read.beforeBriefingMovie = tree.GetStringDefault("BeforeBriefingMovie", "");
    read.selectEquipment = tree.GetBoolDefault("SelectEquipment", true);
    read.carrierBased = tree.GetBoolDefault("CarrierBased", false);
    const Base::Info* map = tree.GetChild("Map");
    read.map = map ? map : &EmptyNode();
    shared = read;
    return &shared;
}

Mission::Mission(Host& host, const Base::String& fileName) : host(host) {
    const Header* read = Header::Load(fileName);
    if (!read) {
        Base::Info probe;
        const int line = probe.LoadFile(fileName);
        if (line > 0)
            std::fprintf(stderr, "Error in the mission '%s' at line %d.\n", Base::Clip(fileName).c_str(),
                         line);
        else if (line < 0)
            std::fprintf(stderr, "The mission '%s' cannot be read.\n", Base::Clip(fileName).c_str());
        else
            std::fprintf(stderr, "The mission '%s' lacks its Name, Objectives, Briefing or TimeOfDay.\n",
                         Base::Clip(fileName).c_str());
        header.fileName = fileName;
        header.map = &EmptyNode();
        return;
    }
    header = *read;

    Fe::GameRequest request(host.GetRequest());
    request.resultCode = Fe::GameRequest::Undecided;
    host.GetRequest().Assign(request);

    const Base::Info& tree = Base::InfoCache::Get(fileName);
    if (Grp::World* world = host.GetWorld())
        world->ForEach([this](Obj::Object* object) {
            if (auto* airbase = dynamic_cast<Obj::Airbase*>(object))
                AddObject(airbase, airbase->name);
        });

    if (const Base::Info* list = tree.GetChild("Events"))
        for (const auto& [name, node] : list->GetChildren()) {
            auto event = std::make_unique<Event>(this, name);
            if (event->Load(*node))
                events.emplace(name, std::move(event));
        }
    loaded = true;
}

Mission::~Mission() = default;

float Mission::WorldTime() const {
    Grp::World* world = host.GetWorld();
    return world && world->time ? world->time->time : 0.0f;
}

float Mission::RealTime() {
    return float(Base::FrameClock::GameTime);
}

void Mission::Update() {
    if (startTime < 0)
        startTime = RealTime();
    // An action may clear the flag of an event that sorts later (it runs in this tick) or earlier (the next).
    for (auto& [name, event] : events) {
        if (event->fired)
            continue;
        if (event->condition && !event->condition->Evaluate())
            continue;
        event->fired = true;
        event->fireRealTime = RealTime();
        event->fireWorldTime = WorldTime();
        for (auto& action : event->actions)
            action->Execute();
    }
}

Obj::Damageable* Mission::FindObject(const Base::String& name) const {
    auto found = objects.find(name);
    return found == objects.end() ? nullptr : found->second.Get();
}

void Mission::AddObject(Obj::Damageable* object, const Base::String& name) {
    auto found = objects.find(name);
    if (found == objects.end())
        objects.emplace(name, object);
    else if (!found->second)
        found->second = object;
}

Obj::Damageable* Mission::NextObject(Obj::Damageable* previous, Base::String* outName) const {
    auto it = objects.begin();
    if (previous) {
        while (it != objects.end() && it->second.Get() != previous)
            ++it;
        if (it != objects.end())
            ++it;
    }
    for (; it != objects.end(); ++it)
        if (it->second) {
            if (outName)
                *outName = it->first;
            return it->second.Get();
        }
    return nullptr;
}

Event* Mission::FindEvent(const Base::String& name) const {
    auto found = events.find(name);
    return found == events.end() ? nullptr : found->second.get();
}

Base::String ClassName(const Obj::Damageable& object) {
    const char* mangled = typeid(object).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    Base::String name = "class ";
    name += status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    return name;
}

} // namespace Mission
