#include "rwsdk/tool/tiff/rttiff.h"

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/tool/tiff/tif_rw.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr RwUInt32 hint = rwMEMHINTDUR_FUNCTION | rwID_TIFFTOOLKIT;

struct Buffer {
    void* data = nullptr;
    explicit Buffer(tmsize_t size) {
        if (size > 0) {
            data = RwMalloc(size_t(size), hint);
        }
    }
    ~Buffer() { RwFree(data); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    RwUInt8* Bytes() const { return static_cast<RwUInt8*>(data); }
};

// A stripped image's rows in order: row(y, bytes) takes each row's rowBytes bytes.
template <typename Row> bool ReadStrips(TIFF* tif, RwUInt32 height, size_t rowBytes, Row row) {
    uint32_t rowsPerStrip = 0;
    if (!TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) || rowsPerStrip == 0) {
        TIFFErrorExtR(tif, TIFFFileName(tif), "Source image not in strips");
        return false;
    }
    rowsPerStrip = std::min(rowsPerStrip, height);
    Buffer strip(TIFFStripSize(tif));
    if (!strip.data) {
        return false;
    }
    const uint32_t strips = TIFFNumberOfStrips(tif);
    for (uint32_t s = 0; s < strips && s * rowsPerStrip < height; ++s) {
        const RwUInt32 rows = std::min(rowsPerStrip, height - s * rowsPerStrip);
        tmsize_t got = TIFFReadEncodedStrip(tif, s, strip.data, -1);
        if (got < tmsize_t(size_t(rows) * rowBytes)) {
            return false;
        }
        for (RwUInt32 r = 0; r < rows; ++r) {
            row(s * rowsPerStrip + r, strip.Bytes() + size_t(r) * rowBytes);
        }
    }
    return true;
}

// One sample per pixel: the palette, then the index rows.
bool ReadGrey(TIFF* tif, RwImage* image, uint16_t photometric) {
    RwUInt8* palette = image->palette;
    for (int i = 0; i < 256; ++i) {
        RwUInt8 level = RwUInt8(photometric == PHOTOMETRIC_MINISWHITE ? 255 - i : i);
        palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = level;
        palette[4 * i + 3] = 255;
    }
    if (photometric == PHOTOMETRIC_RGB) {
        return false;
    }
    if (photometric == PHOTOMETRIC_PALETTE) {
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) && red && green && blue) {
            for (int i = 0; i < 256; ++i) {
                palette[4 * i] = RwUInt8(red[i] >> 8);
                palette[4 * i + 1] = RwUInt8(green[i] >> 8);
                palette[4 * i + 2] = RwUInt8(blue[i] >> 8);
            }
        } else {
            // Reading goes on with the grey ramp.
            TIFFWarningExtR(tif, TIFFFileName(tif), "Missing required \"Colormap\" tag");
        }
    }

    const RwUInt32 width = RwUInt32(image->width), height = RwUInt32(image->height);
    if (!TIFFIsTiled(tif)) {
        return ReadStrips(tif, height, width, [&](RwUInt32 y, const RwUInt8* in) {
            std::memcpy(image->pixels + size_t(y) * size_t(image->stride), in, width);
        });
    }

    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
    const tmsize_t tileSize = TIFFTileSize(tif);
    if (tileWidth == 0 || tileLength == 0 || tileWidth > rtTIFFMAXTILESIDE ||
        tileLength > rtTIFFMAXTILESIDE || tileSize < tmsize_t(size_t(tileWidth) * tileLength)) {
        return false;
    }
    Buffer tile(tileSize);
    if (!tile.data) {
        return false;
    }
    RwUInt32 x = 0, y = 0;
    const uint32_t tiles = TIFFNumberOfTiles(tif);
    for (uint32_t t = 0; t < tiles && y < height; ++t) {
        if (TIFFReadEncodedTile(tif, t, tile.data, tileSize) < 0) {
            return false;
        }
        const RwUInt32 rows = std::min(tileLength, height - y);
        const RwUInt32 columns = std::min(tileWidth, width - x);
        for (RwUInt32 r = 0; r < rows; ++r) {
            std::memcpy(image->pixels + size_t(y + r) * size_t(image->stride) + x,
                        tile.Bytes() + size_t(r) * tileWidth, columns);
        }
        x += tileWidth;
        if (x >= width) {
            x = 0;
            y += tileLength;
        }
    }
    return true;
}

// Three or four samples per pixel into red, green, blue, alpha.
bool ReadColour(TIFF* tif, RwImage* image, uint16_t samples) {
    const RwUInt32 width = RwUInt32(image->width), height = RwUInt32(image->height);
    if (!TIFFIsTiled(tif)) {
        return ReadStrips(tif, height, size_t(width) * samples, [&](RwUInt32 y, const RwUInt8* in) {
            RwUInt8* out = image->pixels + size_t(y) * size_t(image->stride);
            for (RwUInt32 i = 0; i < width; ++i, in += samples, out += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = samples == 4 ? in[3] : 255;
            }
        });
    }

    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
    if (tileWidth == 0 || tileLength == 0 || tileWidth > rtTIFFMAXTILESIDE ||
        tileLength > rtTIFFMAXTILESIDE) {
        return false;
    }
    Buffer raster(tmsize_t(size_t(tileWidth) * tileLength * 4));
    if (!raster.data) {
        TIFFErrorExtR(tif, TIFFFileName(tif), "No space for raster buffer");
        return false;
    }
    // The RGBA tile comes bottom-up, as uint32 values whose bytes are red, green, blue, alpha.
    for (RwUInt32 x = 0; x < width; x += tileWidth) {
        for (RwUInt32 y = 0; y < height; y += tileLength) {
            if (!TIFFReadRGBATile(tif, x, y, static_cast<uint32_t*>(raster.data))) {
                return false;
            }
            const RwUInt32 rows = std::min(tileLength, height - y);
            const RwUInt32 columns = std::min(tileWidth, width - x);
            for (RwUInt32 r = 0; r < rows; ++r) {
                std::memcpy(image->pixels + size_t(y + r) * size_t(image->stride) + size_t(x) * 4,
                            raster.Bytes() + size_t(tileLength - 1 - r) * tileWidth * 4, size_t(columns) * 4);
            }
        }
    }
    return true;
}

} // namespace

RwImage* RtTIFFImageRead(const RwChar* imageName) {
    if (!imageName) {
        RwErrorSetPlugin(rwID_TIFFTOOLKIT, E_RW_NULLP);
        return nullptr;
    }
    TIFF* tif = _rtTIFFOpen(imageName, "rb");
    if (!tif) {
        return nullptr;
    }
    uint32_t width = 0, height = 0;
    uint16_t bitsPerSample = 0, samples = 0, planar = 0, photometric = 0xFFFF;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    if (bitsPerSample != 8 || (samples != 1 && samples != 3 && samples != 4) ||
        planar != PLANARCONFIG_CONTIG || photometric > PHOTOMETRIC_PALETTE || width == 0 || height == 0 ||
        width > rtTIFFMAXSIDE || height > rtTIFFMAXSIDE) {
        TIFFClose(tif);
        return nullptr;
    }
    RwImage* image = RwImageCreate(RwInt32(width), RwInt32(height), samples == 1 ? 8 : 32);
    bool read = image && RwImageAllocatePixels(image) &&
                (samples == 1 ? ReadGrey(tif, image, photometric) : ReadColour(tif, image, samples));
    TIFFClose(tif);
    if (!read) {
        if (image) {
            RwImageDestroy(image);
        }
        return nullptr;
    }
    return image;
}
