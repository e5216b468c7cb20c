// The animation toolkit: schemes, *.anm files and playback.
#include "AnimFixture.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

RwError TakeFullError() {
    RwError error;
    RwErrorGet(&error);
    return error;
}

// One node moving along x: 0 at 0 s, 10 at 1 s, 30 at 2 s; duration 2 s.
AnimationPtr LineAnimation() {
    return MakeAnimation({{KeyAt(0, 0, {0, 0, 1}, {0, 0, 0}), KeyAt(1, 0, {0, 0, 1}, {10, 0, 0}),
                           KeyAt(2, 0, {0, 0, 1}, {30, 0, 0})}},
                         2.0f);
}

struct Counter {
    int calls = 0;
    bool keep = true;
};

RtAnimInterpolator* Count(RtAnimInterpolator* interpolator, void* data) {
    auto* counter = static_cast<Counter*>(data);
    ++counter->calls;
    return counter->keep ? interpolator : nullptr;
}

TEST_F(AnimTest, SchemeTableHoldsSixteenAndRefusesDuplicates) {
    // The standard scheme is the first.
    ASSERT_NE(RtAnimGetInterpolatorInfo(rpHANIMSTDKEYFRAMETYPEID), nullptr);
    RtAnimInterpolatorInfo scheme = RpHAnimStdKeyFrameScheme();
    EXPECT_FALSE(RtAnimSchemeRegister(&scheme));
    RwError error = TakeFullError();
    EXPECT_EQ(error.pluginID, RwInt32(rwID_RTANIM));
    EXPECT_EQ(error.errorCode, rtANIMERRORSCHEMEEXISTS);
    EXPECT_EQ(RtAnimGetInterpolatorInfo(rpHANIMSTDKEYFRAMETYPEID)->keyFrameApplyCB, RpHAnimKeyFrameApply);
    for (RwInt32 id = 2; id <= 16; ++id) {
        scheme.typeID = id;
        EXPECT_TRUE(RtAnimSchemeRegister(&scheme)) << id;
    }
    scheme.typeID = 17;
    EXPECT_FALSE(RtAnimSchemeRegister(&scheme));
    error = TakeFullError();
    EXPECT_EQ(error.pluginID, RwInt32(rwID_RTANIM));
    EXPECT_EQ(error.errorCode, rtANIMERRORTOOMANYSCHEMES);
    EXPECT_EQ(RtAnimGetInterpolatorInfo(17), nullptr);
}

struct PlaybackCase {
    const char* name;
    std::vector<RwReal> steps; // positive: advance; negative: set the time to -step
    RwReal time;               // afterwards
    RwReal x;                  // the node's translation
    int loops;                 // loop callbacks
};

class PlaybackTest : public AnimTest, public ::testing::WithParamInterface<PlaybackCase> {};

TEST_P(PlaybackTest, Plays) {
    const PlaybackCase& c = GetParam();
    AnimationPtr animation = LineAnimation();
    InterpolatorPtr interpolator(RtAnimInterpolatorCreate(1, sizeof(RpHAnimInterpFrame)));
    ASSERT_TRUE(RtAnimInterpolatorSetCurrentAnimation(interpolator.get(), animation.get()));
    Counter loops;
    RtAnimInterpolatorSetAnimLoopCallBack(interpolator.get(), Count, &loops);
    for (RwReal step : c.steps) {
        if (step >= 0)
            RtAnimInterpolatorAddTime(interpolator.get(), step);
        else
            RtAnimInterpolatorSetCurrentTime(interpolator.get(), -step);
    }
    EXPECT_FLOAT_EQ(interpolator->currentTime, c.time);
    EXPECT_NEAR(NodeOf(interpolator.get(), 0)->t.x, c.x, 1e-4f);
    EXPECT_EQ(loops.calls, c.loops);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaybackTest,
    ::testing::Values(PlaybackCase{"Start", {}, 0.0f, 0.0f, 0}, PlaybackCase{"Half", {0.5f}, 0.5f, 5.0f, 0},
                      PlaybackCase{"InSteps", {0.5f, 0.5f, 0.5f}, 1.5f, 20.0f, 0},
                      PlaybackCase{"ExactlyTheDurationDoesNotWrap", {2.0f}, 2.0f, 30.0f, 0},
                      PlaybackCase{"PastTheDurationWraps", {2.5f}, 0.5f, 5.0f, 1},
                      PlaybackCase{"ManyDurationsOneLoopPerCall", {7.5f}, 1.5f, 20.0f, 1},
                      PlaybackCase{"TwoCallsTwoLoops", {2.5f, 2.0f}, 0.5f, 5.0f, 2},
                      PlaybackCase{"RewindWithin", {1.5f, -0.5f}, 0.5f, 5.0f, 0},
                      PlaybackCase{"RewindThenAdvance", {1.5f, -0.5f, 0.25f}, 0.75f, 7.5f, 0},
                      PlaybackCase{"ZeroAndNegativeStepsDoNothing", {0.5f, 0.0f}, 0.5f, 5.0f, 0}),
    [](const ::testing::TestParamInfo<PlaybackCase>& info) { return std::string(info.param.name); });

