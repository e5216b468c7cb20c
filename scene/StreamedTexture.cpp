#include "scene/StreamedTexture.h"

#include "base/StreamedTextureCache.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"

#include <d3d9.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace Rw {

namespace {

// Rasters of textures given back while the engine runs, kept for the next texture of their side:
// streaming the terrain frees and makes a few a second, and each new raster costs the device several
// allocations. A few of each side are kept (a 512 x 512 chain is about 170 KB); the rest are destroyed.
// Only the raster is kept: the texture record comes new from the engine, with its defaults and plugin data.
constexpr size_t SparesPerSide = 16;
std::vector<RwRaster*> Spares;

size_t SparesOfSide(RwInt32 side) {
    return size_t(std::count_if(Spares.begin(), Spares.end(),
                                [side](RwRaster* r) { return RwRasterGetWidth(r) == side; }));
}

RwRaster* TakeSpare(uint32_t side) {
    for (size_t k = Spares.size(); k-- > 0;) {
        RwRaster* raster = Spares[k];
        if (RwRasterGetWidth(raster) == RwInt32(side)) {
            Spares.erase(Spares.begin() + ptrdiff_t(k));
            return raster;
        }
    }
    return nullptr;
}

} // namespace

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
    RwRaster* raster = TakeSpare(side);
    if (!raster)
        raster = RwD3D9RasterCreate(side, side, Cache::FourCCDXT1,
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
    if (!texture)
        return;
    RwRaster* raster = RwTextureGetRaster(texture);
    // Kept only while the engine runs and nothing else holds the texture; StopEngine destroys the spares.
    if (EngineStarted && raster && texture->refCount == 1 && !texture->dict &&
        SparesOfSide(RwRasterGetWidth(raster)) < SparesPerSide) {
        if (Spares.capacity() == 0)
            Spares.reserve(4 * SparesPerSide);
        Spares.push_back(raster);
        RwTextureSetRaster(texture, nullptr);
    }
    RwTextureDestroy(texture);
}

void DestroyStreamedTextureSpares() {
    for (RwRaster* raster : Spares)
        RwRasterDestroy(raster);
    Spares.clear();
}

void InstallStreamedTextures() {
    Base::StreamedTextureCache::CreateTexture = CreateStreamedTexture;
    Base::StreamedTextureCache::DestroyTexture = DestroyStreamedTexture;
}

} // namespace Rw
