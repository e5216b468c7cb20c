#include "tools/textures/FireSmoke.h"

#include "tools/textures/Sprite.h"

#include <algorithm>
#include <cmath>

namespace Tools {
namespace {

float Hash(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return float(h & 0xFFFFFF) / float(0x1000000);
}

// Smooth value noise in [0, 1] from a few octaves; cells counts the lattice cells across the sprite.
float Lumps(float x, float y, int cells, uint32_t seed) {
    float sum = 0, weight = 0, amplitude = 1;
    for (int o = 0; o < 3; ++o, cells *= 2, amplitude *= 0.5f) {
        const float fx = x * float(cells), fy = y * float(cells);
        const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
        float tx = fx - float(x0), ty = fy - float(y0);
        tx = tx * tx * (3 - 2 * tx);
        ty = ty * ty * (3 - 2 * ty);
        const uint32_t s = seed + uint32_t(o);
        const float a = Hash(x0, y0, s), b = Hash(x0 + 1, y0, s), c = Hash(x0, y0 + 1, s),
                    d = Hash(x0 + 1, y0 + 1, s);
        sum += amplitude * ((a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty);
        weight += amplitude;
    }
    return sum / weight;
}

} // namespace

Picture ExplosionFire(int size) {
    return Sprite(size, [](float r, float u, float v, float* out) {
        const float n = Lumps(u, v, 4, 71);
        const float heat = std::clamp(Falloff(r, 0.95f) * (0.6f + 0.8f * n), 0.0f, 1.0f);
        out[0] = 255 * std::min(1.0f, 0.4f + 1.2f * heat);
        out[1] = 255 * std::clamp(1.4f * heat - 0.05f, 0.0f, 1.0f);
        out[2] = 255 * std::clamp(2.0f * heat - 1.0f, 0.0f, 1.0f);
        out[3] = 255 * heat;
    });
}

Picture ExplosionSmoke(int size) {
    return Sprite(size, [](float r, float u, float v, float* out) {
        const float n = Lumps(u, v, 3, 83);
        const float grey = 70 + 60 * n;
        out[0] = grey;
        out[1] = grey * 0.95f;
        out[2] = grey * 0.9f;
        out[3] = 255 * std::clamp(Falloff(r, 0.95f) * (0.5f + 0.9f * n), 0.0f, 1.0f);
    });
}

Picture SmokePuff(int size) {
    return Sprite(size, [](float r, float u, float v, float* out) {
        const float n = Lumps(u, v, 3, 97);
        const float grey = 90 + 70 * n;
        out[0] = out[1] = out[2] = grey;
        out[3] = 255 * std::clamp(Falloff(r, 0.9f) * (0.55f + 0.7f * n), 0.0f, 1.0f);
    });
}

} // namespace Tools
