// The terrain's description, height grid, masks and slice streaming.
#include "TerrainFixture.h"

#include <algorithm>
#include <cmath>
#include <set>

using namespace TerrainFixture;

namespace {

// The height the flipped region gives, computed from the image directly.
float ExpectedHeight(const Image& map, int32_t gridW, int32_t gridH, int32_t ox, int32_t oy, int32_t sx,
                     int32_t sy, float scale, int32_t gx, int32_t gz) {
    const int32_t c = gridW - 1 - gx, r = gridH - 1 - gz;
    if (c < ox || c >= ox + sx || r < oy || r >= oy + sy)
        return 0;
    return float(map.pixels[size_t((r - oy) * map.width + (c - ox)) * size_t(map.bytesPerPixel)]) * scale;
}

TEST(TerrainData, HeightsFollowTheFlipAndAreZeroOutsideTheRegion) {
    Keys keys;
    keys.offset = "5 7";
    keys.size = "30 20";
    // A 32-bit image: the red byte is the sample.
    Image map = RandomImage(40, 30, 11, 4);
    Obj::Terrain terrain;
    ASSERT_TRUE(Build(terrain, keys, map, Mask(4, 4, 255), Mask(4, 4, 0))) << terrain.Error();
    ASSERT_EQ(terrain.GridWidth(), 65);
    ASSERT_EQ(terrain.GridDepth(), 65);
    EXPECT_FLOAT_EQ(terrain.CellSize(), 64);
    int inside = 0;
    for (int32_t gz = 0; gz < 65; ++gz)
        for (int32_t gx = 0; gx < 65; ++gx) {
            float expected = ExpectedHeight(map, 65, 65, 5, 7, 30, 20, 6, gx, gz);
            inside += expected != 0;
            ASSERT_EQ(terrain.GetHeight(gx, gz), expected) << gx << " " << gz;
        }
    EXPECT_GT(inside, 500);
    // Vertex (0, 0) lies outside this region (column 64 is past 5 + 30): sea level.
    EXPECT_EQ(terrain.GetHeight(0, 0), 0);
    // The corner of the region: column W - 1 - gx = 5, row H - 1 - gz = 7 is the image's first pixel.
    EXPECT_EQ(terrain.GetHeight(59, 57), float(map.pixels[0]) * 6);
    // Beyond the grid's edges.
    EXPECT_EQ(terrain.GetHeight(-1, 10), 0);
    EXPECT_EQ(terrain.GetHeight(65, 65), 0);
}

TEST(TerrainData, VertexZeroTakesTheFlippedCornerPixel) {
    Keys keys;
    Image map = RandomImage(65, 65, 3);
    Obj::Terrain terrain;
    ASSERT_TRUE(Build(terrain, keys, map, Mask(4, 4, 255), Mask(4, 4, 0)));
    EXPECT_EQ(terrain.GetHeight(0, 0), float(map.At(64, 64)) * 6);
    EXPECT_EQ(terrain.GetHeight(64, 64), float(map.At(0, 0)) * 6);
    EXPECT_EQ(terrain.GetHeight(64, 0), float(map.At(0, 64)) * 6);
}

TEST(TerrainData, GridAndWorldCoordinates) {
    Obj::Terrain terrain;
    ASSERT_TRUE(Build(terrain, Keys{}, RandomImage(65, 65, 1), Mask(4, 4, 255), Mask(4, 4, 0)));
    Base::Vector2 p = terrain.GridToWorld(3, 5);
    EXPECT_EQ(p, (Base::Vector2{-2048 + 3 * 64, -1024 + 5 * 64}));
    int32_t gx, gz;
    terrain.WorldToGrid(-2048 + 3 * 64 + 31.9f, -1024 + 5 * 64 - 32.1f, gx, gz);
    EXPECT_EQ(gx, 3);
    EXPECT_EQ(gz, 4);
    terrain.WorldToGrid(-1e6f, 1e6f, gx, gz); // not clamped
    EXPECT_LT(gx, 0);
    EXPECT_GT(gz, 64);
    EXPECT_EQ(terrain.Extent(), (Base::Vector2{4096, 4096}));
}

TEST(TerrainData, MaskBitsTakeTheLowestBitAndTheFlip) {
    Image land = RandomImage(4, 4, 21), water = RandomImage(4, 4, 22);
    land.At(0, 0) = 254; // even: clear
    land.At(1, 0) = 255;
    Obj::Terrain::BitMask mask;
    ASSERT_TRUE(Obj::Terrain::ReadBitMask(land.View(), mask));
    EXPECT_FALSE(mask.Get(0, 0));
    EXPECT_TRUE(mask.Get(1, 0));
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t c = 0; c < 4; ++c)
            EXPECT_EQ(mask.Get(uint32_t(c), uint32_t(r)), (land.At(c, r) & 1) != 0);
    EXPECT_EQ(mask.words.size(), 1u); // 16 bits, plus the spare word... in one word: 16 / 32 + 1

