// The debug character set: a built-in 8 x 14 bitmap font drawn into a two-colour texture raster.
#pragma once

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/types.h"

constexpr RwUInt32 rwID_CHARSETPLUGIN = 0x180;

typedef RwRaster RtCharset;

struct RtCharsetDesc {
    RwInt32 width;           // of a character
    RwInt32 height;          // of a character
    RwInt32 width_internal;  // of a cell
    RwInt32 height_internal; // of a cell
    RwInt32 count;
    RwInt32 tilewidth;  // characters per row of the raster
    RwInt32 tileheight; // rows of characters
};

// Characters 32 (space) to 122 ('z'), 15 bytes each: one per pixel row from the top, bit 0 the leftmost
// pixel.
constexpr RwInt32 rtCHARSETFIRST = 32;
constexpr RwInt32 rtCHARSETCOUNT = 91;
constexpr RwInt32 rtCHARSETGLYPHBYTES = 15;
extern const RwUInt8 rtCharsetGlyphs[rtCHARSETCOUNT][rtCHARSETGLYPHBYTES];

RwBool RtCharsetOpen();
void RtCharsetClose();
RtCharset* RtCharsetCreate(const RwRGBA* foreGround, const RwRGBA* backGround);
RwBool RtCharsetDestroy(RtCharset* charSet);
// The layout of the character sets that create makes.
const RtCharsetDesc* RtCharsetGetDesc();
