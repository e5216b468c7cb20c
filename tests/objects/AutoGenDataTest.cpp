// Generated scenery from models: meshes taken from named atomics and turned, and the sample scenery's
// sets read from the built data tree, placed over the sample terrain.
#include "tests/scene/SceneFixture.h"

#include "objects/AutoGen.h"
#include "objects/Terrain.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"
#include "tools/autogen/AutogenMaps.h"

#include "base/ClumpCache.h"
#include "base/Info.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/tool/png/rtpng.h"
#include "tests/support/ClumpCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using Obj::AutoGen;

class AutoGenModels : public SceneEngine {};

TEST_F(AutoGenModels, MeshFromTheNamedAtomicTurnedAboutUp) {
    RpClump* clump = MakeClump({{"Shadow", {0, 0, 0}, {1, 0, 0}, {0, 0, 1}},
                                {"OBJECT", {2, 0, 0}, {2, 3, 0}, {2, 0, 4}}}); // names ignore case
    const auto unturned = AutoGen::BuildMesh(clump, "Object", 0);
    ASSERT_NE(unturned, nullptr);
    ASSERT_EQ(unturned->vertices.size(), 3u);
    EXPECT_EQ(unturned->indices, (std::vector<uint16_t>{0, 1, 2}));
    EXPECT_FLOAT_EQ(unturned->vertices[1].y, 3);

    // A quarter turn about +y takes +x to -z (the engine's rotation, in degrees).
    const auto turned = AutoGen::BuildMesh(clump, "Object", std::acos(-1.0f) / 2);
    ASSERT_NE(turned, nullptr);
    EXPECT_NEAR(turned->vertices[0].x, 0, 1e-5f);
    EXPECT_NEAR(turned->vertices[0].z, -2, 1e-5f);
    EXPECT_NEAR(turned->vertices[2].x, 4, 1e-5f);
    EXPECT_NEAR(turned->vertices[2].z, -2, 1e-5f);

    EXPECT_NE(AutoGen::BuildMesh(clump, "shadow", 0), nullptr);
    EXPECT_EQ(AutoGen::BuildMesh(clump, "Roof", 0), nullptr);
    EXPECT_EQ(AutoGen::BuildMesh(nullptr, "Object", 0), nullptr);
    RpClumpDestroy(clump);
}

class AutoGenSample : public SceneEngine {
protected:
    void SetUp() override {
        SceneEngine::SetUp();
        data = std::string(CORVANE_BINARY_DIR) + "/data/Data/";
        Base::ClumpCache::Directory = data + "Models\\";
        Rw::InstallClumpCache();
        ASSERT_TRUE(RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite));
        RwImageSetPath((data + "Textures/").c_str());
    }
    void TearDown() override {
        TestSupport::RemoveClumpCache();
        SceneEngine::TearDown();
    }
    std::string data;
};

