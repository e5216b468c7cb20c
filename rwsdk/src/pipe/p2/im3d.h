// Immediate-mode 3D: a caller hands over a vertex array and an optional matrix, draws primitives from it any
// number of times, and closes the batch.
#pragma once

#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/renderstate.h"

// 36 bytes: object-space position, normal, colour (ARGB), texture coordinates.
struct RwIm3DVertex {
    RwV3d objVertex;
    RwV3d objNormal;
    RwUInt32 color;
    RwReal u;
    RwReal v;
};
static_assert(sizeof(RwIm3DVertex) == 36);

enum RwIm3DTransformFlags : RwUInt32 {
    rwIM3D_VERTEXUV = 0x01,  // textured
    rwIM3D_ALLOPAQUE = 0x02, // no vertex alpha
    rwIM3D_NOCLIP = 0x04,    // no clipping
    rwIM3D_VERTEXXYZ = 0x08,
    rwIM3D_VERTEXRGBA = 0x10,
};

constexpr RwUInt32 rwIm3DMaxVertices = 65536;

// The open batch. The count is a full word: 65536 vertices are allowed, and 16-bit indices reach them all.
struct RwIm3DTransformRecord {
    RwUInt32 numVerts;
    RwIm3DVertex* objVerts;
    RwUInt32 stride;
    RwUInt32 flags;
    const RwMatrix* matrix;
};

struct RwIm3DRenderRecord {
    void* pipeline;
    RwPrimitiveType primType;
    RwImVertexIndex* indices;
    RwUInt32 numIndices;
};

// Registers the module with the engine (plugin id 0x40A); the offset, or -1. The device's part goes back to
// none, for the driver's attach to install its own.
RwInt32 _rwIm3DModuleAttach();

struct RwNodeDefinition;
// The device's part of the module, which the driver installs: what the module's open makes and its close
// releases, and the nodes of the default transform and render pipelines. Without one, batches are kept and
// draw nothing.
struct RwIm3DDeviceFunctions {
    RwBool (*open)();
    void (*close)();
    RwNodeDefinition* (*transformNode)();
    RwNodeDefinition* (*renderNode)();
};
void _rwIm3DSetDeviceFunctions(const RwIm3DDeviceFunctions& functions);

void* RwIm3DTransform(RwIm3DVertex* vertices, RwUInt32 numVertices, const RwMatrix* ltm, RwUInt32 flags);
RwBool RwIm3DRenderPrimitive(RwPrimitiveType primType);
RwBool RwIm3DRenderIndexedPrimitive(RwPrimitiveType primType, RwImVertexIndex* indices, RwInt32 numIndices);
RwBool RwIm3DRenderLine(RwInt32 vert1, RwInt32 vert2);
RwBool RwIm3DRenderTriangle(RwInt32 vert1, RwInt32 vert2, RwInt32 vert3);
RwBool RwIm3DEnd();

struct RwPipeline;
// Null restores the default; the pipeline in use is returned.
RwPipeline* RwIm3DSetTransformPipeline(RwPipeline* pipeline);
RwPipeline* RwIm3DGetTransformPipeline();
RwPipeline* RwIm3DSetRenderPipeline(RwPipeline* pipeline, RwPrimitiveType primType);
RwPipeline* RwIm3DGetRenderPipeline(RwPrimitiveType primType);
