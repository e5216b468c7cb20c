// A started engine with the animation toolkit and the hierarchical animation plugin, and animations
// built in memory.
#pragma once

#include "../EngineFixture.h"

#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/tool/anim/rtanim.h"

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

using Bytes = std::vector<RwUInt8>;

class AnimTest : public EngineTest {
protected:
    void RegisterPlugins() override {
        ASSERT_TRUE(RpHAnimPluginAttach());
        ASSERT_TRUE(RtAnimToolkitAttach());
    }
};

struct AnimationDeleter {
    void operator()(RtAnimAnimation* a) const {
        if (a)
            RtAnimAnimationDestroy(a);
    }
};
using AnimationPtr = std::unique_ptr<RtAnimAnimation, AnimationDeleter>;

struct InterpolatorDeleter {
    void operator()(RtAnimInterpolator* i) const { RtAnimInterpolatorDestroy(i); }
};
using InterpolatorPtr = std::unique_ptr<RtAnimInterpolator, InterpolatorDeleter>;

// One node's keyframe: time, rotation (angle in degrees about an axis) and translation.
struct Key {
    RwReal time;
    glm::quat q;
    glm::vec3 t;
};

inline Key KeyAt(RwReal time, float degrees = 0.0f, glm::vec3 axis = {0, 0, 1}, glm::vec3 t = {0, 0, 0}) {
    return {time, glm::angleAxis(glm::radians(degrees), glm::normalize(axis)), t};
}

// A standard animation over the nodes' keyframe lists, in playback order: every node's first keyframe,
// then every node's second, then the rest by the time of the keyframe they follow.
inline AnimationPtr MakeAnimation(const std::vector<std::vector<Key>>& nodes, RwReal duration) {
    struct Pending {
        size_t node, index;
    };
    std::vector<Pending> order;
    const size_t n = nodes.size();
    for (size_t k = 0; k < 2; ++k)
        for (size_t i = 0; i < n; ++i)
            order.push_back({i, k});
    std::vector<Pending> rest;
    for (size_t i = 0; i < n; ++i)
        for (size_t k = 2; k < nodes[i].size(); ++k)
            rest.push_back({i, k});
    std::stable_sort(rest.begin(), rest.end(), [&](const Pending& a, const Pending& b) {
        return nodes[a.node][a.index - 1].time < nodes[b.node][b.index - 1].time;
    });
    order.insert(order.end(), rest.begin(), rest.end());
    AnimationPtr animation(
        RtAnimAnimationCreate(rpHANIMSTDKEYFRAMETYPEID, RwInt32(order.size()), 0, duration));
    auto* frames = static_cast<RpHAnimStdKeyFrame*>(animation->pFrames);
    std::vector<std::vector<RpHAnimStdKeyFrame*>> placed(n);
    for (size_t k = 0; k < order.size(); ++k) {
        const Key& key = nodes[order[k].node][order[k].index];
        frames[k].time = key.time;
        frames[k].q = {{key.q.x, key.q.y, key.q.z}, key.q.w};
        frames[k].t = {key.t.x, key.t.y, key.t.z};
        frames[k].prevFrame = order[k].index > 0 ? placed[order[k].node].back() : nullptr;
        placed[order[k].node].push_back(&frames[k]);
    }
    return animation;
}

inline Bytes WriteAnimation(const RtAnimAnimation* animation) {
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    EXPECT_TRUE(RtAnimAnimationStreamWrite(animation, stream));
    RwMemory memory = {nullptr, 0};
    RwStreamClose(stream, &memory);
    Bytes bytes(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    return bytes;
}

inline AnimationPtr ReadAnimation(Bytes bytes) {
    RwMemory memory = {bytes.data(), RwUInt32(bytes.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    RtAnimAnimation* animation = RwStreamFindChunk(stream, rwID_ANIMANIMATION, nullptr, nullptr)
                                     ? RtAnimAnimationStreamRead(stream)
                                     : nullptr;
    RwStreamClose(stream, nullptr);
    return AnimationPtr(animation);
}

inline const RpHAnimInterpFrame* NodeOf(RtAnimInterpolator* interpolator, RwInt32 node) {
    return static_cast<const RpHAnimInterpFrame*>(rtANIMGETINTERPFRAME(interpolator, node));
}

// Engine matrices are row-vector (v' = v M, rows right, up, at, pos); as a GLM column matrix the rows
// become the columns.
inline glm::mat4 ToGlm(const RwMatrix& m) {
    return glm::mat4(glm::vec4(m.right.x, m.right.y, m.right.z, 0), glm::vec4(m.up.x, m.up.y, m.up.z, 0),
                     glm::vec4(m.at.x, m.at.y, m.at.z, 0), glm::vec4(m.pos.x, m.pos.y, m.pos.z, 1));
}

inline void ExpectMatrixNear(const RwMatrix& actual, const glm::mat4& expected, float tolerance = 1e-5f) {
    const glm::mat4 a = ToGlm(actual);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(a[c][r], expected[c][r], tolerance) << "column " << c << " row " << r;
}
