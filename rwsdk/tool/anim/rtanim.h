// The animation toolkit: keyframed animations over a fixed number of nodes, played by interpolators. What a
// keyframe holds is up to its interpolation scheme.
#pragma once

#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/types.h"

struct RwStream;

constexpr RwUInt32 rwID_RTANIM = 0x1B7;
constexpr RwUInt32 rwID_ANIMANIMATION = 0x1B;
constexpr RwUInt32 rtANIMSTREAMCURRENTVERSION = 0x100;
constexpr RwInt32 rtANIMMAXSCHEMES = 16;

// Error codes of the toolkit (plugin id 0x1B7).
enum RtAnimError : RwInt32 {
    rtANIMERRORSCHEMEEXISTS = 0,
    rtANIMERRORTOOMANYSCHEMES = 1,
    rtANIMERRORUNKNOWNSCHEME = 2,
};

struct RtAnimAnimation;
struct RtAnimInterpolator;

// Every animation keyframe begins with these two fields.
struct RtAnimKeyFrameHeader {
    void* prevFrame; // the keyframe of the same node that this one follows
    RwReal time;
};

// Every node entry of an interpolator begins with the two keyframes that enclose the current time.
struct RtAnimInterpFrameHeader {
    RtAnimKeyFrameHeader* keyFrame1;
    RtAnimKeyFrameHeader* keyFrame2;
};

typedef void (*RtAnimKeyFrameApplyCallBack)(void* matrix, void* voidIFrame);
typedef void (*RtAnimKeyFrameBlendCallBack)(void* voidOut, void* voidIn1, void* voidIn2, RwReal alpha);
typedef void (*RtAnimKeyFrameInterpolateCallBack)(void* voidOut, void* voidIn1, void* voidIn2, RwReal time,
                                                  void* customData);
typedef void (*RtAnimKeyFrameAddCallBack)(void* voidOut, void* voidIn1, void* voidIn2);
typedef void (*RtAnimKeyFrameMulRecipCallBack)(void* voidFrame, void* voidStart);
typedef RtAnimAnimation* (*RtAnimKeyFrameStreamReadCallBack)(RwStream* stream, RtAnimAnimation* animation);
typedef RwBool (*RtAnimKeyFrameStreamWriteCallBack)(const RtAnimAnimation* animation, RwStream* stream);
typedef RwInt32 (*RtAnimKeyFrameStreamGetSizeCallBack)(const RtAnimAnimation* animation);
typedef RtAnimInterpolator* (*RtAnimCallBack)(RtAnimInterpolator* interpolator, void* data);

// An interpolation scheme, copied into the toolkit's table when registered.
struct RtAnimInterpolatorInfo {
    RwInt32 typeID;
    RwUInt32 interpKeyFrameSize;
    RwUInt32 animKeyFrameSize;
    RtAnimKeyFrameApplyCallBack keyFrameApplyCB;
    RtAnimKeyFrameBlendCallBack keyFrameBlendCB;
    RtAnimKeyFrameInterpolateCallBack keyFrameInterpolateCB;
    RtAnimKeyFrameAddCallBack keyFrameAddCB;
    RtAnimKeyFrameMulRecipCallBack keyFrameMulRecipCB;
    RtAnimKeyFrameStreamReadCallBack keyFrameStreamReadCB;
    RtAnimKeyFrameStreamWriteCallBack keyFrameStreamWriteCB;
    RtAnimKeyFrameStreamGetSizeCallBack keyFrameStreamGetSizeCB;
    RwUInt32 customDataSize;
};
typedef RtAnimInterpolatorInfo RtAnimInterpolationScheme;

// One allocation: this header, numFrames keyframes, then the scheme's custom data.
struct RtAnimAnimation {
    RtAnimInterpolatorInfo* interpInfo;
    RwInt32 numFrames; // over all nodes
    RwInt32 flags;
    RwReal duration; // seconds
    void* pFrames;
    void* customData; // null when the scheme has none
};

