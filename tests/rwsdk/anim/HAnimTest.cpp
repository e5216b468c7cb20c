// Standard keyframes and hierarchies against GLM.
#include "AnimFixture.h"

#include "rwsdk/src/plcore/chunk.h"

#include <random>

namespace {

RtQuat ToRt(const glm::quat& q) {
    return {{q.x, q.y, q.z}, q.w};
}

void ExpectQuatNear(const RtQuat& a, const glm::quat& b, float tolerance = 1e-5f) {
    EXPECT_NEAR(a.imag.x, b.x, tolerance);
    EXPECT_NEAR(a.imag.y, b.y, tolerance);
    EXPECT_NEAR(a.imag.z, b.z, tolerance);
    EXPECT_NEAR(a.real, b.w, tolerance);
}

glm::quat RandomRotation(std::mt19937& random) {
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    return glm::normalize(glm::quat(d(random), d(random), d(random), d(random)));
}

TEST_F(AnimTest, StandardKeyFramesFollowGlm) {
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        glm::quat q1 = RandomRotation(random), q2 = RandomRotation(random);
        if (std::abs(glm::dot(q1, q2)) > 0.99f)
            continue; // the linear range is tested below
        RpHAnimStdKeyFrame k1 = {nullptr, 1.0f, ToRt(q1), {1, 2, 3}};
        RpHAnimStdKeyFrame k2 = {&k1, 3.0f, ToRt(q2), {5, -2, 7}};
        const float f = float(i % 11) / 10.0f;
        RpHAnimInterpFrame out;
        RpHAnimKeyFrameInterpolate(&out, &k1, &k2, 1.0f + 2.0f * f, nullptr);
        ExpectQuatNear(out.q, glm::slerp(q1, q2, f), 1e-4f);
        EXPECT_NEAR(out.t.x, 1 + 4 * f, 1e-5f);
        EXPECT_NEAR(out.t.y, 2 - 4 * f, 1e-5f);
        // A negative dot product flips the stored second rotation.
        if (glm::dot(q1, q2) < 0.0f)
            ExpectQuatNear(k2.q, -q2, 0.0f);
        else
            ExpectQuatNear(k2.q, q2, 0.0f);

        RwMatrix m;
        RpHAnimKeyFrameApply(&m, &out);
        const glm::quat q(out.q.real, out.q.imag.x, out.q.imag.y, out.q.imag.z);
        ExpectMatrixNear(
            m, glm::translate(glm::mat4(1), glm::vec3(out.t.x, out.t.y, out.t.z)) * glm::mat4_cast(q), 1e-4f);
        EXPECT_EQ(m.flags, RwUInt32(rwMATRIXTYPEORTHONORMAL));

        RpHAnimInterpFrame a = {nullptr, nullptr, ToRt(q1), {1, 2, 3}},
                           b = {nullptr, nullptr, ToRt(q2), {4, 4, 4}};
        RpHAnimInterpFrame sum;
        RpHAnimKeyFrameAdd(&sum, &a, &b);
        ExpectQuatNear(sum.q, q1 * q2);
        EXPECT_FLOAT_EQ(sum.t.z, 7.0f);

        RpHAnimStdKeyFrame relative = {nullptr, 0, ToRt(q2), {4, 4, 4}};
        RpHAnimKeyFrameMulRecip(&relative, &k1);
        ExpectQuatNear(relative.q, glm::inverse(q1) * q2);
        EXPECT_FLOAT_EQ(relative.t.x, 3.0f);
    }
}

TEST_F(AnimTest, StandardInterpolationEdges) {
    const glm::quat q1 = glm::angleAxis(0.01f, glm::vec3(0, 0, 1)),
                    q2 = glm::angleAxis(0.02f, glm::vec3(0, 0, 1));
    RpHAnimStdKeyFrame k1 = {nullptr, 0.0f, ToRt(q1), {0, 0, 0}};
    RpHAnimStdKeyFrame k2 = {&k1, 1.0f, ToRt(q2), {1, 0, 0}};
    RpHAnimInterpFrame out;
    // Above the linear threshold: a plain mix, not renormalised.
    RpHAnimKeyFrameInterpolate(&out, &k1, &k2, 0.5f, nullptr);
    ExpectQuatNear(out.q, 0.5f * q1 + 0.5f * q2, 1e-7f);
    // Keyframes at one time hold the first pose, never NaN.
    k2.time = 0.0f;
    RpHAnimKeyFrameInterpolate(&out, &k1, &k2, 0.0f, nullptr);
    EXPECT_EQ(out.t.x, 0.0f);
    ExpectQuatNear(out.q, q1, 1e-7f);
    // The inverse of a zero start rotation is taken as none.
    RpHAnimStdKeyFrame zero = {nullptr, 0, {{0, 0, 0}, 0}, {0, 0, 0}};
    RpHAnimStdKeyFrame frame = k1;
    RpHAnimKeyFrameMulRecip(&frame, &zero);
    ExpectQuatNear(frame.q, q1, 0.0f);
}