    Obj::Terrain terrain;
    ASSERT_TRUE(Build(terrain, Keys{}, RandomImage(65, 65, 1), land, water));
    terrain.LoadNearSlices({0, 0}, 1e6f);
    ASSERT_EQ(terrain.Grid().loaded.size(), 16u);
    for (const auto& entry : terrain.Grid().loaded) {
        EXPECT_EQ(entry.slice->land, land.At(3 - entry.i, 3 - entry.j) & 1) << entry.i << " " << entry.j;
        EXPECT_EQ(entry.slice->water, water.At(3 - entry.i, 3 - entry.j) & 1);
    }
}

TEST(TerrainData, SliceNormalsTexturePathAndBox) {
    Image land = Mask(4, 4, 255);
    land.At(3, 3) = 0; // slice (0, 0) has no land
    Image map = RandomImage(65, 65, 5);
    Obj::Terrain terrain;
    ASSERT_TRUE(Build(terrain, Keys{}, map, land, Mask(4, 4, 0)));
    terrain.LoadNearSlices({0, 0}, 1e6f);
    const auto& grid = terrain.Grid();
    const Obj::Terrain::Slice* sea = grid.table[0];
    const Obj::Terrain::Slice* corner = grid.table[1]; // (1, 0): land, its row v = 0 is the grid border
    const Obj::Terrain::Slice* inner = grid.table[1 + 4 * 1];
    ASSERT_TRUE(sea && corner && inner);
    for (const auto& n : sea->normals)
        EXPECT_EQ(n, (Base::Vector3{0, 1, 0}));
    for (int u = 0; u < 17; ++u)
        EXPECT_EQ(corner->normals[size_t(u)], (Base::Vector3{0, 1, 0}));
    // An inner vertex: the unit vector of the central differences.
    const int32_t gx = 16 + 5, gz = 16 + 7;
    Base::Vector3 n{terrain.GetHeight(gx - 1, gz) - terrain.GetHeight(gx + 1, gz), 128,
                    terrain.GetHeight(gx, gz - 1) - terrain.GetHeight(gx, gz + 1)};
    n = Base::Normalize3d(n);
    const Base::Vector3 got = inner->normals[7 * 17 + 5];
    EXPECT_NEAR(got.x, n.x, 1e-6);
    EXPECT_NEAR(got.y, n.y, 1e-6);
    EXPECT_NEAR(got.z, n.z, 1e-6);
    // Name indices (nx - tx - i - 1, nz - ty - j - 1).
    EXPECT_EQ(inner->texturePath, "Data\\Terrain1\\S_02_02.dds");
    EXPECT_EQ(grid.table[3]->texturePath, "Data\\Terrain1\\S_00_03.dds");
    // The box spans the slice's square and its heights.
    EXPECT_EQ(inner->boxMin.x, -2048 + 1024);
    EXPECT_EQ(inner->boxMax.z, -1024 + 2048);
    float highest = 0;
    for (int v = 0; v < 17; ++v)
        for (int u = 0; u < 17; ++u)
            highest = std::max(highest, terrain.GetHeight(16 + u, 16 + v));
    EXPECT_EQ(inner->boxMax.y, highest);
}

