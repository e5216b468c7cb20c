#include "rwsdk/world/pipe/p2/d3d9/d3d9native.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/resources.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/bawrld.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9instance.h"

#include <d3d9.h>

#include <cstring>
#include <vector>

namespace {

constexpr RwUInt32 platformD3D9 = 9;
constexpr RwUInt32 streamRecordBytes = 16;

RpD3D9InstanceData* InstanceOf(const RpGeometry* geometry) {
    return geometry->repEntry ? RpD3D9ResourceEntryGetInstanceData(geometry->repEntry) : nullptr;
}

bool Native(const RpGeometry* geometry) {
    return (geometry->flags & rpGEOMETRYNATIVE) && geometry->repEntry;
}

std::vector<D3DVERTEXELEMENT9> Elements(void* declaration) {
    std::vector<D3DVERTEXELEMENT9> elements(rpNATIVEMAXELEMENTS);
    UINT count = UINT(elements.size());
    auto* decl = static_cast<IDirect3DVertexDeclaration9*>(declaration);
    if (!decl || FAILED(decl->GetDeclaration(elements.data(), &count)))
        count = 0;
    elements.resize(count);
    return elements;
}

RwUInt32 Size(const RpD3D9InstanceData* h, RwUInt32 numElements) {
    RwUInt32 size = 8 + rpNATIVEHEADERBYTES + rpNATIVEMESHBYTES * h->numMeshes + 4 + 8 * numElements;
    if (h->indexBuffer)
        size += 2 * h->totalNumIndex;
    for (const RwD3D9VertexStream& s : h->vertexStream)
        size += streamRecordBytes + (s.vertexBuffer ? s.stride * h->totalNumVertex : 0);
    return size;
}

void PutU32(std::vector<RwUInt8>& out, RwUInt32 v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(RwUInt8(v >> (8 * i)));
}

RwUInt32 GetU32(const RwUInt8* p) {
    return RwUInt32(p[0]) | RwUInt32(p[1]) << 8 | RwUInt32(p[2]) << 16 | RwUInt32(p[3]) << 24;
}

// Reads exactly n bytes of the chunk, counting them off what is left.
bool Take(RwStream* stream, void* out, RwUInt32 n, RwUInt32& left) {
    if (n > left || RwStreamRead(stream, out, n) != n)
        return false;
    left -= n;
    return true;
}

} // namespace

RwInt32 _rpD3D9NativeDataGeometryGetSize(const RpGeometry* geometry) {
    if (!Native(geometry))
        return 0;
    const RpD3D9InstanceData* h = InstanceOf(geometry);
    return RwInt32(12 + Size(h, RwUInt32(Elements(h->vertexDeclaration).size())));
}

