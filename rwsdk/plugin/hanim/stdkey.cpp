// Standard keyframes: spherical interpolation of rotations, linear interpolation of translations.
#include "rwsdk/plugin/hanim/stdkey.h"

#include "rwsdk/src/plcore/stream.h"

#include <cmath>
#include <cstring>

namespace {

constexpr RwReal slerpLinearAbove = 0.999f;

RtQuat Scaled(const RtQuat& q, RwReal s) {
    return {{q.imag.x * s, q.imag.y * s, q.imag.z * s}, q.real * s};
}

RtQuat Sum(const RtQuat& a, const RtQuat& b) {
    return {{a.imag.x + b.imag.x, a.imag.y + b.imag.y, a.imag.z + b.imag.z}, a.real + b.real};
}

RwReal Dot(const RtQuat& a, const RtQuat& b) {
    return a.imag.x * b.imag.x + a.imag.y * b.imag.y + a.imag.z * b.imag.z + a.real * b.real;
}

// Hamilton product.
RtQuat Multiply(const RtQuat& a, const RtQuat& b) {
    const RwV3d& u = a.imag;
    const RwV3d& v = b.imag;
    return {{u.y * v.z - u.z * v.y + a.real * v.x + b.real * u.x,
             u.z * v.x - u.x * v.z + a.real * v.y + b.real * u.y,
             u.x * v.y - u.y * v.x + a.real * v.z + b.real * u.z},
            a.real * b.real - (u.x * v.x + u.y * v.y + u.z * v.z)};
}

// Blends q1 towards q2 by f along the shorter arc; q2 is negated in place when the arcs say so.
RtQuat Slerp(const RtQuat& q1, RtQuat* q2, RwReal f) {
    RwReal c = Dot(q1, *q2);
    if (c < 0.0f) {
        *q2 = Scaled(*q2, -1.0f);
        c = -c;
    }
    RwReal a = 1.0f - f, b = f;
    if (c < slerpLinearAbove) {
        const RwReal theta = std::acos(c);
        const RwReal s = 1.0f / std::sin(theta);
        a = std::sin((1.0f - f) * theta) * s;
        b = std::sin(f * theta) * s;
    }
    return Sum(Scaled(q1, a), Scaled(*q2, b));
}

RwV3d Lerp(const RwV3d& a, const RwV3d& b, RwReal f) {
    return {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z)};
}

RpHAnimStdKeyFrame* Frames(const RtAnimAnimation* animation) {
    return static_cast<RpHAnimStdKeyFrame*>(animation->pFrames);
}

} // namespace

void RpHAnimKeyFrameApply(void* matrix, void* voidIFrame) {
    auto* m = static_cast<RwMatrix*>(matrix);
    const auto* frame = static_cast<const RpHAnimInterpFrame*>(voidIFrame);
    const RwReal x = frame->q.imag.x, y = frame->q.imag.y, z = frame->q.imag.z, w = frame->q.real;
    m->right = {1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + w * z), 2.0f * (x * z - w * y)};
    m->up = {2.0f * (x * y - w * z), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + w * x)};
    m->at = {2.0f * (x * z + w * y), 2.0f * (y * z - w * x), 1.0f - 2.0f * (x * x + y * y)};
    m->pos = frame->t;
    m->flags = rwMATRIXTYPEORTHONORMAL;
}

void RpHAnimKeyFrameInterpolate(void* voidOut, void* voidIn1, void* voidIn2, RwReal time, void*) {
    auto* out = static_cast<RpHAnimInterpFrame*>(voidOut);
    const auto* k1 = static_cast<const RpHAnimStdKeyFrame*>(voidIn1);
    auto* k2 = static_cast<RpHAnimStdKeyFrame*>(voidIn2);
    // Two keyframes at the same time hold the first one's pose, not a division by zero.
    const RwReal interval = k2->time - k1->time;
    const RwReal f = interval != 0.0f ? (time - k1->time) / interval : 0.0f;
    out->t = Lerp(k1->t, k2->t, f);
    out->q = Slerp(k1->q, &k2->q, f);
}

void RpHAnimKeyFrameBlend(void* voidOut, void* voidIn1, void* voidIn2, RwReal alpha) {
    auto* out = static_cast<RpHAnimInterpFrame*>(voidOut);
    const auto* in1 = static_cast<const RpHAnimInterpFrame*>(voidIn1);
    auto* in2 = static_cast<RpHAnimInterpFrame*>(voidIn2);
    out->t = Lerp(in1->t, in2->t, alpha);
    out->q = Slerp(in1->q, &in2->q, alpha);
}

