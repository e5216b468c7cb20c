#include "rwsdk/driver/d3d9/d3d9raster.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/driver/d3d9/nodeD3D9SubmitNoLight.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"

#include <cstring>
#include <iterator>
#include <vector>

namespace {

struct RasterFormatEntry {
    D3DFORMAT format;
    RwUInt32 depth;
    RwUInt8 alpha;
};

// The pixel format's place in a format word: its number, 0 (default) to 10 (555), indexes the table below.
constexpr int pixelFormatShift = 8;
constexpr RwInt32 PixelFormatIndex(RwInt32 format) {
    return (format & rwRASTERFORMATPIXELFORMATMASK) >> pixelFormatShift;
}

const RasterFormatEntry rasterFormats[] = {
    {D3DFMT_UNKNOWN, 0, 0}, {D3DFMT_A1R5G5B5, 16, 1}, {D3DFMT_R5G6B5, 16, 0},   {D3DFMT_A4R4G4B4, 16, 1},
    {D3DFMT_L8, 8, 0},      {D3DFMT_A8R8G8B8, 32, 1}, {D3DFMT_X8R8G8B8, 32, 0}, {D3DFMT_D16, 16, 0},
    {D3DFMT_D24X8, 32, 0},  {D3DFMT_D32, 32, 0},      {D3DFMT_X1R5G5B5, 16, 0},
};
constexpr RwInt32 rasterFormatCount = RwInt32(std::size(rasterFormats));
static_assert(PixelFormatIndex(rwRASTERFORMAT1555) == 1 && PixelFormatIndex(rwRASTERFORMAT8888) == 5 &&
              PixelFormatIndex(rwRASTERFORMAT555) == rasterFormatCount - 1);

// The entry of a format word's pixel format; formats past the table (refused at creation) read as none.
const RasterFormatEntry& FormatEntry(RwInt32 format) {
    const RwInt32 index = PixelFormatIndex(format);
    return rasterFormats[index < rasterFormatCount ? index : 0];
}

struct VideoRasterNode {
    RwRaster* raster;
    VideoRasterNode* next;
};
RwFreeList* videoRasterFreeList = nullptr;
VideoRasterNode* videoRasters = nullptr;

// Palette numbers: freed ones first, else the counter.
RwUInt32 paletteCounter = 0;
std::vector<RwUInt16> freedPaletteNumbers;

constexpr RwUInt32 paletteBlockSize = 256 * sizeof(PALETTEENTRY) + sizeof(RwUInt32);

void SetFormatError() {
    RwErrorSetCode(E_RW_INVRASTERFORMAT);
}

IDirect3D9* D3D() {
    return rwD3D9State.d3d;
}

// The display format: the desktop's in a window, the mode's in full screen.
D3DFORMAT AdapterFormat() {
    return (rwD3D9State.currentMode.flags & 1) ? rwD3D9State.currentMode.format
                                               : rwD3D9State.desktopMode.format;
}

RwUInt32 DisplayDepth() {
    return RwD3D9FormatDepth(AdapterFormat());
}

RwUInt32 ZBufferDepth() {
    const D3DFORMAT f = rwD3D9State.present.AutoDepthStencilFormat;
    return (f == D3DFMT_D16 || f == D3DFMT_D15S1 || f == D3DFMT_D16_LOCKABLE) ? 16 : 32;
}

void AddVideoRaster(RwRaster* raster) {
    if (!videoRasterFreeList)
        return;
    auto* node = static_cast<VideoRasterNode*>(RwFreeListEntryAlloc(videoRasterFreeList, 0x30411));
    if (!node)
        return;
    node->raster = raster;
    node->next = videoRasters;
    videoRasters = node;
}

void RemoveVideoRaster(RwRaster* raster) {
    for (VideoRasterNode** link = &videoRasters; *link; link = &(*link)->next) {
        if ((*link)->raster == raster) {
            VideoRasterNode* node = *link;
            *link = node->next;
            RwFreeListEntryFree(videoRasterFreeList, node);
            return;
        }
    }
}

RwUInt32 HighestBit(RwUInt32 v) {
    RwUInt32 bit = 1;
    while (v >>= 1)
        bit <<= 1;
    return bit;
}

void AdjustSize(RwInt32& width, RwInt32& height, RwInt32 flags) {
    const D3DCAPS9& caps = rwD3D9State.caps;
    if (RwUInt32(width) > caps.MaxTextureWidth)
        width = RwInt32(caps.MaxTextureWidth);
    if (RwUInt32(height) > caps.MaxTextureHeight)
        height = RwInt32(caps.MaxTextureHeight);
    const RwInt32 type = flags & rwRASTERTYPEMASK;
    const bool mipmap = flags & rwRASTERFORMATMIPMAP;
    bool pow2 = false;
    if (type == rwRASTERTYPENORMAL || !mipmap)
        pow2 = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) &&
               !(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL);
    else
        pow2 = caps.TextureCaps & D3DPTEXTURECAPS_POW2;
    if (pow2) {
        width = RwInt32(HighestBit(RwUInt32(width)));
        height = RwInt32(HighestBit(RwUInt32(height)));
    }
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY)
        width = height = width < height ? width : height;
}

