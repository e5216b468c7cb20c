#include "rwsdk/driver/d3d9/d3d9rendst.h"

#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/renderstate.h"

#include <bit>
#include <cstring>

namespace {

constexpr RwUInt32 renderStateCount = D3D9_RENDERSTATE_COUNT;
constexpr RwUInt32 stageStateCount = D3D9_TEXTURESTAGESTATE_COUNT;
constexpr RwUInt32 samplerStateCount = D3D9_SAMPLERSTATE_COUNT;

struct QueuedValue {
    RwUInt32 value;
    RwUInt32 queued;
};

QueuedValue renderStates[renderStateCount];
RwUInt32 renderStatesSent[renderStateCount];
RwUInt32 renderStateQueue[renderStateCount];
RwUInt32 renderStateQueueCount;

QueuedValue stageStates[rwD3D9MaxStages][stageStateCount];
RwUInt32 stageStatesSent[rwD3D9MaxStages][stageStateCount];
struct StageQueueEntry {
    RwUInt32 stage;
    RwUInt32 type;
};
StageQueueEntry stageStateQueue[rwD3D9MaxStages * stageStateCount];
RwUInt32 stageStateQueueCount;

RwUInt32 samplerStates[rwD3D9MaxStages][samplerStateCount];

// Fog table from engine fog type to D3DFOGMODE.
constexpr RwUInt32 fogModes[] = {D3DFOG_NONE, D3DFOG_LINEAR, D3DFOG_EXP, D3DFOG_EXP2};

void ResetCaches() {
    for (RwUInt32 i = 0; i < renderStateCount; ++i)
        renderStatesSent[i] = rwD3D9UnknownValue;
    renderStatesSent[D3DRS_FOGCOLOR] = 0;
    renderStatesSent[D3DRS_STENCILMASK] = 0;
    renderStatesSent[D3DRS_STENCILWRITEMASK] = 0;
    renderStatesSent[D3DRS_AMBIENT] = 0;
    for (RwUInt32 i = 0; i < renderStateCount; ++i)
        renderStates[i] = {renderStatesSent[i], 0};
    renderStateQueueCount = 0;
    for (RwInt32 s = 0; s < rwD3D9MaxStages; ++s) {
        for (RwUInt32 t = 0; t < stageStateCount; ++t) {
            stageStatesSent[s][t] = rwD3D9UnknownValue;
            stageStates[s][t] = {rwD3D9UnknownValue, 0};
        }
        for (RwUInt32 t = 0; t < samplerStateCount; ++t)
            samplerStates[s][t] = rwD3D9UnknownValue;
    }
    stageStateQueueCount = 0;
}

void UnbindStage(RwUInt32 stage) {
    rwD3D9Stages[stage].raster = nullptr;
    if (RwD3D9Device)
        RwD3D9Device->SetTexture(stage, nullptr);
}

// Sends a stage's filter, addressing, border and anisotropy from its record.
void SendStageRecord(RwUInt32 stage) {
    static constexpr RwUInt32 minMag[] = {0, 1, 2, 1, 2, 1, 2, 3};
    static constexpr RwUInt32 mip[] = {0, 0, 0, 1, 1, 2, 2, 2};
    static constexpr RwUInt32 address[] = {0, 1, 2, 3, 4, 0};
    const RwD3D9StageRecord& r = rwD3D9Stages[stage];
    const RwUInt32 f = r.filterMode < 8 ? r.filterMode : 0;
    RwD3D9SetSamplerState(stage, D3DSAMP_MINFILTER, minMag[f]);
    RwD3D9SetSamplerState(stage, D3DSAMP_MAGFILTER, minMag[f]);
    RwD3D9SetSamplerState(stage, D3DSAMP_MIPFILTER, mip[f]);
    RwD3D9SetSamplerState(stage, D3DSAMP_ADDRESSU, address[r.addressU < 6 ? r.addressU : 0]);
    RwD3D9SetSamplerState(stage, D3DSAMP_ADDRESSV, address[r.addressV < 6 ? r.addressV : 0]);
    RwD3D9SetSamplerState(stage, D3DSAMP_BORDERCOLOR, r.borderColor);
    RwD3D9SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, r.maxAnisotropy);
}

