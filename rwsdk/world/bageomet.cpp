// Geometry module: geometries, morph targets, mesh building from triangles and the geometry chunk.
#include "rwsdk/world/bageomet.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/cpu.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/resources.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/bamesh.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

RwModuleInfo geometryModule;
RwPluginRegistry geometryTKList = {sizeof(RpGeometry), sizeof(RpGeometry), 0, nullptr, nullptr};

constexpr RwUInt32 geometryHint = rwMEMHINTDUR_EVENT | rwID_GEOMETRY;
constexpr RwUInt32 morphHint = rwMEMHINTDUR_EVENT | rwID_GEOMETRY | rwMEMHINTFLAG_RESIZABLE;
constexpr RwUInt32 oldestWithoutSurface = 0x34001; // struct payloads of 0x34000 carry surface properties
constexpr RwInt32 errorTooManyVertices = 6;

void* GeometryOpen(void* instance, RwInt32 offset, RwInt32) {
    geometryModule.globalsOffset = offset;
    ++geometryModule.numInstances;
    return instance;
}

void* GeometryClose(void* instance, RwInt32, RwInt32) {
    --geometryModule.numInstances;
    return instance;
}

bool Native(const RpGeometry* geometry) {
    return geometry->flags & rpGEOMETRYNATIVE;
}

// Bytes of one morph target's vertex data.
size_t MorphVertexBytes(const RpGeometry* geometry) {
    if (Native(geometry))
        return 0;
    const size_t positions = sizeof(RwV3d) * size_t(geometry->numVertices);
    return (geometry->flags & rpGEOMETRYNORMALS) ? 2 * positions : positions;
}

// The morph targets a geometry is created with live in its own allocation, right behind the object and its
// plugin data (a place that no later change of flags moves); targets added later get a block of their own.
size_t InlineMorphOffset() {
    constexpr size_t align = alignof(RpMorphTarget);
    return (size_t(geometryTKList.sizeOfStruct) + align - 1) & ~(align - 1);
}

RpMorphTarget* InlineMorphTargets(RpGeometry* geometry) {
    return reinterpret_cast<RpMorphTarget*>(reinterpret_cast<RwUInt8*>(geometry) + InlineMorphOffset());
}

bool MorphTargetsOwnBlock(RpGeometry* geometry) {
    return geometry->morphTarget && geometry->morphTarget != InlineMorphTargets(geometry);
}

// Every geometry's allocation starts with the word that says where it lives: in a block of its own (null)
// or in a block shared by the geometries of one model read from memory, which goes with the last of them.
struct SharedBlock {
    RwUInt32 users; // the geometries in it, and the reader while it offers the block
};
constexpr size_t homePrefix = 16;
static_assert(sizeof(SharedBlock*) <= homePrefix && sizeof(SharedBlock) <= homePrefix);

// The block the clump reader offers to the geometries it reads next: the unused part.
struct Offered {
    SharedBlock* block = nullptr;
    RwUInt8* next = nullptr;
    size_t left = 0;
} offered;

SharedBlock*& HomeOf(RpGeometry* geometry) {
    return *reinterpret_cast<SharedBlock**>(reinterpret_cast<RwUInt8*>(geometry) - homePrefix);
}

void ReleaseShared(SharedBlock* block) {
    if (--block->users == 0)
        RwFree(block);
}

// A geometry's allocation of size bytes (behind the prefix): from the offered block while it lasts.
RpGeometry* AllocateGeometry(size_t size) {
    const size_t whole = (homePrefix + size + 15) & ~size_t(15);
    RwUInt8* place;
    SharedBlock* home = nullptr;
    if (offered.block && whole <= offered.left) {
        place = offered.next;
        offered.next += whole;
        offered.left -= whole;
        home = offered.block;
        ++home->users;
    } else if (!(place = static_cast<RwUInt8*>(RwMalloc(homePrefix + size, geometryHint)))) {
        return nullptr;
    }
    auto* geometry = reinterpret_cast<RpGeometry*>(place + homePrefix);
    HomeOf(geometry) = home;
    return geometry;
}

void FreeGeometry(RpGeometry* geometry) {
    if (SharedBlock* home = HomeOf(geometry))
        ReleaseShared(home);
    else
        RwFree(reinterpret_cast<RwUInt8*>(geometry) - homePrefix);
}

// The vertex data of the targets starts at data (behind the records, or further on).
void LayOutMorphTargets(RpGeometry* geometry, RpMorphTarget* block, RwInt32 count, RwUInt8* data) {
    const size_t positions = sizeof(RwV3d) * size_t(geometry->numVertices);
    for (RwInt32 i = 0; i < count; ++i) {
        block[i].parentGeom = geometry;
        block[i].verts = nullptr;
        block[i].normals = nullptr;
        if (Native(geometry))
            continue;
        block[i].verts = reinterpret_cast<RwV3d*>(data);
        data += positions;
        if (geometry->flags & rpGEOMETRYNORMALS) {
            block[i].normals = reinterpret_cast<RwV3d*>(data);
            data += positions;
        }
    }
}

// Texture set count and the stored flags of creation flags; -1 sets for more than the engine keeps.
RwInt32 NormaliseFlags(RwUInt32 given, RwUInt32* stored) {
    RwInt32 sets = RwInt32((given >> 16) & 0xFF);
    if (sets == 0)
        sets = (given & rpGEOMETRYTEXTURED2) ? 2 : (given & rpGEOMETRYTEXTURED) ? 1 : 0;
    *stored = (given & 0x7B) | (given & 0x0F000000) |
              (sets == 1  ? rpGEOMETRYTEXTURED
               : sets > 1 ? rpGEOMETRYTEXTURED2
                          : 0u);
    return sets <= rwMAXTEXTURECOORDS ? sets : -1;
}

