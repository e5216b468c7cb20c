#include "rwsdk/driver/d3d9/d3d9rasterlock.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9convrt.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/texture.h"

#include <cstring>

namespace {

RwRaster* rasterContext = nullptr;

RwInt32 TypeOf(const RwRaster* raster) {
    return raster->cType & rwRASTERTYPEMASK;
}

RECT RectOf(const RwRaster* raster) {
    return {raster->nOffsetX, raster->nOffsetY, raster->nOffsetX + raster->width,
            raster->nOffsetY + raster->height};
}

// A texture's or cube face's level surface (a new reference), or null.
IDirect3DSurface9* LevelSurface(const RwRaster* top, RwUInt32 level) {
    const RwD3D9RasterExt* ext = RwD3D9RasterExtension(top);
    if (!ext->texture)
        return nullptr;
    IDirect3DSurface9* surface = nullptr;
    HRESULT hr;
    if (ext->cube & 0x0F)
        hr = static_cast<IDirect3DCubeTexture9*>(ext->texture)
                 ->GetCubeMapSurface(D3DCUBEMAP_FACES(ext->cube >> 4), level, &surface);
    else
        hr = static_cast<IDirect3DTexture9*>(ext->texture)->GetSurfaceLevel(level, &surface);
    return SUCCEEDED(hr) ? surface : nullptr;
}

// The surface a render target raster draws into at a level (a new reference): a camera's swap chain or the
// back buffer, a camera texture's level.
IDirect3DSurface9* TargetSurface(const RwRaster* top, RwUInt32 level) {
    if (TypeOf(top) == rwRASTERTYPECAMERA) {
        IDirect3DSurface9* surface = nullptr;
        const RwD3D9RasterExt* ext = RwD3D9RasterExtension(top);
        const HRESULT hr = ext->swapChain
                               ? ext->swapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface)
                               : RwD3D9Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface);
        return SUCCEEDED(hr) ? surface : nullptr;
    }
    if (TypeOf(top) == rwRASTERTYPEZBUFFER) {
        auto* surface = static_cast<IDirect3DSurface9*>(RwD3D9RasterExtension(top)->texture);
        if (surface)
            surface->AddRef();
        return surface;
    }
    return LevelSurface(top, level);
}

// Records a successful lock in the raster.
void Locked(RwRaster* raster, RwD3D9RasterExt* ext, RwUInt32 level, RwInt32 mode, void** pixelsOut) {
    if (mode & rwRASTERLOCKREAD)
        raster->privateFlags |= rwRASTERPIXELLOCKEDREAD;
    if (mode & rwRASTERLOCKWRITE)
        raster->privateFlags |= rwRASTERPIXELLOCKEDWRITE;
    raster->cpPixels = static_cast<RwUInt8*>(ext->lockedRect.pBits);
    raster->originalWidth = raster->width;
    raster->originalHeight = raster->height;
    raster->width = raster->width >> level ? raster->width >> level : 1;
    raster->height = raster->height >> level ? raster->height >> level : 1;
    raster->stride = ext->lockedRect.Pitch;
    ext->lockedMipLevel = RwUInt8(level);
    if (pixelsOut)
        *pixelsOut = raster->cpPixels;
}

void Unlocked(RwRaster* raster) {
    raster->width = raster->originalWidth;
    raster->height = raster->originalHeight;
    raster->stride = 0;
    raster->cpPixels = nullptr;
}

void RegenerateMipmaps(RwRaster* raster, bool wasWrite, RwUInt8 level) {
    RwRaster* top = raster->parentRaster;
    const RwD3D9RasterExt* topExt = RwD3D9RasterExtension(top);
    if (wasWrite && ((RwInt32(raster->cFormat) << 8) & rwRASTERFORMATAUTOMIPMAP) && level == 0 &&
        !(topExt->autoMipMapping & 1))
        RwTextureRasterGenerateMipmaps(top, nullptr);
}

