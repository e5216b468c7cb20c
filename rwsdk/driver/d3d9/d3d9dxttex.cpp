#include "rwsdk/driver/d3d9/d3d9dxttex.h"

#include "platform/d3d9/Blocks.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "DDS files are read by copying their words");

namespace {

inline RwUInt16 Word16(const RwUInt8* p) {
    return RwUInt16(p[0] | p[1] << 8);
}
inline RwUInt32 Word32(const RwUInt8* p) {
    return RwUInt32(p[0]) | RwUInt32(p[1]) << 8 | RwUInt32(p[2]) << 16 | RwUInt32(p[3]) << 24;
}

// Data of one level, read in growing pieces so that a header that claims more than the file holds fails
// after reading what is there, not after allocating what it claims.
RwUInt8* ReadData(RwStream* stream, RwUInt32 size) {
    constexpr RwUInt32 piece = 1u << 20;
    RwUInt32 capacity = std::min(size, piece);
    auto* data = static_cast<RwUInt8*>(RwMalloc(capacity ? capacity : 1, rwMEMHINTDUR_FUNCTION));
    RwUInt32 done = 0;
    while (data) {
        RwUInt32 want = capacity - done;
        if (RwStreamRead(stream, data + done, want) != want) {
            break;
        }
        done = capacity;
        if (done == size) {
            return data;
        }
        capacity = size - capacity > capacity ? capacity * 2 : size;
        auto* grown =
            static_cast<RwUInt8*>(RwRealloc(data, capacity, rwMEMHINTDUR_FUNCTION | rwMEMHINTFLAG_RESIZABLE));
        if (!grown) {
            break;
        }
        data = grown;
    }
    RwFree(data);
    return nullptr;
}

// Uncompressed pixel layouts that the software path decodes.
enum class Layout {
    None,
    BGR888,
    ARGB8888,
    A2R10G10B10, // red mask 0x3FF: taken with red in the high bits, as the direct path names it
    A2B10G10R10, // blue mask 0x3FF
    R5G6B5,
    A1R5G5B5,
    A4R4G4B4,
    L16,
    A8L8,
    A8R3G3B2,
    R3G3B2,
    L8,
    A8,
    A4L4,
    P8,
};

Layout LayoutOf(const RwDDSPixelFormat& pf) {
    switch (pf.bitCount) {
    case 24:
        return Layout::BGR888;
    case 32:
        if (pf.redMask == 0xFF0000) {
            return Layout::ARGB8888;
        }
        if (pf.redMask == 0x3FF) {
            return Layout::A2R10G10B10;
        }
        if (pf.blueMask == 0x3FF) {
            return Layout::A2B10G10R10;
        }
        return Layout::None;
    case 16:
        switch (pf.redMask) {
        case 0xF800:
            return Layout::R5G6B5;
        case 0x7C00:
            return Layout::A1R5G5B5;
        case 0xF00:
            return Layout::A4R4G4B4;
        case 0xFFFF:
            return Layout::L16;
        case 0xFF:
            return pf.alphaMask == 0xFF00 ? Layout::A8L8 : Layout::None;
        case 0xE0:
            return Layout::A8R3G3B2;
        default:
            return Layout::None;
        }
    case 8:
        if (pf.redMask == 0xE0) {
            return Layout::R3G3B2;
        }
        if (pf.redMask == 0xFF) {
            return Layout::L8;
        }
        if (pf.redMask == 0 && pf.alphaMask == 0xFF) {
            return Layout::A8;
        }
        if (pf.redMask == 0xF && pf.alphaMask == 0xF0) {
            return Layout::A4L4;
        }
        if (pf.redMask == 0 && pf.greenMask == 0 && pf.blueMask == 0 && pf.alphaMask == 0) {
            return Layout::P8;
        }
        return Layout::None;
    default:
        return Layout::None;
    }
}

void DecodePixel(Layout layout, bool alphaFlag, const RwUInt8* s, const RwUInt8* palette, RwUInt8* d) {
    auto set = [d](RwUInt32 r, RwUInt32 g, RwUInt32 b, RwUInt32 a) {
        d[0] = RwUInt8(r);
        d[1] = RwUInt8(g);
        d[2] = RwUInt8(b);
        d[3] = RwUInt8(a);
    };
    switch (layout) {
    case Layout::BGR888:
        set(s[2], s[1], s[0], 255);
        break;
    case Layout::ARGB8888: {
        RwUInt32 v = Word32(s);
        set(v >> 16, v >> 8, v, alphaFlag ? v >> 24 : 255);
        break;
    }
    case Layout::A2R10G10B10: {
        RwUInt32 v = Word32(s);
        set(v >> 22, v >> 12, v >> 2, (v >> 30) * 85);
        break;
    }
    case Layout::A2B10G10R10: {
        RwUInt32 v = Word32(s);
        set(v >> 2, v >> 12, v >> 22, (v >> 30) * 85);
        break;
    }
    case Layout::R5G6B5: {
        RwUInt32 c = Word16(s);
        set((c >> 8) & 0xF8, (c >> 3) & 0xFC, (c << 3) & 0xFF, 255);
        break;
    }
    case Layout::A1R5G5B5: {
        RwUInt32 c = Word16(s);
        set((c >> 7) & 0xF8, (c >> 2) & 0xF8, (c << 3) & 0xFF, (c & 0x8000) ? 255 : 0);
        break;
    }
    case Layout::A4R4G4B4: {
        RwUInt32 c = Word16(s);
        set((c >> 4) & 0xF0, c & 0xF0, (c << 4) & 0xFF, (c >> 8) & 0xF0);
        break;
    }
    case Layout::L16:
        set(s[1], s[1], s[1], 255);
        break;
    case Layout::A8L8:
        set(s[0], s[0], s[0], s[1]);
        break;
    case Layout::A8R3G3B2:
        set(s[0] & 0xE0, (s[0] & 0x1C) << 3, (s[0] & 0x03) << 6, s[1]);
        break;
    case Layout::R3G3B2:
        set(s[0] & 0xE0, (s[0] & 0x1C) << 3, (s[0] & 0x03) << 6, 255);
        break;
    case Layout::L8:
        set(s[0], s[0], s[0], 255);
        break;
    case Layout::A8:
        set(255, 255, 255, s[0]);
        break;
    case Layout::A4L4:
        set((s[0] << 4) & 0xFF, (s[0] << 4) & 0xFF, (s[0] << 4) & 0xFF, s[0] & 0xF0);
        break;
    case Layout::P8:
        std::memcpy(d, palette + size_t(s[0]) * 4, 4);
        break;
    case Layout::None:
        break;
    }
}

// The raster format that a layout fixes, or 0 for the format chooser.
RwInt32 RasterFormatOf(Layout layout, RwDDSFormatCheck check) {
    switch (layout) {
    case Layout::R5G6B5:
    case Layout::R3G3B2:
        return rwDDSRASTERFORMAT565;
    case Layout::A1R5G5B5:
        return rwDDSRASTERFORMAT1555;
    case Layout::A8R3G3B2:
        return rwDDSRASTERFORMAT4444;
    case Layout::L16:
        return !check || check(D3DFMT_L8) ? rwDDSRASTERFORMATLUM8 : rwDDSRASTERFORMATDEFAULT;
    default:
        return rwDDSRASTERFORMATDEFAULT;
    }
}

} // namespace

