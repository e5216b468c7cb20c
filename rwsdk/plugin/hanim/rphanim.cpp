// Hierarchical animation plugin: node ids on frames, hierarchies of nodes in depth-first order with
// push/pop flags, their matrices, and their place in frame streams.
#include "rwsdk/plugin/hanim/rphanim.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr RwUInt32 globalHint = rwMEMHINTDUR_GLOBAL | rwID_HANIMPLUGIN;
constexpr RwUInt32 eventHint = rwMEMHINTDUR_EVENT | rwID_HANIMPLUGIN;
constexpr RwInt32 hierarchiesPerBlock = 128;
constexpr RwInt32 nodeRecordBytes = 12;

struct FrameData {
    RwInt32 id;
    RpHAnimHierarchy* hierarchy;
};

RwInt32 frameOffset = -1;
RwFreeList* hierarchyFreeList = nullptr;

FrameData* DataOf(const RwFrame* frame) {
    return RWPLUGINOFFSET(FrameData, const_cast<RwFrame*>(frame), frameOffset);
}

RwUInt32 InterpolatorKeyFrameSize(RwInt32 maxKeyFrameSize) {
    // Sizes are given as files count them; the standard entries are larger in memory here.
    return RwUInt32(std::max<RwInt32>(maxKeyFrameSize, RwInt32(sizeof(RpHAnimInterpFrame))));
}

void MultiplyByWorldMatrix(RwMatrix* inOut, const RwFrame* frame);

// The world matrix of a frame without touching the frames: the stored one when its hierarchy is clean,
// else the product of its modelling matrix with its ancestors'.
RwMatrix WorldMatrixOf(RwFrame* frame) {
    RwMatrix m;
    if (!frame) {
        RwMatrixSetIdentity(&m);
        return m;
    }
    if (!RwFrameIsDirty(frame))
        return frame->ltm;
    m = frame->modelling;
    MultiplyByWorldMatrix(&m, RwFrameGetParent(frame));
    return m;
}

void MultiplyByWorldMatrix(RwMatrix* inOut, const RwFrame* frame) {
    for (; frame; frame = RwFrameGetParent(frame)) {
        RwMatrix product;
        RwMatrixMultiply(&product, inOut, &frame->modelling);
        *inOut = product;
    }
}

RwMatrix ParentWorldMatrix(RwFrame* root) {
    return WorldMatrixOf(root ? RwFrameGetParent(root) : nullptr);
}

bool AllocateArrays(RpHAnimHierarchy* h) {
    const size_t n = size_t(h->numNodes);
    if (n > 0) {
        h->pNodeInfo = static_cast<RpHAnimNodeInfo*>(RwMalloc(n * sizeof(RpHAnimNodeInfo), eventHint));
        if (!h->pNodeInfo)
            return false;
        std::memset(h->pNodeInfo, 0, n * sizeof(RpHAnimNodeInfo));
    }
    if (!(h->flags & rpHANIMHIERARCHYNOMATRICES) && n > 0) {
        h->pMatrixArrayUnaligned = RwMalloc(n * sizeof(RwMatrix) + 15, eventHint);
        if (!h->pMatrixArrayUnaligned)
            return false;
        const auto address =
            (reinterpret_cast<std::uintptr_t>(h->pMatrixArrayUnaligned) + 15) & ~std::uintptr_t(15);
        h->pMatrixArray = reinterpret_cast<RwMatrix*>(address);
        for (size_t i = 0; i < n; ++i)
            RwMatrixSetIdentity(&h->pMatrixArray[i]);
    }
    h->currentAnim =
        RtAnimInterpolatorCreate(h->numNodes, RwInt32(InterpolatorKeyFrameSize(h->maxKeyFrameSize)));
    return h->currentAnim != nullptr;
}

// A sub-hierarchy shares its parent's records and matrices. Callers set a sub-hierarchy's flags outright
// (the game sets them to 0x1000), so the parent link says what it is, not only the flag.
bool IsSub(const RpHAnimHierarchy* h) {
    return (h->flags & rpHANIMHIERARCHYSUBHIERARCHY) || h->parentHierarchy != h;
}

RpHAnimHierarchy* NewHierarchy() {
    auto* h = static_cast<RpHAnimHierarchy*>(RwFreeListEntryAlloc(hierarchyFreeList, globalHint));
    if (!h) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(h, 0, sizeof(*h));
    h->parentHierarchy = h;
    h->rootParentOffset = -1;
    return h;
}

