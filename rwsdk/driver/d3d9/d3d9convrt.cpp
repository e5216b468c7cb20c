#include "rwsdk/driver/d3d9/d3d9convrt.h"

#include "rwsdk/src/palquant.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/resample.h"

#include <cstring>

namespace {

using U8 = RwUInt8;
using U32 = RwUInt32;

U32 Lum(U32 r, U32 g, U32 b) {
    return (30 * r + 59 * g + 11 * b) / 100;
}

// Pack routines.
U32 PackA8R8G8B8(U8 r, U8 g, U8 b, U8 a) {
    return U32(a) << 24 | U32(r) << 16 | U32(g) << 8 | b;
}
U32 PackX8R8G8B8(U8 r, U8 g, U8 b, U8) {
    return 0xFFu << 24 | U32(r) << 16 | U32(g) << 8 | b;
}
U32 PackR5G6B5(U8 r, U8 g, U8 b, U8) {
    return U32(r & 0xF8) << 8 | U32(g & 0xFC) << 3 | U32(b >> 3);
}
U32 PackX1R5G5B5(U8 r, U8 g, U8 b, U8) {
    return U32(r & 0xF8) << 7 | U32(g & 0xF8) << 2 | U32(b >> 3);
}
U32 PackA1R5G5B5(U8 r, U8 g, U8 b, U8 a) {
    return U32(a & 0x80) << 8 | U32(r & 0xF8) << 7 | U32(g & 0xF8) << 2 | U32(b >> 3);
}
U32 PackA4R4G4B4(U8 r, U8 g, U8 b, U8 a) {
    return U32(a & 0xF0) << 8 | U32(r & 0xF0) << 4 | U32(g & 0xF0) | U32(b >> 4);
}
U32 PackA8R3G3B2(U8 r, U8 g, U8 b, U8 a) {
    return U32(a) << 8 | U32(r & 0xE0) | U32(g & 0xE0) >> 3 | U32(b >> 6);
}
U32 PackX4R4G4B4(U8 r, U8 g, U8 b, U8) {
    return 0xF000u | U32(r & 0xF0) << 4 | U32(g & 0xF0) | U32(b >> 4);
}
U32 PackA8B8G8R8(U8 r, U8 g, U8 b, U8 a) {
    return U32(a) << 24 | U32(b) << 16 | U32(g) << 8 | r;
}
U32 PackX8B8G8R8(U8 r, U8 g, U8 b, U8) {
    return 0xFFu << 24 | U32(b) << 16 | U32(g) << 8 | r;
}
U32 PackL8(U8 r, U8 g, U8 b, U8 a) {
    return Lum(r, g, b) * a / 255;
}
U32 PackA8L8(U8 r, U8 g, U8 b, U8 a) {
    return Lum(r, g, b) | U32(a) << 8;
}
U32 PackV8U8(U8 r, U8 g, U8, U8) {
    return U32(r) | U32(g) << 8;
}
U32 PackL6V5U5(U8 r, U8 g, U8 b, U8) {
    return U32(b & 0xFC) << 8 | U32(g & 0xF8) << 2 | U32(r >> 3);
}
U32 PackL16(U8 r, U8 g, U8 b, U8 a) {
    return ((30 * U32(r) + 59 * U32(g) + 11 * U32(b)) * a / 25500) * 255;
}
// The 8-bit formats without a palette.
U32 PackA4L4(U8 r, U8 g, U8 b, U8 a) {
    return (Lum(r, g, b) >> 4) | U32(a & 0xF0);
}
U32 PackR3G3B2(U8 r, U8 g, U8 b, U8) {
    return U32(r & 0xE0) | U32(g & 0xE0) >> 3 | U32(b >> 6);
}

void Set(U8* c, U32 r, U32 g, U32 b, U32 a) {
    c[0] = U8(r);
    c[1] = U8(g);
    c[2] = U8(b);
    c[3] = U8(a);
}

// Unpack routines.
void UnpackA8R8G8B8(U8* c, U32 v) {
    Set(c, v >> 16, v >> 8, v, v >> 24);
}
void UnpackX8R8G8B8(U8* c, U32 v) {
    Set(c, v >> 16, v >> 8, v, 255);
}
void UnpackR5G6B5(U8* c, U32 v) {
    Set(c, (v >> 8) & 0xF8, (v >> 3) & 0xFC, v << 3, 255);
}
void UnpackX1R5G5B5(U8* c, U32 v) {
    Set(c, (v >> 7) & 0xF8, (v >> 2) & 0xF8, v << 3, 255);
}
void UnpackA1R5G5B5(U8* c, U32 v) {
    Set(c, (v >> 7) & 0xF8, (v >> 2) & 0xF8, v << 3, (v & 0x8000) ? 255 : 0);
}
void UnpackA4R4G4B4(U8* c, U32 v) {
    Set(c, (v >> 4) & 0xF0, v & 0xF0, v << 4, ((v >> 12) & 0xF) == 0xF ? 255 : (v >> 8) & 0xF0);
}
void UnpackR3G3B2(U8* c, U32 v) {
    Set(c, v & 0xE0, (v & 0x1C) << 3, v << 6, 255);
}
void UnpackA8(U8* c, U32 v) {
    Set(c, 255, 255, 255, v);
}
void UnpackA8R3G3B2(U8* c, U32 v) {
    Set(c, v & 0xE0, (v & 0x1C) << 3, v << 6, v >> 8);
}
void UnpackX4R4G4B4(U8* c, U32 v) {
    Set(c, (v >> 4) & 0xF0, v & 0xF0, v << 4, 255);
}
void UnpackA8B8G8R8(U8* c, U32 v) {
    Set(c, v, v >> 8, v >> 16, v >> 24);
}
void UnpackX8B8G8R8(U8* c, U32 v) {
    Set(c, v, v >> 8, v >> 16, 255);
}
void UnpackL8(U8* c, U32 v) {
    Set(c, v, v, v, 255);
}
void UnpackA8L8(U8* c, U32 v) {
    Set(c, v & 0xFF, v & 0xFF, v & 0xFF, v >> 8);
}
void UnpackA4L4(U8* c, U32 v) {
    const U32 l = v << 4;
    Set(c, l, l, l, (v & 0xFF) >= 0xF0 ? 255 : v & 0xF0);
}
void UnpackV8U8(U8* c, U32 v) {
    Set(c, v & 0xFF, v >> 8, 0, 255);
}
void UnpackL6V5U5(U8* c, U32 v) {
    Set(c, v << 3, (v >> 2) & 0xF8, (v >> 8) & 0xFC, 255);
}
void UnpackL16(U8* c, U32 v) {
    Set(c, v >> 8, v >> 8, v >> 8, 255);
}
void UnpackA2R10G10B10(U8* c, U32 v) {
    Set(c, v >> 22, v >> 12, v >> 2, (v >> 30) * 85);
}

// Reads and writes of a pixel of the given byte size at a position of a row.
U32 ReadPixel(const U8* row, RwInt32 x, RwInt32 bytes) {
    if (bytes == 1)
        return row[x];
    if (bytes == 2) {
        RwUInt16 v;
        std::memcpy(&v, row + 2 * x, 2);
        return v;
    }
    U32 v;
    std::memcpy(&v, row + 4 * x, 4);
    return v;
}

void WritePixel(U8* row, RwInt32 x, RwInt32 bytes, U32 v) {
    if (bytes == 1) {
        row[x] = U8(v);
    } else if (bytes == 2) {
        const RwUInt16 w = RwUInt16(v);
        std::memcpy(row + 2 * x, &w, 2);
    } else {
        std::memcpy(row + 4 * x, &v, 4);
    }
}

bool Compressed(const RwRaster* raster) {
    return (RwD3D9RasterExtension(raster->parentRaster)->autoMipMapping >> 4) != 0;
}

RwD3D9PixelUnpackFunction UnpackOfPixelFormat(RwInt32 pixelFormat) {
    switch (pixelFormat) {
    case rwRASTERFORMAT555:
        return UnpackX1R5G5B5;
    case rwRASTERFORMAT4444:
        return UnpackA4R4G4B4;
    case rwRASTERFORMAT1555:
        return UnpackA1R5G5B5;
    case rwRASTERFORMAT565:
        return UnpackR5G6B5;
    default:
        return nullptr;
    }
}

// Keeps a raster's pixels (and palette) locked for the length of a conversion, when not locked already.
struct RasterLockScope {
    RwRaster* raster;
    bool pixelsHere = false;
    bool paletteHere = false;

