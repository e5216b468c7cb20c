// The rigid body: semi-implicit Euler (velocity before position), torques from offset forces, a constant
// torque's spin-up against the analytic rotation, cleared accumulators, double-precision position far from
// the origin.
#include "PhysicsFixture.h"

#include "physics/SolidBody.h"

#include "base/Maths.h"

using Physics::SolidBody;

namespace {

RwV3d WorldPosition(SolidBody& body) {
    return RwFrameGetWorldMatrix(body.frame)->pos;
}

} // namespace

TEST_F(PhysicsTest, DropGainsVelocityBeforeItMoves) {
    SolidBody body;
    body.Step(0.1f, -9.81f);
    EXPECT_NEAR(body.velocity.y, -0.981f, 1e-6f);
    EXPECT_NEAR(WorldPosition(body).y, -0.0981f, 1e-6f);
    EXPECT_NEAR(body.localPosition[1], -0.0981, 1e-7);
    body.Step(0.1f, -9.81f);
    EXPECT_NEAR(body.velocity.y, -1.962f, 1e-5f);
    EXPECT_NEAR(body.localPosition[1], -0.0981 - 0.1962, 1e-6);
}

// Force, application point, expected torque; the body's own axes are turned so that body and world
// coordinates differ.
struct TorqueCase {
    const char* name;
    RwV3d point;
    bool pointInBody;
    RwV3d force;
    bool forceInBody;
};

TEST_F(PhysicsTest, TorqueOfAForceIsLeverTimesForce) {
    const TorqueCase cases[] = {
        {"at the origin", {0, 0, 0}, true, {0, 100, 0}, false},
        {"one metre along right", {1, 0, 0}, true, {0, 100, 0}, false},
        {"body force along up at right", {1, 0, 0}, true, {0, 100, 0}, true},
        {"world point", {10, 21, 30}, false, {0, 0, 50}, false},
    };
    for (const TorqueCase& c : cases) {
        SCOPED_TRACE(c.name);
        SolidBody body;
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        const RwV3d axis = {0, 1, 0};
        RwMatrixRotate(&m, &axis, 90, rwCOMBINEREPLACE); // right becomes -z in the world
        m.pos = {10, 20, 30};
        RwMatrixUpdate(&m);
        body.Transform(&m, rwCOMBINEREPLACE);
        const RwMatrix& w = *RwFrameGetWorldMatrix(body.frame);
        RwV3d p = c.point, f = c.force;
        if (c.pointInBody)
            RwVector3TransformPoint(&p, &c.point, &w);
        if (c.forceInBody)
            RwVector3TransformVector(&f, &c.force, &w);
        body.AddForceAtPoint(c.point, c.pointInBody, c.force, c.forceInBody);
        const RwV3d expected = Base::CrossProduct(RwV3d{p.x - 10, p.y - 20, p.z - 30}, f);
        EXPECT_NEAR(body.force.x, f.x, 1e-4f);
        EXPECT_NEAR(body.force.y, f.y, 1e-4f);
        EXPECT_NEAR(body.force.z, f.z, 1e-4f);
        EXPECT_NEAR(body.torque.x, expected.x, 1e-3f);
        EXPECT_NEAR(body.torque.y, expected.y, 1e-3f);
        EXPECT_NEAR(body.torque.z, expected.z, 1e-3f);
    }
    // A force perpendicular to the right axis, 1 m along it: |F| about the axis perpendicular to both.
    SolidBody body;
    body.AddForceAtPoint({1, 0, 0}, true, {0, 0, 7}, false);
    EXPECT_FLOAT_EQ(body.torque.x, 0);
    EXPECT_FLOAT_EQ(body.torque.y, -7);
    EXPECT_FLOAT_EQ(body.torque.z, 0);
}

