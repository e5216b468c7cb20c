#include "rwsdk/driver/d3d9/d3d9cache.h"

#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"

#include <cstring>

namespace {

constexpr RwUInt32 transformSlots = 260;
constexpr RwUInt32 worldState = 256;
constexpr RwInt32 streamCount = 4;
void* const unknownPointer = reinterpret_cast<void*>(~uintptr_t(0));

struct StreamRecord {
    void* buffer;
    RwUInt32 offset;
    RwUInt32 stride;
};
StreamRecord streams[streamCount];

RwUInt32 cachedFVF = rwD3D9UnknownValue;
void* cachedDeclaration = unknownPointer;
void* cachedVertexShader = unknownPointer;
void* cachedPixelShader = unknownPointer;
void* cachedIndices = nullptr;

IDirect3DSurface9* cachedRenderTargets[4];
IDirect3DSurface9* cachedDepthStencil;

D3DMATRIX* transforms[transformSlots];
RwFreeList* matrixFreeList = nullptr;

bool worldIsIdentity = false;

struct LightEntry {
    D3DLIGHT9 light;
    RwUInt32 enabled;
};
static_assert(sizeof(LightEntry) == 108);
LightEntry* lights = nullptr;
RwInt32 lightCount = 0;

D3DMATERIAL9 lastMaterial;
bool haveMaterial = false;

// Inputs of the last surface-property call.
struct SurfaceInputs {
    RwReal ambient;
    RwReal diffuse;
    RwRGBA color;
    RwUInt32 flags;
    RwReal light[3];
};
SurfaceInputs lastSurface;
bool haveSurface = false;
RwUInt32 lastSurfaceAmbient = 0; // the D3DRS_AMBIENT that the last surface set

struct DeclarationEntry {
    IDirect3DVertexDeclaration9* declaration;
    RwUInt32 elementCount; // with the end element
    D3DVERTEXELEMENT9* elements;
};
DeclarationEntry* declarations = nullptr;
RwInt32 declarationCount = 0;
RwInt32 declarationCapacity = 0;

const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

bool SameWords(const void* a, const void* b, size_t bytes) {
    return std::memcmp(a, b, bytes) == 0;
}

bool SameLight(const D3DLIGHT9& a, const D3DLIGHT9& b) {
    if (a.Type != b.Type || !SameWords(&a.Diffuse, &b.Diffuse, 3 * sizeof(float)))
        return false;
    switch (a.Type) {
    case D3DLIGHT_POINT:
        return SameWords(&a.Position, &b.Position, sizeof a.Position) && SameWords(&a.Range, &b.Range, 4);
    case D3DLIGHT_SPOT:
        return SameWords(&a.Position, &b.Position, sizeof a.Position) &&
               SameWords(&a.Direction, &b.Direction, sizeof a.Direction) &&
               SameWords(&a.Range, &b.Range, 4) && SameWords(&a.Theta, &b.Theta, 4) &&
               SameWords(&a.Phi, &b.Phi, 4);
    case D3DLIGHT_DIRECTIONAL:
        return SameWords(&a.Direction, &b.Direction, sizeof a.Direction);
    default:
        return true;
    }
}

bool GrowLights(RwInt32 index) {
    if (index < lightCount)
        return true;
    auto* grown =
        static_cast<LightEntry*>(RwRealloc(lights, sizeof(LightEntry) * size_t(index + 1), 0x1030411));
    if (!grown)
        return false;
    for (RwInt32 i = lightCount; i <= index; ++i) {
        std::memset(&grown[i], 0, sizeof grown[i]);
    }
    lights = grown;
    lightCount = index + 1;
    return true;
}

// The slot of a transform state, taken from the free list the first time it is set.
D3DMATRIX* TransformSlot(RwUInt32 state) {
    D3DMATRIX*& slot = transforms[state];
    if (!slot) {
        if (!matrixFreeList)
            matrixFreeList = RwFreeListCreate(sizeof(D3DMATRIX), 15, 16, 0x30411);
        slot =
            matrixFreeList ? static_cast<D3DMATRIX*>(RwFreeListEntryAlloc(matrixFreeList, 0x30411)) : nullptr;
    }
    return slot;
}

RwBool StoreAndSend(RwUInt32 state, const D3DMATRIX& m) {
    D3DMATRIX* slot = TransformSlot(state);
    if (!slot)
        return FALSE;
    *slot = m;
    return SUCCEEDED(RwD3D9Device->SetTransform(D3DTRANSFORMSTATETYPE(state), &m)) ? TRUE : FALSE;
}

} // namespace

