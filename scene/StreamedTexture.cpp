#include "scene/StreamedTexture.h"

#include "base/StreamedTextureCache.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"

#include <d3d9.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace Rw {

namespace {

// Rasters of textures given back while the engine runs, kept for the next texture of their side:
// streaming the terrain frees and makes a few a second, and each new raster costs the device several
// allocations. Kept while the spares of all sides together stay within the bytes of StreamedSpareChains
// chains of the largest side and StreamedSpareRasters rasters; the rest are destroyed. One budget for all
// sides rather than a count per side: a climb frees many small rasters at once, and a 256 x 256 chain costs
// a quarter of a 512 x 512 one. Only the raster is kept: the texture record comes new from the engine, with
// its defaults and plugin data.
std::vector<RwRaster*> Spares;
size_t SpareBytes = 0;
// Rasters made for each side (by the side's power of two), for the spares made along with a new one.
uint32_t Made[32];

size_t ChainBytes(uint32_t side) {
    using Cache = Base::StreamedTextureCache;
    size_t bytes = 0;
    for (uint32_t level = 0; level < Cache::LevelCount(side); ++level)
        bytes += Cache::LevelBytes(side, level);
    return bytes;
}

size_t SpareBudget() {
    static const size_t budget = StreamedSpareChains * ChainBytes(Base::StreamedTextureCache::Side);
    return budget;
}

bool KeepSpare(RwRaster* raster) {
    const size_t bytes = ChainBytes(uint32_t(RwRasterGetWidth(raster)));
    if (Spares.size() >= StreamedSpareRasters || SpareBytes + bytes > SpareBudget())
        return false;
    if (Spares.capacity() == 0)
        Spares.reserve(StreamedSpareRasters);
    Spares.push_back(raster);
    SpareBytes += bytes;
    return true;
}

RwRaster* TakeSpare(uint32_t side) {
    for (size_t k = Spares.size(); k-- > 0;) {
        RwRaster* raster = Spares[k];
        if (RwRasterGetWidth(raster) == RwInt32(side)) {
            Spares.erase(Spares.begin() + ptrdiff_t(k));
            SpareBytes -= ChainBytes(side);
            return raster;
        }
    }
    return nullptr;
}

RwRaster* MakeRaster(uint32_t side) {
    ++Made[std::bit_width(side) % 32];
    return RwD3D9RasterCreate(side, side, Base::StreamedTextureCache::FourCCDXT1,
                              RwUInt32(rwRASTERTYPETEXTURE) | RwUInt32(rwRASTERFORMATMIPMAP));
}

// With no spare of its side left the terrain has reached more textures of it than ever: a few more are
// made at once (a quarter of those made so far, at least two, within the budget), so that the next frames'
// small swings past that count find spares rather than costing a new raster each.
void MakeSpares(uint32_t side) {
    if (!EngineStarted)
        return;
    const uint32_t extra = std::max(2u, Made[std::bit_width(side) % 32] / 4);
    for (uint32_t k = 0; k < extra; ++k) {
        RwRaster* raster = MakeRaster(side);
        if (!raster)
            return;
        // A lock makes the device's copy of the levels now, as the first fill would: the spare's first use
        // then allocates nothing.
        auto* texture = static_cast<IDirect3DTexture9*>(RwD3D9RasterExtension(raster)->texture);
        D3DLOCKED_RECT locked{};
        if (texture && SUCCEEDED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)))
            texture->UnlockRect(0);
        if (!KeepSpare(raster)) {
            RwRasterDestroy(raster);
            return;
        }
    }
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
    if (!raster) {
        raster = MakeRaster(side);
        if (!raster)
            return nullptr;
        MakeSpares(side);
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
    if (EngineStarted && raster && texture->refCount == 1 && !texture->dict && KeepSpare(raster))
        RwTextureSetRaster(texture, nullptr);
    RwTextureDestroy(texture);
}

void DestroyStreamedTextureSpares() {
    for (RwRaster* raster : Spares)
        RwRasterDestroy(raster);
    Spares.clear();
    SpareBytes = 0;
}

void InstallStreamedTextures() {
    Base::StreamedTextureCache::CreateTexture = CreateStreamedTexture;
    Base::StreamedTextureCache::DestroyTexture = DestroyStreamedTexture;
}

} // namespace Rw
