// Vertex element writers and readers for every declaration type; tangents against a per-triangle formula
// written with Eigen.
#include "rwsdk/world/pipe/p2/d3d9/d3d9pack.h"

#include <d3d9.h>
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <array>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<RwUInt8>;

template <class T> T At(const Bytes& b, size_t index) {
    T v;
    std::memcpy(&v, b.data() + index * sizeof(T), sizeof(T));
    return v;
}

struct PackCase {
    RwUInt32 type;
    RwV3d in;
    RwUInt32 size;
    Bytes expected; // empty: nothing written
};

Bytes Le16(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) {
        b.push_back(RwUInt8(v & 0xFF));
        b.push_back(RwUInt8((v >> 8) & 0xFF));
    }
    return b;
}

Bytes Le32(RwUInt32 v) {
    return {RwUInt8(v), RwUInt8(v >> 8), RwUInt8(v >> 16), RwUInt8(v >> 24)};
}

Bytes Floats(std::initializer_list<float> values) {
    Bytes b(values.size() * 4);
    std::memcpy(b.data(), std::data(values), b.size());
    return b;
}

TEST(VertexPack, EveryDeclarationType) {
    const std::vector<PackCase> cases = {
        {D3DDECLTYPE_FLOAT1, {1.5f, 2, 3}, 4, Floats({1.5f})},
        {D3DDECLTYPE_FLOAT2, {1.5f, 2, 3}, 8, Floats({1.5f, 2})},
        {D3DDECLTYPE_FLOAT3, {1.5f, 2, 3}, 12, Floats({1.5f, 2, 3})},
        {D3DDECLTYPE_FLOAT4, {1.5f, 2, 3}, 16, Floats({1.5f, 2, 3, 1})},
        {D3DDECLTYPE_D3DCOLOR, {1, 0.5f, 0}, 4, {0, 128, 255, 255}},
        {D3DDECLTYPE_UBYTE4, {3, 7.6f, 200}, 4, {3, 8, 200, 1}},
        {D3DDECLTYPE_SHORT2, {-3, 700.4f, 9}, 4, Le16({-3, 700})},
        {D3DDECLTYPE_SHORT4, {-3, 700.4f, 9}, 8, Le16({-3, 700, 9, 1})},
        {D3DDECLTYPE_UBYTE4N, {1, 0.5f, 0}, 4, {255, 128, 0, 255}},
        {D3DDECLTYPE_SHORT2N, {1, -0.5f, 0}, 4, Le16({32767, -16384})},
        {D3DDECLTYPE_SHORT4N, {1, -0.5f, -1}, 8, Le16({32767, -16384, -32767, 32767})},
        {D3DDECLTYPE_USHORT2N, {1, 0.5f, 0}, 4, Le16({65535, 32768})},
        {D3DDECLTYPE_USHORT4N, {1, 0.5f, 0}, 8, Le16({65535, 32768, 0, 65535})},
        {D3DDECLTYPE_UDEC3, {5, 1023, 1024}, 4, Le32(5u | (1023u << 10) | (0u << 20))},
        {D3DDECLTYPE_DEC3N, {1, 1, 1}, 4, Le32(511u | (511u << 10) | (511u << 20))},
        {D3DDECLTYPE_DEC3N, {-1, 0, 0.5f}, 4, Le32(0x201u | (0u << 10) | (256u << 20))},
        {D3DDECLTYPE_FLOAT16_2, {1, 1, 1}, 4, {}},
        {D3DDECLTYPE_FLOAT16_4, {1, 1, 1}, 8, {}},
    };
    for (const PackCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        Bytes out(2 * 20, 0xEE);
        const RwV3d in[2] = {c.in, c.in};
        EXPECT_EQ(_rpD3D9VertexDeclarationGetSize(c.type), c.size);
        ASSERT_EQ(_rpD3D9VertexDeclarationInstV3d(c.type, out.data(), in, 2, 20), c.size);
        for (size_t v = 0; v < 2; ++v) {
            if (c.expected.empty()) {
                for (size_t i = 0; i < 20; ++i)
                    EXPECT_EQ(out[v * 20 + i], 0xEE) << "half floats write nothing";
            } else {
                EXPECT_EQ(Bytes(out.begin() + v * 20, out.begin() + v * 20 + c.size), c.expected);
                EXPECT_EQ(out[v * 20 + c.size], 0xEE) << "nothing past the element";
            }
        }
    }
}