// Both rasters are render targets (camera or camera texture).
bool IsTarget(const RwRaster* raster) {
    return TypeOf(raster) == rwRASTERTYPECAMERA || TypeOf(raster) == rwRASTERTYPECAMERATEXTURE;
}

// Copies the source raster's rectangle into the context at the rectangle given.
RwBool RenderInto(RwRaster* source, const RECT& target, D3DTEXTUREFILTERTYPE filter, bool scaled) {
    RwRaster* destination = rasterContext;
    if (!source || !destination)
        return TRUE;
    const RwInt32 sourceType = TypeOf(source), destinationType = TypeOf(destination);
    if (sourceType == 3)
        return TRUE;
    const bool accepted = sourceType == rwRASTERTYPENORMAL || sourceType == rwRASTERTYPECAMERA ||
                          sourceType == rwRASTERTYPETEXTURE || sourceType == rwRASTERTYPECAMERATEXTURE;
    const bool destinationOk = destinationType == rwRASTERTYPENORMAL ||
                               destinationType == rwRASTERTYPETEXTURE || IsTarget(destination);
    IDirect3DSurface9* from = accepted && destinationOk ? TargetSurface(source->parentRaster, 0) : nullptr;
    IDirect3DSurface9* to = from ? TargetSurface(destination->parentRaster, 0) : nullptr;
    HRESULT hr = E_FAIL;
    if (from && to) {
        const RECT sourceRect = RectOf(source);
        RECT destinationRect = target;
        destinationRect.left += destination->nOffsetX;
        destinationRect.right += destination->nOffsetX;
        destinationRect.top += destination->nOffsetY;
        destinationRect.bottom += destination->nOffsetY;
        if (IsTarget(source) && IsTarget(destination)) {
            hr = RwD3D9Device->StretchRect(from, &sourceRect, to, &destinationRect, filter);
        } else if (IsTarget(source) && !scaled) {
            // A render target reaches a plain surface only whole.
            hr = RwD3D9Device->GetRenderTargetData(from, to);
        } else if (!scaled) {
            const POINT point = {destinationRect.left, destinationRect.top};
            hr = RwD3D9Device->UpdateSurface(from, &sourceRect, to, &point);
        }
    }
    if (from)
        from->Release();
    if (to)
        to->Release();
    if (FAILED(hr)) {
        RwErrorSetPluginMessage(nullptr);
        return FALSE;
    }
    return TRUE;
}

D3DTEXTUREFILTERTYPE Filter(bool scaled) {
    const DWORD caps = rwD3D9State.caps.StretchRectFilterCaps;
    if (scaled)
        return (caps & 0x2000200) == 0x2000200 ? D3DTEXF_LINEAR : D3DTEXF_NONE;
    return (caps & 0x1000100) == 0x1000100 ? D3DTEXF_POINT : D3DTEXF_NONE;
}