// The world matrix has one cache, slot 256, whichever of the two calls sets it: the device always holds
// what the slot says.
RwBool RwD3D9SetTransform(RwUInt32 state, const void* matrix) {
    if (state >= transformSlots)
        return FALSE;
    const D3DMATRIX* m = matrix ? static_cast<const D3DMATRIX*>(matrix) : &identity;
    const D3DMATRIX* slot = transforms[state];
    const bool same = slot && SameWords(slot, m, sizeof(D3DMATRIX));
    if (state == worldState)
        worldIsIdentity = SameWords(m, &identity, sizeof identity);
    return same ? TRUE : StoreAndSend(state, *m);
}

void RwD3D9GetTransform(RwUInt32 state, void* matrix) {
    if (!matrix || state >= transformSlots)
        return;
    *static_cast<D3DMATRIX*>(matrix) = transforms[state] ? *transforms[state] : identity;
}

RwBool RwD3D9SetTransformWorld(const RwMatrix* matrix) {
    if (!matrix || (matrix->flags & rwMATRIXINTERNALIDENTITY)) {
        if (worldIsIdentity)
            return TRUE;
        worldIsIdentity = true;
        return StoreAndSend(worldState, identity);
    }
    const D3DMATRIX m = {{{matrix->right.x, matrix->right.y, matrix->right.z, 0.0f, matrix->up.x,
                           matrix->up.y, matrix->up.z, 0.0f, matrix->at.x, matrix->at.y, matrix->at.z, 0.0f,
                           matrix->pos.x, matrix->pos.y, matrix->pos.z, 1.0f}}};
    const D3DMATRIX* slot = transforms[worldState];
    if (!worldIsIdentity && slot && SameWords(&m, slot, sizeof m))
        return TRUE;
    worldIsIdentity = false;
    return StoreAndSend(worldState, m);
}

void RwD3D9SetStreamSource(RwUInt32 stream, void* vertexBuffer, RwUInt32 offset, RwUInt32 stride) {
    if (stream >= RwUInt32(streamCount))
        return;
    StreamRecord& s = streams[stream];
    if (s.buffer == vertexBuffer && s.offset == offset && s.stride == stride)
        return;
    s = {vertexBuffer, offset, stride};
    RwD3D9Device->SetStreamSource(stream, static_cast<IDirect3DVertexBuffer9*>(vertexBuffer), offset, stride);
}

void RwD3D9SetStreams(const RwD3D9VertexStream streams2[2], RwBool useOffsets) {
    for (RwUInt32 i = 0; i < 2; ++i) {
        const RwD3D9VertexStream& in = streams2[i];
        StreamRecord& s = streams[i];
        if (!in.vertexBuffer) {
            if (s.buffer) {
                s = {nullptr, 0, 0};
                RwD3D9Device->SetStreamSource(i, nullptr, 0, 0);
            }
            continue;
        }
        const RwUInt32 offset = useOffsets ? in.offset : 0;
        if (s.buffer == in.vertexBuffer && s.offset == offset && s.stride == in.stride)
            continue;
        s = {in.vertexBuffer, offset, in.stride};
        RwD3D9Device->SetStreamSource(i, static_cast<IDirect3DVertexBuffer9*>(in.vertexBuffer), offset,
                                      in.stride);
    }
}

void RwD3D9SetIndices(void* indexBuffer) {
    if (cachedIndices == indexBuffer)
        return;
    cachedIndices = indexBuffer;
    RwD3D9Device->SetIndices(static_cast<IDirect3DIndexBuffer9*>(indexBuffer));
}

void RwD3D9SetFVF(RwUInt32 fvf) {
    if (cachedFVF == fvf)
        return;
    cachedDeclaration = unknownPointer;
    cachedFVF = SUCCEEDED(RwD3D9Device->SetFVF(fvf)) ? fvf : rwD3D9UnknownValue;
}

void RwD3D9SetVertexDeclaration(void* declaration) {
    if (cachedDeclaration == declaration)
        return;
    cachedFVF = rwD3D9UnknownValue;
    cachedDeclaration =
        SUCCEEDED(RwD3D9Device->SetVertexDeclaration(static_cast<IDirect3DVertexDeclaration9*>(declaration)))
            ? declaration
            : unknownPointer;
}

