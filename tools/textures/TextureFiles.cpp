#include "tools/textures/TextureFiles.h"

#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>

namespace Tools {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(file);
}

uint16_t To565(const int* c) {
    return uint16_t((std::min(31, (c[0] + 4) >> 3) << 11) | (std::min(63, (c[1] + 2) >> 2) << 5) |
                    std::min(31, (c[2] + 4) >> 3));
}

// The bytes a reader expands a 565 colour to (shifted, as the engine decodes).
std::array<int, 3> From565(uint16_t c) {
    return {(c >> 11) << 3, ((c >> 5) & 63) << 2, (c & 31) << 3};
}

} // namespace

void EncodeDxt1Block(const Picture& picture, int x, int y, uint8_t* block) {
    int texels[16][3];
    bool clear[16];
    int opaque[16], count = 0;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++) {
            const uint8_t* t =
                picture.At(std::min(picture.width - 1, x + i), std::min(picture.height - 1, y + j));
            const int k = j * 4 + i;
            for (int c = 0; c < 3; c++)
                texels[k][c] = t[c];
            // DXT1 keeps one bit of alpha: half-transparent texels round to the nearer end.
            clear[k] = t[3] < 128;
            if (!clear[k])
                opaque[count++] = k;
        }
    const bool punch = count < 16;
    uint16_t c0 = 0, c1 = 0;
    if (count > 0) {
        // End points: the extremes of the opaque texels along their widest channel.
        int axis = 0, widest = -1;
        for (int c = 0; c < 3; c++) {
            int lo = 255, hi = 0;
            for (int n = 0; n < count; n++)
                lo = std::min(lo, texels[opaque[n]][c]), hi = std::max(hi, texels[opaque[n]][c]);
            if (hi - lo > widest)
                widest = hi - lo, axis = c;
        }
        int low = opaque[0], high = opaque[0];
        for (int n = 1; n < count; n++) {
            const int k = opaque[n];
            if (texels[k][axis] < texels[low][axis])
                low = k;
            if (texels[k][axis] > texels[high][axis])
                high = k;
        }
        c0 = To565(texels[high]), c1 = To565(texels[low]);
    }
    // Four colours when colour 0 is above colour 1; three and transparent black otherwise.
    if (punch ? c0 > c1 : c0 < c1)
        std::swap(c0, c1);
    uint32_t indices = 0;
    if (c0 != c1 || punch) {
        const auto a = From565(c0), b = From565(c1);
        std::array<std::array<int, 3>, 4> palette = {a, b, a, a};
        for (int c = 0; c < 3; c++) {
            palette[2][c] = punch ? (a[c] + b[c]) / 2 : (2 * a[c] + b[c]) / 3;
            palette[3][c] = (a[c] + 2 * b[c]) / 3;
        }
        for (int k = 0; k < 16; k++) {
            int best = 3, bestError = 1 << 30;
            for (int p = 0; p < (punch ? 3 : 4) && !clear[k]; p++) {
                int error = 0;
                for (int c = 0; c < 3; c++)
                    error += (texels[k][c] - palette[size_t(p)][c]) * (texels[k][c] - palette[size_t(p)][c]);
                if (error < bestError)
                    bestError = error, best = p;
            }
            indices |= uint32_t(best) << (2 * k);
        }
    }
    block[0] = uint8_t(c0), block[1] = uint8_t(c0 >> 8), block[2] = uint8_t(c1), block[3] = uint8_t(c1 >> 8);
    for (int r = 0; r < 4; r++)
        block[4 + r] = uint8_t(indices >> (8 * r));
}

bool WriteDds(const std::string& path, const std::vector<Picture>& levels, bool dxt1) {
    const Picture& top = levels.front();
    std::vector<uint8_t> out;
    Put32(out, 0x20534444);
    Put32(out, 124);
    const uint32_t flags =
        0x1 | 0x2 | 0x4 | 0x1000 | (levels.size() > 1 ? 0x20000 : 0) | (dxt1 ? 0x80000 : 0x8);
    Put32(out, flags);
    Put32(out, uint32_t(top.height));
    Put32(out, uint32_t(top.width));
    Put32(out, dxt1 ? uint32_t(std::max(1, (top.width + 3) / 4) * std::max(1, (top.height + 3) / 4) * 8)
                    : uint32_t(top.width * 4));
    Put32(out, 0);
    Put32(out, uint32_t(levels.size()));
    for (int i = 0; i < 11; i++)
        Put32(out, 0);
    Put32(out, 32);
    if (dxt1) {
        Put32(out, 0x4);
        Put32(out, 0x31545844); // "DXT1"
        for (int i = 0; i < 5; i++)
            Put32(out, 0);
    } else {
        Put32(out, 0x41);
        Put32(out, 0);
        Put32(out, 32);
        Put32(out, 0xFF0000);
        Put32(out, 0xFF00);
        Put32(out, 0xFF);
        Put32(out, 0xFF000000);
    }
    Put32(out, 0x1000 | (levels.size() > 1 ? 0x400008 : 0));
    for (int i = 0; i < 4; i++)
        Put32(out, 0);
    for (const Picture& level : levels) {
        if (dxt1) {
            uint8_t block[8];
            for (int y = 0; y < level.height; y += 4)
                for (int x = 0; x < level.width; x += 4) {
                    EncodeDxt1Block(level, x, y, block);
                    out.insert(out.end(), block, block + 8);
                }
        } else {
            for (int y = 0; y < level.height; y++)
                for (int x = 0; x < level.width; x++) {
                    const uint8_t* t = level.At(x, y);
                    out.push_back(t[2]), out.push_back(t[1]), out.push_back(t[0]), out.push_back(t[3]);
                }
        }
    }
    return Save(path, out);
}

bool WriteBmp(const std::string& path, const Picture& picture) {
    const uint32_t row = uint32_t(picture.width * 3 + 3) & ~3u;
    const uint32_t size = 54 + row * uint32_t(picture.height);
    std::vector<uint8_t> out = {'B', 'M'};
    Put32(out, size);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, uint32_t(picture.width));
    Put32(out, uint32_t(picture.height));
    Put16(out, 1);
    Put16(out, 24);
    for (int i = 0; i < 6; i++)
        Put32(out, i == 1 ? row * uint32_t(picture.height) : 0);
    for (int y = picture.height - 1; y >= 0; y--) { // bottom row first
        for (int x = 0; x < picture.width; x++) {
            const uint8_t* t = picture.At(x, y);
            out.push_back(t[2]), out.push_back(t[1]), out.push_back(t[0]);
        }
        out.resize(out.size() + (row - uint32_t(picture.width) * 3), 0);
    }
    return Save(path, out);
}

bool WritePng(const std::string& path, const Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(picture.width);
    image.height = png_uint_32(picture.height);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, picture.rgba.data(), 0, nullptr) != 0;
}

bool WriteTiff(const std::string& path, const Picture& picture) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff)
        return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(picture.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(picture.height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
    bool ok = true;
    std::vector<uint8_t> row(size_t(picture.width) * 3);
    for (int y = 0; ok && y < picture.height; y++) {
        for (int x = 0; x < picture.width; x++)
            std::copy_n(picture.At(x, y), 3, &row[size_t(x) * 3]);
        ok = TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) >= 0;
    }
    TIFFClose(tiff);
    return ok;
}

} // namespace Tools
