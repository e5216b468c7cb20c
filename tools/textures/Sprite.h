// Shared by the round particle sprites: the texel loop that asks a shading function for each colour, and
// the soft edge they fade out with.
#pragma once

#include "tools/textures/Patterns.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace Tools {

// A colour channel rounded and clamped to a byte.
inline uint8_t Byte(float v) {
    return uint8_t(std::clamp(std::lround(v), 0l, 255l));
}

// Calls shade (r from the centre, 0 to 1 at the middle of an edge; x and y in [0, 1]) for every texel and
// stores the colour it gives.
template <class Shade> Picture Sprite(int size, Shade shade) {
    Picture p;
    p.width = p.height = size;
    p.rgba.assign(size_t(size) * size_t(size) * 4, 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float u = (float(x) + 0.5f) / float(size), v = (float(y) + 0.5f) / float(size);
            const float r = 2 * std::hypot(u - 0.5f, v - 0.5f);
            float rgba[4];
            shade(r, u, v, rgba);
            uint8_t* t = p.At(x, y);
            for (int c = 0; c < 4; ++c)
                t[c] = Byte(rgba[c]);
        }
    return p;
}

// 1 inside, falling smoothly to 0 at radius edge (never reaching the square's rim).
inline float Falloff(float r, float edge) {
    const float t = std::clamp(r / edge, 0.0f, 1.0f);
    return (1 - t * t) * (1 - t * t);
}

} // namespace Tools
