#include "rwsdk/src/renderstate.h"

#include "rwsdk/src/engine.h"

RwBool RwRenderStateSetThroughDevice(RwRenderState state, void* value) {
    return RWSRCGLOBAL(dOpenDevice).fpRenderStateSet(state, value);
}

RwBool RwRenderStateGetThroughDevice(RwRenderState state, void* value) {
    return RWSRCGLOBAL(dOpenDevice).fpRenderStateGet(state, value);
}

RwBool RwIm2DRenderLineThroughDevice(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1,
                                     RwInt32 vert2) {
    return RWSRCGLOBAL(dOpenDevice).fpIm2DRenderLine(vertices, numVertices, vert1, vert2);
}

RwBool RwIm2DRenderTriangleThroughDevice(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1,
                                         RwInt32 vert2, RwInt32 vert3) {
    return RWSRCGLOBAL(dOpenDevice).fpIm2DRenderTriangle(vertices, numVertices, vert1, vert2, vert3);
}

RwBool RwIm2DRenderPrimitiveThroughDevice(RwPrimitiveType primType, RwIm2DVertex* vertices,
                                          RwInt32 numVertices) {
    return RWSRCGLOBAL(dOpenDevice).fpIm2DRenderPrimitive(primType, vertices, numVertices);
}

RwBool RwIm2DRenderIndexedPrimitiveThroughDevice(RwPrimitiveType primType, RwIm2DVertex* vertices,
                                                 RwInt32 numVertices, RwImVertexIndex* indices,
                                                 RwInt32 numIndices) {
    return RWSRCGLOBAL(dOpenDevice)
        .fpIm2DRenderIndexedPrimitive(primType, vertices, numVertices, indices, numIndices);
}
