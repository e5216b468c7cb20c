#include "platform/d3d9/Blocks.h"

#include <cstdint>
#include <cstring>

namespace D3D9 {
namespace {

unsigned Read16(const unsigned char* p) {
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}

// The four colours of a colour block and its 2-bit indices; with `threeColour` (DXT1 only) a block whose
// first colour is not above the second has three colours and transparent black.
void DecodeColours(const unsigned char* block, bool threeColour, Widen565 widen, unsigned char out[16][4]) {
    const unsigned c0 = Read16(block), c1 = Read16(block + 2);
    unsigned char palette[4][4];
    const bool replicate = widen == Widen565::Replicate;
    const auto expand = [replicate](unsigned c, unsigned char* to) {
        const unsigned r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
        to[0] = static_cast<unsigned char>(r << 3 | (replicate ? r >> 2 : 0));
        to[1] = static_cast<unsigned char>(g << 2 | (replicate ? g >> 4 : 0));
        to[2] = static_cast<unsigned char>(b << 3 | (replicate ? b >> 2 : 0));
        to[3] = 255;
    };
    expand(c0, palette[0]);
    expand(c1, palette[1]);
    for (int k = 0; k < 3; ++k) {
        const unsigned a = palette[0][k], b = palette[1][k];
        if (c0 > c1 || !threeColour) {
            palette[2][k] = static_cast<unsigned char>((2 * a + b) / 3);
            palette[3][k] = static_cast<unsigned char>((a + 2 * b) / 3);
        } else {
            palette[2][k] = static_cast<unsigned char>((a + b) / 2);
            palette[3][k] = 0;
        }
    }
    palette[2][3] = 255;
    palette[3][3] = c0 > c1 || !threeColour ? 255 : 0;
    const uint32_t indices =
        uint32_t(block[4]) | uint32_t(block[5]) << 8 | uint32_t(block[6]) << 16 | uint32_t(block[7]) << 24;
    for (int i = 0; i < 16; ++i)
        std::memcpy(out[i], palette[(indices >> (2 * i)) & 3], 4);
}

// Explicit 4-bit alphas (DXT2, DXT3).
void DecodeExplicitAlpha(const unsigned char* block, unsigned char out[16][4]) {
    for (int i = 0; i < 16; ++i) {
        const unsigned a = (block[i / 2] >> (4 * (i & 1))) & 15;
        out[i][3] = static_cast<unsigned char>(a * 17);
    }
}

// Two alphas and six or four between them with 0 and 255 (DXT4, DXT5), 3-bit indices.
void DecodeInterpolatedAlpha(const unsigned char* block, unsigned char out[16][4]) {
    unsigned char palette[8];
    InterpolatedAlphas(block[0], block[1], palette);
    uint64_t indices = 0;
    for (int b = 0; b < 6; ++b)
        indices |= uint64_t(block[2 + b]) << (8 * b);
    for (int i = 0; i < 16; ++i)
        out[i][3] = palette[(indices >> (3 * i)) & 7];
}

} // namespace

void InterpolatedAlphas(unsigned char alpha0, unsigned char alpha1, unsigned char table[8]) {
    const unsigned a0 = alpha0, a1 = alpha1;
    table[0] = alpha0;
    table[1] = alpha1;
    if (a0 > a1) {
        for (unsigned k = 1; k < 7; ++k)
            table[k + 1] = static_cast<unsigned char>(((7 - k) * a0 + k * a1) / 7);
    } else {
        for (unsigned k = 1; k < 5; ++k)
            table[k + 1] = static_cast<unsigned char>(((5 - k) * a0 + k * a1) / 5);
        table[6] = 0;
        table[7] = 255;
    }
}

bool DecodeBlocks(D3DFORMAT format, const unsigned char* blocks, unsigned width, unsigned height,
                  unsigned char* rgba, Widen565 widen) {
    const bool dxt1 = format == D3DFMT_DXT1;
    const bool explicitAlpha = format == D3DFMT_DXT2 || format == D3DFMT_DXT3;
    const bool interpolatedAlpha = format == D3DFMT_DXT4 || format == D3DFMT_DXT5;
    if (!dxt1 && !explicitAlpha && !interpolatedAlpha)
        return false;
    const size_t blockBytes = dxt1 ? 8 : 16;
    const unsigned across = (width + 3) / 4, down = (height + 3) / 4;
    unsigned char texels[16][4];
    for (unsigned by = 0; by < down; ++by)
        for (unsigned bx = 0; bx < across; ++bx, blocks += blockBytes) {
            DecodeColours(dxt1 ? blocks : blocks + 8, dxt1, widen, texels);
            if (explicitAlpha)
                DecodeExplicitAlpha(blocks, texels);
            else if (interpolatedAlpha)
                DecodeInterpolatedAlpha(blocks, texels);
            // Levels narrower than a block keep only the pixels they have.
            for (unsigned y = 0; y < 4 && by * 4 + y < height; ++y) {
                const unsigned columns = width - bx * 4 < 4 ? width - bx * 4 : 4;
                std::memcpy(rgba + (size_t(by * 4 + y) * width + bx * 4) * 4, texels[y * 4], columns * 4);
            }
        }
    return true;
}

} // namespace D3D9
