// Mesh module: mesh headers, the mesh builder with its list builder, and the mesh extension of geometries.
#include "rwsdk/world/bamesh.h"

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/cpu.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/bamateri.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

struct MeshModuleData {
    RwUInt16 nextSerialNum;
    RwFreeList* builderFreeList;
};

RwModuleInfo meshModule;
RpMeshHeader emptyHeader = {};
RpBuildMeshStripCallBack stripCallBack = RpBuildMeshGenerateDefaultTriStrip;
void* stripCallBackData = nullptr;

constexpr RwUInt32 meshHint = rwMEMHINTDUR_EVENT | rwID_MESHMODULE;
constexpr RwUInt32 builderHint = rwMEMHINTDUR_EVENT | rwID_MESHMODULE | rwMEMHINTFLAG_RESIZABLE;
constexpr RwUInt32 indexBlock = 1024;

MeshModuleData* MeshData() {
    return RWMODULEDATA(MeshModuleData, meshModule);
}

// Every header is preceded by a word that says whether it owns its allocation, so that a header placed in
// a geometry's allocation is destroyed like any other.
enum HeaderHome : std::uintptr_t { ownAllocation, roomOfGeometry };
constexpr size_t headerPrefix = sizeof(std::uintptr_t);

std::uintptr_t* HomeOf(RpMeshHeader* header) {
    return reinterpret_cast<std::uintptr_t*>(header) - 1;
}

// The room offered for the next mesh extension read, and whose it is.
struct OfferedRoom {
    const RpGeometry* geometry;
    void* at;
    size_t size;
} offeredRoom;

// A header at place (headerPrefix bytes on), from home, with the next serial number.
RpMeshHeader* StartHeader(void* place, HeaderHome home, RwUInt32 numMeshes) {
    *static_cast<std::uintptr_t*>(place) = home;
    auto* header = reinterpret_cast<RpMeshHeader*>(static_cast<RwUInt8*>(place) + headerPrefix);
    std::memset(header, 0, sizeof(RpMeshHeader) + sizeof(RpMesh) * size_t(numMeshes));
    header->numMeshes = RwUInt16(numMeshes);
    header->serialNum = MeshData()->nextSerialNum++;
    header->firstMeshOffset = 0;
    return header;
}

void* MeshOpen(void* instance, RwInt32 offset, RwInt32) {
    meshModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(MeshModuleData, instance, offset);
    data->nextSerialNum = 1;
    data->builderFreeList = nullptr;
    if (meshModule.numInstances == 0) {
        data->builderFreeList =
            RwFreeListCreate(sizeof(RpBuildMesh), 50, 4, rwMEMHINTDUR_GLOBAL | rwID_MESHMODULE);
        if (!data->builderFreeList)
            return nullptr;
    }
    ++meshModule.numInstances;
    return instance;
}

void* MeshClose(void* instance, RwInt32 offset, RwInt32) {
    auto* data = RWPLUGINOFFSET(MeshModuleData, instance, offset);
    if (--meshModule.numInstances == 0 && data->builderFreeList) {
        RwFreeListDestroy(data->builderFreeList);
        data->builderFreeList = nullptr;
    }
    stripCallBack = RpBuildMeshGenerateDefaultTriStrip;
    stripCallBackData = nullptr;
    return instance;
}

bool HasAlpha(const RpMaterial* material) {
    if (!material)
        return false;
    if (material->color.alpha < 255)
        return true;
    const RwRaster* raster = material->texture ? material->texture->raster : nullptr;
    if (!raster)
        return false;
    const RwInt32 format = raster->cFormat << 8 & rwRASTERFORMATPIXELFORMATMASK;
    return format == rwRASTERFORMAT1555 || format == rwRASTERFORMAT4444 || format == rwRASTERFORMAT8888;
}

RwInt32 SortBits(const RpBuildMeshTriangle* a, const RpBuildMeshTriangle* b) {
    return (HasAlpha(a->material) ? 16 : 0) | (b->rasterIndex < a->rasterIndex ? 8 : 0) |
           (b->pipelineIndex < a->pipelineIndex ? 4 : 0) | (b->textureIndex < a->textureIndex ? 2 : 0) |
           (b->matIndex < a->matIndex ? 1 : 0);
}

