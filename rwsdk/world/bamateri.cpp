// Materials module: materials, material lists, their chunks and the materials' rendering rights.
#include "rwsdk/world/bamateri.h"

#include "rwsdk/src/babintex.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/pipe/p2/pipeline.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace {

struct MaterialModuleData {
    RwFreeList* freeList;
};

RwModuleInfo materialModule;
RwPluginRegistry materialTKList = {sizeof(RpMaterial), sizeof(RpMaterial), 0, nullptr, nullptr};

constexpr RwUInt32 materialHint = rwMEMHINTDUR_EVENT | rwID_MATERIAL;
constexpr RwUInt32 materialListHint = rwMEMHINTDUR_GLOBAL | rwID_MATERIAL;
constexpr RwUInt32 listArrayHint = rwMEMHINTDUR_EVENT | rwID_MATLIST | rwMEMHINTFLAG_RESIZABLE;
constexpr RwUInt32 materialStructSize = 28;
constexpr RwInt32 listGrowth = 20;

const RwSurfaceProperties unitSurface = {1.0f, 1.0f, 1.0f};
RwSurfaceProperties defaultSurface = unitSurface;

// The rendering rights that the extension of the material being read asked for.
struct PendingRights {
    RwUInt32 pluginID;
    RwUInt32 extraData;
} pendingRights;

MaterialModuleData* MaterialData() {
    return RWMODULEDATA(MaterialModuleData, materialModule);
}

void* MaterialOpen(void* instance, RwInt32 offset, RwInt32) {
    materialModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(MaterialModuleData, instance, offset);
    data->freeList = RwFreeListCreate(materialTKList.sizeOfStruct, 64, 4, materialListHint);
    if (!data->freeList)
        return nullptr;
    defaultSurface = unitSurface;
    ++materialModule.numInstances;
    return instance;
}

void* MaterialClose(void* instance, RwInt32 offset, RwInt32) {
    auto* data = RWPLUGINOFFSET(MaterialModuleData, instance, offset);
    if (data->freeList)
        RwFreeListDestroy(data->freeList);
    data->freeList = nullptr;
    --materialModule.numInstances;
    return instance;
}

RpMaterial* AllocMaterial() {
    auto* material = static_cast<RpMaterial*>(RwFreeListEntryAlloc(MaterialData()->freeList, materialHint));
    if (!material) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(material), 0, size_t(materialTKList.sizeOfStruct));
    material->color = {255, 255, 255, 255};
    material->surfaceProps = defaultSurface;
    material->refCount = 1;
    if (!RwPluginRegistryInitObject(&materialTKList, material)) {
        RwFreeListEntryFree(MaterialData()->freeList, material);
        return nullptr;
    }
    return material;
}

RwStream* RightsRead(RwStream* stream, RwInt32 length, void*, RwInt32, RwInt32) {
    RwInt32 words[2] = {0, 0};
    const RwUInt32 bytes = length >= 8 ? 8 : 4;
    if (length < 4 || !RwStreamReadInt32(stream, words, bytes))
        return nullptr;
    pendingRights = {RwUInt32(words[0]), RwUInt32(words[1])};
    return stream;
}

RwStream* RightsWrite(RwStream* stream, RwInt32, const void* object, RwInt32, RwInt32) {
    const RwPipeline* pipeline = static_cast<const RpMaterial*>(object)->pipeline;
    const RwInt32 words[2] = {RwInt32(pipeline->pluginId),
                              RwInt32(reinterpret_cast<uintptr_t>(pipeline->pluginData))};
    return RwStreamWriteInt32(stream, words, sizeof(words));
}

RwInt32 RightsSize(const void* object, RwInt32, RwInt32) {
    const RwPipeline* pipeline = static_cast<const RpMaterial*>(object)->pipeline;
    return pipeline && pipeline->pluginId != 0 ? 8 : 0;
}

// Every list's array is preceded by a word that says whether it owns its allocation: a geometry read from
// memory holds its list's array in its own allocation.
enum ArrayHome : std::uintptr_t { ownAllocation, roomOfOwner };
constexpr size_t arrayPrefix = sizeof(std::uintptr_t);

std::uintptr_t* HomeOf(RpMaterial** array) {
    return reinterpret_cast<std::uintptr_t*>(array) - 1;
}

RpMaterial** PlaceArray(void* place, ArrayHome home) {
    *static_cast<std::uintptr_t*>(place) = home;
    return reinterpret_cast<RpMaterial**>(static_cast<RwUInt8*>(place) + arrayPrefix);
}