bool AllocatePalette(RwD3D9RasterExt* ext) {
    ext->palette = static_cast<RwUInt8*>(RwMalloc(paletteBlockSize, 0x30411));
    if (!ext->palette)
        return false;
    std::memset(ext->palette, 0, paletteBlockSize);
    RwUInt32 number;
    if (!freedPaletteNumbers.empty()) {
        number = freedPaletteNumbers.back();
        freedPaletteNumbers.pop_back();
    } else {
        number = paletteCounter++;
    }
    std::memcpy(ext->palette + 256 * sizeof(PALETTEENTRY), &number, sizeof number);
    return true;
}

void FreePalette(RwD3D9RasterExt* ext) {
    if (!ext->palette)
        return;
    RwUInt32 number;
    std::memcpy(&number, ext->palette + 256 * sizeof(PALETTEENTRY), sizeof number);
    freedPaletteNumbers.push_back(RwUInt16(number));
    RwFree(ext->palette);
    ext->palette = nullptr;
}

bool CheckDepthStencil(D3DFORMAT format) {
    return D3D()->CheckDeviceFormat(rwD3D9State.adapter, rwD3D9State.deviceType, AdapterFormat(),
                                    D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format) == D3D_OK &&
           D3D()->CheckDepthStencilMatch(rwD3D9State.adapter, rwD3D9State.deviceType, AdapterFormat(),
                                         AdapterFormat(), format) == D3D_OK;
}

bool ClientSize(RwInt32& width, RwInt32& height) {
    RECT rect{};
    if (!GetClientRect(rwD3D9State.window, &rect))
        return false;
    width = rect.right;
    height = rect.bottom;
    return true;
}

// The z buffer's surface: the device's own when the raster has the client size.
bool CreateZBufferSurface(RwRaster* raster) {
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    D3DFORMAT format;
    if (ZBufferDepth() == 16) {
        format = CheckDepthStencil(D3DFMT_D15S1) ? D3DFMT_D15S1 : D3DFMT_D16;
    } else {
        format = D3DFMT_D24X8;
        for (D3DFORMAT f : {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D32}) {
            if (CheckDepthStencil(f)) {
                format = f;
                break;
            }
        }
    }
    ext->d3dFormat = format;
    RwInt32 cw = 0, ch = 0;
    if (ClientSize(cw, ch) && cw == raster->width && ch == raster->height) {
        ext->texture = rwD3D9State.defaultDepthStencil;
        return true;
    }
    RwD3D9Device->EvictManagedResources();
    IDirect3DSurface9* surface = nullptr;
    const HRESULT hr = RwD3D9Device->CreateDepthStencilSurface(
        UINT(raster->width), UINT(raster->height), format, rwD3D9State.present.MultiSampleType,
        rwD3D9State.present.MultiSampleQuality, FALSE, &surface, nullptr);
    if (FAILED(hr)) {
        RwErrorSetPluginMessage(hr == D3DERR_OUTOFVIDEOMEMORY
                                    ? "Out of video memory. Failed to create raster."
                                    : "Failed to create raster.");
        return false;
    }
    ext->texture = surface;
    return true;
}

