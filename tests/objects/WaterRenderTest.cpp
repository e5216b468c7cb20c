// The sample terrain's sea drawn offscreen on the Direct3D 9 driver: the shader path and the fixed path
// (taken when the shader files are missing or the device has no pixel shaders) cover the same pixels from
// one camera; the bump map's conversion; and a look at the coast (WaterCoast.png, WaterCoastFixed.png).
#include "objects/Terrain.h"
#include "OffscreenCamera.h"

#include "base/AsyncLoader.h"
#include "base/FrameClock.h"
#include "base/StreamedTextureCache.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

namespace {

constexpr uint32_t Clear = 0xFF96B9E1; // (150, 185, 225)

class WaterRender : public OffscreenCamera {
protected:
    void SetUp() override {
        StartCamera("water", {0.5f, 0.375f});
        if (HasFatalFailure())
            return;
        data = std::filesystem::current_path();
        // Images by an absolute path, so that terrains can also be loaded from another directory.
        RwImageSetPath((data / "Data" / "Textures").string().append("/").c_str());
        Rw::RegisterImageFormats(); // DDS files first, as the game reads textures
        dictionary = RwTexDictionaryCreate();
        RwTexDictionarySetCurrent(dictionary);
        RenderSupport::StartStreaming();
        ASSERT_EQ(description.LoadFile("Data/Terrain1.info"), 0);
    }

    void TearDown() override {
        Base::FrameClock::SetFixedStep(0);
        terrains.clear();
        RwTexDictionarySetCurrent(nullptr);
        RwTexDictionaryDestroy(dictionary);
        RenderSupport::StopStreaming();
        std::filesystem::current_path(data);
        StopCamera();
    }

    Obj::Terrain& LoadTerrain() {
        terrains.push_back(std::make_unique<Obj::Terrain>());
        EXPECT_TRUE(terrains.back()->Load(description)) << terrains.back()->Error();
        return *terrains.back();
    }

    // Loaded from an empty directory: no "Shaders" folder beside it.
    Obj::Terrain& LoadTerrainWithoutShaderFiles() {
        const auto empty = std::filesystem::path(::testing::TempDir()) /
                           ("water-" + std::to_string(::getpid()) + "-" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(empty);
        std::filesystem::current_path(empty);
        Obj::Terrain& terrain = LoadTerrain();
        std::filesystem::current_path(data);
        std::filesystem::remove_all(empty);
        return terrain;
    }

    void Place(RwV3d position, RwV3d target) {
        Look(position, {target.x - position.x, target.y - position.y, target.z - position.z});
    }

    std::vector<uint32_t> Draw(Obj::Terrain& terrain, float worldTime = 0) {
        RwCameraBeginUpdate(camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        terrain.Render(camera, worldTime);
        if (underSea)
            DrawUnderSea(*underSea);
        RwCameraEndUpdate(camera);
        return ReadBack();
    }

    // A magenta square 50 units under sea level around a point, drawn with the depth test after the
    // terrain: only where nothing of the terrain wrote its depth does it show.
    static void DrawUnderSea(RwV3d around) {
        RwIm3DVertex v[4] = {};
        const float r = 6000, y = -50;
        const RwV3d corners[4] = {{around.x - r, y, around.z - r},
                                  {around.x + r, y, around.z - r},
                                  {around.x - r, y, around.z + r},
                                  {around.x + r, y, around.z + r}};
        for (int i = 0; i < 4; ++i) {
            v[i].objVertex = corners[i];
            v[i].color = 0xFFFF00FFu;
        }
        RwRenderStateSet(rwRENDERSTATETEXTURERASTER, nullptr);
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
        RwImVertexIndex indices[6] = {0, 1, 2, 2, 1, 3};
        if (RwIm3DTransform(v, 4, nullptr, rwIM3D_ALLOPAQUE)) {
            RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRILIST, indices, 6);
            RwIm3DEnd();
        }
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLBACK)));
    }

    // Frames until every land slice in view has its texture (bounded), then the last one.
    std::vector<uint32_t> DrawSettled(Obj::Terrain& terrain) {
        std::vector<uint32_t> pixels = Draw(terrain);
        const auto start = std::chrono::steady_clock::now();
        while (!AllTextured(terrain) && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
            std::this_thread::yield();
            pixels = Draw(terrain);
        }
        EXPECT_TRUE(AllTextured(terrain));
        return Draw(terrain);
    }

    static bool AllTextured(const Obj::Terrain& terrain) {
        for (const auto& entry : terrain.Grid().loaded) {
            const auto* e = static_cast<const Base::StreamedTextureCache::Entry*>(entry.slice->texture);
            if (entry.slice->land && (!e || !e->texture))
                return false;
        }
        return true;
    }

    std::filesystem::path data;
    Base::Info description;
    std::vector<std::unique_ptr<Obj::Terrain>> terrains;
    RwTextureDictionary* dictionary = nullptr;
    std::optional<RwV3d> underSea; // drawn after the terrain when set
};