void RwD3D9SetVertexShader(void* shader) {
    if (cachedVertexShader == shader)
        return;
    cachedVertexShader =
        SUCCEEDED(RwD3D9Device->SetVertexShader(static_cast<IDirect3DVertexShader9*>(shader)))
            ? shader
            : unknownPointer;
}

void RwD3D9SetPixelShader(void* shader) {
    if (cachedPixelShader == shader)
        return;
    cachedPixelShader = SUCCEEDED(RwD3D9Device->SetPixelShader(static_cast<IDirect3DPixelShader9*>(shader)))
                            ? shader
                            : unknownPointer;
}

RwBool RwD3D9SetRenderTarget(RwUInt32 index, IDirect3DSurface9* surface) {
    if (index >= 4)
        return FALSE;
    if (cachedRenderTargets[index] == surface)
        return TRUE;
    if (FAILED(RwD3D9Device->SetRenderTarget(index, surface)))
        return FALSE;
    cachedRenderTargets[index] = surface;
    return TRUE;
}

RwBool RwD3D9SetRenderTargetRaster(RwUInt32 index, RwRaster* raster) {
    if (!raster)
        return RwD3D9SetRenderTarget(index, nullptr);
    IDirect3DSurface9* surface = RwD3D9RasterGetSurface(raster);
    if (!surface)
        return FALSE;
    const RwBool result = RwD3D9SetRenderTarget(index, surface);
    surface->Release();
    return result;
}

void RwD3D9SetDepthStencilSurface(IDirect3DSurface9* surface) {
    if (cachedDepthStencil == surface)
        return;
    cachedDepthStencil = surface;
    RwD3D9Device->SetDepthStencilSurface(surface);
}

RwBool RwD3D9DrawIndexedPrimitive(RwUInt32 primitiveType, RwInt32 baseVertexIndex, RwUInt32 minIndex,
                                  RwUInt32 numVertices, RwUInt32 startIndex, RwUInt32 primitiveCount) {
    RwD3D9RenderStateFlushCache();
    return SUCCEEDED(RwD3D9Device->DrawIndexedPrimitive(D3DPRIMITIVETYPE(primitiveType), baseVertexIndex,
                                                        minIndex, numVertices, startIndex, primitiveCount))
               ? TRUE
               : FALSE;
}

RwBool RwD3D9DrawPrimitive(RwUInt32 primitiveType, RwUInt32 startVertex, RwUInt32 primitiveCount) {
    RwD3D9RenderStateFlushCache();
    return SUCCEEDED(
               RwD3D9Device->DrawPrimitive(D3DPRIMITIVETYPE(primitiveType), startVertex, primitiveCount))
               ? TRUE
               : FALSE;
}

RwBool RwD3D9DrawIndexedPrimitiveUP(RwUInt32 primitiveType, RwUInt32 minIndex, RwUInt32 numVertices,
                                    RwUInt32 primitiveCount, const void* indexData,
                                    const void* vertexStreamZeroData, RwUInt32 vertexStreamZeroStride) {
    // The device unbinds stream 0 and the index buffer after a draw from user memory.
    if (streams[0].buffer)
        streams[0] = {nullptr, 0, 0};
    cachedIndices = nullptr;
    RwD3D9RenderStateFlushCache();
    return SUCCEEDED(RwD3D9Device->DrawIndexedPrimitiveUP(
               D3DPRIMITIVETYPE(primitiveType), minIndex, numVertices, primitiveCount, indexData,
               D3DFMT_INDEX16, vertexStreamZeroData, vertexStreamZeroStride))
               ? TRUE
               : FALSE;
}

RwBool RwD3D9DrawPrimitiveUP(RwUInt32 primitiveType, RwUInt32 primitiveCount,
                             const void* vertexStreamZeroData, RwUInt32 vertexStreamZeroStride) {
    if (streams[0].buffer)
        streams[0] = {nullptr, 0, 0};
    cachedIndices = nullptr;
    RwD3D9RenderStateFlushCache();
    return SUCCEEDED(RwD3D9Device->DrawPrimitiveUP(D3DPRIMITIVETYPE(primitiveType), primitiveCount,
                                                   vertexStreamZeroData, vertexStreamZeroStride))
               ? TRUE
               : FALSE;
}

RwBool RwD3D9SetLight(RwInt32 index, const void* light) {
    if (index < 0 || !light)
        return FALSE;
    const auto* l = static_cast<const D3DLIGHT9*>(light);
    if (index < lightCount && SameLight(lights[index].light, *l))
        return TRUE;
    if (!GrowLights(index))
        return FALSE;
    lights[index].light = *l;
    return SUCCEEDED(RwD3D9Device->SetLight(RwUInt32(index), l)) ? TRUE : FALSE;
}