bool CreateCameraTexture(RwRaster* raster, RwInt32 flags) {
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    if (flags & (rwRASTERFORMATPAL8 | rwRASTERFORMATPAL4)) {
        RwErrorSetPluginMessage("rwRASTERTYPECAMERATEXTURE can not be palletized.");
        return false;
    }
    const RasterFormatEntry& entry = FormatEntry(flags);
    ext->d3dFormat = entry.format;
    ext->alpha = entry.alpha;
    RwInt32 width = raster->width, height = raster->height;
    AdjustSize(width, height, flags);
    raster->width = width;
    raster->height = height;
    RwD3D9Device->EvictManagedResources();
    const UINT levels = (flags & rwRASTERFORMATMIPMAP) ? 0 : 1;
    const DWORD autoMip = (ext->autoMipMapping & 1) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    // A cube camera texture renders into one face at a time (the face in the cube field).
    IDirect3DResource9* texture = nullptr;
    const auto create = [&](DWORD usage, D3DFORMAT format) {
        if (ext->cube & 0x0F) {
            IDirect3DCubeTexture9* cube = nullptr;
            const HRESULT result = RwD3D9Device->CreateCubeTexture(UINT(width), levels, usage, format,
                                                                   D3DPOOL_DEFAULT, &cube, nullptr);
            texture = cube;
            return result;
        }
        IDirect3DTexture9* plain = nullptr;
        const HRESULT result = RwD3D9Device->CreateTexture(UINT(width), UINT(height), levels, usage, format,
                                                           D3DPOOL_DEFAULT, &plain, nullptr);
        texture = plain;
        return result;
    };
    HRESULT hr = create(D3DUSAGE_RENDERTARGET | autoMip, ext->d3dFormat);
    if (hr == D3DERR_OUTOFVIDEOMEMORY) {
        RwErrorSetPluginMessage("Out of video memory. Failed to create raster.");
        return false;
    }
    if (FAILED(hr)) {
        hr = create(autoMip, AdapterFormat());
        if (FAILED(hr)) {
            RwErrorSetPluginMessage("Failed to create raster.");
            return false;
        }
        ext->d3dFormat = AdapterFormat();
        const RwD3D9FormatInfo* info = RwD3D9FindFormatInfo(AdapterFormat());
        raster->cFormat = RwUInt8((info ? info->rwFormat : 0) >> 8);
        raster->depth = RwInt32(DisplayDepth());
    }
    ext->texture = texture;
    return true;
}

bool CreateTextureObject(RwRaster* raster, RwInt32 flags) {
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    const RwInt32 pixelFormat = flags & rwRASTERFORMATPIXELFORMATMASK;
    if (flags & (rwRASTERFORMATPAL8 | rwRASTERFORMATPAL4)) {
        if (pixelFormat != rwRASTERFORMAT888 && pixelFormat != rwRASTERFORMAT8888) {
            RwErrorSetPluginMessage(
                "Palletized texture can only be rwRASTERFORMAT888 or rwRASTERFORMAT8888.");
            return false;
        }
        if (!AllocatePalette(ext))
            return false;
        ext->d3dFormat = D3DFMT_P8;
    } else {
        ext->d3dFormat = FormatEntry(pixelFormat).format;
    }
    ext->alpha = FormatEntry(pixelFormat).alpha;
    RwInt32 width = raster->width, height = raster->height;
    AdjustSize(width, height, flags);
    raster->width = width;
    raster->height = height;
    const UINT levels = (flags & rwRASTERFORMATMIPMAP) ? 0 : 1;
    const DWORD usage = (ext->autoMipMapping & 1) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    HRESULT hr;
    const bool depthFormat = ext->d3dFormat >= D3DFMT_D16_LOCKABLE && ext->d3dFormat <= D3DFMT_D16;
    if (ext->cube & 0x0F) {
        IDirect3DCubeTexture9* cube = nullptr;
        hr = RwD3D9Device->CreateCubeTexture(UINT(width), levels, usage, ext->d3dFormat, D3DPOOL_MANAGED,
                                             &cube, nullptr);
        ext->texture = cube;
    } else {
        IDirect3DTexture9* texture = nullptr;
        hr = depthFormat ? RwD3D9Device->CreateTexture(UINT(width), UINT(height), 1, D3DUSAGE_DEPTHSTENCIL,
                                                       ext->d3dFormat, D3DPOOL_DEFAULT, &texture, nullptr)
                         : RwD3D9Device->CreateTexture(UINT(width), UINT(height), levels, usage,
                                                       ext->d3dFormat, D3DPOOL_MANAGED, &texture, nullptr);
        ext->texture = texture;
    }
    if (FAILED(hr)) {
        ext->texture = nullptr;
        FreePalette(ext);
        RwErrorSetPluginMessage("Failed to create texture.");
        return false;
    }
    if (depthFormat || ext->palette)
        AddVideoRaster(raster);
    return true;
}

// Chooses the format of a normal or texture raster; false (no error) when the device lacks it.
bool ChooseTextureFormat(RwRaster* raster, RwInt32& format) {
    const RwInt32 pixel = format & rwRASTERFORMATPIXELFORMATMASK;
    const bool pal8 = format & rwRASTERFORMATPAL8;
    const bool alphaPalette = rwD3D9State.caps.TextureCaps & D3DPTEXTURECAPS_ALPHAPALETTE;
    if (pixel == 0) {
        if (pal8) {
            if (!RwD3D9CheckTextureFormat(D3DFMT_P8))
                return false;
            format |= alphaPalette ? rwRASTERFORMAT8888 : rwRASTERFORMAT888;
            raster->depth = 8;
        } else if (DisplayDepth() > 16 && RwD3D9CheckTextureFormat(D3DFMT_A8R8G8B8)) {
            format |= rwRASTERFORMAT8888;
            raster->depth = 32;
        } else if (RwD3D9CheckTextureFormat(D3DFMT_A4R4G4B4)) {
            format |= rwRASTERFORMAT4444;
            raster->depth = 16;
        } else {
            format |= rwRASTERFORMAT1555;
            raster->depth = 16;
        }
        return true;
    }
    if (format & rwRASTERFORMATPAL4) {
        SetFormatError();
        return false;
    }
    if (!pal8) {
        const D3DFORMAT d3d = FormatEntry(pixel).format;
        const bool ok = (d3d >= D3DFMT_D16_LOCKABLE && d3d <= D3DFMT_D16) ? RwD3D9CheckDepthTextureFormat(d3d)
                                                                          : RwD3D9CheckTextureFormat(d3d);
        if (!ok)
            return false;
        raster->depth = RwInt32(FormatEntry(pixel).depth);
        return true;
    }
    if (!RwD3D9CheckTextureFormat(D3DFMT_P8))
        return false;
    if (!(pixel == rwRASTERFORMAT888 || (pixel == rwRASTERFORMAT8888 && alphaPalette)))
        return false;
    raster->depth = 8;
    return true;
}