void RpHAnimKeyFrameAdd(void* voidOut, void* voidIn1, void* voidIn2) {
    auto* out = static_cast<RpHAnimInterpFrame*>(voidOut);
    const auto* in1 = static_cast<const RpHAnimInterpFrame*>(voidIn1);
    const auto* in2 = static_cast<const RpHAnimInterpFrame*>(voidIn2);
    out->q = Multiply(in1->q, in2->q);
    out->t = {in1->t.x + in2->t.x, in1->t.y + in2->t.y, in1->t.z + in2->t.z};
}

void RpHAnimKeyFrameMulRecip(void* voidFrame, void* voidStart) {
    auto* frame = static_cast<RpHAnimStdKeyFrame*>(voidFrame);
    const auto* start = static_cast<const RpHAnimStdKeyFrame*>(voidStart);
    const RwReal lengthSquared = Dot(start->q, start->q);
    // A zero-length start has no inverse; it is taken as the identity.
    const RtQuat inverse =
        lengthSquared > 0.0f ? Scaled({{-start->q.imag.x, -start->q.imag.y, -start->q.imag.z}, start->q.real},
                                      1.0f / lengthSquared)
                             : RtQuat{{0.0f, 0.0f, 0.0f}, 1.0f};
    frame->q = Multiply(inverse, frame->q);
    frame->t = {frame->t.x - start->t.x, frame->t.y - start->t.y, frame->t.z - start->t.z};
}

RtAnimAnimation* RpHAnimKeyFrameStreamRead(RwStream* stream, RtAnimAnimation* animation) {
    RpHAnimStdKeyFrame* frames = Frames(animation);
    for (RwInt32 k = 0; k < animation->numFrames; ++k) {
        RwReal reals[8];
        RwInt32 offset;
        if (!RwStreamReadReal(stream, reals, sizeof(reals)) || !RwStreamReadInt32(stream, &offset, 4))
            return nullptr;
        RpHAnimStdKeyFrame& frame = frames[k];
        frame.time = reals[0];
        frame.q = {{reals[1], reals[2], reals[3]}, reals[4]};
        frame.t = {reals[5], reals[6], reals[7]};
        const RwInt32 previous = offset / rpHANIMSTDKEYFRAMESTREAMSIZE;
        if (offset >= 0 && previous < k)
            frame.prevFrame = &frames[previous];
        else if (frame.time == 0.0f)
            frame.prevFrame = nullptr; // a node's first keyframe follows none
        else
            return nullptr;
    }
    return animation;
}

RwBool RpHAnimKeyFrameStreamWrite(const RtAnimAnimation* animation, RwStream* stream) {
    const RpHAnimStdKeyFrame* frames = Frames(animation);
    for (RwInt32 k = 0; k < animation->numFrames; ++k) {
        const RpHAnimStdKeyFrame& frame = frames[k];
        const RwReal reals[8] = {frame.time,   frame.q.imag.x, frame.q.imag.y, frame.q.imag.z,
                                 frame.q.real, frame.t.x,      frame.t.y,      frame.t.z};
        const RwInt32 offset =
            frame.prevFrame ? RwInt32(frame.prevFrame - frames) * rpHANIMSTDKEYFRAMESTREAMSIZE : -1;
        if (!RwStreamWriteReal(stream, reals, sizeof(reals)) || !RwStreamWriteInt32(stream, &offset, 4))
            return FALSE;
    }
    return TRUE;
}

RwInt32 RpHAnimKeyFrameStreamGetSize(const RtAnimAnimation* animation) {
    return rpHANIMSTDKEYFRAMESTREAMSIZE * animation->numFrames;
}

RtAnimInterpolatorInfo RpHAnimStdKeyFrameScheme() {
    return {rpHANIMSTDKEYFRAMETYPEID,   sizeof(RpHAnimInterpFrame),   sizeof(RpHAnimStdKeyFrame),
            RpHAnimKeyFrameApply,       RpHAnimKeyFrameBlend,         RpHAnimKeyFrameInterpolate,
            RpHAnimKeyFrameAdd,         RpHAnimKeyFrameMulRecip,      RpHAnimKeyFrameStreamRead,
            RpHAnimKeyFrameStreamWrite, RpHAnimKeyFrameStreamGetSize, 0};
}
