// Animation toolkit: the scheme table, *.anm files, and interpolators that advance and rewind through an
// animation's keyframes.
#include "rwsdk/tool/anim/rtanim.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

#include <cmath>
#include <cstring>

namespace {

constexpr RwUInt32 animHint = rwMEMHINTDUR_EVENT | rwID_ANIMANIMATION;
constexpr RwUInt32 headerBytes = 20;
constexpr RwReal noCallBack = HUGE_VALF;

RtAnimInterpolatorInfo schemes[rtANIMMAXSCHEMES];
RwInt32 numSchemes = 0;

void* Open(void* instance, RwInt32, RwInt32) {
    return instance;
}

void* Close(void* instance, RwInt32, RwInt32) {
    numSchemes = 0;
    return instance;
}

RtAnimInterpFrameHeader* Entry(RtAnimInterpolator* interpolator, RwInt32 node) {
    return static_cast<RtAnimInterpFrameHeader*>(rtANIMGETINTERPFRAME(interpolator, node));
}

RtAnimKeyFrameHeader* KeyFrame(const RtAnimAnimation* animation, RwInt32 index) {
    return static_cast<RtAnimKeyFrameHeader*>(rtANIMGETKEYFRAME(animation, index));
}

void InterpolateAll(RtAnimInterpolator* interpolator) {
    void* custom = interpolator->pCurrentAnim->customData;
    for (RwInt32 n = 0; n < interpolator->numNodes; ++n) {
        RtAnimInterpFrameHeader* entry = Entry(interpolator, n);
        interpolator->keyFrameInterpolateCB(entry, entry->keyFrame1, entry->keyFrame2,
                                            interpolator->currentTime, custom);
    }
}

// Every node back at its first two keyframes, at time 0.
void MakeCurrent(RtAnimInterpolator* interpolator, RtAnimAnimation* animation) {
    const RtAnimInterpolatorInfo* info = animation->interpInfo;
    const RwInt32 n = interpolator->numNodes;
    interpolator->pCurrentAnim = animation;
    interpolator->currentTime = 0.0f;
    interpolator->currentInterpKeyFrameSize = info->interpKeyFrameSize;
    interpolator->currentAnimKeyFrameSize = RwInt32(info->animKeyFrameSize);
    interpolator->keyFrameApplyCB = info->keyFrameApplyCB;
    interpolator->keyFrameBlendCB = info->keyFrameBlendCB;
    interpolator->keyFrameInterpolateCB = info->keyFrameInterpolateCB;
    interpolator->keyFrameAddCB = info->keyFrameAddCB;
    for (RwInt32 i = 0; i < n; ++i) {
        RtAnimInterpFrameHeader* entry = Entry(interpolator, i);
        RtAnimKeyFrameHeader* first = KeyFrame(animation, i);
        RtAnimKeyFrameHeader* second = KeyFrame(animation, n + i);
        info->keyFrameInterpolateCB(entry, first, second, 0.0f, animation->customData);
        entry->keyFrame1 = first;
        entry->keyFrame2 = second;
    }
    interpolator->pNextFrame = KeyFrame(animation, n * 2); // at most the end: there are 2n keyframes or more
}

void FireCallBacks(RtAnimInterpolator* interpolator, bool fire, bool loop) {
    if (fire && interpolator->pAnimCallBack &&
        !interpolator->pAnimCallBack(interpolator, interpolator->pAnimCallBackData))
        interpolator->pAnimCallBack = nullptr;
    if (loop && interpolator->pAnimLoopCallBack &&
        !interpolator->pAnimLoopCallBack(interpolator, interpolator->pAnimLoopCallBackData))
        interpolator->pAnimLoopCallBack = nullptr;
}

// Takes in every keyframe whose previous keyframe has been reached. A keyframe that follows no node's
// current second keyframe (a malformed animation) is passed over.
void TakeInKeyFrames(RtAnimInterpolator* interpolator) {
    const RtAnimAnimation* animation = interpolator->pCurrentAnim;
    auto* next = static_cast<RwUInt8*>(interpolator->pNextFrame);
    const RwUInt8* end = static_cast<const RwUInt8*>(rtANIMGETKEYFRAME(animation, animation->numFrames));
    const size_t stride = animation->interpInfo->animKeyFrameSize;
    const RwInt32 n = interpolator->numNodes;
    RwInt32 node = 0;
    while (next < end) {
        auto* key = reinterpret_cast<RtAnimKeyFrameHeader*>(next);
        const auto* prev = static_cast<const RtAnimKeyFrameHeader*>(key->prevFrame);
        if (prev && prev->time > interpolator->currentTime)
            break;
        for (RwInt32 step = 0; prev && step < n; ++step, node = (node + 1) % n) {
            RtAnimInterpFrameHeader* entry = Entry(interpolator, node);
            if (entry->keyFrame2 == prev) {
                entry->keyFrame1 = entry->keyFrame2;
                entry->keyFrame2 = key;
                break;
            }
        }
        next += stride;
    }
    interpolator->pNextFrame = next;
}

} // namespace