RwStream* _rpD3D9NativeDataGeometryWrite(RwStream* stream, const RpGeometry* geometry) {
    if (!Native(geometry))
        return stream;
    RpD3D9InstanceData* h = InstanceOf(geometry);
    const std::vector<D3DVERTEXELEMENT9> elements = Elements(h->vertexDeclaration);
    std::vector<RwUInt8> out;
    PutU32(out, platformD3D9);
    PutU32(out, rpNATIVEHEADERBYTES + rpNATIVEMESHBYTES * h->numMeshes);
    for (RwUInt32 v : {h->serialNumber, h->numMeshes, RwUInt32(h->indexBuffer ? 1 : 0), h->primType,
                       RwUInt32(h->useOffsets), h->totalNumIndex, h->totalNumVertex})
        PutU32(out, v);
    const RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(h);
    for (RwUInt32 m = 0; m < h->numMeshes; ++m) {
        const RpD3D9MeshInstance& r = meshes[m];
        // Materials as indices in the geometry's list.
        const RwInt32 material = RpMaterialListFindMaterialIndex(&geometry->matList, r.material);
        for (RwUInt32 v : {r.numIndex, r.minVert, RwUInt32(material), RwUInt32(r.vertexAlpha),
                           RwUInt32(r.baseIndex), r.numVertices, r.startIndex, r.numPrimitives})
            PutU32(out, v);
    }
    PutU32(out, RwUInt32(elements.size()));
    const size_t at = out.size();
    out.resize(at + 8 * elements.size());
    std::memcpy(out.data() + at, elements.data(), 8 * elements.size());
    if (h->indexBuffer) {
        void* data = nullptr;
        auto* ib = static_cast<IDirect3DIndexBuffer9*>(h->indexBuffer);
        if (FAILED(ib->Lock(0, 0, &data, D3DLOCK_READONLY)))
            return nullptr;
        const auto* bytes = static_cast<const RwUInt8*>(data);
        out.insert(out.end(), bytes, bytes + 2 * h->totalNumIndex);
        ib->Unlock();
    }
    for (const RwD3D9VertexStream& s : h->vertexStream) {
        PutU32(out, s.vertexBuffer ? 1 : 0);
        PutU32(out, s.offset);
        PutU32(out, s.stride);
        PutU32(out, RwUInt32(s.geometryFlags) | RwUInt32(s.managed) << 16 | RwUInt32(s.dynamicLock) << 24);
        if (!s.vertexBuffer)
            continue;
        void* data = nullptr;
        auto* vb = static_cast<IDirect3DVertexBuffer9*>(s.vertexBuffer);
        if (FAILED(vb->Lock(s.offset, s.stride * h->totalNumVertex, &data, D3DLOCK_NOSYSLOCK)))
            return nullptr;
        const auto* bytes = static_cast<const RwUInt8*>(data);
        out.insert(out.end(), bytes, bytes + s.stride * h->totalNumVertex);
        vb->Unlock();
    }
    if (!RwStreamWriteChunkHeader(stream, rwID_STRUCT, RwUInt32(out.size()), rwLIBRARYCURRENTVERSION,
                                  rwLIBRARYBUILD))
        return nullptr;
    return RwStreamWrite(stream, out.data(), RwUInt32(out.size()));
}

