#include "base/Maths.h"

#include <gtest/gtest.h>

using Base::Vector2;
using Base::Vector3;

TEST(Maths, HeadingOfTheFourAxes) {
    EXPECT_FLOAT_EQ(Base::HeadingDegrees2d({0, 1}), 0);
    EXPECT_FLOAT_EQ(Base::HeadingDegrees2d({1, 0}), 270);
    EXPECT_FLOAT_EQ(Base::HeadingDegrees2d({-1, 0}), 90);
    EXPECT_FLOAT_EQ(Base::HeadingDegrees2d({0, -1}), 180);
}

TEST(Maths, SignedAngleIsNegativeWhenTheCrossProductIsNotBelowZero) {
    EXPECT_NEAR(Base::SignedAngle2d({1, 0}, {0, 1}), -Base::Pi / 2, 1e-6);
    EXPECT_NEAR(Base::SignedAngle2d({0, 1}, {1, 0}), Base::Pi / 2, 1e-6);
}

TEST(Maths, ZeroVectorsNormaliseToFixedAxes) {
    EXPECT_EQ(Base::Normalize2d({0, 0}), (Vector2{1, 0}));
    EXPECT_EQ(Base::Normalize3d(Vector3{0, 0, 0}), (Vector3{0, 0, 1}));
    Vector3 out;
    EXPECT_EQ(&Base::Normalize3d(Vector3{3, 0, 4}, out), &out);
    EXPECT_FLOAT_EQ(out.x, 0.6f);
    EXPECT_FLOAT_EQ(out.z, 0.8f);
    Vector2 n = Base::Normalize2d(0, -2);
    EXPECT_EQ(n, (Vector2{0, -1}));
}

TEST(Maths, Scalars) {
    EXPECT_EQ(Base::Sign(-2.5f), -1.0f);
    EXPECT_EQ(Base::Sign(0.0f), 0.0f);
    EXPECT_EQ(Base::Sign(3.0f), 1.0f);
    EXPECT_FLOAT_EQ(Base::SignedPow(-4, 0.5f), -2);
    EXPECT_EQ(Base::ClampToRange(-5, 0, 10), 0);
    EXPECT_EQ(Base::ClampToRange(5.5f, 0, 10), 5.5f);
    EXPECT_EQ(Base::ClampToRange(12, 0, 10), 10);
    EXPECT_EQ(Base::Max4(1, 7, 3, 2), 7);
    // Ties give the second argument: visible with signed zeros.
    EXPECT_TRUE(std::signbit(Base::MinFloat(0.0f, -0.0f)));
    EXPECT_FALSE(std::signbit(Base::MaxFloat(-0.0f, 0.0f)));
    EXPECT_NEAR(Base::Radians45, Base::Pi / 4, 1e-7);
}

TEST(Maths, VectorHelpers) {
    Vector3 a{1, 0, 0}, b{0, 1, 0};
    EXPECT_EQ(Base::CrossProduct(a, b), (Vector3{0, 0, 1}));
    EXPECT_EQ(Base::LerpVector3(a, b, 0.25f), (Vector3{0.75f, 0.25f, 0}));
    EXPECT_DOUBLE_EQ(Base::VectorLength(Vector3{2, 3, 6}), 7.0);
    Vector3 turned = Base::RotateVectorAroundAxis(a, Vector3{0, 0, 1}, float(Base::Pi / 2));
    EXPECT_NEAR(turned.x, 0, 1e-6);
    EXPECT_NEAR(turned.y, 1, 1e-6);
    EXPECT_EQ(Base::Lerp2d(Vector2{0, 0}, Vector2{2, 4}, 0.5f), (Vector2{1, 2}));
}

TEST(Maths, DistanceToSegmentUsesTheNearerEndBeyondTheEnds) {
    struct Segment {
        Vector3 start, end;
    } s{{0, 0, 0}, {10, 0, 0}};
    EXPECT_FLOAT_EQ(Base::DistancePointToSegment(s, Vector3{5, 3, 0}), 3);
    EXPECT_FLOAT_EQ(Base::DistancePointToSegment(Vector3{-3, 4, 0}, s), 5);
    EXPECT_FLOAT_EQ(Base::DistancePointToSegment(s, Vector3{13, 0, 4}), 5);
    struct Segment2 {
        Vector2 start, end;
    } flat{{0, 0}, {0, 10}};
    EXPECT_FLOAT_EQ(Base::DistancePointToSegment2D(flat, Vector2{2, 5}), 2);
    EXPECT_FLOAT_EQ(Base::DistancePointToSegment2D(flat, Vector2{0, -1}), 1);
}

TEST(Maths, TrianglePlaneAndDistance) {
    // Faces up in this vertex order, as the terrain's cells do.
    Base::Triangle t{{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}};
    Base::Plane plane = Base::TrianglePlane(t);
    EXPECT_EQ(plane.normal, (Vector3{0, 1, 0}));
    EXPECT_EQ(plane.distance, 0.0f);
    struct Case {
        Vector3 point;
        float distance;
    } cases[] = {
        {{0.25f, 2, 0.25f}, 2},       // above the inside
        {{0.25f, -3, 0.25f}, 3},      // below
        {{-1, 0, 0.5f}, 1},           // beside the edge on x = 0
        {{0.5f, 0, -2}, 2},           // beside the edge on z = 0
        {{-3, 4, 0.5f}, 5},           // beside and above
        {{1, 0, 1}, std::sqrt(0.5f)}, // beyond the slanted edge
    };
    for (const auto& c : cases)
        EXPECT_NEAR(Base::DistancePointToTriangle(c.point, t), c.distance, 1e-5)
            << c.point.x << " " << c.point.y << " " << c.point.z;
    // Beside an obtuse corner the nearest point lies on the second edge the point is outside of, not at
    // the corner that the first such edge ends in.
    Base::Triangle obtuse{{{0, 0, 0}, {4, 0, 0}, {-2, 0, 1}}};
    EXPECT_NEAR(Base::DistancePointToTriangle(Vector3{-1, 0, -1}, obtuse), std::sqrt(1.8f), 1e-5);
    Base::Triangle flat{{{0, 0, 0}, {0, 0, 0}, {2, 0, 0}}};
    EXPECT_NEAR(Base::DistancePointToTriangle(Vector3{1, 3, 0}, flat), 3, 1e-6);
}
