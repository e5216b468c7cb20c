#include "objects/SmokeTrail.h"

#include "objects/Clouds.h"
#include "scene/LoadTexture.h"
#include "scene/World.h"
#include "scene/RoleGroups.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/texture.h"

#include <d3d9.h>

#include <algorithm>
#include <bit>
#include <cmath>

namespace Obj {

namespace {

struct D3 {
    double x, y, z;
};
D3 Sub(const double a[3], const double b[3]) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double Length(const D3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}
D3 Normalize(const D3& v) {
    const double l = Length(v);
    if (!(l > 0))
        return {0, 0, 1};
    return {v.x / l, v.y / l, v.z / l};
}
D3 Cross(const D3& a, const D3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
D3 Neg(const D3& v) {
    return {-v.x, -v.y, -v.z};
}

uint8_t ToByte(double x) {
    const long v = std::lround(x);
    return uint8_t(std::clamp(v, 0L, 255L));
}

} // namespace

void SmokeTrailGroup::PointQueue::push_back(const Point& point) {
    if (count_ == ring_.size()) {
        // Unroll into a ring twice as long.
        std::vector<Point> grown(std::max<size_t>(16, ring_.size() * 2));
        for (size_t i = 0; i < count_; ++i)
            grown[i] = (*this)[i];
        ring_.swap(grown);
        first_ = 0;
    }
    ring_[(first_ + count_) & (ring_.size() - 1)] = point;
    ++count_;
}

SmokeTrailGroup::SmokeTrailGroup() {
    renderOrders.push_back(RenderOrder);
}

SmokeTrailGroup::~SmokeTrailGroup() {
    trails.clear();
    if (texture)
        RwTextureDestroy(texture);
    texture = nullptr;
    // The attachment part then unlinks from a parent and deletes attached children.
}

void SmokeTrailGroup::Setup(const Widths& widths) {
    startWidth = widths.start;
    endWidth = widths.end;
    widenRate = widths.rate;
    pointInterval = widths.interval;
    if (texture)
        RwTextureDestroy(texture);
    texture = Rw::LoadTexture("SmokeTrail", rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
}

float SmokeTrailGroup::Now() const {
    return world && world->time ? world->time->time : 0.0f;
}

float SmokeTrailGroup::Step() const {
    return world && world->time ? world->time->step : 0.0f;
}

float SmokeTrailGroup::PointLifetime() const {
    return (endWidth - startWidth) / widenRate;
}

SmokeTrailGroup::Trail* SmokeTrailGroup::AddTrail() {
    auto trail = std::make_unique<Trail>();
    trail->owner = this;
    trails.push_back(std::move(trail));
    return trails.back().get();
}

void SmokeTrailGroup::AddPoint(Trail* trail) {
    Point point = trail->points.back();
    point.time = Now();
    trail->points.push_back(point);
}

void SmokeTrailGroup::Update(Trail* trail, const double position[3], const float color[4]) {
    if (!trail || trail->ended)
        return;
    const float now = Now();
    if (trail->points.empty()) {
        Point first;
        first.time = now;
        std::copy(position, position + 3, first.position);
        for (int k = 0; k < 4; ++k)
            first.color[k] = ToByte(double(color[k]) * 255.0);
        trail->points.push_back(first);
        AddPoint(trail);
    }
    Point& head = trail->points.back();
    std::copy(position, position + 3, head.position);
    head.time = now;
    // Lit by the sky's light; a world without clouds lights it fully.
    float light[3] = {1, 1, 1};
    if (world && world->clouds) {
        const Clouds& clouds = *world->clouds;
        light[0] = clouds.lightAmbient.r + clouds.lightDiffuse.r;
        light[1] = clouds.lightAmbient.g + clouds.lightDiffuse.g;
        light[2] = clouds.lightAmbient.b + clouds.lightDiffuse.b;
    }
    for (int k = 0; k < 3; ++k)
        head.color[k] = ToByte(std::clamp(double(light[k]) * color[k], 0.0, 1.0) * 255.0);
    head.color[3] = ToByte(double(color[3]) * 255.0);
    const Point& before = trail->points[trail->points.size() - 2];
    head.distance = float(double(before.distance) + Length(Sub(head.position, before.position)));
}

void SmokeTrailGroup::StopAll() {
    for (auto& trail : trails)
        trail->ended = true;
    stopped = true;
}

bool SmokeTrailGroup::AgeTrail(Trail* trail) {
    const float step = Step();
    if (step == 0)
        return true;
    const float now = Now();
    auto& points = trail->points;
    while (points.size() >= 3 || (!points.empty() && trail->ended)) {
        if (startWidth + (now - points.front().time) * widenRate > endWidth)
            points.pop_front();
        else
            break;
    }
    if (trail->ended) {
        if (!points.empty())
            return true;
        for (auto it = trails.begin(); it != trails.end(); ++it)
            if (it->get() == trail) {
                trails.erase(it);
                break;
            }
        return false;
    }
    if (points.size() >= 2 && now > points[points.size() - 2].time + pointInterval)
        AddPoint(trail);
    return true;
}

uint8_t SmokeTrailGroup::PointAlpha(const Trail& trail, const Point& point) const {
    if (trail.ended && !trail.points.empty() && &point == &trail.points.back())
        return 0;
    const float lifetime = PointLifetime();
    const float age = Now() - point.time;
    const float fadeIn = std::min(age * 10.0f, 1.0f);
    const float fadeOut = lifetime > 0 ? std::clamp(1.0f - age / lifetime, 0.0f, 1.0f) : 0.0f;
    return ToByte(double(point.color[3]) * fadeOut * fadeIn);
}

size_t SmokeTrailGroup::BuildTrail(const Trail& trail, const double camera[3], VertexStore& store) const {
    const auto& points = trail.points;
    const size_t n = points.size();
    if (n < 2)
        return 0;
    uint8_t largest = 0;
    double nearest = HUGE_VAL;
    for (const Point& p : points) {
        largest = std::max(largest, PointAlpha(trail, p));
        nearest = std::min(nearest, Length(Sub(p.position, camera)));
    }
    if (largest <= 15 || nearest > 300.0 * endWidth)
        return 0;

    RwIm3DVertex* out = store.Reserve(2 * n);
    const float now = Now();
    size_t count = 0;
    double bend = 0;
    const Point* last = nullptr;
    float lastWidth = 0;
    for (size_t i = 0; i < n; ++i) {
        const Point& p = points[i];
        const Point* prev = i > 0 ? &points[i - 1] : nullptr;
        const Point* next = i + 1 < n ? &points[i + 1] : nullptr;
        D3 d1 = prev ? Sub(prev->position, p.position) : Sub(p.position, next->position);
        D3 d2 = next ? Sub(next->position, p.position) : Sub(p.position, prev->position);
        if (Length(d1) < 0.01) {
            if (!next)
                continue;
            d1 = Neg(d2);
        }
        if (Length(d2) < 0.01) {
            if (!prev)
                continue;
            d2 = Neg(d1);
        }
        d1 = Normalize(d1);
        d2 = Normalize(d2);
        const D3 s{d1.x + d2.x, d1.y + d2.y, d1.z + d2.z};
        const double sLength = Length(s);
        D3 t;
        if (sLength >= 0.01)
            t = Normalize(Cross(Cross(d1, d2), Normalize(s)));
        else
            t = next ? d2 : Neg(d1);
        const float w = startWidth + (now - p.time) * widenRate;
        const uint8_t a = PointAlpha(trail, p);

        bend += sLength;
        if (last && i > 0 && i + 2 < n && bend < 0.02 && Length(Sub(p.position, last->position)) < 200 &&
            lastWidth / w < 1.3f && std::equal(p.color, p.color + 4, last->color))
            continue;

        bend = 0;
        const D3 e = Normalize(Sub(p.position, camera));
        const D3 side = Normalize(Cross(t, e));
        const double half = double(w) / 2;
        const D3 rel = Sub(p.position, camera);
        const uint32_t argb = PackArgb(p.color[0], p.color[1], p.color[2], a);
        const float u = p.distance * 0.01f;
        RwIm3DVertex& va = out[count++];
        va.objVertex = {float(rel.x + side.x * half), float(rel.y + side.y * half),
                        float(rel.z + side.z * half)};
        va.objNormal = {0, 0, 0};
        va.color = argb;
        va.u = u;
        va.v = 0;
        RwIm3DVertex& vb = out[count++];
        vb.objVertex = {float(rel.x - side.x * half), float(rel.y - side.y * half),
                        float(rel.z - side.z * half)};
        vb.objNormal = {0, 0, 0};
        vb.color = argb;
        vb.u = u;
        vb.v = 1;
        last = &p;
        lastWidth = w;
    }
    return count;
}

void SmokeTrailGroup::Render(unsigned, Cameras::Basic*) {
    lastVertexCount = 0;
    RwCamera* camera = CurrentCamera();
    EffectView view;
    const bool drawing = EffectView::FromCamera(camera, view);
    if (drawing) {
        SetRenderState(rwRENDERSTATETEXTURERASTER,
                       uintptr_t(texture ? RwTextureGetRaster(texture) : nullptr));
        SetRenderState(rwRENDERSTATETEXTUREFILTER, rwFILTERLINEARMIPLINEAR);
        SetRenderState(rwRENDERSTATETEXTUREADDRESSU, rwTEXTUREADDRESSWRAP);
        SetRenderState(rwRENDERSTATETEXTUREADDRESSV, rwTEXTUREADDRESSWRAP);
        SetRenderState(rwRENDERSTATEZWRITEENABLE, 0);
        SetRenderState(rwRENDERSTATEVERTEXALPHAENABLE, 1);
    }
    const bool device = drawing && RwD3D9Device;
    if (device) {
        const uint32_t bias = std::bit_cast<uint32_t>(-3.0f);
        RwD3D9SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, bias);
        RwD3D9SetSamplerState(1, D3DSAMP_MIPMAPLODBIAS, bias);
        RwD3D9SetRenderState(D3DRS_CLIPPING, TRUE);
    }
    {
        CameraRelativeScope relative(drawing ? camera : nullptr, view);
        for (auto it = trails.begin(); it != trails.end();) {
            Trail* trail = it->get();
            ++it;
            if (!AgeTrail(trail) || !drawing)
                continue;
            const size_t count = BuildTrail(*trail, view.position, store_);
            if (DrawIm3D(store_.Reserve(count), count, rwPRIMTYPETRISTRIP))
                lastVertexCount += count;
        }
    }
    if (drawing) {
        SetRenderState(rwRENDERSTATEVERTEXALPHAENABLE, 0);
        SetRenderState(rwRENDERSTATEZWRITEENABLE, 1);
    }
    if (device) {
        // Back to no bias, whatever was there before: the engine's cache may not have known it.
        RwD3D9SetSamplerState(1, D3DSAMP_MIPMAPLODBIAS, 0);
        RwD3D9SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, 0);
    }
    if (stopped && trails.empty()) {
        if (world)
            world->RemoveObject(this);
        delete this;
    }
}

void SmokeTrailGroup::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
}

} // namespace Obj