RwStream* _rpD3D9NativeDataGeometryRead(RwStream* stream, RwInt32 length, RpGeometry* geometry) {
    RwUInt32 chunkLength = 0, version = 0;
    if (length < 12 || !RwStreamFindChunk(stream, rwID_STRUCT, &chunkLength, &version))
        return nullptr;
    if (version < rwLIBRARYBASEVERSION || version > rwLIBRARYCURRENTVERSION) {
        RwErrorSetCode(E_RW_BADVERSION);
        return nullptr;
    }
    // The data read replaces any there was, also when the read is refused.
    if (geometry->repEntry)
        RwResourcesFreeResourceEntry(geometry->repEntry);
    // Never past the extension that holds the chunk.
    RwUInt32 left = std::min<RwUInt32>(chunkLength, RwUInt32(length) - 12);
    auto fail = [&](RwResourceEntry* entry) -> RwStream* {
        if (entry)
            RwResourcesFreeResourceEntry(entry);
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    };
    RwUInt8 words[8];
    if (!Take(stream, words, 8, left) || GetU32(words) != platformD3D9)
        return fail(nullptr);
    const RwUInt32 headerBytes = GetU32(words + 4);
    RwUInt8 head[rpNATIVEHEADERBYTES];
    if (headerBytes < rpNATIVEHEADERBYTES || !Take(stream, head, rpNATIVEHEADERBYTES, left))
        return fail(nullptr);
    const RwUInt32 numMeshes = GetU32(head + 4);
    // The header's size, its mesh count and the mesh header's all agree, and the mesh records are there.
    if (numMeshes > 0xFFFF || headerBytes != rpNATIVEHEADERBYTES + rpNATIVEMESHBYTES * numMeshes ||
        headerBytes - rpNATIVEHEADERBYTES > left)
        return fail(nullptr);
    const bool indexed = GetU32(head + 8) != 0;
    const RwUInt32 totalIndex = GetU32(head + 20), totalVertex = GetU32(head + 24);
    if (totalIndex > left / 2 || totalVertex > 0xFFFF + 1)
        return fail(nullptr);
    const RwInt32 size = RwInt32(sizeof(RpD3D9InstanceData) + sizeof(RpD3D9MeshInstance) * numMeshes);
    RwResourceEntry* entry =
        RwResourcesAllocateResourceEntry(geometry, &geometry->repEntry, size, RpD3D9DestroyInstanceData);
    if (!entry)
        return nullptr;
    RpD3D9InstanceData* h = RpD3D9ResourceEntryGetInstanceData(entry);
    std::memset(static_cast<void*>(h), 0, size_t(size));
    h->serialNumber = GetU32(head);
    h->numMeshes = numMeshes;
    h->primType = GetU32(head + 12);
    h->useOffsets = GetU32(head + 16) ? TRUE : FALSE;
    h->totalNumIndex = totalIndex;
    h->totalNumVertex = totalVertex;
    RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(h);
    for (RwUInt32 m = 0; m < numMeshes; ++m) {
        RwUInt8 rec[rpNATIVEMESHBYTES];
        if (!Take(stream, rec, rpNATIVEMESHBYTES, left))
            return fail(entry);
        RpD3D9MeshInstance& r = meshes[m];
        r.numIndex = GetU32(rec);
        r.minVert = GetU32(rec + 4);
        const RwInt32 material = RwInt32(GetU32(rec + 8));
        r.vertexAlpha = GetU32(rec + 12) ? TRUE : FALSE;
        r.numVertices = GetU32(rec + 20);
        r.startIndex = GetU32(rec + 24);
        r.numPrimitives = GetU32(rec + 28);
        // Every mesh stays inside the index and vertex ranges.
        if (material >= geometry->matList.numMaterials ||
            (indexed && (r.startIndex > totalIndex || r.numIndex > totalIndex - r.startIndex)) ||
            r.minVert > totalVertex || r.numVertices > totalVertex - r.minVert)
            return fail(entry);
        r.material = material >= 0 ? geometry->matList.materials[material] : nullptr;
    }
    RwUInt8 countBytes[4];
    if (!Take(stream, countBytes, 4, left))
        return fail(entry);
    const RwUInt32 numElements = GetU32(countBytes);
    if (numElements == 0 || numElements > rpNATIVEMAXELEMENTS)
        return fail(entry);
    D3DVERTEXELEMENT9 elements[rpNATIVEMAXELEMENTS];
    if (!Take(stream, elements, 8 * numElements, left) || elements[numElements - 1].Stream != 0xFF ||
        elements[numElements - 1].Type != D3DDECLTYPE_UNUSED)
        return fail(entry);
    if (!RwD3D9CreateVertexDeclaration(elements, &h->vertexDeclaration))
        return fail(entry);
    if (indexed && totalIndex) {
        if (!RwD3D9CreateIndexBuffer(totalIndex, &h->indexBuffer))
            return fail(entry);
        void* data = nullptr;
        auto* ib = static_cast<IDirect3DIndexBuffer9*>(h->indexBuffer);
        if (FAILED(ib->Lock(0, 0, &data, 0)))
            return fail(entry);
        const bool ok = Take(stream, data, 2 * totalIndex, left);
        ib->Unlock();
        if (!ok)
            return fail(entry);
    }
    RwInt32 numStreams = 0;
    for (RwD3D9VertexStream& s : h->vertexStream) {
        RwUInt8 rec[streamRecordBytes];
        if (!Take(stream, rec, streamRecordBytes, left))
            return fail(entry);
        if (!GetU32(rec))
            continue;
        const RwUInt32 stride = GetU32(rec + 8);
        // The vertex bytes must be in the chunk before a buffer is made for them.
        if (stride == 0 || stride > 256 || RwUInt64(stride) * totalVertex > left)
            return fail(entry);
        s.stride = stride;
        s.geometryFlags = RwUInt16(GetU32(rec + 12));
        const RwUInt32 bytes = stride * totalVertex;
        DWORD lockFlags = D3DLOCK_NOSYSLOCK;
        if (geometry->numMorphTargets < 2) {
            if (!RwD3D9CreateVertexBuffer(stride, bytes, &s.vertexBuffer, &s.offset))
                return fail(entry);
            s.managed = 1;
        } else {
            if (!RwD3D9CreateDynamicVertexBuffer(bytes, &s.vertexBuffer))
                return fail(entry);
            s.managed = 0;
            s.offset = 0;
            lockFlags |= D3DLOCK_DISCARD;
        }
        void* data = nullptr;
        auto* vb = static_cast<IDirect3DVertexBuffer9*>(s.vertexBuffer);
        if (FAILED(vb->Lock(s.offset, bytes, &data, lockFlags)))
            return fail(entry);
        const bool ok = Take(stream, data, bytes, left);
        vb->Unlock();
        if (!ok)
            return fail(entry);
        ++numStreams;
    }
    const D3DCAPS9* caps = RwD3D9GetCaps();
    const bool streamOffsets = caps && (caps->DevCaps2 & D3DDEVCAPS2_STREAMOFFSET);
    const RwD3D9VertexStream& first = h->vertexStream[0];
    for (RwUInt32 m = 0; m < numMeshes; ++m) {
        if (numStreams <= 1 && first.stride)
            meshes[m].baseIndex = RwInt32(first.offset / first.stride + meshes[m].minVert);
        else
            meshes[m].baseIndex = RwInt32(meshes[m].minVert);
    }
    if (numStreams == 1)
        h->useOffsets = FALSE;
    else if (numStreams == 2)
        h->useOffsets = streamOffsets ? TRUE : FALSE;
    if (left)
        RwStreamSkip(stream, left);
    return stream;
}

