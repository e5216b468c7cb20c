// Instance data of atomics and sectors: index buffers re-based per mesh, vertex streams laid out by a
// vertex declaration, and their refresh when the source data changes.
#include "rwsdk/world/pipe/p2/d3d9/d3d9instance.h"

#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/pipe/p2/pipeline.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/bawrld.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9pack.h"

#include <d3d9.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr RwUInt32 rpMESHHEADERUNINDEXED = 0x100;
constexpr RwUInt32 usageTangent = 0x10000;
constexpr RwUInt32 pluginIdForceOneStream = 0x12E;
constexpr RwUInt32 instanceHint = rwMEMHINTDUR_EVENT | 0x50D;

constexpr D3DPRIMITIVETYPE primitiveTypes[] = {D3DPRIMITIVETYPE(0), D3DPT_LINELIST,      D3DPT_LINESTRIP,
                                               D3DPT_TRIANGLELIST,  D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN,
                                               D3DPT_POINTLIST};

RwUInt32 PrimitiveCount(RwUInt32 type, RwUInt32 n) {
    switch (type) {
    case D3DPT_LINELIST:
        return n / 2;
    case D3DPT_LINESTRIP:
        return n ? n - 1 : 0;
    case D3DPT_TRIANGLELIST:
        return n / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return n >= 2 ? n - 2 : 0;
    default:
        return 0;
    }
}

void ReleaseStreams(RpD3D9InstanceData* header) {
    for (RwD3D9VertexStream& stream : header->vertexStream) {
        if (stream.vertexBuffer) {
            if (stream.managed)
                RwD3D9DestroyVertexBuffer(stream.stride, stream.stride * header->totalNumVertex,
                                          stream.vertexBuffer, stream.offset);
            else if (stream.offset == 0 && !stream.dynamicLock)
                RwD3D9DestroyDynamicVertexBuffer(stream.vertexBuffer);
        }
        stream = {};
    }
}

// Sorts a list's triangles by their indices, lowest first.
void SortTriangles(RwUInt16* indices, RwUInt32 count) {
    struct Tri {
        RwUInt16 v[3];
    };
    auto* tris = reinterpret_cast<Tri*>(indices);
    auto key = [](const Tri& t) {
        std::array<RwUInt16, 3> k = {t.v[0], t.v[1], t.v[2]};
        std::sort(k.begin(), k.end());
        return k;
    };
    std::sort(tris, tris + count / 3, [&](const Tri& a, const Tri& b) { return key(a) < key(b); });
}

// The data written into the elements of a declaration.
struct VertexSources {
    RwInt32 numVertices;
    const RwV3d* positions;
    const RwV3d* morphEnd; // with t: interpolated positions
    const RwV3d* normals;
    const RwV3d* normalsEnd;
    const RpVertexNormal* packedNormals;
    RwReal t;
    const RwRGBA* prelit;
    const RwTexCoords* const* texCoords;
    RwInt32 numTexCoords;
    const RpMeshHeader* meshes; // for tangents
};

RwUInt32 ElementBit(const D3DVERTEXELEMENT9& e) {
    switch (e.Usage) {
    case D3DDECLUSAGE_POSITION:
        return 0x002;
    case D3DDECLUSAGE_NORMAL:
        return 0x004;
    case D3DDECLUSAGE_COLOR:
        return 0x008;
    case D3DDECLUSAGE_TEXCOORD:
        return 0x010u << e.UsageIndex;
    default:
        return 0;
    }
}