    RasterLockScope(RwRaster* r, RwInt32 mode, bool palette) : raster(r) {
        if (!raster->cpPixels) {
            pixelsHere = RwRasterLock(raster, 0, mode) != nullptr;
        }
        if (palette && !raster->palette) {
            paletteHere = RwRasterLockPalette(raster, mode) != nullptr;
        }
    }
    ~RasterLockScope() {
        if (paletteHere)
            RwRasterUnlockPalette(raster);
        if (pixelsHere)
            RwRasterUnlock(raster);
    }
    bool Ok(bool palette) const { return raster->cpPixels && (!palette || raster->palette); }
};

bool HasPalette(const RwRaster* raster) {
    return (raster->cFormat << 8) & (rwRASTERFORMATPAL8 | rwRASTERFORMATPAL4);
}

RwBool ImageFromRaster32(RwImage* image, RwRaster* raster) {
    const RwInt32 format = RwInt32(raster->cFormat) << 8;
    const RwInt32 pixelFormat = format & rwRASTERFORMATPIXELFORMATMASK;
    const D3DFORMAT d3dFormat = RwD3D9RasterExtension(raster->parentRaster)->d3dFormat;
    const RwInt32 width = image->width < raster->width ? image->width : raster->width;
    const RwInt32 height = image->height < raster->height ? image->height : raster->height;
    RwInt32 bytes = 0;
    RwD3D9PixelUnpackFunction unpack = nullptr;
    const U8* palette = nullptr;
    if (pixelFormat) {
        switch (raster->depth) {
        case 4:
        case 8:
            bytes = 1;
            if (HasPalette(raster))
                palette = raster->palette;
            else if (pixelFormat == rwRASTERFORMATLUM8)
                unpack = UnpackL8;
            break;
        case 16:
            bytes = 2;
            unpack = UnpackOfPixelFormat(pixelFormat);
            break;
        case 24:
        case 32:
            bytes = 4;
            if (d3dFormat == D3DFMT_X8R8G8B8)
                unpack = UnpackX8R8G8B8;
            else if (d3dFormat == D3DFMT_A8R8G8B8)
                unpack = UnpackA8R8G8B8;
            else if (d3dFormat == D3DFMT_A2R10G10B10)
                unpack = UnpackA2R10G10B10;
            break;
        default:
            RwErrorSetCode(E_RW_INVRASTERDEPTH);
            return FALSE;
        }
    } else {
        unpack = RwD3D9GetPixelUnpackRoutine(d3dFormat);
        bytes = raster->depth <= 8 ? 1 : raster->depth == 16 ? 2 : 4;
        if (raster->depth > 32)
            unpack = nullptr;
    }
    if (!unpack && !palette) {
        // A format with no way back to colours (depth, DXT, wide or float formats).
        RwErrorSetCode(E_RW_INVRASTERFORMAT);
        return FALSE;
    }
    for (RwInt32 y = 0; y < height; ++y) {
        const U8* in = raster->cpPixels + size_t(y) * raster->stride;
        U8* out = image->pixels + size_t(y) * image->stride;
        for (RwInt32 x = 0; x < width; ++x) {
            const U32 v = ReadPixel(in, x, bytes);
            if (palette) {
                std::memcpy(out + 4 * x, palette + 4 * (v & 0xFF), 4);
            } else {
                unpack(out + 4 * x, v);
            }
        }
    }
    return TRUE;
}

RwBool ImageFromRaster8(RwImage* image, RwRaster* raster) {
    const RwInt32 pixelFormat = (RwInt32(raster->cFormat) << 8) & rwRASTERFORMATPIXELFORMATMASK;
    if (raster->depth != 8 || !pixelFormat) {
        RwErrorSetPluginMessage(nullptr);
        return FALSE;
    }
    const RwInt32 width = image->width < raster->width ? image->width : raster->width;
    const RwInt32 height = image->height < raster->height ? image->height : raster->height;
    if (image->stride == width && raster->stride == width) {
        std::memcpy(image->pixels, raster->cpPixels, size_t(width) * height);
    } else {
        for (RwInt32 y = 0; y < height; ++y)
            std::memcpy(image->pixels + size_t(y) * image->stride,
                        raster->cpPixels + size_t(y) * raster->stride, size_t(width));
    }
    if (raster->palette) {
        std::memcpy(image->palette, raster->palette, 256 * 4);
    } else {
        for (RwInt32 i = 0; i < 256; ++i)
            Set(image->palette + 4 * i, U32(i), U32(i), U32(i), 255);
    }
    return TRUE;
}

// The 8-bit value of a colour in a palette-less 8-bit format.
RwD3D9PixelPackFunction Pack8(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_L8:
        return PackL8;
    case D3DFMT_A4L4:
        return PackA4L4;
    case D3DFMT_R3G3B2:
        return PackR3G3B2;
    default:
        return nullptr;
    }
}