// The creation flags that give back this geometry's flags and texture set count.
RwUInt32 StoredCreationFlags(const RpGeometry* geometry) {
    RwUInt32 flags = geometry->flags;
    if (geometry->numTexCoordSets > 2)
        flags |= rpGEOMETRYTEXCOORDSETS(RwUInt32(geometry->numTexCoordSets));
    return flags;
}

RwUInt32 StructArraysSize(const RpGeometry* geometry) {
    if (Native(geometry) || geometry->numVertices == 0)
        return 0;
    const RwUInt32 v = RwUInt32(geometry->numVertices);
    return ((geometry->flags & rpGEOMETRYPRELIT) ? 4 * v : 0) + 8 * v * RwUInt32(geometry->numTexCoordSets) +
           8 * RwUInt32(geometry->numTriangles);
}

RwUInt32 StructSize(const RpGeometry* geometry) {
    RwUInt32 size = 16 + StructArraysSize(geometry);
    const RwUInt32 vertexBytes = Native(geometry) ? 0 : 12 * RwUInt32(geometry->numVertices);
    const bool normals = geometry->flags & rpGEOMETRYNORMALS;
    for (RwInt32 i = 0; i < geometry->numMorphTargets; ++i)
        size += 24 + vertexBytes + (normals ? vertexBytes : 0);
    return size;
}

// How far a geometry's triangles reach: the largest vertex index + 1 and the largest material index + 1
// (0 where there are none; 0xFFFF names no material).
struct TriangleReach {
    RwUInt32 vertices = 0;
    RwUInt32 materials = 0;
};

// Takes the largest lanes of whole triangles (vertex 0, 1, 2, material + 1 as 16-bit lanes) into a reach.
void MergeReach(TriangleReach* reach, const RwUInt16* lanes, int count) {
    for (int lane = 0; lane < count; ++lane) {
        if (lane % 4 == 3)
            reach->materials = std::max<RwUInt32>(reach->materials, lanes[lane]);
        else
            reach->vertices = std::max<RwUInt32>(reach->vertices, lanes[lane] + 1u);
    }
}

#ifdef RW_AVX2_PATHS
// Four triangles into their own order: one byte shuffle trades the halves of each word. Gives them with 1
// added to each material lane (0xFFFF becomes 0).
RW_TARGET_AVX2 inline __m256i UnswapFour(RpTriangle* out, const RwUInt8* in, RwInt32 t) {
    const __m256i swap = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0, 1, 6,
                                          7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
    const __m256i materialOne = _mm256_set_epi16(1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0);
    const __m256i x =
        _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 8 * size_t(t))), swap);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + t), x);
    return _mm256_add_epi16(x, materialOne);
}

// The largest of eight 16-bit lanes: the complement's smallest.
RW_TARGET_AVX2 inline RwUInt32 LargestLane(__m128i lanes) {
    const __m128i smallest = _mm_minpos_epu16(_mm_xor_si128(lanes, _mm_set1_epi16(-1)));
    return (RwUInt32(_mm_cvtsi128_si32(smallest)) & 0xFFFF) ^ 0xFFFFu;
}

// Eight, then four triangles at a time, as the SSE2 loop below does two. Gives the count done.
RW_TARGET_AVX2 RwInt32 UnswapTrianglesAvx2(RpTriangle* out, const RwUInt8* in, RwInt32 count,
                                           TriangleReach* reach) {
    __m256i largest = _mm256_setzero_si256();
    RwInt32 t = 0;
    for (; t + 8 <= count; t += 8)
        largest =
            _mm256_max_epu16(largest, _mm256_max_epu16(UnswapFour(out, in, t), UnswapFour(out, in, t + 4)));
    if (t + 4 <= count) {
        largest = _mm256_max_epu16(largest, UnswapFour(out, in, t));
        t += 4;
    }
    if (t > 0) {
        const __m128i both =
            _mm_max_epu16(_mm256_castsi256_si128(largest), _mm256_extracti128_si256(largest, 1));
        const __m128i materialLanes = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
        reach->vertices = std::max(reach->vertices, LargestLane(_mm_andnot_si128(materialLanes, both)) + 1);
        reach->materials = std::max(reach->materials, LargestLane(_mm_and_si128(materialLanes, both)));
    }
    return t;
}
#endif

// Triangles as stored (vertex 1, vertex 0, material, vertex 2) into their own order (out may be in): the
// halves of each 32-bit word trade places. Their reach is gathered on the way, so that neither check needs
// another pass over the triangles.
TriangleReach UnswapTriangles(RpTriangle* out, const RwUInt8* in, RwInt32 count) {
    static_assert(sizeof(RpTriangle) == 2 * sizeof(RwUInt32));
    TriangleReach reach;
    RwInt32 t = 0;
#ifdef RW_AVX2_PATHS
    if (_rwCpuHasAvx2())
        t = UnswapTrianglesAvx2(out, in, count, &reach);
#endif
#ifdef __SSE2__
    // Two triangles at a time; lanes are biased by 0x8000 for the signed 16-bit maximum, and each material
    // lane gets 1 added, which takes 0xFFFF to 0.
    const __m128i flip = _mm_set1_epi16(-0x8000);
    const __m128i materialOne = _mm_set_epi16(1, 0, 0, 0, 1, 0, 0, 0);
    __m128i largest = flip;
    const RwInt32 first = t;
    for (; t + 2 <= count; t += 2) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * size_t(t)));
        x = _mm_or_si128(_mm_slli_epi32(x, 16), _mm_srli_epi32(x, 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + t), x);
        largest = _mm_max_epi16(largest, _mm_xor_si128(_mm_add_epi16(x, materialOne), flip));
    }
    if (t > first) {
        RwUInt16 lanes[8];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), _mm_xor_si128(largest, flip));
        MergeReach(&reach, lanes, 8);
    }