int Covered(const std::vector<uint32_t>& pixels) {
    int n = 0;
    for (uint32_t p : pixels)
        n += (p | 0xFF000000u) != Clear;
    return n;
}

bool Bluish(uint32_t p) {
    const int r = int((p >> 16) & 0xFF), b = int(p & 0xFF);
    return b > r && (p | 0xFF000000u) != Clear;
}

TEST_F(WaterRender, BothPathsCoverTheSamePixels) {
    Obj::Terrain& shader = LoadTerrain();
    Obj::Terrain& fixed = LoadTerrainWithoutShaderFiles();
    ASSERT_EQ(shader.GetWaterPath(), Obj::Terrain::WaterPath::Shader);
    // A missing shader file leaves the fixed pass, which still draws the sea.
    ASSERT_EQ(fixed.GetWaterPath(), Obj::Terrain::WaterPath::Fixed);

    // Over the open sea in the west, looking further west: water up to the horizon, sky above it.
    Place({-14000, 300, 0}, {-20000, 0, 800});
    const std::vector<uint32_t> a = Draw(shader, 3.2f);
    const std::vector<uint32_t> b = Draw(fixed, 3.2f);
    EXPECT_GT(shader.WaterSlicesDrawn(), 0u);
    EXPECT_EQ(shader.WaterSlicesDrawn(), fixed.WaterSlicesDrawn());
    const int covered = Covered(a);
    EXPECT_GT(covered, Width * Height / 3);
    EXPECT_LT(covered, Width * Height * 9 / 10);
    int differ = 0, blue = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        differ += ((a[k] | 0xFF000000u) != Clear) != ((b[k] | 0xFF000000u) != Clear);
        blue += Bluish(a[k]) && Bluish(b[k]);
    }
    // The same geometry and transforms: at most a stray pixel along the horizon.
    EXPECT_LE(differ, Width / 20) << covered;
    EXPECT_GT(blue, covered * 9 / 10);
    // The two passes shade differently (the shader's reflection): they are not the same picture.
    int shaded = 0;
    for (size_t k = 0; k < a.size(); ++k)
        shaded += a[k] != b[k];
    EXPECT_GT(shaded, covered / 4);
}

TEST_F(WaterRender, WithoutPixelShadersNoBumpOrShaderIsLoaded) {
    auto* caps = const_cast<D3DCAPS9*>(RwD3D9GetCaps());
    const DWORD version = caps->PixelShaderVersion;
    caps->PixelShaderVersion = D3DPS_VERSION(1, 0);
    Obj::Terrain& terrain = LoadTerrain();
    caps->PixelShaderVersion = version;
    EXPECT_EQ(terrain.GetWaterPath(), Obj::Terrain::WaterPath::Fixed);
    EXPECT_EQ(RwTexDictionaryFindNamedTexture(RwTexDictionaryGetCurrent(), "WaterBump"), nullptr);
    EXPECT_EQ(RwTexDictionaryFindNamedTexture(RwTexDictionaryGetCurrent(), "WaterEnv"), nullptr);
    EXPECT_NE(RwTexDictionaryFindNamedTexture(RwTexDictionaryGetCurrent(), "WaterMain"), nullptr);
    Place({-14000, 300, 0}, {-20000, 0, 800});
    EXPECT_GT(Covered(Draw(terrain)), Width * Height / 3);
}

