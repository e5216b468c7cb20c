#include "scene/StreamedTexture.h"

#include "base/StreamedTextureCache.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/texture.h"

#include <d3d9.h>

#include <algorithm>
#include <cstring>

namespace Rw {

RwTexture* CreateStreamedTexture(uint32_t side, const uint8_t* data, uint32_t size) {
    using Cache = Base::StreamedTextureCache;
    uint32_t levels = Cache::LevelCount(side);
    uint32_t needed = 0;
    for (uint32_t level = 0; level < levels; ++level) {
        needed += Cache::LevelBytes(side, level);
    }
    if (side == 0 || size < needed) {
        return nullptr;
    }
    RwRaster* raster = RwD3D9RasterCreate(side, side, Cache::FourCCDXT1,
                                          RwUInt32(rwRASTERTYPETEXTURE) | RwUInt32(rwRASTERFORMATMIPMAP));
    if (!raster) {
        return nullptr;
    }
    auto* texture = static_cast<IDirect3DTexture9*>(RwD3D9RasterExtension(raster)->texture);
    bool ok = texture && texture->GetLevelCount() == levels;
    // Each level locked and copied whole, block row by block row: a surface object per level (and a
    // format conversion pass) would cost allocations for every slice texture streamed in.
    for (uint32_t level = 0; ok && level < levels; ++level) {
        const uint32_t rows = std::max(1u, (side >> level) / 4), pitch = rows * 8;
        D3DLOCKED_RECT locked{};
        if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) {
            ok = false;
            break;
        }
        if (!locked.pBits || locked.Pitch < INT(pitch)) {
            texture->UnlockRect(level);
            ok = false;
            break;
        }
        auto* target = static_cast<uint8_t*>(locked.pBits);
        for (uint32_t row = 0; row < rows; ++row)
            std::memcpy(target + size_t(row) * size_t(locked.Pitch), data + size_t(row) * pitch, pitch);
        texture->UnlockRect(level);
        data += Cache::LevelBytes(side, level);
    }
    RwTexture* result = ok ? RwTextureCreate(raster) : nullptr;
    if (!result) {
        RwRasterDestroy(raster);
    }
    return result;
}

void DestroyStreamedTexture(RwTexture* texture) {
    RwTextureDestroy(texture);
}

void InstallStreamedTextures() {
    Base::StreamedTextureCache::CreateTexture = CreateStreamedTexture;
    Base::StreamedTextureCache::DestroyTexture = DestroyStreamedTexture;
}

} // namespace Rw