#endif
    for (; t < count; ++t) {
        RwUInt32 w[2];
        std::memcpy(w, in + 8 * size_t(t), sizeof(w));
        w[0] = std::rotl(w[0], 16);
        w[1] = std::rotl(w[1], 16);
        std::memcpy(&out[t], w, sizeof(w));
        const RwUInt16 lanes[4] = {RwUInt16(w[0]), RwUInt16(w[0] >> 16), RwUInt16(w[1]),
                                   RwUInt16((w[1] >> 16) + 1)};
        MergeReach(&reach, lanes, 4);
    }
    return reach;
}

// Reads exactly length bytes of the struct payload, keeping count of what is left of it.
bool ReadPayload(RwStream* stream, void* buffer, RwUInt64 length, RwUInt32* remaining) {
    if (length > *remaining) {
        RwErrorSetCode(E_RW_READ);
        return false;
    }
    *remaining -= RwUInt32(length);
    if (RwStreamRead(stream, buffer, RwUInt32(length)) != length) {
        RwErrorSetCode(E_RW_READ);
        return false;
    }
    return true;
}

// Where the reader wants a geometry's arrays within a cache line: a large copy is quickest when its
// destination has its source's offset in the line, so the vertex positions and the group of prelight
// colours and texture coordinates can each start up to a line later than they would.
struct ArrayPhase {
    std::uintptr_t vertices;
    std::uintptr_t arrays;
};
constexpr size_t cacheLine = 64;
constexpr size_t phaseSlack = 2 * cacheLine;

// The first address from at with the given offset in a line (a multiple of 4, as every array's type needs).
RwUInt8* InPhase(RwUInt8* at, std::uintptr_t offset) {
    return at + ((offset - reinterpret_cast<std::uintptr_t>(at)) & (cacheLine - 4));
}

// Bytes of a geometry with its morph targets and arrays, up to the room asked for behind them.
size_t ArraysEnd(RwInt32 numVerts, RwInt32 numTriangles, RwUInt32 flags, RwInt32 sets,
                 RwInt32 numMorphTargets) {
    const bool native = flags & rpGEOMETRYNATIVE;
    const size_t positions = native ? 0 : sizeof(RwV3d) * size_t(numVerts);
    size_t size = InlineMorphOffset() + sizeof(RpMorphTarget) * size_t(numMorphTargets) +
                  ((flags & rpGEOMETRYNORMALS) ? 2 * positions : positions) * size_t(numMorphTargets);
    if (!native) {
        if (flags & rpGEOMETRYPRELIT)
            size += sizeof(RwRGBA) * size_t(numVerts);
        size +=
            sizeof(RwTexCoords) * size_t(numVerts) * size_t(sets) + sizeof(RpTriangle) * size_t(numTriangles);
    }
    return size;
}

RpGeometry* CreateGeometry(RwInt32 numVerts, RwInt32 numTriangles, RwUInt32 format, RwInt32 numMorphTargets,
                           bool clear, size_t roomSize = 0, RwUInt8** room = nullptr,
                           const ArrayPhase* phase = nullptr);
RwInt32 AddMorphTargets(RpGeometry* geometry, RwInt32 count, bool clear);

} // namespace

RwInt32 _rpGeometryModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(RwInt32), rwID_GEOMETRYMODULE, GeometryOpen, GeometryClose);
}

RpGeometry* RpGeometryCreate(RwInt32 numVerts, RwInt32 numTriangles, RwUInt32 format) {
    return CreateGeometry(numVerts, numTriangles, format, 1, true);
}