TEST_F(AnimTest, RewindWalksKeyFramesBackAndTheNextAdvanceRestarts) {
    AnimationPtr animation = LineAnimation();
    InterpolatorPtr interpolator(RtAnimInterpolatorCreate(1, sizeof(RpHAnimInterpFrame)));
    ASSERT_TRUE(RtAnimInterpolatorSetCurrentAnimation(interpolator.get(), animation.get()));
    auto* frames = static_cast<RpHAnimStdKeyFrame*>(animation->pFrames);
    RtAnimInterpolatorAddTime(interpolator.get(), 1.5f);
    EXPECT_EQ(NodeOf(interpolator.get(), 0)->keyFrame1, &frames[1]);
    EXPECT_EQ(NodeOf(interpolator.get(), 0)->keyFrame2, &frames[2]);
    RtAnimInterpolatorSetCurrentTime(interpolator.get(), 0.5f);
    EXPECT_EQ(NodeOf(interpolator.get(), 0)->keyFrame1, &frames[0]);
    EXPECT_EQ(NodeOf(interpolator.get(), 0)->keyFrame2, &frames[1]);
    EXPECT_EQ(interpolator->pNextFrame, nullptr);
    RtAnimInterpolatorAddTime(interpolator.get(), 1.0f);
    EXPECT_FLOAT_EQ(interpolator->currentTime, 1.5f);
    EXPECT_NEAR(NodeOf(interpolator.get(), 0)->t.x, 20.0f, 1e-4f);

    // Below zero: wrapped to 2 - 0.5 and played forward from the start, a loop.
    Counter loops;
    RtAnimInterpolatorSetAnimLoopCallBack(interpolator.get(), Count, &loops);
    RtAnimInterpolatorSubtractTime(interpolator.get(), 2.0f);
    EXPECT_FLOAT_EQ(interpolator->currentTime, 1.5f);
    EXPECT_EQ(loops.calls, 1);
}

TEST_F(AnimTest, AnimationCallBackFiresWhenCrossedAndGoesWhenItReturnsNull) {
    AnimationPtr animation = LineAnimation();
    InterpolatorPtr interpolator(RtAnimInterpolatorCreate(1, sizeof(RpHAnimInterpFrame)));
    ASSERT_TRUE(RtAnimInterpolatorSetCurrentAnimation(interpolator.get(), animation.get()));
    EXPECT_EQ(interpolator->animCallBackTime, -1.0f);
    Counter kept, dropped;
    RtAnimInterpolatorSetAnimCallBack(interpolator.get(), Count, 1.0f, &kept);
    RtAnimInterpolatorAddTime(interpolator.get(), 0.5f);
    EXPECT_EQ(kept.calls, 0);
    RtAnimInterpolatorAddTime(interpolator.get(), 0.5f);
    EXPECT_EQ(kept.calls, 1);
    RtAnimInterpolatorAddTime(interpolator.get(), 2.0f); // wraps to 1.0: reached again
    EXPECT_EQ(kept.calls, 2);

    dropped.keep = false;
    RtAnimInterpolatorSetAnimCallBack(interpolator.get(), Count, 1.5f, &dropped);
    RtAnimInterpolatorAddTime(interpolator.get(), 0.75f);
    EXPECT_EQ(dropped.calls, 1);
    EXPECT_EQ(interpolator->pAnimCallBack, nullptr);
    RtAnimInterpolatorAddTime(interpolator.get(), 2.0f);
    EXPECT_EQ(dropped.calls, 1);
}

TEST_F(AnimTest, CallBackAtMinusOneNeverFires) {
    AnimationPtr animation = LineAnimation();
    InterpolatorPtr interpolator(RtAnimInterpolatorCreate(1, sizeof(RpHAnimInterpFrame)));
    ASSERT_TRUE(RtAnimInterpolatorSetCurrentAnimation(interpolator.get(), animation.get()));
    Counter counter;
    RtAnimInterpolatorSetAnimCallBack(interpolator.get(), Count, -1.0f, &counter);
    for (RwReal step : {0.5f, 1.7f, 3.1f})
        RtAnimInterpolatorAddTime(interpolator.get(), step);
    RtAnimInterpolatorSetCurrentTime(interpolator.get(), 0.1f);
    EXPECT_EQ(counter.calls, 0);
}

