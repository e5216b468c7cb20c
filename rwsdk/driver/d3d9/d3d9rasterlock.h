// The driver's raster locking, palettes, raster context with render and clear, and the raster calls that
// other modules make (raster creation in a Direct3D format, conversion to the device's format).
#pragma once

#include "rwsdk/src/baraster.h"

#include <d3d9.h>

struct RwTexture;

// Standard routines.
RwBool RwD3D9RasterLockStd(void* pixels, void* raster, RwInt32 flags);
RwBool RwD3D9RasterUnlockStd(void* unused, void* raster, RwInt32 flags);
RwBool RwD3D9RasterLockPaletteStd(void* palette, void* raster, RwInt32 lockMode);
RwBool RwD3D9RasterUnlockPaletteStd(void* unused, void* raster, RwInt32 flags);
RwBool RwD3D9SetRasterContextStd(void* unused, void* raster, RwInt32 flags);
RwBool RwD3D9RasterClearRectStd(void* unused, void* rect, RwInt32 pixelValue);
RwBool RwD3D9RasterClearStd(void* unused, void* unusedToo, RwInt32 pixelValue);
RwBool RwD3D9RasterRenderStd(void* source, void* position, RwInt32 flags);
RwBool RwD3D9RasterRenderScaledStd(void* source, void* rect, RwInt32 flags);
RwBool RwD3D9RasterRenderFastStd(void* source, void* position, RwInt32 flags);

// The raster that set raster context named last.
RwRaster* RwD3D9GetRasterContext();

RwRaster* RwD3D9RasterCreate(RwUInt32 width, RwUInt32 height, RwUInt32 d3dFormat, RwUInt32 flags);
void RwD3D9RasterConvertToDeviceFormat(RwRaster* raster);
RwBool RwD3D9TextureHasAlpha(const RwTexture* texture);
RwUInt8 RwD3D9RasterIsCubeTexture(const RwRaster* raster);
RwBool RwD3D9RasterIsCompressed(const RwRaster* raster);
RwBool RwD3D9CheckCubeTextureFormat(D3DFORMAT format);
RwBool RwD3D9CheckRenderTargetCubeTextureFormat(D3DFORMAT format);
RwBool RwD3D9CheckAutoMipmapGenCubeTextureFormat(D3DFORMAT format);
