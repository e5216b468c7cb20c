// Vectors, table roots, transform routines and matrices against std::sqrt, GLM and Eigen.
#include "MathsFixture.h"

#include "rwsdk/driver/common/cpuext.h"

#include <Eigen/Dense>
#include <glm/gtc/matrix_transform.hpp>

#include <bit>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr RwInt32 errorInvalidEnum = static_cast<RwInt32>(0x80000003u);

Eigen::Matrix3d Eigen3x3(const RwMatrix& m) {
    Eigen::Matrix3d e;
    e << m.right.x, m.right.y, m.right.z, m.up.x, m.up.y, m.up.z, m.at.x, m.at.y, m.at.z;
    return e;
}

Eigen::Vector3d Eigen3(const RwV3d& v) {
    return {v.x, v.y, v.z};
}

using Maths = MathsEngine;

TEST_F(Maths, TableRootsOfExactValues) {
    EXPECT_EQ(RwSquareRoot(4.0f), 2.0f);
    EXPECT_EQ(RwSquareRoot(1.0f), 1.0f);
    EXPECT_EQ(RwSquareRoot(2.0f), std::sqrt(2.0f));
    EXPECT_EQ(RwSquareRoot(0.0f), 0.0f);
    EXPECT_EQ(RwInverseSquareRoot(1.0f), 1.0f);
    EXPECT_EQ(RwInverseSquareRoot(0.0f), 0.0f);
    EXPECT_EQ(RwInverseSquareRoot(4.0f), 0.5f);
}

// Inputs are rounded to the nearest of 2048 steps per binade (half a step is 2^-12 relative), so both
// roots are within 2^-13 plus the rounding of the tabled value.
TEST_F(Maths, TableRootsStayWithinTheirErrorBound) {
    double worstRoot = 0.0, worstInverse = 0.0;
    for (RwUInt32 bits = 0x00800000u; bits < 0x7F000000u; bits += 0x3FFu) {
        const float v = std::bit_cast<float>(bits);
        const double root = std::sqrt(static_cast<double>(v));
        worstRoot = std::max(worstRoot, std::abs(RwSquareRoot(v) - root) / root);
        worstInverse = std::max(worstInverse, std::abs(RwInverseSquareRoot(v) * root - 1.0));
    }
    EXPECT_LE(worstRoot, rwSQRTTABLEERROR);
    EXPECT_LE(worstInverse, rwSQRTTABLEERROR);
    EXPECT_GT(worstRoot, rwSQRTTABLEERROR / 2); // the bound is tight, not vacuous
}

TEST_F(Maths, NormaliseAndLength) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    for (int i = 0; i < 1000; ++i) {
        const RwV3d v{value(random), value(random), value(random)};
        const glm::vec3 g(v.x, v.y, v.z);
        RwV3d n;
        const float length = RwVector3Normalize(&n, &v);
        EXPECT_NEAR(length, glm::length(g), glm::length(g) * rwSQRTTABLEERROR);
        EXPECT_NEAR(RwV3dLength(&v), glm::length(g), glm::length(g) * rwSQRTTABLEERROR);
        const glm::vec3 reference = glm::normalize(g);
        EXPECT_NEAR(n.x, reference.x, 2 * rwSQRTTABLEERROR);
        EXPECT_NEAR(n.y, reference.y, 2 * rwSQRTTABLEERROR);
        EXPECT_NEAR(n.z, reference.z, 2 * rwSQRTTABLEERROR);
    }
    EXPECT_EQ(PendingError(), static_cast<RwInt32>(0x80000000u));
}

TEST_F(Maths, NormalisingZeroReportsError25) {
    const RwV3d zero{0.0f, 0.0f, 0.0f};
    RwV3d out{1.0f, 1.0f, 1.0f};
    EXPECT_EQ(RwVector3Normalize(&out, &zero), 0.0f);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);
    RwError e;
    RwErrorGet(&e);
    EXPECT_EQ(e.pluginID, 1);
    EXPECT_EQ(e.errorCode, 25);
}