TEST_F(AnimTest, ManyNodesTakeInKeyFramesInPlaybackOrder) {
    // Three nodes with keyframes at different times; each node's translation x equals the time.
    std::vector<std::vector<Key>> nodes;
    const std::vector<std::vector<RwReal>> times = {
        {0, 1, 3, 4}, {0, 2, 4}, {0, 0.5f, 1, 1.5f, 2, 2.5f, 3, 4}};
    for (const auto& list : times) {
        std::vector<Key> keys;
        for (RwReal t : list)
            keys.push_back(KeyAt(t, 0, {0, 0, 1}, {t, 0, 0}));
        nodes.push_back(keys);
    }
    AnimationPtr animation = MakeAnimation(nodes, 4.0f);
    InterpolatorPtr interpolator(RtAnimInterpolatorCreate(3, sizeof(RpHAnimInterpFrame)));
    ASSERT_TRUE(RtAnimInterpolatorSetCurrentAnimation(interpolator.get(), animation.get()));
    for (RwReal t = 0.25f; t < 4.0f; t += 0.25f) {
        RtAnimInterpolatorAddTime(interpolator.get(), 0.25f);
        for (RwInt32 n = 0; n < 3; ++n)
            EXPECT_NEAR(NodeOf(interpolator.get(), n)->t.x, t, 1e-4f) << "node " << n << " at " << t;
    }
    for (RwReal t : {3.0f, 1.25f, 0.5f, 3.5f}) {
        RtAnimInterpolatorSetCurrentTime(interpolator.get(), t);
        for (RwInt32 n = 0; n < 3; ++n)
            EXPECT_NEAR(NodeOf(interpolator.get(), n)->t.x, t, 1e-4f) << "node " << n << " set to " << t;
    }
}

TEST_F(AnimTest, FilesRoundTripAndBadOnesAreRefused) {
    std::vector<std::vector<Key>> nodes = {
        {KeyAt(0, 10, {1, 0, 0}, {1, 2, 3}), KeyAt(0.5f, 50, {1, 0, 0}), KeyAt(1, 90, {0, 1, 0})},
        {KeyAt(0), KeyAt(1, 45, {0, 0, 1}, {0, 4, 0})}};
    AnimationPtr animation = MakeAnimation(nodes, 1.0f);
    const Bytes bytes = WriteAnimation(animation.get());
    ASSERT_EQ(bytes.size(), 12u + 20u + 36u * 5u);

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("corvane_anim_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "wave.anm").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    AnimationPtr read(RtAnimAnimationRead(path.c_str()));
    std::filesystem::remove_all(dir);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->numFrames, 5);
    EXPECT_EQ(read->duration, 1.0f);
    EXPECT_EQ(read->customData, nullptr);
    const auto* a = static_cast<const RpHAnimStdKeyFrame*>(animation->pFrames);
    const auto* b = static_cast<const RpHAnimStdKeyFrame*>(read->pFrames);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(b[k].time, a[k].time);
        EXPECT_EQ(std::memcmp(&b[k].q, &a[k].q, sizeof(RtQuat)), 0);
        EXPECT_EQ(std::memcmp(&b[k].t, &a[k].t, sizeof(RwV3d)), 0);
        EXPECT_EQ(b[k].prevFrame ? b[k].prevFrame - b : -1, a[k].prevFrame ? a[k].prevFrame - a : -1) << k;
    }
    EXPECT_EQ(WriteAnimation(read.get()), bytes);

    auto patched = [&](size_t at, RwUInt32 value) {
        Bytes copy = bytes;
        std::memcpy(&copy[at], &value, 4);
        return copy;
    };
    TakeFullError();
    // Another version: null, and no error.
    EXPECT_EQ(ReadAnimation(patched(12, 0x101)), nullptr);
    EXPECT_EQ(TakeFullError().errorCode, RwInt32(E_RW_NOERROR));
    // An unknown scheme: error 2 of the toolkit.
    EXPECT_EQ(ReadAnimation(patched(16, 7)), nullptr);
    RwError error = TakeFullError();
    EXPECT_EQ(error.pluginID, RwInt32(rwID_RTANIM));
    EXPECT_EQ(error.errorCode, rtANIMERRORUNKNOWNSCHEME);
    // Truncated keyframes, a keyframe after time 0 that follows itself or a later one, a duration of 0,
    // and more keyframes than bytes: refused, nothing left allocated.
    Bytes truncated(bytes.begin(), bytes.end() - 10);
    EXPECT_EQ(ReadAnimation(truncated), nullptr);
    const size_t keyframe4 = 32 + 36 * 4;
    EXPECT_EQ(ReadAnimation(patched(keyframe4 + 32, 36 * 4)), nullptr);
    EXPECT_EQ(ReadAnimation(patched(keyframe4 + 32, 36 * 9)), nullptr);
    EXPECT_EQ(ReadAnimation(patched(keyframe4 + 32, RwUInt32(-72))), nullptr);
    EXPECT_EQ(ReadAnimation(patched(28, 0)), nullptr);
    EXPECT_EQ(ReadAnimation(patched(20, 0x7FFFFFFF)), nullptr);
    EXPECT_EQ(ReadAnimation(patched(20, RwUInt32(-1))), nullptr);
}

