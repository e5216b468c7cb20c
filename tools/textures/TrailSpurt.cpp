#include "tools/textures/TrailSpurt.h"

#include "tools/textures/Sprite.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace Tools {
namespace {

float Hash(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return float(h & 0xFFFFFF) / float(0x1000000);
}

// Smooth value noise in [0, 1], wrapping every period cells, over a few octaves.
float Wisps(float x, float y, int period, uint32_t seed) {
    float sum = 0, weight = 0, amplitude = 1;
    for (int o = 0; o < 3; ++o, period *= 2, amplitude *= 0.5f) {
        const float fx = x * float(period), fy = y * float(period);
        const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
        float tx = fx - float(x0), ty = fy - float(y0);
        tx = tx * tx * (3 - 2 * tx);
        ty = ty * ty * (3 - 2 * ty);
        const auto at = [&](int i, int j) {
            return Hash(((i % period) + period) % period, ((j % period) + period) % period,
                        seed + uint32_t(o));
        };
        const float a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
        sum += amplitude * ((a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty);
        weight += amplitude;
    }
    return sum / weight;
}

} // namespace

Picture SmokeTrail(int size) {
    return Sprite(size, [](float, float u, float v, float* out) {
        const float across = std::sin(3.14159265f * v); // 0 at both edges
        const float n = Wisps(u, v, 4, 17);
        const float grey = 225 + 30 * n;
        out[0] = out[1] = out[2] = grey;
        out[3] = 255 * std::clamp(across * across * (0.55f + 0.6f * n), 0.0f, 1.0f);
    });
}

Picture SpurtLand(int size) {
    return Sprite(size, [](float r, float u, float v, float* out) {
        const float n = Wisps(u, v, 4, 29);
        const float grain = Wisps(u, v, 16, 31);
        out[0] = 120 + 50 * n;
        out[1] = 95 + 40 * n;
        out[2] = 65 + 25 * n;
        out[3] = 255 * std::clamp(Falloff(r, 0.95f) * (0.5f + 0.5f * n + 0.3f * (grain - 0.5f)), 0.0f, 1.0f);
    });
}

Picture SpurtWater(int size) {
    return Sprite(size, [](float r, float u, float v, float* out) {
        const float n = Wisps(u, v, 5, 43);
        out[0] = 215 + 40 * n;
        out[1] = 225 + 30 * n;
        out[2] = 240 + 15 * n;
        out[3] = 255 * std::clamp(Falloff(r, 0.9f) * (0.45f + 0.7f * n), 0.0f, 1.0f);
    });
}

Picture Exhaust(int size) {
    return Sprite(size, [](float r, float, float, float* out) {
        const float heat = Falloff(r, 0.95f);
        out[0] = 255 * std::min(1.0f, 1.6f * heat);
        out[1] = 255 * std::clamp(1.5f * heat - 0.15f, 0.0f, 1.0f);
        out[2] = 255 * std::clamp(2.2f * heat - 1.1f, 0.0f, 1.0f);
        out[3] = 255 * heat;
    });
}

Picture Bullet(int size) {
    Picture picture{size, size, std::vector<uint8_t>(size_t(size) * size * 4)};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float u = (float(x) + 0.5f) / float(size), v = (float(y) + 0.5f) / float(size);
            const float across = std::max(0.0f, 1 - std::abs(2 * u - 1));
            const float along = std::clamp(1.15f - v, 0.0f, 1.0f);
            const float core = across * across * along;
            uint8_t* out = &picture.rgba[(size_t(y) * size + x) * 4];
            out[0] = uint8_t(255 * std::min(1.0f, 1.4f * core + 0.2f * across));
            out[1] = uint8_t(255 * std::min(1.0f, 1.3f * core));
            out[2] = uint8_t(255 * std::min(1.0f, core * core));
            out[3] = uint8_t(255 * std::min(1.0f, core * 1.2f));
        }
    return picture;
}

Picture Flare(int size) {
    return Sprite(size, [](float r, float u, float v, float* out) {
        const float glow = Falloff(r, 0.95f), n = Wisps(u, v, 4, 61);
        out[0] = 255;
        out[1] = 255 * std::clamp(0.55f + 0.6f * glow, 0.0f, 1.0f);
        out[2] = 255 * std::clamp(2.0f * glow - 0.9f, 0.0f, 1.0f);
        out[3] = 255 * std::clamp(glow * (0.8f + 0.4f * n), 0.0f, 1.0f);
    });
}

Picture Chaff(int size) {
    return Sprite(size, [size](float r, float u, float v, float* out) {
        const float n = Wisps(u, v, 6, 71);
        const float glint = Hash(int(u * float(size)), int(v * float(size)), 73) > 0.8f ? 1.0f : 0.4f;
        out[0] = out[1] = 170 + 80 * glint * n;
        out[2] = 180 + 75 * glint * n;
        out[3] = 255 * std::clamp(Falloff(r, 0.9f) * glint * (0.3f + 0.9f * n), 0.0f, 1.0f);
    });
}

} // namespace Tools
