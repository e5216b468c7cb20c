#include "rwsdk/driver/d3d9/d3d9rwrendst.h"

#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/texture.h"

#include <cstdint>
#include <bit>
#include <cstring>

namespace {

constexpr RwUInt32 addressTable[] = {0, 1, 2, 3, 4, 0};
constexpr RwUInt32 filterMinMag[] = {0, 1, 2, 1, 2, 1, 2, 3};
constexpr RwUInt32 filterMip[] = {0, 0, 0, 1, 1, 2, 2, 2};

RwUInt32 Word(void* value) {
    return RwUInt32(reinterpret_cast<uintptr_t>(value));
}

RwUInt32 Requested(RwUInt32 state) {
    RwUInt32 value = 0;
    RwD3D9GetRenderState(state, &value);
    return value;
}

void SetAddressU(RwUInt32 mode) {
    if (rwD3D9Stages[0].addressU == mode)
        return;
    rwD3D9Stages[0].addressU = mode;
    RwD3D9SetSamplerState(0, D3DSAMP_ADDRESSU, addressTable[mode < 6 ? mode : 0]);
}

void SetAddressV(RwUInt32 mode) {
    if (rwD3D9Stages[0].addressV == mode)
        return;
    rwD3D9Stages[0].addressV = mode;
    RwD3D9SetSamplerState(0, D3DSAMP_ADDRESSV, addressTable[mode < 6 ? mode : 0]);
}

void UpdateZEnable() {
    const RwD3D9EngineStates& e = rwD3D9EngineState;
    RwD3D9SetRenderState(D3DRS_ZENABLE, (e.zTest || e.zWrite) ? 1 : 0);
}

// Blending and alpha testing follow the vertex alpha and the stage-0 texture's alpha together.
void UpdateAlphaFromVertexAlpha() {
    RwD3D9EngineStates& e = rwD3D9EngineState;
    if (e.textureAlpha)
        return;
    RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, e.vertexAlpha ? 1 : 0);
    RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, (e.vertexAlpha && e.alphaTestWanted) ? 1 : 0);
}

} // namespace

RwBool RwD3D9SetSourceBlend(RwUInt32 blend) {
    if (rwD3D9EngineState.srcBlend != blend) {
        rwD3D9EngineState.srcBlend = blend;
        RwD3D9SetRenderState(D3DRS_SRCBLEND, blend);
    }
    return TRUE;
}

RwBool RwD3D9SetDestinationBlend(RwUInt32 blend) {
    if (rwD3D9EngineState.destBlend != blend) {
        rwD3D9EngineState.destBlend = blend;
        RwD3D9SetRenderState(D3DRS_DESTBLEND, blend);
    }
    return TRUE;
}

void RwD3D9SetVertexAlphaEnable(RwBool enable) {
    const RwBool on = enable ? TRUE : FALSE;
    if (rwD3D9EngineState.vertexAlpha == on)
        return;
    rwD3D9EngineState.vertexAlpha = on;
    UpdateAlphaFromVertexAlpha();
}

RwBool RwD3D9IsVertexAlphaEnabled() {
    return rwD3D9EngineState.vertexAlpha;
}