void SetFixedDefaults() {
    _rwD3D9SetStageDiffuse();
    RwD3D9SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    RwD3D9SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    RwD3D9SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    RwD3D9SetRenderState(D3DRS_DITHERENABLE, (rwD3D9State.caps.RasterCaps & D3DPRASTERCAPS_DITHER) ? 1 : 0);
    RwD3D9SetRenderState(D3DRS_SPECULARENABLE, 0);
    RwD3D9SetRenderState(D3DRS_LOCALVIEWER, 0);
    RwD3D9SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
    RwD3D9SetRenderState(D3DRS_NORMALIZENORMALS, 0);
}

bool TableFog() {
    const RwUInt32 caps = rwD3D9State.caps.RasterCaps;
    return (caps & D3DPRASTERCAPS_FOGTABLE) && (caps & D3DPRASTERCAPS_WFOG);
}

} // namespace

void _rwD3D9SetStageDiffuse() {
    RwD3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    RwD3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    RwD3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    RwD3D9SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

void _rwD3D9SetStageModulate() {
    RwD3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    RwD3D9SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    RwD3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    RwD3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    RwD3D9SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    RwD3D9SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

void _rwD3D9SetStageForRaster() {
    if (RwD3D9GetRasterStage(0))
        _rwD3D9SetStageModulate();
    else
        _rwD3D9SetStageDiffuse();
}

// Table fog where the device can do it per pixel in w, else vertex fog.
void _rwD3D9SetFogType(RwUInt32 engineType) {
    const RwUInt32 mode = engineType < 4 ? fogModes[engineType] : D3DFOG_NONE;
    if (TableFog()) {
        RwD3D9SetRenderState(D3DRS_FOGTABLEMODE, mode);
        RwD3D9SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    } else {
        RwD3D9SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
        RwD3D9SetRenderState(D3DRS_FOGVERTEXMODE, mode);
    }
}

RwD3D9StageRecord rwD3D9Stages[rwD3D9MaxStages];
RwD3D9EngineStates rwD3D9EngineState;

void RwD3D9SetRenderState(RwUInt32 state, RwUInt32 value) {
    if (state >= renderStateCount)
        return;
    QueuedValue& slot = renderStates[state];
    if (slot.value == value)
        return;
    slot.value = value;
    if (!slot.queued) {
        slot.queued = 1;
        renderStateQueue[renderStateQueueCount++] = state;
    }
}

void RwD3D9GetRenderState(RwUInt32 state, void* value) {
    if (state < renderStateCount)
        *static_cast<RwUInt32*>(value) = renderStates[state].value;
}

void RwD3D9SetTextureStageState(RwUInt32 stage, RwUInt32 type, RwUInt32 value) {
    if (stage >= RwUInt32(rwD3D9MaxStages) || type >= stageStateCount)
        return;
    QueuedValue& slot = stageStates[stage][type];
    if (slot.value == value)
        return;
    slot.value = value;
    if (!slot.queued) {
        slot.queued = 1;
        stageStateQueue[stageStateQueueCount++] = {stage, type};
    }
}

void RwD3D9GetTextureStageState(RwUInt32 stage, RwUInt32 type, void* value) {
    if (stage < RwUInt32(rwD3D9MaxStages) && type < stageStateCount)
        *static_cast<RwUInt32*>(value) = stageStates[stage][type].value;
}

void RwD3D9SetSamplerState(RwUInt32 stage, RwUInt32 type, RwUInt32 value) {
    if (stage >= RwUInt32(rwD3D9MaxStages) || type >= samplerStateCount)
        return;
    if (samplerStates[stage][type] == value)
        return;
    samplerStates[stage][type] = value;
    RwD3D9Device->SetSamplerState(stage, D3DSAMPLERSTATETYPE(type), value);
}

void RwD3D9GetSamplerState(RwUInt32 stage, RwUInt32 type, void* value) {
    if (stage < RwUInt32(rwD3D9MaxStages) && type < samplerStateCount)
        *static_cast<RwUInt32*>(value) = samplerStates[stage][type];
}

void RwD3D9RenderStateFlushCache() {
    for (RwUInt32 i = 0; i < renderStateQueueCount; ++i) {
        const RwUInt32 state = renderStateQueue[i];
        QueuedValue& slot = renderStates[state];
        slot.queued = 0;
        if (slot.value != renderStatesSent[state]) {
            renderStatesSent[state] = slot.value;
            RwD3D9Device->SetRenderState(D3DRENDERSTATETYPE(state), slot.value);
        }
    }
    renderStateQueueCount = 0;
    for (RwUInt32 i = 0; i < stageStateQueueCount; ++i) {
        const StageQueueEntry e = stageStateQueue[i];
        QueuedValue& slot = stageStates[e.stage][e.type];
        slot.queued = 0;
        if (slot.value != stageStatesSent[e.stage][e.type]) {
            stageStatesSent[e.stage][e.type] = slot.value;
            RwD3D9Device->SetTextureStageState(e.stage, D3DTEXTURESTAGESTATETYPE(e.type), slot.value);
        }
    }
    stageStateQueueCount = 0;
}

RwUInt32 RwD3D9GetSentRenderState(RwUInt32 state) {
    return state < renderStateCount ? renderStatesSent[state] : rwD3D9UnknownValue;
}

RwBool RwD3D9SetRasterStage(RwRaster* raster, RwUInt32 stage) {
    if (stage >= RwUInt32(rwD3D9MaxStages))
        return FALSE;
    RwD3D9EngineStates& e = rwD3D9EngineState;
    if (stage == 0) {
        const bool alpha = raster && RwD3D9RasterExtension(raster)->alpha;
        if (alpha) {
            if (!e.textureAlpha) {
                e.textureAlpha = TRUE;
                if (!e.vertexAlpha) {
                    RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
                    RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, e.alphaTestWanted ? 1 : 0);
                }
            }
        } else if (e.textureAlpha) {
            e.textureAlpha = FALSE;
            if (!e.vertexAlpha) {
                RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
                RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, 0);
            }
        }
    }
    if (rwD3D9Stages[stage].raster != raster) {
        rwD3D9Stages[stage].raster = raster;
        RwD3D9Device->SetTexture(
            stage,
            raster ? static_cast<IDirect3DBaseTexture9*>(RwD3D9RasterExtension(raster)->texture) : nullptr);
        if (raster && RwD3D9RasterExtension(raster)->palette)
            RwD3D9Device->SetCurrentTexturePalette(RwD3D9RasterPaletteNumber(raster));
    }
    return TRUE;
}

