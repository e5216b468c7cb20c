#include "objects/WaterTrail.h"

#include "objects/DeviceStates.h"
#include "scene/CameraRelative.h"
#include "scene/World.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/texture.h"
#include "scene/Wrappers.h"

#include <d3d9.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace Obj {

namespace {

// Shared by every wake and only grown: two vertices per point, six indices per segment.
std::vector<RwIm3DVertex>& Vertices() {
    static std::vector<RwIm3DVertex> vertices;
    return vertices;
}
std::vector<RwImVertexIndex>& Indices() {
    static std::vector<RwImVertexIndex> indices;
    return indices;
}

uint32_t Channel(float value) {
    return uint32_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

} // namespace

void WaterTrail::Render(unsigned, Cameras::Basic*) {
    if (points.size() < 2 || !Obj::Object::world)
        return;
    RwCamera* engineCamera = RwEngineInstance ? RWSRCGLOBAL(curCamera) : nullptr;
    if (!engineCamera)
        return;
    // 16-bit indices reach 65536 vertices; a longer strip keeps its newest points.
    const size_t count = std::min(points.size(), size_t(rwIm3DMaxVertices / 2));
    const size_t first = points.size() - count;

    // The camera's position in double precision: moved to the origin for the draw when it has a wrapper.
    double eye[3];
    RwFrame* eyeFrame = RwCameraGetFrame(engineCamera);
    if (const Rw::Frame* wrapper = Rw::Frame::FromRwFrame(eyeFrame)) {
        wrapper->GetWorldPositionDouble(eye);
    } else {
        const RwV3d& pos = RwFrameGetWorldMatrix(eyeFrame)->pos;
        eye[0] = pos.x;
        eye[1] = pos.y;
        eye[2] = pos.z;
    }
    Rw::Camera* camera = Rw::Camera::FromEngine(engineCamera);
    const bool relative = camera && Rw::Frame::FromRwFrame(eyeFrame);
    if (!relative)
        eye[0] = eye[1] = eye[2] = 0;
    const float cameraHeight = relative ? float(eye[1]) : RwFrameGetWorldMatrix(eyeFrame)->pos.y;

    const float now = Obj::Object::world->time->time;
    std::vector<RwIm3DVertex>& vertices = Vertices();
    std::vector<RwImVertexIndex>& indices = Indices();
    if (vertices.size() < 2 * count)
        vertices.resize(2 * count);
    if (indices.size() < 6 * (count - 1))
        indices.resize(6 * (count - 1));

    float minX = HUGE_VALF, maxX = -HUGE_VALF, minZ = HUGE_VALF, maxZ = -HUGE_VALF;
    for (size_t i = 0; i < count; ++i) {
        const Point& p = points[first + i];
        const float half = Width(p, now) / 2;
        const float sideX = -p.dirZ * half, sideZ = p.dirX * half;
        const float fade = Fade(p, now);
        const uint32_t colour = Channel(fade * fade * p.intensity * 0.7f) << 24 | Channel(0.7f) << 16 |
                                Channel(0.8f) << 8 | Channel(0.85f);
        const float ax = p.x + sideX, az = p.z + sideZ, bx = p.x - sideX, bz = p.z - sideZ;
        minX = std::min({minX, ax, bx});
        maxX = std::max({maxX, ax, bx});
        minZ = std::min({minZ, az, bz});
        maxZ = std::max({maxZ, az, bz});
        RwIm3DVertex& a = vertices[2 * i];
        RwIm3DVertex& b = vertices[2 * i + 1];
        a.objVertex = {float(ax - eye[0]), float(0.5 - eye[1]), float(az - eye[2])};
        b.objVertex = {float(bx - eye[0]), float(0.5 - eye[1]), float(bz - eye[2])};
        a.objNormal = b.objNormal = {0, 1, 0};
        a.color = b.color = colour;
        a.u = b.u = p.u;
        a.v = 0;
        b.v = 1.0f;
    }
    sphere.center = {(minX + maxX) / 2, 0.5f, (minZ + maxZ) / 2};
    sphere.radius = std::hypot(maxX - minX, maxZ - minZ) / 2;
    if (Renderable::group)
        Renderable::group->Update(this);

    for (size_t i = 0; i + 1 < count; ++i) {
        const auto k = RwImVertexIndex(2 * i);
        RwImVertexIndex* q = &indices[6 * i];
        q[0] = k;
        q[1] = RwImVertexIndex(k + 3);
        q[2] = RwImVertexIndex(k + 1);
        q[3] = RwImVertexIndex(k + 3);
        q[4] = k;
        q[5] = RwImVertexIndex(k + 2);
    }

    if (relative)
        Rw::BeginCameraRelativeCamera(camera);
    {
        DeviceStates states;
        const auto bias = std::bit_cast<RwUInt32>(-2.0f);
        states.Sampler(0, D3DSAMP_MIPMAPLODBIAS, bias);
        states.Sampler(1, D3DSAMP_MIPMAPLODBIAS, bias);
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(FALSE)));
        RwRenderStateSet(rwRENDERSTATEVERTEXALPHAENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        RwRenderStateSet(rwRENDERSTATETEXTURERASTER, texture ? RwTextureGetRaster(texture) : nullptr);
        RwRenderStateSet(rwRENDERSTATETEXTUREFILTER,
                         reinterpret_cast<void*>(uintptr_t(rwFILTERLINEARMIPLINEAR)));
        RwRenderStateSet(rwRENDERSTATETEXTUREADDRESSU,
                         reinterpret_cast<void*>(uintptr_t(rwTEXTUREADDRESSWRAP)));
        RwRenderStateSet(rwRENDERSTATETEXTUREADDRESSV,
                         reinterpret_cast<void*>(uintptr_t(rwTEXTUREADDRESSWRAP)));
        states.Render(D3DRS_CLIPPING, TRUE);

        // Drawn a little nearer than the sea under it, by less the higher the camera.
        D3DMATRIX saved, biased;
        RwD3D9GetTransform(D3DTS_PROJECTION, &saved);
        biased = saved;
        if (std::fabs(cameraHeight) > 1e-3f)
            biased._33 *= 1 - 0.001f / cameraHeight;
        RwD3D9SetTransform(D3DTS_PROJECTION, &biased);

        if (RwIm3DTransform(vertices.data(), RwUInt32(2 * count), nullptr,
                            rwIM3D_VERTEXUV | rwIM3D_VERTEXXYZ | rwIM3D_VERTEXRGBA)) {
            RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRILIST, indices.data(), RwInt32(6 * (count - 1)));
            RwIm3DEnd();
        }

        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        RwD3D9SetTransform(D3DTS_PROJECTION, &saved);
    }
    if (relative)
        Rw::EndCameraRelativeCamera(camera);
}

} // namespace Obj