TEST(VertexPack, NormalisedTypesReadBack) {
    const RwV3d in = {0.25f, -0.5f, 0.75f};
    struct Back {
        RwUInt32 type;
        int components;
        bool signedType;
        float tolerance;
    };
    for (const Back& b :
         {Back{D3DDECLTYPE_SHORT4N, 3, true, 1e-4f}, Back{D3DDECLTYPE_DEC3N, 3, true, 2e-3f},
          Back{D3DDECLTYPE_FLOAT3, 3, true, 0.0f}, Back{D3DDECLTYPE_SHORT2N, 2, true, 1e-4f},
          Back{D3DDECLTYPE_USHORT4N, 3, false, 1e-4f}, Back{D3DDECLTYPE_UBYTE4N, 3, false, 4e-3f},
          Back{D3DDECLTYPE_D3DCOLOR, 3, false, 4e-3f}}) {
        SCOPED_TRACE(testing::Message() << "type " << b.type);
        RwUInt8 element[16] = {};
        const RwV3d src = b.signedType ? in : RwV3d{0.25f, 0.5f, 0.75f};
        _rpD3D9VertexDeclarationInstV3d(b.type, element, &src, 1, 16);
        RwV3d back;
        _rpD3D9VertexDeclarationUnpackV3d(b.type, &back, element);
        EXPECT_NEAR(back.x, src.x, b.tolerance);
        EXPECT_NEAR(back.y, src.y, b.tolerance);
        EXPECT_NEAR(back.z, b.components == 3 ? src.z : 0.0f, b.tolerance);
    }
}

TEST(VertexPack, CompressedMorphedAndTextureSources) {
    const RwInt8 compressed[4] = {127, -128, 64, 0};
    RwReal out[3];
    EXPECT_EQ(_rpD3D9VertexDeclarationInstV3dComp(D3DDECLTYPE_FLOAT3, out, compressed, 1, 12), 12u);
    EXPECT_FLOAT_EQ(out[0], 127 / 128.0f);
    EXPECT_FLOAT_EQ(out[1], -1.0f);
    EXPECT_FLOAT_EQ(out[2], 0.5f);

    const RwV3d start = {0, 10, -2}, end = {4, 20, 2};
    EXPECT_EQ(_rpD3D9VertexDeclarationInstV3dMorph(D3DDECLTYPE_FLOAT3, out, &start, &end, 0.25f, 1, 12), 12u);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 12.5f);
    EXPECT_FLOAT_EQ(out[2], -1.0f);

    const RwTexCoords uv[2] = {{0.25f, 0.5f}, {1.0f, 0.0f}};
    RwReal packed[4];
    EXPECT_EQ(_rpD3D9VertexDeclarationInstV2d(D3DDECLTYPE_FLOAT2, packed, uv, 2, 8), 8u);
    EXPECT_EQ(std::memcmp(packed, uv, 16), 0);
    RwInt16 shorts[4];
    EXPECT_EQ(_rpD3D9VertexDeclarationInstV2d(D3DDECLTYPE_SHORT2N, shorts, uv, 2, 4), 4u);
    EXPECT_EQ(shorts[0], 8192);
    EXPECT_EQ(shorts[1], 16384);
    EXPECT_EQ(shorts[2], 32767);
    EXPECT_EQ(shorts[3], 0);
    RwTexCoords back;
    _rpD3D9VertexDeclarationUnpackV2d(D3DDECLTYPE_SHORT2N, &back, shorts);
    EXPECT_NEAR(back.u, 0.25f, 1e-4f);
    EXPECT_NEAR(back.v, 0.5f, 1e-4f);
}

TEST(VertexPack, PrelitColoursAndTheirAlpha) {
    const RwRGBA opaque[2] = {{1, 2, 3, 255}, {200, 100, 50, 255}};
    Bytes out(16, 0);
    EXPECT_FALSE(_rpD3D9VertexDeclarationInstColor(out.data(), opaque, 2, 8));
    EXPECT_EQ(At<RwUInt32>(out, 0), 0xFF010203u);
    EXPECT_EQ(At<RwUInt32>(out, 2), 0xFFC86432u);
    const RwRGBA translucent[2] = {{1, 2, 3, 255}, {0, 0, 0, 254}};
    EXPECT_TRUE(_rpD3D9VertexDeclarationInstColor(out.data(), translucent, 2, 4));
    EXPECT_EQ(At<RwUInt32>(out, 1), 0xFE000000u);
}

// The per-triangle tangent: the direction of increasing u on the triangle's plane.
Eigen::Vector3d TriangleTangent(const Eigen::Vector3d p[3], const Eigen::Vector2d uv[3]) {
    Eigen::Matrix<double, 3, 2> edges;
    edges << p[1] - p[0], p[2] - p[0];
    Eigen::Matrix2d duv;
    duv << uv[1] - uv[0], uv[2] - uv[0];
    // edges = [T B] * duv, so [T B] = edges * duv^-1.
    const Eigen::Matrix<double, 3, 2> tb = edges * duv.inverse();
    return tb.col(0);
}

