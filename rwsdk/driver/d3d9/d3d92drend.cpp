#include "rwsdk/driver/d3d9/d3d92drend.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"

#include <cstring>

namespace {

constexpr RwUInt32 vertexStride = sizeof(RwIm2DVertex);
constexpr RwUInt32 ownBufferBytes = 0x40000;
constexpr RwUInt32 ownBufferVertices = ownBufferBytes / vertexStride; // 9362
constexpr RwUInt32 indexCapacity = 10000;
constexpr DWORD bufferUsage = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_DONOTCLIP;

IDirect3DVertexBuffer9* ownBuffer = nullptr;
bool haveOwnBuffer = false;
IDirect3DVertexBuffer9* streamBuffer = nullptr; // the buffer the last vertices went into
RwUInt32 vertexPosition = 0;
IDirect3DIndexBuffer9* indexBuffer = nullptr;
RwUInt32 indexPosition = 0;
void* declaration = nullptr;

constexpr D3DPRIMITIVETYPE primitiveTypes[] = {D3DPRIMITIVETYPE(0), D3DPT_LINELIST,      D3DPT_LINESTRIP,
                                               D3DPT_TRIANGLELIST,  D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN};

RwUInt32 PrimitiveCount(RwInt32 type, RwInt32 n) {
    switch (type) {
    case rwPRIMTYPELINELIST:
        return RwUInt32(n / 2);
    case rwPRIMTYPEPOLYLINE:
        return n > 1 ? RwUInt32(n - 1) : 0;
    case rwPRIMTYPETRILIST:
        return RwUInt32(n / 3);
    case rwPRIMTYPETRISTRIP:
    case rwPRIMTYPETRIFAN:
        return n > 2 ? RwUInt32(n - 2) : 0;
    default:
        return 0;
    }
}

// Room for n vertices; the data pointer, with vertexPosition the first one's index.
RwIm2DVertex* Lock(RwUInt32 n) {
    void* data = nullptr;
    if (haveOwnBuffer) {
        if (vertexPosition + n < ownBufferVertices + 1) {
            if (FAILED(ownBuffer->Lock(vertexPosition * vertexStride, n * vertexStride, &data,
                                       D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK)))
                return nullptr;
        } else {
            vertexPosition = 0;
            if (FAILED(ownBuffer->Lock(0, n * vertexStride, &data, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK)))
                return nullptr;
        }
        streamBuffer = ownBuffer;
        return static_cast<RwIm2DVertex*>(data);
    }
    void* buffer = nullptr;
    RwUInt32 base = 0;
    if (!RwD3D9LockDynamicVertexBuffer(vertexStride, n, &buffer, &data, &base))
        return nullptr;
    vertexPosition = base;
    streamBuffer = static_cast<IDirect3DVertexBuffer9*>(buffer);
    return static_cast<RwIm2DVertex*>(data);
}

void Unlock() {
    streamBuffer->Unlock();
}

// The current camera raster's sub-raster offset, or none.
bool Offset(RwBool allowContext, RwReal& dx, RwReal& dy) {
    RwRaster* raster = nullptr;
    if (RwCamera* camera = RWSRCGLOBAL(curCamera))
        raster = camera->frameBuffer;
    else if (allowContext)
        raster = RwRasterGetCurrentContext();
    if (!raster || (raster->nOffsetX == 0 && raster->nOffsetY == 0))
        return false;
    dx = RwReal(raster->nOffsetX);
    dy = RwReal(raster->nOffsetY);
    return true;
}

void Copy(RwIm2DVertex* out, const RwIm2DVertex& in, bool shift, RwReal dx, RwReal dy) {
    *out = in;
    if (shift) {
        out->x += dx;
        out->y += dy;
    }
}

void SetUp() {
    RwD3D9SetVertexDeclaration(declaration);
    RwD3D9SetVertexShader(nullptr);
    RwD3D9SetPixelShader(nullptr);
    RwD3D9SetRenderState(D3DRS_CLIPPING, 0);
    RwD3D9SetRenderState(D3DRS_LIGHTING, 0);
    _rwD3D9SetStageForRaster();
    RwD3D9SetStreamSource(0, streamBuffer, 0, vertexStride);
    RwD3D9RenderStateFlushCache();
}

bool DrawChosen(RwIm2DVertex* vertices, RwInt32 numVertices, const RwInt32* chosen, RwInt32 count,
                D3DPRIMITIVETYPE type) {
    for (RwInt32 i = 0; i < count; ++i) {
        if (chosen[i] < 0 || chosen[i] >= numVertices)
            return false;
    }
    RwReal dx = 0, dy = 0;
    const bool shift = Offset(FALSE, dx, dy);
    RwIm2DVertex* out = Lock(RwUInt32(count));
    if (!out)
        return false;
    for (RwInt32 i = 0; i < count; ++i)
        Copy(&out[i], vertices[chosen[i]], shift, dx, dy);
    Unlock();
    SetUp();
    const HRESULT hr = RwD3D9Device->DrawPrimitive(type, vertexPosition, 1);
    vertexPosition += RwUInt32(count);
    return SUCCEEDED(hr);
}

} // namespace