namespace {

// The reader fills every array itself: it asks for them uncleared, and for all its morph targets at once,
// and for room behind the arrays (8-byte aligned, left as it is) for what it reads next, and it may ask for
// the arrays in phase with its bytes (uncleared only).
RpGeometry* CreateGeometry(RwInt32 numVerts, RwInt32 numTriangles, RwUInt32 format, RwInt32 numMorphTargets,
                           bool clear, size_t roomSize, RwUInt8** room, const ArrayPhase* phase) {
    if (numVerts < 0 || numTriangles < 0)
        return nullptr;
    if (numVerts >= 0x10000) {
        RwErrorSetCode(errorTooManyVertices);
        return nullptr;
    }
    RwUInt32 flags;
    const RwInt32 sets = NormaliseFlags(format, &flags);
    if (sets < 0) {
        RwErrorSetCode(E_RW_BADPARAM);
        return nullptr;
    }
    const bool native = flags & rpGEOMETRYNATIVE;
    const size_t positions = native ? 0 : sizeof(RwV3d) * size_t(numVerts);
    const size_t records = sizeof(RpMorphTarget) * size_t(numMorphTargets);
    const size_t vertexBytes =
        ((flags & rpGEOMETRYNORMALS) ? 2 * positions : positions) * size_t(numMorphTargets);
    if (clear)
        phase = nullptr;
    const size_t size =
        ArraysEnd(numVerts, numTriangles, flags, sets, numMorphTargets) + (phase ? phaseSlack : 0);
    const size_t roomAt = (size + 7) & ~size_t(7);
    auto* geometry = AllocateGeometry(roomSize ? roomAt + roomSize : size);
    if (!geometry) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    // New morph targets have a zero bounding sphere, whoever fills their vertices.
    std::memset(static_cast<void*>(geometry), 0, clear ? size : InlineMorphOffset() + records);
    geometry->object.type = rwGEOMETRY;
    geometry->flags = flags;
    geometry->refCount = 1;
    geometry->numTriangles = numTriangles;
    geometry->numVertices = numVerts;
    geometry->numTexCoordSets = sets;
    RpMaterialListInitialize(&geometry->matList);
    geometry->morphTarget = InlineMorphTargets(geometry);
    geometry->numMorphTargets = numMorphTargets;
    auto* vertexData = reinterpret_cast<RwUInt8*>(geometry->morphTarget + numMorphTargets);
    if (phase)
        vertexData = InPhase(vertexData, phase->vertices);
    LayOutMorphTargets(geometry, geometry->morphTarget, numMorphTargets, vertexData);
    if (!native) {
        auto* next = vertexData + vertexBytes;
        if (phase)
            next = InPhase(next, phase->arrays);
        if ((flags & rpGEOMETRYPRELIT) && numVerts > 0) {
            geometry->preLitLum = reinterpret_cast<RwRGBA*>(next);
            next += sizeof(RwRGBA) * size_t(numVerts);
        }
        for (RwInt32 i = 0; i < sets && numVerts > 0; ++i) {
            geometry->texCoords[i] = reinterpret_cast<RwTexCoords*>(next);
            next += sizeof(RwTexCoords) * size_t(numVerts);
        }
        if (numTriangles > 0) {
            geometry->triangles = reinterpret_cast<RpTriangle*>(next);
            for (RwInt32 i = 0; i < numTriangles && clear; ++i)
                geometry->triangles[i].matIndex = 0xFFFF;
        }
    }
    if (!RwPluginRegistryInitObject(&geometryTKList, geometry)) {
        FreeGeometry(geometry);
        return nullptr;
    }
    if (room)
        *room = roomSize ? reinterpret_cast<RwUInt8*>(geometry) + roomAt : nullptr;
    return geometry;
}

RwInt32 AddMorphTargets(RpGeometry* geometry, RwInt32 count, bool clear) {
    if (count < 0) {
        RwErrorSetCode(E_RW_BADPARAM);
        return -1;
    }
    const RwInt32 old = geometry->numMorphTargets;
    const size_t vertexBytes = MorphVertexBytes(geometry);
    const size_t total = size_t(old) + size_t(count);
    auto* block =
        static_cast<RpMorphTarget*>(RwMalloc((sizeof(RpMorphTarget) + vertexBytes) * total, morphHint));
    if (!block) {
        RwErrorSetCode(E_RW_NOMEM);
        return -1;
    }
    std::memset(static_cast<void*>(block), 0,
                clear ? (sizeof(RpMorphTarget) + vertexBytes) * total : sizeof(RpMorphTarget) * total);
    RpMorphTarget* const previous = geometry->morphTarget;
    // The old records, then each old target's arrays, wherever they lay, into the new layout.
    if (previous)
        std::memcpy(static_cast<void*>(block), previous, sizeof(RpMorphTarget) * size_t(old));
    LayOutMorphTargets(geometry, block, RwInt32(total), reinterpret_cast<RwUInt8*>(block + total));
    const size_t positions = sizeof(RwV3d) * size_t(geometry->numVertices);
    for (RwInt32 i = 0; previous && i < old; ++i) {
        if (block[i].verts && previous[i].verts)
            std::memcpy(block[i].verts, previous[i].verts, positions);
        if (block[i].normals && previous[i].normals)
            std::memcpy(block[i].normals, previous[i].normals, positions);
    }
    if (MorphTargetsOwnBlock(geometry))
        RwFree(previous);
    geometry->morphTarget = block;
    geometry->numMorphTargets = RwInt32(total);
    return old;
}

} // namespace

RwInt32 RpGeometryAddMorphTargets(RpGeometry* geometry, RwInt32 count) {
    return AddMorphTargets(geometry, count, true);
}

RwBool RpGeometryDestroy(RpGeometry* geometry) {
    if (geometry->refCount > 1) {
        --geometry->refCount;
        return TRUE;
    }
    if (geometry->repEntry)
        RwResourcesFreeResourceEntry(geometry->repEntry);
    geometry->lockedSinceLastInst = rpGEOMETRYLOCKALL;
    if (geometry->mesh)
        RpMeshHeaderDestroy(geometry->mesh);
    geometry->mesh = nullptr;
    RwPluginRegistryDeInitObject(&geometryTKList, geometry);
    if (MorphTargetsOwnBlock(geometry))
        RwFree(geometry->morphTarget);
    RpMaterialListDeinitialize(&geometry->matList);
    FreeGeometry(geometry);
    return TRUE;
}

RpGeometry* RpGeometryLock(RpGeometry* geometry, RwUInt16 lockMode) {
    geometry->lockedSinceLastInst |= lockMode;
    if ((lockMode & rpGEOMETRYLOCKPOLYGONS) && geometry->mesh) {
        RpMeshHeaderDestroy(geometry->mesh);
        geometry->mesh = nullptr;
    }
    return geometry;
}

RpGeometry* RpGeometryUnlock(RpGeometry* geometry) {
    return geometry->mesh ? geometry : RpGeometryBuildMeshes(geometry);
}

RpGeometry* RpGeometryTriangleSetVertexIndices(RpGeometry* geometry, RpTriangle* triangle, RwUInt16 vert1,
                                               RwUInt16 vert2, RwUInt16 vert3) {
    triangle->vertIndex[0] = vert1;
    triangle->vertIndex[1] = vert2;
    triangle->vertIndex[2] = vert3;
    return geometry;
}

RpGeometry* RpGeometryTriangleSetMaterial(RpGeometry* geometry, RpTriangle* triangle, RpMaterial* material) {
    if (!material) {
        triangle->matIndex = 0xFFFF;
        return geometry;
    }
    RwInt32 index = RpMaterialListFindMaterialIndex(&geometry->matList, material);
    if (index < 0)
        index = RpMaterialListAppendMaterial(&geometry->matList, material);
    if (index < 0)
        return nullptr;
    triangle->matIndex = RwUInt16(index);
    return geometry;
}

