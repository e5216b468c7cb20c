#include "rwsdk/driver/d3d9/nodeD3D9SubmitNoLight.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"
#include "rwsdk/src/pipe/p2/pipeline.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr RwUInt32 indexCapacity = 0xFFFF;
IDirect3DIndexBuffer9* indexBuffer = nullptr;
RwUInt32 indexPosition = 0;
void* fullDeclaration = nullptr;
void* texturedDeclaration = nullptr;
void* untexturedDeclaration = nullptr;
bool moduleOpen = false;
const RwIm3DTransformRecord* instanced = nullptr;

RwBool InstanceBody(RwPipelineNode*, const RwPipelineNodeParam* params) {
    instanced = static_cast<const RwIm3DTransformRecord*>(params->dataParam);
    return TRUE;
}

RwBool SubmitBody(RwPipelineNode*, const RwPipelineNodeParam* params) {
    const auto* request = static_cast<const RwIm3DRenderRecord*>(params->dataParam);
    if (!instanced || !request)
        return TRUE;
    // False only for a request that was refused (indices past the batch).
    return RwD3D9Im3DSubmit(instanced, request);
}

RwNodeDefinition instanceNode = _rwNodeDefinitionBody("ImmInstance.csl", InstanceBody);
RwNodeDefinition submitNode = _rwNodeDefinitionBody("nodeD3D9SubmitNoLight.csl", SubmitBody);

constexpr D3DPRIMITIVETYPE primitiveTypes[] = {D3DPRIMITIVETYPE(0), D3DPT_LINELIST,      D3DPT_LINESTRIP,
                                               D3DPT_TRIANGLELIST,  D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN};

RwUInt32 PrimitiveCount(RwInt32 type, RwUInt32 c) {
    switch (type) {
    case rwPRIMTYPELINELIST:
        return c / 2;
    case rwPRIMTYPEPOLYLINE:
        return c > 1 ? c - 1 : 0;
    case rwPRIMTYPETRILIST:
        return c / 3;
    case rwPRIMTYPETRISTRIP:
    case rwPRIMTYPETRIFAN:
        return c > 2 ? c - 2 : 0;
    default:
        return 0;
    }
}

struct TexturedVertex {
    RwV3d position;
    RwUInt32 color;
    RwReal u, v;
};
struct PlainVertex {
    RwV3d position;
    RwUInt32 color;
};

void CopyVertex(void* out, const RwIm3DVertex& in, bool textured) {
    if (textured)
        *static_cast<TexturedVertex*>(out) = {in.objVertex, in.color, in.u, in.v};
    else
        *static_cast<PlainVertex*>(out) = {in.objVertex, in.color};
}