void RwD3D9GetLight(RwInt32 index, void* light) {
    if (index >= 0 && index < lightCount && light)
        *static_cast<D3DLIGHT9*>(light) = lights[index].light;
}

RwBool RwD3D9EnableLight(RwInt32 index, RwBool enable) {
    if (index < 0 || index >= lightCount)
        return TRUE;
    const RwUInt32 on = enable ? 1 : 0;
    if (lights[index].enabled == on)
        return TRUE;
    lights[index].enabled = on;
    return SUCCEEDED(RwD3D9Device->LightEnable(RwUInt32(index), on)) ? TRUE : FALSE;
}

RwBool RwD3D9SetMaterial(const void* material) {
    const auto* m = static_cast<const D3DMATERIAL9*>(material);
    if (haveMaterial && SameWords(&lastMaterial, m, sizeof lastMaterial))
        return TRUE;
    lastMaterial = *m;
    haveMaterial = true;
    // Another material on the device: the next surface-property call must build its own again.
    haveSurface = false;
    return SUCCEEDED(RwD3D9Device->SetMaterial(m)) ? TRUE : FALSE;
}

RwRGBAReal rwD3D9AmbientLightColor = {0.0f, 0.0f, 0.0f, 1.0f};

RwBool RwD3D9SetSurfaceProperties(const RwSurfaceProperties* properties, const RwRGBA* color,
                                  RwUInt32 flags) {
    constexpr RwUInt32 modulate = 0x40;
    constexpr RwUInt32 prelit = 0x08;
    const RwRGBAReal& light = rwD3D9AmbientLightColor;
    SurfaceInputs in = {properties->ambient,
                        properties->diffuse,
                        *color,
                        flags & (modulate | prelit),
                        {light.red, light.green, light.blue}};
    // The world lighting writes D3DRS_AMBIENT between objects: the cached surface holds only while the
    // state is still the one it set.
    RwUInt32 ambientState = 0;
    RwD3D9GetRenderState(D3DRS_AMBIENT, &ambientState);
    if (haveSurface && std::memcmp(&in, &lastSurface, sizeof in) == 0 && ambientState == lastSurfaceAmbient)
        return TRUE;

    D3DMATERIAL9 m = {};
    const RwRGBA c = *color;
    const bool white = c.red == 255 && c.green == 255 && c.blue == 255 && c.alpha == 255;
    if (!(in.flags & modulate) || white) {
        const RwReal d = properties->diffuse;
        m.Diffuse = {d, d, d, 1.0f};
        RwD3D9SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
        RwD3D9SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
        const RwUInt32 vertexColour = (in.flags & prelit) ? 1 : 0;
        RwD3D9SetRenderState(D3DRS_COLORVERTEX, vertexColour);
        RwD3D9SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, vertexColour ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
        const RwReal a = properties->ambient;
        if (a == 1.0f)
            m.Ambient = {light.red, light.green, light.blue, 1.0f};
        else
            m.Ambient = {light.red * a, light.green * a, light.blue * a, 1.0f};
    } else {
        const RwReal s = properties->diffuse / 255.0f;
        m.Diffuse = {c.red * s, c.green * s, c.blue * s, c.alpha / 255.0f};
        const RwReal f = properties->ambient / 255.0f;
        const D3DCOLORVALUE product = {c.red * light.red * f, c.green * light.green * f,
                                       c.blue * light.blue * f, 1.0f};
        if (!(in.flags & prelit)) {
            RwD3D9SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
            RwD3D9SetRenderState(D3DRS_COLORVERTEX, 0);
            RwD3D9SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
            RwD3D9SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
            m.Ambient = product;
        } else {
            RwD3D9SetRenderState(D3DRS_AMBIENT, RwUInt32(c.alpha) << 24 | RwUInt32(c.red) << 16 |
                                                    RwUInt32(c.green) << 8 | RwUInt32(c.blue));
            RwD3D9SetRenderState(D3DRS_COLORVERTEX, 1);
            RwD3D9SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
            RwD3D9SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
            m.Emissive = product;
        }
    }
    const RwBool sent = RwD3D9SetMaterial(&m);
    lastSurface = in;
    haveSurface = true;
    RwD3D9GetRenderState(D3DRS_AMBIENT, &lastSurfaceAmbient);
    return sent;
}

