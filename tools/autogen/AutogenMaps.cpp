#include "tools/autogen/AutogenMaps.h"

#include "tools/terrain/TerrainShape.h"

#include <algorithm>
#include <cmath>

namespace Tools::Autogen {

namespace {

namespace T = Tools::Terrain;

float Hash(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 2246822519u ^ uint32_t(seed) * 3266489917u;
    h = (h ^ (h >> 15)) * 2246822519u;
    h ^= h >> 13;
    return float(h & 0xFFFFFF) / float(0xFFFFFF);
}

// Smooth value noise in [0, 1].
float Noise(float x, float y, int seed) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = int(fx), iy = int(fy);
    const auto s = [](float t) { return t * t * (3 - 2 * t); };
    const float tx = s(x - fx), ty = s(y - fy);
    const float a = Hash(ix, iy, seed), b = Hash(ix + 1, iy, seed);
    const float c = Hash(ix, iy + 1, seed), d = Hash(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

float Patches(float x, float z, float scale, int seed) {
    return 0.65f * Noise(x / scale, z / scale, seed) +
           0.35f * Noise(x / (scale / 3), z / (scale / 3), seed + 1);
}

// Steepness: the height change over 64 units, in height-map steps times the scale.
float Slope(float x, float z) {
    const float d = 64;
    const float gx = T::ShapeSample(x + d, z) - T::ShapeSample(x - d, z);
    const float gz = T::ShapeSample(x, z + d) - T::ShapeSample(x, z - d);
    return std::sqrt(gx * gx + gz * gz) * T::HeightScale / (2 * d);
}

// Inside an airbase's flat ground, and a margin round it: no trees on the runways.
bool NearAirbase(float x, float z) {
    for (const T::Plateau& p : T::Plateaus)
        if (std::hypot(x - p.x, z - p.z) < p.radius + 300)
            return true;
    return false;
}

uint8_t Level(float value) {
    return uint8_t(std::clamp(int(std::lround(value * 3)), 0, 3));
}

} // namespace

uint8_t Density(Kind kind, float x, float z) {
    const float h = T::ShapeSample(x, z); // 0 is the sea
    if (h < 10 || NearAirbase(x, z))
        return 0;
    const float slope = Slope(x, z);
    switch (kind) {
    case Kind::Conifers: {
        // Higher ground and the mountains' flanks, thinning out on the steepest rock.
        const float height = std::clamp((h - 60) / 60, 0.0f, 1.0f);
        const float patches = Patches(x, z, 2600, 101);
        const float v =
            height * std::clamp(patches * 1.6f - 0.35f, 0.0f, 1.0f) * (slope > 1.2f ? 0.3f : 1.0f);
        return Level(v);
    }
    case Kind::Broadleaf: {
        // Woods on the low hills and along the river valley.
        const float low = std::clamp((110 - h) / 50, 0.0f, 1.0f) * std::clamp((h - 12) / 10, 0.0f, 1.0f);
        const float patches = Patches(x, z, 2200, 201);
        return Level(low * std::clamp(patches * 1.7f - 0.45f, 0.0f, 1.0f));
    }
    case Kind::Houses: {
        // Villages on gentle low ground: a few round clusters from a coarse lattice.
        if (h > 90 || slope > 0.25f)
            return 0;
        float best = 0;
        const float cell = 3000;
        const int cx = int(std::floor(x / cell)), cz = int(std::floor(z / cell));
        for (int j = cz - 1; j <= cz + 1; ++j)
            for (int i = cx - 1; i <= cx + 1; ++i) {
                if (Hash(i, j, 301) < 0.45f)
                    continue;
                const float vx = (float(i) + 0.2f + 0.6f * Hash(i, j, 302)) * cell;
                const float vz = (float(j) + 0.2f + 0.6f * Hash(i, j, 303)) * cell;
                const float radius = 350 + 450 * Hash(i, j, 304);
                const float d = std::hypot(x - vx, z - vz) / radius;
                best = std::max(best, 1 - d);
            }
        return Level(std::clamp(best * 1.5f, 0.0f, 1.0f));
    }
    }
    return 0;
}

std::vector<uint8_t> Map(Kind kind) {
    std::vector<uint8_t> values(size_t(MapSide) * MapSide);
    const float pixel = T::SliceSize * T::Slices / MapSide;
    for (int r = 0; r < MapSide; ++r)
        for (int c = 0; c < MapSide; ++c)
            values[size_t(r) * MapSide + size_t(c)] =
                Density(kind, T::Origin + (float(c) + 0.5f) * pixel, T::Origin + (float(r) + 0.5f) * pixel);
    return values;
}

} // namespace Tools::Autogen
