// The condition kinds of a mission event, created by name ("class Mission::Cond" + the kind).
#include "mission/Mission.h"

#include "aircraft/Airplane.h"
#include "gui/Announcer.h"
#include "input/Keyboard.h"
#include "scene/World.h"

#include "base/Info.h"
#include "base/Maths.h"
#include "base/Parse.h"

#include <boost/regex.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <sstream>
#include <strings.h>

namespace Mission {

namespace {

bool CompareUnsigned(Comparison comparison, uint32_t a, uint32_t b) {
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

bool ReadOp(const Base::Info& node, Comparison& out) {
    const Base::Info* op = node.GetChild("Op");
    return op && ParseComparison(out, *op);
}

Obj::Airplane* FindAirplane(const Mission& mission, const Base::String& name) {
    return dynamic_cast<Obj::Airplane*>(mission.FindObject(name));
}

} // namespace

// ---- the airplane's flight

// The airplane's state read by a kind; false outright without the airplane.
class AirplaneCondition : public Condition {
public:
    bool Evaluate() override {
        Obj::Airplane* airplane = FindAirplane(GetMission(), objectId);
        if (!airplane)
            return false;
        return Test(airplane->GetState()) != negation;
    }
    virtual bool Test(const Physics::AirplaneState& state) = 0;

    Base::String objectId;
};

// A measured value of the airplane against "Value" by "Op".
class MeasuredCondition : public AirplaneCondition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return ReadOp(node, op) && node.TryGetString("ObjectId", objectId) &&
               node.TryGetFloat("Value", value) && Condition::Load(owner, node);
    }
    bool Test(const Physics::AirplaneState& state) override { return Compare(op, Measure(state), value); }
    virtual float Measure(const Physics::AirplaneState& state) = 0;

    Comparison op = Equal;
    float value = 0;
};

class CondAirplaneAlt : public MeasuredCondition {
public:
    float Measure(const Physics::AirplaneState& state) override { return state.position.y; }
};

class CondAirplanePitch : public MeasuredCondition {
public:
    float Measure(const Physics::AirplaneState& state) override {
        return float(std::asin(std::clamp(state.at.y, -1.0f, 1.0f)) * 180.0 / Base::Pi);
    }
};

class CondAirplaneSpeed : public MeasuredCondition {
public:
    float Measure(const Physics::AirplaneState& state) override {
        const RwV3d& v = state.velocity;
        return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    }
};

class CondAirplaneHdg : public AirplaneCondition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("ObjectId", objectId) && node.TryGetFloat("Value", value) &&
               node.TryGetFloat("Tolerance", tolerance) && Condition::Load(owner, node);
    }
    bool Test(const Physics::AirplaneState& state) override {
        const float heading = Base::HeadingDegrees2d({state.at.x, state.at.z});
        float d = std::fabs(heading - value);
        if (d >= 180.0f)
            d = 360.0f - d;
        return d <= tolerance;
    }

    float value = 0, tolerance = 0;
};

class CondAirplaneTarget : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!node.TryGetString("ObjectId", objectId))
            return false;
        targetId = node.GetStringDefault("TargetId", "");
        return Condition::Load(owner, node);
    }
    bool Evaluate() override {
        Obj::Airplane* airplane = FindAirplane(GetMission(), objectId);
        if (!airplane)
            return false;
        Obj::Target* target = airplane->cockpit ? airplane->cockpit->GetRadarTarget() : nullptr;
        bool result = target != nullptr;
        if (!targetId.empty()) {
            auto* named = dynamic_cast<Obj::Target*>(GetMission().FindObject(targetId));
            result = named && named == target;
        }
        return result != negation;
    }

    Base::String objectId, targetId;
};

class CondThreats : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("ObjectId", objectId) && Condition::Load(owner, node);
    }
    bool Evaluate() override {
        bool missile = false;
        if (Obj::Airplane* airplane = FindAirplane(GetMission(), objectId); airplane && airplane->cockpit) {
            Obj::CockpitLink::Threat threat;
            for (std::size_t i = 0; !missile && airplane->cockpit->GetThreat(i, threat); ++i)
                missile = threat.level == Obj::CockpitLink::ThreatMissile;
        }
        return missile != negation;
    }

    Base::String objectId;
};

// Never settled what it should test: false whatever the negation.
class CondIdentified : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("ObjectId", objectId) && Condition::Load(owner, node);
    }
    bool Evaluate() override { return false; }

    Base::String objectId;
};

// ---- groups

class GroupingCond : public Condition {
public:
    // Each child is a sub-condition, in name order; a "Negation" child negates the group itself.
    bool Load(Event* owner, const Base::Info& node) override {
        for (const auto& [name, child] : node.GetChildren()) {
            if (name == "Negation")
                continue;
            std::unique_ptr<Condition> part = CreateCondition(owner, *child);
            if (!part)
                return false;
            parts.push_back(std::move(part));
        }
        return Condition::Load(owner, node);
    }

    std::vector<std::unique_ptr<Condition>> parts;
};