// Writes 4- or 8-bit image indices into an 8-bit raster: P8 takes them as they are with the palette; other
// formats map each palette entry once.
RwBool RasterFromPalettedImage(RwRaster* raster, const RwImage* image, D3DFORMAT format) {
    const RwInt32 width = image->width < raster->width ? image->width : raster->width;
    const RwInt32 height = image->height < raster->height ? image->height : raster->height;
    const RwInt32 entries = 1 << image->depth;
    if (format == D3DFMT_P8) {
        if (image->stride == raster->stride && width == image->width) {
            std::memcpy(raster->cpPixels, image->pixels, size_t(image->stride) * height);
        } else {
            for (RwInt32 y = 0; y < height; ++y)
                std::memcpy(raster->cpPixels + size_t(y) * raster->stride,
                            image->pixels + size_t(y) * image->stride, size_t(width));
        }
        if (raster->palette)
            std::memcpy(raster->palette, image->palette, size_t(entries) * 4);
        return TRUE;
    }
    RwD3D9PixelPackFunction pack = Pack8(format);
    if (!pack) {
        RwErrorSetCode(E_RW_INVRASTERFORMAT);
        return FALSE;
    }
    U8 table[256] = {};
    for (RwInt32 i = 0; i < entries; ++i) {
        const U8* c = image->palette + 4 * i;
        table[i] = U8(pack(c[0], c[1], c[2], c[3]));
    }
    for (RwInt32 y = 0; y < height; ++y) {
        const U8* in = image->pixels + size_t(y) * image->stride;
        U8* out = raster->cpPixels + size_t(y) * raster->stride;
        for (RwInt32 x = 0; x < width; ++x)
            out[x] = table[in[x]];
    }
    return TRUE;
}

