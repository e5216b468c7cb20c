// Frames module: hierarchy edits, the dirty-frame list, world matrices, clones and frame list chunks.
#include "rwsdk/src/frame.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <cstring>

namespace {

RwModuleInfo frameModule;
RwPluginRegistry frameTKList = {sizeof(RwFrame), sizeof(RwFrame), 0, nullptr, nullptr};

constexpr RwUInt32 frameHint = rwMEMHINTDUR_EVENT | rwID_FRAMEMODULE;
constexpr RwUInt32 frameListHint = rwMEMHINTDUR_GLOBAL | rwID_FRAMEMODULE;
constexpr RwInt32 frameRecordSize = 56;

RwFrameModuleData* FrameData() {
    return RWMODULEDATA(RwFrameModuleData, frameModule);
}

RwFrame* Parent(const RwFrame* frame) {
    return static_cast<RwFrame*>(frame->object.parent);
}

// Pre-order over the descendants of top (top itself excluded), without recursion, so that deep
// hierarchies read from files cannot exhaust the stack. leave runs once a frame's subtree is done.
// Neither callback may change the hierarchy's links.
template <typename Enter, typename Leave> void WalkDescendants(RwFrame* top, Enter enter, Leave leave) {
    RwFrame* frame = top->child;
    while (frame) {
        enter(frame);
        if (frame->child) {
            frame = frame->child;
            continue;
        }
        for (;;) {
            RwFrame* next = frame->next;
            RwFrame* parent = Parent(frame);
            leave(frame);
            if (next) {
                frame = next;
                break;
            }
            if (parent == top) {
                frame = nullptr;
                break;
            }
            frame = parent;
        }
    }
}

void SetSubtreeRoot(RwFrame* top, RwFrame* root) {
    top->root = root;
    WalkDescendants(
        top, [root](RwFrame* f) { f->root = root; }, [](RwFrame*) {});
}

void SyncObjects(RwFrame* frame) {
    RwLLLink* end = rwLinkListGetTerminator(&frame->objectList);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(&frame->objectList); link != end;) {
        RwLLLink* next = link->next; // a callback may move its object
        RwObjectHasFrame* object = rwLLLinkGetData(link, RwObjectHasFrame, lFrame);
        if (object->sync)
            object->sync(object);
        link = next;
    }
}

// World matrices of the hierarchy from root's flags 4 down; flag 4 is kept on a frame until its subtree
// is done, so that children inherit the staleness of every ancestor.
template <typename Visit> void UpdateWorldMatrices(RwFrame* root, Visit visit) {
    if (root->object.privateFlags & rwFRAMEPRIVATESUBTREESYNCLTM)
        root->ltm = root->modelling;
    visit(root);
    WalkDescendants(
        root,
        [visit](RwFrame* f) {
            const RwFrame* parent = Parent(f);
            if ((f->object.privateFlags | parent->object.privateFlags) & rwFRAMEPRIVATESUBTREESYNCLTM) {
                RwMatrixMultiply(&f->ltm, &f->modelling, &parent->ltm);
                f->object.privateFlags |= rwFRAMEPRIVATESUBTREESYNCLTM;
            }
            visit(f);
        },
        [](RwFrame* f) { f->object.privateFlags &= ~rwFRAMEPRIVATESUBTREESYNC; });
}

void UnlinkFromParent(RwFrame* frame) {
    RwFrame* parent = Parent(frame);
    if (!parent)
        return;
    if (parent->child == frame) {
        parent->child = frame->next;
    } else {
        RwFrame* sibling = parent->child;
        while (sibling && sibling->next != frame)
            sibling = sibling->next;
        if (sibling)
            sibling->next = frame->next;
    }
}

void Detach(RwFrame* frame) {
    UnlinkFromParent(frame);
    frame->object.parent = nullptr;
    frame->next = nullptr;
    SetSubtreeRoot(frame, frame);
    RwFrameUpdateObjects(frame);
}

void LeaveDirtyList(RwFrame* frame) {
    if (frame->object.privateFlags & rwFRAMEPRIVATEHIERARCHYSYNC) {
        rwLLLinkRemove(&frame->inDirtyListLink);
        frame->object.privateFlags &= ~rwFRAMEPRIVATEHIERARCHYSYNC;
    }
}

void AppendChild(RwFrame* parent, RwFrame* child) {
    child->object.parent = parent;
    child->next = nullptr;
    if (!parent->child) {
        parent->child = child;
        return;
    }
    RwFrame* last = parent->child;
    while (last->next)
        last = last->next;
    last->next = child;
}