// Emits the triangles of one mesh in passes, each pass a run of triangles that share no vertex.
void ReorderListMesh(RxVertexIndex* indices, RwUInt32 numIndices) {
    const RwUInt32 count = numIndices / 3;
    RwUInt32 highest = 0;
    for (RwUInt32 i = 0; i < numIndices; ++i)
        highest |= indices[i];
    std::vector<RwUInt32> seen((highest + 32) / 32);
    std::vector<RxVertexIndex> remaining(indices, indices + numIndices), next;
    RwUInt32 written = 0;
    auto isSet = [&](RxVertexIndex v) { return (seen[v >> 5] >> (v & 31)) & 1; };
    while (written < count) {
        std::fill(seen.begin(), seen.end(), 0u);
        next.clear();
        for (size_t t = 0; t + 2 < remaining.size(); t += 3) {
            const RxVertexIndex* tri = &remaining[t];
            if (!isSet(tri[0]) && !isSet(tri[1]) && !isSet(tri[2])) {
                for (int k = 0; k < 3; ++k) {
                    seen[tri[k] >> 5] |= 1u << (tri[k] & 31);
                    indices[3 * written + k] = tri[k];
                }
                ++written;
            } else {
                next.insert(next.end(), tri, tri + 3);
            }
        }
        remaining.swap(next);
    }
}

#ifdef RW_AVX2_PATHS
// Thirty-two, then sixteen at a time, as the SSE2 loop below does eight; AVX2 packs without signed
// saturation, but within 128-bit halves, which a permutation puts back in order. One unsigned maximum
// checks every index: limits are at most 0x10000, so it also catches bits above the low 16. Gives the count
// done and leaves the largest index in *largest.
RW_TARGET_AVX2 inline __m256i LoadIndices(const RwUInt8* in, size_t i) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * i));
}

RW_TARGET_AVX2 inline void StoreIndices(RxVertexIndex* out, size_t i, __m256i a, __m256i b) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8));
}

RW_TARGET_AVX2 size_t NarrowIndicesAvx2(RxVertexIndex* out, const RwUInt8* in, size_t count,
                                        RwUInt32* largest) {
    __m256i high = _mm256_setzero_si256(), other = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i a = LoadIndices(in, i), b = LoadIndices(in, i + 8), c = LoadIndices(in, i + 16),
                      d = LoadIndices(in, i + 24);
        high = _mm256_max_epu32(high, _mm256_max_epu32(a, b));
        other = _mm256_max_epu32(other, _mm256_max_epu32(c, d));
        StoreIndices(out, i, a, b);
        StoreIndices(out, i + 16, c, d);
    }
    if (i + 16 <= count) {
        const __m256i a = LoadIndices(in, i), b = LoadIndices(in, i + 8);
        high = _mm256_max_epu32(high, _mm256_max_epu32(a, b));
        StoreIndices(out, i, a, b);
        i += 16;
    }
    high = _mm256_max_epu32(high, other);
    __m128i half = _mm_max_epu32(_mm256_castsi256_si128(high), _mm256_extracti128_si256(high, 1));
    half = _mm_max_epu32(half, _mm_shuffle_epi32(half, 0x4E));
    half = _mm_max_epu32(half, _mm_shuffle_epi32(half, 0xB1));
    *largest = RwUInt32(_mm_cvtsi128_si32(half));
    return i;
}
#endif

// Stored 32-bit indices (little-endian, any alignment) to 16 bits; true when one of them is not below the
// limit.
bool NarrowIndices(RxVertexIndex* out, const RwUInt8* in, RwUInt32 count, RwUInt32 limit) {
    RwUInt32 beyond = 0;
    size_t i = 0;
#ifdef RW_AVX2_PATHS
    if (_rwCpuHasAvx2()) {
        RwUInt32 largest = 0;
        i = NarrowIndicesAvx2(out, in, count, &largest);
        beyond = i > 0 && largest >= limit;
    }
#endif
#ifdef __SSE2__
    // Eight at a time. Any bit above the low 16 is beyond every limit; below that a signed comparison holds.
    // The signed pack saturates, so the indices are moved down by 0x8000 around it.
    const __m128i last = _mm_set1_epi32(RwInt32(limit) - 1);
    const __m128i half = _mm_set1_epi32(0x8000);
    const __m128i flip = _mm_set1_epi16(-0x8000);
    __m128i high = _mm_setzero_si128(), over = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * i + 16));
        high = _mm_or_si128(high, _mm_or_si128(a, b));
        over = _mm_or_si128(over, _mm_or_si128(_mm_cmpgt_epi32(a, last), _mm_cmpgt_epi32(b, last)));
        const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(a, half), _mm_sub_epi32(b, half));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_xor_si128(packed, flip));
    }
    RwUInt32 highWords[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(highWords), high);
    beyond |=
        RwUInt32(_mm_movemask_epi8(over)) | (highWords[0] | highWords[1] | highWords[2] | highWords[3]) >> 16;