TEST_F(Maths, BoundingBox) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    std::vector<RwV3d> points(257);
    for (RwV3d& p : points)
        p = {value(random), value(random), value(random)};
    RwBBox box;
    ASSERT_EQ(RwBoundingBoxCalculate(&box, points.data(), static_cast<RwInt32>(points.size())), &box);
    auto [minX, maxX] =
        std::minmax_element(points.begin(), points.end(), [](auto& a, auto& b) { return a.x < b.x; });
    auto [minZ, maxZ] =
        std::minmax_element(points.begin(), points.end(), [](auto& a, auto& b) { return a.z < b.z; });
    EXPECT_EQ(box.inf.x, minX->x);
    EXPECT_EQ(box.sup.x, maxX->x);
    EXPECT_EQ(box.inf.z, minZ->z);
    EXPECT_EQ(box.sup.z, maxZ->z);
    ASSERT_EQ(RwBoundingBoxCalculate(&box, points.data(), 1), &box);
    EXPECT_EQ(box.sup.y, points[0].y);
    EXPECT_EQ(box.inf.y, points[0].y);
    EXPECT_EQ(RwBoundingBoxCalculate(&box, points.data(), 0), nullptr);
}

struct RoutineSet {
    const char* name;
    RwCpuTransformRoutines routines;
};

// Every set gives the default routines' results bit for bit, GLM's within rounding, in place too.
TEST_F(Maths, EveryTransformSetAgreesWithGlm) {
    const RoutineSet sets[] = {
        {"default",
         {RwVector3DefaultTransformPoint, RwVector3DefaultTransformPoints, RwVector3DefaultTransformVector,
          RwVector3DefaultTransformVectors}},
        {"x87", rwCpuX87Routines},
        {"sse", rwCpuSSERoutines},
        {"sse components", rwCpuSSEComponentRoutines},
    };
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-10.0f, 10.0f);
    const RwMatrix m = RandomMatrix(random, 3.0f);
    const glm::mat4 g = ToGlm(m);
    std::vector<RwV3d> in(101);
    for (RwV3d& p : in)
        p = {value(random), value(random), value(random)};
    std::vector<RwV3d> expectPoints(in.size()), expectVectors(in.size());
    RwVector3DefaultTransformPoints(expectPoints.data(), in.data(), 101, &m);
    RwVector3DefaultTransformVectors(expectVectors.data(), in.data(), 101, &m);
    for (std::size_t i = 0; i < in.size(); ++i) {
        const glm::vec4 p = g * glm::vec4(in[i].x, in[i].y, in[i].z, 1.0f);
        const glm::vec4 v = g * glm::vec4(in[i].x, in[i].y, in[i].z, 0.0f);
        EXPECT_NEAR(expectPoints[i].x, p.x, 1e-4f);
        EXPECT_NEAR(expectPoints[i].z, p.z, 1e-4f);
        EXPECT_NEAR(expectVectors[i].y, v.y, 1e-4f);
    }
    for (const RoutineSet& set : sets) {
        SCOPED_TRACE(set.name);
        ASSERT_EQ(RwVector3SetTransformRoutines(set.routines.point, set.routines.points, set.routines.vector,
                                                set.routines.vectors),
                  1);
        std::vector<RwV3d> points = in, vectors = in;
        RwVector3TransformPoints(points.data(), points.data(), 101, &m);
        RwVector3TransformVectors(vectors.data(), vectors.data(), 101, &m);
        for (std::size_t i = 0; i < in.size(); ++i) {
            RwV3d one, oneVector;
            RwVector3TransformPoint(&one, &in[i], &m);
            RwVector3TransformVector(&oneVector, &in[i], &m);
            for (const RwV3d* p : {&points[i], &one})
                EXPECT_EQ(std::memcmp(p, &expectPoints[i], sizeof(RwV3d)), 0) << i;
            for (const RwV3d* v : {&vectors[i], &oneVector})
                EXPECT_EQ(std::memcmp(v, &expectVectors[i], sizeof(RwV3d)), 0) << i;
        }
    }
    // Null arguments put the defaults back.
    RwVector3SetTransformRoutines(RwX87TransformPoint, nullptr, nullptr, nullptr);
    RwVectorModuleData* data = ModuleData<RwVectorModuleData>(rwID_VECTORMODULE);
    EXPECT_EQ(data->transformPoint, RwX87TransformPoint);
    EXPECT_EQ(data->transformPoints, RwVector3DefaultTransformPoints);
    EXPECT_EQ(data->transformVectors, RwVector3DefaultTransformVectors);
}