RwBool _rwDDSHeaderRead(RwStream* stream, RwDDSHeader* header) {
    RwUInt8 bytes[4 + sizeof(RwDDSHeader)];
    if (!stream || !header || RwStreamRead(stream, bytes, sizeof(bytes)) != sizeof(bytes)) {
        return FALSE;
    }
    if (Word32(bytes) != rwDDSMAGIC) {
        return FALSE;
    }
    std::memcpy(header, bytes + 4, sizeof(RwDDSHeader));
    return (header->flags & (rwDDSDCAPS | rwDDSDHEIGHT | rwDDSDWIDTH | rwDDSDPIXELFORMAT)) != 0;
}

RwBool _rwDDSIsCubeMap(const RwDDSHeader* header) {
    return (header->caps & rwDDSCAPSCOMPLEX) && (header->caps2 & rwDDSCAPS2CUBEMAPALLFACES);
}

RwUInt32 _rwDDSLevelSize(const RwDDSHeader* header, RwUInt32 w, RwUInt32 h) {
    const RwDDSPixelFormat& pf = header->pixelFormat;
    RwUInt64 size = 0;
    if (pf.flags & rwDDPFFOURCC) {
        RwUInt64 blocks = RwUInt64(std::max(1u, (w + 3) / 4)) * std::max(1u, (h + 3) / 4);
        switch (pf.fourCC) {
        case rwFOURCCDXT1:
            size = blocks * 8;
            break;
        case rwFOURCCDXT2:
        case rwFOURCCDXT3:
        case rwFOURCCDXT4:
        case rwFOURCCDXT5:
            size = blocks * 16;
            break;
        case rwFOURCCA16B16G16R16:
            size = RwUInt64(w) * h * 8;
            break;
        default:
            return 0;
        }
    } else if (pf.bitCount == 8 || pf.bitCount == 16 || pf.bitCount == 24 || pf.bitCount == 32) {
        size = RwUInt64(w) * h * (pf.bitCount / 8);
    }
    return size > 0xFFFFFFFFu ? 0 : RwUInt32(size);
}

