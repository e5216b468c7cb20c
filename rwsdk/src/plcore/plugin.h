// Plugin registries: objects of a type are extended by plugins with their own data and callbacks.
#pragma once

#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/plcore/types.h"

typedef void* (*RwPluginObjectConstructor)(void* object, RwInt32 offsetInObject, RwInt32 sizeInObject);
typedef void* (*RwPluginObjectDestructor)(void* object, RwInt32 offsetInObject, RwInt32 sizeInObject);
typedef void* (*RwPluginObjectCopy)(void* dstObject, const void* srcObject, RwInt32 offsetInObject,
                                    RwInt32 sizeInObject);
typedef RwStream* (*RwPluginDataChunkReadCallBack)(RwStream* stream, RwInt32 binaryLength, void* object,
                                                   RwInt32 offsetInObject, RwInt32 sizeInObject);
typedef RwStream* (*RwPluginDataChunkWriteCallBack)(RwStream* stream, RwInt32 binaryLength,
                                                    const void* object, RwInt32 offsetInObject,
                                                    RwInt32 sizeInObject);
typedef RwInt32 (*RwPluginDataChunkGetSizeCallBack)(const void* object, RwInt32 offsetInObject,
                                                    RwInt32 sizeInObject);
typedef void* (*RwPluginDataChunkAlwaysCallBack)(void* object, RwInt32 offsetInObject, RwInt32 sizeInObject);
typedef RwInt32 (*RwPluginDataChunkRightsCallBack)(void* object, RwInt32 offsetInObject, RwInt32 sizeInObject,
                                                   RwUInt32 extraData);

struct RwPluginRegistry;

struct RwPluginRegEntry {
    RwInt32 offset;
    RwInt32 size;
    RwUInt32 pluginID;
    RwPluginDataChunkReadCallBack readCB;
    RwPluginDataChunkWriteCallBack writeCB;
    RwPluginDataChunkGetSizeCallBack getSizeCB;
    RwPluginDataChunkAlwaysCallBack alwaysCB;
    RwPluginDataChunkRightsCallBack rightsCB;
    RwPluginObjectConstructor constructCB;
    RwPluginObjectDestructor destructCB;
    RwPluginObjectCopy copyCB;
    RwPluginRegEntry* nextRegEntry;
    RwPluginRegEntry* prevRegEntry;
    RwPluginRegistry* parentRegistry;
    // The next entry, in registration order, with a read or an always callback: reading an object's
    // extension visits only those. Kept up to date whenever a plugin or one of its callbacks is added.
    RwPluginRegEntry* nextReadEntry;
    RwPluginRegEntry* nextAlwaysEntry;
    // Likewise the next entry whose constructor does something: a new object visits only those.
    RwPluginRegEntry* nextConstructEntry;
};

// One static record per object type: { base size, base size, 0, nullptr, nullptr } to start with.
struct RwPluginRegistry {
    RwInt32 sizeOfStruct;     // base size plus every plugin so far: the size creators allocate
    RwInt32 origSizeOfStruct; // base size
    RwInt32 maxSizeOfStruct;  // 0: no limit
    RwPluginRegEntry* firstRegEntry;
    RwPluginRegEntry* lastRegEntry;
};

// Offset of the plugin's data in every object of the type, or -1. Accepted only while the engine is not
// open; a second registration of an id reports E_RW_PLUGININIT and returns the first one's offset.
RwInt32 RwPluginRegistryAddPlugin(RwPluginRegistry* reg, RwInt32 size, RwUInt32 pluginID,
                                  RwPluginObjectConstructor constructCB, RwPluginObjectDestructor destructCB,
                                  RwPluginObjectCopy copyCB);
RwInt32 RwPluginRegistryAddPluginStream(RwPluginRegistry* reg, RwUInt32 pluginID,
                                        RwPluginDataChunkReadCallBack readCB,
                                        RwPluginDataChunkWriteCallBack writeCB,
                                        RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RwPluginRegistryAddPluginStreamAlwaysCB(RwPluginRegistry* reg, RwUInt32 pluginID,
                                                RwPluginDataChunkAlwaysCallBack alwaysCB);
RwInt32 RwPluginRegistryAddPluginStreamRightsCB(RwPluginRegistry* reg, RwUInt32 pluginID,
                                                RwPluginDataChunkRightsCallBack rightsCB);
RwInt32 RwPluginRegistryGetPluginOffset(const RwPluginRegistry* reg, RwUInt32 pluginID);

// Constructors in registration order; when one fails, the ones before it are undone and null returned.
const RwPluginRegistry* RwPluginRegistryInitObject(const RwPluginRegistry* reg, void* object);
const RwPluginRegistry* RwPluginRegistryDeInitObject(const RwPluginRegistry* reg, void* object);
const RwPluginRegistry* RwPluginRegistryCopyObject(const RwPluginRegistry* reg, void* dstObject,
                                                   const void* srcObject);

// The extension chunk (type 3) of an object, from any stream.
const RwPluginRegistry* _rwPluginRegistryReadDataChunksAny(const RwPluginRegistry* reg, RwStream* stream,
                                                           void* object);
// Most objects of a model carry an empty extension: in a memory stream, for a type without always
// callbacks, that costs no call.
[[gnu::always_inline]] inline const RwPluginRegistry*
RwPluginRegistryReadDataChunks(const RwPluginRegistry* reg, RwStream* stream, void* object) {
    const RwPluginRegEntry* first = reg->firstRegEntry;
    if (!first || (!first->alwaysCB && !first->nextAlwaysEntry)) {
        if (const RwUInt8* header = _rwStreamBytesInPlace(stream, rwCHUNKHEADERSIZE)) {
            if (_rwChunkWord(header, 0) == rwID_EXTENSION && _rwChunkWord(header, 1) == 0 &&
                _rwLibraryStampAccepted(_rwChunkWord(header, 2))) {
                _rwStreamStepInPlace(stream, rwCHUNKHEADERSIZE);
                return reg;
            }
        }
    }
    return _rwPluginRegistryReadDataChunksAny(reg, stream, object);
}
const RwPluginRegistry* RwPluginRegistryWriteDataChunks(const RwPluginRegistry* reg, RwStream* stream,
                                                        const void* object);
RwInt32 RwPluginRegistryGetPluginStreamSize(const RwPluginRegistry* reg, const void* object);
RwStream* RwPluginRegistrySkipDataChunks(RwStream* stream);
const RwPluginRegistry* RwPluginRegistryInvokeRights(const RwPluginRegistry* reg, RwUInt32 pluginID,
                                                     void* object, RwUInt32 extraData);

RwBool RwPluginRegistryOpen();
RwBool RwPluginRegistryClose();