RwRaster* RwD3D9GetRasterStage(RwUInt32 stage) {
    return stage < RwUInt32(rwD3D9MaxStages) ? rwD3D9Stages[stage].raster : nullptr;
}

void RwD3D9RenderStateOpen() {
    ResetCaches();
    RwD3D9EngineStates& e = rwD3D9EngineState;
    e = {};

    e.fogEnable = FALSE;
    e.fogType = 1;
    e.fogDensity = 1.0f;
    e.fogColor = 0;
    RwD3D9SetRenderState(D3DRS_FOGENABLE, 0);
    _rwD3D9SetFogType(e.fogType);
    RwD3D9SetRenderState(D3DRS_FOGCOLOR, 0);

    e.shadeMode = 2;
    RwD3D9SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    e.zTest = TRUE;
    e.zWrite = TRUE;
    RwD3D9SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, 1);
    RwD3D9SetRenderState(D3DRS_ZENABLE, 1);

    e.stencilEnable = FALSE;
    e.stencilFail = e.stencilZFail = e.stencilPass = D3DSTENCILOP_KEEP;
    e.stencilFunction = D3DCMP_ALWAYS;
    e.stencilRef = 0;
    e.stencilMask = e.stencilWriteMask = 0xFFFFFFFF;
    RwD3D9SetRenderState(D3DRS_STENCILENABLE, 0);
    RwD3D9SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    RwD3D9SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    RwD3D9SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    RwD3D9SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    RwD3D9SetRenderState(D3DRS_STENCILREF, 0);
    RwD3D9SetRenderState(D3DRS_STENCILMASK, 0xFFFFFFFF);
    RwD3D9SetRenderState(D3DRS_STENCILWRITEMASK, 0xFFFFFFFF);

    const bool linear = rwD3D9State.caps.TextureFilterCaps & D3DPTFILTERCAPS_MINFLINEAR;
    for (RwUInt32 stage = 0; stage < RwUInt32(rwD3D9MaxStages); ++stage) {
        UnbindStage(stage);
        rwD3D9Stages[stage] = {nullptr,
                               rwTEXTUREADDRESSWRAP,
                               rwTEXTUREADDRESSWRAP,
                               linear ? RwUInt32(rwFILTERLINEAR) : RwUInt32(rwFILTERNEAREST),
                               0xFF000000,
                               1};
        SendStageRecord(stage);
        // Known from the start (Direct3D's default, the stage's own set), so that code which saves and puts
        // back a stage's states never hands the device the cache's "unknown" marker as a coordinate index.
        RwD3D9SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
        if (stage > 0) {
            RwD3D9SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
            RwD3D9SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        }
    }

    e.srcBlend = D3DBLEND_SRCALPHA;
    e.destBlend = D3DBLEND_INVSRCALPHA;
    RwD3D9SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    RwD3D9SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    e.alphaTestFunction = D3DCMP_GREATER;
    e.alphaTestWanted = TRUE;
    RwD3D9SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    RwD3D9SetRenderState(D3DRS_ALPHAREF, 0);
    RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    e.vertexAlpha = FALSE;
    RwD3D9SetRenderState(D3DRS_LIGHTING, 0);
    e.cullMode = 2;
    RwD3D9SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);

    SetFixedDefaults();
    RwD3D9RenderStateFlushCache();
}