TEST_F(Maths, CreateGivesIdentity) {
    RwMatrix* m = RwMatrixCreate();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->flags, 0x20003u);
    EXPECT_TRUE(MatrixNear(*m, glm::mat4(1.0f), 0.0f));
    RwMatrixUpdate(m);
    EXPECT_EQ(m->flags, 0u);
    EXPECT_EQ(RwMatrixDestroy(m), 1);
}

// The engine's a x b is GLM's B * A; the product's flags are both flags ANDed.
TEST_F(Maths, MultiplyMatchesGlm) {
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        RwMatrix a = RandomMatrix(random), b = RandomMatrix(random), out;
        a.flags = 0x3 | 0x100;
        b.flags = 0x1 | 0x100;
        RwMatrixMultiply(&out, &a, &b);
        EXPECT_TRUE(MatrixNear(out, ToGlm(b) * ToGlm(a), 1e-5f));
        EXPECT_EQ(out.flags, 0x101u);
        RwMatrix aliased = a;
        RwMatrixMultiply(&aliased, &aliased, &b);
        EXPECT_TRUE(MatrixNear(aliased, ToGlm(b) * ToGlm(a), 1e-5f));
        aliased = b;
        RwMatrixMultiply(&aliased, &a, &aliased);
        EXPECT_TRUE(MatrixNear(aliased, ToGlm(b) * ToGlm(a), 1e-5f));
    }
    // The x87 routine is the same product.
    RwMatrix a = RandomMatrix(random), b = RandomMatrix(random), viaX87, viaDefault;
    RwX87MatrixMultiply(&viaX87, &a, &b);
    RwMatrixDefaultMultiply(&viaDefault, &a, &b);
    EXPECT_TRUE(MatrixNear(viaX87, ToGlm(viaDefault), 0.0f));
}

TEST_F(Maths, MultiplyTrustsTheIdentityFlag) {
    std::mt19937 random(8);
    RwMatrix a = RandomMatrix(random), b = RandomMatrix(random), out;
    a.flags = 0x20003;
    b.flags = 0x2;
    RwMatrixMultiply(&out, &a, &b);
    EXPECT_EQ(std::memcmp(&out, &b, sizeof(RwMatrix)), 0);
    a.flags = 0x1;
    b.flags = 0x20003;
    RwMatrixMultiply(&out, &a, &b);
    EXPECT_EQ(std::memcmp(&out, &a, sizeof(RwMatrix)), 0);
}

TEST_F(Maths, InvertMatchesGlmAndEigen) {
    std::mt19937 random(9);
    for (int i = 0; i < 200; ++i) {
        RwMatrix m = RandomMatrix(random), out;
        m.flags = 0;
        if (std::abs(RwMatrixDeterminant(&m)) < 0.1f)
            continue;
        EXPECT_NEAR(RwMatrixDeterminant(&m), Eigen3x3(m).determinant(),
                    1e-4 * (1 + std::abs(Eigen3x3(m).determinant())));
        RwMatrixInvert(&out, &m);
        EXPECT_TRUE(MatrixNear(out, glm::inverse(ToGlm(m)), 1e-3f));
        EXPECT_EQ(out.flags, 0u);
        const Eigen::Matrix3d inverse = Eigen3x3(m).inverse();
        EXPECT_TRUE(Eigen3x3(out).isApprox(inverse, 1e-4));
        RwMatrixInvert(&m, &m); // in place
        EXPECT_TRUE(MatrixNear(m, ToGlm(out), 0.0f));
    }
    for (int i = 0; i < 100; ++i) {
        const glm::vec3 axis = RandomUnit(random);
        glm::mat4 g = glm::rotate(glm::mat4(1.0f), 0.1f + i * 0.06f, axis);
        g[3] = glm::vec4(axis * 7.0f, 1.0f);
        RwMatrix m = FromGlm(g, 3), out;
        RwMatrixInvert(&out, &m);
        EXPECT_EQ(out.flags, 3u);
        EXPECT_TRUE(MatrixNear(out, glm::inverse(g), 1e-5f));
        // The transpose inverse: exact 3x3 transpose.
        EXPECT_EQ(out.right.y, m.up.x);
        EXPECT_EQ(out.at.x, m.right.z);
    }
}