RpGeometry* RpGeometryForAllMaterials(RpGeometry* geometry, RpMaterialCallBack callBack, void* data) {
    for (RwInt32 i = 0; i < geometry->matList.numMaterials; ++i)
        if (!callBack(geometry->matList.materials[i], data))
            break;
    return geometry;
}

RpMorphTarget* RpMorphTargetCalculateBoundingSphere(RpMorphTarget* morphTarget, RwSphere* sphere) {
    const RpGeometry* geometry = morphTarget->parentGeom;
    const RwInt32 count = morphTarget->verts ? geometry->numVertices : 0;
    const RwV3d* v = morphTarget->verts;
    RwV3d lo = {0, 0, 0}, hi = {0, 0, 0};
    for (RwInt32 i = 0; i < count; ++i) {
        if (i == 0) {
            lo = hi = v[0];
            continue;
        }
        lo = {std::min(lo.x, v[i].x), std::min(lo.y, v[i].y), std::min(lo.z, v[i].z)};
        hi = {std::max(hi.x, v[i].x), std::max(hi.y, v[i].y), std::max(hi.z, v[i].z)};
    }
    const RwV3d centre = {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
    RwReal radiusSquared = 0;
    for (RwInt32 i = 0; i < count; ++i) {
        const RwReal dx = v[i].x - centre.x, dy = v[i].y - centre.y, dz = v[i].z - centre.z;
        radiusSquared = std::max(radiusSquared, dx * dx + dy * dy + dz * dz);
    }
    sphere->center = centre;
    sphere->radius = std::sqrt(radiusSquared) * std::bit_cast<RwReal>(0x3F8020C5u);
    return morphTarget;
}

RpGeometry* RpGeometryBuildMeshes(RpGeometry* geometry) {
    if (geometry->mesh)
        return geometry;
    // A native geometry has no triangles of its own to build from.
    const RwInt32 numTriangles = geometry->triangles ? geometry->numTriangles : 0;
    RpBuildMesh* builder = RpBuildMeshCreate(RwUInt32(numTriangles));
    if (!builder)
        return nullptr;
    // Keys in order of first appearance; one material's keys are those of its first triangle, so each
    // material is keyed once. Shared entries of one material use the same index, so that equal materials
    // sort as equals.
    const RwInt32 numMaterials = geometry->matList.numMaterials;
    struct Keys {
        bool known;
        RwUInt16 matIndex, texture, raster, pipeline;
    };
    std::vector<Keys> keys(size_t(numMaterials), Keys{false, 0, 0, 0, 0});
    std::vector<const void*> textures, rasters, pipelines;
    auto keyOf = [](std::vector<const void*>& table, const void* value) {
        auto found = std::find(table.begin(), table.end(), value);
        if (found == table.end()) {
            table.push_back(value);
            return RwUInt16(table.size() - 1);
        }
        return RwUInt16(found - table.begin());
    };
    for (RwInt32 t = 0; t < numTriangles; ++t) {
        const RpTriangle& tri = geometry->triangles[t];
        RpMaterial* material = nullptr;
        Keys k = {true, 0xFFFF, 0, 0, 0};
        if (tri.matIndex < numMaterials) {
            material = geometry->matList.materials[tri.matIndex];
            Keys& known = keys[tri.matIndex];
            if (!known.known) {
                known.known = true;
                known.matIndex = RwUInt16(RpMaterialListFindMaterialIndex(&geometry->matList, material));
                known.texture = keyOf(textures, material->texture);
                known.raster = keyOf(rasters, material->texture ? material->texture->raster : nullptr);
                known.pipeline = keyOf(pipelines, material->pipeline);
            }
            k = known;
        }
        if (!RpBuildMeshAddTriangle(builder, material, tri.vertIndex[0], tri.vertIndex[1], tri.vertIndex[2],
                                    k.matIndex, k.texture, k.raster, k.pipeline)) {
            RpBuildMeshDestroy(builder);
            return nullptr;
        }
    }
    RpMeshHeader* header = RpBuildMeshGenerateMeshHeader(builder, geometry->flags & rpGEOMETRYTRISTRIP);
    if (!header)
        return nullptr;
    geometry->mesh = header;
    return geometry;
}

RwInt32 RpGeometryRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                 RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&geometryTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RpGeometryRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                       RwPluginDataChunkWriteCallBack writeCB,
                                       RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&geometryTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RpGeometryGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&geometryTKList, pluginID);
}

const RwPluginRegistry* RpGeometryGetRegistry() {
    return &geometryTKList;
}