// Nodes 0..4: 0 the root; 1 and 3 its children; 2 the child of 1; 4 the child of 3.
const RwUInt32 treeFlags[5] = {0, rpHANIMPUSHPARENTMATRIX, rpHANIMPOPPARENTMATRIX, 0, rpHANIMPOPPARENTMATRIX};
const RwInt32 treeIDs[5] = {10, 11, 12, 13, 14};
const int treeParents[5] = {-1, 0, 1, 0, 3};

struct HierarchyDeleter {
    void operator()(RpHAnimHierarchy* h) const {
        if (h)
            RpHAnimHierarchyDestroy(h);
    }
};
using HierarchyPtr = std::unique_ptr<RpHAnimHierarchy, HierarchyDeleter>;

class HierarchyTest : public AnimTest {
protected:
    // Node i turns by 15 (i + 1) degrees about its own axis and moves by (i, 1, 0) at time 1 of 2.
    std::vector<std::vector<Key>> Keys(size_t count) const {
        std::vector<std::vector<Key>> nodes;
        for (size_t i = 0; i < count; ++i) {
            const glm::vec3 axis(float(i) + 1.0f, 1.0f, float(i % 2));
            nodes.push_back({KeyAt(0, 0, axis, {0, 0, 0}),
                             KeyAt(2, 30.0f * float(i + 1), axis, {2.0f * float(i), 2, 0})});
        }
        return nodes;
    }
    glm::mat4 Local(size_t i) const {
        const glm::vec3 axis = glm::normalize(glm::vec3(float(i) + 1.0f, 1.0f, float(i % 2)));
        return glm::translate(glm::mat4(1), glm::vec3(float(i), 1, 0)) *
               glm::mat4_cast(glm::angleAxis(glm::radians(15.0f * float(i + 1)), axis));
    }
    // The node matrices that the parents give, composed with GLM (column vectors: parent x local).
    std::vector<glm::mat4> Expected(const int* parents, size_t count, const glm::mat4& base) const {
        std::vector<glm::mat4> world(count);
        for (size_t i = 0; i < count; ++i)
            world[i] = (parents[i] < 0 ? base : world[size_t(parents[i])]) * Local(i);
        return world;
    }
};

TEST_F(HierarchyTest, PushAndPopGiveTheTreesMatrices) {
    AnimationPtr animation = MakeAnimation(Keys(5), 2.0f);
    HierarchyPtr h(RpHAnimHierarchyCreate(5, treeFlags, treeIDs, rpHANIMHIERARCHYLOCALSPACEMATRICES,
                                          rpHANIMSTDKEYFRAMESTREAMSIZE));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(h->pMatrixArray) % 16, 0u);
    ASSERT_TRUE(RpHAnimHierarchySetCurrentAnim(h.get(), animation.get()));
    RpHAnimHierarchySetCurrentAnimTime(h.get(), 1.0f);
    ASSERT_TRUE(RpHAnimHierarchyUpdateMatrices(h.get()));
    const std::vector<glm::mat4> expected = Expected(treeParents, 5, glm::mat4(1));
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        ExpectMatrixNear(h->pMatrixArray[i], expected[i], 1e-4f);
    }
    EXPECT_EQ(RpHAnimIdGetIndex(h.get(), 13), 3);
    EXPECT_EQ(RpHAnimIdGetIndex(h.get(), 99), -1);
}