// Brute force over every slice: those the load takes (inside the index window of p +- r, measure at most
// r^2) and those the unload keeps (measure at most r^2).
struct Filter {
    std::set<int32_t> loads, keeps;
};
Filter BruteForce(Base::Vector2 p, float r, int32_t nx, int32_t nz) {
    Filter f;
    for (int32_t j = 0; j < nz; ++j)
        for (int32_t i = 0; i < nx; ++i) {
            Base::Vector2 c{(i + 0.5f) * 1024 - 2048, (j + 0.5f) * 1024 - 1024};
            float dx = std::max(0.0f, std::fabs(c.x - p.x) - 0.7072f * 1024);
            float dz = std::max(0.0f, std::fabs(c.y - p.y) - 0.7072f * 1024);
            if (!(dx * dx + dz * dz <= r * r))
                continue;
            f.keeps.insert(i + nx * j);
            const auto window = [&](float q, float origin, int32_t n, int32_t k) {
                int32_t lo = std::clamp(int32_t(std::floor((q - origin - r) / 1024)), 0, n - 1);
                int32_t hi = std::clamp(int32_t(std::floor((q - origin + r) / 1024)), 0, n - 1);
                return k >= lo && k <= hi;
            };
            if (window(p.x, -2048, nx, i) && window(p.y, -1024, nz, j))
                f.loads.insert(i + nx * j);
        }
    return f;
}

// After each camera move the loaded set holds every slice the load takes and only slices the unload
// keeps; a fresh terrain holds exactly what the load takes.
TEST(TerrainData, StreamedSlicesEqualABruteForceDistanceFilter) {
    Keys keys;
    keys.slices = "12 9";
    Obj::Terrain terrain, fresh;
    ASSERT_TRUE(Build(terrain, keys, RandomImage(65, 65, 7), Mask(12, 9, 255), Mask(12, 9, 0)));
    std::mt19937 random(99);
    std::uniform_real_distribution<float> position(-20000, 20000), range(0, 9000);
    for (int step = 0; step < 300; ++step) {
        Base::Vector2 p{position(random), position(random)};
        // Small moves too, where slices stay loaded past the window.
        if (step % 2)
            p = {p.x * 0.1f, p.y * 0.1f};
        float r = range(random);
        terrain.UnloadFarSlices(p, r);
        terrain.LoadNearSlices(p, r);
        ASSERT_TRUE(Build(fresh, keys, RandomImage(65, 65, 7), Mask(12, 9, 255), Mask(12, 9, 0)));
        fresh.LoadNearSlices(p, r);
        const Filter expected = BruteForce(p, r, 12, 9);
        std::set<int32_t> got, gotFresh;
        for (const auto& entry : terrain.Grid().loaded) {
            got.insert(entry.index);
            EXPECT_EQ(terrain.Grid().table[size_t(entry.index)], entry.slice.get());
        }
        for (const auto& entry : fresh.Grid().loaded)
            gotFresh.insert(entry.index);
        ASSERT_EQ(gotFresh, expected.loads) << "step " << step;
        ASSERT_TRUE(std::includes(got.begin(), got.end(), expected.loads.begin(), expected.loads.end()))
            << "step " << step;
        ASSERT_TRUE(std::includes(expected.keeps.begin(), expected.keeps.end(), got.begin(), got.end()))
            << "step " << step;
        size_t tableCount = std::count_if(terrain.Grid().table.begin(), terrain.Grid().table.end(),
                                          [](const auto* s) { return s != nullptr; });
        ASSERT_EQ(tableCount, got.size());
    }
}

TEST(TerrainData, CameraFarOutsideLoadsTheEdgeSlicesInRange) {
    Obj::Terrain terrain;
    ASSERT_TRUE(Build(terrain, Keys{}, RandomImage(65, 65, 7), Mask(4, 4, 255), Mask(4, 4, 0)));
    // 1000 units beyond the far x edge (x = 2048): only column i = 3 lies in range.
    terrain.LoadNearSlices({3048, 500}, 1500);
    ASSERT_FALSE(terrain.Grid().loaded.empty());
    for (const auto& entry : terrain.Grid().loaded)
        EXPECT_EQ(entry.i, 3);
}