RwBool _rwD3D9RenderStateSet(RwRenderState state, void* value) {
    RwD3D9EngineStates& e = rwD3D9EngineState;
    const RwUInt32 v = Word(value);
    switch (state) {
    case rwRENDERSTATETEXTURERASTER:
        return RwD3D9SetRasterStage(static_cast<RwRaster*>(value), 0);
    case rwRENDERSTATETEXTUREADDRESS:
        SetAddressU(v);
        SetAddressV(v);
        return TRUE;
    case rwRENDERSTATETEXTUREADDRESSU:
        SetAddressU(v);
        return TRUE;
    case rwRENDERSTATETEXTUREADDRESSV:
        SetAddressV(v);
        return TRUE;
    case rwRENDERSTATETEXTUREPERSPECTIVE:
        return v ? TRUE : FALSE;
    case rwRENDERSTATEZTESTENABLE: {
        const RwBool on = v ? TRUE : FALSE;
        if (e.zTest != on) {
            e.zTest = on;
            RwD3D9SetRenderState(D3DRS_ZFUNC, on ? D3DCMP_LESSEQUAL : D3DCMP_ALWAYS);
            UpdateZEnable();
        }
        return TRUE;
    }
    case rwRENDERSTATESHADEMODE:
        if (e.shadeMode != v) {
            e.shadeMode = v;
            RwD3D9SetRenderState(D3DRS_SHADEMODE, v);
        }
        return TRUE;
    case rwRENDERSTATEZWRITEENABLE: {
        const RwBool on = v ? TRUE : FALSE;
        if (e.zWrite != on) {
            e.zWrite = on;
            RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, on);
            UpdateZEnable();
        }
        return TRUE;
    }
    case rwRENDERSTATETEXTUREFILTER:
        if (rwD3D9Stages[0].filterMode != v) {
            if (rwD3D9Stages[0].maxAnisotropy > 1) {
                rwD3D9Stages[0].maxAnisotropy = 1;
                RwD3D9SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 1);
            }
            rwD3D9Stages[0].filterMode = v;
            const RwUInt32 f = v < 8 ? v : 0;
            RwD3D9SetSamplerState(0, D3DSAMP_MINFILTER, filterMinMag[f]);
            RwD3D9SetSamplerState(0, D3DSAMP_MAGFILTER, filterMinMag[f]);
            RwD3D9SetSamplerState(0, D3DSAMP_MIPFILTER, filterMip[f]);
        }
        return TRUE;
    case rwRENDERSTATESRCBLEND:
        return RwD3D9SetSourceBlend(v);
    case rwRENDERSTATEDESTBLEND:
        return RwD3D9SetDestinationBlend(v);
    case rwRENDERSTATEVERTEXALPHAENABLE:
        RwD3D9SetVertexAlphaEnable(v ? TRUE : FALSE);
        return TRUE;
    case rwRENDERSTATEBORDERCOLOR:
        if (rwD3D9Stages[0].borderColor != v) {
            rwD3D9Stages[0].borderColor = v;
            RwD3D9SetSamplerState(0, D3DSAMP_BORDERCOLOR, v);
        }
        return TRUE;
    case rwRENDERSTATEFOGENABLE:
        if (!v) {
            e.fogEnable = FALSE;
            RwD3D9SetRenderState(D3DRS_FOGENABLE, 0);
        } else if (rwD3D9State.caps.RasterCaps & (D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE)) {
            e.fogEnable = TRUE;
            RwD3D9SetRenderState(D3DRS_FOGENABLE, 1);
        }
        return TRUE;
    case rwRENDERSTATEFOGCOLOR:
        e.fogColor = v;
        RwD3D9SetRenderState(D3DRS_FOGCOLOR, v);
        return TRUE;
    case rwRENDERSTATEFOGTYPE: {
        e.fogType = v;
        _rwD3D9SetFogType(v);
        if (v == rwFOGTYPELINEAR) {
            if (const RwCamera* camera = RWSRCGLOBAL(curCamera)) {
                RwD3D9SetRenderState(D3DRS_FOGSTART, std::bit_cast<RwUInt32>(camera->fogPlane));
                RwD3D9SetRenderState(D3DRS_FOGEND, std::bit_cast<RwUInt32>(camera->farPlane));
            }
        }
        return TRUE;
    }
    case rwRENDERSTATEFOGDENSITY: {
        if (!value)
            return FALSE;
        e.fogDensity = *static_cast<const RwReal*>(value);
        RwUInt32 bits;
        std::memcpy(&bits, &e.fogDensity, 4);
        RwD3D9SetRenderState(D3DRS_FOGDENSITY, bits);
        return TRUE;
    }
    case rwRENDERSTATECULLMODE:
        if (e.cullMode != v) {
            e.cullMode = v;
            RwD3D9SetRenderState(D3DRS_CULLMODE, v);
        }
        return TRUE;
    case rwRENDERSTATESTENCILENABLE:
        e.stencilEnable = v ? TRUE : FALSE;
        RwD3D9SetRenderState(D3DRS_STENCILENABLE, v);
        return TRUE;
    case rwRENDERSTATESTENCILFAIL:
        e.stencilFail = v;
        RwD3D9SetRenderState(D3DRS_STENCILFAIL, v);
        return TRUE;
    case rwRENDERSTATESTENCILZFAIL:
        e.stencilZFail = v;
        RwD3D9SetRenderState(D3DRS_STENCILZFAIL, v);
        return TRUE;
    case rwRENDERSTATESTENCILPASS:
        e.stencilPass = v;
        RwD3D9SetRenderState(D3DRS_STENCILPASS, v);
        return TRUE;
    case rwRENDERSTATESTENCILFUNCTION:
        e.stencilFunction = v;
        RwD3D9SetRenderState(D3DRS_STENCILFUNC, v);
        return TRUE;
    case rwRENDERSTATESTENCILFUNCTIONREF:
        e.stencilRef = v;
        RwD3D9SetRenderState(D3DRS_STENCILREF, v);
        return TRUE;
    case rwRENDERSTATESTENCILFUNCTIONMASK:
        e.stencilMask = v;
        RwD3D9SetRenderState(D3DRS_STENCILMASK, v);
        return TRUE;
    case rwRENDERSTATESTENCILFUNCTIONWRITEMASK:
        e.stencilWriteMask = v;
        RwD3D9SetRenderState(D3DRS_STENCILWRITEMASK, v);
        return TRUE;
    case rwRENDERSTATEALPHATESTFUNCTION:
        e.alphaTestFunction = v;
        e.alphaTestWanted = v != D3DCMP_ALWAYS;
        if (Requested(D3DRS_ALPHABLENDENABLE) == 1)
            RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, e.alphaTestWanted ? 1 : 0);
        RwD3D9SetRenderState(D3DRS_ALPHAFUNC, v);
        return TRUE;
    case rwRENDERSTATEALPHATESTFUNCTIONREF:
        RwD3D9SetRenderState(D3DRS_ALPHAREF, v);
        return TRUE;
    default:
        return FALSE;
    }
}