// One allocation: this header, then numNodes entries of maxInterpKeyFrameSize bytes (the current scheme's
// entries are currentInterpKeyFrameSize apart).
struct RtAnimInterpolator {
    RtAnimAnimation* pCurrentAnim;
    RwReal currentTime;
    void* pNextFrame; // null: the next advance restarts from the first keyframes
    RtAnimCallBack pAnimCallBack;
    void* pAnimCallBackData;
    RwReal animCallBackTime; // -1: never
    RtAnimCallBack pAnimLoopCallBack;
    void* pAnimLoopCallBackData;
    RwUInt32 maxInterpKeyFrameSize;
    RwUInt32 currentInterpKeyFrameSize;
    RwInt32 currentAnimKeyFrameSize;
    RwInt32 numNodes;
    RwInt32 isSubInterpolator;
    RwInt32 offsetInParent;
    RtAnimInterpolator* parentAnimation;
    RtAnimKeyFrameApplyCallBack keyFrameApplyCB;
    RtAnimKeyFrameBlendCallBack keyFrameBlendCB;
    RtAnimKeyFrameInterpolateCallBack keyFrameInterpolateCB;
    RtAnimKeyFrameAddCallBack keyFrameAddCB;
};

inline void* rtANIMGETINTERPFRAME(RtAnimInterpolator* interpolator, RwInt32 node) {
    return reinterpret_cast<RwUInt8*>(interpolator + 1) +
           size_t(node) * size_t(interpolator->currentInterpKeyFrameSize);
}
inline void* rtANIMGETKEYFRAME(const RtAnimAnimation* animation, RwInt32 frame) {
    return static_cast<RwUInt8*>(animation->pFrames) +
           size_t(frame) * size_t(animation->interpInfo->animKeyFrameSize);
}

RwBool RtAnimToolkitAttach();
RwBool RtAnimSchemeRegister(const RtAnimInterpolatorInfo* scheme);
// The registered scheme of the type, or null.
RtAnimInterpolatorInfo* RtAnimGetInterpolatorInfo(RwInt32 typeID);

// A new animation from the first animation chunk of the file, or null.
RtAnimAnimation* RtAnimAnimationRead(const RwChar* fileName);
// The same from a stream standing at an animation chunk's payload.
RtAnimAnimation* RtAnimAnimationStreamRead(RwStream* stream);
// The animation chunk, header included; its payload's size.
RwBool RtAnimAnimationStreamWrite(const RtAnimAnimation* animation, RwStream* stream);
RwUInt32 RtAnimAnimationStreamGetSize(const RtAnimAnimation* animation);
// A new animation of numFrames zeroed keyframes of the registered scheme, or null.
RtAnimAnimation* RtAnimAnimationCreate(RwInt32 typeID, RwInt32 numFrames, RwInt32 flags, RwReal duration);
RwBool RtAnimAnimationDestroy(RtAnimAnimation* animation);

RtAnimInterpolator* RtAnimInterpolatorCreate(RwInt32 numNodes, RwInt32 maxInterpKeyFrameSize);
RtAnimInterpolator* RtAnimInterpolatorCreateSub(RtAnimInterpolator* parent, RwInt32 startNode,
                                                RwInt32 numNodes, RwInt32 maxInterpKeyFrameSize);
void RtAnimInterpolatorDestroy(RtAnimInterpolator* interpolator);
// False (and nothing changed) when the animation does not fit the interpolator: fewer than two keyframes
// per node, the first two keyframes of a node not linked, or keyframes larger than the interpolator's.
RwBool RtAnimInterpolatorSetCurrentAnimation(RtAnimInterpolator* interpolator, RtAnimAnimation* animation);
RwBool RtAnimInterpolatorAddTime(RtAnimInterpolator* interpolator, RwReal delta);
RwBool RtAnimInterpolatorSubtractTime(RtAnimInterpolator* interpolator, RwReal delta);
RwBool RtAnimInterpolatorSetCurrentTime(RtAnimInterpolator* interpolator, RwReal time);
void RtAnimInterpolatorSetAnimCallBack(RtAnimInterpolator* interpolator, RtAnimCallBack callBack, RwReal time,
                                       void* data);
void RtAnimInterpolatorSetAnimLoopCallBack(RtAnimInterpolator* interpolator, RtAnimCallBack callBack,
                                           void* data);
