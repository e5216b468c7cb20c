#include "scene/StreamedTexture.h"

#include "base/StreamedTextureCache.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/texture.h"

#include <d3d9.h>
#include <d3dx9.h>

#include <algorithm>

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
    for (uint32_t level = 0; ok && level < levels; ++level) {
        IDirect3DSurface9* surface = nullptr;
        if (FAILED(texture->GetSurfaceLevel(level, &surface))) {
            ok = false;
            break;
        }
        LONG width = LONG(side >> level);
        RECT all{0, 0, width, width};
        UINT pitch = UINT(std::max(LONG(1), width / 4)) * 8;
        ok =
            SUCCEEDED(D3DXLoadSurfaceFromMemory(surface, nullptr, nullptr, data, D3DFORMAT(Cache::FourCCDXT1),
                                                pitch, nullptr, &all, D3DX_FILTER_NONE, 0));
        surface->Release();
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
