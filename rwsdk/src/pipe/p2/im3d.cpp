#include "rwsdk/src/pipe/p2/im3d.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/pipe/p2/d3d9/nodeD3D9SubmitNoLight.h"
#include "rwsdk/src/plcore/error.h"

#include <cstring>

namespace {

RwModuleInfo im3DModule;

struct Im3DModuleData {
    RwIm3DTransformRecord batch;
    RwIm3DRenderRecord request;
};

Im3DModuleData* Data() {
    return RWMODULEDATA(Im3DModuleData, im3DModule);
}

void SetError(RwInt32 code) {
    RwError error = {1, code};
    RwErrorSet(&error);
}

void* Open(void* instance, RwInt32 offset, RwInt32) {
    im3DModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(Im3DModuleData, instance, offset);
    std::memset(static_cast<void*>(data), 0, sizeof *data);
    if (!RwD3D9SubmitNoLightOpen())
        return nullptr;
    ++im3DModule.numInstances;
    return instance;
}

void* Close(void* instance, RwInt32, RwInt32) {
    RwD3D9SubmitNoLightClose();
    --im3DModule.numInstances;
    return instance;
}

RwBool Render(RwPrimitiveType primType, RwImVertexIndex* indices, RwUInt32 numIndices) {
    Im3DModuleData* data = Data();
    if (!data->batch.objVerts) {
        SetError(35);
        return FALSE;
    }
    if (primType < rwPRIMTYPELINELIST || primType > rwPRIMTYPETRIFAN) {
        SetError(37);
        return FALSE;
    }
    RwUInt32 count = indices ? numIndices : data->batch.numVerts;
    if (primType == rwPRIMTYPELINELIST)
        count &= ~1u;
    else if (primType == rwPRIMTYPETRILIST)
        count -= count % 3;
    data->request = {nullptr, primType, indices, indices ? count : 0};
    if (!indices && count != data->batch.numVerts) {
        // Unindexed: the rounding applies to the vertices drawn.
        RwIm3DTransformRecord trimmed = data->batch;
        trimmed.numVerts = count;
        return RwD3D9Im3DSubmit(&trimmed, &data->request);
    }
    return RwD3D9Im3DSubmit(&data->batch, &data->request);
}

} // namespace

RwInt32 _rwIm3DModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(Im3DModuleData), rwID_IMMEDIATEMODULE, Open, Close);
}

void* RwIm3DTransform(RwIm3DVertex* vertices, RwUInt32 numVertices, const RwMatrix* ltm, RwUInt32 flags) {
    if (numVertices > rwIm3DMaxVertices) {
        SetError(50);
        return nullptr;
    }
    Im3DModuleData* data = Data();
    data->batch = {numVertices, vertices, sizeof(RwIm3DVertex), flags | rwIM3D_VERTEXXYZ | rwIM3D_VERTEXRGBA,
                   ltm};
    return vertices;
}

RwBool RwIm3DRenderPrimitive(RwPrimitiveType primType) {
    return Render(primType, nullptr, 0);
}

RwBool RwIm3DRenderIndexedPrimitive(RwPrimitiveType primType, RwImVertexIndex* indices, RwInt32 numIndices) {
    if (numIndices < 0)
        return FALSE;
    return Render(primType, indices, RwUInt32(numIndices));
}

RwBool RwIm3DRenderLine(RwInt32 vert1, RwInt32 vert2) {
    RwImVertexIndex indices[] = {RwImVertexIndex(vert1), RwImVertexIndex(vert2)};
    return Render(rwPRIMTYPELINELIST, indices, 2);
}

RwBool RwIm3DRenderTriangle(RwInt32 vert1, RwInt32 vert2, RwInt32 vert3) {
    RwImVertexIndex indices[] = {RwImVertexIndex(vert1), RwImVertexIndex(vert2), RwImVertexIndex(vert3)};
    return Render(rwPRIMTYPETRILIST, indices, 3);
}

RwBool RwIm3DEnd() {
    Im3DModuleData* data = Data();
    if (!data->batch.objVerts)
        return FALSE;
    data->batch = {};
    data->request = {};
    return TRUE;
}
