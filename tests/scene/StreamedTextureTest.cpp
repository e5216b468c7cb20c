#include "base/AsyncLoader.h"
#include "base/StreamedTextureCache.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"
#include "tests/rwsdk/DriverFixture.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

using Cache = Base::StreamedTextureCache;

// The engine as Rw::StartEngine leaves it; put back, with the spares gone, however a test ends.
struct StartedEngine {
    StartedEngine() { Rw::EngineStarted = true; }
    ~StartedEngine() {
        Rw::DestroyStreamedTextureSpares();
        Rw::EngineStarted = false;
    }
    StartedEngine(const StartedEngine&) = delete;
    StartedEngine& operator=(const StartedEngine&) = delete;
};

class StreamedTextureTest : public DriverTest {
protected:
    // A mip chain of side x side DXT1 whose every byte differs from its neighbours.
    static std::vector<uint8_t> Chain(uint32_t side) {
        std::vector<uint8_t> data;
        for (uint32_t level = 0; level < Cache::LevelCount(side); ++level) {
            for (uint32_t i = 0; i < Cache::LevelBytes(side, level); ++i) {
                data.push_back(uint8_t(i * 7 + level * 31));
            }
        }
        return data;
    }
    static IDirect3DTexture9* DeviceTexture(RwTexture* texture) {
        return static_cast<IDirect3DTexture9*>(RwD3D9RasterExtension(RwTextureGetRaster(texture))->texture);
    }
    // Each level of the texture holds its part of the chain, block row by block row.
    static void ExpectLevels(RwTexture* texture, uint32_t side, const uint8_t* data) {
        auto* d3d =
            static_cast<IDirect3DTexture9*>(RwD3D9RasterExtension(RwTextureGetRaster(texture))->texture);
        ASSERT_EQ(d3d->GetLevelCount(), Cache::LevelCount(side));
        for (uint32_t level = 0; level < Cache::LevelCount(side); ++level) {
            SCOPED_TRACE(level);
            D3DSURFACE_DESC desc{};
            d3d->GetLevelDesc(level, &desc);
            EXPECT_EQ(desc.Format, D3DFMT_DXT1);
            EXPECT_EQ(desc.Width, side >> level);
            D3DLOCKED_RECT locked{};
            ASSERT_TRUE(SUCCEEDED(d3d->LockRect(level, &locked, nullptr, D3DLOCK_READONLY)));
            uint32_t blocks = std::max(1u, (side >> level) / 4);
            for (uint32_t row = 0; row < blocks; ++row) {
                EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(locked.pBits) + row * locked.Pitch,
                                      data + row * blocks * 8, blocks * 8),
                          0)
                    << "row " << row;
            }
            d3d->UnlockRect(level);
            data += Cache::LevelBytes(side, level);
        }
    }
};

TEST_F(StreamedTextureTest, EveryMipLevelIsFilledFromTheChain) {
    for (uint32_t side : {512u, 8u}) {
        SCOPED_TRACE(side);
        std::vector<uint8_t> data = Chain(side);
        RwTexture* texture = Rw::CreateStreamedTexture(side, data.data(), uint32_t(data.size()));
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(RwRasterGetWidth(RwTextureGetRaster(texture)), RwInt32(side));
        ExpectLevels(texture, side, data.data());
        Rw::DestroyStreamedTexture(texture);
        // A chain one byte short makes nothing.
        EXPECT_EQ(Rw::CreateStreamedTexture(side, data.data(), uint32_t(data.size() - 1)), nullptr);
    }
}

// While the engine runs, the raster of a texture given back is kept and filled again, whole, for the next
// texture of its side, which is a new record with the engine's default filter; a texture held elsewhere
// keeps its raster.
TEST_F(StreamedTextureTest, AGivenBackRasterIsFilledAgainForTheNextOfItsSide) {
    const StartedEngine started;
    std::vector<uint8_t> first = Chain(64), second = first, small = Chain(32);
    for (uint8_t& byte : second)
        byte = uint8_t(~byte);
    RwTexture* texture = Rw::CreateStreamedTexture(64, first.data(), uint32_t(first.size()));
    ASSERT_NE(texture, nullptr);
    RwRaster* raster = RwTextureGetRaster(texture);
    const RwUInt32 fresh = texture->filterAddressing;
    RwTextureSetFilterMode(texture, rwFILTERLINEARMIPLINEAR);
    RwTextureSetName(texture, "given back");
    Rw::DestroyStreamedTexture(texture);

    RwTexture* other = Rw::CreateStreamedTexture(32, small.data(), uint32_t(small.size()));
    ASSERT_NE(other, nullptr);
    EXPECT_NE(RwTextureGetRaster(other), raster);
    ExpectLevels(other, 32, small.data());
    RwTexture* again = Rw::CreateStreamedTexture(64, second.data(), uint32_t(second.size()));
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(RwTextureGetRaster(again), raster);
    ExpectLevels(again, 64, second.data());
    EXPECT_EQ(again->filterAddressing, fresh);
    EXPECT_EQ(again->refCount, 1);
    EXPECT_STREQ(again->name, "");

    RwTextureAddRef(again); // held elsewhere as well: given back, it stays with that holder
    Rw::DestroyStreamedTexture(again);
    EXPECT_EQ(again->refCount, 1);
    EXPECT_EQ(RwTextureGetRaster(again), raster);
    RwTexture* third = Rw::CreateStreamedTexture(64, first.data(), uint32_t(first.size()));
    ASSERT_NE(third, nullptr);
    EXPECT_NE(RwTextureGetRaster(third), raster);
    ExpectLevels(third, 64, first.data());
    ExpectLevels(again, 64, second.data());
    RwTextureDestroy(again);
    Rw::DestroyStreamedTexture(third);
    Rw::DestroyStreamedTexture(other);
}

