// Mission::Mission: the running *.msn mission of a single-player game. It owns the events (each an optional
// condition with a list of actions), keeps the names of the objects it spawned or found in the scenery,
// holds the mission's result and is ticked once a frame before the world runs.
#pragma once

#include "mission/Header.h"
#include "mission/Host.h"

#include "base/DynamicObject.h"
#include "base/SmartPtr.h"
#include "base/String.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace Base {
class Info;
}

namespace Mission {

class Mission;
class Event;

enum Comparison : int32_t { Equal = 1, Greater = 2, Less = 3, GreaterEqual = 4, LessEqual = 5, NotEqual = 6 };

// The node's value as one of the six words, in any letter case.
bool ParseComparison(Comparison& out, const Base::Info& node);
// With a NaN operand only NotEqual holds.
bool Compare(Comparison comparison, float a, float b);
// "Friendly" 0 or "Enemy" 1, exactly.
bool ParseAllegiance(const Base::String& text, Obj::Allegiance& out);

// A ground point, absolute or offset from a named object or from one of the player's navpoints.
struct PointRef {
    Mission* mission = nullptr;
    float x = 0, z = 0;
    Base::String objectId;
    int32_t navpointIndex = -1;

    // The node's own value "x z", its "ObjectId" or its "NavpointIndex" (not both).
    static bool Parse(Mission* mission, PointRef& out, const Base::Info& node);
    // The point now: (x, z) plus the object's sphere centre or the navpoint, when there is one.
    static void Resolve(const PointRef& ref, float& outX, float& outZ);
};

class Condition : public Base::DynamicObject {
public:
    // Stores the event and reads "Negation"; the kinds read their own keys first and then call this.
    virtual bool Load(Event* event, const Base::Info& node);
    virtual bool Evaluate() = 0;
    Mission& GetMission() const;

    Event* event = nullptr;
    bool negation = false;
};

class Action : public Base::DynamicObject {
public:
    // Stores the event; the kinds read their own keys.
    virtual bool Load(Event* event, const Base::Info& node);
    virtual void Execute() = 0;
    Mission& GetMission() const;

    Event* event = nullptr;
};

// "class Mission::Cond" + the node's value (resolved when it is a reference), loaded from the node; null for
// an unknown kind or a failed load.
std::unique_ptr<Condition> CreateCondition(Event* event, const Base::Info& node);
// "class Mission::Act" + the node's value, likewise.
std::unique_ptr<Action> CreateAction(Event* event, const Base::Info& node);

class Event {
public:
    Event(Mission* mission, Base::String name) : mission(mission), name(std::move(name)) {}
    // The actions in name order, then the condition. False at the first entry that does not load, with a
    // message naming the entry; what was read stays.
    bool Load(const Base::Info& node);

    Mission* mission;
    Base::String name;
    bool fired = false;
    float fireWorldTime = 0;
    float fireRealTime = 0;
    std::vector<std::unique_ptr<Action>> actions;
    std::unique_ptr<Condition> condition;
};

class Mission {
public:
    enum State : int32_t { Running = 0, Failed = 1, Succeeded = 2 };

    // Reads the header and the events of the file and clears the request's result. A file whose header does
    // not load gives a mission with no events that is not loaded (IsLoaded false). An event whose actions or
    // condition do not load is left out, with a message naming the file and the entry.
    Mission(Host& host, const Base::String& fileName);
    ~Mission();
    Mission(const Mission&) = delete;
    Mission& operator=(const Mission&) = delete;

    bool IsLoaded() const { return loaded; }
    // Once a frame, before the world runs: every event not yet fired is tried in name order.
    void Update();

    // Exact name; null when absent or destroyed.
    Obj::Damageable* FindObject(const Base::String& name) const;
    // A name whose object lives keeps it; a new name, or one whose object was destroyed, takes this one.
    void AddObject(Obj::Damageable* object, const Base::String& name);
    // The next live object in name order after previous (the first for null); null at the end.
    Obj::Damageable* NextObject(Obj::Damageable* previous, Base::String* outName = nullptr) const;
    Event* FindEvent(const Base::String& name) const;

    // The world's time, and real seconds of the frame clock.
    float WorldTime() const;
    static float RealTime();

    Host& host;
    Header header;
    int32_t state = Running;
    float startTime = -1.0f;
    std::map<Base::String, std::unique_ptr<Event>> events;
    std::map<Base::String, Base::SmartPtr<Obj::Damageable>> objects;

private:
    bool loaded = false;
};

// The printed type name of an object's dynamic class ("class Obj::Airplane").
Base::String ClassName(const Obj::Damageable& object);

} // namespace Mission