TEST_F(WaterRender, AnimationFrameFollowsTheWorldClock) {
    Obj::Terrain& terrain = LoadTerrain();
    Place({-14000, 300, 0}, {-20000, 0, 800});
    // Eight frames in the sample: 0.7 s is the last, 0.8 s on the way back.
    Draw(terrain, 0.7f);
    EXPECT_EQ(terrain.CurrentWaterFrameIndex(), 7u);
    EXPECT_NE(terrain.CurrentWaterFrame(), nullptr);
    Draw(terrain, 0.8f);
    EXPECT_EQ(terrain.CurrentWaterFrameIndex(), 6u);
    // The bump matrix of this frame: 0.1 - 300 x 0.000005 at 300 units up.
    const auto& m = terrain.CurrentBumpMatrix();
    EXPECT_NEAR(std::hypot(m.m00, m.m10), 0.1f - 300 * 0.000005f, 1e-6);
}

TEST_F(WaterRender, CoastFromTheSea) {
    Obj::Terrain& shader = LoadTerrain();
    Obj::Terrain& fixed = LoadTerrainWithoutShaderFiles();
    // Low over the sea, looking east at the coast and the hills behind it.
    Place({-13500, 600, 1500}, {-4000, 150, 3000});
    const std::vector<uint32_t> a = DrawSettled(shader);
    const std::vector<uint32_t> b = DrawSettled(fixed);
    SavePng(a, "WaterCoast.png");
    SavePng(b, "WaterCoastFixed.png");
    // Tolerant: the bottom rows are sea in both.
    for (const auto* pixels : {&a, &b}) {
        int sea = 0;
        for (int y = Height - 20; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                sea += Bluish((*pixels)[size_t(y) * Width + size_t(x)]);
        EXPECT_GT(sea, Width * 20 * 8 / 10);
    }
}

// The water drawn under the land only where the land's texture lets it show, and only the depth of the
// land where its texture is wholly transparent: the coast looks the same as with the water under the whole
// of every slice with land and all of its land, from the sea, along the coast, from the land and from
// above, while fewer water cells are drawn under the land and fewer land cells in full; and what lies
// under the sea stays hidden there.
TEST_F(WaterRender, CoastLooksTheSameWithLessWaterUnderLand) {
    // The water's drift follows the clock: held still, so that two frames can be compared.
    Base::FrameClock::SetFixedStep(1.0 / 60, 100);
    Obj::Terrain& terrain = LoadTerrain();
    struct View {
        const char* name;
        RwV3d position, target;
    };
    const View views[] = {
        {"from the sea", {-13500, 600, 1500}, {-4000, 150, 3000}},
        {"along the coast, low", {-9000, 150, -9000}, {-8000, 0, 6000}},
        {"from the land", {2000, 900, 2000}, {-12000, 0, 0}},
        {"from high above", {-8000, 6000, 0}, {-8000, 0, 100}},
        {"over the beach", {-7000, 1200, -2000}, {-8500, 0, 0}},
    };
    uint64_t drawn = 0, underLand = 0, landDrawn = 0;
    for (const View& view : views) {
        SCOPED_TRACE(view.name);
        Place(view.position, view.target);
        underSea = view.target;
        terrain.SetWaterCoverEnabled(false);
        const std::vector<uint32_t> whole = DrawSettled(terrain);
        terrain.SetWaterCoverEnabled(true);
        const std::vector<uint32_t> cover = Draw(terrain);
        drawn += terrain.WaterCellsDrawn();
        underLand += terrain.WaterCellsUnderLand();
        landDrawn += terrain.LandCellsOverWater();
        // The same triangles, drawn from a list instead of the strip, may round a channel the other way,
        // which the land's detail stage (twice the product) makes two steps.
        int differ = 0, most = 0;
        for (size_t k = 0; k < whole.size(); ++k) {
            for (int shift = 0; shift < 24; shift += 8)
                most = std::max(most,
                                std::abs(int((whole[k] >> shift) & 0xFF) - int((cover[k] >> shift) & 0xFF)));
            differ += (whole[k] & 0xFFFFFF) != (cover[k] & 0xFFFFFF);
        }
        EXPECT_LE(most, 2);
        EXPECT_LT(differ, int(whole.size() / 1000));
    }
    underSea.reset();
    EXPECT_GT(underLand, 0u);
    EXPECT_LT(drawn, underLand);
    EXPECT_LT(landDrawn, underLand);
}

// A cell's kind follows from the bound on the mip levels it can be drawn with only where that bound falls
// between the levels from which its texels show through and cover: the cells worked out with the bound
// for every cell are the same, for the coast slices loaded from a few views, from cameras near and far and
// with narrow and wide views.
TEST_F(WaterRender, WaterCellsAsWithTheLevelBoundOfEveryCell) {
    using Map = Base::StreamedTextureCache::SeeThroughMap;
    Obj::Terrain& terrain = LoadTerrain();
    const RwV3d places[][2] = {{{-13500, 600, 1500}, {-4000, 150, 3000}},
                               {{-8000, 6000, 0}, {-8000, 0, 100}}};
    const Base::Vector3 cameras[] = {{-13500, 600, 1500}, {-9000, 150, -9000}, {-8000, 6000, 0},
                                     {-7000, 30, -2000},  {2000, 900, 2000},   {-8200, 2, 0}};
    int32_t resolution = 0;
    float sliceSize = 0;
    ASSERT_TRUE(description.TryGetInt("MainTextureRes", resolution));
    ASSERT_TRUE(description.TryGetFloat("SliceSize", sliceSize));
    const float r = float(std::max(resolution, 3));
    const float texel = sliceSize / float(Base::StreamedTextureCache::Side);
    uint64_t slices = 0, kinds[3] = {};
    std::vector<uint8_t> cells;
    for (const auto& place : places) {
        Place(place[0], place[1]);
        DrawSettled(terrain);
        for (const auto& entry : terrain.Grid().loaded) {
            const Obj::Terrain::Slice& slice = *entry.slice;
            const Map* map = slice.texture
                                 ? Base::StreamedTextureCache::GetSeeThrough(
                                       static_cast<const Base::StreamedTextureCache::Entry*>(slice.texture))
                                 : nullptr;
            if (!slice.land || !slice.water || !map || slice.builtGeometryLevel > 8)
                continue;
            ++slices;
            for (const Base::Vector3& at : cameras)
                for (const float focal : {300.0f, 1500.0f}) {
                    terrain.WaterCells(entry, *map, at, focal, cells);
                    const uint32_t side = uint32_t(std::lround(std::sqrt(double(cells.size()))));
                    ASSERT_EQ(cells.size(), size_t(side) * side);
                    const auto coordinate = [&](uint32_t k) {
                        return (1 - float(k) / float(side)) * ((r - 2) / r) + 1 / r;
                    };
                    const auto area = [](float t, bool upper) {
                        const float g = t * float(Map::Grid);
                        return std::clamp(int(upper ? std::ceil(g) : std::floor(g)), 0, int(Map::Grid));
                    };
                    for (uint32_t v = 0; v < side; ++v)
                        for (uint32_t u = 0; u < side; ++u) {
                            const uint32_t upTo = terrain.LevelBound(entry, u, v, slice.builtGeometryLevel,
                                                                     at, focal, texel, map->largest);
                            const int y0 = std::min(area(coordinate(v + 1), false), int(Map::Grid) - 1),
                                      y1 = std::max(area(coordinate(v), true), y0 + 1);
                            const int x0 = std::min(area(coordinate(u + 1), false), int(Map::Grid) - 1),
                                      x1 = std::max(area(coordinate(u), true), x0 + 1);
                            bool shows = false, covers = false;
                            for (int y = y0; y < y1; ++y)
                                for (int x = x0; x < x1; ++x) {
                                    shows = shows || map->Shows(uint32_t(x), uint32_t(y), upTo);
                                    covers = covers || map->Covers(uint32_t(x), uint32_t(y), upTo);
                                }
                            const auto kind = !covers ? Obj::Terrain::WaterCell::Alone
                                              : shows ? Obj::Terrain::WaterCell::Shown
                                                      : Obj::Terrain::WaterCell::Hidden;
                            ++kinds[size_t(kind)];
                            ASSERT_EQ(cells[size_t(v) * side + u], uint8_t(kind))
                                << "cell " << u << ", " << v;
                        }
                }
        }
    }
    EXPECT_GT(slices, 0u);
    for (const uint64_t count : kinds)
        EXPECT_GT(count, 0u);
}

// High over the western sea under the sky's fog (exponential squared, density 2 / range, by distance): the
// shader pass writes its own fog, so the far sea fades into the fog colour as the fixed pass's does, with
// no band of bright unfogged water against the fogged land and sea nearer by (WaterFarSea.png).
TEST_F(WaterRender, FarSeaFadesIntoTheFog) {
    Obj::Terrain& shader = LoadTerrain();
    Obj::Terrain& fixed = LoadTerrainWithoutShaderFiles();
    ASSERT_EQ(shader.GetWaterPath(), Obj::Terrain::WaterPath::Shader);
    const float density = 2.0f / 12000; // the terrain description's range
    RwD3D9SetRenderState(D3DRS_FOGENABLE, TRUE);
    RwD3D9SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    RwD3D9SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_EXP2);
    RwD3D9SetRenderState(D3DRS_FOGDENSITY, std::bit_cast<uint32_t>(density));
    RwD3D9SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);
    constexpr uint32_t Haze = 0xFFC8D2DC; // unlike the clear colour, to find the far edge of the sea
    RwD3D9SetRenderState(D3DRS_FOGCOLOR, Haze);
    // Looking north along the open-water column of slices: the middle column of pixels is all sea.
    Place({-14500, 3000, -14000}, {-14500, 0, 0});
    const std::vector<uint32_t> a = Draw(shader, 3.2f);
    const std::vector<uint32_t> b = Draw(fixed, 3.2f);
    RwD3D9SetRenderState(D3DRS_FOGENABLE, FALSE);
    SavePng(a, "WaterFarSea.png");
    SavePng(b, "WaterFarSeaFixed.png");
    const int x = Width / 2;
    int top = 0;
    while (top < Height && (a[size_t(top) * Width + x] | 0xFF000000u) == Clear)
        ++top;
    ASSERT_LT(top, Height * 2 / 3);
    const auto channel = [](uint32_t p, int k) { return int((p >> (8 * k)) & 0xFF); };
    for (const auto* pixels : {&a, &b}) {
        // About 11 km away the fog leaves 3 % of the water's own colour: next to the fog colour.
        const uint32_t far = (*pixels)[size_t(top + 2) * Width + x];
        const uint32_t near = (*pixels)[size_t(Height - 2) * Width + x];
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(channel(far, k), channel(Haze, k), 12) << std::hex << far;
        // About 5.5 km away less than half of it: still the sea.
        EXPECT_TRUE(Bluish(near)) << std::hex << near;
    }
}

