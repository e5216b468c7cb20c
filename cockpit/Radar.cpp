#include "cockpit/Radar.h"

#include "cockpit/Cockpit.h"

#include "aircraft/Airplane.h"
#include "objects/Structure.h"
#include "scene/World.h"
#include "weapons/Countermeasure.h"

#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/TextTable.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace Cockpit {

namespace {

constexpr float Pi = 3.14159265f;
constexpr size_t OuterPoints = 41, MiddlePoints = 31, InnerPoints = 21;

bool IsDestroyed(Obj::Target* object) {
    return object->hitPoints == 0 && object->maxHitPoints > 0;
}

// The kind an object counts as: 1 an airplane, 2 anything else.
int KindOf(Obj::Target* object) {
    return dynamic_cast<Obj::Airplane*>(object) ? 1 : 2;
}

double DistanceTo(const RwV3d& from, Obj::Target* object) {
    const RwSphere* sphere = object->GetBoundingSphere();
    if (!sphere)
        return DBL_MAX;
    const double dx = double(sphere->center.x) - from.x, dy = double(sphere->center.y) - from.y,
                 dz = double(sphere->center.z) - from.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

Gui::Vertex3d Point(float x, float y, RwRGBA colour) {
    Gui::Vertex3d v;
    v.x = x;
    v.y = y;
    v.colour = colour;
    return v;
}

} // namespace

Radar::Radar(Cockpit* owner) : cockpit(owner) {
    RwMatrixSetIdentity(&matrix);
    RwV3d quad[4];
    if (cockpit->FaceQuad("Monitor1", quad)) {
        matrix = Cockpit::DisplayMatrix(quad);
        present = cockpit->BuildFace("Monitor1", nullptr, nullptr);
    }
    for (Gui::Vertex3d& v : rings)
        v.colour = {0, 255, 0, 96};
    Gui::MakeArcPoints({0, 0, 0}, {1.0f, 1.0f}, 0, 2 * Pi, OuterPoints, 1, rings);
    Gui::MakeArcPoints({0, 0, 0}, {0.6f, 0.6f}, 0, 2 * Pi, MiddlePoints, 1, rings + OuterPoints);
    Gui::MakeArcPoints({0, 0, 0}, {0.2f, 0.2f}, 0, 2 * Pi, InnerPoints, 1,
                       rings + OuterPoints + MiddlePoints);
    textFont = Base::FontCache::Get("Tahoma8.font");
    symbolFont = Base::FontCache::Get("RadarSymbols.font");
}

float Radar::NextRange(float value, int direction) {
    if (direction == 1) {
        value = value == 2000 ? 5000 : value == 40000 ? 60000 : value * 2;
        return value > 60001 ? 2000 : value;
    }
    value = value == 5000 ? 2000 : value == 60000 ? 40000 : value / 2;
    return value < 1900 ? 60000 : value;
}

void Radar::SetRangeNext(int direction) {
    range = NextRange(range, direction);
}

float Radar::GetSignal(const RadarTarget& observer, Obj::Target* object) const {
    Obj::Airplane* own = observer.owner;
    if (!own || !object || !own->frame)
        return -1.0f;
    const Physics::AirplaneState state = own->GetState();
    const RwMatrix* m = RwFrameGetWorldMatrix(own->frame);
    float h = m->pos.y - state.groundHeight;
    if (!(h > 0))
        h = 0;
    const float a = std::clamp(std::pow(h * 0.000083333f, 0.3f), 0.0f, 1.0f);
    const float A = a + (1 - a) * 0.66f;

    float s = 0;
    if (const RwSphere* sphere = object->GetBoundingSphere()) {
        double p[3];
        own->GetWorldPositionDouble(p);
        const double dx = sphere->center.x - p[0], dy = sphere->center.y - p[1], dz = sphere->center.z - p[2];
        const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
        const float R = 1 - std::clamp(float(d / 150000.0), 0.0f, 1.0f);
        float c = 1;
        if (d > 0)
            c = std::clamp(float((dx * m->at.x + dy * m->at.y + dz * m->at.z) / d), -1.0f, 1.0f);
        const float b = (c + 1) / 2;
        const float B = (1 - b) * 0.75f + b;
        s = std::min(B * R * A, 1.0f);
        if (!(s > 0))
            s = 0;
    }
    return s + object->GetDetectability() - 1;
}

void Radar::SelectTarget(RadarTarget& rt, bool nearest, int kind) {
    if (!SelectOnce(rt, nearest, kind))
        SelectOnce(rt, true, kind);
    // The weapon stores take the new target when they are built on the airplane.
}

// One pass of the selection; false when cycling found nothing farther than the current target.
bool Radar::SelectOnce(RadarTarget& rt, bool nearest, int kind) {
    Obj::Airplane* own = rt.owner;
    if (!own || !own->world || own->GetState().jammerOn)
        return true;
    SetTargetKind(rt, kind);
    Obj::Target* previous = rt.target.Get();
    const RwV3d from = own->GetState().position;
    const double minimum = !nearest && previous ? DistanceTo(from, previous) : 0.0;
    double best = FLT_MAX;
    own->world->targets->ForEach([&](Obj::Target* object) {
        if (object == static_cast<Obj::Target*>(own) || object == previous ||
            dynamic_cast<Weapons::Countermeasure*>(object))
            return;
        if ((kind == 1 && KindOf(object) != 1) || (kind == 2 && KindOf(object) != 2))
            return;
        if (object->allegiance == own->allegiance || IsDestroyed(object) || GetSignal(rt, object) < 0)
            return;
        const double distance = DistanceTo(from, object);
        if (minimum < distance && distance < best) {
            best = distance;
            rt.target = object;
            rt.kind = kind;
            cockpit->targetData.target = dynamic_cast<Obj::Frame*>(object);
            cockpit->targetData.Reset();
        }
    });
    return nearest || !previous || rt.target.Get() != previous;
}

void Radar::SetTarget(RadarTarget& rt, int kind, Obj::Target* target) {
    if (!target) {
        rt.target = nullptr;
        rt.kind = 0;
        cockpit->targetData.target = nullptr;
        cockpit->targetData.Reset();
        return;
    }
    if (target->allegiance == Obj::Friendly || (kind != 0 && kind != KindOf(target)))
        return;
    rt.target = target;
    rt.kind = kind;
    cockpit->targetData.target = dynamic_cast<Obj::Frame*>(target);
    cockpit->targetData.Reset();
}

int Radar::SetTargetKind(RadarTarget& rt, int kind) {
    if (kind == 0)
        return 0;
    int current = rt.kind;
    if (current == 0 && rt.target)
        current = KindOf(rt.target.Get());
    if (kind != current) {
        rt.target = nullptr;
        rt.kind = 0;
        cockpit->targetData.target = nullptr;
        cockpit->targetData.Reset();
    }
    return kind;
}

void Radar::ValidateTarget(RadarTarget& rt) {
    Obj::Target* target = rt.target.Get();
    if (target && (IsDestroyed(target) || GetSignal(rt, target) < 0))
        SetTarget(rt, 0, nullptr);
}

void Radar::Update() {
    Obj::Airplane* own = cockpit->airplane;
    Grp::World* world = own ? own->world : nullptr;
    if (!world)
        return;
    if (airbasesPending) {
        world->renderables->ForEachMember([this](Obj::Renderable* member) {
            if (auto* airbase = dynamic_cast<Obj::Airbase*>(member))
                airbases.push_back(airbase);
        });
        airbasesPending = false;
    }
    const float now = world->time->time;
    if (lastScan + 1.0f <= now) {
        lastScan = now;
        contacts.clear();
        world->targets->ForEach([&](Obj::Target* object) {
            if (object == static_cast<Obj::Target*>(own) || dynamic_cast<Weapons::Countermeasure*>(object))
                return;
            if (GetSignal(*cockpit->radarTarget, object) >= 0)
                contacts.emplace_back(object);
        });
    }
}

Base::Vector2 Radar::Turn(float x, float z, float theta) {
    const float c = std::cos(theta), s = std::sin(theta);
    return {z * s + x * c, z * c - x * s};
}

Base::Vector2 Radar::DisplayPoint(float x, float z, float ownX, float ownZ, float range, float theta) {
    return Turn((x - ownX) / range, (z - ownZ) / range, theta);
}

bool Radar::OnRim(Base::Vector2& p, bool blinkOn) {
    const float r = std::sqrt(p.x * p.x + p.y * p.y);
    if (r <= 1)
        return true;
    if (!blinkOn)
        return false;
    p = {p.x / r, p.y / r};
    return true;
}

void Radar::Render() {
    if (!present)
        return;
    RwMatrix m;
    RwMatrixMultiply(&m, &matrix, RwFrameGetWorldMatrix(cockpit->frame));
    Cockpit::DepthWrite depthOff(false);

    Gui::DrawLineStrip(rings, OuterPoints, 1, &m);
    Gui::DrawLineStrip(rings + OuterPoints, MiddlePoints, 1, &m);
    Gui::DrawLineStrip(rings + OuterPoints + MiddlePoints, InnerPoints, 1, &m);
    const Gui::Vertex3d cross[8] = {Point(0, 1, Faint),     Point(0, 0.2f, Faint), Point(0, -1, Faint),
                                    Point(0, -0.2f, Faint), Point(1, 0, Faint),    Point(0.2f, 0, Faint),
                                    Point(-1, 0, Faint),    Point(-0.2f, 0, Faint)};
    Gui::DrawLines(cross, 8, 1, &m);

    Obj::Airplane* own = cockpit->airplane;
    const double clock = Base::FrameClock::GameTime;
    if (cockpit->Ejected()) {
        if (std::fmod(cockpit->GameTime(), 0.5f) < 0.3f)
            Gui::QueueText3d({0, 0.1f, 0}, Base::GetText("Hud.Eject"), Bright, {0.05f, 0.05f}, 0, size_t(-1),
                             {0, 0}, 0, 0);
        Gui::FlushTextQueue3d(textFont, &m, rwFILTERLINEAR);
        return;
    }
    if (own && own->GetState().jammerOn) {
        if (BlinkOn(clock, 1.0, 0.75))
            Gui::QueueText3d({0, 0.1f, 0}, Base::GetText("Cockpit.RadarJammed"), Bright, {0.013f, 0.013f}, 0,
                             size_t(-1), {0, 0}, 0, 0);
        Gui::FlushTextQueue3d(textFont, &m, rwFILTERLINEAR);
        return;
    }

    const RwMatrix& plane = cockpit->airplaneMatrix;
    const float theta = Base::SignedAngle2d({plane.at.x, plane.at.z}, {0, 1});
    const float ownX = plane.pos.x, ownZ = plane.pos.z;
    auto place = [&](float x, float z) { return DisplayPoint(x, z, ownX, ownZ, range, theta); };
    auto turn = [&](float x, float z) { return Turn(x, z, theta); };

    // Airbases: their runways as short lines.
    std::vector<Gui::Vertex3d> lines;
    for (Obj::Airbase* airbase : airbases) {
        if (!airbase->frame)
            continue;
        const RwMatrix* am = RwFrameGetWorldMatrix(airbase->frame);
        const Base::Vector2 p = place(am->pos.x, am->pos.z);
        if (p.x * p.x + p.y * p.y > 1)
            continue;
        for (const auto& [name, runway] : airbase->runways) {
            const RwV3d along =
                Base::RotateVectorAroundAxis(am->at, RwV3d{0, 1, 0}, runway.heading / 57.29578f);
            const Base::Vector2 d = turn(along.x, along.z);
            lines.push_back(Point(p.x - d.x * 0.08f, p.y - d.y * 0.08f, Bright));
            lines.push_back(Point(p.x + d.x * 0.08f, p.y + d.y * 0.08f, Bright));
        }
    }

    // Contacts, the current target with its heading.
    Obj::Target* current = cockpit->radarTarget->target.Get();
    const bool contactBlink = BlinkOn(clock, 0.6, 0.35);
    for (const Base::SmartPtr<Obj::Target>& contact : contacts) {
        Obj::Target* object = contact.Get();
        if (!object)
            continue;
        const RwSphere* sphere = object->GetBoundingSphere();
        if (!sphere)
            continue;
        Base::Vector2 p = place(sphere->center.x, sphere->center.z);
        if (!OnRim(p, contactBlink))
            continue;
        const RwRGBA colour = own && object->allegiance == own->allegiance ? Dark : Bright;
        const char glyph[2] = {object == current ? TargetGlyph : ContactGlyph, 0};
        Gui::QueueText3d({p.x, p.y, 0}, glyph, colour, {0.01f, 0.01f}, 0, 1, {0, 0}, 0, 0);
        if (object == current)
            if (auto* frame = dynamic_cast<Obj::Frame*>(object); frame && frame->frame) {
                const RwMatrix* tm = RwFrameGetWorldMatrix(frame->frame);
                const Base::Vector2 d = turn(tm->at.x, tm->at.z);
                const float length = std::sqrt(d.x * d.x + d.y * d.y);
                if (length > 0) {
                    lines.push_back(Point(p.x, p.y, Bright));
                    lines.push_back(Point(p.x + d.x / length * 0.1f, p.y + d.y / length * 0.1f, Bright));
                }
            }
    }
    if (!lines.empty())
        Gui::DrawLines(lines.data(), uint32_t(lines.size()), 1, &m);

    // Navpoints.
    const Navpoints& navpoints = *cockpit->navpoints;
    const bool navBlink = BlinkOn(clock, 0.4, 0.2);
    for (size_t i = 0; i < navpoints.points.size(); ++i) {
        const Navpoint* point = navpoints.points[i].get();
        if (!point)
            continue;
        Base::Vector2 p = place(point->x, point->z);
        if (!OnRim(p, navBlink))
            continue;
        const char glyph[2] = {NavpointGlyph, 0};
        Gui::QueueText3d({p.x, p.y, 0}, glyph, int(i) == navpoints.current ? Bright : Dark, {0.01f, 0.01f}, 0,
                         1, {0, 0}, 0, 0);
    }

    // Missiles homing on the airplane.
    if (BlinkOn(clock, 0.35, 0.2))
        for (const Threat& threat : cockpit->threats->entries) {
            Obj::Frame* source = threat.source.Get();
            if (threat.kind != 2 || !source || !source->frame)
                continue;
            const RwMatrix* sm = RwFrameGetWorldMatrix(source->frame);
            const Base::Vector2 p = place(sm->pos.x, sm->pos.z);
            if (p.x * p.x + p.y * p.y > 1)
                continue;
            const char glyph[2] = {ContactGlyph, 0};
            Gui::QueueText3d({p.x, p.y, 0}, glyph, Bright, {0.01f, 0.01f}, 0, 1, {0, 0}, 0, 0);
        }
    Gui::FlushTextQueue3d(symbolFont, &m, rwFILTERLINEAR);

    const TargetData& data = cockpit->targetData;
    char text[96];
    std::snprintf(text, sizeof text, "%0.0f %s", double(range / 1000), Base::GetText("Units.Km").c_str());
    Gui::QueueText3d({1, -1, 0}, text, Bright, {0.015f, 0.015f}, 0, size_t(-1), {0, 0}, -1, 1);
    std::snprintf(text, sizeof text, "%0.0f %s", std::floor(double(data.speed) * 0.36 + 0.5) * 10,
                  Base::GetText("Units.Kmh").c_str());
    Gui::QueueText3d({0.98f, 1.0f, 0}, text, Bright, {0.015f, 0.015f}, 0, size_t(-1), {0, 0}, -1, -1);
    std::snprintf(text, sizeof text, "%+0.0f", double(data.heightDifference / 100));
    Gui::QueueText3d({0.98f, 0.85f, 0}, text, data.heightDifference >= 0 ? Bright : Below, {0.015f, 0.015f},
                     0, size_t(-1), {0, 0}, -1, -1);
    Gui::FlushTextQueue3d(textFont, &m, rwFILTERLINEAR);
}

} // namespace Cockpit
