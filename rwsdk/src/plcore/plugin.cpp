#include "rwsdk/src/plcore/plugin.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"

#include <climits>
#include <cstring>

namespace {

constexpr RwInt32 entriesPerBlock = 64;
constexpr RwInt32 entryBlocksPreallocated = 1;

RwFreeList* entryFreeList = nullptr;

// Every registry that has received a plugin, so that closing can give the entries back and reset each
// registry to its base size for the next Init.
RwPluginRegistry** registries = nullptr;
RwInt32 numRegistries = 0;

void* DefaultConstructor(void* object, RwInt32, RwInt32) {
    return object;
}
void* DefaultDestructor(void* object, RwInt32, RwInt32) {
    return object;
}
void* DefaultCopy(void* dst, const void*, RwInt32, RwInt32) {
    return dst;
}

RwPluginRegEntry* FindEntry(const RwPluginRegistry* reg, RwUInt32 pluginID) {
    for (RwPluginRegEntry* e = reg->firstRegEntry; e; e = e->nextRegEntry) {
        if (e->pluginID == pluginID) {
            return e;
        }
    }
    return nullptr;
}

// Relinks the read, always and constructor chains of a registry after a callback changed.
void LinkStreamChains(RwPluginRegistry* reg) {
    RwPluginRegEntry* nextRead = nullptr;
    RwPluginRegEntry* nextAlways = nullptr;
    RwPluginRegEntry* nextConstruct = nullptr;
    for (RwPluginRegEntry* e = reg->lastRegEntry; e; e = e->prevRegEntry) {
        e->nextReadEntry = nextRead;
        e->nextAlwaysEntry = nextAlways;
        e->nextConstructEntry = nextConstruct;
        if (e->readCB) {
            nextRead = e;
        }
        if (e->alwaysCB) {
            nextAlways = e;
        }
        if (e->constructCB != DefaultConstructor) {
            nextConstruct = e;
        }
    }
}

inline RwPluginRegEntry* FirstReadEntry(const RwPluginRegistry* reg) {
    RwPluginRegEntry* first = reg->firstRegEntry;
    return !first || first->readCB ? first : first->nextReadEntry;
}

inline RwPluginRegEntry* FirstAlwaysEntry(const RwPluginRegistry* reg) {
    RwPluginRegEntry* first = reg->firstRegEntry;
    return !first || first->alwaysCB ? first : first->nextAlwaysEntry;
}

inline RwPluginRegEntry* FirstConstructEntry(const RwPluginRegistry* reg) {
    RwPluginRegEntry* first = reg->firstRegEntry;
    return !first || first->constructCB != DefaultConstructor ? first : first->nextConstructEntry;
}

// The entry that reads sub-chunks of the given type, or null. Plugins write their sub-chunks in
// registration order, so the search starts after the previous match and wraps round to the start.
inline RwPluginRegEntry* FindReadEntry(RwPluginRegEntry* first, RwPluginRegEntry* after, RwUInt32 type) {
    RwPluginRegEntry* start = after && after->nextReadEntry ? after->nextReadEntry : first;
    for (RwPluginRegEntry* e = start; e; e = e->nextReadEntry) {
        if (e->pluginID == type) {
            return e;
        }
    }
    for (RwPluginRegEntry* e = first; e != start; e = e->nextReadEntry) {
        if (e->pluginID == type) {
            return e;
        }
    }
    return nullptr;
}

bool TrackRegistry(RwPluginRegistry* reg) {
    for (RwInt32 i = 0; i < numRegistries; ++i) {
        if (registries[i] == reg) {
            return true;
        }
    }
    auto** grown = static_cast<RwPluginRegistry**>(
        RwMalloc(sizeof(RwPluginRegistry*) * size_t(numRegistries + 1), rwMEMHINTDUR_GLOBAL));
    if (!grown) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    if (registries) {
        std::memcpy(grown, registries, sizeof(RwPluginRegistry*) * size_t(numRegistries));
        RwFree(registries);
    }
    registries = grown;
    registries[numRegistries++] = reg;
    return true;
}

// Plugin data holds pointers, and pointers are 8 bytes here, so every plugin's block starts on a pointer
// boundary and its size is rounded to one: sizes 1, 4 and 5 each take 8 bytes. Offsets change with this,
// not stored files: plugin data reaches a stream only through the plugins' own stream callbacks.
constexpr RwInt32 pluginAlignment = alignof(void*);
inline RwInt32 AlignPluginSize(RwInt32 size) {
    return (size + pluginAlignment - 1) & ~(pluginAlignment - 1);
}

// Memory streams step over in place, without a call per sub-chunk.
inline bool SkipBytes(RwStream* stream, RwUInt32 length) {
    return _rwStreamTakeInPlace(stream, length) || RwStreamSkip(stream, length) != nullptr;
}

// A sub-chunk whose callback read more or less than its length would leave the stream out of step with
// the chunks that follow: the reader is held to the sub-chunk's bounds.
bool ReadSubChunk(const RwPluginRegEntry* entry, RwStream* stream, RwUInt32 length, void* object) {
    if (!entry || !entry->readCB) {
        return SkipBytes(stream, length);
    }
    RwUInt32 start = stream->position;
    if (!entry->readCB(stream, RwInt32(length), object, entry->offset, entry->size)) {
        return false;
    }
    RwUInt32 used = stream->position - start;
    if (used > length) {
        RwErrorSetCode(E_RW_READ);
        return false;
    }
    return used == length || SkipBytes(stream, length - used);
}

// Walks the sub-chunks of an extension chunk of the given size, reading them for the registry's plugins
// (or skipping them all without a registry).
bool WalkSubChunks(const RwPluginRegistry* reg, RwStream* stream, RwUInt32 size, void* object) {
    RwPluginRegEntry* first = reg ? FirstReadEntry(reg) : nullptr;
    RwPluginRegEntry* last = nullptr;
    RwUInt32 remaining = size;
    while (remaining > 0) {
        RwUInt32 type, length;
        if (remaining < rwCHUNKHEADERSIZE) {
            RwErrorSetCode(E_RW_READ);
            return false;
        }
        if (!RwStreamReadChunkHeader(stream, &type, &length, nullptr, nullptr)) {
            return false;
        }
        remaining -= rwCHUNKHEADERSIZE;
        if (length > remaining || length > RwUInt32(INT_MAX)) {
            RwErrorSetCode(E_RW_READ);
            return false;
        }
        RwPluginRegEntry* entry = first ? FindReadEntry(first, last, type) : nullptr;
        if (!ReadSubChunk(entry, stream, length, object)) {
            return false;
        }
        if (entry) {
            last = entry;
        }
        remaining -= length;
    }
    return true;
}

// Bytes that an entry writes, 0 when it writes nothing.
RwInt32 EntryStreamSize(const RwPluginRegEntry* e, const void* object) {
    if (!e->getSizeCB || !e->writeCB) {
        return 0;
    }
    RwInt32 size = e->getSizeCB(object, e->offset, e->size);
    return size > 0 ? size : 0;
}

} // namespace