bool CreateBuffers() {
    const D3DPOOL pool = RwD3D9HasHardwareTnL() ? D3DPOOL_DEFAULT : D3DPOOL_SYSTEMMEM;
    if (FAILED(RwD3D9Device->CreateIndexBuffer(indexCapacity * 2, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC,
                                               D3DFMT_INDEX16, pool, &indexBuffer, nullptr))) {
        indexBuffer = nullptr;
        return false;
    }
    indexPosition = 0;
    static const D3DVERTEXELEMENT9 full[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
        {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    static const D3DVERTEXELEMENT9 textured[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    static const D3DVERTEXELEMENT9 plain[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END()};
    RwD3D9CreateVertexDeclaration(full, &fullDeclaration);
    RwD3D9CreateVertexDeclaration(textured, &texturedDeclaration);
    RwD3D9CreateVertexDeclaration(plain, &untexturedDeclaration);
    return true;
}

void ReleaseBuffers() {
    for (void** d : {&fullDeclaration, &texturedDeclaration, &untexturedDeclaration}) {
        if (*d)
            RwD3D9DeleteVertexDeclaration(*d);
        *d = nullptr;
    }
    if (indexBuffer)
        indexBuffer->Release();
    indexBuffer = nullptr;
}

void FromUserMemory(D3DPRIMITIVETYPE type, RwUInt32 count, const RwIm3DTransformRecord* batch,
                    const RwIm3DRenderRecord* request, bool indexed) {
    RwD3D9SetVertexDeclaration(fullDeclaration);
    RwD3D9SetStreamSource(0, nullptr, 0, 0);
    if (indexed) {
        RwD3D9SetIndices(nullptr);
        RwD3D9DrawIndexedPrimitiveUP(type, 0, batch->numVerts, count, request->indices, batch->objVerts,
                                     sizeof(RwIm3DVertex));
    } else {
        RwD3D9DrawPrimitiveUP(type, count, batch->objVerts, sizeof(RwIm3DVertex));
    }
}

} // namespace

RwBool RwD3D9SubmitNoLightOpen() {
    // On another device there is nothing to draw with.
    if (!RwD3D9Device) {
        moduleOpen = true;
        return TRUE;
    }
    if (!CreateBuffers()) {
        ReleaseBuffers();
        return FALSE;
    }
    moduleOpen = true;
    return TRUE;
}

void RwD3D9SubmitNoLightClose() {
    ReleaseBuffers();
    moduleOpen = false;
}

void RwD3D9Im3DBuffersRelease() {
    if (moduleOpen)
        ReleaseBuffers();
}

RwBool RwD3D9Im3DBuffersRestore() {
    if (!moduleOpen)
        return TRUE;
    if (!CreateBuffers()) {
        ReleaseBuffers();
        return FALSE;
    }
    return TRUE;
}

RwBool RwD3D9Im3DSubmit(const RwIm3DTransformRecord* batch, const RwIm3DRenderRecord* request) {
    if (!RwD3D9Device)
        return TRUE;
    const bool textured = batch->flags & rwIM3D_VERTEXUV;
    const RwUInt32 stride = textured ? sizeof(TexturedVertex) : sizeof(PlainVertex);
    void* declaration = textured ? texturedDeclaration : untexturedDeclaration;

    RwD3D9SetVertexAlphaEnable(!(batch->flags & rwIM3D_ALLOPAQUE));
    RwD3D9SetTransformWorld(batch->matrix);
    RwD3D9SetRenderState(D3DRS_LIGHTING, 0);
    RwD3D9SetRenderState(D3DRS_NORMALIZENORMALS, 0);
    RwD3D9SetRenderState(D3DRS_CLIPPING, (batch->flags & rwIM3D_NOCLIP) ? 0 : 1);
    _rwD3D9SetStageForRaster();
    RwD3D9SetVertexDeclaration(declaration);
    RwD3D9SetVertexShader(nullptr);
    RwD3D9SetPixelShader(nullptr);

    const D3DPRIMITIVETYPE type = primitiveTypes[request->primType];
    const RwUInt32 n = batch->numVerts;
    const bool indexed = request->indices && request->numIndices > 0;
    const RwUInt32 count = PrimitiveCount(request->primType, indexed ? request->numIndices : n);
    if (count == 0)
        return TRUE;

    void* buffer = nullptr;
    void* data = nullptr;
    RwUInt32 base = 0;
    if (!indexed) {
        if (RwD3D9LockDynamicVertexBuffer(stride, n, &buffer, &data, &base)) {
            auto* out = static_cast<RwUInt8*>(data);
            for (RwUInt32 i = 0; i < n; ++i)
                CopyVertex(out + i * stride, batch->objVerts[i], textured);
            RwD3D9UnlockVertexBuffer(buffer);
            RwD3D9SetStreamSource(0, buffer, 0, stride);
            if (RwD3D9DrawPrimitive(type, base, count))
                return TRUE;
        }
        FromUserMemory(type, count, batch, request, false);
        return TRUE;
    }

    const RwUInt32 m = request->numIndices;
    // Indices past the batch would make the device read beyond the caller's vertices.
    for (RwUInt32 i = 0; i < m; ++i) {
        if (request->indices[i] >= n)
            return FALSE;
    }
    if (n < m || m > 8) {
        if (indexBuffer && m <= indexCapacity &&
            RwD3D9LockDynamicVertexBuffer(stride, n, &buffer, &data, &base)) {
            auto* out = static_cast<RwUInt8*>(data);
            for (RwUInt32 i = 0; i < n; ++i)
                CopyVertex(out + i * stride, batch->objVerts[i], textured);
            RwD3D9UnlockVertexBuffer(buffer);
            void* indexData = nullptr;
            HRESULT hr;
            if (indexPosition + m < 0x10000) {
                hr = indexBuffer->Lock(indexPosition * 2, m * 2, &indexData,
                                       D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK);
            } else {
                indexPosition = 0;
                hr = indexBuffer->Lock(0, m * 2, &indexData, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
            }
            if (SUCCEEDED(hr)) {
                std::memcpy(indexData, request->indices, m * 2);
                indexBuffer->Unlock();
                RwD3D9SetStreamSource(0, buffer, 0, stride);
                RwD3D9SetIndices(indexBuffer);
                const RwUInt32 start = indexPosition;
                indexPosition += m;
                if (RwD3D9DrawIndexedPrimitive(type, INT(base), 0, n, start, count))
                    return TRUE;
            }
        }
    } else if (RwD3D9LockDynamicVertexBuffer(stride, m, &buffer, &data, &base)) {
        auto* out = static_cast<RwUInt8*>(data);
        for (RwUInt32 i = 0; i < m; ++i)
            CopyVertex(out + i * stride, batch->objVerts[request->indices[i]], textured);
        RwD3D9UnlockVertexBuffer(buffer);
        RwD3D9SetStreamSource(0, buffer, 0, stride);
        if (RwD3D9DrawPrimitive(type, base, count))
            return TRUE;
    }
    FromUserMemory(type, count, batch, request, true);
    return TRUE;
}

RwNodeDefinition* RxNodeDefinitionGetD3D9ImmInstance() {
    return &instanceNode;
}

RwNodeDefinition* RxNodeDefinitionGetD3D9SubmitNoLight() {
    return &submitNode;
}

void RwD3D9Im3DInstall() {
    _rwIm3DSetDeviceFunctions({RwD3D9SubmitNoLightOpen, RwD3D9SubmitNoLightClose,
                               RxNodeDefinitionGetD3D9ImmInstance, RxNodeDefinitionGetD3D9SubmitNoLight});
}