RwBool RtAnimToolkitAttach() {
    return RwEngineRegisterPlugin(0, rwID_RTANIM, Open, Close) >= 0;
}

RwBool RtAnimSchemeRegister(const RtAnimInterpolatorInfo* scheme) {
    for (RwInt32 i = 0; i < numSchemes; ++i) {
        if (schemes[i].typeID == scheme->typeID) {
            RwErrorSetPlugin(rwID_RTANIM, rtANIMERRORSCHEMEEXISTS);
            return FALSE;
        }
    }
    if (numSchemes >= rtANIMMAXSCHEMES) {
        RwErrorSetPlugin(rwID_RTANIM, rtANIMERRORTOOMANYSCHEMES);
        return FALSE;
    }
    schemes[numSchemes++] = *scheme;
    return TRUE;
}

RtAnimInterpolatorInfo* RtAnimGetInterpolatorInfo(RwInt32 typeID) {
    for (RwInt32 i = 0; i < numSchemes; ++i)
        if (schemes[i].typeID == typeID)
            return &schemes[i];
    return nullptr;
}

RtAnimAnimation* RtAnimAnimationCreate(RwInt32 typeID, RwInt32 numFrames, RwInt32 flags, RwReal duration) {
    RtAnimInterpolatorInfo* info = RtAnimGetInterpolatorInfo(typeID);
    if (!info) {
        RwErrorSetPlugin(rwID_RTANIM, rtANIMERRORUNKNOWNSCHEME);
        return nullptr;
    }
    if (numFrames < 0) {
        RwErrorSetCode(E_RW_BADPARAM);
        return nullptr;
    }
    const size_t keyBytes = size_t(numFrames) * info->animKeyFrameSize;
    const size_t size = sizeof(RtAnimAnimation) + keyBytes + info->customDataSize;
    auto* animation = static_cast<RtAnimAnimation*>(RwMalloc(size, animHint));
    if (!animation) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(animation, 0, size);
    animation->interpInfo = info;
    animation->numFrames = numFrames;
    animation->flags = flags;
    animation->duration = duration;
    animation->pFrames = animation + 1;
    animation->customData =
        info->customDataSize ? static_cast<RwUInt8*>(animation->pFrames) + keyBytes : nullptr;
    return animation;
}

RtAnimAnimation* RtAnimAnimationStreamRead(RwStream* stream) {
    RwUInt32 words[5];
    if (RwStreamRead(stream, words, sizeof(words)) != sizeof(words)) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    if (words[0] != rtANIMSTREAMCURRENTVERSION)
        return nullptr;
    RwReal duration;
    std::memcpy(&duration, &words[4], 4);
    const RwInt32 numFrames = RwInt32(words[2]);
    // Every keyframe takes stream bytes, so the count is weighed against what the stream holds; an
    // animation without length cannot be played.
    if (numFrames < 0 || RwUInt32(numFrames) > RwStreamBytesLeft(stream) / 4 || !(duration > 0.0f)) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    RtAnimAnimation* animation =
        RtAnimAnimationCreate(RwInt32(words[1]), numFrames, RwInt32(words[3]), duration);
    if (!animation)
        return nullptr;
    if (!animation->interpInfo->keyFrameStreamReadCB(stream, animation)) {
        RtAnimAnimationDestroy(animation);
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    return animation;
}

RtAnimAnimation* RtAnimAnimationRead(const RwChar* fileName) {
    RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, fileName);
    if (!stream)
        return nullptr;
    RtAnimAnimation* animation = RwStreamFindChunk(stream, rwID_ANIMANIMATION, nullptr, nullptr)
                                     ? RtAnimAnimationStreamRead(stream)
                                     : nullptr;
    RwStreamClose(stream, nullptr);
    return animation;
}