RwBool RwIm2DOpen() {
    vertexPosition = 0;
    indexPosition = 0;
    haveOwnBuffer = false;
    if (!RwD3D9HasHardwareTnL() && RwD3D9Device->GetAvailableTextureMem() > 0x800000) {
        haveOwnBuffer = SUCCEEDED(RwD3D9Device->CreateVertexBuffer(ownBufferBytes, bufferUsage, 0,
                                                                   D3DPOOL_DEFAULT, &ownBuffer, nullptr));
    }
    if (FAILED(RwD3D9Device->CreateIndexBuffer(indexCapacity * 2, bufferUsage, D3DFMT_INDEX16,
                                               D3DPOOL_DEFAULT, &indexBuffer, nullptr))) {
        indexBuffer = nullptr;
        RwIm2DClose();
        return FALSE;
    }
    static const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
        {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        {0, 20, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    if (!RwD3D9CreateVertexDeclaration(elements, &declaration)) {
        RwIm2DClose();
        return FALSE;
    }
    return TRUE;
}

void RwIm2DClose() {
    if (declaration)
        RwD3D9DeleteVertexDeclaration(declaration);
    declaration = nullptr;
    if (ownBuffer)
        ownBuffer->Release();
    ownBuffer = nullptr;
    haveOwnBuffer = false;
    if (indexBuffer)
        indexBuffer->Release();
    indexBuffer = nullptr;
    streamBuffer = nullptr;
}

RwBool _rwD3D9Im2DRenderLine(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1, RwInt32 vert2) {
    const RwInt32 chosen[] = {vert1, vert2};
    return DrawChosen(vertices, numVertices, chosen, 2, D3DPT_LINELIST) ? TRUE : FALSE;
}

RwBool _rwD3D9Im2DRenderTriangle(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1, RwInt32 vert2,
                                 RwInt32 vert3) {
    const RwInt32 chosen[] = {vert1, vert2, vert3};
    return DrawChosen(vertices, numVertices, chosen, 3, D3DPT_TRIANGLELIST) ? TRUE : FALSE;
}

RwBool _rwD3D9Im2DRenderPrimitive(RwPrimitiveType primType, RwIm2DVertex* vertices, RwInt32 numVertices) {
    const RwUInt32 count = PrimitiveCount(primType, numVertices);
    if (count == 0 || primType < rwPRIMTYPELINELIST || primType > rwPRIMTYPETRIFAN)
        return FALSE;
    RwReal dx = 0, dy = 0;
    const bool shift = Offset(TRUE, dx, dy);
    RwIm2DVertex* out = Lock(RwUInt32(numVertices));
    if (!out)
        return FALSE;
    if (shift) {
        for (RwInt32 i = 0; i < numVertices; ++i)
            Copy(&out[i], vertices[i], true, dx, dy);
    } else {
        std::memcpy(out, vertices, size_t(numVertices) * vertexStride);
    }
    Unlock();
    SetUp();
    const HRESULT hr = RwD3D9Device->DrawPrimitive(primitiveTypes[primType], vertexPosition, count);
    vertexPosition += RwUInt32(numVertices);
    return SUCCEEDED(hr) ? TRUE : FALSE;
}

RwBool _rwD3D9Im2DRenderIndexedPrimitive(RwPrimitiveType primType, RwIm2DVertex* vertices,
                                         RwInt32 numVertices, RwImVertexIndex* indices, RwInt32 numIndices) {
    const RwUInt32 count = PrimitiveCount(primType, numIndices);
    if (count == 0 || primType < rwPRIMTYPELINELIST || primType > rwPRIMTYPETRIFAN)
        return FALSE;
    RwReal dx = 0, dy = 0;
    const bool shift = Offset(FALSE, dx, dy);
    if (numVertices < numIndices) {
        if (RwUInt32(numIndices) > indexCapacity || !indexBuffer)
            return FALSE;
        RwIm2DVertex* out = Lock(RwUInt32(numVertices));
        if (!out)
            return FALSE;
        for (RwInt32 i = 0; i < numVertices; ++i)
            Copy(&out[i], vertices[i], shift, dx, dy);
        Unlock();
        void* data = nullptr;
        HRESULT hr;
        if (indexPosition + RwUInt32(numIndices) < indexCapacity + 1) {
            hr = indexBuffer->Lock(indexPosition * 2, RwUInt32(numIndices) * 2, &data,
                                   D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK);
        } else {
            indexPosition = 0;
            hr = indexBuffer->Lock(0, RwUInt32(numIndices) * 2, &data, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
        }
        if (FAILED(hr))
            return FALSE;
        std::memcpy(data, indices, size_t(numIndices) * 2);
        indexBuffer->Unlock();
        RwD3D9SetIndices(indexBuffer);
        SetUp();
        hr = RwD3D9Device->DrawIndexedPrimitive(primitiveTypes[primType], INT(vertexPosition), 0,
                                                RwUInt32(numVertices), indexPosition, count);
        indexPosition += RwUInt32(numIndices);
        vertexPosition += RwUInt32(numVertices);
        return SUCCEEDED(hr) ? TRUE : FALSE;
    }
    // Indices beyond the vertices would read past the caller's array.
    for (RwInt32 i = 0; i < numIndices; ++i) {
        if (indices[i] >= numVertices)
            return FALSE;
    }
    RwIm2DVertex* out = Lock(RwUInt32(numIndices));
    if (!out)
        return FALSE;
    for (RwInt32 i = 0; i < numIndices; ++i)
        Copy(&out[i], vertices[indices[i]], shift, dx, dy);
    Unlock();
    SetUp();
    const HRESULT hr = RwD3D9Device->DrawPrimitive(primitiveTypes[primType], vertexPosition, count);
    vertexPosition += RwUInt32(numIndices);
    return SUCCEEDED(hr) ? TRUE : FALSE;
}
