#include "tools/textures/Patterns.h"

#include "tools/textures/Sprite.h"

#include <algorithm>
#include <cmath>

namespace Tools {
namespace {

// A fixed integer hash of a lattice point and a seed, as a value in [0, 1).
float Hash(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x85EBCA6Bu;
    h ^= h >> 16;
    return float(h & 0xFFFFFF) / float(0x1000000);
}

float Smooth(float t) {
    return t * t * (3 - 2 * t);
}

// Value noise that wraps with the given period (in lattice cells), so the textures tile.
float Noise(float x, float y, int period, uint32_t seed) {
    const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    const float fx = Smooth(x - float(x0)), fy = Smooth(y - float(y0));
    const auto at = [&](int i, int j) {
        return Hash(((i % period) + period) % period, ((j % period) + period) % period, seed);
    };
    const float a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

// Octaves of noise over a tile of the given size, in [0, 1].
float Fractal(int x, int y, int size, int baseCells, int octaves, uint32_t seed) {
    float sum = 0, weight = 0, amplitude = 1;
    int cells = baseCells;
    for (int o = 0; o < octaves; o++, cells *= 2, amplitude *= 0.5f) {
        const float scale = float(cells) / float(size);
        sum += amplitude * Noise(float(x) * scale, float(y) * scale, cells, seed + uint32_t(o));
        weight += amplitude;
    }
    return sum / weight;
}

void Put(Picture& p, int x, int y, float r, float g, float b, float a = 255) {
    uint8_t* t = p.At(x, y);
    t[0] = Byte(r), t[1] = Byte(g), t[2] = Byte(b), t[3] = Byte(a);
}

// A texel's distance from the picture's centre, in half-sizes: 1 at the middle of an edge.
float CentreDistance(int x, int y, int size) {
    const float half = float(size) / 2;
    const float dx = (float(x) + 0.5f - half) / half, dy = (float(y) + 0.5f - half) / half;
    return std::sqrt(dx * dx + dy * dy);
}

Picture Blank(int size) {
    Picture p;
    p.width = p.height = size;
    p.rgba.assign(size_t(size) * size_t(size) * 4, 255);
    return p;
}

float Mix(float a, float b, float t) {
    return a + (b - a) * t;
}

} // namespace

Picture Sky(int size) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++) {
        const float t = float(y) / float(size - 1); // zenith at the top, horizon at the bottom
        for (int x = 0; x < size; x++) {
            const float cloud = std::clamp((Fractal(x, y, size, 4, 5, 11) - 0.52f) * 3.0f, 0.0f, 1.0f);
            const float r = Mix(Mix(70, 160, t), 235, cloud * 0.85f);
            const float g = Mix(Mix(120, 195, t), 238, cloud * 0.85f);
            const float b = Mix(Mix(200, 230, t), 245, cloud * 0.85f);
            Put(p, x, y, r, g, b);
        }
    }
    return p;
}

Picture Ground(int size) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float field = Fractal(x, y, size, 4, 3, 21);
            const float detail = Fractal(x, y, size, 32, 2, 29);
            const float soil = std::clamp((field - 0.45f) * 4.0f, 0.0f, 1.0f);
            const float shade = 0.85f + 0.3f * detail;
            Put(p, x, y, Mix(78, 128, soil) * shade, Mix(112, 100, soil) * shade, Mix(52, 68, soil) * shade);
        }
    return p;
}

Picture Camouflage(int size) {
    // Woodland: sand, olive, dark green and near-black patches with soft-free but clean edges.
    static const float colours[4][3] = {{150, 138, 100}, {96, 104, 62}, {58, 74, 44}, {40, 38, 32}};
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float v = Fractal(x, y, size, 4, 3, 41);
            const int band = v < 0.40f ? 0 : v < 0.50f ? 1 : v < 0.60f ? 2 : 3;
            const float grain = 0.95f + 0.1f * Fractal(x, y, size, 64, 1, 47);
            Put(p, x, y, colours[band][0] * grain, colours[band][1] * grain, colours[band][2] * grain);
        }
    return p;
}