// Past the map's western edge, looking further west: both passes draw open sea to the horizon instead of
// the clear colour, from cells outside the grid that stream with the camera (WaterOpenSea.png).
TEST_F(WaterRender, OpenSeaBeyondTheMapsEdge) {
    Obj::Terrain& shader = LoadTerrain();
    Obj::Terrain& fixed = LoadTerrainWithoutShaderFiles();
    const auto& grid = shader.Grid();
    const float range = Obj::Terrain::HorizontalRange(12000, 300);
    for (const float x : {-20000.0f, -60000.0f}) { // beside the grid, and beyond the range of all of it
        Place({x, 300, 0}, {x - 6000, 0, 800});
        const std::vector<uint32_t> a = Draw(shader, 3.2f);
        const std::vector<uint32_t> b = Draw(fixed, 3.2f);
        if (x == -20000.0f)
            SavePng(a, "WaterOpenSea.png");
        EXPECT_EQ(shader.WaterSlicesDrawn(), 0u); // the grid is behind the camera
        EXPECT_GT(shader.OpenSeaDrawn(), 0u);
        EXPECT_EQ(shader.OpenSeaDrawn(), fixed.OpenSeaDrawn());
        for (const auto* pixels : {&a, &b}) {
            const int covered = Covered(*pixels);
            EXPECT_GT(covered, Width * Height / 3) << x;
            EXPECT_LT(covered, Width * Height * 9 / 10) << x;
            int blue = 0;
            for (uint32_t p : *pixels)
                blue += Bluish(p);
            EXPECT_GT(blue, covered * 9 / 10) << x;
        }
        // Exactly the cells outside the grid within the range, as the grid's own streaming measures them.
        size_t expected = 0;
        for (int32_t j = -40; j < 48; ++j)
            for (int32_t i = -40; i < 48; ++i) {
                const bool inside = i >= 0 && j >= 0 && i < grid.slicesX && j < grid.slicesZ;
                const Base::Vector2 centre{(float(i) + 0.5f) * grid.sliceSize + grid.origin.x,
                                           (float(j) + 0.5f) * grid.sliceSize + grid.origin.y};
                expected += !inside && shader.SliceMeasure(centre, {x, 0}) <= range * range;
            }
        EXPECT_EQ(shader.OpenSea().size(), std::min(expected, Obj::Terrain::MaxOpenSeaCells)) << x;
        for (const auto& cell : shader.OpenSea()) {
            EXPECT_FALSE(cell.i >= 0 && cell.j >= 0 && cell.i < grid.slicesX && cell.j < grid.slicesZ);
            EXPECT_LE(shader.SliceMeasure(cell.centre, {x, 0}), range * range);
            EXPECT_EQ(cell.slice->land, 0);
        }
    }
    // Over the middle of the map every cell in range lies on the grid: no open sea.
    Place({0, 300, 0}, {-6000, 0, 800});
    Draw(shader);
    EXPECT_TRUE(shader.OpenSea().empty());
    EXPECT_EQ(shader.OpenSeaDrawn(), 0u);
}

