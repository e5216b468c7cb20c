// Arbitrary bytes read as *.anm animation chunks; every animation read is played forwards and backwards
// by interpolators of one node and of as many nodes as it can hold.
#include "fuzz/support/EngineFuzz.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/tool/anim/rtanim.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

bool Start() {
    return EngineFuzz::Start(RpHAnimPluginAttach, RtAnimToolkitAttach);
}

void Play(RtAnimAnimation* animation, RwInt32 nodes) {
    RtAnimInterpolator* interpolator = RtAnimInterpolatorCreate(nodes, sizeof(RpHAnimInterpFrame));
    if (!interpolator)
        return;
    if (RtAnimInterpolatorSetCurrentAnimation(interpolator, animation)) {
        const RwReal d = animation->duration;
        for (RwReal step : {d * 0.3f, d * 0.5f, d * 2.7f, 1e30f})
            RtAnimInterpolatorAddTime(interpolator, step);
        for (RwReal time : {d * 0.1f, d * 0.9f, 0.0f})
            RtAnimInterpolatorSetCurrentTime(interpolator, time);
        RtAnimInterpolatorSubtractTime(interpolator, d * 3.3f);
        RwMatrix m;
        for (RwInt32 n = 0; n < nodes; ++n)
            interpolator->keyFrameApplyCB(&m, rtANIMGETINTERPFRAME(interpolator, n));
    }
    RtAnimInterpolatorDestroy(interpolator);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    if (!started)
        return 0;
    EngineFuzz::ForEachChunk(data, size, rwID_ANIMANIMATION, 4, [](RwStream* stream) {
        RtAnimAnimation* animation = RtAnimAnimationStreamRead(stream);
        if (!animation)
            return;
        Play(animation, 1);
        Play(animation, std::min<RwInt32>(animation->numFrames / 2, 64));
        RtAnimAnimationDestroy(animation);
    });
    return 0;
}