// The kept rasters of all sides together stay within the bytes of StreamedSpareChains chains of 512 x 512
// and StreamedSpareRasters rasters: what passes either is destroyed, and only the kept ones come back. Each
// given-back texture is marked by its device texture's priority (a new one has 0), since a destroyed
// raster's memory may hold the next new one.
TEST_F(StreamedTextureTest, GivenBackRastersAreKeptWithinOneBudgetForAllSides) {
    struct Batch {
        uint32_t side, count, kept;
    };
    struct Case {
        const char* name;
        std::vector<Batch> batches; // given back in this order, then asked for again
    };
    // A chain's bytes: its smallest levels take a whole block each, so a 256 x 256 one is a little more
    // than a quarter of a 512 x 512 one.
    const auto chain = [](uint32_t side) {
        uint32_t bytes = 0;
        for (uint32_t level = 0; level < Cache::LevelCount(side); ++level)
            bytes += Cache::LevelBytes(side, level);
        return bytes;
    };
    ASSERT_EQ(chain(512), 174776u);
    ASSERT_EQ(chain(256), 43704u);
    // Budget 16 x 174776 = 2796416 bytes: 8 large leave 1398208 for 31 small (1354824); 40 small take
    // 1748160 and leave room for 5 large (873880).
    const std::vector<Case> cases = {
        {"more than the budget of the largest side", {{512, 20, 16}}},
        {"large ones first, then the small fill the rest", {{512, 8, 8}, {256, 40, 31}}},
        {"small ones first, then what of the large still fits", {{256, 40, 40}, {512, 8, 5}}},
        {"many small ones stop at the count", {{32, 80, 64}}},
    };
    const StartedEngine started;
    ASSERT_EQ(Rw::StreamedSpareChains, 16u);
    ASSERT_EQ(Rw::StreamedSpareRasters, 64u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rw::DestroyStreamedTextureSpares();
        std::vector<std::vector<RwTexture*>> made(c.batches.size());
        DWORD mark = 0;
        for (size_t b = 0; b < c.batches.size(); ++b) {
            std::vector<uint8_t> data = Chain(c.batches[b].side);
            for (uint32_t k = 0; k < c.batches[b].count; ++k) {
                RwTexture* texture =
                    Rw::CreateStreamedTexture(c.batches[b].side, data.data(), uint32_t(data.size()));
                ASSERT_NE(texture, nullptr);
                made[b].push_back(texture);
            }
        }
        // Without the spares made along with the new rasters: only the given-back ones compete.
        Rw::DestroyStreamedTextureSpares();
        for (auto& batch : made)
            for (RwTexture* texture : batch) {
                DeviceTexture(texture)->SetPriority(++mark);
                Rw::DestroyStreamedTexture(texture);
            }
        for (const Batch& batch : c.batches) {
            SCOPED_TRACE(batch.side);
            std::vector<uint8_t> data = Chain(batch.side);
            uint32_t reused = 0;
            std::vector<RwTexture*> again;
            for (uint32_t k = 0; k < batch.count; ++k) {
                RwTexture* texture =
                    Rw::CreateStreamedTexture(batch.side, data.data(), uint32_t(data.size()));
                ASSERT_NE(texture, nullptr);
                reused += DeviceTexture(texture)->GetPriority() != 0 ? 1 : 0;
                again.push_back(texture);
            }
            EXPECT_EQ(reused, batch.kept);
            ExpectLevels(again.back(), batch.side, data.data());
            for (RwTexture* texture : again)
                RwTextureDestroy(texture);
        }
    }
}

// From the file to the texture: the cache reads level 5 of a 512 x 512 file in the background.
TEST_F(StreamedTextureTest, TheCacheStreamsALevelIntoATexture) {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("corvane-streamed-scene-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::vector<uint8_t> chain = Chain(512);
    {
        std::ofstream out(dir / "map.dds", std::ios::binary);
        out << std::string(Cache::HeaderBytes, 'H');
        out.write(reinterpret_cast<const char*>(chain.data()), std::streamsize(chain.size()));
    }
    Rw::InstallStreamedTextures();
    Base::AsyncLoader::Start();
    Cache::Entry* entry = Cache::Request(dir.string() + "\\map.dds", 5, 0);
    for (int i = 0; i < 10000 && !entry->texture; ++i) {
        Cache::Update();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_NE(entry->texture, nullptr);
    uint32_t skipped = 0;
    for (uint32_t level = 0; level < 5; ++level) {
        skipped += Cache::LevelBytes(512, level);
    }
    ExpectLevels(entry->texture, 16, chain.data() + skipped);
    Cache::Release(entry);
    EXPECT_TRUE(Cache::Entries.empty());
    Base::AsyncLoader::Stop();
    std::filesystem::remove_all(dir);
}

} // namespace