#endif
    for (; i < count; ++i) {
        RwUInt32 index;
        std::memcpy(&index, in + 4 * i, 4);
        beyond |= (index >> 16) | ((limit - 1 - index) >> 31);
        out[i] = RxVertexIndex(index);
    }
    return beyond != 0;
}

RwStream* MeshRead(RwStream* stream, RwInt32 length, void* object, RwInt32, RwInt32) {
    auto* geometry = static_cast<RpGeometry*>(object);
    const bool native = geometry->flags & rpGEOMETRYNATIVE;
    RwInt32 head[3];
    if (length < 12 || !RwStreamReadInt32(stream, head, sizeof(head)))
        return nullptr;
    const RwUInt32 numMeshes = RwUInt32(head[1]), total = RwUInt32(head[2]);
    // Counts are checked against the bytes there are before anything is allocated for them.
    const RwUInt64 needed = 12 + 8 * RwUInt64(numMeshes) + (native ? 0 : 4 * RwUInt64(total));
    if (numMeshes > 0xFFFF || needed > std::min(RwUInt64(length), 12 + RwUInt64(RwStreamBytesLeft(stream)))) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    // The geometry's room is taken once; anything else is allocated.
    const size_t size = _rpMeshHeaderRoomSize(numMeshes, native ? 0 : total);
    RpMeshHeader* header = offeredRoom.geometry == geometry && size <= offeredRoom.size
                               ? StartHeader(offeredRoom.at, roomOfGeometry, numMeshes)
                               : _rpMeshHeaderCreate(numMeshes, native ? 0 : total);
    offeredRoom = {nullptr, nullptr, 0};
    if (!header)
        return nullptr;
    header->flags = RwUInt32(head[0]);
    header->totalIndicesInMesh = total;
    RpMesh* meshes = RpMeshHeaderGetMeshes(header);
    RxVertexIndex* next = reinterpret_cast<RxVertexIndex*>(meshes + numMeshes);
    RwUInt32 used = 0;
    bool ok = true;
    for (RwUInt32 m = 0; ok && m < numMeshes; ++m) {
        RwInt32 words[2];
        ok = RwStreamReadInt32(stream, words, sizeof(words)) != nullptr;
        if (!ok)
            break;
        const RwUInt32 count = RwUInt32(words[0]);
        const RwInt32 matIndex = words[1];
        // Counts beyond the announced total, materials outside the list and indices beyond the vertices
        // would each lead outside an array.
        if (count > total - used || matIndex < -1 || matIndex >= geometry->matList.numMaterials) {
            RwErrorSetCode(E_RW_READ);
            ok = false;
            break;
        }
        meshes[m].numIndices = count;
        meshes[m].material = matIndex < 0 ? nullptr : geometry->matList.materials[matIndex];
        meshes[m].indices = native ? nullptr : next;
        used += count;
        if (native)
            continue;
        const RwUInt32 limit = RwUInt32(geometry->numVertices);
        if (const RwUInt8* inPlace = _rwStreamTakeInPlace(stream, 4 * count)) {
            if (NarrowIndices(next, inPlace, count, limit)) {
                RwErrorSetCode(E_RW_READ);
                ok = false;
            }
        } else {
            RwUInt8 block[4 * indexBlock];
            for (RwUInt32 done = 0; ok && done < count;) {
                const RwUInt32 n = std::min(indexBlock, count - done);
                ok = RwStreamRead(stream, block, 4 * n) == 4 * n;
                if (!ok)
                    RwErrorSetCode(E_RW_READ);
                if (ok && NarrowIndices(next + done, block, n, limit)) {
                    RwErrorSetCode(E_RW_READ);
                    ok = false;
                }
                done += n;
            }
        }
        next += count;
    }
    if (ok && used != total) {
        RwErrorSetCode(E_RW_READ);
        ok = false;
    }
    if (!ok) {
        RpMeshHeaderDestroy(header);
        return nullptr;
    }
    if (geometry->mesh)
        RpMeshHeaderDestroy(geometry->mesh);
    geometry->mesh = header;
    return stream;
}