RpMaterial** AllocArray(RwInt32 entries) {
    void* place = RwMalloc(arrayPrefix + sizeof(RpMaterial*) * size_t(entries), listArrayHint);
    return place ? PlaceArray(place, ownAllocation) : nullptr;
}

void FreeArray(RpMaterial** array) {
    if (array && *HomeOf(array) == ownAllocation)
        RwFree(HomeOf(array));
}

// The array with room for entries: grown in place when it owns its allocation, else moved to one.
RpMaterial** GrowArray(RpMaterial** array, RwInt32 count, RwInt32 entries) {
    if (!array)
        return AllocArray(entries);
    if (*HomeOf(array) == ownAllocation) {
        void* place =
            RwRealloc(HomeOf(array), arrayPrefix + sizeof(RpMaterial*) * size_t(entries), listArrayHint);
        return place ? reinterpret_cast<RpMaterial**>(static_cast<RwUInt8*>(place) + arrayPrefix) : nullptr;
    }
    RpMaterial** moved = AllocArray(entries);
    if (moved)
        std::memcpy(moved, array, sizeof(RpMaterial*) * size_t(count));
    return moved;
}

RwUInt32 LoadLE32(const RwUInt8* p) {
    return RwUInt32(p[0]) | RwUInt32(p[1]) << 8 | RwUInt32(p[2]) << 16 | RwUInt32(p[3]) << 24;
}

RwReal LoadReal(const RwUInt8* p) {
    const RwUInt32 bits = LoadLE32(p);
    RwReal value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

} // namespace

RwInt32 _rpMaterialModuleAttach() {
    const RwInt32 offset =
        RwEngineRegisterPlugin(sizeof(MaterialModuleData), rwID_MATERIALMODULE, MaterialOpen, MaterialClose);
    if (offset < 0)
        return -1;
    // The rendering-rights extension of materials.
    if (RpMaterialRegisterPlugin(0, rwID_RIGHTTORENDER, nullptr, nullptr, nullptr) < 0 ||
        RpMaterialRegisterPluginStream(rwID_RIGHTTORENDER, RightsRead, RightsWrite, RightsSize) < 0)
        return -1;
    return offset;
}

RpMaterial* RpMaterialCreate() {
    return AllocMaterial();
}

RwBool RpMaterialDestroy(RpMaterial* material) {
    if (material->refCount > 1) {
        --material->refCount;
        return TRUE;
    }
    RwPluginRegistryDeInitObject(&materialTKList, material);
    if (material->texture)
        RwTextureDestroy(material->texture);
    RwFreeListEntryFree(MaterialData()->freeList, material);
    return TRUE;
}

RpMaterial* RpMaterialClone(RpMaterial* material) {
    RpMaterial* clone = AllocMaterial();
    if (!clone)
        return nullptr;
    clone->texture = material->texture;
    if (clone->texture)
        RwTextureAddRef(clone->texture);
    clone->color = material->color;
    clone->pipeline = material->pipeline;
    clone->surfaceProps = material->surfaceProps;
    RwPluginRegistryCopyObject(&materialTKList, clone, material);
    return clone;
}

RpMaterial* RpMaterialSetTexture(RpMaterial* material, RwTexture* texture) {
    if (texture)
        RwTextureAddRef(texture);
    if (material->texture)
        RwTextureDestroy(material->texture);
    material->texture = texture;
    return material;
}

void RpMaterialSetDefaultSurfaceProperties(const RwSurfaceProperties* props) {
    defaultSurface = props ? *props : unitSurface;
}

const RwSurfaceProperties* RpMaterialGetDefaultSurfaceProperties() {
    return &defaultSurface;
}

RwInt32 RpMaterialRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                 RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&materialTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RpMaterialRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                       RwPluginDataChunkWriteCallBack writeCB,
                                       RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&materialTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RpMaterialSetStreamRightsCallBack(RwUInt32 pluginID, RwPluginDataChunkRightsCallBack rightsCB) {
    return RwPluginRegistryAddPluginStreamRightsCB(&materialTKList, pluginID, rightsCB);
}

RwInt32 RpMaterialGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&materialTKList, pluginID);
}

const RwPluginRegistry* RpMaterialGetRegistry() {
    return &materialTKList;
}

RpMaterialList* RpMaterialListInitialize(RpMaterialList* list) {
    list->materials = nullptr;
    list->numMaterials = 0;
    list->space = 0;
    return list;
}