TEST_F(AutoGenSample, SampleScenerySetsLoadAndPlaceOnTheTerrain) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile(data + "Autogen1.info"), 0);
    AutoGen autogen;
    ASSERT_TRUE(autogen.Load(info));
    EXPECT_EQ(autogen.setsRefused, 0u);
    ASSERT_EQ(autogen.objectSets.size(), 3u);
    // Conifers every 72 degrees: 72, 144, 216, 288; broadleaf every 60 from two models; houses every 90.
    EXPECT_EQ(autogen.objectSets[0].variants.size(), 4u);
    EXPECT_EQ(autogen.objectSets[1].variants.size(), 10u);
    EXPECT_EQ(autogen.objectSets[2].variants.size(), 6u);
    // The carried-over keys reach the later sets; the houses set their own.
    EXPECT_EQ(autogen.objectSets[1].lodForShadow, 1);
    EXPECT_EQ(autogen.objectSets[2].lodForShadow, 0);
    EXPECT_FLOAT_EQ(autogen.objectSets[2].right, 16384);
    EXPECT_FLOAT_EQ(autogen.objectSets[2].bottom, 16384);
    size_t largest = 0;
    for (const AutoGen::ObjectSet& set : autogen.objectSets) {
        ASSERT_EQ(autogen.densityMaps[size_t(set.mapIndex)]->width, uint32_t(Tools::Autogen::MapSide));
        for (const AutoGen::Variant& v : set.variants) {
            ASSERT_NE(v.first, nullptr);
            ASSERT_NE(v.second, nullptr);
            largest = std::max(largest, v.first->vertices.size() + v.second->vertices.size());
            // Texture coordinates come from the geometry's first set: atlas cells, not all one texel.
            float spread = 0;
            for (const AutoGen::Vertex& vertex : v.first->vertices)
                spread = std::max(spread, std::fabs(vertex.u - v.first->vertices[0].u) +
                                              std::fabs(vertex.v - v.first->vertices[0].v));
            EXPECT_GT(spread, 0.1f);
        }
    }
    // The description keeps a full sector of the largest model within 16-bit indices.
    EXPECT_LE(autogen.objectsSpan * autogen.objectsSpan * largest, AutoGen::MaxSectorVertices);

    // The maps read back what the tool wrote, through the engine's image reader.
    const auto& conifers = *autogen.densityMaps[size_t(autogen.objectSets[0].mapIndex)];
    for (uint32_t z = 0; z < conifers.height; z += 7)
        for (uint32_t x = 0; x < conifers.width; x += 5) {
            const float wx = -16384 + (float(x) + 0.5f) * 128, wz = -16384 + (float(z) + 0.5f) * 128;
            ASSERT_EQ(conifers.Get(x, z), Tools::Autogen::Density(Tools::Autogen::Kind::Conifers, wx, wz));
        }

    // On the sample terrain: forests in the hills, nothing at sea.
    Base::Info terrainInfo;
    ASSERT_EQ(terrainInfo.LoadFile(data + "Terrain1.info"), 0);
    auto* terrain = new Obj::Terrain;
    ASSERT_TRUE(terrain->Load(terrainInfo));
    autogen.SetGroundProbe([terrain](float x, float z) -> std::optional<AutoGen::Ground> {
        Base::Vector3 point, normal;
        if (!terrain->IntersectSegment({{x, 10000, z}, {x, -10000, z}}, &point, &normal))
            return std::nullopt;
        return AutoGen::Ground{point.y, normal};
    });
    autogen.globalDensity = 1;
    size_t placed = 0, atSea = 0;
    for (int32_t j = 0; j < 32; j += 3)
        for (int32_t i = 0; i < 32; i += 3) {
            const auto sector = autogen.BuildSector(i, j);
            placed += sector->objectEnd.size();
            EXPECT_LE(sector->totalVertices, AutoGen::MaxSectorVertices);
            if (sector->centre.x < -15000 && sector->centre.y == 0)
                atSea += sector->objectEnd.size();
        }
    EXPECT_GT(placed, 1000u);
    EXPECT_EQ(atSea, 0u);
    EXPECT_EQ(autogen.placementsDropped, 0u);
    delete terrain;
}

TEST_F(AutoGenSample, InAWorldTheGroundIsTheWorldsTerrain) {
    Base::Info terrainInfo, sets;
    ASSERT_EQ(terrainInfo.LoadFile(data + "Terrain1.info"), 0);
    ASSERT_EQ(sets.LoadFile(data + "Autogen1.info"), 0);
    Grp::World world;
    auto* terrain = new Obj::Terrain;
    ASSERT_TRUE(terrain->Load(terrainInfo));
    world.AddObject(terrain);
    auto* autogen = new AutoGen;
    autogen->Load(sets);
    world.AddObject(autogen);
    // Filed with the renderables that have no sphere.
    EXPECT_EQ(autogen->Obj::Renderable::sector, world.renderables->catchAll.get());
    const auto sector = autogen->BuildSector(24, 14);
    Base::Vector3 point, normal;
    ASSERT_TRUE(terrain->IntersectSegment(
        {{sector->centre.x, 10000, sector->centre.z}, {sector->centre.x, -10000, sector->centre.z}}, &point,
        &normal));
    EXPECT_FLOAT_EQ(sector->centre.y, point.y);
    EXPECT_GT(sector->centre.y, 0);
    world.RemoveObject(autogen);
    delete autogen;
    world.Clear();
}

TEST_F(AutoGenSample, AFirstSetWithoutItsKeysStartsFromZero) {
    Base::Info info;
    ASSERT_EQ(info.LoadText("VisibilityRange 3000\nSectorsSpan 4 4\nSectorSize 1000\nObjectsSpan 8\n"
                            "GlobalDensityFactor 1\nObjectSets\n{\n\tA\n\t{\n\t\tModels\n\t\t{\n"
                            "\t\t\t1 Tree1.dff\n\t\t}\n\t\tMap AutogenConifers.png\n\t}\n}\n"),
              0);
    AutoGen autogen;
    ASSERT_TRUE(autogen.Load(info));
    ASSERT_EQ(autogen.objectSets.size(), 1u);
    const AutoGen::ObjectSet& set = autogen.objectSets[0];
    // No "RotateEvery": the default -1 degree gives one unrotated variant, not an endless loop.
    EXPECT_EQ(set.variants.size(), 1u);
    EXPECT_EQ(set.left, 0);
    EXPECT_EQ(set.right, 0);
    EXPECT_EQ(set.bottom, 0);
    EXPECT_EQ(set.density, 0);
    EXPECT_EQ(set.displacement, 0);
    EXPECT_EQ(set.useTerrainNormal | set.terrainAligned | set.lodForShadow | set.doubleSided, 0);
    // With no density it places nothing.
    EXPECT_TRUE(autogen.BuildSector(1, 1)->objectEnd.empty());
}

} // namespace
