// The aiming symbols of the selected weapon: the gun sight with its lead, a homing missile's seeker circle,
// the rocket pipper and the continuously computed bomb impact point, each with the rounds left.
#include "hud/Hud.h"

#include "aircraft/Airplane.h"
#include "physics/Intercept.h"

#include "base/TextTable.h"

#include <cmath>
#include <cstdio>

namespace Hud {

namespace {

RwV3d Add(const RwV3d& a, const RwV3d& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
RwV3d Scale(const RwV3d& a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}

// Two arcs of count points, inner and outer, interleaved: ticks as a line list.
std::vector<Gui::Vertex3d> Ticks(float inner, float outer, float end, uint32_t count) {
    std::vector<Gui::Vertex3d> v(2 * count);
    Gui::MakeArcPoints({0, 0, 0}, {inner, inner}, 0, end, count, 2, v.data());
    Gui::MakeArcPoints({0, 0, 0}, {outer, outer}, 0, end, count, 2, v.data() + 1);
    for (Gui::Vertex3d& vertex : v)
        vertex.colour = Hud::Colour;
    return v;
}

} // namespace

BombImpact ComputeBombImpact(const RwV3d& P, const RwV3d& v, float groundHeight) {
    const float h = P.y - groundHeight;
    BombImpact impact;
    impact.time = (v.y + std::sqrt(std::max(0.0f, v.y * v.y + 19.62f * h))) / 9.81f;
    const float d = (std::pow(0.97f, impact.time) - 1.0f) / std::log(0.97f);
    impact.point = {P.x + v.x * d, groundHeight, P.z + v.z * d};
    return impact;
}

WeaponModes::WeaponModes(Hud* owner) : hud(owner) {
    leadSight = Ticks(0.08f, 0.12f, 2 * float(Base::Pi) - float(Base::Pi) / 6, 12);
    rocketPipper = Ticks(0.03f, 0.1f, 1.5f * float(Base::Pi), 4);
    fixedSight.resize(16);
    for (int i = 0; i < 16; ++i) {
        const float angle = float(i) * 2 * float(Base::Pi) / 15;
        fixedSight[i].x = 0.08f * std::cos(angle);
        fixedSight[i].y = 0.08f * std::sin(angle);
        fixedSight[i].colour = Hud::Colour;
    }
}

void WeaponModes::Update(const Selection& selection) {
    mode = ChooseMode(selection);
    switch (mode) {
    case Mode::GunSight:
        GunSight(selection);
        break;
    case Mode::AirToAir:
        AirToAir(selection);
        break;
    case Mode::Bomb:
        Bomb(selection);
        break;
    case Mode::AirToGround:
        AirToGround(selection);
        break;
    case Mode::None:
        break;
    }
}

void WeaponModes::Shape(const std::vector<Gui::Vertex3d>& shape, bool strip, Base::Vector2 p) {
    const std::size_t step = strip ? 1 : 2;
    for (std::size_t i = 0; i + 1 < shape.size(); i += step)
        lines.Line(p.x + shape[i].x, p.y + shape[i].y, p.x + shape[i + 1].x, p.y + shape[i + 1].y);
    // The dot.
    lines.Line(p.x - 0.004f, p.y, p.x + 0.004f, p.y);
}

void WeaponModes::RoundsLeft(const Selection& selection) {
    char text[128];
    if (selection.gun) {
        const Base::String format = Base::GetFormat("Hud.Gun", "i");
        std::snprintf(text, sizeof text, format.c_str(), int(selection.count));
    } else {
        std::snprintf(text, sizeof text, "%s : %d", selection.name.c_str(), int(selection.count));
    }
    hud->AddText({0.7f, -0.7f}, text, 0, 0);
}

void WeaponModes::GunSight(const Selection& selection) {
    const Hud::State& s = hud->state;
    const RwV3d P = s.plane.pos, G = selection.gunPosition;
    const RwV3d fixed = Add(Add(G, s.velocity), Scale(selection.gunAxis, selection.muzzleSpeed));
    const auto ahead = [&](const RwV3d& q) {
        return Base::DotProduct(Base::Normalize3d(Sub(q, P)), s.plane.at) >= 0.8f;
    };
    Obj::CockpitLink* link = hud->airplane->cockpit.get();
    Obj::Target* target = link ? link->GetRadarTarget() : nullptr;
    auto* targetFrame = dynamic_cast<Obj::Frame*>(target);
    if (!target || !targetFrame || !targetFrame->frame) {
        if (ahead(fixed))
            Shape(fixedSight, true, hud->Project(fixed));
        RoundsLeft(selection);
        return;
    }
    const RwSphere* sphere = target->GetBoundingSphere();
    const RwV3d Tc = sphere ? sphere->center : RwFrameGetWorldMatrix(targetFrame->frame)->pos;
    RwV3d Vt{0, 0, 0};
    if (auto* other = dynamic_cast<Obj::Airplane*>(target); other && other->flightModel)
        Vt = other->GetState().velocity;
    RwV3d I, Q = fixed;
    if (ComputeIntercept(G, s.velocity, Tc, Vt, selection.muzzleSpeed, nullptr, &I, nullptr)) {
        const float reach = float(Base::VectorLength(Sub(I, G)));
        Q = Sub(Add(G, Scale(selection.gunAxis, reach)), Sub(I, Tc));
    }
    if (ahead(Q)) {
        const Base::Vector2 p = hud->Project(Q);
        Shape(leadSight, false, p);
        if (Base::VectorLength(Sub(Q, Tc)) < 4) {
            hud->AddText({p.x, p.y - 0.1f}, Base::GetText("Hud.Shoot"), 0, -1);
            hud->AddText({0, -1}, Base::GetText("Hud.Shoot"), 0, 1);
        }
    }
    RoundsLeft(selection);
}

void WeaponModes::SeekerCircle(const Selection& selection) {
    if (!selection.seeker || selection.locked)
        return;
    const Hud::State& s = hud->state;
    const RwV3d d = selection.seekerDirection;
    const RwV3d world = Add(Add(Scale(s.plane.right, d.x), Scale(s.plane.up, d.y)), Scale(s.plane.at, d.z));
    const RwV3d direction = hud->ToHudDirection(world);
    const Base::Vector2 p = hud->ProjectHud(Add(hud->eyeHud, direction));
    Gui::Vertex3d circle[10];
    Gui::MakeArcPoints({p.x, p.y, 0}, {0.05f, 0.05f}, 0, 2 * float(Base::Pi), 10, 1, circle);
    for (int i = 0; i < 9; ++i)
        lines.Line(circle[i].x, circle[i].y, circle[i + 1].x, circle[i + 1].y);
}

void WeaponModes::AirToAir(const Selection& selection) {
    SeekerCircle(selection);
    RoundsLeft(selection);
}

void WeaponModes::AirToGround(const Selection& selection) {
    const Hud::State& s = hud->state;
    if (selection.kind == 0) {
        SeekerCircle(selection);
    } else if (selection.kind == 3) {
        const RwV3d P = s.plane.pos;
        const RwV3d A = Add(P, Scale(Add(s.velocity, Scale(s.plane.at, 500)), 5));
        if (Base::DotProduct(Base::Normalize3d(Sub(A, P)), s.plane.at) >= 0.8f)
            Shape(rocketPipper, false, hud->Project(A));
    }
    RoundsLeft(selection);
}

void WeaponModes::Bomb(const Selection& selection) {
    const Hud::State& s = hud->state;
    const RwV3d P = s.plane.pos;
    RwV3d hit;
    const float ground = hud->GroundHit(P, RwV3d{P.x, 0, P.z}, &hit, nullptr) ? hit.y : 0.0f;
    const BombImpact impact = ComputeBombImpact(P, s.velocity, ground);
    if (Base::DotProduct(Base::Normalize3d(Sub(impact.point, P)), s.plane.at) >= 0.8f) {
        const Base::Vector2 p = hud->Project(impact.point), F = hud->flightPathMarker;
        const Base::Vector2 n = Base::Normalize2d(F.x - p.x, F.y - p.y);
        lines.Line(F.x - 0.02f * n.x, F.y - 0.02f * n.y, p.x + 0.05f * n.x, p.y + 0.05f * n.y);
        Gui::Vertex3d circle[10];
        Gui::MakeArcPoints({p.x, p.y, 0}, {0.05f, 0.05f}, 0, 2 * float(Base::Pi), 10, 1, circle);
        for (int i = 0; i < 9; ++i)
            lines.Line(circle[i].x, circle[i].y, circle[i + 1].x, circle[i + 1].y);
    }
    RoundsLeft(selection);
}

} // namespace Hud