RwBool Clear(const RECT& rect, RwInt32 pixelValue) {
    RwRaster* context = rasterContext;
    if (!context)
        return FALSE;
    const RwInt32 type = TypeOf(context);
    const D3DRECT area = {rect.left + context->nOffsetX, rect.top + context->nOffsetY,
                          rect.right + context->nOffsetX, rect.bottom + context->nOffsetY};
    if (type == rwRASTERTYPEZBUFFER) {
        auto* surface =
            static_cast<IDirect3DSurface9*>(RwD3D9RasterExtension(context->parentRaster)->texture);
        if (!surface)
            return FALSE;
        RwD3D9SetDepthStencilSurface(surface);
        const HRESULT hr = RwD3D9Device->Clear(1, &area, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        RwD3D9SetDepthStencilSurface(rwD3D9State.defaultDepthStencil);
        return SUCCEEDED(hr);
    }
    if (!IsTarget(context))
        return FALSE;
    RwRGBA colour{};
    RwUInt32 pixel = RwUInt32(pixelValue), packed = 0;
    RwRGBAFromPixel(&colour, &pixel, RwInt32(context->cFormat) << 8);
    RwRGBAToPixel(&packed, &colour, rwRASTERFORMAT8888);
    IDirect3DSurface9* surface = TargetSurface(context->parentRaster, 0);
    if (!surface)
        return FALSE;
    RwD3D9SetRenderTarget(0, surface);
    const HRESULT hr = RwD3D9Device->Clear(1, &area, D3DCLEAR_TARGET, packed, 1.0f, 0);
    RwD3D9SetRenderTarget(0, rwD3D9State.defaultRenderTarget);
    surface->Release();
    return SUCCEEDED(hr);
}

bool CheckFormat(DWORD usage, D3DRESOURCETYPE resource, D3DFORMAT format) {
    return rwD3D9State.d3d->CheckDeviceFormat(rwD3D9State.adapter, rwD3D9State.deviceType,
                                              RwD3D9AdapterFormat(), usage, resource, format) == D3D_OK;
}

} // namespace

RwBool RwD3D9RasterLockStd(void* pixelsOut, void* object, RwInt32 flags) {
    auto* raster = static_cast<RwRaster*>(object);
    if (raster->cpPixels) {
        RwErrorSetCode(E_RW_INVRASTERLOCKREQ);
        return FALSE;
    }
    const RwUInt32 level = RwUInt32(flags >> 8) & 0xFF;
    const RwInt32 mode = flags & 0xFF;
    const DWORD lockFlags = (mode & rwRASTERLOCKWRITE)
                                ? D3DLOCK_NOSYSLOCK
                                : D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY | D3DLOCK_NO_DIRTY_UPDATE;
    RwRaster* top = raster->parentRaster;
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    const RECT rect = RectOf(raster);
    const RECT* area = raster != top ? &rect : nullptr;
    switch (TypeOf(raster)) {
    case rwRASTERTYPENORMAL:
    case rwRASTERTYPETEXTURE: {
        IDirect3DSurface9* surface = LevelSurface(top, level);
        if (!surface)
            return FALSE;
        if (FAILED(surface->LockRect(&ext->lockedRect, area, lockFlags))) {
            surface->Release();
            return FALSE;
        }
        ext->lockedSurface = surface;
        break;
    }
    case rwRASTERTYPECAMERA:
    case rwRASTERTYPECAMERATEXTURE: {
        IDirect3DSurface9* source = TargetSurface(top, level);
        if (!source)
            return FALSE;
        D3DSURFACE_DESC desc{};
        source->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        HRESULT hr = RwD3D9Device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                               D3DPOOL_SYSTEMMEM, &copy, nullptr);
        if (SUCCEEDED(hr) && (mode & rwRASTERLOCKREAD))
            hr = RwD3D9Device->GetRenderTargetData(source, copy);
        source->Release();
        if (SUCCEEDED(hr))
            hr = copy->LockRect(&ext->lockedRect, area, lockFlags);
        if (FAILED(hr)) {
            if (copy)
                copy->Release();
            return FALSE;
        }
        ext->lockedSurface = copy;
        break;
    }
    default:
        RwErrorSetCode(E_RW_INVRASTERLOCKREQ);
        return FALSE;
    }
    Locked(raster, ext, level, mode, static_cast<void**>(pixelsOut));
    return TRUE;
}

