// The random-number and spline plugins and the slerp toolkit.
#include "../EngineFixture.h"

#include "rwsdk/plugin/random/rprandom.h"
#include "rwsdk/plugin/spline/rpspline.h"
#include "rwsdk/tool/slerp/rtslerp.h"

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

class SmallPluginsTest : public EngineTest {
protected:
    void RegisterPlugins() override {
        ASSERT_TRUE(RpRandomPluginAttach());
        ASSERT_TRUE(RpSplinePluginAttach());
    }
};

std::vector<RwUInt32> Draws(int count) {
    std::vector<RwUInt32> out;
    for (int i = 0; i < count; ++i)
        out.push_back(RpRandom());
    return out;
}

TEST_F(SmallPluginsTest, RandomMatchesTheCLibraryAdditiveGenerator) {
    // The same 31 words and pointers, handed to glibc's degree-31 generator.
    int32_t state[31];
    RwUInt32 word = 0x9A319039u;
    for (int i = 0; i < 31; ++i) {
        state[i] = int32_t(word);
        word = word * 1103515245u + 12345u;
    }
    random_data reference = {};
    reference.fptr = state + 3;
    reference.rptr = state;
    reference.state = state;
    reference.rand_type = 3;
    reference.rand_deg = 31;
    reference.rand_sep = 3;
    reference.end_ptr = state + 31;
    int32_t discard;
    for (int i = 0; i < 310; ++i)
        random_r(&reference, &discard);

    const std::vector<RwUInt32> ours = Draws(2000);
    for (size_t i = 0; i < ours.size(); ++i) {
        int32_t expected;
        random_r(&reference, &expected);
        ASSERT_EQ(ours[i], RwUInt32(expected)) << "draw " << i;
        ASSERT_EQ(ours[i] & 0x80000000u, 0u);
    }
}

TEST_F(SmallPluginsTest, RandomRestartsWithEveryOpen) {
    const std::vector<RwUInt32> first = Draws(100);
    ASSERT_TRUE(RwEngineStop());
    ASSERT_TRUE(RwEngineClose());
    EXPECT_EQ(RpRandom(), 0u); // closed: no state
    RwEngineOpenParams params = {nullptr};
    ASSERT_TRUE(RwEngineOpen(&params));
    ASSERT_TRUE(RwEngineStart());
    EXPECT_EQ(Draws(100), first);
}

TEST_F(SmallPluginsTest, SplineBasisWeightsSumToOne) {
    const RwReal* w[4];
    for (int k = 0; k < 4; ++k)
        ASSERT_NE(w[k] = _rpSplineGetSampleTable(k), nullptr);
    EXPECT_FLOAT_EQ(w[0][256], 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(w[3][0], 1.0f / 6.0f);
    for (int i = 0; i < rpSPLINESAMPLES; ++i) {
        EXPECT_NEAR(w[0][i] + w[1][i] + w[2][i] + w[3][i], 1.0f, 1e-6f) << "sample " << i;
        // The derivatives of a partition of unity sum to 0.
        const RwReal d1 = _rpSplineGetSampleTable(4)[i] + _rpSplineGetSampleTable(5)[i] +
                          _rpSplineGetSampleTable(6)[i] + _rpSplineGetSampleTable(7)[i];
        const RwReal d2 = _rpSplineGetSampleTable(8)[i] + _rpSplineGetSampleTable(9)[i] +
                          _rpSplineGetSampleTable(10)[i] + _rpSplineGetSampleTable(11)[i];
        EXPECT_NEAR(d1, 0.0f, 1e-6f);
        EXPECT_NEAR(d2, 0.0f, 1e-6f);
    }
    EXPECT_EQ(_rpSplineGetSampleTable(12), nullptr);
}

TEST_F(SmallPluginsTest, SplineMatricesMirrorThroughTheCentre) {
    for (RwInt32 n = rpSPLINEMINPOINTS; n <= rpSPLINEMAXPOINTS; ++n) {
        const RwReal* m = _rpSplineGetClosedMatrix(n);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m[(n - 1) * n + n - 1], m[0]);
        for (RwInt32 i = 0; i < n; ++i)
            for (RwInt32 j = 0; j < n; ++j)
                EXPECT_EQ(m[i * n + j], m[(n - 1 - i) * n + (n - 1 - j)]) << n << ": " << i << "," << j;
    }
    // n = 4: D = 15, b = (-1, 2, -7, 26); s = -2.
    const RwReal* m4 = _rpSplineGetClosedMatrix(4);
    EXPECT_FLOAT_EQ(m4[0], 26.0f / 15.0f);
    EXPECT_FLOAT_EQ(m4[1 * 4 + 1], 2.0f * -7.0f * -2.0f / 15.0f);
    EXPECT_EQ(_rpSplineGetClosedMatrix(3), nullptr);
}

