// The flight symbology: ground warning, flight path marker, altitude, airspeed and heading tapes, pitch
// ladder, and the wheel brake and gear texts.
#include "hud/Hud.h"

#include "aircraft/Airplane.h"

#include "base/TextTable.h"

#include <cmath>
#include <cstdio>

namespace Hud {

namespace {

constexpr RwV3d WorldUp{0, 1, 0};

RwV3d Add(const RwV3d& a, const RwV3d& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
RwV3d Scale(const RwV3d& a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

void Common::Update() {
    const Hud::State& s = hud->state;
    // Ground warning: the ground within 0.022 |v|^2 along the flight path, met faster than 10 m/s.
    const float speed = float(Base::VectorLength(s.velocity));
    if (speed > 0) {
        const RwV3d end = Add(s.cockpitPosition, Scale(s.velocity, 0.022f * speed));
        RwV3d point, normal;
        if (hud->GroundHit(s.cockpitPosition, end, &point, &normal) &&
            -Base::DotProduct(normal, s.velocity) > 10) {
            cross.Line(-0.5f, -0.5f, 0.5f, 0.5f);
            cross.Line(-0.5f, 0.5f, 0.5f, -0.5f);
        }
    }
    UpdateFlightPathMarker();
    UpdateAltitude();
    UpdateAirspeed();
    UpdateHeading();
    UpdatePitchLadder();

    const bool blink = std::fmod(s.worldTime, 0.5) < 0.3;
    if (s.wheelBrake > 0)
        hud->AddText({-0.86f, -0.61f}, Base::GetText("Hud.WheelBrakes"), 1, 0);
    if (s.hasGear && (s.gearProgress == 1.0f || (s.gearProgress > 0 && blink)))
        hud->AddText({-0.86f, -0.68f}, Base::GetText("Hud.Gears"), 1, 0);
}

void Common::UpdateFlightPathMarker() {
    const Hud::State& s = hud->state;
    const RwV3d d = Base::Normalize3d(Add(s.velocity, Scale(s.plane.at, 5)));
    const Base::Vector2 p = hud->Project(Add(s.eye, d));
    hud->flightPathMarker = p;
    if (std::fabs(p.x) >= 1 || std::fabs(p.y) >= 1)
        return;
    Gui::Vertex3d circle[9];
    Gui::MakeArcPoints({p.x, p.y, 0}, {0.02f, 0.02f}, 0, 2 * float(Base::Pi), 9, 1, circle);
    for (int i = 0; i < 8; ++i)
        fpm.Line(circle[i].x, circle[i].y, circle[i + 1].x, circle[i + 1].y);
    for (float angle : {0.0f, 0.5f * float(Base::Pi), float(Base::Pi)}) {
        const float c = std::cos(angle), n = std::sin(angle);
        fpm.Line(p.x + 0.02f * c, p.y + 0.02f * n, p.x + 0.06f * c, p.y + 0.06f * n);
    }
}

void Common::UpdateAltitude() {
    const Hud::State& s = hud->state;
    const RwV3d P = s.plane.pos;
    RwV3d hit;
    const float agl = hud->GroundHit(P, RwV3d{P.x, 0, P.z}, &hit, nullptr) ? P.y - hit.y : P.y;
    aboveSeaLevel = agl > 500 || (agl > 400 && aboveSeaLevel);
    const float value = aboveSeaLevel ? s.cockpitPosition.y : agl;
    const float window = aboveSeaLevel ? 400.0f : 100.0f, step = aboveSeaLevel ? 50.0f : 10.0f,
                major = aboveSeaLevel ? 200.0f : 50.0f;
    altitude.Line(-0.7f, 0, -0.6f, 0);
    const float lo = value - window / 2;
    for (float mark = std::ceil(lo / step) * step; mark < value + window / 2; mark += step) {
        if (mark < 0)
            continue;
        const float y = (mark - lo) / window * 0.8f - 0.4f;
        if (std::fmod(mark, major) == 0) {
            altitude.Line(-0.7f, y, -0.8f, y);
            hud->AddText({-0.81f, y},
                         aboveSeaLevel ? Format("%.1f", mark / 1000.0) : Format("%0.0f", double(mark)), -1,
                         0);
        } else {
            altitude.Line(-0.7f, y, -0.75f, y);
        }
    }
    hud->AddText({-0.7f, -0.45f}, Format("%.0f", double(value)), -1, -1);
    hud->AddText({-0.7f, 0.45f}, Base::GetText(aboveSeaLevel ? "Hud.MSL" : "Hud.AGL"), -1, 1);
}

void Common::UpdateAirspeed() {
    const Hud::State& s = hud->state;
    const float v = float(Base::VectorLength(s.velocity));
    const float kmh = v * 3.6f;
    airspeed.Line(0.7f, 0, 0.6f, 0);
    const float lo = kmh - 150, hi = kmh + 150;
    for (float mark = std::ceil(lo / 20) * 20; mark < hi; mark += 20) {
        if (mark < 0)
            continue;
        const float y = (mark - lo) / 300 * 0.8f - 0.4f;
        if (std::fmod(mark, 100.0f) == 0) {
            airspeed.Line(0.7f, y, 0.8f, y);
            hud->AddText({0.81f, y}, Format("%.0f", mark / 10.0), 1, 0);
        } else {
            airspeed.Line(0.7f, y, 0.75f, y);
        }
    }
    // Load factor and Mach number.
    const RwV3d g = Add(Scale(WorldUp, 9.81f), s.acceleration);
    hud->AddText({0.68f, 0.4f}, Format("%.1f", Base::VectorLength(g) / 9.81), -1, 0);
    const float h = s.plane.pos.y;
    const float c = h < 11000 ? 340.0f - h * 0.0039942528f : 296.0f;
    hud->AddText({0.68f, -0.4f}, Format("%.2f", v / c), -1, 0);
    if (s.afterburner > 0.125f)
        hud->AddText({0.7f, 0.5f}, Format("AB-%0.0f", std::floor(s.afterburner * 4 + 0.5f)), 1, 1);
    else
        hud->AddText({0.7f, 0.5f}, Format("%0.0f %%", s.throttle * 100.0), 1, 1);
    hud->AddText({0.7f, -0.45f}, Format("%.0f", kmh), 1, -1);
}

void Common::UpdateHeading() {
    const Hud::State& s = hud->state;
    const float h = Base::HeadingDegrees2d({s.plane.at.x, s.plane.at.z});
    heading.Line(0, 0.7f, 0, 0.76f);
    for (float mark = std::ceil((h - 30) / 5) * 5; mark < h + 30; mark += 5) {
        const float x = 0.3f - (mark - (h - 30)) / 60 * 0.6f;
        if (std::fmod(mark, 10.0f) == 0) {
            heading.Line(x, 0.7f, x, 0.64f);
            float label = std::fmod(mark, 360.0f);
            if (label < 0)
                label += 360;
            hud->AddText({x, 0.57f}, Format("%.0f", label / 10.0), 0, -1);
        } else {
            heading.Line(x, 0.7f, x, 0.67f);
        }
    }
    // The bearing to the current navigation point.
    Obj::CockpitLink* link = hud->airplane->cockpit.get();
    Base::String name;
    RwV3d navpoint;
    if (!link || !link->GetCurrentNavpoint(&name, &navpoint))
        return;
    const float b = Base::HeadingDegrees2d({navpoint.x - s.plane.pos.x, navpoint.z - s.plane.pos.z});
    float r = std::fmod(b - h + 180.0f, 360.0f);
    if (r < 0)
        r += 360;
    r -= 180;
    Base::Vector2 tip, a, c;
    if (std::fabs(r) >= 30) {
        const float side = r >= 0 ? 1.0f : -1.0f;
        tip = {-0.37f * side, 0.7f};
        a = {tip.x + 0.05f * side, 0.75f};
        c = {tip.x + 0.05f * side, 0.65f};
    } else {
        const float x = 0.3f - (r + 30) / 60 * 0.6f;
        tip = {x, 0.7f};
        a = {x - 0.05f, 0.75f};
        c = {x + 0.05f, 0.75f};
    }
    heading.Line(tip, a);
    heading.Line(a, c);
    heading.Line(c, tip);
    const float distance = std::hypot(navpoint.x - s.plane.pos.x, navpoint.z - s.plane.pos.z) / 1000.0f;
    char text[160];
    std::snprintf(text, sizeof text, "%s (%0.1f %s)", name.c_str(), distance,
                  Base::GetText("Units.Km").c_str());
    hud->AddText({0.8f, -1.0f}, text, -1, 1);
}

void Common::UpdatePitchLadder() {
    const Hud::State& s = hud->state;
    // The rung of pitch a lies a degrees above the horizon ahead: the horizontal forward f turned up
    // towards the world's up. Its ends run along the side s, the first on the pilot's left, so that the
    // rung's direction u (first end to second) has Z x u towards the horizon on climbing rungs.
    const RwV3d d = Base::Normalize3d(Add(s.velocity, Scale(s.plane.at, 0.1f)));
    RwV3d forward = Base::Normalize3d(RwV3d{d.x, 0, d.z});
    if (forward.x == 0 && forward.z == 0)
        forward = Base::Normalize3d(RwV3d{s.plane.at.x, 0, s.plane.at.z});
    const RwV3d side = Base::CrossProduct(WorldUp, forward);
    for (int a = 0; a < 360; a += 5) {
        const float radians = float(a) * float(Base::Pi / 180.0);
        const RwV3d rung = Add(Scale(forward, std::cos(radians)), Scale(WorldUp, std::sin(radians)));
        const RwV3d endA = hud->ToHud(Add(s.eye, Add(rung, Scale(side, 0.08f))));
        const RwV3d endB = hud->ToHud(Add(s.eye, Add(rung, Scale(side, -0.08f))));
        if (endA.z - hud->eyeHud.z <= 0 || endB.z - hud->eyeHud.z <= 0)
            continue;
        const Base::Vector2 pa = hud->ProjectHud(endA), pb = hud->ProjectHud(endB);
        if (!(std::fabs(pa.x) < 1 && std::fabs(pa.y) < 1) && !(std::fabs(pb.x) < 1 && std::fabs(pb.y) < 1))
            continue;
        const int pitch = a <= 90 ? a : (a <= 270 ? 180 - a : a - 360);
        const Base::Vector2 span{pb.x - pa.x, pb.y - pa.y};
        const float length = std::hypot(span.x, span.y);
        if (length <= 0)
            continue;
        const Base::Vector2 u{span.x / length, span.y / length}; // from end A to end B
        const auto at = [&](Base::Vector2 from, Base::Vector2 dir, float t) {
            return Base::Vector2{from.x + dir.x * t * length, from.y + dir.y * t * length};
        };
        const Base::Vector2 back{-u.x, -u.y};
        if (pitch == 0) {
            // The horizon: reaching 0.8 rung lengths beyond each end, with a gap in the middle.
            ladder.Line(at(pa, back, 0.8f), at(pa, u, 0.35f));
            ladder.Line(at(pb, u, 0.8f), at(pb, back, 0.35f));
            continue;
        }
        // Ticks: towards the ground for climbing rungs, away from it for diving ones (Z x u, u x Z).
        const Base::Vector2 zCrossU{-u.y, u.x};
        const Base::Vector2 tick = pitch > 0 ? zCrossU : Base::Vector2{u.y, -u.x};
        for (auto [end, inward] : {std::pair{pa, u}, std::pair{pb, back}}) {
            if (pitch > 0) {
                ladder.Line(end, at(end, inward, 0.35f));
            } else {
                for (float t0 : {0.0f, 0.14f, 0.28f})
                    ladder.Line(at(end, inward, t0), at(end, inward, t0 + 0.07f));
            }
            ladder.Line(end, {end.x + 0.05f * tick.x, end.y + 0.05f * tick.y});
        }
        // The labels, 0.1 further out along the side.
        char text[16];
        std::snprintf(text, sizeof text, "%.0f", double(pitch));
        const RwV3d outA = hud->ToHud(Add(s.eye, Add(rung, Scale(side, 0.18f))));
        const RwV3d outB = hud->ToHud(Add(s.eye, Add(rung, Scale(side, -0.18f))));
        hud->AddText(hud->ProjectHud(outA), text, 0, 0);
        hud->AddText(hud->ProjectHud(outB), text, 0, 0);
    }
}

} // namespace Hud