void ExtensionConstructorFields(RwD3D9RasterExt* ext) {
    std::memset(static_cast<void*>(ext), 0, sizeof *ext);
    ext->lockedMipLevel = 0xFF;
}

void* ExtensionConstruct(void* object, RwInt32 offset, RwInt32) {
    reinterpret_cast<RwD3D9RasterExt*>(static_cast<RwUInt8*>(object) + offset)->swapChain = nullptr;
    return object;
}

void* ExtensionDestruct(void* object, RwInt32 offset, RwInt32) {
    auto* ext = reinterpret_cast<RwD3D9RasterExt*>(static_cast<RwUInt8*>(object) + offset);
    if (ext->swapChain) {
        ext->swapChain->Release();
        ext->swapChain = nullptr;
    }
    return object;
}

void* ExtensionCopy(void*, const void*, RwInt32, RwInt32) {
    return nullptr;
}

} // namespace

RwInt32 RwD3D9RasterExtensionOffset = -1;

D3DFORMAT RwD3D9AdapterFormat() {
    return AdapterFormat();
}

RwUInt32 RwD3D9DisplayDepth() {
    return DisplayDepth();
}

RwUInt32 RwD3D9ZBufferDepth() {
    return ZBufferDepth();
}

void RwD3D9RasterAdjustSize(RwInt32* width, RwInt32* height, RwInt32 flags) {
    AdjustSize(*width, *height, flags);
}

void RwD3D9RasterFormatEntryOf(RwInt32 format, D3DFORMAT* d3dFormat, RwInt32* depth, RwUInt8* alpha) {
    const RasterFormatEntry& entry = FormatEntry(format);
    if (d3dFormat)
        *d3dFormat = entry.format;
    if (depth)
        *depth = RwInt32(entry.depth);
    if (alpha)
        *alpha = entry.alpha;
}

void RwD3D9AddVideoMemoryRaster(RwRaster* raster) {
    AddVideoRaster(raster);
}

RwBool RwD3D9RasterAllocatePalette(RwRaster* raster) {
    return AllocatePalette(RwD3D9RasterExtension(raster)) ? TRUE : FALSE;
}

RwD3D9FormatInfo rwD3D9FormatInfo[rwD3D9FormatInfoCount];

RwUInt32 RwD3D9RasterPaletteNumber(const RwRaster* raster) {
    RwUInt32 number = 0;
    const RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    if (ext->palette)
        std::memcpy(&number, ext->palette + 256 * sizeof(PALETTEENTRY), sizeof number);
    return number;
}

