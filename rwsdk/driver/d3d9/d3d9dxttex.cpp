#include "rwsdk/driver/d3d9/d3d9dxttex.h"

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "DDS files are read by copying their words");

namespace {

constexpr RwUInt32 D3DFMT_A4R4G4B4 = 26;
constexpr RwUInt32 D3DFMT_L8 = 50;

inline RwUInt16 Word16(const RwUInt8* p) {
    return RwUInt16(p[0] | p[1] << 8);
}
inline RwUInt32 Word32(const RwUInt8* p) {
    return RwUInt32(p[0]) | RwUInt32(p[1]) << 8 | RwUInt32(p[2]) << 16 | RwUInt32(p[3]) << 24;
}

// 565 to bytes without bit replication: the low bits of each channel stay 0.
inline void Expand565(RwUInt16 c, RwUInt8* out) {
    out[0] = RwUInt8((c >> 11) << 3);
    out[1] = RwUInt8(((c >> 5) & 0x3F) << 2);
    out[2] = RwUInt8((c & 0x1F) << 3);
    out[3] = 255;
}

// The four colours of a colour block. Only DXT1 has the three-colour mode (colour 0 not above colour 1),
// whose index 3 is transparent black; the colour blocks of DXT2 to DXT5 always hold four colours, as the
// device decodes them when the same file is loaded into a texture.
void ColourTable(const RwUInt8* block, bool dxt1, RwUInt8 colours[4][4]) {
    RwUInt16 c0 = Word16(block);
    RwUInt16 c1 = Word16(block + 2);
    Expand565(c0, colours[0]);
    Expand565(c1, colours[1]);
    if (c0 > c1 || !dxt1) {
        for (int ch = 0; ch < 3; ++ch) {
            colours[2][ch] = RwUInt8((2 * colours[0][ch] + colours[1][ch]) / 3);
            colours[3][ch] = RwUInt8((colours[0][ch] + 2 * colours[1][ch]) / 3);
        }
        colours[2][3] = 255;
        colours[3][3] = 255;
    } else {
        for (int ch = 0; ch < 3; ++ch) {
            colours[2][ch] = RwUInt8((colours[0][ch] + colours[1][ch]) / 2);
        }
        colours[2][3] = 255;
        const RwUInt8 transparent[4] = {0, 0, 0, 0};
        std::memcpy(colours[3], transparent, 4);
    }
}

// Decodes a colour block into 16 texels, row by row.
void ColourBlock(const RwUInt8* block, bool dxt1, RwUInt8 texels[16][4]) {
    RwUInt8 colours[4][4];
    ColourTable(block, dxt1, colours);
    for (int y = 0; y < 4; ++y) {
        RwUInt8 bits = block[4 + y];
        for (int x = 0; x < 4; ++x) {
            std::memcpy(texels[y * 4 + x], colours[(bits >> (2 * x)) & 3], 4);
        }
    }
}

// Walks the blocks and stores the texels that lie inside the image.
template <typename Decode>
void DecodeBlocks(RwInt32 width, RwInt32 height, RwUInt8* destination, const RwUInt8* source,
                  RwInt32 blockBytes, Decode decode) {
    if (width <= 0 || height <= 0) {
        return;
    }
    RwInt32 blocksWide = (width + 3) / 4;
    RwInt32 blocksHigh = (height + 3) / 4;
    RwUInt8 texels[16][4];
    for (RwInt32 by = 0; by < blocksHigh; ++by) {
        RwInt32 rows = std::min(4, height - by * 4);
        for (RwInt32 bx = 0; bx < blocksWide; ++bx) {
            decode(source, texels);
            source += blockBytes;
            RwInt32 columns = std::min(4, width - bx * 4);
            for (RwInt32 y = 0; y < rows; ++y) {
                RwUInt8* row =
                    destination + ((size_t(by) * 4 + size_t(y)) * size_t(width) + size_t(bx) * 4) * 4;
                std::memcpy(row, texels[y * 4], size_t(columns) * 4);
            }
        }
    }
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

RwBool RwDXT1Decompress(RwInt32 width, RwInt32 height, RwUInt8* destination, const RwUInt8* source) {
    bool transparent = false;
    DecodeBlocks(width, height, destination, source, 8,
                 [](const RwUInt8* block, RwUInt8 texels[16][4]) { ColourBlock(block, true, texels); });
    // Only texels inside the image count, so look at what was stored.
    for (size_t i = 0, n = width > 0 && height > 0 ? size_t(width) * size_t(height) : 0; i < n; ++i) {
        if (destination[i * 4 + 3] == 0) {
            transparent = true;
            break;
        }
    }
    return transparent;
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
    DecodeBlocks(width, height, destination, source, 16, [](const RwUInt8* block, RwUInt8 texels[16][4]) {
        ColourBlock(block + 8, false, texels);
        for (int y = 0; y < 4; ++y) {
            RwUInt16 row = Word16(block + 2 * y);
            for (int x = 0; x < 4; ++x) {
                texels[y * 4 + x][3] = RwUInt8(((row >> (4 * x)) & 0xF) * 17);
            }
        }
    });
}

void RwDXT5AlphaTable(RwUInt8 alpha0, RwUInt8 alpha1, RwUInt8* table) {
    RwUInt32 a0 = alpha0, a1 = alpha1;
    table[0] = alpha0;
    table[1] = alpha1;
    if (a0 > a1) {
        for (RwUInt32 i = 1; i <= 6; ++i) {
            table[1 + i] = RwUInt8(((7 - i) * a0 + i * a1) / 7);
        }
    } else {
        for (RwUInt32 i = 1; i <= 4; ++i) {
            table[1 + i] = RwUInt8(((5 - i) * a0 + i * a1) / 5);
        }
        table[6] = 0;
        table[7] = 255;
    }
}

void RwDXT5Decompress(RwInt32 width, RwInt32 height, RwUInt8* destination, const RwUInt8* source) {
    DecodeBlocks(width, height, destination, source, 16, [](const RwUInt8* block, RwUInt8 texels[16][4]) {
        ColourBlock(block + 8, false, texels);
        RwUInt8 table[8];
        RwDXT5AlphaTable(block[0], block[1], table);
        RwUInt64 bits = 0;
        for (int i = 0; i < 6; ++i) {
            bits |= RwUInt64(block[2 + i]) << (8 * i);
        }
        for (int i = 0; i < 16; ++i) {
            texels[i][3] = table[(bits >> (3 * i)) & 7];
        }
    });
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
