// Screen-space drawing from arrays of pre-transformed vertices: the device record's 2D routines.
#pragma once

#include "rwsdk/src/renderstate.h"

RwBool _rwD3D9Im2DRenderLine(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1, RwInt32 vert2);
RwBool _rwD3D9Im2DRenderTriangle(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1, RwInt32 vert2,
                                 RwInt32 vert3);
RwBool _rwD3D9Im2DRenderPrimitive(RwPrimitiveType primType, RwIm2DVertex* vertices, RwInt32 numVertices);
RwBool _rwD3D9Im2DRenderIndexedPrimitive(RwPrimitiveType primType, RwIm2DVertex* vertices,
                                         RwInt32 numVertices, RwImVertexIndex* indices, RwInt32 numIndices);

// Buffers and declaration: made at device start and after a reset, released at stop and before a reset.
RwBool RwIm2DOpen();
void RwIm2DClose();