TEST_F(HierarchyTest, PushAndPopTogetherKeepTheParent) {
    const RwUInt32 flags[3] = {0, rpHANIMPUSHPARENTMATRIX | rpHANIMPOPPARENTMATRIX, rpHANIMPOPPARENTMATRIX};
    const int parents[3] = {-1, 0, 0};
    AnimationPtr animation = MakeAnimation(Keys(3), 2.0f);
    HierarchyPtr h(RpHAnimHierarchyCreate(3, flags, treeIDs, rpHANIMHIERARCHYLOCALSPACEMATRICES, 36));
    ASSERT_TRUE(RpHAnimHierarchySetCurrentAnim(h.get(), animation.get()));
    RpHAnimHierarchySetCurrentAnimTime(h.get(), 1.0f);
    RpHAnimHierarchyUpdateMatrices(h.get());
    const std::vector<glm::mat4> expected = Expected(parents, 3, glm::mat4(1));
    for (size_t i = 0; i < 3; ++i)
        ExpectMatrixNear(h->pMatrixArray[i], expected[i], 1e-4f);
}

TEST_F(HierarchyTest, SubHierarchiesCoverASubtreeAndStartFromTheirParentNode) {
    HierarchyPtr h(RpHAnimHierarchyCreate(5, treeFlags, treeIDs, rpHANIMHIERARCHYLOCALSPACEMATRICES, 36));
    struct Case {
        RwInt32 start, count, rootParent;
    };
    for (const Case& c : {Case{0, 5, -1}, Case{1, 2, 0}, Case{2, 1, 1}, Case{3, 2, 0}, Case{4, 1, 3}}) {
        HierarchyPtr sub(RpHAnimHierarchyCreateSubHierarchy(h.get(), c.start, 0, -1));
        ASSERT_NE(sub, nullptr);
        EXPECT_EQ(sub->numNodes, c.count) << c.start;
        EXPECT_EQ(sub->rootParentOffset, c.rootParent) << c.start;
        EXPECT_EQ(sub->pNodeInfo, h->pNodeInfo + c.start);
        EXPECT_EQ(sub->pMatrixArray, h->pMatrixArray + c.start);
        EXPECT_EQ(sub->flags, RwUInt32(rpHANIMHIERARCHYSUBHIERARCHY));
        EXPECT_EQ(sub->currentAnim->parentAnimation, h->currentAnim);
    }
    EXPECT_EQ(RpHAnimHierarchyCreateSubHierarchy(h.get(), 5, 0, -1), nullptr);
    // Callers set a sub-hierarchy's flags outright (the game sets 0x1000): it still frees only its own.
    {
        HierarchyPtr sub(RpHAnimHierarchyCreateSubHierarchy(h.get(), 1, 0, -1));
        sub->flags = rpHANIMHIERARCHYUPDATEMODELLINGMATRICES;
        const size_t live = AllocationCounter::live.size();
        sub.reset();
        EXPECT_EQ(AllocationCounter::live.size(), live - 1); // its interpolator only
        EXPECT_EQ(h->pNodeInfo[1].nodeID, treeIDs[1]);
    }

    // The sub-hierarchy of nodes 3 and 4 plays its own animation below the parent's node 0.
    AnimationPtr whole = MakeAnimation(Keys(5), 2.0f);
    ASSERT_TRUE(RpHAnimHierarchySetCurrentAnim(h.get(), whole.get()));
    RpHAnimHierarchySetCurrentAnimTime(h.get(), 1.0f);
    RpHAnimHierarchyUpdateMatrices(h.get());
    HierarchyPtr sub(RpHAnimHierarchyCreateSubHierarchy(h.get(), 3, 0, -1));
    std::vector<std::vector<Key>> keys = Keys(5);
    AnimationPtr part = MakeAnimation({keys[3], keys[4]}, 2.0f);
    ASSERT_TRUE(RpHAnimHierarchySetCurrentAnim(sub.get(), part.get()));
    RpHAnimHierarchySetCurrentAnimTime(sub.get(), 2.0f); // the end pose: twice the turn and the move
    ASSERT_TRUE(RpHAnimHierarchyUpdateMatrices(sub.get()));
    const glm::mat4 node0 = ToGlm(h->pMatrixArray[0]);
    auto endLocal = [](size_t i) {
        const glm::vec3 axis = glm::normalize(glm::vec3(float(i) + 1.0f, 1.0f, float(i % 2)));
        return glm::translate(glm::mat4(1), glm::vec3(2.0f * float(i), 2, 0)) *
               glm::mat4_cast(glm::angleAxis(glm::radians(30.0f * float(i + 1)), axis));
    };
    ExpectMatrixNear(h->pMatrixArray[3], node0 * endLocal(3), 1e-4f);
    ExpectMatrixNear(h->pMatrixArray[4], node0 * endLocal(3) * endLocal(4), 1e-4f);
}