// A camera at or above the visibility range has no horizontal range: everything unloads, nothing loads.
TEST(TerrainData, CameraAboveTheRangeStreamsNothing) {
    EXPECT_EQ(Obj::Terrain::HorizontalRange(5000, 3000), 4000);
    EXPECT_LT(Obj::Terrain::HorizontalRange(5000, 5000), 0);
    EXPECT_LT(Obj::Terrain::HorizontalRange(5000, 8000), 0);
    Obj::Terrain terrain;
    ASSERT_TRUE(Build(terrain, Keys{}, RandomImage(65, 65, 7), Mask(4, 4, 255), Mask(4, 4, 0)));
    terrain.LoadNearSlices({0, 0}, 3000);
    ASSERT_FALSE(terrain.Grid().loaded.empty());
    const float none = Obj::Terrain::HorizontalRange(5000, 8000);
    terrain.UnloadFarSlices({0, 0}, none);
    terrain.LoadNearSlices({0, 0}, none);
    EXPECT_TRUE(terrain.Grid().loaded.empty());
    terrain.LoadNearSlices({0, 0}, std::nanf(""));
    EXPECT_TRUE(terrain.Grid().loaded.empty());
}

TEST(TerrainData, NeighbourLevels) {
    Obj::Terrain terrain;
    ASSERT_TRUE(Build(terrain, Keys{}, RandomImage(65, 65, 7), Mask(4, 4, 255), Mask(4, 4, 0)));
    terrain.LoadNearSlices({-1500, -500}, 100);
    EXPECT_EQ(terrain.GetNeighbourLevel(0, 0), 0);
    EXPECT_EQ(terrain.GetNeighbourLevel(3, 3), -1);
    EXPECT_EQ(terrain.GetNeighbourLevel(-1, 0), -1);
}

struct BadCase {
    const char* what;
    void (*change)(Keys&);
    const char* message;
};

// Each fault is rejected with a message that names what is wrong, and leaves the terrain unloaded.
TEST(TerrainData, ValidationFaultsAreRejectedClearly) {
    const BadCase cases[] = {
        {"format with %s", [](Keys& k) { k.format = "S_%s_%02d.dds"; }, "MainTextureNameFormat"},
        {"format with three ints", [](Keys& k) { k.format = "S_%d_%d_%d"; }, "MainTextureNameFormat"},
        {"format with one int", [](Keys& k) { k.format = "S_%d.dds"; }, "MainTextureNameFormat"},
        {"format with a length", [](Keys& k) { k.format = "S_%ld_%d"; }, "MainTextureNameFormat"},
        {"format with %n", [](Keys& k) { k.format = "%d%d%n"; }, "MainTextureNameFormat"},
        {"N not 16k + 1", [](Keys& k) { k.vertices = "65537"; }, "SliceVerticesSpan"},
        {"N of 24", [](Keys& k) { k.vertices = "24"; }, "SliceVerticesSpan"},
        {"N of 257", [](Keys& k) { k.vertices = "257"; }, "SliceVerticesSpan"},
        {"N written as 1e38", [](Keys& k) { k.vertices = "1e38"; }, "SliceVerticesSpan"},
        {"no slices", [](Keys& k) { k.slices = "0 4"; }, "SlicesSpan"},
        {"zero slice size", [](Keys& k) { k.sliceSize = "0"; }, "SliceSize"},
        {"unparsable key", [](Keys& k) { k.scale = "six"; }, "HeightMapScale"},
        {"negative offset", [](Keys& k) { k.offset = "-1 0"; }, "HeightMapOffset"},
        {"region past the image", [](Keys& k) { k.offset = "1 0"; }, "larger than the height map"},
        {"region larger than the image", [](Keys& k) { k.size = "65 66"; }, "larger than the height map"},
        {"masks smaller than the grid", [](Keys& k) { k.slices = "5 4"; }, "mask is smaller"},
    };
    for (const BadCase& c : cases) {
        Keys keys;
        c.change(keys);
        Obj::Terrain terrain;
        EXPECT_FALSE(Build(terrain, keys, RandomImage(65, 65, 1), Mask(4, 4, 255), Mask(4, 4, 0))) << c.what;
        EXPECT_FALSE(terrain.IsLoaded()) << c.what;
        EXPECT_NE(terrain.Error().find(c.message), std::string::npos) << c.what << ": " << terrain.Error();
    }
    // A missing key names itself.
    Obj::Terrain terrain;
    std::string text = Keys{}.Text();
    text.erase(text.find("WaterEnvTexFilename"),
               text.find('\n', text.find("WaterEnvTexFilename")) + 1 - text.find("WaterEnvTexFilename"));
    EXPECT_FALSE(terrain.ReadParameters(Parse(text)));
    EXPECT_NE(terrain.Error().find("WaterEnvTexFilename"), std::string::npos);
}