// Quantises a 32-bit image to the raster's palette size and writes it into a P8 raster.
RwBool RasterFromImageQuantised(RwRaster* raster, const RwImage* image) {
    const RwInt32 depth = raster->depth == 4 ? 4 : 8;
    RwImage* indexed = RwImageCreate(image->width, image->height, depth);
    if (!indexed)
        return FALSE;
    if (!RwImageAllocatePixels(indexed)) {
        RwImageDestroy(indexed);
        return FALSE;
    }
    RwPaletteQuantizer quantizer;
    if (!RwPaletteQuantizerInit(&quantizer)) {
        RwImageDestroy(indexed);
        return FALSE;
    }
    RwPaletteQuantizerAddImage(&quantizer, image, 1.0f);
    RwPaletteQuantizerMakePalette(&quantizer, indexed->palette, 1 << depth);
    RwPaletteQuantizerMatchImage(&quantizer, indexed->pixels, indexed->stride, image);
    RwPaletteQuantizerDeinit(&quantizer);
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster->parentRaster);
    if (ext->alpha &&
        (RwImageFindBestRasterFormat(indexed) & rwRASTERFORMATPIXELFORMATMASK) == rwRASTERFORMAT888) {
        raster->cFormat = RwUInt8((raster->cFormat & 0xF0) | (rwRASTERFORMAT888 >> 8));
        ext->alpha = 0;
    }
    const RwBool ok = RasterFromPalettedImage(raster, indexed, D3DFMT_P8);
    RwImageDestroy(indexed);
    return ok;
}

RwBool RasterFromImagePixels(RwRaster* raster, const RwImage* image) {
    const D3DFORMAT format = RwD3D9RasterExtension(raster->parentRaster)->d3dFormat;
    switch (raster->depth) {
    case 4:
    case 8:
        if (image->depth == 32) {
            if (format == D3DFMT_P8)
                return RasterFromImageQuantised(raster, image);
            RwD3D9PixelPackFunction pack = Pack8(format);
            if (!pack) {
                RwErrorSetCode(E_RW_INVRASTERFORMAT);
                return FALSE;
            }
            const RwInt32 width = image->width < raster->width ? image->width : raster->width;
            const RwInt32 height = image->height < raster->height ? image->height : raster->height;
            for (RwInt32 y = 0; y < height; ++y) {
                const U8* in = image->pixels + size_t(y) * image->stride;
                U8* out = raster->cpPixels + size_t(y) * raster->stride;
                for (RwInt32 x = 0; x < width; ++x)
                    out[x] = U8(pack(in[4 * x], in[4 * x + 1], in[4 * x + 2], in[4 * x + 3]));
            }
            return TRUE;
        }
        return RasterFromPalettedImage(raster, image, format);
    case 16:
    case 24:
    case 32: {
        RwD3D9PixelPackFunction pack = RwD3D9GetPixelPackRoutine(format);
        if (!pack) {
            RwErrorSetCode(E_RW_INVRASTERFORMAT);
            return FALSE;
        }
        const RwInt32 bytes = raster->depth == 16 ? 2 : 4;
        const RwInt32 width = image->width < raster->width ? image->width : raster->width;
        const RwInt32 height = image->height < raster->height ? image->height : raster->height;
        for (RwInt32 y = 0; y < height; ++y) {
            const U8* in = image->pixels + size_t(y) * image->stride;
            U8* out = raster->cpPixels + size_t(y) * raster->stride;
            for (RwInt32 x = 0; x < width; ++x) {
                const U8* c = image->depth == 32 ? in + 4 * x : image->palette + 4 * in[x];
                WritePixel(out, x, bytes, pack(c[0], c[1], c[2], c[3]));
            }
        }
        return TRUE;
    }
    default:
        RwErrorSetCode(E_RW_INVRASTERDEPTH);
        return FALSE;
    }
}

