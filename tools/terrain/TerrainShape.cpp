#include "tools/terrain/TerrainShape.h"

#include <algorithm>
#include <cmath>

namespace Tools::Terrain {

namespace {

float Hash(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return float(h & 0xFFFFFF) / float(0xFFFFFF) * 2 - 1;
}

float Smooth(float t) {
    return t * t * (3 - 2 * t);
}

// Value noise in [-1, 1] with smooth interpolation between lattice points.
float Noise(float x, float y, int seed) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = int(fx), iy = int(fy);
    const float tx = Smooth(x - fx), ty = Smooth(y - fy);
    const float a = Hash(ix, iy, seed), b = Hash(ix + 1, iy, seed);
    const float c = Hash(ix, iy + 1, seed), d = Hash(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float Fbm(float x, float y, int seed, int octaves = 5) {
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int k = 0; k < octaves; ++k) {
        sum += Noise(x, y, seed + k) * amplitude;
        total += amplitude;
        x *= 2.03f;
        y *= 2.03f;
        amplitude *= 0.5f;
    }
    return sum / total;
}

float SmoothStep(float lo, float hi, float v) {
    return Smooth(std::clamp((v - lo) / (hi - lo), 0.0f, 1.0f));
}

float Mix(float a, float b, float t) {
    return a + (b - a) * t;
}

} // namespace

float ShapeSample(float x, float z) {
    // The coast: sea to the west, its line wandering by a few kilometres.
    const float coast = x + 9000 + 7000 * Fbm(x / 9000, z / 9000, 11, 4);
    const float land = SmoothStep(0, 3500, coast);
    // Rolling hills everywhere, mountains rising to the east.
    const float hills = 25 + 95 * (0.5f + 0.5f * Fbm(x / 3200, z / 3200, 21));
    const float ridge = 1 - std::fabs(Fbm(x / 4500, z / 4500, 31, 4));
    const float mountains = SmoothStep(0, 13000, x) * 120 * ridge * ridge;
    // A river valley winding west to the sea.
    const float river = 1800 + 2800 * std::sin(x / 5200) + 700 * Fbm(x / 3000, 0.5f, 41, 3);
    const float valley = 0.3f + 0.7f * SmoothStep(150, 1700, std::fabs(z - river));
    float h = land * (6 + (hills + mountains) * valley);
    for (const Plateau& p : Plateaus) {
        const float d = std::hypot(x - p.x, z - p.z);
        h = Mix(float(p.sample), h, SmoothStep(p.radius, p.radius + 1000, d));
    }
    return std::clamp(h, 0.0f, 255.0f);
}

Grid MakeGrid() {
    Grid grid;
    grid.samples.resize(size_t(GridSide) * GridSide);
    for (int gz = 0; gz < GridSide; ++gz)
        for (int gx = 0; gx < GridSide; ++gx) {
            const float x = Origin + float(gx) * Cell, z = Origin + float(gz) * Cell;
            grid.samples[size_t(gz) * GridSide + size_t(gx)] = uint8_t(std::lround(ShapeSample(x, z)));
        }
    return grid;
}

float Grid::HeightAt(float x, float z) const {
    const float gx = std::clamp((x - Origin) / Cell, 0.0f, float(GridSide - 1));
    const float gz = std::clamp((z - Origin) / Cell, 0.0f, float(GridSide - 1));
    const int x0 = std::min(int(gx), GridSide - 2), z0 = std::min(int(gz), GridSide - 2);
    const float tx = gx - float(x0), tz = gz - float(z0);
    const float a = Mix(At(x0, z0), At(x0 + 1, z0), tx), b = Mix(At(x0, z0 + 1), At(x0 + 1, z0 + 1), tx);
    return Mix(a, b, tz) * HeightScale;
}

std::vector<uint8_t> HeightMapImage(const Grid& grid) {
    std::vector<uint8_t> image(size_t(GridSide) * GridSide);
    for (int r = 0; r < GridSide; ++r)
        for (int c = 0; c < GridSide; ++c)
            image[size_t(r) * GridSide + size_t(c)] = grid.At(GridSide - 1 - c, GridSide - 1 - r);
    return image;
}

namespace {

std::vector<uint8_t> Mask(const Grid& grid, bool land) {
    std::vector<uint8_t> mask(size_t(Slices) * Slices, 0);
    const int n = SliceVertices - 1;
    for (int j = 0; j < Slices; ++j)
        for (int i = 0; i < Slices; ++i) {
            bool any = false;
            for (int v = 0; v <= n && !any; ++v)
                for (int u = 0; u <= n && !any; ++u)
                    any = land ? grid.At(i * n + u, j * n + v) > 0 : grid.At(i * n + u, j * n + v) == 0;
            mask[size_t(Slices - 1 - j) * Slices + size_t(Slices - 1 - i)] = any ? 255 : 0;
        }
    return mask;
}

} // namespace

std::vector<uint8_t> LandMask(const Grid& grid) {
    return Mask(grid, true);
}
std::vector<uint8_t> WaterMask(const Grid& grid) {
    return Mask(grid, false);
}

namespace {

struct Rgb {
    float r, g, b;
};
Rgb MixRgb(Rgb a, Rgb b, float t) {
    return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)};
}