RwUInt32 RtAnimAnimationStreamGetSize(const RtAnimAnimation* animation) {
    return headerBytes + RwUInt32(animation->interpInfo->keyFrameStreamGetSizeCB(animation));
}

RwBool RtAnimAnimationStreamWrite(const RtAnimAnimation* animation, RwStream* stream) {
    RwUInt32 words[5] = {rtANIMSTREAMCURRENTVERSION, RwUInt32(animation->interpInfo->typeID),
                         RwUInt32(animation->numFrames), RwUInt32(animation->flags), 0};
    std::memcpy(&words[4], &animation->duration, 4);
    return RwStreamWriteEngineChunkHeader(stream, rwID_ANIMANIMATION,
                                          RtAnimAnimationStreamGetSize(animation)) &&
           RwStreamWriteInt32(stream, reinterpret_cast<const RwInt32*>(words), sizeof(words)) &&
           animation->interpInfo->keyFrameStreamWriteCB(animation, stream);
}

RwBool RtAnimAnimationDestroy(RtAnimAnimation* animation) {
    RwFree(animation);
    return TRUE;
}

RtAnimInterpolator* RtAnimInterpolatorCreate(RwInt32 numNodes, RwInt32 maxInterpKeyFrameSize) {
    if (numNodes < 0 || maxInterpKeyFrameSize < RwInt32(sizeof(RtAnimInterpFrameHeader))) {
        RwErrorSetCode(E_RW_BADPARAM);
        return nullptr;
    }
    const size_t size = sizeof(RtAnimInterpolator) + size_t(numNodes) * size_t(maxInterpKeyFrameSize);
    auto* interpolator = static_cast<RtAnimInterpolator*>(RwMalloc(size, animHint));
    if (!interpolator) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(interpolator, 0, size);
    interpolator->animCallBackTime = -1.0f;
    interpolator->maxInterpKeyFrameSize = RwUInt32(maxInterpKeyFrameSize);
    interpolator->currentInterpKeyFrameSize = RwUInt32(maxInterpKeyFrameSize);
    interpolator->currentAnimKeyFrameSize = -1;
    interpolator->numNodes = numNodes;
    interpolator->parentAnimation = interpolator;
    return interpolator;
}

RtAnimInterpolator* RtAnimInterpolatorCreateSub(RtAnimInterpolator* parent, RwInt32 startNode,
                                                RwInt32 numNodes, RwInt32 maxInterpKeyFrameSize) {
    if (maxInterpKeyFrameSize == -1)
        maxInterpKeyFrameSize = RwInt32(parent->maxInterpKeyFrameSize);
    RtAnimInterpolator* sub = RtAnimInterpolatorCreate(numNodes, maxInterpKeyFrameSize);
    if (!sub)
        return nullptr;
    sub->isSubInterpolator = 1;
    sub->offsetInParent = startNode;
    sub->parentAnimation = parent;
    return sub;
}

void RtAnimInterpolatorDestroy(RtAnimInterpolator* interpolator) {
    if (interpolator)
        RwFree(interpolator);
}

RwBool RtAnimInterpolatorSetCurrentAnimation(RtAnimInterpolator* interpolator, RtAnimAnimation* animation) {
    const RwInt32 n = interpolator->numNodes;
    // Playback starts from the first two keyframes of every node: they must exist and be linked.
    bool fits = animation &&
                animation->interpInfo->interpKeyFrameSize <= interpolator->maxInterpKeyFrameSize &&
                animation->numFrames >= 2 * n && animation->duration > 0.0f;
    for (RwInt32 i = 0; fits && i < n; ++i)
        fits = KeyFrame(animation, n + i)->prevFrame == KeyFrame(animation, i);
    if (!fits) {
        RwErrorSetCode(E_RW_BADPARAM);
        return FALSE;
    }
    MakeCurrent(interpolator, animation);
    return TRUE;
}

