// The sky's frame on the engine's Direct3D 9 device: the dome's visible bands, the element sprites and the
// stars around the current camera, then the fog of everything drawn after it.
#include "objects/DeviceStates.h"
#include "objects/Sky.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/texture.h"
#include "scene/LoadTexture.h"

#include <bit>
#include <d3d9.h>

#include <cmath>
#include <cstring>

namespace Obj {

namespace {

constexpr DWORD DomeFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
constexpr DWORD SpriteFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct SpriteVertex {
    float x, y, z;
    uint32_t color;
    float u, v;
};

template <class T> bool Fill(IDirect3DVertexBuffer9* buffer, const std::vector<T>& data) {
    void* out = nullptr;
    if (FAILED(buffer->Lock(0, 0, &out, 0)) || !out)
        return false;
    std::memcpy(out, data.data(), data.size() * sizeof(T));
    buffer->Unlock();
    return true;
}

} // namespace

Sky::~Sky() {
    ReleaseDevice();
}

void Sky::ReleaseDevice() {
    for (IDirect3DVertexBuffer9** b : {&vertexBuffer_, &starsBuffer_})
        if (*b) {
            (*b)->Release();
            *b = nullptr;
        }
    if (indexBuffer_) {
        indexBuffer_->Release();
        indexBuffer_ = nullptr;
    }
    for (Element& element : elements_)
        if (element.loadedTexture) {
            RwTextureDestroy(element.loadedTexture);
            element.loadedTexture = nullptr;
        }
    devicePrepared_ = false;
}

bool Sky::PrepareDevice() {
    if (devicePrepared_)
        return vertexBuffer_ != nullptr;
    devicePrepared_ = true;
    if (!RwD3D9Device)
        return false;
    const UINT vertexBytes = UINT(vertices_.size() * sizeof(Vertex));
    const UINT indexBytes = UINT(indices_.size() * sizeof(uint16_t));
    void* out = nullptr;
    bool ok = SUCCEEDED(RwD3D9Device->CreateVertexBuffer(vertexBytes, D3DUSAGE_WRITEONLY, DomeFvf,
                                                         D3DPOOL_MANAGED, &vertexBuffer_, nullptr)) &&
              SUCCEEDED(RwD3D9Device->CreateIndexBuffer(indexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                        D3DPOOL_MANAGED, &indexBuffer_, nullptr)) &&
              SUCCEEDED(indexBuffer_->Lock(0, 0, &out, 0)) && out;
    if (ok) {
        std::memcpy(out, indices_.data(), indexBytes);
        indexBuffer_->Unlock();
    }
    if (ok && !stars_.empty())
        ok = SUCCEEDED(RwD3D9Device->CreateVertexBuffer(UINT(stars_.size() * sizeof(Vertex)),
                                                        D3DUSAGE_WRITEONLY, DomeFvf, D3DPOOL_MANAGED,
                                                        &starsBuffer_, nullptr)) &&
             Fill(starsBuffer_, stars_);
    if (!ok) {
        ReleaseDevice();
        devicePrepared_ = true; // do not retry every frame
        return false;
    }
    for (Element& element : elements_)
        if (!element.texture.empty())
            element.loadedTexture =
                Rw::LoadTexture(element.texture.c_str(), rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
    lastAltitudeRatio_ = -FLT_MAX;
    return true;
}

bool Sky::Render(RwCamera* camera) {
    if (!loaded_ || !camera || !PrepareDevice())
        return false;
    RwMatrix* view = RwFrameGetWorldMatrix(RwCameraGetFrame(camera));
    const Base::Vector3 position{view->pos.x, view->pos.y, view->pos.z};
    RwD3D9SetRenderState(D3DRS_FOGENABLE, FALSE);
    DrawDome(camera, position);
    SetupFog({view->at.x, view->at.y, view->at.z}, position.y);
    return true;
}

bool Sky::ElementInView(const Element& element, const RwCamera* camera, const Base::Vector3& position) const {
    // The sprite is a square at distance 1 along its direction with corners its size from there on both
    // axes: within size x sqrt 2 of that point, scaled with the dome.
    const Base::Vector3 d = element.GetDirection();
    const RwSphere sphere{
        {position.x + radius_ * d.x, position.y + radius_ * d.y, position.z + radius_ * d.z},
        radius_ * std::fabs(element.size) * SpriteReach};
    return RwCameraFrustumTestSphere(camera, &sphere) != rwSPHEREOUTSIDE;
}

void Sky::DrawDome(const RwCamera* camera, const Base::Vector3& position) {
    RwMatrix world{};
    world.right = {radius_, 0, 0};
    world.up = {0, radius_, 0};
    world.at = {0, 0, radius_};
    world.pos = {position.x, position.y, position.z};
    RwD3D9SetTransformWorld(&world);

    visibleBands_ = VisibleBands(AltitudeRatio(position.y), latTessel_);
    if (UpdateColors(position.y) && !Fill(vertexBuffer_, vertices_))
        lastAltitudeRatio_ = -FLT_MAX; // try again next frame

    DeviceStates states;
    RwD3D9SetTexture(nullptr, 0);
    RwD3D9SetTexture(nullptr, 1);
    states.Stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    states.Stage(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    states.Stage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    states.Stage(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    states.Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    states.Render(D3DRS_LIGHTING, FALSE);
    states.Render(D3DRS_ALPHABLENDENABLE, FALSE);
    states.Render(D3DRS_ALPHATESTENABLE, FALSE);
    states.Render(D3DRS_ZENABLE, FALSE);
    states.Render(D3DRS_CULLMODE, D3DCULL_NONE);
    RwD3D9SetStreamSource(0, vertexBuffer_, 0, sizeof(Vertex));
    RwD3D9SetIndices(indexBuffer_);
    RwD3D9SetFVF(DomeFvf);
    RwD3D9DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 0, VertexCount(), 0, StripPrimitives(visibleBands_));
    elementsDrawn_ = 0;
    for (const Element& element : elements_)
        if (ElementInView(element, camera, position)) {
            DrawElement(element);
            ++elementsDrawn_;
        }
    DrawStars(position.y);
}

void Sky::DrawElement(const Element& element) const {
    Base::Vector3 corners[4];
    element.Corners(corners);
    const uint32_t color = uint32_t(element.color[3]) << 24 | uint32_t(element.color[0]) << 16 |
                           uint32_t(element.color[1]) << 8 | element.color[2];
    const float uv[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    SpriteVertex quad[4];
    for (int i = 0; i < 4; ++i)
        quad[i] = {corners[i].x, corners[i].y, corners[i].z, color, uv[i][0], uv[i][1]};

    DeviceStates states;
    RwD3D9SetTexture(element.loadedTexture, 0);
    RwD3D9SetTexture(nullptr, 1);
    states.Stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    states.Stage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    states.Stage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    states.Stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    states.Stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    states.Stage(0, D3DTSS_TEXCOORDINDEX, 0);
    states.Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    states.Render(D3DRS_ALPHABLENDENABLE, TRUE);
    states.Render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    states.Render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    RwD3D9SetFVF(SpriteFvf);
    RwD3D9DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(SpriteVertex));
    RwD3D9SetTexture(nullptr, 0);
}

void Sky::DrawStars(float cameraHeight) {
    const uint32_t a = StarAlpha(cameraHeight);
    drewStars_ = a != 0 && starsBuffer_;
    if (!drewStars_)
        return;
    DeviceStates states;
    RwD3D9SetTexture(nullptr, 0);
    RwD3D9SetTexture(nullptr, 1);
    states.Stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    states.Stage(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    states.Stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    states.Stage(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    states.Stage(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    states.Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    states.Render(D3DRS_ALPHABLENDENABLE, TRUE);
    states.Render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    states.Render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    states.Render(D3DRS_TEXTUREFACTOR, a << 24 | 0xffffffu);
    RwD3D9SetStreamSource(0, starsBuffer_, 0, sizeof(Vertex));
    RwD3D9SetFVF(DomeFvf);
    RwD3D9DrawPrimitive(D3DPT_POINTLIST, 0, uint32_t(stars_.size()));
}

void Sky::SetupFog(const Base::Vector3& at, float cameraHeight) const {
    RwD3D9SetRenderState(D3DRS_FOGENABLE, TRUE);
    RwD3D9SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    RwD3D9SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_EXP2);
    RwD3D9SetRenderState(D3DRS_FOGDENSITY, std::bit_cast<uint32_t>(FogDensity()));
    RwD3D9SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);
    RwD3D9SetRenderState(D3DRS_FOGCOLOR, FogColor(at, cameraHeight));
}

} // namespace Obj