TEST_F(HierarchyTest, AttachBindsFramesByIdAndUpdatesFrameMatrices) {
    // Root frame (id 10) under a moved parent; frames for the other nodes below it, in the tree's shape.
    RwFrame* top = RwFrameCreate();
    const RwV3d up = {0, 0, 5};
    RwMatrixTranslate(&top->modelling, &up, rwCOMBINEREPLACE);
    RwFrameUpdateObjects(top);
    RwFrame* frames[5];
    for (int i = 0; i < 5; ++i) {
        frames[i] = RwFrameCreate();
        RpHAnimFrameSetId(frames[i], treeIDs[i]);
        RwFrameAddChild(treeParents[i] < 0 ? top : frames[treeParents[i]], frames[i]);
    }
    // A second frame with id 12, visited after the first (below it): it takes the node. Children are
    // visited in list order, newest first: 0, 3, 4, 1, 2, twin.
    RwFrame* twin = RwFrameCreate();
    RpHAnimFrameSetId(twin, 12);
    RwFrameAddChild(frames[2], twin);

    AnimationPtr animation = MakeAnimation(Keys(5), 2.0f);
    RpHAnimHierarchy* h = RpHAnimHierarchyCreate(
        5, treeFlags, treeIDs, rpHANIMHIERARCHYUPDATEMODELLINGMATRICES | rpHANIMHIERARCHYUPDATELTMS, 36);
    RpHAnimFrameSetHierarchy(frames[0], h);
    EXPECT_EQ(RpHAnimFrameGetHierarchy(frames[0]), h);
    RpHAnimHierarchyAttach(h);
    EXPECT_EQ(h->pNodeInfo[0].pFrame, frames[0]);
    EXPECT_EQ(h->pNodeInfo[1].pFrame, frames[1]);
    EXPECT_EQ(h->pNodeInfo[2].pFrame, twin);
    EXPECT_EQ(h->pNodeInfo[4].pFrame, frames[4]);

    ASSERT_TRUE(RpHAnimHierarchySetCurrentAnim(h, animation.get()));
    RpHAnimHierarchySetCurrentAnimTime(h, 1.0f);
    RwFrameSyncDirty();
    ASSERT_TRUE(RpHAnimHierarchyUpdateMatrices(h));
    const std::vector<glm::mat4> expected =
        Expected(treeParents, 5, glm::translate(glm::mat4(1), glm::vec3(0, 0, 5)));
    for (int i = 0; i < 5; ++i) {
        ExpectMatrixNear(h->pMatrixArray[i], expected[size_t(i)], 1e-4f);
        ExpectMatrixNear(*RwFrameGetMatrix(h->pNodeInfo[i].pFrame), Local(size_t(i)), 1e-4f);
        ExpectMatrixNear(h->pNodeInfo[i].pFrame->ltm, expected[size_t(i)], 1e-4f);
    }
    // The world matrices set stay through the next synchronisation.
    RwFrameSyncDirty();
    ExpectMatrixNear(*RwFrameGetWorldMatrix(frames[3]), expected[3], 1e-4f);

    // Destroying the root frame frees its hierarchy (the fixture checks that nothing is left).
    RwFrameDestroyHierarchy(top);
}