RwBool _rwD3D9RenderStateGet(RwRenderState state, void* value) {
    const RwD3D9EngineStates& e = rwD3D9EngineState;
    auto* out = static_cast<RwUInt32*>(value);
    switch (state) {
    case rwRENDERSTATETEXTURERASTER:
        *static_cast<RwRaster**>(value) = rwD3D9Stages[0].raster;
        return TRUE;
    case rwRENDERSTATETEXTUREADDRESS:
        if (rwD3D9Stages[0].addressU == rwD3D9Stages[0].addressV) {
            *out = rwD3D9Stages[0].addressU;
            return TRUE;
        }
        *out = 0;
        return FALSE;
    case rwRENDERSTATETEXTUREADDRESSU:
        *out = rwD3D9Stages[0].addressU;
        return TRUE;
    case rwRENDERSTATETEXTUREADDRESSV:
        *out = rwD3D9Stages[0].addressV;
        return TRUE;
    case rwRENDERSTATEZTESTENABLE:
        *out = e.zTest;
        return TRUE;
    case rwRENDERSTATESHADEMODE:
        *out = e.shadeMode;
        return TRUE;
    case rwRENDERSTATEZWRITEENABLE:
        *out = e.zWrite;
        return TRUE;
    case rwRENDERSTATETEXTUREFILTER:
        *out = rwD3D9Stages[0].filterMode;
        return TRUE;
    case rwRENDERSTATESRCBLEND:
        *out = e.srcBlend;
        return TRUE;
    case rwRENDERSTATEDESTBLEND:
        *out = e.destBlend;
        return TRUE;
    case rwRENDERSTATEVERTEXALPHAENABLE:
        *out = e.vertexAlpha;
        return TRUE;
    case rwRENDERSTATEBORDERCOLOR:
        *out = rwD3D9Stages[0].borderColor;
        return TRUE;
    case rwRENDERSTATEFOGENABLE:
        *out = e.fogEnable;
        return TRUE;
    case rwRENDERSTATEFOGCOLOR:
        *out = e.fogColor;
        return TRUE;
    case rwRENDERSTATEFOGTYPE:
        *out = e.fogType;
        return TRUE;
    case rwRENDERSTATEFOGDENSITY:
        *static_cast<RwReal*>(value) = e.fogDensity;
        return TRUE;
    case rwRENDERSTATECULLMODE:
        *out = e.cullMode;
        return TRUE;
    case rwRENDERSTATESTENCILENABLE:
        *out = e.stencilEnable;
        return TRUE;
    case rwRENDERSTATESTENCILFAIL:
        *out = e.stencilFail;
        return TRUE;
    case rwRENDERSTATESTENCILZFAIL:
        *out = e.stencilZFail;
        return TRUE;
    case rwRENDERSTATESTENCILPASS:
        *out = e.stencilPass;
        return TRUE;
    case rwRENDERSTATESTENCILFUNCTION:
        *out = e.stencilFunction;
        return TRUE;
    case rwRENDERSTATESTENCILFUNCTIONREF:
        *out = e.stencilRef;
        return TRUE;
    case rwRENDERSTATESTENCILFUNCTIONMASK:
        *out = e.stencilMask;
        return TRUE;
    case rwRENDERSTATESTENCILFUNCTIONWRITEMASK:
        *out = e.stencilWriteMask;
        return TRUE;
    case rwRENDERSTATEALPHATESTFUNCTION:
        *out = e.alphaTestFunction;
        return TRUE;
    case rwRENDERSTATEALPHATESTFUNCTIONREF:
        *out = Requested(D3DRS_ALPHAREF);
        return TRUE;
    default:
        return FALSE;
    }
}