// The shader pass draws the open sea on its coarsest grid: its values are affine over the flat cells but
// for the fog, which changes little over a cell. The same views as on the fixed pass's grid, with and
// without the sky's fog, at the description's short range where the fog changes most.
TEST_F(WaterRender, OpenSeaOnTheShaderPasssCoarseGridLooksTheSame) {
    Base::FrameClock::SetFixedStep(1.0 / 60, 100);
    // The settings' default visibility; at the description's own 12 km the grid stays.
    description.SetFloat("VisibilityRange", 12000);
    Obj::Terrain& near = LoadTerrain();
    Place({-20000, 300, 0}, {-26000, 0, 800});
    Draw(near);
    ASSERT_FALSE(near.OpenSea().empty());
    for (const auto& cell : near.OpenSea())
        EXPECT_EQ(cell.slice->builtGeometryLevel, 2);
    terrains.clear();
    description.SetFloat("VisibilityRange", 82500);
    Obj::Terrain& terrain = LoadTerrain();
    Obj::Terrain& fixed = LoadTerrainWithoutShaderFiles();
    ASSERT_EQ(terrain.GetWaterPath(), Obj::Terrain::WaterPath::Shader);
    struct View {
        const char* name;
        RwV3d position, target;
    };
    const View views[] = {
        {"out to sea, low", {-20000, 300, 0}, {-26000, 0, 800}},
        {"down at the edge", {-17000, 2500, -3000}, {-19000, 0, -2500}},
        {"far out, high", {-40000, 6000, 9000}, {-46000, 0, 12000}},
    };
    for (const bool fog : {false, true}) {
        RwD3D9SetRenderState(D3DRS_FOGENABLE, fog);
        RwD3D9SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
        RwD3D9SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_EXP2);
        RwD3D9SetRenderState(D3DRS_FOGDENSITY, std::bit_cast<uint32_t>(2.0f / 82500));
        RwD3D9SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);
        RwD3D9SetRenderState(D3DRS_FOGCOLOR, 0xFFC8D2DC);
        for (const View& view : views) {
            SCOPED_TRACE(testing::Message() << view.name << (fog ? ", fogged" : ""));
            Place(view.position, view.target);
            terrain.SetCoarseOpenSea(false);
            const std::vector<uint32_t> fine = Draw(terrain, 3.2f);
            for (const auto& cell : terrain.OpenSea())
                EXPECT_EQ(cell.slice->builtGeometryLevel, 2);
            terrain.SetCoarseOpenSea(true);
            const std::vector<uint32_t> coarse = Draw(terrain, 3.2f);
            ASSERT_GT(terrain.OpenSeaDrawn(), 0u);
            // The cells next to the camera keep the fine grid.
            const float size = terrain.Grid().sliceSize;
            int far = 0;
            for (const auto& cell : terrain.OpenSea()) {
                const bool isFar =
                    terrain.SliceMeasure(cell.centre, {view.position.x, view.position.z}) >= size * size;
                far += isFar;
                EXPECT_EQ(cell.slice->builtGeometryLevel, isFar ? Obj::Terrain::MaxGeometryLevel : 2);
            }
            EXPECT_GT(far, 0);
            // The fixed pass lights per vertex: its grid stays.
            Draw(fixed, 3.2f);
            for (const auto& cell : fixed.OpenSea())
                EXPECT_EQ(cell.slice->builtGeometryLevel, 2);
            EXPECT_GT(Covered(coarse), Width * Height / 4);
            // The fog rounds a channel the other way on some pixels.
            int apart = 0, most = 0;
            for (size_t k = 0; k < coarse.size(); ++k) {
                int pixel = 0;
                for (int shift = 0; shift < 24; shift += 8)
                    pixel = std::max(
                        pixel, std::abs(int((coarse[k] >> shift) & 0xFF) - int((fine[k] >> shift) & 0xFF)));
                most = std::max(most, pixel);
                apart += pixel > 1;
            }
            EXPECT_LE(most, 2);
            EXPECT_LT(apart, int(coarse.size() / 200));
        }
    }
    RwD3D9SetRenderState(D3DRS_FOGENABLE, FALSE);
}

