// Levels of detail of the slices and the vertices and strips the drawing fills its buffers with.
#include "objects/Terrain.h"

#include <algorithm>
#include <cmath>

namespace Obj {

namespace {

uint8_t Level(float distance, float near, float scale, int top) {
    const double e = std::max(0.0, double(distance) - near);
    const double level = std::floor(std::log2(1 + e / scale) + 5e-10 * e * e);
    return uint8_t(std::clamp(level, 0.0, double(top)));
}

} // namespace

uint8_t Terrain::TextureLevel(float distance) {
    return Level(distance, 4000, 7000, MaxTextureLevel);
}

uint8_t Terrain::GeometryLevel(float distance) {
    return Level(distance, 5000, 10000, MaxGeometryLevel);
}

std::vector<uint16_t> Terrain::StripIndices(uint32_t m) {
    std::vector<uint16_t> indices;
    indices.reserve(size_t(m - 1) * (2 * m + 1));
    for (uint32_t r = 0; r + 1 < m; ++r) {
        if (r % 2 == 0) {
            for (uint32_t c = 0; c < m; ++c) {
                indices.push_back(uint16_t(r * m + c));
                indices.push_back(uint16_t((r + 1) * m + c));
            }
            indices.push_back(uint16_t((r + 2) * m - 1));
        } else {
            for (uint32_t c = m; c-- > 0;) {
                indices.push_back(uint16_t(r * m + c));
                indices.push_back(uint16_t((r + 1) * m + c));
            }
            indices.push_back(uint16_t((r + 1) * m));
        }
    }
    return indices;
}

void Terrain::FillSliceVertices(const LoadedSlice& entry, uint8_t level, const int8_t neighbours[4],
                                float* positions, float* landAttributes) const {
    const Description& d = description_;
    const int32_t n = d.sliceVertices, m = int32_t(LevelSide(level));
    const int32_t gx0 = (n - 1) * entry.i, gz0 = (n - 1) * entry.j;
    const float half = d.sliceSize / 2, a = float(d.textureRes - 2) / float(d.textureRes),
                b = 1 / float(d.textureRes);
    const Slice& slice = *entry.slice;
    for (int32_t v = 0; v < m; ++v)
        for (int32_t u = 0; u < m; ++u) {
            const size_t k = size_t(v) * size_t(m) + size_t(u);
            float* p = positions + k * PositionFloats;
            p[0] = float(u << level) * cellSize_ - half;
            p[1] = GetHeight(gx0 + (u << level), gz0 + (v << level));
            p[2] = float(v << level) * cellSize_ - half;
            if (!landAttributes)
                continue;
            float* t = landAttributes + k * LandAttributeFloats;
            const Base::Vector3& normal = slice.normals[size_t(v << level) * size_t(n) + size_t(u << level)];
            t[0] = normal.x, t[1] = normal.y, t[2] = normal.z;
            t[3] = (1 - float(u) / float(m - 1)) * a + b;
            t[4] = (1 - float(v) / float(m - 1)) * a + b;
            t[5] = 5 * float(u) / float(m - 1);
            t[6] = 5 * float(v) / float(m - 1);
        }
    if (!landAttributes || !slice.land)
        return;

    // Each edge as (first vertex, step between its vertices) in the arrays.
    const size_t edges[4][2] = {{0, size_t(m)},                 // column u = 0
                                {size_t(m - 1) * size_t(m), 1}, // row v = m - 1
                                {size_t(m - 1), size_t(m)},     // column u = m - 1
                                {0, 1}};                        // row v = 0
    for (int e = 0; e < 4; ++e) {
        if (neighbours[e] < 0 || neighbours[e] <= int8_t(level))
            continue;
        const int32_t s = 1 << (neighbours[e] - level);
        const auto at = [&](int32_t k) { return edges[e][0] + size_t(k) * edges[e][1]; };
        for (int32_t k = 0; k + s < m; k += s)
            for (int32_t f = 1; f < s; ++f) {
                const float t = float(f) / float(s);
                float* p = positions + at(k + f) * PositionFloats;
                p[1] = (1 - t) * positions[at(k) * PositionFloats + 1] +
                       t * positions[at(k + s) * PositionFloats + 1];
                float* attribute = landAttributes + at(k + f) * LandAttributeFloats;
                for (int c = 0; c < 3; ++c)
                    attribute[c] = (1 - t) * landAttributes[at(k) * LandAttributeFloats + size_t(c)] +
                                   t * landAttributes[at(k + s) * LandAttributeFloats + size_t(c)];
            }
    }
}

} // namespace Obj