// Locks the streams that hold data of the mask, writes those elements and unlocks. False on a failed lock.
RwBool WriteVertices(RpD3D9InstanceData* header, const D3DVERTEXELEMENT9* elements, RwUInt32 mask,
                     const VertexSources& src) {
    RwUInt8* base[2] = {nullptr, nullptr};
    RwInt32 numStreams = 0;
    for (const D3DVERTEXELEMENT9* e = elements; e->Stream != 0xFF; ++e)
        numStreams = std::max<RwInt32>(numStreams, e->Stream + 1);
    for (RwInt32 s = 0; s < numStreams && s < 2; ++s) {
        RwD3D9VertexStream& stream = header->vertexStream[s];
        if (!stream.vertexBuffer || (mask != 0xFFF && !(stream.geometryFlags & mask)))
            continue;
        DWORD flags = D3DLOCK_NOSYSLOCK;
        if (!stream.managed) {
            flags |= D3DLOCK_DISCARD;
            mask |= stream.geometryFlags;
        }
        auto* vb = static_cast<IDirect3DVertexBuffer9*>(stream.vertexBuffer);
        void* data = nullptr;
        if (FAILED(vb->Lock(stream.offset, stream.stride * header->totalNumVertex, &data, flags)))
            return FALSE;
        base[s] = static_cast<RwUInt8*>(data);
    }
    RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(header);
    for (const D3DVERTEXELEMENT9* e = elements; e->Stream != 0xFF; ++e) {
        if (e->Stream > 1 || !base[e->Stream])
            continue;
        const RwUInt32 bit = ElementBit(*e);
        RwUInt8* dst = base[e->Stream] + e->Offset;
        const RwUInt32 stride = header->vertexStream[e->Stream].stride;
        const bool wanted = mask == 0xFFF || (bit ? (mask & bit) != 0 : (mask & 0xFF2) != 0);
        if (!wanted)
            continue;
        switch (e->Usage) {
        case D3DDECLUSAGE_POSITION:
            if (src.morphEnd)
                _rpD3D9VertexDeclarationInstV3dMorph(e->Type, dst, src.positions, src.morphEnd, src.t,
                                                     src.numVertices, stride);
            else if (src.positions)
                _rpD3D9VertexDeclarationInstV3d(e->Type, dst, src.positions, src.numVertices, stride);
            break;
        case D3DDECLUSAGE_NORMAL:
            if (src.packedNormals)
                _rpD3D9VertexDeclarationInstV3dComp(e->Type, dst,
                                                    reinterpret_cast<const RwInt8*>(src.packedNormals),
                                                    src.numVertices, stride);
            else if (src.normalsEnd)
                _rpD3D9VertexDeclarationInstV3dMorph(e->Type, dst, src.normals, src.normalsEnd, src.t,
                                                     src.numVertices, stride);
            else if (src.normals)
                _rpD3D9VertexDeclarationInstV3d(e->Type, dst, src.normals, src.numVertices, stride);
            break;
        case D3DDECLUSAGE_COLOR:
            if (src.prelit)
                for (RwUInt32 m = 0; m < header->numMeshes; ++m)
                    meshes[m].vertexAlpha = _rpD3D9VertexDeclarationInstColor(
                        dst + meshes[m].minVert * stride, src.prelit + meshes[m].minVert,
                        RwInt32(meshes[m].numVertices), stride);
            break;
        case D3DDECLUSAGE_TEXCOORD:
            if (e->UsageIndex < src.numTexCoords && src.texCoords[e->UsageIndex])
                _rpD3D9VertexDeclarationInstV2d(e->Type, dst, src.texCoords[e->UsageIndex], src.numVertices,
                                                stride);
            break;
        case D3DDECLUSAGE_TANGENT:
            if (src.positions && src.numTexCoords > 0 && src.meshes) {
                std::vector<RpD3D9TangentMesh> runs;
                const RpMesh* mesh = RpMeshHeaderGetMeshes(src.meshes);
                for (RwUInt32 m = 0; m < src.meshes->numMeshes; ++m)
                    runs.push_back({mesh[m].indices, mesh[m].numIndices,
                                    (src.meshes->flags & rpMESHHEADERTRISTRIP) ? TRUE : FALSE, 0});
                _rpD3D9VertexDeclarationInstTangent(e->Type, dst, src.positions,
                                                    src.texCoords[src.numTexCoords - 1], src.numVertices,
                                                    runs.data(), RwInt32(runs.size()), stride);
            }
            break;
        default:
            break;
        }
    }
    for (RwInt32 s = 0; s < 2; ++s)
        if (base[s])
            static_cast<IDirect3DVertexBuffer9*>(header->vertexStream[s].vertexBuffer)->Unlock();
    return TRUE;
}

// Adds elements stream by stream: offsets are the running strides.
struct DeclarationBuilder {
    std::vector<D3DVERTEXELEMENT9> elements;
    RwUInt32 stride[2] = {0, 0};
    RwUInt16 bits[2] = {0, 0};
    void Add(RwInt32 stream, BYTE type, BYTE usage, BYTE index, RwUInt32 bit) {
        elements.push_back({WORD(stream), WORD(stride[stream]), type, D3DDECLMETHOD_DEFAULT, usage, index});
        stride[stream] += _rpD3D9VertexDeclarationGetSize(type);
        bits[stream] = RwUInt16(bits[stream] | bit);
    }
    RwBool Create(void** declaration) {
        std::sort(elements.begin(), elements.end(),
                  [](const D3DVERTEXELEMENT9& a, const D3DVERTEXELEMENT9& b) {
                      return a.Stream != b.Stream ? a.Stream < b.Stream : a.Offset < b.Offset;
                  });
        elements.push_back(D3DDECL_END());
        return RwD3D9CreateVertexDeclaration(elements.data(), declaration);
    }
};

