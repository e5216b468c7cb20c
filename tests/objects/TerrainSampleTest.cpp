// The sample terrain loaded as the game loads it: the description from the data tree, the height map and
// masks through the engine's image reader.
#include "objects/Terrain.h"
#include "tools/terrain/TerrainShape.h"

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/tool/png/rtpng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

namespace T = Tools::Terrain;

TEST(TerrainSample, LoadsThroughTheImageReader) {
    ASSERT_TRUE(RwEngineInit(nullptr, rwENGINEINITFREELISTS, 0));
    RwEngineOpenParams params = {nullptr};
    ASSERT_TRUE(RwEngineOpen(&params));
    ASSERT_TRUE(RwEngineStart());
    ASSERT_TRUE(RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite));
    const std::string data = std::string(CORVANE_BINARY_DIR) + "/data/Data/";
    RwImageSetPath((data + "Textures/").c_str());

    Base::Info info;
    ASSERT_EQ(info.LoadFile(data + "Terrain1.info"), 0);
    Obj::Terrain terrain;
    ASSERT_TRUE(terrain.Load(info)) << terrain.Error();
    EXPECT_EQ(terrain.GridWidth(), T::GridSide);
    EXPECT_EQ(terrain.Extent(), (Base::Vector2{32768, 32768}));

    const T::Grid grid = T::MakeGrid();
    for (int32_t gz = 0; gz < T::GridSide; gz += 17)
        for (int32_t gx = 0; gx < T::GridSide; gx += 13)
            ASSERT_EQ(terrain.GetHeight(gx, gz), float(grid.At(gx, gz)) * 6) << gx << " " << gz;
    // Airbases sit on the plateaus: a probe from high above meets the flat ground.
    for (const T::Plateau& p : T::Plateaus) {
        Base::Vector3 point, normal;
        ASSERT_TRUE(terrain.IntersectSegment({{p.x + 100, 10000, p.z - 200}, {p.x + 100, -100, p.z - 200}},
                                             &point, &normal));
        EXPECT_NEAR(point.y, float(p.sample) * 6, 0.01);
        EXPECT_NEAR(normal.y, 1, 1e-6);
    }
    // Slices around the first plateau: land with texture names that exist in the data tree.
    terrain.LoadNearSlices({T::Plateaus[0].x, T::Plateaus[0].z}, 3000);
    ASSERT_FALSE(terrain.Grid().loaded.empty());
    for (const auto& entry : terrain.Grid().loaded) {
        EXPECT_TRUE(entry.slice->land);
        std::string path = entry.slice->texturePath;
        std::replace(path.begin(), path.end(), '\\', '/');
        EXPECT_TRUE(std::filesystem::exists(std::string(CORVANE_BINARY_DIR) + "/data/" + path)) << path;
    }

    EXPECT_TRUE(RwEngineStop());
    EXPECT_TRUE(RwEngineClose());
    EXPECT_TRUE(RwEngineTerm());
}

} // namespace
