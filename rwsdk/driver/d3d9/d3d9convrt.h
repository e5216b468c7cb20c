// Pixel conversion between engine images and Direct3D 9 rasters, and the choice of a raster format for an
// image.
#pragma once

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"

#include <d3d9.h>

// Colour -> Direct3D pixel of one format.
typedef RwUInt32 (*RwD3D9PixelPackFunction)(RwUInt8 red, RwUInt8 green, RwUInt8 blue, RwUInt8 alpha);
// Direct3D pixel -> red, green, blue, alpha bytes.
typedef void (*RwD3D9PixelUnpackFunction)(RwUInt8* rgba, RwUInt32 pixel);

// Null for formats without a routine.
RwD3D9PixelPackFunction RwD3D9GetPixelPackRoutine(D3DFORMAT format);
RwD3D9PixelUnpackFunction RwD3D9GetPixelUnpackRoutine(D3DFORMAT format);

// Standard routines: (pixel out, RwRGBA in, format word) and (RwRGBA out, pixel in, format word).
RwBool RwRGBAToPixel(void* pixel, void* colour, RwInt32 format);
RwBool RwRGBAFromPixel(void* colour, void* pixel, RwInt32 format);
// (image, raster, -) and (raster, image, -).
RwBool RwD3D9ImageFromRaster(void* image, void* raster, RwInt32 unused);
RwBool RwD3D9RasterFromImage(void* raster, void* image, RwInt32 unused);
// (raster record out, image, raster flags): the size, type, format and depth of a raster for the image.
RwBool RwD3D9ImageFindRasterFormat(void* raster, void* image, RwInt32 flags);

RwInt32 RwImageFindBestRasterFormat(const RwImage* image);

// The format that the device would give a raster of the type asked for with the format word (the type's
// rules of raster create, with the device's substitutions); false with an error for impossible requests.
RwBool RwD3D9ChooseRasterFormat(RwInt32 flags, RwInt32* format, RwInt32* depth);
