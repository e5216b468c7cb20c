#include "objects/Shadow.h"

#include "objects/Particles.h"
#include "objects/Sky.h"
#include "scene/AtomicData.h"
#include "scene/Clump.h"
#include "scene/World.h"
#include "scene/Wrappers.h"
#include "scene/RoleGroups.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/baclump.h"

#include <d3d9.h>

#include <algorithm>
#include <bit>
#include <cmath>

namespace Rw {

namespace {

// The engine's blend factors.
constexpr uintptr_t BlendZero = 1, BlendOne = 2, BlendInvSrcColor = 4, BlendSrcAlpha = 5,
                    BlendInvSrcAlpha = 6, BlendInvDestColor = 10;

void Set(RwRenderState state, uintptr_t value) {
    RwRenderStateSet(state, reinterpret_cast<void*>(value));
}

void SetRaster(RwRaster* raster) {
    RwRenderStateSet(rwRENDERSTATETEXTURERASTER, raster);
}

void DefaultBlending() {
    Set(rwRENDERSTATEZTESTENABLE, TRUE);
    Set(rwRENDERSTATEZWRITEENABLE, TRUE);
    Set(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    Set(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    Set(rwRENDERSTATEFOGENABLE, TRUE);
}

RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(const RwV3d& a, const RwV3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

} // namespace

ShadowCamera* ShadowCamera::Create(RpClump* caster, float reach, uint8_t darkness, int size) {
    auto* shadow = new ShadowCamera;
    shadow->caster = caster;
    shadow->reach = reach;
    shadow->darkness = darkness;
    shadow->size = size;
    shadow->camera = RwCameraCreate();
    RwFrame* frame = RwFrameCreate();
    if (shadow->camera && frame) {
        RwCameraSetFrame(shadow->camera, frame);
        RwCameraSetProjection(shadow->camera, rwPARALLEL);
        shadow->zRaster = RwRasterCreate(size, size, 0, rwRASTERTYPEZBUFFER);
        shadow->imageA = RwRasterCreate(size, size, 0, rwRASTERTYPECAMERATEXTURE);
        shadow->imageB = RwRasterCreate(size, size, 0, rwRASTERTYPECAMERATEXTURE);
    } else if (frame) {
        RwFrameDestroy(frame);
    }
    if (!shadow->camera || !RwCameraGetFrame(shadow->camera) || !shadow->zRaster || !shadow->imageA ||
        !shadow->imageB) {
        shadow->Destroy();
        return nullptr;
    }
    RwCameraSetRaster(shadow->camera, shadow->imageA);
    RwCameraSetZRaster(shadow->camera, shadow->zRaster);
    return shadow;
}

void ShadowCamera::Destroy() {
    if (camera) {
        RwCameraSetRaster(camera, nullptr);
        RwCameraSetZRaster(camera, nullptr);
        if (RwFrame* frame = RwCameraGetFrame(camera)) {
            RwCameraSetFrame(camera, nullptr);
            RwFrameDestroy(frame);
        }
        RwCameraDestroy(camera);
    }
    for (RwRaster* raster : {imageA, imageB, zRaster})
        if (raster)
            RwRasterDestroy(raster);
    delete this;
}

bool ShadowCamera::UpdateSphere(RwSphere& sphere) const {
    if (caster && CalculateClumpBoundingSphere(caster, &sphere) && sphere.radius > 0)
        return true;
    sphere = {{0, 0, 0}, 1};
    return false;
}

void ShadowCamera::Orient() {
    RwFrame* frame = RwCameraGetFrame(camera);
    RwMatrix* m = RwFrameGetMatrix(frame);
    const RwV3d at = Base::Normalize3d(direction);
    RwV3d right = Cross({0, 1, 0}, at);
    const float length = std::sqrt(Dot(right, right));
    // Normalised, so the frame stays orthonormal; straight up or down the X axis is as good as any.
    right = length > 1e-4f ? RwV3d{right.x / length, right.y / length, right.z / length}
                           : Base::Normalize3d(Cross(Cross(at, {1, 0, 0}), at));
    if (!std::isfinite(right.x) || Dot(right, right) < 0.5f)
        right = {1, 0, 0};
    m->at = at;
    m->right = right;
    m->up = Cross(right, at);
    RwMatrixUpdate(m);
    RwFrameUpdateObjects(frame);
}

void ShadowCamera::SetViewSize(float radius) {
    const float r = radius > 0 && std::isfinite(radius) ? radius : 1;
    RwCameraSetFarClipPlane(camera, 2 * r);
    RwCameraSetNearClipPlane(camera, 0.01f * r);
    const RwV2d window{r, r};
    RwCameraSetViewWindow(camera, &window);
}

void ShadowCamera::PlaceAt(const RwV3d& centre) {
    RwFrame* frame = RwCameraGetFrame(camera);
    RwMatrix* m = RwFrameGetMatrix(frame);
    const float half = camera->farPlane / 2;
    m->pos = {centre.x - half * m->at.x, centre.y - half * m->at.y, centre.z - half * m->at.z};
    RwMatrixUpdate(m);
    RwFrameUpdateObjects(frame);
}

void ShadowCamera::DrawQuad(float x0, float y0, float x1, float y1, float shift) {
    RwIm2DVertex v[4];
    const float u0 = shift, u1 = 1 + shift;
    const float corners[4][4] = {{x0, y0, u0, u0}, {x0, y1, u0, u1}, {x1, y0, u1, u0}, {x1, y1, u1, u1}};
    for (int k = 0; k < 4; ++k)
        v[k] = {corners[k][0], corners[k][1], 0, 1, 0xFFFFFFFFu, corners[k][2], corners[k][3]};
    RwIm2DRenderPrimitive(rwPRIMTYPETRISTRIP, v, 4);
}

void ShadowCamera::Invert() {
    Set(rwRENDERSTATEZTESTENABLE, FALSE);
    Set(rwRENDERSTATEZWRITEENABLE, FALSE);
    SetRaster(nullptr);
    Set(rwRENDERSTATEVERTEXALPHAENABLE, TRUE);
    Set(rwRENDERSTATESRCBLEND, BlendInvDestColor);
    Set(rwRENDERSTATEDESTBLEND, BlendZero);
    Set(rwRENDERSTATEFOGENABLE, FALSE);
    DrawQuad(0, 0, float(size), float(size), 0);
    DefaultBlending();
}

void ShadowCamera::Soften(int rounds) {
    for (int round = 0; round < rounds; ++round)
        for (int pass = 0; pass < 2; ++pass) {
            RwCameraSetRaster(camera, pass == 0 ? imageB : imageA);
            if (!RwCameraBeginUpdate(camera))
                continue;
            Set(rwRENDERSTATEZTESTENABLE, FALSE);
            Set(rwRENDERSTATEZWRITEENABLE, FALSE);
            Set(rwRENDERSTATESRCBLEND, BlendOne);
            Set(rwRENDERSTATEDESTBLEND, BlendZero);
            Set(rwRENDERSTATEFOGENABLE, FALSE);
            SetRaster(pass == 0 ? imageA : imageB);
            Set(rwRENDERSTATETEXTUREFILTER, rwFILTERLINEAR);
            DrawQuad(0, 0, float(size), float(size), pass == 0 ? 1.0f / float(size) : 0);
            SetRaster(nullptr);
            DefaultBlending();
            RwCameraEndUpdate(camera);
        }
    RwCameraSetRaster(camera, imageA);
}

void ShadowCamera::CasterKey(const RwV3d& light, int lod, const RwSphere& sphere,
                             std::vector<uint32_t>& key) const {
    key.clear();
    auto add = [&key](float value) { key.push_back(std::bit_cast<uint32_t>(value)); };
    add(light.x);
    add(light.y);
    add(light.z);
    // The radius as its sum comes out, to about five digits.
    key.push_back(std::bit_cast<uint32_t>(sphere.radius) & ~0xFFu);
    key.push_back(uint32_t(lod));
    key.push_back(RwD3D9GetResetCount());
    struct Walk {
        std::vector<uint32_t>* key;
        RwV3d centre;
        float radius;
    } walk{&key, sphere.center, sphere.radius};
    RpClumpForAllAtomics(
        caster,
        [](RpAtomic* atomic, void* data) -> RpAtomic* {
            auto& w = *static_cast<Walk*>(data);
            if (!(RpAtomicGetFlags(atomic) & rpATOMICRENDER) || !RpAtomicGetGeometry(atomic))
                return atomic;
            const auto geometry = reinterpret_cast<uintptr_t>(RpAtomicGetGeometry(atomic));
            w.key->push_back(uint32_t(geometry));
            w.key->push_back(uint32_t(uint64_t(geometry) >> 32));
            const RwMatrix* m = RwFrameGetWorldMatrix(RpAtomicGetFrame(atomic));
            const float turn[9] = {m->right.x, m->right.y, m->right.z, m->up.x, m->up.y,
                                   m->up.z,    m->at.x,    m->at.y,    m->at.z};
            for (float value : turn)
                w.key->push_back(std::bit_cast<uint32_t>(value));
            // The part's place from the centre in eighths of a texel: a moving airplane's float sums must
            // not count as a change.
            const float eighth = w.radius / 2048;
            const float offset[3] = {m->pos.x - w.centre.x, m->pos.y - w.centre.y, m->pos.z - w.centre.z};
            for (float value : offset)
                w.key->push_back(uint32_t(int32_t(std::lround(value / eighth))));
            return atomic;
        },
        &walk);
}

bool ShadowCamera::RenderCaster(const RwV3d& light, int lod) {
    RwSphere sphere;
    UpdateSphere(sphere);
    // Moving the airplane without turning it, or not at all, keeps the image: no off-screen passes.
    CasterKey(light, lod, sphere, key_);
    if (!drawnKey_.empty() && key_ == drawnKey_)
        return true;
    drawnKey_.clear();
    // The off-screen camera takes the device: whichever camera is drawing now resumes afterwards.
    RwCamera* resumed = Obj::CurrentCamera();
    if (resumed)
        RwCameraEndUpdate(resumed);
    direction = light;
    Orient();
    SetViewSize(sphere.radius);
    PlaceAt(sphere.center);
    RwRGBA white{255, 255, 255, 255};
    RwCameraSetRaster(camera, imageA);
    bool drawn = false;
    if (RwCameraBeginUpdate(camera)) {
        RwCameraClear(camera, &white, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Set(rwRENDERSTATEVERTEXALPHAENABLE, TRUE);
        Set(rwRENDERSTATEZWRITEENABLE, FALSE);
        Set(rwRENDERSTATEZTESTENABLE, FALSE);
        Set(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
        Set(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
        Set(rwRENDERSTATEFOGENABLE, FALSE);
        RpClumpForAllAtomics(
            caster,
            [](RpAtomic* atomic, void* data) -> RpAtomic* {
                if (!(RpAtomicGetFlags(atomic) & rpATOMICRENDER) || !RpAtomicGetGeometry(atomic))
                    return atomic;
                if (atomic->renderCallBack == AtomicLodData::RenderCallback)
                    if (AtomicLodData* lodData = AtomicLodData::Get(atomic))
                        lodData->index = uint32_t(*static_cast<int*>(data));
                RpAtomicRender(atomic);
                return atomic;
            },
            &lod);
        Invert();
        RwCameraEndUpdate(camera);
        drawn = true;
    }
    Soften(1);
    if (resumed)
        RwCameraBeginUpdate(resumed);
    if (drawn) {
        drawnKey_.swap(key_);
        ++casterDraws_;
    }
    return drawn;
}

uint8_t ShadowCamera::GreyLevel(uint8_t darkness, float w) {
    const float k = 1 - w * w;
    if (!(k > 0))
        return 0;
    return uint8_t(std::min(255.0f, float(darkness) * k));
}

RwIm3DVertex ShadowCamera::ReceiverVertex(const Base::Vector3& corner, const double offset[3]) const {
    // The shadow camera's space: inverse of its (orthonormal) frame, scaled into the image and its depth.
    const RwMatrix* m = RwFrameGetMatrix(RwCameraGetFrame(camera));
    const float r = camera->viewWindow.x;
    const RwV3d d{corner.x - m->pos.x, corner.y - m->pos.y, corner.z - m->pos.z};
    const float u = -0.5f / r * Dot(d, m->right) + 0.5f;
    const float v = -0.5f / r * Dot(d, m->up) + 0.5f;
    const float w = Dot(d, m->at) / (r + reach);
    const uint8_t g = GreyLevel(darkness, w);
    RwIm3DVertex out{};
    out.objVertex = {float(double(corner.x) - offset[0]), float(double(corner.y) - offset[1]),
                     float(double(corner.z) - offset[2])};
    out.color = uint32_t(g) << 24 | uint32_t(g) << 16 | uint32_t(g) << 8 | g;
    out.u = u;
    out.v = v;
    return out;
}

size_t ShadowCamera::DrawReceivers(const std::vector<Base::Triangle>& triangles, const double offset[3]) {
    if (triangles.empty())
        return 0;
    RwSphere sphere;
    UpdateSphere(sphere);
    Orient();
    SetViewSize(sphere.radius);
    PlaceAt(sphere.center);
    const RwV3d at = RwFrameGetMatrix(RwCameraGetFrame(camera))->at;
    vertices.clear();
    vertices.reserve(3 * triangles.size());
    size_t drawn = 0;
    for (const Base::Triangle& t : triangles) {
        const RwV3d e1{t.v[1].x - t.v[0].x, t.v[1].y - t.v[0].y, t.v[1].z - t.v[0].z};
        const RwV3d e2{t.v[2].x - t.v[0].x, t.v[2].y - t.v[0].y, t.v[2].z - t.v[0].z};
        if (!(Dot(Cross(e1, e2), at) > 0))
            continue; // facing away from the light
        for (const Base::Vector3& corner : t.v)
            vertices.push_back(ReceiverVertex(corner, offset));
        ++drawn;
    }
    if (vertices.empty())
        return 0;
    Set(rwRENDERSTATEZWRITEENABLE, FALSE);
    SetRaster(imageA);
    Set(rwRENDERSTATETEXTUREADDRESS, rwTEXTUREADDRESSCLAMP);
    Set(rwRENDERSTATETEXTUREFILTER, rwFILTERLINEAR);
    Set(rwRENDERSTATEVERTEXALPHAENABLE, TRUE);
    Set(rwRENDERSTATESRCBLEND, BlendZero);
    Set(rwRENDERSTATEDESTBLEND, BlendInvSrcColor);
    Set(rwRENDERSTATEFOGENABLE, FALSE);
    if (RwIm3DTransform(vertices.data(), RwUInt32(vertices.size()), nullptr,
                        rwIM3D_VERTEXUV | rwIM3D_VERTEXXYZ | rwIM3D_VERTEXRGBA)) {
        RwIm3DRenderPrimitive(rwPRIMTYPETRILIST);
        RwIm3DEnd();
    }
    SetRaster(nullptr);
    Set(rwRENDERSTATETEXTUREADDRESS, rwTEXTUREADDRESSWRAP);
    Set(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    Set(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    Set(rwRENDERSTATEZWRITEENABLE, TRUE);
    Set(rwRENDERSTATEFOGENABLE, TRUE);
    vertices.clear();
    return drawn;
}

} // namespace Rw

namespace Obj {

Shadow::Shadow(Clump* owner_, float reach_) : owner(owner_), reach(reach_) {
    renderOrders = {220};
    shadowCamera = owner ? Rw::ShadowCamera::Create(owner->clump, reach, Darkness) : nullptr;
}

Shadow::~Shadow() {
    if (shadowCamera)
        shadowCamera->Destroy();
}

void Shadow::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
}

bool Shadow::SphereInside(const RwSphere& inner, const RwSphere& outer) {
    const float dx = inner.center.x - outer.center.x, dy = inner.center.y - outer.center.y,
                dz = inner.center.z - outer.center.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz) <= outer.radius - inner.radius;
}

void Shadow::Update(const Terrain& terrain, const RwV3d& light) {
    const RwSphere* s = owner->GetWorldBoundingSphere();
    const RwV3d p = RwFrameGetWorldMatrix(owner->frame)->pos;
    if (p.x == lastPosition.x && p.y == lastPosition.y && p.z == lastPosition.z)
        return; // a still owner keeps its receivers
    lastPosition = p;
    ++terrainQueries_;
    Base::Vector3 hit;
    const Terrain::Segment segment{{p.x, p.y, p.z},
                                   {p.x + reach * light.x, p.y + reach * light.y, p.z + reach * light.z}};
    if (!terrain.IntersectSegment(segment, &hit, nullptr)) {
        visible = 0;
        return;
    }
    const float radius = s ? s->radius : 0;
    hitSphere = {{hit.x, hit.y, hit.z}, radius};
    if (SphereInside(hitSphere, receiverSphere))
        return;
    receiverSphere = {{hit.x, hit.y, hit.z}, radius + 5};
    receivers.clear();
    visible = terrain.CollectTriangles({{hit.x, hit.y, hit.z}, receiverSphere.radius}, receivers) != 0;
}

void Shadow::Render(unsigned, Cameras::Basic*) {
    // No terrain, or no sky to give the sun, means no shadow.
    if (!world || !world->terrain || !world->sky)
        return;
    const Sky::LightFrame& sun = world->sky->SunLight();
    RenderFor(CurrentCamera(), world->terrain, {sun.at.x, sun.at.y, sun.at.z});
}

bool Shadow::RenderFor(RwCamera* camera, const Terrain* terrain, const RwV3d& light) {
    lastDrawn_ = 0;
    EffectView view;
    if (!owner || !shadowCamera || !terrain || !terrain->IsLoaded() || !EffectView::FromCamera(camera, view))
        return false;
    const RwV3d l = Base::Normalize3d(light);
    if (!std::isfinite(l.x) || !std::isfinite(l.y) || !std::isfinite(l.z))
        return false;
    const RwSphere* s = owner->GetWorldBoundingSphere();
    if (!s)
        return false;
    const RwV3d p = RwFrameGetWorldMatrix(owner->frame)->pos;
    const double dx = view.position[0] - p.x, dy = view.position[1] - p.y, dz = view.position[2] - p.z;
    const float d = std::max(1.0f, float(std::sqrt(dx * dx + dy * dy + dz * dz)) - reach);
    if (2 * s->radius / (d * view.windowX) < 0.1f)
        return false; // too small on the screen
    Update(*terrain, l);
    if (!visible)
        return false;

    // Frustum of the current camera, planes in their order of use.
    RwFrame* cameraFrame = RwCameraGetFrame(camera);
    const RwMatrix* cm = RwFrameGetWorldMatrix(cameraFrame);
    Rw::CameraView cameraView{{float(view.position[0]), float(view.position[1]), float(view.position[2])},
                              cm->at,
                              cm->up,
                              camera->viewWindow.x,
                              camera->viewWindow.y,
                              camera->nearPlane,
                              camera->farPlane};
    Rw::Plane plane;
    using PlaneOf = Rw::Plane* (Rw::CameraView::*)(Rw::Plane*) const;
    for (PlaneOf get : {&Rw::CameraView::GetMinusRightPlane, &Rw::CameraView::GetPlusRightPlane,
                        &Rw::CameraView::GetTopPlane, &Rw::CameraView::GetBottomPlane,
                        &Rw::CameraView::GetFarPlane, &Rw::CameraView::GetNearPlane}) {
        (cameraView.*get)(&plane);
        if (plane.x * hitSphere.center.x + plane.y * hitSphere.center.y + plane.z * hitSphere.center.z -
                plane.d + hitSphere.radius <=
            0)
            return false;
    }

    shadowCamera->caster = owner->clump;
    shadowCamera->reach = reach;
    // The caster first: the off-screen camera takes the device, then the frame's camera resumes.
    const RwV3d towardsLight{-l.x, -l.y, -l.z};
    shadowCamera->RenderCaster(towardsLight, 0);
    RwD3D9SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    {
        CameraRelativeScope relative(camera, view);
        // A little nearer than the ground itself, so that the receivers win the depth test.
        const double hx = hitSphere.center.x - view.position[0], hy = hitSphere.center.y - view.position[1],
                     hz = hitSphere.center.z - view.position[2];
        const float dist = std::max(1.0f, float(std::sqrt(hx * hx + hy * hy + hz * hz)));
        D3DMATRIX projection, biased;
        RwD3D9GetTransform(D3DTS_PROJECTION, &projection);
        biased = projection;
        biased.m[2][2] *= 1 - 0.001f / dist;
        RwD3D9SetTransform(D3DTS_PROJECTION, &biased);
        lastDrawn_ = shadowCamera->DrawReceivers(receivers, view.position);
        RwD3D9SetTransform(D3DTS_PROJECTION, &projection);
    }
    RwD3D9SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_EXP2);
    return lastDrawn_ > 0;
}

} // namespace Obj