BYTE NormalType() {
    const D3DCAPS9* caps = RwD3D9GetCaps();
    return caps && (caps->DeclTypes & D3DDTCAPS_DEC3N) ? BYTE(D3DDECLTYPE_DEC3N) : BYTE(D3DDECLTYPE_FLOAT3);
}

std::vector<D3DVERTEXELEMENT9> ReadDeclaration(void* declaration) {
    std::vector<D3DVERTEXELEMENT9> elements(MAXD3DDECLLENGTH + 1);
    UINT count = UINT(elements.size());
    auto* decl = static_cast<IDirect3DVertexDeclaration9*>(declaration);
    if (!decl || FAILED(decl->GetDeclaration(elements.data(), &count)) || count == 0)
        return {D3DDECL_END()};
    elements.resize(count);
    if (elements.back().Stream != 0xFF)
        elements.push_back(D3DDECL_END());
    return elements;
}

} // namespace

namespace {

// The conversion, stopping before it would write past room indices.
RwUInt32 ConvertStrip(RwUInt16* out, RwUInt32 room, const RwUInt16* strip, RwUInt32 count, RwUInt16 bias) {
    RwUInt32 written = 0;
    for (RwUInt32 i = 0; i + 2 < count && written + 3 <= room; ++i) {
        const RwUInt16 a = strip[i], b = strip[i + 1], c = strip[i + 2];
        if (a == b || b == c || a == c)
            continue;
        const RwUInt16 first = (i & 1) ? c : a, last = (i & 1) ? a : c;
        out[written++] = RwUInt16(first - bias);
        out[written++] = RwUInt16(b - bias);
        out[written++] = RwUInt16(last - bias);
    }
    return written;
}

} // namespace

RwUInt32 RpD3D9ConvertTriStripToTriList(RwUInt16* out, const RwUInt16* strip, RwUInt32 count, RwUInt16 bias) {
    return ConvertStrip(out, ~RwUInt32(0), strip, count, bias);
}

