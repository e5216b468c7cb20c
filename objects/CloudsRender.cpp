// The cloud particles of a frame on the engine's Direct3D 9 device: one dynamic buffer that only grows,
// refilled with discard, drawn lit by the layer's own light in one triangle list.
#include "objects/Clouds.h"
#include "objects/DeviceStates.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/texture.h"
#include "scene/LoadTexture.h"

#include <d3d9.h>

#include <cmath>

namespace Obj {

namespace {

constexpr DWORD ParticleFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr UINT ParticleBytes = 6 * sizeof(Clouds::Vertex);

bool InFrustum(const Base::Vector3& centre, float radius, void* context) {
    const RwSphere sphere{{centre.x, centre.y, centre.z}, radius};
    return RwCameraFrustumTestSphere(static_cast<const RwCamera*>(context), &sphere) != rwSPHEREOUTSIDE;
}

} // namespace

Clouds::~Clouds() {
    if (vertexBuffer_)
        vertexBuffer_->Release();
    if (texture_)
        RwTextureDestroy(texture_);
}

uint32_t Clouds::Render(RwCamera* camera) {
    if (!loaded_ || !camera || !RwD3D9Device)
        return 0;
    if (!textureTried_) {
        textureTried_ = true;
        texture_ = Rw::LoadTexture("Cloud", rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
    }
    const RwMatrix* m = RwFrameGetWorldMatrix(RwCameraGetFrame(camera));
    const View view{
        {m->pos.x, m->pos.y, m->pos.z}, {m->right.x, m->right.y, m->right.z}, {m->at.x, m->at.y, m->at.z}};
    UpdateActive(view.position);
    const auto& list = PrepareFrame(view, InFrustum, camera);
    if (list.empty())
        return 0;

    const UINT needed = UINT(list.size()) * ParticleBytes;
    D3DVERTEXBUFFER_DESC desc{};
    if (!vertexBuffer_ || (vertexBuffer_->GetDesc(&desc), desc.Size < needed)) {
        if (vertexBuffer_)
            vertexBuffer_->Release();
        vertexBuffer_ = nullptr;
        if (FAILED(RwD3D9Device->CreateVertexBuffer(UINT(std::lround(1.25 * needed)),
                                                    D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, ParticleFvf,
                                                    D3DPOOL_DEFAULT, &vertexBuffer_, nullptr)))
            return 0;
    }
    void* out = nullptr;
    if (FAILED(vertexBuffer_->Lock(0, needed, &out, D3DLOCK_DISCARD)) || !out)
        return 0;
    FillVertices(view, static_cast<Vertex*>(out));
    vertexBuffer_->Unlock();

    D3DMATERIAL9 material{};
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {lightDiffuse.r, lightDiffuse.g, lightDiffuse.b, lightDiffuse.a};
    light.Ambient = {lightAmbient.r, lightAmbient.g, lightAmbient.b, lightAmbient.a};
    light.Direction = {lightDirection.x, lightDirection.y, lightDirection.z};
    RwMatrix identity{};
    identity.right = {1, 0, 0};
    identity.up = {0, 1, 0};
    identity.at = {0, 0, 1};
    {
        DeviceStates states;
        RwD3D9SetMaterial(&material);
        RwD3D9SetLight(0, &light);
        RwD3D9EnableLight(0, TRUE);
        RwD3D9SetTexture(texture_, 0);
        RwD3D9SetTexture(nullptr, 1);
        states.Sampler(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        states.Sampler(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        states.Sampler(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        states.Sampler(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        states.Sampler(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        states.Stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        states.Stage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        states.Stage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        states.Stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        states.Stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        states.Stage(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        states.Stage(0, D3DTSS_TEXCOORDINDEX, 0);
        states.Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        states.Render(D3DRS_LIGHTING, TRUE);
        states.Render(D3DRS_ALPHABLENDENABLE, TRUE);
        states.Render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        states.Render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        // The test's reference and function are set here, not inherited from the previous draw.
        states.Render(D3DRS_ALPHATESTENABLE, TRUE);
        states.Render(D3DRS_ALPHAREF, 0);
        states.Render(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
        states.Render(D3DRS_CULLMODE, D3DCULL_NONE);
        states.Render(D3DRS_ZWRITEENABLE, FALSE);
        states.Render(D3DRS_AMBIENT, 0);
        states.Render(D3DRS_SPECULARENABLE, FALSE);
        states.Render(D3DRS_COLORVERTEX, TRUE);
        states.Render(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
        states.Render(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
        states.Render(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
        states.Render(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
        states.Render(D3DRS_NORMALIZENORMALS, FALSE);
        RwD3D9SetTransformWorld(&identity);
        RwD3D9SetStreamSource(0, vertexBuffer_, 0, sizeof(Vertex));
        RwD3D9SetVertexShader(nullptr);
        RwD3D9SetFVF(ParticleFvf);
        RwD3D9DrawPrimitive(D3DPT_TRIANGLELIST, 0, uint32_t(list.size()) * 2);
        RwD3D9EnableLight(0, FALSE);
        RwD3D9SetTexture(nullptr, 0);
    }
    return uint32_t(list.size());
}

} // namespace Obj