TEST(VertexPack, TangentsMatchThePerTriangleFormula) {
    // A bent strip of quads, with u along the strip and v across it, unevenly spaced; one triangle has a
    // degenerate mapping and adds nothing.
    std::vector<RwV3d> positions;
    std::vector<RwTexCoords> uv;
    const float xs[4] = {0.0f, 1.0f, 2.5f, 3.0f};
    for (int i = 0; i < 4; ++i) {
        const float z = 0.3f * i * i;
        positions.push_back({xs[i], 0.0f, z});
        positions.push_back({xs[i], 1.0f + 0.2f * i, z});
        uv.push_back({0.1f * i * i + 0.2f * i, 0.0f});
        uv.push_back({0.1f * i * i + 0.2f * i, 1.0f});
    }
    positions.push_back({5, 5, 5});
    uv.push_back({0.5f, 0.5f});
    const std::vector<RwUInt16> list = {0, 2, 1, 1, 2, 3, 2, 4, 3, 3, 4, 5, 8, 8, 8};
    const std::vector<RwUInt16> strip = {0, 1, 2, 3, 3, 4, 4, 5, 6, 7};
    const RwInt32 numVerts = RwInt32(positions.size());

    auto expected = [&](const std::vector<std::array<int, 3>>& triangles) {
        std::vector<Eigen::Vector3d> sum(numVerts, Eigen::Vector3d::Zero());
        for (const auto& t : triangles) {
            Eigen::Vector3d p[3];
            Eigen::Vector2d st[3];
            for (int k = 0; k < 3; ++k) {
                p[k] = {positions[t[k]].x, positions[t[k]].y, positions[t[k]].z};
                st[k] = {uv[t[k]].u, uv[t[k]].v};
            }
            Eigen::Matrix2d duv;
            duv << st[1] - st[0], st[2] - st[0];
            if (std::abs(duv.determinant()) <= 1e-12)
                continue;
            const Eigen::Vector3d tangent = TriangleTangent(p, st);
            for (int k = 0; k < 3; ++k)
                sum[t[k]] += tangent;
        }
        for (auto& s : sum)
            if (s.norm() > 0)
                s.normalize();
        return sum;
    };
    auto check = [&](const RpD3D9TangentMesh& mesh, const std::vector<std::array<int, 3>>& triangles) {
        std::vector<RwV3d> out(numVerts);
        _rpD3D9ComputeTangents(out.data(), positions.data(), uv.data(), numVerts, &mesh, 1);
        const auto want = expected(triangles);
        for (RwInt32 i = 0; i < numVerts; ++i) {
            EXPECT_NEAR(out[i].x, want[i].x(), 1e-5) << "vertex " << i;
            EXPECT_NEAR(out[i].y, want[i].y(), 1e-5) << "vertex " << i;
            EXPECT_NEAR(out[i].z, want[i].z(), 1e-5) << "vertex " << i;
        }
    };
    {
        SCOPED_TRACE("list");
        check({list.data(), RwUInt32(list.size()), FALSE, 0},
              {{0, 2, 1}, {1, 2, 3}, {2, 4, 3}, {3, 4, 5}, {8, 8, 8}});
    }
    {
        SCOPED_TRACE("strip");
        check({strip.data(), RwUInt32(strip.size()), TRUE, 0}, {{0, 1, 2}, {3, 2, 1}, {4, 5, 6}, {7, 6, 5}});
    }
    // Written through the packer as DEC3N.
    const RpD3D9TangentMesh mesh = {list.data(), RwUInt32(list.size()), FALSE, 0};
    std::vector<RwUInt32> packed(numVerts);
    EXPECT_EQ(_rpD3D9VertexDeclarationInstTangent(D3DDECLTYPE_DEC3N, packed.data(), positions.data(),
                                                  uv.data(), numVerts, &mesh, 1, 4),
              4u);
    RwV3d back;
    _rpD3D9VertexDeclarationUnpackV3d(D3DDECLTYPE_DEC3N, &back, &packed[0]);
    const auto want = expected({{0, 2, 1}, {1, 2, 3}, {2, 4, 3}, {3, 4, 5}});
    EXPECT_NEAR(back.x, want[0].x(), 2e-3);
    EXPECT_NEAR(back.z, want[0].z(), 2e-3);
}

TEST(VertexPack, DegenerateMappingAddsNothing) {
    const RwV3d positions[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const RwTexCoords uv[3] = {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}};
    const RwUInt16 indices[3] = {0, 1, 2};
    const RpD3D9TangentMesh mesh = {indices, 3, FALSE, 0};
    RwV3d out[3];
    _rpD3D9ComputeTangents(out, positions, uv, 3, &mesh, 1);
    for (const RwV3d& t : out) {
        EXPECT_EQ(t.x, 0.0f);
        EXPECT_EQ(t.y, 0.0f);
        EXPECT_EQ(t.z, 0.0f);
    }
}

} // namespace