RwBool RwD3D9RasterPluginAttach() {
    RwD3D9Im3DInstall();
    RwD3D9RasterExtensionOffset = RwRasterRegisterPlugin(
        sizeof(RwD3D9RasterExt), rwID_DEVICEMODULE, ExtensionConstruct, ExtensionDestruct, ExtensionCopy);
    if (RwD3D9RasterExtensionOffset < 0)
        return FALSE;
    std::memset(rwD3D9FormatInfo, 0, sizeof rwD3D9FormatInfo);
    struct Row {
        D3DFORMAT format;
        RwUInt8 alpha, depth;
        RwUInt16 rwFormat;
    };
    static const Row rows[] = {
        {D3DFMT_A8R8G8B8, 1, 32, rwRASTERFORMAT8888},
        {D3DFMT_X8R8G8B8, 0, 32, rwRASTERFORMAT888},
        {D3DFMT_R5G6B5, 0, 16, rwRASTERFORMAT565},
        {D3DFMT_X1R5G5B5, 0, 16, rwRASTERFORMAT555},
        {D3DFMT_A1R5G5B5, 1, 16, rwRASTERFORMAT1555},
        {D3DFMT_A4R4G4B4, 1, 16, rwRASTERFORMAT4444},
        {D3DFMT_P8, 0, 8, rwRASTERFORMATPAL8},
        {D3DFMT_L8, 0, 8, rwRASTERFORMATLUM8},
        {D3DFMT_D16_LOCKABLE, 0, 16, rwRASTERFORMAT16},
        {D3DFMT_D15S1, 0, 16, rwRASTERFORMAT16},
        {D3DFMT_D16, 0, 16, rwRASTERFORMAT16},
        {D3DFMT_D32, 0, 32, rwRASTERFORMAT32},
        {D3DFMT_D24S8, 0, 32, rwRASTERFORMAT32},
        {D3DFMT_D24X8, 0, 32, rwRASTERFORMAT32},
        {D3DFMT_D24X4S4, 0, 32, rwRASTERFORMAT32},
        {D3DFMT_D32F_LOCKABLE, 0, 32, rwRASTERFORMAT32},
        {D3DFMT_D24FS8, 0, 32, rwRASTERFORMAT32},
        {D3DFMT_R8G8B8, 0, 24, 0},
        {D3DFMT_R3G3B2, 0, 8, 0},
        {D3DFMT_A8, 1, 8, 0},
        {D3DFMT_A8R3G3B2, 1, 16, 0},
        {D3DFMT_X4R4G4B4, 0, 16, 0},
        {D3DFMT_A2B10G10R10, 1, 32, 0},
        {D3DFMT_A8B8G8R8, 1, 32, 0},
        {D3DFMT_X8B8G8R8, 0, 32, 0},
        {D3DFMT_G16R16, 0, 32, 0},
        {D3DFMT_A2R10G10B10, 1, 32, 0},
        {D3DFMT_A16B16G16R16, 1, 64, 0},
        {D3DFMT_A8P8, 1, 16, 0},
        {D3DFMT_A8L8, 1, 16, 0},
        {D3DFMT_A4L4, 1, 8, 0},
        {D3DFMT_V8U8, 0, 16, 0},
        {D3DFMT_L6V5U5, 0, 16, 0},
        {D3DFMT_X8L8V8U8, 0, 32, 0},
        {D3DFMT_Q8W8V8U8, 0, 32, 0},
        {D3DFMT_V16U16, 0, 32, 0},
        {D3DFMT_A2W10V10U10, 1, 32, 0},
        {D3DFMT_L16, 0, 16, 0},
        {D3DFMT_Q16W16V16U16, 0, 64, 0},
        {D3DFMT_R16F, 0, 16, 0},
        {D3DFMT_G16R16F, 0, 32, 0},
        {D3DFMT_A16B16G16R16F, 1, 64, 0},
        {D3DFMT_R32F, 0, 32, 0},
        {D3DFMT_G32R32F, 0, 64, 0},
        {D3DFMT_A32B32G32R32F, 1, 128, 0},
        {D3DFMT_CxV8U8, 0, 16, 0},
    };
    for (const Row& row : rows)
        rwD3D9FormatInfo[row.format] = {row.alpha, row.depth, row.rwFormat};
    return TRUE;
}

RwBool RwD3D9CheckTextureFormat(D3DFORMAT format) {
    return D3D()->CheckDeviceFormat(rwD3D9State.adapter, rwD3D9State.deviceType, AdapterFormat(), 0,
                                    D3DRTYPE_TEXTURE, format) == D3D_OK;
}

RwBool RwD3D9CheckRenderTargetTextureFormat(D3DFORMAT format) {
    return D3D()->CheckDeviceFormat(rwD3D9State.adapter, rwD3D9State.deviceType, AdapterFormat(),
                                    D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format) == D3D_OK &&
           D3D()->CheckDepthStencilMatch(rwD3D9State.adapter, rwD3D9State.deviceType, AdapterFormat(), format,
                                         rwD3D9State.present.AutoDepthStencilFormat) == D3D_OK;
}

RwBool RwD3D9CheckDepthTextureFormat(D3DFORMAT format) {
    return D3D()->CheckDeviceFormat(rwD3D9State.adapter, rwD3D9State.deviceType, AdapterFormat(),
                                    D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_TEXTURE, format) == D3D_OK &&
           D3D()->CheckDepthStencilMatch(rwD3D9State.adapter, rwD3D9State.deviceType, AdapterFormat(),
                                         AdapterFormat(), format) == D3D_OK;
}

RwBool RwD3D9CheckAutoMipmapGenTextureFormat(D3DFORMAT format) {
    return (rwD3D9State.caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) &&
           D3D()->CheckDeviceFormat(rwD3D9State.adapter, rwD3D9State.deviceType, AdapterFormat(),
                                    D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, format) == D3D_OK;
}