RwResourceEntry* RpD3D9CreateInstanceData(void* object, void* owner, RwInt8 kind, RwResourceEntry** location,
                                          RpMeshHeader* meshHeader, RpD3D9AllInOneInstanceCallBack instanceCB,
                                          RwBool allocateOutside) {
    const RwInt32 size =
        RwInt32(sizeof(RpD3D9InstanceData) + sizeof(RpD3D9MeshInstance) * meshHeader->numMeshes);
    RwResourceEntry* entry;
    if (allocateOutside) {
        entry = static_cast<RwResourceEntry*>(RwMalloc(sizeof(RwResourceEntry) + size_t(size), instanceHint));
        if (!entry) {
            RwErrorSetCode(E_RW_NOMEM);
            return nullptr;
        }
        *entry = {{nullptr, nullptr}, size, nullptr, nullptr, RpD3D9DestroyInstanceData};
        *location = entry;
    } else {
        entry = RwResourcesAllocateResourceEntry(owner, location, size, RpD3D9DestroyInstanceData);
        if (!entry)
            return nullptr;
    }
    RpD3D9InstanceData* header = RpD3D9ResourceEntryGetInstanceData(entry);
    std::memset(static_cast<void*>(header), 0, size_t(size));
    header->serialNumber = meshHeader->serialNum;
    header->numMeshes = meshHeader->numMeshes;
    const bool indexed = !(meshHeader->flags & rpMESHHEADERUNINDEXED);
    const RpMesh* meshes = RpMeshHeaderGetMeshes(meshHeader);
    const RwInt32 enginePrim = RpMeshHeaderFlagsToPrimType(meshHeader->flags);
    bool convert = false;
    RwUInt16* indexData = nullptr;
    if (indexed) {
        for (RwUInt32 m = 0; m < meshHeader->numMeshes; ++m)
            header->totalNumIndex += meshes[m].numIndices;
        if (header->totalNumIndex) {
            if (enginePrim == 4) {
                RwUInt32 limit = 0x55555555;
                if (kind == 1)
                    limit = RwUInt32(static_cast<RpAtomic*>(object)->geometry->numTriangles);
                else if (kind == -1)
                    limit = static_cast<RpWorldSector*>(object)->numTriangles;
                if (header->totalNumIndex > 3 * limit) {
                    convert = true;
                    header->totalNumIndex = 3 * limit;
                }
            }
            if (header->totalNumIndex == 0) {
                // Strips over an object without triangles: nothing to draw.
            } else if (RwD3D9CreateIndexBuffer(header->totalNumIndex, &header->indexBuffer)) {
                void* data = nullptr;
                if (SUCCEEDED(static_cast<IDirect3DIndexBuffer9*>(header->indexBuffer)->Lock(0, 0, &data, 0)))
                    indexData = static_cast<RwUInt16*>(data);
            } else {
                // Not an error: the instance is drawn without indices.
                header->indexBuffer = nullptr;
                header->totalNumIndex = 0;
            }
        }
    }
    header->primType =
        convert ? D3DPT_TRIANGLELIST
                : (enginePrim >= 0 && enginePrim <= 6 ? primitiveTypes[enginePrim] : D3DPRIMITIVETYPE(0));
    RpD3D9MeshInstance* out = RpD3D9InstanceDataGetMeshes(header);
    RwUInt32 vertexStart = 0, startIndex = 0;
    for (RwUInt32 m = 0; m < meshHeader->numMeshes; ++m) {
        const RpMesh& mesh = meshes[m];
        RpD3D9MeshInstance& rec = out[m];
        if (indexed) {
            if (mesh.numIndices) {
                const auto [lo, hi] = std::minmax_element(mesh.indices, mesh.indices + mesh.numIndices);
                rec.minVert = *lo;
                rec.numVertices = RwUInt32(*hi - *lo + 1);
            }
        } else {
            rec.numVertices = mesh.numIndices;
            rec.minVert = vertexStart;
            vertexStart += mesh.numIndices;
        }
        rec.material = mesh.material;
        RwUInt32 written = convert ? 0 : mesh.numIndices;
        if (indexData) {
            rec.startIndex = startIndex;
            RwUInt16* dst = indexData + startIndex;
            if (convert) {
                // The list holds 3 x the object's triangle count: strips that make more triangles than the
                // object has (damaged data) are cut there rather than written past the buffer.
                written = ConvertStrip(dst, header->totalNumIndex - startIndex, mesh.indices, mesh.numIndices,
                                       RwUInt16(rec.minVert));
            } else {
                for (RwUInt32 i = 0; i < mesh.numIndices; ++i)
                    dst[i] = RwUInt16(mesh.indices[i] - rec.minVert);
            }
            rec.numIndex = written;
            if (header->primType == D3DPT_TRIANGLELIST)
                SortTriangles(dst, written);
            startIndex += written;
        }
        rec.numPrimitives = PrimitiveCount(header->primType, written);
    }
    if (indexData)
        static_cast<IDirect3DIndexBuffer9*>(header->indexBuffer)->Unlock();
    if (instanceCB && !instanceCB(object, header, FALSE)) {
        if (allocateOutside) {
            RpD3D9DestroyInstanceData(entry);
            RwFree(entry);
            *location = nullptr;
        } else {
            RwResourcesFreeResourceEntry(entry);
        }
        return nullptr;
    }
    return entry;
}

void RpD3D9DestroyInstanceData(RwResourceEntry* entry) {
    RpD3D9InstanceData* header = RpD3D9ResourceEntryGetInstanceData(entry);
    auto* owner = static_cast<RwObject*>(entry->owner);
    if (owner && !(header->vertexStream[0].managed && header->vertexStream[1].managed)) {
        if (owner->type == 8)
            RpD3D9GeometryRemoveFromRestoreList(reinterpret_cast<RpGeometry*>(owner));
        else if (owner->type == rwATOMIC)
            RpD3D9GeometryRemoveFromRestoreList(reinterpret_cast<RpAtomic*>(owner)->geometry);
    }
    if (header->indexBuffer) {
        // Unbind first: a new buffer made at the same address must not pass for the bound one.
        RwD3D9SetIndices(nullptr);
        static_cast<IDirect3DIndexBuffer9*>(header->indexBuffer)->Release();
    }
    header->indexBuffer = nullptr;
    if (header->vertexDeclaration)
        RwD3D9DeleteVertexDeclaration(header->vertexDeclaration);
    header->vertexDeclaration = nullptr;
    ReleaseStreams(header);
}