// Ground colour at a point from its height, slope and a few noises: sea, beach, fields and meadows,
// forest, rock and snow.
Rgb GroundColour(const Grid& grid, float x, float z) {
    const float h = grid.HeightAt(x, z);
    const float dx = grid.HeightAt(x + 32, z) - grid.HeightAt(x - 32, z);
    const float dz = grid.HeightAt(x, z + 32) - grid.HeightAt(x, z - 32);
    const float slope = std::hypot(dx, dz) / 64;
    const float fine = Fbm(x / 90, z / 90, 51, 3), coarse = Fbm(x / 1400, z / 1400, 61, 3);

    // The rock is a neutral stone grey: with more red than green it read as a purple smudge beside the
    // grass on distant slopes.
    const Rgb sea{24, 58, 88}, shallow{40, 96, 112}, sand{196, 182, 132}, meadow{86, 124, 52},
        field{150, 146, 78}, forest{44, 76, 36}, rock{110, 110, 102}, snow{236, 238, 242};
    if (h <= 0)
        return MixRgb(shallow, sea, SmoothStep(-0.3f, 0.4f, coarse + fine * 0.3f));
    Rgb c = MixRgb(sand, meadow, SmoothStep(12, 40, h + fine * 8));
    // Patchwork of fields in the lowlands.
    const float patch = Noise(x / 420, z / 420, 71);
    if (h < 500)
        c = MixRgb(c, field,
                   SmoothStep(0.25f, 0.35f, patch) * (1 - SmoothStep(300, 500, h)) * SmoothStep(40, 60, h));
    c = MixRgb(c, forest, SmoothStep(0.0f, 0.25f, coarse + 0.25f * fine) * SmoothStep(200, 450, h));
    c = MixRgb(c, rock, std::max(SmoothStep(900, 1150, h + 60 * fine), SmoothStep(0.45f, 0.8f, slope)));
    c = MixRgb(c, snow, SmoothStep(1250, 1400, h + 80 * fine) * (1 - SmoothStep(0.7f, 1.0f, slope)));
    const float shade = 1 + 0.12f * fine;
    return {c.r * shade, c.g * shade, c.b * shade};
}

} // namespace

Picture SliceTexture(const Grid& grid, int i, int j) {
    Picture p;
    p.width = p.height = TextureSide;
    p.rgba.resize(size_t(TextureSide) * TextureSide * 4);
    const float x0 = Origin + float(i) * SliceSize, z0 = Origin + float(j) * SliceSize;
    for (int y = 0; y < TextureSide; ++y)
        for (int x = 0; x < TextureSide; ++x) {
            // The texture coordinates run from texel 1 to texel R - 1, mirrored: texel x lies at the
            // fraction 1 - (x + 0.5 - 1) / (R - 2) of the slice along world x.
            const float u = 1 - (float(x) - 0.5f) / float(TextureSide - 2);
            const float v = 1 - (float(y) - 0.5f) / float(TextureSide - 2);
            const float wx = x0 + u * SliceSize, wz = z0 + v * SliceSize;
            const Rgb c = GroundColour(grid, wx, wz);
            uint8_t* t = p.At(x, y);
            t[0] = uint8_t(std::clamp(c.r, 0.0f, 255.0f));
            t[1] = uint8_t(std::clamp(c.g, 0.0f, 255.0f));
            t[2] = uint8_t(std::clamp(c.b, 0.0f, 255.0f));
            // The land is blended over the water pass: transparent over the sea, so the animated water
            // shows there as it does on the open-sea slices.
            t[3] = grid.HeightAt(wx, wz) <= 0 ? 0 : 255;
        }
    return p;
}

} // namespace Tools::Terrain