TEST_F(Maths, InvertingASingularMatrixTakesDeterminantOne) {
    RwMatrix m{};
    m.right = {1, 2, 3};
    m.up = {2, 4, 6};
    m.at = {0, 0, 1};
    m.pos = {1, 0, 0};
    ASSERT_EQ(RwMatrixDeterminant(&m), 0.0f);
    RwMatrix out;
    RwMatrixInvert(&out, &m);
    // The adjugate itself.
    EXPECT_TRUE(MatrixNear(out,
                           ToGlm(FromGlm(glm::mat4(glm::vec4(4, -2, 0, 0), glm::vec4(-2, 1, 0, 0),
                                                   glm::vec4(0, 0, 0, 0), glm::vec4(-4, 2, 0, 1)))),
                           0.0f));
}

TEST_F(Maths, RotateAboutZOnIdentity) {
    RwMatrix* m = RwMatrixCreate();
    const RwV3d z{0, 0, 1};
    ASSERT_EQ(RwMatrixRotate(m, &z, 90.0f, rwCOMBINEPRECONCAT), m);
    EXPECT_NEAR(m->right.x, 0.0f, 1e-6f);
    EXPECT_NEAR(m->right.y, 1.0f, 1e-6f);
    EXPECT_NEAR(m->up.x, -1.0f, 1e-6f);
    EXPECT_NEAR(m->up.y, 0.0f, 1e-6f);
    EXPECT_EQ(m->flags, 3u);
    RwMatrixDestroy(m);
}

// Rotate, scale, translate and transform with each combine operation against the GLM product.
TEST_F(Maths, CombineOperationsMatchGlm) {
    std::mt19937 random(12);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    for (int i = 0; i < 100; ++i) {
        const RwMatrix start = RandomMatrix(random);
        const glm::mat4 g = ToGlm(start);
        const glm::vec3 axis = RandomUnit(random);
        const float degrees = value(random) * 50.0f;
        const glm::mat4 rotation = glm::rotate(glm::mat4(1.0f), glm::radians(degrees), axis);
        const glm::vec3 s(value(random), value(random), value(random));
        const glm::vec3 t(value(random), value(random), value(random));
        const RwV3d rwAxis{axis.x, axis.y, axis.z}, rwS{s.x, s.y, s.z}, rwT{t.x, t.y, t.z};
        RwMatrix transform = RandomMatrix(random);
        transform.flags = 0;
        const glm::mat4 gt = ToGlm(transform);

        struct Case {
            const char* name;
            RwOpCombineType combine;
            glm::mat4 expect;
            float tolerance;
        };
        const glm::mat4 scale = glm::scale(glm::mat4(1.0f), s);
        const glm::mat4 translation = glm::translate(glm::mat4(1.0f), t);
        const Case rotations[] = {{"rotate replace", rwCOMBINEREPLACE, rotation, 4e-4f},
                                  {"rotate pre", rwCOMBINEPRECONCAT, g * rotation, 4e-4f},
                                  {"rotate post", rwCOMBINEPOSTCONCAT, rotation * g, 4e-4f}};
        for (const Case& c : rotations) {
            SCOPED_TRACE(c.name);
            RwMatrix m = start;
            m.flags = 0x3;
            ASSERT_EQ(RwMatrixRotate(&m, &rwAxis, degrees, c.combine), &m);
            EXPECT_TRUE(MatrixNear(m, c.expect, c.tolerance));
            EXPECT_EQ(m.flags, 3u);
        }
        const Case scales[] = {{"scale replace", rwCOMBINEREPLACE, scale, 1e-6f},
                               {"scale pre", rwCOMBINEPRECONCAT, g * scale, 1e-5f},
                               {"scale post", rwCOMBINEPOSTCONCAT, scale * g, 1e-5f}};
        for (const Case& c : scales) {
            SCOPED_TRACE(c.name);
            RwMatrix m = start;
            m.flags = 0x20003 | 0x40;
            ASSERT_EQ(RwMatrixScale(&m, &rwS, c.combine), &m);
            EXPECT_TRUE(MatrixNear(m, c.expect, c.tolerance));
            EXPECT_EQ(m.flags, 0x40u);
        }
        const Case translations[] = {{"translate replace", rwCOMBINEREPLACE, translation, 1e-6f},
                                     {"translate pre", rwCOMBINEPRECONCAT, g * translation, 1e-5f},
                                     {"translate post", rwCOMBINEPOSTCONCAT, translation * g, 1e-5f}};
        for (const Case& c : translations) {
            SCOPED_TRACE(c.name);
            RwMatrix m = start;
            m.flags = 0x20001;
            ASSERT_EQ(RwMatrixTranslate(&m, &rwT, c.combine), &m);
            EXPECT_TRUE(MatrixNear(m, c.expect, c.tolerance));
            EXPECT_EQ(m.flags, c.combine == rwCOMBINEREPLACE ? 3u : 1u);
        }
        const Case transforms[] = {{"transform replace", rwCOMBINEREPLACE, gt, 0.0f},
                                   {"transform pre", rwCOMBINEPRECONCAT, g * gt, 1e-5f},
                                   {"transform post", rwCOMBINEPOSTCONCAT, gt * g, 1e-5f}};
        for (const Case& c : transforms) {
            SCOPED_TRACE(c.name);
            RwMatrix m = start;
            m.flags = 0x3;
            ASSERT_EQ(RwMatrixTransform(&m, &transform, c.combine), &m);
            EXPECT_TRUE(MatrixNear(m, c.expect, c.tolerance));
            EXPECT_EQ(m.flags, 0u);
        }
    }
}