RwInt32 RwPluginRegistryAddPlugin(RwPluginRegistry* reg, RwInt32 size, RwUInt32 pluginID,
                                  RwPluginObjectConstructor constructCB, RwPluginObjectDestructor destructCB,
                                  RwPluginObjectCopy copyCB) {
    if (!entryFreeList) {
        return -1;
    }
    if (RwEngineGetOpenCount() != 0) {
        RwErrorSetCode(E_RW_PLUGININIT);
        return -1;
    }
    if (!TrackRegistry(reg)) {
        return -1;
    }
    if (RwPluginRegEntry* existing = FindEntry(reg, pluginID)) {
        RwErrorSetCode(E_RW_PLUGININIT);
        return existing->offset;
    }
    if (size < 0 || size > INT_MAX - 2 * pluginAlignment) {
        return -1;
    }
    RwInt32 offset = AlignPluginSize(reg->sizeOfStruct);
    RwInt32 rounded = AlignPluginSize(size);
    if (offset > INT_MAX - rounded ||
        (reg->maxSizeOfStruct != 0 && offset + rounded > reg->maxSizeOfStruct)) {
        return -1;
    }
    auto* entry = static_cast<RwPluginRegEntry*>(RwFreeListEntryAlloc(entryFreeList, rwMEMHINTDUR_GLOBAL));
    if (!entry) {
        return -1;
    }
    std::memset(entry, 0, sizeof(*entry));
    entry->offset = offset;
    entry->size = size;
    entry->pluginID = pluginID;
    entry->constructCB = constructCB ? constructCB : DefaultConstructor;
    entry->destructCB = destructCB ? destructCB : DefaultDestructor;
    entry->copyCB = copyCB ? copyCB : DefaultCopy;
    entry->parentRegistry = reg;
    entry->prevRegEntry = reg->lastRegEntry;
    if (reg->lastRegEntry) {
        reg->lastRegEntry->nextRegEntry = entry;
    } else {
        reg->firstRegEntry = entry;
    }
    reg->lastRegEntry = entry;
    reg->sizeOfStruct = offset + rounded;
    LinkStreamChains(reg);
    return offset;
}

