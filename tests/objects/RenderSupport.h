// What the tests that draw the world's objects share: the frame read back, kept as a PNG for a look, and the
// wait for the terrain's streamed textures.
#pragma once

#include "objects/Terrain.h"
#include "scene/StreamedTexture.h"

#include "base/AsyncLoader.h"
#include "base/Info.h"
#include "base/StreamedTextureCache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/tool/png/rtpng.h"
#include "tests/support/ReadBack.h"

#include <d3d9.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace RenderSupport {

// The frame last drawn, as 0xAARRGGBB rows from the top.
inline std::vector<uint32_t> ReadBack() {
    return TestSupport::ReadRenderTarget();
}

// A width x height frame of 0xAARRGGBB rows written, opaque, as a PNG (png registered with the engine).
inline void SavePng(const std::vector<uint32_t>& pixels, int width, int height,
                    const std::filesystem::path& path) {
    RwImage* image = RwImageCreate(width, height, 32);
    RwImageAllocatePixels(image);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = pixels[size_t(y) * size_t(width) + size_t(x)];
            RwUInt8* p = image->pixels + y * image->stride + x * 4;
            p[0] = RwUInt8(c >> 16), p[1] = RwUInt8(c >> 8), p[2] = RwUInt8(c), p[3] = 255;
        }
    RtPNGImageWrite(image, path.c_str());
    RwImageDestroy(image);
}

// The streamed textures installed and their loader started, as the game has them before it draws terrain.
inline void StartStreaming() {
    Rw::InstallStreamedTextures();
    Base::AsyncLoader::Start();
}
// The loader stopped and what it finished taken in, so that nothing is left for the next test.
inline void StopStreaming() {
    Base::AsyncLoader::Stop();
    Base::StreamedTextureCache::Update();
}

// The sample terrain of the built data, its textures streamed (after StartStreaming).
inline void LoadSampleTerrain(std::unique_ptr<Obj::Terrain>& terrain) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Terrain1.info"), 0);
    terrain = std::make_unique<Obj::Terrain>();
    ASSERT_TRUE(terrain->Load(info)) << terrain->Error();
}

// Whether every loaded land slice of the terrain has its streamed texture.
inline bool AllLandTextured(const Obj::Terrain& terrain) {
    for (const auto& entry : terrain.Grid().loaded) {
        const auto* e = static_cast<const Base::StreamedTextureCache::Entry*>(entry.slice->texture);
        if (entry.slice->land && (!e || !e->texture))
            return false;
    }
    return true;
}

} // namespace RenderSupport