TEST_F(Maths, RotateByCosineSineOnAFlaggedIdentityReplaces) {
    RwMatrix m = FromGlm(glm::mat4(2.0f), 0x20003); // the flag is trusted over the elements
    const RwV3d x{1, 0, 0};
    RwMatrixRotateByCosineSine(&m, &x, 1.0f, 1.0f, rwCOMBINEPOSTCONCAT);
    EXPECT_TRUE(MatrixNear(m, glm::rotate(glm::mat4(1.0f), glm::radians(90.0f), glm::vec3(1, 0, 0)), 1e-6f));
    EXPECT_EQ(m.flags, 3u);
}

TEST_F(Maths, TranslateReplaceKeepsOrthonormalFlags) {
    RwMatrix* m = RwMatrixCreate();
    const RwV3d t{1, 2, 3};
    RwMatrixTranslate(m, &t, rwCOMBINEREPLACE);
    EXPECT_EQ(m->flags, 3u);
    RwMatrixDestroy(m);
}

TEST_F(Maths, InvalidCombineFailsAndLeavesTheMatrix) {
    std::mt19937 random(4);
    const RwMatrix start = RandomMatrix(random);
    const RwV3d v{1, 2, 3};
    const auto combine = static_cast<RwOpCombineType>(5);
    RwMatrix m = start;
    EXPECT_EQ(RwMatrixScale(&m, &v, combine), nullptr);
    EXPECT_EQ(PendingError(), errorInvalidEnum);
    EXPECT_EQ(RwMatrixRotate(&m, &v, 30.0f, combine), nullptr);
    EXPECT_EQ(PendingError(), errorInvalidEnum);
    EXPECT_EQ(RwMatrixTranslate(&m, &v, combine), nullptr);
    EXPECT_EQ(PendingError(), errorInvalidEnum);
    EXPECT_EQ(RwMatrixTransform(&m, &start, combine), nullptr);
    EXPECT_EQ(PendingError(), errorInvalidEnum);
    EXPECT_EQ(std::memcmp(&m, &start, sizeof(RwMatrix)), 0);
}

TEST_F(Maths, OptimizeClassifiesByTheMeasures) {
    std::mt19937 random(13);
    std::uniform_real_distribution<float> noise(-0.08f, 0.08f);
    int normals = 0, orthogonals = 0, identities = 0;
    for (int i = 0; i < 500; ++i) {
        glm::mat4 g = i % 2 ? glm::rotate(glm::mat4(1.0f), 0.5f + i, RandomUnit(random)) : glm::mat4(1.0f);
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 3; ++r)
                g[c][r] += noise(random) * (i % 3);
        RwMatrix m = FromGlm(g, 0x20003 | 0x800);
        RwMatrixOptimize(&m, nullptr);
        const Eigen::Matrix3d e = Eigen3x3(m);
        double normality = 0.0;
        for (int r = 0; r < 3; ++r)
            normality += std::pow(e.row(r).squaredNorm() - 1.0, 2);
        const double orthogonality = std::pow(e.row(0).dot(e.row(1)), 2) +
                                     std::pow(e.row(0).dot(e.row(2)), 2) +
                                     std::pow(e.row(1).dot(e.row(2)), 2);
        const double identity = (e - Eigen::Matrix3d::Identity()).squaredNorm() + Eigen3(m.pos).squaredNorm();
        EXPECT_NEAR(RwMatrixNormalError(&m), normality, 1e-5);
        EXPECT_NEAR(RwMatrixOrthogonalError(&m), orthogonality, 1e-5);
        EXPECT_NEAR(RwMatrixIdentityError(&m), identity, 1e-5);
        const bool normal = normality <= 0.01, orthogonal = orthogonality <= 0.01;
        RwUInt32 expect = 0x800 | (normal ? 1u : 0u) | (orthogonal ? 2u : 0u);
        if (normal && orthogonal && identity <= 0.01)
            expect |= 0x20000;
        if (std::abs(normality - 0.01) > 1e-5 && std::abs(orthogonality - 0.01) > 1e-5 &&
            std::abs(identity - 0.01) > 1e-5) {
            EXPECT_EQ(m.flags, expect);
        }
        normals += normal;
        orthogonals += orthogonal;
        identities += (expect & 0x20000) != 0;
    }
    EXPECT_GT(normals, 50);
    EXPECT_LT(normals, 450);
    EXPECT_GT(orthogonals, 50);
    EXPECT_GT(identities, 20);
}

