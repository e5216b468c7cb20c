// Rasters: the engine's pixel buffers (textures, frame buffers, z buffers, render-target textures). Every
// operation on pixels goes to the device through the standard routines.
#pragma once

#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"

struct RwFreeList;

enum RwRasterType : RwInt32 {
    rwRASTERTYPENORMAL = 0x00,
    rwRASTERTYPEZBUFFER = 0x01,
    rwRASTERTYPECAMERA = 0x02,
    rwRASTERTYPETEXTURE = 0x04,
    rwRASTERTYPECAMERATEXTURE = 0x05,
    rwRASTERTYPEMASK = 0x07,
    rwRASTERDONTALLOCATE = 0x80,
};

enum RwRasterFormat : RwInt32 {
    rwRASTERFORMATDEFAULT = 0x0000,
    rwRASTERFORMAT1555 = 0x0100,
    rwRASTERFORMAT565 = 0x0200,
    rwRASTERFORMAT4444 = 0x0300,
    rwRASTERFORMATLUM8 = 0x0400,
    rwRASTERFORMAT8888 = 0x0500,
    rwRASTERFORMAT888 = 0x0600,
    rwRASTERFORMAT16 = 0x0700,
    rwRASTERFORMAT24 = 0x0800,
    rwRASTERFORMAT32 = 0x0900,
    rwRASTERFORMAT555 = 0x0A00,
    rwRASTERFORMATAUTOMIPMAP = 0x1000,
    rwRASTERFORMATPAL8 = 0x2000,
    rwRASTERFORMATPAL4 = 0x4000,
    rwRASTERFORMATMIPMAP = 0x8000,
    rwRASTERFORMATPIXELFORMATMASK = 0x0F00,
    rwRASTERFORMATMASK = 0xFF00,
};

enum RwRasterPrivateFlag : RwUInt8 {
    rwRASTERGAMMACORRECTED = 0x01,
    rwRASTERPIXELLOCKEDREAD = 0x02,
    rwRASTERPIXELLOCKEDWRITE = 0x04,
    rwRASTERPIXELLOCKED = 0x06,
    rwRASTERPALETTELOCKED = 0x08,
    rwRASTERPALETTELOCKEDWRITE = 0x10,
};

enum RwRasterLockMode : RwInt32 {
    rwRASTERLOCKWRITE = 0x01,
    rwRASTERLOCKREAD = 0x02,
};

struct RwRaster {
    RwRaster* parentRaster; // itself for a top raster; the top raster for a sub-raster
    RwUInt8* cpPixels;
    RwUInt8* palette;
    RwInt32 width;
    RwInt32 height;
    RwInt32 depth;
    RwInt32 stride;
    RwInt16 nOffsetX;
    RwInt16 nOffsetY;
    RwUInt8 cType;
    RwUInt8 cFlags;
    RwUInt8 privateFlags;
    RwUInt8 cFormat; // the format word >> 8
    RwUInt8* originalPixels;
    RwInt32 originalWidth;
    RwInt32 originalHeight;
    RwInt32 originalStride;
};

struct RwRect {
    RwInt32 x;
    RwInt32 y;
    RwInt32 w;
    RwInt32 h;
};

// The raster module's block in the engine instance.
constexpr RwInt32 rwRASTERCONTEXTSTACKSIZE = 10;
struct RwRasterModuleData {
    RwRaster* rasterStack[rwRASTERCONTEXTSTACKSIZE];
    RwInt32 rasterSP;
    RwRaster dummyRaster;
    RwFreeList* rasterFreeList;
};

// Registers the module with the engine (plugin id 0x407); the offset, or -1.
RwInt32 _rwRasterModuleAttach();
void* RwRasterModuleOpen(void* instance, RwInt32 offset, RwInt32 size);
void* RwRasterModuleClose(void* instance, RwInt32 offset, RwInt32 size);

RwRaster* RwRasterCreate(RwInt32 width, RwInt32 height, RwInt32 depth, RwInt32 flags);
RwBool RwRasterDestroy(RwRaster* raster);
RwUInt8* RwRasterLock(RwRaster* raster, RwUInt8 level, RwInt32 lockMode);
RwRaster* RwRasterUnlock(RwRaster* raster);
RwUInt8* RwRasterLockPalette(RwRaster* raster, RwInt32 lockMode);
RwRaster* RwRasterUnlockPalette(RwRaster* raster);
RwInt32 RwRasterGetNumLevels(RwRaster* raster);
RwRaster* RwRasterSubRaster(RwRaster* raster, RwRaster* parentRaster, const RwRect* rect);
RwRaster* RwRasterShowRaster(RwRaster* raster, void* dev, RwUInt32 flags);
RwRaster* RwRasterGetCurrentContext();

RwInt32 RwRasterRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                               RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RwRasterGetPluginOffset(RwUInt32 pluginID);

inline RwInt32 RwRasterGetWidth(const RwRaster* raster) {
    return raster->width;
}
inline RwInt32 RwRasterGetHeight(const RwRaster* raster) {
    return raster->height;
}
inline RwInt32 RwRasterGetDepth(const RwRaster* raster) {
    return raster->depth;
}
inline RwInt32 RwRasterGetType(const RwRaster* raster) {
    return raster->cType & rwRASTERTYPEMASK;
}
inline RwInt32 RwRasterGetFormat(const RwRaster* raster) {
    return RwInt32(raster->cFormat) << 8;
}
inline RwRaster* RwRasterGetParent(const RwRaster* raster) {
    return raster->parentRaster;
}
