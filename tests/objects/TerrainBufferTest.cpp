// The slices' device buffers on the Direct3D 9 driver: built from the filled vertices, pooled by size and
// reused when the camera moves away and back, rebuilt only when a level or a neighbour's level changes.
#include "tests/rwsdk/DriverFixture.h"

#include "TerrainFixture.h"

#include <cstring>

using namespace TerrainFixture;

namespace {

class TerrainBuffers : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        Keys keys;
        keys.slices = "8 4";
        Image land = Mask(8, 4, 255);
        land.At(7, 3) = 0; // slice (0, 0): sea only, no land attributes
        ASSERT_TRUE(Build(terrain, keys, RandomImage(65, 65, 2), land, Mask(8, 4, 255)));
    }
    // The buffers go before the device.
    void TearDown() override {
        owned.reset();
        DriverTest::TearDown();
    }
    void Frame(Base::Vector3 camera, float range) {
        terrain.UnloadFarSlices({camera.x, camera.z}, range);
        terrain.LoadNearSlices({camera.x, camera.z}, range);
        ASSERT_TRUE(terrain.UpdateSlices(camera));
    }
    std::unique_ptr<Obj::Terrain> owned = std::make_unique<Obj::Terrain>();
    Obj::Terrain& terrain = *owned;
};

TEST_F(TerrainBuffers, BuffersHoldTheFilledVerticesAndTheSharedStrip) {
    Frame({-1500, 100, -500}, 2000);
    const auto& loaded = terrain.Grid().loaded;
    ASSERT_FALSE(loaded.empty());
    for (const auto& entry : loaded) {
        const Obj::Terrain::Slice& slice = *entry.slice;
        ASSERT_NE(slice.positions, nullptr);
        ASSERT_NE(slice.indices, nullptr);
        EXPECT_EQ(slice.landAttributes != nullptr, slice.land != 0);
        EXPECT_EQ(slice.builtGeometryLevel, slice.geometryLevel);
        const uint32_t m = terrain.LevelSide(slice.geometryLevel);
        std::vector<float> expected(m * m * 3);
        terrain.FillSliceVertices(entry, slice.geometryLevel, slice.builtNeighbours, expected.data(),
                                  nullptr);
        // A land slice's stitched edges change the positions; compare those of a sea slice exactly.
        if (!slice.land) {
            void* data = nullptr;
            ASSERT_EQ(slice.positions->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
            EXPECT_EQ(std::memcmp(data, expected.data(), expected.size() * sizeof(float)), 0);
            slice.positions->Unlock();
        }
        D3DINDEXBUFFER_DESC desc{};
        slice.indices->GetDesc(&desc);
        EXPECT_EQ(desc.Size, Obj::Terrain::StripIndices(m).size() * 2);
    }
}

TEST_F(TerrainBuffers, PoolReusesBuffersAfterMovingAwayAndBack) {
    Frame({-1500, 100, -500}, 1500);
    const size_t first = terrain.Grid().loaded.size();
    const uint32_t created = terrain.BuffersCreated();
    ASSERT_GT(first, 0u);
    // Away: the slices go, their buffers wait in the pools.
    Frame({2500, 100, 3500}, 1200);
    EXPECT_GT(terrain.PooledBuffers(0) + terrain.PooledBuffers(1), 0u);
    const uint32_t createdAway = terrain.BuffersCreated();
    // And back: the same sizes come out of the pools; nothing new beyond what the far slices hold.
    Frame({2500, 100, 3500}, -1);
    Frame({-1500, 100, -500}, 1500);
    EXPECT_EQ(terrain.Grid().loaded.size(), first);
    EXPECT_EQ(terrain.BuffersCreated(), createdAway);
    EXPECT_GE(createdAway, created);
    // A still camera rebuilds nothing.
    StartLog();
    Frame({-1500, 100, -500}, 1500);
    EXPECT_EQ(Count(Log(), "CreateVertexBuffer"), 0u);
    EXPECT_EQ(terrain.BuffersCreated(), createdAway);
}

// A lap flown a second time makes no buffer: a free buffer at least as large serves a slice whose own size
// has none free, so the pools stop growing once they hold the lap's largest mix of levels.
TEST_F(TerrainBuffers, ASecondLapCreatesNoBuffers) {
    const Base::Vector3 path[] = {{-1500, 100, -500}, {500, 300, 1500}, {2500, 100, 3500}, {-500, 600, 2500}};
    const auto lap = [&] {
        for (const Base::Vector3& p : path)
            for (int step = 0; step < 3; ++step)
                Frame({p.x + float(step) * 400, p.y, p.z - float(step) * 300}, 1500);
    };
    lap();
    const uint32_t created = terrain.BuffersCreated();
    ASSERT_GT(created, 0u);
    lap();
    EXPECT_EQ(terrain.BuffersCreated(), created);
}

TEST_F(TerrainBuffers, ALevelChangeRebuildsTheSliceAndItsNeighbours) {
    Frame({-1500, 100, -500}, 30000);
    std::vector<uint8_t> before;
    for (const auto& entry : terrain.Grid().loaded)
        before.push_back(entry.slice->builtGeometryLevel);
    // Far above one end: levels coarsen, every rebuilt slice matches its new level.
    Frame({-1500, 20000, -500}, 30000);
    for (const auto& entry : terrain.Grid().loaded) {
        EXPECT_EQ(entry.slice->builtGeometryLevel, entry.slice->geometryLevel);
        for (int k = 0; k < 4; ++k) {
            const int32_t around[4][2] = {{-1, 0}, {0, 1}, {1, 0}, {0, -1}};
            const int32_t i = entry.i + around[k][0], j = entry.j + around[k][1];
            const bool outside = i < 0 || j < 0 || i >= 8 || j >= 4;
            EXPECT_EQ(entry.slice->builtNeighbours[k],
                      outside ? int8_t(entry.slice->geometryLevel) : terrain.GetNeighbourLevel(i, j));
        }
    }
}

} // namespace