class CondAnd : public GroupingCond {
public:
    bool Evaluate() override {
        bool all = true;
        for (auto& part : parts)
            if (!part->Evaluate()) {
                all = false;
                break;
            }
        return all != negation;
    }
};

class CondOr : public GroupingCond {
public:
    bool Evaluate() override {
        bool any = false;
        for (auto& part : parts)
            if (part->Evaluate()) {
                any = true;
                break;
            }
        return any != negation;
    }
};

// ---- the mission's objects and state

class CondAnnouncerEmpty : public Condition {
public:
    bool Evaluate() override {
        Gui::Announcer* announcer = GetMission().host.GetAnnouncer();
        const bool empty = !announcer || (!announcer->current && announcer->queue.empty());
        return empty != negation;
    }
};

// Counts the live objects of the map that pass a kind's test, against "Value" by "Op".
class CountingCondition : public Condition {
public:
    bool LoadCount(const Base::Info& node) {
        if (!ReadOp(node, op) || !node.TryGetUInt("Value", value))
            return false;
        Base::String side;
        Obj::Allegiance parsed;
        if (node.TryGetString("Allegiance", side) && ParseAllegiance(side, parsed))
            allegiance = parsed;
        return true;
    }
    bool Evaluate() override {
        uint32_t n = 0;
        for (const auto& [name, object] : GetMission().objects)
            if (object && (!allegiance || object->allegiance == *allegiance) && Counts(name, *object))
                ++n;
        return CompareUnsigned(op, n, value) != negation;
    }
    virtual bool Counts(const Base::String& name, const Obj::Damageable& object) = 0;

    Comparison op = Equal;
    uint32_t value = 0;
    std::optional<Obj::Allegiance> allegiance;
};

class CondCount : public CountingCondition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("ClassName", className) && LoadCount(node) && Condition::Load(owner, node);
    }
    bool Counts(const Base::String&, const Obj::Damageable& object) override {
        return strcasecmp(ClassName(object).c_str(), className.c_str()) == 0;
    }

    Base::String className;
};

class CondCountEx : public CountingCondition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        try {
            Base::String text;
            if (node.TryGetString("ClassRegEx", text))
                classRegex.emplace(text);
            if (node.TryGetString("NameRegEx", text))
                nameRegex.emplace(text);
        } catch (const std::exception&) {
            return false; // not an expression
        }
        return LoadCount(node) && Condition::Load(owner, node);
    }
    bool Counts(const Base::String& name, const Obj::Damageable& object) override {
        try {
            return (!classRegex || boost::regex_match(ClassName(object), *classRegex)) &&
                   (!nameRegex || boost::regex_match(name, *nameRegex));
        } catch (const std::exception&) {
            return false; // an expression too costly to match counts nothing
        }
    }

    std::optional<boost::regex> classRegex, nameRegex;
};

class CondExists : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("ObjectId", objectId) && Condition::Load(owner, node);
    }
    bool Evaluate() override { return (GetMission().FindObject(objectId) != nullptr) != negation; }

    Base::String objectId;
};

class CondHitPoints : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("ObjectId", objectId) && ReadOp(node, op) &&
               node.TryGetFloat("Value", value) && Condition::Load(owner, node);
    }
    bool Evaluate() override {
        Obj::Damageable* object = GetMission().FindObject(objectId);
        if (!object)
            return false;
        return Compare(op, object->hitPoints, value) != negation;
    }

    Base::String objectId;
    Comparison op = Equal;
    float value = 0;
};

class CondFail : public Condition {
public:
    bool Evaluate() override { return (GetMission().state == Mission::Failed) != negation; }
};

class CondSucceed : public Condition {
public:
    bool Evaluate() override { return (GetMission().state == Mission::Succeeded) != negation; }
};

class CondRange : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!Condition::Load(owner, node))
            return false;
        if (!ReadOp(node, op) || !node.TryGetString("ObjectId", objectId) ||
            !node.TryGetFloat("Value", value))
            return false;
        const Base::Info* pos = node.GetChild("Pos");
        const Base::Info* line = node.GetChild("Line");
        if (bool(pos) == bool(line))
            return false;
        if (pos)
            return PointRef::Parse(&GetMission(), point, *pos);
        std::istringstream in(line->GetValue());
        isLine = true;
        return bool(in >> segment[0] >> segment[1] >> segment[2] >> segment[3]);
    }
    bool Evaluate() override {
        Obj::Damageable* object = GetMission().FindObject(objectId);
        const RwSphere* sphere = object ? object->GetBoundingSphere() : nullptr;
        if (!sphere)
            return false;
        const Base::Vector2 at{sphere->center.x, sphere->center.z};
        float distance;
        if (isLine) {
            distance = Base::DistancePointToSegment2D(Base::Vector2{segment[0], segment[1]},
                                                      Base::Vector2{segment[2], segment[3]}, at);
        } else {
            float x, z;
            PointRef::Resolve(point, x, z);
            distance = std::hypot(at.x - x, at.y - z);
        }
        return Compare(op, distance, value) != negation;
    }

    Comparison op = Equal;
    Base::String objectId;
    float value = 0;
    bool isLine = false;
    PointRef point;
    float segment[4] = {0, 0, 0, 0};
};