RwStream* MeshWrite(RwStream* stream, RwInt32, const void* object, RwInt32, RwInt32) {
    const auto* geometry = static_cast<const RpGeometry*>(object);
    const RpMeshHeader* header = geometry->mesh;
    const bool native = geometry->flags & rpGEOMETRYNATIVE;
    const RwInt32 head[3] = {RwInt32(header->flags), header->numMeshes, RwInt32(header->totalIndicesInMesh)};
    if (!RwStreamWriteInt32(stream, head, sizeof(head)))
        return nullptr;
    const RpMesh* meshes = RpMeshHeaderGetMeshes(header);
    for (RwUInt32 m = 0; m < header->numMeshes; ++m) {
        // A mesh without a material is stored as -1, so that it reads back without one.
        RwInt32 matIndex = -1;
        if (meshes[m].material) {
            matIndex = RpMaterialListFindMaterialIndex(&geometry->matList, meshes[m].material);
            matIndex = matIndex < 0 ? 0 : matIndex;
        }
        const RwInt32 words[2] = {RwInt32(meshes[m].numIndices), matIndex};
        if (!RwStreamWriteInt32(stream, words, sizeof(words)))
            return nullptr;
        if (native)
            continue;
        RwInt32 block[indexBlock];
        for (RwUInt32 done = 0; done < meshes[m].numIndices;) {
            const RwUInt32 n = std::min(indexBlock, meshes[m].numIndices - done);
            for (RwUInt32 i = 0; i < n; ++i)
                block[i] = meshes[m].indices[done + i];
            if (!RwStreamWriteInt32(stream, block, 4 * n))
                return nullptr;
            done += n;
        }
    }
    return stream;
}

RwInt32 MeshSize(const void* object, RwInt32, RwInt32) {
    const auto* geometry = static_cast<const RpGeometry*>(object);
    const RpMeshHeader* header = geometry->mesh;
    if (!header)
        return 0;
    if (geometry->flags & rpGEOMETRYNATIVE)
        return 12 + 8 * RwInt32(header->numMeshes);
    return 12 + 4 * RwInt32(header->totalIndicesInMesh + 2 * header->numMeshes);
}

} // namespace

RwInt32 _rpMeshModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(MeshModuleData), rwID_MESHMODULE, MeshOpen, MeshClose);
}

RwInt32 _rpMeshGeometryPluginAttach() {
    if (RpGeometryRegisterPlugin(0, rwID_BINMESHPLUGIN, nullptr, nullptr, nullptr) < 0)
        return -1;
    return RpGeometryRegisterPluginStream(rwID_BINMESHPLUGIN, MeshRead, MeshWrite, MeshSize);
}

size_t _rpMeshHeaderRoomSize(RwUInt32 numMeshes, RwUInt32 numIndices) {
    return headerPrefix + sizeof(RpMeshHeader) + sizeof(RpMesh) * size_t(numMeshes) +
           sizeof(RxVertexIndex) * size_t(numIndices);
}

RpMeshHeader* _rpMeshHeaderCreate(RwUInt32 numMeshes, RwUInt32 numIndices) {
    void* place = RwMalloc(_rpMeshHeaderRoomSize(numMeshes, numIndices), meshHint);
    if (!place) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    return StartHeader(place, ownAllocation, numMeshes);
}

void _rpMeshGeometryOfferRoom(const RpGeometry* geometry, void* room, size_t size) {
    offeredRoom = room ? OfferedRoom{geometry, room, size} : OfferedRoom{nullptr, nullptr, 0};
}