// The frames that a failed read made, children before parents.
void DestroyFrames(RwFrame** frames, RwInt32 count) {
    for (RwInt32 i = count - 1; i >= 0; --i)
        RwFrameDestroy(frames[i]);
}

RwReal ReadReal(const RwUInt8* bytes) {
    RwReal value;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

} // namespace

RwInt32 _rwFrameModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(RwFrameModuleData), rwID_FRAMEMODULE, RwFrameModuleOpen,
                                  RwFrameModuleClose);
}

void* RwFrameModuleOpen(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    frameModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(RwFrameModuleData, instance, offset);
    data->freeList = RwFreeListCreate(frameTKList.sizeOfStruct, 50, 16, frameListHint);
    if (!data->freeList)
        return nullptr;
    rwLinkListInitialize(&data->dirtyFrameList);
    ++frameModule.numInstances;
    return instance;
}

void* RwFrameModuleClose(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    auto* data = RWPLUGINOFFSET(RwFrameModuleData, instance, offset);
    if (data->freeList)
        RwFreeListDestroy(data->freeList);
    data->freeList = nullptr;
    --frameModule.numInstances;
    return instance;
}

namespace {

// A new frame; the frame list reader sets the modelling matrix itself.
RwFrame* CreateFrame(bool identity) {
    auto* frame = static_cast<RwFrame*>(RwFreeListEntryAlloc(FrameData()->freeList, frameHint));
    if (!frame) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    frame->object = RwObject{rwFRAME, 0, 0, 0, nullptr};
    rwLLLinkInitialize(&frame->inDirtyListLink);
    if (identity)
        RwMatrixSetIdentity(&frame->modelling);
    RwMatrixSetIdentity(&frame->ltm);
    rwLinkListInitialize(&frame->objectList);
    frame->child = nullptr;
    frame->next = nullptr;
    frame->root = frame;
    if (!RwPluginRegistryInitObject(&frameTKList, frame)) {
        RwFreeListEntryFree(FrameData()->freeList, frame);
        return nullptr;
    }
    return frame;
}

} // namespace

RwFrame* RwFrameCreate() {
    return CreateFrame(true);
}

RwBool RwFrameDestroy(RwFrame* frame) {
    RwPluginRegistryDeInitObject(&frameTKList, frame);
    if (Parent(frame))
        Detach(frame);
    LeaveDirtyList(frame);
    while (frame->child)
        Detach(frame->child);
    // Objects still placed here would keep links into freed memory: they are left without a frame.
    while (!rwLinkListEmpty(&frame->objectList)) {
        RwLLLink* link = rwLinkListGetFirstLLLink(&frame->objectList);
        rwLLLinkRemove(link);
        rwLLLinkGetData(link, RwObjectHasFrame, lFrame)->object.parent = nullptr;
    }
    RwFreeListEntryFree(FrameData()->freeList, frame);
    return TRUE;
}

RwBool RwFrameDestroyHierarchy(RwFrame* frame) {
    if (!frame)
        return TRUE;
    RwFrame* current = frame;
    for (;;) {
        while (current->child)
            current = current->child;
        if (current == frame)
            break;
        RwFrame* parent = Parent(current);
        RwFrameDestroy(current);
        current = parent;
    }
    return RwFrameDestroy(frame);
}

RwFrame* RwFrameUpdateObjects(RwFrame* frame) {
    RwFrame* root = frame->root;
    if (!(root->object.privateFlags & rwFRAMEPRIVATEHIERARCHYSYNC))
        rwLinkListAddLLLink(&FrameData()->dirtyFrameList, &root->inDirtyListLink);
    root->object.privateFlags |= rwFRAMEPRIVATEHIERARCHYSYNC;
    frame->object.privateFlags |= rwFRAMEPRIVATESUBTREESYNC;
    return frame;
}

void _rwFrameQueueObjectSync(RwFrame* frame) {
    RwFrame* root = frame->root;
    if (!(root->object.privateFlags & rwFRAMEPRIVATEHIERARCHYSYNC))
        rwLinkListAddLLLink(&FrameData()->dirtyFrameList, &root->inDirtyListLink);
    root->object.privateFlags |= rwFRAMEPRIVATEHIERARCHYSYNCOBJ;
}

RwFrame* RwFrameAddChild(RwFrame* parent, RwFrame* child) {
    if (Parent(child))
        Detach(child);
    child->next = parent->child;
    parent->child = child;
    child->object.parent = parent;
    SetSubtreeRoot(child, parent->root);
    LeaveDirtyList(child); // no longer a root
    RwFrameUpdateObjects(child);
    return parent;
}

RwFrame* RwFrameRemoveChild(RwFrame* child) {
    Detach(child);
    return child;
}

