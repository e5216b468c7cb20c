// Frames: the transform hierarchy, the objects placed on frames, and the dirty-frame synchronisation.
#pragma once

#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"

struct RwFreeList;
struct RwStream;

// Object types of the common header.
enum RwObjectType : RwUInt8 {
    rwFRAME = 0,
    rwATOMIC = 1,
    rwCLUMP = 2,
    rwLIGHT = 3,
    rwCAMERA = 4,
    rwTEXDICTIONARY = 6,
    rwWORLD = 7,
    rwGEOMETRY = 8,
};

// The common header of engine objects; parent is a frame's parent frame, or a placed object's frame.
struct RwObject {
    RwUInt8 type;
    RwUInt8 subType;
    RwUInt8 flags;
    RwUInt8 privateFlags;
    void* parent;
};

struct RwObjectHasFrame;
typedef RwObjectHasFrame* (*RwObjectHasFrameSyncFunction)(RwObjectHasFrame* object);

// The head of every object placed on a frame (camera, light, atomic).
struct RwObjectHasFrame {
    RwObject object;
    RwLLLink lFrame; // in the frame's object list
    RwObjectHasFrameSyncFunction sync;
};

// Private flags of a frame: 1 and 2 only on a root (then it is on the dirty-frame list).
enum RwFramePrivateFlag : RwUInt8 {
    rwFRAMEPRIVATEHIERARCHYSYNCLTM = 0x01, // world matrices of the hierarchy are stale
    rwFRAMEPRIVATEHIERARCHYSYNCOBJ = 0x02, // objects of the hierarchy need their sync callbacks
    rwFRAMEPRIVATESUBTREESYNCLTM = 0x04,   // this frame's world matrix is stale
    rwFRAMEPRIVATESUBTREESYNCOBJ = 0x08,   // this frame's objects need their sync callbacks
    rwFRAMEPRIVATEHIERARCHYSYNC = 0x03,
    rwFRAMEPRIVATESUBTREESYNC = 0x0C,
};

struct RwFrame {
    RwObject object;
    RwLLLink inDirtyListLink;
    RwMatrix modelling; // relative to the parent
    RwMatrix ltm;       // world matrix: modelling x parent's world
    RwLinkList objectList;
    RwFrame* child; // first child; children are newest first
    RwFrame* next;  // next sibling
    RwFrame* root;  // a root points to itself
};

struct RwFrameList {
    RwFrame** frames;
    RwInt32 numFrames;
};

typedef RwFrame* (*RwFrameCallBack)(RwFrame* frame, void* data);

// The frames module's block in the engine instance.
struct RwFrameModuleData {
    RwFreeList* freeList;
    RwLinkList dirtyFrameList; // roots whose hierarchy changed
};

// Registers the module with the engine (plugin id 0x403); the offset, or -1.
RwInt32 _rwFrameModuleAttach();
void* RwFrameModuleOpen(void* instance, RwInt32 offset, RwInt32 size);
void* RwFrameModuleClose(void* instance, RwInt32 offset, RwInt32 size);

RwFrame* RwFrameCreate();
RwBool RwFrameDestroy(RwFrame* frame);
RwBool RwFrameDestroyHierarchy(RwFrame* frame);

RwFrame* RwFrameAddChild(RwFrame* parent, RwFrame* child);
RwFrame* RwFrameRemoveChild(RwFrame* child);
RwFrame* RwFrameGetRoot(const RwFrame* frame);
RwFrame* RwFrameForAllChildren(RwFrame* frame, RwFrameCallBack callBack, void* data);
RwFrame* RwFrameForAllObjects(RwFrame* frame, RwObjectHasFrameSyncFunction callBack);

RwFrame* RwFrameUpdateObjects(RwFrame* frame);
RwMatrix* RwFrameGetWorldMatrix(RwFrame* frame);
RwFrame* RwFrameSetIdentity(RwFrame* frame);
RwFrame* RwFrameOrthonormalize(RwFrame* frame);
RwUInt32 RwFrameIsDirty(const RwFrame* frame);
// Queues the frame's hierarchy for its objects' sync callbacks only: world matrices that the caller has
// set stay as they are.
void _rwFrameQueueObjectSync(RwFrame* frame);
RwFrame* RwFrameCloneHierarchy(RwFrame* root);
// The clone in two steps, for callers that map source frames to their copies in between (the clump
// clone): after the first, each source frame's root field points to its copy; the second puts the
// source's root fields back.
RwFrame* _rwFrameCloneHierarchyKeepLinks(RwFrame* root);
void _rwFrameCloneHierarchyRestoreLinks(RwFrame* root);
RwBool RwFrameSyncDirty();

inline RwMatrix* RwFrameGetMatrix(RwFrame* frame) {
    return &frame->modelling;
}
inline RwFrame* RwFrameGetParent(const RwFrame* frame) {
    return static_cast<RwFrame*>(frame->object.parent);
}

RwInt32 RwFrameRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                              RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RwFrameRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                    RwPluginDataChunkWriteCallBack writeCB,
                                    RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RwFrameGetPluginOffset(RwUInt32 pluginID);
const RwPluginRegistry* RwFrameGetRegistry();

// Reads a frame list chunk's payload (the stream stands after the frame list chunk's header).
RwFrameList* RwFrameListStreamRead(RwStream* stream, RwFrameList* frameList);
RwFrameList* RwFrameListDeinitialize(RwFrameList* frameList);
// The frames of a hierarchy in stream order: the root first, every parent before its children, siblings
// last first (so that reading, which adds each child at the head, gives back the sibling order).
RwFrameList* RwFrameListInitialize(RwFrameList* frameList, RwFrame* root);
// Index of a frame in the list, or -1.
RwInt32 RwFrameListFindFrame(const RwFrameList* frameList, const RwFrame* frame);
// The frame list chunk, header first; the size is that of its payload.
RwUInt32 RwFrameListStreamGetSize(const RwFrameList* frameList);
const RwFrameList* RwFrameListStreamWrite(const RwFrameList* frameList, RwStream* stream);

// Objects placed by a frame.
void RwObjectSetFrame(RwObjectHasFrame* object, RwFrame* frame);
void RwObjectReleaseFrame(RwObjectHasFrame* object);
inline RwFrame* RwObjectGetFrame(const RwObjectHasFrame* object) {
    return static_cast<RwFrame*>(object->object.parent);
}
