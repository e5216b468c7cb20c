// The render-state, texture-stage and sampler-state cache. Render and texture-stage states are queued and
// reach the device at the next draw; sampler states go at once. 0xFFFFFFFF stands for an unknown value.
#pragma once

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/plcore/types.h"

#include <d3d9.h>

constexpr RwUInt32 rwD3D9UnknownValue = 0xFFFFFFFF;
constexpr RwInt32 rwD3D9MaxStages = 8;

// Per stage, in engine terms.
struct RwD3D9StageRecord {
    RwRaster* raster;
    RwUInt32 addressU;
    RwUInt32 addressV;
    RwUInt32 filterMode;
    RwUInt32 borderColor;
    RwUInt32 maxAnisotropy;
};

// The engine-level values of the engine render states.
struct RwD3D9EngineStates {
    RwBool zTest;
    RwBool zWrite;
    RwUInt32 shadeMode;
    RwUInt32 srcBlend;
    RwUInt32 destBlend;
    RwBool vertexAlpha;
    RwBool textureAlpha; // stage 0's raster has alpha
    RwBool fogEnable;
    RwUInt32 fogColor;
    RwUInt32 fogType;
    RwReal fogDensity;
    RwUInt32 cullMode;
    RwBool stencilEnable;
    RwUInt32 stencilFail;
    RwUInt32 stencilZFail;
    RwUInt32 stencilPass;
    RwUInt32 stencilFunction;
    RwUInt32 stencilRef;
    RwUInt32 stencilMask;
    RwUInt32 stencilWriteMask;
    RwUInt32 alphaTestFunction;
    RwBool alphaTestWanted; // function other than always
};

extern RwD3D9StageRecord rwD3D9Stages[rwD3D9MaxStages];
extern RwD3D9EngineStates rwD3D9EngineState;

void RwD3D9SetRenderState(RwUInt32 state, RwUInt32 value);
void RwD3D9GetRenderState(RwUInt32 state, void* value);
void RwD3D9SetTextureStageState(RwUInt32 stage, RwUInt32 type, RwUInt32 value);
void RwD3D9GetTextureStageState(RwUInt32 stage, RwUInt32 type, void* value);
void RwD3D9SetSamplerState(RwUInt32 stage, RwUInt32 type, RwUInt32 value);
void RwD3D9GetSamplerState(RwUInt32 stage, RwUInt32 type, void* value);
void RwD3D9RenderStateFlushCache();
// D3DRS_FOGTABLEMODE and D3DRS_FOGVERTEXMODE for an engine fog type (RwFogType; others: no fog).
void _rwD3D9SetFogType(RwUInt32 engineType);
// Stage 0's combiners, colour and alpha alike: the vertex colour alone; the texture modulated by the vertex
// colour; the first, or the second when a raster is bound on stage 0.
void _rwD3D9SetStageDiffuse();
void _rwD3D9SetStageModulate();
void _rwD3D9SetStageForRaster();

RwBool RwD3D9SetRasterStage(RwRaster* raster, RwUInt32 stage);
RwRaster* RwD3D9GetRasterStage(RwUInt32 stage);
struct RwTexture;
// Binds a texture's raster and applies its filter and addressing to the stage's sampler; null unbinds.
RwBool RwD3D9SetTexture(RwTexture* texture, RwUInt32 stage);

// The value last sent to the device (for tests and the restore path).
RwUInt32 RwD3D9GetSentRenderState(RwUInt32 state);

// At device start; after a reset.
void RwD3D9RenderStateOpen();
void RwD3D9RestoreRenderStates();