// The node's place in the tree: a push saves the current parent, a pop takes the next node's parent off
// the stack, a node without pop is the next node's parent. False when the stack would overflow.
struct ParentWalk {
    RwInt32 stack[rpHANIMSTACKDEPTH];
    RwInt32 depth = 0;
    RwInt32 parent;

    explicit ParentWalk(RwInt32 start) : parent(start) {}
    bool Step(RwInt32 node, RwUInt32 flags) {
        if (flags & rpHANIMPUSHPARENTMATRIX) {
            if (depth >= rpHANIMSTACKDEPTH)
                return false;
            stack[depth++] = parent;
        }
        if (flags & rpHANIMPOPPARENTMATRIX)
            parent = depth > 0 ? stack[--depth] : -1;
        else
            parent = node;
        return true;
    }
};

void* Construct(void* object, RwInt32 offset, RwInt32) {
    *RWPLUGINOFFSET(FrameData, object, offset) = {-1, nullptr};
    return object;
}

void* Destruct(void* object, RwInt32 offset, RwInt32) {
    auto* frame = static_cast<RwFrame*>(object);
    FrameData* data = RWPLUGINOFFSET(FrameData, object, offset);
    RpHAnimHierarchy* h = data->hierarchy;
    if (h) {
        for (RwInt32 i = 0; i < h->numNodes; ++i)
            h->pNodeInfo[i].pFrame = nullptr;
        if (h->parentFrame == frame)
            RpHAnimHierarchyDestroy(h);
    }
    *data = {-1, nullptr};
    return object;
}

void* Copy(void* dstObject, const void* srcObject, RwInt32 offset, RwInt32) {
    FrameData* dst = RWPLUGINOFFSET(FrameData, dstObject, offset);
    const FrameData* src = RWPLUGINOFFSETCONST(FrameData, srcObject, offset);
    dst->id = src->id;
    const RpHAnimHierarchy* h = src->hierarchy;
    if (!h || IsSub(h))
        return dstObject;
    RpHAnimHierarchy* copy =
        RpHAnimHierarchyCreate(h->numNodes, nullptr, nullptr, h->flags, h->maxKeyFrameSize);
    if (!copy)
        return dstObject;
    for (RwInt32 i = 0; i < h->numNodes; ++i)
        copy->pNodeInfo[i] = {h->pNodeInfo[i].nodeID, h->pNodeInfo[i].nodeIndex, h->pNodeInfo[i].flags,
                              nullptr};
    RpHAnimFrameSetHierarchy(static_cast<RwFrame*>(dstObject), copy);
    return dstObject;
}

RwStream* Read(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    auto* frame = static_cast<RwFrame*>(object);
    FrameData* data = RWPLUGINOFFSET(FrameData, object, offset);
    RwInt32 head[3];
    if (length < 12 || !RwStreamReadInt32(stream, head, sizeof(head)) ||
        RwUInt32(head[0]) != rpHANIMSTREAMCURRENTVERSION) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    data->id = head[1];
    const RwInt32 numNodes = head[2];
    if (numNodes == 0)
        return stream;
    RwInt32 more[2];
    // The nodes must lie inside the sub-chunk, and the keyframe size must be one an interpolator can use.
    if (numNodes < 0 || RwUInt32(numNodes) > RwUInt32(length - 20) / nodeRecordBytes || length < 20 ||
        !RwStreamReadInt32(stream, more, sizeof(more)) || more[1] < 0 || more[1] > rpHANIMMAXKEYFRAMESIZE) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    const RwUInt32 flags = RwUInt32(more[0]) & ~RwUInt32(rpHANIMHIERARCHYSUBHIERARCHY);
    RpHAnimHierarchy* h = RpHAnimHierarchyCreate(numNodes, nullptr, nullptr, flags, more[1]);
    if (!h)
        return nullptr;
    for (RwInt32 i = 0; i < numNodes; ++i) {
        RwInt32 node[3];
        if (!RwStreamReadInt32(stream, node, sizeof(node))) {
            RpHAnimHierarchyDestroy(h);
            return nullptr;
        }
        h->pNodeInfo[i] = {node[0], node[1], node[2], nullptr};
    }
    if (data->hierarchy && data->hierarchy->parentFrame == frame)
        RpHAnimHierarchyDestroy(data->hierarchy);
    RpHAnimFrameSetHierarchy(frame, h);
    return stream;
}

