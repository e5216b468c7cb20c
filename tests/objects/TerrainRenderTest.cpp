// The sample terrain drawn offscreen on the Direct3D 9 driver from a fixed camera, with its slice textures
// streamed in the background; the image is checked tolerantly and written for a look (TerrainView.png).
#include "objects/Terrain.h"
#include "OffscreenCamera.h"

#include "base/AsyncLoader.h"
#include "base/StreamedTextureCache.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/nulldevice.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/tool/png/rtpng.h"
#include "scene/StreamedTexture.h"

#include <SDL.h>
#include <dlfcn.h>
#include <d3d9.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <filesystem>
#include <thread>

namespace {

class TerrainRender : public OffscreenCamera {
protected:
    void SetUp() override {
        StartCamera("terrain", {0.5f, 0.375f});
        if (HasFatalFailure())
            return;
        RenderSupport::StartStreaming();
        ASSERT_NO_FATAL_FAILURE(RenderSupport::LoadSampleTerrain(terrain));
    }

    void TearDown() override {
        terrain.reset();
        RenderSupport::StopStreaming();
        StopCamera();
    }

    void Place(RwV3d position, RwV3d target) {
        Look(position, {target.x - position.x, target.y - position.y, target.z - position.z});
    }

    std::vector<uint32_t> Draw() {
        RwCameraBeginUpdate(camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        terrain->Render(camera);
        RwCameraEndUpdate(camera);
        return ReadBack();
    }

    bool AllTextured() const {
        for (const auto& entry : terrain->Grid().loaded) {
            const auto* e = static_cast<const Base::StreamedTextureCache::Entry*>(entry.slice->texture);
            if (entry.slice->land && (!e || !e->texture))
                return false;
        }
        return true;
    }

    std::unique_ptr<Obj::Terrain> terrain;
};

struct Rgb {
    int r, g, b;
};
Rgb Split(uint32_t p) {
    return {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
}

TEST_F(TerrainRender, SampleTerrainFromAFixedCamera) {
    // Over the land east of the coast, looking west-north-west over the first plateau towards the sea.
    Place({1500, 1800, 2500}, {-6000, 200, 5200});
    std::vector<uint32_t> pixels = Draw();
    EXPECT_GT(terrain->SlicesDrawn(), 0u);
    // The first frame draws before any texture has arrived: untextured, lit land.
    // Then the textures stream in; the frames go on until they are all there (bounded).
    const auto start = std::chrono::steady_clock::now();
    while (!AllTextured() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        std::this_thread::yield();
        pixels = Draw();
    }
    ASSERT_TRUE(AllTextured());
    pixels = Draw();

    SavePng(pixels, "TerrainView.png");

    // Tolerant: the top rows are sky, most of the lower half is ground coloured by the slices (green or
    // brown land, blue sea), not the clear colour and not untextured grey.
    int sky = 0, ground = 0, greenish = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < Width; ++x) {
            const Rgb c = Split(pixels[size_t(y) * Width + size_t(x)]);
            sky += c.r == 150 && c.g == 185 && c.b == 225;
        }
    for (int y = Height / 2; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const Rgb c = Split(pixels[size_t(y) * Width + size_t(x)]);
            const bool clear = c.r == 150 && c.g == 185 && c.b == 225;
            ground += !clear;
            greenish += c.g > c.b && c.g >= c.r - 10;
        }
    EXPECT_GT(sky, Width * 8);
    EXPECT_GT(ground, Width * Height / 2 * 9 / 10);
    EXPECT_GT(greenish, Width * Height / 2 / 3);
}

// A loader that holds every read until let go.
std::atomic<bool> held{false};
bool HeldRead(const Base::String& name, uint32_t offset, uint32_t size, void* buffer) {
    while (held.load())
        std::this_thread::yield();
    return Base::AsyncLoader::ReadFileRange(name, offset, size, buffer);
}

TEST_F(TerrainRender, ASlowLoaderShowsTheFallbackTexture) {
    Place({1500, 300, 2500}, {-6000, 200, 5200});
    const auto start = std::chrono::steady_clock::now();
    do
        Draw();
    while (!AllTextured() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20));
    ASSERT_TRUE(AllTextured());
    std::map<const Obj::Terrain::Slice*, uint8_t> levels;
    for (const auto& entry : terrain->Grid().loaded)
        levels[entry.slice.get()] = entry.slice->textureLevel;

    // Reads stall; the camera climbs, so nearby slices want coarser levels that cannot arrive.
    held = true;
    Base::AsyncLoader::ReadRange = HeldRead;
    Place({1500, 5000, 2500}, {-6000, 200, 5200});
    Draw();
    int waiting = 0;
    for (const auto& entry : terrain->Grid().loaded) {
        const auto found = levels.find(entry.slice.get());
        if (found == levels.end() || found->second == entry.slice->textureLevel || !entry.slice->land)
            continue;
        const auto* e = static_cast<const Base::StreamedTextureCache::Entry*>(entry.slice->texture);
        ASSERT_NE(e, nullptr);
        if (e->texture)
            continue; // this level was already loaded for another slice
        ++waiting;
        // Drawn meanwhile with the level it had.
        EXPECT_NE(Obj::Terrain::SliceTexture(*entry.slice), nullptr);
        EXPECT_EQ(Obj::Terrain::SliceTexture(*entry.slice), e->fallback ? e->fallback->texture : nullptr);
    }
    EXPECT_GT(waiting, 0);
    held = false;
    Base::AsyncLoader::ReadRange = Base::AsyncLoader::ReadFileRange;
}

} // namespace