// The image reader keeps the low bits of widened 565 colours at 0, as the engine always has.
RwBool RwDXT1Decompress(RwInt32 width, RwInt32 height, RwUInt8* destination, const RwUInt8* source) {
    if (width <= 0 || height <= 0) {
        return FALSE;
    }
    D3D9::DecodeBlocks(D3DFMT_DXT1, source, RwUInt32(width), RwUInt32(height), destination,
                       D3D9::Widen565::Shift);
    // Only texels inside the image count, so look at what was stored.
    for (size_t i = 0, n = size_t(width) * size_t(height); i < n; ++i) {
        if (destination[i * 4 + 3] == 0) {
            return TRUE;
        }
    }
    return FALSE;
}

RwBool _rwDXT1HasTransparentTexels(RwInt32 width, RwInt32 height, const RwUInt8* source) {
    if (width <= 0 || height <= 0) {
        return FALSE;
    }
    const RwInt32 blocksWide = (width + 3) / 4;
    const RwInt32 blocksHigh = (height + 3) / 4;
    for (RwInt32 by = 0; by < blocksHigh; ++by) {
        const RwInt32 rows = std::min(4, height - by * 4);
        for (RwInt32 bx = 0; bx < blocksWide; ++bx, source += 8) {
            if (Word16(source) > Word16(source + 2)) {
                continue;
            }
            const RwInt32 columns = std::min(4, width - bx * 4);
            for (RwInt32 y = 0; y < rows; ++y) {
                for (RwInt32 x = 0; x < columns; ++x) {
                    if (((source[4 + y] >> (2 * x)) & 3) == 3) {
                        return TRUE;
                    }
                }
            }
        }
    }
    return FALSE;
}

void RwDXT3Decompress(RwInt32 width, RwInt32 height, RwUInt8* destination, const RwUInt8* source) {
    if (width > 0 && height > 0) {
        D3D9::DecodeBlocks(D3DFMT_DXT3, source, RwUInt32(width), RwUInt32(height), destination,
                           D3D9::Widen565::Shift);
    }
}

void RwDXT5AlphaTable(RwUInt8 alpha0, RwUInt8 alpha1, RwUInt8* table) {
    D3D9::InterpolatedAlphas(alpha0, alpha1, table);
}

void RwDXT5Decompress(RwInt32 width, RwInt32 height, RwUInt8* destination, const RwUInt8* source) {
    if (width > 0 && height > 0) {
        D3D9::DecodeBlocks(D3DFMT_DXT5, source, RwUInt32(width), RwUInt32(height), destination,
                           D3D9::Widen565::Shift);
    }
}