TEST_F(AnimTest, AnimationsThatCannotBePlayedAreNotMadeCurrent) {
    AnimationPtr animation = LineAnimation();
    // Two nodes need four keyframes at least.
    InterpolatorPtr two(RtAnimInterpolatorCreate(2, sizeof(RpHAnimInterpFrame)));
    EXPECT_FALSE(RtAnimInterpolatorSetCurrentAnimation(two.get(), animation.get()));
    EXPECT_EQ(two->pCurrentAnim, nullptr);
    EXPECT_TRUE(RtAnimInterpolatorAddTime(two.get(), 1.0f)); // nothing to play
    // A node's second keyframe must follow its first.
    auto* frames = static_cast<RpHAnimStdKeyFrame*>(animation->pFrames);
    InterpolatorPtr one(RtAnimInterpolatorCreate(1, sizeof(RpHAnimInterpFrame)));
    frames[1].prevFrame = nullptr;
    EXPECT_FALSE(RtAnimInterpolatorSetCurrentAnimation(one.get(), animation.get()));
    frames[1].prevFrame = &frames[0];
    // Entries too small for the scheme's.
    InterpolatorPtr small(RtAnimInterpolatorCreate(1, sizeof(RtAnimInterpFrameHeader)));
    EXPECT_FALSE(RtAnimInterpolatorSetCurrentAnimation(small.get(), animation.get()));
}

TEST_F(AnimTest, AKeyFrameThatFollowsNoCurrentKeyFrameIsPassedOver) {
    AnimationPtr animation = LineAnimation();
    auto* frames = static_cast<RpHAnimStdKeyFrame*>(animation->pFrames);
    frames[2].prevFrame = &frames[0]; // keyframe 0 is no node's second keyframe once playing
    InterpolatorPtr interpolator(RtAnimInterpolatorCreate(1, sizeof(RpHAnimInterpFrame)));
    ASSERT_TRUE(RtAnimInterpolatorSetCurrentAnimation(interpolator.get(), animation.get()));
    RtAnimInterpolatorAddTime(interpolator.get(), 1.5f);
    EXPECT_EQ(NodeOf(interpolator.get(), 0)->keyFrame2, &frames[1]);
    EXPECT_EQ(interpolator->pNextFrame, &frames[3]);
}

TEST_F(AnimTest, TinyDurationsWrapWithoutHanging) {
    AnimationPtr animation = MakeAnimation({{KeyAt(0), KeyAt(1e-30f, 0, {0, 0, 1}, {1, 0, 0})}}, 1e-30f);
    InterpolatorPtr interpolator(RtAnimInterpolatorCreate(1, sizeof(RpHAnimInterpFrame)));
    ASSERT_TRUE(RtAnimInterpolatorSetCurrentAnimation(interpolator.get(), animation.get()));
    RtAnimInterpolatorAddTime(interpolator.get(), 1e30f);
    EXPECT_GT(interpolator->currentTime, 0.0f);
    EXPECT_LE(interpolator->currentTime, 1e-30f);
    RtAnimInterpolatorSubtractTime(interpolator.get(), 3e30f);
    EXPECT_GE(interpolator->currentTime, 0.0f);
    EXPECT_LE(interpolator->currentTime, 1e-30f);
}

TEST_F(AnimTest, SubInterpolatorsRecordTheirParent) {
    InterpolatorPtr parent(RtAnimInterpolatorCreate(5, 64));
    InterpolatorPtr sub(RtAnimInterpolatorCreateSub(parent.get(), 2, 3, -1));
    EXPECT_EQ(sub->maxInterpKeyFrameSize, 64u);
    EXPECT_EQ(sub->numNodes, 3);
    EXPECT_EQ(sub->isSubInterpolator, 1);
    EXPECT_EQ(sub->offsetInParent, 2);
    EXPECT_EQ(sub->parentAnimation, parent.get());
    EXPECT_EQ(parent->parentAnimation, parent.get());
    EXPECT_EQ(parent->currentAnimKeyFrameSize, -1);
}

} // namespace