namespace {

// What the chunks behind the struct (remaining bytes of it still to come) will need, looked at in place
// in a memory stream: the entries of the material list and the bytes of the meshes in the extension.
// Zero for what cannot be told (other streams, chunks that do not add up); the readers then allocate.
struct ComingRoom {
    RwInt32 materials = 0;
    size_t meshBytes = 0;
};

ComingRoom PeekComingRoom(const RwUInt8* bytes, RwUInt32 left, RwUInt32 remaining, bool native) {
    ComingRoom room;
    auto word = [bytes](RwUInt64 at) { return _rwChunkWord(bytes + at, 0); };
    RwUInt64 at = remaining;
    if (at + 28 > left || word(at) != rwID_MATLIST || word(at + 12) != rwID_STRUCT)
        return room;
    // Counts are weighed against the bytes there are, as the readers weigh them: a damaged length asks
    // for no room.
    const RwUInt32 count = word(at + 24);
    const RwUInt64 listBytes = std::min<RwUInt64>(word(at + 16), left - (at + 24));
    if (listBytes >= 4 && count <= (listBytes - 4) / 4 && count <= 0xFFFF)
        room.materials = RwInt32(count);
    at += 12 + RwUInt64(word(at + 4));
    if (at + 12 > left || word(at) != rwID_EXTENSION)
        return room;
    const RwUInt64 end = std::min<RwUInt64>(at + 12 + RwUInt64(word(at + 4)), left);
    for (at += 12; at + 12 <= end; at += 12 + RwUInt64(word(at + 4))) {
        if (word(at) != rwID_BINMESHPLUGIN)
            continue;
        if (word(at + 4) < 12 || at + 24 > end)
            return room;
        const RwUInt32 numMeshes = word(at + 16), total = native ? 0 : word(at + 20);
        const RwUInt64 meshBytes = std::min<RwUInt64>(word(at + 4), end - (at + 12));
        if (numMeshes <= 0xFFFF && 12 + 8 * RwUInt64(numMeshes) + 4 * RwUInt64(total) <= meshBytes)
            room.meshBytes = _rpMeshHeaderRoomSize(numMeshes, total);
        return room;
    }
    return room;
}

// The look over a model's geometry list (below) finds each geometry's coming room on its way: it keeps
// them for the reads that follow, keyed by the struct's payload in place and the end of the bytes looked at
// (the room depends on nothing else), so that no read looks again.
struct LookedAhead {
    const RwUInt8* behindHead; // the struct's payload behind its head
    const RwUInt8* end;
    ComingRoom coming;
};
constexpr size_t lookAheadKept = 64;
struct LookAhead {
    LookedAhead entries[lookAheadKept];
    size_t count = 0;
    size_t next = 0;
} lookAhead;

ComingRoom PeekComingRoom(const RwStream* stream, RwUInt32 remaining, bool native) {
    const RwUInt32 left = RwStreamBytesLeft(const_cast<RwStream*>(stream));
    const RwUInt8* bytes = _rwStreamBytesInPlace(stream, left);
    if (!bytes)
        return ComingRoom{};
    if (lookAhead.next < lookAhead.count) {
        const LookedAhead& kept = lookAhead.entries[lookAhead.next];
        if (kept.behindHead == bytes && kept.end == bytes + left) {
            ++lookAhead.next;
            return kept.coming;
        }
    }
    return PeekComingRoom(bytes, left, remaining, native);
}

size_t RoomOfMaterials(const ComingRoom& coming) {
    return coming.materials > 0 ? (_rpMaterialListRoomSize(coming.materials) + 7) & ~size_t(7) : 0;
}

// Whether the counts of a geometry's struct fit the bytes it has (remaining after its head, left in the
// stream), as they must before anything is allocated for them.
bool CountsFit(RwInt32 numTriangles, RwInt32 numVertices, RwInt32 numMorphTargets, RwUInt32 flags,
               RwInt32 sets, RwUInt64 bytes) {
    const bool native = flags & rpGEOMETRYNATIVE;
    const bool arrays = !native && numVertices > 0;
    const RwUInt64 arrayBytes = arrays ? ((flags & rpGEOMETRYPRELIT) ? 4ull : 0ull) * RwUInt64(numVertices) +
                                             8ull * RwUInt64(numVertices) * RwUInt64(sets) +
                                             8ull * RwUInt64(numTriangles)
                                       : 0;
    return numTriangles >= 0 && numVertices >= 0 && numMorphTargets >= 1 && sets >= 0 &&
           (native || numVertices > 0 || numTriangles == 0) &&
           arrayBytes + (24ull + (arrays ? 12ull * RwUInt64(numVertices) : 0)) * RwUInt64(numMorphTargets) <=
               bytes;
}

// The allocation a geometry read from a memory stream takes (see RpGeometryStreamRead), with the room for
// its coming chunks; 0 for a chunk that will not read.
size_t StreamedGeometrySize(const RwUInt8* bytes, RwUInt64 left, LookedAhead* looked) {
    auto word = [bytes](RwUInt64 at) { return _rwChunkWord(bytes + at, 0); };
    if (left < 40 || word(12) != rwID_STRUCT)
        return 0;
    const RwUInt32 length = word(16);
    const RwUInt32 version = _rwLibraryStampVersion(word(20));
    const RwUInt32 headBytes = version < oldestWithoutSurface ? 28 : 16;
    if (length < headBytes || 24ull + length > left)
        return 0;
    const RwUInt32 format = word(24);
    const RwInt32 numTriangles = RwInt32(word(28)), numVertices = RwInt32(word(32)),
                  numMorphTargets = RwInt32(word(36));
    RwUInt32 flags;
    const RwInt32 sets = NormaliseFlags(format, &flags);
    const RwUInt32 remaining = length - headBytes;
    if (numVertices >= 0x10000 ||
        !CountsFit(numTriangles, numVertices, numMorphTargets, flags, sets, remaining))
        return 0;
    const RwUInt64 after = 24 + headBytes;
    const ComingRoom coming =
        PeekComingRoom(bytes + after, RwUInt32(std::min<RwUInt64>(left - after, 0xFFFFFFFFu)), remaining,
                       flags & rpGEOMETRYNATIVE);
    *looked = {bytes + after, bytes + left, coming};
    const size_t roomSize = RoomOfMaterials(coming) + coming.meshBytes;
    const bool phased = !(flags & rpGEOMETRYNATIVE) && numVertices > 0;
    const size_t size =
        ArraysEnd(numVertices, numTriangles, flags, sets, numMorphTargets) + (phased ? phaseSlack : 0);
    const size_t whole = roomSize ? ((size + 7) & ~size_t(7)) + roomSize : size;
    return (homePrefix + whole + 15) & ~size_t(15);
}

} // namespace

