// Levels of detail, the shared strips and the slice vertices with their stitched edges.
#include "TerrainFixture.h"

#include <array>
#include <cmath>
#include <set>

using namespace TerrainFixture;

namespace {

TEST(TerrainGeometry, LevelsAtTheirThresholds) {
    struct Case {
        float distance;
        int texture, geometry;
    } cases[] = {
        {0, 0, 0},     {4000, 0, 0},  {5000, 0, 0},  {10700, 0, 0}, // texture: e = 6700 gives 0.991
        {10800, 1, 0}, {14300, 1, 0}, {14500, 1, 1},                // geometry: e = 9500 gives 1.009
        {1e5f, 3, 4},  {1e7f, 3, 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Obj::Terrain::TextureLevel(c.distance), c.texture) << c.distance;
        EXPECT_EQ(Obj::Terrain::GeometryLevel(c.distance), c.geometry) << c.distance;
    }
}

TEST(TerrainGeometry, StripIndicesForSmallSides) {
    EXPECT_EQ(Obj::Terrain::StripIndices(2), (std::vector<uint16_t>{0, 2, 1, 3, 3}));
    EXPECT_EQ(Obj::Terrain::StripPrimitives(2), 3u);
    EXPECT_EQ(Obj::Terrain::StripIndices(3),
              (std::vector<uint16_t>{0, 3, 1, 4, 2, 5, 5, 5, 8, 4, 7, 3, 6, 6}));
    EXPECT_EQ(Obj::Terrain::StripPrimitives(3), 12u);
    for (uint32_t m : {2u, 3u, 5u, 17u, 241u}) {
        const auto indices = Obj::Terrain::StripIndices(m);
        EXPECT_EQ(indices.size(), size_t(m - 1) * (2 * m + 1));
        EXPECT_EQ(Obj::Terrain::StripPrimitives(m), indices.size() - 2);
        EXPECT_EQ(*std::max_element(indices.begin(), indices.end()), m * m - 1);
    }
}

// The strip's proper triangles are exactly the cell triangles the hit tests use (level 0, N - 1 even).
TEST(TerrainGeometry, StripTrianglesAreTheHitTestTriangles) {
    Obj::Terrain terrain;
    ASSERT_TRUE(Build(terrain, Keys{}, RandomImage(65, 65, 1), Mask(4, 4, 255), Mask(4, 4, 0)));
    const uint32_t m = 17;
    const auto indices = Obj::Terrain::StripIndices(m);
    std::set<std::array<uint32_t, 3>> strip, cells;
    for (size_t k = 0; k + 2 < indices.size(); ++k) {
        std::array<uint32_t, 3> t{indices[k], indices[k + 1], indices[k + 2]};
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
            continue;
        std::sort(t.begin(), t.end());
        strip.insert(t);
    }
    const float cell = terrain.CellSize();
    for (int32_t z = 0; z < 16; ++z)
        for (int32_t x = 0; x < 16; ++x) {
            Obj::Terrain::Triangle tris[2];
            terrain.CellTriangles(x, z, tris[0], tris[1]);
            for (const auto& tri : tris) {
                std::array<uint32_t, 3> t;
                for (int k = 0; k < 3; ++k)
                    t[size_t(k)] = uint32_t(std::lround((tri.v[k].z + 1024) / cell)) * m +
                                   uint32_t(std::lround((tri.v[k].x + 2048) / cell));
                std::sort(t.begin(), t.end());
                cells.insert(t);
            }
        }
    EXPECT_EQ(strip.size(), 2u * 16 * 16);
    EXPECT_EQ(strip, cells);
}

class SliceVertices : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Build(terrain, Keys{}, RandomImage(65, 65, 4), Mask(4, 4, 255), Mask(4, 4, 0)));
        terrain.LoadNearSlices({0, 1024}, 1e6f);
    }
    const Obj::Terrain::LoadedSlice& Entry(int32_t i, int32_t j) {
        for (const auto& e : terrain.Grid().loaded)
            if (e.i == i && e.j == j)
                return e;
        throw std::runtime_error("slice not loaded");
    }
    struct Filled {
        std::vector<float> positions, attributes;
    };
    Filled Fill(int32_t i, int32_t j, uint8_t level, std::array<int8_t, 4> neighbours) {
        const uint32_t m = terrain.LevelSide(level);
        Filled f{std::vector<float>(m * m * 3), std::vector<float>(m * m * 7)};
        terrain.FillSliceVertices(Entry(i, j), level, neighbours.data(), f.positions.data(),
                                  f.attributes.data());
        return f;
    }
    Obj::Terrain terrain;
};