RwBool RwD3D9SetTexture(RwTexture* texture, RwUInt32 stage) {
    if (stage >= RwUInt32(rwD3D9MaxStages))
        return FALSE;
    RwD3D9StageRecord& r = rwD3D9Stages[stage];
    if (!texture) {
        RwD3D9EngineStates& e = rwD3D9EngineState;
        if (stage == 0 && e.textureAlpha) {
            e.textureAlpha = FALSE;
            if (!e.vertexAlpha) {
                RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
                RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, 0);
            }
        }
        if (r.raster) {
            r.raster = nullptr;
            RwD3D9Device->SetTexture(stage, nullptr);
        }
        return TRUE;
    }
    const RwUInt32 word = texture->filterAddressing;
    const RwUInt32 filter = word & 0xFF;
    const RwUInt32 addressU = (word >> 8) & 0xF;
    const RwUInt32 addressV = (word >> 12) & 0xF;
    if (r.addressU != addressU) {
        r.addressU = addressU;
        RwD3D9SetSamplerState(stage, D3DSAMP_ADDRESSU, addressTable[addressU < 6 ? addressU : 0]);
    }
    if (r.addressV != addressV) {
        r.addressV = addressV;
        RwD3D9SetSamplerState(stage, D3DSAMP_ADDRESSV, addressTable[addressV < 6 ? addressV : 0]);
    }
    // No texture carries its own anisotropy yet: a stage left anisotropic goes back to 1.
    if (r.maxAnisotropy > 1) {
        r.maxAnisotropy = 1;
        RwD3D9SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, 1);
    }
    if (r.filterMode != filter) {
        r.filterMode = filter;
        const RwUInt32 f = filter < 8 ? filter : 0;
        RwD3D9SetSamplerState(stage, D3DSAMP_MINFILTER, filterMinMag[f]);
        RwD3D9SetSamplerState(stage, D3DSAMP_MAGFILTER, filterMinMag[f]);
        RwD3D9SetSamplerState(stage, D3DSAMP_MIPFILTER, filterMip[f]);
    }
    return RwD3D9SetRasterStage(texture->raster, stage);
}