RwFrame* RwFrameGetRoot(const RwFrame* frame) {
    return frame->root;
}

RwFrame* RwFrameForAllChildren(RwFrame* frame, RwFrameCallBack callBack, void* data) {
    for (RwFrame* child = frame->child; child;) {
        RwFrame* next = child->next;
        if (!callBack(child, data))
            break;
        child = next;
    }
    return frame;
}

RwFrame* RwFrameForAllObjects(RwFrame* frame, RwObjectHasFrameSyncFunction callBack) {
    RwLLLink* end = rwLinkListGetTerminator(&frame->objectList);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(&frame->objectList); link != end;) {
        RwLLLink* next = link->next;
        if (!callBack(rwLLLinkGetData(link, RwObjectHasFrame, lFrame)))
            break;
        link = next;
    }
    return frame;
}

RwMatrix* RwFrameGetWorldMatrix(RwFrame* frame) {
    RwFrame* root = frame->root;
    if (root->object.privateFlags & rwFRAMEPRIVATEHIERARCHYSYNCLTM) {
        // Matrices now; the objects still hear of the change at the next synchronisation.
        UpdateWorldMatrices(root, [](RwFrame*) {});
        root->object.privateFlags &= ~(rwFRAMEPRIVATEHIERARCHYSYNCLTM | rwFRAMEPRIVATESUBTREESYNCLTM);
    }
    return &frame->ltm;
}

RwBool RwFrameSyncDirty() {
    RwLinkList* list = &FrameData()->dirtyFrameList;
    while (!rwLinkListEmpty(list)) {
        RwLLLink* link = rwLinkListGetFirstLLLink(list);
        rwLLLinkRemove(link);
        RwFrame* root = rwLLLinkGetData(link, RwFrame, inDirtyListLink);
        if (root->object.privateFlags & rwFRAMEPRIVATEHIERARCHYSYNCLTM) {
            UpdateWorldMatrices(root, SyncObjects);
        } else {
            SyncObjects(root);
            WalkDescendants(
                root,
                [](RwFrame* f) {
                    SyncObjects(f);
                    f->object.privateFlags &= ~rwFRAMEPRIVATESUBTREESYNCOBJ;
                },
                [](RwFrame*) {});
        }
        root->object.privateFlags &= 0xF0;
    }
    return TRUE;
}

RwFrame* RwFrameSetIdentity(RwFrame* frame) {
    RwMatrixSetIdentity(&frame->modelling);
    return RwFrameUpdateObjects(frame);
}

RwFrame* RwFrameOrthonormalize(RwFrame* frame) {
    RwMatrixOrthonormalize(&frame->modelling, &frame->modelling);
    return RwFrameUpdateObjects(frame);
}

RwUInt32 RwFrameIsDirty(const RwFrame* frame) {
    return frame->root->object.privateFlags & rwFRAMEPRIVATEHIERARCHYSYNC;
}

RwFrame* _rwFrameCloneHierarchyKeepLinks(RwFrame* root) {
    // First the frames and their links, each source frame's root field pointing to its copy...
    auto copyOf = [](const RwFrame* source) -> RwFrame* {
        RwFrame* copy = RwFrameCreate();
        if (!copy)
            return nullptr;
        copy->object.type = source->object.type;
        copy->object.subType = source->object.subType;
        copy->object.flags = source->object.flags;
        copy->object.privateFlags = source->object.privateFlags & 0xF0;
        copy->modelling = source->modelling;
        copy->ltm = source->ltm;
        return copy;
    };
    RwFrame* rootCopy = copyOf(root);
    if (!rootCopy)
        return nullptr;
    root->root = rootCopy;
    bool failed = false;
    WalkDescendants(
        root,
        [&](RwFrame* source) {
            RwFrame* copy = failed ? nullptr : copyOf(source);
            if (!copy) {
                failed = true;
                source->root = nullptr;
                return;
            }
            AppendChild(Parent(source)->root, copy);
            copy->root = rootCopy;
            source->root = copy;
        },
        [](RwFrame*) {});
    if (failed) {
        _rwFrameCloneHierarchyRestoreLinks(root);
        RwFrameDestroyHierarchy(rootCopy);
        return nullptr;
    }
    // ...then the plugin data, so that copy callbacks can map any source frame to its copy.
    RwPluginRegistryCopyObject(&frameTKList, rootCopy, root);
    WalkDescendants(
        root, [](RwFrame* source) { RwPluginRegistryCopyObject(&frameTKList, source->root, source); },
        [](RwFrame*) {});
    RwFrameUpdateObjects(rootCopy);
    return rootCopy;
}

void _rwFrameCloneHierarchyRestoreLinks(RwFrame* root) {
    SetSubtreeRoot(root, root);
}

