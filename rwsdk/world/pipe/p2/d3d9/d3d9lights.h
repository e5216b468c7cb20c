// Direct3D 9 lighting of atomics and world sectors: the per-light data, the pool of Direct3D light
// indices, the light records and the enabling of lights by difference with the previous object.
#pragma once

#include "rwsdk/src/plcore/types.h"
#include "rwsdk/world/balight.h"

struct RpAtomic;

// Per-light data (plugin 0x505 on lights).
struct RpD3D9LightData {
    RwInt32 index; // Direct3D light index; -1 until first used
    RwReal constant;
    RwReal linear;
    RwReal quadratic;
};

RwBool RpD3D9LightPluginAttach();
RpD3D9LightData* RpD3D9LightGetData(RpLight* light);

RwBool RpD3D9LightsOpen();
void RpD3D9LightsClose();
// True when any global light of the current world whose flags meet the mask was set.
RwBool RpD3D9LightsSetGlobal(RwUInt32 flagMask);
RwBool RpD3D9LightsSetDirectional(RpLight* light);
RwBool RpD3D9LightsSetLocal(RpLight* light);
void RpD3D9LightsEnable(RwBool any);
void RpD3D9AtomicDefaultLightingCallback(void* atomic);

// For tests: the pool's next new index and free stack size; the lights enabled for the last object.
RwInt32 _rpD3D9LightsGetNextIndex();
RwInt32 _rpD3D9LightsGetNumFree();
RwInt32 _rpD3D9LightsGetEnabled(const RwInt32** indices);