RwBool RtAnimInterpolatorAddTime(RtAnimInterpolator* interpolator, RwReal delta) {
    RtAnimAnimation* animation = interpolator->pCurrentAnim;
    if (!animation || !(delta > 0.0f))
        return TRUE;
    // A negative callback time (-1 at creation) means never, also when the time wraps.
    const RwReal callBackTime =
        interpolator->animCallBackTime < 0.0f ? noCallBack : interpolator->animCallBackTime;
    bool fire = interpolator->currentTime < callBackTime && interpolator->currentTime + delta >= callBackTime;
    bool loop = false;
    RwReal time = interpolator->currentTime + delta;
    if (time > animation->duration) {
        // Wrapped into (0, duration] at once: subtracting one duration at a time never ends when the
        // duration is small beside the time.
        loop = true;
        if (time - animation->duration >= callBackTime)
            fire = true;
        time = std::fmod(time, animation->duration);
        if (time <= 0.0f)
            time += animation->duration;
        MakeCurrent(interpolator, animation);
    }
    if (!interpolator->pNextFrame)
        MakeCurrent(interpolator, animation);
    interpolator->currentTime = time;
    TakeInKeyFrames(interpolator);
    InterpolateAll(interpolator);
    FireCallBacks(interpolator, fire, loop);
    return TRUE;
}

RwBool RtAnimInterpolatorSubtractTime(RtAnimInterpolator* interpolator, RwReal delta) {
    RtAnimAnimation* animation = interpolator->pCurrentAnim;
    if (!animation || !(delta > 0.0f))
        return TRUE;
    const RwReal callBackTime = interpolator->animCallBackTime;
    bool fire = callBackTime >= 0.0f && interpolator->currentTime > callBackTime &&
                interpolator->currentTime - delta <= callBackTime;
    bool loop = false;
    RwReal time = interpolator->currentTime - delta;
    if (time < 0.0f) {
        time = std::fmod(time, animation->duration);
        if (time < 0.0f)
            time += animation->duration;
        if (time >= animation->duration)
            time = 0.0f;
        MakeCurrent(interpolator, animation);
        RtAnimInterpolatorAddTime(interpolator, time);
        if (callBackTime >= 0.0f && interpolator->currentTime < callBackTime)
            fire = true;
        loop = true;
    } else {
        interpolator->currentTime = time;
        for (RwInt32 n = 0; n < interpolator->numNodes; ++n) {
            RtAnimInterpFrameHeader* entry = Entry(interpolator, n);
            while (time < entry->keyFrame1->time && entry->keyFrame1->prevFrame) {
                entry->keyFrame2 = entry->keyFrame1;
                entry->keyFrame1 = static_cast<RtAnimKeyFrameHeader*>(entry->keyFrame1->prevFrame);
            }
            interpolator->keyFrameInterpolateCB(entry, entry->keyFrame1, entry->keyFrame2, time,
                                                animation->customData);
        }
        interpolator->pNextFrame = nullptr;
    }
    FireCallBacks(interpolator, fire, loop);
    return TRUE;
}

RwBool RtAnimInterpolatorSetCurrentTime(RtAnimInterpolator* interpolator, RwReal time) {
    const RwReal d = time - interpolator->currentTime;
    return d >= 0.0f ? RtAnimInterpolatorAddTime(interpolator, d)
                     : RtAnimInterpolatorSubtractTime(interpolator, -d);
}

void RtAnimInterpolatorSetAnimCallBack(RtAnimInterpolator* interpolator, RtAnimCallBack callBack, RwReal time,
                                       void* data) {
    interpolator->pAnimCallBack = callBack;
    interpolator->animCallBackTime = time;
    interpolator->pAnimCallBackData = data;
}

void RtAnimInterpolatorSetAnimLoopCallBack(RtAnimInterpolator* interpolator, RtAnimCallBack callBack,
                                           void* data) {
    interpolator->pAnimLoopCallBack = callBack;
    interpolator->pAnimLoopCallBackData = data;
}