// Each case keeps one axis, rebuilds the second from it and the third input axis, and closes the basis.
TEST_F(Maths, OrthonormaliseKeepsTheChosenAxis) {
    std::mt19937 random(21);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    for (int i = 0; i < 300; ++i) {
        glm::mat4 g = glm::rotate(glm::mat4(1.0f), 0.3f + i, RandomUnit(random));
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < 3; ++r)
                g[c][r] = (g[c][r] + noise(random)) * (1.5f + noise(random));
        const int zeroAxis = i % 4; // 3: no zero axis
        if (zeroAxis < 3)
            g[zeroAxis] = glm::vec4(0.0f);
        RwMatrix in = FromGlm(g, 0x20000 | 0x10), out;
        in.pos = {4, 5, 6};
        RwMatrixOrthonormalize(&out, &in);
        EXPECT_EQ(out.flags, 0x13u);
        const Eigen::Matrix3d o = Eigen3x3(out);
        EXPECT_TRUE((o * o.transpose()).isApprox(Eigen::Matrix3d::Identity(), 2e-3)) << i;
        EXPECT_NEAR(o.determinant(), 1.0, 2e-3);
        EXPECT_EQ(out.pos.x, 4.0f);
        // Which axis the rule keeps (right 0, up 1, at 2), and which input axis the rebuilt one is normal to.
        Eigen::Matrix3d e = Eigen3x3(in);
        int kept;
        if (zeroAxis == 0) {
            kept = 1;
        } else if (zeroAxis == 1) {
            kept = 2;
        } else if (zeroAxis == 2) {
            kept = 0;
        } else {
            for (int r = 0; r < 3; ++r)
                e.row(r).normalize();
            const double d1 = std::abs(e.row(2).dot(e.row(1))), d2 = std::abs(e.row(2).dot(e.row(0))),
                         d3 = std::abs(e.row(1).dot(e.row(0)));
            if (std::abs(d1 - d2) < 1e-4 || std::abs(d1 - d3) < 1e-4 || std::abs(d2 - d3) < 1e-4)
                continue; // too close to call in single precision
            kept = d1 < d2 && d1 < d3 ? 1 : (d2 <= d1 && d2 < d3 ? 2 : 0);
        }
        const Eigen::Vector3d keptInput = e.row(kept).normalized();
        EXPECT_NEAR(o.row(kept).dot(keptInput), 1.0, 1e-3) << i;
        // Keep up: right = up x at; keep at: up = at x right; keep right: at = right x up.
        const int rebuilt = (kept + 2) % 3, other = (kept + 1) % 3;
        EXPECT_NEAR(o.row(rebuilt).dot(e.row(other).normalized()), 0.0, 1e-3) << i;
    }
}

TEST_F(Maths, QueryRotationRecoversAxisAndAngle) {
    std::mt19937 random(31);
    std::uniform_real_distribution<float> angle(1.0f, 179.0f);
    for (int i = 0; i < 300; ++i) {
        const glm::vec3 axis = RandomUnit(random);
        const float degrees = i == 0 ? 180.0f : angle(random);
        RwMatrix m = FromGlm(glm::rotate(glm::mat4(1.0f), glm::radians(degrees), axis), 3);
        RwV3d unit, centre;
        float queried = 0.0f;
        ASSERT_EQ(RwMatrixQueryRotation(&m, &unit, &queried, &centre), &m);
        EXPECT_NEAR(queried, degrees, 0.05f);
        const float dot = unit.x * axis.x + unit.y * axis.y + unit.z * axis.z;
        EXPECT_NEAR(i == 0 ? std::abs(dot) : dot, 1.0f, 1e-3f) << degrees;
    }
}

