#include "objects/Particles.h"

#include "base/Maths.h"
#include "scene/CameraRelative.h"
#include "scene/Frame.h"
#include "scene/Wrappers.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/renderstate.h"

#include <algorithm>
#include <cmath>

namespace Obj {

bool EffectView::FromCamera(const RwCamera* camera, EffectView& out) {
    RwFrame* frame = camera ? RwCameraGetFrame(camera) : nullptr;
    if (!frame)
        return false;
    const RwMatrix* m = RwFrameGetWorldMatrix(frame);
    out.right = m->right;
    out.up = m->up;
    out.at = m->at;
    out.windowX = camera->viewWindow.x;
    if (const Rw::Frame* wrapper = Rw::Frame::FromRwFrame(frame)) {
        wrapper->GetWorldPositionDouble(out.position);
    } else {
        out.position[0] = m->pos.x;
        out.position[1] = m->pos.y;
        out.position[2] = m->pos.z;
    }
    return true;
}

namespace {

void PlaceRoot(RwFrame* frame, const RwV3d& position) {
    RwMatrix* m = RwFrameGetMatrix(frame);
    m->pos = position;
    RwMatrixUpdate(m);
    RwFrameUpdateObjects(frame);
}

} // namespace

CameraRelativeScope::CameraRelativeScope(RwCamera* camera, const EffectView&) : camera_(camera) {
    if (!camera_)
        return;
    RwFrame* frame = RwCameraGetFrame(camera_);
    if (!frame) {
        camera_ = nullptr;
        return;
    }
    Rw::Camera* wrapper = Rw::Camera::FromEngine(camera_);
    wrapped_ = wrapper && Rw::Frame::FromRwFrame(frame);
    if (wrapped_) {
        Rw::BeginCameraRelativeCamera(wrapper);
        return;
    }
    // A bare camera (tools, tests): its own matrix holds its position.
    saved_ = RwFrameGetMatrix(frame)->pos;
    RwCameraEndUpdate(camera_);
    PlaceRoot(frame, {0, 0, 0});
    RwCameraBeginUpdate(camera_);
}

CameraRelativeScope::~CameraRelativeScope() {
    if (!camera_)
        return;
    if (wrapped_) {
        Rw::EndCameraRelativeCamera(Rw::Camera::FromEngine(camera_));
        return;
    }
    RwCameraEndUpdate(camera_);
    PlaceRoot(RwCameraGetFrame(camera_), saved_);
    RwCameraBeginUpdate(camera_);
}

RwCamera* CurrentCamera() {
    return RwEngineInstance ? RWSRCGLOBAL(curCamera) : nullptr;
}

uint8_t UnitToByte(float x) {
    if (!(x > 0))
        return 0;
    if (x >= 1)
        return 255;
    return uint8_t(std::lround(x * 255.0f));
}

void CornerDirections(const RwV3d& x, const RwV3d& y, RwV3d out[4]) {
    out[0] = Base::Normalize3d(RwV3d{-x.x - y.x, -x.y - y.y, -x.z - y.z});
    out[1] = Base::Normalize3d(RwV3d{x.x - y.x, x.y - y.y, x.z - y.z});
    out[2] = Base::Normalize3d(RwV3d{x.x + y.x, x.y + y.y, x.z + y.z});
    out[3] = Base::Normalize3d(RwV3d{-x.x + y.x, -x.y + y.y, -x.z + y.z});
}

void WriteQuad(RwIm3DVertex* out, const RwV3d& centre, const RwV3d corners[4], float size, uint32_t argb) {
    static constexpr int Corner[6] = {0, 1, 2, 2, 3, 0};
    static constexpr float U[6] = {0, 1, 1, 1, 0, 0}, V[6] = {0, 0, 1, 1, 1, 0};
    for (int k = 0; k < 6; ++k) {
        const RwV3d& c = corners[Corner[k]];
        RwIm3DVertex& v = out[k];
        v.objVertex = {centre.x + c.x * size, centre.y + c.y * size, centre.z + c.z * size};
        v.objNormal = {0, 0, 0};
        v.color = argb;
        v.u = U[k];
        v.v = V[k];
    }
}

size_t BuildParticleQuads(const std::vector<Particle>& particles, const EffectView& view, const RwV3d& x,
                          const RwV3d& y, bool rotate, bool sortFarToNear,
                          std::vector<const Particle*>& order, VertexStore& store) {
    RwV3d corners[4];
    CornerDirections(x, y, corners);
    order.clear();
    for (const Particle& p : particles)
        order.push_back(&p);
    const double* c = view.position;
    if (sortFarToNear) {
        auto distance2 = [c](const Particle* p) {
            const double dx = p->position[0] - c[0], dy = p->position[1] - c[1], dz = p->position[2] - c[2];
            return dx * dx + dy * dy + dz * dz;
        };
        // Not stable_sort: that takes a fresh buffer on every call, and equal distances need no order.
        std::sort(order.begin(), order.end(),
                  [&](const Particle* a, const Particle* b) { return distance2(a) > distance2(b); });
    }
    RwIm3DVertex* out = store.Reserve(particles.size() * 6);
    size_t count = 0;
    for (const Particle* p : order) {
        if (!(p->life > 0))
            continue;
        const RwV3d rel{float(p->position[0] - c[0]), float(p->position[1] - c[1]),
                        float(p->position[2] - c[2])};
        const uint32_t argb = PackArgb(p->color[0], p->color[1], p->color[2], p->color[3]);
        if (rotate) {
            RwV3d turned[4];
            for (int k = 0; k < 4; ++k)
                turned[k] = Base::RotateVectorAroundAxis(corners[k], view.at, p->angle);
            WriteQuad(out + count, rel, turned, p->size, argb);
        } else {
            WriteQuad(out + count, rel, corners, p->size, argb);
        }
        count += 6;
    }
    return count;
}

bool DrawIm3D(RwIm3DVertex* vertices, size_t count, RwPrimitiveType type) {
    if (count == 0 || count > rwIm3DMaxVertices)
        return false;
    if (!RwIm3DTransform(vertices, RwUInt32(count), nullptr, rwIM3D_VERTEXUV))
        return false;
    const bool drawn = RwIm3DRenderPrimitive(type);
    RwIm3DEnd();
    return drawn;
}

void SetRenderState(RwRenderState state, uintptr_t value) {
    RwRenderStateSet(state, reinterpret_cast<void*>(value));
}

} // namespace Obj