Picture Runway(int size) {
    // Asphalt across the texture; a dashed centre line down the middle (u across, v along the runway).
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float grit = Fractal(x, y, size, 32, 2, 61);
            float grey = 72 + 26 * grit;
            const int centre = std::abs(2 * x - size + 1);
            if (centre < size / 16 && (y % (size / 2)) < size / 4)
                grey = 220 + 10 * grit;
            if (x < size / 32 || x >= size - size / 32)
                grey = 215 + 10 * grit; // edge lines
            Put(p, x, y, grey, grey, grey * 1.02f);
        }
    return p;
}

Picture Metal(int size) {
    // Brushed panels: fine streaks along x, panel seams every quarter.
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float streak = Noise(float(x) * 2.0f / float(size), float(y) * 64.0f / float(size), 64, 71);
            float v = 150 + 30 * streak + 12 * Fractal(x, y, size, 4, 2, 73);
            if (x % (size / 4) == 0 || y % (size / 4) == 0)
                v *= 0.6f;
            Put(p, x, y, v, v * 1.01f, v * 1.05f);
        }
    return p;
}

Picture Cloud(int size) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float fall = std::clamp(1.0f - CentreDistance(x, y, size), 0.0f, 1.0f);
            const float puff = Fractal(x, y, size, 4, 4, 81);
            const float alpha = std::clamp((puff * fall * 2.2f - 0.15f) * 1.6f, 0.0f, 1.0f);
            const float shade = 225 + 30 * puff;
            Put(p, x, y, shade, shade, shade + 4, alpha * 255);
        }
    return p;
}

Picture SceneryAtlas(int size) {
    // Quarters: foliage (top left), bark (top right), plaster wall (bottom left), roof tiles (bottom right).
    Picture p = Blank(size);
    const int half = size / 2;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const int u = x % half, v = y % half;
            const float n = Fractal(u, v, half, 8, 3, 91 + uint32_t(x / half + 2 * (y / half)));
            if (y < half && x < half) {
                const float leaf = Fractal(u, v, half, 32, 2, 97);
                Put(p, x, y, 40 + 40 * n, 80 + 60 * leaf, 30 + 25 * n);
            } else if (y < half) {
                const float streak =
                    Noise(float(u) * 24.0f / float(half), float(v) * 3.0f / float(half), 24, 99);
                Put(p, x, y, 70 + 40 * streak, 52 + 30 * streak, 36 + 20 * n);
            } else if (x < half) {
                Put(p, x, y, 215 + 25 * n, 205 + 25 * n, 180 + 20 * n);
            } else {
                const float row = (v % (half / 16)) < half / 64 ? 0.7f : 1.0f;
                Put(p, x, y, (150 + 50 * n) * row, (60 + 25 * n) * row, (45 + 15 * n) * row);
            }
        }
    return p;
}

Picture SoftShadow(int size) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float fall = std::clamp(1.0f - CentreDistance(x, y, size), 0.0f, 1.0f);
            Put(p, x, y, 0, 0, 0, std::min(1.0f, fall * 1.8f) * 150);
        }
    return p;
}

Picture SkySun(int size) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float r = CentreDistance(x, y, size);
            // A bright disc of about a third of the sprite in a corona that fades out at the rim.
            const float disc = std::clamp((0.36f - r) * 20.0f, 0.0f, 1.0f);
            const float corona = std::pow(std::clamp(1.0f - r, 0.0f, 1.0f), 3.0f);
            const float a = std::max(disc, corona * 0.6f);
            Put(p, x, y, 255, 255, 230 + 25 * disc, a * 255);
        }
    return p;
}

