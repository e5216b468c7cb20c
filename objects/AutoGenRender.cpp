// Generated scenery on the device: each sector's managed vertex and index buffers, and the frame's pass
// over the sectors in view, shadows first, each sector placed relative to the camera.
#include "objects/AutoGen.h"

#include "objects/DeviceStates.h"
#include "objects/Terrain.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/matrix.h"
#include "scene/Frame.h"
#include "scene/ScreenCover.h"
#include "scene/Wrappers.h"

#include <d3d9.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <bit>
#include <cstring>

namespace Obj {

namespace {

constexpr DWORD Fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
static_assert(sizeof(AutoGen::Vertex) == 32);

D3DCOLORVALUE Colour(const Base::Color& c) {
    return {c.r, c.g, c.b, c.a};
}

} // namespace

AutoGen::Sector::~Sector() {
    if (vertexBuffer)
        vertexBuffer->Release();
    if (indexBuffer)
        indexBuffer->Release();
}

AutoGen::Storage::~Storage() {
    if (vertexBuffer)
        vertexBuffer->Release();
    if (indexBuffer)
        indexBuffer->Release();
}

namespace {
// Kept storage and a sector hold the same buffers and ends under the same names.
template <class A, class B> void SwapStorage(A& a, B& b) noexcept {
    std::swap(a.vertexBuffer, b.vertexBuffer);
    std::swap(a.indexBuffer, b.indexBuffer);
    std::swap(a.vertexCapacity, b.vertexCapacity);
    std::swap(a.indexCapacity, b.indexCapacity);
    a.objectEnd.swap(b.objectEnd);
    a.shadowEnd.swap(b.shadowEnd);
}
} // namespace

void AutoGen::Storage::Swap(Storage& other) noexcept {
    SwapStorage(*this, other);
}

void AutoGen::Storage::Swap(Sector& sector) noexcept {
    SwapStorage(*this, sector);
}

void AutoGen::KeepStorage(Sector& sector) {
    if (!sector.vertexBuffer && !sector.indexBuffer && sector.objectEnd.capacity() == 0 &&
        sector.shadowEnd.capacity() == 0)
        return;
    // Past the window's count (never, as records go) the storage is let go rather than the list grown.
    if (spareStorage_.size() < spareStorage_.capacity())
        spareStorage_.emplace_back().Swap(sector);
    else
        Storage().Swap(sector);
    sector.objectEnd.clear();
    sector.shadowEnd.clear();
}

void AutoGen::TakeStorage(Sector& sector, size_t placements) {
    KeepStorage(sector);
    if (spareStorage_.empty())
        return;
    const uint32_t vertexBytes = sector.totalVertices * sizeof(Vertex);
    const uint32_t indexBytes = sector.totalIndices * sizeof(uint16_t);
    const bool device = RwD3D9Device != nullptr;
    const auto fits = [&](const Storage& s) {
        return (!device || (s.vertexCapacity >= vertexBytes && s.indexCapacity >= indexBytes)) &&
               s.objectEnd.capacity() >= placements && s.shadowEnd.capacity() >= placements;
    };
    const auto size = [](const Storage& s) { return uint64_t(s.vertexCapacity) + s.objectEnd.capacity(); };
    // None that fits: the sector makes its own and the spares keep their sizes for the sectors they suit.
    Storage* best = nullptr;
    for (Storage& s : spareStorage_)
        if (fits(s) && (!best || size(s) < size(*best)))
            best = &s;
    if (!best)
        return;
    best->Swap(sector);
    if (best != &spareStorage_.back())
        best->Swap(spareStorage_.back());
    spareStorage_.pop_back();
    sector.objectEnd.clear();
    sector.shadowEnd.clear();
}

bool AutoGen::UploadSector(Sector& sector) {
    if (!RwD3D9Device || sector.totalVertices == 0)
        return false;
    const UINT vertexBytes = sector.totalVertices * sizeof(Vertex);
    const UINT indexBytes = sector.totalIndices * sizeof(uint16_t);
    // Kept buffers that are large enough serve: the draws give their own counts. New ones are rounded up to
    // a power of two, so that storage seldom grows again.
    if (sector.vertexBuffer && sector.vertexCapacity < vertexBytes) {
        sector.vertexBuffer->Release();
        sector.vertexBuffer = nullptr;
        sector.vertexCapacity = 0;
    }
    if (sector.indexBuffer && sector.indexCapacity < indexBytes) {
        sector.indexBuffer->Release();
        sector.indexBuffer = nullptr;
        sector.indexCapacity = 0;
    }
    if (!sector.vertexBuffer) {
        const UINT bytes = std::max<UINT>(
            vertexBytes, std::min<UINT>(std::bit_ceil(vertexBytes), MaxSectorVertices * sizeof(Vertex)));
        if (FAILED(RwD3D9Device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, Fvf, D3DPOOL_MANAGED,
                                                    &sector.vertexBuffer, nullptr)))
            return false;
        sector.vertexCapacity = bytes;
        ++buffersCreated;
    }
    if (!sector.indexBuffer) {
        const UINT bytes = std::bit_ceil(indexBytes);
        if (FAILED(RwD3D9Device->CreateIndexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                                   &sector.indexBuffer, nullptr))) {
            sector.vertexBuffer->Release();
            sector.vertexBuffer = nullptr;
            sector.vertexCapacity = 0;
            return false;
        }
        sector.indexCapacity = bytes;
        ++buffersCreated;
    }
    // A buffer that cannot be filled would draw the previous sector's scenery here: drop both.
    void* data = nullptr;
    bool filled = SUCCEEDED(sector.vertexBuffer->Lock(0, vertexBytes, &data, 0));
    if (filled) {
        std::memcpy(data, scratchVertices_.data(), vertexBytes);
        sector.vertexBuffer->Unlock();
        filled = SUCCEEDED(sector.indexBuffer->Lock(0, indexBytes, &data, 0));
    }
    if (filled) {
        std::memcpy(data, scratchIndices_.data(), indexBytes);
        sector.indexBuffer->Unlock();
        return true;
    }
    sector.vertexBuffer->Release();
    sector.vertexBuffer = nullptr;
    sector.indexBuffer->Release();
    sector.indexBuffer = nullptr;
    sector.vertexCapacity = sector.indexCapacity = 0;
    return false;
}