RwImage* _rwDDSImageRead(RwStream* stream, const RwDDSHeader* header, RwInt32* rasterFormat,
                         RwDDSFormatCheck formatCheck) {
    if (!stream || !header) {
        return nullptr;
    }
    const RwDDSPixelFormat& pf = header->pixelFormat;
    RwUInt32 w = header->width, h = header->height;
    if (w == 0 || h == 0 || w > rwDDSMAXSIDE || h > rwDDSMAXSIDE) {
        return nullptr;
    }
    const bool fourCC = (pf.flags & rwDDPFFOURCC) != 0;
    Layout layout = fourCC ? Layout::None : LayoutOf(pf);
    if (fourCC) {
        switch (pf.fourCC) {
        case rwFOURCCDXT1:
        case rwFOURCCDXT2:
        case rwFOURCCDXT3:
        case rwFOURCCDXT4:
        case rwFOURCCDXT5:
        case rwFOURCCA16B16G16R16:
            break;
        default:
            return nullptr; // not decoded
        }
    } else if (layout == Layout::None) {
        return nullptr;
    }

    // The size comes from the format and the image size; the pitch field only says how far apart rows
    // are, and only when it is larger than a packed row.
    RwUInt32 size = _rwDDSLevelSize(header, w, h);
    RwUInt32 pixelBytes = fourCC ? 0 : pf.bitCount / 8;
    RwUInt32 pitch = w * pixelBytes;
    if (!fourCC && !(header->flags & rwDDSDLINEARSIZE) && header->pitchOrLinearSize > pitch) {
        if (RwUInt64(header->pitchOrLinearSize) * (h - 1) + pitch > 0xFFFFFFFFu) {
            return nullptr;
        }
        pitch = header->pitchOrLinearSize;
        size = pitch * (h - 1) + w * pixelBytes;
    }
    if (size == 0) {
        return nullptr;
    }

    RwUInt8 palette[1024];
    if (layout == Layout::P8 && RwStreamRead(stream, palette, sizeof(palette)) != sizeof(palette)) {
        return nullptr;
    }
    RwUInt8* data = ReadData(stream, size);
    if (!data) {
        return nullptr;
    }
    RwImage* image = RwImageCreate(RwInt32(w), RwInt32(h), 32);
    if (!image || !RwImageAllocatePixels(image)) {
        if (image) {
            RwImageDestroy(image);
        }
        RwFree(data);
        return nullptr;
    }

    RwInt32 format = rwDDSRASTERFORMATDEFAULT;
    if (fourCC) {
        switch (pf.fourCC) {
        case rwFOURCCDXT1:
            format = RwDXT1Decompress(RwInt32(w), RwInt32(h), image->pixels, data) ? rwDDSRASTERFORMAT1555
                                                                                   : rwDDSRASTERFORMAT565;
            break;
        case rwFOURCCDXT2:
        case rwFOURCCDXT3:
        case rwFOURCCDXT4:
        case rwFOURCCDXT5:
            if (pf.fourCC == rwFOURCCDXT2 || pf.fourCC == rwFOURCCDXT3) {
                RwDXT3Decompress(RwInt32(w), RwInt32(h), image->pixels, data);
            } else {
                RwDXT5Decompress(RwInt32(w), RwInt32(h), image->pixels, data);
            }
            format =
                !formatCheck || formatCheck(D3DFMT_A4R4G4B4) ? rwDDSRASTERFORMAT4444 : rwDDSRASTERFORMAT1555;
            break;
        default: // A16B16G16R16: the high byte of each channel
            for (RwUInt32 i = 0; i < w * h; ++i) {
                const RwUInt8* s = data + size_t(i) * 8;
                RwUInt8* d = image->pixels + size_t(i) * 4;
                d[0] = s[1];
                d[1] = s[3];
                d[2] = s[5];
                d[3] = s[7];
            }
            break;
        }
    } else {
        const bool alphaFlag = (pf.flags & rwDDPFALPHAPIXELS) != 0;
        for (RwUInt32 y = 0; y < h; ++y) {
            const RwUInt8* s = data + size_t(y) * pitch;
            RwUInt8* d = image->pixels + size_t(y) * size_t(image->stride);
            for (RwUInt32 x = 0; x < w; ++x, s += pixelBytes, d += 4) {
                DecodePixel(layout, alphaFlag, s, palette, d);
            }
        }
        format = RasterFormatOf(layout, formatCheck);
    }
    RwFree(data);
    if (rasterFormat) {
        *rasterFormat = format;
    }
    return image;
}