void RwD3D9RestoreRenderStates() {
    // The alpha reference is the one game-set value that the engine states carry over.
    const RwUInt32 alphaRef = renderStates[D3DRS_ALPHAREF].value;
    ResetCaches();
    RwD3D9EngineStates& e = rwD3D9EngineState;

    RwD3D9SetRenderState(D3DRS_FOGENABLE, e.fogEnable ? 1 : 0);
    RwD3D9SetRenderState(D3DRS_FOGDENSITY, std::bit_cast<RwUInt32>(e.fogDensity));
    _rwD3D9SetFogType(e.fogType);
    RwCamera* camera = RWSRCGLOBAL(curCamera);
    if (camera) {
        RwD3D9SetRenderState(D3DRS_FOGSTART, std::bit_cast<RwUInt32>(camera->fogPlane));
        RwD3D9SetRenderState(D3DRS_FOGEND, std::bit_cast<RwUInt32>(camera->farPlane));
    }
    RwD3D9SetRenderState(D3DRS_FOGCOLOR, e.fogColor);
    RwD3D9SetRenderState(D3DRS_SHADEMODE, e.shadeMode);
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, e.zWrite ? 1 : 0);
    RwD3D9SetRenderState(D3DRS_ZFUNC, e.zTest ? D3DCMP_LESSEQUAL : D3DCMP_ALWAYS);
    RwD3D9SetRenderState(D3DRS_ZENABLE, (e.zTest || e.zWrite) ? 1 : 0);
    RwD3D9SetRenderState(D3DRS_STENCILENABLE, e.stencilEnable ? 1 : 0);
    RwD3D9SetRenderState(D3DRS_STENCILFAIL, e.stencilFail);
    RwD3D9SetRenderState(D3DRS_STENCILZFAIL, e.stencilZFail);
    RwD3D9SetRenderState(D3DRS_STENCILPASS, e.stencilPass);
    RwD3D9SetRenderState(D3DRS_STENCILFUNC, e.stencilFunction);
    RwD3D9SetRenderState(D3DRS_STENCILREF, e.stencilRef);
    RwD3D9SetRenderState(D3DRS_STENCILMASK, e.stencilMask);
    RwD3D9SetRenderState(D3DRS_STENCILWRITEMASK, e.stencilWriteMask);

    for (RwUInt32 stage = 0; stage < RwUInt32(rwD3D9MaxStages); ++stage) {
        UnbindStage(stage);
        SendStageRecord(stage);
        // Known from the start (Direct3D's default, the stage's own set), so that code which saves and puts
        // back a stage's states never hands the device the cache's "unknown" marker as a coordinate index.
        RwD3D9SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
        if (stage > 0) {
            RwD3D9SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
            RwD3D9SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        }
    }

    RwD3D9SetRenderState(D3DRS_SRCBLEND, e.srcBlend);
    RwD3D9SetRenderState(D3DRS_DESTBLEND, e.destBlend);
    RwD3D9SetRenderState(D3DRS_ALPHAFUNC, e.alphaTestFunction);
    RwD3D9SetRenderState(D3DRS_ALPHAREF, alphaRef == rwD3D9UnknownValue ? 0 : alphaRef);
    RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, e.vertexAlpha ? 1 : 0);
    RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, (e.vertexAlpha && e.alphaTestWanted) ? 1 : 0);
    RwD3D9SetRenderState(D3DRS_CULLMODE, e.cullMode);
    e.textureAlpha = FALSE;

    SetFixedDefaults();
    RwD3D9RenderStateFlushCache();
}
