// Rw::Frame (the engine frame's owner with its double-precision position), the matrix helpers against GLM,
// and the signed angle on a plane.
#include "scene/Frame.h"
#include "scene/MatrixHelpers.h"
#include "scene/SignedAngleOnPlane.h"

#include "base/Maths.h"
#include "rwsdk/src/engine.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float Pi = float(Base::Pi);

class FrameWrapper : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
        ASSERT_TRUE(Rw::Frame::RegisterPlugins());
        RwEngineOpenParams params = {nullptr};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineStart());
    }
    void TearDown() override {
        EXPECT_TRUE(RwEngineStop());
        EXPECT_TRUE(RwEngineClose());
        EXPECT_TRUE(RwEngineTerm());
    }
};

RwMatrix Translation(float x, float y, float z) {
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.pos = {x, y, z};
    RwMatrixUpdate(&m);
    return m;
}

glm::mat4 ToGlm(const RwMatrix& m) {
    return glm::mat4(glm::vec4(m.right.x, m.right.y, m.right.z, 0), glm::vec4(m.up.x, m.up.y, m.up.z, 0),
                     glm::vec4(m.at.x, m.at.y, m.at.z, 0), glm::vec4(m.pos.x, m.pos.y, m.pos.z, 1));
}

void ExpectNear(const RwMatrix& m, const glm::mat4& g, float tolerance) {
    const glm::mat4 e = ToGlm(m);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(e[c][r], g[c][r], tolerance) << "row " << c << " component " << r;
}

} // namespace

TEST_F(FrameWrapper, WrapperAndFrameDieTogether) {
    EXPECT_EQ(Rw::Frame::LiveFrameCount(), 0);
    auto* owner = new Rw::Frame;
    ASSERT_NE(owner->frame, nullptr);
    EXPECT_EQ(Rw::Frame::FromRwFrame(owner->frame), owner);
    EXPECT_EQ(Rw::Frame::LiveFrameCount(), 1);
    delete owner;
    EXPECT_EQ(Rw::Frame::LiveFrameCount(), 0);

    // The engine destroys a wrapped hierarchy: the child's wrapper goes with its frame.
    RwFrame* root = RwFrameCreate();
    auto* child = new Rw::Frame;
    RwFrameAddChild(root, child->frame);
    Rw::Frame unowned(root, false);
    EXPECT_EQ(Rw::Frame::LiveFrameCount(), 2);
    unowned.SetFrame(nullptr, false); // lets go without destroying
    EXPECT_EQ(Rw::Frame::LiveFrameCount(), 2);
    RwFrameDestroyHierarchy(root);
    EXPECT_EQ(Rw::Frame::LiveFrameCount(), 0);
}

// The world position adds the local double positions down the chain with the parents' rotations, never
// passing through a parent's float position.
TEST_F(FrameWrapper, WorldPositionInDoublePrecision) {
    Rw::Frame parent, child;
    RwFrameAddChild(parent.frame, child.frame);
    RwMatrix m = Translation(300000.0f, 10, -300000.0f);
    const RwV3d axis = {0, 1, 0};
    RwMatrixRotate(&m, &axis, 90, rwCOMBINEPRECONCAT);
    parent.Transform(&m, rwCOMBINEREPLACE);
    parent.localPosition[0] = 300000.001; // the owner's precise value between floats
    const RwMatrix local = Translation(0, 0, 2);
    child.Transform(&local, rwCOMBINEREPLACE);
    EXPECT_EQ(child.localPosition[2], 2.0);
    double world[3];
    child.GetWorldPositionDouble(world);
    EXPECT_NEAR(world[0], 300002.001, 1e-6); // at (0, 0, 1) turned by 90 degrees about y is +x
    EXPECT_NEAR(world[1], 10, 1e-6);
    EXPECT_NEAR(world[2], -300000, 1e-6);
    // A null matrix changes nothing on the frame itself.
    parent.Transform(nullptr, 0);
    EXPECT_EQ(parent.localPosition[0], 300000.001);
}

TEST_F(FrameWrapper, MatrixHelpersMatchGlm) {
    // Rotation about a point: the point stays, others turn about it.
    const RwV3d axis = {0.3f, 1, -0.2f};
    const RwV3d point = {5, -2, 7};
    RwMatrix m = Translation(1, 2, 3);
    Base::RotateMatrixAboutPoint(&m, axis, 40, rwCOMBINEPOSTCONCAT, point);
    const glm::vec3 p(5, -2, 7);
    const glm::mat4 rotation =
        glm::translate(glm::mat4(1), p) *
        glm::rotate(glm::mat4(1), glm::radians(40.0f), glm::normalize(glm::vec3(0.3f, 1, -0.2f))) *
        glm::translate(glm::mat4(1), -p);
    // The engine's rotation works from its own table square roots: a few parts in 1e5.
    ExpectNear(m, rotation * glm::translate(glm::mat4(1), glm::vec3(1, 2, 3)), 5e-4f);

    RwMatrix axes;
    Base::SetMatrixAxes(&axes, {0, 0, 1}, {0, -1, 0}, {4, 5, 6});
    EXPECT_FLOAT_EQ(axes.right.x, 1); // (0, 0, 1) x (0, -1, 0)
    EXPECT_FLOAT_EQ(axes.pos.z, 6);

    // Looking along a direction 45 degrees up: unit axes, at the direction, up towards the hint.
    RwMatrix look = Translation(1, 1, 1);
    const float s = std::sqrt(0.5f);
    Base::SetMatrixLookDirection(&look, {0, s, s}, {0, 1, 0});
    EXPECT_NEAR(Base::VectorLength(look.right), 1, 1e-6);
    EXPECT_NEAR(Base::VectorLength(look.up), 1, 1e-6);
    EXPECT_NEAR(look.up.y, s, 1e-6f);
    EXPECT_NEAR(look.up.z, -s, 1e-6f);
    EXPECT_NEAR(Base::DotProduct(look.right, look.at), 0, 1e-6f);
    EXPECT_FLOAT_EQ(look.pos.x, 1);

    RwMatrix at = Translation(10, 0, 0);
    Base::SetMatrixLookAt({10, 0, 20}, &at);
    EXPECT_NEAR(at.at.z, 1, 1e-6f);
    EXPECT_NEAR(at.up.y, 1, 1e-6f);
    EXPECT_NEAR(at.right.x, 1, 1e-6f);
}

TEST(SignedAngleOnPlane, SignAndRange) {
    struct Case {
        RwV3d normal, a, b;
        float expected;
    } cases[] = {
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, Pi / 2}, // (a x b) . n > 0
        {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, -Pi / 2},
        {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}, -Pi / 2},
        {{0, 0, 1}, {1, 0, 0}, {-1, 0, 0}, Pi}, // opposite: pi, never -pi
        {{0, 0, 1}, {1, 0, 0}, {1, 0, 0}, 0},
        {{0, 0, 1}, {1, 0, 5}, {1, 1, -3}, Pi / 4}, // the parts along the normal are dropped
        {{0, 1, 0}, {0, 0, 1}, {-1, 0, -1}, -3 * Pi / 4},
    };
    for (const Case& c : cases) {
        const float angle = Obj::SignedAngleOnPlane(c.normal, c.a, c.b);
        EXPECT_NEAR(angle, c.expected, 1e-5f);
        EXPECT_GT(angle, -Pi);
        EXPECT_LE(angle, Pi);
    }
}