// True when the device takes the format as a plain texture.
bool Texture(D3DFORMAT format) {
    return RwD3D9CheckTextureFormat(format);
}

// The plain texture pixel format for a requested one, with the device's substitutions.
RwInt32 TexturePixelFormat(RwInt32 pixel) {
    const bool deep = RwD3D9DisplayDepth() > 16;
    const auto alphaFormat = [&] {
        if (deep && Texture(D3DFMT_A8R8G8B8))
            return rwRASTERFORMAT8888;
        return Texture(D3DFMT_A4R4G4B4) ? rwRASTERFORMAT4444 : rwRASTERFORMAT1555;
    };
    const auto opaqueFormat = [&] {
        return deep && Texture(D3DFMT_X8R8G8B8) ? rwRASTERFORMAT888 : rwRASTERFORMAT565;
    };
    switch (pixel) {
    case rwRASTERFORMATDEFAULT:
    case rwRASTERFORMAT8888:
        return alphaFormat();
    case rwRASTERFORMAT888:
        return opaqueFormat();
    case rwRASTERFORMAT4444:
        return Texture(D3DFMT_A4R4G4B4) ? rwRASTERFORMAT4444 : rwRASTERFORMAT1555;
    case rwRASTERFORMAT555:
        return Texture(D3DFMT_X1R5G5B5) ? rwRASTERFORMAT555 : rwRASTERFORMAT565;
    case rwRASTERFORMATLUM8:
        return Texture(D3DFMT_L8) ? rwRASTERFORMATLUM8 : opaqueFormat();
    case rwRASTERFORMAT565:
    case rwRASTERFORMAT1555:
        return pixel;
    default:
        return -1;
    }
}

bool RenderTarget(RwInt32 pixel) {
    D3DFORMAT format;
    RwD3D9RasterFormatEntryOf(pixel, &format, nullptr, nullptr);
    return RwD3D9CheckRenderTargetTextureFormat(format);
}

// Camera textures follow the z buffer's depth.
RwInt32 CameraTexturePixelFormat(RwInt32 pixel) {
    if (pixel == rwRASTERFORMATDEFAULT) {
        if (RwD3D9DisplayDepth() == 16)
            return rwRASTERFORMAT565;
        return RenderTarget(rwRASTERFORMAT888) ? rwRASTERFORMAT888 : rwRASTERFORMAT565;
    }
    if (RwD3D9ZBufferDepth() == 32) {
        switch (pixel) {
        case rwRASTERFORMAT4444:
        case rwRASTERFORMAT1555:
        case rwRASTERFORMAT8888:
            return RenderTarget(rwRASTERFORMAT8888) ? rwRASTERFORMAT8888 : rwRASTERFORMAT888;
        case rwRASTERFORMAT565:
        case rwRASTERFORMAT555:
        case rwRASTERFORMAT888:
            return rwRASTERFORMAT888;
        default:
            return -1;
        }
    }
    switch (pixel) {
    case rwRASTERFORMAT8888:
    case rwRASTERFORMAT4444:
        if (RenderTarget(rwRASTERFORMAT4444))
            return rwRASTERFORMAT4444;
        [[fallthrough]];
    case rwRASTERFORMAT1555:
        if (RenderTarget(rwRASTERFORMAT1555))
            return rwRASTERFORMAT1555;
        return rwRASTERFORMAT565;
    case rwRASTERFORMAT888:
    case rwRASTERFORMAT565:
    case rwRASTERFORMAT555:
        return rwRASTERFORMAT565;
    default:
        return -1;
    }
}

} // namespace

RwD3D9PixelPackFunction RwD3D9GetPixelPackRoutine(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
        return PackA8R8G8B8;
    case D3DFMT_X8R8G8B8:
        return PackX8R8G8B8;
    case D3DFMT_R5G6B5:
        return PackR5G6B5;
    case D3DFMT_X1R5G5B5:
        return PackX1R5G5B5;
    case D3DFMT_A1R5G5B5:
        return PackA1R5G5B5;
    case D3DFMT_A4R4G4B4:
        return PackA4R4G4B4;
    case D3DFMT_A8R3G3B2:
        return PackA8R3G3B2;
    case D3DFMT_X4R4G4B4:
        return PackX4R4G4B4;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_Q8W8V8U8:
        return PackA8B8G8R8;
    case D3DFMT_X8B8G8R8:
    case D3DFMT_X8L8V8U8:
        return PackX8B8G8R8;
    case D3DFMT_L8:
        return PackL8;
    case D3DFMT_A8L8:
        return PackA8L8;
    case D3DFMT_V8U8:
    case D3DFMT_CxV8U8:
        return PackV8U8;
    case D3DFMT_L6V5U5:
        return PackL6V5U5;
    case D3DFMT_L16:
        return PackL16;
    default:
        return nullptr;
    }
}