// The frame list bytes of the frame's hierarchy, and the hanim sub-chunk's length (-1 when absent).
std::pair<Bytes, RwInt32> WriteFrames(RwFrame* root) {
    RwFrameList list;
    RwFrameListInitialize(&list, root);
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    EXPECT_TRUE(RwFrameListStreamWrite(&list, stream));
    RwFrameListDeinitialize(&list);
    RwMemory memory = {nullptr, 0};
    RwStreamClose(stream, &memory);
    Bytes bytes(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    RwInt32 length = -1;
    for (size_t at = 0; at + 12 <= bytes.size(); at += 4) {
        RwUInt32 words[3];
        std::memcpy(words, &bytes[at], 12);
        if (words[0] == rwID_HANIMPLUGIN &&
            words[2] == RwLibraryStampEncode(rwLIBRARYCURRENTVERSION, rwLIBRARYBUILD))
            length = RwInt32(words[1]);
    }
    return {bytes, length};
}

RwFrame* ReadFrames(Bytes bytes) {
    RwMemory memory = {bytes.data(), RwUInt32(bytes.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    RwFrameList list = {nullptr, 0};
    RwFrame* root = nullptr;
    if (RwStreamFindChunk(stream, rwID_FRAMELIST, nullptr, nullptr) && RwFrameListStreamRead(stream, &list)) {
        root = list.frames[0];
        RwFrameListDeinitialize(&list);
    }
    RwStreamClose(stream, nullptr);
    return root;
}

TEST_F(HierarchyTest, FrameStreamsCarryIdsAndHierarchies) {
    RwFrame* frame = RwFrameCreate();
    EXPECT_EQ(WriteFrames(frame).second, -1); // no id, no hierarchy: no chunk
    RpHAnimFrameSetId(frame, 42);
    EXPECT_EQ(WriteFrames(frame).second, 12);
    RpHAnimHierarchy* h =
        RpHAnimHierarchyCreate(5, treeFlags, treeIDs, rpHANIMHIERARCHYUPDATEMODELLINGMATRICES, 36);
    RpHAnimFrameSetHierarchy(frame, h);
    auto [bytes, length] = WriteFrames(frame);
    EXPECT_EQ(length, 20 + 12 * 5);

    RwFrame* read = ReadFrames(bytes);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(RpHAnimFrameGetId(read), 42);
    RpHAnimHierarchy* copy = RpHAnimFrameGetHierarchy(read);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->parentFrame, read);
    EXPECT_EQ(copy->numNodes, 5);
    EXPECT_EQ(copy->flags, RwUInt32(rpHANIMHIERARCHYUPDATEMODELLINGMATRICES));
    EXPECT_EQ(copy->maxKeyFrameSize, 36);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(copy->pNodeInfo[i].nodeID, treeIDs[i]);
        EXPECT_EQ(copy->pNodeInfo[i].nodeIndex, i);
        EXPECT_EQ(RwUInt32(copy->pNodeInfo[i].flags), treeFlags[i]);
        EXPECT_EQ(copy->pNodeInfo[i].pFrame, nullptr);
    }
    EXPECT_EQ(WriteFrames(read).first, bytes);

    // A clone gets its own hierarchy; a sub-hierarchy's frame passes on its id only.
    RwFrame* clone = RwFrameCloneHierarchy(read);
    ASSERT_NE(RpHAnimFrameGetHierarchy(clone), nullptr);
    EXPECT_NE(RpHAnimFrameGetHierarchy(clone), copy);
    EXPECT_EQ(RpHAnimFrameGetHierarchy(clone)->parentFrame, clone);
    EXPECT_EQ(RpHAnimFrameGetHierarchy(clone)->numNodes, 5);

    RwFrame* subFrame = RwFrameCreate();
    RpHAnimFrameSetId(subFrame, 7);
    RpHAnimHierarchy* sub = RpHAnimHierarchyCreateSubHierarchy(h, 1, 0, -1);
    RpHAnimFrameSetHierarchy(subFrame, sub);
    EXPECT_EQ(WriteFrames(subFrame).second, 12);
    RwFrame* subClone = RwFrameCloneHierarchy(subFrame);
    EXPECT_EQ(RpHAnimFrameGetHierarchy(subClone), nullptr);
    EXPECT_EQ(RpHAnimFrameGetId(subClone), 7);

    // Another version, or more nodes than bytes: the read fails.
    Bytes badVersion = bytes;
    for (size_t at = 0; at + 16 <= badVersion.size(); at += 4) {
        RwUInt32 word;
        std::memcpy(&word, &badVersion[at], 4);
        if (word == rwID_HANIMPLUGIN) {
            badVersion[at + 12] = 0x01;
            badVersion[at + 13] = 0x02;
            break;
        }
    }
    EXPECT_EQ(ReadFrames(badVersion), nullptr);

    // The sub-hierarchy goes before the hierarchy whose records it shares.
    for (RwFrame* f : {subFrame, subClone, frame, read, clone})
        RwFrameDestroyHierarchy(f);
}

} // namespace