size_t _rpGeometryListRoomSize(const RwUInt8* bytes, RwUInt32 left, RwInt32 count) {
    lookAhead.count = lookAhead.next = 0;
    size_t total = 0;
    RwUInt64 at = 0;
    for (RwInt32 i = 0; i < count && at + 12 <= left; ++i) {
        if (_rwChunkWord(bytes + at, 0) != rwID_GEOMETRY)
            break;
        // Each look waits on its chunks' lines one after another (head, material list, extension). The next
        // head, asked for by the look before, is here by now: the one after it and the next material list
        // are asked for before this look starts waiting.
        const RwUInt64 next = at + 12 + RwUInt64(_rwChunkWord(bytes + at, 1));
        if (next + 24 <= left) {
            const RwUInt64 nextHead = next + 12 + RwUInt64(_rwChunkWord(bytes + next, 1)),
                           nextList = next + 24 + RwUInt64(_rwChunkWord(bytes + next, 4));
            if (nextHead < left)
                __builtin_prefetch(bytes + nextHead);
            if (nextList < left)
                __builtin_prefetch(bytes + nextList);
        }
        LookedAhead looked;
        const size_t size = StreamedGeometrySize(bytes + at, left - at, &looked);
        total += size;
        if (size && lookAhead.count < lookAheadKept)
            lookAhead.entries[lookAhead.count++] = looked;
        at = next;
    }
    return total;
}

void _rpGeometryOfferBlock(size_t size) {
    // An earlier offer goes; the look that sized this one stays for the reads.
    if (offered.block)
        ReleaseShared(offered.block);
    offered = {};
    if (size == 0)
        return;
    auto* block = static_cast<SharedBlock*>(RwMalloc(homePrefix + size, geometryHint));
    if (!block)
        return; // each geometry asks for its own then
    block->users = 1;
    offered = {block, reinterpret_cast<RwUInt8*>(block) + homePrefix, size};
}

void _rpGeometryWithdrawBlock() {
    if (offered.block)
        ReleaseShared(offered.block);
    offered = {};
    lookAhead.count = lookAhead.next = 0;
}

RpGeometry* RpGeometryStreamRead(RwStream* stream) {
    RwUInt32 length = 0, version = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, &version))
        return nullptr;
    RwUInt32 remaining = length;
    // The chunks behind the struct are looked at before its arrays are read (below): ask for them now.
    if (const RwUInt8* behind = _rwStreamBytesInPlace(stream, length))
        for (int line = 0; line < 4; ++line)
            __builtin_prefetch(behind + length + 64 * line);
    RwInt32 head[4];
    RwReal surface[3] = {1.0f, 1.0f, 1.0f};
    if (!ReadPayload(stream, head, sizeof(head), &remaining) ||
        (version < oldestWithoutSurface && !ReadPayload(stream, surface, sizeof(surface), &remaining)))
        return nullptr;
    const RwUInt32 format = RwUInt32(head[0]);
    const RwInt32 numTriangles = head[1], numVertices = head[2], numMorphTargets = head[3];
    RwUInt32 flags;
    const RwInt32 sets = NormaliseFlags(format, &flags);
    const bool native = flags & rpGEOMETRYNATIVE;
    // Counts are held against the bytes of the struct before anything is allocated for them: every morph
    // target of a geometry with vertices is taken to carry its positions, so that a few bytes of headers
    // cannot ask for megabytes of targets. Triangles need vertices to index.
    const bool arrays = !native && numVertices > 0;
    if (!CountsFit(numTriangles, numVertices, numMorphTargets, flags, sets,
                   std::min(remaining, RwStreamBytesLeft(stream)))) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    // A geometry read from memory holds its material array and its meshes in its own allocation.
    const ComingRoom coming = PeekComingRoom(stream, remaining, native);
    const size_t materialRoom = RoomOfMaterials(coming);
    // From memory, the arrays are laid out in phase with the bytes they are copied from.
    ArrayPhase phase{};
    const RwUInt8* arraysFrom = arrays ? _rwStreamBytesInPlace(stream, remaining) : nullptr;
    if (arraysFrom) {
        const size_t before = ((flags & rpGEOMETRYPRELIT) ? 4 : 0) * size_t(numVertices) +
                              8 * size_t(numVertices) * size_t(sets) + 8 * size_t(numTriangles) + 24;
        phase = {reinterpret_cast<std::uintptr_t>(arraysFrom + before),
                 reinterpret_cast<std::uintptr_t>(arraysFrom)};
    }
    RwUInt8* room = nullptr;
    RpGeometry* geometry =
        CreateGeometry(numVertices, numTriangles, format, numMorphTargets, false,
                       materialRoom + coming.meshBytes, &room, arraysFrom ? &phase : nullptr);
    if (!geometry)
        return nullptr;
    auto fail = [geometry]() -> RpGeometry* {
        _rpMeshGeometryOfferRoom(nullptr, nullptr, 0);
        RpGeometryDestroy(geometry);
        return nullptr;
    };
    TriangleReach reach;
    if (arrays) {
        if (geometry->preLitLum &&
            !ReadPayload(stream, geometry->preLitLum, 4ull * RwUInt32(numVertices), &remaining))
            return fail();
        for (RwInt32 i = 0; i < sets; ++i)
            if (!ReadPayload(stream, geometry->texCoords[i], 8ull * RwUInt32(numVertices), &remaining))
                return fail();
        // From a memory stream's bytes straight into their own order, without a copy first.
        const RwUInt32 triangleBytes = 8 * RwUInt32(numTriangles);
        const RwUInt8* inPlace =
            triangleBytes <= remaining ? _rwStreamTakeInPlace(stream, triangleBytes) : nullptr;
        if (inPlace) {
            remaining -= triangleBytes;
        } else if (numTriangles > 0 && !ReadPayload(stream, geometry->triangles, triangleBytes, &remaining)) {
            return fail();
        }
        reach = UnswapTriangles(geometry->triangles,
                                inPlace ? inPlace : reinterpret_cast<const RwUInt8*>(geometry->triangles),
                                numTriangles);
        if (reach.vertices > RwUInt32(numVertices)) {
            RwErrorSetCode(E_RW_READ);
            return fail();
        }
    }
    const RwUInt64 vertexBytes = 12ull * RwUInt32(numVertices);
    for (RwInt32 i = 0; i < numMorphTargets; ++i) {
        RpMorphTarget& target = geometry->morphTarget[i];
        RwInt32 words[6];
        if (!ReadPayload(stream, words, sizeof(words), &remaining))
            return fail();
        std::memcpy(&target.boundingSphere, words, sizeof(RwSphere));
        const bool positions = words[4] != 0, normals = words[5] != 0;
        // Arrays the geometry has no room for cannot be read.
        if ((positions && !target.verts && numVertices > 0) ||
            (normals && !target.normals && numVertices > 0)) {
            RwErrorSetCode(E_RW_READ);
            return fail();
        }
        // Arrays the stream leaves out are zero.
        if (target.verts && !(positions ? ReadPayload(stream, target.verts, vertexBytes, &remaining)
                                        : (std::memset(target.verts, 0, vertexBytes), true)))
            return fail();
        if (target.normals && !(normals ? ReadPayload(stream, target.normals, vertexBytes, &remaining)
                                        : (std::memset(target.normals, 0, vertexBytes), true)))
            return fail();
    }
    if (remaining > 0 && !RwStreamSkip(stream, remaining))
        return fail();

    RwUInt32 listVersion = 0;
    if (!RwStreamFindChunk(stream, rwID_MATLIST, nullptr, &listVersion))
        return fail();
    if (version < oldestWithoutSurface) {
        const RwSurfaceProperties props = {surface[0], surface[1], surface[2]};
        RpMaterialSetDefaultSurfaceProperties(&props);
    }
    const RpMaterialList* list =
        _rpMaterialListStreamReadInto(stream, &geometry->matList, room, materialRoom);
    if (version < oldestWithoutSurface)
        RpMaterialSetDefaultSurfaceProperties(nullptr);
    if (!list)
        return fail();
    if (reach.materials > RwUInt32(geometry->matList.numMaterials)) {
        RwErrorSetCode(E_RW_READ);
        return fail();
    }
    if (coming.meshBytes)
        _rpMeshGeometryOfferRoom(geometry, room + materialRoom, coming.meshBytes);
    const bool extension = RwPluginRegistryReadDataChunks(&geometryTKList, stream, geometry);
    _rpMeshGeometryOfferRoom(nullptr, nullptr, 0);
    if (!extension || !RpGeometryBuildMeshes(geometry))
        return fail();
    return geometry;
}