RpMeshHeader* RpMeshHeaderGetEmpty() {
    return &emptyHeader;
}

RwBool RpMeshHeaderDestroy(RpMeshHeader* header) {
    if (header && header != &emptyHeader && *HomeOf(header) == ownAllocation)
        RwFree(HomeOf(header));
    return TRUE;
}

RpMeshHeader* RpMeshHeaderForAllMeshes(RpMeshHeader* header, RpMeshCallBack callBack, void* data) {
    RpMesh* meshes = RpMeshHeaderGetMeshes(header);
    for (RwUInt32 m = 0; m < header->numMeshes; ++m)
        if (!callBack(&meshes[m], header, data))
            break;
    return header;
}

RwInt32 RpMeshHeaderFlagsToPrimType(RwUInt32 flags) {
    switch (flags & rpMESHHEADERPRIMMASK) {
    case rpMESHHEADERTRILIST:
        return 3;
    case rpMESHHEADERTRISTRIP:
        return 4;
    case rpMESHHEADERTRIFAN:
        return 5;
    case rpMESHHEADERLINELIST:
        return 1;
    case rpMESHHEADERPOLYLINE:
        return 2;
    case rpMESHHEADERPOINTLIST:
        return 6;
    default:
        return 0;
    }
}

RwUInt32 RpMeshPrimTypeToHeaderFlags(RwInt32 primType) {
    static const RwUInt32 flags[] = {0,
                                     rpMESHHEADERLINELIST,
                                     rpMESHHEADERPOLYLINE,
                                     rpMESHHEADERTRILIST,
                                     rpMESHHEADERTRISTRIP,
                                     rpMESHHEADERTRIFAN,
                                     rpMESHHEADERPOINTLIST};
    return primType >= 1 && primType <= 6 ? flags[primType] : 0;
}

RpBuildMesh* RpBuildMeshCreate(RwUInt32 bufferSize) {
    auto* mesh = static_cast<RpBuildMesh*>(RwFreeListEntryAlloc(MeshData()->builderFreeList, meshHint));
    if (!mesh) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    mesh->triangleBufferSize = bufferSize;
    mesh->numTriangles = 0;
    mesh->meshTriangles = nullptr;
    if (bufferSize > 0) {
        mesh->meshTriangles = static_cast<RpBuildMeshTriangle*>(
            RwMalloc(sizeof(RpBuildMeshTriangle) * bufferSize, builderHint));
        if (!mesh->meshTriangles) {
            RwFreeListEntryFree(MeshData()->builderFreeList, mesh);
            RwErrorSetCode(E_RW_NOMEM);
            return nullptr;
        }
    }
    return mesh;
}

RwBool RpBuildMeshDestroy(RpBuildMesh* mesh) {
    if (mesh->meshTriangles)
        RwFree(mesh->meshTriangles);
    RwFreeListEntryFree(MeshData()->builderFreeList, mesh);
    return TRUE;
}

RpBuildMesh* RpBuildMeshAddTriangle(RpBuildMesh* mesh, RpMaterial* material, RwInt32 vert1, RwInt32 vert2,
                                    RwInt32 vert3, RwUInt16 matIndex, RwUInt16 textureIndex,
                                    RwUInt16 rasterIndex, RwUInt16 pipelineIndex) {
    if (mesh->numTriangles >= mesh->triangleBufferSize) {
        // Room for the new triangle and, to keep adding cheap, as many again.
        const RwUInt32 size = mesh->numTriangles + 1 + mesh->numTriangles;
        auto* grown = static_cast<RpBuildMeshTriangle*>(
            mesh->meshTriangles
                ? RwRealloc(mesh->meshTriangles, sizeof(RpBuildMeshTriangle) * size, builderHint)
                : RwMalloc(sizeof(RpBuildMeshTriangle) * size, builderHint));
        if (!grown) {
            RwErrorSetCode(E_RW_NOMEM);
            return nullptr;
        }
        mesh->meshTriangles = grown;
        mesh->triangleBufferSize = size;
    }
    RpBuildMeshTriangle& t = mesh->meshTriangles[mesh->numTriangles++];
    t.vertIndex[0] = RwUInt16(vert1);
    t.vertIndex[1] = RwUInt16(vert2);
    t.vertIndex[2] = RwUInt16(vert3);
    t.material = material;
    t.matIndex = matIndex;
    t.textureIndex = textureIndex;
    t.rasterIndex = rasterIndex;
    t.pipelineIndex = pipelineIndex;
    return mesh;
}