RwBool RwD3D9RasterUnlockStd(void*, void* object, RwInt32) {
    auto* raster = static_cast<RwRaster*>(object);
    const RwInt32 type = TypeOf(raster);
    if (!raster->cpPixels || type > rwRASTERTYPECAMERATEXTURE) {
        RwErrorSetCode(E_RW_INVRASTERUNLOCKREQ);
        return FALSE;
    }
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    const bool wasWrite = raster->privateFlags & rwRASTERPIXELLOCKEDWRITE;
    const RwUInt8 level = ext->lockedMipLevel;
    Unlocked(raster);
    IDirect3DSurface9* locked = ext->lockedSurface;
    ext->lockedSurface = nullptr;
    if (locked)
        locked->UnlockRect();
    if ((type == rwRASTERTYPECAMERA || type == rwRASTERTYPECAMERATEXTURE) && wasWrite && locked) {
        IDirect3DSurface9* destination = TargetSurface(raster->parentRaster, level);
        if (destination) {
            const RECT rect = RectOf(raster);
            const POINT point = {raster->nOffsetX, raster->nOffsetY};
            if (raster != raster->parentRaster)
                RwD3D9Device->UpdateSurface(locked, &rect, destination, &point);
            else
                RwD3D9Device->UpdateSurface(locked, nullptr, destination, nullptr);
            destination->Release();
        }
    }
    if (locked)
        locked->Release();
    raster->privateFlags &= RwUInt8(~rwRASTERPIXELLOCKED);
    ext->lockedMipLevel = 0xFF;
    if (type != rwRASTERTYPECAMERA && type != rwRASTERTYPEZBUFFER)
        RegenerateMipmaps(raster, wasWrite, level);
    return TRUE;
}

RwBool RwD3D9RasterLockPaletteStd(void* paletteOut, void* object, RwInt32 lockMode) {
    auto* raster = static_cast<RwRaster*>(object);
    const RwInt32 type = TypeOf(raster);
    if (type != rwRASTERTYPENORMAL && type != rwRASTERTYPETEXTURE && type != rwRASTERTYPECAMERATEXTURE) {
        RwErrorSetCode(E_RW_INVRASTERLOCKREQ);
        return FALSE;
    }
    RwUInt8* block = RwD3D9RasterExtension(raster->parentRaster)->palette;
    if (!block) {
        // Nothing to lock: the raster has no palette.
        RwErrorSetCode(E_RW_INVRASTERLOCKREQ);
        return FALSE;
    }
    raster->palette = block;
    raster->privateFlags |= rwRASTERPALETTELOCKED;
    if (lockMode & rwRASTERLOCKWRITE)
        raster->privateFlags |= rwRASTERPALETTELOCKEDWRITE;
    if (paletteOut)
        *static_cast<RwUInt8**>(paletteOut) = block;
    return TRUE;
}

RwBool RwD3D9RasterUnlockPaletteStd(void*, void* object, RwInt32) {
    auto* raster = static_cast<RwRaster*>(object);
    const RwInt32 type = TypeOf(raster);
    if (type != rwRASTERTYPENORMAL && type != rwRASTERTYPETEXTURE && type != rwRASTERTYPECAMERATEXTURE) {
        RwErrorSetCode(E_RW_INVRASTERUNLOCKREQ);
        return FALSE;
    }
    if ((raster->privateFlags & rwRASTERPALETTELOCKEDWRITE) && raster->palette)
        RwD3D9Device->SetPaletteEntries(RwD3D9RasterPaletteNumber(raster->parentRaster),
                                        reinterpret_cast<const PALETTEENTRY*>(raster->palette));
    raster->palette = nullptr;
    raster->privateFlags &= RwUInt8(~(rwRASTERPALETTELOCKED | rwRASTERPALETTELOCKEDWRITE));
    return TRUE;
}

RwBool RwD3D9SetRasterContextStd(void*, void* raster, RwInt32) {
    rasterContext = static_cast<RwRaster*>(raster);
    return TRUE;
}

RwRaster* RwD3D9GetRasterContext() {
    return rasterContext;
}

RwBool RwD3D9RasterClearRectStd(void*, void* object, RwInt32 pixelValue) {
    const auto* r = static_cast<const RwRect*>(object);
    return Clear({r->x, r->y, r->x + r->w, r->y + r->h}, pixelValue);
}

