// The driver's half of rasters: the Direct3D object behind each raster, chosen formats, creation and
// destruction, and the list of rasters that live in the default pool.
#pragma once

#include "rwsdk/src/baraster.h"

#include <d3d9.h>

// The driver's extension of every raster (plugin id 0x40C).
struct RwD3D9RasterExt {
    IDirect3DResource9* texture; // texture, cube texture, or for a z buffer its surface
    RwUInt8* palette;            // 256 PALETTEENTRY then the u32 palette number
    RwUInt8 alpha;
    RwUInt8 cube;           // low 4 bits: cube texture; high 4 bits: the face a lock addresses
    RwUInt8 autoMipMapping; // low 4 bits: generated mips; high 4 bits: DXT compressed
    RwUInt8 lockedMipLevel; // 0xFF: none
    IDirect3DSurface9* lockedSurface;
    D3DLOCKED_RECT lockedRect;
    D3DFORMAT d3dFormat;
    IDirect3DSwapChain9* swapChain;
    HWND window;
};

extern RwInt32 RwD3D9RasterExtensionOffset;

inline RwD3D9RasterExt* RwD3D9RasterExtension(const RwRaster* raster) {
    return reinterpret_cast<RwD3D9RasterExt*>(reinterpret_cast<RwUInt8*>(const_cast<RwRaster*>(raster)) +
                                              RwD3D9RasterExtensionOffset);
}
RwUInt32 RwD3D9RasterPaletteNumber(const RwRaster* raster);

// The driver's attach: registers the extension, fills the format table and installs the device's part of
// immediate-mode 3D. Run by the engine's initialisation.
RwBool RwD3D9RasterPluginAttach();

struct RwD3D9FormatInfo {
    RwUInt8 alpha;
    RwUInt8 depth;
    RwUInt16 rwFormat;
};
// Indexed by D3DFORMAT: the plain formats are numbered below this; the four-character codes (DXTn and the
// like) lie above it and have no entry.
inline constexpr RwUInt32 rwD3D9FormatInfoCount = 128;
extern RwD3D9FormatInfo rwD3D9FormatInfo[rwD3D9FormatInfoCount];
// The entry of a format; null for one past the table.
inline const RwD3D9FormatInfo* RwD3D9FindFormatInfo(D3DFORMAT format) {
    return RwUInt32(format) < rwD3D9FormatInfoCount ? &rwD3D9FormatInfo[format] : nullptr;
}

// Standard routines.
RwBool RwD3D9RasterCreateStd(void* out, void* raster, RwInt32 flags);
RwBool RwD3D9RasterDestroyStd(void* out, void* raster, RwInt32 unused);
RwBool RwD3D9RasterGetMipLevelsStd(void* count, void* raster, RwInt32 unused);
RwBool RwD3D9RasterSubRasterStd(void* subRaster, void* parent, RwInt32 unused);

RwBool RwD3D9CheckTextureFormat(D3DFORMAT format);
RwBool RwD3D9CheckRenderTargetTextureFormat(D3DFORMAT format);
RwBool RwD3D9CheckDepthTextureFormat(D3DFORMAT format);
RwBool RwD3D9CheckAutoMipmapGenTextureFormat(D3DFORMAT format);
RwBool RwD3D9CheckAutoMipmapGenRenderTargetFormat(D3DFORMAT format);

// The surface that a camera texture or camera raster renders into (a new reference), or null.
IDirect3DSurface9* RwD3D9RasterGetSurface(RwRaster* raster);

// The video-memory rasters: opened at device start, closed at stop.
void RwD3D9VideoMemoryRasterListOpen();
void RwD3D9VideoMemoryRasterListClose();
// Around a reset: default-pool objects are released before and made again after.
void RwD3D9VideoMemoryRastersRelease();
// An additional swap chain for the window's client area; null when the device cannot make one.
IDirect3DSwapChain9* RwD3D9CreateWindowSwapChain(HWND window);
RwBool RwD3D9VideoMemoryRastersRestore();

// The display format and its depth, and the z-buffer depth (16 or 32).
D3DFORMAT RwD3D9AdapterFormat();
RwUInt32 RwD3D9DisplayDepth();
RwUInt32 RwD3D9ZBufferDepth();
// Clamps and rounds a texture's size to what the device takes (flags: type | format word).
void RwD3D9RasterAdjustSize(RwInt32* width, RwInt32* height, RwInt32 flags);
// The Direct3D format, bits and alpha of a raster format's pixel format.
void RwD3D9RasterFormatEntryOf(RwInt32 format, D3DFORMAT* d3dFormat, RwInt32* depth, RwUInt8* alpha);
void RwD3D9AddVideoMemoryRaster(RwRaster* raster);
// A palette block with a palette number for the raster.
RwBool RwD3D9RasterAllocatePalette(RwRaster* raster);
