// The material-effects pipelines on Direct3D 9: copies of the all-in-one atomic and sector pipelines whose
// render callback draws each mesh by its material's effects.
#pragma once

#include "rwsdk/src/plcore/resources.h"
#include "rwsdk/src/plcore/types.h"

struct RwFrame;
struct RwPipeline;
struct RwTexture;
struct RpD3D9InstanceData;

// Made when the plugin first opens with the engine, destroyed at its last close; both return 1 (0 when a
// pipeline cannot be made).
RwBool RpMatFXPipelinesCreate();
RwBool RpMatFXPipelinesDestroy();
RwPipeline* RpMatFXGetAtomicPipeline();
RwPipeline* RpMatFXGetWorldSectorPipeline();

RwBool RpMatFXAtomicInstanceCallback(void* atomic, RpD3D9InstanceData* header, RwBool reinstance);
RwBool RpMatFXWorldSectorInstanceCallback(void* sector, RpD3D9InstanceData* header, RwBool reinstance);
void RpMatFXRenderCallback(RwResourceEntry* entry, void* object, RwUInt8 type, RwUInt32 flags);
// Binds an environment texture on the stage with its coordinate generation and texture matrix.
RwBool RpMatFXSetEnvMapTexture(RwTexture* texture, RwUInt32 stage, RwFrame* frame);

// What the pipelines found in the caps (for tests): the six pixel shaders are made, and the texture-stage
// forms that may be used.
struct RpMatFXD3D9Caps {
    RwBool pixelShaders;
    RwUInt32 maxBlendStages;
    RwBool multiTexture;
    RwBool multiplyAdd;
    RwBool modulate2x;
};
RpMatFXD3D9Caps RpMatFXGetD3D9Caps();