TEST_F(SliceVertices, PositionsAndAttributesAtALevel) {
    const auto f = Fill(1, 2, 2, {-1, -1, -1, -1});
    const uint32_t m = 5; // (17 - 1) >> 2 + 1
    ASSERT_EQ(terrain.LevelSide(2), m);
    // Vertex (u, v) = (3, 1): grid vertex (16 + 12, 32 + 4), relative to the slice centre.
    const float* p = &f.positions[(1 * m + 3) * 3];
    EXPECT_EQ(p[0], 12 * 64 - 512.0f);
    EXPECT_EQ(p[1], terrain.GetHeight(28, 36));
    EXPECT_EQ(p[2], 4 * 64 - 512.0f);
    const float* t = &f.attributes[(1 * m + 3) * 7];
    const Base::Vector3 n = Entry(1, 2).slice->normals[4 * 17 + 12];
    EXPECT_EQ(t[0], n.x);
    EXPECT_EQ(t[1], n.y);
    // The slice texture mirrored, from texel 1 to texel R - 1; the detail five times across.
    EXPECT_FLOAT_EQ(t[3], (1 - 3 / 4.0f) * (510 / 512.0f) + 1 / 512.0f);
    EXPECT_FLOAT_EQ(t[4], (1 - 1 / 4.0f) * (510 / 512.0f) + 1 / 512.0f);
    EXPECT_FLOAT_EQ(t[5], 5 * 3 / 4.0f);
    EXPECT_FLOAT_EQ(t[6], 5 * 1 / 4.0f);
}

// After a rebuild against coarser neighbours on each side in turn, every fine edge vertex lies on the
// coarse neighbour's own edge: the same world point as the line between its two vertices.
TEST_F(SliceVertices, NoCracksNextToACoarserNeighbour) {
    struct Side {
        int32_t di, dj;
    } sides[4] = {{-1, 0}, {0, 1}, {1, 0}, {0, -1}};
    const int32_t i = 1, j = 1;
    for (int e = 0; e < 4; ++e)
        for (uint8_t coarse : {uint8_t(1), uint8_t(2), uint8_t(4)}) {
            Fill(i, j, 0, {0, 0, 0, 0}); // the build before the neighbour coarsened
            std::array<int8_t, 4> levels{0, 0, 0, 0};
            levels[size_t(e)] = int8_t(coarse);
            const auto fine = Fill(i, j, 0, levels);
            const int32_t ni = i + sides[e].di, nj = j + sides[e].dj;
            const auto other = Fill(ni, nj, coarse, {0, 0, 0, 0});
            const uint32_t m = 17, mc = terrain.LevelSide(coarse);
            const Base::Vector2 c = Entry(i, j).centre, nc = Entry(ni, nj).centre;
            for (uint32_t k = 0; k < m; ++k) {
                // The fine vertex on this edge, in world coordinates.
                const uint32_t u = e == 0 ? 0 : e == 2 ? m - 1 : k, v = e == 1 ? m - 1 : e == 3 ? 0 : k;
                const float* p = &fine.positions[(v * m + u) * 3];
                const float x = c.x + p[0], z = c.y + p[2];
                // The neighbour's edge: its vertices along the same line, interpolated at this point.
                const bool alongZ = e == 0 || e == 2;
                const uint32_t fixed = (e == 0) ? mc - 1 : (e == 2) ? 0 : (e == 1) ? 0 : mc - 1;
                const float step = 1024.0f / float(mc - 1);
                const float along = alongZ ? z - (nc.y - 512) : x - (nc.x - 512);
                const uint32_t a = std::min(uint32_t(along / step), mc - 2);
                const float t = along / step - float(a);
                const auto vertex = [&](uint32_t q) {
                    const uint32_t ou = alongZ ? fixed : q, ov = alongZ ? q : fixed;
                    return &other.positions[(ov * mc + ou) * 3];
                };
                const float* p0 = vertex(a);
                const float* p1 = vertex(a + 1);
                ASSERT_FLOAT_EQ(alongZ ? nc.x + p0[0] : nc.y + p0[2], alongZ ? x : z) << e;
                const float y = (1 - t) * p0[1] + t * p1[1];
                ASSERT_NEAR(p[1], y, 1e-3) << "side " << e << " level " << int(coarse) << " vertex " << k;
            }
        }
}

TEST_F(SliceVertices, UnloadedOrFinerNeighboursLeaveTheEdge) {
    const auto f = Fill(1, 1, 1, {-1, 0, 1, -1});
    const uint32_t m = 9;
    for (uint32_t k = 0; k < m; ++k) {
        EXPECT_EQ(f.positions[(k * m + 0) * 3 + 1], terrain.GetHeight(16, 16 + 2 * int32_t(k)));
        EXPECT_EQ(f.positions[((m - 1) * m + k) * 3 + 1], terrain.GetHeight(16 + 2 * int32_t(k), 32));
        EXPECT_EQ(f.positions[(k * m + m - 1) * 3 + 1], terrain.GetHeight(32, 16 + 2 * int32_t(k)));
    }
}

} // namespace