RwInt32 RwPluginRegistryAddPluginStream(RwPluginRegistry* reg, RwUInt32 pluginID,
                                        RwPluginDataChunkReadCallBack readCB,
                                        RwPluginDataChunkWriteCallBack writeCB,
                                        RwPluginDataChunkGetSizeCallBack getSizeCB) {
    RwPluginRegEntry* entry = FindEntry(reg, pluginID);
    if (!entry) {
        return -1;
    }
    entry->readCB = readCB;
    entry->writeCB = writeCB;
    entry->getSizeCB = getSizeCB;
    LinkStreamChains(reg);
    return entry->offset;
}

RwInt32 RwPluginRegistryAddPluginStreamAlwaysCB(RwPluginRegistry* reg, RwUInt32 pluginID,
                                                RwPluginDataChunkAlwaysCallBack alwaysCB) {
    RwPluginRegEntry* entry = FindEntry(reg, pluginID);
    if (!entry) {
        return -1;
    }
    entry->alwaysCB = alwaysCB;
    LinkStreamChains(reg);
    return entry->offset;
}

RwInt32 RwPluginRegistryAddPluginStreamRightsCB(RwPluginRegistry* reg, RwUInt32 pluginID,
                                                RwPluginDataChunkRightsCallBack rightsCB) {
    RwPluginRegEntry* entry = FindEntry(reg, pluginID);
    if (!entry) {
        return -1;
    }
    entry->rightsCB = rightsCB;
    return entry->offset;
}

RwInt32 RwPluginRegistryGetPluginOffset(const RwPluginRegistry* reg, RwUInt32 pluginID) {
    const RwPluginRegEntry* entry = FindEntry(reg, pluginID);
    return entry ? entry->offset : -1;
}

const RwPluginRegistry* RwPluginRegistryInitObject(const RwPluginRegistry* reg, void* object) {
    // Entries left out have the default constructor, which does nothing and cannot fail.
    for (RwPluginRegEntry* e = FirstConstructEntry(reg); e; e = e->nextConstructEntry) {
        if (!e->constructCB(object, e->offset, e->size)) {
            for (RwPluginRegEntry* undo = e->prevRegEntry; undo; undo = undo->prevRegEntry) {
                undo->destructCB(object, undo->offset, undo->size);
            }
            return nullptr;
        }
    }
    return reg;
}

const RwPluginRegistry* RwPluginRegistryDeInitObject(const RwPluginRegistry* reg, void* object) {
    for (RwPluginRegEntry* e = reg->lastRegEntry; e; e = e->prevRegEntry) {
        e->destructCB(object, e->offset, e->size);
    }
    return reg;
}

const RwPluginRegistry* RwPluginRegistryCopyObject(const RwPluginRegistry* reg, void* dstObject,
                                                   const void* srcObject) {
    for (RwPluginRegEntry* e = reg->firstRegEntry; e; e = e->nextRegEntry) {
        e->copyCB(dstObject, srcObject, e->offset, e->size);
    }
    return reg;
}