// The four feature tests against the compiler's own detection and the kernel's flags.
TEST(CpuFeatures, MatchTheCompilerAndKernel) {
    __builtin_cpu_init();
    EXPECT_EQ(RwCpuHasMMX(), __builtin_cpu_supports("mmx") != 0);
    EXPECT_EQ(RwCpuHasSSE(), __builtin_cpu_supports("sse") || __builtin_cpu_supports("sse2"));
    EXPECT_EQ(RwCpuHasSSE2(), __builtin_cpu_supports("sse2") != 0);
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    bool threeDNow = false, sawFlags = false;
    while (std::getline(cpuinfo, line))
        if (line.rfind("flags", 0) == 0) {
            std::istringstream words(line.substr(line.find(':') + 1));
            std::string word;
            while (words >> word)
                threeDNow |= word == "3dnow";
            sawFlags = true;
            break;
        }
    if (sawFlags) {
        EXPECT_EQ(RwCpuHas3DNow(), threeDNow);
    }
    const RwCpuFeatures features = RwCpuGetFeatures();
    EXPECT_EQ(features.sse2, RwCpuHasSSE2());
}

TEST(CpuFeatures, RoutineChoice) {
    struct Case {
        RwCpuFeatures features;
        const RwCpuTransformRoutines* expect;
    };
    const Case cases[] = {
        {{false, false, false, false}, &rwCpuX87Routines}, // no ID flag: every test answers false
        {{true, false, false, true}, &rwCpuX87Routines},
        {{true, true, false, false}, &rwCpuSSERoutines},
        {{true, true, true, true}, &rwCpuSSERoutines},
        {{true, true, true, false}, &rwCpuSSEComponentRoutines},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RwCpuChooseTransformRoutines(&c.features), c.expect);
}

TEST_F(Maths, DeviceStartInstallsTheChosenRoutines) {
    RwVectorModuleData* vectors = ModuleData<RwVectorModuleData>(rwID_VECTORMODULE);
    RwMatrixModuleData* matrices = ModuleData<RwMatrixModuleData>(rwID_MATRIXMODULE);
    const bool before = RwCpuGetFlushToZero();
    const RwCpuFeatures sse2 = {TRUE, TRUE, TRUE, FALSE};
    _rwCpuDeviceFinalizeStart(&sse2);
    EXPECT_EQ(vectors->transformPoints, RwSSEComponentTransformPoints);
    EXPECT_EQ(vectors->transformVector, RwSSEComponentTransformVector);
    EXPECT_EQ(matrices->multiply, RwX87MatrixMultiply);
    EXPECT_TRUE(RwCpuGetFlushToZero());
    _rwCpuDeviceInitiateStop(&sse2);
    EXPECT_FALSE(RwCpuGetFlushToZero());
    const RwCpuFeatures none = {FALSE, FALSE, FALSE, FALSE};
    _rwCpuDeviceFinalizeStart(&none);
    EXPECT_EQ(vectors->transformPoints, RwX87TransformPoints);
    EXPECT_FALSE(RwCpuGetFlushToZero()); // no SSE, no flush-to-zero
    _rwCpuDeviceInitiateStop(&none);
    RwCpuSetFlushToZero(before);
}

TEST(CpuFeatures, FlushToZeroFlushesDenormals) {
    const bool before = RwCpuSetFlushToZero(true);
    EXPECT_TRUE(RwCpuGetFlushToZero());
    volatile float tiny = 1e-30f, scale = 1e-10f;
    const float product = tiny * scale; // a denormal without flush-to-zero
    EXPECT_EQ(product, 0.0f);
    EXPECT_TRUE(RwCpuSetFlushToZero(false));
    EXPECT_FALSE(RwCpuGetFlushToZero());
    const float kept = tiny * scale;
    EXPECT_GT(kept, 0.0f);
    RwCpuSetFlushToZero(before);
    // The x87 precision calls change nothing the engine computes on this processor.
    RwProcessorSaveAndSetSinglePrecision();
    volatile double third = 1.0 / 3.0;
    EXPECT_EQ(third, 1.0 / 3.0);
    RwProcessorRestorePrecision();
}

} // namespace