RwInt32 Size(const void* object, RwInt32 offset, RwInt32) {
    const FrameData* data = RWPLUGINOFFSETCONST(FrameData, object, offset);
    const RpHAnimHierarchy* h = data->hierarchy;
    if (!h && data->id == -1)
        return 0;
    if (!h || IsSub(h))
        return 12;
    return 20 + nodeRecordBytes * h->numNodes;
}

RwStream* Write(RwStream* stream, RwInt32, const void* object, RwInt32 offset, RwInt32) {
    const FrameData* data = RWPLUGINOFFSETCONST(FrameData, object, offset);
    const RpHAnimHierarchy* h = data->hierarchy;
    const bool full = h && !IsSub(h);
    const RwInt32 head[3] = {RwInt32(rpHANIMSTREAMCURRENTVERSION), data->id, full ? h->numNodes : 0};
    if (!RwStreamWriteInt32(stream, head, sizeof(head)))
        return nullptr;
    if (!full)
        return stream;
    const RwInt32 more[2] = {RwInt32(h->flags), h->maxKeyFrameSize};
    if (!RwStreamWriteInt32(stream, more, sizeof(more)))
        return nullptr;
    for (RwInt32 i = 0; i < h->numNodes; ++i) {
        const RwInt32 node[3] = {h->pNodeInfo[i].nodeID, h->pNodeInfo[i].nodeIndex, h->pNodeInfo[i].flags};
        if (!RwStreamWriteInt32(stream, node, sizeof(node)))
            return nullptr;
    }
    return stream;
}

void* Open(void* instance, RwInt32, RwInt32) {
    hierarchyFreeList = RwFreeListCreateAndPreallocateSpace(
        sizeof(RpHAnimHierarchy), hierarchiesPerBlock, alignof(RpHAnimHierarchy), 1, nullptr, globalHint);
    if (!hierarchyFreeList)
        return nullptr;
    if (!RtAnimGetInterpolatorInfo(rpHANIMSTDKEYFRAMETYPEID)) {
        const RtAnimInterpolatorInfo scheme = RpHAnimStdKeyFrameScheme();
        RtAnimSchemeRegister(&scheme);
    }
    return instance;
}

void* Close(void* instance, RwInt32, RwInt32) {
    if (hierarchyFreeList)
        RwFreeListDestroy(hierarchyFreeList);
    hierarchyFreeList = nullptr;
    return instance;
}

} // namespace

RwBool RpHAnimPluginAttach() {
    if (RwEngineRegisterPlugin(0, rwID_HANIMPLUGIN, Open, Close) < 0)
        return FALSE;
    frameOffset = RwFrameRegisterPlugin(sizeof(FrameData), rwID_HANIMPLUGIN, Construct, Destruct, Copy);
    return frameOffset >= 0 && RwFrameRegisterPluginStream(rwID_HANIMPLUGIN, Read, Write, Size) >= 0;
}

RpHAnimHierarchy* RpHAnimHierarchyCreate(RwInt32 numNodes, const RwUInt32* nodeFlags, const RwInt32* nodeIDs,
                                         RwUInt32 flags, RwInt32 maxKeyFrameSize) {
    if (numNodes < 0) {
        RwErrorSetCode(E_RW_BADPARAM);
        return nullptr;
    }
    RpHAnimHierarchy* h = NewHierarchy();
    if (!h)
        return nullptr;
    h->flags = flags & ~RwUInt32(rpHANIMHIERARCHYSUBHIERARCHY);
    h->numNodes = numNodes;
    h->maxKeyFrameSize = maxKeyFrameSize;
    if (!AllocateArrays(h)) {
        RwErrorSetCode(E_RW_NOMEM);
        RpHAnimHierarchyDestroy(h);
        return nullptr;
    }
    for (RwInt32 i = 0; i < numNodes; ++i) {
        RpHAnimNodeInfo& node = h->pNodeInfo[i];
        node.nodeIndex = i;
        if (nodeFlags)
            node.flags = RwInt32(nodeFlags[i]);
        if (nodeIDs)
            node.nodeID = nodeIDs[i];
    }
    return h;
}