RwFrame* RwFrameCloneHierarchy(RwFrame* root) {
    RwFrame* copy = _rwFrameCloneHierarchyKeepLinks(root);
    if (copy)
        _rwFrameCloneHierarchyRestoreLinks(root);
    return copy;
}

RwInt32 RwFrameRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                              RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&frameTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RwFrameRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                    RwPluginDataChunkWriteCallBack writeCB,
                                    RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&frameTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RwFrameGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&frameTKList, pluginID);
}

const RwPluginRegistry* RwFrameGetRegistry() {
    return &frameTKList;
}

RwFrameList* RwFrameListStreamRead(RwStream* stream, RwFrameList* frameList) {
    RwUInt32 length = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, nullptr))
        return nullptr;
    RwInt32 count = 0;
    if (length < sizeof(count) || !RwStreamReadInt32(stream, &count, sizeof(count)))
        return nullptr;
    // The records must fit in the struct chunk and in the bytes the stream still holds: a count (or a
    // chunk length) from a damaged file allocates nothing huge.
    const RwUInt32 available = std::min<RwUInt32>(length - sizeof(count), RwStreamBytesLeft(stream));
    if (count < 0 || static_cast<RwUInt32>(count) > available / frameRecordSize) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    frameList->numFrames = count;
    frameList->frames = nullptr;
    if (count == 0)
        return frameList;
    auto** frames = static_cast<RwFrame**>(RwMalloc(sizeof(RwFrame*) * count, frameHint));
    if (!frames) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    // From memory, the records are read in place, all at once.
    const RwUInt8* inPlace = _rwStreamTakeInPlace(stream, RwUInt32(count) * frameRecordSize);
    for (RwInt32 k = 0; k < count; ++k) {
        RwUInt8 copy[frameRecordSize];
        const RwUInt8* record = inPlace ? inPlace + size_t(k) * frameRecordSize : copy;
        if (!inPlace && RwStreamRead(stream, copy, frameRecordSize) != frameRecordSize) {
            DestroyFrames(frames, k);
            RwFree(frames);
            return nullptr;
        }
        RwInt32 parentIndex;
        std::memcpy(&parentIndex, record + 48, sizeof(parentIndex));
        RwFrame* frame = parentIndex < k ? CreateFrame(false) : nullptr;
        if (!frame) {
            if (parentIndex >= k)
                RwErrorSetCode(E_RW_BADPARAM); // a parent must come earlier in the list
            DestroyFrames(frames, k);
            RwFree(frames);
            return nullptr;
        }
        frames[k] = frame;
        RwMatrix& m = frame->modelling;
        for (int i = 0; i < 4; ++i) {
            RwV3d* row = i == 0 ? &m.right : i == 1 ? &m.up : i == 2 ? &m.at : &m.pos;
            *row = {ReadReal(record + 12 * i), ReadReal(record + 12 * i + 4), ReadReal(record + 12 * i + 8)};
        }
        const bool rotation = RwMatrixNormalError(&m) <= 0.01f && RwMatrixOrthogonalError(&m) <= 0.01f &&
                              RwMatrixDeterminant(&m) >= 0.99f;
        m.flags = rotation ? static_cast<RwUInt32>(rwMATRIXTYPEORTHONORMAL) : 0u;
        m.pad1 = m.pad2 = m.pad3 = 0;
        if (parentIndex >= 0)
            RwFrameAddChild(frames[parentIndex], frame);
    }
    for (RwInt32 k = 0; k < count; ++k) {
        if (!RwPluginRegistryReadDataChunks(&frameTKList, stream, frames[k])) {
            DestroyFrames(frames, count);
            RwFree(frames);
            return nullptr;
        }
    }
    for (RwInt32 k = 0; k < count; ++k)
        if (frames[k]->root == frames[k])
            RwFrameUpdateObjects(frames[k]);
    frameList->frames = frames;
    return frameList;
}

RwFrameList* RwFrameListDeinitialize(RwFrameList* frameList) {
    if (frameList->numFrames != 0)
        RwFree(frameList->frames);
    frameList->frames = nullptr;
    return frameList;
}

void RwObjectSetFrame(RwObjectHasFrame* object, RwFrame* frame) {
    if (object->object.parent)
        rwLLLinkRemove(&object->lFrame);
    object->object.parent = frame;
    if (frame) {
        rwLinkListAddLLLink(&frame->objectList, &object->lFrame);
        RwFrameUpdateObjects(frame);
    }
}

void RwObjectReleaseFrame(RwObjectHasFrame* object) {
    if (object->object.parent)
        rwLLLinkRemove(&object->lFrame);
}
