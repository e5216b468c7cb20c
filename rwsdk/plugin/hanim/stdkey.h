// The standard keyframe scheme (type 1): a rotation quaternion and a translation per keyframe.
#pragma once

#include "rwsdk/src/plcore/vector.h"
#include "rwsdk/tool/anim/rtanim.h"

struct RtQuat {
    RwV3d imag;  // x, y, z
    RwReal real; // w
};

constexpr RwInt32 rpHANIMSTDKEYFRAMETYPEID = 1;
// A keyframe's size in files, and the keyframe size the game's files give their hierarchies.
constexpr RwInt32 rpHANIMSTDKEYFRAMESTREAMSIZE = 36;

struct RpHAnimStdKeyFrame {
    RpHAnimStdKeyFrame* prevFrame;
    RwReal time;
    RtQuat q;
    RwV3d t;
};

struct RpHAnimInterpFrame {
    RpHAnimStdKeyFrame* keyFrame1;
    RpHAnimStdKeyFrame* keyFrame2;
    RtQuat q;
    RwV3d t;
};

void RpHAnimKeyFrameApply(void* matrix, void* voidIFrame);
void RpHAnimKeyFrameBlend(void* voidOut, void* voidIn1, void* voidIn2, RwReal alpha);
void RpHAnimKeyFrameInterpolate(void* voidOut, void* voidIn1, void* voidIn2, RwReal time, void* customData);
void RpHAnimKeyFrameAdd(void* voidOut, void* voidIn1, void* voidIn2);
void RpHAnimKeyFrameMulRecip(void* voidFrame, void* voidStart);
// Keyframes in their stream form: 8 reals, then the previous keyframe as a byte offset (stream sizes) from
// the first keyframe, -1 for none. A read fails on a short stream or an offset that does not name an
// earlier keyframe (allowed only on keyframes at time 0, which then have none).
RtAnimAnimation* RpHAnimKeyFrameStreamRead(RwStream* stream, RtAnimAnimation* animation);
RwBool RpHAnimKeyFrameStreamWrite(const RtAnimAnimation* animation, RwStream* stream);
RwInt32 RpHAnimKeyFrameStreamGetSize(const RtAnimAnimation* animation);

// The scheme record that the plugin registers.
RtAnimInterpolatorInfo RpHAnimStdKeyFrameScheme();