RpHAnimHierarchy* RpHAnimHierarchyCreateSubHierarchy(RpHAnimHierarchy* parent, RwInt32 startNode,
                                                     RwUInt32 flags, RwInt32 maxKeyFrameSize) {
    if (startNode < 0 || startNode >= parent->numNodes) {
        RwErrorSetCode(E_RW_BADPARAM);
        return nullptr;
    }
    const RpHAnimNodeInfo* nodes = parent->pNodeInfo;
    RwInt32 count = 1;
    if (!(nodes[startNode].flags & rpHANIMPOPPARENTMATRIX)) {
        RwInt32 depth = 1;
        for (RwInt32 i = startNode + 1; i < parent->numNodes && depth > 0; ++i) {
            ++count;
            if (nodes[i].flags & rpHANIMPUSHPARENTMATRIX)
                ++depth;
            if (nodes[i].flags & rpHANIMPOPPARENTMATRIX)
                --depth;
        }
    }
    RwInt32 rootParent = -1;
    if (startNode > 0) {
        ParentWalk walk(-1);
        for (RwInt32 i = 0; i < startNode; ++i) {
            if (!walk.Step(i, RwUInt32(nodes[i].flags))) {
                RwErrorSetCode(E_RW_BADPARAM);
                return nullptr;
            }
        }
        rootParent = walk.parent;
    }
    RpHAnimHierarchy* h = NewHierarchy();
    if (!h)
        return nullptr;
    h->flags = flags | rpHANIMHIERARCHYSUBHIERARCHY;
    h->numNodes = count;
    h->maxKeyFrameSize = maxKeyFrameSize == -1 ? parent->maxKeyFrameSize : maxKeyFrameSize;
    h->currentAnim = RtAnimInterpolatorCreateSub(
        parent->currentAnim, startNode, count,
        maxKeyFrameSize == -1 ? -1 : RwInt32(InterpolatorKeyFrameSize(maxKeyFrameSize)));
    if (!h->currentAnim) {
        RpHAnimHierarchyDestroy(h);
        return nullptr;
    }
    h->rootParentOffset = rootParent;
    h->parentFrame = nodes[startNode].pFrame;
    h->pMatrixArray = parent->pMatrixArray ? parent->pMatrixArray + startNode : nullptr;
    h->pNodeInfo = parent->pNodeInfo + startNode;
    h->parentHierarchy = parent;
    return h;
}

RwBool RpHAnimHierarchyDestroy(RpHAnimHierarchy* h) {
    if (!IsSub(h)) {
        if (h->pMatrixArrayUnaligned)
            RwFree(h->pMatrixArrayUnaligned);
        if (h->pNodeInfo)
            RwFree(h->pNodeInfo);
    }
    RtAnimInterpolatorDestroy(h->currentAnim);
    if (h->parentFrame && DataOf(h->parentFrame)->hierarchy == h)
        DataOf(h->parentFrame)->hierarchy = nullptr;
    RwFreeListEntryFree(hierarchyFreeList, h);
    return TRUE;
}

RpHAnimHierarchy* RpHAnimHierarchyAttach(RpHAnimHierarchy* h) {
    if (!h->parentFrame)
        return h;
    // Depth first, children in list order, without recursion: files may nest frames deeply.
    std::vector<RwFrame*> pending = {h->parentFrame};
    while (!pending.empty()) {
        RwFrame* frame = pending.back();
        pending.pop_back();
        const RwInt32 id = DataOf(frame)->id;
        for (RwInt32 i = 0; i < h->numNodes; ++i)
            if (h->pNodeInfo[i].nodeID == id)
                h->pNodeInfo[i].pFrame = frame;
        RwFrameUpdateObjects(frame);
        const size_t mark = pending.size();
        for (RwFrame* child = frame->child; child; child = child->next)
            pending.push_back(child);
        std::reverse(pending.begin() + std::ptrdiff_t(mark), pending.end());
    }
    return h;
}