RwBool RwD3D9CheckAutoMipmapGenRenderTargetFormat(D3DFORMAT format) {
    return (rwD3D9State.caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) &&
           D3D()->CheckDeviceFormat(rwD3D9State.adapter, rwD3D9State.deviceType, AdapterFormat(),
                                    D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                    format) == D3D_OK;
}

RwBool RwD3D9RasterCreateStd(void*, void* object, RwInt32 flags) {
    auto* raster = static_cast<RwRaster*>(object);
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    const RwInt32 type = flags & rwRASTERTYPEMASK;
    raster->cType = RwUInt8(type);
    raster->cFlags = RwUInt8(flags & 0xF8);
    raster->cpPixels = nullptr;
    raster->palette = nullptr;
    // The cube field is chosen before creation (an empty raster, or one being converted): keep it.
    const RwUInt8 cube = ext->cube;
    ExtensionConstructorFields(ext);
    ext->cube = cube;
    RwInt32 format = flags & rwRASTERFORMATMASK;
    const RwInt32 pixel = format & rwRASTERFORMATPIXELFORMATMASK;
    // A pixel format the table does not know (0xB00 to 0xF00) is a bad format, not another entry.
    if ((pixel >> 8) >= rasterFormatCount) {
        SetFormatError();
        return FALSE;
    }

    switch (type) {
    case rwRASTERTYPENORMAL:
    case rwRASTERTYPETEXTURE:
        if (!ChooseTextureFormat(raster, format))
            return FALSE;
        if (!(format & rwRASTERFORMATPAL8) && (format & rwRASTERFORMATMIPMAP) &&
            (format & rwRASTERFORMATAUTOMIPMAP) &&
            RwD3D9CheckAutoMipmapGenTextureFormat(FormatEntry(format).format))
            ext->autoMipMapping = 1;
        break;
    case rwRASTERTYPEZBUFFER: {
        const RwUInt32 z = ZBufferDepth();
        if (pixel == 0) {
            format |= z == 16 ? rwRASTERFORMAT16 : rwRASTERFORMAT32;
            raster->depth = RwInt32(z);
        } else if ((pixel == rwRASTERFORMAT16 && z == 16) || (pixel == rwRASTERFORMAT32 && z == 32)) {
            raster->depth = RwInt32(z);
        } else {
            SetFormatError();
            return FALSE;
        }
        break;
    }
    case rwRASTERTYPECAMERA: {
        const RwD3D9FormatInfo* info = RwD3D9FindFormatInfo(AdapterFormat());
        const RwInt32 display = info ? info->rwFormat : 0;
        if (pixel == 0)
            format |= display;
        else if (pixel != display) {
            SetFormatError();
            return FALSE;
        }
        raster->depth = RwInt32(DisplayDepth());
        break;
    }
    case rwRASTERTYPECAMERATEXTURE:
        if (pixel == 0) {
            if (DisplayDepth() == 16 || !RwD3D9CheckRenderTargetTextureFormat(D3DFMT_X8R8G8B8)) {
                format |= rwRASTERFORMAT565;
                raster->depth = 16;
            } else {
                format |= rwRASTERFORMAT888;
                raster->depth = 32;
            }
        } else {
            if (!RwD3D9CheckRenderTargetTextureFormat(FormatEntry(pixel).format)) {
                SetFormatError();
                return FALSE;
            }
            raster->depth = RwInt32(FormatEntry(pixel).depth);
        }
        if ((format & rwRASTERFORMATMIPMAP) && (format & rwRASTERFORMATAUTOMIPMAP) &&
            RwD3D9CheckAutoMipmapGenRenderTargetFormat(FormatEntry(format).format))
            ext->autoMipMapping = 1;
        break;
    default:
        SetFormatError();
        return FALSE;
    }

    raster->cFormat = RwUInt8(format >> 8);
    if (raster->width == 0 || raster->height == 0) {
        raster->cFlags = rwRASTERDONTALLOCATE;
        raster->stride = 0;
        if (raster->depth == 0)
            raster->depth = 16;
        if (type == rwRASTERTYPECAMERA)
            AddVideoRaster(raster);
        return TRUE;
    }
    if ((raster->cFlags & rwRASTERDONTALLOCATE) && type != rwRASTERTYPECAMERA)
        return TRUE;

    const RwInt32 createFlags = type | format;
    switch (type) {
    case rwRASTERTYPENORMAL:
    case rwRASTERTYPETEXTURE:
        return CreateTextureObject(raster, createFlags);
    case rwRASTERTYPEZBUFFER:
        if (!CreateZBufferSurface(raster))
            return FALSE;
        AddVideoRaster(raster);
        return TRUE;
    case rwRASTERTYPECAMERATEXTURE:
        if (!CreateCameraTexture(raster, createFlags))
            return FALSE;
        AddVideoRaster(raster);
        return TRUE;
    case rwRASTERTYPECAMERA: {
        RwInt32 cw = 0, ch = 0;
        ClientSize(cw, ch);
        if (!(raster->cFlags & rwRASTERDONTALLOCATE) && (raster->width > cw || raster->height > ch)) {
            RwErrorSetPluginMessage("Camera raster is too big.");
            return FALSE;
        }
        raster->depth = RwInt32(RwD3D9FormatDepth(AdapterFormat()));
        raster->cFlags = rwRASTERDONTALLOCATE;
        raster->stride = 0;
        raster->originalWidth = raster->width;
        raster->originalHeight = raster->height;
        ext->d3dFormat = AdapterFormat();
        AddVideoRaster(raster);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

RwBool RwD3D9RasterDestroyStd(void*, void* object, RwInt32) {
    auto* raster = static_cast<RwRaster*>(object);
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    for (RwUInt32 stage = 0; stage < RwUInt32(rwD3D9MaxStages); ++stage) {
        if (RwD3D9GetRasterStage(stage) == raster)
            RwD3D9SetRasterStage(nullptr, stage);
    }
    const RwInt32 type = raster->cType & rwRASTERTYPEMASK;
    if (type > rwRASTERTYPECAMERATEXTURE) {
        SetFormatError();
        return FALSE;
    }
    RemoveVideoRaster(raster);
    if (raster->parentRaster != raster)
        return TRUE;
    FreePalette(ext);
    if (ext->texture && ext->texture != rwD3D9State.defaultDepthStencil)
        ext->texture->Release();
    ext->texture = nullptr;
    if (ext->swapChain) {
        ext->swapChain->Release();
        ext->swapChain = nullptr;
        // Its back buffer may be the cached render target: the cache must not keep a freed surface.
        RwD3D9ClearTargetCaches();
    }
    return TRUE;
}

RwBool RwD3D9RasterGetMipLevelsStd(void* out, void* object, RwInt32) {
    auto* raster = static_cast<RwRaster*>(object);
    auto* count = static_cast<RwInt32*>(out);
    const RwInt32 type = raster->cType & rwRASTERTYPEMASK;
    if (type != rwRASTERTYPENORMAL && type != rwRASTERTYPETEXTURE && type != rwRASTERTYPECAMERATEXTURE) {
        *count = 1;
        return TRUE;
    }
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    if (ext->texture) {
        *count = RwInt32(static_cast<IDirect3DBaseTexture9*>(ext->texture)->GetLevelCount());
        return TRUE;
    }
    RwUInt32 size = RwUInt32(raster->width > raster->height ? raster->width : raster->height);
    RwInt32 bits = 0;
    while (size) {
        ++bits;
        size >>= 1;
    }
    *count = bits;
    return TRUE;
}

RwBool RwD3D9RasterSubRasterStd(void* subObject, void* parentObject, RwInt32) {
    auto* sub = static_cast<RwRaster*>(subObject);
    auto* parent = static_cast<RwRaster*>(parentObject);
    sub->stride = parent->stride;
    sub->depth = parent->depth;
    sub->cType = parent->cType;
    sub->cFormat = parent->cFormat;
    sub->cpPixels = nullptr;
    const RwInt32 type = sub->cType & rwRASTERTYPEMASK;
    if (type == rwRASTERTYPECAMERA || type == rwRASTERTYPECAMERATEXTURE || type == rwRASTERTYPEZBUFFER) {
        RwD3D9RasterExt* subExt = RwD3D9RasterExtension(sub);
        *subExt = *RwD3D9RasterExtension(parent->parentRaster);
        subExt->swapChain = nullptr;
        subExt->palette = nullptr;
        AddVideoRaster(sub);
    }
    return TRUE;
}

IDirect3DSurface9* RwD3D9RasterGetSurface(RwRaster* raster) {
    RwRaster* top = raster->parentRaster;
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(top);
    if (!ext->texture)
        return nullptr;
    IDirect3DSurface9* surface = nullptr;
    const RwInt32 type = top->cType & rwRASTERTYPEMASK;
    if (type == rwRASTERTYPEZBUFFER) {
        surface = static_cast<IDirect3DSurface9*>(ext->texture);
        surface->AddRef();
    } else if (ext->cube & 0x0F) {
        static_cast<IDirect3DCubeTexture9*>(ext->texture)
            ->GetCubeMapSurface(D3DCUBEMAP_FACES(ext->cube >> 4), 0, &surface);
    } else {
        static_cast<IDirect3DTexture9*>(ext->texture)->GetSurfaceLevel(0, &surface);
    }
    return surface;
}

void RwD3D9VideoMemoryRasterListOpen() {
    videoRasters = nullptr;
    if (!videoRasterFreeList)
        videoRasterFreeList = RwFreeListCreate(sizeof(VideoRasterNode), 127, 4, 0x30411);
}

void RwD3D9VideoMemoryRasterListClose() {
    // Node by node: with free lists off they are separate allocations.
    while (videoRasters) {
        VideoRasterNode* node = videoRasters;
        videoRasters = node->next;
        RwFreeListEntryFree(videoRasterFreeList, node);
    }
    if (videoRasterFreeList)
        RwFreeListDestroy(videoRasterFreeList);
    videoRasterFreeList = nullptr;
    videoRasters = nullptr;
}

void RwD3D9VideoMemoryRastersRelease() {
    for (VideoRasterNode* node = videoRasters; node; node = node->next) {
        RwRaster* raster = node->raster;
        if (raster->parentRaster != raster)
            continue;
        RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
        const RwInt32 type = raster->cType & rwRASTERTYPEMASK;
        const bool depthTexture = (type == rwRASTERTYPENORMAL || type == rwRASTERTYPETEXTURE) &&
                                  ext->d3dFormat >= D3DFMT_D16_LOCKABLE && ext->d3dFormat <= D3DFMT_D16;
        if (type == rwRASTERTYPEZBUFFER || type == rwRASTERTYPECAMERATEXTURE || depthTexture) {
            if (ext->texture && ext->texture != rwD3D9State.defaultDepthStencil)
                ext->texture->Release();
            ext->texture = nullptr;
        }
        // A camera on another window gives its swap chain up (the device refuses a reset while one lives);
        // it keeps its window to make a new one after the reset.
        if (type == rwRASTERTYPECAMERA && ext->swapChain) {
            ext->swapChain->Release();
            ext->swapChain = nullptr;
        }
    }
    RwD3D9ClearTargetCaches();
}

IDirect3DSwapChain9* RwD3D9CreateWindowSwapChain(HWND window) {
    D3DPRESENT_PARAMETERS present = rwD3D9State.present;
    present.hDeviceWindow = window;
    present.EnableAutoDepthStencil = FALSE;
    RECT rect{};
    GetClientRect(window, &rect);
    present.BackBufferWidth = rect.right == 0 ? 1 : UINT(rect.right);
    present.BackBufferHeight = rect.bottom == 0 ? 1 : UINT(rect.bottom);
    IDirect3DSwapChain9* chain = nullptr;
    if (FAILED(RwD3D9Device->CreateAdditionalSwapChain(&present, &chain)))
        return nullptr;
    return chain;
}

RwBool RwD3D9VideoMemoryRastersRestore() {
    bool ok = true;
    for (VideoRasterNode* node = videoRasters; node; node = node->next) {
        RwRaster* raster = node->raster;
        if (raster->parentRaster != raster || raster->width == 0 || raster->height == 0)
            continue;
        RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
        const RwInt32 type = raster->cType & rwRASTERTYPEMASK;
        if (type == rwRASTERTYPECAMERA && ext->window && !ext->swapChain) {
            ext->swapChain = RwD3D9CreateWindowSwapChain(ext->window);
            ok = ext->swapChain && ok;
        } else if (type == rwRASTERTYPEZBUFFER && !ext->texture)
            ok = CreateZBufferSurface(raster) && ok;
        else if (type == rwRASTERTYPECAMERATEXTURE && !ext->texture)
            ok = CreateCameraTexture(raster, type | (RwInt32(raster->cFormat) << 8)) && ok;
        else if ((type == rwRASTERTYPENORMAL || type == rwRASTERTYPETEXTURE) && ext->palette)
            ok = SUCCEEDED(RwD3D9Device->SetPaletteEntries(RwD3D9RasterPaletteNumber(raster),
                                                           reinterpret_cast<PALETTEENTRY*>(ext->palette))) &&
                 ok;
        else if ((type == rwRASTERTYPENORMAL || type == rwRASTERTYPETEXTURE) && !ext->texture &&
                 ext->d3dFormat >= D3DFMT_D16_LOCKABLE && ext->d3dFormat <= D3DFMT_D16) {
            IDirect3DTexture9* texture = nullptr;
            ok = SUCCEEDED(RwD3D9Device->CreateTexture(UINT(raster->width), UINT(raster->height), 1,
                                                       D3DUSAGE_DEPTHSTENCIL, ext->d3dFormat, D3DPOOL_DEFAULT,
                                                       &texture, nullptr)) &&
                 ok;
            ext->texture = texture;
        }
    }
    // Sub-rasters copy their parent's objects.
    for (VideoRasterNode* node = videoRasters; node; node = node->next) {
        RwRaster* raster = node->raster;
        if (raster->parentRaster != raster)
            RwD3D9RasterExtension(raster)->texture = RwD3D9RasterExtension(raster->parentRaster)->texture;
    }
    return ok ? TRUE : FALSE;
}