RpMaterialList* RpMaterialListDeinitialize(RpMaterialList* list) {
    for (RwInt32 i = 0; i < list->numMaterials; ++i)
        RpMaterialDestroy(list->materials[i]);
    FreeArray(list->materials);
    return RpMaterialListInitialize(list);
}

RwInt32 RpMaterialListAppendMaterial(RpMaterialList* list, RpMaterial* material) {
    if (list->numMaterials >= list->space) {
        RpMaterial** grown = GrowArray(list->materials, list->numMaterials, list->space + listGrowth);
        if (!grown) {
            RwErrorSetCode(E_RW_NOMEM);
            return -1;
        }
        list->materials = grown;
        list->space += listGrowth;
    }
    list->materials[list->numMaterials] = RpMaterialAddRef(material);
    return list->numMaterials++;
}

RwInt32 RpMaterialListFindMaterialIndex(const RpMaterialList* list, const RpMaterial* material) {
    for (RwInt32 i = list->numMaterials - 1; i >= 0; --i)
        if (list->materials[i] == material)
            return i;
    return -1;
}

RpMaterial* RpMaterialStreamRead(RwStream* stream) {
    RwUInt32 length = 0, version = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, &version))
        return nullptr;
    // A shorter struct leaves the missing fields 0; a longer one's excess is not ours.
    RwUInt8 record[materialStructSize] = {};
    const RwUInt32 kept = std::min(length, materialStructSize);
    if (RwStreamRead(stream, record, kept) != kept ||
        (length > kept && !RwStreamSkip(stream, length - kept))) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    RpMaterial* material = AllocMaterial();
    if (!material)
        return nullptr;
    std::memcpy(&material->color, record + 4, 4);
    material->surfaceProps = {LoadReal(record + 16), LoadReal(record + 20), LoadReal(record + 24)};
    material->texture = nullptr;
    if (LoadLE32(record + 12) != 0) {
        RwUInt32 textureLength = 0;
        if (!RwStreamFindChunk(stream, rwID_TEXTURE, &textureLength, nullptr)) {
            RpMaterialDestroy(material);
            return nullptr;
        }
        // A texture that cannot be read leaves the material untextured; the stream goes on after its chunk
        // however far the texture reader got.
        const RwUInt32 start = stream->position;
        material->texture = RwTextureStreamRead(stream);
        const RwUInt32 used = stream->position - start;
        if (used > textureLength || (used < textureLength && !RwStreamSkip(stream, textureLength - used))) {
            RwErrorSetCode(E_RW_READ);
            RpMaterialDestroy(material);
            return nullptr;
        }
    }
    pendingRights = {0, 0};
    if (!RwPluginRegistryReadDataChunks(&materialTKList, stream, material)) {
        RpMaterialDestroy(material);
        return nullptr;
    }
    if (pendingRights.pluginID != 0)
        RwPluginRegistryInvokeRights(&materialTKList, pendingRights.pluginID, material,
                                     pendingRights.extraData);
    return material;
}

RpMaterialList* RpMaterialListStreamRead(RwStream* stream, RpMaterialList* list) {
    return _rpMaterialListStreamReadInto(stream, list, nullptr, 0);
}

size_t _rpMaterialListRoomSize(RwInt32 count) {
    return arrayPrefix + sizeof(RpMaterial*) * size_t(count);
}