RwBool RwD3D9RasterClearStd(void*, void*, RwInt32 pixelValue) {
    if (!rasterContext)
        return FALSE;
    return Clear({0, 0, rasterContext->width, rasterContext->height}, pixelValue);
}

RwBool RwD3D9RasterRenderStd(void* source, void* position, RwInt32) {
    auto* raster = static_cast<RwRaster*>(source);
    if (!raster)
        return TRUE;
    const auto* p = static_cast<const RwRect*>(position);
    return RenderInto(raster, {p->x, p->y, p->x + raster->width, p->y + raster->height}, Filter(false),
                      false);
}

RwBool RwD3D9RasterRenderFastStd(void* source, void* position, RwInt32 flags) {
    return RwD3D9RasterRenderStd(source, position, flags);
}

RwBool RwD3D9RasterRenderScaledStd(void* source, void* rect, RwInt32) {
    auto* raster = static_cast<RwRaster*>(source);
    if (!raster)
        return TRUE;
    const auto* r = static_cast<const RwRect*>(rect);
    return RenderInto(raster, {r->x, r->y, r->x + r->w, r->y + r->h}, Filter(true), true);
}

RwBool RwD3D9TextureHasAlpha(const RwTexture* texture) {
    return texture->raster ? RwD3D9RasterExtension(texture->raster)->alpha : 0;
}

RwUInt8 RwD3D9RasterIsCubeTexture(const RwRaster* raster) {
    return RwD3D9RasterExtension(raster)->cube & 0x0F;
}

RwBool RwD3D9RasterIsCompressed(const RwRaster* raster) {
    return (RwD3D9RasterExtension(raster)->autoMipMapping >> 4) != 0;
}

RwBool RwD3D9CheckCubeTextureFormat(D3DFORMAT format) {
    return CheckFormat(0, D3DRTYPE_CUBETEXTURE, format);
}

RwBool RwD3D9CheckRenderTargetCubeTextureFormat(D3DFORMAT format) {
    return CheckFormat(D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, format) &&
           rwD3D9State.d3d->CheckDepthStencilMatch(rwD3D9State.adapter, rwD3D9State.deviceType,
                                                   RwD3D9AdapterFormat(), format,
                                                   rwD3D9State.present.AutoDepthStencilFormat) == D3D_OK;
}

RwBool RwD3D9CheckAutoMipmapGenCubeTextureFormat(D3DFORMAT format) {
    return (rwD3D9State.caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) &&
           CheckFormat(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_CUBETEXTURE, format);
}