// Open-sea cells reuse the records of grid slices given back, but not their normals, which only the grid's
// slices use; the grid's slices taken afterwards have theirs again, whole.
TEST_F(WaterRender, OpenSeaCellsKeepNoNormalsOfReusedRecords) {
    Obj::Terrain& terrain = LoadTerrain();
    const size_t n = size_t(terrain.GetDescription().sliceVertices), normals = n * n;
    Place({0, 300, 0}, {-6000, 0, 800});
    Draw(terrain);
    const size_t land = terrain.Grid().loaded.size();
    ASSERT_GT(land, 0u);
    Place({-60000, 300, 0}, {-66000, 0, 800}); // beyond the range of all of the grid
    Draw(terrain);
    ASSERT_TRUE(terrain.Grid().loaded.empty());
    ASSERT_GE(terrain.OpenSea().size(), land); // some of them, at least, from the grid's records
    for (const auto& cell : terrain.OpenSea())
        EXPECT_EQ(cell.slice->normals.capacity(), 0u);
    Place({0, 300, 0}, {-6000, 0, 800});
    Draw(terrain);
    EXPECT_EQ(terrain.Grid().loaded.size(), land);
    for (const auto& entry : terrain.Grid().loaded)
        EXPECT_EQ(entry.slice->normals.size(), normals);
}

