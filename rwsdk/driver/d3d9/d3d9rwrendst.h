// The engine render states (RwRenderState) on Direct3D 9: each maps onto the cached device states and keeps
// the engine-level value that the get routine returns.
#pragma once

#include "rwsdk/src/renderstate.h"

RwBool _rwD3D9RenderStateSet(RwRenderState state, void* value);
RwBool _rwD3D9RenderStateGet(RwRenderState state, void* value);

RwBool RwD3D9SetSourceBlend(RwUInt32 blend);
RwBool RwD3D9SetDestinationBlend(RwUInt32 blend);
void RwD3D9SetVertexAlphaEnable(RwBool enable);
RwBool RwD3D9IsVertexAlphaEnabled();
