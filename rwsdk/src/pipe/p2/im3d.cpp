#include "rwsdk/src/pipe/p2/im3d.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/pipe/p2/pipeline.h"
#include "rwsdk/src/plcore/error.h"

#include <cstring>

namespace {

RwModuleInfo im3DModule;

// Render pipeline slots by primitive type 1..6.
constexpr RwInt32 typeSlots = 7;

struct Im3DModuleData {
    RwPipeline* transformPipeline;
    RwPipeline* renderPipelines[typeSlots];
    RwPipeline* defaultTransformPipeline;
    RwPipeline* defaultRenderPipeline;
    RwIm3DTransformRecord batch;
    RwIm3DRenderRecord request;
    RwIm3DDeviceFunctions device; // the part opened, which the close releases
};

// Without a device: the transform keeps nothing and the render draws nothing.
RwBool NothingToDo(RwPipelineNode*, const RwPipelineNodeParam*) {
    return TRUE;
}
RwNodeDefinition keepNothingNode = _rwNodeDefinitionBody("ImmInstance.csl", NothingToDo);
RwNodeDefinition drawNothingNode = _rwNodeDefinitionBody("ImmSubmitNothing.csl", NothingToDo);
const RwIm3DDeviceFunctions noDevice = {[] { return RwBool(TRUE); }, [] {}, [] { return &keepNothingNode; },
                                        [] { return &drawNothingNode; }};
RwIm3DDeviceFunctions device = noDevice;

Im3DModuleData* Data() {
    return RWMODULEDATA(Im3DModuleData, im3DModule);
}

RwPipeline* OneNodePipeline(RwNodeDefinition* node) {
    RwPipeline* pipeline = RwPipelineCreate();
    if (!pipeline)
        return nullptr;
    if (!RwPipelineLock(pipeline) || !RwPipelineLockedAddFragment(pipeline, nullptr, node, nullptr) ||
        !RwPipelineUnlock(pipeline)) {
        RwPipelineDestroy(pipeline);
        return nullptr;
    }
    return pipeline;
}

void RestoreDefaults(Im3DModuleData* data) {
    data->transformPipeline = data->defaultTransformPipeline;
    for (RwInt32 type = rwPRIMTYPELINELIST; type <= rwPRIMTYPETRIFAN; ++type)
        data->renderPipelines[type] = data->defaultRenderPipeline;
    data->renderPipelines[rwPRIMTYPEPOINTLIST] = nullptr;
}

void* Close(void* instance, RwInt32 offset, RwInt32) {
    auto* data = RWPLUGINOFFSET(Im3DModuleData, instance, offset);
    RestoreDefaults(data);
    if (data->defaultTransformPipeline)
        RwPipelineDestroy(data->defaultTransformPipeline);
    if (data->defaultRenderPipeline)
        RwPipelineDestroy(data->defaultRenderPipeline);
    const RwIm3DDeviceFunctions opened = data->device;
    std::memset(static_cast<void*>(data), 0, sizeof *data);
    if (opened.close)
        opened.close();
    --im3DModule.numInstances;
    return instance;
}

void* Open(void* instance, RwInt32 offset, RwInt32 size) {
    im3DModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(Im3DModuleData, instance, offset);
    std::memset(static_cast<void*>(data), 0, sizeof *data);
    ++im3DModule.numInstances;
    if (!device.open()) {
        --im3DModule.numInstances;
        return nullptr;
    }
    data->device = device;
    data->defaultTransformPipeline = OneNodePipeline(device.transformNode());
    data->defaultRenderPipeline = OneNodePipeline(device.renderNode());
    if (!data->defaultTransformPipeline || !data->defaultRenderPipeline) {
        Close(instance, offset, size);
        return nullptr;
    }
    RestoreDefaults(data);
    return instance;
}

RwBool Render(RwPrimitiveType primType, RwImVertexIndex* indices, RwUInt32 numIndices) {
    Im3DModuleData* data = Data();
    if (!data->batch.objVerts) {
        RwErrorSetCode(35);
        return FALSE;
    }
    if (primType < rwPRIMTYPELINELIST || primType > rwPRIMTYPETRIFAN) {
        RwErrorSetCode(37);
        return FALSE;
    }
    RwUInt32 count = indices ? numIndices : data->batch.numVerts;
    if (primType == rwPRIMTYPELINELIST)
        count &= ~1u;
    else if (primType == rwPRIMTYPETRILIST)
        count -= count % 3;
    RwPipeline* pipeline = data->renderPipelines[primType];
    data->request = {pipeline, primType, indices, indices ? count : 0};
    RwUInt32 keptCount = data->batch.numVerts;
    if (!indices)
        data->batch.numVerts = count; // unindexed: the rounding applies to the vertices drawn
    // The heap stays as the transform left it: the batch's transformed data is still in use.
    const bool ok = pipeline && RwPipelineExecute(pipeline, &data->request, FALSE);
    data->batch.numVerts = keptCount;
    return ok ? TRUE : FALSE;
}

} // namespace

RwInt32 _rwIm3DModuleAttach() {
    device = noDevice;
    return RwEngineRegisterPlugin(sizeof(Im3DModuleData), rwID_IMMEDIATEMODULE, Open, Close);
}

void _rwIm3DSetDeviceFunctions(const RwIm3DDeviceFunctions& functions) {
    device = functions;
}

void* RwIm3DTransform(RwIm3DVertex* vertices, RwUInt32 numVertices, const RwMatrix* ltm, RwUInt32 flags) {
    if (numVertices > rwIm3DMaxVertices) {
        RwErrorSetCode(50);
        return nullptr;
    }
    Im3DModuleData* data = Data();
    data->batch = {numVertices, vertices, sizeof(RwIm3DVertex), flags | rwIM3D_VERTEXXYZ | rwIM3D_VERTEXRGBA,
                   ltm};
    if (!data->transformPipeline || !RwPipelineExecute(data->transformPipeline, &data->batch, TRUE)) {
        data->batch = {};
        return nullptr;
    }
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

RwPipeline* RwIm3DSetTransformPipeline(RwPipeline* pipeline) {
    Im3DModuleData* data = Data();
    data->transformPipeline = pipeline ? pipeline : data->defaultTransformPipeline;
    return data->transformPipeline;
}

RwPipeline* RwIm3DGetTransformPipeline() {
    return Data()->transformPipeline;
}

RwPipeline* RwIm3DSetRenderPipeline(RwPipeline* pipeline, RwPrimitiveType primType) {
    if (primType < rwPRIMTYPELINELIST || primType > rwPRIMTYPEPOINTLIST) {
        RwErrorSetCode(37);
        return nullptr;
    }
    Im3DModuleData* data = Data();
    if (pipeline)
        data->renderPipelines[primType] = pipeline;
    else
        data->renderPipelines[primType] =
            primType == rwPRIMTYPEPOINTLIST ? nullptr : data->defaultRenderPipeline;
    return data->renderPipelines[primType];
}

RwPipeline* RwIm3DGetRenderPipeline(RwPrimitiveType primType) {
    if (primType < rwPRIMTYPELINELIST || primType > rwPRIMTYPEPOINTLIST)
        return nullptr;
    return Data()->renderPipelines[primType];
}