RwBool RwD3D9CreateVertexDeclaration(const void* elements, void** declaration) {
    const auto* e = static_cast<const D3DVERTEXELEMENT9*>(elements);
    RwUInt32 count = 1;
    while (e[count - 1].Type != D3DDECLTYPE_UNUSED)
        ++count;
    for (RwInt32 i = 0; i < declarationCount; ++i) {
        DeclarationEntry& entry = declarations[i];
        if (entry.elementCount != count || !SameWords(entry.elements, e, sizeof(D3DVERTEXELEMENT9) * count))
            continue;
        if (!entry.declaration) {
            if (FAILED(RwD3D9Device->CreateVertexDeclaration(entry.elements, &entry.declaration))) {
                entry.declaration = nullptr;
                *declaration = nullptr;
                return FALSE;
            }
        } else {
            entry.declaration->AddRef();
        }
        *declaration = entry.declaration;
        return TRUE;
    }
    IDirect3DVertexDeclaration9* created = nullptr;
    if (FAILED(RwD3D9Device->CreateVertexDeclaration(e, &created))) {
        *declaration = nullptr;
        return FALSE;
    }
    if (declarationCount == declarationCapacity) {
        auto* grown = static_cast<DeclarationEntry*>(
            RwRealloc(declarations, sizeof(DeclarationEntry) * size_t(declarationCapacity + 16), 0x1040411));
        if (!grown) {
            created->Release();
            *declaration = nullptr;
            return FALSE;
        }
        declarations = grown;
        declarationCapacity += 16;
    }
    auto* copy = static_cast<D3DVERTEXELEMENT9*>(RwMalloc(sizeof(D3DVERTEXELEMENT9) * count, 0x1040411));
    if (!copy) {
        created->Release();
        *declaration = nullptr;
        return FALSE;
    }
    std::memcpy(copy, e, sizeof(D3DVERTEXELEMENT9) * count);
    declarations[declarationCount++] = {created, count, copy};
    *declaration = created;
    return TRUE;
}

void RwD3D9DeleteVertexDeclaration(void* declaration) {
    if (!declaration)
        return;
    const ULONG left = static_cast<IDirect3DVertexDeclaration9*>(declaration)->Release();
    if (left != 0)
        return;
    for (RwInt32 i = 0; i < declarationCount; ++i) {
        if (declarations[i].declaration == declaration)
            declarations[i].declaration = nullptr;
    }
    if (cachedDeclaration == declaration)
        cachedDeclaration = unknownPointer;
}

void RwD3D9FreeVertexDeclarations() {
    for (RwInt32 i = 0; i < declarationCount; ++i) {
        if (declarations[i].declaration) {
            while (declarations[i].declaration->Release() > 0) {
            }
        }
        RwFree(declarations[i].elements);
    }
    RwFree(declarations);
    declarations = nullptr;
    declarationCount = declarationCapacity = 0;
}

RwBool RwD3D9CreateIndexBuffer(RwUInt32 numIndices, void** indexBuffer) {
    IDirect3DIndexBuffer9* buffer = nullptr;
    const HRESULT hr = RwD3D9Device->CreateIndexBuffer(numIndices * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                       D3DPOOL_MANAGED, &buffer, nullptr);
    *indexBuffer = SUCCEEDED(hr) ? buffer : nullptr;
    return SUCCEEDED(hr) ? TRUE : FALSE;
}

RwBool RwD3D9CreateVertexShader(const RwUInt32* function, void** shader) {
    IDirect3DVertexShader9* created = nullptr;
    if (FAILED(RwD3D9Device->CreateVertexShader(reinterpret_cast<const DWORD*>(function), &created)))
        return FALSE;
    *shader = created;
    cachedVertexShader = unknownPointer;
    return TRUE;
}

RwBool RwD3D9CreatePixelShader(const RwUInt32* function, void** shader) {
    IDirect3DPixelShader9* created = nullptr;
    if (FAILED(RwD3D9Device->CreatePixelShader(reinterpret_cast<const DWORD*>(function), &created)))
        return FALSE;
    *shader = created;
    return TRUE;
}

RwUInt32 RwD3D9DeleteShader(void* shader) {
    return shader ? static_cast<IUnknown*>(shader)->Release() : 0;
}

RwBool RwD3D9SetPixelShaderConstant(RwUInt32 registerAddress, const void* constantData,
                                    RwUInt32 constantCount) {
    return SUCCEEDED(RwD3D9Device->SetPixelShaderConstantF(
               registerAddress, static_cast<const float*>(constantData), constantCount))
               ? TRUE
               : FALSE;
}