RwRaster* RwD3D9RasterCreate(RwUInt32 width, RwUInt32 height, RwUInt32 d3dFormat, RwUInt32 flags) {
    const RwInt32 type = RwInt32(flags) & rwRASTERTYPEMASK;
    RwInt32 rasterFlags = RwInt32(flags);
    if (type == rwRASTERTYPENORMAL || type == rwRASTERTYPEZBUFFER)
        rasterFlags &= ~(rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP);
    RwRaster* raster = RwRasterCreate(RwInt32(width), RwInt32(height), 0, rasterFlags | rwRASTERDONTALLOCATE);
    if (!raster)
        return nullptr;
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    const auto format = D3DFORMAT(d3dFormat);
    const bool mips = rasterFlags & rwRASTERFORMATMIPMAP;
    if (mips && (rasterFlags & rwRASTERFORMATAUTOMIPMAP) &&
        (rwD3D9State.caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) &&
        CheckFormat(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, format))
        ext->autoMipMapping = 1;
    const bool depthFormat = format >= D3DFMT_D16_LOCKABLE && format <= D3DFMT_D16;
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD usage = (ext->autoMipMapping & 1) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    bool supported;
    if (type == rwRASTERTYPECAMERATEXTURE) {
        pool = D3DPOOL_DEFAULT;
        usage |= D3DUSAGE_RENDERTARGET;
        supported = RwD3D9CheckRenderTargetTextureFormat(format);
    } else if (depthFormat) {
        pool = D3DPOOL_DEFAULT;
        usage = D3DUSAGE_DEPTHSTENCIL;
        supported = RwD3D9CheckDepthTextureFormat(format);
    } else {
        supported = CheckFormat(0, D3DRTYPE_TEXTURE, format);
    }
    IDirect3DTexture9* texture = nullptr;
    if (!supported || FAILED(RwD3D9Device->CreateTexture(width, height, mips ? 0 : 1, usage, format, pool,
                                                         &texture, nullptr))) {
        RwRasterDestroy(raster);
        return nullptr;
    }
    ext->texture = texture;
    ext->d3dFormat = format;
    if (pool == D3DPOOL_DEFAULT)
        RwD3D9AddVideoMemoryRaster(raster);
    raster->cFlags &= RwUInt8(~rwRASTERDONTALLOCATE);
    raster->cFormat &= 0xF0;
    if ((format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
         format == D3DFMT_DXT5)) {
        ext->autoMipMapping |= 0x10;
        ext->alpha = format == D3DFMT_DXT1 ? 0 : 1;
        raster->cFormat |= RwUInt8((format == D3DFMT_DXT1 ? rwRASTERFORMAT565 : rwRASTERFORMAT4444) >> 8);
        raster->depth = 16;
    } else if (const RwD3D9FormatInfo* known = RwD3D9FindFormatInfo(format)) {
        const RwD3D9FormatInfo& info = *known;
        ext->alpha = info.alpha;
        raster->depth = info.depth;
        raster->cFormat |= RwUInt8(info.rwFormat >> 8);
        if (format == D3DFMT_P8 && !RwD3D9RasterAllocatePalette(raster)) {
            RwRasterDestroy(raster);
            return nullptr;
        }
    }
    return raster;
}

void RwD3D9RasterConvertToDeviceFormat(RwRaster* raster) {
    RwImage* image = RwImageCreate(raster->width, raster->height, 32);
    if (!image)
        return;
    if (!RwImageAllocatePixels(image) || !RwD3D9ImageFromRaster(image, raster, 0)) {
        RwImageDestroy(image);
        return;
    }
    const RwInt32 type = TypeOf(raster);
    const bool cube = RwD3D9RasterIsCubeTexture(raster);
    const auto supported = [&](D3DFORMAT format) {
        if (type == rwRASTERTYPECAMERATEXTURE)
            return cube ? RwD3D9CheckRenderTargetCubeTextureFormat(format)
                        : RwD3D9CheckRenderTargetTextureFormat(format);
        return cube ? RwD3D9CheckCubeTextureFormat(format) : RwD3D9CheckTextureFormat(format);
    };
    const bool deep = RwD3D9DisplayDepth() > 16;
    RwInt32 format;
    if (!RwD3D9RasterExtension(raster)->alpha)
        format = deep && supported(D3DFMT_X8R8G8B8) ? rwRASTERFORMAT888 : rwRASTERFORMAT565;
    else if (deep && supported(D3DFMT_A8R8G8B8))
        format = rwRASTERFORMAT8888;
    else
        format = supported(D3DFMT_A4R4G4B4) ? rwRASTERFORMAT4444 : rwRASTERFORMAT1555;
    const RwUInt8 cubeField = RwD3D9RasterExtension(raster)->cube;
    const RwInt32 width = raster->width, height = raster->height;
    RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERDESTROY](nullptr, raster, 0);
    raster->width = width;
    raster->height = height;
    raster->depth = 0;
    RwD3D9RasterExtension(raster)->cube = cubeField;
    RWSRCGLOBAL(stdFunc)
    [rwSTANDARDRASTERCREATE](nullptr, raster,
                             type | format | rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP);
    RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERSETIMAGE](raster, image, 0);
    RwImageDestroy(image);
}