RwD3D9PixelUnpackFunction RwD3D9GetPixelUnpackRoutine(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
        return UnpackA8R8G8B8;
    case D3DFMT_X8R8G8B8:
        return UnpackX8R8G8B8;
    case D3DFMT_R5G6B5:
        return UnpackR5G6B5;
    case D3DFMT_X1R5G5B5:
        return UnpackX1R5G5B5;
    case D3DFMT_A1R5G5B5:
        return UnpackA1R5G5B5;
    case D3DFMT_A4R4G4B4:
        return UnpackA4R4G4B4;
    case D3DFMT_R3G3B2:
        return UnpackR3G3B2;
    case D3DFMT_A8:
        return UnpackA8;
    case D3DFMT_A8R3G3B2:
        return UnpackA8R3G3B2;
    case D3DFMT_X4R4G4B4:
        return UnpackX4R4G4B4;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_Q8W8V8U8:
        return UnpackA8B8G8R8;
    case D3DFMT_X8B8G8R8:
    case D3DFMT_X8L8V8U8:
        return UnpackX8B8G8R8;
    case D3DFMT_L8:
        return UnpackL8;
    case D3DFMT_A8L8:
        return UnpackA8L8;
    case D3DFMT_A4L4:
        return UnpackA4L4;
    case D3DFMT_V8U8:
    case D3DFMT_CxV8U8:
        return UnpackV8U8;
    case D3DFMT_L6V5U5:
        return UnpackL6V5U5;
    case D3DFMT_L16:
        return UnpackL16;
    default:
        return nullptr;
    }
}

RwBool RwRGBAToPixel(void* pixelOut, void* colourIn, RwInt32 format) {
    const auto* c = static_cast<const RwRGBA*>(colourIn);
    U32 pixel;
    switch (format & rwRASTERFORMATPIXELFORMATMASK) {
    case rwRASTERFORMATDEFAULT:
    case rwRASTERFORMAT8888:
        pixel = PackA8R8G8B8(c->red, c->green, c->blue, c->alpha);
        break;
    case rwRASTERFORMAT1555:
        pixel = PackA1R5G5B5(c->red, c->green, c->blue, c->alpha);
        break;
    case rwRASTERFORMAT565:
        pixel = PackR5G6B5(c->red, c->green, c->blue, c->alpha);
        break;
    case rwRASTERFORMAT4444:
        pixel = PackA4R4G4B4(c->red, c->green, c->blue, c->alpha);
        break;
    case rwRASTERFORMATLUM8:
        pixel = PackL8(c->red, c->green, c->blue, c->alpha);
        break;
    case rwRASTERFORMAT888:
        pixel = PackX8R8G8B8(c->red, c->green, c->blue, c->alpha);
        break;
    case rwRASTERFORMAT555:
        pixel = PackX1R5G5B5(c->red, c->green, c->blue, c->alpha);
        break;
    default:
        RwErrorSetCode(E_RW_INVRASTERFORMAT);
        return FALSE;
    }
    *static_cast<U32*>(pixelOut) = pixel;
    return TRUE;
}

RwBool RwRGBAFromPixel(void* colourOut, void* pixelIn, RwInt32 format) {
    auto* c = static_cast<RwRGBA*>(colourOut);
    const U32 v = *static_cast<const U32*>(pixelIn);
    if (format & rwRASTERFORMATPAL8) {
        // A palette entry already holds the colour.
        std::memcpy(c, &v, 4);
        return TRUE;
    }
    U8 rgba[4];
    switch (format & rwRASTERFORMATPIXELFORMATMASK) {
    case rwRASTERFORMAT8888:
        UnpackA8R8G8B8(rgba, v);
        break;
    case rwRASTERFORMAT888:
        UnpackX8R8G8B8(rgba, v);
        break;
    case rwRASTERFORMAT555:
        UnpackX1R5G5B5(rgba, v);
        break;
    case rwRASTERFORMAT1555:
        UnpackA1R5G5B5(rgba, v);
        break;
    case rwRASTERFORMAT565:
        UnpackR5G6B5(rgba, v);
        break;
    case rwRASTERFORMAT4444:
        UnpackA4R4G4B4(rgba, v);
        break;
    case rwRASTERFORMATLUM8:
        UnpackL8(rgba, v & 0xFF);
        break;
    default:
        RwErrorSetCode(E_RW_INVRASTERFORMAT);
        return FALSE;
    }
    *c = {rgba[0], rgba[1], rgba[2], rgba[3]};
    return TRUE;
}