RwBool RpHAnimHierarchyUpdateMatrices(RpHAnimHierarchy* h) {
    const RwUInt32 flags = h->flags;
    const bool sub = IsSub(h);
    RwMatrix parent;
    if (flags & rpHANIMHIERARCHYNOMATRICES)
        parent = ParentWorldMatrix(h->parentFrame);
    else if (!sub || h->rootParentOffset == -1) {
        if (flags & rpHANIMHIERARCHYLOCALSPACEMATRICES)
            RwMatrixSetIdentity(&parent);
        else
            parent = ParentWorldMatrix(h->parentFrame);
    } else {
        parent = h->parentHierarchy->pMatrixArray ? h->parentHierarchy->pMatrixArray[h->rootParentOffset]
                                                  : ParentWorldMatrix(h->parentFrame);
    }
    const bool updateLtms = (flags & rpHANIMHIERARCHYUPDATELTMS) != 0;
    const bool updateModelling = (flags & rpHANIMHIERARCHYUPDATEMODELLINGMATRICES) != 0;
    RwMatrix rootParentWorld;
    const bool placeInWorld = updateLtms && (flags & rpHANIMHIERARCHYLOCALSPACEMATRICES);
    if (placeInWorld)
        rootParentWorld = ParentWorldMatrix(h->parentHierarchy->parentFrame);
    if (updateLtms && h->parentFrame)
        _rwFrameQueueObjectSync(h->parentFrame);

    RtAnimInterpolator* interpolator = h->currentAnim;
    RwMatrix stack[rpHANIMSTACKDEPTH];
    RwInt32 depth = 0;
    for (RwInt32 i = 0; i < h->numNodes; ++i) {
        RwMatrix local;
        RwMatrixSetIdentity(&local);
        if (interpolator->pCurrentAnim)
            interpolator->keyFrameApplyCB(&local, rtANIMGETINTERPFRAME(interpolator, i));
        RwMatrix temporary;
        RwMatrix* node = h->pMatrixArray ? &h->pMatrixArray[i] : &temporary;
        RwMatrixMultiply(node, &local, &parent);
        const RpHAnimNodeInfo& info = h->pNodeInfo[i];
        if (RwFrame* frame = info.pFrame) {
            if (updateModelling) {
                frame->modelling = local;
                if (!updateLtms)
                    RwFrameUpdateObjects(frame);
            }
            if (updateLtms) {
                if (placeInWorld)
                    RwMatrixMultiply(&frame->ltm, node, &rootParentWorld);
                else
                    frame->ltm = *node;
                frame->object.privateFlags =
                    RwUInt8((frame->object.privateFlags & ~rwFRAMEPRIVATESUBTREESYNCLTM) |
                            rwFRAMEPRIVATESUBTREESYNCOBJ);
            }
        }
        const RwUInt32 nodeFlags = RwUInt32(info.flags);
        if ((nodeFlags & rpHANIMPUSHPARENTMATRIX) && !(nodeFlags & rpHANIMPOPPARENTMATRIX)) {
            if (depth >= rpHANIMSTACKDEPTH) {
                RwErrorSetCode(E_RW_BADPARAM);
                return FALSE;
            }
            stack[depth++] = parent;
            parent = *node;
        } else if (!(nodeFlags & rpHANIMPUSHPARENTMATRIX) && (nodeFlags & rpHANIMPOPPARENTMATRIX)) {
            if (depth > 0)
                parent = stack[--depth];
        } else if (!(nodeFlags & rpHANIMPUSHPARENTMATRIX)) {
            parent = *node;
        }
    }
    return TRUE;
}

RwBool RpHAnimHierarchySetCurrentAnim(RpHAnimHierarchy* h, RtAnimAnimation* animation) {
    return RtAnimInterpolatorSetCurrentAnimation(h->currentAnim, animation);
}

RwBool RpHAnimHierarchyAddAnimTime(RpHAnimHierarchy* h, RwReal time) {
    return RtAnimInterpolatorAddTime(h->currentAnim, time);
}

RwBool RpHAnimHierarchySetCurrentAnimTime(RpHAnimHierarchy* h, RwReal time) {
    return RtAnimInterpolatorSetCurrentTime(h->currentAnim, time);
}

RpHAnimHierarchy* RpHAnimFrameGetHierarchy(RwFrame* frame) {
    return DataOf(frame)->hierarchy;
}

RwBool RpHAnimFrameSetHierarchy(RwFrame* frame, RpHAnimHierarchy* hierarchy) {
    DataOf(frame)->hierarchy = hierarchy;
    if (hierarchy)
        hierarchy->parentFrame = frame;
    return TRUE;
}

RwInt32 RpHAnimFrameGetId(RwFrame* frame) {
    return DataOf(frame)->id;
}

RwBool RpHAnimFrameSetId(RwFrame* frame, RwInt32 id) {
    DataOf(frame)->id = id;
    return TRUE;
}

RwInt32 RpHAnimIdGetIndex(const RpHAnimHierarchy* h, RwInt32 id) {
    for (RwInt32 i = 0; i < h->numNodes; ++i)
        if (h->pNodeInfo[i].nodeID == id)
            return i;
    return -1;
}

RwMatrix* RpHAnimHierarchyGetMatrixArray(RpHAnimHierarchy* h) {
    return h->pMatrixArray;
}
