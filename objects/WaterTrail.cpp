#include "objects/WaterTrail.h"

#include "scene/LoadTexture.h"
#include "scene/World.h"
#include "scene/RoleGroups.h"

#include "rwsdk/src/frame.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cmath>

namespace Obj {

namespace {

// Slower than this a ship lays no strip ahead of its first run.
constexpr float StillSpeed = 1e-4f;

float Distance(float x0, float z0, float x1, float z1) {
    return std::hypot(x1 - x0, z1 - z0);
}

} // namespace

WaterTrail::WaterTrail() {
    renderOrders.assign(1, 201);
    runOrder = 129;
}

WaterTrail::~WaterTrail() {
    if (texture)
        RwTextureDestroy(texture);
}

float WaterTrail::Fade(const Point& point, float t) const {
    return std::clamp(1 - (t - point.birthTime) / Lifetime(), 0.0f, 1.0f);
}

Base::Vector2 WaterTrail::HeadPosition() const {
    double p[3];
    GetWorldPositionDouble(p);
    return {float(p[0]), float(p[2])};
}

Base::Vector2 WaterTrail::HeadDirection() const {
    const RwV3d& at = RwFrameGetWorldMatrix(frame)->at;
    return Base::Normalize2d(at.x, at.z);
}

bool WaterTrail::Setup(float startWidth_, float endWidth_, float widenRate_, float pointInterval_,
                       Base::Vector2 velocity) {
    // The strip is laid point by point at this interval over the wake's lifetime: it must move on, and a
    // lifetime of millions of intervals (a turn rate from a file, say) would be a strip of millions of points
    // whose f32 time steps may not even move.
    if (!(pointInterval_ > 0) || !(widenRate_ > 0) || !std::isfinite(pointInterval_) ||
        !std::isfinite(widenRate_) || (endWidth_ - startWidth_) / widenRate_ / pointInterval_ > MaxPoints)
        return false;
    startWidth = startWidth_;
    endWidth = endWidth_;
    widenRate = widenRate_;
    pointInterval = pointInterval_;
    detached = false;
    if (!texture)
        texture = Rw::LoadTexture("WaterTrail", rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);

    points.clear();
    // Room for every point the strip holds at once (one a point interval over its lifetime, the head and
    // the point before the oldest), so that laying points at sea allocates nothing.
    const float span = (endWidth - startWidth) / widenRate / pointInterval;
    if (span > 0)
        points.reserve(size_t(span) + 4);
    const float v = std::hypot(velocity.x, velocity.y);
    // A ship standing still has left nothing behind it (and its velocity gives no direction).
    if (!(v > StillSpeed))
        return true;
    const float lifetime = Lifetime();
    if (!(lifetime > 0) || !std::isfinite(lifetime))
        return true;
    const Base::Vector2 head = HeadPosition();
    const Base::Vector2 dir = {velocity.x / v, velocity.y / v};
    float previousX = head.x - velocity.x * lifetime, previousZ = head.y - velocity.y * lifetime;
    float u = 0;
    for (float t = std::fmod(lifetime, pointInterval) - lifetime; t < 0; t += pointInterval) {
        Point point;
        point.x = head.x + velocity.x * t;
        point.z = head.y + velocity.y * t;
        point.dirX = dir.x;
        point.dirZ = dir.y;
        const float d = Distance(previousX, previousZ, point.x, point.z);
        u += 0.01f * d;
        point.u = u;
        point.intensity = std::clamp((d / pointInterval - 1) * 0.2f, 0.0f, 1.0f);
        points.push_back(point);
        previousX = point.x;
        previousZ = point.z;
    }
    return true;
}

void WaterTrail::Detach() {
    detached = true;
    if (!points.empty())
        points.back().intensity = 0;
}

void WaterTrail::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
    SetRunnableWorld(*this, joined);
    if (joined) {
        float t = joined->time->time;
        for (auto it = points.rbegin(); it != points.rend(); ++it, t -= pointInterval)
            it->birthTime = t;
    }
}

void WaterTrail::Run() {
    if (!Obj::Object::world)
        return;
    const Grp::WorldTime& clock = *Obj::Object::world->time;
    const float dt = clock.step;
    if (dt == 0)
        return;
    const float now = clock.time;
    const Base::Vector2 head = HeadPosition(), headDir = HeadDirection();

    while (points.size() >= 2 && Width(points[1], now) > endWidth)
        points.erase(points.begin());
    if (points.size() == 1 && Width(points.front(), now) > endWidth)
        points.erase(points.begin());

    if (points.size() < 2) {
        if (detached) {
            Obj::Object::world->RemoveObject(this);
            delete this;
            return;
        }
        points.clear();
        Point start;
        start.birthTime = now;
        start.x = head.x;
        start.z = head.y;
        start.dirX = headDir.x;
        start.dirZ = headDir.y;
        points.push_back(start);
        points.push_back(start);
    }
    if (detached)
        return;

    {
        const Point& newest = points.back();
        const Point& before = points[points.size() - 2];
        if (now > newest.birthTime + pointInterval &&
            Distance(before.x, before.z, newest.x, newest.z) > startWidth) {
            Point next = newest;
            next.birthTime = now;
            next.intensity = 0;
            next.x = head.x;
            next.z = head.y;
            next.dirX = headDir.x;
            next.dirZ = headDir.y;
            points.push_back(next);
        }
    }

    Point& point = points.back();
    const Point& previous = points[points.size() - 2];
    point.intensity = std::clamp((Distance(point.x, point.z, head.x, head.y) / dt - 1) * 0.2f, 0.0f, 1.0f);
    point.x = head.x;
    point.z = head.y;
    point.dirX = headDir.x;
    point.dirZ = headDir.y;
    const float d = 0.01f * Distance(previous.x, previous.z, point.x, point.z);
    point.u = previous.u < 0 ? previous.u - d : previous.u + d;
}

} // namespace Obj