RwBool RwD3D9ImageFromRaster(void* imageObject, void* rasterObject, RwInt32) {
    auto* image = static_cast<RwImage*>(imageObject);
    auto* raster = static_cast<RwRaster*>(rasterObject);
    if (Compressed(raster)) {
        RwErrorSetPluginMessage(nullptr);
        return FALSE;
    }
    if (image->depth != 32 && image->depth != 8) {
        RwErrorSetPluginMessage(nullptr);
        return FALSE;
    }
    const bool palette = HasPalette(raster);
    RasterLockScope lock(raster, rwRASTERLOCKREAD, palette);
    if (!lock.Ok(palette))
        return FALSE;
    return image->depth == 32 ? ImageFromRaster32(image, raster) : ImageFromRaster8(image, raster);
}

RwBool RwD3D9RasterFromImage(void* rasterObject, void* imageObject, RwInt32) {
    auto* raster = static_cast<RwRaster*>(rasterObject);
    const auto* image = static_cast<const RwImage*>(imageObject);
    if (Compressed(raster)) {
        RwErrorSetPluginMessage(nullptr);
        return FALSE;
    }
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    const RwInt32 type = raster->cType & rwRASTERTYPEMASK;
    if (type != rwRASTERTYPENORMAL) {
        const D3DFORMAT format = RwD3D9RasterExtension(raster->parentRaster)->d3dFormat;
        if (format == D3DFMT_P8)
            ext->alpha =
                ((RwInt32(raster->cFormat) << 8) & rwRASTERFORMATPIXELFORMATMASK) == rwRASTERFORMAT8888;
        else if (const RwD3D9FormatInfo* info = RwD3D9FindFormatInfo(format))
            ext->alpha = info->alpha;
    } else {
        RwD3D9RasterFormatEntryOf(RwImageFindBestRasterFormat(image), nullptr, nullptr, &ext->alpha);
    }
    if (ext->alpha && raster->parentRaster != raster)
        RwD3D9RasterExtension(raster->parentRaster)->alpha = 1;

    RwImage* resampled = nullptr;
    if (image->width != raster->width || image->height != raster->height) {
        resampled = RwImageCreateResampled(image, raster->width, raster->height);
        if (!resampled)
            return FALSE;
        image = resampled;
    }
    const bool palette = HasPalette(raster);
    RwBool ok = FALSE;
    {
        RasterLockScope lock(raster, rwRASTERLOCKWRITE | 4, palette);
        if (lock.Ok(palette))
            ok = RasterFromImagePixels(raster, image);
    }
    if (resampled)
        RwImageDestroy(resampled);
    return ok;
}

RwInt32 RwImageFindBestRasterFormat(const RwImage* image) {
    const bool deep = RwD3D9DisplayDepth() > 16;
    if (image->depth == 32) {
        bool translucent = false;
        for (RwInt32 y = 0; y < image->height; ++y) {
            const U8* row = image->pixels + size_t(y) * image->stride;
            for (RwInt32 x = 0; x < image->width; ++x) {
                const U8 a = row[4 * x + 3];
                if (a >= 16 && a < 255) {
                    if (deep && Texture(D3DFMT_A8R8G8B8))
                        return rwRASTERFORMAT8888;
                    return Texture(D3DFMT_A4R4G4B4) ? rwRASTERFORMAT4444 : rwRASTERFORMAT1555;
                }
                translucent = translucent || a < 255;
            }
        }
        if (translucent)
            return deep && Texture(D3DFMT_A8R8G8B8) ? rwRASTERFORMAT8888 : rwRASTERFORMAT1555;
        return deep && Texture(D3DFMT_X8R8G8B8) ? rwRASTERFORMAT888 : rwRASTERFORMAT565;
    }
    const RwInt32 palettised = image->depth == 4 ? rwRASTERFORMATPAL4 : rwRASTERFORMATPAL8;
    const RwInt32 entries = image->depth == 4 ? 16 : 256;
    bool allOpaque = true;
    for (RwInt32 i = 0; i < entries; ++i)
        allOpaque = allOpaque && image->palette[4 * i + 3] == 255;
    if (!allOpaque && image->pixels) {
        for (RwInt32 y = 0; y < image->height; ++y) {
            const U8* row = image->pixels + size_t(y) * image->stride;
            for (RwInt32 x = 0; x < image->width; ++x) {
                if (image->palette[4 * (row[x] & (entries - 1)) + 3] < 255)
                    return palettised | rwRASTERFORMAT8888;
            }
        }
    }
    return palettised | rwRASTERFORMAT888;
}