RpMaterialList* _rpMaterialListStreamReadInto(RwStream* stream, RpMaterialList* list, void* room,
                                              size_t roomSize) {
    RwUInt32 length = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, nullptr))
        return nullptr;
    RwInt32 count = 0;
    if (length < 4 || !RwStreamReadInt32(stream, &count, 4))
        return nullptr;
    RpMaterialListDeinitialize(list);
    // The entries must fit in the struct: a damaged count allocates nothing huge.
    if (count < 0 ||
        RwUInt64(count) > (std::min<RwUInt64>(length, RwUInt64(RwStreamBytesLeft(stream)) + 4) - 4) / 4) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    if (count == 0)
        return length > 4 && !RwStreamSkip(stream, length - 4) ? nullptr : list;
    list->materials = room && _rpMaterialListRoomSize(count) <= roomSize ? PlaceArray(room, roomOfOwner)
                                                                         : AllocArray(count);
    // Most geometries name a few materials: their entries need no allocation of their own.
    RwInt32 few[16];
    auto* entries = count <= RwInt32(std::size(few))
                        ? few
                        : static_cast<RwInt32*>(RwMalloc(sizeof(RwInt32) * size_t(count),
                                                         rwMEMHINTDUR_FUNCTION | rwID_MATERIALMODULE));
    auto freeEntries = [&] {
        if (entries && entries != few)
            RwFree(entries);
    };
    if (!list->materials || !entries) {
        RwErrorSetCode(E_RW_NOMEM);
        freeEntries();
        RpMaterialListDeinitialize(list);
        return nullptr;
    }
    list->space = count;
    bool ok = RwStreamReadInt32(stream, entries, 4 * RwUInt32(count)) &&
              (length - 4 == 4 * RwUInt32(count) || RwStreamSkip(stream, length - 4 - 4 * RwUInt32(count)));
    for (RwInt32 i = 0; ok && i < count; ++i) {
        RpMaterial* material = nullptr;
        if (entries[i] < 0) {
            ok = RwStreamFindChunk(stream, rwID_MATERIAL, nullptr, nullptr) &&
                 (material = RpMaterialStreamRead(stream)) != nullptr;
        } else if (entries[i] < i) {
            material = RpMaterialAddRef(list->materials[entries[i]]);
        } else {
            RwErrorSetCode(E_RW_READ); // a shared entry must name an earlier one
            ok = false;
        }
        // The array has room for every entry: the reference read or taken becomes the list's.
        if (ok)
            list->materials[list->numMaterials++] = material;
    }
    freeEntries();
    if (!ok) {
        RpMaterialListDeinitialize(list);
        return nullptr;
    }
    return list;
}

RwUInt32 RpMaterialStreamGetSize(const RpMaterial* material) {
    RwUInt32 size = rwCHUNKHEADERSIZE + materialStructSize;
    if (material->texture)
        size += rwCHUNKHEADERSIZE + RwTextureStreamGetSize(material->texture);
    return size + rwCHUNKHEADERSIZE + RwPluginRegistryGetPluginStreamSize(&materialTKList, material);
}

const RpMaterial* RpMaterialStreamWrite(const RpMaterial* material, RwStream* stream) {
    RwInt32 words[4] = {0, 0, 0, material->texture ? 1 : 0};
    std::memcpy(&words[1], &material->color, 4);
    const RwReal reals[3] = {material->surfaceProps.ambient, material->surfaceProps.specular,
                             material->surfaceProps.diffuse};
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_MATERIAL, RpMaterialStreamGetSize(material)) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, materialStructSize) ||
        !RwStreamWriteInt32(stream, &words[0], 4) || !RwStreamWrite(stream, &material->color, 4) ||
        !RwStreamWriteInt32(stream, &words[2], 8) || !RwStreamWriteReal(stream, reals, sizeof(reals)))
        return nullptr;
    if (material->texture && !RwTextureStreamWrite(material->texture, stream))
        return nullptr;
    if (!RwPluginRegistryWriteDataChunks(&materialTKList, stream, material))
        return nullptr;
    return material;
}

RwUInt32 RpMaterialListStreamGetSize(const RpMaterialList* list) {
    RwUInt32 size = rwCHUNKHEADERSIZE + 4 + 4 * RwUInt32(list->numMaterials);
    for (RwInt32 i = 0; i < list->numMaterials; ++i)
        if (std::find(list->materials, list->materials + i, list->materials[i]) == list->materials + i)
            size += rwCHUNKHEADERSIZE + RpMaterialStreamGetSize(list->materials[i]);
    return size;
}

const RpMaterialList* RpMaterialListStreamWrite(const RpMaterialList* list, RwStream* stream) {
    const RwInt32 count = list->numMaterials;
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_MATLIST, RpMaterialListStreamGetSize(list)) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, 4 + 4 * RwUInt32(count)) ||
        !RwStreamWriteInt32(stream, &count, 4))
        return nullptr;
    // An entry that repeats an earlier material shares it; the first occurrence is written in full.
    auto firstIndex = [list](RwInt32 i) {
        return RwInt32(std::find(list->materials, list->materials + i, list->materials[i]) - list->materials);
    };
    for (RwInt32 i = 0; i < count; ++i) {
        const RwInt32 first = firstIndex(i);
        const RwInt32 entry = first == i ? -1 : first;
        if (!RwStreamWriteInt32(stream, &entry, 4))
            return nullptr;
    }
    for (RwInt32 i = 0; i < count; ++i)
        if (firstIndex(i) == i && !RpMaterialStreamWrite(list->materials[i], stream))
            return nullptr;
    return list;
}
