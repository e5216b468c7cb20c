// Images: pixel arrays in system memory, the image search path, the image file formats by extension and the
// gamma tables.
#pragma once

#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"

struct RwRaster;

// Image flags.
enum RwImageFlag {
    rwIMAGEALLOCATED = 0x1,      // the image owns its pixels and palette
    rwIMAGEGAMMACORRECTED = 0x2, // red, green and blue went through the forward gamma table
};

// 32-bit pixels are 4 bytes red, green, blue, alpha; 4- and 8-bit pixels are one palette index per byte,
// and the palette holds 2^depth entries of red, green, blue, alpha.
struct RwImage {
    RwInt32 flags;
    RwInt32 width;
    RwInt32 height;
    RwInt32 depth;
    RwInt32 stride;
    RwUInt8* pixels;
    RwUInt8* palette;
};

using RwImageCallBackRead = RwImage* (*)(const RwChar* imageName);
using RwImageCallBackWrite = RwImage* (*)(RwImage* image, const RwChar* imageName);

// One registered file format; the extensions keep their dot.
struct RwImageFormat {
    RwChar lowerCaseExtension[20];
    RwChar upperCaseExtension[20];
    RwImageCallBackRead imageRead;
    RwImageCallBackWrite imageWrite;
    RwImageFormat* next;
};

// Called for every candidate file of a search; 0 stops the search.
using RwImageSearchPathCallBack = RwInt32 (*)(const RwChar* path, void* data);

// Core module 0x406.
RwInt32 _rwImageModuleAttach();

RwImage* RwImageCreate(RwInt32 width, RwInt32 height, RwInt32 depth);
RwBool RwImageDestroy(RwImage* image);
RwImage* RwImageAllocatePixels(RwImage* image);
RwImage* RwImageFreePixels(RwImage* image);
RwImage* RwImageMakeMask(RwImage* image);
RwImage* RwImageApplyMask(RwImage* image, const RwImage* mask);
RwBool RwImageCopy(RwImage* destination, const RwImage* source);
RwBool RwImageConvert(RwImage* destination, const RwImage* source);
void RwImageCopyConvert(RwImage* destination, const RwImage* source);
RwImage* RwImageGammaCorrect(RwImage* image);
RwBool RwImageSetGamma(RwReal gamma);
RwReal RwImageGetGamma();
const RwUInt8* RwImageGetGammaTable();        // forward: 256 entries
const RwUInt8* RwImageGetInverseGammaTable(); // 256 entries

const RwChar* RwImageSetPath(const RwChar* path);
const RwChar* RwImageGetPath();
const RwChar* RwImageSearchPath(const RwChar* name, RwInt32 extra, RwImageSearchPathCallBack callback,
                                void* data);
RwBool RwImageRegisterImageFormat(const RwChar* extension, RwImageCallBackRead reader,
                                  RwImageCallBackWrite writer);
const RwChar* RwImageFindFileExtension(const RwChar* name);
RwImageFormat* RwImageFindFormat(const RwChar* extension);
RwImage* RwImageRead(const RwChar* imageName);
RwImage* RwImageReadMaskedImage(const RwChar* imageName, const RwChar* maskName);
RwImage* RwImageWrite(RwImage* image, const RwChar* imageName);

// Pixels between images and rasters through the device's standard routines; the gamma-corrected mark
// travels along.
RwImage* RwImageSetFromRaster(RwImage* image, RwRaster* raster);
RwRaster* RwRasterSetFromImage(RwRaster* raster, RwImage* image);
// The size, depth and format (format byte << 8 | type) of a raster of the given type that would hold the
// image.
RwImage* RwImageFindRasterFormat(RwImage* image, RwInt32 rasterType, RwInt32* width, RwInt32* height,
                                 RwInt32* depth, RwInt32* format);

RwInt32 RwImageRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructor,
                              RwPluginObjectDestructor destructor, RwPluginObjectCopy copy);