RwUInt32 RpGeometryStreamGetSize(const RpGeometry* geometry) {
    return rwCHUNKHEADERSIZE + StructSize(geometry) + rwCHUNKHEADERSIZE +
           RpMaterialListStreamGetSize(&geometry->matList) + rwCHUNKHEADERSIZE +
           RwPluginRegistryGetPluginStreamSize(&geometryTKList, geometry);
}

const RpGeometry* RpGeometryStreamWrite(const RpGeometry* geometry, RwStream* stream) {
    const RwInt32 head[4] = {RwInt32(StoredCreationFlags(geometry)), geometry->numTriangles,
                             geometry->numVertices, geometry->numMorphTargets};
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_GEOMETRY, RpGeometryStreamGetSize(geometry)) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, StructSize(geometry)) ||
        !RwStreamWriteInt32(stream, head, sizeof(head)))
        return nullptr;
    const RwUInt32 v = RwUInt32(geometry->numVertices);
    if (StructArraysSize(geometry) > 0) {
        if (geometry->preLitLum && !RwStreamWrite(stream, geometry->preLitLum, 4 * v))
            return nullptr;
        for (RwInt32 i = 0; i < geometry->numTexCoordSets; ++i)
            if (!RwStreamWriteReal(stream, &geometry->texCoords[i]->u, 8 * v))
                return nullptr;
        for (RwInt32 t = 0; t < geometry->numTriangles; ++t) {
            const RpTriangle& tri = geometry->triangles[t];
            const RwInt32 words[2] = {RwInt32(RwUInt32(tri.vertIndex[0]) << 16 | tri.vertIndex[1]),
                                      RwInt32(RwUInt32(tri.vertIndex[2]) << 16 | tri.matIndex)};
            if (!RwStreamWriteInt32(stream, words, sizeof(words)))
                return nullptr;
        }
    }
    const bool native = Native(geometry);
    for (RwInt32 i = 0; i < geometry->numMorphTargets; ++i) {
        const RpMorphTarget& target = geometry->morphTarget[i];
        const RwReal sphere[4] = {target.boundingSphere.center.x, target.boundingSphere.center.y,
                                  target.boundingSphere.center.z, target.boundingSphere.radius};
        const RwInt32 present[2] = {native ? 0 : 1, !native && target.normals ? 1 : 0};
        if (!RwStreamWriteReal(stream, sphere, sizeof(sphere)) || !RwStreamWriteInt32(stream, present, 8) ||
            (present[0] && v > 0 && !RwStreamWriteReal(stream, &target.verts->x, 12 * v)) ||
            (present[1] && v > 0 && !RwStreamWriteReal(stream, &target.normals->x, 12 * v)))
            return nullptr;
    }
    if (!RpMaterialListStreamWrite(&geometry->matList, stream) ||
        !RwPluginRegistryWriteDataChunks(&geometryTKList, stream, geometry))
        return nullptr;
    return geometry;
}