RwInt32 RwPluginRegistryGetPluginStreamSize(const RwPluginRegistry* reg, const void* object) {
    RwInt32 total = 0;
    for (RwPluginRegEntry* e = reg->firstRegEntry; e; e = e->nextRegEntry) {
        if (RwInt32 size = EntryStreamSize(e, object)) {
            total += size + RwInt32(rwCHUNKHEADERSIZE);
        }
    }
    return total;
}

const RwPluginRegistry* RwPluginRegistryWriteDataChunks(const RwPluginRegistry* reg, RwStream* stream,
                                                        const void* object) {
    RwInt32 total = RwPluginRegistryGetPluginStreamSize(reg, object);
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_EXTENSION, RwUInt32(total))) {
        return nullptr;
    }
    for (RwPluginRegEntry* e = reg->firstRegEntry; e; e = e->nextRegEntry) {
        RwInt32 size = EntryStreamSize(e, object);
        if (size == 0) {
            continue;
        }
        if (!RwStreamWriteEngineChunkHeader(stream, e->pluginID, RwUInt32(size))) {
            return nullptr;
        }
        RwUInt32 start = stream->position;
        if (!e->writeCB(stream, size, object, e->offset, e->size)) {
            return nullptr;
        }
        // A callback that wrote other than it announced would leave a chunk no reader can follow.
        if (stream->position - start != RwUInt32(size)) {
            RwErrorSetCode(E_RW_WRITE);
            return nullptr;
        }
    }
    return reg;
}

const RwPluginRegistry* _rwPluginRegistryReadDataChunksAny(const RwPluginRegistry* reg, RwStream* stream,
                                                           void* object) {
    RwUInt32 size;
    if (!RwStreamFindChunk(stream, rwID_EXTENSION, &size, nullptr)) {
        return nullptr;
    }
    // Most objects carry an empty extension.
    if (size != 0 && !WalkSubChunks(reg, stream, size, object)) {
        return nullptr;
    }
    for (RwPluginRegEntry* e = FirstAlwaysEntry(reg); e; e = e->nextAlwaysEntry) {
        if (!e->alwaysCB(object, e->offset, e->size)) {
            return nullptr;
        }
    }
    return reg;
}

RwStream* RwPluginRegistrySkipDataChunks(RwStream* stream) {
    RwUInt32 size;
    if (!RwStreamFindChunk(stream, rwID_EXTENSION, &size, nullptr)) {
        return nullptr;
    }
    return size == 0 || WalkSubChunks(nullptr, stream, size, nullptr) ? stream : nullptr;
}

const RwPluginRegistry* RwPluginRegistryInvokeRights(const RwPluginRegistry* reg, RwUInt32 pluginID,
                                                     void* object, RwUInt32 extraData) {
    RwPluginRegEntry* entry = FindEntry(reg, pluginID);
    if (!entry || !entry->rightsCB || entry->rightsCB(object, entry->offset, entry->size, extraData) <= 0) {
        return nullptr;
    }
    return reg;
}

RwBool RwPluginRegistryOpen() {
    entryFreeList = RwFreeListCreateAndPreallocateSpace(
        sizeof(RwPluginRegEntry), entriesPerBlock, 0, entryBlocksPreallocated, nullptr, rwMEMHINTDUR_GLOBAL);
    registries = nullptr;
    numRegistries = 0;
    return entryFreeList != nullptr;
}

RwBool RwPluginRegistryClose() {
    for (RwInt32 i = 0; i < numRegistries; ++i) {
        RwPluginRegistry* reg = registries[i];
        RwPluginRegEntry* e = reg->firstRegEntry;
        while (e) {
            RwPluginRegEntry* next = e->nextRegEntry;
            RwFreeListEntryFree(entryFreeList, e);
            e = next;
        }
        reg->sizeOfStruct = reg->origSizeOfStruct;
        reg->firstRegEntry = nullptr;
        reg->lastRegEntry = nullptr;
    }
    if (registries) {
        RwFree(registries);
    }
    registries = nullptr;
    numRegistries = 0;
    if (entryFreeList) {
        RwFreeListDestroy(entryFreeList);
        entryFreeList = nullptr;
    }
    return TRUE;
}