// A texture over a raster of its own, in the given format.
RwTexture* MakeTexture(D3DFORMAT format, int size) {
    RwRaster* raster = RwRasterCreate(size, size, 0, int(rwRASTERTYPETEXTURE) | int(rwRASTERFORMAT8888));
    if (!raster)
        return nullptr;
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    if (format != ext->d3dFormat) {
        IDirect3DTexture9* other = nullptr;
        if (FAILED(RwD3D9Device->CreateTexture(UINT(size), UINT(size), 1, 0, format, D3DPOOL_MANAGED, &other,
                                               nullptr))) {
            RwRasterDestroy(raster);
            return nullptr;
        }
        ext->texture->Release();
        ext->texture = other;
        ext->d3dFormat = format;
    }
    return RwTextureCreate(raster);
}

TEST_F(WaterRender, BumpTextureBecomesSignedSlopes) {
    RwTexture* texture = MakeTexture(D3DFMT_A8R8G8B8, 4);
    ASSERT_NE(texture, nullptr);
    auto* source =
        static_cast<IDirect3DTexture9*>(RwD3D9RasterExtension(RwTextureGetRaster(texture))->texture);
    ASSERT_EQ(source->GetLevelCount(), 1u);
    D3DLOCKED_RECT locked{};
    ASSERT_TRUE(SUCCEEDED(source->LockRect(0, &locked, nullptr, 0)));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            // A8R8G8B8 in memory: blue, green, red, alpha.
            auto* p = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4;
            p[0] = 0x11, p[1] = uint8_t(10 * x), p[2] = uint8_t(0xF0 + y), p[3] = 0xFF;
        }
    source->UnlockRect(0);

    ASSERT_TRUE(Obj::Terrain::ConvertBumpTexture(texture));
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(RwTextureGetRaster(texture));
    EXPECT_EQ(ext->d3dFormat, D3DFMT_V8U8);
    auto* target = static_cast<IDirect3DTexture9*>(ext->texture);
    D3DSURFACE_DESC desc{};
    target->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_V8U8);
    ASSERT_TRUE(SUCCEEDED(target->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const auto* p = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * 2;
            EXPECT_EQ(p[0], 10 * x);   // U from byte 1 (green)
            EXPECT_EQ(p[1], 0xF0 + y); // V from byte 2 (red): a negative slope
        }
    target->UnlockRect(0);
    RwTextureDestroy(texture);
}

TEST_F(WaterRender, CompressedBumpTextureIsRefused) {
    // A DXT1 file would be read first if present; its blocks are not texels.
    RwTexture* texture = MakeTexture(D3DFMT_DXT1, 8);
    ASSERT_NE(texture, nullptr);
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(RwTextureGetRaster(texture));
    IDirect3DResource9* before = ext->texture;
    EXPECT_FALSE(Obj::Terrain::ConvertBumpTexture(texture));
    EXPECT_EQ(ext->texture, before);
    EXPECT_EQ(ext->d3dFormat, D3DFMT_DXT1);
    EXPECT_FALSE(Obj::Terrain::ConvertBumpTexture(nullptr));
    RwTextureDestroy(texture);
}

} // namespace