RwBool RwD3D9ChooseRasterFormat(RwInt32 flags, RwInt32* formatOut, RwInt32* depthOut) {
    const RwInt32 type = flags & rwRASTERTYPEMASK;
    RwInt32 format = flags & rwRASTERFORMATMASK;
    const RwInt32 pixel = format & rwRASTERFORMATPIXELFORMATMASK;
    const RwInt32 mips = format & (rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP);
    RwInt32 depth = 0;
    switch (type) {
    case rwRASTERTYPENORMAL:
    case rwRASTERTYPETEXTURE: {
        if (format & (rwRASTERFORMATPAL8 | rwRASTERFORMATPAL4)) {
            if (Texture(D3DFMT_P8)) {
                const bool alphaPalette = rwD3D9State.caps.TextureCaps & D3DPTEXTURECAPS_ALPHAPALETTE;
                const RwInt32 entry =
                    (pixel == rwRASTERFORMAT8888 || pixel == rwRASTERFORMATDEFAULT) && alphaPalette
                        ? rwRASTERFORMAT8888
                        : rwRASTERFORMAT888;
                *formatOut = rwRASTERFORMATPAL8 | entry | mips;
                *depthOut = 8;
                return TRUE;
            }
        }
        const RwInt32 chosen = TexturePixelFormat(pixel);
        if (chosen < 0 || chosen == rwRASTERFORMAT16 || chosen == rwRASTERFORMAT24 ||
            chosen == rwRASTERFORMAT32) {
            RwErrorSetCode(E_RW_INVRASTERFORMAT);
            return FALSE;
        }
        RwD3D9RasterFormatEntryOf(chosen, nullptr, &depth, nullptr);
        *formatOut = chosen | mips;
        *depthOut = depth;
        return TRUE;
    }
    case rwRASTERTYPEZBUFFER:
        if (pixel) {
            RwErrorSetCode(E_RW_INVRASTERFORMAT);
            return FALSE;
        }
        *formatOut = RwD3D9ZBufferDepth() == 16 ? rwRASTERFORMAT16 : rwRASTERFORMAT32;
        *depthOut = RwInt32(RwD3D9ZBufferDepth());
        return TRUE;
    case rwRASTERTYPECAMERA: {
        if (pixel) {
            RwErrorSetCode(E_RW_INVRASTERFORMAT);
            return FALSE;
        }
        const RwD3D9FormatInfo* info = RwD3D9FindFormatInfo(RwD3D9AdapterFormat());
        *formatOut = info ? info->rwFormat : 0;
        *depthOut = RwInt32(RwD3D9DisplayDepth());
        return TRUE;
    }
    case rwRASTERTYPECAMERATEXTURE: {
        const RwInt32 chosen =
            (format & (rwRASTERFORMATPAL8 | rwRASTERFORMATPAL4)) ? -1 : CameraTexturePixelFormat(pixel);
        if (chosen < 0) {
            RwErrorSetCode(E_RW_INVRASTERFORMAT);
            return FALSE;
        }
        RwD3D9RasterFormatEntryOf(chosen, nullptr, &depth, nullptr);
        *formatOut = chosen | mips;
        *depthOut = depth;
        return TRUE;
    }
    default:
        RwErrorSetCode(E_RW_INVRASTERFORMAT);
        return FALSE;
    }
}

RwBool RwD3D9ImageFindRasterFormat(void* rasterObject, void* imageObject, RwInt32 flags) {
    auto* raster = static_cast<RwRaster*>(rasterObject);
    const auto* image = static_cast<const RwImage*>(imageObject);
    const RwInt32 type = flags & rwRASTERTYPEMASK;
    const RwInt32 mips = flags & (rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP);
    RwInt32 width = image->width, height = image->height;
    RwInt32 request;
    switch (type) {
    case rwRASTERTYPENORMAL: {
        RwD3D9RasterAdjustSize(&width, &height, flags);
        const RwInt32 given = flags & rwRASTERFORMATMASK & ~(rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP);
        request =
            type | ((given & rwRASTERFORMATPIXELFORMATMASK) ? given : RwImageFindBestRasterFormat(image));
        break;
    }
    case rwRASTERTYPEZBUFFER:
    case rwRASTERTYPECAMERA:
        request = flags;
        break;
    case rwRASTERTYPETEXTURE:
    case rwRASTERTYPECAMERATEXTURE:
        RwD3D9RasterAdjustSize(&width, &height, flags);
        request = type | RwImageFindBestRasterFormat(image) | mips;
        break;
    default:
        RwErrorSetCode(E_RW_INVRASTERFORMAT);
        return FALSE;
    }
    RwInt32 format = 0, depth = 0;
    if (!RwD3D9ChooseRasterFormat(request, &format, &depth))
        return FALSE;
    raster->width = width;
    raster->height = height;
    raster->depth = depth;
    raster->cType = RwUInt8(type);
    raster->cFlags = RwUInt8(flags & 0xF8);
    raster->cFormat = RwUInt8(format >> 8);
    return TRUE;
}
