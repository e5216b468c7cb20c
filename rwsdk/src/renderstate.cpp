#include "rwsdk/src/renderstate.h"

#include "rwsdk/src/engine.h"

RwBool RwRenderStateSet(RwRenderState state, void* value) {
    return RwEngineInstance && RWSRCGLOBAL(dOpenDevice).fpRenderStateSet(state, value);
}

RwBool RwRenderStateGet(RwRenderState state, void* value) {
    return RwEngineInstance && RWSRCGLOBAL(dOpenDevice).fpRenderStateGet(state, value);
}

RwBool RwIm2DRenderLine(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1, RwInt32 vert2) {
    return RwEngineInstance && RWSRCGLOBAL(dOpenDevice).fpIm2DRenderLine(vertices, numVertices, vert1, vert2);
}

RwBool RwIm2DRenderTriangle(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1, RwInt32 vert2,
                            RwInt32 vert3) {
    return RwEngineInstance &&
           RWSRCGLOBAL(dOpenDevice).fpIm2DRenderTriangle(vertices, numVertices, vert1, vert2, vert3);
}

RwBool RwIm2DRenderPrimitive(RwPrimitiveType primType, RwIm2DVertex* vertices, RwInt32 numVertices) {
    return RwEngineInstance &&
           RWSRCGLOBAL(dOpenDevice).fpIm2DRenderPrimitive(primType, vertices, numVertices);
}

RwBool RwIm2DRenderIndexedPrimitive(RwPrimitiveType primType, RwIm2DVertex* vertices, RwInt32 numVertices,
                                    RwImVertexIndex* indices, RwInt32 numIndices) {
    return RwEngineInstance &&
           RWSRCGLOBAL(dOpenDevice)
               .fpIm2DRenderIndexedPrimitive(primType, vertices, numVertices, indices, numIndices);
}
