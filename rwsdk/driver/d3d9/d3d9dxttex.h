// DDS files: the header, the size of a level, the DXT block decoders and the software decode of level 0
// into a 32-bit image.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RwStream;
struct RwImage;

constexpr RwUInt32 rwDDSMAGIC = 0x20534444; // "DDS " in file order

// Header flags.
constexpr RwUInt32 rwDDSDCAPS = 0x1;
constexpr RwUInt32 rwDDSDHEIGHT = 0x2;
constexpr RwUInt32 rwDDSDWIDTH = 0x4;
constexpr RwUInt32 rwDDSDPITCH = 0x8;
constexpr RwUInt32 rwDDSDPIXELFORMAT = 0x1000;
constexpr RwUInt32 rwDDSDMIPMAPCOUNT = 0x20000;
constexpr RwUInt32 rwDDSDLINEARSIZE = 0x80000;

// Pixel-format flags.
constexpr RwUInt32 rwDDPFALPHAPIXELS = 0x1;
constexpr RwUInt32 rwDDPFFOURCC = 0x4;
constexpr RwUInt32 rwDDPFRGB = 0x40;

// Caps and caps 2.
constexpr RwUInt32 rwDDSCAPSCOMPLEX = 0x8;
constexpr RwUInt32 rwDDSCAPS2CUBEMAP = 0x200;
constexpr RwUInt32 rwDDSCAPS2CUBEMAPALLFACES = 0xFE00;

constexpr RwUInt32 rwMAKEFOURCC(char a, char b, char c, char d) {
    return RwUInt32(RwUInt8(a)) | RwUInt32(RwUInt8(b)) << 8 | RwUInt32(RwUInt8(c)) << 16 |
           RwUInt32(RwUInt8(d)) << 24;
}
constexpr RwUInt32 rwFOURCCDXT1 = rwMAKEFOURCC('D', 'X', 'T', '1');
constexpr RwUInt32 rwFOURCCDXT2 = rwMAKEFOURCC('D', 'X', 'T', '2');
constexpr RwUInt32 rwFOURCCDXT3 = rwMAKEFOURCC('D', 'X', 'T', '3');
constexpr RwUInt32 rwFOURCCDXT4 = rwMAKEFOURCC('D', 'X', 'T', '4');
constexpr RwUInt32 rwFOURCCDXT5 = rwMAKEFOURCC('D', 'X', 'T', '5');
constexpr RwUInt32 rwFOURCCA16B16G16R16 = 36; // a numeric Direct3D format in the FourCC field

struct RwDDSPixelFormat {
    RwUInt32 size;
    RwUInt32 flags;
    RwUInt32 fourCC;
    RwUInt32 bitCount;
    RwUInt32 redMask; // or the luminance mask
    RwUInt32 greenMask;
    RwUInt32 blueMask;
    RwUInt32 alphaMask;
};

// The 124 bytes after the magic.
struct RwDDSHeader {
    RwUInt32 size;
    RwUInt32 flags;
    RwUInt32 height;
    RwUInt32 width;
    RwUInt32 pitchOrLinearSize;
    RwUInt32 depth;
    RwUInt32 mipMapCount;
    RwUInt32 reserved1[11];
    RwDDSPixelFormat pixelFormat;
    RwUInt32 caps;
    RwUInt32 caps2;
    RwUInt32 reserved2[3];
};
static_assert(sizeof(RwDDSHeader) == 124);

// Reads the magic and the header; false on a short read, a wrong magic or a header without any of the caps,
// height, width and pixel-format flags.
RwBool _rwDDSHeaderRead(RwStream* stream, RwDDSHeader* header);

// True for a cube map: the complex cap and any face bit.
RwBool _rwDDSIsCubeMap(const RwDDSHeader* header);

// Bytes of one level of w x h texels in the header's format (whole blocks for DXT: partial blocks at the
// right and bottom edges are stored whole); 0 for a format that the engine cannot size.
RwUInt32 _rwDDSLevelSize(const RwDDSHeader* header, RwUInt32 w, RwUInt32 h);

// The largest side that the software path decodes.
constexpr RwUInt32 rwDDSMAXSIDE = 8192;

// Block decoders into 32-bit pixels (red, green, blue, alpha bytes; rows of width x 4 bytes). The source
// holds ((width + 3) / 4) x ((height + 3) / 4) blocks, left to right, block rows top to bottom; blocks at
// the right and bottom edges are clipped to the image.
// DXT1: true when any texel inside the image decoded transparent.
RwBool RwDXT1Decompress(RwInt32 width, RwInt32 height, RwUInt8* destination, const RwUInt8* source);
// DXT2 and DXT3 (explicit alpha; DXT2 is not un-premultiplied).
void RwDXT3Decompress(RwInt32 width, RwInt32 height, RwUInt8* destination, const RwUInt8* source);
// DXT4 and DXT5 (interpolated alpha).
void RwDXT5Decompress(RwInt32 width, RwInt32 height, RwUInt8* destination, const RwUInt8* source);
// The 8 alpha values of an interpolated alpha block.
void RwDXT5AlphaTable(RwUInt8 alpha0, RwUInt8 alpha1, RwUInt8* table);

// Whether DXT1 blocks of a width x height level hold a transparent texel inside the level (a block whose
// colour 0 is not above colour 1 using index 3), found without decoding: what a level loaded straight
// into a texture is examined with.
RwBool _rwDXT1HasTransparentTexels(RwInt32 width, RwInt32 height, const RwUInt8* source);

// Raster formats that the software path decides (the raster module's format bits); 0 lets the format
// chooser decide from the image.
constexpr RwInt32 rwDDSRASTERFORMATDEFAULT = 0x0000;
constexpr RwInt32 rwDDSRASTERFORMAT1555 = 0x0100;
constexpr RwInt32 rwDDSRASTERFORMAT565 = 0x0200;
constexpr RwInt32 rwDDSRASTERFORMAT4444 = 0x0300;
constexpr RwInt32 rwDDSRASTERFORMATLUM8 = 0x0400;

// Asks whether the device takes a Direct3D format for textures.
typedef RwBool (*RwDDSFormatCheck)(RwUInt32 d3dFormat);

// The software path's decode: reads level 0 (and the palette of a P8 file) from the stream, which stands
// just after the header, and decodes it into a new 32-bit image. rasterFormat receives the raster format
// decided by the pixel format (or 0); formatCheck (null: every format passes) answers the device questions
// that choice needs. Null for formats that are not decoded or a short read.
RwImage* _rwDDSImageRead(RwStream* stream, const RwDDSHeader* header, RwInt32* rasterFormat,
                         RwDDSFormatCheck formatCheck);