// ---- time and events

class CondEvent : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        return node.TryGetString("EventName", eventName) && Condition::Load(owner, node);
    }
    bool Evaluate() override {
        if (!found)
            found = GetMission().FindEvent(eventName);
        if (!found)
            return false;
        return found->fired != negation;
    }

    Base::String eventName;
    Event* found = nullptr;
};

class CondTimeFromEvent : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!node.TryGetString("EventName", eventName) || !ReadOp(node, op) ||
            !node.TryGetFloat("Value", value))
            return false;
        realTime = node.GetBoolDefault("RealTime", false);
        return Condition::Load(owner, node);
    }
    bool Evaluate() override {
        if (!found)
            found = GetMission().FindEvent(eventName);
        if (!found || !found->fired)
            return false;
        const float now = realTime ? Mission::RealTime() : GetMission().WorldTime();
        const float then = (realTime ? found->fireRealTime : found->fireWorldTime) + value;
        return Compare(op, now, then) != negation;
    }

    Base::String eventName;
    Comparison op = Equal;
    float value = 0;
    bool realTime = false;
    Event* found = nullptr;
};

class CondTimeFromStart : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!ReadOp(node, op) || !node.TryGetFloat("Value", value))
            return false;
        realTime = node.GetBoolDefault("RealTime", false);
        return Condition::Load(owner, node);
    }
    bool Evaluate() override {
        const Mission& mission = GetMission();
        const float elapsed = realTime ? Mission::RealTime() - mission.startTime : mission.WorldTime();
        return Compare(op, elapsed, value) != negation;
    }

    Comparison op = Equal;
    float value = 0;
    bool realTime = false;
};

// ---- the keyboard

class CondKey : public Condition {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        int32_t controls = 0;
        modifiers = node.TryGetInt("ControlKeys", controls) ? uint8_t(controls) : 0;
        Base::String text;
        int32_t code = 0;
        if (node.TryGetString("Key", text)) {
            if (text.size() != 1)
                return false;
            if (!Map(char(std::tolower(static_cast<unsigned char>(text[0])))))
                return false;
        } else if (node.FindChild("Ascii")) {
            if (!node.TryGetInt("Ascii", code) || code < 0 || code > 255 || !Map(char(code)))
                return false;
        } else if (node.FindChild("Dik")) {
            if (!node.TryGetInt("Dik", code) || code < 0 || code > 255)
                return false;
            key = uint8_t(code);
        } else {
            return false;
        }
        return Condition::Load(owner, node);
    }
    bool Evaluate() override {
        Grp::World* world = GetMission().host.GetWorld();
        Input::Keyboard* keyboard = world ? world->keyboard : nullptr;
        if (!keyboard)
            return false;
        if (modifiers != 255 && modifiers != keyboard->modifiers)
            return false;
        return (keyboard->keys[key] != 0) != negation;
    }

    uint8_t key = 0;
    uint8_t modifiers = 0; // 255: any

private:
    // A character no key types is no key to wait for.
    bool Map(char character) {
        uint8_t shifted = 0;
        key = Input::Keyboard::CharToScanCode(character, &shifted);
        if (key == 0)
            return false;
        if (shifted)
            modifiers |= Input::Keyboard::Shift;
        return true;
    }
};

namespace {

template <class T> using Reg = Base::ClassRegistration<T>;
const Reg<CondAirplaneAlt> r1("class Mission::CondAirplaneAlt");
const Reg<CondAirplaneHdg> r2("class Mission::CondAirplaneHdg");
const Reg<CondAirplanePitch> r3("class Mission::CondAirplanePitch");
const Reg<CondAirplaneSpeed> r4("class Mission::CondAirplaneSpeed");
const Reg<CondAirplaneTarget> r5("class Mission::CondAirplaneTarget");
const Reg<CondAnd> r6("class Mission::CondAnd");
const Reg<CondOr> r7("class Mission::CondOr");
const Reg<CondAnnouncerEmpty> r8("class Mission::CondAnnouncerEmpty");
const Reg<CondCount> r9("class Mission::CondCount");
const Reg<CondCountEx> r10("class Mission::CondCountEx");
const Reg<CondEvent> r11("class Mission::CondEvent");
const Reg<CondExists> r12("class Mission::CondExists");
const Reg<CondFail> r13("class Mission::CondFail");
const Reg<CondSucceed> r14("class Mission::CondSucceed");
const Reg<CondHitPoints> r15("class Mission::CondHitPoints");
const Reg<CondIdentified> r16("class Mission::CondIdentified");
const Reg<CondKey> r17("class Mission::CondKey");
const Reg<CondRange> r18("class Mission::CondRange");
const Reg<CondThreats> r19("class Mission::CondThreats");
const Reg<CondTimeFromEvent> r20("class Mission::CondTimeFromEvent");
const Reg<CondTimeFromStart> r21("class Mission::CondTimeFromStart");

} // namespace

} // namespace Mission