void AutoGen::Render(unsigned, Cameras::Basic*) {
    sectorsDrawn = 0;
    sectorsCovered = 0;
    RwCamera* camera = RwEngineInstance ? RWSRCGLOBAL(curCamera) : nullptr;
    RwFrame* cameraFrame = camera ? RwCameraGetFrame(camera) : nullptr;
    if (!cameraFrame || windowSize <= 0)
        return;
    const RwMatrix* ltm = RwFrameGetWorldMatrix(cameraFrame);
    const Base::Vector3 c{ltm->pos.x, ltm->pos.y, ltm->pos.z};
    const std::optional<Ground> under = ProbeGround(c.x, c.z);
    const float g = under ? under->height : Terrain::SeaLevel;
    UpdateSectors(c, g);
    if (!RwD3D9Device || sectors.empty())
        return;

    // The camera's position in double precision where its frame keeps one.
    double cameraPosition[3] = {c.x, c.y, c.z};
    if (const Rw::Frame* wrapper = Rw::Frame::FromRwFrame(cameraFrame))
        wrapper->GetWorldPositionDouble(cameraPosition);

    const Rw::CameraView view{
        ltm->pos,          ltm->at,         ltm->up, camera->viewWindow.x, camera->viewWindow.y,
        camera->nearPlane, camera->farPlane};
    Rw::Plane planes[6];
    view.GetMinusRightPlane(&planes[0]);
    view.GetPlusRightPlane(&planes[1]);
    view.GetTopPlane(&planes[2]);
    view.GetBottomPlane(&planes[3]);
    view.GetFarPlane(&planes[4]);
    view.GetNearPlane(&planes[5]);

    DeviceStates states;
    RwD3D9SetTexture(texture, 0);
    states.Sampler(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    states.Sampler(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    states.Sampler(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    states.Sampler(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    states.Sampler(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    states.Sampler(0, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<uint32_t>(-1.0f));
    states.Stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    states.Stage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    states.Stage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    states.Stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    states.Stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    states.Stage(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    states.Stage(0, D3DTSS_TEXCOORDINDEX, 0);
    states.Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    states.Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    states.Render(D3DRS_CLIPPING, TRUE);
    states.Render(D3DRS_LIGHTING, TRUE);
    states.Render(D3DRS_SPECULARENABLE, FALSE);
    states.Render(D3DRS_ALPHABLENDENABLE, TRUE);
    states.Render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    states.Render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    states.Render(D3DRS_COLORVERTEX, FALSE);
    states.Render(D3DRS_AMBIENT, 0);
    states.Render(D3DRS_NORMALIZENORMALS, FALSE);
    states.Render(D3DRS_LOCALVIEWER, FALSE);
    states.Render(D3DRS_ALPHATESTENABLE, TRUE);
    states.Render(D3DRS_ALPHAREF, 64);
    states.Render(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    states.Render(D3DRS_FOGENABLE, FALSE);
    // Changed per sector below; registered here so that the end of the pass puts them back.
    states.Render(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    states.Render(D3DRS_ZWRITEENABLE, TRUE);
    DWORD cullMode = D3DCULL_CCW;
    RwD3D9GetRenderState(D3DRS_CULLMODE, &cullMode);
    states.Render(D3DRS_CULLMODE, cullMode);

    D3DMATERIAL9 material{};
    material.Diffuse = material.Ambient = {1, 1, 1, 1};
    RwD3D9SetMaterial(&material);
    D3DLIGHT9 d3dLight{};
    d3dLight.Type = D3DLIGHT_DIRECTIONAL;
    d3dLight.Diffuse = Colour(light.diffuse);
    d3dLight.Ambient = Colour(light.ambient);
    d3dLight.Direction = {light.direction.x, light.direction.y, light.direction.z};
    RwD3D9SetLight(0, &d3dLight);
    RwD3D9EnableLight(0, TRUE);

    // Camera-relative: the view loses its translation, each sector moves by minus the camera's position.
    const D3DMATRIX viewMatrix = SetCameraRelativeView();
    D3DMATRIX projection;
    RwD3D9GetTransform(D3DTS_PROJECTION, &projection);
    D3DMATRIX shadowProjection = projection;
    shadowProjection.m[2][2] *= ShadowDepthFactor(c.y - g);
    RwD3D9SetFVF(Fvf);
    // Sectors wholly under the pixels an opaque shape paints over the frame afterwards are left out. The
    // shadows' projection differs in depth only.
    float toClip[4][4];
    const Grp::ScreenCover* cover = FrameCover(camera, viewMatrix, projection, toClip);

    for (const std::unique_ptr<Sector>& entry : sectors) {
        const Sector& s = *entry;
        if (s.totalIndices == 0 || !s.vertexBuffer || !s.indexBuffer)
            continue;
        const Base::Vector3 m{(s.boxMin.x + s.boxMax.x) / 2, (s.boxMin.y + s.boxMax.y) / 2,
                              (s.boxMin.z + s.boxMax.z) / 2};
        const Base::Vector3 e{(s.boxMax.x - s.boxMin.x) / 2, (s.boxMax.y - s.boxMin.y) / 2,
                              (s.boxMax.z - s.boxMin.z) / 2};
        bool outside = false;
        for (const Rw::Plane& p : planes)
            if (p.x * m.x + p.y * m.y + p.z * m.z - p.d + std::fabs(p.x) * e.x + std::fabs(p.y) * e.y +
                    std::fabs(p.z) * e.z <=
                0) {
                outside = true;
                break;
            }
        if (outside)
            continue;
        if (cover) {
            const float lo[3] = {float(double(s.drawnMin.x) - cameraPosition[0]),
                                 float(double(s.drawnMin.y) - cameraPosition[1]),
                                 float(double(s.drawnMin.z) - cameraPosition[2])};
            const float hi[3] = {float(double(s.drawnMax.x) - cameraPosition[0]),
                                 float(double(s.drawnMax.y) - cameraPosition[1]),
                                 float(double(s.drawnMax.z) - cameraPosition[2])};
            if (cover->CoversBox(toClip, lo, hi)) {
                ++sectorsCovered;
                continue;
            }
        }

        const float dx = s.centre.x - c.x, dy = s.centre.y - c.y, dz = s.centre.z - c.z;
        const float dist = std::sqrt(dx * dx + dy * dy + dz * dz);
        const Fade fade = FadeAt(dist, visibilityRange);
        RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, fade.textureFactor);
        RwD3D9SetRenderState(D3DRS_ALPHAREF, fade.alphaReference);

        RwMatrix world{};
        world.right = {1, 0, 0};
        world.up = {0, 1, 0};
        world.at = {0, 0, 1};
        world.pos = {float(double(s.centre.x) - cameraPosition[0]),
                     float(double(s.centre.y) - cameraPosition[1]),
                     float(double(s.centre.z) - cameraPosition[2])};
        RwMatrixOptimize(&world, nullptr);
        RwD3D9SetTransformWorld(&world);

        const LodCounts lod = LodAt(s, dist);
        RwD3D9SetStreamSource(0, s.vertexBuffer, 0, sizeof(Vertex));
        RwD3D9SetIndices(s.indexBuffer);
        if (lod.shadowIndices > 0) {
            RwD3D9SetTexture(shadowTexture, 0);
            RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
            RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
            RwD3D9SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
            RwD3D9SetTransform(D3DTS_PROJECTION, &shadowProjection);
            RwD3D9DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, s.objectVertices,
                                       s.totalVertices - s.objectVertices, s.objectIndices,
                                       lod.shadowIndices / 3);
            RwD3D9SetTransform(D3DTS_PROJECTION, &projection);
        }
        if (lod.objectIndices > 0) {
            RwD3D9SetTexture(texture, 0);
            RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
            RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
            RwD3D9SetRenderState(D3DRS_CULLMODE, s.doubleSided ? DWORD(D3DCULL_NONE) : cullMode);
            RwD3D9DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, s.objectVertices, 0, lod.objectIndices / 3);
        }
        ++sectorsDrawn;
    }

    RwD3D9SetTransform(D3DTS_VIEW, &viewMatrix);
    RwD3D9EnableLight(0, FALSE);
    RwD3D9SetTexture(nullptr, 0);
}

} // namespace Obj
