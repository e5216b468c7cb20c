// Vertex buffers: static geometry shares large managed buffers per stride, handed out as byte ranges;
// per-frame vertices go into dynamic buffers, most into four rotating 256 KB buffers appended to with
// no-overwrite locks and discarded when full.
#pragma once

#include "rwsdk/src/plcore/types.h"

#include <d3d9.h>

RwBool RwD3D9CreateVertexBuffer(RwUInt32 stride, RwUInt32 size, void** vertexBuffer, RwUInt32* offset);
void RwD3D9DestroyVertexBuffer(RwUInt32 stride, RwUInt32 size, void* vertexBuffer, RwUInt32 offset);
RwBool RwD3D9CreateDynamicVertexBuffer(RwUInt32 size, void** vertexBuffer);
void RwD3D9DestroyDynamicVertexBuffer(void* vertexBuffer);
RwBool RwD3D9LockDynamicVertexBuffer(RwUInt32 vertexSize, RwUInt32 numVertices, void** vertexBuffer,
                                     void** vertexData, RwUInt32* baseIndex);
RwBool RwD3D9UnlockVertexBuffer(void* vertexBuffer);

RwBool RwD3D9VertexBufferManagerOpen();
void RwD3D9VertexBufferManagerClose();
void RwD3D9DynamicVertexBuffersRelease();
RwBool RwD3D9DynamicVertexBuffersRestore();
void RwD3D9DynamicVertexBuffersNextFrame();

// For tests: a stride's free areas as (buffer, offset, size), newest first; the rotating slots.
struct RwD3D9FreeArea {
    void* vertexBuffer;
    RwUInt32 offset;
    RwUInt32 size;
};
RwInt32 RwD3D9GetFreeAreas(RwUInt32 stride, RwD3D9FreeArea* out, RwInt32 max);
struct RwD3D9RotatingSlot {
    RwUInt32 offset;
    RwUInt32 size;
    void* vertexBuffer;
};
RwD3D9RotatingSlot RwD3D9GetRotatingSlot(RwInt32 slot);
RwInt32 RwD3D9GetCurrentRotatingSlot();