Picture CloudQuarters(int size) {
    const int half = size / 2;
    const Picture puff = Cloud(half);
    Picture p = Blank(size);
    // Each quarter the same puff, mirrored differently, so neighbouring particles do not repeat.
    for (int q = 0; q < 4; q++)
        for (int y = 0; y < half; y++)
            for (int x = 0; x < half; x++) {
                const int sx = (q & 1) ? half - 1 - x : x, sy = (q & 2) ? half - 1 - y : y;
                const uint8_t* from = puff.At(sx, sy);
                uint8_t* to = p.At(x + (q & 1) * half, y + ((q >> 1) & 1) * half);
                std::copy(from, from + 4, to);
            }
    return p;
}

Picture WaterMain(int size) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float n = Fractal(x, y, size, 8, 4, 31);
            Put(p, x, y, Mix(60, 110, n), Mix(105, 150, n), Mix(125, 170, n));
        }
    return p;
}

Picture WaterFrame(int size, int frame, int frames) {
    Picture p = Blank(size);
    // Two layers of ripples drift apart by whole texels a frame and come round after the last frame, so the
    // animation loops; the noise has no lattice of its own, so the sea shows no grid where the frame repeats.
    const int shift = size * frame / std::max(frames, 1);
    const auto ridge = [](float n) { return 1 - std::abs(2 * n - 1); };
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float a = ridge(Fractal(x + shift, y, size, 8, 4, 47));
            const float b = ridge(Fractal(x, y + 2 * shift, size, 16, 3, 53));
            // Crests where either layer peaks, the brighter for both.
            const float crest = std::clamp(0.6f * a * a + 0.6f * b * b - 0.1f, 0.0f, 1.0f);
            const float c = Mix(196, 255, crest);
            Put(p, x, y, c, c, c);
        }
    return p;
}

Picture WaterBump(int size) {
    Picture p = Blank(size);
    const auto height = [&](int x, int y) {
        return Fractal(((x % size) + size) % size, ((y % size) + size) % size, size, 8, 4, 59);
    };
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float du = (height(x + 1, y) - height(x - 1, y)) * float(size) * 1.5f;
            const float dv = (height(x, y + 1) - height(x, y - 1)) * float(size) * 1.5f;
            const auto s8 = [](float d) {
                return float(uint8_t(int8_t(std::clamp(std::lround(d), -127l, 127l))));
            };
            Put(p, x, y, s8(dv), s8(du), 0);
        }
    return p;
}

Picture WaterEnvironment(int size) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float r = std::min(1.0f, CentreDistance(x, y, size));
            const float cloud = std::clamp((Fractal(x, y, size, 4, 4, 71) - 0.55f) * 3.0f, 0.0f, 1.0f);
            // The zenith's blue in the middle, the pale horizon at the rim, a few bright clouds.
            Put(p, x, y, Mix(Mix(40, 150, r), 200, cloud), Mix(Mix(70, 170, r), 205, cloud),
                Mix(Mix(110, 190, r), 210, cloud));
        }
    return p;
}

Picture Detail(int size) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float c = Mix(104, 152, Fractal(x, y, size, 16, 4, 83));
            Put(p, x, y, c, c, c);
        }
    return p;
}

Picture LensFlare(int size, int kind) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const float r = CentreDistance(x, y, size);
            float i = 0;
            float tint[3] = {1, 1, 1};
            if (kind == 1) { // the glare on the element: a bright core in a wide halo
                i = std::pow(std::clamp(1 - r, 0.0f, 1.0f), 2.0f) + std::clamp((0.2f - r) * 8, 0.0f, 1.0f);
                tint[2] = 0.85f;
            } else if (kind == 2) { // a soft disc
                i = std::clamp((0.9f - r) * 4, 0.0f, 1.0f) * 0.6f;
                tint[0] = 0.6f, tint[1] = 0.9f;
            } else if (kind == 3) { // a thin ring
                i = std::clamp(1 - std::fabs(r - 0.75f) * 12, 0.0f, 1.0f) * 0.8f;
                tint[1] = 0.8f, tint[2] = 0.6f;
            } else { // a small bright spot
                i = std::pow(std::clamp(1 - r * 1.6f, 0.0f, 1.0f), 1.5f);
                tint[0] = 0.8f;
            }
            i = std::min(i, 1.0f);
            Put(p, x, y, 255 * i * tint[0], 255 * i * tint[1], 255 * i * tint[2], 255 * i);
        }
    return p;
}

