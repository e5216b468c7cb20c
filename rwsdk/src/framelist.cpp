// Frame lists as the clump stream writes them.
#include "rwsdk/src/frame.h"

#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

#include <vector>

namespace {

constexpr RwUInt32 frameListHint = rwMEMHINTDUR_EVENT | rwID_FRAMEMODULE;
constexpr RwUInt32 frameRecordSize = 56;

} // namespace

RwFrameList* RwFrameListInitialize(RwFrameList* frameList, RwFrame* root) {
    frameList->frames = nullptr;
    frameList->numFrames = 0;
    if (!root)
        return frameList;
    std::vector<RwFrame*> order;
    std::vector<RwFrame*> pending{root};
    while (!pending.empty()) {
        RwFrame* frame = pending.back();
        pending.pop_back();
        order.push_back(frame);
        // Children are pushed first to last, so the last child comes out first.
        for (RwFrame* child = frame->child; child; child = child->next)
            pending.push_back(child);
    }
    auto** frames = static_cast<RwFrame**>(RwMalloc(sizeof(RwFrame*) * order.size(), frameListHint));
    if (!frames) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    for (size_t i = 0; i < order.size(); ++i)
        frames[i] = order[i];
    frameList->frames = frames;
    frameList->numFrames = RwInt32(order.size());
    return frameList;
}

RwInt32 RwFrameListFindFrame(const RwFrameList* frameList, const RwFrame* frame) {
    for (RwInt32 i = 0; i < frameList->numFrames; ++i)
        if (frameList->frames[i] == frame)
            return i;
    return -1;
}

RwUInt32 RwFrameListStreamGetSize(const RwFrameList* frameList) {
    RwUInt32 size = rwCHUNKHEADERSIZE + 4 + frameRecordSize * RwUInt32(frameList->numFrames);
    for (RwInt32 i = 0; i < frameList->numFrames; ++i)
        size += rwCHUNKHEADERSIZE +
                RwPluginRegistryGetPluginStreamSize(RwFrameGetRegistry(), frameList->frames[i]);
    return size;
}

const RwFrameList* RwFrameListStreamWrite(const RwFrameList* frameList, RwStream* stream) {
    const RwInt32 count = frameList->numFrames;
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_FRAMELIST, RwFrameListStreamGetSize(frameList)) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, 4 + frameRecordSize * RwUInt32(count)) ||
        !RwStreamWriteInt32(stream, &count, 4))
        return nullptr;
    for (RwInt32 i = 0; i < count; ++i) {
        const RwFrame* frame = frameList->frames[i];
        const RwMatrix& m = frame->modelling;
        const RwReal rows[12] = {m.right.x, m.right.y, m.right.z, m.up.x,  m.up.y,  m.up.z,
                                 m.at.x,    m.at.y,    m.at.z,    m.pos.x, m.pos.y, m.pos.z};
        const RwFrame* parent = RwFrameGetParent(frame);
        const RwInt32 tail[2] = {parent ? RwFrameListFindFrame(frameList, parent) : -1, 0};
        if (parent && tail[0] < 0) {
            RwErrorSetCode(E_RW_BADPARAM); // the parent is not in the list
            return nullptr;
        }
        if (!RwStreamWriteReal(stream, rows, sizeof(rows)) || !RwStreamWriteInt32(stream, tail, sizeof(tail)))
            return nullptr;
    }
    for (RwInt32 i = 0; i < count; ++i)
        if (!RwPluginRegistryWriteDataChunks(RwFrameGetRegistry(), stream, frameList->frames[i]))
            return nullptr;
    return frameList;
}