TEST_F(SmallPluginsTest, SplineTablesFreedAtTheLastClose) {
    ASSERT_TRUE(RwEngineStop());
    ASSERT_TRUE(RwEngineClose());
    EXPECT_EQ(_rpSplineGetSampleTable(0), nullptr);
    EXPECT_EQ(_rpSplineGetClosedMatrix(4), nullptr);
    RwEngineOpenParams params = {nullptr};
    ASSERT_TRUE(RwEngineOpen(&params));
    ASSERT_TRUE(RwEngineStart());
    EXPECT_NE(_rpSplineGetSampleTable(0), nullptr);
}

// Engine matrices are row-vector: v' = v M, with rows right, up, at. GLM's columns take the same vectors.
RwMatrix Rotation(glm::vec3 axis, float degrees, glm::vec3 pos) {
    const glm::mat3 m = glm::mat3_cast(glm::angleAxis(glm::radians(degrees), glm::normalize(axis)));
    RwMatrix out;
    RwMatrixSetIdentity(&out);
    out.right = {m[0].x, m[0].y, m[0].z};
    out.up = {m[1].x, m[1].y, m[1].z};
    out.at = {m[2].x, m[2].y, m[2].z};
    out.pos = {pos.x, pos.y, pos.z};
    RwMatrixUpdate(&out);
    return out;
}

glm::mat3 Rows(const RwMatrix& m) {
    return glm::mat3(glm::vec3(m.right.x, m.right.y, m.right.z), glm::vec3(m.up.x, m.up.y, m.up.z),
                     glm::vec3(m.at.x, m.at.y, m.at.z));
}

void ExpectNear(const glm::mat3& a, const glm::mat3& b, float tolerance) {
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(a[c][r], b[c][r], tolerance) << c << "," << r;
}

TEST_F(SmallPluginsTest, SlerpFollowsQuaternionSlerp) {
    RwMatrix start = Rotation({1, 2, 3}, 30, {1, 2, 3});
    RwMatrix end = Rotation({-2, 1, 0.5f}, 100, {5, -2, 7});
    RtSlerp* slerp = RtSlerpCreate(rtSLERPREFNONE);
    ASSERT_NE(slerp, nullptr);
    RtSlerpInitialize(slerp, &start, &end);
    EXPECT_EQ(slerp->useLerp, 0);
    const glm::quat q0 = glm::quat_cast(Rows(start)), q1 = glm::quat_cast(Rows(end));
    for (float t : {0.0f, 0.25f, 0.5f, 0.8f, 1.0f}) {
        RwMatrix out;
        RwMatrixSetIdentity(&out);
        RtSlerpInterpolate(slerp, &out, t);
        ExpectNear(Rows(out), glm::mat3_cast(glm::slerp(q0, q1, t)), 1e-4f);
        EXPECT_NEAR(out.pos.x, 1 + 4 * t, 1e-5f);
        EXPECT_NEAR(out.pos.z, 3 + 4 * t, 1e-5f);
    }
    RtSlerpDestroy(slerp);
}

TEST_F(SmallPluginsTest, SlerpBelowTwoDegreesIsLinearWithRenormalisedAxes) {
    RwMatrix start = Rotation({0, 0, 1}, 10, {0, 0, 0});
    RwMatrix end = Rotation({0, 0, 1}, 11.5f, {2, 0, 0});
    RtSlerp* slerp = RtSlerpCreate(rtSLERPREFNONE);
    RtSlerpInitialize(slerp, &start, &end);
    EXPECT_EQ(slerp->useLerp, 1);
    EXPECT_NEAR(slerp->angle, 1.5f, 1e-3f);
    RwMatrix out;
    RwMatrixSetIdentity(&out);
    out.flags = 0x1234;
    RtSlerpInterpolate(slerp, &out, 0.5f);
    const glm::mat3 a = Rows(start), b = Rows(end);
    for (int c = 0; c < 3; ++c) {
        const glm::vec3 expected = glm::normalize(glm::mix(a[c], b[c], 0.5f));
        EXPECT_NEAR(Rows(out)[c].x, expected.x, 1e-4f);
        EXPECT_NEAR(Rows(out)[c].y, expected.y, 1e-4f);
    }
    EXPECT_FLOAT_EQ(out.pos.x, 1.0f);
    EXPECT_EQ(out.flags, 0x1234u);
    RtSlerpDestroy(slerp);
}

TEST_F(SmallPluginsTest, SlerpWithReferencesFollowsTheCallersMatrices) {
    RwMatrix start = Rotation({0, 1, 0}, 0, {0, 0, 0});
    RwMatrix end = Rotation({0, 1, 0}, 90, {0, 0, 0});
    RtSlerp* slerp = RtSlerpCreate(rtSLERPREFALL);
    RtSlerpInitialize(slerp, &start, &end);
    end.pos = {8, 0, 0};
    RwMatrix out;
    RtSlerpInterpolate(slerp, &out, 1.0f);
    EXPECT_EQ(out.pos.x, 8.0f);
    RtSlerpInterpolate(slerp, &out, 0.5f);
    EXPECT_NEAR(out.pos.x, 4.0f, 1e-6f);
    ExpectNear(Rows(out), glm::mat3_cast(glm::angleAxis(glm::radians(45.0f), glm::vec3(0, 1, 0))), 1e-5f);
    RtSlerpDestroy(slerp);
}

} // namespace