// The water frames are files named with four digits: a count beyond them is refused before a table of that
// size is made (4294967295 once ran out of memory, 2147483648 hung).
TEST(TerrainData, WaterFrameCountIsBoundedByTheFramesNames) {
    const struct {
        const char* count;
        bool ok;
    } cases[] = {{"0", true},           {"9999", true}, {"10000", false}, {"2147483648", false},
                 {"4294967295", false}, {"-1", false},  {"1e38", false}};
    for (const auto& c : cases) {
        std::string text = Keys{}.Text();
        const std::string key = "WaterAnimFramesCount 8";
        text.replace(text.find(key), key.size(), std::string("WaterAnimFramesCount ") + c.count);
        Obj::Terrain terrain;
        EXPECT_EQ(terrain.ReadParameters(Parse(text)), c.ok) << c.count;
        if (!c.ok) {
            EXPECT_NE(terrain.Error().find("\"WaterAnimFramesCount\""), std::string::npos) << terrain.Error();
        }
    }
}

// Loading images without a description read first fails instead of using unchecked values.
TEST(TerrainData, ImagesWithoutADescriptionAreRefused) {
    Obj::Terrain terrain;
    Obj::Terrain::HeightMap map;
    Obj::Terrain::BitMask land, water;
    ASSERT_TRUE(Obj::Terrain::ReadHeightMap(RandomImage(65, 65, 1).View(), map));
    ASSERT_TRUE(Obj::Terrain::ReadBitMask(Mask(4, 4, 255).View(), land));
    ASSERT_TRUE(Obj::Terrain::ReadBitMask(Mask(4, 4, 0).View(), water));
    EXPECT_FALSE(terrain.LoadData(map, land, water));
    EXPECT_FALSE(terrain.IsLoaded());
    // A reload on a loaded terrain starts from nothing.
    ASSERT_TRUE(Build(terrain, Keys{}, RandomImage(65, 65, 1), Mask(4, 4, 255), Mask(4, 4, 0)));
    terrain.LoadNearSlices({0, 0}, 1e5f);
    ASSERT_FALSE(terrain.Grid().loaded.empty());
    Keys other;
    other.slices = "2 2";
    ASSERT_TRUE(Build(terrain, other, RandomImage(65, 65, 1), Mask(2, 2, 255), Mask(2, 2, 0)));
    EXPECT_TRUE(terrain.Grid().loaded.empty());
    EXPECT_EQ(terrain.GridWidth(), 33);
}

// A terrain whose load failed draws and hits nothing.
TEST(TerrainData, AnUnloadedTerrainIsInert) {
    Obj::Terrain terrain;
    EXPECT_FALSE(terrain.IsLoaded());
    Base::Vector3 point;
    EXPECT_FALSE(terrain.IntersectSegment({{0, 100, 0}, {0, -100, 0}}, &point, nullptr));
    std::vector<Obj::Terrain::Triangle> triangles;
    EXPECT_EQ(terrain.CollectTriangles({{0, 0, 0}, 100}, triangles), 0u);
    terrain.LoadNearSlices({0, 0}, 1e5f);
    EXPECT_TRUE(terrain.Grid().loaded.empty());
}

TEST(TerrainData, DescriptionValuesAsRead) {
    Obj::Terrain terrain;
    ASSERT_TRUE(terrain.ReadParameters(Parse(Keys{}.Text()))) << terrain.Error();
    const auto& d = terrain.GetDescription();
    EXPECT_EQ(d.light.type, 3u);
    EXPECT_EQ(d.light.specular.a, 1); // a missing alpha is 1
    EXPECT_NEAR(Base::VectorLength(d.light.direction), 1, 1e-6);
    EXPECT_EQ(d.waterAnimFrames, 8u);
    EXPECT_EQ(d.origin, (Base::Vector2{-2048, -1024}));
}

} // namespace