namespace {

RwStream* GeometryRead(RwStream* stream, RwInt32 length, void* object, RwInt32, RwInt32) {
    return _rpD3D9NativeDataGeometryRead(stream, length, static_cast<RpGeometry*>(object));
}
RwStream* GeometryWrite(RwStream* stream, RwInt32, const void* object, RwInt32, RwInt32) {
    return _rpD3D9NativeDataGeometryWrite(stream, static_cast<const RpGeometry*>(object));
}
RwInt32 GeometrySize(const void* object, RwInt32, RwInt32) {
    return _rpD3D9NativeDataGeometryGetSize(static_cast<const RpGeometry*>(object));
}
// Sectors: the game has no world stream, so a sector's extension is always empty.
RwStream* SectorRead(RwStream* stream, RwInt32 length, void*, RwInt32, RwInt32) {
    return RwStreamSkip(stream, RwUInt32(length));
}
RwStream* SectorWrite(RwStream* stream, RwInt32, const void*, RwInt32, RwInt32) {
    return stream;
}
RwInt32 SectorSize(const void*, RwInt32, RwInt32) {
    return 0;
}

} // namespace

RwBool _rpD3D9NativeDataPluginAttach() {
    return RpGeometryRegisterPlugin(0, rwID_NATIVEDATAPLUGIN, nullptr, nullptr, nullptr) >= 0 &&
           RpGeometryRegisterPluginStream(rwID_NATIVEDATAPLUGIN, GeometryRead, GeometryWrite, GeometrySize) >=
               0 &&
           RpWorldSectorRegisterPlugin(0, rwID_NATIVEDATAPLUGIN, nullptr, nullptr, nullptr) >= 0 &&
           RpWorldSectorRegisterPluginStream(rwID_NATIVEDATAPLUGIN, SectorRead, SectorWrite, SectorSize) >= 0;
}