RwBool RpD3D9AtomicDefaultInstanceCallback(void* object, RpD3D9InstanceData* header, RwBool reinstance) {
    auto* atomic = static_cast<RpAtomic*>(object);
    RpGeometry* geometry = atomic->geometry;
    RwUInt32 usage = RpD3D9GeometryGetUsageFlags(geometry);
    const RwInt32 numTexSets = geometry->numTexCoordSets;
    std::vector<D3DVERTEXELEMENT9> elements;
    RwUInt32 mask = 0xFFF;
    if (!reinstance) {
        header->totalNumVertex = RwUInt32(geometry->numVertices);
        ReleaseStreams(header);
        const D3DCAPS9* caps = RwD3D9GetCaps();
        const bool hwtl = caps && (caps->DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
        const bool streamOffsets = caps && (caps->DevCaps2 & D3DDEVCAPS2_STREAMOFFSET);
        const bool oneStream = (geometry->numMorphTargets < 2 && (usage & 0xFFF) == 0) || !hwtl ||
                               (atomic->pipeline && atomic->pipeline->pluginId == pluginIdForceOneStream);
        RwInt32 numStreams = oneStream ? 1 : 2;
        if (!oneStream) {
            if (geometry->numMorphTargets > 1)
                usage |= 0x006;
            RpD3D9GeometryAddToRestoreList(geometry);
        }
        DeclarationBuilder decl;
        const RwInt32 last = numStreams - 1;
        auto streamOf = [&](RwUInt32 bit) { return (usage & bit) ? 0 : last; };
        decl.Add(streamOf(0x002), D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, 0x002);
        if (geometry->flags & rpGEOMETRYNORMALS)
            decl.Add(streamOf(0x004), NormalType(), D3DDECLUSAGE_NORMAL, 0, 0x004);
        if (geometry->flags & rpGEOMETRYPRELIT)
            decl.Add(streamOf(0x008), D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0, 0x008);
        for (RwInt32 n = 0; n < numTexSets; ++n)
            decl.Add(streamOf(0x010u << n), D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, BYTE(n), 0x010u << n);
        if ((usage & usageTangent) && numTexSets > 0)
            decl.Add((usage & 0xFF2) ? 0 : last, NormalType(), D3DDECLUSAGE_TANGENT, 0, 0);
        while (numStreams > 1 && decl.stride[numStreams - 1] == 0)
            --numStreams;
        if (!decl.Create(&header->vertexDeclaration))
            return FALSE;
        elements = decl.elements;
        for (RwInt32 s = 0; s < numStreams; ++s) {
            RwD3D9VertexStream& stream = header->vertexStream[s];
            stream.stride = decl.stride[s];
            stream.geometryFlags = decl.bits[s];
            const RwUInt32 bytes = stream.stride * header->totalNumVertex;
            if (numStreams == 1 || (s == 1 && streamOffsets)) {
                if (!RwD3D9CreateVertexBuffer(stream.stride, bytes, &stream.vertexBuffer, &stream.offset))
                    return FALSE;
                stream.managed = 1;
            } else {
                if (!RwD3D9CreateDynamicVertexBuffer(bytes, &stream.vertexBuffer))
                    return FALSE;
                stream.managed = 0;
                stream.offset = 0;
            }
        }
        RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(header);
        if (numStreams == 1) {
            header->useOffsets = FALSE;
            const RwUInt32 first = header->vertexStream[0].stride
                                       ? header->vertexStream[0].offset / header->vertexStream[0].stride
                                       : 0;
            for (RwUInt32 m = 0; m < header->numMeshes; ++m)
                meshes[m].baseIndex = RwInt32(first + meshes[m].minVert);
        } else {
            header->useOffsets = streamOffsets ? TRUE : FALSE;
            for (RwUInt32 m = 0; m < header->numMeshes; ++m)
                meshes[m].baseIndex = RwInt32(meshes[m].minVert);
        }
    } else {
        elements = ReadDeclaration(header->vertexDeclaration);
        mask = geometry->lockedSinceLastInst;
    }
    VertexSources src = {};
    src.numVertices = geometry->numVertices;
    RwInt32 start = 0, end = 0;
    if (geometry->numMorphTargets > 1) {
        start = atomic->interpolator.startMorphTarget;
        end = atomic->interpolator.endMorphTarget;
        if (start >= geometry->numMorphTargets || end >= geometry->numMorphTargets)
            start = end = 0;
    }
    const RpMorphTarget& from = geometry->morphTarget[start];
    src.positions = from.verts;
    if (geometry->flags & rpGEOMETRYNORMALS)
        src.normals = from.normals;
    const RwReal t = atomic->interpolator.position * atomic->interpolator.recipTime;
    if (start != end && t != 0.0f) {
        src.morphEnd = geometry->morphTarget[end].verts;
        if (geometry->flags & rpGEOMETRYNORMALS)
            src.normalsEnd = geometry->morphTarget[end].normals;
        src.t = t;
    }
    if (geometry->flags & rpGEOMETRYPRELIT)
        src.prelit = geometry->preLitLum;
    else if (!reinstance)
        for (RwUInt32 m = 0; m < header->numMeshes; ++m)
            RpD3D9InstanceDataGetMeshes(header)[m].vertexAlpha = FALSE;
    src.texCoords = geometry->texCoords;
    src.numTexCoords = numTexSets;
    src.meshes = geometry->mesh;
    return WriteVertices(header, elements.data(), mask, src);
}

RwBool RpD3D9AtomicDefaultReinstanceCallback(void* object, RwResourceEntry* entry,
                                             RpD3D9AllInOneInstanceCallBack instanceCallback) {
    auto* atomic = static_cast<RpAtomic*>(object);
    RpGeometry* geometry = atomic->geometry;
    RpD3D9InstanceData* header = RpD3D9ResourceEntryGetInstanceData(entry);
    if (geometry->numMorphTargets <= 1)
        return instanceCallback ? instanceCallback(atomic, header, TRUE) : TRUE;
    if ((atomic->interpolator.flags & rpINTERPOLATORDIRTYINSTANCE) || geometry->lockedSinceLastInst) {
        const RwUInt16 kept = geometry->lockedSinceLastInst;
        geometry->lockedSinceLastInst = RwUInt16(kept | 0x006);
        RpD3D9AtomicDefaultInstanceCallback(atomic, header, TRUE);
        geometry->lockedSinceLastInst = kept;
    }
    return TRUE;
}

RwBool RpD3D9WorldSectorDefaultInstanceCallback(void* object, RpD3D9InstanceData* header, RwBool) {
    auto* sector = static_cast<RpWorldSector*>(object);
    const RpWorld* world = static_cast<const RpWorld*>(RWSRCGLOBAL(curWorld));
    const RwUInt32 flags = world ? world->flags : 0;
    header->totalNumVertex = sector->numVertices;
    DeclarationBuilder decl;
    decl.Add(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, 0x002);
    if (flags & rpWORLDNORMALS)
        decl.Add(0, NormalType(), D3DDECLUSAGE_NORMAL, 0, 0x004);
    if (flags & rpWORLDPRELIT)
        decl.Add(0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0, 0x008);
    if (flags & (rpWORLDTEXTURED | rpWORLDTEXTURED2))
        decl.Add(0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0, 0x010);
    if (flags & rpWORLDTEXTURED2)
        decl.Add(0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1, 0x020);
    if (RpD3D9WorldSectorGetUsageFlags(sector) & usageTangent)
        decl.Add(0, NormalType(), D3DDECLUSAGE_TANGENT, 0, 0);
    if (!decl.Create(&header->vertexDeclaration))
        return FALSE;
    RwD3D9VertexStream& stream = header->vertexStream[0];
    stream.stride = decl.stride[0];
    stream.geometryFlags = decl.bits[0];
    stream.managed = 1;
    if (!RwD3D9CreateVertexBuffer(stream.stride, stream.stride * header->totalNumVertex, &stream.vertexBuffer,
                                  &stream.offset))
        return FALSE;
    header->useOffsets = FALSE;
    RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(header);
    for (RwUInt32 m = 0; m < header->numMeshes; ++m)
        meshes[m].baseIndex = RwInt32(stream.offset / stream.stride + meshes[m].minVert);
    VertexSources src = {};
    src.numVertices = sector->numVertices;
    src.positions = sector->vertices;
    src.packedNormals = (flags & rpWORLDNORMALS) ? sector->normals : nullptr;
    src.prelit = (flags & rpWORLDPRELIT) ? sector->preLitLum : nullptr;
    if (!src.prelit)
        for (RwUInt32 m = 0; m < header->numMeshes; ++m)
            meshes[m].vertexAlpha = FALSE;
    src.texCoords = sector->texCoords;
    src.numTexCoords = (flags & rpWORLDTEXTURED2) ? 2 : (flags & rpWORLDTEXTURED) ? 1 : 0;
    src.meshes = sector->mesh;
    return WriteVertices(header, decl.elements.data(), 0xFFF, src);
}