void RwD3D9ResetStreamAndShaderCaches() {
    for (StreamRecord& s : streams)
        s = {unknownPointer, 0, 0};
    cachedFVF = rwD3D9UnknownValue;
    cachedDeclaration = unknownPointer;
    cachedVertexShader = unknownPointer;
    cachedPixelShader = unknownPointer;
    cachedIndices = nullptr;
}

void RwD3D9ResetTransformCache() {
    for (D3DMATRIX*& slot : transforms) {
        if (slot && matrixFreeList)
            RwFreeListEntryFree(matrixFreeList, slot);
        slot = nullptr;
    }
    worldIsIdentity = false;
}

void RwD3D9FreeTransformCache() {
    RwD3D9ResetTransformCache();
    if (matrixFreeList)
        RwFreeListDestroy(matrixFreeList);
    matrixFreeList = nullptr;
}

void RwD3D9ClearWorldIdentityFlag() {
    worldIsIdentity = false;
}

void RwD3D9ClearTargetCaches() {
    for (IDirect3DSurface9*& target : cachedRenderTargets)
        target = nullptr;
    cachedDepthStencil = nullptr;
    haveMaterial = false;
    haveSurface = false;
}

void RwD3D9LightCacheClear() {
    lightCount = 0;
}

void RwD3D9LightCacheFree() {
    RwFree(lights);
    lights = nullptr;
    lightCount = 0;
}

void RwD3D9LightCacheRestore() {
    for (RwInt32 i = 0; i < lightCount; ++i) {
        RwD3D9Device->SetLight(RwUInt32(i), &lights[i].light);
        RwD3D9Device->LightEnable(RwUInt32(i), lights[i].enabled);
    }
}

void RwD3D9UnbindEverything() {
    for (RwUInt32 stage = 0; stage < RwUInt32(rwD3D9MaxStages); ++stage) {
        RwD3D9Device->SetTexture(stage, nullptr);
        rwD3D9Stages[stage].raster = nullptr;
    }
    RwD3D9Device->SetIndices(nullptr);
    for (RwUInt32 s = 0; s < RwUInt32(streamCount); ++s)
        RwD3D9Device->SetStreamSource(s, nullptr, 0, 0);
    RwD3D9Device->SetPixelShader(nullptr);
    RwD3D9Device->SetVertexDeclaration(nullptr);
    RwD3D9Device->SetVertexShader(nullptr);
}

void* RwD3D9ResetCachesAndGetDevice() {
    RwD3D9ClearTargetCaches();
    RwD3D9ResetStreamAndShaderCaches();
    RwD3D9ResetTransformCache();
    RwD3D9LightCacheClear();
    return RwD3D9Device;
}

RwBool RwD3D9CameraIsSphereFullyInsideFrustum(const void* cameraObject, const void* sphereObject) {
    const auto* camera = static_cast<const RwCamera*>(cameraObject);
    const auto* sphere = static_cast<const RwSphere*>(sphereObject);
    for (const RwFrustumPlane& side : camera->frustumPlanes) {
        const RwV3d& n = side.plane.normal;
        const RwReal d =
            n.x * sphere->center.x + n.y * sphere->center.y + n.z * sphere->center.z - side.plane.distance;
        if (d > -sphere->radius)
            return FALSE;
    }
    return TRUE;
}

RwBool RwD3D9CameraIsBoundingBoxFullyInsideFrustum(const void* cameraObject, const void* boxObject) {
    const auto* camera = static_cast<const RwCamera*>(cameraObject);
    const auto* box = static_cast<const RwBBox*>(boxObject);
    for (const RwFrustumPlane& side : camera->frustumPlanes) {
        const RwV3d corner = {side.closestX ? box->sup.x : box->inf.x,
                              side.closestY ? box->sup.y : box->inf.y,
                              side.closestZ ? box->sup.z : box->inf.z};
        const RwV3d& n = side.plane.normal;
        if (n.x * corner.x + n.y * corner.y + n.z * corner.z > side.plane.distance)
            return FALSE;
    }
    return TRUE;
}

void RwD3D9SetDeviceRestoreCallback(RwD3D9DeviceRestoreCallBack callback) {
    rwD3D9State.restoreCallback = callback;
}

RwD3D9DeviceRestoreCallBack RwD3D9GetDeviceRestoreCallback() {
    return rwD3D9State.restoreCallback;
}