RwInt32 _rpBuildMeshCompareTriangles(const RpBuildMeshTriangle* a, const RpBuildMeshTriangle* b) {
    if (a->material == b->material)
        return 0;
    return SortBits(a, b) - SortBits(b, a);
}

std::vector<RpBuildMeshTriangle*> _rpBuildMeshSortTriangles(RpBuildMesh* mesh) {
    // The comparison's bits make it the order of (alpha, raster, pipeline, texture, material index); one
    // material's triangles carry one set of keys, so they compare equal. Keyed once per triangle rather
    // than per comparison.
    struct Keyed {
        RwUInt64 key;
        RwUInt16 matIndex;
        RpBuildMeshTriangle* triangle;
    };
    std::vector<Keyed> keyed(mesh->numTriangles);
    const RpMaterial* lastMaterial = nullptr;
    bool lastAlpha = false;
    for (RwUInt32 i = 0; i < mesh->numTriangles; ++i) {
        RpBuildMeshTriangle* t = &mesh->meshTriangles[i];
        if (i == 0 || t->material != lastMaterial) {
            lastMaterial = t->material;
            lastAlpha = HasAlpha(t->material);
        }
        keyed[i] = {RwUInt64(lastAlpha) << 48 | RwUInt64(t->rasterIndex) << 32 |
                        RwUInt64(t->pipelineIndex) << 16 | t->textureIndex,
                    t->matIndex, t};
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        return a.key != b.key ? a.key < b.key : a.matIndex < b.matIndex;
    });
    std::vector<RpBuildMeshTriangle*> sorted(keyed.size());
    for (size_t i = 0; i < keyed.size(); ++i)
        sorted[i] = keyed[i].triangle;
    return sorted;
}

RwBool RpBuildMeshSetStripCallBack(RpBuildMeshStripCallBack callBack, void* data) {
    stripCallBack = callBack ? callBack : RpBuildMeshGenerateDefaultTriStrip;
    stripCallBackData = callBack ? data : nullptr;
    return TRUE;
}

RpMeshHeader* RpBuildMeshGenerateMeshHeader(RpBuildMesh* mesh, RwBool strip) {
    RpMeshHeader* header = &emptyHeader;
    if (mesh->numTriangles > 0)
        header = strip ? stripCallBack(mesh, stripCallBackData) : RpBuildMeshGenerateTriList(mesh);
    RpBuildMeshDestroy(mesh);
    return header;
}

RpMeshHeader* RpBuildMeshGenerateTriList(RpBuildMesh* mesh) {
    std::vector<RpBuildMeshTriangle*> sorted = _rpBuildMeshSortTriangles(mesh);
    RwUInt32 numMeshes = 0;
    for (RwUInt32 i = 0; i < sorted.size(); ++i)
        if (i == 0 || sorted[i]->material != sorted[i - 1]->material)
            ++numMeshes;
    RpMeshHeader* header = _rpMeshHeaderCreate(numMeshes, 3 * mesh->numTriangles);
    if (!header)
        return nullptr;
    header->flags = rpMESHHEADERTRILIST;
    header->totalIndicesInMesh = 3 * mesh->numTriangles;
    RpMesh* meshes = RpMeshHeaderGetMeshes(header);
    RxVertexIndex* indices = reinterpret_cast<RxVertexIndex*>(meshes + numMeshes);
    RpMesh* current = nullptr;
    for (RwUInt32 i = 0; i < sorted.size(); ++i) {
        if (i == 0 || sorted[i]->material != sorted[i - 1]->material) {
            current = current ? current + 1 : meshes;
            current->indices = indices;
            current->numIndices = 0;
            current->material = sorted[i]->material;
        }
        for (int k = 0; k < 3; ++k)
            *indices++ = sorted[i]->vertIndex[k];
        current->numIndices += 3;
    }
    for (RwUInt32 m = 0; m < numMeshes; ++m)
        ReorderListMesh(meshes[m].indices, meshes[m].numIndices);
    return header;
}