// A constant torque about a principal axis: w = T t / I and the angle T t^2 / (2 I) as the rotation of the
// frame's axes (semi-implicit Euler gains one step of lead: T dt^2 n (n + 1) / (2 I) after n steps).
TEST_F(PhysicsTest, ConstantTorqueSpinsUpAsTheAnalyticResult) {
    struct Case {
        RwV3d inertia;
        RwV3d torque;
        float moment;
    } cases[] = {{{4, 2, 1}, {8, 0, 0}, 4}, {{4, 2, 1}, {0, 8, 0}, 2}, {{4, 2, 1}, {0, 0, -3}, 1}};
    for (const Case& c : cases) {
        SolidBody body;
        body.inertia = c.inertia;
        const float dt = 0.001f;
        const int n = 1000;
        for (int i = 0; i < n; ++i) {
            body.torque = c.torque;
            body.Step(dt, 0);
        }
        const float t = n * dt;
        const float rate = float(Base::VectorLength(c.torque)) / c.moment;
        EXPECT_NEAR(Base::VectorLength(body.angularVelocity), rate * t, 1e-3 * rate * t);
        const double angle = rate * dt * dt * n * (n + 1) / 2 / t;
        const double expected = rate * t * t / 2;
        EXPECT_NEAR(angle, expected, 0.002 * expected);
        // The frame turned by that angle about the torque's axis: the rotation's cosine from the trace.
        const RwMatrix& m = *RwFrameGetWorldMatrix(body.frame);
        const double cosine = (m.right.x + m.up.y + m.at.z - 1) / 2;
        EXPECT_NEAR(cosine, std::cos(angle), 2e-3);
        EXPECT_NEAR(Base::VectorLength(m.at), 1.0, 1e-5);
    }
}

TEST_F(PhysicsTest, ZeroAngularVelocityKeepsTheOrientation) {
    SolidBody body;
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    const RwV3d axis = {1, 1, 0};
    RwMatrixRotate(&m, &axis, 33, rwCOMBINEREPLACE);
    body.Transform(&m, rwCOMBINEREPLACE);
    const RwMatrix before = *RwFrameGetWorldMatrix(body.frame);
    for (int i = 0; i < 100; ++i)
        body.Step(0.01f, -9.81f);
    const RwMatrix& after = *RwFrameGetWorldMatrix(body.frame);
    EXPECT_EQ(after.right.x, before.right.x);
    EXPECT_EQ(after.up.y, before.up.y);
    EXPECT_EQ(after.at.z, before.at.z);
}

TEST_F(PhysicsTest, ForcesAreClearedAfterEveryStep) {
    SolidBody body;
    body.mass = 3;
    body.AddForceAtPoint({1, 2, 3}, true, {4, 5, 6}, true);
    body.AddForceAtPoint({-7, 0, 1}, false, {0, -50, 9}, false);
    body.Step(0.02f, -9.81f);
    EXPECT_EQ(body.force.x, 0);
    EXPECT_EQ(body.force.y, 0);
    EXPECT_EQ(body.force.z, 0);
    EXPECT_EQ(body.torque.x, 0);
    EXPECT_EQ(body.torque.y, 0);
    EXPECT_EQ(body.torque.z, 0);
}

// 300 km out, a float position has a step of 1/32 m: a millimetre per step must still add up, exactly as the
// double sum, with the frame on the rounded value.
TEST_F(PhysicsTest, FarFromTheOriginSmallStepsAccumulate) {
    SolidBody body;
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.pos = {300000, 1000, -300000};
    RwMatrixUpdate(&m);
    body.Transform(&m, rwCOMBINEREPLACE);
    body.velocity = {0.1f, 0, -0.1f};
    double expected[3] = {300000, 1000, -300000};
    for (int i = 0; i < 1000; ++i) {
        body.Step(0.01f, 0);
        expected[0] += double(0.1f) * 0.01f;
        expected[2] += double(-0.1f) * 0.01f;
    }
    EXPECT_EQ(body.localPosition[0], expected[0]);
    EXPECT_EQ(body.localPosition[2], expected[2]);
    EXPECT_NEAR(body.localPosition[0], 300001.0, 1e-6);
    const RwV3d p = WorldPosition(body);
    EXPECT_EQ(p.x, float(expected[0]));
    EXPECT_EQ(p.z, float(expected[2]));
    double world[3];
    body.GetWorldPositionDouble(world);
    EXPECT_EQ(world[0], expected[0]);
}

TEST_F(PhysicsTest, ABodyWithoutMassIsNotAccelerated) {
    SolidBody body;
    body.mass = 0;
    body.inertia = {0, 0, 0};
    body.AddForceAtPoint({1, 0, 0}, true, {0, 10, 0}, false);
    body.Step(0.01f, -9.81f);
    EXPECT_EQ(body.velocity.y, 0);
    EXPECT_EQ(body.angularVelocity.z, 0);
    EXPECT_TRUE(std::isfinite(body.localPosition[1]));
}