Picture GuiButtons() {
    Picture p;
    p.width = 64;
    p.height = 128;
    p.rgba.assign(size_t(p.width) * size_t(p.height) * 4, 255);
    for (int state = 0; state < 4; state++)
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 64; x++) {
                const uint8_t* face = GuiButtonFaces[state];
                const bool rim = x < 2 || x >= 62 || y < 2 || y >= 30;
                const float lift = rim ? 60.0f : 0.0f;
                Put(p, x, state * 32 + y, face[0] + lift, face[1] + lift, face[2] + lift);
            }
    return p;
}

Picture GuiCursor() {
    Picture p;
    p.width = p.height = 32;
    p.rgba.assign(size_t(32) * 32 * 4, 0);
    // The arrow: a head whose rows grow down to row 16, its lower edge cut back towards the left, and a
    // stem leaning down and right from the cut.
    const auto inside = [](int x, int y) {
        if (y < 0 || x < 0)
            return false;
        const bool head = y <= 16 && x <= y * 10 / 16 && x <= 20 - y;
        const int stem = (y - 12) / 2 + 3;
        return head || (y >= 12 && y <= 24 && x >= stem && x <= stem + 3);
    };
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            if (inside(x, y) && inside(x - 1, y) && inside(x, y - 1) && inside(x + 1, y) && inside(x, y + 1))
                Put(p, x, y, 255, 255, 255);
            else if (inside(x, y))
                Put(p, x, y, 0, 0, 0);
        }
    return p;
}

Picture Halve(const Picture& picture) {
    Picture out;
    out.width = std::max(1, picture.width / 2);
    out.height = std::max(1, picture.height / 2);
    out.rgba.resize(size_t(out.width) * size_t(out.height) * 4);
    for (int y = 0; y < out.height; y++)
        for (int x = 0; x < out.width; x++)
            for (int c = 0; c < 4; c++) {
                int sum = 0, count = 0;
                for (int j = 0; j < 2; j++)
                    for (int i = 0; i < 2; i++) {
                        const int sx = std::min(picture.width - 1, 2 * x + i);
                        const int sy = std::min(picture.height - 1, 2 * y + j);
                        sum += picture.At(sx, sy)[c];
                        count++;
                    }
                out.At(x, y)[c] = uint8_t((sum + count / 2) / count);
            }
    return out;
}

Picture WaterTrail(int size) {
    Picture p = Blank(size);
    for (int y = 0; y < size; y++) {
        // Across the strip (v): foam thickest along both edges, where the bow waves run, and churned in
        // the middle by the screws; nothing at the very rim, so the strip has no hard border.
        const float v = (float(y) + 0.5f) / float(size);
        const float rim = std::clamp(std::min(v, 1 - v) * 12.0f, 0.0f, 1.0f);
        const float edges = std::exp(-std::pow((std::min(v, 1 - v) - 0.12f) / 0.07f, 2.0f));
        const float middle = std::exp(-std::pow((v - 0.5f) / 0.18f, 2.0f));
        for (int x = 0; x < size; x++) {
            // Streaks along the strip (u wraps): noise stretched along x.
            const float streak = Fractal(x, y * 4, size, 4, 4, 0x57A4E);
            const float speckle = Fractal(x, y, size, 16, 3, 0x0F0A);
            const float foam = std::clamp(
                (0.8f * edges + 0.6f * middle) * (0.45f + streak) * (0.6f + 0.8f * speckle), 0.0f, 1.0f);
            const float a = rim * foam;
            Put(p, x, y, 235 + 20 * speckle, 243 + 12 * speckle, 250, a * 255);
        }
    }
    return p;
}

} // namespace Tools
